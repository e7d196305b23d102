// The behaviour of the record bindings, written once per field kind.
//
// Each module source defines OXS_SOURCE (the source name that memory errors
// carry), includes this header and expands its module table with
// OXS_IMPLEMENT_RECORD; the records reached by a type code expand
// OXS_IMPLEMENT_TREE alone (asn_kyobjs.cpp of src/asn1). The macros only lay
// out one call per field; the rules of every kind are the ordinary
// functions in oxserutl::binding, and what a list does without memory
// (raise, or give the status) is their memory_policy parameter.
#ifndef OXSERUTL_BINDING_IMPL_H
#define OXSERUTL_BINDING_IMPL_H

#include <cstring>
#include <type_traits>

#include <oxserutl/record_info.h>
#include <oxserutl/records.h>

#include "ber_primitives.h"
#include "boundary.h"
#include "direct_codec.h"
#include "internal.h"
#include "record_calls.h"

namespace oxserutl {
namespace binding {

// Where a memory error is raised: the module source and the line of the
// record's description.
struct site {
  const char* file;
  int line;
};

[[noreturn]] inline void memory_error(const site& where, const char* text = "ASN: Memory error") {
  throw tq_asn_memexception(text, where.file, where.line);
}

// What a list does when it finds no memory for an element or its array:
// the record bindings raise the memory exception at the record's site, the
// records reached by a type code return ASN_ERR_MEMORY as their status.
// Either way the text and block rules raise (they have no status to give).
enum class on_no_memory { raise, status };

struct memory_policy {
  site where;
  on_no_memory rule;

  // ASN_ERR_MEMORY, or the memory exception when the rule is to raise.
  int no_memory() const {
    if (rule == on_no_memory::raise) memory_error(where);
    return ASN_ERR_MEMORY;
  }
};

// Bounds the recursion of set_value through records nested in records, so
// that a caller's tree that is too deep, or a cycle of pointers, is refused
// instead of exhausting the stack. The writer refuses such depths anyway.
class record_depth_guard {
 public:
  record_depth_guard() {
    if (++depth() > tq_asn_max_nesting_depth) {
      --depth();
      throw tq_asn_unsupportederror("ASN: Record nesting too deep", "base_idls/binding_impl", __LINE__);
    }
  }
  ~record_depth_guard() { --depth(); }
  record_depth_guard(const record_depth_guard&) = delete;
  record_depth_guard& operator=(const record_depth_guard&) = delete;

