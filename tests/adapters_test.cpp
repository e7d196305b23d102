// Field adapters: integers, byte strings, zero-terminated strings, single
// characters and text, with the local-code-set mode of the text adapter.
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include <oxserutl/asnutils.h>
#include <oxserutl/fault_injection.h>

#include "test_util.h"

using oxs_test::hex_view;
using oxs_test::status_name;
using oxs_test::to_hex;
using oxs_test::write_hex;

namespace {

std::string status_of(int status) { return status_name(static_cast<std::uint32_t>(status)); }

// The bytes of a zero-terminated string, terminator included.
std::string c_string_hex(const char* s) {
  return to_hex(reinterpret_cast<const unsigned char*>(s), std::strlen(s) + 1);
}

// Switches the process to a locale for one test and back afterwards.
class locale_scope {
 public:
  explicit locale_scope(const char* name) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    saved_ = old != nullptr ? old : "C";
    ok_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~locale_scope() { std::setlocale(LC_ALL, saved_.c_str()); }
  bool ok() const { return ok_; }

 private:
  std::string saved_;
  bool ok_ = false;
};

// --- tqasn_integer --------------------------------------------------------------

TEST(IntegerAdapter, Identity) {
  tqasn_integer i;
  EXPECT_STREQ(i.get_type_name(), "INTEGER");
  EXPECT_EQ(i.get_tag(), 2u);
}

TEST(IntegerAdapter, NarrowForms) {
  struct row {
    std::int32_t value;
    const char* ber;
    std::int32_t as_long;
    std::uint16_t as_short;
    std::uint8_t as_char;
  };
  const row rows[] = {
      {65537, "02 03 01 00 01", 65537, 1, 1},
      {300, "02 02 01 2C", 300, 300, 44},
      {-1, "02 01 FF", -1, 0xFFFF, 0xFF},
      // An unsigned field travels as its bit pattern.
      {static_cast<std::int32_t>(0x80000000u), "02 04 80 00 00 00", static_cast<std::int32_t>(0x80000000u), 0, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.value);
    tqasn_integer i;
    ASSERT_EQ(i.set_value(r.value), 0);
    EXPECT_EQ(write_hex(i), r.ber);
    tqasn_integer back;
    hex_view in(r.ber);
    ASSERT_EQ(back.asnread(in.view()), 0);
    std::int32_t l = 7;
    std::uint16_t s = 7;
    std::uint8_t c = 7;
    EXPECT_EQ(back.get_value(l), 0);
    EXPECT_EQ(back.get_value(s), 0);
    EXPECT_EQ(back.get_value(c), 0);
    EXPECT_EQ(l, r.as_long);
    EXPECT_EQ(s, r.as_short);
    EXPECT_EQ(c, r.as_char);
  }
}

TEST(IntegerAdapter, AbsentValues) {
  // With the adapter's default an absent optional integer reads 0 and is not
  // written.
  tqasn_integer optional;
  optional.set_optional(1);
  optional.set_default_value();
  std::int32_t v = 7;
  EXPECT_EQ(optional.get_value(v), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(write_hex(optional), "");

  // Without one the status stays 0 and the number is 0.
  tqasn_integer bare;
  std::uint16_t s = 7;
  EXPECT_EQ(bare.get_value(s), 0);
  EXPECT_EQ(s, 0);

  // Too wide for 32 bits.
  tqasn_integer wide;
  hex_view in("02 05 01 00 00 00 00");
  ASSERT_EQ(wide.asnread(in.view()), 0);
  v = 7;
  EXPECT_EQ(wide.get_value(v), 0);
  EXPECT_EQ(v, 0);
  wide.free_obj(0);
}

// --- tqasn_octetstring ----------------------------------------------------------

TEST(OctetStringAdapter, StringsAndCharactersOnTheWire) {
  struct row {
    const char* what;
    int kind;  // 0: string, 1: character
    const char* text;
    unsigned char c;
    const char* ber;
  };
  const row rows[] = {
      {"abc", 0, "abc", 0, "04 04 61 62 63 00"},
      {"empty string", 0, "", 0, "04 01 00"},
      {"null string", 0, nullptr, 0, "04 01 00"},
      {"character A", 1, nullptr, 'A', "04 02 41 00"},
      {"character 0", 1, nullptr, 0, "04 01 00"},
      {"character E9", 1, nullptr, 0xE9, "04 02 E9 00"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    tqasn_octetstring o;
    EXPECT_STREQ(o.get_type_name(), "OCTETSTRING");
    ASSERT_EQ(r.kind == 0 ? o.set_value(r.text) : o.set_value(r.c), 0);
    EXPECT_EQ(write_hex(o), r.ber);
  }
}

TEST(OctetStringAdapter, GetString) {
  struct row {
    const char* what;
    const char* ber;
    const char* text;  // hex of the returned string with its terminator
  };
  const row rows[] = {
      {"abc", "04 04 61 62 63 00", "61 62 63 00"},
      {"one zero octet", "04 01 00", "00"},
      {"empty", "04 00", "00"},
      {"one octet, not zero", "04 01 41", "00"},
      {"no terminator received", "04 03 61 62 63", "61 62 63 00"},
      {"zero inside", "04 03 61 00 62", "61 00 62 00"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    tqasn_octetstring o;
    hex_view in(r.ber);
    ASSERT_EQ(o.asnread(in.view()), 0);
    char* out = nullptr;
    EXPECT_EQ(o.get_value(out), 0);
    ASSERT_NE(out, nullptr);
    const std::size_t expected = oxs_test::from_hex(r.text).size();
    EXPECT_EQ(to_hex(reinterpret_cast<unsigned char*>(out), expected), r.text);
    o.free_obj(out);
  }
}

TEST(OctetStringAdapter, GetCharacter) {
  struct row {
    const char* ber;
    unsigned char c;
  };
  const row rows[] = {{"04 02 41 00", 'A'}, {"04 01 00", 0}, {"04 00", 0}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.ber);
    tqasn_octetstring o;
    hex_view in(r.ber);
    ASSERT_EQ(o.asnread(in.view()), 0);
    unsigned char c = 0x55;
    EXPECT_EQ(o.get_value(c), 0);
    EXPECT_EQ(c, r.c);
  }
  tqasn_octetstring absent;
  unsigned char c = 0x55;
  EXPECT_EQ(absent.get_value(c), 0);
  EXPECT_EQ(c, 0);
}

TEST(OctetStringAdapter, ByteBlocks) {
  tqasn_octetstring o;
  const unsigned char node[6] = {0x08, 0x00, 0x2B, 0x01, 0x02, 0x03};
  ASSERT_EQ(o.set_value(node, 6), 0);
  EXPECT_EQ(write_hex(o), "04 06 08 00 2B 01 02 03");

  unsigned char* copy = nullptr;
  std::uint32_t len = 0;
  EXPECT_EQ(o.get_value(copy, len), 0);
  ASSERT_EQ(len, 6u);
  EXPECT_EQ(to_hex(copy, len), "08 00 2B 01 02 03");
  o.free_obj(copy);

  struct row {
    std::uint32_t n;
    const char* dest;  // 8 octets, starting as FF
  };
  const row rows[] = {
      {6, "08 00 2B 01 02 03 FF FF"},
      {2, "08 00 FF FF FF FF FF FF"},
      {8, "08 00 2B 01 02 03 00 00"},  // nothing beyond the value is read
      {0, "FF FF FF FF FF FF FF FF"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.n);
    unsigned char dest[8];
    std::memset(dest, 0xFF, sizeof dest);
    EXPECT_EQ(o.get_value(r.n, dest), 0);
    EXPECT_EQ(to_hex(dest, sizeof dest), r.dest);
  }

  tqasn_octetstring empty;
  ASSERT_EQ(empty.set_value(nullptr, 0u), 0);
  copy = reinterpret_cast<unsigned char*>(&len);
  EXPECT_EQ(empty.get_value(copy, len), 0);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(copy, nullptr);
}

TEST(OctetStringAdapter, DefaultIsTheEmptyString) {
  tqasn_octetstring o;
  o.set_default_value();
  char* out = nullptr;
  EXPECT_EQ(o.get_value(out), 0);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out[0], '\0');
  o.free_obj(out);
  EXPECT_EQ(write_hex(o), "");  // equal to its default
  ASSERT_EQ(o.set_value("x"), 0);
  EXPECT_EQ(write_hex(o), "04 02 78 00");
}

TEST(OctetStringAdapter, AbsentWithoutDefault) {
  tqasn_octetstring o;
  char* out = reinterpret_cast<char*>(&o);
  EXPECT_EQ(status_of(o.get_value(out)), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(out, nullptr);
  unsigned char dest[2] = {0x11, 0x22};
  EXPECT_EQ(status_of(o.get_value(2, dest)), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(to_hex(dest, 2), "11 22");
  o.free_obj(static_cast<char*>(nullptr));
}

TEST(OctetStringAdapter, OutOfMemoryRaises) {
  tqasn_octetstring o;
  ASSERT_EQ(o.set_value("abc"), 0);
  char* out = reinterpret_cast<char*>(&o);
  oxserutl_fault_arm(1);
  try {
    (void)o.get_value(out);
    ADD_FAILURE() << "no exception";
  } catch (const tq_asn_memexception& e) {
    EXPECT_STREQ(e.text(), "Out of memory get_strvalue()");
    EXPECT_STREQ(e.file(), "asn1/asnutils");
    EXPECT_EQ(e.code(), 0x10652065u);
  }
  oxserutl_fault_arm(0);
  EXPECT_EQ(out, nullptr);

  unsigned char* block = nullptr;
  std::uint32_t len = 0;
  oxserutl_fault_arm(1);
  EXPECT_THROW((void)o.get_value(block, len), tq_asn_memexception);
  oxserutl_fault_arm(0);
}

// --- tqasnUTF8String ------------------------------------------------------------

TEST(Utf8Adapter, PlainMode) {
  struct row {
    const char* what;
    const char* text;
    const char* ber;
    const char* back;  // hex of get_value's string with its terminator
  };
  const row rows[] = {
      {"e acute as UTF-8", "\xC3\xA9", "0C 02 C3 A9", "C3 A9 00"},
      {"ASCII", "abc", "0C 03 61 62 63", "61 62 63 00"},
      {"empty", "", "0C 00", "00"},
      {"null", nullptr, "0C 00", "00"},
      {"not UTF-8, unchecked", "\xE9", "0C 01 E9", "E9 00"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    tqasnUTF8String s;
    EXPECT_STREQ(s.get_type_name(), "tqUTF8string");
    EXPECT_EQ(s.get_tag(), 12u);
    ASSERT_EQ(s.set_value(r.text), 0);
    EXPECT_EQ(write_hex(s), r.ber);
    char* out = nullptr;
    ASSERT_EQ(s.get_value(out), 0);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(c_string_hex(out), r.back);
    s.free_obj(out);

    // The same through the unsigned forms, after a round trip on the wire.
    tqasnUTF8String back;
    hex_view in(r.ber);
    ASSERT_EQ(back.asnread(in.view()), 0);
    unsigned char* uout = nullptr;
    ASSERT_EQ(back.get_value(uout), 0);
    EXPECT_EQ(c_string_hex(reinterpret_cast<char*>(uout)), r.back);
    back.free_obj(reinterpret_cast<char*>(uout));
  }
  tqasnUTF8String u;
  const unsigned char text[] = {0x78, 0x00};
  ASSERT_EQ(u.set_value(text), 0);
  EXPECT_EQ(write_hex(u), "0C 01 78");
}

TEST(Utf8Adapter, DefaultIsAPresentEmptyValue) {
  tqasnUTF8String s;
  s.set_default_value();
  EXPECT_EQ(s.is_present(), 1);
  EXPECT_EQ(s.is_defaultable(), 0);
  EXPECT_EQ(write_hex(s), "0C 00");
  char* out = nullptr;
  ASSERT_EQ(s.get_value(out), 0);
  EXPECT_EQ(c_string_hex(out), "00");
  s.free_obj(out);
}

TEST(Utf8Adapter, AbsentWithoutDefault) {
  tqasnUTF8String s;
  char* out = reinterpret_cast<char*>(&s);
  EXPECT_EQ(status_of(s.get_value(out)), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(out, nullptr);
}

TEST(Utf8Adapter, OutOfMemoryIsReturned) {
  for (security_t mode : {security_normal, security_lcs}) {
    SCOPED_TRACE(mode);
    tqasnUTF8String s(mode);
    ASSERT_EQ(s.set_value("abc"), 0);
    // Fail each allocation of get_value in turn.
    for (long k = 1;; ++k) {
      SCOPED_TRACE(k);
      char* out = reinterpret_cast<char*>(&s);
      oxserutl_fault_arm(k);
      const int status = s.get_value(out);
      const bool fired = oxserutl_fault_fired() != 0;
      oxserutl_fault_arm(0);
      if (!fired) {
        EXPECT_EQ(status, 0);
        EXPECT_STREQ(out, "abc");
        s.free_obj(out);
        break;
      }
      EXPECT_EQ(status_of(status), "ASN_ERR_MEMORY");
      EXPECT_EQ(out, nullptr);
    }
  }
}

TEST(Utf8Adapter, LocalModeOutOfMemoryOnSetRaises) {
  tqasnUTF8String s(security_lcs);
  for (long k = 1;; ++k) {
    SCOPED_TRACE(k);
    oxserutl_fault_arm(k);
    bool raised = false;
    try {
      (void)s.set_value("text");
    } catch (const tq_asn_memexception&) {
      raised = true;
    }
    const bool fired = oxserutl_fault_fired() != 0;
    oxserutl_fault_arm(0);
    EXPECT_EQ(raised, fired);
    if (!fired) break;
  }
  EXPECT_EQ(write_hex(s), "0C 04 74 65 78 74");
}

TEST(Utf8Adapter, TextSurvivesAChangeOfIdentifier) {
  tqasnUTF8String s;
  ASSERT_EQ(s.set_value("ab"), 0);
  s.set_class(2);
  EXPECT_EQ(write_hex(s), "8C 02 61 62");
}

// A Latin-1 process: text is converted both ways.
TEST(Utf8Adapter, LocalModeInALatin1Locale) {
  locale_scope latin1("en_US.ISO-8859-1");
  if (!latin1.ok()) GTEST_SKIP() << "locale en_US.ISO-8859-1 is not installed";
  struct row {
    const char* what;
    const char* local;  // given to set_value
    const char* ber;
  };
  const row rows[] = {
      {"e acute", "\xE9", "0C 02 C3 A9"},
      {"mixed", "caf\xE9!", "0C 06 63 61 66 C3 A9 21"},
      {"y diaeresis", "\xFF", "0C 02 C3 BF"},
      {"empty", "", "0C 00"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    tqasnUTF8String s(security_lcs);
    ASSERT_EQ(s.set_value(r.local), 0);
    EXPECT_EQ(write_hex(s), r.ber);
    tqasnUTF8String back(security_lcs);
    hex_view in(r.ber);
    ASSERT_EQ(back.asnread(in.view()), 0);
    char* out = nullptr;
    ASSERT_EQ(back.get_value(out), 0);
    EXPECT_EQ(c_string_hex(out), c_string_hex(r.local));
    back.free_obj(out);
  }
  // A plain-mode object in the same process does not convert.
  tqasnUTF8String plain;
  ASSERT_EQ(plain.set_value("\xE9"), 0);
  EXPECT_EQ(write_hex(plain), "0C 01 E9");
}

TEST(Utf8Adapter, LocalModeSubstitutesWhatLatin1Lacks) {
  locale_scope latin1("en_US.ISO-8859-1");
  if (!latin1.ok()) GTEST_SKIP() << "locale en_US.ISO-8859-1 is not installed";
  struct row {
    const char* what;
    const char* ber;
    const char* local;  // hex of get_value's string with its terminator
  };
  const row rows[] = {
      {"euro sign", "0C 03 E2 82 AC", "3F 00"},
      {"euro between letters", "0C 05 41 E2 82 AC 42", "41 3F 42 00"},
      {"astral character", "0C 04 F0 9F 98 80", "3F 00"},
      {"stray continuation octet", "0C 02 80 41", "3F 41 00"},
      {"lead octet FF", "0C 01 FF", "3F 00"},
      {"sequence cut short", "0C 02 41 C3", "41 3F 00"},
      {"two-octet sequence, bad second", "0C 02 C3 41", "3F 41 00"},
      {"ends at a zero octet", "0C 03 41 00 42", "41 00"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    tqasnUTF8String s(security_lcs);
    hex_view in(r.ber);
    ASSERT_EQ(s.asnread(in.view()), 0);
    char* out = nullptr;
    ASSERT_EQ(s.get_value(out), 0);
    EXPECT_EQ(c_string_hex(out), r.local);
    s.free_obj(out);
  }
}

// An ASCII process: octets above 0x7F are not ASCII and become U+FFFD.
TEST(Utf8Adapter, LocalModeInTheCLocale) {
  locale_scope c_locale("C");
  ASSERT_TRUE(c_locale.ok());
  tqasnUTF8String s(security_lcs);
  ASSERT_EQ(s.set_value("A\xE9" "B"), 0);
  EXPECT_EQ(write_hex(s), "0C 05 41 EF BF BD 42");
  char* out = nullptr;
  ASSERT_EQ(s.get_value(out), 0);
  EXPECT_EQ(c_string_hex(out), "41 3F 42 00");
  s.free_obj(out);
}

// A UTF-8 process: the octets pass unchanged, valid or not.
TEST(Utf8Adapter, LocalModeInAUtf8Locale) {
  locale_scope utf8("C.UTF-8");
  if (!utf8.ok()) GTEST_SKIP() << "locale C.UTF-8 is not installed";
  tqasnUTF8String s(security_lcs);
  ASSERT_EQ(s.set_value("\xC3\xA9\xE9"), 0);
  EXPECT_EQ(write_hex(s), "0C 03 C3 A9 E9");
  char* out = nullptr;
  ASSERT_EQ(s.get_value(out), 0);
  EXPECT_EQ(c_string_hex(out), "C3 A9 E9 00");
  s.free_obj(out);
}

}  // namespace
