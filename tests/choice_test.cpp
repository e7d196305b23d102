// CHOICE and the open type: selection by identifier, the cursor after a
// failed alternative, presence, writing, and the open type's raw contents,
// syntax object and hooks.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/asnchoice.h>

#include "hexio.h"

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

// --- reading: selection by identifier ---------------------------------------

struct read_case {
  const char* in;
  bool optional;
  bool with_any;
  int status;
  int selected;
  std::uint32_t consumed;
};

const read_case kReadCases[] = {
    // The first alternative whose identifier matches is selected.
    {"02 01 05", false, false, 0, 0, 3},
    {"04 01 41", false, false, 0, 1, 3},
    {"02 01 05 04 01 41", false, false, 0, 0, 3},
    {"24 80 04 01 41 00 00", false, false, 0, 1, 7},
    // No alternative matches a mandatory choice; nothing is consumed.
    {"01 01 FF", false, false, ASN_ERR_TAG_MISMATCH, -1, 0},
    {"", false, false, ASN_ERR_TAG_MISMATCH, -1, 0},
    // An alternative that fails after reading its identifier and length
    // puts the cursor back, so the next one sees the same octets.
    {"02 05 01", false, false, ASN_ERR_TAG_MISMATCH, -1, 0},
    {"22 03 02 01 05", false, true, 0, 2, 5},
    {"02 05 01", false, true, ASN_ERR_TAG_MISMATCH, -1, 0},
    // An optional choice with no match is absent and consumes nothing.
    {"01 01 FF", true, false, 0, -1, 0},
    {"", true, false, 0, -1, 0},
};

TEST(ChoiceRead, SelectionByIdentifier) {
  for (const read_case& c : kReadCases) {
    SCOPED_TRACE(std::string(c.in) + (c.optional ? " optional" : "") + (c.with_any ? " +ANY" : ""));
    int_or_octets t(c.with_any);
    t.choice.set_optional(c.optional ? 1 : 0);
    hexio::input in(c.in);
    EXPECT_EQ(hexio::name(t.choice.asnread(in.view())), hexio::name(c.status));
    EXPECT_EQ(t.choice.selected(), c.selected);
    EXPECT_EQ(in.consumed(), c.consumed);
    EXPECT_EQ(t.choice.is_present(), c.selected >= 0 ? 1 : 0);
  }
}

TEST(ChoiceRead, SelectedValueAndRoundTrip) {
  int_or_octets t(true);
  hexio::input in("04 01 41");
  ASSERT_EQ(t.choice.asnread(in.view()), 0);
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  ASSERT_EQ(t.octets.get_value(bytes, length), 0);
  EXPECT_EQ(hexio::hex(bytes, length), "41");
  EXPECT_EQ(hexio::written(t.choice), "04 01 41");

  // The constructed INTEGER is refused by the INTEGER and taken by the ANY.
  hexio::input in2("22 03 02 01 05");
  ASSERT_EQ(t.choice.asnread(in2.view()), 0);
  EXPECT_EQ(t.choice.selected(), 2);
  EXPECT_EQ(t.integer.is_present(), 0);
  EXPECT_EQ(t.octets.is_present(), 0);  // the earlier selection is forgotten
  EXPECT_EQ(hexio::written(t.choice), "22 03 02 01 05");
}

TEST(ChoiceRead, InsideSequence) {
  // SEQUENCE { CHOICE { INTEGER, OCTET STRING }, INTEGER }
  int_or_octets t;
  tq_asn_integer tail;
  tq_asn_sequence seq;
  seq.register_child(&t.choice);
  seq.register_child(&tail);
  hexio::input in("30 06 04 01 41 02 01 07");
  ASSERT_EQ(hexio::name(seq.asnread(in.view())), "ASN_OK");
  EXPECT_EQ(t.choice.selected(), 1);
  EXPECT_EQ(seq.is_present(), 1);
  EXPECT_EQ(hexio::written(seq), "30 06 04 01 41 02 01 07");

  // A choice that matches nothing inside the sequence fails the sequence.
  hexio::input bad("30 06 01 01 FF 02 01 07");
  EXPECT_EQ(hexio::name(seq.asnread(bad.view())), "ASN_ERR_TAG_MISMATCH");
  EXPECT_EQ(bad.consumed(), 0u);
}

std::vector<std::string> hook_log;

