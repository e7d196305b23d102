// Every record, driven by its run-time description: round trips for empty,
// typical, extreme and many-element values in the plain and local-code-set
// forms; refusal of damaged input with the record left untouched; and the
// allocation-failure paths.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/fault_injection.h>
#include <oxserutl/oxserutl.h>

#include "records/fault_sweep.h"
#include "records/record_gen.h"
#include "test_util.h"

namespace {

using recgen::profile;


struct bytes {
  std::vector<unsigned char> data;
  tq_asn_buffer_t view() {
    tq_asn_buffer_t b;
    b.length = static_cast<std::uint32_t>(data.size());
    b.data = data.data();
    return b;
  }
};

// Encodes; the returned bytes are a copy, the library's block is released.
int encode(const oxs_record_info& info, void* record, int lcs, bytes& out) {
  tq_asn_buffer_t buffer;
  const int status = info.encode(buffer, record, lcs);
  if (status == 0) {
    out.data.assign(buffer.data, buffer.data + buffer.length);
    tq_asn_buffer_free(buffer);
  }
  return status;
}

// Switches the process to a locale for one scope.
class scoped_locale {
 public:
  explicit scoped_locale(const char* name) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    saved_ = old ? old : "C";
    ok_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~scoped_locale() { std::setlocale(LC_ALL, saved_.c_str()); }
  bool ok() const { return ok_; }

 private:
  std::string saved_;
  bool ok_ = false;
};

TEST(RecordTable, DescribesEveryRecordOnce) {
  std::size_t count = 0;
  const oxs_record_info* table = oxs_records(&count);
  // 62 records with functions of their own, three type-code records and
  // the update-list element.
  EXPECT_EQ(count, 66u);
  int coded = 0;
  for (std::size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(table[i].structure);
    EXPECT_EQ(oxs_find_record(table[i].structure), &table[i]);
    EXPECT_EQ(oxs_find_record(table[i].binding), &table[i]);
    if (table[i].type_code != 0) ++coded;
  }
  EXPECT_EQ(coded, 3);
  EXPECT_EQ(oxs_find_record("no_such_record"), nullptr);
}

TEST(RecordRoundTrip, EveryRecordEveryProfileBothForms) {
  scoped_locale utf8("C.UTF-8");
  for (const oxs_record_info* info : recgen::callable_records()) {
    for (profile p : {profile::empty, profile::typical, profile::extreme, profile::many}) {
      for (int lcs = 0; lcs < 2; ++lcs) {
        SCOPED_TRACE(std::string(info->structure) + " " + recgen::profile_name(p) + (lcs ? " LCS" : ""));
        void* original = recgen::make(*info, p);
        bytes first;
        ASSERT_EQ(oxs_test::status_name(encode(*info, original, lcs, first)), "ASN_OK");
        void* decoded = std::calloc(1, info->size < 8 ? 8 : info->size);
        tq_asn_buffer_t in = first.view();
        ASSERT_EQ(oxs_test::status_name(info->decode(in, decoded, lcs)), "ASN_OK");
        std::string where;
        EXPECT_TRUE(recgen::equal(*info, original, decoded, &where)) << where;
        bytes second;
        ASSERT_EQ(encode(*info, decoded, lcs, second), 0);
        EXPECT_EQ(oxs_test::to_hex(second.data), oxs_test::to_hex(first.data));
        recgen::destroy(*info, original);
        recgen::destroy(*info, decoded);
      }
    }
  }
}

// Records of the same shape write the same bytes and read each other's.
TEST(RecordRoundTrip, SameShapedRecordsDecodeAsOneAnother) {
  const char* pairs[][2] = {
      {"aznadmin_getobject_in_s_t", "aznadmin_getobjectlist_in_s_t"},
      {"aznadmin_getobject_out_s_t", "aznadmin_gettasklist_out_s_t"},
      {"azn_get_entitlements_out_s_t", "aznadmin_performtask_out_s_t"},
      {"azn_id_get_creds_out_s_t", "azn_creds_mod_out_s_t"},
      {"azn_creds_mod_in_s_t", "azn_get_entitlements_in_s_t"},
      {"map_pobj_to_acl_s_t", "map_acl_to_pobj_s_t"},
      {"kymap_pobj_to_pop_s_t", "kymap_pop_to_pobj_s_t"},
      {"kytod_range_s_t", "kypop_ipauth_s_t"},
  };
  for (const auto& pair : pairs) {
    SCOPED_TRACE(std::string(pair[0]) + " as " + pair[1]);
    const oxs_record_info* a = oxs_find_record(pair[0]);
    const oxs_record_info* b = oxs_find_record(pair[1]);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->size, b->size);
    void* original = recgen::make(*a, profile::typical);
    bytes encoded;
    ASSERT_EQ(encode(*a, original, 0, encoded), 0);
    void* as_other = std::calloc(1, b->size);
    tq_asn_buffer_t in = encoded.view();
    ASSERT_EQ(b->decode(in, as_other, 0), 0);
    // Same layout, so the first record's description compares them.
    std::string where;
    EXPECT_TRUE(recgen::equal(*a, original, as_other, &where)) << where;
    bytes again;
    ASSERT_EQ(encode(*b, as_other, 0, again), 0);
    EXPECT_EQ(again.data, encoded.data);
    recgen::destroy(*a, original);
    recgen::destroy(*b, as_other);
  }
}

