// Several threads encode and decode different records at once, in both text
// forms, for a bounded time; each result must equal the one computed on a
// single thread beforehand. One thread runs with allocation failures armed
// and one decodes trees at the nesting bound, so the per-thread counters
// (fault injection, nesting depth) are shown not to leak into other threads.
// The ThreadSanitizer build (preset tsan) runs this file without a report.
// Worker threads never call GoogleTest: they count their mismatches.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/fault_injection.h>
#include <oxserutl/oxserutl.h>

#include "records/record_gen.h"
#include "test_util.h"

namespace {

using recgen::profile;
using bytes = std::vector<unsigned char>;

struct expected_case {
  const oxs_record_info* info;
  profile values;
  int lcs;
  bytes encoding;  // computed on one thread
};

// One round over the cases from `start`: make, encode, compare the bytes,
// decode, compare the record. Returns the mismatches.
int round_of(const std::vector<expected_case>& cases, std::size_t start, std::size_t stride) {
  int mismatches = 0;
  for (std::size_t k = 0; k < cases.size(); k += stride) {
    const expected_case& c = cases[(start + k) % cases.size()];
    void* record = recgen::make(*c.info, c.values);
    bytes encoding;
    if (recgen::encode(c.info->encode, record, c.lcs, encoding) != 0 || encoding != c.encoding) ++mismatches;
    void* back = std::calloc(1, c.info->size < 8 ? 8 : c.info->size);
    tq_asn_buffer_t in;
    in.length = static_cast<std::uint32_t>(c.encoding.size());
    in.data = const_cast<unsigned char*>(c.encoding.data());
    if (c.info->decode(in, back, c.lcs) != 0) ++mismatches;
    // Plain text comes back as it went; so does the typical ASCII text in
    // the local code set.
    else if ((c.lcs == 0 || c.values == profile::typical) && !recgen::equal(*c.info, record, back, nullptr))
      ++mismatches;
    recgen::destroy(*c.info, back);
    recgen::destroy(*c.info, record);
  }
  return mismatches;
}

TEST(Threads, ConcurrentRecordsMatchTheSingleThreadedResults) {
  // Set before any thread starts: setlocale is not thread-safe.
  oxs_test::scoped_locale locale({"en_US.ISO-8859-1", "en_US.iso88591", "C.UTF-8"});
  std::vector<expected_case> cases;
  for (const oxs_record_info* info : recgen::callable_records())
    for (profile p : {profile::typical, profile::extreme})
      for (int lcs = 0; lcs < 2; ++lcs) {
        void* record = recgen::make(*info, p);
        expected_case c{info, p, lcs, {}};
        if (recgen::encode(info->encode, record, lcs, c.encoding) == 0) cases.push_back(std::move(c));
        recgen::destroy(*info, record);
      }
  ASSERT_GT(cases.size(), 200u);
  // A chain of name-value nodes as deep as the writer allows.
  const int levels = tq_asn_max_nesting_depth / 2;
  recgen::chain chain(levels);
  tq_asn_buffer_t deep;
  ASSERT_EQ(tqAsnEncodeObj(deep, chain.nodes[0]), 0);

  constexpr int kWorkers = 4;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  auto running = [&] { return std::chrono::steady_clock::now() < deadline; };
  std::vector<int> mismatches(kWorkers + 2, 0);
  std::vector<long> rounds(kWorkers + 2, 0);
  std::vector<std::thread> threads;
  testing::internal::CaptureStderr();  // the fault thread's memory errors print a line each
  for (int w = 0; w < kWorkers; ++w)
    threads.emplace_back([&, w] {
      do  // at least one round, however slow the build
        mismatches[w] += round_of(cases, static_cast<std::size_t>(w) * 37 + rounds[w]++, kWorkers);
      while (running());
    });
  // Fails one allocation after another in its own encodes: each run
  // succeeds or reports no memory, and no other thread sees a failure.
  threads.emplace_back([&] {
    const expected_case& c = cases[cases.size() / 2];
    void* record = recgen::make(*c.info, c.values);
    long k = 1;
    do {
      oxserutl_fault_arm(k);
      bytes out;
      const int status = recgen::encode(c.info->encode, record, c.lcs, out);
      const bool fired = oxserutl_fault_fired() != 0;
      oxserutl_fault_arm(0);
      if (fired ? status != 0 && status != int{ASN_ERR_MEMORY} : status != 0) ++mismatches[kWorkers];
      k = fired ? k + 1 : 1;
      ++rounds[kWorkers];
    } while (running());
    recgen::destroy(*c.info, record);
  });
  threads.emplace_back([&] {
    do {
      namevalue_s_t out{};
      if (tqAsnDecodeObj(deep, out) != 0) ++mismatches[kWorkers + 1];
      tqAsnFreeObj(out);
      ++rounds[kWorkers + 1];
    } while (running());
  });
  for (std::thread& t : threads) t.join();
  testing::internal::GetCapturedStderr();
  tq_asn_buffer_free(deep);
  for (int w = 0; w < kWorkers + 2; ++w) {
    EXPECT_EQ(mismatches[w], 0) << "thread " << w;
    EXPECT_GT(rounds[w], 0) << "thread " << w;
  }
}

}  // namespace
