// The object base: state, presence propagation, the BER frame around the
// content octets, and the diagnostic display.
#define OXS_SOURCE "asn1/asnbase"
#include <cstring>

#include "internal.h"

using namespace oxserutl::detail;

namespace {
// Depth of the constructed elements being read or written by this thread.
// It belongs to the call in progress and is back to 0 when the call ends.
OXS_THREAD_LOCAL int nesting_depth = 0;

struct nesting_guard {
  bool entered;
  explicit nesting_guard(bool constructed) : entered(constructed) {
    if (entered) ++nesting_depth;
  }
  ~nesting_guard() {
    if (entered) --nesting_depth;
  }
  bool too_deep() const { return entered && nesting_depth > tq_asn_max_nesting_depth; }
};
}  // namespace

tq_asn_object::tq_asn_object(security_t security) : encoding_(security), secure_(security) {
  std::memcpy(type_name_, "OBJECT", sizeof "OBJECT");
  invalidate_value(invalidate_all);
}

tq_asn_object::tq_asn_object(const tq_asn_object&) {
  throw tq_asn_unsupportederror("Can't copy asn_objects", OXS_SOURCE, __LINE__);
}

tq_asn_object& tq_asn_object::operator=(const tq_asn_object&) {
  throw tq_asn_unsupportederror("Can't assign asn_objects", OXS_SOURCE, __LINE__);
}

tq_asn_object::~tq_asn_object() {
  delete default_value_;
  std::memcpy(type_name_, "Deleted", sizeof "Deleted");
}

void tq_asn_object::set_type_name(const char* name) noexcept {
  // Every object names itself while it is built: copy only the name, not
  // the padding strncpy would write behind it.
  std::size_t n = 0;
  while (n < type_name_size && name[n] != '\0') ++n;
  std::memcpy(type_name_, name, n);
  type_name_[n] = '\0';
}

int tq_asn_object::set_preread(tq_asn_preread_hook hook) noexcept {
  preread_ = hook;
  return 0;
}

int tq_asn_object::set_postread(tq_asn_postread_hook hook) noexcept {
  postread_ = hook;
  return 0;
}

// --- state and propagation --------------------------------------------------

void tq_asn_object::check_valid(int) {}

void tq_asn_object::invalidate_encoding() const {
  encoding_valid_ = 0;
  if (parent_ != nullptr) parent_->invalidate_encoding();
}

void tq_asn_object::invalidate_value(invalidate_t how) {
  present_ = 0;
  invalidate_encoding();
  if (parent_ != nullptr && how != invalidate_quiet) parent_->check_valid(0);
}

void tq_asn_object::set_value_valid() {
  present_ = 1;
  if (parent_ != nullptr) parent_->check_valid(0);
}

bool tq_asn_object::check_type(std::uint32_t tag, int cls) const { return tag == tag_ && cls == class_; }

void tq_asn_object::set_default_value(tq_asn_object* value) {
  defaultable_ = 0;
  invalidate_encoding();
  delete default_value_;
  default_value_ = value;
  value->set_parent(this);
  defaultable_ = 1;
}

int tq_asn_object::emptyi() { return 0; }

std::uint32_t tq_asn_object::get_child_count() const { throw "get_child_count() invoked on non-composite object"; }

void tq_asn_object::set_class(int cls) {
  class_ = cls;
  if (encoding_valid_) invalidate_encoding();
}

void tq_asn_object::set_tag(std::uint32_t tag) {
  tag_ = tag;
  if (encoding_valid_) invalidate_encoding();
}

int tq_asn_object::empty() {
  emptyi();
  invalidate_value(invalidate_all);
  check_valid(0);
  return 0;
}

int tq_asn_object::normalize() { return 0; }

int tq_asn_object::is_default_value() const {
  if (!is_defaultable()) return 0;
  if (!is_present()) return 1;
  if (get_encoding() != 0) return 0;
  tq_buffer_t scratch;
  if (default_value_->get_encoding(scratch) != 0) return 0;
  return scratch == encoding_ ? 1 : 0;
}

int tq_asn_object::is_valid(int) const { return is_present() || is_defaultable() || is_optional(); }

void tq_asn_object::set_secure(security_t security) {
  secure_ = security;
  encoding_.set_security(security);
}

int tq_asn_object::operator==(const tq_asn_object& other) const {
  tq_buffer_t mine;
  tq_buffer_t theirs;
  (void)asnwrite(mine);
  (void)other.asnwrite(theirs);
  return mine == theirs ? 1 : 0;
}

int tq_asn_object::set_optional(int optional) {
  optional_ = optional;
  invalidate_encoding();
  return 0;
}

int tq_asn_object::set_empty_permitted(int) { return 0; }

int tq_asn_object::check_encode_flags() const { return 1; }

int tq_asn_object::check_encode_flags(int expected) const {
  if ((is_encoding_valid() != 0) != (expected != 0)) return 0;
  return check_encode_flags();
}

// --- writing ----------------------------------------------------------------

int tq_asn_object::get_encoding() const {
  if (encoding_valid_) return 0;
  encoding_.clear();
  int status;
  if (is_present()) {
    status = encode_value(encoding_);
  } else if (default_value_ != nullptr) {
    status = default_value_->get_encoding(encoding_);
  } else {
    status = ASN_ERR_NO_VALUE;
  }
  if (status != 0) return status;
  encoding_valid_ = 1;
  return 0;
}

