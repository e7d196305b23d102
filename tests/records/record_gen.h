// Record values made from the run-time description of the records, and a
// field-by-field comparison. Every record type gets the same treatment
// without a line written for it: the test generators, the allocation
// sweeps and the fuzz oracles all build on this.
#ifndef OXSERUTL_TESTS_RECORD_GEN_H
#define OXSERUTL_TESTS_RECORD_GEN_H

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <oxserutl/oxserutl.h>
#include <oxserutl/record_info.h>

namespace recgen {

enum class profile {
  empty,    // zero numbers, null strings and pointers, empty lists
  typical,  // small values, two-element lists, filled optionals
  extreme,  // limits of every integer width, long and multi-byte text, binary blocks
  many,     // long lists
};

inline const char* profile_name(profile p) {
  static const char* const names[] = {"empty", "typical", "extreme", "many"};
  return names[static_cast<int>(p)];
}

template <class T>
T& at(void* record, std::size_t offset) {
  return *reinterpret_cast<T*>(static_cast<unsigned char*>(record) + offset);
}
template <class T>
const T& at(const void* record, std::size_t offset) {
  return *reinterpret_cast<const T*>(static_cast<const unsigned char*>(record) + offset);
}

inline char* make_text(profile p, unsigned seed) {
  std::string text;
  if (p == profile::extreme) {
    // Multi-byte UTF-8 (e acute, euro sign, a four-octet character) and
    // length past the one-octet length form.
    text = "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 ";
    while (text.size() < 300) text += static_cast<char>('a' + (seed + text.size()) % 26);
  } else {
    text = "text-" + std::to_string(seed);
  }
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

inline std::uint32_t list_length(profile p, int depth) {
  if (p == profile::empty) return 0;
  if (depth >= 3) return depth >= 4 ? 0 : 1;
  if (p == profile::many) return depth == 0 ? 40 : 3;
  return 2;
}

void fill(const oxs_record_info& info, void* record, profile p, unsigned seed, int depth);

inline void fill_field(const oxs_field_info& f, void* record, profile p, unsigned seed, int depth) {
  const bool extreme = p == profile::extreme;
  switch (f.kind) {
    case oxs_kind_i32:
      at<std::int32_t>(record, f.offset) =
          p == profile::empty ? 0 : extreme ? (seed % 2 ? INT32_MIN : INT32_MAX) : static_cast<std::int32_t>(seed * 7) - 50;
      break;
    case oxs_kind_u32:
      at<std::uint32_t>(record, f.offset) = p == profile::empty ? 0 : extreme ? (seed % 2 ? 0xFFFFFFFFu : 0x80000000u) : seed * 1000;
      break;
    case oxs_kind_u16:
      at<std::uint16_t>(record, f.offset) = p == profile::empty ? 0 : extreme ? 0xFFFF : static_cast<std::uint16_t>(seed);
      break;
    case oxs_kind_u8:
      at<std::uint8_t>(record, f.offset) = p == profile::empty ? 0 : extreme ? 0xFF : static_cast<std::uint8_t>(seed);
      break;
    case oxs_kind_string:
    case oxs_kind_cstring:
      at<char*>(record, f.offset) = p == profile::empty ? nullptr : make_text(p, seed);
      break;
    case oxs_kind_fixed:
      for (std::uint32_t i = 0; i < f.fixed_size; ++i)
        at<unsigned char>(record, f.offset + i) = p == profile::empty ? 0 : static_cast<unsigned char>(seed * 31 + i * 17);
      break;
    case oxs_kind_block: {
      const std::uint32_t n = p == profile::empty ? 0 : extreme ? 200 : 5;
      unsigned char* bytes = n ? static_cast<unsigned char*>(std::malloc(n)) : nullptr;
      for (std::uint32_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(extreme ? (i % 2 ? 0xFF : 0x00) : seed + i);
      at<std::uint32_t>(record, f.count_offset) = n;
      at<unsigned char*>(record, f.offset) = bytes;
      break;
    }
    case oxs_kind_list:
    case oxs_kind_list16:
    case oxs_kind_ptrlist:
    case oxs_kind_strings:
    case oxs_kind_ints: {
      const bool by_value = f.kind == oxs_kind_list || f.kind == oxs_kind_list16;
      const std::size_t each = by_value ? f.element()->size : f.kind == oxs_kind_ints ? 4 : sizeof(void*);
      const std::uint32_t n = list_length(p, depth);
      auto* items = n ? static_cast<unsigned char*>(std::calloc(n, each)) : nullptr;
      for (std::uint32_t i = 0; i < n; ++i) {
        void* item = items + i * each;
        if (f.kind == oxs_kind_ptrlist) item = *static_cast<void**>(item) = std::calloc(1, f.element()->size);
        if (by_value || f.kind == oxs_kind_ptrlist) fill(*f.element(), item, p, seed + i + 1, depth + 1);
        if (f.kind == oxs_kind_strings) *static_cast<char**>(item) = make_text(p, seed + i);
        if (f.kind == oxs_kind_ints)
          *static_cast<std::int32_t*>(item) = extreme ? (i % 2 ? INT32_MIN : -1) : static_cast<std::int32_t>(seed + i * 300);
      }
      if (oxs_kinds[f.kind].count_bits == 16)
        at<std::uint16_t>(record, f.count_offset) = static_cast<std::uint16_t>(n);
      else
        at<std::uint32_t>(record, f.count_offset) = n;
      at<void*>(record, f.offset) = items;
      break;
    }
    case oxs_kind_nested:
      fill(*f.element(), static_cast<unsigned char*>(record) + f.offset, p, seed + 1, depth + 1);
      break;
    case oxs_kind_optional: {
      if (p == profile::empty) break;
      const oxs_record_info& e = *f.element();
      void* inner = std::calloc(1, e.size);
      fill(e, inner, p, seed + 1, depth + 1);
      at<void*>(record, f.offset) = inner;
      break;
    }
    case oxs_kind_sparse: {
      if (p == profile::empty) break;
      const oxs_record_info& e = *f.element();
      void** slots = &at<void*>(record, f.offset);
      for (std::uint32_t i = 0; i < 32; ++i) {
        const bool filled = p == profile::many ? depth == 0 : p == profile::extreme ? i == 31 : (i == 0 || i == 2);
        if (!filled) continue;
        slots[i] = std::calloc(1, e.size);
        fill(e, slots[i], p, seed + i, depth + 1);
      }
      break;
    }
  }
}

inline void fill(const oxs_record_info& info, void* record, profile p, unsigned seed, int depth = 0) {
  for (std::uint32_t i = 0; i < info.field_count; ++i) fill_field(info.fields[i], record, p, seed + i * 3, depth);
}

// A new record of the described type, filled for the profile. Release it
// with info.release and std::free.
inline void* make(const oxs_record_info& info, profile p, unsigned seed = 1) {
  void* record = std::calloc(1, info.size < 8 ? 8 : info.size);
  fill(info, record, p, seed, 0);
  return record;
}

inline std::uint32_t count_of(const oxs_field_info& f, const void* record) {
  return oxs_kinds[f.kind].count_bits == 16 ? at<std::uint16_t>(record, f.count_offset) : at<std::uint32_t>(record, f.count_offset);
}

// Calls visit(element info, element) for every record reached from one
// field: list elements, nested and optional records, filled slots.
template <class F>
void for_each_element(const oxs_field_info& f, void* record, F visit) {
  // Read as a pointer only in the cases of pointer fields.
  auto p = [&] { return at<void*>(record, f.offset); };
  switch (f.kind) {
    case oxs_kind_list:
    case oxs_kind_list16:
      for (std::uint32_t j = 0; j < count_of(f, record); ++j) visit(*f.element(), static_cast<unsigned char*>(p()) + j * f.element()->size);
      break;
    case oxs_kind_ptrlist:
      for (std::uint32_t j = 0; j < count_of(f, record); ++j) visit(*f.element(), static_cast<void**>(p())[j]);
      break;
    case oxs_kind_nested:
      visit(*f.element(), static_cast<unsigned char*>(record) + f.offset);
      break;
    case oxs_kind_optional:
      if (p() != nullptr) visit(*f.element(), p());
      break;
    case oxs_kind_sparse:
      for (int j = 0; j < 32; ++j)
        if ((&at<void*>(record, f.offset))[j] != nullptr) visit(*f.element(), (&at<void*>(record, f.offset))[j]);
      break;
    case oxs_kind_i32:
    case oxs_kind_u32:
    case oxs_kind_u16:
    case oxs_kind_u8:
    case oxs_kind_string:
    case oxs_kind_cstring:
    case oxs_kind_fixed:
    case oxs_kind_block:
    case oxs_kind_strings:
    case oxs_kind_ints:
      break;
  }
}

// The values of a record as text, field by field. A null string reads as
// the empty string and an absent optional record as one of empty fields
// (each pair encodes alike); strictly, they are told apart.
inline void show(const oxs_record_info& info, const void* record, bool strict, std::string& out) {
  void* r = const_cast<void*>(record);
  auto text = [&](const char* s) { out += s != nullptr ? "'" + std::string(s) + "'" : strict ? "null" : "''"; };
  for (std::uint32_t i = 0; i < info.field_count; ++i) {
    const oxs_field_info& f = info.fields[i];
    out += std::string(" ") + f.name + "=";
    const std::uint32_t n = oxs_kinds[f.kind].count_bits != 0 ? count_of(f, r) : f.fixed_size;
    switch (f.kind) {
      case oxs_kind_i32: out += std::to_string(at<std::int32_t>(r, f.offset)); break;
      case oxs_kind_u32: out += std::to_string(at<std::uint32_t>(r, f.offset)); break;
      case oxs_kind_u16: out += std::to_string(at<std::uint16_t>(r, f.offset)); break;
      case oxs_kind_u8: out += std::to_string(at<std::uint8_t>(r, f.offset)); break;
      case oxs_kind_string:
      case oxs_kind_cstring: text(at<char*>(r, f.offset)); break;
      case oxs_kind_block:
      case oxs_kind_fixed: {
        const unsigned char* b = f.kind == oxs_kind_fixed ? &at<unsigned char>(r, f.offset) : at<unsigned char*>(r, f.offset);
        if (strict && b == nullptr) out += "null";
        for (std::uint32_t j = 0; b != nullptr && j < n; ++j) out += std::to_string(b[j]) + ",";
        break;
      }
      case oxs_kind_strings:
        for (std::uint32_t j = 0; j < n; ++j) text(at<char**>(r, f.offset)[j]), out += ",";
        break;
      case oxs_kind_ints:
        for (std::uint32_t j = 0; j < n; ++j) out += std::to_string(at<std::int32_t*>(r, f.offset)[j]) + ",";
        break;
      case oxs_kind_optional:
        if (at<void*>(r, f.offset) == nullptr && !strict) {
          void* blank = std::calloc(1, f.element()->size);
          out += "{";
          show(*f.element(), blank, strict, out);
          out += "}";
          std::free(blank);
        }
        break;
      case oxs_kind_sparse:
        for (int j = 0; j < 32; ++j) out += (&at<void*>(r, f.offset))[j] != nullptr ? "+" : "-";
        break;
      case oxs_kind_list:
      case oxs_kind_list16:
      case oxs_kind_ptrlist:
      case oxs_kind_nested:
        break;
    }
    for_each_element(f, r, [&](const oxs_record_info& e, void* element) {
      out += "{";
      show(e, element, strict, out);
      out += "}";
    });
  }
}

// True when both records carry the same values (strictly: and the same
// null pointers); `where` gets the place they part.
inline bool equal(const oxs_record_info& info, const void* a, const void* b, std::string* where = nullptr,
                  bool strict = false) {
  std::string x, y;
  show(info, a, strict, x);
  show(info, b, strict, y);
  if (x == y) return true;
  const std::size_t from = static_cast<std::size_t>(std::mismatch(x.begin(), x.end(), y.begin(), y.end()).first - x.begin());
  const std::size_t back = from < 60 ? 0 : from - 60;
  if (where != nullptr) *where = "..." + x.substr(back, 120) + "\n vs ..." + y.substr(back, 120);
  return false;
}

// Every record with functions of its own: the whole table but the element
// of the update list.
inline std::vector<const oxs_record_info*> callable_records() {
  std::size_t count = 0;
  const oxs_record_info* table = oxs_records(&count);
  std::vector<const oxs_record_info*> out;
  for (std::size_t i = 0; i < count; ++i)
    if (std::strcmp(table[i].structure, "kyobj_update_s_t") != 0) out.push_back(&table[i]);
  return out;
}

// Encodes with `fn`, a record's exported function or its tree's: the status,
// and the bytes (none when it fails).
using codec = int (*)(tq_asn_buffer_t&, void*, int);
inline int encode(codec fn, void* record, int lcs, std::vector<unsigned char>& out) {
  tq_asn_buffer_t buffer;
  const int status = fn(buffer, record, lcs);
  out.clear();
  if (status == 0) out.assign(buffer.data, buffer.data + buffer.length), tq_asn_buffer_free(buffer);
  return status;
}

// A chain of `levels` name-value nodes, each the only child of the one
// above: a tree as deep as a record can be made.
struct chain {
  std::vector<namevalue_s_t> nodes;
  std::vector<namevalue_s_t*> links;
  explicit chain(int levels) : nodes(levels), links(levels) {
    for (int i = 0; i < levels; ++i) {
      links[i] = &nodes[i];
      if (i > 0) nodes[i - 1].child_count = 1, nodes[i - 1].children = &links[i];
    }
  }
};

// Releases a record made by make() or filled by a decode.
inline void destroy(const oxs_record_info& info, void* record) {
  info.release(record);
  std::free(record);
}

}  // namespace recgen

#endif
