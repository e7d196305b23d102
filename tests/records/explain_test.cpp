// The library's explanation of a refused buffer, and the decode functions
// over the bytes as a service holds them. The explanation's texts and its
// agreement with every decode function over thousands of damaged buffers are
// held by the tool's tables and status test, which print them.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/oxserutl.h>

#include "records/record_gen.h"
#include "test_util.h"

namespace {

using bytes = std::vector<unsigned char>;

// tqAsnDecodeObj(data, length, record) of every record, through an untyped record.
using bytes_decoder = int (*)(const unsigned char*, std::size_t, void*, int);
struct bytes_row {
  const char* structure;
  bytes_decoder decode;
};
#define OXS_BYTES_ROW(S, B, NAME, MODULE, COPY)                                          \
  {#S, [](const unsigned char* p, std::size_t n, void* r, int lcs) {                     \
     return lcs != 0 ? tqAsnDecodeObjLCS(p, n, *static_cast<S*>(r)) : tqAsnDecodeObj(p, n, *static_cast<S*>(r)); \
   }},
const bytes_row kBytesDecoders[] = {OXS_ALL_MODULES(OXS_BYTES_ROW)};
#undef OXS_BYTES_ROW

bytes encoded(const oxs_record_info& info, recgen::profile p) {
  void* record = recgen::make(info, p);
  bytes out;
  EXPECT_EQ(recgen::encode(info.encode, record, 0, out), 0) << info.type_name;
  info.release(record);
  std::free(record);
  return out;
}

// Every record, whole and cut short, in both text modes: the same status
// and record as through a buffer, and the explanation names that status.
TEST(DecodeBytes, EveryRecordAsThroughABufferAndAsExplained) {
  for (const bytes_row& row : kBytesDecoders) {
    const oxs_record_info& info = *oxs_find_record(row.structure);
    SCOPED_TRACE(info.type_name);
    const bytes whole = encoded(info, recgen::profile::typical);
    for (const std::size_t cut : {whole.size(), whole.size() - 1, std::size_t{5}}) {
      for (int lcs : {0, 1}) {
        bytes data(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        void* a = std::calloc(1, info.size);
        void* b = std::calloc(1, info.size);
        tq_asn_buffer_t in;
        in.length = static_cast<std::uint32_t>(data.size());
        in.data = data.data();
        const int status = info.decode(in, a, lcs);
        EXPECT_EQ(row.decode(data.data(), data.size(), b, lcs), status) << cut;
        EXPECT_EQ(tq_asn_explain(info.type_name, lcs, data.data(), data.size(), nullptr), static_cast<std::uint32_t>(status));
        EXPECT_EQ(status == 0, cut == whole.size());
        if (status == 0) {
          std::string where;
          EXPECT_TRUE(recgen::equal(info, a, b, &where, true)) << where;
          info.release(a);
          info.release(b);
        }
        std::free(a);
        std::free(b);
      }
    }
  }
}

TEST(DecodeBytes, ALengthBeyondThirtyTwoBitsIsRefused) {
  if (sizeof(std::size_t) <= 4) GTEST_SKIP() << "a 32-bit size_t holds no such length";
  const unsigned char octet = 0;
  uuid_t record;
  std::memset(&record, 0x5A, sizeof record);
  const std::size_t length = static_cast<std::size_t>(UINT32_MAX) + 1;
  EXPECT_EQ(tqAsnDecodeObj(&octet, length, record), static_cast<int>(ASN_ERR_TOO_LARGE));
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&record)[0], 0x5A);
  tq_asn_explanation why;
  EXPECT_EQ(tq_asn_explain("uuid_t", 0, &octet, length, &why), static_cast<std::uint32_t>(ASN_ERR_TOO_LARGE));
  EXPECT_STREQ(why.found, "4294967296 octets");
}

// The explanation as a structure and as text.
TEST(Explain, FieldsAndText) {
  const bytes mistagged = oxs_test::from_hex("04 02 ac dc 30 05 13 03 61 62 63");  // a PrintableString for the name
  tq_asn_explanation why;
  ASSERT_EQ(tq_asn_explain("acl_ext_t", 0, mistagged.data(), mistagged.size(), &why),
            static_cast<std::uint32_t>(ASN_ERR_TAG_MISMATCH));
  EXPECT_EQ(why.offset, 6u);
  EXPECT_STREQ(why.path, "acl_ext_t.name");
  EXPECT_STREQ(why.expected, "a UTF8String");
  EXPECT_STREQ(why.found, "universal 19 primitive");
  const std::string line =
      "ASN_ERR_TAG_MISMATCH (0x106521a4) at offset 6: expected a UTF8String (acl_ext_t.name), found universal 19 "
      "primitive [identifier does not match]";
  char text[256];
  EXPECT_EQ(tq_asn_explanation_text(&why, text, sizeof text), line.size());
  EXPECT_EQ(text, line);
  // Cut to the capacity, still terminated; the whole length is returned.
  char small[12];
  EXPECT_EQ(tq_asn_explanation_text(&why, small, sizeof small), line.size());
  EXPECT_EQ(std::string(small), line.substr(0, 11));
  EXPECT_EQ(tq_asn_explanation_text(&why, nullptr, 0), line.size());

  // The same record by its structure name; by a type code; accepted.
  EXPECT_EQ(tq_asn_explain("acl_ext_s_t", 0, mistagged.data(), mistagged.size(), nullptr),
            static_cast<std::uint32_t>(ASN_ERR_TAG_MISMATCH));
  const bytes lead_two = oxs_test::from_hex("04 02 ac dc 02 01 07");
  EXPECT_EQ(tq_asn_explain_type_code(2, ASN_TYPE_INTEGER, lead_two.data(), lead_two.size(), &why), 0u);
  EXPECT_EQ(tq_asn_explanation_text(&why, text, sizeof text), 6u);
  EXPECT_STREQ(text, "ASN_OK");
  // Accepted with texts of its own: released again (the leak check sees it).
  const bytes request = oxs_test::from_hex("04 02 ac dc 30 0b 02 01 01 04 03 61 62 00 04 01 00");
  EXPECT_EQ(tq_asn_explain_type_code(2, ASN_TYPE_CERT_REQUEST_IN, request.data(), request.size(), nullptr), 0u);
  EXPECT_EQ(tq_asn_explain_type_code(3, ASN_TYPE_INTEGER, lead_two.data(), lead_two.size(), &why),
            static_cast<std::uint32_t>(ASN_ERR_VERSION));
  EXPECT_EQ(why.offset, 1u);
}

// Unknown records, and texts longer than their arrays (cut at a character).
TEST(Explain, UnknownRecordsAndLongTexts) {
  tq_asn_explanation why;
  EXPECT_EQ(tq_asn_explain("no_such_t", 0, nullptr, 0, &why), 0xFFFFFFFFu);
  EXPECT_STREQ(why.found, "no_such_t");
  EXPECT_EQ(tq_asn_explain(nullptr, 0, nullptr, 0, nullptr), 0xFFFFFFFFu);
  EXPECT_EQ(tq_asn_explain_type_code(2, 261, nullptr, 0, &why), 0xFFFFFFFFu);
  EXPECT_STREQ(why.found, "type code 261");
  std::string name(300, 'x');
  name.replace(254, 2, "\xC3\xA9");  // é across the last octet that fits
  EXPECT_EQ(tq_asn_explain(name.c_str(), 0, nullptr, 0, &why), 0xFFFFFFFFu);
  EXPECT_EQ(std::string(why.found), name.substr(0, 254));
}

}  // namespace
