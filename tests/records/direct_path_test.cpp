// The exported functions take a direct path for records and bytes in the
// ordinary shape and hand everything else to the object tree. Here the two
// are held against each other: every record, in every value profile and
// both text modes, must encode to the same bytes and decode to the same
// record (strictly: the same null pointers), and every damaged form of the
// encodings must get the same status and the same record from both.
#include <algorithm>
#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/fault_injection.h>
#include <oxserutl/oxserutl.h>

#include "records/record_gen.h"
#include "test_util.h"

namespace {

using recgen::profile;
using bytes = std::vector<unsigned char>;

bytes to_bytes(const tq_asn_buffer_t& b) { return bytes(b.data, b.data + b.length); }

struct decoded {
  int status;
  void* record;  // null when the decode failed
};

// Decodes through one path into a record filled with a pattern; on failure
// the record must still hold the pattern.
decoded decode_with(const oxs_record_info& info, int (*fn)(tq_asn_buffer_t&, void*, int), bytes input, int lcs) {
  std::vector<unsigned char> pattern(info.size, 0xA5);
  void* record = std::malloc(info.size);
  std::memcpy(record, pattern.data(), info.size);
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(input.size());
  in.data = input.empty() ? nullptr : input.data();
  const int status = fn(in, record, lcs);
  if (status != 0) {
    EXPECT_EQ(std::memcmp(record, pattern.data(), info.size), 0) << "record touched by a failed decode";
    std::free(record);
    return {status, nullptr};
  }
  return {status, record};
}

// Both paths on one input: same status, same record.
void expect_same_decode(const oxs_record_info& info, const bytes& input, int lcs, const std::string& what) {
  const decoded direct = decode_with(info, info.decode, input, lcs);
  const decoded tree = decode_with(info, info.tree_decode, input, lcs);
  EXPECT_EQ(direct.status, tree.status) << what;
  if (direct.record != nullptr && tree.record != nullptr) {
    std::string where;
    EXPECT_TRUE(recgen::equal(info, direct.record, tree.record, &where, true)) << what << ": " << where;
  }
  if (direct.record != nullptr) recgen::destroy(info, direct.record);
  if (tree.record != nullptr) recgen::destroy(info, tree.record);
}

// The records the direct path serves: all with functions of their own but
// the type-code records, which have only the one path.
std::vector<const oxs_record_info*> record_functions() {
  std::vector<const oxs_record_info*> out;
  for (const oxs_record_info* info : recgen::callable_records())
    if (info->type_code == 0) out.push_back(info);
  return out;
}

class DirectPath : public testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::setlocale(LC_ALL, nullptr);
    saved_ = old != nullptr ? old : "C";
    latin_ = std::setlocale(LC_ALL, "en_US.ISO-8859-1") != nullptr ||
             std::setlocale(LC_ALL, "en_US.iso88591") != nullptr;
  }
  void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }

  std::string saved_;
  bool latin_ = false;
};

TEST_F(DirectPath, AgreesWithTheTreeOnEveryRecordAndProfile) {
  testing::internal::CaptureStderr();
  for (const oxs_record_info* info : record_functions()) {
    for (profile p : {profile::empty, profile::typical, profile::extreme, profile::many}) {
      for (int lcs = 0; lcs < 2; ++lcs) {
        const std::string what = std::string(info->structure) + " " + recgen::profile_name(p) + (lcs ? " LCS" : "");
        void* record = recgen::make(*info, p);
        tq_asn_buffer_t direct;
        tq_asn_buffer_t tree;
        ASSERT_EQ(info->encode(direct, record, lcs), 0) << what;
        ASSERT_EQ(info->tree_encode(tree, record, lcs), 0) << what;
        EXPECT_EQ(to_bytes(direct), to_bytes(tree)) << what;
        expect_same_decode(*info, to_bytes(tree), lcs, what);
        tq_asn_buffer_free(direct);
        tq_asn_buffer_free(tree);
        recgen::destroy(*info, record);
      }
    }
  }
  testing::internal::GetCapturedStderr();
  if (!latin_) GTEST_SKIP() << "no ISO-8859-1 locale: the local-code-set runs converted nothing";
}

