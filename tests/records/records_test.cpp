// Every record, driven by its run-time description. The exported functions
// take a direct path and hand what it declines to the object tree; the two
// are held against each other here: every record, in every value profile
// and both text modes, encodes to the same bytes and decodes to the same
// record (strictly: the same null pointers); the records fuzz target does
// the same on damaged input. The extreme texts in the local code set
// (ISO 8859-1) hold the direct path's local_text facts to what the tree
// converts; the empty records its written_when_unset facts to what the tree
// writes. Then the allocation failures of both paths, the nesting bounds,
// and several threads at once.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/fault_injection.h>
#include <oxserutl/oxserutl.h>

#include "direct_codec.h"  // the direct path's depth bound
#include "records/record_gen.h"
#include "test_util.h"

namespace {

using recgen::at;
using recgen::count_of;
using recgen::for_each_element;
using recgen::profile;
using bytes = std::vector<unsigned char>;
using recgen::codec;
using recgen::encode;

// Decodes into a record filled with a pattern; a failed decode must leave
// the pattern as it was. The record is null when the decode failed.
struct decoded {
  int status;
  void* record;
};
decoded decode(const oxs_record_info& info, codec fn, const bytes& input, int lcs) {
  const std::size_t size = std::max<std::size_t>(info.size, 8);
  const bytes pattern(size, 0xA5);
  void* record = std::malloc(size);
  std::memcpy(record, pattern.data(), size);
  oxs_test::hex_view in(input);
  tq_asn_buffer_t b = in.buffer();
  const int status = fn(b, record, lcs);
  if (status == 0) return {status, record};
  EXPECT_EQ(std::memcmp(record, pattern.data(), size), 0) << "record touched by a failed decode";
  std::free(record);
  return {status, nullptr};
}

// The blocks a decoded record owns (one per string, byte block, array and
// record held by pointer), or with holes: a decoded text is never null.
const bool kMallocZeroIsNull = [] {
  void* p = std::malloc(0);
  std::free(p);
  return p == nullptr;
}();

long owned_blocks(const oxs_record_info& info, void* record, bool* null_text) {
  long n = 0;
  for (std::uint32_t i = 0; i < info.field_count; ++i) {
    const oxs_field_info& f = info.fields[i];
    const auto& k = oxs_kinds[f.kind];
    void* p = k.pointer ? at<void*>(record, f.offset) : nullptr;
    n += p != nullptr ? 1 : 0;
    if (k.value == oxs_value_text && p == nullptr) *null_text = true;
    // An empty byte block is what malloc(0) gives; a type-code record's stays null.
    if (k.value == oxs_value_octets && k.pointer && count_of(f, record) == 0 && (p == nullptr) != (kMallocZeroIsNull || info.type_code != 0))
      *null_text = true;
    if (k.value == oxs_value_texts)
      for (std::uint32_t j = 0; j < count_of(f, record); ++j) {
        n += static_cast<char**>(p)[j] != nullptr ? 1 : 0;
        *null_text = *null_text || static_cast<char**>(p)[j] == nullptr;
      }
    if (k.value == oxs_value_records && k.element_pointers) n += count_of(f, record);
    if (k.value == oxs_value_slots)
      for (int j = 0; j < 32; ++j) n += (&at<void*>(record, f.offset))[j] != nullptr ? 1 : 0;
    for_each_element(f, record, [&](const oxs_record_info& e, void* r) { n += owned_blocks(e, r, null_text); });
  }
  return n;
}

// Null where the caller may leave null: text fields, the first entry of
// text and pointer arrays, optional records, byte blocks (their length
// kept). Released as before by the record's free function.
void punch_holes(const oxs_record_info& info, void* record) {
  for (std::uint32_t i = 0; i < info.field_count; ++i) {
    const oxs_field_info& f = info.fields[i];
    // Read as a pointer only in the cases of pointer fields.
    auto p = [&]() -> void*& { return at<void*>(record, f.offset); };
    const auto& k = oxs_kinds[f.kind];
    if (k.pointer && ((k.value == oxs_value_text && !k.terminated) || k.value == oxs_value_octets)) {
      std::free(p());
      p() = nullptr;
    } else if (k.value == oxs_value_texts && count_of(f, record) != 0) {
      std::free(static_cast<char**>(p())[0]);
      static_cast<char**>(p())[0] = nullptr;
    } else if (k.value == oxs_value_records && k.element_pointers && count_of(f, record) != 0) {
      recgen::destroy(*f.element(), static_cast<void**>(p())[0]);
      static_cast<void**>(p())[0] = nullptr;
    } else if (k.optional && p() != nullptr) {
      recgen::destroy(*f.element(), p());
      p() = nullptr;
    } else if ((k.value == oxs_value_records && !k.element_pointers) || (k.value == oxs_value_record && !k.optional)) {
      for_each_element(f, record, [](const oxs_record_info& e, void* r) { punch_holes(e, r); });
    }
  }
}

class Records : public testing::Test {
 protected:
  // A code set other than UTF-8, so that the local-code-set forms convert.
  oxs_test::scoped_locale locale_{{"en_US.ISO-8859-1", "en_US.iso88591", "C.UTF-8"}};
};

TEST_F(Records, BothPathsAgreeOnEveryRecordProfileAndForm) {
  testing::internal::CaptureStderr();
  for (const oxs_record_info* info : recgen::callable_records()) {
    // Every profile, and the typical values with null where the caller may
    // leave null (the tree's bytes are the reference for those).
    for (int variant = 0; variant < 5; ++variant) {
      const profile p = variant < 4 ? static_cast<profile>(variant) : profile::typical;  // in declared order
      const bool holes = variant == 4;
      for (int lcs = 0; lcs < 2; ++lcs) {
        SCOPED_TRACE(std::string(info->structure) + " " + recgen::profile_name(p) + (holes ? " with nulls" : "") +
                     (lcs ? " LCS" : ""));
        void* original = recgen::make(*info, p);
        if (holes) punch_holes(*info, original);
        bytes first;
        bytes other;
        ASSERT_EQ(oxs_test::status_name(encode(info->encode, original, lcs, first)), "ASN_OK");
        ASSERT_EQ(encode(info->tree_encode, original, lcs, other), 0);
        EXPECT_EQ(oxs_test::to_hex(first), oxs_test::to_hex(other));
        const decoded back = decode(*info, info->decode, first, lcs);
        ASSERT_EQ(oxs_test::status_name(back.status), "ASN_OK");
        if (info->type_code == 0) {  // the tree decodes strictly the same record (the same null pointers)
          const decoded tree = decode(*info, info->tree_decode, first, lcs);
          std::string where;
          EXPECT_TRUE(tree.record != nullptr && recgen::equal(*info, back.record, tree.record, &where, true)) << where;
          if (tree.record != nullptr) recgen::destroy(*info, tree.record);
        }
        bool null_text = false;
        owned_blocks(*info, back.record, &null_text);
        EXPECT_FALSE(null_text) << "a decoded text is null, or an empty block not what malloc(0) gives";
        // An unset optional record that is complete without any value (a
        // record of lists only) is still written: the description's
        // written_when_unset.
        for (std::uint32_t i = 0; p == profile::empty && i < info->field_count; ++i)
          if (oxs_kinds[info->fields[i].kind].optional)
            EXPECT_EQ(at<void*>(back.record, info->fields[i].offset) != nullptr, info->fields[i].written_when_unset)
                << info->fields[i].name;
        // Extreme text has characters ISO 8859-1 lacks: it returns as '?'.
        if ((lcs == 0 || p != profile::extreme) && !holes) {
          std::string where;
          EXPECT_TRUE(recgen::equal(*info, original, back.record, &where)) << where;
          ASSERT_EQ(encode(info->encode, back.record, lcs, other), 0);
          EXPECT_EQ(oxs_test::to_hex(other), oxs_test::to_hex(first));
        }
        recgen::destroy(*info, back.record);
        recgen::destroy(*info, original);
      }
    }
  }
  testing::internal::GetCapturedStderr();
}

// The envelope, the outer identifier, and one element too many inside the
// outer SEQUENCE get the exported function's own status. (The records fuzz
// target holds both paths together on damaged input.)
TEST_F(Records, EnvelopeAndExtraContentGetTheFunctionsOwnStatuses) {
  for (const oxs_record_info* info : recgen::callable_records()) {
    if (info->type_code != 0) continue;  // the direct path's records: not the type-code ones
    void* record = recgen::make(*info, profile::empty);
    bytes good;
    ASSERT_EQ(encode(info->encode, record, 0, good), 0);
    recgen::destroy(*info, record);
    struct { std::size_t at; unsigned char value; const char* status; } cases[] = {
        {1, 1, "ASN_ERR_VERSION"}, {1, 3, "ASN_ERR_VERSION"}, {3, 0xDD, "ASN_ERR_VERSION"},
        {4, static_cast<unsigned char>(good[4] ^ 1), "ASN_ERR_TAG_MISMATCH"}};
    for (const auto& c : cases) {
      bytes damaged = good;
      damaged[c.at] = c.value;
      EXPECT_EQ(oxs_test::status_name(decode(*info, info->decode, damaged, 0).status), c.status) << info->structure;
    }
    for (std::size_t n = 0; n <= 4; ++n)
      EXPECT_EQ(oxs_test::status_name(decode(*info, info->decode, bytes(good.begin(), good.begin() + n), 0).status),
                "ASN_ERR_VERSION");
    if (good[5] < 0x7D) {
      good[5] = static_cast<unsigned char>(good[5] + 3);
      good.insert(good.end(), {0x02, 0x01, 0x00});
      EXPECT_EQ(oxs_test::status_name(decode(*info, info->decode, good, 0).status), "ASN_ERR_EXTRA_CONTENT") << info->structure;
    }
  }
}

// The k-th allocation of an encode or decode fails, for every k: each run
// succeeds or reports ASN_ERR_MEMORY; a partly filled record is released
// with the record's free function (the sanitizer build checks for leaks).
long sweep_record(const oxs_record_info& info, void* original, int lcs, bool tree) {
  const codec enc = tree ? info.tree_encode : info.encode;
  const codec dec = tree ? info.tree_decode : info.decode;
  bytes good;
  EXPECT_EQ(encode(enc, original, lcs, good), 0);
  auto ok = [&](int status, bool fired) {
    EXPECT_TRUE(fired ? status == 0 || status == int{ASN_ERR_MEMORY} : status == 0)
        << info.structure << (tree ? " tree " : " ") << oxs_test::status_name(status);
  };
  long points = oxs_test::sweep(
      [&] {
        bytes out;
        const int status = encode(enc, original, lcs, out);
        return status == 0 && out != good ? int{ASN_ERR_BAD_LENGTH} : status;
      },
      ok);
  points += oxs_test::sweep(
      [&] {
        void* record = std::calloc(1, std::max<std::size_t>(info.size, 8));
        oxs_test::hex_view in(good);
        tq_asn_buffer_t b = in.buffer();
        const int status = dec(b, record, lcs);
        recgen::destroy(info, record);
        return status;
      },
      ok);
  return points;
}

TEST_F(Records, EveryAllocationFailureIsReportedAndReleased) {
  long points = 0;
  testing::internal::CaptureStderr();
  for (const oxs_record_info* info : recgen::callable_records()) {
    for (profile p : {profile::typical, profile::extreme}) {
      for (int lcs = 0; lcs < 2; ++lcs) {
        void* original = recgen::make(*info, p);
        points += sweep_record(*info, original, lcs, false) + sweep_record(*info, original, lcs, true);
        recgen::destroy(*info, original);
      }
    }
  }
  // Lists long enough to make element tables and output blocks grow.
  for (const char* name : {"attrlist_s_t", "acl_ext_s_t", "update_list_s_t"}) {
    void* original = recgen::make(*oxs_find_record(name), profile::many);
    points += sweep_record(*oxs_find_record(name), original, 0, false) +
              sweep_record(*oxs_find_record(name), original, 0, true);
    recgen::destroy(*oxs_find_record(name), original);
  }
  testing::internal::GetCapturedStderr();
  RecordProperty("failure_points", static_cast<int>(points));
  EXPECT_GT(points, 5000);
}

// The direct path serves every record but those with sparse arrays (and
// the type-code records, which are not its own): its
// decode allocates exactly the blocks the caller receives, its encode the
// output block and the few it outgrows. Were a record to fall back to the
// tree unnoticed, every other test would still pass.
TEST_F(Records, TheDirectPathServesEveryRecordWithoutSparseArrays) {
  for (const oxs_record_info* info : recgen::callable_records()) {
    const auto sparse = [](const oxs_field_info& f) { return oxs_kinds[f.kind].value == oxs_value_slots; };
    if (info->type_code != 0 || std::any_of(info->fields, info->fields + info->field_count, sparse)) continue;
    for (profile p : {profile::typical, profile::many}) {
      SCOPED_TRACE(std::string(info->structure) + " " + recgen::profile_name(p));
      void* record = recgen::make(*info, p);
      tq_asn_buffer_t good;
      oxserutl_fault_arm(0);
      ASSERT_EQ(info->encode(good, record, 0), 0);
      long growth = 1;
      for (std::uint32_t size = 256; size < good.length; size *= 2) ++growth;
      EXPECT_LE(oxserutl_fault_allocations(), growth + 1);  // and the fitting of the block
      void* out = std::calloc(1, info->size);
      oxserutl_fault_arm(0);
      ASSERT_EQ(info->decode(good, out, 0), 0);
      bool null_text = false;
      EXPECT_EQ(oxserutl_fault_allocations(), owned_blocks(*info, out, &null_text));
      recgen::destroy(*info, out);
      recgen::destroy(*info, record);
      tq_asn_buffer_free(good);
    }
  }
}

TEST(RecordErrors, MemoryErrorPrintsOneDiagnosticLine) {
  char name[] = "n";
  attr_s_t attr{name, 0, nullptr};
  attrlist_s_t list{1, &attr};
  tq_asn_buffer_t out;
  testing::internal::CaptureStderr();
  // Through the tree: the direct path meets a shortage by handing the call
  // over to the tree, which reports it.
  oxserutl_fault_arm(1);
  const int status = oxs_find_record("attrlist_t")->tree_encode(out, &list, 0);
  oxserutl_fault_arm(0);
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, int{ASN_ERR_MEMORY});
  EXPECT_EQ(printed.rfind("Exception: ", 0), 0u) << printed;
  EXPECT_NE(printed.find(" [10652065] in "), std::string::npos) << printed;
  EXPECT_EQ(printed.find('\n'), printed.size() - 1) << printed;
}

