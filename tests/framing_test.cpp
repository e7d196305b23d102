// BER framing (X.690 8.1): identifier and length octets written and read by
// the object base, absent optional elements, permitted forms and the read
// hooks.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <oxserutl/asnbase.h>

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
  switch (kind) {
    case kInteger:
      return std::make_unique<tq_asn_integer>();
    case kOptionalInteger: {
      auto i = std::make_unique<tq_asn_integer>();
      i->set_optional(1);
      return i;
    }
    case kDefaultInteger: {
      auto i = std::make_unique<tq_asn_integer>();
      i->set_default_value(5);
      return i;
    }
    case kOctets:
      return std::make_unique<tq_asn_octetstring>();
    case kBits:
      return std::make_unique<tq_asn_bitstring>();
    case kRecord:
      return std::make_unique<OneInteger>();
  }
  return nullptr;
}

// --- identifier octets (X.690 8.1.2) ----------------------------------------------

TEST(Framing, IdentifierOctetsBothWays) {
  struct Case {
    std::uint32_t tag;
    int cls;
    const char* identifier;
  };
  const Case cases[] = {
      // Low tag numbers: one octet, class in bits 8-7.
      {2, 0, "02"},
      {5, 1, "45"},
      {30, 2, "9E"},
      {16, 3, "D0"},
      // High tag numbers: 1F then base 128, fewest octets, bit 8 on all but last.
      {31, 2, "9F 1F"},
      {127, 2, "9F 7F"},
      {128, 2, "9F 81 00"},
      {16383, 2, "9F FF 7F"},
      {16384, 2, "9F 81 80 00"},
      {2097152, 0, "1F 81 80 80 00"},
      {268435456, 3, "DF 81 80 80 80 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    tq_asn_integer written;
    written.set_tag(c.tag);
    written.set_class(c.cls);
    written.set_value(0);
    const std::string element = std::string(c.identifier) + " 01 00";
    EXPECT_EQ(write_hex(written), element);

    tq_asn_integer read;
    read.set_tag(c.tag);
    read.set_class(c.cls);
    hex_view in(element);
    ASSERT_EQ(status_name(read.asnread(in.view())), "ASN_OK");
    EXPECT_EQ(in.consumed(), in.size());
    EXPECT_EQ(read.get_tag(), c.tag);
    EXPECT_EQ(read.get_class(), c.cls);
  }
}

TEST(Framing, ConstructedTypesSetConstructedBit) {
  tq_asn_sequence s;
  s.empty();
  EXPECT_EQ(write_hex(s), "30 00");
  s.set_tag(1);
  s.set_class(2);
  EXPECT_EQ(write_hex(s), "A1 00");
}

// --- length octets (X.690 8.1.3) ---------------------------------------------------

TEST(Framing, DefiniteLengthsUseFewestOctets) {
  struct Case {
    std::uint32_t length;
    const char* header;
  };
  const Case cases[] = {
      {0, "04 00"},          {127, "04 7F"},          {128, "04 81 80"},
      {255, "04 81 FF"},     {256, "04 82 01 00"},    {65535, "04 82 FF FF"},
      {65536, "04 83 01 00 00"}, {16777216, "04 84 01 00 00 00"},
  };
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
  ASSERT_EQ(status_name(o.asnread(in.view())), "ASN_OK");
  EXPECT_EQ(in.consumed(), 262u);
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  ASSERT_EQ(o.get_value(bytes, length), 0);
  EXPECT_EQ(length, 256u);
}

// --- reading: one table per rule ------------------------------------------------------

struct ReadCase {
  Kind kind;
  const char* hex;
  const char* status;
  std::uint32_t consumed;
  bool present;
};

void run_reads(const std::vector<ReadCase>& cases) {
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(std::string("kind ") + std::to_string(c.kind) + ": " + c.hex);
    auto object = make(c.kind);
    hex_view in(c.hex);
    EXPECT_EQ(status_name(object->asnread(in.view())), c.status);
    EXPECT_EQ(in.consumed(), c.consumed);
    EXPECT_EQ(object->is_present(), c.present ? 1 : 0);
  }
}

TEST(FramingRead, MissingOrCutIdentifier) {
  run_reads({
      {kInteger, "", "ASN_ERR_TRUNCATED", 0, false},
      {kOptionalInteger, "", "ASN_OK", 0, false},
      {kDefaultInteger, "", "ASN_OK", 0, false},
      {kInteger, "1F", "ASN_ERR_TRUNCATED", 0, false},
      {kInteger, "9F 81", "ASN_ERR_TRUNCATED", 0, false},
      {kOptionalInteger, "9F 81", "ASN_OK", 0, false},
  });
}

TEST(FramingRead, IdentifierOfAnotherType) {
  run_reads({
      {kInteger, "04 01 41", "ASN_ERR_TAG_MISMATCH", 0, false},
      {kInteger, "42 01 00", "ASN_ERR_TAG_MISMATCH", 0, false},  // application 2
      {kOptionalInteger, "04 01 41", "ASN_OK", 0, false},
      {kDefaultInteger, "04 01 41", "ASN_OK", 0, false},
  });
}

