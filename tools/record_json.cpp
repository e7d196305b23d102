#include "record_json.h"
#include "json_text.h"
#include "tool_io.h"

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <set>
#include <utility>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <langinfo.h>
#endif

#include <oxserutl/asnsarray.h>
#include <oxserutl/asnutils.h>

namespace oxser {

namespace {

// Where a value sits in the JSON, kept as links to the enclosing values on
// the stack; the text ("entries[1].id.name") is put together only for a
// message.
struct json_path {
  const json_path* parent = nullptr;
  const char* name = nullptr;  // a member, or null for an item
  std::size_t index = 0;

  json_path member(const char* member_name) const { return json_path{this, member_name, 0}; }
  json_path item(std::size_t i) const { return json_path{this, nullptr, i}; }
  std::string text() const {
    if (parent == nullptr) return name != nullptr ? name : "";
    std::string head = parent->text();
    if (name == nullptr) return head + "[" + std::to_string(index) + "]";
    return head.empty() ? std::string(name) : head + "." + name;
  }
};

template <class T>
T& at(void* record, std::size_t offset) {
  return *reinterpret_cast<T*>(static_cast<unsigned char*>(record) + offset);
}
template <class T>
const T& at(const void* record, std::size_t offset) {
  return *reinterpret_cast<const T*>(static_cast<const unsigned char*>(record) + offset);
}

void* checked_calloc(std::size_t n, std::size_t size) {
  void* p = std::calloc(n == 0 ? 1 : n, size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

char* copy_text(const std::string& text) {
  auto* p = static_cast<char*>(checked_calloc(text.size() + 1, 1));
  std::memcpy(p, text.data(), text.size());
  return p;
}

// The text with every octet that starts no well-formed sequence replaced by
// U+FFFD; *changed tells whether anything was replaced.
std::string valid_utf8(const std::string& s, bool* changed) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = utf8_sequence(reinterpret_cast<const unsigned char*>(s.data()) + i, s.size() - i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      *changed = true;
      ++i;
    } else {
      out.append(s, i, n);
      i += n;
    }
  }
  return out;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<unsigned char> from_hex(const json_path& path, const std::string& text) {
  if (text.size() % 2 != 0) throw json_error(path.text(), "expected hex with an even number of digits");
  std::vector<unsigned char> bytes(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = hex_digit(text[i]);
    const int lo = hex_digit(text[i + 1]);
    if (hi < 0 || lo < 0)
      throw json_error(path.text(), "expected hex digits, found '" + text.substr(hi < 0 ? i : i + 1, 1) + "' at position " +
                                 std::to_string(hi < 0 ? i : i + 1));
    bytes[i / 2] = static_cast<unsigned char>(hi * 16 + lo);
  }
  return bytes;
}

const char* kind_word(oxs_field_kind kind) { return oxs_kinds[kind].json; }

// What a value is, in words, with the value itself where it is short.
std::string type_of(const json& j) {
  switch (j.type()) {
    case json::value_t::number_float: return "a number with a fraction or exponent (" + j.dump() + ")";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned: return "the number " + j.dump();
    case json::value_t::boolean: return j.dump();
    case json::value_t::null: return "null";
    case json::value_t::string: return "a string";
    case json::value_t::array: return "an array";
    case json::value_t::object: return "an object";
    default: return j.type_name();
  }
}

[[noreturn]] void wrong(const json_path& path, const char* expected, const json& j) {
  throw json_error(path.text(), std::string("expected ") + expected + ", found " + type_of(j));
}

std::int64_t number(const json_path& path, const json& j, std::int64_t low, std::int64_t high, const char* word) {
  if (!j.is_number_integer()) wrong(path, word, j);
  std::int64_t v = 0;
  if (j.is_number_unsigned()) {
    const auto u = j.get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(high)) throw json_error(path.text(), std::string("expected ") + word + ", found " + j.dump());
    v = static_cast<std::int64_t>(u);
  } else {
    v = j.get<std::int64_t>();
  }
  if (v < low || v > high) throw json_error(path.text(), std::string("expected ") + word + ", found " + j.dump());
  return v;
}

// Which strings the local-code-set functions convert is the description's
// local_text fact of each field: `convert` (the record's text is in the
// local code set) carries it down the walks below.

// --- record to JSON ----------------------------------------------------------

struct to_json_context {
  const local_text* lcs;
  std::vector<std::string>* replaced;
  json_text& out;
};

void text_value(const char* text, const json_path& path, bool convert, const to_json_context& ctx) {
  std::string s = text != nullptr ? text : "";
  if (convert && ctx.lcs != nullptr) s = ctx.lcs->to_utf8(s);
  bool changed = false;
  s = valid_utf8(s, &changed);
  if (changed && ctx.replaced != nullptr) ctx.replaced->push_back(path.text());
  ctx.out.string(s);
}

void record_value(const oxs_record_info& info, const void* record, const json_path& path, bool convert,
                  const to_json_context& ctx);

void field_value(const oxs_field_info& f, const void* record, const json_path& path, bool convert,
                 const to_json_context& ctx) {
  convert = convert && f.local_text;
  json_text& out = ctx.out;
  switch (f.kind) {
    case oxs_kind_i32: return out.number(at<std::int32_t>(record, f.offset));
    case oxs_kind_u32: return out.number(at<std::uint32_t>(record, f.offset));
    case oxs_kind_u16: return out.number(at<std::uint16_t>(record, f.offset));
    case oxs_kind_u8: return out.number(at<std::uint8_t>(record, f.offset));
    case oxs_kind_string:
    case oxs_kind_cstring: return text_value(at<char*>(record, f.offset), path, convert, ctx);
    case oxs_kind_fixed: return out.hex(&at<unsigned char>(record, f.offset), f.fixed_size);
    case oxs_kind_block: {
      const unsigned char* bytes = at<unsigned char*>(record, f.offset);
      return out.hex(bytes, bytes != nullptr ? at<std::uint32_t>(record, f.count_offset) : 0);
    }
    case oxs_kind_list:
    case oxs_kind_list16: {
      const oxs_record_info& e = *f.element();
      const std::uint32_t n =
          f.kind == oxs_kind_list16 ? at<std::uint16_t>(record, f.count_offset) : at<std::uint32_t>(record, f.count_offset);
      const auto* items = static_cast<const unsigned char*>(at<void*>(record, f.offset));
      out.open('[');
      for (std::uint32_t i = 0; i < n; ++i) record_value(e, items + i * e.size, path.item(i), convert, ctx);
      return out.close(']');
    }
    case oxs_kind_ptrlist:
    case oxs_kind_sparse: {
      const oxs_record_info& e = *f.element();
      void* const* items = f.kind == oxs_kind_sparse ? &at<void*>(record, f.offset) : at<void**>(record, f.offset);
      std::uint32_t n = 0;
      if (f.kind == oxs_kind_ptrlist) {
        n = at<std::uint32_t>(record, f.count_offset);
      } else {
        // Up to the last filled slot, as on the wire.
        for (std::uint32_t i = 0; i < tq_asn_sarray_slots; ++i)
          if (items[i] != nullptr) n = i + 1;
      }
      out.open('[');
      for (std::uint32_t i = 0; i < n; ++i) {
        if (items[i] == nullptr)
          out.null();
        else
          record_value(e, items[i], path.item(i), convert, ctx);
      }
      return out.close(']');
    }
    case oxs_kind_strings: {
      const std::uint32_t n = at<std::uint32_t>(record, f.count_offset);
      char* const* items = at<char**>(record, f.offset);
      out.open('[');
      for (std::uint32_t i = 0; i < n; ++i) text_value(items[i], path.item(i), convert, ctx);
      return out.close(']');
    }
    case oxs_kind_ints: {
      const std::uint32_t n = at<std::uint32_t>(record, f.count_offset);
      const std::int32_t* items = at<std::int32_t*>(record, f.offset);
      out.open('[');
      for (std::uint32_t i = 0; i < n; ++i) out.number(items[i]);
      return out.close(']');
    }
    case oxs_kind_nested:
      return record_value(*f.element(), static_cast<const unsigned char*>(record) + f.offset, path, convert, ctx);
    case oxs_kind_optional: {
      const void* inner = at<void*>(record, f.offset);
      if (inner == nullptr) return out.null();
      return record_value(*f.element(), inner, path, convert, ctx);
    }
  }
}

void record_value(const oxs_record_info& info, const void* record, const json_path& path, bool convert,
                  const to_json_context& ctx) {
  ctx.out.open('{');
  for (std::uint32_t i = 0; i < info.field_count; ++i) {
    const oxs_field_info& f = info.fields[i];
    ctx.out.key(f.name);
    field_value(f, record, path.member(f.name), convert, ctx);
  }
  ctx.out.close('}');
}

// --- JSON to record ------------------------------------------------------------

void fill_record(const oxs_record_info& info, const json& value, void* record, const json_path& path, bool convert,
                 const local_text* lcs);

char* text_field(const json& j, const json_path& path, bool convert, const local_text* lcs) {
  if (j.is_null()) return nullptr;
  if (!j.is_string()) wrong(path, "a string or null", j);
  const auto& s = j.get_ref<const std::string&>();
  if (std::memchr(s.data(), 0, s.size()) != nullptr) throw json_error(path.text(), "a string cannot hold the character U+0000");
  return copy_text(convert && lcs != nullptr ? lcs->to_local(s) : s);
}

const json& array_of(const json& j, const json_path& path, const char* word) {
  if (!j.is_array()) wrong(path, word, j);
  return j;
}

void fill_field(const oxs_field_info& f, const json& j, void* record, const json_path& path, bool convert,
                const local_text* lcs) {
  convert = convert && f.local_text;
  switch (f.kind) {
    case oxs_kind_i32:
      at<std::int32_t>(record, f.offset) = static_cast<std::int32_t>(
          number(path, j, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), kind_word(f.kind)));
      return;
    case oxs_kind_u32:
      at<std::uint32_t>(record, f.offset) = static_cast<std::uint32_t>(number(path, j, 0, 0xFFFFFFFF, kind_word(f.kind)));
      return;
    case oxs_kind_u16:
      at<std::uint16_t>(record, f.offset) = static_cast<std::uint16_t>(number(path, j, 0, 0xFFFF, kind_word(f.kind)));
      return;
    case oxs_kind_u8:
      at<std::uint8_t>(record, f.offset) = static_cast<std::uint8_t>(number(path, j, 0, 0xFF, kind_word(f.kind)));
      return;
    case oxs_kind_string:
      at<char*>(record, f.offset) = text_field(j, path, convert, lcs);
      return;
    case oxs_kind_cstring:
      at<char*>(record, f.offset) = text_field(j, path, convert, lcs);
      return;
    case oxs_kind_fixed: {
      if (!j.is_string()) wrong(path, kind_word(f.kind), j);
      const std::vector<unsigned char> bytes = from_hex(path, j.get<std::string>());
      if (bytes.size() != f.fixed_size)
        throw json_error(path.text(), "expected exactly " + std::to_string(f.fixed_size) + " bytes (" +
                                   std::to_string(f.fixed_size * 2) + " hex digits), found " + std::to_string(bytes.size()));
      std::memcpy(&at<unsigned char>(record, f.offset), bytes.data(), bytes.size());
      return;
    }
    case oxs_kind_block: {
      if (j.is_null()) return;
      if (!j.is_string()) wrong(path, kind_word(f.kind), j);
      const std::vector<unsigned char> bytes = from_hex(path, j.get<std::string>());
      if (bytes.empty()) return;  // an empty block is written from a null pointer
      auto* block = static_cast<unsigned char*>(checked_calloc(bytes.size(), 1));
      std::memcpy(block, bytes.data(), bytes.size());
      at<unsigned char*>(record, f.offset) = block;
      at<std::uint32_t>(record, f.count_offset) = static_cast<std::uint32_t>(bytes.size());
      return;
    }
    case oxs_kind_list:
    case oxs_kind_list16: {
      const json& items = array_of(j, path, kind_word(f.kind));
      const oxs_record_info& e = *f.element();
      if (f.kind == oxs_kind_list16 && items.size() > 0xFFFF)
        throw json_error(path.text(), "at most 65535 elements, found " + std::to_string(items.size()));
      if (items.empty()) return;
      auto* array = static_cast<unsigned char*>(checked_calloc(items.size(), e.size));
      // Counted at once: the zeroed elements release cleanly if one fails.
      at<void*>(record, f.offset) = array;
      if (f.kind == oxs_kind_list16)
        at<std::uint16_t>(record, f.count_offset) = static_cast<std::uint16_t>(items.size());
      else
        at<std::uint32_t>(record, f.count_offset) = static_cast<std::uint32_t>(items.size());
      for (std::size_t i = 0; i < items.size(); ++i)
        fill_record(e, items[i], array + i * e.size, path.item(i), convert, lcs);
      return;
    }
    case oxs_kind_ptrlist: {
      const json& items = array_of(j, path, kind_word(f.kind));
      const oxs_record_info& e = *f.element();
      if (items.empty()) return;
      auto** array = static_cast<void**>(checked_calloc(items.size(), sizeof(void*)));
      at<void**>(record, f.offset) = array;
      at<std::uint32_t>(record, f.count_offset) = static_cast<std::uint32_t>(items.size());
      for (std::size_t i = 0; i < items.size(); ++i) {
        array[i] = checked_calloc(1, e.size);
        fill_record(e, items[i], array[i], path.item(i), convert, lcs);
      }
      return;
    }
    case oxs_kind_strings: {
      const json& items = array_of(j, path, kind_word(f.kind));
      if (items.empty()) return;
      auto** array = static_cast<char**>(checked_calloc(items.size(), sizeof(char*)));
      at<char**>(record, f.offset) = array;
      at<std::uint32_t>(record, f.count_offset) = static_cast<std::uint32_t>(items.size());
      for (std::size_t i = 0; i < items.size(); ++i)
        array[i] = text_field(items[i], path.item(i), convert, lcs);
      return;
    }
    case oxs_kind_ints: {
      const json& items = array_of(j, path, kind_word(f.kind));
      if (items.empty()) return;
      auto* array = static_cast<std::int32_t*>(checked_calloc(items.size(), sizeof(std::int32_t)));
      at<std::int32_t*>(record, f.offset) = array;
      at<std::uint32_t>(record, f.count_offset) = static_cast<std::uint32_t>(items.size());
      for (std::size_t i = 0; i < items.size(); ++i)
        array[i] = static_cast<std::int32_t>(number(path.item(i), items[i],
                                                    std::numeric_limits<std::int32_t>::min(),
                                                    std::numeric_limits<std::int32_t>::max(), kind_word(oxs_kind_i32)));
      return;
    }
    case oxs_kind_nested:
      fill_record(*f.element(), j, static_cast<unsigned char*>(record) + f.offset, path, convert, lcs);
      return;
    case oxs_kind_optional: {
      if (j.is_null()) return;
      const oxs_record_info& e = *f.element();
      void* inner = checked_calloc(1, e.size);
      at<void*>(record, f.offset) = inner;
      fill_record(e, j, inner, path, convert, lcs);
      return;
    }
    case oxs_kind_sparse: {
      const json& items = array_of(j, path, kind_word(f.kind));
      if (items.size() > tq_asn_sarray_slots)
        throw json_error(path.text(), "at most " + std::to_string(tq_asn_sarray_slots) + " slots, found " +
                                   std::to_string(items.size()));
      void** slots = &at<void*>(record, f.offset);
      const oxs_record_info& e = *f.element();
      for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].is_null()) continue;
        slots[i] = checked_calloc(1, e.size);
        fill_record(e, items[i], slots[i], path.item(i), convert, lcs);
      }
      return;
    }
  }
}