 private:
  static int& depth() {
    static OXS_THREAD_LOCAL int value = 0;
    return value;
  }
};

// --- integers: the 32-bit pattern travels; narrow fields keep the low bits.
template <class Child, class T>
void set_int(Child& child, T value) {
  child.set_value(static_cast<std::int32_t>(value));
}

template <class T>
void get_int(const tq_asn_integer& child, T& out) {
  std::int32_t value = 0;
  // Absent without default or wider than 32 bits: the field reads 0.
  if (child.tq_asn_integer::get_value(value) != 0) value = 0;
  out = static_cast<T>(static_cast<std::uint32_t>(value));
}

// --- strings ------------------------------------------------------------------
inline void set_string(tqasnUTF8String& child, char* value) { child.set_value(value); }
// A string that finds no memory stays null; the record goes on.
inline void get_string(tqasnUTF8String& child, char*& out) { (void)child.get_value(out); }
inline void free_string(char* p) {
  if (p != nullptr) detail::mem_free(p);
}

// --- text in an OCTET STRING (the type-code records): the characters and
// their terminating zero, a null pointer the single octet 00; no code-set
// conversion. Reading gives a new heap string: fewer than two octets give
// the empty string; a value that does not end with a zero octet (from
// another writer) is terminated.
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
  auto* text = static_cast<char*>(detail::mem_malloc(size));
  if (text == nullptr) throw tq_asn_memexception("Out of memory get_strvalue()", "asn1/asnutils", __LINE__);
  if (length != 0) std::memcpy(text, bytes, length);
  text[size - 1] = '\0';
  out = text;
}

// --- fixed byte arrays: exactly n octets; a shorter received value is
// zero-filled, a longer one cut, and nothing outside it is read.
inline void set_fixed(tqasn_octetstring& child, const unsigned char* bytes, std::uint32_t n) {
  child.tq_asn_octetstring::set_value(bytes, n);
}
inline void get_fixed(const tqasn_octetstring& child, unsigned char* dest, std::uint32_t n) {
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  if (child.tq_asn_octetstring::get_value(bytes, length) != 0) length = 0;
  const std::uint32_t copied = length < n ? length : n;
  if (copied != 0) std::memcpy(dest, bytes, copied);
  if (copied < n) std::memset(dest + copied, 0, n - copied);
}

// --- byte blocks: (pointer, length); an empty value decodes to what
// malloc(0) gives and length 0.
inline void set_block(tqasn_octetstring& child, const unsigned char* bytes, std::uint32_t length) {
  child.tq_asn_octetstring::set_value(bytes, bytes != nullptr ? length : 0);
}
inline void get_block(const tqasn_octetstring& child, unsigned char*& out, std::uint32_t& out_length,
                      const site& where) {
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  if (child.tq_asn_octetstring::get_value(bytes, length) != 0) return;
  unsigned char* copy = nullptr;
  if (!detail::block_copy(bytes, length, copy)) memory_error(where, "Out of memory get_block()");
  out = copy;
  out_length = length;
}
inline void free_block(unsigned char* p) {
  if (p != nullptr) detail::mem_free(p);
}

// --- optional byte blocks (the type-code records): left out when empty;
// absent or empty reads as length 0 and a null pointer.
inline void set_optblock(tq_asn_octetstring& child, const unsigned char* bytes, std::uint32_t length) {
  if (length != 0 && bytes != nullptr) child.set_value(bytes, length);
}
inline void get_optblock(const tq_asn_octetstring& child, unsigned char*& out, std::uint32_t& out_length,
                         const site& where) {
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  if (!child.is_present() || child.get_value(bytes, length) != 0) length = 0;
  out_length = length;
  if (length == 0) return;
  out = static_cast<unsigned char*>(detail::mem_malloc(length));
  if (out == nullptr) memory_error(where, "Out of memory get_obj_body()");
  std::memcpy(out, bytes, length);
}
inline void free_optblock(unsigned char* p, std::uint32_t length) {
  if (length != 0 && p != nullptr) detail::mem_free(p);
}

// --- lists of records held by value -------------------------------------------
template <class S, class Count>
int set_list(tq_asn_sequenceof<oxs_binding_t<S>>& list, S* items, Count count, const memory_policy& policy) {
  for (Count i = 0; i < count; ++i) {
    auto* element = list.add_child();
    if (element == nullptr) return policy.no_memory();
    // The type-code records' elements give a status; the others raise.
    const int status = element->set_value(items[i]);
    if (status != 0) return status;
  }
  return 0;
}

template <class S, class Count>
int get_list(tq_asn_sequenceof<oxs_binding_t<S>>& list, S*& items, Count& count, const memory_policy& policy) {
  std::uint32_t n = list.get_child_count();
  // A 16-bit count cannot say more than 65535: further elements are
  // dropped so that the count always matches the array.
  if (n > static_cast<std::uint32_t>(static_cast<Count>(~Count{0}))) n = static_cast<Count>(~Count{0});
  if (n == 0) return 0;
  items = static_cast<S*>(detail::mem_calloc(n, sizeof(S)));
  if (items == nullptr) return policy.no_memory();
  for (std::uint32_t i = 0; i < n; ++i) {
    auto* element = list.get_child(i);
    if (element == nullptr) return policy.no_memory();
    try {
      (void)element->get_value(items[i]);
    } catch (...) {
      // The interrupted element is not counted; release what it holds so
      // that nothing leaks.
      oxs_binding_t<S>::free_obj(items[i]);
      std::memset(&items[i], 0, sizeof(S));
      throw;
    }
    ++count;
  }
  return 0;
}

template <class S, class Count>
void free_list(S* items, Count count) {
  for (Count i = 0; i < count; ++i) oxs_binding_t<S>::free_obj(items[i]);
  if (items != nullptr) detail::mem_free(items);
}

// --- lists of records held by pointer ------------------------------------------
template <class S>
int set_ptrlist(tq_asn_sequenceof<oxs_binding_t<S>>& list, S** items, std::uint32_t count, const memory_policy& policy) {
  for (std::uint32_t i = 0; i < count; ++i) {
    auto* element = list.add_child();
    if (element == nullptr) return policy.no_memory();
    // A null entry is written as an all-zero record.
    S blank{};
    element->set_value(items[i] != nullptr ? *items[i] : blank);
  }
  return 0;
}

template <class S>
int get_ptrlist(tq_asn_sequenceof<oxs_binding_t<S>>& list, S**& items, std::uint32_t& count, const memory_policy& policy) {
  const std::uint32_t n = list.get_child_count();
  if (n == 0) return 0;
  items = static_cast<S**>(detail::mem_calloc(n, sizeof(S*)));
  if (items == nullptr) return policy.no_memory();
  for (std::uint32_t i = 0; i < n; ++i) {
    auto* element = list.get_child(i);
    if (element == nullptr) return policy.no_memory();
    auto* node = static_cast<S*>(detail::mem_calloc(1, sizeof(S)));
    if (node == nullptr) return policy.no_memory();
    try {
      element->get_value(*node);
    } catch (...) {
      oxs_binding_t<S>::free_obj(*node);
      detail::mem_free(node);
      throw;
    }
    items[i] = node;
    ++count;
  }
  return 0;
}

template <class S>
void free_ptrlist(S** items, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    if (items[i] == nullptr) continue;
    oxs_binding_t<S>::free_obj(*items[i]);
    detail::mem_free(items[i]);
  }
  if (items != nullptr) detail::mem_free(items);
}

