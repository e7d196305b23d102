// The bytes around and inside one element: the versioned envelope (04
// <version> AC DC in front of one BER element) over tests/data/envelope.txt,
// and the raw BER scanners over tests/data/scan.txt.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <oxserutl/asnbase.h>
#include <oxserutl/asnscan.h>
#include <oxserutl/fault_injection.h>

#include "test_util.h"

using oxs_test::status_name;
using oxs_test::to_hex;

namespace {

struct Record : tq_asnbase {
  tq_asn_integer x;
  Record() { register_child(&x); }
};

std::string value_of(const Record& r) {
  std::int32_t v = 0;
  return r.x.get_value(v) == 0 ? std::to_string(v) : "absent";
}

TEST(Envelope, Table) {
  for (const oxs_test::row& r : oxs_test::read_table("envelope.txt", 5)) {
    SCOPED_TRACE(r.where);
    oxs_test::hex_view in(r[0] == "save" || r[1] == "(none)" ? "" : r[1]);
    tq_asn_buffer_t buffer = in.buffer();
    if (r[0] == "load") {
      Record record;
      record.x.set_value(7);
      EXPECT_EQ(status_name(tq_asnbase::loadObject(&record, r.number(2), buffer)), r[3]);
      EXPECT_EQ(value_of(record), r[4]);
    } else if (r[0] == "version") {
      unsigned flag = 7;
      EXPECT_EQ(status_name(tq_asnbase::get_encoded_version(buffer, flag)), r[3]);
      EXPECT_EQ(flag, static_cast<unsigned>(r.number(4)));
      flag = 7;
      EXPECT_EQ(status_name(tqasn_version(buffer, flag)), r[3]);
      EXPECT_EQ(flag, static_cast<unsigned>(r.number(4)));
    } else {
      tq_asnbase bare;
      Record record;
      const bool x = r[1] != "emptied" && r[1] != "absent";
      if (x) record.x.set_value(std::stoi(r[1]));
      if (r[1] == "emptied") bare.empty();
      tq_asn_buffer_t out;
      EXPECT_EQ(status_name(tq_asnbase::saveEncoding(x ? &record : &bare, r.number(2), out)), r[3]);
      EXPECT_EQ(to_hex(out.data, out.length), r[4] == "(none)" ? "" : r[4]);
      if (out.data != nullptr) tq_asn_buffer_free(out);
    }
  }
}

// Without memory the output is left as it was.
TEST(Envelope, SaveWithoutMemory) {
  Record written;
  written.x.set_value(300);
  long points = oxs_test::sweep(
      [&] {
        tq_asn_buffer_t again;
        const int status = tq_asnbase::saveEncoding(&written, 1, again);
        if (status != 0 || again.data == nullptr) return again.data == nullptr && again.length == 0 ? status : -1;
        const bool same = to_hex(again.data, again.length) == "04 01 AC DC 30 04 02 02 01 2C";
        tq_asn_buffer_free(again);
        return same ? 0 : -1;
      },
      [](int status, bool fired) { EXPECT_TRUE(status == 0 || (fired && status == int{ASN_ERR_MEMORY})) << status; });
  EXPECT_GT(points, 0);
}

TEST(Envelope, DefaultRecordIsOmittedWhileAbsent) {
  tq_asnbase outer;
  tq_asnbase member;
  member.set_default_value();
  outer.register_child(&member);
  ASSERT_EQ(member.is_defaultable(), 1);
  EXPECT_EQ(oxs_test::write_hex(outer), "30 00");
}

// The raw BER scanners over the table tests/data/scan.txt: identifier and
// length octets (X.690 8.1.2, 8.1.3) and the contents of BIT STRING, OBJECT
// IDENTIFIER, OCTET STRING and NULL. A failure leaves the caller's cursor
// where it was and hands out nothing (the sanitizer build checks that
// nothing leaks).
TEST(Scan, Table) {
  for (const oxs_test::row& r : oxs_test::read_table("scan.txt", 6)) {
    SCOPED_TRACE(r.where + ": " + r[0] + " " + r[1]);
    oxs_test::hex_view in(r[1] == "(none)" ? "" : r[1]);
    unsigned char* p = in.begin();
    unsigned int remaining = in.size();
    const unsigned int len = r[2] == "-" ? 0 : static_cast<unsigned int>(r.number(2));
    unsigned int tag = 999, length = 999, count = 999;
    int constructed = 9, cls = 9, definite = 9;
    unsigned char* data = nullptr;
    tq_asn_buffer_t oid;
    int status = -1;
    std::string result;
    oxserutl_fault_arm(r[3] == "ASN_ERR_MEMORY" ? 1 : 0);
    if (r[0] == "type") {
      status = tqAsnGetType(&p, &remaining, &tag, &constructed, &cls);
      result = std::to_string(tag) + (constructed ? " c " : " p ") + std::to_string(cls);
    } else if (r[0] == "length") {
      status = tqAsnGetLength(&p, &remaining, &definite, &length);
      result = definite ? std::to_string(length) : "indefinite";
    } else if (r[0] == "bits") {
      status = tqAsnGetBitstringValue(&p, &remaining, len, &data, &count);
      if (status == 0) result = "[" + to_hex(data, len - 1) + "] " + std::to_string(count);
    } else if (r[0] == "octets") {
      status = tqAsnGetOctetstringValue(&p, &remaining, len, &data, &count);
      if (status == 0) result = "[" + to_hex(data, count) + "] " + std::to_string(count);
    } else if (r[0] == "null") {
      status = tqAsnGetNullValue(&p, &remaining) | tqAsnGetNullValue(nullptr, nullptr);
      result = "-";
    } else {  // "oid", or "unrecorded": no record to fill in
      status = tqAsnGetOIDValue(&p, &remaining, len, r[0] == "oid" ? &oid : nullptr);
      data = oid.data;
      if (status == 0) result = "[" + to_hex(oid.data, oid.length) + "] " + std::to_string(oid.length);
      else EXPECT_EQ(oid.length, 0u);
    }
    EXPECT_EQ(oxserutl_fault_fired() != 0, r[3] == "ASN_ERR_MEMORY");
    oxserutl_fault_arm(0);
    EXPECT_EQ(status_name(status), r[3]);
    EXPECT_EQ(in.size() - remaining, static_cast<unsigned int>(r.number(5)));
    EXPECT_EQ(p, in.begin() + (in.size() - remaining));
    if (status == 0) {
      EXPECT_EQ(result, r[4]);
      if (r[4][0] == '[') EXPECT_NE(data, nullptr);  // also for the empty value
    } else {
      EXPECT_EQ(data, nullptr);
      if (r[0] == "bits" || r[0] == "octets") EXPECT_EQ(count, 999u);
    }
    std::free(data);
  }
}

}  // namespace
