// Windows: the local code set is the ANSI code page, over the table
// tests/data/code_pages.txt.
#if defined(_WIN32)
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include <oxserutl/code_page.h>
#include <oxserutl/oxserutl.h>

#include "test_util.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

// The text received for one row of tests/data/code_pages.txt.
std::string convert(const oxs_test::row& r) {
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
    EXPECT_EQ(convert(r), r[3]);
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
