// Peak heap per input byte when decoding the shapes that cost the most
// memory for the fewest bytes: long SEQUENCE OF lists of tiny elements,
// many empty strings, sparse arrays of empty slots, nesting at the bound,
// and hostile nesting far beyond it. Prints one line per shape and size.
//
// The heap is measured by the counting malloc family of counting_heap.cpp.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <oxserutl/oxserutl.h>

#include "counting_heap.h"

namespace {

using bytes = std::vector<unsigned char>;

void put_length(bytes& out, std::size_t n) {
  if (n < 0x80) {
    out.push_back(static_cast<unsigned char>(n));
    return;
  }
  int octets = 0;
  for (std::size_t v = n; v != 0; v >>= 8) ++octets;
  out.push_back(static_cast<unsigned char>(0x80 | octets));
  while (octets-- > 0) out.push_back(static_cast<unsigned char>(n >> (8 * octets)));
}

bytes tlv(unsigned char identifier, const bytes& contents) {
  bytes out{identifier};
  put_length(out, contents.size());
  out.insert(out.end(), contents.begin(), contents.end());
  return out;
}

bytes repeat(const bytes& unit, std::size_t n) {
  bytes out;
  out.reserve(unit.size() * n);
  for (std::size_t i = 0; i < n; ++i) out.insert(out.end(), unit.begin(), unit.end());
  return out;
}

bytes concat(std::initializer_list<bytes> parts) {
  bytes out;
  for (const bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

bytes envelope(const bytes& element) { return concat({{0x04, 0x02, 0xAC, 0xDC}, element}); }

const bytes kEmptyList{0x30, 0x00};
const bytes kEmptyText{0x0C, 0x00};
const bytes kZero{0x02, 0x01, 0x00};
const bytes kNull{0x05, 0x00};

struct shape {
  std::string name;
  const char* record;
  bytes buffer;
};

// A name-value chain `levels` deep: each node { "", {}, { child } }.
bytes chain(int levels) {
  bytes node = tlv(0x30, concat({kEmptyText, kEmptyList, kEmptyList}));
  for (int i = 1; i < levels; ++i) node = tlv(0x30, concat({kEmptyText, kEmptyList, tlv(0x30, node)}));
  return node;
}

void measure(const shape& s) {
  const oxs_record_info* info = oxs_find_record(s.record);
  if (info == nullptr) return;
  bytes input = s.buffer;
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(input.size());
  in.data = input.data();
  void* record = std::calloc(1, info->size < 8 ? 8 : info->size);
  counting_heap::start();
  const int status = info->decode(in, record, 0);
  const counting_heap::counts heap = counting_heap::stop();
  const std::size_t decode_peak = heap.peak;
  const std::size_t kept = heap.in_use;
  if (status == 0) info->release(record);
  std::free(record);
  std::printf("%-44s %9zu %-28s %11zu %8.1f %11zu %8.1f\n", s.name.c_str(), input.size(),
              status == 0 ? "ok" : tq_asn_status_name(static_cast<std::uint32_t>(status)), decode_peak,
              static_cast<double>(decode_peak) / static_cast<double>(input.size()), kept,
              static_cast<double>(kept) / static_cast<double>(input.size()));
}

}  // namespace

int main() {
  std::printf("%-44s %9s %-28s %11s %8s %11s %8s\n", "shape", "bytes", "status", "peak heap", "per byte", "record",
              "per byte");
  for (std::size_t n : {1000u, 100000u}) {
    const std::string count = std::to_string(n);
    std::vector<shape> shapes = {
        {"acl_permset_t: " + count + " x INTEGER 0", "acl_permset_s_t", envelope(tlv(0x30, tlv(0x30, repeat(kZero, n))))},
        {"namevalue_t: " + count + " x empty UTF8String", "namevalue_s_t",
         envelope(tlv(0x30, concat({kEmptyText, tlv(0x30, repeat(kEmptyText, n)), kEmptyList})))},
        {"namevalueList_t: " + count + " x empty node", "namevalueList_s_t",
         envelope(tlv(0x30, tlv(0x30, repeat(tlv(0x30, concat({kEmptyText, kEmptyList, kEmptyList})), n))))},
        {"attrlist_t: " + count + " x empty attr_t", "attrlist_s_t",
         envelope(tlv(0x30, tlv(0x30, repeat(tlv(0x30, concat({kEmptyText, kEmptyList})), n))))},
        {"kyaction_group_t: " + count + " x NULL slot", "kyaction_group_s_t",
         envelope(tlv(0x30, concat({kEmptyText, tlv(0x30, repeat(kNull, n)), tlv(0x30, kEmptyList)})))},
        {"kyaction_groups_t: " + count + " x NULL slot", "kyaction_groups_s_t",
         envelope(tlv(0x30, concat({tlv(0x30, repeat(kNull, n)), tlv(0x30, kEmptyList)})))},
    };
    for (const shape& s : shapes) measure(s);
  }
  measure({"namevalue_t: chain at the bound (128 nodes)", "namevalue_s_t", envelope(chain(tq_asn_max_nesting_depth / 2))});
  measure({"namevalue_t: chain past the bound (129 nodes)", "namevalue_s_t",
           envelope(chain(tq_asn_max_nesting_depth / 2 + 1))});
  // Hostile nesting: 50000 generations of a name-value node whose children
  // list holds the next node, all with indefinite lengths, never closed.
  const bytes generation{0x30, 0x80, 0x0C, 0x00, 0x30, 0x00, 0x30, 0x80};
  measure({"namevalue_t: 50000 open generations (hostile)", "namevalue_s_t", envelope(repeat(generation, 50000))});
  // Hostile string segments: a name made of 100000 nested constructed
  // segments, never closed.
  measure({"namevalue_t: name of 100000 nested segments", "namevalue_s_t",
           envelope(concat({{0x30, 0x80, 0x2C, 0x80}, repeat({0x24, 0x80}, 100000)}))});
  return 0;
}
