// Helpers shared by the fuzz targets: a property check that aborts with a
// message (so libFuzzer keeps the input), status checks and the list of
// records that have functions of their own.
#ifndef OXSERUTL_FUZZ_UTIL_H
#define OXSERUTL_FUZZ_UTIL_H

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <oxserutl/oxserutl.h>

namespace oxs_fuzz {

[[noreturn]] inline void fail(const char* what, const char* detail = "", long value = 0) {
  std::fprintf(stderr, "property violated: %s %s (%ld)\n", what, detail, value);
  std::abort();
}

inline void check(bool ok, const char* what, const char* detail = "", long value = 0) {
  if (!ok) fail(what, detail, value);
}

// Every failure is a status of the library's table.
inline void check_status(int status, const char* what) {
  check(status == 0 || tq_asn_status_name(static_cast<std::uint32_t>(status)) != nullptr, "status not in the table",
        what, status);
}

// The records with exported functions (the update-list element has none).
inline const std::vector<const oxs_record_info*>& callable_records() {
  static const std::vector<const oxs_record_info*> records = [] {
    std::size_t count = 0;
    const oxs_record_info* table = oxs_records(&count);
    std::vector<const oxs_record_info*> out;
    for (std::size_t i = 0; i < count; ++i)
      if (table[i].encode != nullptr && std::strcmp(table[i].structure, "kyobj_update_s_t") != 0)
        out.push_back(&table[i]);
    return out;
  }();
  return records;
}

// The local-code-set paths need a locale whose code set is not UTF-8 to do
// any converting; fall back to UTF-8, then to the C locale.
inline void set_local_code_set() {
  if (const char* chosen = std::getenv("OXSERUTL_FUZZ_LOCALE")) {
    if (std::setlocale(LC_ALL, chosen) != nullptr) return;
  }
  for (const char* name : {"en_US.ISO-8859-1", "en_US.iso88591", "C.UTF-8"})
    if (std::setlocale(LC_ALL, name) != nullptr) return;
}

// A record block at least 8 bytes long (records of a single pointer or
// integer are smaller than the generator's minimum).
inline std::size_t record_bytes(const oxs_record_info& info) { return info.size < 8 ? 8 : info.size; }

}  // namespace oxs_fuzz

#endif
