// BER framing (X.690 8.1): identifier and length octets written and read by
// the object base, absent optional elements, permitted forms and the read
// hooks.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <oxserutl/asnbase.h>
#include <oxserutl/fault_injection.h>

#include "test_util.h"

using oxs_test::hex_view;
using oxs_test::status_name;
using oxs_test::to_hex;
using oxs_test::write_hex;

namespace {

// A record of one mandatory INTEGER.
struct OneInteger : tq_asn_sequence {
  tq_asn_integer x;
  OneInteger() { register_child(&x); }
};

enum Kind { kInteger, kOptionalInteger, kDefaultInteger, kOctets, kBits, kRecord };

std::unique_ptr<tq_asn_object> make(Kind kind) {
  if (kind == kOctets) return std::make_unique<tq_asn_octetstring>();
  if (kind == kBits) return std::make_unique<tq_asn_bitstring>();
  if (kind == kRecord) return std::make_unique<OneInteger>();
  auto i = std::make_unique<tq_asn_integer>();
  if (kind == kOptionalInteger) i->set_optional(1);
  if (kind == kDefaultInteger) i->set_default_value(5);
  return i;
}

// --- identifier octets (X.690 8.1.2) ----------------------------------------------

TEST(Framing, IdentifierOctetsBothWays) {
  struct Case {
    std::uint32_t tag;
    int cls;
    const char* identifier;
  };
  const Case cases[] = {
      // Tag numbers 0 to 30: one octet, the class in bits 8-7.
      {2, 0, "02"}, {5, 1, "45"}, {30, 2, "9E"}, {16, 3, "D0"},
      // 31 and above: 1F, then base 128 in the fewest octets, bit 8 set on all but the last.
      {31, 2, "9F 1F"}, {127, 2, "9F 7F"}, {128, 2, "9F 81 00"}, {16383, 2, "9F FF 7F"},
      {16384, 2, "9F 81 80 00"}, {2097152, 0, "1F 81 80 80 00"}, {268435456, 3, "DF 81 80 80 80 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    tq_asn_integer written;
    written.set_tag(c.tag);
    written.set_class(c.cls);
    written.set_value(0);
    const std::string element = std::string(c.identifier) + " 01 00";
    EXPECT_EQ(write_hex(written), element);

    tq_asn_integer read;  // reads only its own tag and class
    read.set_tag(c.tag);
    read.set_class(c.cls);
    hex_view in(element);
    EXPECT_EQ(status_name(read.asnread(in.view())), "ASN_OK");
    EXPECT_EQ(in.consumed(), in.size());
  }
}

// --- length octets (X.690 8.1.3) ---------------------------------------------------

TEST(Framing, DefiniteLengthsUseFewestOctets) {
  struct Case {
    std::uint32_t length;
    const char* header;
  };
  const Case cases[] = {{0, "04 00"},         {127, "04 7F"},          {128, "04 81 80"},
                        {255, "04 81 FF"},    {256, "04 82 01 00"},    {65535, "04 82 FF FF"},
                        {65536, "04 83 01 00 00"}, {16777216, "04 84 01 00 00 00"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    std::vector<unsigned char> content(c.length, 0x5A);
    tq_asn_octetstring o;
    o.set_value(content.data(), c.length);
    tq_buffer_t out;
    ASSERT_EQ(o.asnwrite(out), 0);
    const std::uint32_t header = static_cast<std::uint32_t>(oxs_test::from_hex(c.header).size());
    ASSERT_EQ(out.used(), header + c.length);
    EXPECT_EQ(to_hex(out.data(), header), c.header);
  }
}

TEST(Framing, LongFormLengthWithLeadingZerosReads) {
  std::string hex = "04 84 00 00 01 00";
  for (int i = 0; i < 256; ++i) hex += " 61";
  tq_asn_octetstring o;
  hex_view in(hex);
  EXPECT_EQ(status_name(o.asnread(in.view())), "ASN_OK");
  EXPECT_EQ(in.consumed(), 262u);
}

// --- reading ----------------------------------------------------------------------------

TEST(FramingRead, StatusAndCursorPerRule) {
  struct Case {
    Kind kind;
    const char* hex;
    const char* status;
    std::uint32_t consumed;
  };
  const Case cases[] = {
      // Identifier missing or cut short (X.690 8.1.2.4): absent if optional.
      {kInteger, "", "ASN_ERR_TRUNCATED", 0},
      {kOptionalInteger, "", "ASN_OK", 0},
      {kDefaultInteger, "", "ASN_OK", 0},
      {kInteger, "1F", "ASN_ERR_TRUNCATED", 0},
      {kInteger, "9F 81", "ASN_ERR_TRUNCATED", 0},
      {kOptionalInteger, "9F 81", "ASN_OK", 0},
      // Identifier of another element: absent if optional or defaultable.
      {kInteger, "04 01 41", "ASN_ERR_TAG_MISMATCH", 0},
      {kInteger, "42 01 00", "ASN_ERR_TAG_MISMATCH", 0},
      {kOptionalInteger, "04 01 41", "ASN_OK", 0},
      {kDefaultInteger, "04 01 41", "ASN_OK", 0},
      // Length octets cut short (X.690 8.1.3): a failure even when optional.
      {kInteger, "02", "ASN_ERR_TRUNCATED", 0},
      {kInteger, "02 81", "ASN_ERR_TRUNCATED", 0},
      {kInteger, "02 83 00 01", "ASN_ERR_TRUNCATED", 0},
      {kOptionalInteger, "02 82 01", "ASN_ERR_TRUNCATED", 0},
      // Contents shorter than announced.
      {kInteger, "02 02 05", "ASN_ERR_TRUNCATED", 0},
      {kOptionalInteger, "02 02 05", "ASN_ERR_TRUNCATED", 0},
      {kOctets, "04 81 03 41 42", "ASN_ERR_TRUNCATED", 0},
      {kRecord, "30 04 02 01 05", "ASN_ERR_TRUNCATED", 0},
      // Long-form lengths; leading zero octets are harmless, also beyond four.
      {kInteger, "02 81 01 05", "ASN_OK", 4},
      {kInteger, "02 84 00 00 00 01 05", "ASN_OK", 7},
      {kInteger, "02 86 00 00 00 00 00 01 05", "ASN_OK", 9},
      {kInteger, "02 85 01 00 00 00 01 05", "ASN_ERR_TRUNCATED", 0},
      {kInteger, "02 84 FF FF FF FF 05", "ASN_ERR_TRUNCATED", 0},
      // Forms the type does not permit; the cursor stays put.
      {kInteger, "22 03 02 01 05", "ASN_ERR_CONSTRUCTED_NOT_PERMITTED", 0},
      {kOptionalInteger, "22 03 02 01 05", "ASN_ERR_CONSTRUCTED_NOT_PERMITTED", 0},
      {kInteger, "02 80 05 00 00", "ASN_ERR_INDEFINITE_NOT_PERMITTED", 0},
      {kBits, "23 80 03 01 00 00 00", "ASN_ERR_INDEFINITE_NOT_PERMITTED", 0},
      {kRecord, "10 03 02 01 05", "ASN_ERR_PRIMITIVE_NOT_PERMITTED", 0},
      // Indefinite length (X.690 8.1.3.6): closed by 00 00, which is consumed;
      // without it the cursor is left behind the contents.
      {kRecord, "30 80 02 01 05 00 00 FF", "ASN_OK", 7},
      {kOctets, "24 80 04 01 41 00 00", "ASN_OK", 7},
      {kRecord, "30 80 02 01 05", "ASN_ERR_BAD_LENGTH", 5},
      {kRecord, "30 80 02 01 05 02 01 06 00 00", "ASN_ERR_BAD_LENGTH", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("kind ") + std::to_string(c.kind) + ": " + c.hex);
    auto object = make(c.kind);
    hex_view in(c.hex);
    const int status = object->asnread(in.view());
    EXPECT_EQ(status_name(status), c.status);
    EXPECT_EQ(in.consumed(), c.consumed);
    EXPECT_EQ(object->is_present(), status == 0 && c.consumed != 0 ? 1 : 0);
  }
}

// --- writing ---------------------------------------------------------------------------

TEST(FramingWrite, FailedWriteLeavesUsedLength) {
  tq_asn_integer unset;
  // A list is present even when its element has no value; the element's
  // failure must not leave the list's identifier behind.
  tq_asn_sequenceof<tq_asn_octetstring> list;
  list.add_child();
  for (const tq_asn_object* o : {static_cast<const tq_asn_object*>(&unset), static_cast<const tq_asn_object*>(&list)}) {
    SCOPED_TRACE(o->get_type_name());
    tq_buffer_t out;
    out.append(static_cast<unsigned char>(0xEE));
    EXPECT_EQ(status_name(o->asnwrite(out)), "ASN_ERR_NO_VALUE");
    EXPECT_EQ(to_hex(out), "EE");
  }
}

TEST(FramingWrite, NoMemoryHalfwayRestoresUsedLength) {
  // 127 of 128 bytes used: the identifier still fits, the length octet does not.
  tq_buffer_t out;
  for (int i = 0; i < 127; ++i) out.append(static_cast<unsigned char>(0xEE));
  ASSERT_EQ(out.capacity(), 128u);
  const unsigned char content[10] = {};
  tq_asn_octetstring o;
  o.set_value(content, 10u);
  oxserutl_fault_arm(1);
  EXPECT_THROW((void)o.asnwrite(out), tq_asn_memexception);
  oxserutl_fault_arm(0);
  EXPECT_EQ(out.used(), 127u);
  ASSERT_EQ(o.asnwrite(out), 0);
  EXPECT_EQ(to_hex(out.data() + 127, 3), "04 0A 00");
}

TEST(FramingWrite, ValueEqualToDefaultIsOmitted) {
  struct Case {
    const char* name;
    bool set;
    std::int32_t value;
    const char* hex;
  };
  const Case cases[] = {{"unset", false, 0, ""}, {"equal to default", true, 5, ""}, {"other", true, 6, "02 01 06"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tq_asn_integer i;
    i.set_default_value(5);
    if (c.set) i.set_value(c.value);
    EXPECT_EQ(write_hex(i), c.hex);
  }
  tq_asn_boolean b;
  b.set_default_value(1);
  b.set_value(9);  // any non-zero value is TRUE, like the default
  EXPECT_EQ(write_hex(b), "");
  b.set_value(0);
  EXPECT_EQ(write_hex(b), "01 01 00");
}

// --- read hooks ---------------------------------------------------------------------------

struct HookLog {
  int pre_calls = 0, post_calls = 0, post_status = -1;
  std::uint32_t pre_remaining = 0;
} g_hooks;

void pre_hook(tq_asn_object*, tq_r_buffer_t& view) {
  ++g_hooks.pre_calls;
  g_hooks.pre_remaining = view.length();
}
void post_hook(tq_asn_object*, tq_r_buffer_t&, int status) {
  ++g_hooks.post_calls;
  g_hooks.post_status = status;
}

TEST(FramingRead, HooksSeeEveryReadAndItsStatus) {
  struct Case {
    Kind kind;
    const char* hex;
    const char* status;
  };
  const Case cases[] = {
      {kInteger, "02 01 05", "ASN_OK"},        {kOptionalInteger, "04 01 41", "ASN_OK"},
      {kOptionalInteger, "", "ASN_OK"},        {kInteger, "04 01 41", "ASN_ERR_TAG_MISMATCH"},
      {kInteger, "02 02 05", "ASN_ERR_TRUNCATED"}, {kInteger, "22 00", "ASN_ERR_CONSTRUCTED_NOT_PERMITTED"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    g_hooks = HookLog();
    auto object = make(c.kind);
    object->set_preread(pre_hook);
    object->set_postread(post_hook);
    hex_view in(c.hex);
    const int status = object->asnread(in.view());
    EXPECT_EQ(status_name(status), c.status);
    EXPECT_EQ(g_hooks.pre_calls, 1);
    EXPECT_EQ(g_hooks.pre_remaining, in.size());
    EXPECT_EQ(g_hooks.post_calls, 1);
    EXPECT_EQ(g_hooks.post_status, status);
  }
}

}  // namespace
