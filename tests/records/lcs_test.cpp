// How far the local-code-set functions reach inside a record: the record's
// own strings and those of its list elements (at any depth) convert; the
// strings of directly nested records and everything beneath a sparse array
// pass as UTF-8 bytes unchanged. Run in a real ISO-8859-1 locale, where é is
// the single octet E9 locally and C3 A9 in UTF-8.
#include <clocale>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include <oxserutl/oxserutl.h>

#include "test_util.h"

namespace {

char kLatin1[] = "\xE9";      // é in the local code set
const char* kUtf8 = "\xC3\xA9";  // é in UTF-8

class LatinLocale : public testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::setlocale(LC_ALL, nullptr);
    saved_ = old ? old : "C";
    if (std::setlocale(LC_ALL, "en_US.ISO-8859-1") == nullptr && std::setlocale(LC_ALL, "en_US.iso88591") == nullptr)
      GTEST_SKIP() << "locale en_US.ISO-8859-1 is not installed";
  }
  void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }

  // Encodes with the LCS function and decodes with the plain one, so each
  // string shows whether it was converted (C3 A9) or passed (E9).
  template <class S>
  void lcs_then_plain(S& in, S& out) {
    tq_asn_buffer_t buffer;
    ASSERT_EQ(tqAsnEncodeObjLCS(buffer, in), 0);
    ASSERT_EQ(tqAsnDecodeObj(buffer, out), 0);
    tq_asn_buffer_free(buffer);
  }
  // Encodes with the plain function and decodes with the LCS one.
  template <class S>
  void plain_then_lcs(S& in, S& out) {
    tq_asn_buffer_t buffer;
    ASSERT_EQ(tqAsnEncodeObj(buffer, in), 0);
    ASSERT_EQ(tqAsnDecodeObjLCS(buffer, out), 0);
    tq_asn_buffer_free(buffer);
  }

 private:
  std::string saved_;
};

TEST_F(LatinLocale, AttributeListConvertsEveryStringOfItsElements) {
  value_s_t value{1, kLatin1, 0, nullptr};
  attr_s_t attr{kLatin1, 1, &value};
  attrlist_s_t list{1, &attr};
  attrlist_s_t out{};
  lcs_then_plain(list, out);
  EXPECT_STREQ(out.attr_array[0].name, kUtf8);
  EXPECT_STREQ(out.attr_array[0].values[0].string_value, kUtf8);
  tqAsnFreeObj(out);
}

TEST_F(LatinLocale, NestedAttributeListPassesUnchanged) {
  value_s_t value{1, kLatin1, 0, nullptr};
  attr_s_t attr{kLatin1, 1, &value};
  pobj_s_t pobj{0, 0, kLatin1, {1, &attr}};
  pobj_s_t out{};
  lcs_then_plain(pobj, out);
  EXPECT_STREQ(out.name, kUtf8);
  EXPECT_STREQ(out.attrs.attr_array[0].name, kLatin1);
  EXPECT_STREQ(out.attrs.attr_array[0].values[0].string_value, kLatin1);
  tqAsnFreeObj(out);
}

TEST_F(LatinLocale, PrivilegeAttributesConvertGroupsButNotThePrincipal) {
  sec_id_t group{{}, kLatin1};
  sec_id_pa_t pa{{{}, kLatin1}, 1, &group};
  sec_id_pa_t out{};
  lcs_then_plain(pa, out);
  EXPECT_STREQ(out.principal.name, kLatin1);
  EXPECT_STREQ(out.groups[0].name, kUtf8);
  tqAsnFreeObj(out);
}

TEST_F(LatinLocale, AclEntryIdentityNamesPassUnchanged) {
  acl_entry_s_t entry{{0, nullptr}, 1, {{}, kLatin1}};
  acl_ext_s_t acl{kLatin1, 1, &entry, {}};
  acl_ext_s_t out{};
  lcs_then_plain(acl, out);
  EXPECT_STREQ(out.name, kUtf8);
  EXPECT_STREQ(out.entries[0].id.name, kLatin1);
  tqAsnFreeObj(out);

  acl_entry_s_t top{};
  lcs_then_plain(entry, top);
  EXPECT_STREQ(top.id.name, kLatin1);
  tqAsnFreeObj(top);
}

TEST_F(LatinLocale, SparseArraysKeepTheirStringsWhileTheGroupNameConverts) {
  kyaction_s_t action{1, kLatin1, kLatin1, kLatin1, 2, 3, {}};
  kyaction_group_s_t group{};
  group.name = kLatin1;
  group.actions[5] = &action;
  kyaction_group_s_t out{};
  lcs_then_plain(group, out);
  EXPECT_STREQ(out.name, kUtf8);
  ASSERT_NE(out.actions[5], nullptr);
  EXPECT_STREQ(out.actions[5]->text1, kLatin1);
  tqAsnFreeObj(out);
}

TEST_F(LatinLocale, RecursiveRecordsConvertAtEveryDepth) {
  namevalue_s_t leaf{kLatin1, 0, nullptr, 0, nullptr};
  namevalue_s_t* leaves[] = {&leaf};
  char* values[] = {kLatin1};
  namevalue_s_t root{kLatin1, 1, values, 1, leaves};
  namevalue_s_t out{};
  lcs_then_plain(root, out);
  EXPECT_STREQ(out.name, kUtf8);
  EXPECT_STREQ(out.value_list[0], kUtf8);
  EXPECT_STREQ(out.children[0]->name, kUtf8);
  tqAsnFreeObj(out);
}

TEST_F(LatinLocale, DecodingConvertsBackToTheLocalCodeSet) {
  char utf8[] = "\xC3\xA9";
  sec_id_t group{{}, utf8};
  sec_id_pa_t pa{{{}, utf8}, 1, &group};
  sec_id_pa_t out{};
  plain_then_lcs(pa, out);
  EXPECT_STREQ(out.principal.name, kUtf8);
  EXPECT_STREQ(out.groups[0].name, kLatin1);
  tqAsnFreeObj(out);
}

TEST_F(LatinLocale, RecordsWithoutStringsWriteTheSameBytesInBothForms) {
  uuid_t id{0xFFFFFFFFu, 1, 2, 3, 4, {1, 2, 3, 4, 5, 6}};
  tq_asn_buffer_t plain;
  tq_asn_buffer_t lcs;
  ASSERT_EQ(tqAsnEncodeObj(plain, id), 0);
  ASSERT_EQ(tqAsnEncodeObjLCS(lcs, id), 0);
  EXPECT_EQ(oxs_test::to_hex(plain.data, plain.length), oxs_test::to_hex(lcs.data, lcs.length));
  tq_asn_buffer_free(plain);
  tq_asn_buffer_free(lcs);
}

}  // namespace
