// Composites, SEQUENCE and SEQUENCE OF (X.690 8.9, 8.10): presence derived
// from children, child-array growth, list editing and decoding.
#include <cstring>
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

using octets_list = tq_asn_sequenceof<tq_asn_octetstring>;

void set_text(tq_asn_octetstring* o, const char* text) {
  o->set_value(reinterpret_cast<const unsigned char*>(text), static_cast<std::uint32_t>(std::strlen(text)));
}

std::string contents(const octets_list& list) {
  std::string out;
  for (std::uint32_t i = 0; i < list.get_child_count(); ++i) {
    unsigned char* bytes = nullptr;
    std::uint32_t length = 0;
    if (list[i]->get_value(bytes, length) != 0) return "<no value>";
    out += (i ? "|" : "") + to_hex(bytes, length);
  }
  return out;
}

// --- writing ---------------------------------------------------------------------

TEST(SequenceOf, WritesElementsOrNothingWhenOptionalAndEmpty) {
  struct Case {
    const char* name;
    bool optional;
    std::vector<const char*> elements;
    const char* hex;
  };
  const Case cases[] = {
      {"empty", false, {}, "30 00"},
      {"optional, empty", true, {}, ""},
      {"optional, one element", true, {"A"}, "30 03 04 01 41"},
      {"two elements", false, {"A", "B"}, "30 06 04 01 41 04 01 42"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    octets_list list;
    if (c.optional) list.set_optional(1);
    for (const char* text : c.elements) set_text(list.add_child(), text);
    EXPECT_EQ(list.is_present(), c.optional && c.elements.empty() ? 0 : 1);
    EXPECT_EQ(write_hex(list), c.hex);
  }
}

struct TwoOptional : tq_asn_sequence {
  tq_asn_integer a, b;
  TwoOptional() {
    a.set_optional(1);
    b.set_optional(1);
    register_child(&a);
    register_child(&b);
  }
};

TEST(Sequence, OnlyAbsentOptionalChildrenIsPresentWhenEmptyPermitted) {
  TwoOptional s;
  EXPECT_EQ(s.is_present(), 1);
  EXPECT_EQ(write_hex(s), "30 00");
  s.set_empty_permitted(0);
  EXPECT_EQ(s.is_present(), 0);
  EXPECT_EQ(write_hex(s), "<ASN_ERR_NO_VALUE>");
  s.b.set_value(1);
  EXPECT_EQ(s.is_present(), 1);
  EXPECT_EQ(write_hex(s), "30 03 02 01 01");
}

// --- presence propagation -----------------------------------------------------------

struct Inner : tq_asn_sequence {
  tq_asn_integer x, y;
  Inner() {
    register_child(&x);
    register_child(&y);
  }
};
struct Middle : tq_asn_sequence {
  Inner inner;
  Middle() { register_child(&inner); }
};
struct Outer : tq_asn_sequence {
  Middle middle;
  Outer() { register_child(&middle); }
};

TEST(Composite, PresenceTravelsThroughNestedRecords) {
  Outer o;
  auto presence = [&] {
    return std::to_string(o.is_present()) + std::to_string(o.middle.is_present()) +
           std::to_string(o.middle.inner.is_present());
  };
  EXPECT_EQ(presence(), "000");
  o.middle.inner.x.set_value(1);
  EXPECT_EQ(presence(), "000");
  o.middle.inner.y.set_value(2);  // the last mandatory member
  EXPECT_EQ(presence(), "111");
  EXPECT_EQ(write_hex(o), "30 0A 30 08 30 06 02 01 01 02 01 02");
  o.middle.inner.y.empty();
  EXPECT_EQ(presence(), "000");
  EXPECT_EQ(o.is_encoding_valid(), 0);
  EXPECT_EQ(write_hex(o), "<ASN_ERR_NO_VALUE>");
  o.middle.inner.y.set_value(3);
  EXPECT_EQ(presence(), "111");
  EXPECT_EQ(write_hex(o), "30 0A 30 08 30 06 02 01 01 02 01 03");
}

// --- child array ---------------------------------------------------------------------

TEST(Composite, ChildArrayGrowth) {
  struct Case {
    std::uint32_t initial;
    std::uint32_t children;
    std::uint32_t capacity;
  };
  const Case cases[] = {
      // 32 slots first, then 512 at a time.
      {0, 1, 32}, {0, 32, 32}, {0, 33, 544}, {0, 545, 1056}, {2048, 2048, 2048}, {2048, 2049, 2560},
      // From 2048 children on, count / 2048 blocks of 512 (a quarter of the size), up to 16 blocks.
      {4096, 4097, 5120}, {32768, 32769, 40960}, {34816, 34817, 35328},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.initial) + " slots, " + std::to_string(c.children) + " children");
    tq_asn_sequenceof<tq_asn_null> list(c.initial, security_normal);
    EXPECT_EQ(list.capacity(), c.initial);
    for (std::uint32_t i = 0; i < c.children; ++i) ASSERT_NE(list.add_child(), nullptr);
    EXPECT_EQ(list.capacity(), c.capacity);
    ASSERT_EQ(list.get_child_count(), c.children);
    EXPECT_NE(list[c.children - 1], nullptr);
    EXPECT_EQ(list[c.children], nullptr);
  }
}

