// INTEGER, ENUMERATED, BOOLEAN, NULL and the placeholder type.
#define OXS_SOURCE "asn1/asnbase"
#include <memory>

#include "internal.h"

using namespace oxserutl::detail;

tq_asn_primitive::tq_asn_primitive(security_t security) : tq_asn_object(security) {
  secure_ = security;
  primitive_permitted_ = 1;
  constructed_permitted_ = 0;
  indefinite_permitted_ = 0;
}

// --- INTEGER ----------------------------------------------------------------

tq_asn_integer::tq_asn_integer(security_t security) : tq_asn_primitive(security), security_(security) {
  set_type_name("INTEGER");
  class_ = 0;
  tag_ = 2;
}

int tq_asn_integer::set_value(std::int32_t v) {
  const int32_octets octets = int32_contents(v);
  encoding_.assign(octets.data(), octets.size);
  value_ = v;
  fits_ = 1;
  encoding_valid_ = 1;
  set_value_valid();
  return 0;
}

int tq_asn_integer::set_value(const unsigned char* bytes, std::uint32_t length) {
  encoding_.assign(bytes, length);
  value_ = 0;
  update_int_val();
  encoding_valid_ = 1;
  set_value_valid();
  return 0;
}

void tq_asn_integer::update_int_val() {
  std::int32_t value = 0;
  fits_ = int32_from_contents(encoding_.data(), encoding_.used(), value) ? 1 : 0;
  if (fits_) value_ = value;
}

int tq_asn_integer::get_value(std::int32_t& out) const {
  if (!is_present()) {
    if (!is_defaultable()) return ASN_ERR_NO_VALUE;
    auto* def = dynamic_cast<const tq_asn_integer*>(default_value_);
    return def != nullptr ? def->get_value(out) : ASN_ERR_NO_VALUE;
  }
  if (!fits_) return ASN_ERR_TOO_LARGE;
  out = value_;
  return 0;
}

int tq_asn_integer::get_value(unsigned char*& bytes, std::uint32_t& length) const {
  if (!is_present()) {
    if (!is_defaultable()) return ASN_ERR_NO_VALUE;
    auto* def = dynamic_cast<const tq_asn_integer*>(default_value_);
    return def != nullptr ? def->get_value(bytes, length) : ASN_ERR_NO_VALUE;
  }
  bytes = encoding_.data();
  length = encoding_.used();
  return 0;
}

int tq_asn_integer::set_default_value(std::int32_t v) {
  // Held until installed: the value setter may run out of memory.
  std::unique_ptr<tq_asn_integer> def(new_object<tq_asn_integer>(security_normal));
  if (def == nullptr) OXS_THROW_MEMORY("Out of memory in asn_integer::set_default_value");
  def->set_tag(get_tag());
  def->set_class(get_class());
  def->set_value(v);
  tq_asn_object::set_default_value(def.release());
  return 0;
}

int tq_asn_integer::set_default_value(const unsigned char* bytes, std::uint32_t length) {
  // Held until installed: the value setter may run out of memory.
  std::unique_ptr<tq_asn_integer> def(new_object<tq_asn_integer>(security_normal));
  if (def == nullptr) OXS_THROW_MEMORY("Out of memory in asn_integer::set_default_value");
  def->set_tag(get_tag());
  def->set_class(get_class());
  def->set_value(bytes, length);
  tq_asn_object::set_default_value(def.release());
  return 0;
}

void tq_asn_integer::set_default_value(tq_asn_object* value) { tq_asn_object::set_default_value(value); }

int tq_asn_integer::decode_value(tq_r_buffer_t& in, std::uint32_t length) {
  const unsigned char* p = nullptr;
  if (!in.take(length, &p)) return ASN_ERR_TRUNCATED;
  encoding_.assign(p, length);
  update_int_val();
  encoding_valid_ = 1;
  set_value_valid();
  return 0;
}

// The content cache is the value, so there is nothing to add.
int tq_asn_integer::encode_value(tq_buffer_t&) const { return 0; }

