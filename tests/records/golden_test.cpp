// Byte-exact encodings of records, from the worked examples of the record
// schemas, and their decoding back.
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include <oxserutl/oxserutl.h>

#include "test_util.h"

using oxs_test::from_hex;
using oxs_test::to_hex;

namespace {

constexpr const char* kEnvelope = "04 02 AC DC ";

template <class S>
std::string encode_hex(S& record, bool lcs = false) {
  tq_asn_buffer_t out;
  const int status = lcs ? tqAsnEncodeObjLCS(out, record) : tqAsnEncodeObj(out, record);
  if (status != 0) return "<" + oxs_test::status_name(status) + ">";
  std::string hex = to_hex(out.data, out.length);
  tq_asn_buffer_free(out);
  return hex;
}

// Encodes a type-code record; the hex of the buffer or "<STATUS_NAME>".
std::string encode_code_hex(int version, void* record, unsigned type) {
  tq_asn_buffer_t out;
  const int status = tqasn_encode_obj(version, record, type, out);
  if (status != 0) return "<" + oxs_test::status_name(status) + ">";
  std::string hex = to_hex(out.data, out.length);
  tq_asn_buffer_free(out);
  return hex;
}

// Decodes hex (envelope included) into a fresh record of type S.
template <class S>
int decode_hex(const std::string& hex, S& record) {
  std::vector<unsigned char> bytes = from_hex(hex);
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(bytes.size());
  in.data = bytes.data();
  return tqAsnDecodeObj(in, record);
}

struct golden {
  const char* what;
  std::function<std::string()> encode;  // returns the hex of the encoding
  const char* expected;                 // with the envelope
};

char kA[] = "a";
char kX[] = "x";
char kYZ[] = "yz";
char kAB[] = "ab";

const golden kGolden[] = {
    {"attribute list with one attribute a = {1, x, no bytes}",
     [] {
       value_s_t value{1, kX, 0, nullptr};
       attr_s_t attr{kA, 1, &value};
       attrlist_s_t list{1, &attr};
       return encode_hex(list);
     },
     "04 02 AC DC 30 13 30 11 30 0F 0C 01 61 30 0A 30 08 02 01 01 0C 01 78 04 00"},
    {"empty attribute list", [] { attrlist_s_t list{}; return encode_hex(list); }, "04 02 AC DC 30 02 30 00"},
    {"value_type -1 and null string",
     [] {
       value_s_t value{-1, nullptr, 0, nullptr};
       return encode_hex(value);
     },
     "04 02 AC DC 30 07 02 01 FF 0C 00 04 00"},
    {"uuid with time_low 0xFFFFFFFF",
     [] {
       uuid_t id{0xFFFFFFFFu, 0x8000, 0xFFFF, 0x80, 0xFF, {1, 2, 3, 4, 5, 6}};
       return encode_hex(id);
     },
     "04 02 AC DC 30 1D 02 01 FF 02 03 00 80 00 02 03 00 FF FF 02 02 00 80 02 02 00 FF 04 06 01 02 03 04 05 06"},
    {"sec_id_t all zero with null name", [] { sec_id_t id{}; return encode_hex(id); },
     "04 02 AC DC 30 1B 30 17 02 01 00 02 01 00 02 01 00 02 01 00 02 01 00 04 06 00 00 00 00 00 00 0C 00"},
    {"kyobj_t without data",
     [] {
       kyobj_t obj{kA, 1, -1, 0, nullptr};
       return encode_hex(obj);
     },
     "04 02 AC DC 30 0B 0C 01 61 02 01 01 02 01 FF 04 00"},
    {"kyobj_name_list_t names a and null",
     [] {
       char* names[] = {kA, nullptr};
       kyobj_name_list_s_t list{2, names, {}};
       return encode_hex(list);
     },
     "04 02 AC DC 30 0B 30 05 0C 01 61 0C 00 30 02 30 00"},
    {"kyobj_db_header_t empty, header_value -128",
     [] {
       kyobj_db_header_s_t header{-128, 0, nullptr, {}};
       return encode_hex(header);
     },
     "04 02 AC DC 30 09 02 01 80 30 00 30 02 30 00"},
    {"aznlocal_svr_t empty", [] { aznlocal_svr_s_t svr{}; return encode_hex(svr); },
     "04 02 AC DC 30 1A 0C 00 0C 00 0C 00 0C 00 02 01 00 02 01 00 02 01 00 02 01 00 30 00 30 02 30 00"},
    {"pobj_t empty", [] { pobj_s_t pobj{}; return encode_hex(pobj); },
     "04 02 AC DC 30 0C 02 01 00 02 01 00 0C 00 30 02 30 00"},
    {"kyprincipal_t without pa and attrs",
     [] {
       kyprincipal_s_t p{5, nullptr, -7, nullptr};
       return encode_hex(p);
     },
     "04 02 AC DC 30 0A 02 01 05 02 01 F9 30 02 30 00"},
    {"kyprincipal_t with an empty attribute list",
     [] {
       attrlist_s_t attrs{};
       kyprincipal_s_t p{5, nullptr, -7, &attrs};
       return encode_hex(p);
     },
     "04 02 AC DC 30 0A 02 01 05 02 01 F9 30 02 30 00"},
    {"dbr_get_db_in_t 5",
     [] {
       dbr_get_db_in_s_t in{5};
       return encode_hex(in);
     },
     "04 02 AC DC 30 03 02 01 05"},
    {"dbr_get_db_out_t 0, 128, -1",
     [] {
       dbr_get_db_out_s_t out{0, 128, -1};
       return encode_hex(out);
     },
     "04 02 AC DC 30 0A 02 01 00 02 02 00 80 02 01 FF"},
    {"aznserver_init_t empty", [] { aznserver_init_s_t init{}; return encode_hex(init); },
     "04 02 AC DC 30 14 0C 00 02 01 00 02 01 00 02 01 00 02 01 00 30 00 30 02 30 00"},
    {"administration reply, reply_value -1",
     [] {
       aznadmin_getobject_out_s_t reply{{}, -1};
       return encode_hex(reply);
     },
     "04 02 AC DC 30 07 30 02 30 00 02 01 FF"},
    {"azn_util_password_in_t with null strings", [] { azn_util_password_in_s_t in{}; return encode_hex(in); },
     "04 02 AC DC 30 04 0C 00 0C 00"},
    {"acl_permset_t {5, 300}",
     [] {
       std::int32_t perms[] = {5, 300};
       acl_permset_s_t set{2, perms};
       return encode_hex(set);
     },
     "04 02 AC DC 30 09 30 07 02 01 05 02 02 01 2C"},
    {"acl_permset_t empty", [] { acl_permset_s_t set{}; return encode_hex(set); }, "04 02 AC DC 30 02 30 00"},
    {"kyaction_groups_t with 32 null slots", [] { kyaction_groups_s_t groups{}; return encode_hex(groups); },
     "04 02 AC DC 30 06 30 00 30 02 30 00"},
    {"kyaction_group_t with only slot 2",
     [] {
       kyaction_s_t action{};
       kyaction_group_s_t group{};
       group.actions[2] = &action;
       return encode_hex(group);
     },
     "04 02 AC DC 30 21 0C 00 30 19 05 00 05 00 30 13 02 01 00 0C 00 0C 00 0C 00 02 01 00 02 01 00 30 02 30 00 "
     "30 02 30 00"},
    {"kytod_range_t {1, 2, 3}",
     [] {
       kytod_range_s_t range{1, 2, 3};
       return encode_hex(range);
     },
     "04 02 AC DC 30 09 02 01 01 02 01 02 02 01 03"},
    {"kyaccess_times_t {0, {1, 2, 3}}",
     [] {
       kyaccess_times_s_t times{0, {1, 2, 3}};
       return encode_hex(times);
     },
     "04 02 AC DC 30 0E 02 01 00 30 09 02 01 01 02 01 02 02 01 03"},
    {"kypop_ipauth_t extremes",
     [] {
       kypop_ipauth_s_t ipauth{-1, 2147483647, INT32_MIN};
       return encode_hex(ipauth);
     },
     "04 02 AC DC 30 0F 02 01 FF 02 04 7F FF FF FF 02 04 80 00 00 00"},
    {"kyattr_t a = {x, yz}",
     [] {
       char* values[] = {kX, kYZ};
       kyattr_s_t attr{kA, 2, values};
       return encode_hex(attr);
     },
     "04 02 AC DC 30 0C 0C 01 61 30 07 0C 01 78 0C 02 79 7A"},
    {"kyextern_auth_t with null strings", [] { kyextern_auth_s_t a{}; return encode_hex(a); },
     "04 02 AC DC 30 08 0C 00 0C 00 0C 00 0C 00"},
    {"namevalue_t empty", [] { namevalue_s_t nv{}; return encode_hex(nv); }, "04 02 AC DC 30 06 0C 00 30 00 30 00"},
    {"RemoteLogRequest without data", [] { remote_log_request r{}; return encode_hex(r); },
     "04 02 AC DC 30 0C 0C 00 0C 00 02 01 00 02 01 00 04 00"},
    {"oxauditevent_t without elements",
     [] {
       oxauditevent_s_t event{-1, nullptr, 127, 0, nullptr};
       return encode_hex(event);
     },
     "04 02 AC DC 30 0A 02 01 FF 0C 00 02 01 7F 30 00"},
    {"type code 262 value 5",
     [] {
       std::int32_t v = 5;
       return encode_code_hex(2, &v, ASN_TYPE_INTEGER);
     },
     "04 02 AC DC 02 01 05"},
    {"cert_request_in with null strings and no body",
     [] {
       cert_request_in_s_t r{};
       return encode_code_hex(2, &r, ASN_TYPE_CERT_REQUEST_IN);
     },
     "04 02 AC DC 30 09 02 01 01 04 01 00 04 01 00"},
    {"update_list without elements",
     [] {
       update_list_s_t r{};
       return encode_code_hex(2, &r, ASN_TYPE_UPDATE_LIST);
     },
     "04 02 AC DC 30 05 02 01 01 30 00"},
    {"update_list with text ab",
     [] {
       kyobj_update_s_t u{1, kAB, 2};
       update_list_s_t r{1, &u};
       return encode_code_hex(3, &r, ASN_TYPE_UPDATE_LIST);
     },
     "04 03 AC DC 30 15 02 01 01 30 10 30 0E 02 01 01 02 01 01 04 03 61 62 00 02 01 02"},
};

TEST(RecordGolden, EncodingsMatchTheWorkedExamples) {
  for (const golden& g : kGolden) {
    SCOPED_TRACE(g.what);
    EXPECT_EQ(g.encode(), g.expected);
  }
}

TEST(RecordGolden, UuidDecodesBackToItsUnsignedFields) {
  uuid_t id{};
  ASSERT_EQ(decode_hex(std::string(kEnvelope) +
                           "30 1D 02 01 FF 02 03 00 80 00 02 03 00 FF FF 02 02 00 80 02 02 00 FF 04 06 01 02 03 04 05 06",
                       id),
            0);
  EXPECT_EQ(id.time_low, 0xFFFFFFFFu);
  EXPECT_EQ(id.time_mid, 0x8000);
  EXPECT_EQ(id.time_hi_and_version, 0xFFFF);
  EXPECT_EQ(id.clock_seq_hi_and_reserved, 0x80);
  EXPECT_EQ(id.clock_seq_low, 0xFF);
  const unsigned char node[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(std::memcmp(id.node, node, 6), 0);
  tqAsnFreeObj(id);
}

TEST(RecordGolden, NarrowFieldsKeepTheLowBitsOfLargerIntegers) {
  // time_mid 65537 and clock_seq_low 300 arrive from another writer.
  uuid_t id{};
  ASSERT_EQ(decode_hex(std::string(kEnvelope) +
                           "30 1A 02 01 00 02 03 01 00 01 02 01 00 02 01 00 02 02 01 2C 04 06 00 00 00 00 00 00",
                       id),
            0);
  EXPECT_EQ(id.time_mid, 1);
  EXPECT_EQ(id.clock_seq_low, 44);
}

TEST(RecordGolden, NodeOfAnotherLengthIsZeroFilledOrCut) {
  uuid_t id{};
  ASSERT_EQ(decode_hex(std::string(kEnvelope) + "30 14 02 01 00 02 01 00 02 01 00 02 01 00 02 01 00 04 03 0A 0B 0C", id),
            0);
  const unsigned char shorter[6] = {0x0A, 0x0B, 0x0C, 0, 0, 0};
  EXPECT_EQ(std::memcmp(id.node, shorter, 6), 0);
  ASSERT_EQ(decode_hex(std::string(kEnvelope) +
                           "30 19 02 01 00 02 01 00 02 01 00 02 01 00 02 01 00 04 08 01 02 03 04 05 06 07 08",
                       id),
            0);
  const unsigned char longer[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(std::memcmp(id.node, longer, 6), 0);
}

TEST(RecordGolden, NullAndEmptyStringsDecodeToAllocatedEmptyStrings) {
  kyobj_name_list_s_t list{};
  ASSERT_EQ(decode_hex(std::string(kEnvelope) + "30 0B 30 05 0C 01 61 0C 00 30 02 30 00", list), 0);
  ASSERT_EQ(list.name_count, 2u);
  EXPECT_STREQ(list.names[0], "a");
  ASSERT_NE(list.names[1], nullptr);
  EXPECT_STREQ(list.names[1], "");
  EXPECT_EQ(list.attrs.attr_count, 0u);
  EXPECT_EQ(list.attrs.attr_array, nullptr);
  tqAsnFreeObj(list);
}

TEST(RecordGolden, PrincipalOptionalComponents) {
  // Both SEQUENCE components absent: pa and attrs stay null.
  kyprincipal_s_t p{};
  ASSERT_EQ(decode_hex(std::string(kEnvelope) + "30 06 02 01 05 02 01 F9", p), 0);
  EXPECT_EQ(p.prin_value1, 5);
  EXPECT_EQ(p.prin_value2, -7);
  EXPECT_EQ(p.pa, nullptr);
  EXPECT_EQ(p.attrs, nullptr);
  tqAsnFreeObj(p);
  // The library's own bytes for null pointers: attrs comes back as a new,
  // zeroed attribute list.
  ASSERT_EQ(decode_hex(std::string(kEnvelope) + "30 0A 02 01 05 02 01 F9 30 02 30 00", p), 0);
  EXPECT_EQ(p.pa, nullptr);
  ASSERT_NE(p.attrs, nullptr);
  EXPECT_EQ(p.attrs->attr_count, 0u);
  EXPECT_EQ(p.attrs->attr_array, nullptr);
  tqAsnFreeObj(p);
}

TEST(RecordGolden, TypeCodeRecordsDecode) {
  std::vector<unsigned char> bytes = from_hex("04 02 AC DC 02 01 05");
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(bytes.size());
  in.data = bytes.data();
  std::int32_t v = 0;
  EXPECT_EQ(tqasn_decode_obj(2, in, ASN_TYPE_INTEGER, &v), 0);
  EXPECT_EQ(v, 5);
  v = 99;
  EXPECT_EQ(tqasn_decode_obj(3, in, ASN_TYPE_INTEGER, &v), int{ASN_ERR_VERSION});
  EXPECT_EQ(v, 99);

  bytes = from_hex("04 02 AC DC 30 09 02 01 01 04 01 00 04 01 00");
  in.length = static_cast<std::uint32_t>(bytes.size());
  in.data = bytes.data();
  cert_request_in_s_t request{};
  ASSERT_EQ(tqasn_decode_obj(2, in, ASN_TYPE_CERT_REQUEST_IN, &request), 0);
  ASSERT_NE(request.request_string1, nullptr);
  EXPECT_STREQ(request.request_string1, "");
  EXPECT_STREQ(request.request_string2, "");
  EXPECT_EQ(request.body_length, 0u);
  EXPECT_EQ(request.body, nullptr);
  tqasn_obj_free(2, ASN_TYPE_CERT_REQUEST_IN, &request);

  // A text from another writer without its terminating zero still comes
  // back terminated.
  bytes = from_hex("04 02 AC DC 30 0F 02 01 01 04 02 61 62 04 01 00 04 03 01 02 03");
  in.length = static_cast<std::uint32_t>(bytes.size());
  in.data = bytes.data();
  ASSERT_EQ(tqasn_decode_obj(2, in, ASN_TYPE_CERT_REQUEST_IN, &request), 0);
  EXPECT_STREQ(request.request_string1, "ab");
  ASSERT_EQ(request.body_length, 3u);
  EXPECT_EQ(request.body[2], 3);
  tqasn_obj_free(2, ASN_TYPE_CERT_REQUEST_IN, &request);
}

TEST(RecordGolden, UnknownTypeCodeIsRefusedWithoutTouchingTheBuffer) {
  std::int32_t v = 5;
  tq_asn_buffer_t out;
  unsigned char sentinel = 0;
  out.length = 77;
  out.data = &sentinel;
  EXPECT_EQ(tqasn_encode_obj(2, &v, 261, out), -1);
  EXPECT_EQ(out.length, 77u);
  EXPECT_EQ(out.data, &sentinel);
  EXPECT_EQ(tqasn_decode_obj(2, out, 261, &v), -1);
  tqasn_obj_free(2, 261, &v);  // does nothing
}

}  // namespace
