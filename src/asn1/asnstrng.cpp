// Character string types: code set bookkeeping, stores and renderings.
#define OXS_SOURCE "asn1/asnstrng"
#include <oxserutl/asnstrng.h>

#include <cstring>

#include "asnstrng_codec.h"
#include "internal.h"

using namespace oxserutl::detail;

namespace {

std::uint32_t text_length(const char* s) { return s == nullptr ? 0 : static_cast<std::uint32_t>(std::strlen(s)); }

const unsigned char* text_bytes(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

// The local character set of set_value_C / get_value_C: 0x00-0x7F are the
// IA5 characters of the same number, 0x80-0xFF have no counterpart.
bool local_maps_to_ia5(unsigned char c) { return c < 0x80; }
bool ia5_maps_to_local(unsigned char c) { return c < 0x80; }

// Orders in which code sets are tried for text of unknown fitness.
constexpr std::uint32_t kIA5Order[] = {tq_asn_cs_printable, tq_asn_cs_t61,  tq_asn_cs_visible, tq_asn_cs_ia5,
                                       tq_asn_cs_utf8,      tq_asn_cs_bmp,  tq_asn_cs_universal};
constexpr std::uint32_t kLocalOrder[] = {tq_asn_cs_printable, tq_asn_cs_t61,  tq_asn_cs_visible, tq_asn_cs_ia5,
                                         tq_asn_cs_bmp,       tq_asn_cs_utf8, tq_asn_cs_universal};
constexpr std::uint32_t kNormalizeOrder[] = {tq_asn_cs_printable, tq_asn_cs_t61, tq_asn_cs_visible, tq_asn_cs_ia5,
                                             tq_asn_cs_utf8,      tq_asn_cs_bmp, tq_asn_cs_universal};

security_t scratch_security(int secure) {
  return secure == security_secure ? security_secure : security_normal;
}

}  // namespace

// --- tq_asn_charstring: state -----------------------------------------------

tq_asn_charstring::tq_asn_charstring(security_t security) : tq_asn_octetstring(security), value_(security) {}

int tq_asn_charstring::check_accepted_codeset(std::uint32_t) const { return 0; }

int tq_asn_charstring::check_preferred_codeset(std::uint32_t cs) const { return check_accepted_codeset(cs); }

int tq_asn_charstring::set_codeset(std::uint32_t cs) {
  if (!check_accepted_codeset(cs)) return ASN_ERR_CODESET_NOT_PERMITTED;
  invalidate_encoding();
  codeset_ = cs;
  tq_asn_object::set_tag(cs);
  return 0;
}

void tq_asn_charstring::set_tag(std::uint32_t t) { (void)set_codeset(t); }

std::uint32_t tq_asn_charstring::get_codeset() const { return codeset_; }

void tq_asn_charstring::set_secure(security_t security) {
  value_.set_security(security);
  tq_asn_octetstring::set_secure(security);
}

int tq_asn_charstring::emptyi() {
  value_.clear();
  return tq_asn_octetstring::emptyi();
}

// --- tq_asn_charstring: content ---------------------------------------------

int tq_asn_charstring::decode_value(tq_r_buffer_t& in, std::uint32_t length) {
  const int status = tq_asn_octetstring::decode_value(in, length);
  if (status != 0) return status;
  value_.assign(encoding_.data(), encoding_.used());
  return 0;
}

int tq_asn_charstring::encode_value(tq_buffer_t& out) const { return out.append(value_); }

// The ordinary rule of the object base: unlike OCTET STRING, a present
// string's content cache is derived from the value and may be stale.
int tq_asn_charstring::get_encoding() const {
  if (encoding_valid_) return 0;
  return tq_asn_object::get_encoding();
}

int tq_asn_charstring::set_value(const unsigned char* bytes, std::uint32_t length) {
  // Reserve first so that running out of memory changes nothing.
  if (value_.capacity() < length) value_.extend(length);
  const int status = tq_asn_octetstring::set_value(bytes, length);
  value_.assign(bytes, length);
  return status;
}

int tq_asn_charstring::get_value(unsigned char*& bytes, std::uint32_t& length) const {
  if (is_present()) {
    const int status = get_encoding();
    if (status != 0) return status;
  }
  return tq_asn_octetstring::get_value(bytes, length);
}

int tq_asn_charstring::set_value_uninterpreted(const unsigned char* bytes, std::uint32_t length) {
  // The octets may lie in the value itself (a reader over value()); copy
  // them out before the value is replaced.
  tq_buffer_t copy(scratch_security(secure_));
  copy.append(bytes, length);
  if (value_.capacity() < length) value_.extend(length);
  invalidate_value(invalidate_all);
  value_.assign(copy.data(), copy.used());
  set_value_valid();
  return 0;
}

int tq_asn_charstring::set_value_uninterpreted(const tq_r_buffer_t& in) {
  return set_value_uninterpreted(in.current(), in.length());
}

int tq_asn_charstring::store(std::uint32_t cs, const unsigned char* bytes, std::uint32_t length) {
  if (!check_accepted_codeset(cs)) return ASN_ERR_CODESET_NOT_PERMITTED;
  set_value_uninterpreted(bytes, length);
  (void)set_codeset(cs);
  return 0;
}

int tq_asn_charstring::source(std::uint32_t& cs, const unsigned char*& bytes, std::uint32_t& length) const {
  if (is_present()) {
    cs = codeset_;
    bytes = value_.data();
    length = value_.used();
    return 0;
  }
  if (!is_defaultable() || default_value_ == nullptr) return ASN_ERR_NO_VALUE;
  // A default installed through the OCTET STRING interface holds text in
  // this string's code set; a character string default names its own.
  if (auto* def = dynamic_cast<const tq_asn_charstring*>(default_value_)) return def->source(cs, bytes, length);
  auto* def = dynamic_cast<const tq_asn_octetstring*>(default_value_);
  if (def == nullptr) return ASN_ERR_NO_VALUE;
  unsigned char* p = nullptr;
  const int status = def->get_value(p, length);
  if (status != 0) return status;
  bytes = p;
  cs = codeset_;
  return 0;
}

// --- stores -------------------------------------------------------------------

int tq_asn_charstring::set_value_printable(const tq_r_buffer_t& in) {
  return store(tq_asn_cs_printable, in.current(), in.length());
}
int tq_asn_charstring::set_value_printable(const char* s) {
  return store(tq_asn_cs_printable, text_bytes(s), text_length(s));
}
int tq_asn_charstring::set_value_visible(const tq_r_buffer_t& in) {
  return store(tq_asn_cs_visible, in.current(), in.length());
}
int tq_asn_charstring::set_value_visible(const char* s) {
  return store(tq_asn_cs_visible, text_bytes(s), text_length(s));
}
int tq_asn_charstring::set_value_T61(const tq_r_buffer_t& in) { return store(tq_asn_cs_t61, in.current(), in.length()); }
int tq_asn_charstring::set_value_T61(const char* s) { return store(tq_asn_cs_t61, text_bytes(s), text_length(s)); }
int tq_asn_charstring::set_value_BMP(const tq_r_buffer_t& in) { return store(tq_asn_cs_bmp, in.current(), in.length()); }
int tq_asn_charstring::set_value_Univ(const tq_r_buffer_t& in) {
  return store(tq_asn_cs_universal, in.current(), in.length());
}
int tq_asn_charstring::set_value_UTF8(const tq_r_buffer_t& in) {
  return store(tq_asn_cs_utf8, in.current(), in.length());
}
int tq_asn_charstring::set_value_UTF8(const char* s) { return store(tq_asn_cs_utf8, text_bytes(s), text_length(s)); }

int tq_asn_charstring::set_value_BMP(const std::uint16_t* s) {
  if (!check_accepted_codeset(tq_asn_cs_bmp)) return ASN_ERR_CODESET_NOT_PERMITTED;
  tq_buffer_t octets(scratch_security(secure_));
  for (; s != nullptr && *s != 0; ++s) {
    const unsigned char b[2] = {static_cast<unsigned char>(*s >> 8), static_cast<unsigned char>(*s)};
    octets.append(b, 2);
  }
  return store(tq_asn_cs_bmp, octets.data(), octets.used());
}

int tq_asn_charstring::set_value_Univ(const std::uint32_t* s) {
  if (!check_accepted_codeset(tq_asn_cs_universal)) return ASN_ERR_CODESET_NOT_PERMITTED;
  tq_buffer_t octets(scratch_security(secure_));
  for (; s != nullptr && *s != 0; ++s) {
    const unsigned char b[4] = {static_cast<unsigned char>(*s >> 24), static_cast<unsigned char>(*s >> 16),
                                static_cast<unsigned char>(*s >> 8), static_cast<unsigned char>(*s)};
    octets.append(b, 4);
  }
  return store(tq_asn_cs_universal, octets.data(), octets.used());
}

int tq_asn_charstring::try_store_ia5(std::uint32_t cs, const unsigned char* bytes, std::uint32_t length) {
  if (!check_accepted_codeset(cs)) return ASN_ERR_CODESET_NOT_PERMITTED;
  tq_buffer_t converted(scratch_security(secure_));
  const int status = convert_text(tq_asn_cs_ia5, cs, bytes, length, converted, scratch_security(secure_));
  if (status != 0) return status;
  return store(cs, converted.data(), converted.used());
}

int tq_asn_charstring::set_value_IA5(const tq_r_buffer_t& in, int convert) {
  if (!convert) return store(tq_asn_cs_ia5, in.current(), in.length());
  if (preferred_ != 0 && try_store_ia5(preferred_, in.current(), in.length()) == 0) return 0;
  for (std::uint32_t cs : kIA5Order)
    if (check_preferred_codeset(cs) && try_store_ia5(cs, in.current(), in.length()) == 0) return 0;
  for (std::uint32_t cs : kIA5Order)
    if (check_accepted_codeset(cs) && try_store_ia5(cs, in.current(), in.length()) == 0) return 0;
  return ASN_ERR_CODESET_NOT_PERMITTED;
}

int tq_asn_charstring::set_value_IA5(const char* s, int convert) {
  return set_value_IA5(tq_r_buffer_t(text_bytes(s), text_length(s)), convert);
}

int tq_asn_charstring::set_value_C(const char* s) {
  const std::uint32_t length = text_length(s);
  tq_buffer_t ia5(scratch_security(secure_));
  for (std::uint32_t i = 0; i < length; ++i) {
    const unsigned char c = text_bytes(s)[i];
    if (!local_maps_to_ia5(c)) return ASN_ERR_UNREPRESENTABLE;
    ia5.append(c);
  }
  if (preferred_ != 0 && try_store_ia5(preferred_, ia5.data(), ia5.used()) == 0) return 0;
  for (std::uint32_t cs : kLocalOrder)
    if (check_preferred_codeset(cs) && try_store_ia5(cs, ia5.data(), ia5.used()) == 0) return 0;
  for (std::uint32_t cs : kLocalOrder)
    if (check_accepted_codeset(cs) && try_store_ia5(cs, ia5.data(), ia5.used()) == 0) return 0;
  return ASN_ERR_UNREPRESENTABLE;
}

// --- renderings and conversions -----------------------------------------------

int tq_asn_charstring::convert_into(std::uint32_t cs, tq_buffer_t& out) const {
  std::uint32_t from = 0;
  const unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  const int status = source(from, bytes, length);
  if (status != 0) return status;
  return convert_text(from, cs, bytes, length, out, scratch_security(secure_));
}

int tq_asn_charstring::convert_in_place(std::uint32_t cs) {
  std::uint32_t from = 0;
  const unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  const int status = source(from, bytes, length);
  if (status != 0) return status;
  if (from == cs) return 0;
  if (!check_accepted_codeset(cs)) return ASN_ERR_CODESET_NOT_PERMITTED;
  tq_buffer_t work(scratch_security(secure_));
  if (convert_text(from, cs, bytes, length, work, scratch_security(secure_)) != 0) return ASN_ERR_UNREPRESENTABLE;
  set_value_uninterpreted(work.data(), work.used());
  (void)set_codeset(cs);
  return 0;
}

int tq_asn_charstring::convert2IA5() { return convert_in_place(tq_asn_cs_ia5); }
int tq_asn_charstring::convert2printable() { return convert_in_place(tq_asn_cs_printable); }
int tq_asn_charstring::convert2visible() { return convert_in_place(tq_asn_cs_visible); }
int tq_asn_charstring::convert2T61() { return convert_in_place(tq_asn_cs_t61); }
int tq_asn_charstring::convert2BMP() { return convert_in_place(tq_asn_cs_bmp); }
int tq_asn_charstring::convert2Univ() { return convert_in_place(tq_asn_cs_universal); }
int tq_asn_charstring::convert2UTF8() { return convert_in_place(tq_asn_cs_utf8); }

int tq_asn_charstring::convert2IA5(tq_buffer_t& out) const { return convert_into(tq_asn_cs_ia5, out); }
int tq_asn_charstring::convert2printable(tq_buffer_t& out) const { return convert_into(tq_asn_cs_printable, out); }
int tq_asn_charstring::convert2visible(tq_buffer_t& out) const { return convert_into(tq_asn_cs_visible, out); }
int tq_asn_charstring::convert2T61(tq_buffer_t& out) const { return convert_into(tq_asn_cs_t61, out); }
int tq_asn_charstring::convert2BMP(tq_buffer_t& out) const { return convert_into(tq_asn_cs_bmp, out); }
int tq_asn_charstring::convert2Univ(tq_buffer_t& out) const { return convert_into(tq_asn_cs_universal, out); }
int tq_asn_charstring::convert2UTF8(tq_buffer_t& out) const { return convert_into(tq_asn_cs_utf8, out); }

int tq_asn_charstring::get_value_IA5(tq_buffer_t& out) const { return convert2IA5(out); }
int tq_asn_charstring::get_value_printable(tq_buffer_t& out) const { return convert2printable(out); }
int tq_asn_charstring::get_value_visible(tq_buffer_t& out) const { return convert2visible(out); }
int tq_asn_charstring::get_value_T61(tq_buffer_t& out) const { return convert2T61(out); }
int tq_asn_charstring::get_value_BMP(tq_buffer_t& out) const { return convert2BMP(out); }
int tq_asn_charstring::get_value_Univ(tq_buffer_t& out) const { return convert2Univ(out); }
int tq_asn_charstring::get_value_UTF8(tq_buffer_t& out) const { return convert2UTF8(out); }

int tq_asn_charstring::get_value_C(tq_buffer_t& out, char subst) const {
  tq_buffer_t ia5(scratch_security(secure_));
  const int status = convert2IA5(ia5);
  if (status != 0) return status;
  for (std::uint32_t i = 0; i < ia5.used(); ++i) {
    const unsigned char c = ia5.data()[i];
    if (ia5_maps_to_local(c)) {
      out.append(c);
    } else if (subst != 0) {
      out.append(static_cast<unsigned char>(subst));
    } else {
      out.clear();
      return ASN_ERR_UNREPRESENTABLE;
    }
  }
  return 0;
}

// --- single-code-set classes --------------------------------------------------

tq_asn_ia5String::tq_asn_ia5String(security_t security) : tq_asn_charstring(security) {
  set_type_name("IA5string");
  class_ = 0;
  (void)set_codeset(tq_asn_cs_ia5);
}
int tq_asn_ia5String::check_accepted_codeset(std::uint32_t cs) const { return cs == tq_asn_cs_ia5; }
int tq_asn_ia5String::check_preferred_codeset(std::uint32_t cs) const { return cs == tq_asn_cs_ia5; }

tq_asn_printableString::tq_asn_printableString(security_t security) : tq_asn_ia5String(security) {
  set_type_name("PrintableStr");
  class_ = 0;
  (void)set_codeset(tq_asn_cs_printable);
}
int tq_asn_printableString::check_accepted_codeset(std::uint32_t cs) const { return cs == tq_asn_cs_printable; }
int tq_asn_printableString::check_preferred_codeset(std::uint32_t cs) const { return cs == tq_asn_cs_printable; }

tq_asn_visibleString::tq_asn_visibleString(security_t security) : tq_asn_ia5String(security) {
  set_type_name("VisibleStr");
  class_ = 0;
  (void)set_codeset(tq_asn_cs_visible);
}
int tq_asn_visibleString::check_accepted_codeset(std::uint32_t cs) const { return cs == tq_asn_cs_visible; }
int tq_asn_visibleString::check_preferred_codeset(std::uint32_t cs) const { return cs == tq_asn_cs_visible; }

tq_asn_teletexString::tq_asn_teletexString(security_t security) : tq_asn_charstring(security) {
  set_type_name("T61String");
  class_ = 0;
  (void)set_codeset(tq_asn_cs_t61);
}
int tq_asn_teletexString::check_accepted_codeset(std::uint32_t cs) const { return cs == tq_asn_cs_t61; }
int tq_asn_teletexString::check_preferred_codeset(std::uint32_t cs) const { return cs == tq_asn_cs_t61; }

tq_asn_bmpString::tq_asn_bmpString(security_t security) : tq_asn_charstring(security) {
  set_type_name("BMPstring");
  class_ = 0;
  (void)set_codeset(tq_asn_cs_bmp);
}
int tq_asn_bmpString::check_accepted_codeset(std::uint32_t cs) const { return cs == tq_asn_cs_bmp; }
int tq_asn_bmpString::check_preferred_codeset(std::uint32_t cs) const { return cs == tq_asn_cs_bmp; }

tq_asn_universalString::tq_asn_universalString(security_t security) : tq_asn_charstring(security) {
  set_type_name("UnivString");
  class_ = 0;
  (void)set_codeset(tq_asn_cs_universal);
}
int tq_asn_universalString::check_accepted_codeset(std::uint32_t cs) const { return cs == tq_asn_cs_universal; }
int tq_asn_universalString::check_preferred_codeset(std::uint32_t cs) const { return cs == tq_asn_cs_universal; }

tq_asn_UTF8String::tq_asn_UTF8String(security_t security) : tq_asn_charstring(security) {
  set_type_name("UTF8string");
  class_ = 0;
  (void)set_codeset(tq_asn_cs_utf8);
}
int tq_asn_UTF8String::check_accepted_codeset(std::uint32_t cs) const { return cs == tq_asn_cs_utf8; }
int tq_asn_UTF8String::check_preferred_codeset(std::uint32_t cs) const { return cs == tq_asn_cs_utf8; }

// --- directory string ---------------------------------------------------------

tq_asn_directoryString::tq_asn_directoryString(security_t security) : tq_asn_charstring(security) {
  set_type_name("DirectoryStr");
  class_ = 0;
}

int tq_asn_directoryString::check_accepted_codeset(std::uint32_t cs) const {
  switch (cs) {
    case tq_asn_cs_printable:
    case tq_asn_cs_visible:
    case tq_asn_cs_t61:
    case tq_asn_cs_universal:
    case tq_asn_cs_bmp:
    case tq_asn_cs_ia5:
    case tq_asn_cs_utf8:
      return 1;
    default:
      return 0;
  }
}

int tq_asn_directoryString::check_preferred_codeset(std::uint32_t cs) const {
  return cs == tq_asn_cs_printable || cs == tq_asn_cs_t61 || cs == tq_asn_cs_universal || cs == tq_asn_cs_utf8;
}

// VisibleString (26) is deliberately not among the tags recognised on
// reading, although the string may hold text in that code set.
bool tq_asn_directoryString::check_type(std::uint32_t tag, int cls) const {
  if (cls != class_) return false;
  return tag == tq_asn_cs_printable || tag == tq_asn_cs_t61 || tag == tq_asn_cs_bmp || tag == tq_asn_cs_universal ||
         tag == tq_asn_cs_utf8 || tag == tq_asn_cs_ia5;
}

void tq_asn_directoryString::set_preferred_codeset(std::uint32_t cs) {
  if (convert2printable() == 0) return;
  int status;
  switch (cs) {
    case tq_asn_cs_utf8:
      status = convert2UTF8();
      break;
    case tq_asn_cs_t61:
      status = convert2T61();
      break;
    case tq_asn_cs_universal:
      status = convert2Univ();
      break;
    case tq_asn_cs_bmp:
      status = convert2BMP();
      break;
    default:
      return;
  }
  if (status == 0) preferred_ = cs;
}

int tq_asn_directoryString::normalize() {
  if (!is_present() && !is_defaultable()) return ASN_ERR_NO_VALUE;
  if (preferred_ != 0 && convert_in_place(preferred_) == 0) return 0;
  // The last preferred code set in the order is UniversalString, which any
  // text reaches: its result is final.
  for (std::uint32_t cs : kNormalizeOrder) {
    if (!check_preferred_codeset(cs)) continue;
    const int status = convert_in_place(cs);
    if (status == 0 || cs == tq_asn_cs_universal) return status;
  }
  int status = ASN_ERR_UNREPRESENTABLE;
  for (std::uint32_t cs : kNormalizeOrder) {
    status = convert_in_place(cs);
    if (status == 0) break;
  }
  return status;
}
