#include "ber_tree.h"
#include "tool_io.h"

#include <algorithm>
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

// --- what an element must be ------------------------------------------------------

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

// What the parent expects of an element.
struct expectation {
  enum what_t { anything, integer, text, octets, cstring, slot, record, list, segments } what = anything;
  const oxs_record_info* info = nullptr;  // record; a list's element record
  const oxs_field_info* field = nullptr;  // list
  bool text_segments = false;             // segments of a UTF8String
  bool lead = false;                      // the leading INTEGER of a type-code record
};

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

expectation field_expectation(const oxs_field_info& f) {
  expectation x;
  switch (f.kind) {
    case oxs_kind_i32:
    case oxs_kind_u32:
    case oxs_kind_u16:
    case oxs_kind_u8:
      x.what = expectation::integer;
      x.field = &f;
      break;
    case oxs_kind_string: x.what = expectation::text; break;
    case oxs_kind_fixed:
    case oxs_kind_block: x.what = expectation::octets; break;
    case oxs_kind_cstring: x.what = expectation::cstring; break;
    case oxs_kind_nested:
    case oxs_kind_optional:
      x.what = expectation::record;
      x.info = f.element();
      break;
    default:
      x.what = expectation::list;
      x.field = &f;
      x.info = f.element != nullptr ? f.element() : nullptr;
  }
  return x;
}

// The components of a record in wire order: the type-code records begin
// with an INTEGER 1 ahead of their fields, and their byte block is
// OPTIONAL (left out when empty); records held by pointer are OPTIONAL.
std::uint32_t component_count(const oxs_record_info& info) {
  return info.field_count + (is_type_code_record(info) ? 1 : 0);
}

struct component {
  const char* name;
  const oxs_field_info* field;  // null for the leading INTEGER
  bool optional;
};

component component_at(const oxs_record_info& info, std::uint32_t i) {
  if (is_type_code_record(info)) {
    if (i == 0) return {"lead", nullptr, false};
    --i;
  }
  const oxs_field_info& f = info.fields[i];
  return {f.name, &f, f.kind == oxs_kind_optional || (is_type_code_record(info) && f.kind == oxs_kind_block)};
}

std::string found_text(const ber_header& h) {
  static const char* const classes[] = {"universal", "application", "context-specific", "private"};
  return std::string(classes[h.cls & 3]) + " " + std::to_string(h.tag) + (h.constructed ? " constructed" : " primitive");
}

bool same_tag(const ber_header& h, const universal& u) { return h.cls == 0 && h.tag == u.tag; }

std::string what(const universal& u, const std::string& path) { return std::string(u.name) + " (" + path + ")"; }

// --- the walk ------------------------------------------------------------------------

// A constructed element being read.
struct frame {
  ber_header h;
  std::size_t limit = 0;  // of its contents: its end (definite) or the parent's limit (indefinite)
  expectation x;
  std::uint32_t component = 0;  // record: the next component
  std::size_t index = 0;        // children read
  int segment_depth = 0;
  std::string piece;  // its part of the path: "acl_ext_t", ".entries", "[3]", " segment 0"
};

std::string path_of(const std::vector<frame>& frames, const std::string& last = {}) {
  std::string path;
  for (const frame& f : frames) path += f.piece;
  return path + last;
}

std::string item(std::size_t i) { return "[" + std::to_string(i) + "]"; }

