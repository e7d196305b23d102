// Field adapters between plain record fields and ASN.1 objects.
#define OXS_SOURCE "asn1/asnutils"
#include <oxserutl/asnutils.h>

#include <cstdlib>
#include <cstring>
#include <limits>

#include "internal.h"
#include "tqz.h"

using namespace oxserutl::detail;

// --- tqasn_integer ------------------------------------------------------------

tqasn_integer::tqasn_integer(security_t security) : tq_asn_integer(security) {}

void tqasn_integer::set_default_value() { (void)tq_asn_integer::set_default_value(0); }

int tqasn_integer::get_value(std::int32_t& out) const {
  std::int32_t v = 0;
  if (tq_asn_integer::get_value(v) != 0) v = 0;
  out = v;
  return 0;
}

int tqasn_integer::get_value(std::uint16_t& out) const {
  std::int32_t v = 0;
  (void)get_value(v);
  out = static_cast<std::uint16_t>(v);
  return 0;
}

int tqasn_integer::get_value(std::uint8_t& out) const {
  std::int32_t v = 0;
  (void)get_value(v);
  out = static_cast<std::uint8_t>(v);
  return 0;
}

// --- tqasn_octetstring --------------------------------------------------------

tqasn_octetstring::tqasn_octetstring(security_t security) : tq_asn_octetstring(security) {}

void tqasn_octetstring::set_default_value() {
  static const unsigned char kEmptyString[1] = {0};
  (void)tq_asn_octetstring::set_default_value(kEmptyString, 1);
}

int tqasn_octetstring::set_value(const char* s) {
  static const unsigned char kEmptyString[1] = {0};
  if (s == nullptr) return tq_asn_octetstring::set_value(kEmptyString, 1);
  return tq_asn_octetstring::set_value(reinterpret_cast<const unsigned char*>(s),
                                       static_cast<std::uint32_t>(std::strlen(s) + 1));
}

int tqasn_octetstring::set_value(unsigned char c) {
  const unsigned char text[2] = {c, 0};
  return tq_asn_octetstring::set_value(text, c == 0 ? 1 : 2);
}

int tqasn_octetstring::get_value(char*& out) const {
  out = nullptr;
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  const int status = tq_asn_octetstring::get_value(bytes, length);
  if (status != 0) return status;
  if (length <= 1) length = 0;  // zero or one octet: the empty string
  // A received value need not end in 0; the copy is terminated regardless.
  const bool terminated = length > 0 && bytes[length - 1] == 0;
  const std::size_t size = terminated ? length : static_cast<std::size_t>(length) + 1;
  char* copy = static_cast<char*>(mem_malloc(size));
  if (copy == nullptr) OXS_THROW_MEMORY("Out of memory get_strvalue()");
  if (length > 0) std::memcpy(copy, bytes, length);
  copy[size - 1] = '\0';
  out = copy;
  return 0;
}

int tqasn_octetstring::get_value(unsigned char& c) const {
  c = 0;
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  if (tq_asn_octetstring::get_value(bytes, length) == 0 && length > 0) c = bytes[0];
  return 0;
}

int tqasn_octetstring::get_value(unsigned char*& bytes, std::uint32_t& len) const {
  unsigned char* value = nullptr;
  std::uint32_t length = 0;
  const int status = tq_asn_octetstring::get_value(value, length);
  if (status != 0) return status;
  bytes = nullptr;
  len = length;
  if (length == 0) return 0;
  bytes = static_cast<unsigned char*>(mem_malloc(length));
  if (bytes == nullptr) OXS_THROW_MEMORY("Out of memory get_bytevalue()");
  std::memcpy(bytes, value, length);
  return 0;
}

int tqasn_octetstring::get_value(std::uint32_t n, unsigned char* dest) const {
  unsigned char* value = nullptr;
  std::uint32_t length = 0;
  const int status = tq_asn_octetstring::get_value(value, length);
  if (status != 0) return status;
  const std::uint32_t copied = length < n ? length : n;
  if (copied > 0) std::memcpy(dest, value, copied);
  if (n > copied) std::memset(dest + copied, 0, n - copied);
  return 0;
}

