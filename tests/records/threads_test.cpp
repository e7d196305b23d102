// Several threads encode and decode different records at once, in both text
// forms, for a bounded time; each result must equal the one computed on a
// single thread beforehand. One thread runs with allocation failures armed
// and one decodes trees at the nesting bound, so the per-thread counters
// (fault injection, nesting depth) are shown not to leak into other threads.
// The ThreadSanitizer build (preset tsan) runs this file without a report.
//
// Worker threads never call GoogleTest: they count their mismatches and the
// main thread checks the counts.
#include <chrono>
#include <clocale>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/fault_injection.h>
#include <oxserutl/oxserutl.h>

#include "records/record_gen.h"

namespace {

using recgen::profile;
using clock_type = std::chrono::steady_clock;

struct expected_case {
  const oxs_record_info* info;
  profile values;
  int lcs;
  std::vector<unsigned char> bytes;  // the single-threaded encoding
};

std::vector<unsigned char> encode(const oxs_record_info& info, void* record, int lcs, int& status) {
  tq_asn_buffer_t out;
  status = info.encode(out, record, lcs);
  std::vector<unsigned char> bytes;
  if (status == 0) {
    bytes.assign(out.data, out.data + out.length);
    tq_asn_buffer_free(out);
  }
  return bytes;
}

std::vector<expected_case> single_threaded_results() {
  std::vector<expected_case> cases;
  std::size_t count = 0;
  const oxs_record_info* table = oxs_records(&count);
  for (std::size_t i = 0; i < count; ++i) {
    if (std::strcmp(table[i].structure, "kyobj_update_s_t") == 0) continue;
    for (profile p : {profile::typical, profile::extreme}) {
      for (int lcs = 0; lcs < 2; ++lcs) {
        void* record = recgen::make(table[i], p);
        int status = 0;
        expected_case c{&table[i], p, lcs, encode(table[i], record, lcs, status)};
        recgen::destroy(table[i], record);
        if (status == 0) cases.push_back(std::move(c));
      }
    }
  }
  return cases;
}

// One round over the cases from `start`: make, encode, compare the bytes,
// decode, compare the record. Returns the mismatches.
int round_of(const std::vector<expected_case>& cases, std::size_t start, std::size_t stride) {
  int mismatches = 0;
  for (std::size_t k = 0; k < cases.size(); k += stride) {
    const expected_case& c = cases[(start + k) % cases.size()];
    void* record = recgen::make(*c.info, c.values);
    int status = 0;
    std::vector<unsigned char> bytes = encode(*c.info, record, c.lcs, status);
    if (status != 0 || bytes != c.bytes) ++mismatches;
    void* back = std::calloc(1, c.info->size < 8 ? 8 : c.info->size);
    tq_asn_buffer_t in;
    in.length = static_cast<std::uint32_t>(c.bytes.size());
    in.data = const_cast<unsigned char*>(c.bytes.data());
    if (c.info->decode(in, back, c.lcs) != 0) {
      ++mismatches;
    } else if (c.lcs == 0 || c.values == profile::typical) {
      // Plain text comes back as it went; so does the ASCII text of the
      // typical values in the local code set.
      if (!recgen::equal(*c.info, record, back, nullptr)) ++mismatches;
    }
    recgen::destroy(*c.info, back);
    recgen::destroy(*c.info, record);
  }
  return mismatches;
}

// A chain of name-value nodes as deep as the writer allows.
std::vector<unsigned char> deepest_tree() {
  const int levels = tq_asn_max_nesting_depth / 2;
  std::vector<namevalue_s_t> nodes(levels);
  std::vector<namevalue_s_t*> links(levels);
  for (int i = 0; i < levels; ++i) {
    nodes[i] = namevalue_s_t{};
    links[i] = &nodes[i];
    if (i > 0) {
      nodes[i - 1].child_count = 1;
      nodes[i - 1].children = &links[i];
    }
  }
  tq_asn_buffer_t out;
  std::vector<unsigned char> bytes;
  if (tqAsnEncodeObj(out, nodes[0]) == 0) {
    bytes.assign(out.data, out.data + out.length);
    tq_asn_buffer_free(out);
  }
  return bytes;
}

class scoped_locale {
 public:
  scoped_locale() {
    const char* old = std::setlocale(LC_ALL, nullptr);
    saved_ = old ? old : "C";
    // A code set other than UTF-8 makes the local-code-set form convert.
    for (const char* name : {"en_US.ISO-8859-1", "en_US.iso88591", "C.UTF-8"})
      if (std::setlocale(LC_ALL, name) != nullptr) break;
  }
  ~scoped_locale() { std::setlocale(LC_ALL, saved_.c_str()); }

