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
// field {f}, the element record's structure or ASN.1 type {S}, a fixed
// array's size {N} and the count or length field {count}.

// Whether a record whose field is of this kind and left unset is complete
// (a valid value without anything set) as far as the field goes.
enum oxs_unset_rule {
  oxs_unset_incomplete,  // the field needs a value
  oxs_unset_complete,    // an empty list, or an optional record left out
  oxs_unset_as_element,  // a record held by value: as its own fields say
};

// What a field holds, as a reader of its value sees it.
enum oxs_value_category {
  oxs_value_integer,   // one integer (see int_bits, int_signed)
  oxs_value_text,      // one text
  oxs_value_octets,    // a fixed array or a byte block
  oxs_value_record,    // one record, by value or by pointer
  oxs_value_records,   // a counted array of records
  oxs_value_texts,     // a counted array of texts
  oxs_value_integers,  // a counted array of 32-bit signed integers
  oxs_value_slots,     // a sparse array: OXS_SPARSE_SLOTS record pointers, null when empty
};

struct oxs_kind_info {
  oxs_field_kind kind;
  const char* name;          // the word of the schema rows: "i32", "list16"
  std::uint8_t tag;          // universal tag of the element: 2, 4, 12 or 16
  bool constructed;          // the element is constructed (a SEQUENCE)
  const char* c_decl;        // the structure member: "char* {f}"
  const char* asn1;          // its type in the ASN.1 module of the tool: "SEQUENCE OF {S}"
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
  oxs_value_category value;  // see oxs_value_category
  std::uint8_t int_bits;     // an integer's width: 8, 16 or 32; 0 for the rest
  bool int_signed;           // the integer is signed
  bool fixed_array;          // an array held in the structure: fixed octets, sparse slots
  bool optional;             // a record held by pointer, left out when null
  bool terminated;           // a text carried in an OCTET STRING with its terminating zero
  bool pointer;              // the member is a pointer to a block that the record owns
  bool element_pointers;     // an array of pointers to the records it owns
  const char* asn1_note;     // the comment on the field in the ASN.1 module, or ""
  const char* words;         // the field in the words of `oxser types`
};