void fill_record(const oxs_record_info& info, const json& value, void* record, const json_path& path, bool convert,
                 const local_text* lcs) {
  if (!value.is_object()) wrong(path, "an object", value);
  for (auto it = value.begin(); it != value.end(); ++it) {
    const oxs_field_info* field = nullptr;
    for (std::uint32_t i = 0; i < info.field_count; ++i)
      if (it.key() == info.fields[i].name) field = &info.fields[i];
    if (field != nullptr) continue;
    std::string known;
    for (std::uint32_t i = 0; i < info.field_count; ++i) {
      if (info.fields[i].count_name != nullptr && it.key() == info.fields[i].count_name)
        throw json_error(path.member(it.key().c_str()).text(),
                         std::string("not a member: the count follows from ") + info.fields[i].name);
      known += (i ? ", " : "") + std::string(info.fields[i].name);
    }
    throw json_error(path.member(it.key().c_str()).text(),
                     std::string("no such field in ") + info.type_name + " (fields: " + known + ")");
  }
  for (std::uint32_t i = 0; i < info.field_count; ++i) {
    const oxs_field_info& f = info.fields[i];
    auto it = value.find(f.name);
    if (it == value.end()) continue;
    fill_field(f, *it, record, path.member(f.name), convert, lcs);
  }
}

}  // namespace

