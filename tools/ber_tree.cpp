#include "ber_tree.h"

#include <cstdio>
#include <cstring>

#include <oxserutl/asn_kyobjs.h>
#include <oxserutl/status.h>

#include "ber_primitives.h"

namespace oxser {

namespace {

std::string byte_hex(unsigned char b) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", b);
  return text;
}

ber_fault fault(int status, std::size_t offset, std::string expected, std::string found = {}) {
  return ber_fault{status, offset, std::move(expected), std::move(found)};
}

std::optional<ber_fault> read_at(const std::vector<unsigned char>& data, std::size_t pos, std::size_t limit, int depth,
                                 ber_node& out);

// The elements inside a constructed element, up to its end (definite) or
// up to the end-of-contents octets (indefinite).
std::optional<ber_fault> read_children(const std::vector<unsigned char>& data, std::size_t limit, int depth,
                                       ber_node& node) {
  std::size_t pos = node.content;
  for (;;) {
    if (node.definite) {
      if (pos >= node.content + node.length) break;
    } else {
      if (pos >= limit)
        return fault(ASN_ERR_BAD_LENGTH, pos, "the end-of-contents octets 00 00 closing the element at offset " +
                                                  std::to_string(node.offset),
                     "the end of the data");
      if (pos + 1 < limit && data[pos] == 0 && data[pos + 1] == 0) {
        node.length = pos - node.content;
        node.end = pos + 2;
        break;
      }
    }
    ber_node child;
    const std::size_t inner_limit = node.definite ? node.content + node.length : limit;
    if (auto f = read_at(data, pos, inner_limit, depth + 1, child)) return f;
    pos = child.end;
    node.children.push_back(std::move(child));
  }
  return std::nullopt;
}

std::optional<ber_fault> read_at(const std::vector<unsigned char>& data, std::size_t pos, std::size_t limit, int depth,
                                 ber_node& out) {
  out = ber_node{};
  out.offset = pos;
  // The library's own identifier and length readers, so that the walker
  // frames every element as the library does.
  const unsigned char* cursor = data.data() + pos;
  auto remaining = static_cast<std::uint32_t>(limit - pos);
  std::uint32_t tag = 0;
  int constructed = 0;
  int cls = 0;
  if (oxserutl::detail::read_identifier(cursor, remaining, tag, constructed, cls) != 0)
    return fault(ASN_ERR_TRUNCATED, pos, "identifier octets", limit == pos ? "the end of the data" : "the end of the data within the identifier");
  const std::size_t length_at = limit - remaining;
  int definite = 1;
  std::uint32_t length = 0;
  bool overflow = false;
  if (oxserutl::detail::read_length(cursor, remaining, definite, length, overflow) != 0)
    return fault(ASN_ERR_TRUNCATED, length_at, "length octets", "the end of the data");
  out.tag = tag;
  out.cls = cls;
  out.constructed = constructed != 0;
  out.definite = definite != 0;
  out.content = limit - remaining;
  // A length with significant octets beyond 32 bits cannot fit the data.
  if (overflow)
    return fault(ASN_ERR_TRUNCATED, length_at, "a length that fits the " + std::to_string(limit - out.content) +
                                                   " octets that remain",
                 "a length of more than 32 bits");
  if (!out.definite) {
    if (!out.constructed)
      return fault(ASN_ERR_INDEFINITE_NOT_PERMITTED, length_at, "a definite length (a primitive element has no indefinite form)",
                   "the indefinite form 80");
    if (depth >= max_depth)
      return fault(ASN_ERR_BAD_LENGTH, pos, "at most " + std::to_string(max_depth) + " levels of nesting");
    return read_children(data, limit, depth, out);
  }
  if (length > remaining)
    return fault(ASN_ERR_TRUNCATED, out.content, std::to_string(length) + " content octets",
                 std::to_string(remaining) + (limit == data.size() ? " before the end of the data"
                                                                    : " before the end of the enclosing element"));
  out.length = length;
  out.end = out.content + length;
  if (!out.constructed) return std::nullopt;
  if (depth >= max_depth)
    return fault(ASN_ERR_BAD_LENGTH, pos, "at most " + std::to_string(max_depth) + " levels of nesting");
  return read_children(data, limit, depth, out);
}

// --- matching a record's description -------------------------------------------------

enum class form { primitive, constructed, either };

struct universal {
  std::uint32_t tag;
  form shape;
  const char* name;
};

constexpr universal kInteger{2, form::primitive, "an INTEGER"};
constexpr universal kOctets{4, form::either, "an OCTET STRING"};
constexpr universal kNull{5, form::primitive, "a NULL"};
constexpr universal kUtf8{12, form::either, "a UTF8String"};
constexpr universal kSequence{16, form::constructed, "a SEQUENCE"};

std::string found_text(const ber_node& n) {
  static const char* const classes[] = {"universal", "application", "context-specific", "private"};
  return std::string(classes[n.cls & 3]) + " " + std::to_string(n.tag) + (n.constructed ? " constructed" : " primitive");
}

bool same_tag(const ber_node& n, const universal& u) { return n.cls == 0 && n.tag == u.tag; }

std::string what(const universal& u, const std::string& path) { return std::string(u.name) + " (" + path + ")"; }

// The checks a reader makes on an element whose tag matched: the form.
std::optional<ber_fault> check_form(const ber_node& n, const universal& u, const std::string& path) {
  if (n.constructed && u.shape == form::primitive)
    return fault(ASN_ERR_CONSTRUCTED_NOT_PERMITTED, n.offset, "a primitive encoding of " + what(u, path), "a constructed one");
  if (!n.constructed && u.shape == form::constructed)
    return fault(ASN_ERR_PRIMITIVE_NOT_PERMITTED, n.offset, "a constructed encoding of " + what(u, path), "a primitive one");
  return std::nullopt;
}

// A string or octet string in constructed form holds OCTET STRING segments.
std::optional<ber_fault> check_segments(ber_node& n, const std::string& path) {
  for (std::size_t i = 0; i < n.children.size(); ++i) {
    ber_node& s = n.children[i];
    const std::string p = path + " segment " + std::to_string(i);
    if (!same_tag(s, kOctets)) return fault(ASN_ERR_TAG_MISMATCH, s.offset, what(kOctets, p), found_text(s));
    s.label = "segment " + std::to_string(i);
    if (auto f = check_segments(s, p)) return f;
  }
  return std::nullopt;
}

std::optional<ber_fault> expect(ber_node& n, const universal& u, const std::string& path, const std::string& label) {
  if (!same_tag(n, u)) return fault(ASN_ERR_TAG_MISMATCH, n.offset, what(u, path), found_text(n));
  if (auto f = check_form(n, u, path)) return f;
  n.label = label;
  if (n.constructed && u.shape == form::either) return check_segments(n, path);
  return std::nullopt;
}

bool is_type_code_record(const oxs_record_info& info) { return std::strcmp(info.module, "asn1/asn_kyobjs") == 0; }
bool is_bare_integer(const oxs_record_info& info) { return info.type_code == ASN_TYPE_INTEGER; }

const universal& wire_type(oxs_field_kind kind) {
  switch (kind) {
    case oxs_kind_i32:
    case oxs_kind_u32:
    case oxs_kind_u16:
    case oxs_kind_u8: return kInteger;
    case oxs_kind_string: return kUtf8;
    case oxs_kind_fixed:
    case oxs_kind_block:
    case oxs_kind_cstring: return kOctets;
    default: return kSequence;
  }
}

std::optional<ber_fault> match_record(ber_node& n, const oxs_record_info& info, const std::string& path,
                                      const std::string& label);

std::string item(const std::string& s, std::size_t i) { return s + "[" + std::to_string(i) + "]"; }

std::optional<ber_fault> match_field(ber_node& n, const oxs_field_info& f, const std::string& path) {
  const universal& u = wire_type(f.kind);
  switch (f.kind) {
    case oxs_kind_nested:
    case oxs_kind_optional: return match_record(n, *f.element(), path, f.name);
    case oxs_kind_list:
    case oxs_kind_list16:
    case oxs_kind_ptrlist:
    case oxs_kind_strings:
    case oxs_kind_ints:
    case oxs_kind_sparse: {
      if (auto e = expect(n, kSequence, path, f.name)) return e;
      for (std::size_t i = 0; i < n.children.size(); ++i) {
        ber_node& c = n.children[i];
        const std::string p = item(path, i);
        const std::string l = item(f.name, i);
        std::optional<ber_fault> e;
        if (f.kind == oxs_kind_strings) {
          e = expect(c, kUtf8, p, l);
        } else if (f.kind == oxs_kind_ints) {
          e = expect(c, kInteger, p, l);
        } else if (f.kind == oxs_kind_sparse && same_tag(c, kNull)) {
          e = expect(c, kNull, p, l + " empty");
          if (!e && c.length != 0)
            e = fault(ASN_ERR_BAD_LENGTH, c.offset, "an empty NULL (" + p + ")", std::to_string(c.length) + " content octets");
        } else if (f.kind == oxs_kind_sparse && !same_tag(c, kSequence)) {
          e = fault(ASN_ERR_TAG_MISMATCH, c.offset,
                    std::string("a NULL (empty slot) or a SEQUENCE (") + f.element()->type_name + ", " + p + ")",
                    found_text(c));
        } else {
          e = match_record(c, *f.element(), p, l);
        }
        if (e) return e;
      }
      return std::nullopt;
    }
    default: return expect(n, u, path, f.name);
  }
}

std::optional<ber_fault> match_record(ber_node& n, const oxs_record_info& info, const std::string& path,
                                      const std::string& label) {
  const std::string typed = label == info.type_name ? label : label + " (" + info.type_name + ")";
  if (is_bare_integer(info)) return expect(n, kInteger, path + "." + info.fields[0].name, typed);
  if (auto e = expect(n, kSequence, path, typed)) return e;

  struct component {
    const char* name;
    const oxs_field_info* field;  // null for the leading INTEGER
    bool optional;
  };
  std::vector<component> components;
  // The type-code records begin with an INTEGER 1 ahead of their fields,
  // and their byte block is OPTIONAL (left out when empty).
  if (is_type_code_record(info)) components.push_back({"lead", nullptr, false});
  for (std::uint32_t i = 0; i < info.field_count; ++i) {
    const oxs_field_info& f = info.fields[i];
    const bool optional = f.kind == oxs_kind_optional || (is_type_code_record(info) && f.kind == oxs_kind_block);
    components.push_back({f.name, &f, optional});
  }

  std::size_t c = 0;
  for (const component& k : components) {
    const universal& u = k.field != nullptr ? wire_type(k.field->kind) : kInteger;
    const std::string p = path + "." + k.name;
    if (c < n.children.size() && same_tag(n.children[c], u)) {
      ber_node& child = n.children[c++];
      if (auto e = k.field != nullptr ? match_field(child, *k.field, p) : expect(child, kInteger, p, k.name)) return e;
      continue;
    }
    if (k.optional) continue;
    if (c >= n.children.size())
      return fault(ASN_ERR_TRUNCATED, n.content + n.length, what(u, p),
                   "the end of " + std::string(info.type_name) + " at offset " + std::to_string(n.offset));
    return fault(ASN_ERR_TAG_MISMATCH, n.children[c].offset, what(u, p), found_text(n.children[c]));
  }
  if (c < n.children.size())
    return fault(ASN_ERR_EXTRA_CONTENT, n.children[c].offset,
                 "the end of " + std::string(info.type_name) + " (" + path + ") after its last component",
                 "another element, " + found_text(n.children[c]));
  return std::nullopt;
}

}  // namespace