// --- lists of strings -------------------------------------------------------------
inline int set_strings(tq_asn_sequenceof<tqasnUTF8String>& list, char** items, std::uint32_t count,
                        const memory_policy& policy) {
  for (std::uint32_t i = 0; i < count; ++i) {
    tqasnUTF8String* element = list.add_child();
    if (element == nullptr) return policy.no_memory();
    element->set_value(items[i]);
  }
  return 0;
}

inline int get_strings(tq_asn_sequenceof<tqasnUTF8String>& list, char**& items, std::uint32_t& count,
                        const memory_policy& policy) {
  const std::uint32_t n = list.get_child_count();
  if (n == 0) return 0;
  items = static_cast<char**>(detail::mem_calloc(n, sizeof(char*)));
  if (items == nullptr) return policy.no_memory();
  for (std::uint32_t i = 0; i < n; ++i) {
    tqasnUTF8String* element = list.get_child(i);
    if (element == nullptr) return policy.no_memory();
    (void)element->get_value(items[i]);
    ++count;
  }
  return 0;
}

inline void free_strings(char** items, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) free_string(items[i]);
  if (items != nullptr) detail::mem_free(items);
}

// --- lists of integers ------------------------------------------------------------
inline int set_ints(tq_asn_sequenceof<tqasn_integer>& list, std::int32_t* items, std::uint32_t count,
                     const memory_policy& policy) {
  for (std::uint32_t i = 0; i < count; ++i) {
    tqasn_integer* element = list.add_child();
    if (element == nullptr) return policy.no_memory();
    element->set_value(items[i]);
  }
  return 0;
}

inline int get_ints(tq_asn_sequenceof<tqasn_integer>& list, std::int32_t*& items, std::uint32_t& count,
                     const memory_policy& policy) {
  const std::uint32_t n = list.get_child_count();
  if (n == 0) return 0;
  items = static_cast<std::int32_t*>(detail::mem_calloc(n, sizeof(std::int32_t)));
  if (items == nullptr) return policy.no_memory();
  for (std::uint32_t i = 0; i < n; ++i) {
    tqasn_integer* element = list.get_child(i);
    if (element == nullptr) return policy.no_memory();
    get_int(*element, items[i]);
    ++count;
  }
  return 0;
}

inline void free_ints(std::int32_t* items) {
  if (items != nullptr) detail::mem_free(items);
}

// --- optional records held by pointer -------------------------------------------
template <class S>
void set_optional(oxs_binding_t<S>& child, S* value) {
  if (value != nullptr) child.set_value(*value);
}

template <class S>
void get_optional(oxs_binding_t<S>& child, S*& out, const memory_policy& policy) {
  if (!child.is_present()) return;
  auto* record = static_cast<S*>(detail::mem_malloc(sizeof(S)));
  if (record == nullptr) memory_error(policy.where, "ASN: Out of memory");
  std::memset(record, 0, sizeof(S));
  out = record;
  child.get_value(*record);
}

