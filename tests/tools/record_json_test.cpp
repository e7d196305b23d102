// The JSON form of records: every record type through JSON and the
// record functions and back, the JSON form of each field kind against
// hand-written expectations, refusals of JSON that does not fit, and the
// local-code-set conversion reaching exactly the strings the library
// converts.
#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/oxserutl.h>

#include "record_json.h"
#include "records/record_gen.h"

namespace {

using oxser::json;
using recgen::profile;

std::vector<unsigned char> encode(const oxs_record_info& info, void* record, int lcs = 0) {
  tq_asn_buffer_t out;
  const int status = info.encode(out, record, lcs);
  EXPECT_EQ(status, 0) << tq_asn_status_name(static_cast<std::uint32_t>(status));
  std::vector<unsigned char> bytes;
  if (status == 0) {
    bytes.assign(out.data, out.data + out.length);
    tq_asn_buffer_free(out);
  }
  return bytes;
}

int decode(const oxs_record_info& info, std::vector<unsigned char> bytes, void* record, int lcs = 0) {
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(bytes.size());
  in.data = bytes.data();
  return info.decode(in, record, lcs);
}

// --- every record type ----------------------------------------------------------

struct case_name {
  const oxs_record_info* info;
  profile p;
};

std::vector<case_name> every_record() {
  std::vector<case_name> out;
  for (const oxs_record_info* info : oxser::callable_records())
    for (profile p : {profile::empty, profile::typical, profile::extreme, profile::many}) out.push_back({info, p});
  return out;
}

class EveryRecord : public ::testing::TestWithParam<case_name> {};

// Record -> JSON text -> record gives the same record and the same bytes;
// the decoded bytes -> JSON -> record encodes to the same bytes again.
TEST_P(EveryRecord, JsonRoundTripKeepsValuesAndBytes) {
  const oxs_record_info& info = *GetParam().info;
  void* original = recgen::make(info, GetParam().p, 5);
  const std::vector<unsigned char> bytes = encode(info, original);

  const std::string text = oxser::record_to_json(info, original).dump(2);
  oxser::record_holder parsed(info);
  oxser::record_from_json(info, json::parse(text), parsed.get());
  std::string where;
  EXPECT_TRUE(recgen::equal(info, original, parsed.get(), &where)) << where << "\n" << text;
  EXPECT_EQ(encode(info, parsed.get()), bytes);

  oxser::record_holder decoded(info);
  ASSERT_EQ(decode(info, bytes, decoded.get()), 0);
  const json again = oxser::record_to_json(info, decoded.get());
  oxser::record_holder reparsed(info);
  oxser::record_from_json(info, again, reparsed.get());
  EXPECT_EQ(encode(info, reparsed.get()), bytes);
  // The decoded record's JSON is a fixed point.
  EXPECT_EQ(oxser::record_to_json(info, reparsed.get()), again);
  recgen::destroy(info, original);
}

INSTANTIATE_TEST_SUITE_P(Records, EveryRecord, ::testing::ValuesIn(every_record()),
                         [](const ::testing::TestParamInfo<case_name>& p) {
                           return std::string(p.param.info->type_name) + "_" + recgen::profile_name(p.param.p);
                         });

// --- the form of each field kind ------------------------------------------------------

// Expected JSON written by hand from the field kinds' rules, one record per
// group of kinds.
struct form_case {
  const char* type;
  const char* json_text;
};

const form_case kForms[] = {
    // u32 above 2^31 as an unsigned number, u16, u8, fixed as hex
    {"uuid_t",
     R"({"time_low":4294967295,"time_mid":65535,"time_hi_and_version":0,"clock_seq_hi_and_reserved":255,)"
     R"("clock_seq_low":1,"node":"00ff10abcdef"})"},
    // i32, string, block
    {"value_t", R"({"value_type":-2147483648,"string_value":"a \"quoted\" é","octet_value":"00ff"})"},
    // list of records, empty block, nested record
    {"attrlist_t", R"({"attr_array":[{"name":"n","values":[{"value_type":1,"string_value":"","octet_value":""}]}]})"},
    // list of strings, ints through a nested record
    {"kyattr_t", R"({"name":"k","values":["x","y"]})"},
    {"acl_permset_t", R"({"perms":[-1,0,2147483647]})"},
    // optional: a record and null; list16
    {"kyprincipal_t",
     R"({"prin_value1":1,"pa":{"principal":{"uuid":{"time_low":1,"time_mid":2,"time_hi_and_version":3,)"
     R"("clock_seq_hi_and_reserved":4,"clock_seq_low":5,"node":"010203040506"},"name":"p"},"groups":[]},)"
     R"("prin_value2":2,"attrs":{"attr_array":[]}})"},
    // pointer list with nested pointer lists
    {"namevalueList_t", R"({"nvs":[{"name":"a","value_list":["1"],"children":[{"name":"b","value_list":[],"children":[]}]}]})"},
    // sparse: slot 1 empty, nothing after slot 2
    {"kyaction_groups_t",
     R"({"groups":[{"name":"g0","actions":[],"attrs":{"attr_array":[]}},null,)"
     R"({"name":"g2","actions":[null,{"number1":1,"text1":"","text2":"","text3":"","number2":0,"number3":0,)"
     R"("attrs":{"attr_array":[]}}],"attrs":{"attr_array":[]}}],"attrs":{"attr_array":[]}})"},
    // type-code records: text carried with its terminator, the OPTIONAL body, the bare INTEGER
    {"cert_request_in", R"({"request_string1":"req","request_string2":"","body":"c0ffee"})"},
    {"update_list", R"({"updates":[{"update_value1":1,"update_text":"t","update_value2":-1}]})"},
    {"INTEGER", R"({"value":-7})"},
};

