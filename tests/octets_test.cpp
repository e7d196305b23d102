// OCTET STRING (X.690 8.7), BIT STRING (X.690 8.6) and named bit lists
// (X.690 11.2.2).
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <oxserutl/asnbase.h>

#include "test_util.h"

using oxs_test::hex_view;
using oxs_test::status_name;
using oxs_test::tlv;
using oxs_test::to_hex;
using oxs_test::write_hex;

namespace {

std::string repeat(const std::string& hex, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += (i ? " " : "") + hex;
  return out;
}

// `levels` constructed frames of the given identifier around `inner`.
std::string nest(const std::string& identifier, const std::string& inner, int levels, bool indefinite) {
  if (indefinite) return repeat(identifier + " 80", levels) + " " + inner + " " + repeat("00 00", levels);
  std::string out = inner;
  for (int i = 0; i < levels; ++i) out = tlv(identifier, out);
  return out;
}

// --- OCTET STRING --------------------------------------------------------------------

TEST(OctetString, Decode) {
  struct Case {
    std::string element;
    const char* status;
    std::string content;
  };
  const std::string a63 = repeat("61", 63);
  const Case cases[] = {
      // Primitive.
      {"04 03 41 42 43", "ASN_OK", "41 42 43"},
      {"04 00", "ASN_OK", ""},
      // Constructed, definite length: segments are concatenated.
      {"24 08 04 02 41 42 04 02 43 44", "ASN_OK", "41 42 43 44"},
      {"24 00", "ASN_OK", ""},
      {"24 06 24 04 04 02 41 42", "ASN_OK", "41 42"},
      {tlv("24", tlv("04", a63) + " 04 01 62"), "ASN_OK", a63 + " 62"},
      // Constructed, indefinite length.
      {"24 80 04 01 41 04 01 42 00 00", "ASN_OK", "41 42"},
      {"24 80 00 00", "ASN_OK", ""},
      {"24 80 24 80 04 01 41 00 00 04 01 42 00 00", "ASN_OK", "41 42"},
      {"24 0A 24 80 04 01 41 00 00 04 01 42", "ASN_OK", "41 42"},
      // Bad segments.
      {"24 03 02 01 05", "ASN_ERR_TAG_MISMATCH", ""},
      {"24 04 04 03 41 42 43", "ASN_ERR_TRUNCATED", ""},
      {"24 80 04 01 41", "ASN_ERR_TRUNCATED", ""},
      {"24 80 04 01 41 05 00", "ASN_ERR_TAG_MISMATCH", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.element);
    tq_asn_octetstring o;
    hex_view in(c.element);
    const int status = o.asnread(in.view());
    EXPECT_EQ(status_name(status), c.status);
    unsigned char* bytes = nullptr;
    std::uint32_t length = 0;
    if (status != 0) {
      EXPECT_EQ(in.consumed(), 0u);
      EXPECT_EQ(o.get_value(bytes, length), int{ASN_ERR_NO_VALUE});
      continue;
    }
    EXPECT_EQ(in.consumed(), in.size());
    ASSERT_EQ(o.get_value(bytes, length), 0);
    EXPECT_EQ(to_hex(bytes, length), c.content);
    // A zero octet is kept behind the decoded content, outside its length.
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[length], 0);
    // Written back in primitive form.
    EXPECT_EQ(write_hex(o), tlv("04", c.content));
  }
}

TEST(OctetString, IndefiniteFrameLeavesEndOfContentsToFrameReader) {
  // Only the outer frame reader steps over 00 00.
  tq_asn_octetstring o;
  hex_view in("24 80 04 01 41 04 01 42 00 00 05 00");
  ASSERT_EQ(o.asnread(in.view()), 0);
  EXPECT_EQ(to_hex(in.view()), "05 00");
}