template <class S>
void free_optional(S* value) {
  if (value == nullptr) return;
  oxs_binding_t<S>::free_obj(*value);
  detail::mem_free(value);
}

// --- sparse arrays of 32 record pointers -------------------------------------------
template <class S>
int set_sparse(tq_asn_sarrayof<oxs_binding_t<S>>& sarray, S* const* slots, const memory_policy& policy) {
  auto& list = sarray.list;
  for (std::uint32_t i = 0; i < tq_asn_sarray_slots; ++i) {
    if (slots[i] == nullptr) continue;
    while (list.get_child_count() < i) {
      auto* gap = list.add_child();
      if (gap == nullptr) return policy.no_memory();
      (void)gap->select(0);
    }
    auto* slot = list.add_child();
    if (slot == nullptr) return policy.no_memory();
    (void)slot->select(1);
    if (slot->selected() != 1) return policy.no_memory();
    slot->record.set_value(*slots[i]);
  }
  return 0;
}

template <class S>
int get_sparse(tq_asn_sarrayof<oxs_binding_t<S>>& sarray, S** slots, const memory_policy& policy) {
  auto& list = sarray.list;
  // Elements beyond the 32 slots were read, but have no slot to go to.
  for (std::uint32_t i = 0; i < tq_asn_sarray_slots; ++i) {
    slots[i] = nullptr;
    auto* slot = list.get_child(i);
    if (slot == nullptr || slot->selected() != 1) continue;
    auto* record = static_cast<S*>(detail::mem_calloc(1, sizeof(S)));
    if (record == nullptr) return policy.no_memory();
    slots[i] = record;
    slot->record.get_value(*record);
  }
  return 0;
}

template <class S>
void free_sparse(S* const* slots) {
  for (std::uint32_t i = 0; i < tq_asn_sarray_slots; ++i) {
    if (slots[i] == nullptr) continue;
    oxs_binding_t<S>::free_obj(*slots[i]);
    detail::mem_free(slots[i]);
  }
}

// --- the exported functions ----------------------------------------------------------

// Runs one exported operation through the library's boundary: the
// exception family becomes its status after the diagnostic line; any other
// exception is not the record functions' to catch.
template <class F>
int guarded(F&& body) {
  return detail::at_boundary<detail::other_exceptions::pass_on>(static_cast<F&&>(body));
}

template <class B>
int encode(B& binding, typename B::record_type& record, tq_asn_buffer_t& out, int version) {
  return guarded([&] {
    const int status = binding.set_value(record);
    if (status != 0) return status;
    return tq_asnbase::saveEncoding(&binding, version, out);
  });
}

template <class B>
int decode(B& binding, typename B::record_type& record, tq_asn_buffer_t& in, int version) {
  return guarded([&] {
    const int status = tq_asnbase::loadObject(&binding, version, in);
    if (status != 0) return status;
    return binding.get_value(record);
  });
}

// The envelope version of every record function.
constexpr int record_version = detail::kRecordVersion;


// The exported functions through the object tree alone.
template <class B>
int encode_record_tree(tq_asn_buffer_t& out, typename B::record_type& record, security_t security) {
  return guarded([&] {
    B binding(security);
    return binding.encode_obj(record, out, record_version);
  });
}

template <class B>
int decode_record_tree(tq_asn_buffer_t& in, typename B::record_type& record, security_t security) {
  return guarded([&] {
    B binding(security);
    return binding.decode_obj(record, in, record_version);
  });
}

// The exported functions: the direct path, and the object tree for
// whatever it declines (see direct_codec.h).
template <class B>
int encode_record(tq_asn_buffer_t& out, typename B::record_type& record, security_t security) {
  using S = typename B::record_type;
  if (direct::encode(record_description<S>(), &record, out, security == security_lcs)) return 0;
  return encode_record_tree<B>(out, record, security);
}

template <class B>
int decode_record(tq_asn_buffer_t& in, typename B::record_type& record, security_t security) {
  using S = typename B::record_type;
  if (direct::decode(record_description<S>(), in, &record, security == security_lcs)) return 0;
  return decode_record_tree<B>(in, record, security);
}

// The decode functions over the bytes as a service holds them.
template <class B>
int decode_bytes(const unsigned char* data, std::size_t length, typename B::record_type& record, security_t security) {
  if (length > UINT32_MAX) return ASN_ERR_TOO_LARGE;
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(length);
  in.data = const_cast<unsigned char*>(data);  // decoding only reads
  return decode_record<B>(in, record, security);
}

}  // namespace binding
}  // namespace oxserutl