// Notes on encodings that are not the shortest form.
void shortest_form_notes(bytes_view data, const ber_header& h, std::vector<ber_note>& notes) {
  const unsigned char first = data[h.offset];
  if ((first & 0x1F) == 0x1F) {
    if (h.tag < 31)
      notes.push_back({ber_note::not_shortest, "tag " + std::to_string(h.tag) + " in the long form"});
    else if (data[h.offset + 1] == 0x80)
      notes.push_back({ber_note::not_shortest, "tag number with a leading zero group"});
  }
  std::size_t length_at = h.offset + 1;
  if ((first & 0x1F) == 0x1F) {
    while ((data[length_at] & 0x80) != 0) ++length_at;
    ++length_at;
  }
  if (h.form == length_form::indefinite) {
    notes.push_back({ber_note::not_shortest, "indefinite length"});
  } else if (h.form == length_form::long_form) {
    const std::size_t octets = h.content - length_at - 1;
    std::size_t needed = 0;
    for (std::size_t v = h.length; v != 0; v >>= 8) ++needed;
    if (h.length < 128)
      notes.push_back({ber_note::not_shortest,
                       "length " + std::to_string(h.length) + " in the long form, the short form fits"});
    else if (octets > needed)
      notes.push_back({ber_note::not_shortest, "length " + std::to_string(h.length) + " in " + std::to_string(octets) +
                                                   " length octets, " + std::to_string(needed) + " suffice"});
  }
  if (h.cls == 0 && h.constructed &&
      (h.tag == 3 || h.tag == 4 || h.tag == 12 || (h.tag >= 18 && h.tag <= 30)))
    notes.push_back({ber_note::not_shortest, "constructed string (segments)"});
  if (h.cls == 0 && !h.constructed && (h.tag == 2 || h.tag == 10) && h.length >= 2) {
    const unsigned char a = data[h.content];
    const unsigned char b = data[h.content + 1];
    if ((a == 0x00 && (b & 0x80) == 0) || (a == 0xFF && (b & 0x80) != 0)) {
      std::size_t needed = h.length;
      std::size_t i = h.content;
      while (needed > 1 && ((data[i] == 0x00 && (data[i + 1] & 0x80) == 0) || (data[i] == 0xFF && (data[i + 1] & 0x80) != 0))) {
        --needed;
        ++i;
      }
      notes.push_back({ber_note::not_shortest, "INTEGER in " + std::to_string(h.length) + " octets, " +
                                                   std::to_string(needed) + " suffice"});
    }
  }
}

// Notes on a text field's octets (a primitive UTF8String or segment, or a
// text carried with its terminator in an OCTET STRING).
void text_notes(bytes_view data, const ber_header& h, bool utf8, bool terminated,
                std::vector<ber_note>& notes) {
  const unsigned char* s = data.data() + h.content;
  const std::size_t n = h.length;
  const std::size_t body = terminated && n > 0 && s[n - 1] == 0 ? n - 1 : n;
  const void* zero = std::memchr(s, 0, body);
  if (zero != nullptr)
    notes.push_back({ber_note::bad_text, "a zero octet at offset " +
                                             std::to_string(h.content + static_cast<std::size_t>(
                                                                            static_cast<const unsigned char*>(zero) - s)) +
                                             " cuts the string short"});
  if (terminated && (n == 0 || s[n - 1] != 0))
    notes.push_back({ber_note::bad_text, "text without its terminating zero octet"});
  if (utf8) {
    for (std::size_t i = 0; i < n;) {
      const std::size_t k = utf8_sequence(s + i, n - i);
      if (k == 0) {
        notes.push_back({ber_note::bad_text, "not valid UTF-8 at offset " + std::to_string(h.content + i)});
        break;
      }
      i += k;
    }
  }
}

// Notes on an integer field's value that a writer of the field never
// produces: a 32-bit field is written as the signed INTEGER of its bit
// pattern, 16- and 8-bit fields as their non-negative value, the lead of a
// type-code record as 1. The reader reads a wider INTEGER as 0 and keeps
// the low bits of one too wide for a 16- or 8-bit field.
void integer_notes(bytes_view data, const ber_header& h, const oxs_field_info* field, bool lead,
                   std::vector<ber_note>& notes) {
  if (h.length == 0 || h.length > 8) {
    notes.push_back({ber_note::bad_value, "an INTEGER of " + std::to_string(h.length) + " octets, which no field holds"});
    return;
  }
  std::int64_t v = (data[h.content] & 0x80) != 0 ? -1 : 0;
  for (std::size_t i = 0; i < h.length; ++i)
    v = static_cast<std::int64_t>(static_cast<std::uint64_t>(v) << 8 | data[h.content + i]);
  std::int64_t low = INT32_MIN;
  std::int64_t high = INT32_MAX;
  const char* what = "a 32-bit field (written as its signed bit pattern)";
  if (lead) {
    low = high = 1;
    what = "the lead INTEGER, which is always 1";
  } else if (field != nullptr && field->kind == oxs_kind_u16) {
    low = 0;
    high = 0xFFFF;
    what = "a 16-bit field";
  } else if (field != nullptr && field->kind == oxs_kind_u8) {
    low = 0;
    high = 0xFF;
    what = "an 8-bit field";
  }
  if (v < low || v > high)
    notes.push_back({ber_note::bad_value, "the value " + std::to_string(v) + " is not one that " + what + " gives"});
}

