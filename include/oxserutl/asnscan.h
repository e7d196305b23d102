// Raw BER scanning: read identifier octets, length octets and the contents
// of a few primitive types straight from a byte cursor, without ASN.1
// objects (X.690 8.1.2, 8.1.3, 8.6, 8.8, 8.19, 8.7).
//
// Every function takes the cursor as two in-out arguments: the address of
// the caller's pointer to the next unread octet, and the address of the
// caller's count of octets left from there. On success both are advanced
// past the octets consumed; on failure neither changes and nothing is
// allocated. Results that hold bytes are allocated with malloc and released
// by the caller with free().
//
// The content readers do not look at any identifier: the caller reads the
// identifier and the length first and passes the content length. Null
// cursor or result pointers are refused with ASN_ERR_NO_SUCH_ITEM ("no place
// for a result").
#ifndef OXSERUTL_ASNSCAN_H
#define OXSERUTL_ASNSCAN_H

#include <oxserutl/buffer.h>
#include <oxserutl/export.h>

#ifdef __cplusplus
extern "C" {
#endif

// Identifier octets: the tag number, constructed (1 when bit 6 of the first
// octet is set) and the class (its top two bits: 0 universal, 1
// application, 2 context-specific, 3 private). A tag number of 31 or more
// follows the first octet in base 128, most significant group first.
// ASN_ERR_TRUNCATED when the input ends before the last identifier octet.
OXSERUTL_NODISCARD OXSERUTL_API int tqAsnGetType(unsigned char** cursor, unsigned int* remaining, unsigned int* tag,
                                                 int* constructed, int* cls);

// Length octets. definite is set to 1 first; the single octet 0x80 is the
// indefinite form (definite 0, length 0). With the long form the length
// octets are accumulated big-endian into 32 bits: of more than four, only
// the last four count. ASN_ERR_TRUNCATED when the input ends before the
// last length octet.
OXSERUTL_NODISCARD OXSERUTL_API int tqAsnGetLength(unsigned char** cursor, unsigned int* remaining, int* definite,
                                                   unsigned int* length);

// NULL has no contents, so there is nothing to read: the cursor arguments
// are accepted for symmetry with the other readers, are not looked at, and
// 0 is returned.
OXSERUTL_NODISCARD OXSERUTL_API int tqAsnGetNullValue(unsigned char** cursor, unsigned int* remaining);

// BIT STRING contents of len octets, the unused-bits octet included.
// ASN_ERR_TOO_LARGE when len > 4, ASN_ERR_ZERO_LENGTH when len is 0,
// ASN_ERR_TRUNCATED when fewer than len octets remain, ASN_ERR_BAD_LENGTH
// when the unused-bits count is above 7 or is not 0 without data octets,
// ASN_ERR_MEMORY when no memory is left. On success *bits holds the len - 1
// data octets with the unused bits cleared and *nbits the bit count. An
// empty value still gets a 1-byte block, so a null *bits never means success.
OXSERUTL_NODISCARD OXSERUTL_API int tqAsnGetBitstringValue(unsigned char** cursor, unsigned int* remaining,
                                                           unsigned int len, unsigned char** bits,
                                                           unsigned int* nbits);

// OBJECT IDENTIFIER contents of len octets, copied undecoded into a new
// block handed to out (out->length = len). ASN_ERR_NO_SUCH_ITEM when out is
// null, ASN_ERR_ZERO_LENGTH when len is 0, ASN_ERR_TRUNCATED when fewer
// than len octets remain, ASN_ERR_MEMORY when no memory is left.
OXSERUTL_NODISCARD OXSERUTL_API int tqAsnGetOIDValue(unsigned char** cursor, unsigned int* remaining, unsigned int len,
                                                     tq_asn_buffer_t* out);

// OCTET STRING contents of len octets, copied into a new block (*data,
// *outlen = len). ASN_ERR_ZERO_LENGTH when len is 0, ASN_ERR_TRUNCATED when
// fewer than len octets remain, ASN_ERR_MEMORY when no memory is left.
OXSERUTL_NODISCARD OXSERUTL_API int tqAsnGetOctetstringValue(unsigned char** cursor, unsigned int* remaining,
                                                             unsigned int len, unsigned char** data,
                                                             unsigned int* outlen);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif
