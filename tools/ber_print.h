// The text form of an envelope and an element tree, one line per element:
//
//   offset  [label: ]TYPE [class tag] primitive|constructed, length N (hl H, short|long)[ = value][  !! note; note]
//   offset  [label: ]TYPE [class tag] constructed, indefinite length (hl H)
//
// hl is the header length: identifier and length octets. The notes mark
// encodings that are not the shortest form and text that a writer never
// produces; they are warnings, the element was read.
//
// Offsets count from the first byte of the input. Values: INTEGER and
// ENUMERATED as decimal numbers, BOOLEAN as TRUE/FALSE, character strings
// as quoted text with C-style escapes, OCTET STRING as hex (followed by
// the quoted text when every octet is printable), OBJECT IDENTIFIER in
// dotted form, anything else as hex. Values of more than value_limit
// octets show their first value_limit octets and the count of the rest.
#ifndef OXSER_BER_PRINT_H
#define OXSER_BER_PRINT_H

#include <string>
#include <vector>

#include "ber_tree.h"

namespace oxser {

std::string envelope_line(const envelope_info& envelope);

constexpr std::size_t value_limit = 256;

// The line of one element (without its children) and of the end-of-contents
// octets at offset, at a depth.
std::string element_line(bytes_view data, const ber_header& h, int depth,
                         const std::string& label, const std::vector<ber_note>& notes);
std::string end_of_contents_line(std::size_t offset, int depth);

// A note on the element at offset found after its children were read.
std::string late_note_line(std::size_t offset, int depth, const std::string& label, const ber_note& note);

// The line that shows where a walk stopped, with the fault's text.
std::string fault_line(const ber_fault& fault, const std::string& text);

// The line about bytes after the element, or "" when there are none.
std::string trailing_line(std::size_t element_end, std::size_t size);

// A character string's octets, quoted, with \" \\ \n \r \t \0 and \xNN for
// other control octets; octets of valid UTF-8 sequences are kept when utf8.
std::string quoted(const unsigned char* bytes, std::size_t length, bool utf8);

}  // namespace oxser

#endif
