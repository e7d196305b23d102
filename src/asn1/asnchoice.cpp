// CHOICE and the open type.
#define OXS_SOURCE "asn1/asnchoice"
#include <oxserutl/asnchoice.h>

#include "internal.h"

// --- CHOICE -----------------------------------------------------------------

tq_asn_choice::tq_asn_choice(security_t security) : tq_asn_composite(security) { set_type_name("CHOICE"); }

tq_asn_choice::tq_asn_choice(std::uint32_t initial_capacity, security_t security)
    : tq_asn_composite(initial_capacity, security) {
  set_type_name("CHOICE");
}

tq_asn_choice::~tq_asn_choice() = default;

int tq_asn_choice::decode_value(tq_r_buffer_t&, std::uint32_t) {
  throw tq_asn_unsupportederror("Error: asn_choice::decode_value called", OXS_SOURCE, __LINE__);
}

int tq_asn_choice::encode_value(tq_buffer_t&) const {
  throw tq_asn_unsupportederror("Error: asn_choice::encode_value called", OXS_SOURCE, __LINE__);
}

int tq_asn_choice::select(std::uint32_t index) {
  if (index >= child_count_) return ASN_ERR_BAD_SELECTION;
  if (selected_ == static_cast<std::int32_t>(index)) return 0;
  selected_ = static_cast<std::int32_t>(index);
  invalidate_encoding();
  check_valid(1);
  return 0;
}

void tq_asn_choice::check_valid(int deep) {
  const tq_asn_object* alternative = selected_alternative();
  if (alternative == nullptr) return;
  if (alternative->is_valid(deep)) {
    if (!present_) set_value_valid();
  } else if (present_) {
    invalidate_value(invalidate_self);
  }
}

void tq_asn_choice::set_tag(std::uint32_t) { throw "Attempt to change tag of ASN.1 CHOICE object"; }

void tq_asn_choice::set_tag_unchecked(std::uint32_t tag) { tq_asn_composite::set_tag(tag); }

int tq_asn_choice::normalize() {
  tq_asn_object* alternative = selected_alternative();
  return alternative == nullptr ? 0 : alternative->normalize();
}

int tq_asn_choice::is_encoding_valid() const {
  const tq_asn_object* alternative = selected_alternative();
  return alternative == nullptr ? 0 : alternative->is_encoding_valid();
}

int tq_asn_choice::asnread(tq_r_buffer_t& in) {
  auto finish = [&](int status) {
    if (postread_ != nullptr) postread_(this, in, status);
    return status;
  };
  if (preread_ != nullptr) preread_(this, in);
  selected_ = -1;
  invalidate_value(invalidate_all);
  // Each alternative starts at the same octets. The frame reader restores
  // the cursor after a failure except when an indefinite-length element
  // lacks its end-of-contents octets; it is put back here so that the next
  // alternative cannot start inside the failed element.
  unsigned char* const start = in.current();
  const std::uint32_t start_length = in.length();
  for (std::uint32_t i = 0; i < child_count_; ++i) {
    if (children_[i]->asnread(in) == 0) {
      selected_ = static_cast<std::int32_t>(i);
      set_value_valid();
      return finish(0);
    }
    in.set_cursor(start, start_length);
  }
  return finish(is_optional() || is_defaultable() ? 0 : int{ASN_ERR_TAG_MISMATCH});
}

// A defaultable choice would compare its contents with the default's through
// the base get_encoding, which a choice refuses (encode_value raises); the
// record bindings never give a choice a default.
int tq_asn_choice::asnwrite(tq_buffer_t& out) const {
  if (is_optional() && !is_present()) return 0;
  if (is_defaultable() && is_default_value()) return 0;
  const tq_asn_object* alternative = selected_alternative();
  if (alternative == nullptr) return ASN_ERR_NOTHING_SELECTED;
  return alternative->asnwrite(out);
}

// The choice's encoding is that of its alternative; the "no selection"
// branch matters only to subclasses that answer is_encoding_valid otherwise.
int tq_asn_choice::check_encode_flags() const {
  if (!is_encoding_valid()) return 1;
  const tq_asn_object* alternative = selected_alternative();
  if (alternative == nullptr) return 0;
  return alternative->check_encode_flags(1);
}