// Decoding the encoding of the JSON prints the JSON back, member for member.
TEST(JsonForm, EachFieldKindReadsAndPrintsAsWritten) {
  for (const form_case& c : kForms) {
    SCOPED_TRACE(c.type);
    const oxs_record_info& info = *oxs_find_record(c.type);
    const json expected = json::parse(c.json_text);
    oxser::record_holder record(info);
    oxser::record_from_json(info, expected, record.get());
    oxser::record_holder decoded(info);
    ASSERT_EQ(decode(info, encode(info, record.get()), decoded.get()), 0);
    EXPECT_EQ(oxser::record_to_json(info, decoded.get()), expected);
  }
}

TEST(JsonForm, MissingMembersReadAsZeroAndEmpty) {
  const oxs_record_info& info = *oxs_find_record("value_t");
  oxser::record_holder record(info);
  oxser::record_from_json(info, json::parse("{}"), record.get());
  oxser::record_holder decoded(info);
  ASSERT_EQ(decode(info, encode(info, record.get()), decoded.get()), 0);
  EXPECT_EQ(oxser::record_to_json(info, decoded.get()),
            json::parse(R"({"value_type":0,"string_value":"","octet_value":""})"));
}

// An absent record of list-only shape is written as empty lists (it is
// present from its construction) and so reads back as an empty record.
TEST(JsonForm, AbsentListOnlyOptionalReadsBackEmpty) {
  const oxs_record_info& info = *oxs_find_record("kyprincipal_t");
  oxser::record_holder record(info);
  oxser::record_from_json(info, json::parse(R"({"prin_value1":1,"pa":null,"prin_value2":2,"attrs":null})"),
                          record.get());
  oxser::record_holder decoded(info);
  ASSERT_EQ(decode(info, encode(info, record.get()), decoded.get()), 0);
  EXPECT_EQ(oxser::record_to_json(info, decoded.get()),
            json::parse(R"({"prin_value1":1,"pa":null,"prin_value2":2,"attrs":{"attr_array":[]}})"));
}

// --- JSON that does not fit --------------------------------------------------------

struct refusal {
  const char* type;
  const char* json_text;
  const char* message;  // fragment of the error text
};

const refusal kRefusals[] = {
    // numbers: type and range of each width
    {"uuid_t", R"({"time_low":-1})", "time_low: expected a number from 0 to 4294967295, found -1"},
    {"uuid_t", R"({"time_low":4294967296})", "time_low: expected a number from 0 to 4294967295"},
    {"uuid_t", R"({"time_mid":65536})", "time_mid: expected a number from 0 to 65535"},
    {"uuid_t", R"({"clock_seq_low":256})", "clock_seq_low: expected a number from 0 to 255"},
    {"value_t", R"({"value_type":2147483648})", "value_type: expected a number from -2147483648 to 2147483647"},
    {"value_t", R"({"value_type":1.5})", "value_type: expected a number from -2147483648 to 2147483647, found number"},
    {"value_t", R"({"value_type":"1"})", "found string"},
    {"acl_permset_t", R"({"perms":[1,-2147483649]})", "perms[1]: expected a number"},
    // text
    {"value_t", R"({"string_value":5})", "string_value: expected a string or null, found number"},
    {"value_t", R"({"string_value":"a\u0000b"})", "string_value: a string cannot hold the character U+0000"},
    // hex
    {"value_t", R"({"octet_value":"abc"})", "octet_value: expected hex with an even number of digits"},
    {"value_t", R"({"octet_value":"zz"})", "octet_value: expected hex digits, found 'z' at position 0"},
    {"uuid_t", R"({"node":"0102"})", "node: expected exactly 6 bytes (12 hex digits), found 2"},
    // structure
    {"value_t", R"([])", "expected an object, found array"},
    {"value_t", R"({"colour":1})", "colour: no such field in value_t (fields: value_type, string_value, octet_value)"},
    {"value_t", R"({"octet_length":2})", "octet_length: not a member: the count follows from octet_value"},
    {"attrlist_t", R"({"attr_array":{}})", "attr_array: expected an array of objects, found object"},
    {"attrlist_t", R"({"attr_array":[{"name":"a","values":[{"value_type":"x"}]}]})",
     "attr_array[0].values[0].value_type: expected a number"},
    {"kyprincipal_t", R"({"pa":5})", "pa: expected an object, found number"},
    {"namevalueList_t", R"({"nvs":[null]})", "nvs[0]: expected an object, found null"},
    {"kyaction_group_t",
     R"({"actions":[null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,)"
     R"(null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null]})",
     "actions: at most 32 slots, found 33"},
};

