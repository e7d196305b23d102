// Status names, the version, exceptions, the allocation seam and the
// platform entry.
#define OXS_SOURCE "asn1/asnbase"
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <oxserutl/fault_injection.h>
#include <oxserutl/version.h>

#include "internal.h"

#if defined(_WIN32)
#include <windows.h>
// The library keeps no per-thread state, so thread notifications are
// turned off; nothing else happens at load or unload.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
#endif

const char* oxserutl_version(void) { return OXSERUTL_VERSION_STRING; }
unsigned int oxserutl_version_number(void) { return OXSERUTL_VERSION_NUMBER; }

const char* tq_asn_status_name(std::uint32_t code) noexcept {
  switch (code) {
    case 0:
      return "ASN_OK";
#define OXS_STATUS_NAME(name, value, text) \
  case value:                              \
    return #name;
      OXSERUTL_STATUS_TABLE(OXS_STATUS_NAME)
#undef OXS_STATUS_NAME
    default:
      return nullptr;
  }
}

const char* tq_asn_status_text(std::uint32_t code) noexcept {
  switch (code) {
    case 0:
      return "success";
#define OXS_STATUS_TEXT(name, value, text) \
  case value:                              \
    return text;
      OXSERUTL_STATUS_TABLE(OXS_STATUS_TEXT)
#undef OXS_STATUS_TEXT
    default:
      return nullptr;
  }
}

tq_asn_exception::~tq_asn_exception() = default;

void tq_asn_exception::print() const {
  std::fprintf(stderr, "Exception: %s [%8.8x] in %s at line %d\n", text_, static_cast<unsigned>(code_), file_,
               static_cast<int>(line_));
}

namespace {
// Per-thread fault injection: a test on one thread never disturbs another.
struct fault_state {
  long countdown = 0;
  long allocations = 0;
  int fired = 0;
};
OXS_THREAD_LOCAL fault_state fault;
// Set when a thread first arms the seam, never cleared. Until then an
// allocation asks only this flag: per-thread state costs a call per access
// where thread-local storage is emulated (MinGW), and every allocation of a
// decode would pay it.
std::atomic<bool> seam_in_use{false};
}  // namespace

extern "C" {
void oxserutl_fault_arm(long k) {
  seam_in_use.store(true, std::memory_order_relaxed);
  fault_state& f = fault;
  f.countdown = k > 0 ? k : 0;
  f.allocations = 0;
  f.fired = 0;
}
long oxserutl_fault_allocations(void) { return fault.allocations; }
int oxserutl_fault_fired(void) { return fault.fired; }
}

namespace oxserutl {
namespace detail {

bool allocation_fault() noexcept {
  if (!seam_in_use.load(std::memory_order_relaxed)) return false;
  fault_state& f = fault;
  ++f.allocations;
  if (f.countdown > 0 && --f.countdown == 0) {
    f.fired = 1;
    return true;
  }
  return false;
}

void throw_memory(const char* text, const char* file, int line) { throw tq_asn_memexception(text, file, line); }

void* mem_malloc(std::size_t size) noexcept { return allocation_fault() ? nullptr : std::malloc(size); }
void* mem_calloc(std::size_t count, std::size_t size) noexcept {
  return allocation_fault() ? nullptr : std::calloc(count, size);
}
void* mem_realloc(void* p, std::size_t size) noexcept { return allocation_fault() ? nullptr : std::realloc(p, size); }
void mem_free(void* p) noexcept { std::free(p); }

void secure_zero(void* p, std::size_t n) noexcept {
  volatile unsigned char* q = static_cast<volatile unsigned char*>(p);
  while (n-- > 0) *q++ = 0;
}

}  // namespace detail
}  // namespace oxserutl