#define OXS_SITE ::oxserutl::binding::site{OXS_SOURCE, __LINE__}

// A field rule that gives a status ends set_value or get_value with it.
#define OXS_STATUS(call)                       \
  {                                            \
    const int field_status = (call);           \
    if (field_status != 0) return field_status; \
  }

// --- construction: register every member in schema order ---------------------
#define OXS_REGISTER_SIMPLE(f) register_child(&f);
#define OXS_REGISTER_i32(f) OXS_REGISTER_SIMPLE(f)
#define OXS_REGISTER_u32(f) OXS_REGISTER_SIMPLE(f)
#define OXS_REGISTER_u16(f) OXS_REGISTER_SIMPLE(f)
#define OXS_REGISTER_u8(f) OXS_REGISTER_SIMPLE(f)
#define OXS_REGISTER_string(f) OXS_REGISTER_SIMPLE(f)
#define OXS_REGISTER_cstring(f) OXS_REGISTER_SIMPLE(f)
#define OXS_REGISTER_fixed(f, n) OXS_REGISTER_SIMPLE(f)
#define OXS_REGISTER_block(len, f) OXS_REGISTER_SIMPLE(f)
#define OXS_REGISTER_OPTIONAL(f) \
  register_child(&f);            \
  f.set_optional(1);
#define OXS_REGISTER_optblock(len, f) OXS_REGISTER_OPTIONAL(f)
#define OXS_REGISTER_list(n, f, S) OXS_REGISTER_SIMPLE(f)
#define OXS_REGISTER_list16(n, f, S) OXS_REGISTER_SIMPLE(f)
#define OXS_REGISTER_ptrlist(n, f, S) OXS_REGISTER_SIMPLE(f)
#define OXS_REGISTER_strings(n, f) OXS_REGISTER_SIMPLE(f)
#define OXS_REGISTER_ints(n, f) OXS_REGISTER_SIMPLE(f)
#define OXS_REGISTER_nested(f, S) OXS_REGISTER_SIMPLE(f)
#define OXS_REGISTER_optional(f, S) OXS_REGISTER_OPTIONAL(f)
#define OXS_REGISTER_sparse(f, S) OXS_REGISTER_SIMPLE(f)
#define OXS_REGISTER_FIELD(kind, ...) OXS_REGISTER_##kind(__VA_ARGS__)

// --- set: record fields into the children -------------------------------------
#define OXS_SET_i32(f) ::oxserutl::binding::set_int(f, record.f);
#define OXS_SET_u32(f) ::oxserutl::binding::set_int(f, record.f);
#define OXS_SET_u16(f) ::oxserutl::binding::set_int(f, record.f);
#define OXS_SET_u8(f) ::oxserutl::binding::set_int(f, record.f);
#define OXS_SET_string(f) ::oxserutl::binding::set_string(f, record.f);
#define OXS_SET_cstring(f) ::oxserutl::binding::set_text(f, record.f);
#define OXS_SET_fixed(f, n) ::oxserutl::binding::set_fixed(f, record.f, n);
#define OXS_SET_block(len, f) ::oxserutl::binding::set_block(f, record.f, record.len);
#define OXS_SET_optblock(len, f) ::oxserutl::binding::set_optblock(f, record.f, record.len);
#define OXS_SET_list(n, f, S) OXS_STATUS(::oxserutl::binding::set_list<S>(f, record.f, record.n, policy))
#define OXS_SET_list16(n, f, S) OXS_STATUS(::oxserutl::binding::set_list<S>(f, record.f, record.n, policy))
#define OXS_SET_ptrlist(n, f, S) OXS_STATUS(::oxserutl::binding::set_ptrlist<S>(f, record.f, record.n, policy))
#define OXS_SET_strings(n, f) OXS_STATUS(::oxserutl::binding::set_strings(f, record.f, record.n, policy))
#define OXS_SET_ints(n, f) OXS_STATUS(::oxserutl::binding::set_ints(f, record.f, record.n, policy))
#define OXS_SET_nested(f, S) f.set_value(record.f);
#define OXS_SET_optional(f, S) ::oxserutl::binding::set_optional<S>(f, record.f);
#define OXS_SET_sparse(f, S) OXS_STATUS(::oxserutl::binding::set_sparse<S>(f, record.f, policy))
#define OXS_SET_FIELD(kind, ...) OXS_SET_##kind(__VA_ARGS__)

