// Helpers shared by the fuzz targets: a property check that aborts with a
// message (so libFuzzer keeps the input), the status check and the locale.
#ifndef OXSERUTL_FUZZ_UTIL_H
#define OXSERUTL_FUZZ_UTIL_H

#include <clocale>
#include <cstdio>
#include <cstdlib>
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

// The local-code-set paths need a locale whose code set is not UTF-8 to do
// any converting; fall back to UTF-8, then to the C locale.
inline void set_local_code_set() {
  const char* chosen = std::getenv("OXSERUTL_FUZZ_LOCALE");
  for (const char* name : {chosen != nullptr ? chosen : "", "en_US.ISO-8859-1", "en_US.iso88591", "C.UTF-8"})
    if (*name != '\0' && std::setlocale(LC_ALL, name) != nullptr) return;
}

// A record block at least 8 bytes long, as recgen::make allocates.
inline std::size_t record_bytes(const oxs_record_info& info) { return info.size < 8 ? 8 : info.size; }

// The status of the record's decode function (plain form) on the bytes.
inline int decode_status(const oxs_record_info& info, std::vector<unsigned char> bytes) {
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(bytes.size());
  in.data = bytes.data();
  void* record = std::calloc(1, record_bytes(info));
  const int status = info.decode(in, record, 0);
  if (status == 0) info.release(record);
  std::free(record);
  return status;
}

}  // namespace oxs_fuzz

#endif
