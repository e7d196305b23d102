// Sparse arrays of 32 record pointers, read from lists of any length.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/oxserutl.h>

#include "test_util.h"

namespace {

// kyaction_groups_t whose list holds the given elements, then an empty
// attribute list.
std::vector<unsigned char> groups_with(const std::vector<std::string>& elements) {
  std::string list;
  for (const std::string& e : elements) list += (list.empty() ? "" : " ") + e;
  std::vector<unsigned char> contents = oxs_test::from_hex(list);
  std::vector<unsigned char> out = {0x04, 0x02, 0xAC, 0xDC, 0x30, 0, 0x30, static_cast<unsigned char>(contents.size())};
  for (unsigned char b : contents) out.push_back(b);
  for (unsigned char b : {0x30, 0x02, 0x30, 0x00}) out.push_back(b);
  out[5] = static_cast<unsigned char>(out.size() - 6);
  return out;
}

const char* kNull = "05 00";
const char* kGroup = "30 08 0C 00 30 00 30 02 30 00";  // a group with no name, no actions

TEST(SparseArray, ElementsBeyondTheLastSlotAreReadAndDropped) {
  std::vector<std::string> elements(31, kNull);
  elements.push_back(kGroup);  // slot 31
  elements.push_back(kGroup);  // element 32: no slot
  elements.push_back(kNull);
  std::vector<unsigned char> bytes = groups_with(elements);
  ASSERT_LT(bytes.size(), 140u);
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(bytes.size());
  in.data = bytes.data();
  kyaction_groups_s_t groups{};
  ASSERT_EQ(oxs_test::status_name(tqAsnDecodeObj(in, groups)), "ASN_OK");
  for (int i = 0; i < 31; ++i) EXPECT_EQ(groups.groups[i], nullptr) << i;
  ASSERT_NE(groups.groups[31], nullptr);
  EXPECT_STREQ(groups.groups[31]->name, "");
  tqAsnFreeObj(groups);
}

TEST(SparseArray, ShortListsLeaveTheRemainingSlotsNull) {
  std::vector<unsigned char> bytes = groups_with({kGroup, kNull, kGroup});
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(bytes.size());
  in.data = bytes.data();
  kyaction_groups_s_t groups{};
  ASSERT_EQ(tqAsnDecodeObj(in, groups), 0);
  EXPECT_NE(groups.groups[0], nullptr);
  EXPECT_EQ(groups.groups[1], nullptr);
  EXPECT_NE(groups.groups[2], nullptr);
  for (int i = 3; i < 32; ++i) EXPECT_EQ(groups.groups[i], nullptr) << i;
  tqAsnFreeObj(groups);
}

TEST(SparseArray, AnElementOfAnotherTypeIsRefusedAlsoBeyondTheSlots) {
  // Elements past the 32 slots are not kept, but they are still read.
  for (std::size_t position : {1, 40}) {
    SCOPED_TRACE(position);
    std::vector<std::string> elements(position, kNull);
    elements.push_back("02 01 05");
    std::vector<unsigned char> bytes = groups_with(elements);
    tq_asn_buffer_t in;
    in.length = static_cast<std::uint32_t>(bytes.size());
    in.data = bytes.data();
    kyaction_groups_s_t groups{};
    EXPECT_EQ(oxs_test::status_name(tqAsnDecodeObj(in, groups)), "ASN_ERR_TAG_MISMATCH");
  }
}

TEST(SparseArray, OnlyTheLastSlotWritesThirtyOneNullsFirst) {
  kyaction_s_t action{};
  kyaction_group_s_t group{};
  group.actions[31] = &action;
  tq_asn_buffer_t out;
  ASSERT_EQ(tqAsnEncodeObj(out, group), 0);
  // 04 02 AC DC, 30 len, 0C 00, 30 len, then the elements.
  const std::string hex = oxs_test::to_hex(out.data, out.length);
  std::string nulls;
  for (int i = 0; i < 31; ++i) nulls += " 05 00";
  EXPECT_NE(hex.find("0C 00 30 53" + nulls + " 30 13 02 01 00"), std::string::npos) << hex;
  tq_asn_buffer_free(out);
}

}  // namespace
