// Windows: the local code set is the ANSI code page. Each row converts one
// text through a record's string field, in a code page chosen for the test
// thread, and compares the octets: local to UTF-8 (encoded with the LCS
// function, decoded plain) or UTF-8 to local (encoded plain, decoded LCS).
#if defined(_WIN32)
#include <string>

#include <gtest/gtest.h>

#include <oxserutl/code_page.h>
#include <oxserutl/oxserutl.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

enum way { to_utf8, to_local };

struct row {
  unsigned code_page;
  way way;
  const char* in;
  const char* out;
  const char* what;
};

const row kRows[] = {
    // Windows-1252: 80 is the euro sign, unlike ISO 8859-1.
    {1252, to_utf8, "caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC", "Latin letters and the euro"},
    {1252, to_local, "caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80", "Latin letters and the euro"},
    {1252, to_local, "\xC4\x80-\xE2\x88\x9E", "?-?", "no best fit: A macron is not A, infinity not 8"},
    {1252, to_local, "[\xF0\x9F\x98\x80]", "[?]", "one ? for a character beyond the BMP"},
    {1252, to_local, "\xC3|\xC0\x80|\xED\xA0\x80|\xFF", "?|??|???|?", "one ? per octet of malformed UTF-8"},
    // Shift-JIS (932): two-octet characters, invalid pairs.
    {932, to_utf8, "\x82\xA0-\x93\xFA", "\xE3\x81\x82-\xE6\x97\xA5", "hiragana a and the sun"},
    {932, to_local, "\xE3\x81\x82-\xE6\x97\xA5", "\x82\xA0-\x93\xFA", "hiragana a and the sun"},
    {932, to_utf8, "\x82\x20|a\x82", "\xEF\xBF\xBD |a\xEF\xBF\xBD", "bad second octet, first octet cut short"},
    {932, to_local, "caf\xC3\xA9", "caf?", "no best fit: e acute is not e"},
    // The UTF-8 code page passes octets through, valid or not.
    {CP_UTF8, to_utf8, "\xE9\xFF\xC3\xA9", "\xE9\xFF\xC3\xA9", "pass-through"},
    {CP_UTF8, to_local, "\xE9\xFF\xC3\xA9", "\xE9\xFF\xC3\xA9", "pass-through"},
};

std::string convert(const row& r) {
  std::string text = r.in;
  sec_id_t in{};
  in.name = text.data();
  tq_asn_buffer_t bytes;
  sec_id_t out{};
  oxserutl_code_page_override(r.code_page);
  int status = r.way == to_utf8 ? tqAsnEncodeObjLCS(bytes, in) : tqAsnEncodeObj(bytes, in);
  if (status == 0) status = r.way == to_utf8 ? tqAsnDecodeObj(bytes, out) : tqAsnDecodeObjLCS(bytes, out);
  oxserutl_code_page_override(0);
  EXPECT_EQ(status, 0);
  tq_asn_buffer_free(bytes);
  std::string result = out.name == nullptr ? "(null)" : out.name;
  tqAsnFreeObj(out);
  return result;
}

TEST(CodePage, ConvertsAndSubstitutesPerCodePage) {
  for (const row& r : kRows) {
    SCOPED_TRACE(testing::Message() << "code page " << r.code_page << (r.way == to_utf8 ? " to UTF-8: " : " to local: ")
                                    << r.what);
    EXPECT_EQ(convert(r), r.out);
  }
}

TEST(CodePage, FollowsTheAnsiCodePageUnlessOverridden) {
  oxserutl_code_page_override(932);
  EXPECT_EQ(oxserutl_code_page(), 932u);
  oxserutl_code_page_override(0);
  EXPECT_EQ(oxserutl_code_page(), GetACP());
}

}  // namespace
#endif
