// Field adapters: integers, byte strings, zero-terminated strings, single
// characters and text, with the local-code-set mode of the text adapter.
#include <clocale>
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

// The bytes of a zero-terminated string, terminator included.
std::string c_string_hex(const void* s) {
  return to_hex(static_cast<const unsigned char*>(s), std::strlen(static_cast<const char*>(s)) + 1);
}

// Switches the process to a locale and back when it goes out of scope.
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

TEST(IntegerAdapter, NarrowForms) {
  struct row {
    std::int32_t value;
    const char* ber;
    std::int32_t as_long;
    std::uint16_t as_short;
    std::uint8_t as_char;
  };
  const row rows[] = {
      {65537, "02 03 01 00 01", 65537, 1, 1}, {300, "02 02 01 2C", 300, 300, 44}, {-1, "02 01 FF", -1, 0xFFFF, 0xFF},
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
    EXPECT_EQ(back.get_value(l) | back.get_value(s) | back.get_value(c), 0);
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
}

TEST(OctetStringAdapter, StringsAndCharactersOnTheWire) {
  struct row { bool character; const char* text; unsigned char c; const char* ber; };
  const row rows[] = {
      {false, "abc", 0, "04 04 61 62 63 00"}, {false, "", 0, "04 01 00"},   {false, nullptr, 0, "04 01 00"},
      {true, nullptr, 'A', "04 02 41 00"},    {true, nullptr, 0, "04 01 00"}, {true, nullptr, 0xE9, "04 02 E9 00"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.ber);
    tqasn_octetstring o;
    ASSERT_EQ(r.character ? o.set_value(r.c) : o.set_value(r.text), 0);
    EXPECT_EQ(write_hex(o), r.ber);
  }
}

TEST(OctetStringAdapter, GetStringAndCharacter) {
  struct row {
    const char* ber;
    const char* text;  // hex of the returned string with its terminator
    int c;             // the character, or -1 when not asked for
  };
  const row rows[] = {
      {"04 04 61 62 63 00", "61 62 63 00", -1}, {"04 02 41 00", "41 00", 'A'}, {"04 01 00", "00", 0},
      {"04 00", "00", 0},
      {"04 01 41", "00", -1},                // one octet, not zero
      {"04 03 61 62 63", "61 62 63 00", -1},  // no terminator received
      {"04 03 61 00 62", "61 00 62 00", -1},  // zero inside
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.ber);
    tqasn_octetstring o;
    hex_view in(r.ber);
    ASSERT_EQ(o.asnread(in.view()), 0);
    char* out = nullptr;
    EXPECT_EQ(o.get_value(out), 0);
    ASSERT_NE(out, nullptr);
    const std::size_t expected = oxs_test::from_hex(r.text).size();
    EXPECT_EQ(to_hex(reinterpret_cast<unsigned char*>(out), expected), r.text);
    o.free_obj(out);
    unsigned char c = 0x55;
    if (r.c < 0) continue;
    EXPECT_EQ(o.get_value(c), 0);
    EXPECT_EQ(c, r.c);
  }
}

