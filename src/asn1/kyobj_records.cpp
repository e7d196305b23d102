// The bindings of the records reached by a type code, derived from their
// description in <oxserutl/record_schema.h>. The rules of each field kind
// are the functions below; the macros only lay out one call per field.
#define OXS_SOURCE "asn1/asn_kyobjs"
#include <cstring>

#include <oxserutl/asn_kyobjs.h>

#include "internal.h"

using namespace oxserutl::detail;

namespace oxserutl {
namespace kyobj {

// --- 32-bit integers: carried unchanged; one that cannot be read gives 0.
inline void set_int(tq_asn_integer& child, std::int32_t value) { child.set_value(value); }
inline void get_int(const tq_asn_integer& child, std::int32_t& out) {
  std::int32_t value = 0;
  if (child.get_value(value) != 0) value = 0;
  out = value;
}

// --- text in an OCTET STRING: the characters and their terminating zero; a
// null pointer is the single octet 00. Reading gives a new heap string:
// fewer than two octets give the empty string; a value that does not end
// with a zero octet (from another writer) is terminated.
inline void set_text(tq_asn_octetstring& child, const char* text) {
  static const unsigned char kEmpty = 0;
  if (text == nullptr) {
    child.set_value(&kEmpty, 1);
  } else {
    child.set_value(reinterpret_cast<const unsigned char*>(text), static_cast<std::uint32_t>(std::strlen(text) + 1));
  }
}
inline void get_text(const tq_asn_octetstring& child, char*& out) {
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  if (child.get_value(bytes, length) != 0 || length < 2) length = 0;
  const bool terminated = length != 0 && bytes[length - 1] == 0;
  const std::size_t size = static_cast<std::size_t>(length) + (terminated ? 0 : 1);
  auto* text = static_cast<char*>(mem_malloc(size));
  if (text == nullptr) throw tq_asn_memexception("Out of memory get_strvalue()", "asn1/asnutils", __LINE__);
  if (length != 0) std::memcpy(text, bytes, length);
  text[size - 1] = '\0';
  out = text;
}
inline void free_text(char* text) {
  if (text != nullptr) mem_free(text);
}

// --- an optional byte block: left out when empty; absent or empty reads as
// length 0 and a null pointer.
inline void set_optblock(tq_asn_octetstring& child, const unsigned char* bytes, std::uint32_t length) {
  if (length != 0 && bytes != nullptr) child.set_value(bytes, length);
}
inline void get_optblock(const tq_asn_octetstring& child, unsigned char*& out, std::uint32_t& out_length) {
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  if (!child.is_present() || child.get_value(bytes, length) != 0) length = 0;
  out_length = length;
  if (length == 0) return;
  out = static_cast<unsigned char*>(mem_malloc(length));
  if (out == nullptr) OXS_THROW_MEMORY("Out of memory get_obj_body()");
  std::memcpy(out, bytes, length);
}
inline void free_optblock(unsigned char* bytes, std::uint32_t length) {
  if (length != 0 && bytes != nullptr) mem_free(bytes);
}

// --- a list of records: no memory for an element or the array is a
// status, not an exception. Elements are counted as they are filled, so
// that releasing a partly read list touches only what was filled.
template <class S>
int set_list(tq_asn_sequenceof<typename oxs_kyobj_binding<S>::type>& list, const S* items, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    auto* element = list.add_child();
    if (element == nullptr) return ASN_ERR_MEMORY;
    const int status = element->set_value(items[i]);
    if (status != 0) return status;
  }
  return 0;
}
template <class S>
int get_list(tq_asn_sequenceof<typename oxs_kyobj_binding<S>::type>& list, S*& items, std::uint32_t& count) {
  const std::uint32_t n = list.get_child_count();
  if (n == 0) return 0;
  items = static_cast<S*>(mem_calloc(n, sizeof(S)));
  if (items == nullptr) return ASN_ERR_MEMORY;
  for (std::uint32_t i = 0; i < n; ++i) {
    auto* element = list.get_child(i);
    if (element == nullptr) return ASN_ERR_MEMORY;
    (void)element->get_value(items[i]);
    ++count;
  }
  return 0;
}
template <class S>
void free_list(S* items, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) oxs_kyobj_binding<S>::type::free_obj(items[i]);
  if (items != nullptr) mem_free(items);
}

}  // namespace kyobj
}  // namespace oxserutl