TEST(JsonRefusal, NamesTheMemberAndWhatWasExpected) {
  for (const refusal& r : kRefusals) {
    SCOPED_TRACE(r.json_text);
    const oxs_record_info& info = *oxs_find_record(r.type);
    oxser::record_holder record(info);  // released even when filling stops half-way
    try {
      oxser::record_from_json(info, json::parse(r.json_text), record.get());
      ADD_FAILURE() << "accepted";
    } catch (const oxser::json_error& e) {
      EXPECT_NE(std::string(e.what()).find(r.message), std::string::npos) << e.what();
    }
  }
}

TEST(JsonRefusal, List16HoldsAtMost65535Elements) {
  const oxs_record_info& info = *oxs_find_record("sec_id_pa_t");
  json value = json::object();
  value["groups"] = json::array();
  for (int i = 0; i < 65536; ++i) value["groups"].push_back(json::object());
  oxser::record_holder record(info);
  EXPECT_THROW(oxser::record_from_json(info, value, record.get()), oxser::json_error);
}

// Text that is not valid UTF-8 (a type-code record carries any octets) is
// shown with U+FFFD and reported.
TEST(JsonForm, InvalidUtf8IsReplacedAndReported) {
  const oxs_record_info& info = *oxs_find_record("cert_request_in");
  oxser::record_holder record(info);
  oxser::record_from_json(info, json::parse(R"({"request_string1":"ok"})"), record.get());
  char*& text = recgen::at<char*>(record.get(), info.fields[0].offset);
  text[0] = static_cast<char>(0xFF);
  std::vector<std::string> replaced;
  const json out = oxser::record_to_json(info, record.get(), nullptr, &replaced);
  EXPECT_EQ(out["request_string1"], "\xEF\xBF\xBDk");
  EXPECT_EQ(replaced, std::vector<std::string>{"request_string1"});
}

// --- local code set --------------------------------------------------------------

class Latin1Locale : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::setlocale(LC_ALL, nullptr);
    saved_ = old ? old : "C";
    if (std::setlocale(LC_ALL, "en_US.ISO-8859-1") == nullptr && std::setlocale(LC_ALL, "en_US.iso88591") == nullptr)
      GTEST_SKIP() << "no ISO-8859-1 locale";
  }
  void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }
  std::string saved_;
};

TEST_F(Latin1Locale, TextConvertsBothWays) {
  oxser::local_text lcs;
  EXPECT_EQ(lcs.to_local("caf\xC3\xA9"), "caf\xE9");
  EXPECT_EQ(lcs.to_utf8("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(lcs.to_local("\xE2\x82\xAC!"), "?!");  // the euro sign is not in ISO-8859-1
}

// JSON through the local-code-set functions and back through the plain
// ones: every string arrives as UTF-8 only if the tool converted exactly
// the strings that the library converts (the record's own, those reached
// through lists) and left the others (inside directly nested records).
TEST_F(Latin1Locale, ConversionReachesTheStringsTheLibraryConverts) {
  oxser::local_text lcs;
  const char* const text = R"({"name":"é1","entries":[{"permset":{"perms":[]},"entry_type":1,)"
                           R"("id":{"uuid":{"node":"000000000000"},"name":"é2"}}],)"
                           R"("attrs":{"attr_array":[{"name":"é3","values":[]}]}})";
  const oxs_record_info& info = *oxs_find_record("acl_ext_t");
  oxser::record_holder record(info);
  oxser::record_from_json(info, json::parse(text), record.get(), &lcs);
  oxser::record_holder plain(info);
  ASSERT_EQ(decode(info, encode(info, record.get(), 1), plain.get(), 0), 0);
  const json out = oxser::record_to_json(info, plain.get());
  EXPECT_EQ(out["name"], "é1");
  EXPECT_EQ(out["entries"][0]["id"]["name"], "é2");
  EXPECT_EQ(out["attrs"]["attr_array"][0]["name"], "é3");

  oxser::record_holder local(info);
  ASSERT_EQ(decode(info, encode(info, plain.get(), 0), local.get(), 1), 0);
  EXPECT_EQ(oxser::record_to_json(info, local.get(), &lcs), out);

  const oxs_record_info& ext = *oxs_find_record("kyextattr_t");
  const char* const ext_text = R"({"kyattrs":[{"name":"é4","values":["é5"]}],"attrs":{"attr_array":[]}})";
  oxser::record_holder ext_record(ext);
  oxser::record_from_json(ext, json::parse(ext_text), ext_record.get(), &lcs);
  oxser::record_holder ext_plain(ext);
  ASSERT_EQ(decode(ext, encode(ext, ext_record.get(), 1), ext_plain.get(), 0), 0);
  EXPECT_EQ(oxser::record_to_json(ext, ext_plain.get()), json::parse(ext_text));
}

}  // namespace
