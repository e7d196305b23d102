// The direct path of the exported record functions: the record's run-time
// description and the bytes, walked together. See direct_codec.h for what
// it declines and why that is always safe.
#define OXS_SOURCE "base_idls/direct_codec"
#include "direct_codec.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include <oxserutl/records.h>

#include "internal.h"
#include "tqz.h"

namespace oxserutl {
namespace direct {
namespace {

using detail::mem_calloc;
using detail::mem_free;
using detail::mem_malloc;

// Identifiers of the universal types a record is made of.
constexpr unsigned char kInteger = 0x02;
constexpr unsigned char kOctetString = 0x04;
constexpr unsigned char kUTF8String = 0x0C;
constexpr unsigned char kSequence = 0x30;

// The largest record structure: a record being decoded is built in a
// scratch copy of this size and handed over only when complete.
#define OXS_SIZE_OF(S, B, NAME, MODULE, COPY) sizeof(S),
constexpr std::size_t kRecordSizes[] = {OXS_ALL_MODULES(OXS_SIZE_OF)};
#undef OXS_SIZE_OF
constexpr std::size_t largest(const std::size_t* sizes, std::size_t n) {
  std::size_t m = 0;
  for (std::size_t i = 0; i < n; ++i) m = sizes[i] > m ? sizes[i] : m;
  return m;
}
constexpr std::size_t kMaxRecordSize = largest(kRecordSizes, sizeof kRecordSizes / sizeof kRecordSizes[0]);

// The largest encoding written here.
constexpr std::size_t kMaxOutput = 0x7FFFFFFF;

// A record of all zeros: what a null entry of a pointer list is written as.
alignas(std::max_align_t) constexpr unsigned char kBlankRecord[kMaxRecordSize] = {};

template <class T>
T load(const unsigned char* at) {
  T v;
  std::memcpy(&v, at, sizeof v);
  return v;
}
template <class T>
void store(unsigned char* at, T v) {
  std::memcpy(at, &v, sizeof v);
}

// Whether the text in or below field f is in the local code set, when that
// of the record holding it is (local): the description's local_text fact.
constexpr bool local_text_of(bool local, const oxs_field_info& f) { return local && f.local_text; }

// A count field of 16 bits (the kind table says how wide each kind's is).
inline bool narrow_count(const oxs_field_info& f) { return oxs_kinds[f.kind].count_bits == 16; }

struct depth_scope {
  int& depth;
  explicit depth_scope(int& d) : depth(++d) {}
  ~depth_scope() { --depth; }
  bool too_deep() const { return depth > max_depth; }
};

// --- decoding -----------------------------------------------------------------

// The library's one bounded reader.
using cursor = detail::byte_reader;

// The element at c with the one-octet identifier id and a definite length
// of at most four octets that fits what is left: contents covers its
// contents and c moves past it. false (c unchanged) otherwise.
inline bool element(cursor& c, unsigned char id, cursor& contents) {
  return detail::read_definite_element(c, id, contents);
}

// The number an INTEGER field reads: 0 when it does not fit 32 bits, as
// the integer adapter has it.
inline std::int32_t integer_value(const cursor& v) {
  std::int32_t value = 0;
  if (!detail::int32_from_contents(v.position(), v.left(), value)) return 0;
  return value;
}

// The number of elements with identifier id that fill c exactly, or -1.
inline long count_elements(cursor c, unsigned char id) {
  long n = 0;
  cursor item;
  while (!c.empty()) {
    if (!element(c, id, item)) return -1;
    ++n;
  }
  return n;
}

class decoder {
 public:
  // Reads one record element into out, which is all zeros. Whatever it
  // allocates is linked into out at once, so that a record abandoned half
  // way is released by its free function. local: the record's own text
  // fields are in the local code set (see local_text_below).
  bool record(cursor& c, const oxs_record_info& info, unsigned char* out, bool local) {
    depth_scope depth(depth_);
    cursor body;
    if (depth.too_deep() || !element(c, kSequence, body)) return false;
    for (std::uint32_t i = 0; i < info.field_count; ++i) {
      if (!field(body, info.fields[i], out, local)) return false;
    }
    return body.empty();
  }