TEST(Composite, RegisterBeforeShiftsEveryChild) {
  tq_asn_null children[33];
  tq_asn_sequence s;
  for (int i = 0; i < 32; ++i) s.register_child(&children[i]);
  ASSERT_EQ(s.capacity(), 32u);
  s.register_child_before(&children[32]);
  EXPECT_EQ(s.capacity(), 544u);
  ASSERT_EQ(s.get_child_count(), 33u);
  EXPECT_EQ(s[0], &children[32]);
  for (std::uint32_t i = 0; i < 32; ++i) ASSERT_EQ(s[i + 1], &children[i]) << i;
  EXPECT_EQ(children[32].get_parent(), &s);

  tq_asn_sequence fresh;
  fresh.register_child_before(&children[0]);
  EXPECT_EQ(fresh.capacity(), 512u);
}

TEST(SequenceOf, DeleteChild) {
  octets_list list;
  set_text(list.add_child(), "A");
  set_text(list.add_child(), "B");
  ASSERT_EQ(write_hex(list), "30 06 04 01 41 04 01 42");
  EXPECT_EQ(status_name(list.delete_child(5)), "ASN_ERR_NO_SUCH_ITEM");
  EXPECT_EQ(status_name(list.delete_child(2)), "ASN_ERR_NO_SUCH_ITEM");
  EXPECT_EQ(list.get_child_count(), 2u);
  EXPECT_EQ(list.delete_child(0), 0);
  EXPECT_EQ(contents(list), "42");
  EXPECT_EQ(list.is_encoding_valid(), 0);
  EXPECT_EQ(write_hex(list), "30 03 04 01 42");
  set_text(list.add_child_before(), "C");
  EXPECT_EQ(contents(list), "43|42");
}

// --- reading ---------------------------------------------------------------------------