std::optional<ber_fault> read_envelope(const std::vector<unsigned char>& data, unsigned want_version,
                                       envelope_info& out) {
  if (data.size() <= 4)
    return fault(ASN_ERR_VERSION, 0, "the envelope 04 <version> AC DC and an element",
                 std::to_string(data.size()) + " octets in all");
  if (data[2] != 0xAC || data[3] != 0xDC)
    return fault(ASN_ERR_VERSION, 2, "the envelope markers AC DC", byte_hex(data[2]) + " " + byte_hex(data[3]));
  if (data[1] == 0) return fault(ASN_ERR_VERSION, 1, "an envelope version from 1 to 255", "0");
  if (want_version != 0 && data[1] != want_version)
    return fault(ASN_ERR_VERSION, 1, "envelope version " + std::to_string(want_version), std::to_string(data[1]));
  if (data[0] < 4 || data[0] >= data.size())
    return fault(ASN_ERR_VERSION, 0,
                 "an envelope header length from 4 to " + std::to_string(data.size() - 1),
                 std::to_string(data[0]));
  out.header_length = data[0];
  out.version = data[1];
  return std::nullopt;
}

std::optional<ber_fault> read_element(const std::vector<unsigned char>& data, std::size_t pos, std::size_t limit,
                                      ber_node& out) {
  return read_at(data, pos, limit, 0, out);
}

std::optional<ber_fault> label_record(ber_node& root, const oxs_record_info& info) {
  return match_record(root, info, info.type_name, info.type_name);
}

std::string describe(const ber_fault& f) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(f.status));
  const char* name = tq_asn_status_name(static_cast<std::uint32_t>(f.status));
  const char* text = tq_asn_status_text(static_cast<std::uint32_t>(f.status));
  std::string out = std::string(name != nullptr ? name : "status") + " (" + code + ") at offset " +
                    std::to_string(f.offset) + ": expected " + f.expected;
  if (!f.found.empty()) out += ", found " + f.found;
  if (text != nullptr) out += " [" + std::string(text) + "]";
  return out;
}

}  // namespace oxser