// Wraps contents in a SEQUENCE header with the shortest definite length.
std::vector<unsigned char> sequence_of(const std::vector<unsigned char>& contents) {
  tq_buffer_t out;
  out.append(static_cast<unsigned char>(0x30));
  const std::uint32_t n = static_cast<std::uint32_t>(contents.size());
  if (n < 0x80) {
    out.append(static_cast<unsigned char>(n));
  } else {
    int octets = n <= 0xFF ? 1 : n <= 0xFFFF ? 2 : 3;
    out.append(static_cast<unsigned char>(0x80 | octets));
    while (octets-- > 0) out.append(static_cast<unsigned char>(n >> (8 * octets)));
  }
  out.append(contents.data(), n);
  return std::vector<unsigned char>(out.data(), out.data() + out.used());
}

// The offset and length of the outer element's contents behind the envelope.
void outer_contents(const std::vector<unsigned char>& b, std::size_t& start, std::size_t& length) {
  std::size_t i = 5;
  if (b[i] < 0x80) {
    length = b[i];
    start = i + 1;
  } else {
    const int octets = b[i] & 0x7F;
    length = 0;
    for (int k = 1; k <= octets; ++k) length = length * 256 + b[i + k];
    start = i + 1 + octets;
  }
}

TEST(RecordDecode, DamagedInputIsRefusedAndTheRecordLeftUntouched) {
  for (const oxs_record_info* info : recgen::callable_records()) {
    SCOPED_TRACE(info->structure);
    void* original = recgen::make(*info, profile::typical);
    bytes good;
    ASSERT_EQ(encode(*info, original, 0, good), 0);
    recgen::destroy(*info, original);

    std::vector<unsigned char> sentinel(info->size, 0x5A);
    std::vector<unsigned char> target = sentinel;
    auto refused = [&](bytes& damaged, const std::string& expected, const std::string& what) {
      SCOPED_TRACE(what);
      tq_asn_buffer_t in = damaged.view();
      const int status = info->decode(in, target.data(), 0);
      if (expected.empty())
        EXPECT_NE(status, 0);
      else
        EXPECT_EQ(oxs_test::status_name(status), expected);
      EXPECT_EQ(target, sentinel) << "record touched";
    };

    for (unsigned char version : {1, 3}) {
      bytes damaged = good;
      damaged.data[1] = version;
      refused(damaged, "ASN_ERR_VERSION", "version " + std::to_string(version));
    }
    {
      bytes damaged = good;
      damaged.data[3] = 0xDD;
      refused(damaged, "ASN_ERR_VERSION", "marker");
    }
    for (std::size_t n = 0; n < good.data.size(); ++n) {
      bytes damaged;
      damaged.data.assign(good.data.begin(), good.data.begin() + static_cast<std::ptrdiff_t>(n));
      refused(damaged, n <= 4 ? "ASN_ERR_VERSION" : "", "prefix of " + std::to_string(n));
    }
    {
      bytes damaged = good;
      damaged.data[4] ^= 0x01;
      refused(damaged, "ASN_ERR_TAG_MISMATCH", "outer tag");
    }
    if (info->type_code != ASN_TYPE_INTEGER) {
      std::size_t start = 0;
      std::size_t length = 0;
      outer_contents(good.data, start, length);
      std::vector<unsigned char> contents(good.data.begin() + static_cast<std::ptrdiff_t>(start),
                                          good.data.begin() + static_cast<std::ptrdiff_t>(start + length));
      for (unsigned char b : {0x02, 0x01, 0x00}) contents.push_back(b);
      bytes damaged;
      damaged.data = {0x04, good.data[1], 0xAC, 0xDC};
      std::vector<unsigned char> element = sequence_of(contents);
      damaged.data.insert(damaged.data.end(), element.begin(), element.end());
      refused(damaged, "ASN_ERR_EXTRA_CONTENT", "one element too many");

      // Contents cut anywhere under a consistent outer length: refused
      // unless the cut falls where only OPTIONAL components remain.
      int refusals = 0;
      for (std::size_t n = 0; n + 3 < contents.size(); ++n) {
        std::vector<unsigned char> cut(contents.begin(), contents.begin() + static_cast<std::ptrdiff_t>(n));
        bytes shorter;
        shorter.data = {0x04, good.data[1], 0xAC, 0xDC};
        element = sequence_of(cut);
        shorter.data.insert(shorter.data.end(), element.begin(), element.end());
        tq_asn_buffer_t in = shorter.view();
        std::vector<unsigned char> record(info->size < 8 ? 8 : info->size, 0);
        const int status = info->decode(in, record.data(), 0);
        if (status != 0) {
          ++refusals;
          EXPECT_TRUE(recgen::all_zero(record.data(), record.size())) << "cut at " << n;
        } else {
          info->release(record.data());
        }
      }
      EXPECT_GE(refusals, static_cast<int>(contents.size()) - 3 - 2);
    }
  }
}