 private:
  bool field(cursor& c, const oxs_field_info& f, unsigned char* base, bool local) {
    unsigned char* at = base + f.offset;
    cursor v{};
    switch (f.kind) {
      case oxs_kind_i32:
      case oxs_kind_u32:
        if (!element(c, kInteger, v)) return false;
        store(at, integer_value(v));
        return true;
      case oxs_kind_u16:
        if (!element(c, kInteger, v)) return false;
        store(at, static_cast<std::uint16_t>(integer_value(v)));
        return true;
      case oxs_kind_u8:
        if (!element(c, kInteger, v)) return false;
        store(at, static_cast<std::uint8_t>(integer_value(v)));
        return true;
      case oxs_kind_string:
        if (!element(c, kUTF8String, v)) return false;
        store(at, text(v, local_text_of(local, f)));
        return true;
      case oxs_kind_fixed: {
        if (!element(c, kOctetString, v)) return false;
        const std::size_t length = v.left();
        const std::size_t copied = length < f.fixed_size ? length : f.fixed_size;
        if (copied != 0) std::memcpy(at, v.position(), copied);
        return true;
      }
      case oxs_kind_block: {
        if (!element(c, kOctetString, v)) return false;
        const auto length = static_cast<std::uint32_t>(v.left());
        unsigned char* copy = nullptr;
        if (!detail::block_copy(v.position(), length, copy)) return false;
        store(at, copy);
        store(base + f.count_offset, length);
        return true;
      }
      case oxs_kind_list:
      case oxs_kind_list16:
      case oxs_kind_ptrlist:
        return records(c, f, base, local);
      case oxs_kind_strings:
      case oxs_kind_ints:
        return values(c, f, base, local);
      case oxs_kind_nested:
        return record(c, *f.element(), at, local_text_of(local, f));
      case oxs_kind_optional: {
        // Present when the next element is a SEQUENCE; any other universal
        // or tagged element (or none) leaves it absent. A primitive
        // SEQUENCE identifier or a high tag number is for the tree.
        unsigned char id = 0;
        if (!c.peek(id)) return true;
        if (id != kSequence) return (id & 0x1F) != 0x1F && id != (kSequence & 0x1F);
        const oxs_record_info& info = *f.element();
        auto* present = static_cast<unsigned char*>(mem_calloc(1, info.size));
        if (present == nullptr) return false;
        store(at, present);
        return record(c, info, present, local_text_of(local, f));
      }
      case oxs_kind_sparse:
      case oxs_kind_cstring:
        return false;
    }
    return false;
  }

  // SEQUENCE OF a record, held by value (list, list16) or by pointer.
  bool records(cursor& c, const oxs_field_info& f, unsigned char* base, bool local) {
    cursor body;
    if (!element(c, kSequence, body)) return false;
    const long n = count_elements(body, kSequence);
    const bool narrow = narrow_count(f);
    if (n < 0 || (narrow && n > 0xFFFF)) return false;
    if (n == 0) return true;
    const oxs_record_info& info = *f.element();
    const bool by_pointer = f.kind == oxs_kind_ptrlist;
    auto* items =
        static_cast<unsigned char*>(mem_calloc(static_cast<std::size_t>(n), by_pointer ? sizeof(void*) : info.size));
    if (items == nullptr) return false;
    store(base + f.offset, items);
    for (long i = 0; i < n; ++i) {
      // Counted before it is read, so that a half-read element is released.
      set_count(narrow, base + f.count_offset, static_cast<std::uint32_t>(i + 1));
      unsigned char* item = items + static_cast<std::size_t>(i) * info.size;
      if (by_pointer) {
        item = static_cast<unsigned char*>(mem_calloc(1, info.size));
        if (item == nullptr) return false;
        store(items + static_cast<std::size_t>(i) * sizeof(void*), item);
      }
      if (!record(body, info, item, local_text_of(local, f))) return false;
    }
    return true;
  }

  // SEQUENCE OF UTF8String or INTEGER.
  bool values(cursor& c, const oxs_field_info& f, unsigned char* base, bool local) {
    const bool strings = f.kind == oxs_kind_strings;
    const unsigned char id = strings ? kUTF8String : kInteger;
    cursor body;
    if (!element(c, kSequence, body)) return false;
    const long n = count_elements(body, id);
    if (n < 0) return false;
    if (n == 0) return true;
    const std::size_t size = strings ? sizeof(char*) : sizeof(std::int32_t);
    auto* items = static_cast<unsigned char*>(mem_calloc(static_cast<std::size_t>(n), size));
    if (items == nullptr) return false;
    store(base + f.offset, items);
    store(base + f.count_offset, static_cast<std::uint32_t>(n));
    cursor v{};
    for (long i = 0; i < n; ++i) {
      (void)element(body, id, v);  // counted above
      unsigned char* item = items + static_cast<std::size_t>(i) * size;
      if (strings) {
        store(item, text(v, local_text_of(local, f)));
      } else {
        store(item, integer_value(v));
      }
    }
    return true;
  }