// --- get: children into a zeroed record ------------------------------------------
#define OXS_GET_i32(f) ::oxserutl::binding::get_int(f, record.f);
#define OXS_GET_u32(f) ::oxserutl::binding::get_int(f, record.f);
#define OXS_GET_u16(f) ::oxserutl::binding::get_int(f, record.f);
#define OXS_GET_u8(f) ::oxserutl::binding::get_int(f, record.f);
#define OXS_GET_string(f) ::oxserutl::binding::get_string(f, record.f);
#define OXS_GET_cstring(f) ::oxserutl::binding::get_text(f, record.f);
#define OXS_GET_fixed(f, n) ::oxserutl::binding::get_fixed(f, record.f, n);
#define OXS_GET_block(len, f) ::oxserutl::binding::get_block(f, record.f, record.len, policy.where);
#define OXS_GET_optblock(len, f) ::oxserutl::binding::get_optblock(f, record.f, record.len, policy.where);
#define OXS_GET_list(n, f, S) OXS_STATUS(::oxserutl::binding::get_list<S>(f, record.f, record.n, policy))
#define OXS_GET_list16(n, f, S) OXS_STATUS(::oxserutl::binding::get_list<S>(f, record.f, record.n, policy))
#define OXS_GET_ptrlist(n, f, S) OXS_STATUS(::oxserutl::binding::get_ptrlist<S>(f, record.f, record.n, policy))
#define OXS_GET_strings(n, f) OXS_STATUS(::oxserutl::binding::get_strings(f, record.f, record.n, policy))
#define OXS_GET_ints(n, f) OXS_STATUS(::oxserutl::binding::get_ints(f, record.f, record.n, policy))
#define OXS_GET_nested(f, S) f.get_value(record.f);
#define OXS_GET_optional(f, S) ::oxserutl::binding::get_optional<S>(f, record.f, policy);
#define OXS_GET_sparse(f, S) OXS_STATUS(::oxserutl::binding::get_sparse<S>(f, record.f, policy))
#define OXS_GET_FIELD(kind, ...) OXS_GET_##kind(__VA_ARGS__)

// --- free: release what get allocated --------------------------------------------
#define OXS_FREE_i32(f)
#define OXS_FREE_u32(f)
#define OXS_FREE_u16(f)
#define OXS_FREE_u8(f)
#define OXS_FREE_string(f) ::oxserutl::binding::free_string(record.f);
#define OXS_FREE_cstring(f) ::oxserutl::binding::free_string(record.f);
#define OXS_FREE_fixed(f, n)
#define OXS_FREE_block(len, f) ::oxserutl::binding::free_block(record.f);
#define OXS_FREE_optblock(len, f) ::oxserutl::binding::free_optblock(record.f, record.len);
#define OXS_FREE_list(n, f, S) ::oxserutl::binding::free_list<S>(record.f, record.n);
#define OXS_FREE_list16(n, f, S) ::oxserutl::binding::free_list<S>(record.f, record.n);
#define OXS_FREE_ptrlist(n, f, S) ::oxserutl::binding::free_ptrlist<S>(record.f, record.n);
#define OXS_FREE_strings(n, f) ::oxserutl::binding::free_strings(record.f, record.n);
#define OXS_FREE_ints(n, f) ::oxserutl::binding::free_ints(record.f);
#define OXS_FREE_nested(f, S) oxs_binding_t<S>::free_obj(record.f);
#define OXS_FREE_optional(f, S) ::oxserutl::binding::free_optional<S>(record.f);
#define OXS_FREE_sparse(f, S) ::oxserutl::binding::free_sparse<S>(record.f);
#define OXS_FREE_FIELD(kind, ...) OXS_FREE_##kind(__VA_ARGS__)

#define OXS_COPY_IMPL_plain(B)
#define OXS_COPY_IMPL_refuse_copy(B)                  \
  B::B(const B& other) : tq_asnbase(other) {}         \
  B& B::operator=(const B& other) {                   \
    tq_asnbase::operator=(other);                     \
    return *this;                                     \
  }

