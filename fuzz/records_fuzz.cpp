// Every record decoder. The first input byte picks the local code set (bit 0)
// and the record (bits 1-7); a value past the last record picks instead a type
// code for tqasn_decode_obj (bits 0-1 of the excess: certificate request,
// update list, INTEGER, none of them) and the envelope version (bits 2-3).
//
// Properties: a refusal is a status of the table (-1 for the unknown type
// code) and leaves the record's sentinel octets as they were; an accepted
// record encodes, decodes back equal and encodes to the same bytes; for the
// records' own functions the object tree alone (tree_decode, tree_encode)
// gives the same status, record (strictly) and bytes as the direct path; the
// library's explanation of the buffer names the decode function's status.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "records/record_gen.h"

namespace {

constexpr unsigned char kSentinel = 0x5A;
constexpr unsigned kTypes[] = {ASN_TYPE_CERT_REQUEST_IN, ASN_TYPE_UPDATE_LIST, ASN_TYPE_INTEGER, 261};

// A record's own functions (type 0) or a type code's.
struct codec {
  const oxs_record_info* info;
  int lcs;
  unsigned type;
  int version;

  int decode(std::vector<unsigned char> bytes, void* record, bool tree = false) const {
    tq_asn_buffer_t in;
    in.length = static_cast<std::uint32_t>(bytes.size());
    in.data = bytes.empty() ? nullptr : bytes.data();
    if (type != 0) return tqasn_decode_obj(version, in, type, record);
    return (tree ? info->tree_decode : info->decode)(in, record, lcs);
  }
  std::vector<unsigned char> encode(void* record, bool tree = false) const {
    tq_asn_buffer_t out;
    const int status = type != 0 ? tqasn_encode_obj(version, record, type, out)
                                 : (tree ? info->tree_encode : info->encode)(out, record, lcs);
    oxs_fuzz::check(status == 0, "a decoded record does not encode", info->structure, status);
    std::vector<unsigned char> bytes(out.data, out.data + out.length);
    tq_asn_buffer_free(out);
    return bytes;
  }
  void release(void* record) const {
    if (type != 0) tqasn_obj_free(version, type, record);
    else info->release(record);
    std::free(record);
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  oxs_fuzz::set_local_code_set();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 0xFFFFFFFFu) return 0;
  static const auto records = recgen::callable_records();
  const std::size_t pick = data[0] >> 1;
  codec c{pick < records.size() ? records[pick] : nullptr, data[0] & 1, 0, 0};
  if (c.info == nullptr) {
    c.type = kTypes[(pick - records.size()) & 3];
    c.version = static_cast<int>((pick - records.size()) >> 2) & 3;
    for (const oxs_record_info* r : records)
      if (r->type_code == c.type) c.info = r;
  }
  const std::vector<unsigned char> input(data + 1, data + size);
  const std::size_t n = c.info != nullptr ? oxs_fuzz::record_bytes(*c.info) : 64;
  void* first = std::malloc(n);
  void* reference = std::malloc(n);
  std::memset(first, kSentinel, n);
  std::memset(reference, kSentinel, n);
  const int status = c.decode(input, first);
  if (c.info == nullptr) oxs_fuzz::check(status == -1, "unknown type code accepted", "", status);
  else oxs_fuzz::check_status(status, "decode");
  // The library's explanation names the same status.
  tq_asn_explanation why;
  const std::uint32_t explained =
      c.type != 0 ? tq_asn_explain_type_code(c.version, c.type, input.data(), input.size(), &why)
                  : tq_asn_explain(c.info->type_name, c.lcs, input.data(), input.size(), &why);
  oxs_fuzz::check(explained == static_cast<std::uint32_t>(status) && why.status == explained,
                  "the explanation names another status", c.info != nullptr ? c.info->structure : "", status);
  std::string where;
  if (c.type == 0) {
    const int tree_status = c.decode(input, reference, true);
    oxs_fuzz::check(tree_status == status, "the object tree gives another status", c.info->structure, tree_status);
    if (status == 0 && !recgen::equal(*c.info, first, reference, &where, true))
      oxs_fuzz::fail("the object tree gives another record", where.c_str());
    if (status == 0) c.info->release(reference);
  }
  std::free(reference);
  if (status != 0) {
    for (std::size_t i = 0; i < n; ++i)
      oxs_fuzz::check(static_cast<unsigned char*>(first)[i] == kSentinel, "a refusal touched the record", "", status);
    std::free(first);
    return 0;
  }

  const std::vector<unsigned char> once = c.encode(first);
  if (c.type == 0) oxs_fuzz::check(c.encode(first, true) == once, "the object tree encodes other bytes");
  void* second = std::calloc(1, n);
  const int status2 = c.decode(once, second);
  oxs_fuzz::check(status2 == 0, "own encoding refused", c.info->structure, status2);
  if (!recgen::equal(*c.info, first, second, &where)) oxs_fuzz::fail("record changed by a round trip", where.c_str());
  oxs_fuzz::check(c.encode(second) == once, "second encoding differs", c.info->structure);
  c.release(first);
  c.release(second);
  return 0;
}
