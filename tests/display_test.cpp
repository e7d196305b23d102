// Diagnostic display: the identifier walk (display) and the state-flag
// lines (display_state_flags) of the base object, the composite and the
// choice.
#include <string>

#include <gtest/gtest.h>

#include <oxserutl/asnchoice.h>

#include "hexio.h"

namespace {

std::string text(const tq_buffer_t& b) { return std::string(reinterpret_cast<const char*>(b.data()), b.used()); }

// --- display ----------------------------------------------------------------

TEST(Display, ObjectWithValueDefaultOrNeither) {
  struct row {
    const char* name;
    void (*prepare)(tq_asn_integer&);
    int status;
    const char* out;
  };
  const row rows[] = {
      {"present", [](tq_asn_integer& i) { i.set_value(5); }, 0, "OBJECT(tag=2, class=0)"},
      {"tagged", [](tq_asn_integer& i) { i.set_tag(300), i.set_class(3), i.set_value(5); }, 0,
       "OBJECT(tag=300, class=3)"},
      // The default is shown through its own display.
      {"default only", [](tq_asn_integer& i) { i.set_default_value(7); }, 0, "Default:OBJECT(tag=2, class=0)"},
      // Neither: the status, and nothing appended.
      {"unset", [](tq_asn_integer&) {}, ASN_ERR_NO_VALUE, "prefix"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    tq_asn_integer object;
    r.prepare(object);
    tq_buffer_t out;
    out.append("prefix");
    if (r.status == 0) out.clear();
    EXPECT_EQ(hexio::name(object.display(out)), hexio::name(r.status));
    EXPECT_EQ(text(out), r.out);
  }
}

TEST(Display, CompositeOnOneLineWithoutClosingText) {
  tq_asn_integer a;
  tq_asn_integer b;
  tq_asn_sequence seq;
  seq.register_child(&a);
  seq.register_child(&b);
  a.set_value(1);
  b.set_value(2);
  tq_buffer_t out;
  EXPECT_EQ(seq.display(out), 0);
  EXPECT_EQ(text(out), "COMPOSITE-OBJECT(tag=16, class=0) {OBJECT(tag=2, class=0)OBJECT(tag=2, class=0)");
}

TEST(Display, CompositeStopsAtFailingChild) {
  tq_asn_integer a;
  tq_asn_integer unset;
  tq_asn_integer c;
  tq_asn_sequence seq;
  seq.register_child(&a);
  seq.register_child(&unset);
  seq.register_child(&c);
  a.set_value(1);
  c.set_value(3);
  tq_buffer_t out;
  EXPECT_EQ(hexio::name(seq.display(out)), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(text(out), "COMPOSITE-OBJECT(tag=16, class=0) {OBJECT(tag=2, class=0)");
}

// --- display_state_flags ----------------------------------------------------

TEST(DisplayStateFlags, ObjectLine) {
  struct row {
    const char* name;
    void (*prepare)(tq_asn_integer&);
    int indent;
    const char* out;
  };
  const row rows[] = {
      {"unset mandatory", [](tq_asn_integer&) {}, 2,
       "  INTEGER(valid=N, present=N, optional=N, defaultable=N, enc_valid=N)\n"},
      {"optional", [](tq_asn_integer& i) { i.set_optional(1); }, 0,
       "INTEGER(valid=Y, present=N, optional=Y, defaultable=N, enc_valid=N)\n"},
      {"set", [](tq_asn_integer& i) { i.set_value(5); }, 1,
       " INTEGER(valid=Y, present=Y, optional=N, defaultable=N, enc_valid=Y)\n"},
      {"default", [](tq_asn_integer& i) { i.set_default_value(5); }, 0,
       "INTEGER(valid=Y, present=N, optional=N, defaultable=Y, enc_valid=N)\n"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    tq_asn_integer object;
    r.prepare(object);
    tq_buffer_t out;
    EXPECT_EQ(object.display_state_flags(out, r.indent), 0);
    EXPECT_EQ(text(out), r.out);
  }
}

TEST(DisplayStateFlags, CompositeIndentsChildren) {
  tq_asn_integer a;
  tq_asn_octetstring b;
  tq_asn_sequence seq;
  seq.register_child(&a);
  seq.register_child(&b);
  a.set_value(1);
  tq_buffer_t out;
  EXPECT_EQ(seq.display_state_flags(out, 1), 0);
  EXPECT_EQ(text(out),
            " SEQUENCE(valid=N, present=N, optional=N, defaultable=N, enc_valid=N)\n"
            "   INTEGER(valid=Y, present=Y, optional=N, defaultable=N, enc_valid=Y)\n"
            "   OCTETSTRING(valid=N, present=N, optional=N, defaultable=N, enc_valid=N)\n");
}

TEST(DisplayStateFlags, ChoiceMarksSelectedAlternative) {
  tq_asn_integer first;
  tq_asn_octetstring second;
  tq_asn_choice choice;
  choice.register_child(&first);
  choice.register_child(&second);
  const unsigned char a = 0x41;
  second.set_value(&a, 1);
  ASSERT_EQ(choice.select(1), 0);
  tq_buffer_t out;
  EXPECT_EQ(choice.display_state_flags(out, 0), 0);
  EXPECT_EQ(text(out),
            "CHOICE(valid=Y, present=Y, optional=N, defaultable=N, enc_valid=Y)\n"
            "  INTEGER(valid=N, present=N, optional=N, defaultable=N, enc_valid=N)\n"
            " SELECTED:\n"
            "  OCTETSTRING(valid=Y, present=Y, optional=N, defaultable=N, enc_valid=Y)\n");

  // Nested in a sequence at indent 0, the choice sits at 2 and its
  // SELECTED line at 3; selecting the unset INTEGER makes the choice absent.
  // With no selection there is no such line.
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
  tq_asn_choice empty_choice;
  empty_choice.register_child(&first);
  out.clear();
  EXPECT_EQ(empty_choice.display_state_flags(out, 0), 0);
  EXPECT_EQ(text(out),
            "CHOICE(valid=N, present=N, optional=N, defaultable=N, enc_valid=N)\n"
            "  INTEGER(valid=N, present=N, optional=N, defaultable=N, enc_valid=N)\n");
}

TEST(Display, ChoiceUsesCompositeForm) {
  tq_asn_integer first;
  tq_asn_choice choice;
  choice.register_child(&first);
  first.set_value(9);
  ASSERT_EQ(choice.select(0), 0);
  tq_buffer_t out;
  EXPECT_EQ(choice.display(out), 0);
  EXPECT_EQ(text(out), "COMPOSITE-OBJECT(tag=0, class=0) {OBJECT(tag=2, class=0)");
}

}  // namespace
