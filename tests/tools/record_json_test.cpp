// Records in their JSON form against the vectors of tests/data/records.json:
// byte-exact encodings of worked examples and of every field kind, decodings
// of other writers' bytes, refused buffers and refused JSON. Then every
// record type through JSON and back.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/oxserutl.h>

#include "record_json.h"
#include "records/record_gen.h"
#include "test_util.h"

namespace {

using oxser::json;
using oxs_test::status_name;
using recgen::profile;

// Through the record functions, or for a type-code record under another
// envelope version the type-code functions. Hex or "<STATUS>".
std::string encode(const oxs_record_info& info, void* record, int version = 0) {
  tq_asn_buffer_t out;
  const int status = version != 0 ? tqasn_encode_obj(version, record, info.type_code, out) : info.encode(out, record, 0);
  if (status != 0) return "<" + status_name(status) + ">";
  const std::string hex = oxs_test::to_hex(out.data, out.length);
  tq_asn_buffer_free(out);
  return hex;
}

int decode(const oxs_record_info& info, const std::string& hex, void* record, int version = 0) {
  oxs_test::hex_view in(hex);
  tq_asn_buffer_t b = in.buffer();
  return version != 0 ? tqasn_decode_obj(version, b, info.type_code, record) : info.decode(b, record, 0);
}

TEST(RecordVectors, EncodeDecodeAndRefuseAsWritten) {
  const json vectors = json::parse(oxs_test::read_file(oxs_test::data_path("records.json")));
  for (const json& v : vectors) {
    SCOPED_TRACE(v.dump());
    const oxs_record_info& info = *oxs_find_record(v["type"].get<std::string>().c_str());
    const int version = v.value("version", 0);
    if (v.contains("json_error")) {
      oxser::record_holder record(info);  // released even when filling stops half-way
      try {
        oxser::record_from_json(info, json::parse(v["json"].get<std::string>()), record.get());
        ADD_FAILURE() << "accepted";
      } catch (const oxser::json_error& e) {
        EXPECT_NE(std::string(e.what()).find(v["json_error"].get<std::string>()), std::string::npos) << e.what();
      }
      continue;
    }
    const std::string hex = v["hex"];
    json expected = v.contains("decoded") ? v["decoded"] : json();
    if (v.contains("value")) {
      oxser::record_holder record(info);
      oxser::record_from_json(info, v["value"], record.get());
      EXPECT_EQ(encode(info, record.get(), version), hex);
      if (expected.is_null()) expected = oxser::record_to_json(info, record.get());
    }
    oxser::record_holder decoded(info);
    EXPECT_EQ(status_name(decode(info, hex, decoded.get(), version)), v.value("status", "ASN_OK"));
    if (v.contains("status")) continue;
    EXPECT_EQ(oxser::record_to_json(info, decoded.get()), expected);
    EXPECT_EQ(encode(info, decoded.get(), version), v.contains("value") ? hex : encode(info, decoded.get(), version));
  }
}

// Record -> JSON text -> record gives the same record and the same bytes;
// the decoded record's JSON is a fixed point.
TEST(RecordJson, EveryRecordRoundTripsThroughJson) {
  for (const oxs_record_info* info : oxser::callable_records()) {
    for (profile p : {profile::empty, profile::typical, profile::extreme, profile::many}) {
      SCOPED_TRACE(std::string(info->type_name) + " " + recgen::profile_name(p));
      void* original = recgen::make(*info, p, 5);
      const std::string bytes = encode(*info, original);
      const std::string text = oxser::record_to_json(*info, original).dump(2);
      oxser::record_holder parsed(*info);
      oxser::record_from_json(*info, json::parse(text), parsed.get());
      std::string where;
      EXPECT_TRUE(recgen::equal(*info, original, parsed.get(), &where)) << where;
      EXPECT_EQ(encode(*info, parsed.get()), bytes);
      oxser::record_holder decoded(*info);
      ASSERT_EQ(decode(*info, bytes, decoded.get()), 0);
      const json again = oxser::record_to_json(*info, decoded.get());
      oxser::record_holder reparsed(*info);
      oxser::record_from_json(*info, again, reparsed.get());
      EXPECT_EQ(encode(*info, reparsed.get()), bytes);
      EXPECT_EQ(oxser::record_to_json(*info, reparsed.get()), again);
      recgen::destroy(*info, original);
    }
  }
}

TEST(RecordJson, List16HoldsAtMost65535Elements) {
  const oxs_record_info& info = *oxs_find_record("sec_id_pa_t");
  json value = {{"groups", json::array()}};
  for (int i = 0; i < 65536; ++i) value["groups"].push_back(json::object());
  oxser::record_holder record(info);
  EXPECT_THROW(oxser::record_from_json(info, value, record.get()), oxser::json_error);
}

}  // namespace
