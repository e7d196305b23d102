#include "asn1_module.h"

#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>


namespace oxser {

namespace {

// "time_low" is time-low: identifiers start with a lower-case letter and
// join words with single hyphens.
std::string identifier(const char* name) {
  std::string out;
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p == '_') {
      if (!out.empty() && out.back() != '-') out += '-';
    } else {
      out += *p;
    }
  }
  while (!out.empty() && out.back() == '-') out.pop_back();
  if (!out.empty()) out[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(out[0])));
  return out;
}

struct writer {
  std::string out;
  std::set<std::string> slots;  // slot CHOICE types written

  std::string slot_name(const oxs_record_info& e) { return asn1_type_name(e) + "Slot"; }

  // The type of a field and a comment about it.
  std::string field_type(const oxs_field_info& f, std::string& note) {
    const auto& k = oxs_kinds[f.kind];
    const std::string element = f.element != nullptr ? asn1_type_name(*f.element()) : "";
    note = kind_text(k.asn1_note, f);
    return kind_text(k.asn1, f, element);
  }

  void record(const oxs_record_info& info) {
    const std::string name = asn1_type_name(info);
    std::string head = "-- " + std::string(info.type_name) + " (structure " + info.structure + ", " + info.module;
    if (info.type_code != 0) head += ", type code " + std::to_string(info.type_code);
    out += head + ")\n";
    if (oxs_shape_of(info) == oxs_shape_bare) {
      out += name + " ::= Int32\n\n";
      return;
    }
    struct line {
      std::string id, type, note;
      bool optional;
    };
    std::vector<line> lines;
    if (oxs_shape_of(info) == oxs_shape_lead) lines.push_back({"lead", "INTEGER (1)", "always 1, not examined on reading", false});
    for (std::uint32_t i = 0; i < info.field_count; ++i) {
      const oxs_field_info& f = info.fields[i];
      line l{identifier(f.name), "", "", false};
      l.type = field_type(f, l.note);
      l.optional = oxs_field_optional(info, f);
      if (l.optional && !oxs_kinds[f.kind].optional) l.note += ", left out when empty";
      lines.push_back(l);
    }
    std::size_t width = 0;
    for (const line& l : lines) width = std::max(width, l.id.size());
    out += name + " ::= SEQUENCE {";
    if (lines.empty()) out += " }\n\n";
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const line& l = lines[i];
      std::string text = "\n  " + l.id + std::string(width - l.id.size() + 1, ' ') + l.type + (l.optional ? " OPTIONAL" : "");
      if (i + 1 < lines.size()) text += ",";
      if (!l.note.empty()) text += "  -- " + l.note;
      out += text;
    }
    if (!lines.empty()) out += "\n}\n\n";
    for (std::uint32_t i = 0; i < info.field_count; ++i) {
      const oxs_field_info& f = info.fields[i];
      if (oxs_kinds[f.kind].value != oxs_value_slots) continue;
      const oxs_record_info& e = *f.element();
      if (!slots.insert(slot_name(e)).second) continue;
      out += "-- a slot of a sparse array of " + std::string(e.type_name) + ": NULL when empty\n";
      out += slot_name(e) + " ::= CHOICE { empty NULL, " + identifier(asn1_type_name(e).c_str()) + " " + asn1_type_name(e) + " }\n\n";
    }
  }
};

void collect(const oxs_record_info* info, std::set<const oxs_record_info*>& seen) {
  if (!seen.insert(info).second) return;
  for (std::uint32_t i = 0; i < info->field_count; ++i)
    if (info->fields[i].element != nullptr) collect(info->fields[i].element(), seen);
}

const char* const kHeader =
    "-- from the library's run-time record description. Do not edit: run the command again.\n"
    "--\n"
    "-- A buffer is a 4-octet envelope and one BER element (X.690) of a record type:\n"
    "--   octet 0     header length, 04: the octets ahead of the element\n"
    "--   octet 1     envelope version, 02 for every record\n"
    "--   octets 2-3  markers AC DC\n"
    "-- Skip the header length and decode the rest as the record's type below. Writers use\n"
    "-- definite lengths in the shortest form; readers also take indefinite lengths and\n"
    "-- constructed strings. All tags are universal: no component is tagged.\n"
    "-- Each record's comment gives its type name, structure and module in the library.\n";

}  // namespace

std::string kind_text(const char* pattern, const oxs_field_info& f, const std::string& element) {
  std::string out;
  for (const char* p = pattern; *p != '\0'; ++p) {
    const auto is = [&](const char* word) { return std::strncmp(p, word, std::strlen(word)) == 0; };
    if (is("{f}")) {
      out += f.name;
      p += 2;
    } else if (is("{S}")) {
      out += element;
      p += 2;
    } else if (is("{N}")) {
      out += std::to_string(f.fixed_size);
      p += 2;
    } else if (is("{count}")) {
      out += f.count_name != nullptr ? f.count_name : "";
      p += 6;
    } else {
      out += *p;
    }
  }
  return out;
}

std::string asn1_type_name(const oxs_record_info& info) {
  std::string name = info.type_name;
  if (name.size() > 2 && name.compare(name.size() - 2, 2, "_t") == 0) name.resize(name.size() - 2);
  // A name in capitals ("INTEGER", the bare integer of a type code) would
  // be a reserved word: only its first letter stays a capital.
  bool capitals = true;
  for (char c : name) capitals = capitals && !std::islower(static_cast<unsigned char>(c));
  if (capitals)
    for (std::size_t i = 1; i < name.size(); ++i) name[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
  std::string out;
  bool upper = true;
  for (char c : name) {
    if (c == '_') {
      upper = true;
      continue;
    }
    out += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    upper = false;
  }
  return out;
}

std::vector<std::string> asn1_records() {
  std::size_t count = 0;
  const oxs_record_info* table = oxs_records(&count);
  std::vector<std::string> texts;
  writer w;  // one for all: each slot type is written once, with the first record that needs it
  for (std::size_t i = 0; i < count; ++i) {
    w.out.clear();
    w.record(table[i]);
    while (!w.out.empty() && w.out.back() == '\n') w.out.pop_back();
    texts.push_back(w.out + "\n");
  }
  return texts;
}

std::string asn1_module(const std::vector<const oxs_record_info*>& roots) {
  std::size_t count = 0;
  const oxs_record_info* table = oxs_records(&count);
  std::set<const oxs_record_info*> wanted;
  for (const oxs_record_info* r : roots) collect(r, wanted);
  std::map<std::string, const oxs_record_info*> names;
  writer w;
  std::string command = "oxser asn1";
  for (const oxs_record_info* r : roots) command += std::string(" ") + r->type_name;
  w.out = "-- The records of liboxserutl as an ASN.1 module (X.680), generated by `" + command + "`\n";
  w.out += kHeader;
  w.out += "\nOxserutlRecords DEFINITIONS ::= BEGIN\n\n";
  w.out += "-- Integer fields are 32-bit (Int32), 16-bit or 8-bit.\nInt32 ::= INTEGER (-2147483648..2147483647)\n\n";
  for (std::size_t i = 0; i < count; ++i) {
    const oxs_record_info& info = table[i];
    if (!roots.empty() && wanted.count(&info) == 0) continue;
    if (!names.emplace(asn1_type_name(info), &info).second)
      throw std::logic_error("two records named " + asn1_type_name(info) + " in the ASN.1 module");
    w.record(info);
  }
  w.out += "END\n";
  return w.out;
}

}  // namespace oxser