TEST(RecordErrors, UnknownTypeCodeIsRefusedWithoutTouchingTheBuffer) {
  std::int32_t v = 5;
  unsigned char sentinel = 0;
  tq_asn_buffer_t out;
  out.length = 77;
  out.data = &sentinel;
  EXPECT_EQ(tqasn_encode_obj(2, &v, 261, out), -1);
  EXPECT_EQ(out.length, 77u);
  EXPECT_EQ(out.data, &sentinel);
  EXPECT_EQ(tqasn_decode_obj(2, out, 261, &v), -1);
  tqasn_obj_free(2, 261, &v);  // does nothing
}

// Binding objects are named by their first sixteen characters.
TEST(RecordErrors, BindingObjectsKeepSixteenCharacterNames) {
  asn_aznadmin_getobjectlist_out_t reply;
  EXPECT_STREQ(reply.get_type_name(), "aznadmin_getobje");
  asn_kyaction_group_t group;
  EXPECT_STREQ(group.actions.get_type_name(), "SARRAYOF");
}

// --- nesting bounds of the recursive records ----------------------------------------

// The bounds by their numbers: constructed nesting, and the records the
// direct path still takes (deeper ones go to the object tree).
static_assert(tq_asn_max_nesting_depth == 256 && oxserutl::direct::max_depth == 64, "the nesting bounds");

