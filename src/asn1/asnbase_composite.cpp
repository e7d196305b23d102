// Composites, SEQUENCE and the exported SEQUENCE OF instance.
#define OXS_SOURCE "asn1/asnbase"
#include <cstring>

#include "internal.h"

using namespace oxserutl::detail;

// --- composite --------------------------------------------------------------

tq_asn_composite::tq_asn_composite(security_t security) : tq_asn_object(security) {
  constructed_ = 1;
  generate_constructed_ = 1;
  primitive_permitted_ = 0;
  constructed_permitted_ = 1;
  indefinite_permitted_ = 1;
}

tq_asn_composite::tq_asn_composite(std::uint32_t initial_capacity, security_t security)
    : tq_asn_composite(security) {
  if (initial_capacity == 0) return;
  children_ = static_cast<tq_asn_object**>(mem_calloc(initial_capacity, sizeof(tq_asn_object*)));
  if (children_ == nullptr) OXS_THROW_MEMORY("Out of memory in asn_composite::asn_composite");
  capacity_ = initial_capacity;
}

tq_asn_composite::~tq_asn_composite() { mem_free(children_); }

void tq_asn_composite::adopt(tq_asn_object* child) {
  child->set_parent(this);
  if (secure_ != 0) child->set_secure(static_cast<security_t>(secure_));
}

int tq_asn_composite::register_child(tq_asn_object* child) {
  if (child_count_ == capacity_) {
    // 32 slots first; then 512 at a time, or about a quarter of the size
    // for lists between 2048 and 34815 children.
    std::uint32_t increment = 32;
    if (capacity_ != 0) {
      std::uint32_t g = child_count_ / 2048;
      if (g == 0 || g > 16) g = 1;
      increment = g * 512;
    }
    auto* grown = static_cast<tq_asn_object**>(
        mem_realloc(children_, (static_cast<std::size_t>(child_count_) + increment) * sizeof(tq_asn_object*)));
    if (grown == nullptr) OXS_THROW_MEMORY("Out of memory in asn_composite::register_child");
    children_ = grown;
    capacity_ = child_count_ + increment;
  }
  children_[child_count_++] = child;
  adopt(child);
  check_valid(0);
  return 0;
}

int tq_asn_composite::register_child_before(tq_asn_object* child) {
  if (capacity_ == 0 || child_count_ == capacity_) {
    auto* grown = static_cast<tq_asn_object**>(
        mem_realloc(children_, (static_cast<std::size_t>(child_count_) + 512) * sizeof(tq_asn_object*)));
    if (grown == nullptr) OXS_THROW_MEMORY("Out of memory in asn_composite::register_child");
    children_ = grown;
    capacity_ = child_count_ + 512;
  }
  std::memmove(children_ + 1, children_, child_count_ * sizeof(tq_asn_object*));
  children_[0] = child;
  ++child_count_;
  adopt(child);
  return 0;
}

void tq_asn_composite::check_valid(int deep) {
  if (reading_children_ && deep == 0) return;
  if (child_count_ == 0 && !empty_permitted_) {
    invalidate_value(invalidate_self);
    return;
  }
  std::uint32_t counted = 0;
  for (std::uint32_t i = 0; i < child_count_; ++i) {
    tq_asn_object* child = children_[i];
    if (child->is_present() || child->is_defaultable()) ++counted;
    if (!child->is_valid(deep)) {
      if (present_) invalidate_value(invalidate_self);
      return;
    }
  }
  if (counted > 0 || empty_permitted_) {
    if (!present_ || (parent_ != nullptr && !parent_->is_present())) set_value_valid();
  } else {
    invalidate_value(invalidate_self);
  }
}

void tq_asn_composite::invalidate_value(invalidate_t how) {
  if (how != invalidate_self) {
    for (std::uint32_t i = 0; i < child_count_; ++i) children_[i]->invalidate_value(invalidate_quiet);
  }
  tq_asn_object::invalidate_value(invalidate_self);
}

int tq_asn_composite::emptyi() {
  for (std::uint32_t i = 0; i < child_count_; ++i) {
    const int status = children_[i]->emptyi();
    if (status != 0) return status;
  }
  return 0;
}

int tq_asn_composite::normalize() {
  for (std::uint32_t i = 0; i < child_count_; ++i) {
    const int status = children_[i]->normalize();
    if (status != 0) return status;
  }
  return 0;
}

int tq_asn_composite::is_valid(int deep) const {
  if (deep) {
    for (std::uint32_t i = 0; i < child_count_; ++i) children_[i]->check_valid(deep);
    const_cast<tq_asn_composite*>(this)->check_valid(0);
  }
  return tq_asn_object::is_valid(deep);
}

