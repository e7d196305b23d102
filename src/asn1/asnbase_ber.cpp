// BER identifier and length octets (X.690 8.1.2 and 8.1.3), shared by the
// frame reader and writer and by the raw scanning functions.
#define OXS_SOURCE "asn1/asnbase"
#include "internal.h"

namespace oxserutl {
namespace detail {

int read_identifier(const unsigned char*& p, std::uint32_t& remaining, std::uint32_t& tag, int& constructed,
                    int& cls) noexcept {
  if (remaining == 0) return ASN_ERR_TRUNCATED;
  const unsigned char first = p[0];
  std::uint32_t used = 1;
  std::uint32_t number = first & 0x1Fu;
  if (number == 0x1Fu) {
    // High tag number: base 128, most significant group first, bit 8 set on
    // every octet but the last. The number is kept to 32 bits.
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

int read_length(const unsigned char*& p, std::uint32_t& remaining, int& definite, std::uint32_t& length,
                bool& length_overflow) noexcept {
  if (remaining == 0) return ASN_ERR_TRUNCATED;
  const unsigned char first = p[0];
  definite = 1;
  length_overflow = false;
  if (first == 0x80u) {
    definite = 0;
    length = 0;
    p += 1;
    remaining -= 1;
    return 0;
  }
  if (first < 0x80u) {
    length = first;
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

void write_identifier(tq_buffer_t& out, int cls, bool constructed, std::uint32_t tag) {
  const unsigned char lead = static_cast<unsigned char>(((cls & 3) << 6) | (constructed ? 0x20 : 0));
  if (tag <= 30) {
    out.append(static_cast<unsigned char>(lead | tag));
    return;
  }
  out.append(static_cast<unsigned char>(lead | 0x1F));
  unsigned char groups[5];
  int n = 0;
  do {
    groups[n++] = static_cast<unsigned char>(tag & 0x7F);
    tag >>= 7;
  } while (tag != 0);
  while (n > 1) out.append(static_cast<unsigned char>(groups[--n] | 0x80));
  out.append(groups[0]);
}

void write_length(tq_buffer_t& out, std::uint32_t length) {
  if (length < 0x80) {
    out.append(static_cast<unsigned char>(length));
    return;
  }
  int octets = length <= 0xFFu ? 1 : length <= 0xFFFFu ? 2 : length <= 0xFFFFFFu ? 3 : 4;
  out.append(static_cast<unsigned char>(0x80 | octets));
  while (octets-- > 0) out.append(static_cast<unsigned char>(length >> (8 * octets)));
}

}  // namespace detail
}  // namespace oxserutl
