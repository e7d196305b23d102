// The run-time description of every record, generated from the same tables
// as the bindings: data only. The functions it points to are in
// record_calls.cpp.
#include <oxserutl/record_info.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <type_traits>

#include <oxserutl/records.h>

#include "record_calls.h"

namespace {

namespace calls = oxserutl::calls;

enum record_index {
#define OXS_INDEX(S, B, NAME, MODULE, COPY) index_##S,
  OXS_ALL_MODULES(OXS_INDEX)
#undef OXS_INDEX
#define OXS_KY_INDEX(S, B, NAME, CODE, SHAPE) index_##S,
  OXS_TYPE_CODE_RECORDS(OXS_KY_INDEX)
#undef OXS_KY_INDEX
  record_count
};

extern const oxs_record_info table[record_count];

template <class S>
const oxs_record_info* info_of();

#define OXS_INFO_OF(S, B, NAME, MODULE, COPY) \
  template <>                                 \
  [[maybe_unused]] const oxs_record_info* info_of<S>() { \
    return &table[index_##S];                 \
  }
OXS_ALL_MODULES(OXS_INFO_OF)
#define OXS_KY_INFO_OF(S, B, NAME, CODE, SHAPE) OXS_INFO_OF(S, B, NAME, asn_kyobjs, plain)
OXS_TYPE_CODE_RECORDS(OXS_KY_INFO_OF)
#undef OXS_KY_INFO_OF
#undef OXS_INFO_OF

// --- the field rows ----------------------------------------------------------------

// Each field row as (kind, field, count field, its offset, fixed size,
// element structure); no_element for the kinds without one. The row is
// laid out twice below: once for the completeness of records, once for
// the description.
struct no_element;
#define OXS_INFO_i32(f) OXS_ROW(i32, f, nullptr, 0, 0, no_element)
#define OXS_INFO_u32(f) OXS_ROW(u32, f, nullptr, 0, 0, no_element)
#define OXS_INFO_u16(f) OXS_ROW(u16, f, nullptr, 0, 0, no_element)
#define OXS_INFO_u8(f) OXS_ROW(u8, f, nullptr, 0, 0, no_element)
#define OXS_INFO_string(f) OXS_ROW(string, f, nullptr, 0, 0, no_element)
#define OXS_INFO_cstring(f) OXS_ROW(cstring, f, nullptr, 0, 0, no_element)
#define OXS_INFO_fixed(f, n) OXS_ROW(fixed, f, nullptr, 0, n, no_element)
#define OXS_INFO_block(len, f) OXS_ROW(block, f, #len, offsetof(R, len), 0, no_element)
// The optional byte block of the type-code records is described as a
// block: the record's shape makes it optional (oxs_field_optional).
#define OXS_INFO_optblock(len, f) OXS_INFO_block(len, f)
#define OXS_INFO_list(n, f, S) OXS_ROW(list, f, #n, offsetof(R, n), 0, S)
#define OXS_INFO_list16(n, f, S) OXS_ROW(list16, f, #n, offsetof(R, n), 0, S)
#define OXS_INFO_ptrlist(n, f, S) OXS_ROW(ptrlist, f, #n, offsetof(R, n), 0, S)
#define OXS_INFO_strings(n, f) OXS_ROW(strings, f, #n, offsetof(R, n), 0, no_element)
#define OXS_INFO_ints(n, f) OXS_ROW(ints, f, #n, offsetof(R, n), 0, no_element)
#define OXS_INFO_nested(f, S) OXS_ROW(nested, f, nullptr, 0, 0, S)
#define OXS_INFO_optional(f, S) OXS_ROW(optional, f, nullptr, 0, 0, S)
#define OXS_INFO_sparse(f, S) OXS_ROW(sparse, f, nullptr, 0, 0, S)
#define OXS_INFO_FIELD(kind, ...) OXS_INFO_##kind(__VA_ARGS__)

// --- the derived facts, from the kind table ---------------------------------------

// Whether a record's binding is complete (so present, and written when it
// is an optional child left null) before any value is set: every field
// complete unset by its kind's rule.
template <class S>
struct complete_when_unset;

template <oxs_field_kind K, class E>
constexpr bool complete_field() {
  if constexpr (oxs_kinds[K].unset == oxs_unset_as_element) {
    return complete_when_unset<E>::value;
  } else {
    return oxs_kinds[K].unset == oxs_unset_complete;
  }
}

#define OXS_ROW(kind, f, count, count_offset, fixed, E) &&complete_field<oxs_kind_##kind, E>()
#define OXS_COMPLETE(S, B, NAME, MODULE, COPY)                             \
  template <>                                                              \
  struct complete_when_unset<S> {                                          \
    static constexpr bool value = true OXS_FIELDS_##S(OXS_INFO_FIELD);     \
  };
OXS_ALL_MODULES(OXS_COMPLETE)
#undef OXS_COMPLETE
#undef OXS_ROW

template <oxs_field_kind K, class E>
constexpr bool written_when_unset() {
  if constexpr (oxs_kinds[K].written_when_element_complete) {
    return complete_when_unset<E>::value;
  } else {
    return false;
  }
}

using element_fn = const oxs_record_info* (*)();
template <class E>
constexpr element_fn element_of() {
  if constexpr (std::is_same_v<E, no_element>) {
    return nullptr;
  } else {
    return &info_of<E>;
  }
}

// The table is indexed by the kind.
constexpr bool kinds_in_order() {
  for (std::size_t i = 0; i < sizeof oxs_kinds / sizeof oxs_kinds[0]; ++i)
    if (oxs_kinds[i].kind != static_cast<oxs_field_kind>(i)) return false;
  return true;
}
static_assert(kinds_in_order() && sizeof oxs_kinds / sizeof oxs_kinds[0] == oxs_kind_cstring + 1,
              "one row per field kind, in the order of the kinds");
// The sparse row's patterns give its slots as 32.
static_assert(OXS_SPARSE_SLOTS == 32, "the sparse row of oxs_kinds names 32 slots");

// --- the rows --------------------------------------------------------------------

#define OXS_ROW(kind, f, count, count_offset, fixed, E)                                                       \
  {#f,   count, oxs_kind_##kind, offsetof(R, f), count_offset, fixed, element_of<E>(), oxs_kinds[oxs_kind_##kind].local_text, \
   written_when_unset<oxs_kind_##kind, E>()},

#define OXS_FIELD_TABLE(S, B, NAME, MODULE, COPY) \
  struct fields_##S {                             \
    using R = S;                                  \
    static const oxs_field_info rows[];           \
  };                                              \
  const oxs_field_info fields_##S::rows[] = {OXS_FIELDS_##S(OXS_INFO_FIELD)};
OXS_ALL_MODULES(OXS_FIELD_TABLE)
#define OXS_KY_FIELD_TABLE(S, B, NAME, CODE, SHAPE) OXS_FIELD_TABLE(S, B, NAME, asn_kyobjs, plain)
OXS_TYPE_CODE_RECORDS(OXS_KY_FIELD_TABLE)
#undef OXS_KY_FIELD_TABLE
#undef OXS_FIELD_TABLE

// The bare INTEGER's structure is one std::int32_t.
#define OXS_STRUCTURE_NAME_sequence(S) #S
#define OXS_STRUCTURE_NAME_bare(S) "int32_t"

#define OXS_COUNT(a) static_cast<std::uint32_t>(sizeof(a) / sizeof(a[0]))

const oxs_record_info table[record_count] = {
#define OXS_RECORD_ROW(S, B, NAME, MODULE, COPY)                                                       \
  {#S,          #B,           NAME,           "base_idls/" #MODULE, 0, sizeof(S), fields_##S::rows, \
   OXS_COUNT(fields_##S::rows), &calls::encode<S>, &calls::decode<S>, &calls::release<S>, &calls::tree_encode<S>,   \
   &calls::tree_decode<S>},
    OXS_ALL_MODULES(OXS_RECORD_ROW)
#undef OXS_RECORD_ROW
#define OXS_KY_RECORD_ROW(S, B, NAME, CODE, SHAPE)                                                          \
  {OXS_STRUCTURE_NAME_##SHAPE(S), #B, NAME, OXS_TYPE_CODE_MODULE, CODE, sizeof(S), fields_##S::rows,            \
   OXS_COUNT(fields_##S::rows), &calls::encode_code<CODE>, &calls::decode_code<CODE>, &calls::release_code<CODE>,  \
   &calls::encode_code<CODE>, &calls::decode_code<CODE>},
    OXS_TYPE_CODE_RECORDS(OXS_KY_RECORD_ROW)
#undef OXS_KY_RECORD_ROW
};

// The shape of each row of the table: the SHAPE column of the type-code
// records (a sequence there begins with its lead INTEGER).
#define OXS_SHAPE_sequence oxs_shape_lead
#define OXS_SHAPE_bare oxs_shape_bare
const oxs_record_shape shapes[record_count] = {
#define OXS_RECORD_SHAPE(S, B, NAME, MODULE, COPY) oxs_shape_sequence,
    OXS_ALL_MODULES(OXS_RECORD_SHAPE)
#undef OXS_RECORD_SHAPE
#define OXS_KY_RECORD_SHAPE(S, B, NAME, CODE, SHAPE) OXS_SHAPE_##SHAPE,
    OXS_TYPE_CODE_RECORDS(OXS_KY_RECORD_SHAPE)
#undef OXS_KY_RECORD_SHAPE
};
#undef OXS_SHAPE_sequence
#undef OXS_SHAPE_bare

}  // namespace

namespace oxserutl {
namespace binding {
#define OXS_DESCRIPTION(S, B, NAME, MODULE, COPY)           \
  template <>                                               \
  const oxs_record_info& record_description<S>() noexcept { \
    return table[index_##S];                                \
  }
OXS_ALL_MODULES(OXS_DESCRIPTION)
#undef OXS_DESCRIPTION
}  // namespace binding
}  // namespace oxserutl

const oxs_record_info* oxs_records(std::size_t* count) {
  if (count != nullptr) *count = record_count;
  return table;
}

oxs_record_shape oxs_shape_of(const oxs_record_info& info) noexcept {
  // std::less orders pointers into different objects too.
  const std::less<const oxs_record_info*> before;
  if (before(&info, table) || !before(&info, table + record_count)) return oxs_shape_sequence;
  return shapes[&info - table];
}

const oxs_record_info* oxs_find_record(const char* name) {
  if (name == nullptr) return nullptr;
  for (const oxs_record_info& r : table) {
    if (std::strcmp(name, r.structure) == 0 || std::strcmp(name, r.type_name) == 0 ||
        std::strcmp(name, r.binding) == 0)
      return &r;
  }
  return nullptr;
}
