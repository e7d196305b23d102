// Allocation failures in every record beyond the typical values of the
// round-trip sweep: extreme values (long and multi-byte text, large blocks,
// integer limits) in the plain form, and the local-code-set form in an
// ISO-8859-1 locale, where text is converted on both sides. Each run
// succeeds or returns 0x10652065; a partly filled record is released with
// the record's free function; the sanitizer build checks for leaks.
#include <clocale>
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


// Both paths of one record with the given values.
long sweep_record(const oxs_record_info& info, profile values, int lcs) {
  void* original = recgen::make(info, values);
  const long points = recgen::sweep_record(info, original, lcs);
  recgen::destroy(info, original);
  return points;
}

TEST(RecordFaults, ExtremeValuesPlainAndLocalCodeSet) {
  const char* old = std::setlocale(LC_ALL, nullptr);
  const std::string saved = old ? old : "C";
  const bool latin = std::setlocale(LC_ALL, "en_US.ISO-8859-1") != nullptr ||
                     std::setlocale(LC_ALL, "en_US.iso88591") != nullptr;
  if (!latin) std::setlocale(LC_ALL, "C.UTF-8");
  long points = 0;
  testing::internal::CaptureStderr();
  for (const oxs_record_info* info : recgen::callable_records()) {
    for (int lcs = 0; lcs < 2; ++lcs) {
      SCOPED_TRACE(std::string(info->structure) + (lcs ? " LCS" : ""));
      points += sweep_record(*info, profile::extreme, lcs);
    }
    // The typical values in the local code set (the plain form's typical
    // values are swept with the round trips).
    SCOPED_TRACE(std::string(info->structure) + " typical LCS");
    points += sweep_record(*info, profile::typical, 1);
  }
  testing::internal::GetCapturedStderr();
  std::setlocale(LC_ALL, saved.c_str());
  RecordProperty("failure_points", static_cast<int>(points));
  std::printf("[ failure points ] records, extreme values and local code set: %ld\n", points);
  EXPECT_GT(points, 3000);
}

// Lists long enough to make the element tables and output buffers grow
// several times, for the records whose lists reach furthest.
TEST(RecordFaults, LongLists) {
  long points = 0;
  testing::internal::CaptureStderr();
  for (const char* name : {"attrlist_s_t", "acl_ext_s_t", "update_list_s_t"}) {
    SCOPED_TRACE(name);
    const oxs_record_info* info = oxs_find_record(name);
    ASSERT_NE(info, nullptr);
    points += sweep_record(*info, profile::many, 0);
  }
  testing::internal::GetCapturedStderr();
  RecordProperty("failure_points", static_cast<int>(points));
  std::printf("[ failure points ] records, long lists: %ld\n", points);
  EXPECT_GT(points, 500);
}

}  // namespace
