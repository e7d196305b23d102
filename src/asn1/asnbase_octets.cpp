// OCTET STRING, BIT STRING and named bits.
#define OXS_SOURCE "asn1/asnbase"
#include <cstring>
#include <memory>

#include "internal.h"

using namespace oxserutl::detail;

// --- OCTET STRING -----------------------------------------------------------

tq_asn_octetstring::tq_asn_octetstring(security_t security) : tq_asn_primitive(security), security_(security) {
  set_type_name("OCTETSTRING");
  class_ = 0;
  tag_ = 4;
  constructed_permitted_ = 1;
  indefinite_permitted_ = 1;
}

int tq_asn_octetstring::set_value(const unsigned char* bytes, std::uint32_t length) {
  encoding_.assign(bytes, length);
  encoding_valid_ = 1;
  set_value_valid();
  return 0;
}

int tq_asn_octetstring::get_value(unsigned char*& bytes, std::uint32_t& length) const {
  if (!is_present()) {
    if (!is_defaultable()) return ASN_ERR_NO_VALUE;
    auto* def = dynamic_cast<const tq_asn_octetstring*>(default_value_);
    return def != nullptr ? def->get_value(bytes, length) : ASN_ERR_NO_VALUE;
  }
  bytes = encoding_.data();
  length = encoding_.used();
  return 0;
}

int tq_asn_octetstring::set_default_value(const unsigned char* bytes, std::uint32_t length) {
  // Held until installed: the value setter may run out of memory.
  std::unique_ptr<tq_asn_octetstring> def(new_object<tq_asn_octetstring>(security_normal));
  if (def == nullptr) OXS_THROW_MEMORY("Out of memory in asn_octetstring::set_default_value");
  def->set_tag(get_tag());
  def->set_class(get_class());
  def->set_value(bytes, length);
  tq_asn_object::set_default_value(def.release());
  return 0;
}

int tq_asn_octetstring::decode_value(tq_r_buffer_t& in, std::uint32_t length) {
  encoding_.clear();
  if (!is_constructed()) {
    const unsigned char* p = nullptr;
    if (!in.take(length, &p)) return ASN_ERR_TRUNCATED;
    encoding_.append(p, length);
  } else {
    // Constructed form (X.690 8.7.3.2): a series of OCTET STRING segments,
    // each of which may itself be constructed, up to a bounded depth.
    tq_asn_octetstring segment(static_cast<security_t>(security_));
    segment.segment_depth_ = segment_depth_ + 1;
    if (segment.segment_depth_ >= tq_asn_max_segment_depth) segment.constructed_permitted_ = 0;
    const bool definite = !is_indefinite_length();
    tq_r_buffer_t part(in);
    if (definite) part.limit(length);
    for (;;) {
      if (definite ? part.at_end() : check_EOC(part) != 0) break;
      const int status = segment.asnread(part);
      if (status != 0) return status;
      encoding_.append(segment.encoding_);
    }
    if (definite) {
      if (!in.skip(length)) return ASN_ERR_TRUNCATED;
    } else {
      in.set_cursor(part.current(), part.length());
    }
  }
  // Keep a zero octet behind the content, outside its length.
  if (encoding_.capacity() <= encoding_.used()) encoding_.extend(1);
  encoding_.data()[encoding_.used()] = 0;
  set_value_valid();
  encoding_valid_ = 1;
  return 0;
}

// The content cache is the value, so there is nothing to add.
int tq_asn_octetstring::encode_value(tq_buffer_t&) const { return 0; }

int tq_asn_octetstring::get_encoding() const {
  if (encoding_valid_) return 0;
  if (is_present()) {
    encoding_valid_ = 1;
    return 0;
  }
  return tq_asn_object::get_encoding();
}

void tq_asn_octetstring::set_secure(security_t security) {
  security_ = security;
  tq_asn_object::set_secure(security);
}

// --- BIT STRING -------------------------------------------------------------

tq_asn_bitstring::tq_asn_bitstring(security_t security)
    : tq_asn_primitive(security), octets_(security), security_(security) {
  set_type_name("BITSTRING");
  class_ = 0;
  tag_ = 3;
  constructed_permitted_ = 1;
}

int tq_asn_bitstring::set_value(const unsigned char* bytes, std::uint32_t nbits) {
  static const unsigned char kTopBits[8] = {0x00, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE};
  octets_.clear();
  octets_.append(bytes, nbits / 8);
  if (nbits % 8 != 0) octets_.append(static_cast<unsigned char>(bytes[nbits / 8] & kTopBits[nbits % 8]));
  unused_bits_ = static_cast<std::uint8_t>((8 - nbits % 8) % 8);
  encoding_valid_ = 0;
  set_value_valid();
  return 0;
}

int tq_asn_bitstring::get_value(unsigned char*& bytes, std::uint32_t& nbits) const {
  if (!is_present()) {
    if (!is_defaultable()) return ASN_ERR_NO_VALUE;
    auto* def = dynamic_cast<const tq_asn_bitstring*>(default_value_);
    return def != nullptr ? def->get_value(bytes, nbits) : ASN_ERR_NO_VALUE;
  }
  bytes = octets_.data();
  nbits = 8 * octets_.used() - unused_bits_;
  return 0;
}

