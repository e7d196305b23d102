// Status codes returned by every operation of liboxserutl.
//
// 0 is success. The values are part of the external interface: other
// processes receive them unchanged, so they never change. Like
// <oxserutl/buffer.h>, this header needs nothing of the C++ library.
#ifndef OXSERUTL_STATUS_H
#define OXSERUTL_STATUS_H

#include <stdint.h>

#include <oxserutl/export.h>

// The one table of status codes: symbolic name, value, meaning.
#define OXSERUTL_STATUS_TABLE(X)                                                              \
  X(ASN_ERR_MEMORY, 0x10652065u, "no memory")                                                 \
  X(ASN_ERR_VERSION, 0x10652196u, "envelope header or version does not match")               \
  X(ASN_ERR_UNSUPPORTED, 0x10652197u, "operation refused by the class")                       \
  X(ASN_ERR_TRUNCATED, 0x10652198u, "data ends before the identifier, length or contents")   \
  X(ASN_ERR_TOO_LARGE, 0x10652199u, "value does not fit the requested native form")          \
  X(ASN_ERR_ZERO_LENGTH, 0x1065219au, "content length of 0 where contents are required")     \
  X(ASN_ERR_BAD_LENGTH, 0x1065219bu, "length or framing not allowed")                         \
  X(ASN_ERR_NO_SUCH_ITEM, 0x1065219cu, "no element where one is required")                    \
  X(ASN_ERR_INDEFINITE_NOT_PERMITTED, 0x1065219du, "indefinite length not permitted here")    \
  X(ASN_ERR_CONSTRUCTED_NOT_PERMITTED, 0x1065219eu, "constructed encoding not permitted here") \
  X(ASN_ERR_PRIMITIVE_NOT_PERMITTED, 0x1065219fu, "primitive encoding not permitted here")    \
  X(ASN_ERR_NO_VALUE, 0x106521a0u, "object has no value and no default")                      \
  X(ASN_ERR_BAD_BITSTRING, 0x106521a2u, "malformed BIT STRING contents")                      \
  X(ASN_ERR_BITSTRING_SEGMENT, 0x106521a3u, "BIT STRING segment other than the last has unused bits") \
  X(ASN_ERR_TAG_MISMATCH, 0x106521a4u, "identifier does not match")                           \
  X(ASN_ERR_EXTRA_CONTENT, 0x106521a5u, "bytes remain inside a SEQUENCE after its last element") \
  X(ASN_ERR_BAD_SELECTION, 0x106521a7u, "CHOICE alternative index out of range")              \
  X(ASN_ERR_NOTHING_SELECTED, 0x106521a8u, "CHOICE written with no alternative selected")     \
  X(ASN_ERR_TYPED_ANY, 0x106521a9u, "raw-value operation on an open type with a syntax object") \
  X(ASN_ERR_UNREPRESENTABLE, 0x106521abu, "character cannot be represented in the target set") \
  X(ASN_ERR_CODESET_NOT_PERMITTED, 0x106521acu, "character set not permitted for this string type")

enum tq_asn_status : int {
  ASN_OK = 0,
#define OXSERUTL_STATUS_ENUM(name, value, text) name = value,
  OXSERUTL_STATUS_TABLE(OXSERUTL_STATUS_ENUM)
#undef OXSERUTL_STATUS_ENUM
};

// Symbolic name of a status code ("ASN_ERR_TRUNCATED"), "ASN_OK" for 0, or
// null for a value that is not a status code of this library.
OXSERUTL_API const char* tq_asn_status_name(uint32_t code) noexcept;

// One-line meaning of a status code, or null for an unknown value.
OXSERUTL_API const char* tq_asn_status_text(uint32_t code) noexcept;

#endif