TEST(OctetString, SegmentNestingIsBounded) {
  // Constructed segments may nest (X.690 8.6.4, 8.7.3.2), but only to the
  // runtime's limit, so that crafted input cannot exhaust the stack.
  struct Case {
    const char* identifier;
    int levels;
    bool indefinite;
    const char* status;
  };
  const int limit = tq_asn_max_segment_depth;
  const Case cases[] = {
      {"24", limit, true, "ASN_OK"},
      {"24", limit + 1, true, "ASN_ERR_CONSTRUCTED_NOT_PERMITTED"},
      {"24", 40, true, "ASN_ERR_CONSTRUCTED_NOT_PERMITTED"},
      {"24", 100000, true, "ASN_ERR_CONSTRUCTED_NOT_PERMITTED"},
      {"24", limit, false, "ASN_OK"},
      {"24", 40, false, "ASN_ERR_CONSTRUCTED_NOT_PERMITTED"},
      {"23", limit, false, "ASN_OK"},
      {"23", limit + 1, false, "ASN_ERR_CONSTRUCTED_NOT_PERMITTED"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.identifier) + " x " + std::to_string(c.levels) + (c.indefinite ? " indefinite" : ""));
    const bool bits = c.identifier[1] == '3';
    std::unique_ptr<tq_asn_object> o;
    if (bits)
      o = std::make_unique<tq_asn_bitstring>();
    else
      o = std::make_unique<tq_asn_octetstring>();
    // The deepest case holds only opening frames: it must be refused long before their end.
    hex_view in(c.levels > 1000 ? repeat("24 80", c.levels)
                                : nest(c.identifier, bits ? "03 02 00 AA" : "04 01 41", c.levels, c.indefinite));
    EXPECT_EQ(status_name(o->asnread(in.view())), c.status);
    EXPECT_EQ(in.consumed(), std::string(c.status) == "ASN_OK" ? in.size() : 0u);
  }
}

TEST(OctetString, AbsentValueFallsBackToDefault) {
  tq_asn_octetstring o;
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  EXPECT_EQ(status_name(o.get_value(bytes, length)), "ASN_ERR_NO_VALUE");
  const unsigned char dflt[] = {0x0D, 0x0E};
  o.set_default_value(dflt, 2u);
  ASSERT_EQ(o.get_value(bytes, length), 0);
  EXPECT_EQ(to_hex(bytes, length), "0D 0E");
  EXPECT_EQ(write_hex(o), "");
}

// --- BIT STRING ------------------------------------------------------------------------

TEST(BitString, SetValueKeepsTopBitsOnly) {
  struct Case {
    const char* octets;
    std::uint32_t nbits;
    const char* element;
  };
  const Case cases[] = {{"FF", 3, "03 02 05 E0"},    {"A5 5A", 16, "03 03 00 A5 5A"}, {"FF FF", 9, "03 03 07 FF 80"},
                        {"FF", 1, "03 02 07 80"},    {"FF", 7, "03 02 01 FE"},        {"", 0, "03 01 00"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.element);
    const std::vector<unsigned char> octets = oxs_test::from_hex(c.octets);
    tq_asn_bitstring b;
    b.set_value(octets.data(), c.nbits);
    EXPECT_EQ(write_hex(b), c.element);
  }
}

