/* Why a record's decode function refuses a buffer, for the log of a service
 * that received it:
 *
 *   tq_asn_explanation why;
 *   if (tq_asn_explain("acl_ext_t", 0, data, length, &why) != 0) {
 *     char text[512];
 *     tq_asn_explanation_text(&why, text, sizeof text);
 *     log("%s", text);  // ASN_ERR_TAG_MISMATCH (0x106521a4) at offset 8: expected
 *   }                   // a UTF8String (acl_ext_t.name), found universal 19 primitive [...]
 *
 * The status is exactly the one the record's decode function returns for the
 * same bytes (it is run to find out); the rest says where its reading stopped
 * and why. The functions allocate nothing the caller must free, never throw,
 * and may be called from several threads at once. Like <oxserutl/status.h>
 * this header is plain C: a caller built with any compiler can use it. */
#ifndef OXSERUTL_EXPLAIN_H
#define OXSERUTL_EXPLAIN_H

#include <stddef.h>
#include <stdint.h>

#include <oxserutl/export.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The texts are UTF-8, zero-terminated, and cut at a character boundary when
 * longer than their arrays. When the buffer is accepted, status is 0 and the
 * rest is empty. */
typedef struct tq_asn_explanation {
  uint32_t status;     /* the decode function's status; -1 (as uint32_t) for an unknown record */
  uint32_t offset;     /* of the octet where reading stopped, counted from the buffer's first */
  char path[256];      /* the field being read ("acl_ext_t.entries[3].id.name"), "" in the envelope */
  char expected[256];  /* what a reader needed there ("a UTF8String") */
  char found[256];     /* what was there ("universal 19 primitive"), or "" */
} tq_asn_explanation;

/* A record named by its type name ("acl_ext_t"), structure name or binding
 * name, whose buffer tqAsnDecodeObj reads (tqAsnDecodeObjLCS when lcs is
 * nonzero). Returns the status, also stored in *out (out may be null). A
 * length beyond 32 bits gives ASN_ERR_TOO_LARGE, as the decode functions
 * taking a length do; null data is read as no octets. */
OXSERUTL_API uint32_t tq_asn_explain(const char* record, int lcs, const unsigned char* data, size_t length,
                                     tq_asn_explanation* out);

/* A record reached by a type code (ASN_TYPE_*), as tqasn_decode_obj reads it
 * with the given envelope version. */
OXSERUTL_API uint32_t tq_asn_explain_type_code(int version, unsigned int type, const unsigned char* data,
                                               size_t length, tq_asn_explanation* out);

/* The explanation as one line, "NAME (0x...) at offset N: expected ... (path),
 * found ... [meaning]", or "ASN_OK" when accepted, into text (capacity octets,
 * zero-terminated; text may be null when capacity is 0). Returns the length
 * of the whole line, as snprintf does: a larger value than capacity - 1 means
 * it was cut. */
OXSERUTL_API size_t tq_asn_explanation_text(const tq_asn_explanation* e, char* text, size_t capacity);

#ifdef __cplusplus
}
#endif

#endif