// The content cache holds the value itself: when it is present, a cleared
// cache flag (after set_tag, set_class or set_optional) is restored instead
// of rebuilding empty contents.
int tq_asn_integer::get_encoding() const {
  if (encoding_valid_) return 0;
  if (is_present()) {
    encoding_valid_ = 1;
    return 0;
  }
  return tq_asn_object::get_encoding();
}

void tq_asn_integer::set_secure(security_t security) {
  security_ = security;
  tq_asn_object::set_secure(security);
}

tq_asn_enumerated::tq_asn_enumerated(security_t security) : tq_asn_integer(security) {
  set_type_name("ENUM");
  class_ = 0;
  tag_ = 10;
}

// --- BOOLEAN ----------------------------------------------------------------

tq_asn_boolean::tq_asn_boolean(security_t security) : tq_asn_primitive(security) {
  set_type_name("BOOLEAN");
  class_ = 0;
  tag_ = 1;
}

int tq_asn_boolean::set_value(int v) {
  value_ = v;
  encoding_valid_ = 0;
  set_value_valid();
  return 0;
}

int tq_asn_boolean::get_value(int& out) const {
  if (!is_present()) {
    if (!is_defaultable()) return ASN_ERR_NO_VALUE;
    auto* def = dynamic_cast<const tq_asn_boolean*>(default_value_);
    return def != nullptr ? def->get_value(out) : ASN_ERR_NO_VALUE;
  }
  out = value_;
  return 0;
}

int tq_asn_boolean::set_default_value(int v) {
  tq_asn_boolean* def = new_object<tq_asn_boolean>(security_normal);
  if (def == nullptr) OXS_THROW_MEMORY("Out of memory in asn_boolean::set_default_value");
  def->set_tag(get_tag());
  def->set_class(get_class());
  def->set_value(v);
  tq_asn_object::set_default_value(def);
  return 0;
}

void tq_asn_boolean::set_default_value(tq_asn_object* value) { tq_asn_object::set_default_value(value); }

int tq_asn_boolean::decode_value(tq_r_buffer_t& in, std::uint32_t length) {
  invalidate_value(invalidate_all);
  if (length != 1) return ASN_ERR_BAD_LENGTH;
  unsigned char octet = 0;
  if (!in.take_byte(&octet)) return ASN_ERR_TRUNCATED;
  value_ = octet != 0 ? 1 : 0;
  set_value_valid();
  return 0;
}

int tq_asn_boolean::encode_value(tq_buffer_t& out) const {
  out.append(static_cast<unsigned char>(value_ != 0 ? 0xFF : 0x00));
  return 0;
}

// --- NULL -------------------------------------------------------------------

tq_asn_null::tq_asn_null(security_t security) : tq_asn_primitive(security) {
  set_type_name("NULL");
  class_ = 0;
  tag_ = 5;
  set_value_valid();
}

int tq_asn_null::decode_value(tq_r_buffer_t&, std::uint32_t length) { return length != 0 ? int{ASN_ERR_BAD_LENGTH} : 0; }
int tq_asn_null::encode_value(tq_buffer_t&) const { return 0; }
int tq_asn_null::is_valid(int) const { return 1; }
int tq_asn_null::is_present() const { return 1; }

// --- NOTHING ----------------------------------------------------------------

tq_asn_nothing::tq_asn_nothing(security_t security) : tq_asn_primitive(security) {
  set_type_name("NOTHING");
  class_ = 0;
  tag_ = 0;
}

int tq_asn_nothing::decode_value(tq_r_buffer_t&, std::uint32_t) { return 0; }
int tq_asn_nothing::encode_value(tq_buffer_t&) const { return 0; }
int tq_asn_nothing::asnread(tq_r_buffer_t&) { return 0; }
int tq_asn_nothing::asnwrite(tq_buffer_t&) const { return 0; }
int tq_asn_nothing::is_valid(int) const { return 1; }
int tq_asn_nothing::is_present() const { return 1; }