// Reads an identifier and a length at pos within limit. A constructed
// element whose contents run past the limit is read as far as the limit
// goes: its fault is left in *overrun, unless an enclosing one is there.
std::optional<ber_fault> read_header(bytes_view data, std::size_t pos, std::size_t limit,
                                     ber_header& h, std::optional<ber_fault>* overrun) {
  h = ber_header{};
  h.offset = pos;
  // The library's own identifier and length readers, so that the walker
  // frames every element as the library does.
  const unsigned char* cursor = data.data() + pos;
  auto remaining = static_cast<std::uint32_t>(limit - pos);
  std::uint32_t tag = 0;
  int constructed = 0;
  int cls = 0;
  if (oxserutl::detail::read_identifier(cursor, remaining, tag, constructed, cls) != 0)
    return fault(ASN_ERR_TRUNCATED, pos, "identifier octets",
                 limit == pos ? "the end of the data" : "the end of the data within the identifier");
  const std::size_t length_at = limit - remaining;
  int definite = 1;
  std::uint32_t length = 0;
  bool overflow = false;
  if (oxserutl::detail::read_length(cursor, remaining, definite, length, overflow) != 0)
    return fault(ASN_ERR_TRUNCATED, length_at, "length octets", "the end of the data");
  h.tag = tag;
  h.cls = cls;
  h.constructed = constructed != 0;
  h.content = limit - remaining;
  const unsigned char first = data[length_at];
  h.form = definite == 0 ? length_form::indefinite : (first & 0x80) != 0 ? length_form::long_form : length_form::short_form;
  // A length with significant octets beyond 32 bits cannot fit the data.
  if (overflow)
    return fault(ASN_ERR_TRUNCATED, length_at,
                 "a length that fits the " + std::to_string(limit - h.content) + " octets that remain",
                 "a length of more than 32 bits");
  if (!h.definite()) {
    if (!h.constructed)
      return fault(ASN_ERR_INDEFINITE_NOT_PERMITTED, length_at,
                   "a definite length (a primitive element has no indefinite form)", "the indefinite form 80");
    return std::nullopt;
  }
  if (length > remaining) {
    ber_fault f = fault(ASN_ERR_TRUNCATED, h.content, std::to_string(length) + " content octets",
                        std::to_string(remaining) + (limit == data.size() ? " before the end of the data"
                                                                          : " before the end of the enclosing element"));
    if (!h.constructed) return f;
    if (!*overrun) *overrun = std::move(f);
  }
  h.length = length;
  return std::nullopt;
}

// Checks an element against a universal type whose tag it has: the form.
template <class Path>
std::optional<ber_fault> check_form(const ber_header& h, const universal& u, const Path& path) {
  if (h.constructed && u.shape == form::primitive)
    return fault(ASN_ERR_CONSTRUCTED_NOT_PERMITTED, h.offset, "a primitive encoding of " + what(u, path()),
                 "a constructed one");
  if (!h.constructed && u.shape == form::constructed)
    return fault(ASN_ERR_PRIMITIVE_NOT_PERMITTED, h.offset, "a constructed encoding of " + what(u, path()),
                 "a primitive one");
  return std::nullopt;
}

template <class Path>
std::optional<ber_fault> expect_type(const ber_header& h, const universal& u, const Path& path) {
  if (!same_tag(h, u)) return fault(ASN_ERR_TAG_MISMATCH, h.offset, what(u, path()), found_text(h));
  return check_form(h, u, path);
}

