// The functions of the run-time description (record_calls.h): every
// record's exported functions and its object-tree path, reached through an
// untyped pointer.
#define OXS_SOURCE "base_idls/record_calls"
#include "record_calls.h"

#include <oxserutl/asn_kyobjs.h>

#include "binding_impl.h"

namespace oxserutl {
namespace calls {

template <class S>
int encode(tq_asn_buffer_t& out, void* record, int lcs) {
  S& r = *static_cast<S*>(record);
  return lcs ? tqAsnEncodeObjLCS(out, r) : tqAsnEncodeObj(out, r);
}
template <class S>
int decode(tq_asn_buffer_t& in, void* record, int lcs) {
  S& r = *static_cast<S*>(record);
  return lcs ? tqAsnDecodeObjLCS(in, r) : tqAsnDecodeObj(in, r);
}
template <class S>
void release(void* record) {
  tqAsnFreeObj(*static_cast<S*>(record));
}
template <class S>
int tree_encode(tq_asn_buffer_t& out, void* record, int lcs) {
  return binding::encode_record_tree<oxs_binding_t<S>>(out, *static_cast<S*>(record),
                                                       lcs ? security_lcs : security_normal);
}
template <class S>
int tree_decode(tq_asn_buffer_t& in, void* record, int lcs) {
  return binding::decode_record_tree<oxs_binding_t<S>>(in, *static_cast<S*>(record),
                                                       lcs ? security_lcs : security_normal);
}

template <std::uint32_t Code>
int encode_code(tq_asn_buffer_t& out, void* record, int) {
  if (Code == 0) return ASN_ERR_UNSUPPORTED;
  return tqasn_encode_obj(binding::record_version, record, Code, out);
}
template <std::uint32_t Code>
int decode_code(tq_asn_buffer_t& in, void* record, int) {
  if (Code == 0) return ASN_ERR_UNSUPPORTED;
  return tqasn_decode_obj(binding::record_version, in, Code, record);
}
template <std::uint32_t Code>
void release_code(void* record) {
  if (Code != 0) tqasn_obj_free(binding::record_version, Code, record);
}

#define OXS_CALLS(S, B, NAME, MODULE, COPY)                                \
  template int encode<S>(tq_asn_buffer_t&, void*, int);                    \
  template int decode<S>(tq_asn_buffer_t&, void*, int);                    \
  template void release<S>(void*);                                         \
  template int tree_encode<S>(tq_asn_buffer_t&, void*, int);               \
  template int tree_decode<S>(tq_asn_buffer_t&, void*, int);
OXS_ALL_MODULES(OXS_CALLS)
#undef OXS_CALLS

#define OXS_CODE_CALLS(S, B, NAME, CODE, SHAPE)                 \
  template int encode_code<CODE>(tq_asn_buffer_t&, void*, int); \
  template int decode_code<CODE>(tq_asn_buffer_t&, void*, int); \
  template void release_code<CODE>(void*);
OXS_TYPE_CODE_RECORDS(OXS_CODE_CALLS)
#undef OXS_CODE_CALLS

}  // namespace calls
}  // namespace oxserutl
