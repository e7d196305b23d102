// CHOICE and the open type: selection by identifier, the cursor after a
// failed alternative, presence, writing, and the open type's raw contents,
// syntax object and hooks.
#include <string>

#include <gtest/gtest.h>

#include <oxserutl/asnchoice.h>

#include "test_util.h"

using oxs_test::hex_view;
using oxs_test::status_name;
using oxs_test::to_hex;
using oxs_test::write_hex;

namespace {

// CHOICE { INTEGER, OCTET STRING }, optionally followed by an open type
// that catches everything else.
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

// The raw contents of an OCTET STRING or open type, or the status name.
template <class T>
std::string raw_value(T& object) {
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  const int status = object.get_value(bytes, length);
  return status != 0 ? "<" + status_name(status) + ">" : to_hex(bytes, length);
}

TEST(ChoiceRead, SelectionByIdentifier) {
  struct row { const char* in; bool optional, with_any; int status, selected; std::uint32_t consumed; };
  const row rows[] = {
      // The first alternative whose identifier matches is selected.
      {"02 01 05", false, false, 0, 0, 3}, {"04 01 41", false, false, 0, 1, 3},
      {"02 01 05 04 01 41", false, false, 0, 0, 3}, {"24 80 04 01 41 00 00", false, false, 0, 1, 7},
      // No alternative matches a mandatory choice; nothing is consumed.
      {"01 01 FF", false, false, ASN_ERR_TAG_MISMATCH, -1, 0}, {"", false, false, ASN_ERR_TAG_MISMATCH, -1, 0},
      // An alternative that fails after reading its identifier and length
      // puts the cursor back, so the next one sees the same octets.
      {"02 05 01", false, false, ASN_ERR_TAG_MISMATCH, -1, 0}, {"22 03 02 01 05", false, true, 0, 2, 5},
      {"02 05 01", false, true, ASN_ERR_TAG_MISMATCH, -1, 0},
      // An optional choice with no match is absent and consumes nothing.
      {"01 01 FF", true, false, 0, -1, 0}, {"", true, false, 0, -1, 0},
  };
  for (const row& c : rows) {
    SCOPED_TRACE(std::string(c.in) + (c.optional ? " optional" : "") + (c.with_any ? " +ANY" : ""));
    int_or_octets t(c.with_any);
    t.choice.set_optional(c.optional ? 1 : 0);
    hex_view in(c.in);
    EXPECT_EQ(status_name(t.choice.asnread(in.view())), status_name(c.status));
    EXPECT_EQ(t.choice.selected(), c.selected);
    EXPECT_EQ(in.consumed(), c.consumed);
    EXPECT_EQ(t.choice.is_present(), c.selected >= 0 ? 1 : 0);
  }
}

TEST(ChoiceRead, SelectedValueAndRoundTrip) {
  int_or_octets t(true);
  hex_view in("04 01 41");
  ASSERT_EQ(t.choice.asnread(in.view()), 0);
  EXPECT_EQ(raw_value(t.octets), "41");
  EXPECT_EQ(write_hex(t.choice), "04 01 41");

  // The constructed INTEGER is refused by the INTEGER and taken by the ANY.
  hex_view in2("22 03 02 01 05");
  ASSERT_EQ(t.choice.asnread(in2.view()), 0);
  EXPECT_EQ(t.choice.selected(), 2);
  EXPECT_EQ(t.integer.is_present(), 0);
  EXPECT_EQ(t.octets.is_present(), 0);  // the earlier selection is forgotten
  EXPECT_EQ(write_hex(t.choice), "22 03 02 01 05");
}

TEST(ChoiceRead, InsideSequence) {
  // SEQUENCE { CHOICE { INTEGER, OCTET STRING }, INTEGER }
  int_or_octets t;
  tq_asn_integer tail;
  tq_asn_sequence seq;
  seq.register_child(&t.choice);
  seq.register_child(&tail);
  hex_view in("30 06 04 01 41 02 01 07");
  ASSERT_EQ(status_name(seq.asnread(in.view())), "ASN_OK");
  EXPECT_EQ(t.choice.selected(), 1);
  EXPECT_EQ(write_hex(seq), "30 06 04 01 41 02 01 07");

  // A choice that matches nothing inside the sequence fails the sequence.
  hex_view bad("30 06 01 01 FF 02 01 07");
  EXPECT_EQ(status_name(seq.asnread(bad.view())), "ASN_ERR_TAG_MISMATCH");
  EXPECT_EQ(bad.consumed(), 0u);
}

TEST(ChoiceSelect, IndexOutOfRangeAndCachedEncoding) {
  int_or_octets t;
  EXPECT_EQ(status_name(t.choice.select(2)), "ASN_ERR_BAD_SELECTION");
  EXPECT_EQ(t.choice.selected(), -1);
  ASSERT_EQ(t.choice.select(1), 0);
  EXPECT_EQ(status_name(t.choice.select(7)), "ASN_ERR_BAD_SELECTION");
  EXPECT_EQ(t.choice.selected(), 1);
  tq_asn_choice none;
  EXPECT_EQ(status_name(none.select(0)), "ASN_ERR_BAD_SELECTION");

  // Selecting the same index again keeps the cached encoding; another
  // alternative brings its own (not yet computed) one.
  ASSERT_EQ(t.choice.select(0), 0);
  t.integer.set_value(5);
  EXPECT_EQ(write_hex(t.choice), "02 01 05");
  ASSERT_EQ(t.choice.is_encoding_valid(), 1);
  EXPECT_EQ(t.choice.select(0), 0);
  EXPECT_EQ(t.choice.is_encoding_valid(), 1);
  ASSERT_EQ(t.choice.select(1), 0);
  EXPECT_EQ(t.choice.is_encoding_valid(), 0);
}

TEST(ChoiceSelect, PresenceFollowsSelectedAlternative) {
  int_or_octets t;
  tq_asn_sequence parent;
  parent.register_child(&t.choice);
  EXPECT_EQ(t.choice.is_present(), 0);
  ASSERT_EQ(t.choice.select(0), 0);
  EXPECT_EQ(t.choice.is_present(), 0);  // the INTEGER has no value yet
  t.integer.set_value(5);
  EXPECT_EQ(t.choice.is_present(), 1);
  EXPECT_EQ(parent.is_present(), 1);
  ASSERT_EQ(t.choice.select(1), 0);  // the OCTET STRING has none
  EXPECT_EQ(t.choice.is_present(), 0);
  EXPECT_EQ(parent.is_present(), 0);
  // A value set before its selection counts once selected.
  const unsigned char a = 0x41;
  t.octets.set_value(&a, 1);
  EXPECT_EQ(t.choice.is_present(), 1);
  // An unselected alternative's value does not make the choice present.
  int_or_octets u;
  u.integer.set_value(5);
  EXPECT_EQ(u.choice.is_present(), 0);
}

TEST(ChoiceWrite, SelectedAlternativeOnly) {
  int_or_octets t;
  tq_buffer_t out;
  out.append(static_cast<unsigned char>(0xEE));
  EXPECT_EQ(status_name(t.choice.asnwrite(out)), "ASN_ERR_NOTHING_SELECTED");
  EXPECT_EQ(to_hex(out), "EE");
  // An optional choice without a selection writes nothing and succeeds.
  t.choice.set_optional(1);
  EXPECT_EQ(t.choice.asnwrite(out), 0);
  EXPECT_EQ(to_hex(out), "EE");

  t.choice.set_optional(0);
  ASSERT_EQ(t.choice.select(0), 0);
  EXPECT_EQ(write_hex(t.choice), "<ASN_ERR_NO_VALUE>");
  t.integer.set_value(5);
  const unsigned char a = 0x41;
  t.octets.set_value(&a, 1);
  EXPECT_EQ(write_hex(t.choice), "02 01 05");
  ASSERT_EQ(t.choice.select(1), 0);
  EXPECT_EQ(write_hex(t.choice), "04 01 41");
}

TEST(ChoiceRefusals, TagAndValueCodec) {
  int_or_octets t;
  try {
    t.choice.set_tag(3);
    ADD_FAILURE() << "set_tag accepted";
  } catch (const char* text) {
    EXPECT_STREQ(text, "Attempt to change tag of ASN.1 CHOICE object");
  }
  t.choice.set_tag_unchecked(3);
  EXPECT_EQ(t.choice.get_tag(), 3u);

  tq_buffer_t out;
  hex_view in("02 01 05");
  try {
    (void)t.choice.decode_value(in.view(), 3);
    ADD_FAILURE() << "decode_value accepted";
  } catch (const tq_asn_unsupportederror& e) {
    EXPECT_STREQ(e.text(), "Error: asn_choice::decode_value called");
    EXPECT_EQ(e.code(), 0x10652197u);
  }
  try {
    (void)t.choice.encode_value(out);
    ADD_FAILURE() << "encode_value accepted";
  } catch (const tq_asn_unsupportederror& e) {
    EXPECT_STREQ(e.text(), "Error: asn_choice::encode_value called");
  }
}

TEST(AnyRead, RawContents) {
  struct row {
    const char* in;
    int status;
    std::uint32_t tag;
    int cls, constructed;
    const char* raw;
    std::uint32_t consumed;
    const char* rewritten;  // null: same as the element read
  };
  const row rows[] = {
      // Any identifier is accepted and adopted, with its form.
      {"A0 03 02 01 05", 0, 0, 2, 1, "02 01 05", 5, nullptr}, {"02 01 05", 0, 2, 0, 0, "05", 3, nullptr},
      {"05 00", 0, 5, 0, 0, "", 2, nullptr}, {"9F 81 00 01 FF 00", 0, 128, 2, 0, "FF", 5, "9F 81 00 01 FF"},
      {"7F 1F 02 02 00", 0, 31, 1, 1, "02 00", 5, nullptr},
      // Non-minimal length octets are read; the write uses the shortest form.
      {"04 81 01 41", 0, 4, 0, 0, "41", 4, "04 01 41"},
      // Indefinite lengths are refused: the contents would need parsing.
      {"24 80 04 01 41 00 00", ASN_ERR_INDEFINITE_NOT_PERMITTED, 0, 0, 0, nullptr, 0, nullptr},
      {"A0 80 02 01 05 00 00", ASN_ERR_INDEFINITE_NOT_PERMITTED, 0, 0, 0, nullptr, 0, nullptr},
      // The data ends early.
      {"", ASN_ERR_TRUNCATED, 0, 0, 0, nullptr, 0, nullptr},
      {"1F 81", ASN_ERR_TRUNCATED, 0, 0, 0, nullptr, 0, nullptr},
      {"02 05 01", ASN_ERR_TRUNCATED, 0, 0, 0, nullptr, 0, nullptr},
      {"02 82 01", ASN_ERR_TRUNCATED, 0, 0, 0, nullptr, 0, nullptr},
  };
  for (const row& c : rows) {
    SCOPED_TRACE(c.in);
    tq_asn_any any;
    hex_view in(c.in);
    EXPECT_EQ(status_name(any.asnread(in.view())), status_name(c.status));
    EXPECT_EQ(in.consumed(), c.consumed);
    EXPECT_EQ(any.is_present(), c.status == 0 ? 1 : 0);
    if (c.status != 0) {
      EXPECT_EQ(raw_value(any), "<ASN_ERR_NO_VALUE>");
      continue;
    }
    EXPECT_EQ(any.get_tag(), c.tag);
    EXPECT_EQ(any.get_class(), c.cls);
    EXPECT_EQ(any.is_constructed(), c.constructed);
    EXPECT_EQ(any.should_generate_constructed(), c.constructed);
    EXPECT_EQ(raw_value(any), c.raw);
    EXPECT_EQ(write_hex(any), c.rewritten != nullptr ? c.rewritten : c.in);
  }
}

TEST(AnyRead, OptionalAbsentAndFailedReadForgetsValue) {
  tq_asn_any any;
  any.set_optional(1);
  hex_view empty("");
  EXPECT_EQ(any.asnread(empty.view()), 0);
  EXPECT_EQ(any.is_present(), 0);
  EXPECT_EQ(write_hex(any), "");

  hex_view good("04 01 41");
  ASSERT_EQ(any.asnread(good.view()), 0);
  hex_view bad("04 80 41 00 00");
  EXPECT_EQ(status_name(any.asnread(bad.view())), "ASN_ERR_INDEFINITE_NOT_PERMITTED");
  EXPECT_EQ(any.is_present(), 0);
  EXPECT_EQ(write_hex(any), "");
}

TEST(AnyWrite, ValueSetByCaller) {
  tq_asn_any any;
  EXPECT_EQ(write_hex(any), "<ASN_ERR_NO_VALUE>");
  const unsigned char ab[] = {0x41, 0x42};
  ASSERT_EQ(any.set_value(ab, 2), 0);
  any.set_tag(4);
  any.set_class(0);
  EXPECT_EQ(write_hex(any), "04 02 41 42");
  // A new value replaces the cached encoding.
  ASSERT_EQ(any.set_value(ab, 1), 0);
  EXPECT_EQ(write_hex(any), "04 01 41");
  EXPECT_EQ(raw_value(any), "41");
}

TEST(AnySyntax, TypedElementAndRawAccessRefused) {
  tq_asn_any any;
  tq_asn_integer number;
  ASSERT_EQ(any.set_syntax(&number), 0);
  EXPECT_EQ(number.get_parent(), &any);

  EXPECT_EQ(raw_value(any), "<ASN_ERR_TYPED_ANY>");
  const unsigned char five = 5;
  EXPECT_EQ(status_name(any.set_value(&five, 1)), "ASN_ERR_TYPED_ANY");
  tq_buffer_t out;
  EXPECT_EQ(status_name(any.encode_value(out)), "ASN_ERR_TYPED_ANY");
  hex_view raw("05");
  EXPECT_EQ(status_name(any.decode_value(raw.view(), 1)), "ASN_ERR_TYPED_ANY");

  // The syntax object reads the element; the open type follows its presence.
  hex_view in("02 01 05");
  ASSERT_EQ(any.asnread(in.view()), 0);
  std::int32_t v = 0;
  ASSERT_EQ(number.get_value(v), 0);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(any.is_present(), 1);
  EXPECT_EQ(write_hex(any), "02 01 05");

  hex_view other("04 01 41");
  EXPECT_EQ(status_name(any.asnread(other.view())), "ASN_ERR_TAG_MISMATCH");
  EXPECT_EQ(other.consumed(), 0u);
  EXPECT_EQ(any.is_present(), 0);
}

TEST(AnySyntax, PresenceFollowsSyntaxAndDetach) {
  tq_asn_any any;
  tq_asn_integer first;
  ASSERT_EQ(any.set_syntax(&first), 0);
  EXPECT_EQ(any.is_present(), 0);
  first.set_value(7);
  EXPECT_EQ(write_hex(any), "02 01 07");

  // Replacing the syntax object detaches the old one and forgets its value.
  tq_asn_boolean second;
  ASSERT_EQ(any.set_syntax(&second), 0);
  EXPECT_EQ(first.get_parent(), nullptr);
  EXPECT_EQ(first.is_present(), 0);
  EXPECT_EQ(any.is_present(), 0);
  second.set_value(1);
  EXPECT_EQ(write_hex(any), "01 01 FF");

  // Detached, the open type is raw again.
  ASSERT_EQ(any.set_syntax(nullptr), 0);
  EXPECT_EQ(second.get_parent(), nullptr);
  const unsigned char ab[] = {0x41, 0x42};
  EXPECT_EQ(any.set_value(ab, 2), 0);
}

TEST(AnySyntax, SecureSettingReachesSyntax) {
  tq_asn_integer early;
  tq_asn_any any(security_secure);
  ASSERT_EQ(any.set_syntax(&early), 0);
  EXPECT_EQ(early.get_secure(), security_secure);

  tq_asn_integer late;
  tq_asn_any plain;
  ASSERT_EQ(plain.set_syntax(&late), 0);
  EXPECT_EQ(late.get_secure(), security_normal);
  plain.set_secure(security_secure);
  EXPECT_EQ(late.get_secure(), security_secure);
}

std::string hook_log;

void note(const std::string& what) { hook_log += (hook_log.empty() ? "" : "|") + what; }
void log_preread(tq_asn_object*, tq_r_buffer_t&) { note("pre"); }
void log_postread(tq_asn_object*, tq_r_buffer_t&, int status) { note("post " + status_name(status)); }
int log_preparse(tq_asn_any*) { return note("parse"), 0; }
int refuse_preparse(tq_asn_any*) { return note("parse"), ASN_ERR_UNSUPPORTED; }
int refuse_preencode(tq_asn_any*) { return note("encode"), ASN_ERR_UNSUPPORTED; }

// Each read hook runs once, in order, for the choice and for the open type
// (with or without a syntax object, whose own hooks stay unset).
TEST(Hooks, ReadHooksRunOnceInOrder) {
  enum target { choice, optional_choice, any, typed_any };
  struct row {
    target on;
    const char* in;
    tq_asn_any_hook preparse;
    int status;
    std::uint32_t consumed;
    const char* log;
  };
  const row rows[] = {
      {choice, "02 01 05", nullptr, 0, 3, "pre|post ASN_OK"},
      {choice, "01 01 FF", nullptr, ASN_ERR_TAG_MISMATCH, 0, "pre|post ASN_ERR_TAG_MISMATCH"},
      {optional_choice, "01 01 FF", nullptr, 0, 0, "pre|post ASN_OK"},
      {any, "02 01 05", log_preparse, 0, 3, "pre|parse|post ASN_OK"},
      {any, "24 80 04 01 41 00 00", log_preparse, ASN_ERR_INDEFINITE_NOT_PERMITTED, 0,
       "pre|parse|post ASN_ERR_INDEFINITE_NOT_PERMITTED"},
      // A refusing pre-parse hook ends the read before anything is consumed,
      // without the post-read hook.
      {any, "02 01 05", refuse_preparse, ASN_ERR_UNSUPPORTED, 0, "pre|parse"},
      {typed_any, "04 01 41", log_preparse, ASN_ERR_TAG_MISMATCH, 0, "pre|parse|post ASN_ERR_TAG_MISMATCH"},
  };
  for (const row& c : rows) {
    SCOPED_TRACE(std::string(c.in) + " -> " + c.log);
    int_or_octets t;
    tq_asn_integer number;
    tq_asn_object* object = &t.choice;
    if (c.on == optional_choice) t.choice.set_optional(1);
    if (c.on == any || c.on == typed_any) {
      object = &t.any;
      t.any.set_preparse(c.preparse);
      if (c.on == typed_any) ASSERT_EQ(t.any.set_syntax(&number), 0);
    }
    object->set_preread(log_preread);
    object->set_postread(log_postread);
    hook_log.clear();
    hex_view in(c.in);
    EXPECT_EQ(status_name(object->asnread(in.view())), status_name(c.status));
    EXPECT_EQ(in.consumed(), c.consumed);
    EXPECT_EQ(hook_log, c.log);
  }
}

TEST(Hooks, RefusingPreEncodeWritesNothing) {
  tq_asn_any any;
  hex_view in("02 01 05");
  ASSERT_EQ(any.asnread(in.view()), 0);
  any.set_preencode(refuse_preencode);
  hook_log.clear();
  tq_buffer_t out;
  EXPECT_EQ(status_name(any.asnwrite(out)), "ASN_ERR_UNSUPPORTED");
  EXPECT_EQ(out.used(), 0u);
  EXPECT_EQ(hook_log, "encode");
}

}  // namespace
