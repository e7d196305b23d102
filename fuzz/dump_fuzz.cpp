// The oxser tool's dump: the envelope, the element tree read with the raw
// scanners, the labels of a record's fields, and the text lines. The first
// input byte picks the record whose fields label the tree (bits 1-7, a
// value past the last record means none) and whether the input carries the
// envelope (bit 0 clear) or is bare BER; the rest is the buffer.
//
// Properties: a fault names a status of the table and an offset inside the
// input; a tree read has every child inside its parent and inside the
// input; the text has one line per element and one per end-of-contents;
// and when the tree has the shape of the record, the record's own reader
// does not refuse it for a framing or shape reason.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ber_print.h"
#include "ber_tree.h"
#include "fuzz_util.h"

namespace {

void check_fault(const oxser::ber_fault& f, std::size_t size) {
  oxs_fuzz::check_status(f.status, "dump fault");
  oxs_fuzz::check(f.status != 0, "fault without a status");
  oxs_fuzz::check(f.offset <= size, "fault offset past the input", "", static_cast<long>(f.offset));
  (void)oxser::describe(f);
}

std::size_t check_tree(const oxser::ber_node& n, std::size_t begin, std::size_t end, int depth) {
  oxs_fuzz::check(depth <= oxser::max_depth + 1, "tree deeper than the bound", "", depth);
  oxs_fuzz::check(begin <= n.offset && n.offset < n.content && n.content <= n.end && n.end <= end,
                  "element outside its parent", "", static_cast<long>(n.offset));
  oxs_fuzz::check(n.content + n.length <= n.end, "contents past the element end");
  // One line for the element and one for its end-of-contents octets.
  std::size_t count = n.definite ? 1 : 2;
  std::size_t at = n.content;
  for (const oxser::ber_node& child : n.children) {
    oxs_fuzz::check(child.offset >= at, "children overlap");
    count += check_tree(child, n.content, n.end, depth + 1);
    at = child.end;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const auto& records = oxs_fuzz::callable_records();
  const std::size_t pick = data[0] >> 1;
  const oxs_record_info* info = pick < records.size() ? records[pick] : nullptr;
  const bool raw = (data[0] & 1) != 0;
  const std::vector<unsigned char> input(data + 1, data + size);

  std::size_t start = 0;
  std::string text;
  if (!raw) {
    oxser::envelope_info envelope;
    if (auto f = oxser::read_envelope(input, info != nullptr ? oxser::record_version : 0, envelope)) {
      check_fault(*f, input.size());
      return 0;
    }
    oxs_fuzz::check(envelope.header_length <= input.size(), "envelope longer than the input");
    text += oxser::envelope_line(envelope);
    start = envelope.header_length;
  } else if (input.empty()) {
    return 0;
  }
  oxser::ber_node root;
  if (auto f = oxser::read_element(input, start, input.size(), root)) {
    check_fault(*f, input.size());
    return 0;
  }
  const std::size_t elements = check_tree(root, start, input.size(), 1);
  bool labelled = false;
  if (info != nullptr) {
    if (auto f = oxser::label_record(root, *info))
      check_fault(*f, input.size());
    else
      labelled = true;
  }
  const std::string lines = oxser::tree_lines(input, root);
  std::size_t newlines = 0;
  for (char c : lines) newlines += c == '\n';
  oxs_fuzz::check(newlines == elements, "not one line per element and end-of-contents", "", static_cast<long>(newlines));
  text += lines + oxser::trailing_line(root.end, input.size());

  // A tree with the record's shape, in an envelope of the record version and
  // with nothing after it, is one the record's reader takes in frame and
  // shape; it may still refuse values (a number too wide for its field).
  if (labelled && !raw && root.end == input.size()) {
    std::vector<unsigned char> copy = input;
    tq_asn_buffer_t in;
    in.length = static_cast<std::uint32_t>(copy.size());
    in.data = copy.data();
    void* record = std::calloc(1, oxs_fuzz::record_bytes(*info));
    const int status = info->decode(in, record, 0);
    oxs_fuzz::check(status != ASN_ERR_TAG_MISMATCH && status != ASN_ERR_TRUNCATED && status != ASN_ERR_EXTRA_CONTENT &&
                        status != ASN_ERR_VERSION,
                    "dump took the record's shape, the reader refused it", info->structure, status);
    if (status == 0) info->release(record);
    std::free(record);
  }
  return 0;
}
