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

// --- the one bounded reader ------------------------------------------------------
//
// Every frame reader (the object tree's, the direct path's, the raw
// scanners' and the element walker's) takes its octets through a
// byte_reader: take() and take_byte() move forward only over octets that
// are there, peek() looks at the next one; nothing indexes the input on its
// own. The content readers of the object tree have the same promise from
// tq_r_buffer_t's take/take_byte/skip.
class byte_reader {
 public:
  byte_reader() noexcept = default;
  byte_reader(const unsigned char* p, const unsigned char* end) noexcept : p_(p), end_(end) {}
  byte_reader(const unsigned char* p, std::size_t n) noexcept : p_(p), end_(p + n) {}

  const unsigned char* position() const noexcept { return p_; }
  const unsigned char* end() const noexcept { return end_; }
  std::size_t left() const noexcept { return static_cast<std::size_t>(end_ - p_); }
  bool empty() const noexcept { return p_ == end_; }

  // The next octet, left where it is; false at the end.
  bool peek(unsigned char& out) const noexcept {
    if (p_ == end_) return false;
    out = *p_;
    return true;
  }
  bool take_byte(unsigned char& out) noexcept {
    if (p_ == end_) return false;
    out = *p_++;
    return true;
  }
  // The next n octets: out points at them and the reader moves past them;
  // false (nothing moved) when fewer are left.
  bool take(std::size_t n, const unsigned char*& out) noexcept {
    if (n > left()) return false;
    out = p_;
    p_ += n;
    return true;
  }

 private:
  const unsigned char* p_ = nullptr;
  const unsigned char* end_ = nullptr;
};

// --- identifier and length octets (X.690 8.1.2, 8.1.3) -----------------------
//
// The readers move the reader past what they read, and leave it where it
// was on failure.

// Identifier octets: tag number (kept to 32 bits for high tag numbers),
// constructed (bit 6) and class (the top two bits). ASN_ERR_TRUNCATED when
// the input ends before the last identifier octet.
inline int read_identifier(byte_reader& in, std::uint32_t& tag, int& constructed, int& cls) noexcept {
  byte_reader r = in;
  unsigned char first = 0;
  if (!r.take_byte(first)) return ASN_ERR_TRUNCATED;
  std::uint32_t number = first & 0x1Fu;
  if (number == 0x1Fu) {
    // High tag number: base 128, most significant group first, bit 8 set on
    // every octet but the last.
    number = 0;
    for (unsigned char octet = 0x80; (octet & 0x80u) != 0;) {
      if (!r.take_byte(octet)) return ASN_ERR_TRUNCATED;
      number = number * 128u + (octet & 0x7Fu);
    }
  }
  tag = number;
  constructed = (first & 0x20u) != 0 ? 1 : 0;
  cls = first >> 6;
  in = r;
  return 0;
}

// Length octets: definite 0 for the indefinite form 80. A long form keeps
// the low 32 bits of its value; length_overflow is set when significant
// octets lie beyond them (no input can hold such a length). ASN_ERR_TRUNCATED
// when the input ends before the last length octet.
inline int read_length(byte_reader& in, int& definite, std::uint32_t& length, bool& length_overflow) noexcept {
  byte_reader r = in;
  unsigned char first = 0;
  if (!r.take_byte(first)) return ASN_ERR_TRUNCATED;
  definite = 1;
  length_overflow = false;
  if (first < 0x80u) {  // the short form, by far the most common
    length = first;
    in = r;
    return 0;
  }
  if (first == 0x80u) {
    definite = 0;
    length = 0;
    in = r;
    return 0;
  }
  const unsigned char* octets = nullptr;
  const std::uint32_t count = first & 0x7Fu;
  if (!r.take(count, octets)) return ASN_ERR_TRUNCATED;
  std::uint32_t value = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    if ((value >> 24) != 0) length_overflow = true;
    value = (value << 8) | octets[i];
  }
  length = value;
  in = r;
  return 0;
}

// One element, as the fast readers take it: the one-octet identifier id,
// then a definite length in the short form or a long form of one to four
// octets, and as many contents octets. On success contents reads them and
// in moves past them; false (in unchanged) for anything else, which the
// object tree then reads (or refuses) in full.
inline bool read_definite_element(byte_reader& in, unsigned char id, byte_reader& contents) noexcept {
  byte_reader r = in;
  const unsigned char* head = nullptr;
  if (!r.take(2, head) || head[0] != id) return false;
  std::size_t n = head[1];
  if (n & 0x80) {
    const std::size_t count = n & 0x7F;
    const unsigned char* octets = nullptr;
    if (count == 0 || count > 4 || !r.take(count, octets)) return false;
    n = 0;
    for (std::size_t i = 0; i < count; ++i) n = n << 8 | octets[i];
  }
  const unsigned char* body = nullptr;
  if (!r.take(n, body)) return false;
  contents = byte_reader(body, n);
  in = r;
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
