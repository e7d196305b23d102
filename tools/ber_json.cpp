#include "ber_json.h"

namespace oxser {

json_tree_sink::json_tree_sink(bytes_view data, const json_sink& out) : data_(data), text_(out) { text_.open('{'); }

void json_tree_sink::hex_member(const char* name, std::size_t from, std::size_t to) {
  text_.key(name);
  text_.hex(data_.data() + from, to - from);
}

void json_tree_sink::envelope(std::size_t header_length) {
  hex_member("envelope", 0, header_length);
  written_ = header_length;
}

void json_tree_sink::close_to(int depth) {
  while (!open_.empty() && open_.back() >= depth) {
    open_.pop_back();
    text_.close(']');
    text_.close('}');
  }
}

void json_tree_sink::element(bytes_view, const ber_header& h, int depth, const std::string& label,
                             const std::vector<ber_note>&) {
  close_to(depth);
  if (!element_) {
    text_.key("element");
    element_ = true;
  }
  static const char* const classes[] = {"universal", "application", "context", "private"};
  text_.open('{');
  text_.key("offset");
  text_.number(static_cast<long long>(h.offset));
  text_.key("tag");
  text_.string(std::string(classes[h.cls & 3]) + " " + std::to_string(h.tag));
  if (!label.empty()) {
    text_.key("field");
    text_.string(label);
  }
  // The identifier's octets end where the length's begin: at the first
  // octet without the high bit after a high tag number's first octet.
  std::size_t id_end = h.offset + 1;
  if ((data_[h.offset] & 0x1F) == 0x1F)
    while (id_end < h.content && (data_[id_end++] & 0x80) != 0) {
    }
  hex_member("identifier", h.offset, id_end);
  hex_member("length", id_end, h.content);
  if (h.constructed) {
    text_.key("children");
    text_.open('[');
    open_.push_back(depth);
    written_ = h.content;
  } else if (h.length > data_.size() - h.content) {
    // Contents past the end: the element as far as it goes, the rest in the tail.
    text_.close('}');
    written_ = h.content;
  } else {
    hex_member("contents", h.content, h.content + h.length);
    text_.close('}');
    written_ = h.content + h.length;
  }
}

void json_tree_sink::end_of_contents(std::size_t offset, int depth) {
  close_to(depth);
  text_.open('{');
  hex_member("end_of_contents", offset, offset + 2);
  text_.close('}');
  written_ = offset + 2;
}

void json_tree_sink::finish() {
  close_to(0);
  if (written_ < data_.size()) hex_member("tail", written_, data_.size());
  text_.close('}');
  text_.flush();
}

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void append_hex(std::vector<unsigned char>& out, const json& j, const std::string& path) {
  if (!j.is_string()) throw json_error(path, "expected a hex string");
  const std::string& s = j.get_ref<const std::string&>();
  if (s.size() % 2 != 0) throw json_error(path, "expected hex with an even number of digits");
  for (std::size_t i = 0; i < s.size(); i += 2) {
    const int hi = hex_value(s[i]), lo = hex_value(s[i + 1]);
    if (hi < 0 || lo < 0) throw json_error(path, "expected hex digits, found '" + s.substr(hi < 0 ? i : i + 1, 1) + "'");
    out.push_back(static_cast<unsigned char>(hi * 16 + lo));
  }
}

// Deeper than any reader goes (the walker stops at max_depth): refused
// before the recursion below could exhaust the stack.
constexpr int build_depth = 4 * max_depth;

void build_element(std::vector<unsigned char>& out, const json& e, const std::string& path, int depth) {
  if (depth > build_depth)
    throw json_error(path, "elements nested more than " + std::to_string(build_depth) + " deep");
  if (!e.is_object()) throw json_error(path, "expected an element (an object)");
  if (e.contains("end_of_contents")) return append_hex(out, e["end_of_contents"], path + ".end_of_contents");
  if (!e.contains("identifier")) throw json_error(path, "an element needs its identifier");
  append_hex(out, e["identifier"], path + ".identifier");
  std::vector<unsigned char> contents;
  if (e.contains("children") && e.contains("contents"))
    throw json_error(path, "an element has contents or children, not both");
  if (e.contains("children")) {
    const json& children = e["children"];
    if (!children.is_array()) throw json_error(path + ".children", "expected an array of elements");
    for (std::size_t i = 0; i < children.size(); ++i)
      build_element(contents, children[i], path + ".children[" + std::to_string(i) + "]", depth + 1);
  } else if (e.contains("contents")) {
    append_hex(contents, e["contents"], path + ".contents");
  }
  if (e.contains("length")) {
    append_hex(out, e["length"], path + ".length");
  } else {
    // The shortest definite form (X.690 8.1.3.3 and 8.1.3.5).
    const std::size_t n = contents.size();
    if (n < 0x80) {
      out.push_back(static_cast<unsigned char>(n));
    } else {
      int octets = 0;
      for (std::size_t v = n; v != 0; v >>= 8) ++octets;
      out.push_back(static_cast<unsigned char>(0x80 | octets));
      while (octets-- > 0) out.push_back(static_cast<unsigned char>(n >> (8 * octets)));
    }
  }
  out.insert(out.end(), contents.begin(), contents.end());
}

}  // namespace

std::vector<unsigned char> build_tree(const json& tree) {
  if (!tree.is_object()) throw json_error("", "expected an object with envelope, element and tail");
  for (auto it = tree.begin(); it != tree.end(); ++it)
    if (it.key() != "envelope" && it.key() != "element" && it.key() != "tail")
      throw json_error(it.key(), "not a member of a tree (envelope, element, tail)");
  std::vector<unsigned char> out;
  if (tree.contains("envelope")) append_hex(out, tree["envelope"], "envelope");
  if (tree.contains("element")) build_element(out, tree["element"], "element", 0);
  if (tree.contains("tail")) append_hex(out, tree["tail"], "tail");
  return out;
}

}  // namespace oxser
