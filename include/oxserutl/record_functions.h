// The record structures and the free functions of the records: what a
// caller built with any compiler for the platform can use. Per record S:
//
//   int  tqAsnEncodeObj(tq_asn_buffer_t& out, S& record);     // plain text
//   int  tqAsnEncodeObjLCS(tq_asn_buffer_t& out, S& record);  // local code set
//   (each also taking a const S&: encoding never changes the record)
//   int  tqAsnDecodeObj(tq_asn_buffer_t& in, S& record);
//   int  tqAsnDecodeObjLCS(tq_asn_buffer_t& in, S& record);
//   (each also taking const unsigned char* data and size_t length, the bytes
//   as a service holds them; a length beyond 32 bits gives ASN_ERR_TOO_LARGE)
//   void tqAsnFreeObj(S& record);
//
// and the records reached by a numeric type code:
//
//   int  tqasn_encode_obj(int version, void* record, unsigned type, tq_asn_buffer_t& out);
//   int  tqasn_decode_obj(int version, tq_asn_buffer_t& in, unsigned type, void* record);
//   void tqasn_obj_free(int version, unsigned type, void* record);
//
// <oxserutl/records.h> and <oxserutl/asn_kyobjs.h> say what they do. Like
// <oxserutl/buffer.h> and <oxserutl/status.h>, this header needs only
// <stddef.h> and <stdint.h>, and declares only C structures and functions whose
// parameters are C types or references to them. Everything here is
// generated from <oxserutl/record_schema.h>.
#ifndef OXSERUTL_RECORD_FUNCTIONS_H
#define OXSERUTL_RECORD_FUNCTIONS_H

#include <stddef.h>
#include <stdint.h>

#include <oxserutl/buffer.h>
#include <oxserutl/export.h>
#include <oxserutl/record_schema.h>
#include <oxserutl/status.h>

// Windows' <rpcdce.h> (reached from <windows.h>) makes uuid_t a macro for
// its own UUID; the record of that name is declared with the macro set aside.
#if defined(_WIN32)
#pragma push_macro("uuid_t")
#undef uuid_t
#endif

// --- record structures ------------------------------------------------------

#define OXS_STRUCT_i32(f) int32_t f;
#define OXS_STRUCT_u32(f) uint32_t f;
#define OXS_STRUCT_u16(f) uint16_t f;
#define OXS_STRUCT_u8(f) uint8_t f;
#define OXS_STRUCT_string(f) char* f;
#define OXS_STRUCT_fixed(f, n) unsigned char f[n];
#define OXS_STRUCT_block(len, f) \
  uint32_t len;             \
  unsigned char* f;
#define OXS_STRUCT_list(n, f, S) \
  uint32_t n;               \
  S* f;
#define OXS_STRUCT_list16(n, f, S) \
  uint16_t n;                 \
  S* f;
#define OXS_STRUCT_ptrlist(n, f, S) \
  uint32_t n;                  \
  S** f;
#define OXS_STRUCT_strings(n, f) \
  uint32_t n;               \
  char** f;
#define OXS_STRUCT_ints(n, f) \
  uint32_t n;            \
  int32_t* f;
#define OXS_STRUCT_nested(f, S) S f;
#define OXS_STRUCT_optional(f, S) S* f;
#define OXS_STRUCT_sparse(f, S) S* f[OXS_SPARSE_SLOTS];
#define OXS_STRUCT_cstring(f) char* f;
#define OXS_STRUCT_optblock(len, f) \
  uint32_t len;                \
  unsigned char* f;
#define OXS_STRUCT_FIELD(kind, ...) OXS_STRUCT_##kind(__VA_ARGS__)

#define OXS_DECLARE_STRUCT(S, B, NAME, MODULE, COPY) struct S;
#define OXS_DEFINE_STRUCT(S, B, NAME, MODULE, COPY) \
  struct S {                                        \
    OXS_FIELDS_##S(OXS_STRUCT_FIELD)                \
  };

