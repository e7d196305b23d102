// Writing BER identifier and length octets (X.690 8.1.2 and 8.1.3) into a
// buffer; the readers, shared with the raw scanners, the direct path and the
// tool, are in ber_primitives.h.
#define OXS_SOURCE "asn1/asnbase"
#include "internal.h"

namespace oxserutl {
namespace detail {

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
  unsigned char octets[5];
  const unsigned size = definite_length_size(length);
  put_definite_length(octets, size, length);
  out.append(octets, size);
}

}  // namespace detail
}  // namespace oxserutl
