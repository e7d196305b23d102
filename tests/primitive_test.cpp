// INTEGER, ENUMERATED, BOOLEAN, NULL and the placeholder type (X.690 8.2,
// 8.3, 8.4, 8.8).
#include <cstdint>
#include <vector>
#include <string>
#include <typeinfo>

#include <gtest/gtest.h>
#include <oxserutl/asnbase.h>
#include <oxserutl/fault_injection.h>

#include "test_util.h"

using oxs_test::from_hex;
using oxs_test::hex_view;
using oxs_test::status_name;
using oxs_test::to_hex;
using oxs_test::write_hex;

namespace {

std::string content_of(const tq_asn_integer& i) {
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  if (i.get_value(bytes, length) != 0) return "<no value>";
  return to_hex(bytes, length);
}

// --- INTEGER ------------------------------------------------------------------------

TEST(Integer, NumberToShortestTwosComplement) {
  struct Case {
    std::int32_t value;
    const char* element;
  };
  const Case cases[] = {
      {0, "02 01 00"},          {-1, "02 01 FF"},          {127, "02 01 7F"},
      {128, "02 02 00 80"},     {-128, "02 01 80"},        {-129, "02 02 FF 7F"},
      {256, "02 02 01 00"},     {-32769, "02 03 FF 7F FF"}, {8388608, "02 04 00 80 00 00"},
      {INT32_MAX, "02 04 7F FF FF FF"}, {INT32_MIN, "02 04 80 00 00 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    tq_asn_integer i;
    i.set_value(c.value);
    EXPECT_EQ(write_hex(i), c.element);
  }
}

TEST(Integer, ContentToNumber) {
  struct Case {
    const char* content;
    const char* status;
    std::int32_t value;
  };
  const Case cases[] = {
      {"", "ASN_OK", 0},
      {"80", "ASN_OK", -128},
      {"FF", "ASN_OK", -1},
      {"00 FF", "ASN_OK", 255},
      {"FF 7F FF", "ASN_OK", -32769},
      {"7F FF FF FF", "ASN_OK", INT32_MAX},
      // Non-minimal contents are accepted and kept as received.
      {"00 00 01", "ASN_OK", 1},
      // Five octets fit only behind a leading 00: an unsigned 32-bit value.
      {"00 80 00 00 00", "ASN_OK", INT32_MIN},
      {"01 00 00 00 00", "ASN_ERR_TOO_LARGE", 1234},
      {"FF 7F FF FF FF", "ASN_ERR_TOO_LARGE", 1234},
  };
  for (const Case& c : cases) {
    const std::string element = oxs_test::tlv("02", c.content);
    const std::vector<unsigned char> octets = from_hex(c.content);
    for (bool decoded : {true, false}) {
      SCOPED_TRACE(element + (decoded ? " decoded" : " set as octets"));
      tq_asn_integer i;
      hex_view in(element);
      if (decoded)
        ASSERT_EQ(status_name(i.asnread(in.view())), "ASN_OK");
      else
        i.set_value(octets.data(), static_cast<std::uint32_t>(octets.size()));
      std::int32_t v = 1234;
      EXPECT_EQ(status_name(i.get_value(v)), c.status);
      EXPECT_EQ(v, c.value);  // untouched when it does not fit
      EXPECT_EQ(content_of(i), c.content);
      EXPECT_EQ(write_hex(i), element);
    }
  }
}

TEST(Integer, AbsentValueFallsBackToDefault) {
  tq_asn_integer i;
  std::int32_t v = 0;
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  EXPECT_EQ(status_name(i.get_value(v)), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(status_name(i.get_value(bytes, length)), "ASN_ERR_NO_VALUE");
  i.set_default_value(5);
  ASSERT_EQ(i.get_value(v), 0);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(content_of(i), "05");
}

TEST(Enumerated, DefaultIsPlainIntegerCarryingTagTen) {
  tq_asn_enumerated e;
  e.set_default_value(3);
  const tq_asn_object* def = e.get_default_value();
  ASSERT_NE(def, nullptr);
  EXPECT_TRUE(typeid(*def) == typeid(tq_asn_integer));
  EXPECT_EQ(def->get_tag(), 10u);
  EXPECT_EQ(def->get_class(), 0);
  e.set_value(4);
  EXPECT_EQ(write_hex(e), "0A 01 04");
}

// --- BOOLEAN (X.690 8.2) --------------------------------------------------------------

TEST(Boolean, Decode) {
  struct Case {
    const char* element;
    const char* status;
    int value;
  };
  const Case cases[] = {
      {"01 01 00", "ASN_OK", 0}, {"01 01 01", "ASN_OK", 1}, {"01 01 FF", "ASN_OK", 1}, {"01 01 05", "ASN_OK", 1},
      // Contents of one octet only (X.690 8.2.1); a failed read leaves no value.
      {"01 00", "ASN_ERR_BAD_LENGTH", -1}, {"01 02 FF 00", "ASN_ERR_BAD_LENGTH", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.element);
    tq_asn_boolean b;
    b.set_value(1);
    hex_view in(c.element);
    EXPECT_EQ(status_name(b.asnread(in.view())), c.status);
    int v = -1;
    EXPECT_EQ(status_name(b.get_value(v)), c.value < 0 ? "ASN_ERR_NO_VALUE" : "ASN_OK");
    EXPECT_EQ(v, c.value);
  }
}

TEST(Boolean, StoresValueUnchangedAndWritesFF) {
  tq_asn_boolean b;
  int v = 0;
  EXPECT_EQ(status_name(b.get_value(v)), "ASN_ERR_NO_VALUE");
  b.set_value(7);
  ASSERT_EQ(b.get_value(v), 0);
  EXPECT_EQ(v, 7);
  EXPECT_EQ(write_hex(b), "01 01 FF");
  b.set_value(0);
  EXPECT_EQ(write_hex(b), "01 01 00");
}

// --- NULL (X.690 8.8) and NOTHING ------------------------------------------------------

TEST(Null, PresentFromBirthAndEmptyContentOnly) {
  tq_asn_null n;
  EXPECT_EQ(n.is_present(), 1);
  EXPECT_EQ(write_hex(n), "05 00");
  struct Case {
    const char* element;
    const char* status;
    std::uint32_t consumed;
  };
  const Case cases[] = {{"05 00", "ASN_OK", 2}, {"05 01 00", "ASN_ERR_BAD_LENGTH", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.element);
    hex_view in(c.element);
    EXPECT_EQ(status_name(n.asnread(in.view())), c.status);
    EXPECT_EQ(in.consumed(), c.consumed);
  }
}

struct WithPlaceholder : tq_asn_sequence {
  tq_asn_integer a;
  tq_asn_nothing gap;
  tq_asn_integer b;
  WithPlaceholder() {
    register_child(&a);
    register_child(&gap);
    register_child(&b);
  }
};

TEST(Nothing, OccupiesAPlaceWithoutOctets) {
  WithPlaceholder w;
  w.a.set_value(1);
  w.b.set_value(2);
  ASSERT_EQ(w.is_present(), 1);
  EXPECT_EQ(write_hex(w), "30 06 02 01 01 02 01 02");

  WithPlaceholder r;
  hex_view in("30 06 02 01 01 02 01 02");
  ASSERT_EQ(status_name(r.asnread(in.view())), "ASN_OK");
  std::int32_t b = 0;
  ASSERT_EQ(r.b.get_value(b), 0);
  EXPECT_EQ(b, 2);
}

// --- out of memory while building a default -------------------------------------------

TEST(PrimitiveMemory, DefaultValueCreationFailsCleanly) {
  // Every allocation of each setter fails in turn; the object must stay
  // usable and nothing may leak (LeakSanitizer checks the latter).
  const unsigned char octets[] = {0x41, 0x42};
  for (long k = 1; k < 6; ++k) {
    SCOPED_TRACE(k);
    tq_asn_integer i;
    tq_asn_octetstring o;
    tq_asn_bitstring s;
    tq_asn_boolean b;
    for (int which = 0; which < 4; ++which) {
      oxserutl_fault_arm(k);
      try {
        if (which == 0) i.set_default_value(300);
        if (which == 1) o.set_default_value(octets, 2u);
        if (which == 2) s.set_default_value(octets, 12u);
        if (which == 3) b.set_default_value(1);
      } catch (const tq_asn_memexception&) {
      }
      oxserutl_fault_arm(0);
    }
    EXPECT_EQ(i.is_present(), 0);
    i.set_value(1);
    EXPECT_EQ(write_hex(i), "02 01 01");
  }
}

}  // namespace
