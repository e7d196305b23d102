// The counting malloc family (see counting_heap.h).
#include "counting_heap.h"

#include <malloc.h>

#include <cstdlib>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {
// Plain thread-locals of the executable: reaching them allocates nothing.
thread_local bool counting = false;
thread_local long long in_use = 0;
thread_local long long peak = 0;
thread_local std::size_t allocations = 0;

void* note(void* p) {
  if (counting && p != nullptr) {
    ++allocations;
    in_use += static_cast<long long>(malloc_usable_size(p));
    if (in_use > peak) peak = in_use;
  }
  return p;
}
void forget(void* p) {
  if (counting && p != nullptr) in_use -= static_cast<long long>(malloc_usable_size(p));
}
}  // namespace

namespace counting_heap {

void start() {
  in_use = 0;
  peak = 0;
  allocations = 0;
  counting = true;
}

counts stop() {
  counting = false;
  counts c;
  c.allocations = allocations;
  c.peak = peak > 0 ? static_cast<std::size_t>(peak) : 0;
  c.in_use = in_use > 0 ? static_cast<std::size_t>(in_use) : 0;
  return c;
}

}  // namespace counting_heap

extern "C" {
void* malloc(size_t n) { return note(__libc_malloc(n)); }
void* calloc(size_t n, size_t m) { return note(__libc_calloc(n, m)); }
void* realloc(void* p, size_t n) {
  const long long old = p != nullptr ? static_cast<long long>(malloc_usable_size(p)) : 0;
  void* moved = __libc_realloc(p, n);
  // A failed realloc leaves the old block in place.
  if (counting && (moved != nullptr || n == 0)) in_use -= old;
  return note(moved);
}
void free(void* p) {
  forget(p);
  __libc_free(p);
}
void* memalign(size_t a, size_t n) { return note(__libc_memalign(a, n)); }
void* aligned_alloc(size_t a, size_t n) { return note(__libc_memalign(a, n)); }
int posix_memalign(void** out, size_t a, size_t n) {
  *out = note(__libc_memalign(a, n));
  return *out == nullptr ? 12 : 0;
}
}
