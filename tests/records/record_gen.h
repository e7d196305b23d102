// Record values made from the run-time description of the records, and a
// field-by-field comparison. Every record type gets the same treatment
// without a line written for it: the test generators, the allocation
// sweeps and the fuzz oracles all build on this.
#ifndef OXSERUTL_TESTS_RECORD_GEN_H
#define OXSERUTL_TESTS_RECORD_GEN_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <oxserutl/record_info.h>

namespace recgen {

enum class profile {
  empty,    // zero numbers, null strings and pointers, empty lists
  typical,  // small values, two-element lists, filled optionals
  extreme,  // limits of every integer width, long and multi-byte text, binary blocks
  many,     // long lists
};

inline const char* profile_name(profile p) {
  switch (p) {
    case profile::empty: return "empty";
    case profile::typical: return "typical";
    case profile::extreme: return "extreme";
    case profile::many: return "many";
  }
  return "?";
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
    case oxs_kind_list16: {
      const oxs_record_info& e = *f.element();
      const std::uint32_t n = list_length(p, depth);
      void* items = n ? std::calloc(n, e.size) : nullptr;
      for (std::uint32_t i = 0; i < n; ++i) fill(e, static_cast<unsigned char*>(items) + i * e.size, p, seed + i + 1, depth + 1);
      if (f.kind == oxs_kind_list16)
        at<std::uint16_t>(record, f.count_offset) = static_cast<std::uint16_t>(n);
      else
        at<std::uint32_t>(record, f.count_offset) = n;
      at<void*>(record, f.offset) = items;
      break;
    }
    case oxs_kind_ptrlist: {
      const oxs_record_info& e = *f.element();
      const std::uint32_t n = list_length(p, depth);
      void** items = n ? static_cast<void**>(std::calloc(n, sizeof(void*))) : nullptr;
      for (std::uint32_t i = 0; i < n; ++i) {
        items[i] = std::calloc(1, e.size);
        fill(e, items[i], p, seed + i + 1, depth + 1);
      }
      at<std::uint32_t>(record, f.count_offset) = n;
      at<void**>(record, f.offset) = items;
      break;
    }
    case oxs_kind_strings: {
      const std::uint32_t n = list_length(p, depth);
      char** items = n ? static_cast<char**>(std::calloc(n, sizeof(char*))) : nullptr;
      for (std::uint32_t i = 0; i < n; ++i) items[i] = make_text(p, seed + i);
      at<std::uint32_t>(record, f.count_offset) = n;
      at<char**>(record, f.offset) = items;
      break;
    }
    case oxs_kind_ints: {
      const std::uint32_t n = list_length(p, depth);
      auto* items = n ? static_cast<std::int32_t*>(std::calloc(n, sizeof(std::int32_t))) : nullptr;
      for (std::uint32_t i = 0; i < n; ++i) items[i] = extreme ? (i % 2 ? INT32_MIN : -1) : static_cast<std::int32_t>(seed + i * 300);
      at<std::uint32_t>(record, f.count_offset) = n;
      at<std::int32_t*>(record, f.offset) = items;
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

inline bool all_zero(const void* p, std::size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  for (std::size_t i = 0; i < n; ++i)
    if (b[i] != 0) return false;
  return true;
}

// True when both records carry the same values. A null string equals the
// empty string, and an absent optional record equals one whose fields are
// all empty (both encode the same way). strict: they are also alike in
// every pointer that is null on one side only.
bool equal(const oxs_record_info& info, const void* a, const void* b, std::string* where, bool strict = false);

inline bool text_equal(const char* a, const char* b, bool strict = false) {
  if (strict && (a == nullptr) != (b == nullptr)) return false;
  return std::strcmp(a ? a : "", b ? b : "") == 0;
}

inline bool empty_record(const oxs_record_info& info, const void* r) {
  void* blank = std::calloc(1, info.size);
  const bool same = equal(info, blank, r, nullptr);
  std::free(blank);
  return same;
}

inline bool equal_field(const oxs_field_info& f, const void* a, const void* b, std::string* where, bool strict) {
  auto fail = [&](const std::string& detail) {
    if (where) *where = std::string(f.name) + detail;
    return false;
  };
  switch (f.kind) {
    case oxs_kind_i32:
    case oxs_kind_u32:
      return at<std::uint32_t>(a, f.offset) == at<std::uint32_t>(b, f.offset) || fail(": numbers differ");
    case oxs_kind_u16:
      return at<std::uint16_t>(a, f.offset) == at<std::uint16_t>(b, f.offset) || fail(": numbers differ");
    case oxs_kind_u8:
      return at<std::uint8_t>(a, f.offset) == at<std::uint8_t>(b, f.offset) || fail(": numbers differ");
    case oxs_kind_string:
    case oxs_kind_cstring:
      return text_equal(at<char*>(a, f.offset), at<char*>(b, f.offset), strict) || fail(": texts differ");
    case oxs_kind_fixed:
      return std::memcmp(&at<unsigned char>(a, f.offset), &at<unsigned char>(b, f.offset), f.fixed_size) == 0 ||
             fail(": bytes differ");
    case oxs_kind_block: {
      const std::uint32_t n = at<std::uint32_t>(a, f.count_offset);
      if (n != at<std::uint32_t>(b, f.count_offset)) return fail(": lengths differ");
      if (strict && (at<unsigned char*>(a, f.offset) == nullptr) != (at<unsigned char*>(b, f.offset) == nullptr))
        return fail(": null on one side");
      return n == 0 || std::memcmp(at<unsigned char*>(a, f.offset), at<unsigned char*>(b, f.offset), n) == 0 ||
             fail(": bytes differ");
    }
    case oxs_kind_list:
    case oxs_kind_list16: {
      const oxs_record_info& e = *f.element();
      const std::uint32_t n = f.kind == oxs_kind_list16 ? at<std::uint16_t>(a, f.count_offset) : at<std::uint32_t>(a, f.count_offset);
      const std::uint32_t m = f.kind == oxs_kind_list16 ? at<std::uint16_t>(b, f.count_offset) : at<std::uint32_t>(b, f.count_offset);
      if (n != m) return fail(": counts differ");
      for (std::uint32_t i = 0; i < n; ++i) {
        const auto* x = static_cast<const unsigned char*>(at<void*>(a, f.offset)) + i * e.size;
        const auto* y = static_cast<const unsigned char*>(at<void*>(b, f.offset)) + i * e.size;
        std::string inner;
        if (!equal(e, x, y, where ? &inner : nullptr, strict)) return fail("[" + std::to_string(i) + "]." + inner);
      }
      return true;
    }
    case oxs_kind_ptrlist: {
      const oxs_record_info& e = *f.element();
      const std::uint32_t n = at<std::uint32_t>(a, f.count_offset);
      if (n != at<std::uint32_t>(b, f.count_offset)) return fail(": counts differ");
      for (std::uint32_t i = 0; i < n; ++i) {
        std::string inner;
        if (!equal(e, at<void**>(a, f.offset)[i], at<void**>(b, f.offset)[i], where ? &inner : nullptr, strict))
          return fail("[" + std::to_string(i) + "]." + inner);
      }
      return true;
    }
    case oxs_kind_strings: {
      const std::uint32_t n = at<std::uint32_t>(a, f.count_offset);
      if (n != at<std::uint32_t>(b, f.count_offset)) return fail(": counts differ");
      for (std::uint32_t i = 0; i < n; ++i)
        if (!text_equal(at<char**>(a, f.offset)[i], at<char**>(b, f.offset)[i], strict)) return fail("[" + std::to_string(i) + "]: texts differ");
      return true;
    }
    case oxs_kind_ints: {
      const std::uint32_t n = at<std::uint32_t>(a, f.count_offset);
      if (n != at<std::uint32_t>(b, f.count_offset)) return fail(": counts differ");
      return n == 0 || std::memcmp(at<std::int32_t*>(a, f.offset), at<std::int32_t*>(b, f.offset), n * 4) == 0 ||
             fail(": numbers differ");
    }
    case oxs_kind_nested: {
      std::string inner;
      return equal(*f.element(), static_cast<const unsigned char*>(a) + f.offset,
                   static_cast<const unsigned char*>(b) + f.offset, where ? &inner : nullptr, strict) ||
             fail("." + inner);
    }
    case oxs_kind_optional: {
      const oxs_record_info& e = *f.element();
      const void* x = at<void*>(a, f.offset);
      const void* y = at<void*>(b, f.offset);
      if (x == nullptr && y == nullptr) return true;
      if (strict && (x == nullptr || y == nullptr)) return fail(": absent on one side");
      if (x == nullptr) return empty_record(e, y) || fail(": absent on one side");
      if (y == nullptr) return empty_record(e, x) || fail(": absent on one side");
      std::string inner;
      return equal(e, x, y, where ? &inner : nullptr, strict) || fail("->" + inner);
    }
    case oxs_kind_sparse: {
      const oxs_record_info& e = *f.element();
      for (std::uint32_t i = 0; i < 32; ++i) {
        const void* x = (&at<void*>(a, f.offset))[i];
        const void* y = (&at<void*>(b, f.offset))[i];
        if ((x == nullptr) != (y == nullptr)) return fail("[" + std::to_string(i) + "]: slot filled on one side");
        std::string inner;
        if (x != nullptr && !equal(e, x, y, where ? &inner : nullptr, strict)) return fail("[" + std::to_string(i) + "]." + inner);
      }
      return true;
    }
  }
  return true;
}

inline bool equal(const oxs_record_info& info, const void* a, const void* b, std::string* where, bool strict) {
  for (std::uint32_t i = 0; i < info.field_count; ++i)
    if (!equal_field(info.fields[i], a, b, where, strict)) return false;
  return true;
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

// Releases a record made by make() or filled by a decode.
inline void destroy(const oxs_record_info& info, void* record) {
  info.release(record);
  std::free(record);
}

}  // namespace recgen

#endif