inline constexpr oxs_kind_info oxs_kinds[] = {
    // kind, name, tag, constructed, c_decl, asn1, json, count_bits, text, local_text, unset,
    // written_when_element_complete, value, int_bits, int_signed, fixed_array, optional, terminated,
    // pointer, element_pointers, asn1_note, words
    {oxs_kind_i32, "i32", 2, false, "std::int32_t {f}", "Int32", "a number from -2147483648 to 2147483647", 0,
     false, false, oxs_unset_incomplete, false, oxs_value_integer, 32, true, false, false, false, false, false, "",
     "number (signed 32-bit)"},
    {oxs_kind_u32, "u32", 2, false, "std::uint32_t {f}", "Int32", "a number from 0 to 4294967295", 0, false, false,
     oxs_unset_incomplete, false, oxs_value_integer, 32, false, false, false, false, false, false,
     "unsigned 32-bit, written as the signed INTEGER of its bit pattern", "number (unsigned 32-bit)"},
    {oxs_kind_u16, "u16", 2, false, "std::uint16_t {f}", "INTEGER (0..65535)", "a number from 0 to 65535", 0, false,
     false, oxs_unset_incomplete, false, oxs_value_integer, 16, false, false, false, false, false, false, "",
     "number (unsigned 16-bit)"},
    {oxs_kind_u8, "u8", 2, false, "std::uint8_t {f}", "INTEGER (0..255)", "a number from 0 to 255", 0, false, false,
     oxs_unset_incomplete, false, oxs_value_integer, 8, false, false, false, false, false, false, "",
     "number (unsigned 8-bit)"},
    {oxs_kind_string, "string", 12, false, "char* {f}", "UTF8String", "a string or null", 0, true, true,
     oxs_unset_incomplete, false, oxs_value_text, 0, false, false, false, false, true, false, "", "string"},
    {oxs_kind_fixed, "fixed", 4, false, "unsigned char {f}[{N}]", "OCTET STRING (SIZE ({N}))", "a hex string", 0,
     false, false, oxs_unset_incomplete, false, oxs_value_octets, 0, false, true, false, false, false, false, "",
     "hex string of {N} bytes"},
    {oxs_kind_block, "block", 4, false, "unsigned char* {f}", "OCTET STRING", "a hex string", 32, false, false,
     oxs_unset_incomplete, false, oxs_value_octets, 0, false, false, false, false, true, false, "length in {count}",
     "hex string (length in {count})"},
    {oxs_kind_list, "list", 16, true, "{S}* {f}", "SEQUENCE OF {S}", "an array of objects", 32, false, true,
     oxs_unset_complete, false, oxs_value_records, 0, false, false, false, false, true, false, "count in {count}",
     "array of {S} (count in {count})"},
    {oxs_kind_list16, "list16", 16, true, "{S}* {f}", "SEQUENCE OF {S}", "an array of objects", 16, false, true,
     oxs_unset_complete, false, oxs_value_records, 0, false, false, false, false, true, false, "count in {count}",
     "array of {S} (count in {count})"},
    {oxs_kind_ptrlist, "ptrlist", 16, true, "{S}** {f}", "SEQUENCE OF {S}", "an array of objects", 32, false, true,
     oxs_unset_complete, false, oxs_value_records, 0, false, false, false, false, true, true, "count in {count}",
     "array of {S} (count in {count})"},
    {oxs_kind_strings, "strings", 16, true, "char** {f}", "SEQUENCE OF UTF8String", "an array of strings", 32, true,
     true, oxs_unset_complete, false, oxs_value_texts, 0, false, false, false, false, true, false, "count in {count}",
     "array of strings (count in {count})"},
    {oxs_kind_ints, "ints", 16, true, "std::int32_t* {f}", "SEQUENCE OF Int32", "an array of numbers", 32, false,
     false, oxs_unset_complete, false, oxs_value_integers, 0, false, false, false, false, true, false,
     "count in {count}", "array of numbers (count in {count})"},
    {oxs_kind_nested, "nested", 16, true, "{S} {f}", "{S}", "an object", 0, false, false, oxs_unset_as_element,
     false, oxs_value_record, 0, false, false, false, false, false, false, "", "{S}"},
    {oxs_kind_optional, "optional", 16, true, "{S}* {f}", "{S}", "an object or null", 0, false, false,
     oxs_unset_complete, true, oxs_value_record, 0, false, false, true, false, true, false,
     "a null pointer is left out", "{S} or null"},
    {oxs_kind_sparse, "sparse", 16, true, "{S}* {f}[32]", "SEQUENCE (SIZE (0..32)) OF {S}Slot",
     "an array of at most 32 objects or nulls", 0, false, false, oxs_unset_incomplete, false, oxs_value_slots, 0,
     false, true, false, false, false, true,
     "32 slots; element k is slot k, empty slots after the last filled one are left out",
     "array of up to 32 slots, each {S} or null"},
    {oxs_kind_cstring, "cstring", 4, false, "char* {f}", "OCTET STRING", "a string or null", 0, true, false,
     oxs_unset_incomplete, false, oxs_value_text, 0, false, false, false, true, true, false,
     "text with its terminating zero octet", "string (carried with its terminator)"},
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

// How a record's fields lie on the wire.
enum oxs_record_shape {
  oxs_shape_sequence,  // a SEQUENCE of its fields
  oxs_shape_lead,      // a SEQUENCE of an INTEGER 1 and then its fields; its byte block is OPTIONAL
  oxs_shape_bare,      // its one integer field's INTEGER alone
};

// The shape of a record of oxs_records(); oxs_shape_sequence for any other
// pointer.
OXSERUTL_API oxs_record_shape oxs_shape_of(const oxs_record_info& info) noexcept;

// Whether the field of info may be left out on the wire: an optional
// record, or the byte block of a record that begins with its lead INTEGER
// (left out when empty).
inline bool oxs_field_optional(const oxs_record_info& info, const oxs_field_info& field) noexcept {
  const oxs_kind_info& k = oxs_kinds[field.kind];
  return k.optional || (k.value == oxs_value_octets && !k.fixed_array && oxs_shape_of(info) == oxs_shape_lead);
}

#endif
