#include "ber_walk.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <oxserutl/record_functions.h>
#include <oxserutl/status.h>

#include "ber_primitives.h"
#include "utf8.h"

namespace oxserutl {
namespace ber {

namespace {

std::string byte_hex(unsigned char b) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", b);
  return text;
}

ber_fault fault(int status, std::size_t offset, std::string path, std::string expected, std::string found = {}) {
  return ber_fault{status, offset, std::move(path), std::move(expected), std::move(found)};
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
  const oxs_field_info* field = nullptr;  // list, integer, octets
  bool text_segments = false;             // segments of a UTF8String
  bool lead = false;                      // the leading INTEGER of a type-code record
  bool dropped = false;                   // a sparse array's element beyond its slots
  bool choice = false;                    // a slot: a NULL or the record, whichever fits
};

// The strings, whose readers take the indefinite form in the primitive
// encoding too (and read it as empty); other types refuse it.
bool takes_indefinite(const expectation& x) {
  return x.what == expectation::text || x.what == expectation::octets || x.what == expectation::cstring ||
         x.what == expectation::segments;
}

// The universal type of a field's element, by the tag of its kind.
const universal& wire_type(oxs_field_kind kind) {
  for (const universal* u : {&kInteger, &kOctets, &kUtf8})
    if (u->tag == oxs_kinds[kind].tag) return *u;
  return kSequence;
}

expectation field_expectation(const oxs_field_info& f) {
  expectation x;
  switch (oxs_kinds[f.kind].value) {
    case oxs_value_integer:
      x.what = expectation::integer;
      x.field = &f;
      break;
    case oxs_value_text: x.what = oxs_kinds[f.kind].terminated ? expectation::cstring : expectation::text; break;
    case oxs_value_octets:
      x.what = expectation::octets;
      x.field = &f;
      break;
    case oxs_value_record:
      x.what = expectation::record;
      x.info = f.element();
      break;
    case oxs_value_records:
    case oxs_value_texts:
    case oxs_value_integers:
    case oxs_value_slots:
      x.what = expectation::list;
      x.field = &f;
      x.info = f.element != nullptr ? f.element() : nullptr;
      break;
  }
  return x;
}

// The components of a record in wire order: the type-code records begin
// with an INTEGER 1 ahead of their fields, and their byte block is
// OPTIONAL (left out when empty); records held by pointer are OPTIONAL.
std::uint32_t component_count(const oxs_record_info& info) {
  return info.field_count + (oxs_shape_of(info) == oxs_shape_lead ? 1 : 0);
}

struct component {
  const char* name;
  const oxs_field_info* field;  // null for the leading INTEGER
  bool optional;
};

component component_at(const oxs_record_info& info, std::uint32_t i) {
  if (oxs_shape_of(info) == oxs_shape_lead) {
    if (i == 0) return {"lead", nullptr, false};
    --i;
  }
  const oxs_field_info& f = info.fields[i];
  return {f.name, &f, oxs_field_optional(info, f)};
}

std::string found_text(const ber_header& h) {
  static const char* const classes[] = {"universal", "application", "context-specific", "private"};
  return std::string(classes[h.cls & 3]) + " " + std::to_string(h.tag) + (h.constructed ? " constructed" : " primitive");
}

bool same_tag(const ber_header& h, const universal& u) { return h.cls == 0 && h.tag == u.tag; }

// --- the walk ------------------------------------------------------------------------

// A constructed element being read.
struct frame {
  ber_header h;
  std::size_t limit = 0;  // of its contents: its end (definite) or the parent's limit (indefinite)
  expectation x;
  std::uint32_t component = 0;  // record: the next component
  std::size_t index = 0;        // children read
  std::size_t empty_from = 0;   // sparse array: the first of the empty slots after the last filled one
  std::size_t empty_after = 0;  // and how many there are
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
  // The header's octets again, as the reader took them.
  oxserutl::detail::byte_reader header(data.data() + h.offset, data.data() + h.content);
  unsigned char first = 0;
  (void)header.take_byte(first);
  if ((first & 0x1F) == 0x1F) {
    // The tag number as written; the reader keeps its low 32 bits.
    std::uint64_t number = 0;
    bool wide = false;
    bool leading_zero = false;
    for (unsigned char octet = 0x80; (octet & 0x80) != 0 && header.take_byte(octet);) {
      leading_zero = leading_zero || (number == 0 && octet == 0x80);
      number = number << 7 | (octet & 0x7Fu);
      wide = wide || number > UINT32_MAX;
    }
    if (wide)
      notes.push_back({ber_note::not_ber, "tag number beyond 32 bits, read as " + std::to_string(h.tag)});
    else if (h.tag < 31)
      notes.push_back({ber_note::not_shortest, "tag " + std::to_string(h.tag) + " in the long form"});
    else if (leading_zero)
      notes.push_back({ber_note::not_shortest, "tag number with a leading zero group"});
  }
  unsigned char length_first = 0;
  (void)header.take_byte(length_first);
  if (length_first == 0xFF) notes.push_back({ber_note::not_ber, "length octet FF is reserved"});
  if (h.form == length_form::indefinite) {
    notes.push_back({ber_note::not_shortest, "indefinite length"});
  } else if (h.form == length_form::long_form) {
    const std::size_t octets = header.left();
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
    // Octets that only repeat the sign of the next one.
    const unsigned char* c = data.data() + h.content;
    const auto redundant = [&](std::size_t i) {
      return (c[i] == 0x00 && (c[i + 1] & 0x80) == 0) || (c[i] == 0xFF && (c[i + 1] & 0x80) != 0);
    };
    std::size_t needed = h.length;
    while (needed > 1 && redundant(h.length - needed)) --needed;
    if (needed < h.length)
      notes.push_back({ber_note::not_shortest, "INTEGER in " + std::to_string(h.length) + " octets, " +
                                                   std::to_string(needed) + " suffice"});
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
      const std::size_t k = oxserutl::detail::utf8_sequence(s + i, n - i);
      if (k == 0) {
        notes.push_back({ber_note::bad_text, "not valid UTF-8 at offset " + std::to_string(h.content + i)});
        break;
      }
      i += k;
    }
  }
}

// Notes on an integer field's value that the record does not keep as it
// stands: a 32-bit field holds the INTEGER's low 32 bits when every octet
// before them is 00 and reads 0 otherwise; 16- and 8-bit fields keep the
// low bits of that; and a writer gives a 32-bit field as the signed INTEGER
// of its bit pattern, narrow fields as their non-negative value, and the
// lead of a type-code record as 1.
void integer_notes(bytes_view data, const ber_header& h, const oxs_field_info* field, bool lead,
                   std::vector<ber_note>& notes) {
  if (h.length == 0) {
    notes.push_back({ber_note::bad_value, "an INTEGER without contents octets, which no field holds"});
    return;
  }
  const unsigned char* p = data.data() + h.content;
  const std::size_t wide = h.length > 4 ? h.length - 4 : 0;
  if (std::any_of(p, p + wide, [](unsigned char b) { return b != 0; })) {
    notes.push_back({ber_note::bad_value, "an INTEGER of " + std::to_string(h.length) +
                                              " octets that a 32-bit field cannot hold: the field reads 0"});
    return;
  }
  // The value as written, and the value the field keeps.
  std::int64_t v = wide == 0 && (p[0] & 0x80) != 0 ? -1 : 0;
  for (std::size_t i = wide; i < h.length; ++i) v = static_cast<std::int64_t>(static_cast<std::uint64_t>(v) << 8 | p[i]);
  std::int64_t kept = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  std::int64_t low = INT32_MIN;
  std::int64_t high = INT32_MAX;
  std::string what = "a 32-bit field (written as its signed bit pattern)";
  const unsigned bits = field != nullptr ? oxs_kinds[field->kind].int_bits : 32;
  if (lead) {
    low = high = 1;
    what = "the lead INTEGER, which is always 1";
  } else if (bits < 32) {
    // The narrow fields are unsigned.
    low = 0;
    high = (std::int64_t{1} << bits) - 1;
    kept = v & high;
    what = (bits == 8 ? "an " : "a ") + std::to_string(bits) + "-bit field";
  }
  if (v < low || v > high)
    notes.push_back({ber_note::bad_value, "the value " + std::to_string(v) + " is not one that " + what + " gives" +
                                              (kept != v ? ": the field reads " + std::to_string(kept) : "")});
}

// A fixed array is given by exactly its octets; a reader cuts a longer
// value and fills a shorter one with zero octets.
void fixed_notes(const ber_header& h, const oxs_field_info* field, std::vector<ber_note>& notes) {
  if (field == nullptr || !oxs_kinds[field->kind].fixed_array || h.length == field->fixed_size) return;
  notes.push_back({ber_note::bad_value, std::to_string(h.length) + " octets for a field of " +
                                            std::to_string(field->fixed_size) +
                                            (h.length > field->fixed_size ? ": the field keeps the first " +
                                                                                std::to_string(field->fixed_size)
                                                                          : ": the field is filled with zero octets")});
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
  oxserutl::detail::byte_reader r(data.data() + pos, data.data() + limit);
  const auto offset = [&] { return static_cast<std::size_t>(r.position() - data.data()); };
  std::uint32_t tag = 0;
  int constructed = 0;
  int cls = 0;
  if (oxserutl::detail::read_identifier(r, tag, constructed, cls) != 0)
    return fault(ASN_ERR_TRUNCATED, pos, {}, "identifier octets",
                 limit == pos ? "the end of the data" : "the end of the data within the identifier");
  const std::size_t length_at = offset();
  int definite = 1;
  std::uint32_t length = 0;
  bool overflow = false;
  h.tag = tag;
  h.cls = cls;
  h.constructed = constructed != 0;
  unsigned char first = 0;
  if (!r.peek(first) || oxserutl::detail::read_length(r, definite, length, overflow) != 0)
    return fault(ASN_ERR_TRUNCATED, length_at, {}, "length octets", "the end of the data");
  h.content = offset();
  const std::size_t remaining = r.left();
  h.form = definite == 0 ? length_form::indefinite : (first & 0x80) != 0 ? length_form::long_form : length_form::short_form;
  // A length with significant octets beyond 32 bits cannot fit the data.
  if (overflow)
    return fault(ASN_ERR_TRUNCATED, length_at, {},
                 "a length that fits the " + std::to_string(limit - h.content) + " octets that remain",
                 "a length of more than 32 bits");
  if (!h.definite()) {
    if (!h.constructed)
      return fault(ASN_ERR_INDEFINITE_NOT_PERMITTED, length_at, {},
                   "a definite length (a primitive element has no indefinite form)", "the indefinite form 80");
    return std::nullopt;
  }
  if (length > remaining) {
    ber_fault f = fault(ASN_ERR_TRUNCATED, h.content, {}, std::to_string(length) + " content octets",
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
    return fault(ASN_ERR_CONSTRUCTED_NOT_PERMITTED, h.offset, path(), std::string("a primitive encoding of ") + u.name,
                 "a constructed one");
  if (!h.constructed && u.shape == form::constructed)
    return fault(ASN_ERR_PRIMITIVE_NOT_PERMITTED, h.offset, path(), std::string("a constructed encoding of ") + u.name,
                 "a primitive one");
  return std::nullopt;
}

template <class Path>
std::optional<ber_fault> expect_type(const ber_header& h, const universal& u, const Path& path) {
  if (!same_tag(h, u)) return fault(ASN_ERR_TAG_MISMATCH, h.offset, path(), u.name, found_text(h));
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
          return fault(ASN_ERR_BAD_LENGTH, h.offset, path(), "an empty NULL",
                       std::to_string(h.length) + " content octets");
        return std::nullopt;
      }
      if (!same_tag(h, kSequence))
        return fault(ASN_ERR_TAG_MISMATCH, h.offset, path(),
                     std::string("a NULL (empty slot) or a SEQUENCE (") + x.info->type_name + ")", found_text(h));
      x.what = expectation::record;
      return check_form(h, kSequence, path);
    case expectation::record:
      if (oxs_shape_of(*x.info) == oxs_shape_bare) return expect_type(h, kInteger, [&] { return path() + "." + x.info->fields[0].name; });
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
          return fault(ASN_ERR_TAG_MISMATCH, h.offset, path_of(frames, std::string(".") + k.name), u.name,
                       found_text(h));
        ++f.component;
      }
      return fault(ASN_ERR_EXTRA_CONTENT, h.offset, path_of(frames),
                   "the end of the record after its last component",
                   "another element, " + found_text(h));
    }
    case expectation::list: {
      const oxs_field_info& field = *f.x.field;
      piece = item(f.index);
      label = std::string(field.name) + piece;
      const oxs_value_category value = oxs_kinds[field.kind].value;
      if (value == oxs_value_texts) {
        x.what = expectation::text;
      } else if (value == oxs_value_integers) {
        x.what = expectation::integer;
      } else if (value == oxs_value_slots) {
        x.what = expectation::slot;
        x.info = f.x.info;
        x.dropped = f.index >= OXS_SPARSE_SLOTS;
        x.choice = true;
        if (!x.dropped && same_tag(h, kNull)) {
          if (f.empty_after++ == 0) f.empty_from = h.offset;
        } else if (!x.dropped) {
          f.empty_after = 0;
        }
        label = same_tag(h, kNull) ? label + " empty" : record_label(label, *x.info);
        if (x.dropped) label += " (dropped)";
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
    return fault(ASN_ERR_TRUNCATED, at, path_of(frames, std::string(".") + k.name), u.name,
                 "the end of " + std::string(info.type_name) + " (which begins at offset " +
                     std::to_string(f.h.offset) + ")");
  }
  return std::nullopt;
}

}  // namespace