TEST(RecordDepth, TreesUpToTheBoundRoundTripAndDeeperAreRefused) {
  // Two nesting levels per generation: the node and its list of children.
  const int deepest = 256 / 2;
  for (int levels : {1, 2, 63, 64, 65, deepest, deepest + 1, 257, 5000}) {
    SCOPED_TRACE(levels);
    recgen::chain tree(levels);
    tq_asn_buffer_t buffer;
    const int status = tqAsnEncodeObj(buffer, tree.nodes[0]);
    if (levels > deepest) {
      // One status whatever the depth, on both paths.
      testing::internal::CaptureStderr();
      const int by_tree = oxs_find_record("namevalue_t")->tree_encode(buffer, &tree.nodes[0], 0);
      testing::internal::GetCapturedStderr();
      EXPECT_EQ(oxs_test::status_name(status) + " " + oxs_test::status_name(by_tree), "ASN_ERR_UNSUPPORTED ASN_ERR_UNSUPPORTED");
      EXPECT_EQ(buffer.data, nullptr);
      continue;
    }
    ASSERT_EQ(status, 0);
    namevalue_s_t out{};
    ASSERT_EQ(tqAsnDecodeObj(buffer, out), 0);
    int depth = 1;
    for (const namevalue_s_t* n = &out; n->child_count == 1; n = n->children[0]) ++depth;
    EXPECT_EQ(depth, levels);
    tqAsnFreeObj(out);
    tq_asn_buffer_free(buffer);
  }
  // A cycle is refused before the stack runs out.
  namevalue_s_t node{};
  namevalue_s_t* self = &node;
  node.child_count = 1;
  node.children = &self;
  tq_asn_buffer_t buffer;
  testing::internal::CaptureStderr();
  EXPECT_EQ(oxs_test::status_name(tqAsnEncodeObj(buffer, node)), "ASN_ERR_UNSUPPORTED");
  EXPECT_NE(testing::internal::GetCapturedStderr().find("ASN: Record nesting too deep"), std::string::npos);
}