OXS_ALL_MODULES(OXS_DECLARE_STRUCT)
OXS_ALL_MODULES(OXS_DEFINE_STRUCT)

#define OXS_DECLARE_FUNCTIONS(S, B, NAME, MODULE, COPY)                                         \
  OXSERUTL_NODISCARD OXSERUTL_API int tqAsnEncodeObj(tq_asn_buffer_t& out, S& record);          \
  OXSERUTL_NODISCARD OXSERUTL_API int tqAsnEncodeObj(tq_asn_buffer_t& out, const S& record);    \
  OXSERUTL_NODISCARD OXSERUTL_API int tqAsnEncodeObjLCS(tq_asn_buffer_t& out, S& record);       \
  OXSERUTL_NODISCARD OXSERUTL_API int tqAsnEncodeObjLCS(tq_asn_buffer_t& out, const S& record); \
  OXSERUTL_NODISCARD OXSERUTL_API int tqAsnDecodeObj(tq_asn_buffer_t& in, S& record);           \
  OXSERUTL_NODISCARD OXSERUTL_API int tqAsnDecodeObjLCS(tq_asn_buffer_t& in, S& record);        \
  OXSERUTL_NODISCARD OXSERUTL_API int tqAsnDecodeObj(const unsigned char* data, size_t length, S& record);    \
  OXSERUTL_NODISCARD OXSERUTL_API int tqAsnDecodeObjLCS(const unsigned char* data, size_t length, S& record); \
  OXSERUTL_API void tqAsnFreeObj(S& record);
OXS_ALL_MODULES(OXS_DECLARE_FUNCTIONS)
#undef OXS_DECLARE_FUNCTIONS
#undef OXS_DEFINE_STRUCT
#undef OXS_DECLARE_STRUCT

// --- the records reached by a type code ------------------------------------------

enum : uint32_t {
  ASN_TYPE_CERT_REQUEST_IN = 259,
  ASN_TYPE_UPDATE_LIST = 260,
  ASN_TYPE_INTEGER = 262,
};

#define OXS_KY_DECLARE_STRUCT(S, B, NAME, CODE, SHAPE) struct S;
#define OXS_KY_DEFINE_STRUCT(S, B, NAME, CODE, SHAPE) \
  struct S {                                          \
    OXS_FIELDS_##S(OXS_STRUCT_FIELD)                  \
  };
OXS_TYPE_CODE_RECORDS(OXS_KY_DECLARE_STRUCT)
OXS_TYPE_CODE_RECORDS(OXS_KY_DEFINE_STRUCT)
#undef OXS_KY_DECLARE_STRUCT
#undef OXS_KY_DEFINE_STRUCT

// The expansion macros of the structures are this header's own; callers
// inherit none.
#undef OXS_STRUCT_FIELD
#undef OXS_STRUCT_optblock
#undef OXS_STRUCT_cstring
#undef OXS_STRUCT_sparse
#undef OXS_STRUCT_optional
#undef OXS_STRUCT_nested
#undef OXS_STRUCT_ints
#undef OXS_STRUCT_strings
#undef OXS_STRUCT_ptrlist
#undef OXS_STRUCT_list16
#undef OXS_STRUCT_list
#undef OXS_STRUCT_block
#undef OXS_STRUCT_fixed
#undef OXS_STRUCT_string
#undef OXS_STRUCT_u8
#undef OXS_STRUCT_u16
#undef OXS_STRUCT_u32
#undef OXS_STRUCT_i32

OXSERUTL_NODISCARD OXSERUTL_API int tqasn_encode_obj(int version, void* record, unsigned int type, tq_asn_buffer_t& out);
OXSERUTL_NODISCARD OXSERUTL_API int tqasn_decode_obj(int version, tq_asn_buffer_t& in, unsigned int type, void* record);
OXSERUTL_API void tqasn_obj_free(int version, unsigned int type, void* record);

#if defined(_WIN32)
#pragma pop_macro("uuid_t")
#endif

#endif