// --- local code set ----------------------------------------------------------------
//
// The conversions are the library's own, through the text adapter in its
// local-code-set mode: the adapter takes local text and holds UTF-8, and
// gives its UTF-8 back as local text. Only the code set's name is the
// tool's, for its messages.

#if defined(_WIN32)
local_text::local_text() {
  const UINT cp = GetACP();
  codeset_ = "CP" + std::to_string(cp);
  identity_ = cp == CP_UTF8;
}
#else
local_text::local_text() {
  const char* cs = nl_langinfo(CODESET);
  codeset_ = cs != nullptr ? cs : "ANSI_X3.4-1968";
  identity_ = codeset_ == "UTF-8" || codeset_ == "utf-8" || codeset_ == "UTF8";
}
#endif

local_text::~local_text() = default;

namespace {

// Substitutions are counted as the substitutes the conversion added.
std::size_t added(const std::string& in, const std::string& out, const std::string& substitute) {
  const auto count = [&](const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = text.find(substitute); at != std::string::npos; at = text.find(substitute, at + 1)) ++n;
    return n;
  };
  const std::size_t before = count(in);
  const std::size_t after = count(out);
  return after > before ? after - before : 0;
}

std::string adapter_text(const tqasnUTF8String& s) {
  char* text = nullptr;
  if (s.get_value(text) != 0 || text == nullptr) throw std::bad_alloc();
  std::string out(text);
  s.free_obj(text);
  return out;
}

}  // namespace

