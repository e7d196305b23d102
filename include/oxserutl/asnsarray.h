// Sparse arrays: fixed arrays of 32 record pointers in which a null pointer
// is an empty slot, carried on the wire as
//
//   SEQUENCE OF CHOICE { empty NULL, record T }
//
// where list element k stands for slot k. Empty slots below the highest
// filled one are NULL elements; empty slots above it are not written.
#ifndef OXSERUTL_ASNSARRAY_H
#define OXSERUTL_ASNSARRAY_H

#include <cstdint>

#include <oxserutl/asnbase.h>
#include <oxserutl/asnchoice.h>
#include <oxserutl/record_schema.h>

// Number of slots of every sparse array.
constexpr std::uint32_t tq_asn_sarray_slots = OXS_SPARSE_SLOTS;

// One element of a sparse array: a CHOICE of NULL (alternative 0, an empty
// slot) and the record binding T (alternative 1). No alternative is selected
// at first.
template <class T>
class tq_asn_sarray_slot : public tq_asn_choice {
 public:
  explicit tq_asn_sarray_slot(security_t security = security_normal) : tq_asn_choice(security) {
    set_type_name("CHOICE");
    register_child(&empty_slot);
    register_child(&record);
  }
  ~tq_asn_sarray_slot() override = default;

  tq_asn_null empty_slot;
  T record;
};

// The list beneath a sparse array: elements beyond the last slot are read
// and checked but not kept, so a long list costs no more memory than 32
// slots.
template <class T>
class tq_asn_sarray_list : public tq_asn_sequenceof<tq_asn_sarray_slot<T>> {
 public:
  explicit tq_asn_sarray_list(security_t security = security_normal)
      : tq_asn_sequenceof<tq_asn_sarray_slot<T>>(security) {}

 protected:
  bool keeps_element(std::uint32_t index) const override { return index < tq_asn_sarray_slots; }
};

// The member that carries a sparse array: a CHOICE-derived wrapper around
// exactly one SEQUENCE OF slots, adding no bytes of its own. Every framing
// operation forwards to the list. It keeps the object base's set_secure,
// which does not reach the list: records beneath a sparse array are always
// built with security_normal.
template <class T>
class tq_asn_sarrayof : public tq_asn_choice {
 public:
  using slot_type = tq_asn_sarray_slot<T>;
  using list_type = tq_asn_sarray_list<T>;

  explicit tq_asn_sarrayof(security_t security = security_normal) : tq_asn_choice(security) {
    set_type_name("SARRAYOF");
    register_child(&list);
  }
  ~tq_asn_sarrayof() override = default;

  int decode_value(tq_r_buffer_t& in, std::uint32_t length) override { return list.decode_value(in, length); }
  int encode_value(tq_buffer_t& out) const override { return list.encode_value(out); }
  std::uint32_t get_child_count() const override { return list.get_child_count(); }
  int encoding_primitive_permitted() const override { return list.encoding_primitive_permitted(); }
  int encoding_constructed_permitted() const override { return list.encoding_constructed_permitted(); }
  int encoding_indefinite_permitted() const override { return list.encoding_indefinite_permitted(); }
  int is_constructed() const override { return list.is_constructed(); }
  int is_indefinite_length() const override { return list.is_indefinite_length(); }
  int should_generate_constructed() const override { return list.should_generate_constructed(); }
  int is_optional() const override { return list.is_optional(); }
  int is_defaultable() const override { return list.is_defaultable(); }
  int is_encoding_valid() const override { return list.is_encoding_valid(); }
  tq_asn_object* get_default_value() const override { return list.get_default_value(); }
  int is_default_value() const override { return list.is_default_value(); }
  int is_present() const override { return list.is_present(); }
  int asnread(tq_r_buffer_t& in) override { return list.asnread(in); }
  int asnwrite(tq_buffer_t& out) const override { return list.asnwrite(out); }
  int check_encode_flags() const override { return list.check_encode_flags(); }
  int check_encode_flags(int expected) const override { return list.check_encode_flags(expected); }
  int set_optional(int optional) override {
    tq_asn_choice::set_optional(optional);
    return list.set_optional(optional);
  }
  int set_empty_permitted(int permitted) override {
    tq_asn_choice::set_empty_permitted(permitted);
    return list.set_empty_permitted(permitted);
  }

  list_type list;
};

#endif