// path() gives the element's path, put together only for a fault.
// An element that the expectation x names: checks it, and for
// the constructed string forms turns x into their segments.
template <class Path>
std::optional<ber_fault> check_element(const ber_header& h, expectation& x, const Path& path) {
  switch (x.what) {
    case expectation::anything: return std::nullopt;
    case expectation::integer: return expect_type(h, kInteger, path);
    case expectation::text:
      if (auto f = expect_type(h, kUtf8, path)) return f;
      if (h.constructed) {
        x.what = expectation::segments;
        x.text_segments = true;
      }
      return std::nullopt;
    case expectation::octets:
    case expectation::cstring:
      if (auto f = expect_type(h, kOctets, path)) return f;
      if (h.constructed) x.what = expectation::segments;
      return std::nullopt;
    case expectation::segments:
      if (auto f = expect_type(h, kOctets, path)) return f;
      return std::nullopt;
    case expectation::slot:
      if (same_tag(h, kNull)) {
        if (auto f = check_form(h, kNull, path)) return f;
        if (h.length != 0)
          return fault(ASN_ERR_BAD_LENGTH, h.offset, "an empty NULL (" + path() + ")",
                       std::to_string(h.length) + " content octets");
        return std::nullopt;
      }
      if (!same_tag(h, kSequence))
        return fault(ASN_ERR_TAG_MISMATCH, h.offset,
                     std::string("a NULL (empty slot) or a SEQUENCE (") + x.info->type_name + ", " + path() + ")",
                     found_text(h));
      x.what = expectation::record;
      return check_form(h, kSequence, path);
    case expectation::record:
      if (is_bare_integer(*x.info)) return expect_type(h, kInteger, [&] { return path() + "." + x.info->fields[0].name; });
      return expect_type(h, kSequence, path);
    case expectation::list: return expect_type(h, kSequence, path);
  }
  return std::nullopt;
}

// The label of a record element: "entries[0] (acl_entry_t)".
std::string record_label(const std::string& name, const oxs_record_info& info) {
  return name == info.type_name ? name : name + " (" + info.type_name + ")";
}

// Decides what the next child of f must be, its label and its path piece;
// a fault when f cannot hold it.
std::optional<ber_fault> child_of(std::vector<frame>& frames, const ber_header& h, expectation& x,
                                  std::string& label, std::string& piece) {
  frame& f = frames.back();
  x = expectation{};
  switch (f.x.what) {
    case expectation::record: {
      const oxs_record_info& info = *f.x.info;
      const std::uint32_t n = component_count(info);
      while (f.component < n) {
        const component k = component_at(info, f.component);
        const universal& u = k.field != nullptr ? wire_type(k.field->kind) : kInteger;
        if (same_tag(h, u)) {
          ++f.component;
          piece = std::string(".") + k.name;
          if (k.field == nullptr) {
            x.what = expectation::integer;
            x.lead = true;
            label = k.name;
          } else {
            x = field_expectation(*k.field);
            label = x.what == expectation::record ? record_label(k.name, *x.info) : std::string(k.name);
          }
          return std::nullopt;
        }
        if (!k.optional)
          return fault(ASN_ERR_TAG_MISMATCH, h.offset, what(u, path_of(frames, std::string(".") + k.name)),
                       found_text(h));
        ++f.component;
      }
      return fault(ASN_ERR_EXTRA_CONTENT, h.offset,
                   "the end of " + std::string(info.type_name) + " (" + path_of(frames) + ") after its last component",
                   "another element, " + found_text(h));
    }
    case expectation::list: {
      const oxs_field_info& field = *f.x.field;
      piece = item(f.index);
      label = std::string(field.name) + piece;
      if (field.kind == oxs_kind_strings) {
        x.what = expectation::text;
      } else if (field.kind == oxs_kind_ints) {
        x.what = expectation::integer;
      } else if (field.kind == oxs_kind_sparse) {
        x.what = expectation::slot;
        x.info = f.x.info;
        label = same_tag(h, kNull) ? label + " empty" : record_label(label, *x.info);
      } else {
        x.what = expectation::record;
        x.info = f.x.info;
        label = record_label(label, *x.info);
      }
      return std::nullopt;
    }
    case expectation::segments:
      x.what = expectation::segments;
      x.text_segments = f.x.text_segments;
      piece = " segment " + std::to_string(f.index);
      label = "segment " + std::to_string(f.index);
      return std::nullopt;
    default: return std::nullopt;
  }
}

// The end of a constructed element at offset at: a record must have had
// all its components that are not OPTIONAL.
std::optional<ber_fault> close_frame(const std::vector<frame>& frames, std::size_t at) {
  const frame& f = frames.back();
  if (f.x.what != expectation::record) return std::nullopt;
  const oxs_record_info& info = *f.x.info;
  for (std::uint32_t i = f.component; i < component_count(info); ++i) {
    const component k = component_at(info, i);
    if (k.optional) continue;
    const universal& u = k.field != nullptr ? wire_type(k.field->kind) : kInteger;
    return fault(ASN_ERR_TRUNCATED, at, what(u, path_of(frames, std::string(".") + k.name)),
                 "the end of " + std::string(info.type_name) + " at offset " + std::to_string(f.h.offset));
  }
  return std::nullopt;
}

}  // namespace

