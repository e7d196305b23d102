// Why a record's decode function refuses a buffer: the decode function
// names the status, the element walker finds where and what.
#include <oxserutl/explain.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include <oxserutl/record_functions.h>
#include <oxserutl/record_info.h>

#include "ber_primitives.h"
#include "ber_walk.h"

namespace {

using namespace oxserutl::ber;

constexpr std::uint32_t kUnknownRecord = static_cast<std::uint32_t>(-1);

// Copies text into a fixed array, cut at a UTF-8 character boundary.
template <std::size_t N>
void put(char (&to)[N], const std::string& text) {
  std::size_t n = std::min(text.size(), N - 1);
  if (n < text.size())
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(to, text.data(), n);
  to[n] = '\0';
}

class quiet_sink : public ber_sink {
  void element(bytes_view, const ber_header&, int, const std::string&, const std::vector<ber_note>&) override {}
  void end_of_contents(std::size_t, int) override {}
};

// A zeroed record of any of the structures, released by its own rule after
// a successful decode (a refused one leaves nothing to release).
struct scratch_record {
  explicit scratch_record(std::size_t size) : bytes(new std::max_align_t[size / sizeof(std::max_align_t) + 1]()) {}
  std::unique_ptr<std::max_align_t[]> bytes;
  void* get() const { return bytes.get(); }
};

int decode_status(const oxs_record_info& info, int version, int lcs, const unsigned char* data,
                  std::uint32_t length) {
  scratch_record record(info.size);
  tq_asn_buffer_t in;
  in.length = length;
  in.data = const_cast<unsigned char*>(data);  // decoding only reads
  if (info.type_code != 0) {
    const int status = tqasn_decode_obj(version, in, info.type_code, record.get());
    if (status == 0) tqasn_obj_free(version, info.type_code, record.get());
    return status;
  }
  const int status = info.decode(in, record.get(), lcs != 0 ? 1 : 0);
  if (status == 0) info.release(record.get());
  return status;
}

// Where the walk over the record's description stops, with the decode
// function's status.
std::uint32_t explain(const oxs_record_info& info, int version, int lcs, const unsigned char* data,
                      std::size_t length, tq_asn_explanation* out) {
  tq_asn_explanation e{};
  if (length > UINT32_MAX) {
    e.status = ASN_ERR_TOO_LARGE;
    put(e.expected, "a buffer of at most 4294967295 octets");
    put(e.found, std::to_string(length) + " octets");
  } else {
    if (data == nullptr) length = 0;  // no bytes, whatever the length says
    try {
      e.status = static_cast<std::uint32_t>(decode_status(info, version, lcs, data, static_cast<std::uint32_t>(length)));
      if (e.status != 0) {
        const bytes_view bytes(data, length);
        envelope_info envelope;
        std::optional<ber_fault> f = read_envelope(bytes, static_cast<unsigned>(version) & 0xFF, envelope);
        if (!f) {
          quiet_sink sink;
          std::size_t end = 0;
          f = walk(bytes, envelope.header_length, length, &info, sink, &end);
        }
        if (f) {
          e.offset = static_cast<std::uint32_t>(f->offset);
          put(e.path, f->path);
          put(e.expected, f->expected);
          put(e.found, f->found);
        } else {
          put(e.path, info.type_name);
          put(e.expected, "what the record's reader takes");
          put(e.found, "no fault in the elements: the status is the reader's own");
        }
      }
    } catch (const std::bad_alloc&) {
      put(e.expected, "memory to explain the refusal");
    } catch (...) {
      put(e.expected, "an explanation (the walk failed)");
    }
  }
  if (out != nullptr) *out = e;
  return e.status;
}

std::uint32_t unknown(const std::string& what, tq_asn_explanation* out) {
  if (out != nullptr) {
    *out = tq_asn_explanation{};
    out->status = kUnknownRecord;
    put(out->expected, "a record of the library");
    put(out->found, what);
  }
  return kUnknownRecord;
}

}  // namespace

extern "C" {

std::uint32_t tq_asn_explain(const char* record, int lcs, const unsigned char* data, std::size_t length,
                             tq_asn_explanation* out) {
  const oxs_record_info* info = record != nullptr ? oxs_find_record(record) : nullptr;
  if (info == nullptr)
    return unknown(record != nullptr ? std::string(record) : std::string("no name"), out);
  return explain(*info, oxserutl::detail::kRecordVersion, lcs, data, length, out);
}

std::uint32_t tq_asn_explain_type_code(int version, unsigned int type, const unsigned char* data, std::size_t length,
                                       tq_asn_explanation* out) {
  std::size_t count = 0;
  const oxs_record_info* records = oxs_records(&count);
  for (std::size_t i = 0; i < count; ++i)
    if (records[i].type_code != 0 && records[i].type_code == type) return explain(records[i], version, 0, data, length, out);
  return unknown("type code " + std::to_string(type), out);
}

std::size_t tq_asn_explanation_text(const tq_asn_explanation* e, char* text, std::size_t capacity) {
  std::string line;
  if (e == nullptr || e->status == 0) {
    line = "ASN_OK";
  } else {
    try {
      ber_fault f;
      f.status = static_cast<int>(e->status);
      f.offset = e->offset;
      f.path = e->path;
      f.expected = e->expected;
      f.found = e->found;
      line = describe(f);
    } catch (...) {
      line = "no memory";
    }
  }
  if (capacity != 0 && text != nullptr) {
    const std::size_t n = std::min(line.size(), capacity - 1);
    std::memcpy(text, line.data(), n);
    text[n] = '\0';
  }
  return line.size();
}

}  // extern "C"
