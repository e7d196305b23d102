#include "tool_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace oxser {

namespace {

bool is_space(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

int hex_value(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string shown(unsigned char c) {
  char text[8];
  if (c >= 0x20 && c < 0x7F)
    std::snprintf(text, sizeof text, "'%c'", c);
  else
    std::snprintf(text, sizeof text, "0x%02x", c);
  return text;
}

}  // namespace

std::vector<unsigned char> read_input(const std::string& file) {
  const bool stdin_input = file.empty() || file == "-";
  std::FILE* f = stdin_input ? stdin : std::fopen(file.c_str(), "rb");
  if (f == nullptr) throw tool_error(exit_bad_usage, "cannot open " + file + ": " + std::strerror(errno));
  std::vector<unsigned char> bytes;
  unsigned char chunk[65536];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  const bool failed = std::ferror(f) != 0;
  if (!stdin_input) std::fclose(f);
  if (failed) throw tool_error(exit_bad_usage, "cannot read " + (stdin_input ? std::string("standard input") : file));
  return bytes;
}

std::vector<unsigned char> input_bytes(const std::vector<unsigned char>& raw, input_form form) {
  if (form == input_form::binary) return raw;
  if (form == input_form::detect) {
    for (unsigned char c : raw)
      if (!is_space(c) && (c < 0x20 || c >= 0x7F)) return raw;
  }
  std::vector<unsigned char> bytes;
  bytes.reserve(raw.size() / 2);
  int high = -1;
  std::size_t high_at = 0;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const unsigned char c = raw[i];
    if (is_space(c)) {
      if (high >= 0)
        throw tool_error(exit_bad_data, "input is not hex: lone digit at offset " + std::to_string(high_at) +
                                            " (hex text is pairs of digits)");
      continue;
    }
    const int v = hex_value(c);
    if (v < 0)
      throw tool_error(exit_bad_data, "input is not hex: " + shown(c) + " at offset " + std::to_string(i) +
                                          " (hex text is pairs of digits 0-9 a-f, with white space between pairs)");
    if (high < 0) {
      high = v;
      high_at = i;
    } else {
      bytes.push_back(static_cast<unsigned char>(high * 16 + v));
      high = -1;
    }
  }
  if (high >= 0)
    throw tool_error(exit_bad_data, "input is not hex: lone digit at offset " + std::to_string(high_at) +
                                        " (hex text is pairs of digits)");
  return bytes;
}

std::string hex_lines(const std::vector<unsigned char>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
    out += (i % 16 == 15 || i + 1 == bytes.size()) ? '\n' : ' ';
  }
  return out;
}

}  // namespace oxser
