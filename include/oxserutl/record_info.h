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

// --- the field kinds as data ------------------------------------------------------
//
// One row per kind, indexed by the kind (oxs_kinds[f.kind]): what a reader
// of the description would otherwise switch on. The patterns name the
// field {f}, the element record's structure or ASN.1 type {S} and a fixed
// array's size {N}.

// Whether a record whose field is of this kind and left unset is complete
// (a valid value without anything set) as far as the field goes.
enum oxs_unset_rule {
  oxs_unset_incomplete,  // the field needs a value
  oxs_unset_complete,    // an empty list, or an optional record left out
  oxs_unset_as_element,  // a record held by value: as its own fields say
};

struct oxs_kind_info {
  oxs_field_kind kind;
  const char* name;          // the word of the schema rows: "i32", "list16"
  std::uint8_t tag;          // universal tag of the element: 2, 4, 12 or 16
  bool constructed;          // the element is constructed (a SEQUENCE)
  const char* c_decl;        // the structure member: "char* {f}"
  const char* asn1;          // the ASN.1 type: "SEQUENCE OF {S}"
  const char* json;          // what a JSON form of the field holds
  std::uint8_t count_bits;   // width of the count or length field: 0, 16 or 32
  bool text;                 // the field holds text
  // The text follows the code-set mode of the record holding the field: a
  // binding passes its mode to the children it registers and a list to the
  // elements it creates, while a record held by value, by pointer or in a
  // sparse array registered its children before its parent adopted it.
  // The type-code records' octet texts follow no mode.
  bool local_text;
  oxs_unset_rule unset;      // see oxs_unset_rule
  // An unset field of this kind is written all the same, as its element's
  // empty form, when that element is complete unset (the optional record).
  bool written_when_element_complete;
};

inline constexpr oxs_kind_info oxs_kinds[] = {
    {oxs_kind_i32, "i32", 2, false, "std::int32_t {f}", "INTEGER", "a number from -2147483648 to 2147483647", 0,
     false, false, oxs_unset_incomplete, false},
    {oxs_kind_u32, "u32", 2, false, "std::uint32_t {f}", "INTEGER", "a number from 0 to 4294967295", 0, false, false,
     oxs_unset_incomplete, false},
    {oxs_kind_u16, "u16", 2, false, "std::uint16_t {f}", "INTEGER", "a number from 0 to 65535", 0, false, false,
     oxs_unset_incomplete, false},
    {oxs_kind_u8, "u8", 2, false, "std::uint8_t {f}", "INTEGER", "a number from 0 to 255", 0, false, false,
     oxs_unset_incomplete, false},
    {oxs_kind_string, "string", 12, false, "char* {f}", "UTF8String", "a string or null", 0, true, true,
     oxs_unset_incomplete, false},
    {oxs_kind_fixed, "fixed", 4, false, "unsigned char {f}[{N}]", "OCTET STRING", "a hex string", 0, false, false,
     oxs_unset_incomplete, false},
    {oxs_kind_block, "block", 4, false, "unsigned char* {f}", "OCTET STRING", "a hex string", 32, false, false,
     oxs_unset_incomplete, false},
    {oxs_kind_list, "list", 16, true, "{S}* {f}", "SEQUENCE OF {S}", "an array of objects", 32, false, true,
     oxs_unset_complete, false},
    {oxs_kind_list16, "list16", 16, true, "{S}* {f}", "SEQUENCE OF {S}", "an array of objects", 16, false, true,
     oxs_unset_complete, false},
    {oxs_kind_ptrlist, "ptrlist", 16, true, "{S}** {f}", "SEQUENCE OF {S}", "an array of objects", 32, false, true,
     oxs_unset_complete, false},
    {oxs_kind_strings, "strings", 16, true, "char** {f}", "SEQUENCE OF UTF8String", "an array of strings", 32, true,
     true, oxs_unset_complete, false},
    {oxs_kind_ints, "ints", 16, true, "std::int32_t* {f}", "SEQUENCE OF INTEGER", "an array of numbers", 32, false,
     false, oxs_unset_complete, false},
    {oxs_kind_nested, "nested", 16, true, "{S} {f}", "{S}", "an object", 0, false, false, oxs_unset_as_element,
     false},
    {oxs_kind_optional, "optional", 16, true, "{S}* {f}", "{S} OPTIONAL", "an object or null", 0, false, false,
     oxs_unset_complete, true},
    {oxs_kind_sparse, "sparse", 16, true, "{S}* {f}[32]", "SEQUENCE OF CHOICE { empty NULL, record {S} }",
     "an array of at most 32 objects or nulls", 0, false, false, oxs_unset_incomplete, false},
    {oxs_kind_cstring, "cstring", 4, false, "char* {f}", "OCTET STRING", "a string or null", 0, true, false,
     oxs_unset_incomplete, false},
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
  // Two facts of the object tree, derived from the kind table:
  // local_text: in the local-code-set functions, the text of this field (a
  // string, a list of strings, or the text of the records in a list) is in
  // the local code set whenever the text of the record holding the field
  // is (oxs_kind_info::local_text).
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
