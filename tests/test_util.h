// Helpers shared by the test files: hex text <-> bytes, a read view over hex
// text, writing an object to hex, status names, the tables of cases kept
// under tests/data, locales, and the allocation-failure sweep.
//
// Hex text is written as upper-case octets separated by single spaces
// ("30 03 02 01 05"); the parser also accepts lower case and no spaces.
#ifndef OXSERUTL_TESTS_TEST_UTIL_H
#define OXSERUTL_TESTS_TEST_UTIL_H

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <oxserutl/asnbase.h>
#include <oxserutl/asnstrng.h>
#include <oxserutl/fault_injection.h>
#include <oxserutl/status.h>

namespace oxs_test {

inline std::vector<unsigned char> from_hex(std::string_view hex) {
  std::string digits;
  for (char ch : hex)
    if (ch != ' ' && ch != '\n' && ch != '\r' && ch != '\t') digits += ch;
  if (digits.size() % 2 != 0 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    throw std::invalid_argument("bad hex: " + std::string(hex.substr(0, 80)));
  std::vector<unsigned char> out;
  for (std::size_t i = 0; i < digits.size(); i += 2)
    out.push_back(static_cast<unsigned char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
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
inline std::string status_name(int code) { return status_name(static_cast<std::uint32_t>(code)); }

// One element with the shortest definite length (contents up to 64 KiB):
// tlv("02", "00 80") is "02 02 00 80".
inline std::string tlv(const std::string& identifier, const std::string& content) {
  const std::size_t n = from_hex(content).size();
  std::vector<unsigned char> length;
  if (n > 0xFF) length.push_back(static_cast<unsigned char>(n >> 8));
  length.push_back(static_cast<unsigned char>(n));
  if (n > 0x7F) length.insert(length.begin(), static_cast<unsigned char>(0x80 + length.size()));
  return identifier + " " + to_hex(length) + (n != 0 ? " " + content : std::string());
}

// Converts a character string to the code set `to` (12 UTF-8, 19
// Printable, 20 T.61, 22 IA5, 26 Visible, 28 Universal, 30 BMP): into
// `out`, or in place when `out` is null.
inline int convert(tq_asn_charstring& s, std::uint32_t to, tq_buffer_t* out) {
  switch (to) {
    case 12: return out ? s.convert2UTF8(*out) : s.convert2UTF8();
    case 19: return out ? s.convert2printable(*out) : s.convert2printable();
    case 20: return out ? s.convert2T61(*out) : s.convert2T61();
    case 22: return out ? s.convert2IA5(*out) : s.convert2IA5();
    case 26: return out ? s.convert2visible(*out) : s.convert2visible();
    case 28: return out ? s.convert2Univ(*out) : s.convert2Univ();
    case 30: return out ? s.convert2BMP(*out) : s.convert2BMP();
  }
  throw std::invalid_argument("not a code set");
}

// Writes the object with asnwrite; its bytes, or "<STATUS_NAME>" when the
// write fails.
inline std::string write_hex(const tq_asn_object& object) {
  tq_buffer_t out;
  const int status = object.asnwrite(out);
  if (status != 0) return "<" + status_name(status) + ">";
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

  tq_r_buffer_t& view() { return view_; }
  unsigned char* begin() { return block_.get(); }
  std::uint32_t size() const { return size_; }
  // Bytes the readers have moved the cursor past.
  std::uint32_t consumed() const { return size() - view_.length(); }
  // The caller's buffer of the record functions.
  tq_asn_buffer_t buffer() {
    tq_asn_buffer_t b;
    b.length = size_;
    b.data = block_.get();
    return b;
  }

 private:
  std::uint32_t size_;
  std::unique_ptr<unsigned char[]> block_;
  tq_r_buffer_t view_;
};

inline std::string trim(const std::string& text) {
  const std::size_t b = text.find_first_not_of(" \t\r");
  return b == std::string::npos ? "" : text.substr(b, text.find_last_not_of(" \t\r") - b + 1);
}

// The text of a refused operation: its code and text, or a bare text;
// otherwise what the operation returns, or "no exception".
template <class F>
std::string refusal(F f) {
  try {
    if constexpr (std::is_void_v<decltype(f())>) {
      f();
      return "no exception";
    } else {
      return f();
    }
  } catch (const tq_asn_unsupportederror& e) {
    char code[16];
    std::snprintf(code, sizeof code, "%#x ", e.code());
    return code + std::string(e.text());
  } catch (const char* text) {
    return text;
  }
}

// --- tables of cases -----------------------------------------------------------

// One line of a table under tests/data: cells separated by '|', trimmed.
// Lines that are blank or start with '#' are comments.
struct row {
  std::string where;  // "file:line", for failure messages
  std::vector<std::string> cells;
  const std::string& operator[](std::size_t i) const { return cells.at(i); }
  int number(std::size_t i) const { return static_cast<int>(std::stol(cells.at(i), nullptr, 0)); }
};

inline std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

#ifdef OXSERUTL_SOURCE_DIR
inline std::string data_path(const std::string& name) { return std::string(OXSERUTL_SOURCE_DIR) + "/tests/data/" + name; }

inline std::vector<row> read_table(const std::string& name, std::size_t columns) {
  std::istringstream in(read_file(data_path(name)));
  std::vector<row> rows;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    row r{name + ":" + std::to_string(n), {}};
    std::istringstream cells(line + "|");  // so that an empty last cell is read too
    for (std::string cell; std::getline(cells, cell, '|');) r.cells.push_back(trim(cell));
    if (r.cells.size() != columns)
      throw std::runtime_error(r.where + ": " + std::to_string(r.cells.size()) + " cells, expected " +
                               std::to_string(columns));
    rows.push_back(std::move(r));
  }
  if (rows.empty()) throw std::runtime_error(name + ": no rows");
  return rows;
}
#endif

// --- locales ---------------------------------------------------------------------

// Switches the process to the first locale of the list that exists, and back
// when it goes out of scope. Set before any thread starts.
class scoped_locale {
 public:
  explicit scoped_locale(const std::vector<const char*>& names) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    saved_ = old != nullptr ? old : "C";
    for (const char* name : names)
      if (std::setlocale(LC_ALL, name) != nullptr) {
        ok_ = true;
        break;
      }
  }
  ~scoped_locale() { std::setlocale(LC_ALL, saved_.c_str()); }
  scoped_locale(const scoped_locale&) = delete;
  scoped_locale& operator=(const scoped_locale&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string saved_;
  bool ok_ = false;
};

// --- allocation failures -------------------------------------------------------------

// Runs `operation` with the k-th allocation failing, for k = 1, 2, ... until
// it completes without reaching the k-th allocation. A raised memory
// exception counts as ASN_ERR_MEMORY; `check` sees every run's status and
// whether the failure fired. Returns the number of failure points.
inline long sweep(const std::function<int()>& operation, const std::function<void(int, bool)>& check) {
  long points = 0;
  for (long k = 1; k < 1000000; ++k) {
    oxserutl_fault_arm(k);
    int status;
    try {
      status = operation();
    } catch (const tq_asn_memexception&) {
      status = ASN_ERR_MEMORY;
    }
    const bool fired = oxserutl_fault_fired() != 0;
    oxserutl_fault_arm(0);
    check(status, fired);
    if (!fired) break;
    ++points;
  }
  return points;
}

}  // namespace oxs_test

#endif
