// JSON text written in pieces as a value is walked, laid out as nlohmann's
// dump(2) lays out the same value, so that no value of the whole is built.
#ifndef OXSER_JSON_TEXT_H
#define OXSER_JSON_TEXT_H

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace oxser {

// Receives the text in pieces of about 64 KiB.
using json_sink = std::function<void(const std::string&)>;

// The writer: containers are opened and closed, members named with key()
// ahead of their value; flush() hands on what is left.
class json_text {
 public:
  explicit json_text(const json_sink& sink) : sink_(sink) {}
  ~json_text() = default;
  json_text(const json_text&) = delete;
  json_text& operator=(const json_text&) = delete;

  void open(char bracket) {
    item();
    text_ += bracket;
    filled_.push_back(false);
  }
  void close(char bracket) {
    const bool filled = filled_.back();
    filled_.pop_back();
    if (filled) indent();
    text_ += bracket;
  }
  void key(const char* name) {
    item();
    quote(name, std::strlen(name));
    text_ += ": ";
    after_key_ = true;
  }
  void number(long long v) {
    item();
    text_ += std::to_string(v);
  }
  void null() {
    item();
    text_ += "null";
  }
  void string(const std::string& s) {
    item();
    quote(s.data(), s.size());
  }
  void hex(const unsigned char* bytes, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    item();
    text_ += '"';
    for (std::size_t i = 0; i < n; ++i) {
      text_ += digits[bytes[i] >> 4];
      text_ += digits[bytes[i] & 15];
      if (text_.size() >= kFlush) flush();
    }
    text_ += '"';
  }
  void flush() {
    sink_(text_);
    text_.clear();
  }

 private:
  static constexpr std::size_t kFlush = 1 << 16;

  // Ahead of a value: the comma and line break of an item in a container,
  // nothing after a member name.
  void item() {
    if (text_.size() >= kFlush) flush();
    if (after_key_) {
      after_key_ = false;
      return;
    }
    if (filled_.empty()) return;
    if (filled_.back()) text_ += ',';
    filled_.back() = true;
    indent();
  }
  void indent() {
    text_ += '\n';
    text_.append(2 * filled_.size(), ' ');
  }
  // As nlohmann escapes: the two that must be, the short forms, and \u00xx
  // for the other control characters; the text is valid UTF-8 already.
  void quote(const char* s, std::size_t n) {
    text_ += '"';
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      switch (c) {
        case '"': text_ += "\\\""; break;
        case '\\': text_ += "\\\\"; break;
        case '\b': text_ += "\\b"; break;
        case '\f': text_ += "\\f"; break;
        case '\n': text_ += "\\n"; break;
        case '\r': text_ += "\\r"; break;
        case '\t': text_ += "\\t"; break;
        default:
          if (c < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", c);
            text_ += code;
          } else {
            text_ += static_cast<char>(c);
          }
      }
    }
    text_ += '"';
  }

  json_sink sink_;  // a copy: the caller's may be a temporary made from a lambda
  std::string text_;
  std::vector<bool> filled_;  // per open container: whether it has an item yet
  bool after_key_ = false;
};

}  // namespace oxser

#endif
