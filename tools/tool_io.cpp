#include "tool_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "utf8.h"

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
  struct stat st {};
  // A file's size is known: one block of that size, never a copy.
  if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode)) bytes.reserve(static_cast<std::size_t>(st.st_size) + 1);
  unsigned char chunk[65536];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  const bool failed = std::ferror(f) != 0;
  if (!stdin_input) std::fclose(f);
  if (failed) throw tool_error(exit_bad_usage, "cannot read " + (stdin_input ? std::string("standard input") : file));
  return bytes;
}

namespace {

bool looks_like_json(const std::vector<unsigned char>& raw) {
  std::size_t i = 0;
  while (i < raw.size() && is_space(raw[i])) ++i;
  if (i == raw.size() || (raw[i] != '{' && raw[i] != '[')) return false;
  std::size_t k = i + 1;
  while (k < raw.size() && is_space(raw[k])) ++k;
  return k == raw.size() || raw[k] == '"' || raw[k] == '}' || raw[k] == ']' || raw[k] == '{' || raw[k] == '[' ||
         raw[k] == '-' || (raw[k] >= '0' && raw[k] <= '9') || raw[k] == 'n' || raw[k] == 't' || raw[k] == 'f';
}

// xxd's listing: "00000010: 0402 acdc 3082 0118  ....0..." - an offset of
// hex digits and a colon, then groups, then two spaces and the text.
bool xxd_line(const std::vector<unsigned char>& raw, std::size_t at) {
  std::size_t i = at;
  while (i < raw.size() && hex_value(raw[i]) >= 0) ++i;
  return i - at >= 7 && i + 1 < raw.size() && raw[i] == ':' && raw[i + 1] == ' ';
}

int base64_value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+' || c == '-') return 62;  // '-' and '_': the URL-safe alphabet
  if (c == '/' || c == '_') return 63;
  return -1;
}

// Base64 (RFC 4648) in place: lines of whole groups of four characters,
// the last perhaps padded with '='. Refuses (returns false) on anything
// else: spaces between characters are hex text's, not base64's.
bool base64_in_place(std::vector<unsigned char>& raw, std::size_t from, std::size_t to) {
  std::size_t out = 0, groups = 0, characters = 0;
  for (std::size_t i = from; i < to; ++i) {
    if (raw[i] == ' ' || raw[i] == '\t') return false;
    characters += raw[i] != '\n' && raw[i] != '\r' ? 1 : 0;
  }
  if (characters % 4 != 0) return false;
  unsigned bits = 0;
  bool padded = false;
  for (std::size_t i = from; i < to; ++i) {
    const unsigned char c = raw[i];
    if (c == '\n' || c == '\r') continue;
    if (c == '=') {
      padded = true;
      continue;
    }
    const int v = base64_value(c);
    if (v < 0 || padded) return false;
    bits = (bits << 6) | static_cast<unsigned>(v);
    if (++groups % 4 == 0) {
      raw[out++] = static_cast<unsigned char>(bits >> 16);
      raw[out++] = static_cast<unsigned char>(bits >> 8);
      raw[out++] = static_cast<unsigned char>(bits);
      bits = 0;
    }
  }
  if (groups % 4 == 1) return false;
  if (groups % 4 == 2) raw[out++] = static_cast<unsigned char>(bits >> 4);
  if (groups % 4 == 3) {
    raw[out++] = static_cast<unsigned char>(bits >> 10);
    raw[out++] = static_cast<unsigned char>(bits >> 2);
  }
  raw.resize(out);
  return true;
}

// The body of a PEM block (RFC 7468): from the line after "-----BEGIN
// ...-----" to "-----END", without header lines ("Proc-Type: ...").
bool pem_body(const std::vector<unsigned char>& raw, std::size_t& from, std::size_t& to) {
  const std::string text(raw.begin(), raw.end());
  const std::size_t begin = text.find("-----BEGIN ");
  if (begin == std::string::npos) return false;
  from = text.find('\n', begin);
  to = text.find("-----END", begin);
  if (from == std::string::npos || to == std::string::npos || to < from) return false;
  for (std::size_t next; (next = text.find('\n', from + 1)) != std::string::npos && next < to &&
                         text.find(':', from + 1) < next;)
    from = next;
  return true;
}