TEST(RecordDepth, HostileNestingIsRefused) {
  // 100000 generations of indefinite-length nodes: 30 80 0C 00 30 00 30 80 ...
  const int generations = 100000;
  bytes input = {0x04, 0x02, 0xAC, 0xDC};
  for (int i = 0; i < generations; ++i)
    for (unsigned char b : {0x30, 0x80, 0x0C, 0x00, 0x30, 0x00, 0x30, 0x80}) input.push_back(b);
  input.insert(input.end(), static_cast<std::size_t>(generations) * 4, 0x00);
  oxs_test::hex_view in(input);
  tq_asn_buffer_t b = in.buffer();
  namevalue_s_t out{};
  EXPECT_EQ(oxs_test::status_name(tqAsnDecodeObj(b, out)), "ASN_ERR_CONSTRUCTED_NOT_PERMITTED");
  EXPECT_EQ(out.name, nullptr);
  oxauditevent_s_t event{};
  EXPECT_NE(tqAsnDecodeObj(b, event), 0);
}

// Several threads encode and decode different records at once, in both text
// forms, for a bounded time; each result must equal the one computed on a
// single thread beforehand. One thread runs with allocation failures armed
// and one decodes trees at the nesting bound, so the per-thread counters
// (fault injection, nesting depth) are shown not to leak into other threads.
// The ThreadSanitizer build (preset tsan) runs them without a report.
// Worker threads never call GoogleTest: they count their mismatches.

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
  const int levels = 256 / 2;
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