// The object tree of record S: the binding class B, derived from BASE, its
// construction and its set, get and free. SET_RECORD is the parameter of
// set_value; NO_MEMORY (raise or status) what the lists do without memory.
#define OXS_IMPLEMENT_TREE(S, B, NAME, BASE, SET_RECORD, NO_MEMORY)                                       \
  B::B(security_t security) : BASE(security) {                                                            \
    set_type_name(NAME);                                                                                  \
    OXS_FIELDS_##S(OXS_REGISTER_FIELD)                                                                    \
  }                                                                                                       \
  B::~B() = default;                                                                                      \
  int B::set_value(SET_RECORD record) {                                                                   \
    ::oxserutl::binding::record_depth_guard depth_guard;                                                  \
    const ::oxserutl::binding::memory_policy policy{OXS_SITE, ::oxserutl::binding::on_no_memory::NO_MEMORY}; \
    (void)record;                                                                                         \
    (void)policy;                                                                                         \
    OXS_FIELDS_##S(OXS_SET_FIELD) return 0;                                                               \
  }                                                                                                       \
  int B::get_value(S& record) {                                                                           \
    const ::oxserutl::binding::memory_policy policy{OXS_SITE, ::oxserutl::binding::on_no_memory::NO_MEMORY}; \
    (void)policy;                                                                                         \
    std::memset(&record, 0, sizeof record);                                                               \
    OXS_FIELDS_##S(OXS_GET_FIELD) return 0;                                                               \
  }                                                                                                       \
  void B::free_obj(S& record) {                                                                           \
    (void)record;                                                                                         \
    OXS_FIELDS_##S(OXS_FREE_FIELD)                                                                        \
  }

#define OXS_IMPLEMENT_RECORD(S, B, NAME, MODULE, COPY)                                                    \
  OXS_IMPLEMENT_TREE(S, B, NAME, tq_asnbase, S&, raise)                                                   \
  OXS_COPY_IMPL_##COPY(B)                                                                                 \
  int B::encode_obj(S& record, tq_asn_buffer_t& buffer, int version) {                                    \
    return ::oxserutl::binding::encode(*this, record, buffer, version);                                   \
  }                                                                                                       \
  int B::decode_obj(S& record, tq_asn_buffer_t& buffer, int version) {                                    \
    return ::oxserutl::binding::decode(*this, record, buffer, version);                                   \
  }                                                                                                       \
  int tqAsnEncodeObj(tq_asn_buffer_t& out, S& record) {                                                   \
    return ::oxserutl::binding::encode_record<B>(out, record, security_normal);                           \
  }                                                                                                       \
  int tqAsnEncodeObjLCS(tq_asn_buffer_t& out, S& record) {                                                \
    return ::oxserutl::binding::encode_record<B>(out, record, security_lcs);                              \
  }                                                                                                       \
  /* Encoding only reads the record; the bindings take it by non-constant */                              \
  /* reference all the same. */                                                                           \
  int tqAsnEncodeObj(tq_asn_buffer_t& out, const S& record) {                                             \
    return ::oxserutl::binding::encode_record<B>(out, const_cast<S&>(record), security_normal);           \
  }                                                                                                       \
  int tqAsnEncodeObjLCS(tq_asn_buffer_t& out, const S& record) {                                          \
    return ::oxserutl::binding::encode_record<B>(out, const_cast<S&>(record), security_lcs);              \
  }                                                                                                       \
  int tqAsnDecodeObj(tq_asn_buffer_t& in, S& record) {                                                    \
    return ::oxserutl::binding::decode_record<B>(in, record, security_normal);                            \
  }                                                                                                       \
  int tqAsnDecodeObjLCS(tq_asn_buffer_t& in, S& record) {                                                 \
    return ::oxserutl::binding::decode_record<B>(in, record, security_lcs);                               \
  }                                                                                                       \
  int tqAsnDecodeObj(const unsigned char* data, std::size_t length, S& record) {                           \
    return ::oxserutl::binding::decode_bytes<B>(data, length, record, security_normal);                   \
  }                                                                                                       \
  int tqAsnDecodeObjLCS(const unsigned char* data, std::size_t length, S& record) {                        \
    return ::oxserutl::binding::decode_bytes<B>(data, length, record, security_lcs);                      \
  }                                                                                                       \
  void tqAsnFreeObj(S& record) { B::free_obj(record); }

#endif