int tq_asn_bitstring::set_default_value(const unsigned char* bytes, std::uint32_t nbits) {
  // Held until installed: the value setter may run out of memory.
  std::unique_ptr<tq_asn_bitstring> def(new_object<tq_asn_bitstring>(security_normal));
  if (def == nullptr) OXS_THROW_MEMORY("Out of memory in asn_bitstring::set_default_value");
  def->set_tag(get_tag());
  def->set_class(get_class());
  def->set_value(bytes, nbits);
  tq_asn_object::set_default_value(def.release());
  return 0;
}

int tq_asn_bitstring::encode_value(tq_buffer_t& out) const {
  out.append(unused_bits_);
  out.append(octets_);
  return 0;
}

int tq_asn_bitstring::decode_value(tq_r_buffer_t& in, std::uint32_t length) {
  invalidate_value(invalidate_all);
  octets_.clear();
  unused_bits_ = 0;
  if (!is_constructed()) {
    // X.690 8.6.2: the initial octet counts the unused bits (0..7) of the
    // last octet; with no further octet it must be 0.
    const unsigned char* p = nullptr;
    if (length == 0) return ASN_ERR_BAD_BITSTRING;
    if (!in.take(length, &p)) return ASN_ERR_TRUNCATED;
    const unsigned char unused = p[0];
    if (unused > 7 || (length == 1 && unused != 0)) {
      in.set_cursor(in.current() - length, in.length() + length);
      return ASN_ERR_BAD_BITSTRING;
    }
    octets_.append(p + 1, length - 1);
    unused_bits_ = unused;
  } else {
    // Constructed form (X.690 8.6.4): only the final segment may have
    // unused bits, whether the frame has a definite length or not.
    tq_asn_bitstring segment(static_cast<security_t>(security_));
    segment.segment_depth_ = segment_depth_ + 1;
    if (segment.segment_depth_ >= tq_asn_max_segment_depth) segment.constructed_permitted_ = 0;
    const bool definite = !is_indefinite_length();
    tq_r_buffer_t part(in);
    if (definite) part.limit(length);
    bool any_segment = false;
    for (;;) {
      if (definite ? part.at_end() : check_EOC(part) != 0) break;
      if (any_segment && unused_bits_ != 0) return ASN_ERR_BITSTRING_SEGMENT;
      const int status = segment.asnread(part);
      if (status != 0) return status;
      any_segment = true;
      octets_.append(segment.octets_);
      unused_bits_ = segment.unused_bits_;
    }
    if (!any_segment) return ASN_ERR_BAD_BITSTRING;
    if (definite) {
      if (!in.skip(length)) return ASN_ERR_TRUNCATED;
    } else {
      in.set_cursor(part.current(), part.length());
    }
  }
  if (octets_.used() != 0) {
    octets_.data()[octets_.used() - 1] &= static_cast<unsigned char>(0xFF << unused_bits_);
  }
  set_value_valid();
  return 0;
}

void tq_asn_bitstring::set_secure(security_t security) {
  security_ = security;
  octets_.set_security(security);
  tq_asn_object::set_secure(security);
}

// --- named bits -------------------------------------------------------------

tq_asn_namedbits::tq_asn_namedbits(security_t security) : tq_asn_bitstring(security) {}

int tq_asn_namedbits::set_bit(std::uint32_t n, int value) {
  if (!is_present()) {
    octets_.clear();
    unused_bits_ = 0;
  }
  invalidate_value(invalidate_all);
  const std::uint32_t index = n / 8;
  const unsigned char mask = static_cast<unsigned char>(0x80u >> (n % 8));
  if (value) {
    const auto wanted_unused = static_cast<std::uint8_t>(7 - n % 8);
    if (index >= octets_.used()) {
      while (octets_.used() <= index) octets_.append(static_cast<unsigned char>(0));
      unused_bits_ = wanted_unused;
    } else if (wanted_unused < unused_bits_) {
      unused_bits_ = wanted_unused;
    }
    octets_.data()[index] |= mask;
  } else if (index < octets_.used()) {
    octets_.data()[index] &= static_cast<unsigned char>(~mask);
  }
  set_value_valid();
  return 0;
}

int tq_asn_namedbits::clear_bit(std::uint32_t n) { return set_bit(n, 0); }

int tq_asn_namedbits::get_bit(std::uint32_t n, int& out) const {
  if (!is_present()) {
    if (!is_defaultable()) return ASN_ERR_NO_VALUE;
    auto* def = dynamic_cast<const tq_asn_namedbits*>(default_value_);
    return def != nullptr ? def->get_bit(n, out) : ASN_ERR_NO_VALUE;
  }
  const std::uint32_t index = n / 8;
  out = index < octets_.used() && (octets_.data()[index] & (0x80u >> (n % 8))) != 0 ? 1 : 0;
  return 0;
}

int tq_asn_namedbits::asnwrite(tq_buffer_t& out) const {
  if (is_optional() && !is_present()) return 0;
  if (is_defaultable() && is_default_value()) return 0;
  if (!is_present() && !is_defaultable()) return ASN_ERR_NO_VALUE;
  if (is_present()) {
    // DER form of a named bit list (X.690 11.2.2): no trailing zero bits.
    std::uint32_t used = octets_.used();
    while (used > 0 && octets_.data()[used - 1] == 0) {
      --used;
      unused_bits_ = 0;
    }
    octets_.truncate(used);
    if (used > 0) {
      const unsigned char last = octets_.data()[used - 1];
      std::uint8_t zeros = 0;
      while (((last >> zeros) & 1u) == 0) ++zeros;
      unused_bits_ = zeros;
    }
    encoding_valid_ = 0;
  }
  return tq_asn_bitstring::asnwrite(out);
}
