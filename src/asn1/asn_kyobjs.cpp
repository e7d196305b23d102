// Type-code dispatch and its three records.
#define OXS_SOURCE "asn1/asn_kyobjs"
#include <oxserutl/asn_kyobjs.h>

#include <cstring>

#include "boundary.h"
#include "internal.h"

using namespace oxserutl::detail;

namespace {

// Text in an OCTET STRING: the characters and their terminating zero; a
// null pointer is the single octet 00.
void set_text(tq_asn_octetstring& child, const char* text) {
  static const unsigned char kEmpty = 0;
  if (text == nullptr) {
    child.set_value(&kEmpty, 1);
  } else {
    child.set_value(reinterpret_cast<const unsigned char*>(text), static_cast<std::uint32_t>(std::strlen(text) + 1));
  }
}

// A new heap string: fewer than two octets give the empty string; a value
// that does not end with a zero octet (from another writer) is terminated.
char* get_text(const tq_asn_octetstring& child) {
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  if (child.get_value(bytes, length) != 0 || length < 2) length = 0;
  const bool terminated = length != 0 && bytes[length - 1] == 0;
  const std::size_t size = static_cast<std::size_t>(length) + (terminated ? 0 : 1);
  auto* text = static_cast<char*>(mem_malloc(size));
  if (text == nullptr) throw tq_asn_memexception("Out of memory get_strvalue()", "asn1/asnutils", __LINE__);
  if (length != 0) std::memcpy(text, bytes, length);
  text[size - 1] = '\0';
  return text;
}

std::int32_t get_number(const tq_asn_integer& child) {
  std::int32_t value = 0;
  if (child.get_value(value) != 0) value = 0;
  return value;
}

enum class mode { encode, decode, release };

int dispatch(mode m, int version, void* record, unsigned int type, tq_asn_buffer_t& buffer);

}  // namespace

// --- records ------------------------------------------------------------------

asn_kyobj_base::asn_kyobj_base(security_t security) : tq_asnbase(security) {
  register_child(&lead);
  lead.set_value(1);
}
asn_kyobj_base::~asn_kyobj_base() = default;

asn_kyobj_update::asn_kyobj_update(security_t security) : asn_kyobj_base(security) {
  set_type_name("kyobj_update");
  register_child(&update_value1);
  register_child(&update_text);
  register_child(&update_value2);
}
asn_kyobj_update::~asn_kyobj_update() = default;

int asn_kyobj_update::set_value(const kyobj_update_s_t& record) {
  update_value1.set_value(record.update_value1);
  set_text(update_text, record.update_text);
  update_value2.set_value(record.update_value2);
  return 0;
}

int asn_kyobj_update::get_value(kyobj_update_s_t& record) {
  std::memset(&record, 0, sizeof record);
  record.update_value1 = get_number(update_value1);
  record.update_value2 = get_number(update_value2);
  record.update_text = get_text(update_text);
  return 0;
}

asn_update_list::asn_update_list(security_t security) : asn_kyobj_base(security) {
  set_type_name("update_list");
  register_child(&updates);
}
asn_update_list::~asn_update_list() = default;

int asn_update_list::set_value(const update_list_s_t& record) {
  for (std::uint32_t i = 0; i < record.update_count; ++i) {
    asn_kyobj_update* element = updates.add_child();
    if (element == nullptr) return ASN_ERR_MEMORY;
    const int status = element->set_value(record.updates[i]);
    if (status != 0) return status;
  }
  return 0;
}

int asn_update_list::get_value(update_list_s_t& record) {
  record.update_count = 0;
  record.updates = nullptr;
  const std::uint32_t n = updates.get_child_count();
  if (n == 0) return 0;
  // Zeroed, and counted element by element, so that releasing a partly
  // read list touches only what was filled.
  record.updates = static_cast<kyobj_update_s_t*>(mem_calloc(n, sizeof(kyobj_update_s_t)));
  if (record.updates == nullptr) return ASN_ERR_MEMORY;
  for (std::uint32_t i = 0; i < n; ++i) {
    asn_kyobj_update* element = updates.get_child(i);
    if (element == nullptr) return ASN_ERR_MEMORY;
    element->get_value(record.updates[i]);
    ++record.update_count;
  }
  return 0;
}

void asn_update_list::free_obj(update_list_s_t& record) {
  for (std::uint32_t i = 0; i < record.update_count; ++i) {
    if (record.updates[i].update_text != nullptr) mem_free(record.updates[i].update_text);
  }
  if (record.updates != nullptr) mem_free(record.updates);
}

asn_cert_request_in::asn_cert_request_in(security_t security) : asn_kyobj_base(security) {
  set_type_name("cert_request_in");
  register_child(&request_string1);
  register_child(&request_string2);
  register_child(&body);
  body.set_optional(1);
}
asn_cert_request_in::~asn_cert_request_in() = default;

int asn_cert_request_in::set_value(const cert_request_in_s_t& record) {
  set_text(request_string1, record.request_string1);
  set_text(request_string2, record.request_string2);
  if (record.body_length != 0 && record.body != nullptr) body.set_value(record.body, record.body_length);
  return 0;
}

int asn_cert_request_in::get_value(cert_request_in_s_t& record) {
  std::memset(&record, 0, sizeof record);
  record.request_string1 = get_text(request_string1);
  record.request_string2 = get_text(request_string2);
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  if (!body.is_present() || body.get_value(bytes, length) != 0) length = 0;
  record.body_length = length;
  if (length != 0) {
    record.body = static_cast<unsigned char*>(mem_malloc(length));
    if (record.body == nullptr) OXS_THROW_MEMORY("Out of memory get_obj_body()");
    std::memcpy(record.body, bytes, length);
  }
  return 0;
}

void asn_cert_request_in::free_obj(cert_request_in_s_t& record) {
  if (record.request_string1 != nullptr) mem_free(record.request_string1);
  if (record.request_string2 != nullptr) mem_free(record.request_string2);
  if (record.body_length != 0 && record.body != nullptr) mem_free(record.body);
}

// --- dispatch -------------------------------------------------------------------

namespace {

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
