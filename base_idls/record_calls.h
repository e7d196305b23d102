// The two halves of a record's run-time description, kept apart: the data
// (names, kinds, offsets and sizes, record_info.cpp, built from the schema
// alone) and the functions that reach the record through an untyped
// pointer (record_calls.cpp, the one place that expands the bindings for
// them). The description's rows take these functions by address only.
#ifndef OXSERUTL_RECORD_CALLS_H
#define OXSERUTL_RECORD_CALLS_H

#include <cstdint>

#include <oxserutl/record_info.h>
#include <oxserutl/records.h>

namespace oxserutl {
namespace calls {

// The exported functions of record S; lcs selects the local-code-set variant.
template <class S>
int encode(tq_asn_buffer_t& out, void* record, int lcs);
template <class S>
int decode(tq_asn_buffer_t& in, void* record, int lcs);
template <class S>
void release(void* record);
// The same through the object tree alone, without the direct path.
template <class S>
int tree_encode(tq_asn_buffer_t& out, void* record, int lcs);
template <class S>
int tree_decode(tq_asn_buffer_t& in, void* record, int lcs);

// The type-code functions with envelope version 2; a record without a
// code (an element only) gives ASN_ERR_UNSUPPORTED and releases nothing.
template <std::uint32_t Code>
int encode_code(tq_asn_buffer_t& out, void* record, int lcs);
template <std::uint32_t Code>
int decode_code(tq_asn_buffer_t& in, void* record, int lcs);
template <std::uint32_t Code>
void release_code(void* record);

}  // namespace calls

namespace binding {

// The run-time description of record S (a row of record_info.cpp).
template <class S>
const oxs_record_info& record_description() noexcept;
#define OXS_DECLARE_DESCRIPTION(S, B, NAME, MODULE, COPY) \
  template <>                                           \
  const oxs_record_info& record_description<S>() noexcept;
OXS_ALL_MODULES(OXS_DECLARE_DESCRIPTION)
#undef OXS_DECLARE_DESCRIPTION

}  // namespace binding
}  // namespace oxserutl

#endif