std::optional<ber_fault> read_envelope(bytes_view data, unsigned want_version,
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
    return fault(ASN_ERR_VERSION, 0, "an envelope header length from 4 to " + std::to_string(data.size() - 1),
                 std::to_string(data[0]));
  out.header_length = data[0];
  out.version = data[1];
  return std::nullopt;
}

std::optional<ber_fault> walk(bytes_view data, std::size_t pos, std::size_t limit,
                              const oxs_record_info* record, ber_sink& sink, std::size_t* end) {
  std::vector<frame> frames;
  std::vector<ber_note> notes;
  std::size_t at = pos;
  // The first constructed element that claims more octets than there are:
  // its contents are read as far as they go, and it is the fault reported.
  std::optional<ber_fault> overrun;
  const auto stop = [&](ber_fault f) {
    *end = at;
    return overrun ? overrun : std::optional<ber_fault>(std::move(f));
  };
  bool started = false;
  for (;;) {
    // Close the elements that end here.
    while (!frames.empty()) {
      frame& f = frames.back();
      if (f.h.definite()) {
        if (at < f.limit) break;
        if (f.limit < f.h.content + f.h.length) return stop(*overrun);
      } else {
        if (at >= f.limit)
          return stop(fault(ASN_ERR_BAD_LENGTH, at,
                            "the end-of-contents octets 00 00 closing the element at offset " +
                                std::to_string(f.h.offset),
                            "the end of the data"));
        if (!(at + 1 < f.limit && data[at] == 0 && data[at + 1] == 0)) break;
      }
      if (auto e = close_frame(frames, at)) return stop(*e);
      if (!f.h.definite()) {
        sink.end_of_contents(at, static_cast<int>(frames.size()));
        at += 2;
      }
      frames.pop_back();
    }
    if (frames.empty() && started) break;
    started = true;

    const std::size_t inner = frames.empty() ? limit : frames.back().limit;
    ber_header h;
    if (auto e = read_header(data, at, inner, h, &overrun)) return stop(*e);
    expectation x;
    std::string label;
    std::string piece;
    if (frames.empty()) {
      if (record != nullptr) {
        x.what = expectation::record;
        x.info = record;
        label = record->type_name;
        piece = record->type_name;
      }
    } else if (auto e = child_of(frames, h, x, label, piece)) {
      return stop(*e);
    }
    if (auto e = check_element(h, x, [&] { return path_of(frames, piece); })) return stop(*e);
    const int depth = static_cast<int>(frames.size());
    notes.clear();
    if (h.constructed) {
      if (depth >= max_depth)
        return stop(fault(ASN_ERR_CONSTRUCTED_NOT_PERMITTED, h.offset,
                          "at most " + std::to_string(max_depth) + " levels of nesting"));
      int segment_depth = 0;
      if (x.what == expectation::segments) {
        segment_depth = (!frames.empty() && frames.back().x.what == expectation::segments)
                            ? frames.back().segment_depth + 1
                            : 1;
        if (segment_depth > max_segment_depth)
          return stop(fault(ASN_ERR_CONSTRUCTED_NOT_PERMITTED, h.offset,
                            "at most " + std::to_string(max_segment_depth) + " levels of string segments"));
      }
      shortest_form_notes(data, h, notes);
      sink.element(data, h, depth, label, notes);
      frame f;
      f.h = h;
      f.limit = h.definite() ? std::min(h.content + h.length, inner) : inner;
      f.x = x;
      f.segment_depth = segment_depth;
      f.piece = std::move(piece);
      if (!frames.empty()) ++frames.back().index;
      frames.push_back(std::move(f));
      at = h.content;
      continue;
    }
    shortest_form_notes(data, h, notes);
    if (x.what == expectation::text)
      text_notes(data, h, true, false, notes);
    else if (x.what == expectation::segments && x.text_segments)
      text_notes(data, h, false, false, notes);  // a character may span segments
    else if (x.what == expectation::cstring)
      text_notes(data, h, false, true, notes);
    else if (x.what == expectation::integer && (record != nullptr))
      integer_notes(data, h, x.field, x.lead, notes);
    sink.element(data, h, depth, label, notes);
    if (!frames.empty()) ++frames.back().index;
    at = h.content + h.length;
    if (frames.empty()) break;
  }
  *end = at;
  return std::nullopt;
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