 private:
  std::string saved_;
};

TEST(Threads, ConcurrentRecordsMatchTheSingleThreadedResults) {
  scoped_locale locale;  // set before any thread starts: setlocale is not thread-safe
  const std::vector<expected_case> cases = single_threaded_results();
  ASSERT_GT(cases.size(), 200u);
  const std::vector<unsigned char> deep = deepest_tree();
  ASSERT_FALSE(deep.empty());

  constexpr int kWorkers = 4;
  const auto deadline = clock_type::now() + std::chrono::milliseconds(1500);
  std::vector<int> mismatches(kWorkers + 2, 0);
  std::vector<long> rounds(kWorkers + 2, 0);
  std::vector<std::thread> threads;
  testing::internal::CaptureStderr();  // the fault thread's memory errors print a line each

  for (int w = 0; w < kWorkers; ++w) {
    threads.emplace_back([&, w] {
      // Every worker finishes at least one round, however slow the build.
      do {
        mismatches[w] += round_of(cases, static_cast<std::size_t>(w) * 37 + rounds[w], kWorkers);
        ++rounds[w];
      } while (clock_type::now() < deadline);
    });
  }
  // Fails one allocation after another in its own encodes: each run
  // succeeds or reports no memory, and no other thread sees a failure.
  threads.emplace_back([&] {
    const expected_case& c = cases[cases.size() / 2];
    void* record = recgen::make(*c.info, c.values);
    long k = 1;
    do {
      tq_asn_buffer_t out;
      oxserutl_fault_arm(k);
      const int status = c.info->encode(out, record, c.lcs);
      const bool fired = oxserutl_fault_fired() != 0;
      oxserutl_fault_arm(0);
      if (status == 0) tq_asn_buffer_free(out);
      if (fired ? status != 0 && status != int{ASN_ERR_MEMORY} : status != 0) ++mismatches[kWorkers];
      k = fired ? k + 1 : 1;
      ++rounds[kWorkers];
    } while (clock_type::now() < deadline);
    recgen::destroy(*c.info, record);
  });
  // Decodes the deepest tree over and over.
  threads.emplace_back([&] {
    do {
      namevalue_s_t out{};
      tq_asn_buffer_t in;
      in.length = static_cast<std::uint32_t>(deep.size());
      in.data = const_cast<unsigned char*>(deep.data());
      if (tqAsnDecodeObj(in, out) != 0) ++mismatches[kWorkers + 1];
      tqAsnFreeObj(out);
      ++rounds[kWorkers + 1];
    } while (clock_type::now() < deadline);
  });

  for (std::thread& t : threads) t.join();
  testing::internal::GetCapturedStderr();
  long total = 0;
  for (long r : rounds) total += r;
  std::printf("[ threads ] %d threads, %ld rounds in all (%zu cases per worker round)\n", kWorkers + 2, total,
              cases.size() / kWorkers);
  for (int w = 0; w < kWorkers + 2; ++w) {
    SCOPED_TRACE("thread " + std::to_string(w));
    EXPECT_EQ(mismatches[w], 0);
    EXPECT_GT(rounds[w], 0);
  }
}

}  // namespace