std::string local_text::to_local(const std::string& utf8) const {
  if (identity_ || utf8.empty()) return utf8;
  tqasnUTF8String s(security_lcs);
  (void)s.tq_asn_charstring::set_value(reinterpret_cast<const unsigned char*>(utf8.data()),
                                       static_cast<std::uint32_t>(utf8.size()));
  std::string out = adapter_text(s);
  to_local_substituted_ += added(utf8, out, "?");
  return out;
}

std::string local_text::to_utf8(const std::string& local) const {
  if (identity_ || local.empty()) return local;
  tqasnUTF8String s(security_lcs);
  (void)s.set_value(local.c_str());
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  (void)s.tq_asn_charstring::get_value(bytes, length);
  std::string out(reinterpret_cast<const char*>(bytes), length);
  to_utf8_substituted_ += added(local, out, "\xEF\xBF\xBD");
  return out;
}

// --- public ----------------------------------------------------------------------------

record_holder::record_holder(const oxs_record_info& info) : info_(info), record_(checked_calloc(1, info.size)) {}

record_holder::~record_holder() {
  info_.release(record_);
  std::free(record_);
}

void write_record_json(const oxs_record_info& info, const void* record, const json_sink& sink,
                       const local_text* lcs, std::vector<std::string>* replaced) {
  json_text out(sink);
  const to_json_context ctx{lcs, replaced, out};
  record_value(info, record, json_path{}, lcs != nullptr, ctx);
  out.flush();
}

