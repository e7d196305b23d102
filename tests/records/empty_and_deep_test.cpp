// Two record behaviours that both paths (the direct path of the exported
// functions and the object tree alone) must give alike: an empty byte block
// decodes to what malloc(0) gives, and a tree too deep to write is refused
// with one status whatever its depth.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/oxserutl.h>

#include "test_util.h"

namespace {

tq_asn_buffer_t view(std::vector<unsigned char>& bytes) {
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(bytes.size());
  in.data = bytes.data();
  return in;
}

TEST(EmptyBlock, DecodesToWhatMallocOfZeroGives) {
  void* zero = std::malloc(0);
  const bool malloc_zero_is_null = zero == nullptr;
  std::free(zero);
  const oxs_record_info& info = *oxs_find_record("value_s_t");
  // value_t { value_type 0, string_value "", octet_value '' }, definite (the
  // direct path's form) and indefinite (the tree's alone).
  for (const char* hex : {"04 02 AC DC 30 07 02 01 00 0C 00 04 00", "04 02 AC DC 30 80 02 01 00 0C 00 04 00 00 00"}) {
    for (bool tree : {false, true}) {
      for (int lcs : {0, 1}) {
        SCOPED_TRACE(std::string(hex) + (tree ? " tree" : " exported") + (lcs ? " lcs" : ""));
        std::vector<unsigned char> bytes = oxs_test::from_hex(hex);
        tq_asn_buffer_t in = view(bytes);
        value_s_t out{};
        out.octet_length = 7;
        ASSERT_EQ((tree ? info.tree_decode : info.decode)(in, &out, lcs), 0);
        EXPECT_EQ(out.octet_length, 0u);
        EXPECT_EQ(out.octet_value == nullptr, malloc_zero_is_null);
        tqAsnFreeObj(out);
      }
    }
  }
}

TEST(EmptyBlock, CertRequestBodyStaysNull) {
  // cert_request_in { 1, "", "", body '' }
  std::vector<unsigned char> bytes = oxs_test::from_hex("04 02 AC DC 30 0B 02 01 01 04 01 00 04 01 00 04 00");
  tq_asn_buffer_t in = view(bytes);
  cert_request_in_s_t out{};
  ASSERT_EQ(tqasn_decode_obj(2, in, ASN_TYPE_CERT_REQUEST_IN, &out), 0);
  EXPECT_EQ(out.body_length, 0u);
  EXPECT_EQ(out.body, nullptr);
  tqasn_obj_free(2, ASN_TYPE_CERT_REQUEST_IN, &out);
}

TEST(RecordDepth, EveryTreeTooDeepToWriteIsUnsupported) {
  const oxs_record_info& info = *oxs_find_record("namevalue_s_t");
  // Just past the constructed-level bound, past the record bound, and far past both.
  for (int generations : {tq_asn_max_nesting_depth / 2 + 1, tq_asn_max_nesting_depth + 1, 5000}) {
    std::vector<namevalue_s_t> nodes(static_cast<std::size_t>(generations));
    std::vector<namevalue_s_t*> links(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      links[i] = &nodes[i];
      if (i > 0) nodes[i - 1] = namevalue_s_t{nullptr, 0, nullptr, 1, &links[i]};
    }
    for (bool tree : {false, true}) {
      SCOPED_TRACE(std::to_string(generations) + (tree ? " tree" : " exported"));
      tq_asn_buffer_t out;
      testing::internal::CaptureStderr();
      const int status = (tree ? info.tree_encode : info.encode)(out, &nodes[0], 0);
      (void)testing::internal::GetCapturedStderr();
      EXPECT_EQ(oxs_test::status_name(status), "ASN_ERR_UNSUPPORTED");
      EXPECT_EQ(out.data, nullptr);
    }
  }
}

}  // namespace
