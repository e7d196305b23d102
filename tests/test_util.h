// Small helpers shared by the test files: hex text <-> bytes, a read view
// over hex text, writing an object to hex, and status names for messages.
//
// Hex text is written as upper-case octets separated by single spaces
// ("30 03 02 01 05"); the parser also accepts lower case and no spaces.
#ifndef OXSERUTL_TESTS_TEST_UTIL_H
#define OXSERUTL_TESTS_TEST_UTIL_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <oxserutl/asnbase.h>
#include <oxserutl/status.h>

namespace oxs_test {

inline std::vector<unsigned char> from_hex(std::string_view hex) {
  std::vector<unsigned char> out;
  int high = -1;
  for (char ch : hex) {
    int nibble;
    if (ch >= '0' && ch <= '9') {
      nibble = ch - '0';
    } else if (ch >= 'a' && ch <= 'f') {
      nibble = ch - 'a' + 10;
    } else if (ch >= 'A' && ch <= 'F') {
      nibble = ch - 'A' + 10;
    } else if (ch == ' ' || ch == '\n' || ch == '\r' || ch == '\t') {
      continue;
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

inline std::string to_hex(const unsigned char* p, std::size_t n) {
  std::string out;
  char octet[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(octet, sizeof octet, i == 0 ? "%02X" : " %02X", p[i]);
    out += octet;
  }
  return out;
}

inline std::string to_hex(const std::vector<unsigned char>& v) { return to_hex(v.data(), v.size()); }

// The bytes from the view's cursor to its end.
inline std::string to_hex(const tq_r_buffer_t& v) { return to_hex(v.current(), v.length()); }

// "ASN_ERR_TRUNCATED", "ASN_OK", or the number for an unknown code.
inline std::string status_name(std::uint32_t code) {
  const char* name = tq_asn_status_name(code);
  if (name != nullptr) return name;
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(code));
  return text;
}

// One element with a short-form length: tlv("02", "00 80") is "02 02 00 80".
inline std::string tlv(const std::string& identifier, const std::string& content) {
  const std::size_t n = from_hex(content).size();
  if (n > 127) throw std::invalid_argument("tlv: contents too long for the short form");
  const unsigned char length = static_cast<unsigned char>(n);
  return identifier + " " + to_hex(&length, 1) + (n != 0 ? " " + content : std::string());
}

// Writes the object with asnwrite; returns its bytes, or "<STATUS_NAME>" when
// the write fails.
inline std::string write_hex(const tq_asn_object& object) {
  tq_buffer_t out;
  const int status = object.asnwrite(out);
  if (status != 0) return "<" + status_name(static_cast<std::uint32_t>(status)) + ">";
  return to_hex(out);
}

// Owns a copy of some bytes in a heap block of exactly their size (so a read
// past the end is an ASan report) and a read view over them.
class hex_view {
 public:
  explicit hex_view(std::string_view hex) : hex_view(from_hex(hex)) {}
  explicit hex_view(const std::vector<unsigned char>& bytes)
      : size_(static_cast<std::uint32_t>(bytes.size())),
        block_(bytes.empty() ? nullptr : new unsigned char[bytes.size()]),
        view_(block_.get(), size_) {
    if (size_ != 0) std::memcpy(block_.get(), bytes.data(), size_);
  }
  hex_view(const hex_view&) = delete;
  hex_view& operator=(const hex_view&) = delete;

  tq_r_buffer_t& view() { return view_; }
  unsigned char* begin() { return block_.get(); }
  std::uint32_t size() const { return size_; }
  // Bytes the readers have moved the cursor past.
  std::uint32_t consumed() const { return size() - view_.length(); }

 private:
  std::uint32_t size_;
  std::unique_ptr<unsigned char[]> block_;
  tq_r_buffer_t view_;
};

}  // namespace oxs_test

#endif
