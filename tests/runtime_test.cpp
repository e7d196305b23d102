// Behaviour of the runtime's object tree that the tables of objects_test.cpp
// cannot name: refusals to copy, default types, growth and memory failures,
// syntax objects.
#include <string>
#include <typeinfo>

#include <gtest/gtest.h>

#include <oxserutl/asnchoice.h>

#include "test_util.h"

using oxs_test::hex_view;
using oxs_test::refusal;
using oxs_test::status_name;
using oxs_test::to_hex;
using oxs_test::write_hex;

namespace {

// CHOICE { INTEGER, OCTET STRING }, optionally followed by an open type.
struct int_or_octets {
  explicit int_or_octets(bool with_any = false) {
    choice.register_child(&integer);
    choice.register_child(&octets);
    if (with_any) choice.register_child(&any);
  }
  tq_asn_integer integer;
  tq_asn_octetstring octets;
  tq_asn_any any;
  tq_asn_choice choice;
};


// Object by object behaviour is in the step table (tests/data/steps.txt);
// here what the table cannot name: copies, C++ types, memory failures,
// hooks and the display.
TEST(ObjectBase, RefusalsAndDefaultTypes) {
  tq_asn_integer i;
  tq_asn_sequence s;
  tq_asn_bitstring bits;
  EXPECT_EQ(refusal([&] { tq_asn_integer copy(i); }), "0x10652197 Can't copy asn_objects");
  EXPECT_EQ(refusal([&] { tq_asn_sequence copy(s); }), "0x10652197 Can't copy asn_objects");
  EXPECT_EQ(refusal([&] { tq_asn_bitstring copy(bits); }), "0x10652197 Can't copy asn_objects");
  EXPECT_EQ(refusal([&] {
              tq_asn_integer other;
              other = i;
            }),
            "0x10652197 Can't assign asn_objects");
  int_or_octets t;
  t.choice.set_tag_unchecked(3);
  EXPECT_EQ(t.choice.get_tag(), 3u);
  // An ENUMERATED default is a plain INTEGER carrying tag 10.
  tq_asn_enumerated e;
  e.set_default_value(3);
  EXPECT_TRUE(typeid(*e.get_default_value()) == typeid(tq_asn_integer));
  EXPECT_EQ(e.get_default_value()->get_tag(), 10u);
}

TEST(Composite, ChildrenAreKeptInOrderThroughGrowth) {
  tq_asn_null children[600];
  tq_asn_sequence s;
  for (int i = 1; i < 600; ++i) s.register_child(&children[i]);
  s.register_child_before(&children[0]);
  ASSERT_EQ(s.get_child_count(), 600u);
  for (std::uint32_t i = 0; i < 600; ++i) ASSERT_EQ(s[i], &children[i]) << i;
  EXPECT_EQ(s[600], nullptr);
  EXPECT_EQ(children[0].get_parent(), &s);
  // A failed growth raises and keeps the children.
  tq_asn_null more[2];
  tq_asn_sequence full;
  for (int i = 0; i < 32; ++i) full.register_child(&children[i]);
  for (bool before : {false, true}) {
    oxserutl_fault_arm(1);
    try {
      before ? full.register_child_before(&more[0]) : full.register_child(&more[1]);
      ADD_FAILURE() << "no exception";
    } catch (const tq_asn_memexception& e) {
      EXPECT_STREQ(e.text(), "Out of memory in asn_composite::register_child");
    }
    oxserutl_fault_arm(0);
    ASSERT_EQ(full.get_child_count(), 32u);
    EXPECT_EQ(full[0], &children[0]);
    EXPECT_EQ(full[31], &children[31]);
  }
}

// No memory for a new element: null, and nothing else changes.
TEST(SequenceOf, NoMemoryForANewElement) {
  tq_asn_sequenceof<tq_asn_octetstring> list;
  list.add_child();
  oxserutl_fault_arm(1);
  EXPECT_EQ(list.add_child(), nullptr);
  oxserutl_fault_arm(1);
  EXPECT_EQ(list.add_child_before(), nullptr);
  oxserutl_fault_arm(0);
  EXPECT_EQ(list.get_child_count(), 1u);
}

// Replacing the syntax object detaches the old one, which forgets its
// value; the secure setting reaches the syntax object, before and after.
TEST(Any, SyntaxObjects) {
  tq_asn_any any;
  tq_asn_integer number;
  ASSERT_EQ(any.set_syntax(&number), 0);
  EXPECT_EQ(number.get_parent(), &any);
  hex_view in("02 01 05");
  ASSERT_EQ(any.asnread(in.view()), 0);
  tq_asn_boolean second;
  ASSERT_EQ(any.set_syntax(&second), 0);
  EXPECT_EQ(number.get_parent(), nullptr);
  EXPECT_EQ(number.is_present(), 0);
  second.set_value(1);
  EXPECT_EQ(write_hex(any), "01 01 FF");
  tq_asn_integer early, late;
  tq_asn_any secure(security_secure), plain;
  ASSERT_EQ(secure.set_syntax(&early), 0);
  ASSERT_EQ(plain.set_syntax(&late), 0);
  EXPECT_EQ(early.get_secure(), security_secure);
  EXPECT_EQ(late.get_secure(), security_normal);
  plain.set_secure(security_secure);
  EXPECT_EQ(late.get_secure(), security_secure);
}

}  // namespace
