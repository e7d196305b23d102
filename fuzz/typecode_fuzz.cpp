// The type-code decoders (tqasn_decode_obj). The first input byte picks the
// type code (bits 0-1: certificate request, update list, INTEGER, or a code
// that is none of them) and the envelope version (bits 2-3); the rest is
// the buffer.
//
// Properties: an unknown type code gives -1 and touches nothing; a refused
// buffer gives a status of the table and leaves the record as it was; an
// accepted one encodes under the same version, reads back equal and
// encodes to the same bytes again.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "records/record_gen.h"

namespace {

constexpr unsigned char kSentinel = 0xA5;
constexpr unsigned kTypes[] = {ASN_TYPE_CERT_REQUEST_IN, ASN_TYPE_UPDATE_LIST, ASN_TYPE_INTEGER, 261};

const oxs_record_info* info_for(unsigned type) {
  std::size_t count = 0;
  const oxs_record_info* table = oxs_records(&count);
  for (std::size_t i = 0; i < count; ++i)
    if (table[i].type_code == type) return &table[i];
  return nullptr;
}

std::vector<unsigned char> encode(int version, void* record, unsigned type) {
  tq_asn_buffer_t out;
  const int status = tqasn_encode_obj(version, record, type, out);
  oxs_fuzz::check(status == 0, "a decoded type-code record does not encode", "", status);
  std::vector<unsigned char> bytes(out.data, out.data + out.length);
  tq_asn_buffer_free(out);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 0xFFFFFFFFu) return 0;
  const unsigned type = kTypes[data[0] & 3];
  const int version = (data[0] >> 2) & 3;
  std::vector<unsigned char> input(data + 1, data + size);
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(input.size());
  in.data = input.empty() ? nullptr : input.data();

  // Large enough for any of the three records.
  constexpr std::size_t n = 64;
  unsigned char first[n];
  std::memset(first, kSentinel, n);
  const int status = tqasn_decode_obj(version, in, type, first);
  const oxs_record_info* info = info_for(type);
  if (info == nullptr) {
    oxs_fuzz::check(status == -1, "unknown type code accepted", "", status);
  } else {
    oxs_fuzz::check_status(status, "type-code decode");
  }
  if (status != 0) {
    for (std::size_t i = 0; i < n; ++i)
      oxs_fuzz::check(first[i] == kSentinel, "refused type-code decode touched the record", "", status);
    return 0;
  }

  const std::vector<unsigned char> once = encode(version, first, type);
  unsigned char second[n] = {};
  tq_asn_buffer_t again;
  again.length = static_cast<std::uint32_t>(once.size());
  again.data = const_cast<unsigned char*>(once.data());
  const int status2 = tqasn_decode_obj(version, again, type, second);
  oxs_fuzz::check(status2 == 0, "own type-code encoding refused", "", status2);
  std::string where;
  if (!recgen::equal(*info, first, second, &where)) oxs_fuzz::fail("type-code record changed by a round trip", where.c_str());
  oxs_fuzz::check(encode(version, second, type) == once, "second type-code encoding differs");
  tqasn_obj_free(version, type, first);
  tqasn_obj_free(version, type, second);
  return 0;
}