json record_to_json(const oxs_record_info& info, const void* record, const local_text* lcs,
                    std::vector<std::string>* replaced) {
  std::string text;
  write_record_json(info, record, [&](const std::string& piece) { text += piece; }, lcs, replaced);
  return json::parse(text);
}

void record_from_json(const oxs_record_info& info, const json& value, void* record, const local_text* lcs) {
  fill_record(info, value, record, json_path{}, lcs != nullptr, lcs);
}

namespace {

// nlohmann's messages name the parser's states ("syntax error while parsing
// object key - ..."); these say the same in the words of the JSON text.
std::string plain_syntax_error(const std::string& what) {
  std::string s = what;
  // "[json.exception.parse_error.101] parse error at line 1, column 9: " ahead of the reason
  const std::size_t line = s.find("line ");
  if (line != std::string::npos) s.erase(0, line);
  static const std::pair<const char*, const char*> words[] = {
      {"syntax error while parsing object key - ", "where a member name belongs: "},
      {"syntax error while parsing object separator - ", "after a member name: "},
      {"syntax error while parsing object - ", "in an object: "},
      {"syntax error while parsing array - ", "in an array: "},
      {"syntax error while parsing value - ", "where a value belongs: "},
      {"; expected string literal", "; expected a member name in double quotes"},
      {"; expected ':'", "; expected ':' between the member name and its value"},
      {"; expected '}'", "; expected ',' and a member or '}' to close the object"},
      {"; expected ']'", "; expected ',' and a value or ']' to close the array"},
      {"; expected end of input", "; expected nothing more after the value"},
      {"invalid literal", "not a JSON value (an object, array, string in double quotes, number, true, false or null)"},
      {"invalid string: ", "a string "},
      {"invalid number; ", "a number "},
      {"last read: ", "read: "},
      {"; expected '[', '{', or a literal", "; expected a value"},
      {" literal;", ";"},
  };
  for (const auto& [from, to] : words)
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + std::strlen(to)))
      s.replace(at, std::strlen(from), to);
  return s;
}