int tq_asn_choice::display_state_flags(tq_buffer_t& out, int indent) const {
  tq_asn_object::display_state_flags(out, indent);
  for (std::uint32_t i = 0; i < child_count_; ++i) {
    if (static_cast<std::int32_t>(i) == selected_) {
      for (int k = 0; k <= indent; ++k) out.append(static_cast<unsigned char>(' '));
      out.append("SELECTED:\n");
    }
    children_[i]->display_state_flags(out, indent + 2);
  }
  return 0;
}

// --- open type --------------------------------------------------------------

tq_asn_any::tq_asn_any(security_t security) : tq_asn_object(security), value_(security) {
  set_type_name("ANY");
  primitive_permitted_ = 1;
  constructed_permitted_ = 1;
  indefinite_permitted_ = 0;
}

// value_ releases (and in secure mode wipes) its block itself. The syntax
// object is not touched: it may already be gone.
tq_asn_any::~tq_asn_any() = default;

int tq_asn_any::decode_value(tq_r_buffer_t& in, std::uint32_t length) {
  if (syntax_ != nullptr) return ASN_ERR_TYPED_ANY;
  invalidate_value(invalidate_all);
  const unsigned char* p = nullptr;
  if (!in.take(length, &p)) return ASN_ERR_TRUNCATED;
  value_.assign(p, length);
  return 0;
}

int tq_asn_any::encode_value(tq_buffer_t& out) const {
  if (syntax_ != nullptr) return ASN_ERR_TYPED_ANY;
  return out.append(value_);
}

void tq_asn_any::check_valid(int) {
  if (syntax_ == nullptr) return;
  if (syntax_->is_valid(0)) {
    if (!present_) set_value_valid();
  } else if (present_) {
    invalidate_value(invalidate_all);
  }
}

void tq_asn_any::invalidate_value(invalidate_t how) {
  value_.clear();
  tq_asn_object::invalidate_value(how);
}

void tq_asn_any::set_secure(security_t security) {
  tq_asn_object::set_secure(security);
  value_.set_security(security);
  if (secure_ == security_secure && syntax_ != nullptr) syntax_->set_secure(security);
}

int tq_asn_any::asnread(tq_r_buffer_t& in) {
  if (preread_ != nullptr) preread_(this, in);
  if (preparse_ != nullptr) {
    const int status = preparse_(this);
    if (status != 0) return status;
  }
  int status;
  if (syntax_ != nullptr) {
    status = syntax_->asnread(in);
  } else {
    // The hooks have run: the frame reader gets none. check_type accepts
    // every identifier, so the element's tag and class are adopted; the form
    // read becomes the form written.
    status = read_element(in, nullptr);
    if (status == 0) generate_constructed_ = constructed_;
  }
  if (postread_ != nullptr) postread_(this, in, status);
  return status;
}

int tq_asn_any::asnwrite(tq_buffer_t& out) const {
  if (preencode_ != nullptr) {
    const int status = preencode_(const_cast<tq_asn_any*>(this));
    if (status != 0) return status;
  }
  if (syntax_ != nullptr) return syntax_->asnwrite(out);
  return tq_asn_object::asnwrite(out);
}

int tq_asn_any::set_syntax(tq_asn_object* syntax) {
  if (syntax_ != nullptr) {
    syntax_->set_parent(nullptr);
    syntax_->invalidate_value(invalidate_all);
  }
  syntax_ = syntax;
  if (syntax_ != nullptr) syntax_->set_parent(this);
  check_valid(0);
  if (secure_ == security_secure && syntax_ != nullptr) syntax_->set_secure(security_secure);
  return 0;
}

int tq_asn_any::set_preparse(tq_asn_any_hook hook) noexcept {
  preparse_ = hook;
  return 0;
}

int tq_asn_any::set_preencode(tq_asn_any_hook hook) noexcept {
  preencode_ = hook;
  return 0;
}

int tq_asn_any::get_value(unsigned char*& bytes, std::uint32_t& length) const {
  if (syntax_ != nullptr) return ASN_ERR_TYPED_ANY;
  if (!is_present() && !is_defaultable()) return ASN_ERR_NO_VALUE;
  bytes = value_.data();
  length = value_.used();
  return 0;
}

int tq_asn_any::set_value(const unsigned char* bytes, std::uint32_t length) {
  if (syntax_ != nullptr) return ASN_ERR_TYPED_ANY;
  value_.assign(bytes, length);
  encoding_valid_ = 0;
  set_value_valid();
  return 0;
}
