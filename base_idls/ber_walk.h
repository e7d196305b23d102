// The envelope and the BER elements of a buffer, read as a stream: the
// walker reads one identifier and length at a time with the library's own
// framing rules (ber_primitives.h), hands each element to a sink as soon as
// it has read it, and keeps only a stack of the constructed elements it is
// inside (at most the nesting bound), so its memory does not grow with the
// input.
//
// The library explains a refused buffer with it (tq_asn_explain); the oxser
// tool compiles the same source for its dumps. Not part of the public API.
//
// Given a record's description, the walker also matches each element
// against the field it must carry: the sink receives the field's name,
// and an element that does not fit gives the offset where a reader stops
// and what it expected there. The path of that field ("acl_ext_t.entries[3]
// .id.name") is put together only for the fault.
//
// Encodings that are valid BER but not the shortest form, and text or
// numbers that a reader takes but a writer never produces, are reported as
// notes on the element and do not stop the walk.
#ifndef OXSERUTL_BER_WALK_H
#define OXSERUTL_BER_WALK_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <oxserutl/asnbase.h>
#include <oxserutl/record_info.h>

namespace oxserutl {
namespace ber {

// The input octets, wherever they are held (a vector, a mapped file). The
// walker reads them only forwards.
class bytes_view {
 public:
  bytes_view(const std::vector<unsigned char>& v) : data_(v.data()), size_(v.size()) {}  // NOLINT: implicit
  bytes_view(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
  const unsigned char* data() const { return data_; }
  std::size_t size() const { return size_; }
  unsigned char operator[](std::size_t i) const { return data_[i]; }

 private:
  const unsigned char* data_;
  std::size_t size_;
};

// Where and why reading stopped: a status code of <oxserutl/status.h>, the
// offset of the octet where it stopped, what was expected there and, when
// known, what was found.
// path is the field being read ("acl_ext_t.entries[3].id.name"), "" outside
// a record or in the envelope.
struct ber_fault {
  int status = 0;
  std::size_t offset = 0;
  std::string path;
  std::string expected;
  std::string found;
};

enum class length_form { short_form, long_form, indefinite };

// One element's identifier and length, and where its parts are.
struct ber_header {
  std::size_t offset = 0;   // of the identifier octets
  std::size_t content = 0;  // of the contents
  std::size_t length = 0;   // content octets (0 for the indefinite form until its end is found)
  std::uint32_t tag = 0;
  int cls = 0;  // 0 universal, 1 application, 2 context-specific, 3 private
  bool constructed = false;
  length_form form = length_form::short_form;
  std::size_t header_length() const { return content - offset; }
  bool definite() const { return form != length_form::indefinite; }
};

// Something a reader accepts but a canonical writer never produces.
struct ber_note {
  enum kind_t {
    not_shortest,  // a longer identifier, length or INTEGER than needed, an indefinite length, a constructed string
    bad_text,      // text that is not valid UTF-8, or a zero octet that cuts a string short
    bad_value,     // a value that its field cannot hold as it stands: the record reads another
    not_ber,       // octets that BER does not allow, read by the library's rule all the same
  } kind;
  std::string text;
};

// Receives the elements in the order of the bytes.
class ber_sink {
 public:
  virtual ~ber_sink() = default;
  // An element at the given depth (0 for the first); label is the field it
  // carries ("" without a record).
  virtual void element(bytes_view data, const ber_header& h, int depth,
                       const std::string& label, const std::vector<ber_note>& notes) = 0;
  // The end-of-contents octets that close an indefinite element.
  virtual void end_of_contents(std::size_t offset, int depth) = 0;
  // A note found only once the elements after the one at offset were read
  // (empty slots that no filled one follows): after the element's children.
  virtual void late_note(std::size_t offset, int depth, const std::string& label, const ber_note& note) {
    (void)offset, (void)depth, (void)label, (void)note;
  }
};

struct envelope_info {
  unsigned header_length = 0;
  unsigned version = 0;
};

// Deepest nesting of constructed elements read (the library's own bound),
// and of constructed string segments.
constexpr int max_depth = tq_asn_max_nesting_depth;
constexpr int max_segment_depth = tq_asn_max_segment_depth;

// Checks the envelope by the library's rule (the element starts at the
// header length, which must lie inside the buffer); want_version 0 accepts
// any version from 1.
std::optional<ber_fault> read_envelope(bytes_view data, unsigned want_version,
                                       envelope_info& out);

// Reads the one element at data[pos] within data[0, limit), and everything
// inside it, into the sink; *end receives the offset after it (also when
// the walk stops early: the offset up to which the elements were read).
// With a record, each element is matched against its field.
std::optional<ber_fault> walk(bytes_view data, std::size_t pos, std::size_t limit,
                              const oxs_record_info* record, ber_sink& sink, std::size_t* end);

// "ASN_ERR_TRUNCATED (0x10652198) at offset 12: expected ... (path), found ... [meaning]";
// without the status, "stopped at offset 12: expected ..." (an untyped walk,
// whose fault no decoder named).
std::string describe(const ber_fault& fault, bool with_status = true);

}  // namespace ber
}  // namespace oxserutl

#endif
