// Hex text in and out for the choice, display, scanner and BER-suite tests:
// "30 03 02 01 05" <-> bytes, status names, and a read view that owns its
// bytes in a block of exactly their size (a read past the end is an ASan
// report).
#ifndef OXSERUTL_TESTS_HEXIO_H
#define OXSERUTL_TESTS_HEXIO_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <oxserutl/asnbase.h>
#include <oxserutl/status.h>

namespace hexio {

inline std::vector<unsigned char> bytes(std::string_view hex) {
  std::vector<unsigned char> out;
  int high = -1;
  for (char ch : hex) {
    if (ch == ' ') continue;
    int nibble;
    if (ch >= '0' && ch <= '9') {
      nibble = ch - '0';
    } else if (ch >= 'A' && ch <= 'F') {
      nibble = ch - 'A' + 10;
    } else if (ch >= 'a' && ch <= 'f') {
      nibble = ch - 'a' + 10;
    } else {
      throw std::invalid_argument("bad hex digit");
    }
    if (high < 0) {
      high = nibble;
    } else {
      out.push_back(static_cast<unsigned char>(high * 16 + nibble));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd number of hex digits");
  return out;
}

inline std::string hex(const unsigned char* p, std::size_t n) {
  std::string out;
  char octet[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(octet, sizeof octet, i == 0 ? "%02X" : " %02X", p[i]);
    out += octet;
  }
  return out;
}

inline std::string hex(const tq_buffer_t& b) { return hex(b.data(), b.used()); }

inline std::string name(int code) {
  const char* n = tq_asn_status_name(static_cast<std::uint32_t>(code));
  if (n != nullptr) return n;
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(code));
  return text;
}

// The object's whole element, or "<STATUS_NAME>" when writing fails.
inline std::string written(const tq_asn_object& object) {
  tq_buffer_t out;
  const int status = object.asnwrite(out);
  return status != 0 ? "<" + name(status) + ">" : hex(out);
}

class input {
 public:
  explicit input(std::string_view hex_text) : input(bytes(hex_text)) {}
  explicit input(std::vector<unsigned char> data)
      : data_(std::move(data)),
        block_(data_.empty() ? nullptr : new unsigned char[data_.size()]),
        view_(block_, size()) {
    if (block_ != nullptr) std::copy(data_.begin(), data_.end(), block_);
  }
  input(const input&) = delete;
  input& operator=(const input&) = delete;
  ~input() { delete[] block_; }

  tq_r_buffer_t& view() { return view_; }
  unsigned char* begin() { return block_; }
  std::uint32_t size() const { return static_cast<std::uint32_t>(data_.size()); }
  std::uint32_t consumed() const { return size() - view_.length(); }

 private:
  std::vector<unsigned char> data_;
  unsigned char* block_;
  tq_r_buffer_t view_;
};

}  // namespace hexio

#endif