// Null where the caller may leave null: text fields, the first entry of
// every text array and pointer array, optional records, byte blocks (their
// length kept). Released as before by the record's free function.
void punch_holes(const oxs_record_info& info, void* record) {
  for (std::uint32_t i = 0; i < info.field_count; ++i) {
    const oxs_field_info& f = info.fields[i];
    // Read as a pointer only in the cases of pointer fields.
    auto ptr = [&]() -> void*& { return recgen::at<void*>(record, f.offset); };
    switch (f.kind) {
      case oxs_kind_string:
      case oxs_kind_block:
        std::free(ptr());
        ptr() = nullptr;
        break;
      case oxs_kind_strings:
        if (recgen::at<std::uint32_t>(record, f.count_offset) != 0) {
          char*& first = static_cast<char**>(ptr())[0];
          std::free(first);
          first = nullptr;
        }
        break;
      case oxs_kind_ptrlist:
        if (recgen::at<std::uint32_t>(record, f.count_offset) != 0) {
          void*& first = static_cast<void**>(ptr())[0];
          recgen::destroy(*f.element(), first);
          first = nullptr;
        }
        break;
      case oxs_kind_optional:
        if (ptr() != nullptr) recgen::destroy(*f.element(), ptr());
        ptr() = nullptr;
        break;
      case oxs_kind_list:
      case oxs_kind_list16: {
        const std::uint32_t n = f.kind == oxs_kind_list16 ? recgen::at<std::uint16_t>(record, f.count_offset)
                                                           : recgen::at<std::uint32_t>(record, f.count_offset);
        for (std::uint32_t j = 0; j < n; ++j)
          punch_holes(*f.element(), static_cast<unsigned char*>(ptr()) + j * f.element()->size);
        break;
      }
      case oxs_kind_nested:
        punch_holes(*f.element(), static_cast<unsigned char*>(record) + f.offset);
        break;
      default:
        break;
    }
  }
}

TEST_F(DirectPath, AgreesWithTheTreeOnNullPointers) {
  for (const oxs_record_info* info : record_functions()) {
    void* record = recgen::make(*info, profile::typical);
    punch_holes(*info, record);
    tq_asn_buffer_t direct;
    tq_asn_buffer_t tree;
    ASSERT_EQ(info->encode(direct, record, 0), 0) << info->structure;
    ASSERT_EQ(info->tree_encode(tree, record, 0), 0) << info->structure;
    EXPECT_EQ(to_bytes(direct), to_bytes(tree)) << info->structure;
    expect_same_decode(*info, to_bytes(tree), 0, info->structure);
    tq_asn_buffer_free(direct);
    tq_asn_buffer_free(tree);
    recgen::destroy(*info, record);
  }
}

