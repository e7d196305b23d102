// Input and output of the oxser tool: whole files or standard input, hex
// text or binary, and the failures that decide the exit status.
#ifndef OXSER_TOOL_IO_H
#define OXSER_TOOL_IO_H

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace oxser {

// Exit statuses.
constexpr int exit_ok = 0;
constexpr int exit_bad_data = 1;
constexpr int exit_bad_usage = 2;

// A failure with its exit status and the message for standard error.
class tool_error : public std::runtime_error {
 public:
  tool_error(int exit_status, const std::string& message) : std::runtime_error(message), exit_status_(exit_status) {}
  int exit_status() const { return exit_status_; }

 private:
  int exit_status_;
};

// All bytes of the file, or of standard input for "" or "-". A file that
// cannot be read is bad usage.
std::vector<unsigned char> read_input(const std::string& file);

enum class input_form { detect, hex, binary };

// The bytes that the input stands for, converted in place (the memory of
// the input is all it takes). Hex text is hex digit pairs with white space
// or colons between them (as openssl prints), or xxd's listing (an offset
// and a colon ahead of each line, the text column after two spaces).
// Detection: input that consists only of printable ASCII and white space is
// hex text, anything else is binary (a buffer always starts with the header
// length 04, a control character). Text that is not valid hex is bad data;
// so is JSON, with a message that says what to do with it (what names the
// command).
std::vector<unsigned char> input_bytes(std::vector<unsigned char> raw, input_form form, const char* what = "dump");

// A regular file mapped read-only, for one reading from front to back:
// release_before gives the pages before an offset back, so that only the
// part being read stays in memory.
class mapped_file {
 public:
  // Null when the file is not a regular file that can be mapped (or is
  // empty); the caller then reads it as a whole.
  static std::unique_ptr<mapped_file> open(const std::string& file);
  ~mapped_file();
  mapped_file(const mapped_file&) = delete;
  mapped_file& operator=(const mapped_file&) = delete;
  const unsigned char* data() const { return base_; }
  std::size_t size() const { return size_; }
  // Whether the file looks like binary (detection as in input_bytes).
  bool binary() const;
  void release_before(std::size_t offset);

 private:
  mapped_file(unsigned char* base, std::size_t size) : base_(base), size_(size) {}
  unsigned char* base_;
  std::size_t size_;
  std::size_t released_ = 0;
};

// Length of the well-formed UTF-8 sequence at s (left octets available),
// or 0 (RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF).
std::size_t utf8_sequence(const unsigned char* s, std::size_t left);

// Bytes as hex text: lower-case pairs, 16 to a line.
std::string hex_lines(const std::vector<unsigned char>& bytes);

}  // namespace oxser

#endif
