// Every record decoder, plain and local-code-set. The first input byte picks
// the record (bits 1-7) and the form (bit 0); the rest is the buffer handed
// to the decoder, envelope included.
//
// Properties:
//  - a refused buffer gives a status of the table and leaves the caller's
//    record exactly as it was (a sentinel pattern);
//  - an accepted buffer gives a record that encodes; decoding that
//    encoding gives an equal record, and encoding it again the same bytes;
//  - the object tree alone (the path for whatever the direct path
//    declines) gives the same status, the same record (strictly: the same
//    null pointers) and the same encoding as the exported functions.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "records/record_gen.h"

namespace {

constexpr unsigned char kSentinel = 0x5A;

std::vector<unsigned char> encode(const oxs_record_info& info, void* record, int lcs) {
  tq_asn_buffer_t out;
  const int status = info.encode(out, record, lcs);
  oxs_fuzz::check_status(status, "encode");
  oxs_fuzz::check(status == 0, "a decoded record does not encode", info.structure, status);
  std::vector<unsigned char> bytes(out.data, out.data + out.length);
  tq_asn_buffer_free(out);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  oxs_fuzz::set_local_code_set();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 0xFFFFFFFFu) return 0;
  const auto& records = oxs_fuzz::callable_records();
  const oxs_record_info& info = *records[(data[0] >> 1) % records.size()];
  const int lcs = data[0] & 1;

  // The decoder sees exactly the input bytes in a block of their size.
  std::vector<unsigned char> input(data + 1, data + size);
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(input.size());
  in.data = input.empty() ? nullptr : input.data();

  const std::size_t n = oxs_fuzz::record_bytes(info);
  void* first = std::malloc(n);
  std::memset(first, kSentinel, n);
  const int status = info.decode(in, first, lcs);
  oxs_fuzz::check_status(status, "decode");
  void* reference = std::malloc(n);
  std::memset(reference, kSentinel, n);
  const int tree_status = info.tree_decode(in, reference, lcs);
  oxs_fuzz::check(tree_status == status, "the object tree gives another status", info.structure, tree_status);
  if (status == 0) {
    std::string where;
    if (!recgen::equal(info, first, reference, &where, true))
      oxs_fuzz::fail("the object tree gives another record", where.c_str());
    recgen::destroy(info, reference);
  } else {
    std::free(reference);
  }
  if (status != 0) {
    for (std::size_t i = 0; i < n; ++i)
      oxs_fuzz::check(static_cast<unsigned char*>(first)[i] == kSentinel, "refused decode touched the record",
                      info.structure, status);
    std::free(first);
    return 0;
  }

  const std::vector<unsigned char> once = encode(info, first, lcs);
  tq_asn_buffer_t tree_out;
  oxs_fuzz::check(info.tree_encode(tree_out, first, lcs) == 0, "the object tree does not encode", info.structure);
  oxs_fuzz::check(std::vector<unsigned char>(tree_out.data, tree_out.data + tree_out.length) == once,
                  "the object tree encodes other bytes", info.structure);
  tq_asn_buffer_free(tree_out);
  void* second = std::calloc(1, n);
  tq_asn_buffer_t again;
  again.length = static_cast<std::uint32_t>(once.size());
  again.data = const_cast<unsigned char*>(once.data());
  const int status2 = info.decode(again, second, lcs);
  oxs_fuzz::check(status2 == 0, "own encoding refused", info.structure, status2);
  std::string where;
  if (!recgen::equal(info, first, second, &where)) oxs_fuzz::fail("record changed by a round trip", where.c_str());
  const std::vector<unsigned char> twice = encode(info, second, lcs);
  oxs_fuzz::check(once == twice, "second encoding differs", info.structure);

  recgen::destroy(info, first);
  recgen::destroy(info, second);
  return 0;
}
