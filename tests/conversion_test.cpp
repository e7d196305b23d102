// Code set conversions: every cell of the conversion matrix that is not a
// plain copy, the UTF-8 forms of RFC 2279, ITU-T T.61 in both directions
// (ISO 8859-1 to T.61 for every octet), and every pair without memory.
#if !defined(_WIN32)  // the T.61 oracle is the C library's iconv
#include <iconv.h>
#endif

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/asnstrng.h>

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

}  // namespace
