// The direct path of the exported record functions.
//
// Encoding and decoding through the object tree builds one ASN.1 object per
// element, copies every value into it and then out of it again. When the
// record and its bytes are in the ordinary shape (the shortest definite
// form, primitive strings, the expected tags), the same result can be had
// by walking the record's run-time description and the bytes together,
// with no tree at all. These functions do that, and decline everything
// else: whatever they decline is then done by the object tree, which stays
// the one authority on bad input, status codes and diagnostics.
//
// Declining is always safe. A decline leaves the caller's record and output
// untouched and nothing allocated; it happens on
//  - anything the object tree could refuse or read differently: other
//    identifiers or length forms, constructed strings, missing or extra
//    elements, a bad envelope, deep nesting;
//  - sparse arrays and the type-code records;
//  - running out of memory, so that the object tree meets the shortage
//    and reports it in its own way.
// On success the result is byte for byte what the object tree gives: the
// same encoding, or the same record with the same allocations (each from
// the standard heap, released by the record's free function).
#ifndef OXSERUTL_DIRECT_CODEC_H
#define OXSERUTL_DIRECT_CODEC_H

#include <oxserutl/asnbase.h>
#include <oxserutl/record_info.h>

namespace oxserutl {
namespace direct {

// Records nested deeper than this are left to the object tree, whose depth
// bounds (constructed levels and record nesting) lie well beyond it.
constexpr int max_depth = 64;

// true: in.data's envelope (version 2) and element were read into record,
// which was zeroed first. false: declined, record untouched.
bool decode(const oxs_record_info& info, const tq_asn_buffer_t& in, void* record, bool local_text) noexcept;

// true: out holds a new heap block with the envelope and the record's
// element. false: declined, out untouched.
bool encode(const oxs_record_info& info, const void* record, tq_asn_buffer_t& out, bool local_text) noexcept;

}  // namespace direct
}  // namespace oxserutl

#endif
