// Input and output of the oxser tool: whole files or standard input, hex
// text or binary, and the failures that decide the exit status.
#ifndef OXSER_TOOL_IO_H
#define OXSER_TOOL_IO_H

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

// Bytes as hex text: lower-case pairs, 16 to a line.
std::string hex_lines(const std::vector<unsigned char>& bytes);

}  // namespace oxser

#endif
