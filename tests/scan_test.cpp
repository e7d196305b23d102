// The raw BER scanners: identifier and length octets (X.690 8.1.2, 8.1.3)
// and the contents of BIT STRING, OBJECT IDENTIFIER, OCTET STRING and NULL.
// Every failure must leave the caller's cursor where it was and allocate
// nothing (the leak checker of the sanitizer build watches the latter).
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include <oxserutl/asnscan.h>
#include <oxserutl/fault_injection.h>

#include "hexio.h"

namespace {

// The caller's cursor over an input, and what the scanner did with it.
struct cursor {
  explicit cursor(hexio::input& in) : in_(in), p(in.begin()), remaining(in.size()) {}
  bool unchanged() const { return p == in_.begin() && remaining == in_.size(); }
  std::uint32_t consumed() const { return static_cast<std::uint32_t>(p - in_.begin()); }
  bool consistent() const { return consumed() + remaining == in_.size(); }

  hexio::input& in_;
  unsigned char* p;
  unsigned int remaining;
};

// --- identifier octets ------------------------------------------------------

struct type_case {
  const char* in;
  int status;
  unsigned int tag;
  int constructed;
  int cls;
  std::uint32_t consumed;
};

const type_case kTypeCases[] = {
    // Low tag numbers: one octet, class in bits 8-7, form in bit 6.
    {"30", 0, 16, 1, 0, 1},
    {"A1", 0, 1, 1, 2, 1},
    {"02 01 05", 0, 2, 0, 0, 1},
    {"45", 0, 5, 0, 1, 1},
    {"DE", 0, 30, 0, 3, 1},
    {"9E", 0, 30, 0, 2, 1},
    // High tag numbers: 1F, then base 128, most significant group first.
    {"9F 1F", 0, 31, 0, 2, 2},
    {"9F 20", 0, 32, 0, 2, 2},
    {"9F 7F", 0, 127, 0, 2, 2},
    {"9F 81 00", 0, 128, 0, 2, 3},
    {"BF 81 00", 0, 128, 1, 2, 3},
    {"9F 81 80 00", 0, 16384, 0, 2, 4},
    {"7F 81 80 00 05", 0, 16384, 1, 1, 4},
    // The input ends inside the identifier.
    {"", ASN_ERR_TRUNCATED, 0, 0, 0, 0},
    {"1F", ASN_ERR_TRUNCATED, 0, 0, 0, 0},
    {"9F 81", ASN_ERR_TRUNCATED, 0, 0, 0, 0},
    {"BF 81 80 80", ASN_ERR_TRUNCATED, 0, 0, 0, 0},
};

TEST(ScanType, IdentifierOctets) {
  for (const type_case& c : kTypeCases) {
    SCOPED_TRACE(c.in);
    hexio::input in(c.in);
    cursor cur(in);
    unsigned int tag = 999;
    int constructed = 9;
    int cls = 9;
    const int status = tqAsnGetType(&cur.p, &cur.remaining, &tag, &constructed, &cls);
    EXPECT_EQ(hexio::name(status), hexio::name(c.status));
    if (c.status != 0) {
      EXPECT_TRUE(cur.unchanged());
      continue;
    }
    EXPECT_EQ(tag, c.tag);
    EXPECT_EQ(constructed, c.constructed);
    EXPECT_EQ(cls, c.cls);
    EXPECT_EQ(cur.consumed(), c.consumed);
    EXPECT_TRUE(cur.consistent());
  }
}

// --- length octets ----------------------------------------------------------

struct length_case {
  const char* in;
  int status;
  int definite;
  unsigned int length;
  std::uint32_t consumed;
};

const length_case kLengthCases[] = {
    // Short form.
    {"05", 0, 1, 5, 1},
    {"00", 0, 1, 0, 1},
    {"7F 01", 0, 1, 127, 1},
    // Indefinite form.
    {"80 04 01", 0, 0, 0, 1},
    // Long form, big-endian; the announced length is not compared with what
    // follows (that is the caller's business).
    {"81 C8", 0, 1, 200, 2},
    {"81 80", 0, 1, 128, 2},
    {"82 01 00", 0, 1, 256, 3},
    {"84 00 00 01 00", 0, 1, 256, 5},
    {"84 FF FF FF FF", 0, 1, 0xFFFFFFFFu, 5},
    // Non-minimal long forms are accepted (BER, X.690 8.1.3.5 note 2).
    {"81 01", 0, 1, 1, 2},
    // More than four octets: only the last four count.
    {"85 01 00 00 00 02", 0, 1, 2, 6},
    {"86 12 34 00 00 01 00", 0, 1, 256, 7},
    // The input ends inside the length.
    {"", ASN_ERR_TRUNCATED, 0, 0, 0},
    {"82 01", ASN_ERR_TRUNCATED, 0, 0, 0},
    {"81", ASN_ERR_TRUNCATED, 0, 0, 0},
    {"FF", ASN_ERR_TRUNCATED, 0, 0, 0},
};

TEST(ScanLength, LengthOctets) {
  for (const length_case& c : kLengthCases) {
    SCOPED_TRACE(c.in);
    hexio::input in(c.in);
    cursor cur(in);
    int definite = 9;
    unsigned int length = 999;
    const int status = tqAsnGetLength(&cur.p, &cur.remaining, &definite, &length);
    EXPECT_EQ(hexio::name(status), hexio::name(c.status));
    if (c.status != 0) {
      EXPECT_TRUE(cur.unchanged());
      continue;
    }
    EXPECT_EQ(definite, c.definite);
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(cur.consumed(), c.consumed);
    EXPECT_TRUE(cur.consistent());
  }
}

// --- BIT STRING contents ----------------------------------------------------

struct bits_case {
  const char* content;  // the bytes at the cursor
  unsigned int len;     // content length passed in
  int status;
  const char* bits;  // expected octets
  unsigned int nbits;
};

const bits_case kBitsCases[] = {
    // Unused bits are cleared in the last octet (X.690 8.6.2.3).
    {"04 F0", 2, 0, "F0", 4},
    {"03 FF", 2, 0, "F8", 5},
    {"07 FF FF FF", 4, 0, "FF FF 80", 17},
    {"00 01 02 03", 4, 0, "01 02 03", 24},
    {"00 01 02 03 04", 2, 0, "01", 8},
    // Empty value: the unused-bits octet alone, which must be 0.
    {"00", 1, 0, "", 0},
    {"01", 1, ASN_ERR_BAD_LENGTH, nullptr, 0},
    {"07", 1, ASN_ERR_BAD_LENGTH, nullptr, 0},
    // Unused-bits octet above 7.
    {"08 00", 2, ASN_ERR_BAD_LENGTH, nullptr, 0},
    {"FF 00 00", 3, ASN_ERR_BAD_LENGTH, nullptr, 0},
    // Length limits: at most four octets, at least one.
    {"00 01 02 03 04", 5, ASN_ERR_TOO_LARGE, nullptr, 0},
    {"", 5, ASN_ERR_TOO_LARGE, nullptr, 0},
    {"00", 0, ASN_ERR_ZERO_LENGTH, nullptr, 0},
    // The input ends before the contents do.
    {"00 AA", 3, ASN_ERR_TRUNCATED, nullptr, 0},
    {"", 1, ASN_ERR_TRUNCATED, nullptr, 0},
};

TEST(ScanBitString, Contents) {
  for (const bits_case& c : kBitsCases) {
    SCOPED_TRACE(std::string(c.content) + " len " + std::to_string(c.len));
    hexio::input in(c.content);
    cursor cur(in);
    unsigned char* bits = nullptr;
    unsigned int nbits = 999;
    const int status = tqAsnGetBitstringValue(&cur.p, &cur.remaining, c.len, &bits, &nbits);
    EXPECT_EQ(hexio::name(status), hexio::name(c.status));
    if (c.status != 0) {
      EXPECT_TRUE(cur.unchanged());
      EXPECT_EQ(bits, nullptr);
      EXPECT_EQ(nbits, 999u);
      continue;
    }
    ASSERT_NE(bits, nullptr);  // also for the empty value
    EXPECT_EQ(hexio::hex(bits, c.len - 1), c.bits);
    EXPECT_EQ(nbits, c.nbits);
    EXPECT_EQ(cur.consumed(), c.len);
    EXPECT_TRUE(cur.consistent());
    std::free(bits);
  }
}

// --- OBJECT IDENTIFIER and OCTET STRING contents ----------------------------

struct block_case {
  const char* content;
  unsigned int len;
  int status;
  const char* out;
};

const block_case kOidCases[] = {
    // Copied undecoded: 1.2.840.113549 (X.690 8.19.5 style subidentifiers).
    {"2A 86 48 86 F7 0D", 6, 0, "2A 86 48 86 F7 0D"},
    {"2A 86 48 86 F7 0D 05 00", 6, 0, "2A 86 48 86 F7 0D"},
    {"06", 1, 0, "06"},
    {"2A", 0, ASN_ERR_ZERO_LENGTH, nullptr},
    {"2A 86", 3, ASN_ERR_TRUNCATED, nullptr},
    {"", 1, ASN_ERR_TRUNCATED, nullptr},
};

TEST(ScanOid, Contents) {
  for (const block_case& c : kOidCases) {
    SCOPED_TRACE(std::string(c.content) + " len " + std::to_string(c.len));
    hexio::input in(c.content);
    cursor cur(in);
    tq_asn_buffer_t out;
    const int status = tqAsnGetOIDValue(&cur.p, &cur.remaining, c.len, &out);
    EXPECT_EQ(hexio::name(status), hexio::name(c.status));
    if (c.status != 0) {
      EXPECT_TRUE(cur.unchanged());
      EXPECT_EQ(out.data, nullptr);
      EXPECT_EQ(out.length, 0u);
      continue;
    }
    ASSERT_NE(out.data, nullptr);
    EXPECT_EQ(out.length, c.len);
    EXPECT_EQ(hexio::hex(out.data, out.length), c.out);
    EXPECT_EQ(cur.consumed(), c.len);
    std::free(out.data);
  }
}

TEST(ScanOid, NoOutputRecord) {
  hexio::input in("2A 03");
  cursor cur(in);
  EXPECT_EQ(hexio::name(tqAsnGetOIDValue(&cur.p, &cur.remaining, 2, nullptr)), "ASN_ERR_NO_SUCH_ITEM");
  EXPECT_TRUE(cur.unchanged());
  // The missing record is reported before the length is looked at.
  EXPECT_EQ(hexio::name(tqAsnGetOIDValue(&cur.p, &cur.remaining, 0, nullptr)), "ASN_ERR_NO_SUCH_ITEM");
}

const block_case kOctetCases[] = {
    {"41 42 43", 3, 0, "41 42 43"},
    {"41 42 43", 2, 0, "41 42"},
    {"00", 1, 0, "00"},
    {"41", 0, ASN_ERR_ZERO_LENGTH, nullptr},
    {"", 0, ASN_ERR_ZERO_LENGTH, nullptr},
    {"41 42", 3, ASN_ERR_TRUNCATED, nullptr},
    {"", 1, ASN_ERR_TRUNCATED, nullptr},
};

TEST(ScanOctetString, Contents) {
  for (const block_case& c : kOctetCases) {
    SCOPED_TRACE(std::string(c.content) + " len " + std::to_string(c.len));
    hexio::input in(c.content);
    cursor cur(in);
    unsigned char* data = nullptr;
    unsigned int outlen = 999;
    const int status = tqAsnGetOctetstringValue(&cur.p, &cur.remaining, c.len, &data, &outlen);
    EXPECT_EQ(hexio::name(status), hexio::name(c.status));
    if (c.status != 0) {
      EXPECT_TRUE(cur.unchanged());
      EXPECT_EQ(data, nullptr);
      EXPECT_EQ(outlen, 999u);
      continue;
    }
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(outlen, c.len);
    EXPECT_EQ(hexio::hex(data, outlen), c.out);
    EXPECT_EQ(cur.consumed(), c.len);
    std::free(data);
  }
}

TEST(ScanNull, ReadsNothing) {
  hexio::input in("05 00");
  cursor cur(in);
  EXPECT_EQ(tqAsnGetNullValue(&cur.p, &cur.remaining), 0);
  EXPECT_TRUE(cur.unchanged());
  EXPECT_EQ(tqAsnGetNullValue(nullptr, nullptr), 0);
}

// --- no memory --------------------------------------------------------------

// Arms the allocation-failure seam for one scanner call.
class ScanNoMemory : public ::testing::Test {
 protected:
  void SetUp() override { oxserutl_fault_arm(1); }
  void TearDown() override { oxserutl_fault_arm(0); }
};

TEST_F(ScanNoMemory, EveryAllocatingScanner) {
  hexio::input in("00 41 42 43");
  {
    SCOPED_TRACE("bit string");
    cursor cur(in);
    unsigned char* bits = nullptr;
    unsigned int nbits = 999;
    EXPECT_EQ(hexio::name(tqAsnGetBitstringValue(&cur.p, &cur.remaining, 4, &bits, &nbits)), "ASN_ERR_MEMORY");
    EXPECT_TRUE(cur.unchanged());
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(nbits, 999u);
  }
  {
    // The empty value still asks for a block, so its failure is reported.
    SCOPED_TRACE("empty bit string");
    oxserutl_fault_arm(1);
    cursor cur(in);
    unsigned char* bits = nullptr;
    unsigned int nbits = 999;
    EXPECT_EQ(hexio::name(tqAsnGetBitstringValue(&cur.p, &cur.remaining, 1, &bits, &nbits)), "ASN_ERR_MEMORY");
    EXPECT_TRUE(cur.unchanged());
    EXPECT_TRUE(oxserutl_fault_fired());
  }
  {
    SCOPED_TRACE("object identifier");
    oxserutl_fault_arm(1);
    cursor cur(in);
    tq_asn_buffer_t out;
    EXPECT_EQ(hexio::name(tqAsnGetOIDValue(&cur.p, &cur.remaining, 4, &out)), "ASN_ERR_MEMORY");
    EXPECT_TRUE(cur.unchanged());
    EXPECT_EQ(out.data, nullptr);
    EXPECT_EQ(out.length, 0u);
  }
  {
    SCOPED_TRACE("octet string");
    oxserutl_fault_arm(1);
    cursor cur(in);
    unsigned char* data = nullptr;
    unsigned int outlen = 999;
    EXPECT_EQ(hexio::name(tqAsnGetOctetstringValue(&cur.p, &cur.remaining, 4, &data, &outlen)), "ASN_ERR_MEMORY");
    EXPECT_TRUE(cur.unchanged());
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(outlen, 999u);
  }
}

// --- scanning a whole element -----------------------------------------------

// Identifier, length and contents in sequence, as a caller scanning by hand
// does: the cursor ends exactly behind the element.
TEST(ScanElement, BitStringElement) {
  hexio::input in("03 02 05 E0 FF");
  cursor cur(in);
  unsigned int tag = 0;
  int constructed = 9;
  int cls = 9;
  ASSERT_EQ(tqAsnGetType(&cur.p, &cur.remaining, &tag, &constructed, &cls), 0);
  int definite = 0;
  unsigned int length = 0;
  ASSERT_EQ(tqAsnGetLength(&cur.p, &cur.remaining, &definite, &length), 0);
  unsigned char* bits = nullptr;
  unsigned int nbits = 0;
  ASSERT_EQ(tqAsnGetBitstringValue(&cur.p, &cur.remaining, length, &bits, &nbits), 0);
  EXPECT_EQ(tag, 3u);
  EXPECT_EQ(constructed, 0);
  EXPECT_EQ(definite, 1);
  EXPECT_EQ(hexio::hex(bits, 1), "E0");
  EXPECT_EQ(nbits, 3u);
  EXPECT_EQ(cur.consumed(), 4u);
  EXPECT_EQ(cur.remaining, 1u);
  std::free(bits);
}

}  // namespace
