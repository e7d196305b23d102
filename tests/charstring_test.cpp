// Character string classes: code sets per class, stores, local text,
// conversion on the objects, the directory string's choice of code set, and
// the BER frame.
#include <memory>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <oxserutl/asnstrng.h>

#include "test_util.h"

using oxs_test::from_hex;
using oxs_test::hex_view;
using oxs_test::status_name;
using oxs_test::tlv;
using oxs_test::to_hex;
using oxs_test::write_hex;

namespace {

std::unique_ptr<tq_asn_charstring> make(const std::string& name) {
  if (name == "base") return std::make_unique<tq_asn_charstring>();
  if (name == "ia5") return std::make_unique<tq_asn_ia5String>();
  if (name == "printable") return std::make_unique<tq_asn_printableString>();
  if (name == "visible") return std::make_unique<tq_asn_visibleString>();
  if (name == "t61") return std::make_unique<tq_asn_teletexString>();
  if (name == "bmp") return std::make_unique<tq_asn_bmpString>();
  if (name == "univ") return std::make_unique<tq_asn_universalString>();
  if (name == "utf8") return std::make_unique<tq_asn_UTF8String>();
  if (name == "dir") return std::make_unique<tq_asn_directoryString>();
  throw std::invalid_argument(name);
}

// Loads octets as they are, in a code set the object accepts.
void load(tq_asn_charstring& s, std::uint32_t codeset, const char* hex) {
  const auto octets = from_hex(hex);
  ASSERT_EQ(s.set_codeset(codeset), 0);
  ASSERT_EQ(s.set_value_uninterpreted(octets.data(), static_cast<std::uint32_t>(octets.size())), 0);
}

TEST(CharString, CodeSetsPerClass) {
  // Columns: 12 19 20 22 26 28 30, then 4 (not a code set).
  const std::uint32_t sets[] = {12, 19, 20, 22, 26, 28, 30, 4};
  struct row { const char* name; const char* type; std::uint32_t tag, codeset; const char *accepted, *preferred; };
  const row rows[] = {
      {"ia5", "IA5string", 22, 22, "00010000", "00010000"},
      {"printable", "PrintableStr", 19, 19, "01000000", "01000000"},
      {"visible", "VisibleStr", 26, 26, "00001000", "00001000"},
      {"t61", "T61String", 20, 20, "00100000", "00100000"},
      {"bmp", "BMPstring", 30, 30, "00000010", "00000010"},
      {"univ", "UnivString", 28, 28, "00000100", "00000100"},
      {"utf8", "UTF8string", 12, 12, "10000000", "10000000"},
      {"dir", "DirectoryStr", 4, 0, "11111110", "11100100"},
      {"base", nullptr, 4, 0, "00000000", "00000000"},
  };
  for (const row& r : rows) {
    auto s = make(r.name);
    SCOPED_TRACE(r.name);
    if (r.type != nullptr) EXPECT_STREQ(s->get_type_name(), r.type);
    EXPECT_EQ(s->get_tag(), r.tag);
    EXPECT_EQ(s->get_codeset(), r.codeset);
    for (int i = 0; i < 8; ++i) {
      SCOPED_TRACE(sets[i]);
      EXPECT_EQ(s->check_accepted_codeset(sets[i]), r.accepted[i] - '0');
      EXPECT_EQ(s->check_preferred_codeset(sets[i]), r.preferred[i] - '0');
    }
  }
}

TEST(CharString, SetCodesetAndSetTag) {
  tq_asn_UTF8String utf8;
  EXPECT_EQ(status_name(utf8.set_codeset(30)), "ASN_ERR_CODESET_NOT_PERMITTED");
  utf8.set_tag(2);
  EXPECT_EQ(utf8.get_tag(), 12u);
  EXPECT_EQ(utf8.get_codeset(), 12u);

  tq_asn_directoryString dir;
  EXPECT_EQ(dir.set_codeset(30), 0);
  EXPECT_EQ(dir.get_tag(), 30u);
  dir.set_tag(26);
  EXPECT_EQ(dir.get_codeset(), 26u);
  dir.set_tag(4);  // not a code set: ignored
  EXPECT_EQ(dir.get_tag(), 26u);
  EXPECT_EQ(status_name(dir.set_codeset(4)), "ASN_ERR_CODESET_NOT_PERMITTED");
}

int store(tq_asn_charstring& s, const std::string& how, const std::string& text) {
  static const std::uint16_t bmp[] = {0x0041, 0x20AC, 0};
  static const std::uint32_t univ[] = {0x41, 0};
  if (how == "bmp") return s.set_value_BMP(bmp);
  if (how == "univ") return s.set_value_Univ(univ);
  if (how == "printable") return s.set_value_printable(text.c_str());
  if (how == "visible") return s.set_value_visible(text.c_str());
  if (how == "t61") return s.set_value_T61(text.c_str());
  if (how == "utf8") return s.set_value_UTF8(text.c_str());
  if (how == "ia5") return s.set_value_IA5(text.c_str(), 0);
  if (how == "ia5+") return s.set_value_IA5(text.c_str(), 1);
  if (how == "c") return s.set_value_C(text.c_str());
  throw std::invalid_argument(how);
}

// A successful store is written with the code set's universal tag.
TEST(CharString, Stores) {
  for (const oxs_test::row& r : oxs_test::read_table("stores.txt", 6)) {
    SCOPED_TRACE(r.where);
    auto s = make(r[0]);
    const auto octets = from_hex(r[2] == "-" || r[2] == "(none)" ? "" : r[2]);
    EXPECT_EQ(status_name(store(*s, r[1], std::string(octets.begin(), octets.end()))), r[3]);
    EXPECT_EQ(s->get_codeset(), static_cast<std::uint32_t>(r.number(4)));
    EXPECT_EQ(s->is_present(), r[5] != "-" ? 1 : 0);
    if (r[5] == "-") continue;
    const std::string value = r[5] == "(none)" ? "" : r[5];
    EXPECT_EQ(to_hex(s->value()), value);
    const unsigned char tag = static_cast<unsigned char>(s->get_codeset());
    EXPECT_EQ(write_hex(*s), tlv(to_hex(&tag, 1), value));
  }
}

TEST(CharString, FailedStoreKeepsTheOldValue) {
  tq_asn_directoryString dir;
  ASSERT_EQ(dir.set_value_UTF8("abc"), 0);
  EXPECT_EQ(status_name(dir.set_value_C("\xE9")), "ASN_ERR_UNREPRESENTABLE");
  EXPECT_EQ(dir.get_codeset(), 12u);
  EXPECT_EQ(to_hex(dir.value()), "61 62 63");
  EXPECT_EQ(status_name(dir.set_value_BMP(tq_r_buffer_t())), "ASN_OK");
  EXPECT_EQ(status_name(dir.set_value_C("x\x80")), "ASN_ERR_UNREPRESENTABLE");
  EXPECT_EQ(dir.get_codeset(), 30u);
  EXPECT_EQ(dir.value().used(), 0u);
  EXPECT_EQ(dir.is_present(), 1);
  tq_asn_printableString p;
  ASSERT_EQ(p.set_value_printable("OK"), 0);
  EXPECT_EQ(status_name(p.set_value_IA5("no@", 1)), "ASN_ERR_CODESET_NOT_PERMITTED");
  EXPECT_EQ(to_hex(p.value()), "4F 4B");
}

TEST(CharString, ReaderFormsTakeTheRemainingOctetsWithoutConsuming) {
  hex_view part("58 00 41 20 AC");
  ASSERT_TRUE(part.view().skip(1));
  tq_asn_bmpString bmp;
  EXPECT_EQ(bmp.set_value_BMP(part.view()), 0);
  EXPECT_EQ(to_hex(bmp.value()), "00 41 20 AC");
  EXPECT_EQ(part.consumed(), 1u);

  tq_asn_charstring raw;
  hex_view any("FF FE");
  EXPECT_EQ(raw.set_value_uninterpreted(any.view()), 0);
  EXPECT_EQ(to_hex(raw.value()), "FF FE");
  EXPECT_EQ(raw.get_codeset(), 0u);
  EXPECT_EQ(any.consumed(), 0u);
}

TEST(CharString, GetValueC) {
  struct row { const char *what, *utf8; char subst; const char *prefix, *status, *out; };
  const row rows[] = {
      {"ASCII", "48 69", 0, "", "ASN_OK", "48 69"}, {"appends", "48 69", 0, "58", "ASN_OK", "58 48 69"},
      {"e acute, no substitute", "C3 A9", 0, "", "ASN_ERR_UNREPRESENTABLE", ""},
      {"e acute, emptied", "C3 A9", 0, "58 59", "ASN_ERR_UNREPRESENTABLE", ""},
      {"e acute, substitute", "C3 A9", '?', "", "ASN_OK", "3F"},
      {"mixed, substitute", "41 C3 A9 42", '_', "", "ASN_OK", "41 5F 42"},
      {"no IA5 rendering", "E2 82 AC", '?', "58", "ASN_ERR_UNREPRESENTABLE", "58"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    tq_asn_UTF8String s;
    load(s, 12, r.utf8);
    tq_buffer_t out;
    const auto prefix = from_hex(r.prefix);
    out.append(prefix.data(), static_cast<std::uint32_t>(prefix.size()));
    EXPECT_EQ(status_name(s.get_value_C(out, r.subst)), r.status);
    EXPECT_EQ(to_hex(out), r.out);
  }
}

TEST(CharString, AbsentAndDefaultValues) {
  tq_asn_UTF8String s;
  tq_buffer_t out;
  EXPECT_EQ(status_name(s.get_value_BMP(out)), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(status_name(s.get_value_C(out, '?')), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(status_name(s.convert2UTF8()), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(status_name(s.convert2BMP()), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(write_hex(s), "<ASN_ERR_NO_VALUE>");
  tq_asn_directoryString dir;
  EXPECT_EQ(status_name(dir.normalize()), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(out.used(), 0u);
  // A default value is rendered like a value.
  const unsigned char a[] = {0x61};
  ASSERT_EQ(s.set_default_value(a, 1), 0);
  EXPECT_EQ(s.get_value_BMP(out), 0);
  EXPECT_EQ(to_hex(out), "00 61");
}

// In place, a conversion changes code set, tag and encoding; a failed one
// leaves them alone, and a class of one code set refuses any other.
TEST(CharString, InPlaceConversion) {
  tq_asn_directoryString dir;
  load(dir, 12, "C3 A9");
  EXPECT_EQ(write_hex(dir), "0C 02 C3 A9");
  EXPECT_EQ(dir.convert2IA5(), 0);
  EXPECT_EQ(write_hex(dir), "16 01 E9");
  EXPECT_EQ(dir.convert2T61(), 0);
  EXPECT_EQ(write_hex(dir), "14 02 C2 65");
  EXPECT_EQ(status_name(dir.convert2printable()), "ASN_ERR_UNREPRESENTABLE");
  EXPECT_EQ(write_hex(dir), "14 02 C2 65");

  tq_asn_ia5String s;
  ASSERT_EQ(s.set_value_IA5("Hi", 0), 0);
  EXPECT_EQ(status_name(s.convert2BMP()), "ASN_ERR_CODESET_NOT_PERMITTED");
  EXPECT_EQ(status_name(s.convert2IA5()), "ASN_OK");  // already there
  EXPECT_EQ(write_hex(s), "16 02 48 69");
}

TEST(DirectoryString, NormalizeChoosesTheBestCodeSet) {
  struct row {
    const char* what;
    std::uint32_t from;
    const char *value, *status;
    std::uint32_t codeset;
    const char* normalized;
  };
  const row rows[] = {
      {"printable text", 22, "48 65 6C 6C 6F", "ASN_OK", 19, "48 65 6C 6C 6F"},
      {"@ goes to T.61", 22, "61 40 62", "ASN_OK", 20, "61 40 62"},
      {"e acute goes to T.61", 30, "00 E9", "ASN_OK", 20, "C2 65"},
      {"TAB goes to UTF-8", 22, "09", "ASN_OK", 12, "09"},
      {"euro goes to UTF-8", 30, "20 AC", "ASN_OK", 12, "E2 82 AC"},
      {"visible text", 26, "41 42", "ASN_OK", 19, "41 42"},
      // normalize fails only when the conversion to UniversalString does.
      {"odd BMP length", 30, "00 E9 20", "ASN_ERR_UNREPRESENTABLE", 30, "00 E9 20"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    tq_asn_directoryString dir;
    load(dir, r.from, r.value);
    EXPECT_EQ(status_name(dir.normalize()), r.status);
    EXPECT_EQ(dir.get_codeset(), r.codeset);
    EXPECT_EQ(to_hex(dir.value()), r.normalized);
  }
}

TEST(DirectoryString, PreferredCodeSet) {
  // Printable text stays printable and nothing is recorded.
  tq_asn_directoryString plain;
  ASSERT_EQ(plain.set_value_IA5("Hello", 0), 0);
  plain.set_preferred_codeset(30);
  EXPECT_EQ(plain.get_codeset(), 19u);
  ASSERT_EQ(plain.set_value_IA5("a@b", 1), 0);
  EXPECT_EQ(plain.get_codeset(), 20u);

  // Otherwise the value is converted and the code set recorded, which then
  // wins in set_value_IA5, set_value_C and normalize.
  tq_asn_directoryString dir;
  ASSERT_EQ(dir.set_value_IA5("a@b", 0), 0);
  dir.set_preferred_codeset(30);
  EXPECT_EQ(dir.get_codeset(), 30u);
  EXPECT_EQ(to_hex(dir.value()), "00 61 00 40 00 62");
  EXPECT_EQ(dir.normalize(), 0);
  EXPECT_EQ(dir.get_codeset(), 30u);
  ASSERT_EQ(dir.set_value_C("Hello"), 0);
  EXPECT_EQ(dir.get_codeset(), 30u);
  ASSERT_EQ(dir.set_value_IA5("xyz", 1), 0);
  EXPECT_EQ(dir.get_codeset(), 30u);

  // A code set outside 12, 20, 28, 30 does nothing.
  tq_asn_directoryString other;
  ASSERT_EQ(other.set_value_IA5("a@b", 0), 0);
  other.set_preferred_codeset(26);
  EXPECT_EQ(other.get_codeset(), 22u);
  other.set_preferred_codeset(12);
  EXPECT_EQ(other.get_codeset(), 12u);
}

// A decoded constructed string is written primitive; the OCTET STRING store
// replaces the value, and a new identifier rebuilds the encoding from it.
TEST(CharString, RewriteAfterDecodeStoreAndEmpty) {
  tq_asn_UTF8String s;
  hex_view in("2C 80 04 01 61 04 01 62 00 00");
  ASSERT_EQ(s.asnread(in.view()), 0);
  EXPECT_EQ(write_hex(s), "0C 02 61 62");
  ASSERT_EQ(s.convert2UTF8(), 0);
  tq_buffer_t bmp;
  ASSERT_EQ(s.get_value_BMP(bmp), 0);
  EXPECT_EQ(to_hex(bmp), "00 61 00 62");
  const unsigned char abc[] = {0x61, 0x62, 0x63};
  ASSERT_EQ(s.set_value(abc, 3), 0);
  EXPECT_EQ(to_hex(s.value()), "61 62 63");
  s.set_class(2);
  EXPECT_EQ(write_hex(s), "8C 03 61 62 63");
  EXPECT_EQ(s.empty(), 0);
  EXPECT_EQ(s.is_present(), 0);
  EXPECT_EQ(s.value().used(), 0u);
}

}  // namespace
