// Run-time description of the records: their field names, kinds and
// layout, derived from the same tables as the bindings
// (<oxserutl/record_schema.h>). Tools use it to print, parse and generate
// records without a second hand-written table.
#ifndef OXSERUTL_RECORD_INFO_H
#define OXSERUTL_RECORD_INFO_H

#include <cstddef>
#include <cstdint>

#include <oxserutl/asnbase.h>

enum oxs_field_kind {
  oxs_kind_i32,       // std::int32_t
  oxs_kind_u32,       // std::uint32_t
  oxs_kind_u16,       // std::uint16_t
  oxs_kind_u8,        // std::uint8_t
  oxs_kind_string,    // char*, UTF8String
  oxs_kind_fixed,     // unsigned char[fixed_size]
  oxs_kind_block,     // u32 length at count_offset, unsigned char* at offset
  oxs_kind_list,      // u32 count, element* (records by value)
  oxs_kind_list16,    // u16 count, element*
  oxs_kind_ptrlist,   // u32 count, element** (records by pointer)
  oxs_kind_strings,   // u32 count, char**
  oxs_kind_ints,      // u32 count, std::int32_t*
  oxs_kind_nested,    // element held by value
  oxs_kind_optional,  // element*, null when absent
  oxs_kind_sparse,    // element*[32], null slots
  oxs_kind_cstring,   // char*, OCTET STRING holding the text and its zero (type-code records)
};

struct oxs_record_info;

struct oxs_field_info {
  const char* name;         // the field (the pointer for lists and blocks)
  const char* count_name;   // the count or length field, or null
  oxs_field_kind kind;
  std::size_t offset;       // of the field in the structure
  std::size_t count_offset; // of the count or length field
  std::uint32_t fixed_size; // octets of a fixed array
  const oxs_record_info* (*element)();  // nested or element record, or null
  // Two facts of the object tree, derived once from the field kinds:
  // local_text: in the local-code-set functions, the text of this field (a
  // string, a list of strings, or the text of the records in a list) is in
  // the local code set whenever the text of the record holding the field
  // is. False for every other kind: a record held by value, by pointer or in
  // a sparse array keeps its text, and all text below it, in UTF-8, as do
  // the type-code records' texts.
  bool local_text;
  // written_when_unset: an optional record left null is written all the
  // same, as its empty form, because its record is complete without any
  // value (every field a list, an optional record, or a nested record of
  // that kind); it then decodes as present. False for every other field.
  bool written_when_unset;
};

struct oxs_record_info {
  const char* structure;   // "acl_entry_s_t"
  const char* binding;     // "asn_acl_entry_t"
  const char* type_name;   // "acl_entry_t"
  const char* module;      // "base_idls/aclidl_asn"
  std::uint32_t type_code; // 259, 260, 262 for the type-code records, else 0
  std::size_t size;        // sizeof the structure
  const oxs_field_info* fields;
  std::uint32_t field_count;
  // The exported functions, reached through an untyped record pointer;
  // lcs selects the local-code-set variant (ignored by type-code records,
  // which use envelope version 2 here).
  int (*encode)(tq_asn_buffer_t& out, void* record, int lcs);
  int (*decode)(tq_asn_buffer_t& in, void* record, int lcs);
  void (*release)(void* record);
  // The same encode and decode through the object tree alone, without the
  // direct path that the exported functions take for records in the
  // ordinary shape; for checking the one against the other. The type-code
  // records have only the one path.
  int (*tree_encode)(tq_asn_buffer_t& out, void* record, int lcs);
  int (*tree_decode)(tq_asn_buffer_t& in, void* record, int lcs);
};

// Every record: the 62 record functions' records in module order, then the
// three type-code records. *count receives the number.
OXSERUTL_API const oxs_record_info* oxs_records(std::size_t* count);
// A record by structure name, type name or binding name, or null.
OXSERUTL_API const oxs_record_info* oxs_find_record(const char* name);

#endif