// Fails the k-th allocation for every k until an operation runs without
// allocating that often: each run succeeds or reports no memory, and the
// sanitizer build checks that nothing leaks and that a partly filled record
// is released cleanly.
TEST(RecordMemory, EveryAllocationFailureIsReportedAndReleased) {
  long points = 0;
  for (const oxs_record_info* info : recgen::callable_records()) {
    SCOPED_TRACE(info->structure);
    void* original = recgen::make(*info, profile::typical);
    testing::internal::CaptureStderr();
    points += recgen::sweep_record(*info, original, 0);
    testing::internal::GetCapturedStderr();
    recgen::destroy(*info, original);
  }
  RecordProperty("failure_points", static_cast<int>(points));
  std::printf("[ failure points ] records, typical values: %ld\n", points);
  EXPECT_GT(points, 1000);
}

TEST(RecordMemory, MemoryErrorPrintsOneDiagnosticLine) {
  char name[] = "n";
  attr_s_t attr{name, 0, nullptr};
  attrlist_s_t list{1, &attr};
  tq_asn_buffer_t out;
  testing::internal::CaptureStderr();
  // Through the object tree: the direct path meets a shortage by handing
  // the call over to the tree, which reports it. The first allocation of
  // the tree's call is the list element.
  oxserutl_fault_arm(1);
  const int status = oxs_find_record("attrlist_t")->tree_encode(out, &list, 0);
  oxserutl_fault_arm(0);
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, int{ASN_ERR_MEMORY});
  EXPECT_EQ(printed.rfind("Exception: ", 0), 0u) << printed;
  EXPECT_NE(printed.find(" [10652065] in "), std::string::npos) << printed;
  EXPECT_EQ(printed.back(), '\n');
}

TEST(RecordCopy, TheTwelveDeclaredCopiesFailAtOnce) {
  asn_attrlist_t original;
  try {
    asn_attrlist_t copy(original);
    FAIL() << "copied";
  } catch (const tq_asn_unsupportederror& e) {
    EXPECT_STREQ(e.text(), "Can't copy asn_objects");
    EXPECT_EQ(e.code(), 0x10652197u);
  }
  asn_namevalueList_t a;
  asn_namevalueList_t b;
  try {
    a = b;
    FAIL() << "assigned";
  } catch (const tq_asn_unsupportederror& e) {
    EXPECT_STREQ(e.text(), "Can't assign asn_objects");
  }
}

TEST(RecordBinding, ObjectNamesKeepSixteenCharacters) {
  asn_aznadmin_getobjectlist_out_t reply;
  EXPECT_STREQ(reply.get_type_name(), "aznadmin_getobje");
  asn_dbr_get_db_out_t out;
  EXPECT_STREQ(out.get_type_name(), "dbr_get_db_out_t");
  asn_acl_ext_t acl;
  EXPECT_STREQ(acl.get_type_name(), "acl_ext_t");
  EXPECT_STREQ(acl.entries.get_type_name(), "SEQUENCEOF");
  asn_kyaction_group_t group;
  EXPECT_STREQ(group.actions.get_type_name(), "SARRAYOF");
}

}  // namespace
