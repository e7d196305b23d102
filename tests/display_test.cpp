// Diagnostic display: the identifier walk (display) and the state-flag
// lines (display_state_flags) of the base object, the composite and the
// choice.
#include <string>

#include <gtest/gtest.h>

#include <oxserutl/asnchoice.h>

#include "test_util.h"

using oxs_test::status_name;

namespace {

std::string text(const tq_buffer_t& b) { return std::string(reinterpret_cast<const char*>(b.data()), b.used()); }

// SEQUENCE { INTEGER a, INTEGER b, INTEGER c }.
struct three_integers {
  three_integers() {
    for (tq_asn_integer* i : {&a, &b, &c}) seq.register_child(i);
  }
  tq_asn_integer a, b, c;
  tq_asn_sequence seq;
};

TEST(Display, ObjectWithValueDefaultOrNeither) {
  struct row { void (*prepare)(tq_asn_integer&); int status; const char* out; };
  const row rows[] = {
      {[](tq_asn_integer& i) { i.set_value(5); }, 0, "OBJECT(tag=2, class=0)"},
      {[](tq_asn_integer& i) { i.set_tag(300), i.set_class(3), i.set_value(5); }, 0, "OBJECT(tag=300, class=3)"},
      // The default is shown through its own display.
      {[](tq_asn_integer& i) { i.set_default_value(7); }, 0, "Default:OBJECT(tag=2, class=0)"},
      // Neither: the status, and nothing appended.
      {[](tq_asn_integer&) {}, ASN_ERR_NO_VALUE, "prefix"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.out);
    tq_asn_integer object;
    r.prepare(object);
    tq_buffer_t out;
    if (r.status != 0) out.append("prefix");
    EXPECT_EQ(status_name(object.display(out)), status_name(r.status));
    EXPECT_EQ(text(out), r.out);
  }
}

// A composite (and a choice) writes its children on one line without closing
// text, and stops at the first child that fails.
TEST(Display, CompositeOnOneLine) {
  three_integers t;
  t.a.set_value(1);
  t.c.set_value(3);
  tq_buffer_t out;
  EXPECT_EQ(status_name(t.seq.display(out)), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(text(out), "COMPOSITE-OBJECT(tag=16, class=0) {OBJECT(tag=2, class=0)");
  t.b.set_value(2);
  out.clear();
  EXPECT_EQ(t.seq.display(out), 0);
  EXPECT_EQ(text(out),
            "COMPOSITE-OBJECT(tag=16, class=0) {OBJECT(tag=2, class=0)OBJECT(tag=2, class=0)OBJECT(tag=2, class=0)");

  tq_asn_integer first;
  tq_asn_choice choice;
  choice.register_child(&first);
  first.set_value(9);
  ASSERT_EQ(choice.select(0), 0);
  out.clear();
  EXPECT_EQ(choice.display(out), 0);
  EXPECT_EQ(text(out), "COMPOSITE-OBJECT(tag=0, class=0) {OBJECT(tag=2, class=0)");
}

TEST(DisplayStateFlags, ObjectLine) {
  struct row { void (*prepare)(tq_asn_integer&); int indent; const char* out; };
  const row rows[] = {
      {[](tq_asn_integer&) {}, 2, "  INTEGER(valid=N, present=N, optional=N, defaultable=N, enc_valid=N)\n"},
      {[](tq_asn_integer& i) { i.set_optional(1); }, 0,
       "INTEGER(valid=Y, present=N, optional=Y, defaultable=N, enc_valid=N)\n"},
      {[](tq_asn_integer& i) { i.set_value(5); }, 1,
       " INTEGER(valid=Y, present=Y, optional=N, defaultable=N, enc_valid=Y)\n"},
      {[](tq_asn_integer& i) { i.set_default_value(5); }, 0,
       "INTEGER(valid=Y, present=N, optional=N, defaultable=Y, enc_valid=N)\n"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.out);
    tq_asn_integer object;
    r.prepare(object);
    tq_buffer_t out;
    EXPECT_EQ(object.display_state_flags(out, r.indent), 0);
    EXPECT_EQ(text(out), r.out);
  }
}

// Children are indented by two; a choice marks its selected alternative one
// column further in than itself, and has no such line without a selection.
TEST(DisplayStateFlags, CompositeAndChoice) {
  tq_asn_integer first;
  tq_asn_octetstring second;
  tq_asn_choice choice;
  choice.register_child(&first);
  choice.register_child(&second);
  tq_buffer_t out;
  EXPECT_EQ(choice.display_state_flags(out, 1), 0);
  EXPECT_EQ(text(out),
            " CHOICE(valid=N, present=N, optional=N, defaultable=N, enc_valid=N)\n"
            "   INTEGER(valid=N, present=N, optional=N, defaultable=N, enc_valid=N)\n"
            "   OCTETSTRING(valid=N, present=N, optional=N, defaultable=N, enc_valid=N)\n");

  const unsigned char a = 0x41;
  second.set_value(&a, 1);
  ASSERT_EQ(choice.select(1), 0);
  out.clear();
  EXPECT_EQ(choice.display_state_flags(out, 0), 0);
  EXPECT_EQ(text(out),
            "CHOICE(valid=Y, present=Y, optional=N, defaultable=N, enc_valid=Y)\n"
            "  INTEGER(valid=N, present=N, optional=N, defaultable=N, enc_valid=N)\n"
            " SELECTED:\n"
            "  OCTETSTRING(valid=Y, present=Y, optional=N, defaultable=N, enc_valid=Y)\n");

  // In a sequence, with the unset INTEGER selected (so the choice is absent).
  tq_asn_sequence seq;
  seq.register_child(&choice);
  ASSERT_EQ(choice.select(0), 0);
  out.clear();
  EXPECT_EQ(seq.display_state_flags(out, 0), 0);
  EXPECT_EQ(text(out),
            "SEQUENCE(valid=N, present=N, optional=N, defaultable=N, enc_valid=N)\n"
            "  CHOICE(valid=N, present=N, optional=N, defaultable=N, enc_valid=N)\n"
            "   SELECTED:\n"
            "    INTEGER(valid=N, present=N, optional=N, defaultable=N, enc_valid=N)\n"
            "    OCTETSTRING(valid=Y, present=Y, optional=N, defaultable=N, enc_valid=Y)\n");
}

}  // namespace
