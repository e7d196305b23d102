// Records reached by a numeric type code.
//
//   int  tqasn_encode_obj(int version, void* record, unsigned type, tq_asn_buffer_t& out);
//   int  tqasn_decode_obj(int version, tq_asn_buffer_t& in, unsigned type, void* record);
//   void tqasn_obj_free(int version, unsigned type, void* record);
//
// record points to the structure of the type code (for ASN_TYPE_INTEGER to
// one std::int32_t). The caller chooses the envelope version; there is no
// local-code-set variant. A type code other than the three ASN_TYPE_*
// codes gives -1 and nothing else happens. Every exception is caught: those
// of the tq_asn_exception family print their diagnostic line and return
// their code, any other returns 0x10652065. The codes, the structures and
// the functions are declared in <oxserutl/record_functions.h>; this header
// adds the binding classes.
#ifndef OXSERUTL_ASN_KYOBJS_H
#define OXSERUTL_ASN_KYOBJS_H

#include <cstdint>

#include <oxserutl/asnbase.h>
#include <oxserutl/records.h>

// Base of the type-code records: a SEQUENCE that starts with INTEGER 1,
// written on encoding and not examined on decoding.
class OXSERUTL_API asn_kyobj_base : public tq_asnbase {
 public:
  explicit asn_kyobj_base(security_t security = security_normal);
  ~asn_kyobj_base() override;
  tq_asn_integer lead;
};

// The binding class of each SEQUENCE record: members in schema order, the
// runtime's plain classes (no field adapters). set_value and get_value
// return 0 or a status (no memory for a list element or the list), or
// raise; get_value zeroes the record first; free_obj releases what
// get_value allocated inside it. oxs_binding<S>::type (<oxserutl/records.h>)
// names the binding class of these records too.
#define OXS_KY_DECLARE_BINDING(S, B, NAME, CODE, SHAPE) \
  class B;                                              \
  template <>                                           \
  struct oxs_binding<S> {                               \
    using type = B;                                     \
  };
OXS_TYPE_CODE_RECORDS(OXS_KY_DECLARE_BINDING)
#undef OXS_KY_DECLARE_BINDING

template <class S>
struct oxs_kyobj_binding : oxs_binding<S> {};

#define OXS_KY_MEMBER_i32(f) tq_asn_integer f;
#define OXS_KY_MEMBER_cstring(f) tq_asn_octetstring f;
#define OXS_KY_MEMBER_optblock(len, f) tq_asn_octetstring f;
#define OXS_KY_MEMBER_list(n, f, S) tq_asn_sequenceof<oxs_binding_t<S>> f;
#define OXS_KY_MEMBER_FIELD(kind, ...) OXS_KY_MEMBER_##kind(__VA_ARGS__)

#define OXS_KY_CLASS_bare(S, B)
#define OXS_KY_CLASS_sequence(S, B)                    \
  class OXSERUTL_API B : public asn_kyobj_base {       \
   public:                                             \
    using record_type = S;                             \
    explicit B(security_t security = security_normal); \
    ~B() override;                                     \
    OXSERUTL_NODISCARD int set_value(const S& record); \
    OXSERUTL_NODISCARD int get_value(S& record);       \
    static void free_obj(S& record);                   \
    OXS_FIELDS_##S(OXS_KY_MEMBER_FIELD)                \
  };
#define OXS_KY_DEFINE_BINDING(S, B, NAME, CODE, SHAPE) OXS_KY_CLASS_##SHAPE(S, B)
OXS_TYPE_CODE_RECORDS(OXS_KY_DEFINE_BINDING)
#undef OXS_KY_DEFINE_BINDING
#undef OXS_KY_CLASS_bare
#undef OXS_KY_CLASS_sequence
#undef OXS_KY_MEMBER_FIELD
#undef OXS_KY_MEMBER_list
#undef OXS_KY_MEMBER_optblock
#undef OXS_KY_MEMBER_cstring
#undef OXS_KY_MEMBER_i32

#endif
