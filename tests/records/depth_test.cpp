// Nesting bounds of the recursive records: every depth the writer accepts
// reads back, deeper trees are refused on both sides, and hostile input
// nested far deeper is refused without exhausting the stack.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/oxserutl.h>

#include "test_util.h"

namespace {

// A chain of `levels` name-value nodes, each the only child of the one above.
struct chain {
  std::vector<namevalue_s_t> nodes;
  std::vector<namevalue_s_t*> links;
  explicit chain(int levels) : nodes(levels), links(levels) {
    for (int i = 0; i < levels; ++i) {
      nodes[i] = namevalue_s_t{};
      links[i] = &nodes[i];
      if (i > 0) {
        nodes[i - 1].child_count = 1;
        nodes[i - 1].children = &links[i];
      }
    }
  }
  namevalue_s_t& root() { return nodes[0]; }
};

int depth_of(const namevalue_s_t& node) {
  int depth = 1;
  const namevalue_s_t* p = &node;
  while (p->child_count == 1) {
    p = p->children[0];
    ++depth;
  }
  return depth;
}

TEST(RecordDepth, TreesUpToTheBoundRoundTrip) {
  // Two nesting levels per generation: the node and its list of children.
  const int deepest = tq_asn_max_nesting_depth / 2;
  for (int levels : {1, 2, 3, 50, deepest}) {
    SCOPED_TRACE(levels);
    chain tree(levels);
    tq_asn_buffer_t buffer;
    ASSERT_EQ(tqAsnEncodeObj(buffer, tree.root()), 0);
    namevalue_s_t out{};
    ASSERT_EQ(tqAsnDecodeObj(buffer, out), 0);
    EXPECT_EQ(depth_of(out), levels);
    tqAsnFreeObj(out);
    tq_asn_buffer_free(buffer);
  }
}

TEST(RecordDepth, DeeperTreesAreRefusedByTheWriter) {
  chain tree(tq_asn_max_nesting_depth / 2 + 1);
  tq_asn_buffer_t buffer;
  EXPECT_EQ(oxs_test::status_name(tqAsnEncodeObj(buffer, tree.root())), "ASN_ERR_UNSUPPORTED");
  EXPECT_EQ(buffer.data, nullptr);
}

TEST(RecordDepth, CyclesAndVeryDeepTreesAreRefusedBeforeTheStackRunsOut) {
  namevalue_s_t node{};
  namevalue_s_t* self = &node;
  node.child_count = 1;
  node.children = &self;
  tq_asn_buffer_t buffer;
  testing::internal::CaptureStderr();
  const int status = tqAsnEncodeObj(buffer, node);
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(oxs_test::status_name(status), "ASN_ERR_UNSUPPORTED");
  EXPECT_NE(printed.find("ASN: Record nesting too deep"), std::string::npos);
}

TEST(RecordDepth, HostileNestingIsRefused) {
  // 100000 generations of indefinite-length nodes: 30 80 0C 00 30 00 30 80 ...
  const int generations = 100000;
  std::vector<unsigned char> bytes = {0x04, 0x02, 0xAC, 0xDC};
  for (int i = 0; i < generations; ++i)
    for (unsigned char b : {0x30, 0x80, 0x0C, 0x00, 0x30, 0x00, 0x30, 0x80}) bytes.push_back(b);
  bytes.insert(bytes.end(), static_cast<std::size_t>(generations) * 4, 0x00);
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(bytes.size());
  in.data = bytes.data();
  namevalue_s_t out{};
  EXPECT_EQ(oxs_test::status_name(tqAsnDecodeObj(in, out)), "ASN_ERR_CONSTRUCTED_NOT_PERMITTED");
  EXPECT_EQ(out.name, nullptr);

  oxauditevent_s_t event{};
  EXPECT_NE(tqAsnDecodeObj(in, event), 0);
}

}  // namespace