TEST(BitString, Decode) {
  struct Case {
    const char* element;
    const char* status;
    const char* octets;
    std::uint32_t nbits;
  };
  const Case cases[] = {
      // Primitive (X.690 8.6.2): initial octet counts unused bits, 0..7.
      {"03 02 05 E0", "ASN_OK", "E0", 3},
      {"03 02 03 FF", "ASN_OK", "F8", 5},  // unused bits are cleared
      {"03 03 00 A5 5A", "ASN_OK", "A5 5A", 16},
      {"03 01 00", "ASN_OK", "", 0},
      {"03 02 08 00", "ASN_ERR_BAD_BITSTRING", "", 0},
      {"03 02 FF 00", "ASN_ERR_BAD_BITSTRING", "", 0},
      {"03 00", "ASN_ERR_BAD_BITSTRING", "", 0},
      // Constructed (X.690 8.6.4): only the final segment may have unused bits.
      {"23 08 03 02 00 AA 03 02 04 F0", "ASN_OK", "AA F0", 12},
      {"23 06 23 04 03 02 07 80", "ASN_OK", "80", 1},
      {"23 08 03 02 04 A0 03 02 00 AA", "ASN_ERR_BITSTRING_SEGMENT", "", 0},
      {"23 00", "ASN_ERR_BAD_BITSTRING", "", 0},
      {"23 04 03 02 09 00", "ASN_ERR_BAD_BITSTRING", "", 0},
      {"23 04 04 02 00 AA", "ASN_ERR_TAG_MISMATCH", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.element);
    tq_asn_bitstring b;
    hex_view in(c.element);
    const int status = b.asnread(in.view());
    EXPECT_EQ(status_name(status), c.status);
    unsigned char* bytes = nullptr;
    std::uint32_t nbits = 0;
    if (status != 0) {
      EXPECT_EQ(in.consumed(), 0u);
      EXPECT_EQ(status_name(b.get_value(bytes, nbits)), "ASN_ERR_NO_VALUE");
      continue;
    }
    ASSERT_EQ(b.get_value(bytes, nbits), 0);
    EXPECT_EQ(nbits, c.nbits);
    EXPECT_EQ(to_hex(bytes, (nbits + 7) / 8), c.octets);
  }
}

// --- named bits ---------------------------------------------------------------------------

TEST(NamedBits, SetClearAndNormaliseOnWrite) {
  tq_asn_namedbits n;
  n.set_bit(9, 1);
  unsigned char* bytes = nullptr;
  std::uint32_t nbits = 0;
  ASSERT_EQ(n.get_value(bytes, nbits), 0);
  EXPECT_EQ(to_hex(bytes, 2), "00 40");
  EXPECT_EQ(n.unused_bits(), 6);
  n.set_bit(1, 1);
  ASSERT_EQ(n.get_value(bytes, nbits), 0);
  EXPECT_EQ(to_hex(bytes, 2), "40 40");
  EXPECT_EQ(n.unused_bits(), 6);
  n.clear_bit(9);
  // DER (X.690 11.2.2): trailing zero octets and bits are dropped.
  EXPECT_EQ(write_hex(n), "03 02 06 40");
  ASSERT_EQ(n.get_value(bytes, nbits), 0);
  EXPECT_EQ(nbits, 2u);
  int bit = -1;
  ASSERT_EQ(n.get_bit(1, bit), 0);
  EXPECT_EQ(bit, 1);
  ASSERT_EQ(n.get_bit(9, bit), 0);
  EXPECT_EQ(bit, 0);
  bit = -1;
  ASSERT_EQ(n.get_bit(1000, bit), 0);
  EXPECT_EQ(bit, 0);
}

TEST(NamedBits, UnusedCountFollowsLastSetBit) {
  struct Case {
    std::vector<std::uint32_t> set;
    std::vector<std::uint32_t> cleared;
    const char* element;
  };
  const Case cases[] = {
      {{0}, {}, "03 02 07 80"},    {{5}, {}, "03 02 02 04"},       {{6}, {}, "03 02 01 02"},
      {{7}, {}, "03 02 00 01"},    {{8}, {}, "03 03 07 00 80"},    {{0, 7}, {}, "03 02 00 81"},
      {{3}, {3}, "03 01 00"},      {{2, 12}, {12}, "03 02 05 20"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.element);
    tq_asn_namedbits n;
    for (std::uint32_t bit : c.set) n.set_bit(bit, 1);
    for (std::uint32_t bit : c.cleared) n.clear_bit(bit);
    EXPECT_EQ(write_hex(n), c.element);
  }
}

TEST(NamedBits, AbsentValueIsNotCarriedIntoSetBit) {
  tq_asn_namedbits n;
  int bit = 0;
  EXPECT_EQ(status_name(n.get_bit(0, bit)), "ASN_ERR_NO_VALUE");
  hex_view in("03 02 00 FF");
  ASSERT_EQ(n.asnread(in.view()), 0);
  n.empty();
  n.set_bit(0, 1);
  EXPECT_EQ(write_hex(n), "03 02 07 80");
}

}  // namespace