int tq_asn_object::get_encoding(tq_buffer_t& out) const {
  const int status = get_encoding();
  if (status != 0) return status;
  return out.append(encoding_);
}

int tq_asn_object::write_type(tq_buffer_t& out) const {
  write_identifier(out, class_, should_generate_constructed() != 0, tag_);
  return 0;
}

int tq_asn_object::write_length(tq_buffer_t& out) const {
  if (!is_encoding_valid()) return ASN_ERR_BAD_LENGTH;
  oxserutl::detail::write_length(out, encoding_.used());
  return 0;
}

int tq_asn_object::asnwrite(tq_buffer_t& out) const {
  const std::uint32_t mark = out.used();
  if (is_optional() && !is_present()) return 0;
  if (is_defaultable() && is_default_value()) return 0;
  if (!is_present() && !is_defaultable()) return ASN_ERR_NO_VALUE;
  nesting_guard nesting(should_generate_constructed() != 0);
  // Too deep to write: refused as an operation, with the status of refused
  // operations whatever the depth (the record nesting bound of the bindings
  // gives the same status); reading keeps its own status below.
  if (nesting.too_deep()) return ASN_ERR_UNSUPPORTED;
  try {
    write_type(out);
    int status = get_encoding();
    if (status == 0) status = write_length(out);
    if (status != 0) {
      out.truncate(mark);
      return status;
    }
    out.append(encoding_);
  } catch (...) {
    out.truncate(mark);
    throw;
  }
  return 0;
}

// --- reading ----------------------------------------------------------------

int tq_asn_object::asnread(tq_r_buffer_t& in) {
  const int status = read_element(in, preread_);
  if (postread_ != nullptr) postread_(this, in, status);
  return status;
}

int tq_asn_object::read_element(tq_r_buffer_t& in, tq_asn_preread_hook preread) {
  unsigned char* const start = in.current();
  const std::uint32_t start_length = in.length();
  auto restore = [&] { in.set_cursor(start, start_length); };

  invalidate_value(invalidate_all);
  constructed_ = 0;
  indefinite_ = 0;
  if (preread != nullptr) preread(this, in);

  byte_reader frame(in.current(), in.length());
  std::uint32_t tag = 0;
  int constructed = 0;
  int cls = 0;
  if (read_identifier(frame, tag, constructed, cls) != 0) {
    restore();
    return is_optional() || is_defaultable() ? 0 : int{ASN_ERR_TRUNCATED};
  }
  if (!check_type(tag, cls)) {
    restore();
    return is_optional() || is_defaultable() ? 0 : int{ASN_ERR_TAG_MISMATCH};
  }
  set_tag(tag);
  set_class(cls);
  constructed_ = constructed;
  if (constructed && !encoding_constructed_permitted()) {
    restore();
    return ASN_ERR_CONSTRUCTED_NOT_PERMITTED;
  }
  if (!constructed && !encoding_primitive_permitted()) {
    restore();
    return ASN_ERR_PRIMITIVE_NOT_PERMITTED;
  }
  int definite = 1;
  std::uint32_t length = 0;
  bool overflow = false;
  if (read_length(frame, definite, length, overflow) != 0) {
    restore();
    return ASN_ERR_TRUNCATED;
  }
  indefinite_ = definite ? 0 : 1;
  if (indefinite_ && !encoding_indefinite_permitted()) {
    restore();
    return ASN_ERR_INDEFINITE_NOT_PERMITTED;
  }
  // A length with significant octets beyond 32 bits cannot fit the input.
  if (overflow || length > frame.left()) {
    restore();
    return ASN_ERR_TRUNCATED;
  }
  nesting_guard nesting(constructed != 0);
  if (nesting.too_deep()) {
    restore();
    return ASN_ERR_CONSTRUCTED_NOT_PERMITTED;
  }
  in.set_cursor(const_cast<unsigned char*>(frame.position()), static_cast<std::uint32_t>(frame.left()));

  const int status = decode_value(in, length);
  if (status != 0) {
    invalidate_value(invalidate_all);
    restore();
    return status;
  }
  if (indefinite_) {
    if (!check_EOC(in)) {
      invalidate_value(invalidate_all);
      return ASN_ERR_BAD_LENGTH;
    }
    (void)in.skip(2);
  }
  set_value_valid();
  return 0;
}

// --- diagnostic display -----------------------------------------------------

int tq_asn_object::display(tq_buffer_t& out) const {
  if (!is_present() && !is_defaultable()) return ASN_ERR_NO_VALUE;
  if (!is_present()) {
    out.append("Default:");
    return default_value_->display(out);
  }
  out.append("OBJECT(tag=");
  out.append_int(static_cast<std::int32_t>(tag_));
  out.append(", class=");
  out.append_int(class_);
  out.append(")");
  return 0;
}

namespace {
void append_flag(tq_buffer_t& out, const char* label, int value) {
  out.append(label);
  out.append(static_cast<unsigned char>(value ? 'Y' : 'N'));
}
}  // namespace

int tq_asn_object::display_state_flags(tq_buffer_t& out, int indent) const {
  for (int i = 0; i < indent; ++i) out.append(static_cast<unsigned char>(' '));
  out.append(type_name_);
  append_flag(out, "(valid=", is_valid(0));
  append_flag(out, ", present=", is_present());
  append_flag(out, ", optional=", is_optional());
  append_flag(out, ", defaultable=", is_defaultable());
  append_flag(out, ", enc_valid=", is_encoding_valid());
  out.append(")\n");
  return 0;
}
