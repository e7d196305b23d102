// The envelope and the BER element tree of a buffer, read with the raw
// scanners of <oxserutl/asnscan.h>, and the element tree matched against a
// record's description: each element gets the name of the field it
// carries, and a tree that does not have the record's shape gives the
// offset where a reader would stop and what it expected there.
#ifndef OXSER_BER_TREE_H
#define OXSER_BER_TREE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <oxserutl/record_info.h>

namespace oxser {

// Where and why reading stopped: a status code of <oxserutl/status.h>, the
// offset of the octet where it stopped, what was expected there and, when
// known, what was found.
struct ber_fault {
  int status = 0;
  std::size_t offset = 0;
  std::string expected;
  std::string found;
};

struct ber_node {
  std::size_t offset = 0;   // of the identifier octets
  std::size_t content = 0;  // of the contents
  std::size_t length = 0;   // content octets (for the indefinite form, up to the end-of-contents)
  std::size_t end = 0;      // past the element, end-of-contents included
  std::uint32_t tag = 0;
  int cls = 0;  // 0 universal, 1 application, 2 context-specific, 3 private
  bool constructed = false;
  bool definite = true;
  std::vector<ber_node> children;
  std::string label;  // the field, when matched against a record
};

struct envelope_info {
  unsigned header_length = 0;
  unsigned version = 0;
};

// Deepest nesting of constructed elements read (the library's own bound).
constexpr int max_depth = 256;

// The version every record is written with.
constexpr unsigned record_version = 2;

// Checks the four-byte envelope; want_version 0 accepts any version from 1.
std::optional<ber_fault> read_envelope(const std::vector<unsigned char>& data, unsigned want_version,
                                       envelope_info& out);

// Reads the one element at data[pos] within data[0, limit) into out.
std::optional<ber_fault> read_element(const std::vector<unsigned char>& data, std::size_t pos, std::size_t limit,
                                      ber_node& out);

// Names the elements after the record's fields; a fault when the tree does
// not have the record's shape.
std::optional<ber_fault> label_record(ber_node& root, const oxs_record_info& info);

// "ASN_ERR_TRUNCATED (0x10652198) at offset 12: expected ..., found ..."
std::string describe(const ber_fault& fault);

}  // namespace oxser

#endif
