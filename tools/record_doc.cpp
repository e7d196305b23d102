#include "record_doc.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include <oxserutl/asn_kyobjs.h>
#include <oxserutl/asnsarray.h>
#include <oxserutl/record_info.h>

namespace oxser {

namespace {

bool is_type_code_module(const oxs_record_info& info) { return std::strcmp(info.module, "asn1/asn_kyobjs") == 0; }

std::string element_structure(const oxs_field_info& f) { return f.element()->structure; }
std::string element_type(const oxs_field_info& f) { return f.element()->type_name; }

// The C declarations of one field, each with the offset the compiler gave
// it (a count or length is a member of its own).
void declarations(const oxs_field_info& f, std::vector<std::pair<std::size_t, std::string>>& out) {
  const std::string name = f.name;
  std::string decl;
  const char* count_type = f.kind == oxs_kind_list16 ? "std::uint16_t" : "std::uint32_t";
  switch (f.kind) {
    case oxs_kind_i32: decl = "std::int32_t " + name; break;
    case oxs_kind_u32: decl = "std::uint32_t " + name; break;
    case oxs_kind_u16: decl = "std::uint16_t " + name; break;
    case oxs_kind_u8: decl = "std::uint8_t " + name; break;
    case oxs_kind_string:
    case oxs_kind_cstring: decl = "char* " + name; break;
    case oxs_kind_fixed: decl = "unsigned char " + name + "[" + std::to_string(f.fixed_size) + "]"; break;
    case oxs_kind_block: decl = "unsigned char* " + name; break;
    case oxs_kind_list:
    case oxs_kind_list16: decl = element_structure(f) + "* " + name; break;
    case oxs_kind_ptrlist: decl = element_structure(f) + "** " + name; break;
    case oxs_kind_strings: decl = "char** " + name; break;
    case oxs_kind_ints: decl = "std::int32_t* " + name; break;
    case oxs_kind_nested: decl = element_structure(f) + " " + name; break;
    case oxs_kind_optional: decl = element_structure(f) + "* " + name; break;
    case oxs_kind_sparse:
      decl = element_structure(f) + "* " + name + "[" + std::to_string(tq_asn_sarray_slots) + "]";
      break;
  }
  out.emplace_back(f.offset, decl + ";");
  if (f.count_name != nullptr) out.emplace_back(f.count_offset, std::string(count_type) + " " + f.count_name + ";");
}

// The ASN.1 type of one field, and a remark for after it.
std::pair<std::string, std::string> asn1_type(const oxs_record_info& info, const oxs_field_info& f) {
  switch (f.kind) {
    case oxs_kind_i32:
    case oxs_kind_u32: return {"INTEGER", ""};
    case oxs_kind_u16: return {"INTEGER", "16 bits in the structure"};
    case oxs_kind_u8: return {"INTEGER", "8 bits in the structure"};
    case oxs_kind_string: return {"UTF8String", ""};
    case oxs_kind_cstring: return {"OCTET STRING", "the text and its terminating zero"};
    case oxs_kind_fixed: return {"OCTET STRING", std::to_string(f.fixed_size) + " octets in the structure"};
    case oxs_kind_block:
      return {is_type_code_module(info) ? "OCTET STRING OPTIONAL" : "OCTET STRING",
              is_type_code_module(info) ? "left out when empty" : ""};
    case oxs_kind_list:
    case oxs_kind_list16:
    case oxs_kind_ptrlist: return {"SEQUENCE OF " + element_type(f), ""};
    case oxs_kind_strings: return {"SEQUENCE OF UTF8String", ""};
    case oxs_kind_ints: return {"SEQUENCE OF INTEGER", ""};
    case oxs_kind_nested: return {element_type(f), ""};
    case oxs_kind_optional: return {element_type(f) + " OPTIONAL", ""};
    case oxs_kind_sparse:
      return {"SEQUENCE OF CHOICE { empty NULL, record " + element_type(f) + " }",
              "element k is slot k; empty slots after the last filled one are left out"};
  }
  return {"", ""};
}

// The anchor Markdown renderers give a heading: lower case.
std::string anchor(const char* heading) {
  std::string out = heading;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

void record_section(const oxs_record_info& info, std::string& out) {
  out += "## " + std::string(info.type_name) + "\n\n";
  out += "Structure `" + std::string(info.structure) + "`, binding class `" + info.binding + "`, module `" +
         info.module + "`";
  if (info.type_code != 0) out += ", type code " + std::to_string(info.type_code);
  out += ".\n\n";
  if (info.type_code == ASN_TYPE_INTEGER) {
    out += "The record is one `std::int32_t`; the buffer holds one INTEGER behind the envelope.\n\n";
    out += "```asn1\nINTEGER\n```\n\n";
    return;
  }

  std::vector<std::pair<std::size_t, std::string>> members;
  for (std::uint32_t i = 0; i < info.field_count; ++i) declarations(info.fields[i], members);
  std::stable_sort(members.begin(), members.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  out += "```c\nstruct " + std::string(info.structure) + " {\n";
  for (const auto& m : members) out += "  " + m.second + "\n";
  out += "};\n```\n\n";

  std::vector<std::pair<std::string, std::pair<std::string, std::string>>> components;
  if (is_type_code_module(info)) components.push_back({"lead", {"INTEGER (1)", "written as 1, not examined"}});
  for (std::uint32_t i = 0; i < info.field_count; ++i)
    components.push_back({info.fields[i].name, asn1_type(info, info.fields[i])});
  std::size_t width = 0;
  for (const auto& c : components) width = std::max(width, c.first.size());
  out += "```asn1\n" + std::string(info.type_name) + " ::= SEQUENCE {\n";
  for (std::size_t i = 0; i < components.size(); ++i) {
    const auto& c = components[i];
    std::string line = "  " + c.first + std::string(width + 1 - c.first.size(), ' ') + c.second.first;
    if (i + 1 < components.size()) line += ",";
    if (!c.second.second.empty()) line += "  -- " + c.second.second;
    out += line + "\n";
  }
  out += "}\n```\n\n";
}

}  // namespace

std::string records_markdown() {
  std::size_t count = 0;
  const oxs_record_info* table = oxs_records(&count);
  std::string out =
      "# Record reference\n\n"
      "<!-- Generated by `oxser types --markdown` from the run-time record description; do not edit.\n"
      "     Regenerate: build/tools/oxser types --markdown > docs/records.md -->\n\n"
      "Every record of liboxserutl: the C structure as the compiler lays it out (members in\n"
      "order), its ASN.1 and its type name. The 62 records of the record functions come in\n"
      "module order, then the records reached by a type code (`tqasn_encode_obj`).\n"
      "Every record is one SEQUENCE behind the envelope `04 02 AC DC` (the type-code records\n"
      "take the envelope version from the caller).\n\n"
      "| type name | structure | module |\n|---|---|---|\n";
  for (std::size_t i = 0; i < count; ++i)
    out += "| [" + std::string(table[i].type_name) + "](#" + anchor(table[i].type_name) + ") | `" +
           table[i].structure + "` | `" + table[i].module + "` |\n";
  out += "\n";
  for (std::size_t i = 0; i < count; ++i) record_section(table[i], out);
  while (out.size() > 1 && out[out.size() - 1] == '\n' && out[out.size() - 2] == '\n') out.pop_back();
  return out;
}

}  // namespace oxser