TEST(SequenceOf, DecodeReplacesPreviousElements) {
  struct Case {
    const char* hex;
    const char* status;
    const char* elements;
  };
  const Case cases[] = {
      {"30 00", "ASN_OK", ""},
      {"30 06 04 01 41 04 01 42", "ASN_OK", "41|42"},
      {"30 80 04 01 41 24 80 04 01 42 00 00 00 00", "ASN_OK", "41|42"},
      // The last element runs past the list's definite length.
      {"30 05 04 01 41 04 01 42", "ASN_ERR_TRUNCATED", ""},
      // An element of another type.
      {"30 06 04 01 41 02 01 05", "ASN_ERR_TAG_MISMATCH", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    octets_list list;
    set_text(list.add_child(), "old");
    set_text(list.add_child(), "older");
    hex_view in(c.hex);
    EXPECT_EQ(status_name(list.asnread(in.view())), c.status);
    if (std::string(c.status) == "ASN_OK") EXPECT_EQ(contents(list), c.elements);
  }
}

struct OneInteger : tq_asn_sequence {
  tq_asn_integer x;
  OneInteger() { register_child(&x); }
};

TEST(Sequence, Decode) {
  struct Case {
    const char* hex;
    const char* status;
    std::uint32_t consumed;
  };
  const Case cases[] = {
      {"30 03 02 01 05", "ASN_OK", 5}, {"30 03 02 01 05 FF", "ASN_OK", 5},
      // More elements than members inside a definite length.
      {"30 06 02 01 05 02 01 06", "ASN_ERR_EXTRA_CONTENT", 0}, {"30 04 02 01 05 00", "ASN_ERR_EXTRA_CONTENT", 0},
      // A missing or foreign mandatory member.
      {"30 00", "ASN_ERR_TRUNCATED", 0}, {"30 03 04 01 41", "ASN_ERR_TAG_MISMATCH", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    OneInteger s;
    hex_view in(c.hex);
    EXPECT_EQ(status_name(s.asnread(in.view())), c.status);
    EXPECT_EQ(in.consumed(), c.consumed);
    EXPECT_EQ(s.is_present(), c.consumed != 0 ? 1 : 0);
  }
}

// --- out of memory -----------------------------------------------------------------------

TEST(CompositeMemory, FailedArrayGrowthKeepsChildren) {
  tq_asn_null children[33];
  for (bool before : {false, true}) {
    SCOPED_TRACE(before ? "register_child_before" : "register_child");
    tq_asn_sequence s;
    for (int i = 0; i < 32; ++i) s.register_child(&children[i]);
    oxserutl_fault_arm(1);
    try {
      if (before)
        s.register_child_before(&children[32]);
      else
        s.register_child(&children[32]);
      ADD_FAILURE() << "no exception";
    } catch (const tq_asn_memexception& e) {
      EXPECT_STREQ(e.text(), "Out of memory in asn_composite::register_child");
    }
    oxserutl_fault_arm(0);
    EXPECT_EQ(s.get_child_count(), 32u);
    EXPECT_EQ(s.capacity(), 32u);
    for (std::uint32_t i = 0; i < 32; ++i) ASSERT_EQ(s[i], &children[i]);
  }
}

struct CountedOctets : tq_asn_octetstring {
  static int live;
  explicit CountedOctets(security_t security) : tq_asn_octetstring(security) { ++live; }
  ~CountedOctets() override { --live; }
};
int CountedOctets::live = 0;

TEST(CompositeMemory, AddChildWithoutMemoryReturnsNull) {
  CountedOctets::live = 0;
  tq_asn_sequenceof<CountedOctets> list;
  list.add_child();
  oxserutl_fault_arm(1);
  EXPECT_EQ(list.add_child(), nullptr);
  oxserutl_fault_arm(1);
  EXPECT_EQ(list.add_child_before(), nullptr);
  oxserutl_fault_arm(0);
  EXPECT_EQ(list.get_child_count(), 1u);
  EXPECT_EQ(CountedOctets::live, 1);
}

TEST(CompositeMemory, DecodeFailsCleanlyAtEveryAllocation) {
  // Each allocation made while decoding fails in turn: the decode raises the
  // memory exception and no element is left behind unowned.
  const char* hex = "30 0A 04 01 41 24 80 04 01 42 00 00";
  CountedOctets::live = 0;
  bool completed = false;
  for (long k = 1; k < 100 && !completed; ++k) {
    SCOPED_TRACE(k);
    {
      tq_asn_sequenceof<CountedOctets> list;
      hex_view in(hex);
      oxserutl_fault_arm(k);
      try {
        completed = list.asnread(in.view()) == 0 && !oxserutl_fault_fired();
      } catch (const tq_asn_memexception& e) {
        if (k == 1) EXPECT_STREQ(e.text(), "Out of memory in asn_sequenceof:decode_value");
      }
      oxserutl_fault_arm(0);
      EXPECT_EQ(CountedOctets::live, static_cast<int>(list.get_child_count()));
    }
    ASSERT_EQ(CountedOctets::live, 0);
  }
  EXPECT_TRUE(completed);
}

}  // namespace