std::optional<ber_fault> read_envelope(bytes_view data, unsigned want_version,
                                       envelope_info& out) {
  using oxserutl::detail::kEnvelopeMarker1;
  using oxserutl::detail::kEnvelopeMarker2;
  if (data.size() <= 4)
    return fault(ASN_ERR_VERSION, 0, {}, "the envelope <header length> <version> AC DC and an element",
                 std::to_string(data.size()) + " octets in all");
  if (data[2] != kEnvelopeMarker1 || data[3] != kEnvelopeMarker2)
    return fault(ASN_ERR_VERSION, 2, {}, "the envelope markers AC DC", byte_hex(data[2]) + " " + byte_hex(data[3]));
  if (data[1] == 0) return fault(ASN_ERR_VERSION, 1, {}, "an envelope version from 1 to 255", "0");
  if (want_version != 0 && data[1] != want_version)
    return fault(ASN_ERR_VERSION, 1, {}, "envelope version " + std::to_string(want_version), std::to_string(data[1]));
  // The library's own rule, so that the walk starts where a reader does.
  const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(data.size(), UINT32_MAX));
  if (oxserutl::detail::envelope_element(data.data(), length, data[1]) == 0)
    return fault(ASN_ERR_VERSION, 0, {}, "an envelope header length from 1 to " + std::to_string(data.size()),
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
  // The element being read, once its expectation is known.
  const expectation* current = nullptr;
  // A reader that finds no alternative of a slot fitting reports a tag
  // mismatch, whatever went wrong inside it; the offset and texts still
  // name the fault inside.
  const auto in_choice = [&] {
    if (current != nullptr && current->choice) return true;
    for (const frame& f : frames)
      if (f.x.choice) return true;
    return false;
  };
  const auto stop = [&](ber_fault f) {
    *end = at;
    if (overrun) return overrun;
    if (f.path.empty()) f.path = path_of(frames);
    if (in_choice()) f.status = ASN_ERR_TAG_MISMATCH;
    return std::optional<ber_fault>(std::move(f));
  };
  bool started = false;
  for (;;) {
    current = nullptr;
    // Close the elements that end here.
    while (!frames.empty()) {
      frame& f = frames.back();
      if (f.h.definite()) {
        if (at < f.limit) break;
        if (f.limit < f.h.content + f.h.length) return stop(*overrun);
      } else {
        // Unclosed, where the data or the enclosing element ends: cut short,
        // as a reader finds it.
        if (at >= f.limit)
          return stop(fault(ASN_ERR_TRUNCATED, at, path_of(frames),
                            "the end-of-contents octets 00 00 closing the element at offset " +
                                std::to_string(f.h.offset),
                            f.limit >= limit ? "the end of the data" : "the end of the enclosing element"));
        if (!(at + 1 < f.limit && data[at] == 0 && data[at + 1] == 0)) break;
      }
      if (auto e = close_frame(frames, at)) return stop(*e);
      if (f.x.what == expectation::list && f.empty_after != 0)
        sink.late_note(f.empty_from, static_cast<int>(frames.size()), f.x.field->name,
                       {ber_note::bad_value, std::to_string(f.empty_after) +
                                                 (f.empty_after == 1 ? " empty slot" : " empty slots") +
                                                 " after the last filled one: the record keeps none of them"});
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
    const bool overran = overrun.has_value();
    // A reader checks the identifier before it reads on: an element of the
    // wrong type is that, even when its length or contents are cut short.
    std::optional<ber_fault> framing = read_header(data, at, inner, h, &overrun);
    if (framing && (framing->offset == at)) {
      // Where a slot was to be read, neither of its alternatives fits.
      if (!frames.empty() && frames.back().x.what == expectation::list &&
          oxs_kinds[frames.back().x.field->kind].value == oxs_value_slots)
        framing->status = ASN_ERR_TAG_MISMATCH;
      return stop(std::move(*framing));
    }
    // An element that claims more octets than its parent holds is still
    // first an element of the wrong type, when it is one.
    const bool own_overrun = overrun && !overran;
    const auto refuse = [&](ber_fault f) {
      if (own_overrun) overrun.reset();
      return stop(std::move(f));
    };
    if (own_overrun) overrun->path = path_of(frames);
    expectation x;
    current = &x;
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
      return refuse(std::move(*e));
    }
    if (auto e = check_element(h, x, [&] { return path_of(frames, piece); })) return refuse(std::move(*e));
    // A cut element is the field being read.
    if (own_overrun) {
      overrun->path = path_of(frames, piece);
      if (in_choice()) overrun->status = ASN_ERR_TAG_MISMATCH;
    }
    // The library reads a string whose primitive encoding has the
    // indefinite form as empty, closed by end-of-contents octets right after.
    const bool empty_indefinite = framing && framing->status == ASN_ERR_INDEFINITE_NOT_PERMITTED && takes_indefinite(x);
    if (empty_indefinite) {
      if (!(h.content + 1 < inner && data[h.content] == 0 && data[h.content + 1] == 0))
        return stop(fault(ASN_ERR_BAD_LENGTH, h.content, path_of(frames, piece),
                          "the end-of-contents octets 00 00 that close a primitive string in the indefinite form",
                          h.content + 1 < inner ? "octets " + byte_hex(data[h.content]) + " " + byte_hex(data[h.content + 1])
                                                : std::string("the end of the ") +
                                                      (inner == limit ? "data" : "enclosing element")));
      framing.reset();
    }
    if (framing) {
      framing->path = path_of(frames, piece);
      return stop(std::move(*framing));
    }
    const int depth = static_cast<int>(frames.size());
    notes.clear();
    if (x.dropped)
      notes.push_back({ber_note::bad_value, "a sparse array holds " + std::to_string(OXS_SPARSE_SLOTS) +
                                                " slots: the record drops this element"});
    if (h.constructed) {
      if (depth >= max_depth)
        return stop(fault(ASN_ERR_CONSTRUCTED_NOT_PERMITTED, h.offset, path_of(frames, piece),
                          "at most " + std::to_string(max_depth) + " levels of nesting"));
      int segment_depth = 0;
      if (x.what == expectation::segments) {
        segment_depth = (!frames.empty() && frames.back().x.what == expectation::segments)
                            ? frames.back().segment_depth + 1
                            : 1;
        if (segment_depth > max_segment_depth)
          return stop(fault(ASN_ERR_CONSTRUCTED_NOT_PERMITTED, h.offset, path_of(frames, piece),
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
    else if (x.what == expectation::octets)
      fixed_notes(h, x.field, notes);
    if (empty_indefinite)
      notes.push_back({ber_note::not_ber, "a primitive string in the indefinite form, read as empty"});
    sink.element(data, h, depth, label, notes);
    if (!frames.empty()) ++frames.back().index;
    at = h.content + h.length;
    if (empty_indefinite) {
      sink.end_of_contents(at, depth + 1);
      at += 2;
    }
    if (frames.empty()) break;
  }
  *end = at;
  return std::nullopt;
}

std::string describe(const ber_fault& f, bool with_status) {
  std::string out;
  const char* text = nullptr;
  if (with_status) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(f.status));
    const char* name = tq_asn_status_name(static_cast<std::uint32_t>(f.status));
    text = tq_asn_status_text(static_cast<std::uint32_t>(f.status));
    out = std::string(name != nullptr ? name : "status") + " (" + code + ") ";
  }
  out += (with_status ? "at offset " : "stopped at offset ") + std::to_string(f.offset) + ": expected " + f.expected;
  if (!f.path.empty()) out += " (" + f.path + ")";
  if (!f.found.empty()) out += ", found " + f.found;
  if (text != nullptr) out += " [" + std::string(text) + "]";
  return out;
}

}  // namespace ber
}  // namespace oxserutl
