// The record structures of the authorization service, their binding
// classes and the five exported functions per record:
//
//   int  tqAsnEncodeObj(tq_asn_buffer_t& out, S& record);     // plain text
//   int  tqAsnEncodeObjLCS(tq_asn_buffer_t& out, S& record);  // local code set
//   (each also taking a const S&: encoding never changes the record)
//   int  tqAsnDecodeObj(tq_asn_buffer_t& in, S& record);
//   int  tqAsnDecodeObjLCS(tq_asn_buffer_t& in, S& record);
//   void tqAsnFreeObj(S& record);
//
// Encoding writes the envelope 04 02 AC DC and the record's BER SEQUENCE
// into a new heap block that the caller owns (release it with
// tq_asn_buffer_free). Decoding checks the envelope (version 2), reads the
// element and, on success only, zeroes the record and fills it; strings,
// byte blocks, arrays and records held by pointer are then the caller's,
// released with tqAsnFreeObj. A decode that fails while filling the record
// leaves it partly filled with every count matching what was filled, so
// tqAsnFreeObj still releases it. The functions return 0 or a status code
// of <oxserutl/status.h> (marked [[nodiscard]]); they never throw.
//
// Records and bytes in the ordinary shape (the shortest definite form, as
// the encoders write it) take a direct path that builds no object tree;
// anything else goes through the binding classes below. Both give the same
// bytes, records, statuses and ownership.
//
// The structures and the functions are declared in
// <oxserutl/record_functions.h>, which needs nothing of the C++ library;
// this header adds the binding classes. Everything is generated from
// <oxserutl/record_schema.h>.
#ifndef OXSERUTL_RECORDS_H
#define OXSERUTL_RECORDS_H

#include <cstdint>

#include <oxserutl/asnbase.h>
#include <oxserutl/asnsarray.h>
#include <oxserutl/asnutils.h>
#include <oxserutl/record_functions.h>
#include <oxserutl/record_schema.h>

// As in <oxserutl/record_functions.h>, Windows' uuid_t macro is set aside.
#if defined(_WIN32)
#pragma push_macro("uuid_t")
#undef uuid_t
#endif

// --- binding classes ----------------------------------------------------------

// oxs_binding<S>::type is the binding class of record structure S.
template <class S>
struct oxs_binding;
template <class S>
using oxs_binding_t = typename oxs_binding<S>::type;

#define OXS_DECLARE_BINDING(S, B, NAME, MODULE, COPY) \
  class B;                                            \
  template <>                                         \
  struct oxs_binding<S> {                             \
    using type = B;                                   \
  };
OXS_ALL_MODULES(OXS_DECLARE_BINDING)

#define OXS_MEMBER_i32(f) tqasn_integer f;
#define OXS_MEMBER_u32(f) tqasn_integer f;
#define OXS_MEMBER_u16(f) tqasn_integer f;
#define OXS_MEMBER_u8(f) tqasn_integer f;
#define OXS_MEMBER_string(f) tqasnUTF8String f;
#define OXS_MEMBER_fixed(f, n) tqasn_octetstring f;
#define OXS_MEMBER_block(len, f) tqasn_octetstring f;
#define OXS_MEMBER_list(n, f, S) tq_asn_sequenceof<oxs_binding_t<S>> f;
#define OXS_MEMBER_list16(n, f, S) tq_asn_sequenceof<oxs_binding_t<S>> f;
#define OXS_MEMBER_ptrlist(n, f, S) tq_asn_sequenceof<oxs_binding_t<S>> f;
#define OXS_MEMBER_strings(n, f) tq_asn_sequenceof<tqasnUTF8String> f;
#define OXS_MEMBER_ints(n, f) tq_asn_sequenceof<tqasn_integer> f;
#define OXS_MEMBER_nested(f, S) oxs_binding_t<S> f;
#define OXS_MEMBER_optional(f, S) oxs_binding_t<S> f;
#define OXS_MEMBER_sparse(f, S) tq_asn_sarrayof<oxs_binding_t<S>> f;
#define OXS_MEMBER_FIELD(kind, ...) OXS_MEMBER_##kind(__VA_ARGS__)

// Twelve bindings declare a copy constructor and a copy assignment; both
// fail at once because the object base refuses to be copied.
#define OXS_COPY_plain(B)
#define OXS_COPY_refuse_copy(B) \
  B(const B& other);            \
  B& operator=(const B& other);

#define OXS_DEFINE_BINDING(S, B, NAME, MODULE, COPY)                                  \
  class OXSERUTL_API B : public tq_asnbase {                                          \
   public:                                                                            \
    using record_type = S;                                                            \
    explicit B(security_t security = security_normal);                                \
    ~B() override;                                                                    \
    OXS_COPY_##COPY(B)                                                                \
    /* Copies the record into the children (lists are appended to). */                \
    int set_value(S& record);                                                         \
    /* Zeroes the record, then fills it, allocating what it needs. */                 \
    int get_value(S& record);                                                         \
    /* Releases what get_value allocated inside the record. */                        \
    static void free_obj(S& record);                                                  \
    OXSERUTL_NODISCARD int encode_obj(S& record, tq_asn_buffer_t& buffer, int version); \
    OXSERUTL_NODISCARD int decode_obj(S& record, tq_asn_buffer_t& buffer, int version); \
    OXS_FIELDS_##S(OXS_MEMBER_FIELD)                                                  \
  };

OXS_ALL_MODULES(OXS_DEFINE_BINDING)

// The expansion macros above are this header's own; callers inherit none.
#undef OXS_DEFINE_BINDING
#undef OXS_COPY_refuse_copy
#undef OXS_COPY_plain
#undef OXS_MEMBER_FIELD
#undef OXS_MEMBER_sparse
#undef OXS_MEMBER_optional
#undef OXS_MEMBER_nested
#undef OXS_MEMBER_ints
#undef OXS_MEMBER_strings
#undef OXS_MEMBER_ptrlist
#undef OXS_MEMBER_list16
#undef OXS_MEMBER_list
#undef OXS_MEMBER_block
#undef OXS_MEMBER_fixed
#undef OXS_MEMBER_string
#undef OXS_MEMBER_u8
#undef OXS_MEMBER_u16
#undef OXS_MEMBER_u32
#undef OXS_MEMBER_i32
#undef OXS_DECLARE_BINDING

#if defined(_WIN32)
#pragma pop_macro("uuid_t")
#endif

#endif