  static void set_count(bool narrow, unsigned char* count, std::uint32_t n) {
    if (narrow) {
      store(count, static_cast<std::uint16_t>(n));
    } else {
      store(count, n);
    }
  }

  // A text field's copy; one that finds no memory stays null and the
  // record goes on, as the text adapter has it.
  static char* text(const cursor& v, bool local) {
    char* out = nullptr;
    (void)detail::text_copy(v.position(), static_cast<std::uint32_t>(v.left()), local, out);
    return out;
  }

  int depth_ = 0;
};

// --- encoding -----------------------------------------------------------------

// Writes backwards from the end of its block, so that every length is known
// when its header is written: a record's fields are written last to first,
// then its header in front of them.
class writer {
 public:
  bool record(const oxs_record_info& info, const unsigned char* base, bool local) {
    depth_scope depth(depth_);
    if (depth.too_deep()) return false;
    const std::size_t mark = used_;
    for (std::uint32_t i = info.field_count; i-- > 0;) {
      if (!field(info.fields[i], base, local)) return false;
    }
    return header(kSequence, used_ - mark);
  }

  bool bytes(const void* p, std::size_t n) {
    if (!room(n)) return false;
    used_ += n;
    if (n != 0) std::memcpy(front(), p, n);
    return true;
  }

  // Hands the written bytes over in a block of their own, given back the
  // room that doubling left over when that is much (a block that cannot
  // shrink is handed over as it is).
  void detach(tq_asn_buffer_t& out) {
    std::memmove(block_.get(), front(), used_);
    const std::size_t spare = capacity_ - used_;
    if (spare >= 1024 && spare > used_ / 4) {
      auto* fitted = static_cast<unsigned char*>(detail::mem_realloc(block_.get(), used_));
      if (fitted != nullptr) {
        (void)block_.release();  // realloc has released or kept it
        block_.reset(fitted);
      }
    }
    out.length = static_cast<std::uint32_t>(used_);
    out.data = block_.release();
  }

 private:
  bool field(const oxs_field_info& f, const unsigned char* base, bool local) {
    const unsigned char* at = base + f.offset;
    switch (f.kind) {
      case oxs_kind_i32:
      case oxs_kind_u32:
        return integer(load<std::int32_t>(at));
      case oxs_kind_u16:
        return integer(load<std::uint16_t>(at));
      case oxs_kind_u8:
        return integer(load<std::uint8_t>(at));
      case oxs_kind_string:
        return text(load<const char*>(at), local_text_of(local, f));
      case oxs_kind_fixed:
        return primitive(kOctetString, at, f.fixed_size);
      case oxs_kind_block: {
        const auto* p = load<const unsigned char*>(at);
        return primitive(kOctetString, p, p != nullptr ? load<std::uint32_t>(base + f.count_offset) : 0);
      }
      case oxs_kind_list:
      case oxs_kind_list16:
      case oxs_kind_ptrlist:
        return records(f, base, local);
      case oxs_kind_strings:
      case oxs_kind_ints:
        return values(f, base, local);
      case oxs_kind_nested:
        return record(*f.element(), at, local_text_of(local, f));
      case oxs_kind_optional: {
        const oxs_record_info& info = *f.element();
        const auto* present = load<const unsigned char*>(at);
        if (present != nullptr) return record(info, present, local_text_of(local, f));
        // An unset optional record that is complete without any value (one
        // of lists, say) is written all the same, as its empty form.
        return !f.written_when_unset || record(info, kBlankRecord, local_text_of(local, f));
      }
      case oxs_kind_sparse:
      case oxs_kind_cstring:
        return false;
    }
    return false;
  }

  bool records(const oxs_field_info& f, const unsigned char* base, bool local) {
    const std::uint32_t n = narrow_count(f) ? load<std::uint16_t>(base + f.count_offset)
                                                      : load<std::uint32_t>(base + f.count_offset);
    const auto* items = load<const unsigned char*>(base + f.offset);
    if (n != 0 && items == nullptr) return false;
    const oxs_record_info& info = *f.element();
    if (info.size > kMaxRecordSize) return false;
    const std::size_t mark = used_;
    for (std::uint32_t i = n; i-- > 0;) {
      const unsigned char* item;
      if (f.kind == oxs_kind_ptrlist) {
        item = load<const unsigned char*>(items + static_cast<std::size_t>(i) * sizeof(void*));
        if (item == nullptr) item = kBlankRecord;
      } else {
        item = items + static_cast<std::size_t>(i) * info.size;
      }
      if (!record(info, item, local_text_of(local, f))) return false;
    }
    return header(kSequence, used_ - mark);
  }

