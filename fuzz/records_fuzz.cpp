// Every record decoder: the records' own functions, plain and local-code-set,
// and the type-code functions (tqasn_decode_obj). The first input byte picks
// the form (bit 0: local code set) and, in bits 1-7, the record; a value past
// the last record picks instead a type code (certificate request, update
// list, INTEGER, or a code that is none of them) and an envelope version
// (0 to 3). The rest is the buffer handed to the decoder, envelope included.
//
// Properties:
//  - a refused buffer gives a status of the table (-1 for the unknown type
//    code) and leaves the caller's record exactly as it was (a sentinel);
//  - an accepted buffer gives a record that encodes; decoding that
//    encoding gives an equal record, and encoding it again the same bytes;
//  - for the records' own functions, the object tree alone (the path for
//    whatever the direct path declines) gives the same status, the same
//    record (strictly: the same null pointers) and the same encoding.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "records/record_gen.h"

namespace {

constexpr unsigned char kSentinel = 0x5A;
constexpr unsigned kTypes[] = {ASN_TYPE_CERT_REQUEST_IN, ASN_TYPE_UPDATE_LIST, ASN_TYPE_INTEGER, 261};

using decoder = std::function<int(tq_asn_buffer_t&, void*)>;
using encoder = std::function<int(tq_asn_buffer_t&, void*)>;

std::vector<unsigned char> encode(const encoder& f, void* record, const char* what) {
  tq_asn_buffer_t out;
  const int status = f(out, record);
  oxs_fuzz::check(status == 0, "a decoded record does not encode", what, status);
  std::vector<unsigned char> bytes(out.data, out.data + out.length);
  tq_asn_buffer_free(out);
  return bytes;
}

// A block of n sentinel octets that the decoder fills.
void* decode(const decoder& f, std::vector<unsigned char> input, std::size_t n, int* status) {
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(input.size());
  in.data = input.empty() ? nullptr : input.data();
  void* record = std::malloc(n);
  std::memset(record, kSentinel, n);
  *status = f(in, record);
  return record;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  oxs_fuzz::set_local_code_set();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 0xFFFFFFFFu) return 0;
  static const auto records = recgen::callable_records();
  const std::size_t pick = data[0] >> 1;
  const int lcs = data[0] & 1;
  const oxs_record_info* info = nullptr;
  decoder dec, tree_dec;
  encoder enc, tree_enc;
  std::function<void(void*)> release = [&](void* r) { recgen::destroy(*info, r); };
  if (pick < records.size()) {
    info = records[pick];
    dec = [&](tq_asn_buffer_t& in, void* r) { return info->decode(in, r, lcs); };
    tree_dec = [&](tq_asn_buffer_t& in, void* r) { return info->tree_decode(in, r, lcs); };
    enc = [&](tq_asn_buffer_t& out, void* r) { return info->encode(out, r, lcs); };
    tree_enc = [&](tq_asn_buffer_t& out, void* r) { return info->tree_encode(out, r, lcs); };
  } else {
    const unsigned type = kTypes[(pick - records.size()) & 3];
    const int version = static_cast<int>((pick - records.size()) >> 2) & 3;
    for (const oxs_record_info* r : records)
      if (r->type_code == type) info = r;
    dec = [=](tq_asn_buffer_t& in, void* r) { return tqasn_decode_obj(version, in, type, r); };
    enc = [=](tq_asn_buffer_t& out, void* r) { return tqasn_encode_obj(version, r, type, out); };
    release = [=](void* r) { tqasn_obj_free(version, type, r); std::free(r); };
  }
  const std::vector<unsigned char> input(data + 1, data + size);
  const std::size_t n = info != nullptr ? oxs_fuzz::record_bytes(*info) : 64;
  int status = 0;
  void* first = decode(dec, input, n, &status);
  if (info == nullptr) oxs_fuzz::check(status == -1, "unknown type code accepted", "", status);
  else oxs_fuzz::check_status(status, "decode");
  if (tree_dec) {
    int tree_status = 0;
    void* reference = decode(tree_dec, input, n, &tree_status);
    oxs_fuzz::check(tree_status == status, "the object tree gives another status", info->structure, tree_status);
    std::string where;
    if (status == 0 && !recgen::equal(*info, first, reference, &where, true))
      oxs_fuzz::fail("the object tree gives another record", where.c_str());
    if (status == 0) recgen::destroy(*info, reference);
    else std::free(reference);
  }
  if (status != 0) {
    for (std::size_t i = 0; i < n; ++i)
      oxs_fuzz::check(static_cast<unsigned char*>(first)[i] == kSentinel, "refused decode touched the record", "", status);
    std::free(first);
    return 0;
  }

  const std::vector<unsigned char> once = encode(enc, first, info->structure);
  if (tree_enc) oxs_fuzz::check(encode(tree_enc, first, info->structure) == once, "the object tree encodes other bytes");
  int status2 = 0;
  void* second = decode(dec, once, n, &status2);
  oxs_fuzz::check(status2 == 0, "own encoding refused", info->structure, status2);
  std::string where;
  if (!recgen::equal(*info, first, second, &where)) oxs_fuzz::fail("record changed by a round trip", where.c_str());
  oxs_fuzz::check(encode(enc, second, info->structure) == once, "second encoding differs", info->structure);
  release(first);
  release(second);
  return 0;
}
