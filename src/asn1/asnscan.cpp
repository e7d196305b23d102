// Raw BER scanners. Identifier and length octets go through the frame
// reader's own routines, so the two can never disagree, and every octet is
// taken through the same bounded reader. They are C
// functions: each runs through the library's boundary, and no exception
// leaves one.
#define OXS_SOURCE "asn1/asnscan"
#include <oxserutl/asnscan.h>

#include <cstring>

#include "boundary.h"
#include "internal.h"

using namespace oxserutl::detail;

namespace {

// A new block holding a copy of n octets, at least one byte long so that
// null always means no memory.
unsigned char* copy_block(const unsigned char* from, unsigned int n) {
  auto* block = static_cast<unsigned char*>(mem_malloc(n == 0 ? 1 : n));
  if (block != nullptr && n != 0) std::memcpy(block, from, n);
  return block;
}

// The caller's cursor moved to where the reader stands.
void advance(unsigned char** cursor, unsigned int* remaining, const byte_reader& r) {
  *cursor += *remaining - r.left();
  *remaining = static_cast<unsigned int>(r.left());
}

}  // namespace

extern "C" {

int tqAsnGetType(unsigned char** cursor, unsigned int* remaining, unsigned int* tag, int* constructed, int* cls) {
  return at_boundary<other_exceptions::no_memory>([&]() -> int {
    if (cursor == nullptr || remaining == nullptr || tag == nullptr || constructed == nullptr || cls == nullptr)
      return ASN_ERR_NO_SUCH_ITEM;
    byte_reader r(*cursor, *remaining);
    std::uint32_t number = 0;
    int form = 0;
    int klass = 0;
    const int status = read_identifier(r, number, form, klass);
    if (status != 0) return status;
    *tag = number;
    *constructed = form;
    *cls = klass;
    advance(cursor, remaining, r);
    return 0;
  });
}

int tqAsnGetLength(unsigned char** cursor, unsigned int* remaining, int* definite, unsigned int* length) {
  return at_boundary<other_exceptions::no_memory>([&]() -> int {
    if (cursor == nullptr || remaining == nullptr || definite == nullptr || length == nullptr)
      return ASN_ERR_NO_SUCH_ITEM;
    *definite = 1;
    byte_reader r(*cursor, *remaining);
    int form = 1;
    std::uint32_t value = 0;
    bool overflow = false;  // the scanner keeps the low 32 bits, as documented
    const int status = read_length(r, form, value, overflow);
    if (status != 0) return status;
    *definite = form;
    *length = value;
    advance(cursor, remaining, r);
    return 0;
  });
}

int tqAsnGetNullValue(unsigned char**, unsigned int*) { return 0; }  // nothing that can fail

int tqAsnGetBitstringValue(unsigned char** cursor, unsigned int* remaining, unsigned int len, unsigned char** bits,
                           unsigned int* nbits) {
  return at_boundary<other_exceptions::no_memory>([&]() -> int {
    if (cursor == nullptr || remaining == nullptr || bits == nullptr || nbits == nullptr) return ASN_ERR_NO_SUCH_ITEM;
    if (len > 4) return ASN_ERR_TOO_LARGE;
    if (len == 0) return ASN_ERR_ZERO_LENGTH;
    byte_reader r(*cursor, *remaining);
    const unsigned char* contents = nullptr;
    if (!r.take(len, contents)) return ASN_ERR_TRUNCATED;
    // X.690 8.6.2.2-8.6.2.3: the initial octet counts the unused bits, 0 to
    // 7, and must be 0 when no data octet follows.
    const unsigned char unused = contents[0];
    if (unused > 7 || (len == 1 && unused != 0)) return ASN_ERR_BAD_LENGTH;
    const unsigned int data_len = len - 1;
    unsigned char* block = copy_block(contents + 1, data_len);
    if (block == nullptr) return ASN_ERR_MEMORY;
    advance(cursor, remaining, r);
    if (data_len != 0) block[data_len - 1] &= static_cast<unsigned char>(0xFFu << unused);
    *bits = block;
    *nbits = data_len * 8 - unused;
    return 0;
  });
}

int tqAsnGetOIDValue(unsigned char** cursor, unsigned int* remaining, unsigned int len, tq_asn_buffer_t* out) {
  return at_boundary<other_exceptions::no_memory>([&]() -> int {
    if (out == nullptr || cursor == nullptr || remaining == nullptr) return ASN_ERR_NO_SUCH_ITEM;
    if (len == 0) return ASN_ERR_ZERO_LENGTH;
    byte_reader r(*cursor, *remaining);
    const unsigned char* contents = nullptr;
    if (!r.take(len, contents)) return ASN_ERR_TRUNCATED;
    // The subidentifiers (X.690 8.19.2) are handed over undecoded.
    unsigned char* block = copy_block(contents, len);
    if (block == nullptr) return ASN_ERR_MEMORY;
    advance(cursor, remaining, r);
    out->length = len;
    out->data = block;
    return 0;
  });
}

int tqAsnGetOctetstringValue(unsigned char** cursor, unsigned int* remaining, unsigned int len, unsigned char** data,
                             unsigned int* outlen) {
  return at_boundary<other_exceptions::no_memory>([&]() -> int {
    if (cursor == nullptr || remaining == nullptr || data == nullptr || outlen == nullptr) return ASN_ERR_NO_SUCH_ITEM;
    if (len == 0) return ASN_ERR_ZERO_LENGTH;
    byte_reader r(*cursor, *remaining);
    const unsigned char* contents = nullptr;
    if (!r.take(len, contents)) return ASN_ERR_TRUNCATED;
    unsigned char* block = copy_block(contents, len);
    if (block == nullptr) return ASN_ERR_MEMORY;
    advance(cursor, remaining, r);
    *data = block;
    *outlen = len;
    return 0;
  });
}

}  // extern "C"
