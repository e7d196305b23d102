// Allocation-failure sweeps of one record: the k-th allocation of an encode
// or decode fails, for every k until the operation runs without allocating
// that often. Each run must succeed or report ASN_ERR_MEMORY; a partly
// filled record is released with the record's free function, and the
// sanitizer build checks that nothing leaks.
#ifndef OXSERUTL_TESTS_FAULT_SWEEP_H
#define OXSERUTL_TESTS_FAULT_SWEEP_H

#include <cstdlib>

#include <gtest/gtest.h>

#include <oxserutl/fault_injection.h>
#include <oxserutl/oxserutl.h>

#include "records/record_gen.h"

namespace recgen {

// Sweeps the encode of `original` and the decode of its encoding, through
// the exported functions or (tree) the object tree alone; returns the
// failure points.
inline long sweep_record(const oxs_record_info& info, void* original, int lcs, bool tree) {
  auto encode = tree ? info.tree_encode : info.encode;
  auto decode = tree ? info.tree_decode : info.decode;
  const char* path = tree ? "tree " : "";
  long points = 0;
  tq_asn_buffer_t good;
  EXPECT_EQ(encode(good, original, lcs), 0);
  for (long k = 1;; ++k) {
    tq_asn_buffer_t out;
    oxserutl_fault_arm(k);
    const int status = encode(out, original, lcs);
    const bool fired = oxserutl_fault_fired() != 0;
    oxserutl_fault_arm(0);
    if (status == 0) {
      EXPECT_EQ(out.length, good.length);
      tq_asn_buffer_free(out);
    }
    if (!fired) {
      EXPECT_EQ(status, 0);
      break;
    }
    ++points;
    EXPECT_TRUE(status == 0 || status == int{ASN_ERR_MEMORY}) << path << "encode, allocation " << k << ": " << status;
  }
  for (long k = 1;; ++k) {
    void* decoded = std::calloc(1, info.size < 8 ? 8 : info.size);
    oxserutl_fault_arm(k);
    const int status = decode(good, decoded, lcs);
    const bool fired = oxserutl_fault_fired() != 0;
    oxserutl_fault_arm(0);
    // Whatever was filled before the failure is released here.
    destroy(info, decoded);
    if (!fired) {
      EXPECT_EQ(status, 0);
      break;
    }
    ++points;
    EXPECT_TRUE(status == 0 || status == int{ASN_ERR_MEMORY}) << path << "decode, allocation " << k << ": " << status;
  }
  tq_asn_buffer_free(good);
  return points;
}

// Both paths.
inline long sweep_record(const oxs_record_info& info, void* original, int lcs) {
  return sweep_record(info, original, lcs, false) + sweep_record(info, original, lcs, true);
}

}  // namespace recgen

#endif