// hexdump -C: "00000010  04 02 ac dc 30 82 01 18  0c 0f 61 63 6c 2d 77 65  |....0.....acl-we|",
// "*" for lines like the one before, and the size alone on the last line.
bool hexdump_line(const std::vector<unsigned char>& raw, std::size_t at) {
  std::size_t i = at;
  while (i < raw.size() && hex_value(raw[i]) >= 0) ++i;
  return i - at == 8 && i + 2 < raw.size() && raw[i] == ' ' && raw[i + 1] == ' ' && hex_value(raw[i + 2]) >= 0;
}

std::vector<unsigned char> from_hexdump(const std::vector<unsigned char>& raw) {
  std::vector<unsigned char> out, previous;
  bool repeat = false;
  std::size_t i = 0;
  while (i < raw.size()) {
    std::size_t end = i;
    while (end < raw.size() && raw[end] != '\n') ++end;
    std::size_t k = i;
    unsigned long long offset = 0;
    for (; k < end && hex_value(raw[k]) >= 0; ++k) offset = offset * 16 + static_cast<unsigned>(hex_value(raw[k]));
    if (k == i && i < end && raw[i] == '*') {
      repeat = true;
    } else if (k > i) {
      if (offset < out.size()) throw tool_error(exit_bad_data, "input is not a hexdump -C listing: offsets go back");
      // "*": the line before, again up to this line's offset.
      while (repeat && !previous.empty() && out.size() + previous.size() <= offset)
        out.insert(out.end(), previous.begin(), previous.end());
      repeat = false;
      if (offset != out.size()) throw tool_error(exit_bad_data, "input is not a hexdump -C listing: a line is missing");
      previous.clear();
      for (; k + 2 < end && raw[k] == ' ' && raw[k + 1] != '|'; k += 3) {
        if (raw[k + 1] == ' ') ++k;  // the gap after eight octets
        if (k + 2 >= end || hex_value(raw[k + 1]) < 0 || hex_value(raw[k + 2]) < 0) break;
        previous.push_back(static_cast<unsigned char>(hex_value(raw[k + 1]) * 16 + hex_value(raw[k + 2])));
      }
      out.insert(out.end(), previous.begin(), previous.end());
    }
    i = end + 1;
  }
  return out;
}

// Hex text (pairs, with white space, colons or commas between them, each
// pair perhaps behind "0x" or "\\x"), or xxd's listing, converted in place
// when write is set; throws tool_error where it is not hex.
void hex_in_place(std::vector<unsigned char>& raw, bool write) {
  std::size_t out = 0;
  int high = -1;
  std::size_t high_at = 0;
  const bool xxd = xxd_line(raw, 0);
  const auto lone = [&]() {
    return tool_error(exit_bad_data, "input is not hex: lone digit at offset " + std::to_string(high_at) +
                                         " (hex text is pairs of digits)");
  };
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const unsigned char c = raw[i];
    if (xxd && (i == 0 || raw[i - 1] == '\n') && xxd_line(raw, i)) {
      while (raw[i] != ':') ++i;  // the offset and its colon
      continue;
    }
    if (xxd && c == ' ' && i + 1 < raw.size() && raw[i + 1] == ' ') {
      if (high >= 0) throw lone();
      while (i < raw.size() && raw[i] != '\n') ++i;  // the text column
      continue;
    }
    if (is_space(c) || c == ':' || c == ',') {
      if (high >= 0) throw lone();
      continue;
    }
    // "\x0402acdc" (PostgreSQL's bytea), "0x0402acdc", "0x04, 0x02".
    if (high < 0 && (c == '\\' || c == '0') && i + 2 < raw.size() && (raw[i + 1] == 'x' || raw[i + 1] == 'X') &&
        hex_value(raw[i + 2]) >= 0) {
      ++i;
      continue;
    }
    const int v = hex_value(c);
    if (v < 0)
      throw tool_error(exit_bad_data, "input is not hex: " + shown(c) + " at offset " + std::to_string(i) +
                                          " (hex text is pairs of digits 0-9 a-f, with white space or colons "
                                          "between pairs; base64, PEM and hexdump -C are read too)");
    if (high < 0) {
      high = v;
      high_at = i;
    } else {
      if (write) raw[out] = static_cast<unsigned char>(high * 16 + v);
      ++out;
      high = -1;
    }
  }
  if (high >= 0) throw lone();
  if (write) raw.resize(out);
}

}  // namespace