#define OXS_KY_STATUS(call)               \
  do {                                    \
    const int field_status = (call);      \
    if (field_status != 0) return field_status; \
  } while (0);

#define OXS_KY_REGISTER_i32(f) register_child(&f);
#define OXS_KY_REGISTER_cstring(f) register_child(&f);
#define OXS_KY_REGISTER_optblock(len, f) \
  register_child(&f);                    \
  f.set_optional(1);
#define OXS_KY_REGISTER_list(n, f, S) register_child(&f);
#define OXS_KY_REGISTER_FIELD(kind, ...) OXS_KY_REGISTER_##kind(__VA_ARGS__)

#define OXS_KY_SET_i32(f) ::oxserutl::kyobj::set_int(f, record.f);
#define OXS_KY_SET_cstring(f) ::oxserutl::kyobj::set_text(f, record.f);
#define OXS_KY_SET_optblock(len, f) ::oxserutl::kyobj::set_optblock(f, record.f, record.len);
#define OXS_KY_SET_list(n, f, S) OXS_KY_STATUS(::oxserutl::kyobj::set_list<S>(f, record.f, record.n))
#define OXS_KY_SET_FIELD(kind, ...) OXS_KY_SET_##kind(__VA_ARGS__)

#define OXS_KY_GET_i32(f) ::oxserutl::kyobj::get_int(f, record.f);
#define OXS_KY_GET_cstring(f) ::oxserutl::kyobj::get_text(f, record.f);
#define OXS_KY_GET_optblock(len, f) ::oxserutl::kyobj::get_optblock(f, record.f, record.len);
#define OXS_KY_GET_list(n, f, S) OXS_KY_STATUS(::oxserutl::kyobj::get_list<S>(f, record.f, record.n))
#define OXS_KY_GET_FIELD(kind, ...) OXS_KY_GET_##kind(__VA_ARGS__)

#define OXS_KY_FREE_i32(f)
#define OXS_KY_FREE_cstring(f) ::oxserutl::kyobj::free_text(record.f);
#define OXS_KY_FREE_optblock(len, f) ::oxserutl::kyobj::free_optblock(record.f, record.len);
#define OXS_KY_FREE_list(n, f, S) ::oxserutl::kyobj::free_list<S>(record.f, record.n);
#define OXS_KY_FREE_FIELD(kind, ...) OXS_KY_FREE_##kind(__VA_ARGS__)

asn_kyobj_base::asn_kyobj_base(security_t security) : tq_asnbase(security) {
  register_child(&lead);
  lead.set_value(1);
}
asn_kyobj_base::~asn_kyobj_base() = default;

#define OXS_KY_IMPLEMENT_bare(S, B, NAME)
#define OXS_KY_IMPLEMENT_sequence(S, B, NAME)                   \
  B::B(security_t security) : asn_kyobj_base(security) {        \
    set_type_name(NAME);                                        \
    OXS_FIELDS_##S(OXS_KY_REGISTER_FIELD)                       \
  }                                                             \
  B::~B() = default;                                            \
  int B::set_value(const S& record) {                           \
    OXS_FIELDS_##S(OXS_KY_SET_FIELD) return 0;                  \
  }                                                             \
  int B::get_value(S& record) {                                 \
    std::memset(&record, 0, sizeof record);                     \
    OXS_FIELDS_##S(OXS_KY_GET_FIELD) return 0;                  \
  }                                                             \
  void B::free_obj(S& record) { OXS_FIELDS_##S(OXS_KY_FREE_FIELD) }
#define OXS_KY_IMPLEMENT(S, B, NAME, CODE, SHAPE) OXS_KY_IMPLEMENT_##SHAPE(S, B, NAME)
OXS_TYPE_CODE_RECORDS(OXS_KY_IMPLEMENT)
