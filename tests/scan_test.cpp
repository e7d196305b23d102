// The raw BER scanners over the table tests/data/scan.txt: identifier and
// length octets (X.690 8.1.2, 8.1.3) and the contents of BIT STRING, OBJECT
// IDENTIFIER, OCTET STRING and NULL. A failure leaves the caller's cursor
// where it was and hands out nothing (the sanitizer build checks that
// nothing leaks).
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <oxserutl/asnscan.h>
#include <oxserutl/fault_injection.h>

#include "test_util.h"

using oxs_test::status_name;
using oxs_test::to_hex;

namespace {

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