  bool values(const oxs_field_info& f, const unsigned char* base, bool local) {
    const auto n = load<std::uint32_t>(base + f.count_offset);
    const auto* items = load<const unsigned char*>(base + f.offset);
    if (n != 0 && items == nullptr) return false;
    const std::size_t mark = used_;
    for (std::uint32_t i = n; i-- > 0;) {
      const bool ok = f.kind == oxs_kind_strings
                          ? text(load<const char*>(items + static_cast<std::size_t>(i) * sizeof(char*)), local_text_of(local, f))
                          : integer(load<std::int32_t>(items + static_cast<std::size_t>(i) * sizeof(std::int32_t)));
      if (!ok) return false;
    }
    return header(kSequence, used_ - mark);
  }

  bool integer(std::int32_t v) {
    const detail::int32_octets octets = detail::int32_contents(v);
    return primitive(kInteger, octets.data(), octets.size);
  }

  bool text(const char* s, bool local) {
    const std::size_t length = s == nullptr ? 0 : std::strlen(s);
    if (!local || length == 0) return primitive(kUTF8String, s, length);
    const tqz::ZUTF8String_5_1 utf8{tqz::ZLCConstString_5_1(s, length)};
    if (utf8.getChars() == nullptr) return false;
    return primitive(kUTF8String, utf8.getChars(), utf8.getLength());
  }

  bool primitive(unsigned char id, const void* p, std::size_t n) { return bytes(p, n) && header(id, n); }

  bool header(unsigned char id, std::size_t length) {
    // Identifier and at most five length octets; room() keeps every
    // encoding below 2 GB, so the length fits 32 bits.
    if (!room(6)) return false;
    const auto n = static_cast<std::uint32_t>(length);
    const unsigned size = detail::definite_length_size(n);
    unsigned char* p = front() - size;
    detail::put_definite_length(p, size, n);
    *--p = id;
    used_ = static_cast<std::size_t>(block_.get() + capacity_ - p);
    return true;
  }

  unsigned char* front() const { return block_.get() + capacity_ - used_; }

  // Room for n more octets in front of those written; the written octets
  // move to the end of a block twice the size when there is none.
  bool room(std::size_t n) {
    if (capacity_ - used_ >= n) return true;
    // Encodings of 2 GB and more are left to the tree.
    if (n > kMaxOutput - used_) return false;
    std::size_t grown = capacity_ != 0 ? 2 * capacity_ : 256;
    while (grown - used_ < n) grown *= 2;
    auto* block = static_cast<unsigned char*>(mem_malloc(grown));
    if (block == nullptr) return false;
    if (used_ != 0) std::memcpy(block + grown - used_, front(), used_);
    block_.reset(block);
    capacity_ = grown;
    return true;
  }

  int depth_ = 0;
  // The block being written, released with the writer unless handed over.
  struct release_block {
    void operator()(unsigned char* p) const noexcept { mem_free(p); }
  };
  std::unique_ptr<unsigned char, release_block> block_;
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
};

constexpr unsigned char kVersion = detail::kRecordVersion;

}  // namespace

bool decode(const oxs_record_info& info, const tq_asn_buffer_t& in, void* record, bool local_text) noexcept {
  if (info.size > kMaxRecordSize) return false;
  // The envelope of version 2; a bad one is the tree's to refuse.
  const std::uint32_t header = detail::envelope_element(in.data, in.length, kVersion);
  if (header == 0) return false;
  alignas(std::max_align_t) unsigned char scratch[kMaxRecordSize] = {};
  cursor c(in.data + header, in.data + in.length);
  decoder reader;
  if (!reader.record(c, info, scratch, local_text)) {
    info.release(scratch);
    return false;
  }
  std::memcpy(record, scratch, info.size);
  return true;
}

bool encode(const oxs_record_info& info, const void* record, tq_asn_buffer_t& out, bool local_text) noexcept {
  if (info.size > kMaxRecordSize) return false;
  writer w;
  static const unsigned char envelope[detail::kEnvelopeLength] = {detail::kEnvelopeLength, kVersion,
                                                                  detail::kEnvelopeMarker1, detail::kEnvelopeMarker2};
  if (!w.record(info, static_cast<const unsigned char*>(record), local_text) || !w.bytes(envelope, sizeof envelope)) return false;
  w.detach(out);
  return true;
}

}  // namespace direct
}  // namespace oxserutl
