// Field adapters: integers of every width, byte strings, zero-terminated
// strings and single characters, and text in the plain and local-code-set
// modes (the table tests/data/adapters.txt), with their absent values and
// their out-of-memory paths.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include <oxserutl/asnutils.h>
#include <oxserutl/fault_injection.h>

#include "test_util.h"

using oxs_test::from_hex;
using oxs_test::hex_view;
using oxs_test::status_name;
using oxs_test::to_hex;
using oxs_test::write_hex;

namespace {

// The bytes of a zero-terminated string, terminator included.
std::string c_string_hex(const void* s) {
  return to_hex(static_cast<const unsigned char*>(s), std::strlen(static_cast<const char*>(s)) + 1);
}

TEST(Adapters, IntegersOfEveryWidth) {
  struct row { std::int32_t value; const char* ber; std::uint16_t as_short; std::uint8_t as_char; };
  const row rows[] = {{65537, "02 03 01 00 01", 1, 1}, {300, "02 02 01 2C", 300, 44}, {-1, "02 01 FF", 0xFFFF, 0xFF},
                      // an unsigned field travels as its bit pattern
                      {static_cast<std::int32_t>(0x80000000u), "02 04 80 00 00 00", 0, 0}};
  for (const row& r : rows) {
    tqasn_integer i;
    ASSERT_EQ(i.set_value(r.value), 0);
    EXPECT_EQ(write_hex(i), r.ber);
    hex_view in(r.ber);
    ASSERT_EQ(i.asnread(in.view()), 0);
    std::int32_t l = 7;
    std::uint16_t s = 7;
    std::uint8_t c = 7;
    EXPECT_EQ(i.get_value(l) | i.get_value(s) | i.get_value(c), 0);
    EXPECT_EQ(l, r.value);
    EXPECT_EQ(s, r.as_short);
    EXPECT_EQ(c, r.as_char);
  }
  // Absent, with the adapter's default: reads 0, not written. Without a
  // default, or too wide for 32 bits: status 0 and the number 0.
  tqasn_integer optional;
  optional.set_optional(1);
  optional.set_default_value();
  std::int32_t v = 7;
  EXPECT_EQ(optional.get_value(v), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(write_hex(optional), "");
  tqasn_integer bare;
  std::uint16_t s = 7;
  EXPECT_EQ(bare.get_value(s), 0);
  EXPECT_EQ(s, 0);
  tqasn_integer wide;
  hex_view in("02 05 01 00 00 00 00");
  ASSERT_EQ(wide.asnread(in.view()), 0);
  v = 7;
  EXPECT_EQ(wide.get_value(v), 0);
  EXPECT_EQ(v, 0);
}

TEST(Adapters, TextTable) {
  for (const oxs_test::row& r : oxs_test::read_table("adapters.txt", 5)) {
    SCOPED_TRACE(r.where);
    oxs_test::scoped_locale locale({r[1].c_str()});
    if (!locale.ok()) continue;  // reported by the local-code-set tests
    const bool lcs = r[0] == "lcs";
#if defined(_WIN32)
    if (lcs) continue;  // the local code set is the ANSI code page there (code_page_test.cpp)
#endif
    const auto given = from_hex(r[2] == "null" || r[2] == "-" || r[2] == "(none)" ? "" : r[2]);
    const std::string text(given.begin(), given.end());
    if (r[0] == "octets" || r[0] == "char") {
      tqasn_octetstring o;
      if (r[2] != "-") {
        ASSERT_EQ(r[0] == "char" ? o.set_value(static_cast<unsigned char>(given[0])) : o.set_value(r[2] == "null" ? nullptr : text.c_str()), 0);
        EXPECT_EQ(write_hex(o), r[3]);
      }
      tqasn_octetstring back;
      hex_view in(r[3]);
      ASSERT_EQ(back.asnread(in.view()), 0);
      unsigned char c = 0x55;
      char* out = nullptr;
      EXPECT_EQ(r[0] == "char" ? back.get_value(c) : back.get_value(out), 0);
      if (r[0] == "char") {
        EXPECT_EQ(to_hex(&c, 1), r[4]);
      } else {
        EXPECT_EQ(to_hex(reinterpret_cast<unsigned char*>(out), from_hex(r[4]).size()), r[4]);
        back.free_obj(out);
      }
      continue;
    }
    if (r[2] != "-") {
      tqasnUTF8String s(lcs ? security_lcs : security_normal);
      ASSERT_EQ(s.set_value(r[2] == "null" ? nullptr : text.c_str()), 0);
      EXPECT_EQ(write_hex(s), r[3]);
    }
    tqasnUTF8String back(lcs ? security_lcs : security_normal);
    hex_view in(r[3]);
    ASSERT_EQ(back.asnread(in.view()), 0);
    char* out = nullptr;
    ASSERT_EQ(back.get_value(out), 0);
    EXPECT_EQ(c_string_hex(out), r[4]);
    back.free_obj(out);
  }
}

TEST(Adapters, ByteBlocksDefaultsAndAbsentValues) {
  tqasn_octetstring o;
  const unsigned char node[6] = {0x08, 0x00, 0x2B, 0x01, 0x02, 0x03};
  ASSERT_EQ(o.set_value(node, 6), 0);
  EXPECT_EQ(write_hex(o), "04 06 08 00 2B 01 02 03");
  unsigned char* copy = nullptr;
  std::uint32_t len = 0;
  EXPECT_EQ(o.get_value(copy, len), 0);
  EXPECT_EQ(to_hex(copy, len), "08 00 2B 01 02 03");
  o.free_obj(copy);
  // Into a fixed field: at most n octets, nothing beyond the value read.
  for (std::pair<std::uint32_t, const char*> c : {std::make_pair(2u, "08 00 FF FF FF FF FF FF"),
                                                  std::make_pair(8u, "08 00 2B 01 02 03 00 00"),
                                                  std::make_pair(0u, "FF FF FF FF FF FF FF FF")}) {
    unsigned char dest[8];
    std::memset(dest, 0xFF, sizeof dest);
    EXPECT_EQ(o.get_value(c.first, dest), 0);
    EXPECT_EQ(to_hex(dest, sizeof dest), c.second);
  }
  tqasn_octetstring empty;
  ASSERT_EQ(empty.set_value(nullptr, 0u), 0);
  copy = reinterpret_cast<unsigned char*>(&len);
  EXPECT_EQ(empty.get_value(copy, len), 0);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(copy, nullptr);
  // The default is the empty string, which is not written.
  tqasn_octetstring d;
  d.set_default_value();
  char* out = nullptr;
  EXPECT_EQ(d.get_value(out), 0);
  EXPECT_EQ(c_string_hex(out), "00");
  d.free_obj(out);
  EXPECT_EQ(write_hex(d), "");
  // Absent: no string, the fixed field untouched, the character 0.
  tqasn_octetstring absent;
  out = reinterpret_cast<char*>(&d);
  EXPECT_EQ(status_name(absent.get_value(out)), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(out, nullptr);
  unsigned char dest[2] = {0x11, 0x22};
  EXPECT_EQ(status_name(absent.get_value(2, dest)), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(to_hex(dest, 2), "11 22");
  unsigned char c = 0x55;
  EXPECT_EQ(absent.get_value(c), 0);
  EXPECT_EQ(c, 0);
  // Text: the default is a present empty value; absent gives no string.
  tqasnUTF8String s;
  s.set_default_value();
  EXPECT_EQ(s.is_present() * 2 + s.is_defaultable(), 2);
  EXPECT_EQ(write_hex(s), "0C 00");
  tqasnUTF8String none;
  out = reinterpret_cast<char*>(&s);
  EXPECT_EQ(status_name(none.get_value(out)), "ASN_ERR_NO_VALUE");
  EXPECT_EQ(out, nullptr);
  // The text survives a change of identifier.
  ASSERT_EQ(none.set_value(reinterpret_cast<const unsigned char*>("x")), 0);
  none.set_class(2);
  EXPECT_EQ(write_hex(none), "8C 01 78");
}

TEST(Adapters, OutOfMemory) {
  // The byte adapters raise; their output stays null.
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
  }
  oxserutl_fault_arm(0);
  EXPECT_EQ(out, nullptr);
  unsigned char* block = nullptr;
  std::uint32_t len = 0;
  oxserutl_fault_arm(1);
  EXPECT_THROW((void)o.get_value(block, len), tq_asn_memexception);
  oxserutl_fault_arm(0);
  // The text adapter returns ASN_ERR_MEMORY from get_value in both modes,
  // and raises from a local-mode set_value.
  for (security_t mode : {security_normal, security_lcs}) {
    tqasnUTF8String s(mode);
    ASSERT_EQ(s.set_value("abc"), 0);
    oxs_test::sweep(
        [&] {
          char* text = reinterpret_cast<char*>(&s);
          const int status = s.get_value(text);
          if (status == 0) return std::strcmp(text, "abc") == 0 ? (s.free_obj(text), 0) : -1;
          return text == nullptr ? status : -1;
        },
        [](int status, bool fired) { EXPECT_TRUE(status == 0 || (fired && status == int{ASN_ERR_MEMORY})); });
  }
  tqasnUTF8String local(security_lcs);
  oxs_test::sweep([&] { return local.set_value("text"); },
                  [](int status, bool fired) { EXPECT_TRUE(status == 0 || (fired && status == int{ASN_ERR_MEMORY})); });
  EXPECT_EQ(write_hex(local), "0C 04 74 65 78 74");
}

}  // namespace
