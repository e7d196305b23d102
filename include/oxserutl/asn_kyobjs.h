// Records reached by a numeric type code.
//
//   int  tqasn_encode_obj(int version, void* record, unsigned type, tq_asn_buffer_t& out);
//   int  tqasn_decode_obj(int version, tq_asn_buffer_t& in, unsigned type, void* record);
//   void tqasn_obj_free(int version, unsigned type, void* record);
//
// record points to the structure of the type code (for ASN_TYPE_INTEGER to
// one std::int32_t). The caller chooses the envelope version; there is no
// local-code-set variant. A type code other than the three below gives -1
// and nothing else happens. Every exception is caught: those of the
// tq_asn_exception family print their diagnostic line and return their
// code, any other returns 0x10652065.
#ifndef OXSERUTL_ASN_KYOBJS_H
#define OXSERUTL_ASN_KYOBJS_H

#include <cstdint>

#include <oxserutl/asnbase.h>

enum : std::uint32_t {
  ASN_TYPE_CERT_REQUEST_IN = 259,
  ASN_TYPE_UPDATE_LIST = 260,
  ASN_TYPE_INTEGER = 262,
};

// One element of an update list.
struct kyobj_update_s_t {
  std::int32_t update_value1;
  char* update_text;
  std::int32_t update_value2;
};

struct update_list_s_t {
  std::uint32_t update_count;
  kyobj_update_s_t* updates;
};

struct cert_request_in_s_t {
  char* request_string1;
  char* request_string2;
  std::uint32_t body_length;
  unsigned char* body;  // the OPTIONAL body; left out when body_length is 0
};

// Base of the type-code records: a SEQUENCE that starts with INTEGER 1,
// written on encoding and not examined on decoding.
class OXSERUTL_API asn_kyobj_base : public tq_asnbase {
 public:
  explicit asn_kyobj_base(security_t security = security_normal);
  ~asn_kyobj_base() override;
  tq_asn_integer lead;
};

// kyobj_update ::= SEQUENCE { lead INTEGER (1), update_value1 INTEGER,
//   update_text OCTET STRING, update_value2 INTEGER }
class OXSERUTL_API asn_kyobj_update : public asn_kyobj_base {
 public:
  explicit asn_kyobj_update(security_t security = security_normal);
  ~asn_kyobj_update() override;
  int set_value(const kyobj_update_s_t& record);
  int get_value(kyobj_update_s_t& record);
  tq_asn_integer update_value1;
  tq_asn_octetstring update_text;
  tq_asn_integer update_value2;
};

// update_list ::= SEQUENCE { lead INTEGER (1), updates SEQUENCE OF kyobj_update }
class OXSERUTL_API asn_update_list : public asn_kyobj_base {
 public:
  explicit asn_update_list(security_t security = security_normal);
  ~asn_update_list() override;
  int set_value(const update_list_s_t& record);
  int get_value(update_list_s_t& record);
  static void free_obj(update_list_s_t& record);
  tq_asn_sequenceof<asn_kyobj_update> updates;
};

// cert_request_in ::= SEQUENCE { lead INTEGER (1), request_string1 OCTET STRING,
//   request_string2 OCTET STRING, body OCTET STRING OPTIONAL }
class OXSERUTL_API asn_cert_request_in : public asn_kyobj_base {
 public:
  explicit asn_cert_request_in(security_t security = security_normal);
  ~asn_cert_request_in() override;
  int set_value(const cert_request_in_s_t& record);
  int get_value(cert_request_in_s_t& record);
  static void free_obj(cert_request_in_s_t& record);
  tq_asn_octetstring request_string1;
  tq_asn_octetstring request_string2;
  tq_asn_octetstring body;
};

OXSERUTL_NODISCARD OXSERUTL_API int tqasn_encode_obj(int version, void* record, unsigned int type, tq_asn_buffer_t& out);
OXSERUTL_NODISCARD OXSERUTL_API int tqasn_decode_obj(int version, tq_asn_buffer_t& in, unsigned int type, void* record);
OXSERUTL_API void tqasn_obj_free(int version, unsigned int type, void* record);

#endif