// Every octet of every typical encoding replaced by a few values, and every
// truncation: the direct path must decline whatever the tree would refuse
// or read differently.
TEST_F(DirectPath, AgreesWithTheTreeOnDamagedInput) {
  testing::internal::CaptureStderr();
  long inputs = 0;
  for (const oxs_record_info* info : record_functions()) {
    for (profile p : {profile::typical, profile::extreme}) {
      void* record = recgen::make(*info, p);
      tq_asn_buffer_t good;
      ASSERT_EQ(info->tree_encode(good, record, 0), 0);
      const bytes original = to_bytes(good);
      tq_asn_buffer_free(good);
      recgen::destroy(*info, record);
      // The extreme values (long text, in the local code set) only in their
      // first octets, where the headers of every kind of field lie.
      const int lcs = p == profile::extreme ? 1 : 0;
      const std::size_t reach = p == profile::extreme ? std::min<std::size_t>(original.size(), 160) : original.size();
      for (std::size_t i = 0; i < reach; ++i) {
        for (unsigned char value : {0x00, 0x01, 0x1F, 0x7F, 0x80, 0x81, 0x84, 0x85, 0xFF}) {
          bytes damaged = original;
          if (damaged[i] == value) continue;
          damaged[i] = value;
          expect_same_decode(*info, damaged, lcs, std::string(info->structure) + " octet " + std::to_string(i));
          ++inputs;
        }
        bytes flipped = original;
        flipped[i] ^= 0x20;  // primitive <-> constructed, and nearby lengths
        expect_same_decode(*info, flipped, lcs, std::string(info->structure) + " flip " + std::to_string(i));
        expect_same_decode(*info, bytes(original.begin(), original.begin() + static_cast<long>(i)), lcs,
                           std::string(info->structure) + " cut at " + std::to_string(i));
        inputs += 2;
      }
      // Trailing octets behind the element are ignored by both.
      bytes longer = original;
      longer.push_back(0);
      expect_same_decode(*info, longer, lcs, std::string(info->structure) + " trailing octet");
    }
  }
  testing::internal::GetCapturedStderr();
  std::printf("[ damaged inputs ] %ld\n", inputs);
}

// Shapes the tree reads but the direct path leaves to it: indefinite
// lengths, long-form identifiers, constructed strings, long lengths with
// leading zeros.
TEST_F(DirectPath, AgreesWithTheTreeOnOtherForms) {
  const oxs_record_info& value = *oxs_find_record("value_t");
  const char* forms[] = {
      "04 02 AC DC 30 80 02 01 07 0C 01 61 04 00 00 00",                 // indefinite record
      "04 02 AC DC 30 09 02 01 07 2C 04 0C 02 61 62 04 00",              // constructed UTF8String
      "04 02 AC DC 30 0A 02 01 07 0C 01 61 24 02 04 00",                 // constructed OCTET STRING
      "04 02 AC DC 30 81 08 02 01 07 0C 01 61 04 00",                    // long form length
      "04 02 AC DC 30 84 00 00 00 08 02 01 07 0C 01 61 04 00",           // four length octets
      "04 02 AC DC 30 85 00 00 00 00 08 02 01 07 0C 01 61 04 00",        // five length octets
      "04 02 AC DC 3F 10 08 02 01 07 0C 01 61 04 00",                    // high-tag-number form
      "04 02 AC DC 30 09 02 02 00 07 0C 01 61 04 00",                    // non-minimal integer
      "04 02 AC DC 30 0C 02 05 01 00 00 00 07 0C 01 61 04 00",           // five-octet integer
      "04 02 AC DC 30 0C 02 05 00 80 00 00 00 0C 01 61 04 00",           // five octets that fit
      "04 02 AC DC 30 07 02 00 0C 01 61 04 00",                          // empty integer
      "04 02 AC DC 30 08 02 01 07 0C 01 61 04 00 00",                    // extra content
      "04 02 AC DC 30 06 02 01 07 0C 01 61",                             // missing field
      "05 02 AC DC 00 30 08 02 01 07 0C 01 61 04 00",                    // five-octet header
      "04 03 AC DC 30 08 02 01 07 0C 01 61 04 00",                       // other version
  };
  for (const char* form : forms) expect_same_decode(value, oxs_test::from_hex(form), 0, form);
  // An absent optional record followed by other elements, and one that
  // is present but empty.
  const oxs_record_info& principal = *oxs_find_record("kyprincipal_t");
  expect_same_decode(principal, oxs_test::from_hex("04 02 AC DC 30 06 02 01 05 02 01 F9"), 0, "both absent");
  expect_same_decode(principal, oxs_test::from_hex("04 02 AC DC 30 08 02 01 05 02 01 F9 30 00"), 0, "empty attrs");
  expect_same_decode(principal, oxs_test::from_hex("04 02 AC DC 30 08 02 01 05 10 00 02 01 F9"), 0, "primitive 16");
  expect_same_decode(principal, oxs_test::from_hex("04 02 AC DC 30 08 02 01 05 A0 00 02 01 F9"), 0, "tagged");
}

