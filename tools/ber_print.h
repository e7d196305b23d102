// The text form of an envelope and an element tree, one line per element:
//
//   offset  [label: ]TYPE [class tag] primitive|constructed, length N|indefinite length[ = value]
//
// Offsets count from the first byte of the input. Values: INTEGER and
// ENUMERATED as decimal numbers, BOOLEAN as TRUE/FALSE, character strings
// as quoted text with C-style escapes, OCTET STRING as hex (followed by
// the quoted text when every octet is printable), OBJECT IDENTIFIER in
// dotted form, anything else as hex.
#ifndef OXSER_BER_PRINT_H
#define OXSER_BER_PRINT_H

#include <string>
#include <vector>

#include "ber_tree.h"

namespace oxser {

std::string envelope_line(const envelope_info& envelope);

// The element and everything inside it.
std::string tree_lines(const std::vector<unsigned char>& data, const ber_node& root);

// The line about bytes after the element, or "" when there are none.
std::string trailing_line(std::size_t element_end, std::size_t size);

// A character string's octets, quoted, with \" \\ \n \r \t \0 and \xNN for
// other control octets; octets of valid UTF-8 sequences are kept when utf8.
std::string quoted(const unsigned char* bytes, std::size_t length, bool utf8);

}  // namespace oxser

#endif