void tqasn_octetstring::free_obj(char* p) const {
  if (p != nullptr) mem_free(p);
}

void tqasn_octetstring::free_obj(unsigned char* p) const {
  if (p != nullptr) mem_free(p);
}

// --- tqasnUTF8String ----------------------------------------------------------

tqasnUTF8String::tqasnUTF8String(security_t security) : tq_asn_UTF8String(security) {
  set_type_name("tqUTF8string");
}

void tqasnUTF8String::set_default_value() { (void)set_value_UTF8(static_cast<const char*>(nullptr)); }

int tqasnUTF8String::set_value(const unsigned char* s) { return set_value(reinterpret_cast<const char*>(s)); }

int tqasnUTF8String::set_value(const char* s) {
  const std::size_t length = s == nullptr ? 0 : std::strlen(s);
  if (length == 0) return tq_asn_charstring::set_value(nullptr, 0);
  if (!local_code_set()) {
    if (length > std::numeric_limits<std::uint32_t>::max()) OXS_THROW_MEMORY("Out of memory in set_value()");
    return tq_asn_charstring::set_value(reinterpret_cast<const unsigned char*>(s), static_cast<std::uint32_t>(length));
  }
  const tqz::ZUTF8String_5_1 utf8{tqz::ZLCConstString_5_1(s, length)};
  if (utf8.getChars() == nullptr || utf8.getLength() > std::numeric_limits<std::uint32_t>::max())
    OXS_THROW_MEMORY("Out of memory in set_value()");
  return tq_asn_charstring::set_value(reinterpret_cast<const unsigned char*>(utf8.getChars()),
                                      static_cast<std::uint32_t>(utf8.getLength()));
}

int tqasnUTF8String::get_value(unsigned char*& out) const {
  char* text = nullptr;
  const int status = get_value(text);
  out = reinterpret_cast<unsigned char*>(text);
  return status;
}

int tqasnUTF8String::get_value(char*& out) const {
  out = nullptr;
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  const int status = tq_asn_charstring::get_value(bytes, length);
  if (status != 0) return status;
  return text_copy(bytes, length, local_code_set(), out);
}

namespace oxserutl {
namespace detail {

int text_copy(const unsigned char* bytes, std::uint32_t length, bool local, char*& out) noexcept {
  out = nullptr;
  if (!local || length == 0) {
    char* copy = static_cast<char*>(mem_malloc(static_cast<std::size_t>(length) + 1));
    if (copy == nullptr) return ASN_ERR_MEMORY;
    if (length > 0) std::memcpy(copy, bytes, length);
    copy[length] = '\0';
    out = copy;
    return 0;
  }
  // The value is read as a zero-terminated string, as the record's text
  // field will be: it ends at the first zero octet, and never past its
  // length.
  const void* zero = std::memchr(bytes, 0, length);
  const std::size_t text_length =
      zero == nullptr ? length : static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - bytes);
  const tqz::ZLCString_5_1 converted{tqz::ZUTF8ConstString_5_1(reinterpret_cast<const char*>(bytes), text_length)};
  if (converted.getChars() == nullptr) return ASN_ERR_MEMORY;
  char* copy = static_cast<char*>(mem_malloc(converted.getLength() + 1));
  if (copy == nullptr) return ASN_ERR_MEMORY;
  std::memcpy(copy, converted.getChars(), converted.getLength() + 1);
  out = copy;
  return 0;
}

bool block_copy(const unsigned char* bytes, std::uint32_t length, unsigned char*& out) noexcept {
  if (allocation_fault()) return false;
  auto* copy = static_cast<unsigned char*>(std::malloc(length));
  if (copy == nullptr && length != 0) return false;
  if (length != 0) std::memcpy(copy, bytes, length);
  out = copy;
  return true;
}

}  // namespace detail
}  // namespace oxserutl

void tqasnUTF8String::free_obj(char* p) const {
  if (p != nullptr) mem_free(p);
}