// The blocks a decoded record owns: one per string, byte block and array,
// one per record held by pointer.
long owned_blocks(const oxs_record_info& info, const void* record) {
  long n = 0;
  for (std::uint32_t i = 0; i < info.field_count; ++i) {
    const oxs_field_info& f = info.fields[i];
    // Read as a pointer only in the cases of pointer fields.
    auto ptr = [&] { return recgen::at<void*>(record, f.offset); };
    switch (f.kind) {
      case oxs_kind_string:
      case oxs_kind_block:
      case oxs_kind_ints:
        n += ptr() != nullptr ? 1 : 0;
        break;
      case oxs_kind_list:
      case oxs_kind_list16: {
        const std::uint32_t count = f.kind == oxs_kind_list16 ? recgen::at<std::uint16_t>(record, f.count_offset)
                                                               : recgen::at<std::uint32_t>(record, f.count_offset);
        n += ptr() != nullptr ? 1 : 0;
        for (std::uint32_t j = 0; j < count; ++j)
          n += owned_blocks(*f.element(), static_cast<const unsigned char*>(ptr()) + j * f.element()->size);
        break;
      }
      case oxs_kind_ptrlist:
        n += ptr() != nullptr ? 1 : 0;
        for (std::uint32_t j = 0; j < recgen::at<std::uint32_t>(record, f.count_offset); ++j)
          n += 1 + owned_blocks(*f.element(), static_cast<void* const*>(ptr())[j]);
        break;
      case oxs_kind_strings:
        n += ptr() != nullptr ? 1 : 0;
        for (std::uint32_t j = 0; j < recgen::at<std::uint32_t>(record, f.count_offset); ++j)
          n += static_cast<char* const*>(ptr())[j] != nullptr ? 1 : 0;
        break;
      case oxs_kind_nested:
        n += owned_blocks(*f.element(), static_cast<const unsigned char*>(record) + f.offset);
        break;
      case oxs_kind_optional:
        if (ptr() != nullptr) n += 1 + owned_blocks(*f.element(), ptr());
        break;
      default:
        break;
    }
  }
  return n;
}

bool has_sparse_array(const oxs_record_info& info) {
  for (std::uint32_t i = 0; i < info.field_count; ++i)
    if (info.fields[i].kind == oxs_kind_sparse) return true;
  return false;
}

// The direct path serves every record but those with sparse arrays: its
// decode allocates exactly the blocks the caller receives, its encode only
// the output block (and the few it outgrows), where the object tree would
// allocate per element. Were a record to fall back to the tree unnoticed,
// every other test would still pass.
TEST_F(DirectPath, ServesEveryRecordWithoutSparseArrays) {
  for (const oxs_record_info* info : record_functions()) {
    if (has_sparse_array(*info)) continue;
    for (profile p : {profile::typical, profile::many}) {
      const std::string what = std::string(info->structure) + " " + recgen::profile_name(p);
      void* record = recgen::make(*info, p);
      tq_asn_buffer_t good;
      oxserutl_fault_arm(0);
      ASSERT_EQ(info->encode(good, record, 0), 0) << what;
      long growth = 1;
      for (std::uint32_t size = 256; size < good.length; size *= 2) ++growth;
      EXPECT_LE(oxserutl_fault_allocations(), growth + 1) << what;  // and the fitting of the block
      void* out = std::calloc(1, info->size);
      oxserutl_fault_arm(0);
      ASSERT_EQ(info->decode(good, out, 0), 0) << what;
      EXPECT_EQ(oxserutl_fault_allocations(), owned_blocks(*info, out)) << what;
      recgen::destroy(*info, out);
      recgen::destroy(*info, record);
      tq_asn_buffer_free(good);
    }
  }
}

}  // namespace