std::vector<unsigned char> input_bytes(std::vector<unsigned char> raw, input_form form, const char* what) {
  if (form == input_form::binary) return raw;
  // JSON first: text in it need not be ASCII.
  if (looks_like_json(raw))
    throw tool_error(exit_bad_data, std::string("input is JSON, not a buffer: ") + what +
                                        " reads a buffer (binary or hex); to turn JSON into a buffer, use oxser encode "
                                        "--type TYPE FILE");
  if (form == input_form::detect) {
    for (unsigned char c : raw)
      if (!is_space(c) && (c < 0x20 || c >= 0x7F)) return raw;
  }
  std::size_t from = 0, to = 0;
  if (pem_body(raw, from, to)) {
    if (!base64_in_place(raw, from, to))
      throw tool_error(exit_bad_data, "input is PEM, but what lies between its BEGIN and END lines is not base64");
    return raw;
  }
  std::size_t first = 0;
  while (first < raw.size() && is_space(raw[first])) ++first;
  if (hexdump_line(raw, first)) return from_hexdump(raw);
  // Read twice: once to check that it is hex (else it may be base64), then
  // converted in place: the bytes never overtake the text they come from.
  try {
    hex_in_place(raw, false);
  } catch (const tool_error& e) {
    // A buffer's first octet 04 makes a 'B' in base64, no hex digit.
    if (base64_in_place(raw, 0, raw.size())) return raw;
    throw tool_error(exit_bad_data, std::string(e.what()) +
                                        (form == input_form::detect
                                             ? "; binary input that happens to be printable needs --binary"
                                             : ""));
  }
  hex_in_place(raw, true);
  return raw;
}

bool mapped_file::binary() const {
  // JSON is never a buffer: read it as text, to be refused as JSON.
  std::size_t first = 0;
  while (first < size_ && is_space(base_[first])) ++first;
  if (first < size_ && (base_[first] == '{' || base_[first] == '[')) return false;
  for (std::size_t i = 0; i < size_; ++i)
    if (!is_space(base_[i]) && (base_[i] < 0x20 || base_[i] >= 0x7F)) return true;
  return false;
}

#if defined(_WIN32)
// Windows reads every file as a whole.
std::unique_ptr<mapped_file> mapped_file::open(const std::string&) { return nullptr; }
mapped_file::~mapped_file() = default;
void mapped_file::release_before(std::size_t) {}
#else
std::unique_ptr<mapped_file> mapped_file::open(const std::string& file) {
  if (file.empty() || file == "-") return nullptr;
  const int fd = ::open(file.c_str(), O_RDONLY);
  if (fd < 0) return nullptr;
  struct stat st {};
  void* base = MAP_FAILED;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    base = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (base == MAP_FAILED) return nullptr;
  madvise(base, static_cast<std::size_t>(st.st_size), MADV_SEQUENTIAL);
  return std::unique_ptr<mapped_file>(new mapped_file(static_cast<unsigned char*>(base), static_cast<std::size_t>(st.st_size)));
}

mapped_file::~mapped_file() { munmap(base_, size_); }

void mapped_file::release_before(std::size_t offset) {
  // In steps of a few megabytes, whole pages only; a page read again
  // comes back from the file.
  constexpr std::size_t step = std::size_t{4} << 20;
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t until = offset / page * page;
  if (until < released_ + step) return;
  madvise(base_ + released_, until - released_, MADV_DONTNEED);
  released_ = until;
}
#endif

std::size_t utf8_sequence(const unsigned char* s, std::size_t left) {
  return oxserutl::detail::utf8_sequence(s, left);
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
