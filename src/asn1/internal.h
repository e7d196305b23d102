// Helpers shared by the runtime's sources; not part of the public API.
#ifndef OXSERUTL_SRC_INTERNAL_H
#define OXSERUTL_SRC_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <new>

#include <oxserutl/asnbase.h>

#include "ber_primitives.h"

namespace oxserutl {
namespace detail {

// The standard heap, behind the fault-injection seam. Memory handed to
// callers comes from here, so they release it with free().
void* mem_malloc(std::size_t size) noexcept;
void* mem_calloc(std::size_t count, std::size_t size) noexcept;
void* mem_realloc(void* p, std::size_t size) noexcept;
void mem_free(void* p) noexcept;

// new T(args...) behind the seam; null when no memory is left.
template <class T, class... A>
T* new_object(A&&... args) {
  if (allocation_fault()) return nullptr;
  return new (std::nothrow) T(static_cast<A&&>(args)...);
}

// Overwrites n bytes with zeros in a way the optimiser may not drop.
void secure_zero(void* p, std::size_t n) noexcept;

// BER identifier and length octets written into a buffer (the readers are
// in ber_primitives.h).
void write_identifier(tq_buffer_t& out, int cls, bool constructed, std::uint32_t tag);
void write_length(tq_buffer_t& out, std::uint32_t length);

// The zero-terminated copy of UTF-8 text that a record's text field
// receives: the octets as they are, or, when local is set, the text up to
// its first zero octet converted to the local code set. 0, or
// ASN_ERR_MEMORY with out null.
int text_copy(const unsigned char* bytes, std::uint32_t length, bool local, char*& out) noexcept;

// The copy of a value's octets that a record's byte block receives: a new
// block of exactly length bytes, so an empty value gets what malloc(0)
// gives. false (out untouched) when no memory is left, which for an empty
// value is only a failure the fault seam injects.
bool block_copy(const unsigned char* bytes, std::uint32_t length, unsigned char*& out) noexcept;

}  // namespace detail
}  // namespace oxserutl

// Access to the protected tree operations of tq_asn_object (a friend of
// it) for the library's own layers and its tests.
struct tq_asn_access {
  static void check_valid(tq_asn_object& o, int deep) { o.check_valid(deep); }
  static void invalidate_value(tq_asn_object& o, invalidate_t how) { o.invalidate_value(how); }
  static void invalidate_encoding(const tq_asn_object& o) { o.invalidate_encoding(); }
  static void set_value_valid(tq_asn_object& o) { o.set_value_valid(); }
  static bool check_type(const tq_asn_object& o, std::uint32_t tag, int cls) { return o.check_type(tag, cls); }
  static void set_default_value(tq_asn_object& o, tq_asn_object* v) { o.set_default_value(v); }
  static int get_encoding(const tq_asn_object& o) { return o.get_encoding(); }
  static int get_encoding(const tq_asn_object& o, tq_buffer_t& out) { return o.get_encoding(out); }
  static int emptyi(tq_asn_object& o) { return o.emptyi(); }
  static void set_parent(tq_asn_object& o, tq_asn_object* p) { o.set_parent(p); }
};

// Per-thread state of the call in progress. The few words of it live in the
// static TLS block, so reaching them costs no call into the dynamic linker.
#if defined(__GNUC__) && !defined(_WIN32)
#define OXS_THREAD_LOCAL __attribute__((tls_model("initial-exec"))) thread_local
#else
#define OXS_THREAD_LOCAL thread_local
#endif

#define OXS_THROW_MEMORY(text) ::oxserutl::detail::throw_memory((text), OXS_SOURCE, __LINE__)

#endif