int tq_asn_composite::set_empty_permitted(int permitted) {
  empty_permitted_ = permitted;
  check_valid(0);
  return 0;
}

int tq_asn_composite::check_encode_flags() const {
  if (!is_encoding_valid()) return 1;
  for (std::uint32_t i = 0; i < child_count_; ++i) {
    const tq_asn_object* child = children_[i];
    if (child->is_optional() && !child->is_present()) continue;
    if (!child->check_encode_flags(1)) return 0;
  }
  return 1;
}

int tq_asn_composite::display(tq_buffer_t& out) const {
  out.append("COMPOSITE-OBJECT(tag=");
  out.append_int(static_cast<std::int32_t>(tag_));
  out.append(", class=");
  out.append_int(class_);
  out.append(") {");
  for (std::uint32_t i = 0; i < child_count_; ++i) {
    const int status = children_[i]->display(out);
    if (status != 0) return status;
  }
  return 0;
}

int tq_asn_composite::display_state_flags(tq_buffer_t& out, int indent) const {
  tq_asn_object::display_state_flags(out, indent);
  for (std::uint32_t i = 0; i < child_count_; ++i) children_[i]->display_state_flags(out, indent + 2);
  return 0;
}

// --- SEQUENCE ---------------------------------------------------------------

tq_asn_sequence::tq_asn_sequence(security_t security) : tq_asn_composite(security) {
  set_type_name("SEQUENCE");
  tag_ = 16;
  class_ = 0;
}

tq_asn_sequence::tq_asn_sequence(std::uint32_t initial_capacity, security_t security)
    : tq_asn_composite(initial_capacity, security) {
  set_type_name("SEQUENCE");
  tag_ = 16;
  class_ = 0;
}

int tq_asn_sequence::decode_value(tq_r_buffer_t& in, std::uint32_t length) {
  tq_r_buffer_t part(in);
  const bool definite = !is_indefinite_length();
  if (definite) part.limit(length);
  struct reading_scope {
    int& flag;
    explicit reading_scope(int& f) : flag(f) { flag = 1; }
    ~reading_scope() { flag = 0; }
  } reading(reading_children_);
  for (std::uint32_t i = 0; i < child_count_; ++i) {
    const int status = children_[i]->asnread(part);
    if (status != 0) return status;
  }
  if (definite) {
    if (!part.at_end()) return ASN_ERR_EXTRA_CONTENT;
    if (!in.skip(length)) return ASN_ERR_TRUNCATED;
  } else {
    in.set_cursor(part.current(), part.length());
  }
  return 0;
}

int tq_asn_sequence::encode_value(tq_buffer_t& out) const {
  for (std::uint32_t i = 0; i < child_count_; ++i) {
    const int status = children_[i]->asnwrite(out);
    if (status != 0) return status;
  }
  return 0;
}

template class tq_asn_sequenceof<tq_asn_octetstring>;

// --- envelope ---------------------------------------------------------------

tq_asnbase::tq_asnbase(security_t security) : tq_asn_sequence(security) {}

void tq_asnbase::set_default_value() {
  tq_asnbase* def = new_object<tq_asnbase>(security_normal);
  if (def == nullptr) OXS_THROW_MEMORY("Out of memory in asnbase::set_default_value");
  tq_asn_object::set_default_value(def);
}

int tq_asnbase::saveEncoding(tq_asn_object* object, int version, tq_asn_buffer_t& out) {
  tq_buffer_t buffer(security_normal);
  const unsigned char header[kEnvelopeLength] = {kEnvelopeLength, static_cast<unsigned char>(version & 0xFF),
                                                kEnvelopeMarker1, kEnvelopeMarker2};
  buffer.append(header, kEnvelopeLength);
  const int status = object->asnwrite(buffer);
  if (status != 0) return status;
  buffer.detach(out.data, out.length);
  return 0;
}

int tq_asnbase::loadObject(tq_asn_object* object, int version, const tq_asn_buffer_t& in) {
  // A header that claims more bytes than the buffer holds is refused like
  // any other bad header, before anything behind it is read.
  const std::uint32_t header = envelope_element(in.data, in.length, version);
  if (header == 0) return ASN_ERR_VERSION;
  tq_r_buffer_t view(in.data + header, in.length - header);
  return object->asnread(view);
}

int tq_asnbase::get_encoded_version(const tq_asn_buffer_t& in, unsigned int& flag) {
  const unsigned char version = envelope_marked(in.data, in.length) ? in.data[1] : 0;
  flag = version == 0 ? 1 : 0;
  return flag ? int{ASN_ERR_VERSION} : 0;
}

int tqasn_version(const tq_asn_buffer_t& in, unsigned int& flag) { return tq_asnbase::get_encoded_version(in, flag); }
