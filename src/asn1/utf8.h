// Well-formed UTF-8 (RFC 3629: shortest form, no surrogates, at most
// U+10FFFF), the rule by which the local-text conversions skip or decode a
// character and the oxser tool checks the text it shows and parses. (The
// code-set converters read RFC 2279 UTF-8, as their contract says.) Not part
// of the public API.
#ifndef OXSERUTL_SRC_UTF8_H
#define OXSERUTL_SRC_UTF8_H

#include <cstddef>

namespace oxserutl {
namespace detail {

// The length of the well-formed sequence at p, of which n octets may be
// read, or 0 when there is none; its code point goes to *code when given.
inline std::size_t utf8_sequence(const unsigned char* p, std::size_t n, unsigned long* code = nullptr) noexcept {
  if (n == 0) return 0;
  const unsigned char b = p[0];
  std::size_t len = 1;
  unsigned long c = b;
  unsigned char lo = 0x80;
  unsigned char hi = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2;
    c = b & 0x1Fu;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3;
    c = b & 0x0Fu;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4;
    c = b & 0x07u;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else if (b >= 0x80) {
    return 0;
  }
  if (len > 1 && (n < len || p[1] < lo || p[1] > hi)) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    if (p[i] < 0x80 || p[i] > 0xBF) return 0;
    c = (c << 6) | (p[i] & 0x3Fu);
  }
  if (code != nullptr) *code = c;
  return len;
}

}  // namespace detail
}  // namespace oxserutl

#endif
