// The raw BER scanners: identifier and length octets (X.690 8.1.2, 8.1.3)
// and the contents of BIT STRING, OBJECT IDENTIFIER, OCTET STRING and NULL.
// Every failure must leave the caller's cursor where it was and allocate
// nothing (the leak checker of the sanitizer build watches the latter).
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <oxserutl/asnscan.h>
#include <oxserutl/fault_injection.h>

#include "test_util.h"

using oxs_test::hex_view;
using oxs_test::status_name;
using oxs_test::to_hex;

namespace {

// The caller's cursor over an input, and what the scanner did with it.
struct cursor {
  explicit cursor(hex_view& in) : in_(in), p(in.begin()), remaining(in.size()) {}
  bool unchanged() const { return p == in_.begin() && remaining == in_.size(); }
  std::uint32_t consumed() const { return static_cast<std::uint32_t>(p - in_.begin()); }
  bool consistent() const { return consumed() + remaining == in_.size(); }

  hex_view& in_;
  unsigned char* p;
  unsigned int remaining;
};

TEST(ScanType, IdentifierOctets) {
  struct row { const char* in; int status; unsigned int tag; int constructed, cls; std::uint32_t consumed; };
  const row rows[] = {
      // Low tag numbers: one octet, class in bits 8-7, form in bit 6.
      {"30", 0, 16, 1, 0, 1}, {"A1", 0, 1, 1, 2, 1}, {"02 01 05", 0, 2, 0, 0, 1}, {"45", 0, 5, 0, 1, 1},
      {"DE", 0, 30, 0, 3, 1}, {"9E", 0, 30, 0, 2, 1},
      // High tag numbers: 1F, then base 128, most significant group first.
      {"9F 1F", 0, 31, 0, 2, 2}, {"9F 20", 0, 32, 0, 2, 2}, {"9F 7F", 0, 127, 0, 2, 2},
      {"9F 81 00", 0, 128, 0, 2, 3}, {"BF 81 00", 0, 128, 1, 2, 3}, {"9F 81 80 00", 0, 16384, 0, 2, 4},
      {"7F 81 80 00 05", 0, 16384, 1, 1, 4},
      // The input ends inside the identifier.
      {"", ASN_ERR_TRUNCATED, 0, 0, 0, 0}, {"1F", ASN_ERR_TRUNCATED, 0, 0, 0, 0},
      {"9F 81", ASN_ERR_TRUNCATED, 0, 0, 0, 0}, {"BF 81 80 80", ASN_ERR_TRUNCATED, 0, 0, 0, 0},
  };
  for (const row& c : rows) {
    SCOPED_TRACE(c.in);
    hex_view in(c.in);
    cursor cur(in);
    unsigned int tag = 999;
    int constructed = 9;
    int cls = 9;
    EXPECT_EQ(status_name(tqAsnGetType(&cur.p, &cur.remaining, &tag, &constructed, &cls)), status_name(c.status));
    EXPECT_EQ(cur.consumed(), c.consumed);
    EXPECT_TRUE(cur.consistent());
    if (c.status != 0) continue;
    EXPECT_EQ(tag, c.tag);
    EXPECT_EQ(constructed, c.constructed);
    EXPECT_EQ(cls, c.cls);
  }
}

TEST(ScanLength, LengthOctets) {
  struct row { const char* in; int status, definite; unsigned int length; std::uint32_t consumed; };
  const row rows[] = {
      // Short form, and the indefinite form.
      {"05", 0, 1, 5, 1}, {"00", 0, 1, 0, 1}, {"7F 01", 0, 1, 127, 1}, {"80 04 01", 0, 0, 0, 1},
      // Long form, big-endian; the announced length is not compared with what
      // follows (that is the caller's business).
      {"81 C8", 0, 1, 200, 2}, {"81 80", 0, 1, 128, 2}, {"82 01 00", 0, 1, 256, 3},
      {"84 00 00 01 00", 0, 1, 256, 5}, {"84 FF FF FF FF", 0, 1, 0xFFFFFFFFu, 5},
      // Non-minimal long forms are accepted (BER, X.690 8.1.3.5 note 2).
      {"81 01", 0, 1, 1, 2},
      // More than four octets: only the last four count.
      {"85 01 00 00 00 02", 0, 1, 2, 6}, {"86 12 34 00 00 01 00", 0, 1, 256, 7},
      // The input ends inside the length.
      {"", ASN_ERR_TRUNCATED, 0, 0, 0}, {"82 01", ASN_ERR_TRUNCATED, 0, 0, 0}, {"81", ASN_ERR_TRUNCATED, 0, 0, 0},
      {"FF", ASN_ERR_TRUNCATED, 0, 0, 0},
  };
  for (const row& c : rows) {
    SCOPED_TRACE(c.in);
    hex_view in(c.in);
    cursor cur(in);
    int definite = 9;
    unsigned int length = 999;
    EXPECT_EQ(status_name(tqAsnGetLength(&cur.p, &cur.remaining, &definite, &length)), status_name(c.status));
    EXPECT_EQ(cur.consumed(), c.consumed);
    EXPECT_TRUE(cur.consistent());
    if (c.status != 0) continue;
    EXPECT_EQ(definite, c.definite);
    EXPECT_EQ(length, c.length);
  }
}

enum scanner { bits, oid, octets };

// What a contents scanner handed back; untouched outputs keep 999.
struct scanned {
  int status;
  unsigned char* data = nullptr;
  unsigned int count = 999;  // bits for a BIT STRING, octets otherwise
};

scanned scan(scanner s, cursor& cur, unsigned int len) {
  scanned r;
  if (s == bits) r.status = tqAsnGetBitstringValue(&cur.p, &cur.remaining, len, &r.data, &r.count);
  if (s == octets) r.status = tqAsnGetOctetstringValue(&cur.p, &cur.remaining, len, &r.data, &r.count);
  if (s == oid) {
    tq_asn_buffer_t out;
    r.status = tqAsnGetOIDValue(&cur.p, &cur.remaining, len, &out);
    r.data = out.data;
    if (out.data != nullptr || out.length != 0) r.count = out.length;
  }
  return r;
}

TEST(ScanContents, BitStringOidAndOctetString) {
  struct row {
    scanner s;
    const char* content;  // the bytes at the cursor
    unsigned int len;     // content length passed in
    int status;
    const char* out;
    unsigned int count;
  };
  const row rows[] = {
      // BIT STRING: unused bits are cleared in the last octet (X.690 8.6.2.3).
      {bits, "04 F0", 2, 0, "F0", 4}, {bits, "03 FF", 2, 0, "F8", 5}, {bits, "07 FF FF FF", 4, 0, "FF FF 80", 17},
      {bits, "00 01 02 03", 4, 0, "01 02 03", 24}, {bits, "00 01 02 03 04", 2, 0, "01", 8},
      // The empty value is the unused-bits octet alone, which must be 0; and
      // that octet is never above 7.
      {bits, "00", 1, 0, "", 0}, {bits, "01", 1, ASN_ERR_BAD_LENGTH}, {bits, "07", 1, ASN_ERR_BAD_LENGTH},
      {bits, "08 00", 2, ASN_ERR_BAD_LENGTH}, {bits, "FF 00 00", 3, ASN_ERR_BAD_LENGTH},
      // At most four octets, at least one, all present.
      {bits, "00 01 02 03 04", 5, ASN_ERR_TOO_LARGE}, {bits, "", 5, ASN_ERR_TOO_LARGE},
      {bits, "00", 0, ASN_ERR_ZERO_LENGTH}, {bits, "00 AA", 3, ASN_ERR_TRUNCATED}, {bits, "", 1, ASN_ERR_TRUNCATED},
      // OBJECT IDENTIFIER: copied undecoded, 1.2.840.113549 (X.690 8.19.5).
      {oid, "2A 86 48 86 F7 0D", 6, 0, "2A 86 48 86 F7 0D", 6},
      {oid, "2A 86 48 86 F7 0D 05 00", 6, 0, "2A 86 48 86 F7 0D", 6}, {oid, "06", 1, 0, "06", 1},
      {oid, "2A", 0, ASN_ERR_ZERO_LENGTH}, {oid, "2A 86", 3, ASN_ERR_TRUNCATED}, {oid, "", 1, ASN_ERR_TRUNCATED},
      // OCTET STRING.
      {octets, "41 42 43", 3, 0, "41 42 43", 3}, {octets, "41 42 43", 2, 0, "41 42", 2}, {octets, "00", 1, 0, "00", 1},
      {octets, "41", 0, ASN_ERR_ZERO_LENGTH}, {octets, "", 0, ASN_ERR_ZERO_LENGTH},
      {octets, "41 42", 3, ASN_ERR_TRUNCATED}, {octets, "", 1, ASN_ERR_TRUNCATED},
      // No memory for the copy; the empty BIT STRING still asks for a block.
      {bits, "00 41 42 43", 4, ASN_ERR_MEMORY}, {bits, "00 41 42 43", 1, ASN_ERR_MEMORY},
      {oid, "00 41 42 43", 4, ASN_ERR_MEMORY}, {octets, "00 41 42 43", 4, ASN_ERR_MEMORY},
  };
  for (const row& c : rows) {
    SCOPED_TRACE(std::string(c.s == bits ? "bits" : c.s == oid ? "oid" : "octets") + ": " + c.content + " len " +
                 std::to_string(c.len));
    hex_view in(c.content);
    cursor cur(in);
    oxserutl_fault_arm(c.status == ASN_ERR_MEMORY ? 1 : 0);
    const scanned r = scan(c.s, cur, c.len);
    EXPECT_EQ(oxserutl_fault_fired() != 0, c.status == ASN_ERR_MEMORY);
    oxserutl_fault_arm(0);
    EXPECT_EQ(status_name(r.status), status_name(c.status));
    if (c.status != 0) {
      EXPECT_TRUE(cur.unchanged());
      EXPECT_EQ(r.data, nullptr);
      EXPECT_EQ(r.count, 999u);
      continue;
    }
    ASSERT_NE(r.data, nullptr);  // also for the empty value
    EXPECT_EQ(to_hex(r.data, c.s == bits ? c.len - 1 : r.count), c.out);
    EXPECT_EQ(r.count, c.count);
    EXPECT_EQ(cur.consumed(), c.len);
    EXPECT_TRUE(cur.consistent());
    std::free(r.data);
  }
}

TEST(ScanContents, OidWithoutOutputRecordAndNull) {
  hex_view in("2A 03");
  cursor cur(in);
  EXPECT_EQ(status_name(tqAsnGetOIDValue(&cur.p, &cur.remaining, 2, nullptr)), "ASN_ERR_NO_SUCH_ITEM");
  // The missing record is reported before the length is looked at.
  EXPECT_EQ(status_name(tqAsnGetOIDValue(&cur.p, &cur.remaining, 0, nullptr)), "ASN_ERR_NO_SUCH_ITEM");
  // NULL has no contents to read.
  EXPECT_EQ(tqAsnGetNullValue(&cur.p, &cur.remaining), 0);
  EXPECT_TRUE(cur.unchanged());
  EXPECT_EQ(tqAsnGetNullValue(nullptr, nullptr), 0);
}

// Identifier, length and contents in sequence, as a caller scanning by hand
// does: the cursor ends exactly behind the element.
TEST(ScanElement, BitStringElement) {
  hex_view in("03 02 05 E0 FF");
  cursor cur(in);
  unsigned int tag = 0;
  int constructed = 9;
  int cls = 9;
  ASSERT_EQ(tqAsnGetType(&cur.p, &cur.remaining, &tag, &constructed, &cls), 0);
  int definite = 0;
  unsigned int length = 0;
  ASSERT_EQ(tqAsnGetLength(&cur.p, &cur.remaining, &definite, &length), 0);
  const scanned r = scan(bits, cur, length);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(tag, 3u);
  EXPECT_EQ(definite, 1);
  EXPECT_EQ(to_hex(r.data, 1), "E0");
  EXPECT_EQ(r.count, 3u);
  EXPECT_EQ(cur.remaining, 1u);
  std::free(r.data);
}

}  // namespace