// Builds the value as nlohmann's own DOM parser does, in time linear in the
// text, and refuses what no record can be: nesting deeper than the bound
// (before anything deeper is built) and a member named twice in one object.
// (nlohmann's callback parser would do the checks too, but it looks through
// the enclosing array on every closing brace: quadratic in an array's length.)
class json_builder {
 public:
  json_builder(json& root, std::size_t bound) : root_(root), bound_(bound) {}

  bool null() { return put(nullptr); }
  bool boolean(bool v) { return put(v); }
  bool number_integer(json::number_integer_t v) { return put(v); }
  bool number_unsigned(json::number_unsigned_t v) { return put(v); }
  bool number_float(json::number_float_t v, const std::string&) { return put(v); }
  bool string(std::string& v) { return put(std::move(v)); }
  bool binary(json::binary_t& v) { return put(std::move(v)); }

  bool start_object(std::size_t) {
    if (keys_.size() >= bound_ && bound_ == record_bound())
      throw json_error("", "the JSON nests objects more than " + std::to_string(bound_) +
                               " levels deep; the library writes records nested at most " + std::to_string(bound_) +
                               " levels (a deeper record is refused with ASN_ERR_UNSUPPORTED)");
    if (keys_.size() >= bound_)
      throw json_error("", "the JSON nests objects more than " + std::to_string(bound_) + " levels deep");
    keys_.emplace_back();
    open_.push_back(put_value(json::object()));
    return true;
  }
  bool key(std::string& name) {
    if (!keys_.back().insert(name).second)
      throw json_error("", "the member \"" + name + "\" appears twice in one object (a record has each field once)");
    // Appended without the ordered map's own search for the name: checked above.
    auto& members = static_cast<json::object_t::Container&>(open_.back()->get_ref<json::object_t&>());
    members.emplace_back(std::move(name), nullptr);
    slot_ = &members.back().second;
    return true;
  }
  bool end_object() {
    keys_.pop_back();
    open_.pop_back();
    return true;
  }
  bool start_array(std::size_t) {
    // Lists hold records, strings or numbers: an array in an array fits no
    // record, and a deep nest of them is refused like objects.
    if (++arrays_ > 2 * bound_ + 2)
      throw json_error("", "the JSON nests arrays more than " + std::to_string(2 * bound_ + 2) +
                               " levels deep; no record holds such a value");
    open_.push_back(put_value(json::array()));
    return true;
  }
  bool end_array() {
    --arrays_;
    open_.pop_back();
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const json::exception& e) {
    throw json_error("", "input is not JSON: " + plain_syntax_error(e.what()));
  }