TEST(FramingRead, CutOrOversizedLength) {
  run_reads({
      {kInteger, "02", "ASN_ERR_TRUNCATED", 0, false},
      {kInteger, "02 81", "ASN_ERR_TRUNCATED", 0, false},
      {kInteger, "02 83 00 01", "ASN_ERR_TRUNCATED", 0, false},
      // A matched identifier with a bad length fails even when optional.
      {kOptionalInteger, "02 82 01", "ASN_ERR_TRUNCATED", 0, false},
      // Announced contents longer than the data.
      {kInteger, "02 02 05", "ASN_ERR_TRUNCATED", 0, false},
      {kOptionalInteger, "02 02 05", "ASN_ERR_TRUNCATED", 0, false},
      {kOctets, "04 81 03 41 42", "ASN_ERR_TRUNCATED", 0, false},
      {kRecord, "30 04 02 01 05", "ASN_ERR_TRUNCATED", 0, false},
  });
}

TEST(FramingRead, LongFormLengths) {
  run_reads({
      {kInteger, "02 81 01 05", "ASN_OK", 4, true},
      {kInteger, "02 84 00 00 00 01 05", "ASN_OK", 7, true},
      // More than four length octets: leading zeros are harmless.
      {kInteger, "02 86 00 00 00 00 00 01 05", "ASN_OK", 9, true},
      // Significant octets beyond 32 bits can never fit the data.
      {kInteger, "02 85 01 00 00 00 01 05", "ASN_ERR_TRUNCATED", 0, false},
      {kInteger, "02 84 FF FF FF FF 05", "ASN_ERR_TRUNCATED", 0, false},
  });
}

TEST(FramingRead, FormNotPermitted) {
  run_reads({
      // INTEGER is primitive only (X.690 8.3.1).
      {kInteger, "22 03 02 01 05", "ASN_ERR_CONSTRUCTED_NOT_PERMITTED", 0, false},
      {kOptionalInteger, "22 03 02 01 05", "ASN_ERR_CONSTRUCTED_NOT_PERMITTED", 0, false},
      {kInteger, "02 80 05 00 00", "ASN_ERR_INDEFINITE_NOT_PERMITTED", 0, false},
      // BIT STRING may be constructed but not of indefinite length here.
      {kBits, "23 80 03 01 00 00 00", "ASN_ERR_INDEFINITE_NOT_PERMITTED", 0, false},
      // SEQUENCE is constructed only (X.690 8.9.1).
      {kRecord, "10 03 02 01 05", "ASN_ERR_PRIMITIVE_NOT_PERMITTED", 0, false},
  });
}

TEST(FramingRead, IndefiniteLengthNeedsEndOfContents) {
  run_reads({
      {kRecord, "30 80 02 01 05 00 00", "ASN_OK", 7, true},
      {kRecord, "30 80 02 01 05 00 00 FF", "ASN_OK", 7, true},
      {kOctets, "24 80 04 01 41 00 00", "ASN_OK", 7, true},
      // No 00 00: refused, the cursor stays behind the contents.
      {kRecord, "30 80 02 01 05", "ASN_ERR_BAD_LENGTH", 5, false},
      {kRecord, "30 80 02 01 05 02 01 06 00 00", "ASN_ERR_BAD_LENGTH", 5, false},
  });
}

TEST(FramingRead, OptionalIntegerBeforeOctetStringConsumesNothing) {
  tq_asn_integer i;
  i.set_optional(1);
  tq_asn_octetstring o;
  hex_view in("04 01 41");
  ASSERT_EQ(i.asnread(in.view()), 0);
  EXPECT_EQ(in.consumed(), 0u);
  EXPECT_EQ(i.is_present(), 0);
  ASSERT_EQ(o.asnread(in.view()), 0);
  EXPECT_EQ(in.consumed(), 3u);
}

// --- writing ---------------------------------------------------------------------------

TEST(FramingWrite, MandatoryUnsetWritesNothing) {
  tq_asn_integer i;
  tq_buffer_t out;
  out.append(static_cast<unsigned char>(0xEE));
  EXPECT_EQ(status_name(i.asnwrite(out)), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(out.used(), 1u);
}

TEST(FramingWrite, FailureInsideElementRestoresUsedLength) {
  // A list is present even when its element has no value; the element's
  // failure must not leave the list's identifier behind.
  tq_asn_sequenceof<tq_asn_octetstring> list;
  list.add_child();
  tq_buffer_t out;
  out.append(static_cast<unsigned char>(0xEE));
  EXPECT_EQ(status_name(list.asnwrite(out)), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(to_hex(out), "EE");
}

TEST(FramingWrite, ValueEqualToDefaultIsOmitted) {
  struct Case {
    const char* name;
    bool set;
    std::int32_t value;
    const char* hex;
  };
  const Case cases[] = {
      {"unset", false, 0, ""},
      {"equal to default", true, 5, ""},
      {"other value", true, 6, "02 01 06"},
  };
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
  int pre_calls = 0;
  std::uint32_t pre_remaining = 0;
  int post_calls = 0;
  int post_status = -1;
};
HookLog g_hooks;

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
      {kInteger, "02 01 05", "ASN_OK"},
      {kOptionalInteger, "04 01 41", "ASN_OK"},
      {kOptionalInteger, "", "ASN_OK"},
      {kInteger, "04 01 41", "ASN_ERR_TAG_MISMATCH"},
      {kInteger, "02 02 05", "ASN_ERR_TRUNCATED"},
      {kInteger, "22 00", "ASN_ERR_CONSTRUCTED_NOT_PERMITTED"},
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
