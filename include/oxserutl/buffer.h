// The length-and-data pair through which encoded bytes cross the library's
// boundary, and the free functions on it.
//
// This header, <oxserutl/status.h> and <oxserutl/record_functions.h> need
// nothing of the C++ library (only <stdint.h>), so that a caller built with
// any compiler for the platform can include them.
#ifndef OXSERUTL_BUFFER_H
#define OXSERUTL_BUFFER_H

#include <stdint.h>

#include <oxserutl/export.h>

// data comes from the library's heap (the C runtime's malloc) and is
// released with tq_asn_buffer_free.
struct tq_asn_buffer_t {
  uint32_t length;
  unsigned char* data;
  tq_asn_buffer_t() noexcept : length(0), data(nullptr) {}
};

// Copies src into a new heap block; status 0x10652065 when there is no
// memory (dst.data stays null, dst.length keeps the source length).
OXSERUTL_API void tq_asn_buffer_copy(const tq_asn_buffer_t& src, tq_asn_buffer_t& dst, uint32_t& status);
// Releases buf.data with the library's free; the fields are not reset.
OXSERUTL_API void tq_asn_buffer_free(tq_asn_buffer_t buf);

// flag = 0 and 0 when the buffer starts with a valid envelope of a nonzero
// version; flag = 1 and ASN_ERR_VERSION otherwise.
OXSERUTL_NODISCARD OXSERUTL_API int tqasn_version(const tq_asn_buffer_t& in, unsigned int& flag);

#endif
