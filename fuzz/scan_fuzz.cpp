// The raw BER scanners over the input as a stream of elements: identifier,
// length, and the contents of BIT STRING, OBJECT IDENTIFIER, OCTET STRING
// and NULL, descending into constructed elements.
//
// Properties: each result matches an independent reading of the octets
// (X.690 8.1.2, 8.1.3, 8.6.2); a refused call moves neither cursor nor count
// and gives a status of the table; a copy holds exactly its octets (ASan).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_util.h"

namespace {

struct cursor {
  unsigned char* p;
  unsigned int left;
};

// After a call: unchanged on failure, advanced consistently on success.
void check_moved(const cursor& before, const cursor& after, int status, const char* what) {
  oxs_fuzz::check_status(status, what);
  if (status != 0) {
    oxs_fuzz::check(before.p == after.p && before.left == after.left, "refused scanner moved the cursor", what, status);
    return;
  }
  const auto moved = static_cast<unsigned int>(after.p - before.p);
  oxs_fuzz::check(after.p >= before.p && moved <= before.left && after.left == before.left - moved,
                  "scanner cursor and count disagree", what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  std::vector<unsigned char> input(data, data + size);
  cursor c{input.data(), static_cast<unsigned int>(size)};
  int steps = 0;
  while (c.left > 0 && steps++ < 4096) {
    // Identifier.
    cursor before = c;
    unsigned int tag = 0;
    int constructed = -1;
    int cls = -1;
    int status = tqAsnGetType(&c.p, &c.left, &tag, &constructed, &cls);
    check_moved(before, c, status, "tqAsnGetType");
    if (status != 0) {
      // Only a high tag number can run out of octets.
      oxs_fuzz::check((before.p[0] & 0x1F) == 0x1F && status == ASN_ERR_TRUNCATED, "identifier refused", "", status);
      break;
    }
    const unsigned char lead = before.p[0];
    oxs_fuzz::check(cls == lead >> 6 && constructed == ((lead >> 5) & 1), "class or form misread");
    if ((lead & 0x1F) != 0x1F) {
      oxs_fuzz::check(tag == (lead & 0x1Fu) && c.p == before.p + 1, "low tag number misread", "", tag);
    } else {
      unsigned int octets = 1;
      while (before.p[octets] & 0x80) ++octets;
      oxs_fuzz::check(c.p == before.p + octets + 1, "high tag number length misread");
    }

    // Length.
    before = c;
    int definite = -1;
    unsigned int length = 0;
    status = tqAsnGetLength(&c.p, &c.left, &definite, &length);
    check_moved(before, c, status, "tqAsnGetLength");
    if (status != 0) {
      oxs_fuzz::check(status == ASN_ERR_TRUNCATED, "length refused other than truncated", "", status);
      oxs_fuzz::check(before.left == 0 || ((before.p[0] & 0x80) && (before.p[0] & 0x7Fu) >= before.left),
                      "length refused although complete");
      break;
    }
    const unsigned char first = before.p[0];
    if (first < 0x80) {
      oxs_fuzz::check(definite == 1 && length == first && c.p == before.p + 1, "short length misread");
    } else if (first == 0x80) {
      oxs_fuzz::check(definite == 0 && length == 0 && c.p == before.p + 1, "indefinite length misread");
    } else {
      const unsigned int octets = first & 0x7Fu;
      std::uint32_t expected = 0;
      for (unsigned int i = 1; i <= octets; ++i) expected = (expected << 8) | before.p[i];
      oxs_fuzz::check(definite == 1 && length == expected && c.p == before.p + 1 + octets, "long length misread",
                      "", length);
    }

    if (constructed || definite == 0) continue;  // descend: the next identifier follows

    // Contents of a primitive.
    before = c;
    if (cls == 0 && tag == 3) {
      unsigned char* bits = nullptr;
      unsigned int nbits = 0;
      status = tqAsnGetBitstringValue(&c.p, &c.left, length, &bits, &nbits);
      check_moved(before, c, status, "tqAsnGetBitstringValue");
      if (status == 0) {
        const unsigned int unused = before.p[0];
        oxs_fuzz::check(length >= 1 && length <= 4 && unused <= 7 && nbits == (length - 1) * 8 - unused,
                        "bit count misread", "", nbits);
        for (unsigned int i = 0; i + 1 < length; ++i) {
          const unsigned char mask = i + 2 == length ? static_cast<unsigned char>(0xFFu << unused) : 0xFF;
          oxs_fuzz::check(bits[i] == (before.p[1 + i] & mask), "bit string octets differ");
        }
        std::free(bits);
        continue;
      }
    } else if (cls == 0 && (tag == 4 || tag == 6)) {
      unsigned char* copy = nullptr;
      unsigned int n = 0;
      tq_asn_buffer_t oid;
      status = tag == 4 ? tqAsnGetOctetstringValue(&c.p, &c.left, length, &copy, &n)
                        : tqAsnGetOIDValue(&c.p, &c.left, length, &oid);
      check_moved(before, c, status, tag == 4 ? "tqAsnGetOctetstringValue" : "tqAsnGetOIDValue");
      if (status == 0) {
        if (tag == 6) {
          copy = oid.data;
          n = oid.length;
        }
        oxs_fuzz::check(n == length && std::memcmp(copy, before.p, n) == 0, "copied contents differ", "", tag);
        if (tag == 4) std::free(copy);
        else tq_asn_buffer_free(oid);
        continue;
      }
    } else if (cls == 0 && tag == 5) {
      oxs_fuzz::check(tqAsnGetNullValue(&c.p, &c.left) == 0 && c.p == before.p, "NULL reader moved");
    }
    if (status != 0) {
      // The content readers refuse only for the documented reasons.
      oxs_fuzz::check(status == ASN_ERR_TRUNCATED ? length > c.left
                      : status == ASN_ERR_ZERO_LENGTH ? length == 0
                      : status == ASN_ERR_TOO_LARGE ? tag == 3 && length > 4
                                                    : status == ASN_ERR_BAD_LENGTH && tag == 3,
                      "content reader refused for no reason", "", status);
    }
    if (length > c.left) break;
    c.p += length;
    c.left -= length;
  }
  return 0;
}