TEST(OctetStringAdapter, ByteBlocks) {
  tqasn_octetstring o;
  const unsigned char node[6] = {0x08, 0x00, 0x2B, 0x01, 0x02, 0x03};
  ASSERT_EQ(o.set_value(node, 6), 0);
  EXPECT_EQ(write_hex(o), "04 06 08 00 2B 01 02 03");

  unsigned char* copy = nullptr;
  std::uint32_t len = 0;
  EXPECT_EQ(o.get_value(copy, len), 0);
  EXPECT_EQ(to_hex(copy, len), "08 00 2B 01 02 03");
  o.free_obj(copy);

  struct row {
    std::uint32_t n;
    const char* dest;  // 8 octets, starting as FF
  };
  const row rows[] = {
      {6, "08 00 2B 01 02 03 FF FF"}, {2, "08 00 FF FF FF FF FF FF"},
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

TEST(OctetStringAdapter, DefaultAndAbsentValues) {
  tqasn_octetstring o;
  o.set_default_value();  // the empty string
  char* out = nullptr;
  EXPECT_EQ(o.get_value(out), 0);
  EXPECT_EQ(c_string_hex(out), "00");
  o.free_obj(out);
  EXPECT_EQ(write_hex(o), "");  // equal to its default
  ASSERT_EQ(o.set_value("x"), 0);
  EXPECT_EQ(write_hex(o), "04 02 78 00");

  tqasn_octetstring absent;
  out = reinterpret_cast<char*>(&o);
  EXPECT_EQ(status_name(absent.get_value(out)), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(out, nullptr);
  unsigned char dest[2] = {0x11, 0x22};
  EXPECT_EQ(status_name(absent.get_value(2, dest)), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(to_hex(dest, 2), "11 22");
  unsigned char c = 0x55;
  EXPECT_EQ(absent.get_value(c), 0);
  EXPECT_EQ(c, 0);
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

TEST(Utf8Adapter, PlainMode) {
  struct row {
    const char* text;
    const char* ber;
    const char* back;  // hex of get_value's string with its terminator
  };
  const row rows[] = {
      {"\xC3\xA9", "0C 02 C3 A9", "C3 A9 00"}, {"abc", "0C 03 61 62 63", "61 62 63 00"}, {"", "0C 00", "00"},
      {nullptr, "0C 00", "00"},
      {"\xE9", "0C 01 E9", "E9 00"},  // not UTF-8, unchecked
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.ber);
    tqasnUTF8String s;
    ASSERT_EQ(s.set_value(r.text), 0);
    EXPECT_EQ(write_hex(s), r.ber);
    char* out = nullptr;
    ASSERT_EQ(s.get_value(out), 0);
    EXPECT_EQ(c_string_hex(out), r.back);
    s.free_obj(out);

    // The same through the unsigned forms, after a round trip on the wire.
    tqasnUTF8String back;
    hex_view in(r.ber);
    ASSERT_EQ(back.asnread(in.view()), 0);
    unsigned char* uout = nullptr;
    ASSERT_EQ(back.get_value(uout), 0);
    EXPECT_EQ(c_string_hex(uout), r.back);
    back.free_obj(reinterpret_cast<char*>(uout));
  }
  tqasnUTF8String u;
  const unsigned char text[] = {0x78, 0x00};
  ASSERT_EQ(u.set_value(text), 0);
  EXPECT_EQ(write_hex(u), "0C 01 78");
  u.set_class(2);  // the text survives a change of identifier
  EXPECT_EQ(write_hex(u), "8C 01 78");
}

TEST(Utf8Adapter, DefaultAndAbsentValues) {
  tqasnUTF8String s;
  s.set_default_value();  // a present empty value
  EXPECT_EQ(s.is_present(), 1);
  EXPECT_EQ(s.is_defaultable(), 0);
  EXPECT_EQ(write_hex(s), "0C 00");
  char* out = nullptr;
  ASSERT_EQ(s.get_value(out), 0);
  EXPECT_EQ(c_string_hex(out), "00");
  s.free_obj(out);

  tqasnUTF8String absent;
  out = reinterpret_cast<char*>(&s);
  EXPECT_EQ(status_name(absent.get_value(out)), "ASN_ERR_NO_VALUE");
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
      EXPECT_EQ(status_name(status), "ASN_ERR_MEMORY");
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

// The text of a local-mode object is converted from the process's code set
// on the way out and back to it, with '?' for what that set lacks; an ASCII
// process sends U+FFFD for octets above 0x7F, a UTF-8 one passes the octets
// unchanged, valid or not. A plain-mode object never converts.
TEST(Utf8Adapter, LocalModePerLocale) {
  const char* const latin1 = "en_US.ISO-8859-1";
  struct row {
    const char* locale;
    security_t mode;
    const char* local;  // given to set_value, or nullptr to only read
    const char* ber;
    const char* back;  // hex of get_value's string with its terminator
  };
  const row rows[] = {
      {latin1, security_lcs, "\xE9", "0C 02 C3 A9", "E9 00"},
      {latin1, security_lcs, "caf\xE9!", "0C 06 63 61 66 C3 A9 21", "63 61 66 E9 21 00"},
      {latin1, security_lcs, "\xFF", "0C 02 C3 BF", "FF 00"}, {latin1, security_lcs, "", "0C 00", "00"},
      {latin1, security_normal, "\xE9", "0C 01 E9", "E9 00"},
      // What ISO 8859-1 lacks, and broken UTF-8.
      {latin1, security_lcs, nullptr, "0C 03 E2 82 AC", "3F 00"},
      {latin1, security_lcs, nullptr, "0C 05 41 E2 82 AC 42", "41 3F 42 00"},
      {latin1, security_lcs, nullptr, "0C 04 F0 9F 98 80", "3F 00"},
      {latin1, security_lcs, nullptr, "0C 02 80 41", "3F 41 00"},  // stray continuation octet
      {latin1, security_lcs, nullptr, "0C 01 FF", "3F 00"},
      {latin1, security_lcs, nullptr, "0C 02 41 C3", "41 3F 00"},  // cut short
      {latin1, security_lcs, nullptr, "0C 02 C3 41", "3F 41 00"},  // bad second octet
      {latin1, security_lcs, nullptr, "0C 03 41 00 42", "41 00"},  // ends at a zero octet
      {"C", security_lcs, "A\xE9" "B", "0C 05 41 EF BF BD 42", "41 3F 42 00"},
      {"C.UTF-8", security_lcs, "\xC3\xA9\xE9", "0C 03 C3 A9 E9", "C3 A9 E9 00"},
  };
  std::string missing;
  for (const row& r : rows) {
    SCOPED_TRACE(std::string(r.locale) + " " + r.ber);
    locale_scope scope(r.locale);
    if (!scope.ok()) {
      missing += std::string(" ") + r.locale;
      continue;
    }
    if (r.local != nullptr) {
      tqasnUTF8String s(r.mode);
      ASSERT_EQ(s.set_value(r.local), 0);
      EXPECT_EQ(write_hex(s), r.ber);
    }
    tqasnUTF8String back(r.mode);
    hex_view in(r.ber);
    ASSERT_EQ(back.asnread(in.view()), 0);
    char* out = nullptr;
    ASSERT_EQ(back.get_value(out), 0);
    EXPECT_EQ(c_string_hex(out), r.back);
    back.free_obj(out);
  }
  if (!missing.empty()) GTEST_SKIP() << "locales not installed:" << missing;
}

}  // namespace
