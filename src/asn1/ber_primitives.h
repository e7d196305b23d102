// The small BER rules that every reader and writer in the project shares:
// the object tree, the direct path of the record functions, the raw
// scanners and the oxser tool's element walker. Each rule is written here
// once, as an inline function over plain bytes, so that the fast paths and
// the class library cannot drift apart. Not part of the public API.
#ifndef OXSERUTL_SRC_BER_PRIMITIVES_H
#define OXSERUTL_SRC_BER_PRIMITIVES_H

#include <cstddef>
#include <cstdint>

#include <oxserutl/status.h>

namespace oxserutl {
namespace detail {

// --- identifier and length octets (X.690 8.1.2, 8.1.3) -----------------------
//
// The readers take the cursor as a pointer and a remaining count, advance
// both on success and leave them unchanged on failure.

// Identifier octets: tag number (kept to 32 bits for high tag numbers),
// constructed (bit 6) and class (the top two bits). ASN_ERR_TRUNCATED when
// the input ends before the last identifier octet.
inline int read_identifier(const unsigned char*& p, std::uint32_t& remaining, std::uint32_t& tag, int& constructed,
                           int& cls) noexcept {
  if (remaining == 0) return ASN_ERR_TRUNCATED;
  const unsigned char first = p[0];
  std::uint32_t used = 1;
  std::uint32_t number = first & 0x1Fu;
  if (number == 0x1Fu) {
    // High tag number: base 128, most significant group first, bit 8 set on
    // every octet but the last.
    number = 0;
    for (;;) {
      if (used >= remaining) return ASN_ERR_TRUNCATED;
      const unsigned char octet = p[used++];
      number = number * 128u + (octet & 0x7Fu);
      if ((octet & 0x80u) == 0) break;
    }
  }
  tag = number;
  constructed = (first & 0x20u) != 0 ? 1 : 0;
  cls = first >> 6;
  p += used;
  remaining -= used;
  return 0;
}

// Length octets: definite 0 for the indefinite form 80. A long form keeps
// the low 32 bits of its value; length_overflow is set when significant
// octets lie beyond them (no input can hold such a length). ASN_ERR_TRUNCATED
// when the input ends before the last length octet.
inline int read_length(const unsigned char*& p, std::uint32_t& remaining, int& definite, std::uint32_t& length,
                       bool& length_overflow) noexcept {
  if (remaining == 0) return ASN_ERR_TRUNCATED;
  const unsigned char first = p[0];
  definite = 1;
  length_overflow = false;
  if (first < 0x80u) {  // the short form, by far the most common
    length = first;
    p += 1;
    remaining -= 1;
    return 0;
  }
  if (first == 0x80u) {
    definite = 0;
    length = 0;
    p += 1;
    remaining -= 1;
    return 0;
  }
  const std::uint32_t count = first & 0x7Fu;
  if (count >= remaining) return ASN_ERR_TRUNCATED;  // fewer than count octets follow
  std::uint32_t value = 0;
  for (std::uint32_t i = 1; i <= count; ++i) {
    if ((value >> 24) != 0) length_overflow = true;
    value = (value << 8) | p[i];
  }
  length = value;
  p += count + 1;
  remaining -= count + 1;
  return 0;
}

// One element from a bounded cursor, as the fast readers take it: the
// one-octet identifier id, then a definite length in the short form or a
// long form of one to four octets that fits before end. On success the
// contents are [contents, contents + length) and p moves past them; false
// (p unchanged) for anything else, which the object tree then reads (or
// refuses) in full.
inline bool read_definite_element(const unsigned char*& p, const unsigned char* end, unsigned char id,
                                  const unsigned char*& contents, std::uint32_t& length) noexcept {
  const unsigned char* q = p;
  std::size_t left = static_cast<std::size_t>(end - q);
  if (left < 2 || q[0] != id) return false;
  std::size_t n = q[1];
  q += 2;
  left -= 2;
  if (n & 0x80) {
    const std::size_t octets = n & 0x7F;
    if (octets == 0 || octets > 4 || octets > left) return false;
    n = 0;
    for (std::size_t i = 0; i < octets; ++i) n = n << 8 | q[i];
    q += octets;
    left -= octets;
  }
  if (n > left) return false;
  contents = q;
  length = static_cast<std::uint32_t>(n);
  p = q + n;
  return true;
}

// The shortest definite form of a length: its size in octets, and the
// octets themselves written into size octets at out (no call, so that the
// writers stay fast).
inline unsigned definite_length_size(std::uint32_t length) noexcept {
  return length < 0x80u ? 1 : length <= 0xFFu ? 2 : length <= 0xFFFFu ? 3 : length <= 0xFFFFFFu ? 4 : 5;
}
inline void put_definite_length(unsigned char* out, unsigned size, std::uint32_t length) noexcept {
  if (size == 1) {
    out[0] = static_cast<unsigned char>(length);
    return;
  }
  out[0] = static_cast<unsigned char>(0x80u | (size - 1));
  for (unsigned i = size - 1; i > 0; --i) {
    out[i] = static_cast<unsigned char>(length);
    length >>= 8;
  }
}

// --- INTEGER contents (X.690 8.3) -------------------------------------------------

// The 32-bit value of n content octets: sign-extended when shorter than
// four. More than four fit only when every octet before the last four is
// 00; the low 32 bits are then the bit pattern of an unsigned value
// (00 80 00 00 00 reads as 0x80000000). false when they do not fit.
inline bool int32_from_contents(const unsigned char* c, std::size_t n, std::int32_t& out) noexcept {
  for (std::size_t i = 0; i + 4 < n; ++i) {
    if (c[i] != 0) return false;
  }
  std::uint32_t word = 0;
  for (std::size_t i = 0; i < n; ++i) word = (word << 8) | c[i];
  if (n > 0 && n < 4 && (c[0] & 0x80)) word |= 0xFFFFFFFFu << (8 * n);
  out = static_cast<std::int32_t>(word);
  return true;
}

// The shortest two's-complement contents of v: the octets that only repeat
// the sign of the octet after them are dropped. data() points at size
// octets.
struct int32_octets {
  unsigned char bytes[4];
  unsigned size;
  const unsigned char* data() const noexcept { return bytes + (4 - size); }
};
inline int32_octets int32_contents(std::int32_t v) noexcept {
  const auto bits = static_cast<std::uint32_t>(v);
  int32_octets out{{static_cast<unsigned char>(bits >> 24), static_cast<unsigned char>(bits >> 16),
                    static_cast<unsigned char>(bits >> 8), static_cast<unsigned char>(bits)},
                   4};
  unsigned skip = 0;
  while (skip < 3 && ((out.bytes[skip] == 0x00 && !(out.bytes[skip + 1] & 0x80)) ||
                      (out.bytes[skip] == 0xFF && (out.bytes[skip + 1] & 0x80))))
    ++skip;
  out.size = 4 - skip;
  return out;
}

// --- the versioned envelope: <header length> <version> AC DC, then one element

constexpr unsigned char kEnvelopeMarker1 = 0xAC;
constexpr unsigned char kEnvelopeMarker2 = 0xDC;
constexpr unsigned char kEnvelopeLength = 4;  // the header this library writes
constexpr unsigned char kRecordVersion = 2;   // the version of the record functions' envelope

// Whether the bytes carry the envelope markers and an element after them.
inline bool envelope_marked(const unsigned char* data, std::uint32_t length) noexcept {
  return data != nullptr && length > 4 && data[2] == kEnvelopeMarker1 && data[3] == kEnvelopeMarker2;
}

// Where the element behind an envelope of the given version starts, or 0
// when the envelope is missing, of another version, or its header length is
// 0 or runs past the buffer.
inline std::uint32_t envelope_element(const unsigned char* data, std::uint32_t length, int version) noexcept {
  if (!envelope_marked(data, length) || data[1] != static_cast<unsigned char>(version & 0xFF)) return 0;
  const std::uint32_t header = data[0];
  return header <= length ? header : 0;
}

}  // namespace detail
}  // namespace oxserutl

#endif