void log_preread(tq_asn_object*, tq_r_buffer_t&) { hook_log.push_back("pre"); }
void log_postread(tq_asn_object*, tq_r_buffer_t&, int status) { hook_log.push_back("post " + hexio::name(status)); }
int log_preparse(tq_asn_any*) {
  hook_log.push_back("parse");
  return 0;
}
int refuse_preparse(tq_asn_any*) {
  hook_log.push_back("parse");
  return ASN_ERR_UNSUPPORTED;
}
int refuse_preencode(tq_asn_any*) {
  hook_log.push_back("encode");
  return ASN_ERR_UNSUPPORTED;
}

struct hook_case {
  const char* in;
  bool optional;
  const char* log;
};

const hook_case kChoiceHookCases[] = {
    {"02 01 05", false, "pre|post ASN_OK"},
    {"01 01 FF", false, "pre|post ASN_ERR_TAG_MISMATCH"},
    {"01 01 FF", true, "pre|post ASN_OK"},
};

std::string joined_log() {
  std::string out;
  for (const std::string& s : hook_log) out += (out.empty() ? "" : "|") + s;
  return out;
}

TEST(ChoiceRead, HooksRunOnceEach) {
  for (const hook_case& c : kChoiceHookCases) {
    SCOPED_TRACE(std::string(c.in) + (c.optional ? " optional" : ""));
    int_or_octets t;
    t.choice.set_optional(c.optional ? 1 : 0);
    t.choice.set_preread(log_preread);
    t.choice.set_postread(log_postread);
    hook_log.clear();
    hexio::input in(c.in);
    (void)t.choice.asnread(in.view());
    EXPECT_EQ(joined_log(), c.log);
  }
}

// --- selection and presence -------------------------------------------------

TEST(ChoiceSelect, IndexOutOfRange) {
  int_or_octets t;
  EXPECT_EQ(hexio::name(t.choice.select(2)), "ASN_ERR_BAD_SELECTION");
  EXPECT_EQ(t.choice.selected(), -1);
  ASSERT_EQ(t.choice.select(1), 0);
  EXPECT_EQ(hexio::name(t.choice.select(7)), "ASN_ERR_BAD_SELECTION");
  EXPECT_EQ(t.choice.selected(), 1);

  tq_asn_choice none;
  EXPECT_EQ(hexio::name(none.select(0)), "ASN_ERR_BAD_SELECTION");
}

TEST(ChoiceSelect, SameIndexKeepsCache) {
  int_or_octets t;
  ASSERT_EQ(t.choice.select(0), 0);
  t.integer.set_value(5);
  EXPECT_EQ(hexio::written(t.choice), "02 01 05");
  ASSERT_EQ(t.choice.is_encoding_valid(), 1);
  EXPECT_EQ(t.choice.select(0), 0);
  EXPECT_EQ(t.choice.is_encoding_valid(), 1);
  // Another alternative brings its own (not yet computed) encoding.
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
  ASSERT_EQ(u.choice.select(0), 0);
  EXPECT_EQ(u.choice.is_present(), 1);
}

// --- writing ----------------------------------------------------------------

TEST(ChoiceWrite, WritesSelectedAlternativeOnly) {
  int_or_octets t;
  ASSERT_EQ(t.choice.select(0), 0);
  t.integer.set_value(5);
  const unsigned char a = 0x41;
  t.octets.set_value(&a, 1);
  EXPECT_EQ(hexio::written(t.choice), "02 01 05");
  ASSERT_EQ(t.choice.select(1), 0);
  EXPECT_EQ(hexio::written(t.choice), "04 01 41");
}

TEST(ChoiceWrite, NothingSelected) {
  int_or_octets t;
  tq_buffer_t out;
  out.append(static_cast<unsigned char>(0xEE));
  EXPECT_EQ(hexio::name(t.choice.asnwrite(out)), "ASN_ERR_NOTHING_SELECTED");
  EXPECT_EQ(hexio::hex(out), "EE");

  // An optional choice without a selection writes nothing and succeeds.
  t.choice.set_optional(1);
  EXPECT_EQ(t.choice.asnwrite(out), 0);
  EXPECT_EQ(hexio::hex(out), "EE");
}

TEST(ChoiceWrite, SelectedButUnset) {
  int_or_octets t;
  ASSERT_EQ(t.choice.select(0), 0);
  EXPECT_EQ(hexio::written(t.choice), "<ASN_ERR_NO_VALUE>");
}

