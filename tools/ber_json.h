// The element tree of a buffer as JSON that can be edited and built back
// into the same octets:
//
//   {"envelope": "0402acdc",
//    "element": {"offset": 4, "tag": "universal 16", "identifier": "30", "length": "8200c8",
//                "children": [{..., "identifier": "0c", "length": "03", "contents": "616263"},
//                             ..., {"end_of_contents": "0000"}]},
//    "tail": "ffee"}
//
// identifier, length and end-of-contents are the octets as read (a longer
// form than needed, the indefinite form 80 stay as they are); contents are
// the octets of a primitive element, children those of a constructed one.
// offset, tag and field only inform. tail holds the octets after the
// element, or from where reading stopped, so that a damaged buffer is
// built back too.
#ifndef OXSER_BER_JSON_H
#define OXSER_BER_JSON_H

#include <cstddef>
#include <string>
#include <vector>

#include "ber_tree.h"
#include "json_text.h"
#include "record_json.h"

namespace oxser {

// Writes the elements as the walker reads them.
class json_tree_sink : public ber_sink {
 public:
  json_tree_sink(bytes_view data, const json_sink& out);
  void element(bytes_view data, const ber_header& h, int depth, const std::string& label,
               const std::vector<ber_note>& notes) override;
  void end_of_contents(std::size_t offset, int depth) override;
  // The envelope's octets, before the element.
  void envelope(std::size_t header_length);
  // Closes the tree and writes the octets not yet written, from where
  // reading ended to the end of the input, as the tail.
  void finish();

 private:
  void close_to(int depth);
  void hex_member(const char* name, std::size_t from, std::size_t to);

  bytes_view data_;
  json_text text_;
  std::vector<int> open_;  // depths of the constructed elements whose children are being written
  std::size_t written_ = 0;  // octets up to here are in the text
  bool element_ = false;
};

// The octets that a tree of that form stands for. An element without
// "length" gets the shortest definite length of its contents. Throws
// json_error for what is not such a tree.
std::vector<unsigned char> build_tree(const json& tree);

}  // namespace oxser

#endif
