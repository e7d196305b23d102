// The object base: state flags, default values, cache invalidation, type
// names and the refused operations.
#include <cstdio>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <oxserutl/asnbase.h>

#include "test_util.h"

using oxs_test::write_hex;

namespace {

TEST(ObjectBase, NewObjectIsInvalidUntilOptional) {
  std::unique_ptr<tq_asn_object> objects[] = {std::make_unique<tq_asn_integer>(), std::make_unique<tq_asn_boolean>(),
                                              std::make_unique<tq_asn_octetstring>(),
                                              std::make_unique<tq_asn_bitstring>()};
  for (auto& o : objects) {
    SCOPED_TRACE(o->get_type_name());
    EXPECT_EQ(o->is_present() + o->is_optional() + o->is_defaultable() + o->is_encoding_valid(), 0);
    EXPECT_EQ(o->is_valid(0), 0);
    o->set_optional(1);
    EXPECT_EQ(o->is_valid(0), 1);
    EXPECT_EQ(o->is_present(), 0);
  }
}

TEST(ObjectBase, TagOrClassChangeInvalidatesSelfAndParent) {
  for (bool change_class : {false, true}) {
    SCOPED_TRACE(change_class ? "set_class" : "set_tag");
    tq_asn_sequence record;
    tq_asn_integer member;
    record.register_child(&member);
    member.set_value(7);
    ASSERT_EQ(write_hex(record), "30 03 02 01 07");
    ASSERT_EQ(member.is_encoding_valid() + record.is_encoding_valid(), 2);
    if (change_class)
      member.set_class(2);
    else
      member.set_tag(5);
    EXPECT_EQ(member.is_encoding_valid(), 0);
    EXPECT_EQ(record.is_encoding_valid(), 0);
  }
}

TEST(ObjectBase, EmptyMakesPresentObjectAbsent) {
  tq_asn_integer i;
  i.set_value(3);
  ASSERT_EQ(i.is_present() + i.is_encoding_valid(), 2);
  EXPECT_EQ(i.empty(), 0);
  EXPECT_EQ(i.is_present(), 0);
  EXPECT_EQ(i.is_encoding_valid(), 0);
  EXPECT_EQ(write_hex(i), "<ASN_ERR_NO_VALUE>");
  tq_buffer_t out;  // no cached contents, so no length to write
  EXPECT_EQ(oxs_test::status_name(i.write_length(out)), "ASN_ERR_BAD_LENGTH");
}

struct TrackedInteger : tq_asn_integer {
  static int destroyed;
  ~TrackedInteger() override { ++destroyed; }
};
int TrackedInteger::destroyed = 0;

TEST(ObjectBase, ReplacedDefaultValueIsDeleted) {
  TrackedInteger::destroyed = 0;
  {
    tq_asn_integer i;
    auto* first = new TrackedInteger;
    first->set_value(1);
    i.set_default_value(first);
    EXPECT_EQ(first->get_parent(), &i);
    auto* second = new TrackedInteger;
    second->set_value(2);
    i.set_default_value(second);
    EXPECT_EQ(TrackedInteger::destroyed, 1);
    EXPECT_EQ(i.is_defaultable(), 1);
    std::int32_t v = 0;
    ASSERT_EQ(i.get_value(v), 0);
    EXPECT_EQ(v, 2);
  }
  EXPECT_EQ(TrackedInteger::destroyed, 2);  // the owner deletes its default
}

TEST(ObjectBase, IsDefaultValue) {
  struct Case {
    const char* name;
    bool with_default, set;
    std::int32_t value;
    int expected;
  };
  const Case cases[] = {
      {"no default", false, true, 5, 0},
      {"default, never set", true, false, 0, 1},
      {"default, set equal", true, true, 5, 1},
      {"default, set different", true, true, 6, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tq_asn_integer i;
    if (c.with_default) i.set_default_value(5);
    if (c.set) i.set_value(c.value);
    EXPECT_EQ(i.is_default_value(), c.expected);
  }
}

TEST(ObjectBase, TypeNameKeepsFirstSixteenCharacters) {
  tq_asn_sequence s;
  EXPECT_STREQ(s.get_type_name(), "SEQUENCE");
  s.set_type_name("object_space_entry_t");
  EXPECT_STREQ(s.get_type_name(), "object_space_ent");
}

template <class F>
std::string refusal(F f) {
  try {
    f();
  } catch (const tq_asn_unsupportederror& e) {
    char code[16];
    std::snprintf(code, sizeof code, "%#x ", e.code());
    return code + std::string(e.text());
  } catch (const tq_asn_exception&) {
    return "other tq_asn_exception";
  } catch (const char* text) {
    return std::string("text: ") + text;
  }
  return "no exception";
}

TEST(ObjectBase, CopyAndAssignmentAreRefused) {
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
}

TEST(ObjectBase, ChildCountOfPrimitiveRaisesBareText) {
  tq_asn_integer i;
  EXPECT_EQ(refusal([&] { (void)i.get_child_count(); }), "text: get_child_count() invoked on non-composite object");
}

}  // namespace