// --- refusals and fixed answers ---------------------------------------------

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
  hexio::input in("02 01 05");
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
  EXPECT_EQ(t.choice.is_polymorphic(), 1);
  EXPECT_STREQ(t.choice.get_type_name(), "CHOICE");
  tq_asn_choice sized(4, security_normal);
  EXPECT_EQ(sized.capacity(), 4u);
  EXPECT_EQ(sized.selected(), -1);
}

// --- open type: reading and writing raw contents ----------------------------

struct any_case {
  const char* in;
  int status;
  std::uint32_t tag;
  int cls;
  int constructed;
  const char* raw;
  std::uint32_t consumed;
  const char* rewritten;  // null: same as the element read
};

const any_case kAnyCases[] = {
    // Any identifier is accepted and adopted, with its form.
    {"A0 03 02 01 05", 0, 0, 2, 1, "02 01 05", 5, nullptr},
    {"02 01 05", 0, 2, 0, 0, "05", 3, nullptr},
    {"05 00", 0, 5, 0, 0, "", 2, nullptr},
    {"9F 81 00 01 FF 00", 0, 128, 2, 0, "FF", 5, "9F 81 00 01 FF"},
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

TEST(AnyRead, RawContents) {
  for (const any_case& c : kAnyCases) {
    SCOPED_TRACE(c.in);
    tq_asn_any any;
    hexio::input in(c.in);
    EXPECT_EQ(hexio::name(any.asnread(in.view())), hexio::name(c.status));
    EXPECT_EQ(in.consumed(), c.consumed);
    if (c.status != 0) {
      EXPECT_EQ(any.is_present(), 0);
      unsigned char* bytes = nullptr;
      std::uint32_t length = 0;
      EXPECT_EQ(hexio::name(any.get_value(bytes, length)), "ASN_ERR_NO_VALUE");
      continue;
    }
    EXPECT_EQ(any.is_present(), 1);
    EXPECT_EQ(any.get_tag(), c.tag);
    EXPECT_EQ(any.get_class(), c.cls);
    EXPECT_EQ(any.is_constructed(), c.constructed);
    EXPECT_EQ(any.should_generate_constructed(), c.constructed);
    unsigned char* bytes = nullptr;
    std::uint32_t length = 99;
    ASSERT_EQ(any.get_value(bytes, length), 0);
    EXPECT_EQ(hexio::hex(bytes, length), c.raw);
    const std::string whole = hexio::hex(in.begin(), c.consumed);
    EXPECT_EQ(hexio::written(any), c.rewritten != nullptr ? c.rewritten : whole);
  }
}

TEST(AnyRead, OptionalAbsentAndFailedReadForgetsValue) {
  tq_asn_any any;
  any.set_optional(1);
  hexio::input empty("");
  EXPECT_EQ(any.asnread(empty.view()), 0);
  EXPECT_EQ(any.is_present(), 0);
  EXPECT_EQ(hexio::written(any), "");

  // A value read earlier does not survive a failed read.
  hexio::input good("04 01 41");
  ASSERT_EQ(any.asnread(good.view()), 0);
  hexio::input bad("04 80 41 00 00");
  EXPECT_EQ(hexio::name(any.asnread(bad.view())), "ASN_ERR_INDEFINITE_NOT_PERMITTED");
  EXPECT_EQ(any.is_present(), 0);
  EXPECT_EQ(hexio::written(any), "");
}

TEST(AnyWrite, ValueSetByCaller) {
  tq_asn_any any;
  EXPECT_EQ(hexio::written(any), "<ASN_ERR_NO_VALUE>");
  const unsigned char ab[] = {0x41, 0x42};
  ASSERT_EQ(any.set_value(ab, 2), 0);
  any.set_tag(4);
  any.set_class(0);
  EXPECT_EQ(hexio::written(any), "04 02 41 42");
  // A new value replaces the cached encoding.
  ASSERT_EQ(any.set_value(ab, 1), 0);
  EXPECT_EQ(hexio::written(any), "04 01 41");
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  ASSERT_EQ(any.get_value(bytes, length), 0);
  EXPECT_EQ(hexio::hex(bytes, length), "41");
}

// --- open type with a syntax object -----------------------------------------

TEST(AnySyntax, TypedElementAndRawAccessRefused) {
  tq_asn_any any;
  tq_asn_integer number;
  ASSERT_EQ(any.set_syntax(&number), 0);
  EXPECT_EQ(number.get_parent(), &any);

  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  EXPECT_EQ(hexio::name(any.get_value(bytes, length)), "ASN_ERR_TYPED_ANY");
  const unsigned char five = 5;
  EXPECT_EQ(hexio::name(any.set_value(&five, 1)), "ASN_ERR_TYPED_ANY");
  tq_buffer_t out;
  EXPECT_EQ(hexio::name(any.encode_value(out)), "ASN_ERR_TYPED_ANY");
  hexio::input raw("05");
  EXPECT_EQ(hexio::name(any.decode_value(raw.view(), 1)), "ASN_ERR_TYPED_ANY");

  // The syntax object reads the element; the open type follows its presence.
  hexio::input in("02 01 05");
  ASSERT_EQ(any.asnread(in.view()), 0);
  std::int32_t v = 0;
  ASSERT_EQ(number.get_value(v), 0);
  EXPECT_EQ(v, 5);
  EXPECT_EQ(any.is_present(), 1);
  EXPECT_EQ(hexio::written(any), "02 01 05");

  hexio::input other("04 01 41");
  EXPECT_EQ(hexio::name(any.asnread(other.view())), "ASN_ERR_TAG_MISMATCH");
  EXPECT_EQ(other.consumed(), 0u);
  EXPECT_EQ(any.is_present(), 0);
}

TEST(AnySyntax, PresenceFollowsSyntaxAndDetach) {
  tq_asn_any any;
  tq_asn_integer first;
  ASSERT_EQ(any.set_syntax(&first), 0);
  EXPECT_EQ(any.is_present(), 0);
  first.set_value(7);
  EXPECT_EQ(any.is_present(), 1);
  EXPECT_EQ(hexio::written(any), "02 01 07");

  // Replacing the syntax object detaches the old one and forgets its value.
  tq_asn_boolean second;
  ASSERT_EQ(any.set_syntax(&second), 0);
  EXPECT_EQ(first.get_parent(), nullptr);
  EXPECT_EQ(first.is_present(), 0);
  EXPECT_EQ(any.is_present(), 0);
  second.set_value(1);
  EXPECT_EQ(hexio::written(any), "01 01 FF");

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

// --- open type hooks --------------------------------------------------------

struct any_hook_case {
  const char* in;
  tq_asn_any_hook preparse;
  int status;
  std::uint32_t consumed;
  const char* log;
};

const any_hook_case kAnyHookCases[] = {
    {"02 01 05", log_preparse, 0, 3, "pre|parse|post ASN_OK"},
    {"24 80 04 01 41 00 00", log_preparse, ASN_ERR_INDEFINITE_NOT_PERMITTED, 0,
     "pre|parse|post ASN_ERR_INDEFINITE_NOT_PERMITTED"},
    // A refusing pre-parse hook ends the read before anything is consumed,
    // without the post-read hook.
    {"02 01 05", refuse_preparse, ASN_ERR_UNSUPPORTED, 0, "pre|parse"},
};

TEST(AnyHooks, ReadHooksRunOnceInOrder) {
  for (const any_hook_case& c : kAnyHookCases) {
    SCOPED_TRACE(c.log);
    tq_asn_any any;
    any.set_preread(log_preread);
    any.set_postread(log_postread);
    any.set_preparse(c.preparse);
    hook_log.clear();
    hexio::input in(c.in);
    EXPECT_EQ(hexio::name(any.asnread(in.view())), hexio::name(c.status));
    EXPECT_EQ(in.consumed(), c.consumed);
    EXPECT_EQ(joined_log(), c.log);
  }
  // With a syntax object the hooks are the open type's, run once each.
  tq_asn_any any;
  tq_asn_integer number;
  ASSERT_EQ(any.set_syntax(&number), 0);
  any.set_preread(log_preread);
  any.set_postread(log_postread);
  any.set_preparse(log_preparse);
  hook_log.clear();
  hexio::input in("04 01 41");
  EXPECT_EQ(any.asnread(in.view()), ASN_ERR_TAG_MISMATCH);
  EXPECT_EQ(joined_log(), "pre|parse|post ASN_ERR_TAG_MISMATCH");
}

TEST(AnyHooks, RefusingPreEncodeWritesNothing) {
  tq_asn_any any;
  hexio::input in("02 01 05");
  ASSERT_EQ(any.asnread(in.view()), 0);
  any.set_preencode(refuse_preencode);
  hook_log.clear();
  tq_buffer_t out;
  EXPECT_EQ(hexio::name(any.asnwrite(out)), "ASN_ERR_UNSUPPORTED");
  EXPECT_EQ(out.used(), 0u);
  EXPECT_EQ(joined_log(), "encode");
}

}  // namespace
