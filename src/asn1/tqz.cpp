// Local code set <-> UTF-8 on iconv(3); Windows has its own, tqz_windows.cpp.
#if !defined(_WIN32)
#define OXS_SOURCE "asn1/tqz"
#include "tqz.h"

#include <cerrno>
#include <cstring>

#include <iconv.h>
#include <langinfo.h>
#include <strings.h>

#include "internal.h"
#include "utf8.h"

namespace tqz {
namespace {

using oxserutl::detail::mem_free;
using oxserutl::detail::mem_realloc;

constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::size_t kReplacementLength = 3;

bool is_utf8_codeset(const char* name) {
  return name != nullptr && (strcasecmp(name, "UTF-8") == 0 || strcasecmp(name, "UTF8") == 0);
}

// A growing block from the allocator seam. Once an allocation fails the
// text is marked failed and every further append is ignored.
class out_text {
 public:
  out_text() = default;
  out_text(const out_text&) = delete;
  out_text& operator=(const out_text&) = delete;
  ~out_text() { mem_free(data_); }

  bool failed() const { return failed_; }
  char* end() { return data_ + used_; }
  std::size_t room() const { return capacity_ - used_; }
  void advance_to(char* p) { used_ = static_cast<std::size_t>(p - data_); }

  // At least n octets of room (and one more for the terminator).
  bool reserve(std::size_t n) {
    if (failed_) return false;
    if (room() > n) return true;
    std::size_t want = capacity_ < 64 ? 64 : capacity_;
    while (want - used_ <= n) {
      if (want > (static_cast<std::size_t>(-1) >> 2)) return fail();
      want *= 2;
    }
    char* grown = static_cast<char*>(mem_realloc(data_, want));
    if (grown == nullptr) return fail();
    data_ = grown;
    capacity_ = want;
    return true;
  }
  bool grow() { return reserve(capacity_ == 0 ? 64 : capacity_); }

  void append(const char* p, std::size_t n) {
    if (!reserve(n)) return;
    std::memcpy(data_ + used_, p, n);
    used_ += n;
  }

  // Hands the zero-terminated text over; null and 0 when failed.
  void release(char*& chars, std::size_t& length) {
    if (!reserve(0)) {
      chars = nullptr;
      length = 0;
      return;
    }
    data_[used_] = '\0';
    chars = data_;
    length = used_;
    data_ = nullptr;
    used_ = capacity_ = 0;
  }

 private:
  bool fail() {
    failed_ = true;
    return false;
  }

  char* data_ = nullptr;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
  bool failed_ = false;
};

// Runs input through cd, growing out as needed. Returns 0 when all input is
// consumed; otherwise the errno of the stop (EILSEQ, EINVAL) with in/left at
// the offending octet, or ENOMEM when out could not grow. A null in flushes
// the descriptor's shift state.
int feed(iconv_t cd, char** in, std::size_t* left, out_text& out) {
  for (;;) {
    if (!out.reserve(in != nullptr && *left > 16 ? *left : 16)) return ENOMEM;
    char* op = out.end();
    std::size_t room = out.room() - 1;  // keep the terminator's octet
    const std::size_t r = iconv(cd, in, left, &op, &room);
    out.advance_to(op);
    if (r != static_cast<std::size_t>(-1)) return 0;
    if (errno == E2BIG) {
      if (!out.grow()) return ENOMEM;
      continue;
    }
    return errno;
  }
}

// Local text to UTF-8 through iconv; invalid local octets become U+FFFD.
void local_to_utf8(iconv_t cd, const char* text, std::size_t length, out_text& out) {
  char* in = const_cast<char*>(text);  // iconv's interface is not const-correct; it only reads
  std::size_t left = length;
  while (left > 0) {
    const int err = feed(cd, &in, &left, out);
    if (err == 0 || err == ENOMEM) break;
    out.append(kReplacementUtf8, kReplacementLength);
    if (err == EINVAL) break;  // a character cut short by the end of the text
    ++in;                      // EILSEQ: step over the offending octet
    --left;
  }
  (void)feed(cd, nullptr, nullptr, out);
}

// UTF-8 to local text through iconv; a character that the local code set
// lacks, and each octet that starts no well-formed sequence, becomes '?'.
void utf8_to_local(iconv_t cd, const char* text, std::size_t length, out_text& out) {
  char* in = const_cast<char*>(text);
  std::size_t left = length;
  while (left > 0) {
    const int err = feed(cd, &in, &left, out);
    if (err == 0 || err == ENOMEM) break;
    const std::size_t skip = oxserutl::detail::utf8_sequence(reinterpret_cast<const unsigned char*>(in), left);
    const std::size_t step = skip == 0 ? 1 : skip;
    in += step;
    left -= step;
    // '?' through the same descriptor, so that a stateful code set stays in
    // step; the ASCII octet when even that fails.
    char question[] = "?";
    char* q = question;
    std::size_t qleft = 1;
    if (feed(cd, &q, &qleft, out) != 0) out.append("?", 1);
  }
  (void)feed(cd, nullptr, nullptr, out);
}

// Without a converter for the local code set: ASCII passes, the rest is
// substituted.
void ascii_only(const char* text, std::size_t length, const char* replacement, std::size_t replacement_length,
                out_text& out) {
  for (std::size_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      out.append(text + i, 1);
    } else {
      out.append(replacement, replacement_length);
    }
  }
}

enum class direction { to_utf8, to_local };

// The two descriptors of the code set this thread converted last, so that
// the many strings of one record cost one iconv_open each way rather than
// one per string. A descriptor belongs to its thread, is reset before every
// use, and is closed when the thread ends or the locale's code set changes.
class descriptor_cache {
 public:
  descriptor_cache() = default;
  descriptor_cache(const descriptor_cache&) = delete;
  descriptor_cache& operator=(const descriptor_cache&) = delete;
  ~descriptor_cache() { close_all(); }