 private:
  static std::size_t record_bound() { return static_cast<std::size_t>(tq_asn_max_nesting_depth); }

  template <class V>
  bool put(V&& v) {
    put_value(json(std::forward<V>(v)));
    return true;
  }
  // Where the value goes: the root, the end of the open array, or the
  // member whose name was read last.
  json* put_value(json&& v) {
    if (open_.empty()) {
      root_ = std::move(v);
      return &root_;
    }
    if (open_.back()->is_array()) {
      auto& items = open_.back()->get_ref<json::array_t&>();
      items.push_back(std::move(v));
      return &items.back();
    }
    *slot_ = std::move(v);
    return slot_;
  }

  json& root_;
  std::size_t bound_;
  std::vector<json*> open_;  // the arrays and objects being read, innermost last
  std::vector<std::set<std::string>> keys_;
  std::size_t arrays_ = 0;
  json* slot_ = nullptr;
};

}  // namespace

json parse_json(const std::vector<unsigned char>& text, std::size_t bound) {
  json value;
  json_builder builder(value, bound != 0 ? bound : static_cast<std::size_t>(tq_asn_max_nesting_depth));
  json::sax_parse(text.begin(), text.end(), &builder);
  return value;
}

namespace {

// The nesting of the BER a record's JSON becomes: each record is a
// SEQUENCE, each list a SEQUENCE OF; generations counts the records along
// the deepest path whose type holds a list of itself (a name-value tree).
record_depth depth_of(const oxs_record_info& info, const json& value) {
  static const json absent, none = json::array(), empty = json::object();
  record_depth deepest;
  bool recursive = false;
  for (std::uint32_t i = 0; i < info.field_count; ++i) {
    const oxs_field_info& f = info.fields[i];
    const oxs_record_info* e = f.element != nullptr ? f.element() : nullptr;
    const oxs_value_category holds = oxs_kinds[f.kind].value;
    const bool list = holds == oxs_value_records || holds == oxs_value_slots;
    recursive |= list && e == &info;
    // Absent members are written too: an empty list, an empty nested record.
    const auto it = value.find(f.name);
    const json& member = it != value.end() ? *it : absent;
    record_depth d;
    if (holds == oxs_value_texts || holds == oxs_value_integers) {
      d.levels = 1;
    } else if (list) {
      for (const json& item : member.is_array() ? member : none) {
        const record_depth inner = item.is_null() ? record_depth{} : depth_of(*e, item);
        if (inner.levels > d.levels) d = inner;
      }
      ++d.levels;
    } else if (holds == oxs_value_record && (!oxs_kinds[f.kind].optional || member.is_object())) {
      d = depth_of(*e, member.is_object() ? member : empty);
    }
    if (d.levels > deepest.levels) deepest = d;
  }
  return {deepest.levels + 1, deepest.generations + (recursive ? 1 : 0)};
}

}  // namespace

record_depth nesting_of(const oxs_record_info& info, const json& value) { return depth_of(info, value); }

std::string to_hex(const unsigned char* bytes, std::size_t length) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(length * 2);
  for (std::size_t i = 0; i < length; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

bool is_callable(const oxs_record_info& info) {
  // The update-list element is described for its list's sake only; its
  // functions refuse with ASN_ERR_UNSUPPORTED.
  return std::strcmp(info.structure, "kyobj_update_s_t") != 0;
}

std::vector<const oxs_record_info*> callable_records() {
  std::size_t count = 0;
  const oxs_record_info* table = oxs_records(&count);
  std::vector<const oxs_record_info*> out;
  for (std::size_t i = 0; i < count; ++i)
    if (is_callable(table[i])) out.push_back(&table[i]);
  return out;
}

}  // namespace oxser
