// Text between the caller and the wire: every cell of the code-set
// conversion matrix that is not a plain copy, the UTF-8 forms of RFC 2279,
// ITU-T T.61 in both directions (ISO 8859-1 to T.61 for every octet, and
// against the C library's iconv), every pair without memory; the field
// adapters over tests/data/adapters.txt; on Windows, the ANSI code page.
#if defined(_WIN32)
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <oxserutl/code_page.h>
#else  // the T.61 oracle is the C library's iconv
#include <iconv.h>
#endif

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/asnstrng.h>
#include <oxserutl/asnutils.h>
#include <oxserutl/oxserutl.h>

#include "test_util.h"

using oxs_test::from_hex;
using oxs_test::status_name;
using oxs_test::tlv;
using oxs_test::to_hex;
using oxs_test::write_hex;

namespace {

using oxs_test::convert;
constexpr std::uint32_t UTF8 = 12, PRINTABLE = 19, T61 = 20, IA5 = 22, VISIBLE = 26, UNIV = 28, BMP = 30;

// Each row both ways: into a buffer behind a prefix (which survives a
// failure), then in place, where success changes code set, tag and encoding
// and a failure leaves value and code set alone.
TEST(Conversion, Matrix) {
  for (const oxs_test::row& r : oxs_test::read_table("conversions.txt", 4)) {
    SCOPED_TRACE(r.where);
    const std::uint32_t from = static_cast<std::uint32_t>(r.number(0));
    const std::uint32_t to = static_cast<std::uint32_t>(r.number(2));
    const bool refused = r[3] == "refused";
    const std::string in = r[1] == "(none)" ? "" : r[1];
    const std::string expected = refused || r[3] == "(none)" ? "" : r[3];
    const auto octets = from_hex(in);
    tq_asn_directoryString s;  // accepts every code set
    ASSERT_EQ(s.set_codeset(from), 0);
    ASSERT_EQ(s.set_value_uninterpreted(octets.data(), static_cast<std::uint32_t>(octets.size())), 0);
    const char* const status = refused ? "ASN_ERR_UNREPRESENTABLE" : "ASN_OK";

    tq_buffer_t out;
    out.append("\xAA\xBB");
    EXPECT_EQ(status_name(convert(s, to, &out)), status);
    EXPECT_EQ(to_hex(out), "AA BB" + (expected.empty() ? "" : " " + expected));
    EXPECT_EQ(s.get_codeset(), from);
    EXPECT_EQ(to_hex(s.value()), in);

    EXPECT_EQ(status_name(convert(s, to, nullptr)), status);
    EXPECT_EQ(s.get_codeset(), refused ? from : to);
    EXPECT_EQ(to_hex(s.value()), refused ? in : expected);
    const unsigned char tag = static_cast<unsigned char>(s.get_codeset());
    EXPECT_EQ(write_hex(s), tlv(to_hex(&tag, 1), to_hex(s.value())));
  }
}

TEST(Conversion, NoCodeSet) {
  tq_asn_charstring raw;
  const unsigned char a[] = {0x41};
  ASSERT_EQ(raw.set_value_uninterpreted(a, 1), 0);
  tq_buffer_t out;
  EXPECT_EQ(status_name(raw.convert2UTF8(out)), "ASN_ERR_UNREPRESENTABLE");
  EXPECT_EQ(status_name(raw.convert2UTF8()), "ASN_ERR_CODESET_NOT_PERMITTED");
}

// Every pair without memory, into a buffer and in place, on a text long
// enough to grow buffers: the buffer keeps its length, the string its value
// and code set.
TEST(Conversion, EveryPairFailsCleanlyWithoutMemory) {
  std::string ascii;
  while (ascii.size() < 1200) ascii += "Abc 123 ";
  long points = 0;
  for (std::uint32_t from : {UTF8, PRINTABLE, T61, IA5, VISIBLE, UNIV, BMP})
    for (std::uint32_t to : {UTF8, PRINTABLE, T61, IA5, VISIBLE, UNIV, BMP})
      for (bool into : {true, false})
        points += oxs_test::sweep(
            [&] {
              tq_asn_directoryString s;
              if (s.set_value_printable(ascii.c_str()) != 0 || convert(s, from, nullptr) != 0) return -1;
              const std::string before = to_hex(s.value());
              tq_buffer_t out;
              out.append("prefix");
              try {
                const int status = convert(s, to, into ? &out : nullptr);
                return status != 0 && out.used() != 6 ? -1 : status;
              } catch (const tq_asn_memexception&) {
                if (to_hex(s.value()) != before || s.get_codeset() != from) return -1;
                throw;
              }
            },
            [](int status, bool fired) { EXPECT_TRUE(status == 0 || (fired && status == int{ASN_ERR_MEMORY})); });
  EXPECT_GE(points, 98);
}

// The octets converted from one code set to another, or the status name.
std::string converted(std::uint32_t from, const unsigned char* p, std::uint32_t n, std::uint32_t to) {
  tq_asn_directoryString s;
  EXPECT_EQ(s.set_codeset(from), 0);
  EXPECT_EQ(s.set_value_uninterpreted(p, n), 0);
  tq_buffer_t out;
  const int status = convert(s, to, &out);
  return status != 0 ? "<" + status_name(status) + ">" : to_hex(out);
}

#if !defined(_WIN32)
// T.61 to BMP against an independent table: the T.61 converter of the C
// library's iconv (which spells the umlaut 0xC9 as 0xC8). The BMP octets it
// gives, or the status this library gives when iconv refuses them.
iconv_t t61_iconv = iconv_open("UCS-2BE", "T.61-8BIT");
std::string oracle(std::vector<unsigned char> t61) {
  iconv(t61_iconv, nullptr, nullptr, nullptr, nullptr);
  char out[16];
  char* in = reinterpret_cast<char*>(t61.data());
  std::size_t in_left = t61.size();
  char* o = out;
  std::size_t out_left = sizeof out;
  if (iconv(t61_iconv, &in, &in_left, &o, &out_left) == static_cast<std::size_t>(-1) || in_left != 0)
    return "<ASN_ERR_UNREPRESENTABLE>";
  return to_hex(reinterpret_cast<unsigned char*>(out), sizeof out - out_left);
}
class T61Oracle : public ::testing::Test {
  void SetUp() override {
    if (t61_iconv == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "iconv has no T.61 converter";
  }
};

// Every accent with every ASCII letter: both compose the same character or
// both refuse. Back to T.61 through ISO 8859-1, exactly the characters of
// that set (other than y with diaeresis, which the one-octet table lacks)
// return as the same accent and letter, diaeresis always as 0xC8.
TEST_F(T61Oracle, EveryAccentWithEveryLetter) {
  int composed = 0;
  for (int accent = 0xC1; accent <= 0xCF; ++accent) {
    for (int letter = 'A'; letter <= 'z'; ++letter) {
      if (letter > 'Z' && letter < 'a') continue;
      const unsigned char pair[2] = {static_cast<unsigned char>(accent), static_cast<unsigned char>(letter)};
      const unsigned char again[2] = {static_cast<unsigned char>(accent == 0xC9 ? 0xC8 : accent), pair[1]};
      SCOPED_TRACE(to_hex(pair, 2));
      const std::string bmp = converted(T61, pair, 2, BMP);
      EXPECT_EQ(bmp, oracle({again[0], again[1]}));
      if (bmp[0] == '<') continue;
      ++composed;
      const auto octets = from_hex(bmp);
      const bool latin1 = octets[0] == 0 && octets[1] != 0xFF;
      EXPECT_EQ(converted(BMP, octets.data(), 2, T61), latin1 ? to_hex(again, 2) : "<ASN_ERR_UNREPRESENTABLE>");
    }
  }
  // 155 pairs of T.61, the twelve diaeresis pairs once more as umlaut.
  EXPECT_EQ(composed, 155 + 12);
}

TEST_F(T61Oracle, SpecialLetters) {
  for (int c = 0xE0; c <= 0xFF; ++c) {
    SCOPED_TRACE(c);
    const unsigned char b = static_cast<unsigned char>(c);
    EXPECT_EQ(converted(T61, &b, 1, BMP), oracle({b}));
  }
}

#endif

// Field adapters over the table tests/data/adapters.txt: integers of every
// width, zero-terminated strings and single characters in an OCTET STRING,
// byte blocks and fixed fields, and text in the plain and local-code-set
// modes, with their defaults and absent values. Every set and get also runs
// with each of its allocations failing in turn.
struct adapter {
  explicit adapter(const std::string& kind)
      : kind(kind), text(kind == "lcs" ? security_lcs : security_normal) {}
  tq_asn_object& object() {
    if (kind == "int") return integer;
    return kind == "utf8" || kind == "lcs" ? static_cast<tq_asn_object&>(text) : octets;
  }
  int set(const std::string& given) {
    if (given == "default") {
      integer.set_optional(1);
      integer.set_default_value();
      octets.set_default_value();
      return text.set_default_value(), 0;
    }
    if (kind == "int") return integer.set_value(static_cast<std::int32_t>(std::stol(given)));
    const auto bytes = from_hex(given == "null" || given == "(none)" ? "" : given);
    const std::string value(bytes.begin(), bytes.end());
    const char* s = given == "null" ? nullptr : value.c_str();
    if (kind == "char") return octets.set_value(static_cast<unsigned char>(bytes.at(0)));
    if (kind == "block") return octets.set_value(s == nullptr ? nullptr : bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return kind == "octets" ? octets.set_value(s) : text.set_value(s);
  }
  // The value read back as the table writes it, behind "<STATUS> " when
  // get_value fails; strings show `shown` octets (the text its terminator).
  std::string get(std::size_t shown) const {
    int status = 0;
    std::string v;
    if (kind == "int") {
      std::int32_t l = 7;
      std::uint16_t s = 7;
      std::uint8_t c = 7;
      status = integer.get_value(l) | integer.get_value(s) | integer.get_value(c);
      v = std::to_string(l) + " " + std::to_string(s) + " " + std::to_string(c);
    } else if (kind == "char") {
      unsigned char c = 0x55;
      status = octets.get_value(c);
      v = to_hex(&c, 1);
    } else if (kind.compare(0, 5, "fixed") == 0) {
      unsigned char dest[8];
      std::memset(dest, 0xFF, sizeof dest);
      status = octets.get_value(static_cast<std::uint32_t>(std::stoul(kind.substr(5))), dest);
      v = to_hex(dest, sizeof dest);
    } else if (kind == "block") {
      unsigned char untouched = 0, *p = &untouched;
      std::uint32_t n = 99;
      status = octets.get_value(p, n);
      v = p == nullptr ? "null " + std::to_string(n) : p == &untouched ? "untouched" : to_hex(p, n);
      if (p != &untouched) octets.free_obj(p);
    } else {
      char untouched = 0, *out = &untouched;
      try {
        status = kind == "octets" ? octets.get_value(out) : text.get_value(out);
      } catch (const tq_asn_memexception&) {
        if (out != nullptr) return "raised and handed out a string";
        throw;
      }
      const auto p = reinterpret_cast<const unsigned char*>(out);
      v = out == nullptr ? "null" : out == &untouched ? "untouched" : to_hex(p, kind == "octets" ? shown : std::strlen(out) + 1);
      if (out != &untouched) text.free_obj(out);
    }
    return status != 0 ? "<" + status_name(status) + "> " + v : v;
  }
  std::string kind;
  tqasn_integer integer;
  tqasn_octetstring octets;
  tqasnUTF8String text;
};

// A value given is set and written, then read back from the wire (from the
// adapter itself when nothing is written); "-" only reads the wire, and
// "absent" sets nothing.
TEST(Adapters, TextTable) {
  auto memory_or_ok = [](int status, bool fired) { EXPECT_TRUE(status == 0 || (fired && status == int{ASN_ERR_MEMORY})); };
  for (const oxs_test::row& r : oxs_test::read_table("adapters.txt", 5)) {
    SCOPED_TRACE(r.where);
    oxs_test::scoped_locale locale({r[1].c_str()});
    if (!locale.ok()) continue;  // reported by the local-code-set tests
#if defined(_WIN32)
    if (r[0] == "lcs") continue;  // the local code set is the ANSI code page there (CodePage.*)
#endif
    const std::string wire = r[3] == "(none)" ? "" : r[3];
    adapter given(r[0]), read(r[0]);
    const bool set = r[2] != "-" && r[2] != "absent";
    if (set) {
      ASSERT_EQ(given.set(r[2]), 0);
      EXPECT_EQ(oxs_test::write_hex(given.object()), wire);
      oxs_test::sweep([&] { return adapter(r[0]).set(r[2]); }, memory_or_ok);
    }
    oxs_test::hex_view in(wire);
    if (!wire.empty()) ASSERT_EQ(read.object().asnread(in.view()), 0);
    const adapter& back = wire.empty() ? given : read;
    const std::size_t shown = r[0] == "octets" && r[4][0] != '<' ? from_hex(r[4]).size() : 0;
    EXPECT_EQ(back.get(shown), r[4]);
    oxs_test::sweep(
        [&] {
          const std::string v = back.get(shown);
          return v == r[4] ? 0 : v == "<ASN_ERR_MEMORY> null" ? int{ASN_ERR_MEMORY} : -1;
        },
        memory_or_ok);
  }
}

// Windows: the local code set is the ANSI code page, over the table
// tests/data/code_pages.txt.
#if defined(_WIN32)
// The text received for one row of tests/data/code_pages.txt.
std::string code_page_text(const oxs_test::row& r) {
  const auto given = oxs_test::from_hex(r[2]);
  std::string text(given.begin(), given.end());
  const bool to_utf8 = r[1] == "to_utf8";
  sec_id_t in{};
  in.name = text.data();
  tq_asn_buffer_t bytes;
  sec_id_t out{};
  oxserutl_code_page_override(static_cast<unsigned>(r.number(0)));
  int status = to_utf8 ? tqAsnEncodeObjLCS(bytes, in) : tqAsnEncodeObj(bytes, in);
  if (status == 0) status = to_utf8 ? tqAsnDecodeObj(bytes, out) : tqAsnDecodeObjLCS(bytes, out);
  oxserutl_code_page_override(0);
  EXPECT_EQ(status, 0);
  tq_asn_buffer_free(bytes);
  std::string result = out.name == nullptr ? "(null)" : oxs_test::to_hex(reinterpret_cast<unsigned char*>(out.name), std::strlen(out.name));
  tqAsnFreeObj(out);
  return result;
}

TEST(CodePage, ConvertsAndSubstitutesPerCodePage) {
  for (const oxs_test::row& r : oxs_test::read_table("code_pages.txt", 5)) {
    SCOPED_TRACE(r.where + ": " + r[4]);
    EXPECT_EQ(code_page_text(r), r[3]);
  }
}

TEST(CodePage, FollowsTheAnsiCodePageUnlessOverridden) {
  oxserutl_code_page_override(932);
  EXPECT_EQ(oxserutl_code_page(), 932u);
  oxserutl_code_page_override(0);
  EXPECT_EQ(oxserutl_code_page(), GetACP());
}
#endif

}  // namespace
