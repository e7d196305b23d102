// Type-code dispatch; the records themselves are derived from their
// description (kyobj_records.cpp).
#define OXS_SOURCE "asn1/asn_kyobjs"
#include <oxserutl/asn_kyobjs.h>

#include "boundary.h"
#include "internal.h"

using namespace oxserutl::detail;

// --- dispatch -------------------------------------------------------------------

namespace {

enum class mode { encode, decode, release };

template <class Object, class Record>
int run(mode m, int version, Record& record, tq_asn_buffer_t& buffer) {
  Object object(security_normal);
  if (m == mode::encode) {
    const int status = object.set_value(record);
    if (status != 0) return status;
    return tq_asnbase::saveEncoding(&object, version, buffer);
  }
  const int status = tq_asnbase::loadObject(&object, version, buffer);
  if (status != 0) return status;
  return object.get_value(record);
}

int run_integer(mode m, int version, std::int32_t& record, tq_asn_buffer_t& buffer) {
  tq_asn_integer object(security_normal);
  if (m == mode::encode) {
    object.set_value(record);
    return tq_asnbase::saveEncoding(&object, version, buffer);
  }
  int status = tq_asnbase::loadObject(&object, version, buffer);
  if (status != 0) return status;
  std::int32_t value = 0;
  status = object.get_value(value);
  if (status == 0) record = value;
  return status;
}

int dispatch(mode m, int version, void* record, unsigned int type, tq_asn_buffer_t& buffer) {
  if (type != ASN_TYPE_CERT_REQUEST_IN && type != ASN_TYPE_UPDATE_LIST && type != ASN_TYPE_INTEGER) return -1;
  if (m == mode::release) {
    if (type == ASN_TYPE_CERT_REQUEST_IN) asn_cert_request_in::free_obj(*static_cast<cert_request_in_s_t*>(record));
    if (type == ASN_TYPE_UPDATE_LIST) asn_update_list::free_obj(*static_cast<update_list_s_t*>(record));
    return 0;
  }
  // The type-code functions catch every exception.
  return at_boundary<other_exceptions::no_memory>([&] {
    switch (type) {
      case ASN_TYPE_CERT_REQUEST_IN:
        return run<asn_cert_request_in>(m, version, *static_cast<cert_request_in_s_t*>(record), buffer);
      case ASN_TYPE_UPDATE_LIST:
        return run<asn_update_list>(m, version, *static_cast<update_list_s_t*>(record), buffer);
      default:
        return run_integer(m, version, *static_cast<std::int32_t*>(record), buffer);
    }
  });
}

}  // namespace

int tqasn_encode_obj(int version, void* record, unsigned int type, tq_asn_buffer_t& out) {
  return dispatch(mode::encode, version, record, type, out);
}

int tqasn_decode_obj(int version, tq_asn_buffer_t& in, unsigned int type, void* record) {
  return dispatch(mode::decode, version, record, type, in);
}

void tqasn_obj_free(int, unsigned int type, void* record) {
  tq_asn_buffer_t unused;
  (void)dispatch(mode::release, 0, record, type, unused);
}