  // The descriptor for dir from or to the code set `local`, or (iconv_t)-1
  // when iconv has no converter for it.
  iconv_t get(direction dir, const char* local) {
    if (std::strncmp(local, codeset_, sizeof codeset_) != 0) {
      close_all();
      // A name too long to keep is opened afresh every time.
      if (std::strlen(local) >= sizeof codeset_) return open(dir, local);
      std::strcpy(codeset_, local);
    }
    iconv_t& cd = slot(dir);
    if (!opened(dir)) {
      cd = open(dir, local);
      set_opened(dir);
    } else if (cd != kNone) {
      (void)iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return cd;
  }

  // Gives back a descriptor that get() opened without keeping it.
  void put(iconv_t cd) {
    if (cd != kNone && cd != to_utf8_ && cd != to_local_) iconv_close(cd);
  }

 private:
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

  static iconv_t open(direction dir, const char* local) {
    return dir == direction::to_utf8 ? iconv_open("UTF-8", local) : iconv_open(local, "UTF-8");
  }
  iconv_t& slot(direction dir) { return dir == direction::to_utf8 ? to_utf8_ : to_local_; }
  bool opened(direction dir) const { return (opened_ & (dir == direction::to_utf8 ? 1 : 2)) != 0; }
  void set_opened(direction dir) { opened_ |= dir == direction::to_utf8 ? 1 : 2; }
  void close_all() {
    if (opened(direction::to_utf8) && to_utf8_ != kNone) iconv_close(to_utf8_);
    if (opened(direction::to_local) && to_local_ != kNone) iconv_close(to_local_);
    to_utf8_ = to_local_ = kNone;
    opened_ = 0;
    codeset_[0] = '\0';
  }

  char codeset_[64] = "";
  iconv_t to_utf8_ = kNone;
  iconv_t to_local_ = kNone;
  int opened_ = 0;
};

thread_local descriptor_cache descriptors;

void convert(direction dir, const char* text, std::size_t length, char*& chars, std::size_t& result_length) {
  out_text out;
  const char* local = nl_langinfo(CODESET);
  if (is_utf8_codeset(local)) {
    out.append(text, length);
  } else {
    iconv_t cd = descriptors.get(dir, local);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
      if (dir == direction::to_utf8) {
        ascii_only(text, length, kReplacementUtf8, kReplacementLength, out);
      } else {
        ascii_only(text, length, "?", 1, out);
      }
    } else {
      if (dir == direction::to_utf8) {
        local_to_utf8(cd, text, length, out);
      } else {
        utf8_to_local(cd, text, length, out);
      }
      descriptors.put(cd);
    }
  }
  out.release(chars, result_length);
}

}  // namespace

ZAbstractMutableString_5_1::~ZAbstractMutableString_5_1() { mem_free(chars_); }

ZUTF8String_5_1::ZUTF8String_5_1(const ZLCConstString_5_1& local) noexcept {
  convert(direction::to_utf8, local.chars(), local.chars() == nullptr ? 0 : local.length(), chars_, length_);
}

ZLCString_5_1::ZLCString_5_1(const ZUTF8ConstString_5_1& utf8) noexcept {
  convert(direction::to_local, utf8.chars(), utf8.chars() == nullptr ? 0 : utf8.length(), chars_, length_);
}

}  // namespace tqz

#endif  // !_WIN32
