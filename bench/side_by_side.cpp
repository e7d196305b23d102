// The library beside asn1c's generated code on the four workloads, in one
// process, on any target: a timing loop of its own (no Google Benchmark, so
// that it builds for MinGW and the cross targets too).
//
//   oxserutl_side_by_side [--quick] [WORKLOADS_DIR]
//
// For each workload: decode and free, and encode, through the exported
// functions and through asn1c (ber_decode and freeing, der_encode into a
// growing block), each the median over batches of a time per operation; the
// figure is the ratio, asn1c's time over the library's (above 1: the library
// is faster). Every workload is first checked to decode and re-encode to its
// own bytes through both. Beside them: the blocks a decode must allocate
// (those the decoded record owns) and the time of the platform heap alone
// allocating and releasing them, with its share of decode+free. --quick
// runs few short batches (to check that it
// runs; its figures mean little).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <oxserutl/oxserutl.h>

#include "test_util.h"

extern "C" {
#include "AclExt.h"
#include "Attrlist.h"
#include "Oxauditevent.h"
#include "Uuid.h"
#include "der_encoder.h"
}

namespace {

using bytes = std::vector<unsigned char>;
using clock_type = std::chrono::steady_clock;

struct workload {
  const char* name;
  const char* structure;
  asn_TYPE_descriptor_t* peer;
  const oxs_record_info* info = nullptr;
  bytes buffer;   // envelope + element
  bytes element;  // what asn1c reads
  void* record = nullptr;       // the library's record to encode
  void* space = nullptr;        // and the one to decode into
  std::vector<std::size_t> blocks;  // what a decode allocates
  std::vector<void*> held;
  void* peer_record = nullptr;  // asn1c's
};

int append_to(const void* data, size_t size, void* key) {
  auto* out = static_cast<bytes*>(key);
  out->insert(out->end(), static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size);
  return 0;
}

tq_asn_buffer_t view(bytes& b) {
  tq_asn_buffer_t v;
  v.length = static_cast<std::uint32_t>(b.size());
  v.data = b.data();
  return v;
}

// One operation; false when it fails.
bool library_decode(workload& w) {
  tq_asn_buffer_t in = view(w.buffer);
  const int status = w.info->decode(in, w.space, 0);
  w.info->release(w.space);
  return status == 0;
}
bool library_encode(workload& w) {
  tq_asn_buffer_t out;
  const int status = w.info->encode(out, w.record, 0);
  if (status == 0) tq_asn_buffer_free(out);
  return status == 0;
}
bool asn1c_decode(workload& w) {
  void* peer = nullptr;
  const asn_dec_rval_t r = ber_decode(nullptr, w.peer, &peer, w.element.data(), w.element.size());
  ASN_STRUCT_FREE(*w.peer, peer);
  return r.code == RC_OK;
}
bool asn1c_encode(workload& w) {
  bytes out;
  return der_encode(w.peer, w.peer_record, append_to, &out).encoded >= 0;
}

// The blocks a decoded record owns, by size, in the order the decoder
// allocates them: what any decoder of these structures must allocate.
void owned_blocks(const oxs_record_info& info, const unsigned char* record, std::vector<std::size_t>& out) {
  for (std::uint32_t i = 0; i < info.field_count; ++i) {
    const oxs_field_info& f = info.fields[i];
    const unsigned char* at = record + f.offset;
    const auto pointer = [at] { return *reinterpret_cast<unsigned char* const*>(at); };
    const std::uint32_t count = f.kind == oxs_kind_list16 ? *reinterpret_cast<const std::uint16_t*>(record + f.count_offset)
                                : f.count_name != nullptr ? *reinterpret_cast<const std::uint32_t*>(record + f.count_offset)
                                                          : 0;
    const oxs_record_info* element = f.element != nullptr ? f.element() : nullptr;
    switch (f.kind) {
      case oxs_kind_i32: case oxs_kind_u32: case oxs_kind_u16: case oxs_kind_u8: case oxs_kind_fixed:
        break;
      case oxs_kind_string: case oxs_kind_cstring:
        if (pointer() != nullptr) out.push_back(std::strlen(reinterpret_cast<const char*>(pointer())) + 1);
        break;
      case oxs_kind_block: case oxs_kind_ints:
        if (pointer() != nullptr) out.push_back(count * (f.kind == oxs_kind_ints ? 4 : 1));
        break;
      case oxs_kind_strings:
        if (pointer() == nullptr) break;
        out.push_back(count * sizeof(char*));
        for (std::uint32_t k = 0; k < count; ++k)
          if (const char* t = reinterpret_cast<char* const*>(pointer())[k]) out.push_back(std::strlen(t) + 1);
        break;
      case oxs_kind_list: case oxs_kind_list16:
        if (pointer() == nullptr) break;
        out.push_back(count * element->size);
        for (std::uint32_t k = 0; k < count; ++k) owned_blocks(*element, pointer() + k * element->size, out);
        break;
      case oxs_kind_ptrlist: case oxs_kind_sparse: case oxs_kind_optional: {
        const std::uint32_t n = f.kind == oxs_kind_sparse ? tq_asn_sarray_slots : f.kind == oxs_kind_optional ? 1 : count;
        auto* const* items = reinterpret_cast<unsigned char* const*>(f.kind == oxs_kind_ptrlist ? pointer() : at);
        if (items == nullptr) break;
        if (f.kind == oxs_kind_ptrlist) out.push_back(n * sizeof(void*));
        for (std::uint32_t k = 0; k < n; ++k)
          if (items[k] != nullptr) out.push_back(element->size), owned_blocks(*element, items[k], out);
        break;
      }
      case oxs_kind_nested:
        owned_blocks(*element, at, out);
        break;
    }
  }
}

// The platform heap's share: the time of allocating those blocks and
// releasing them again, as a decode and its free do.
bool heap_alone(workload& w) {
  for (std::size_t i = 0; i < w.blocks.size(); ++i) w.held[i] = std::malloc(w.blocks[i] == 0 ? 1 : w.blocks[i]);
  for (void* p : w.held) std::free(p);
  return true;
}

// The median time of one operation, in nanoseconds, over `batches` batches
// that each last about `batch_ms`.
double median_ns(workload& w, bool (*op)(workload&), int batches, double batch_ms) {
  long n = 1;
  for (;;) {  // calibrate the batch size
    const auto start = clock_type::now();
    for (long i = 0; i < n; ++i)
      if (!op(w)) throw std::runtime_error(std::string(w.name) + ": an operation failed");
    const double ms = std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
    if (ms >= batch_ms || n >= (1L << 24)) break;
    n = ms <= 0 ? n * 8 : std::max(n + 1, static_cast<long>(n * batch_ms / ms * 1.2));
  }
  std::vector<double> times;
  for (int b = 0; b < batches; ++b) {
    const auto start = clock_type::now();
    for (long i = 0; i < n; ++i) op(w);
    times.push_back(std::chrono::duration<double, std::nano>(clock_type::now() - start).count() / n);
  }
  std::nth_element(times.begin(), times.begin() + batches / 2, times.end());
  return times[batches / 2];
}

void prepare(workload& w, const std::string& dir) {
  w.info = oxs_find_record(w.structure);
  if (w.info == nullptr) throw std::runtime_error(std::string("no record ") + w.structure);
  std::ifstream file(dir + "/" + w.name + ".hex");
  if (!file) throw std::runtime_error("cannot read " + dir + "/" + w.name + ".hex");
  w.element = oxs_test::from_hex(std::string(std::istreambuf_iterator<char>(file), {}));
  w.buffer = {0x04, 0x02, 0xAC, 0xDC};
  w.buffer.insert(w.buffer.end(), w.element.begin(), w.element.end());
  w.record = std::calloc(1, w.info->size);
  w.space = std::calloc(1, w.info->size);
  tq_asn_buffer_t in = view(w.buffer), out;
  if (w.info->decode(in, w.record, 0) != 0 || w.info->encode(out, w.record, 0) != 0 ||
      bytes(out.data, out.data + out.length) != w.buffer)
    throw std::runtime_error(std::string(w.name) + ": the library does not give the workload back");
  tq_asn_buffer_free(out);
  owned_blocks(*w.info, static_cast<unsigned char*>(w.record), w.blocks);
  w.held.resize(w.blocks.size());
  const asn_dec_rval_t r = ber_decode(nullptr, w.peer, &w.peer_record, w.element.data(), w.element.size());
  bytes again;
  if (r.code != RC_OK || r.consumed != w.element.size() || der_encode(w.peer, w.peer_record, append_to, &again).encoded < 0 ||
      again != w.element)
    throw std::runtime_error(std::string(w.name) + ": asn1c does not give the workload back");
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false;
  std::string dir = OXSERUTL_BENCH_WORKLOADS;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) quick = true;
    else dir = argv[i];
  }
  const int batches = quick ? 3 : 31;
  const double batch_ms = quick ? 1 : 20;
  workload workloads[] = {{"W1", "acl_ext_s_t", &asn_DEF_AclExt},
                          {"W2", "attrlist_s_t", &asn_DEF_Attrlist},
                          {"W3", "oxauditevent_s_t", &asn_DEF_Oxauditevent},
                          {"W4", "uuid_t", &asn_DEF_Uuid}};
  std::printf("%-4s %-17s %9s | %12s %12s %7s | %12s %12s %7s | %7s %10s %6s\n", "", "record", "bytes", "decode+free",
              "asn1c", "ratio", "encode", "asn1c", "ratio", "blocks", "heap", "share");
  try {
    for (workload& w : workloads) {
      prepare(w, dir);
      const double d = median_ns(w, library_decode, batches, batch_ms);
      const double pd = median_ns(w, asn1c_decode, batches, batch_ms);
      const double e = median_ns(w, library_encode, batches, batch_ms);
      const double pe = median_ns(w, asn1c_encode, batches, batch_ms);
      const double h = median_ns(w, heap_alone, batches, batch_ms);
      std::printf("%-4s %-17s %9lu | %9.2f us %9.2f us %6.1fx | %9.2f us %9.2f us %6.1fx | %7lu %7.2f us %5.0f%%\n", w.name,
                  w.info->type_name, static_cast<unsigned long>(w.buffer.size()), d / 1000, pd / 1000, pd / d, e / 1000,
                  pe / 1000, pe / e, static_cast<unsigned long>(w.blocks.size()), h / 1000, 100 * h / d);
      w.info->release(w.record);
      std::free(w.record);
      std::free(w.space);
      ASN_STRUCT_FREE(*w.peer, w.peer_record);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "oxserutl_side_by_side: %s\n", e.what());
    return 1;
  }
  return 0;
}
