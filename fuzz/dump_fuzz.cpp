// The oxser tool's dump: the envelope, the streaming walk over the elements
// with the raw scanners, a record's field labels and the text lines. The
// first input byte picks the record that labels the elements (bits 1-7; past
// the last record, none) and whether the input carries the envelope (bit 0
// clear) or is bare BER; the rest is the buffer.
//
// Properties: a fault names a status of the table and an offset inside the
// input; elements come in the order of the bytes, inside the input and their
// parents, one line each; with a record and the envelope, the walker refuses
// exactly the buffers that the record's decode function refuses, and a
// buffer that it reads without a note (what decode --strict accepts)
// re-encodes to the same bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ber_print.h"
#include "ber_primitives.h"
#include "ber_tree.h"
#include "fuzz_util.h"
#include "records/record_gen.h"

namespace {

// Checks that the elements come in order, inside the input and inside the
// definite elements around them, and that each makes one line.
class checking_sink : public oxser::ber_sink {
 public:
  explicit checking_sink(std::size_t size) : size_(size) {}
  void element(oxser::bytes_view data, const oxser::ber_header& h, int depth, const std::string& label,
               const std::vector<oxser::ber_note>& notes) override {
    oxs_fuzz::check(depth >= 0 && depth < oxser::max_depth + 1, "depth out of range", "", depth);
    oxs_fuzz::check(h.offset >= last_ && h.offset < h.content && h.content <= size_, "element out of order or place",
                    "", static_cast<long>(h.offset));
    oxs_fuzz::check(!h.definite() || h.constructed || h.content + h.length <= size_, "contents past the input");
    ends_.resize(static_cast<std::size_t>(depth));
    for (std::size_t end : ends_) oxs_fuzz::check(h.offset < end, "element outside its parent");
    ends_.push_back(h.constructed && h.definite() ? h.content + h.length : SIZE_MAX);
    notes_ += notes.size();
    last_ = h.offset;
    const std::string line = oxser::element_line(data, h, depth, label, notes);
    oxs_fuzz::check(!line.empty() && line.find('\n') == line.size() - 1, "not one line per element");
  }
  void end_of_contents(std::size_t offset, int depth) override {
    oxs_fuzz::check(offset >= last_ && offset + 2 <= size_, "end-of-contents out of place", "", static_cast<long>(offset));
    last_ = offset;
    (void)oxser::end_of_contents_line(offset, depth);
  }
  void late_note(std::size_t offset, int depth, const std::string& label, const oxser::ber_note& note) override {
    ++notes_;
    oxs_fuzz::check(offset <= size_, "note out of place", "", static_cast<long>(offset));
    (void)oxser::late_note_line(offset, depth, label, note);
  }
  std::size_t notes() const { return notes_; }

 private:
  std::size_t notes_ = 0;
  std::size_t size_;
  std::size_t last_ = 0;
  std::vector<std::size_t> ends_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const auto records = recgen::callable_records();
  const std::size_t pick = data[0] >> 1;
  const oxs_record_info* info = pick < records.size() ? records[pick] : nullptr;
  const bool raw = (data[0] & 1) != 0;
  const std::vector<unsigned char> input(data + 1, data + size);

  std::size_t start = 0;
  std::size_t notes = 1;  // the buffer is canonical when the walk ends with none
  std::optional<oxser::ber_fault> fault;
  if (!raw) {
    oxser::envelope_info envelope;
    fault = oxser::read_envelope(input, info != nullptr ? oxserutl::detail::kRecordVersion : 0, envelope);
    if (!fault) {
      oxs_fuzz::check(envelope.header_length <= input.size(), "envelope longer than the input");
      (void)oxser::envelope_line(envelope);
      start = envelope.header_length;
    }
  } else if (input.empty()) {
    return 0;
  }
  if (!fault) {
    checking_sink sink(input.size());
    std::size_t end = 0;
    fault = oxser::walk(input, start, input.size(), info, sink, &end);
    oxs_fuzz::check(end >= start && end <= input.size(), "walk ends outside the input", "", static_cast<long>(end));
    if (start == oxserutl::detail::kEnvelopeLength && end == input.size()) notes = sink.notes();
    if (!fault) (void)oxser::trailing_line(end, input.size());
  }
  if (fault) {
    oxs_fuzz::check(fault->status != 0, "fault without a status");
    oxs_fuzz::check_status(fault->status, "dump fault");
    oxs_fuzz::check(fault->offset <= input.size(), "fault offset past the input", "", static_cast<long>(fault->offset));
    (void)oxser::fault_line(*fault, oxser::describe(*fault, info == nullptr));
  }

  // One verdict: the walker refuses exactly what the record's reader refuses.
  if (info != nullptr && !raw) {
    const int status = oxs_fuzz::decode_status(*info, input);
    oxs_fuzz::check((status != 0) == fault.has_value(), "the walker and the record's reader disagree", info->structure,
                    status);
    if (status == 0 && notes == 0) {
      std::vector<unsigned char> copy = input;
      tq_asn_buffer_t in;
      in.length = static_cast<std::uint32_t>(copy.size());
      in.data = copy.data();
      void* record = std::calloc(1, oxs_fuzz::record_bytes(*info));
      (void)info->decode(in, record, 0);
      tq_asn_buffer_t out;
      const int written = info->encode(out, record, 0);
      oxs_fuzz::check(written == 0 && out.length == input.size() && std::equal(input.begin(), input.end(), out.data),
                      "a buffer read without a note re-encodes to other bytes", info->structure, written);
      if (written == 0) tq_asn_buffer_free(out);
      info->release(record);
      std::free(record);
    }
  }
  return 0;
}
