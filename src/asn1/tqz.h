// Text in the process's local code set and in UTF-8, and the conversions
// between them; used by the text adapter in local-code-set mode. Not part of
// the public API.
//
// The local code set is the one of the caller's LC_CTYPE locale
// (nl_langinfo(CODESET) after setlocale). A UTF-8 locale is passed through
// unchanged; any other code set is converted with iconv(3). Each thread
// keeps its own descriptors for the code set it converted last, so nothing
// is shared between threads.
//
// Text that cannot be converted is substituted, never refused:
//  - local to UTF-8: an octet that is not valid in the local code set (or a
//    multi-octet character cut short at the end) becomes U+FFFD (EF BF BD);
//  - UTF-8 to local: a character the local code set cannot represent, and
//    each octet that does not start a well-formed UTF-8 sequence, becomes
//    '?' in the local code set.
// When iconv has no converter for the local code set, octets 0x00-0x7F are
// taken as ASCII both ways and every other octet is substituted as above.
//
// Inputs are a pointer and a length; no octet beyond them is read and no
// terminator is expected. Memory comes from the library's allocator seam;
// when it runs out the result is in the failed state: getChars() is null and
// getLength() 0. Nothing here throws.
#ifndef OXSERUTL_SRC_TQZ_H
#define OXSERUTL_SRC_TQZ_H

#include <cstddef>

namespace tqz {

// A view of local-code-set text (not owned).
class ZLCConstString_5_1 {
 public:
  ZLCConstString_5_1(const char* chars, std::size_t length) noexcept : chars_(chars), length_(length) {}
  const char* chars() const noexcept { return chars_; }
  std::size_t length() const noexcept { return length_; }

 private:
  const char* chars_;
  std::size_t length_;
};

// A view of UTF-8 text (not owned).
class ZUTF8ConstString_5_1 {
 public:
  ZUTF8ConstString_5_1(const char* chars, std::size_t length) noexcept : chars_(chars), length_(length) {}
  const char* chars() const noexcept { return chars_; }
  std::size_t length() const noexcept { return length_; }

 private:
  const char* chars_;
  std::size_t length_;
};

// Owned, zero-terminated converted text.
class ZAbstractMutableString_5_1 {
 public:
  ZAbstractMutableString_5_1(const ZAbstractMutableString_5_1&) = delete;
  ZAbstractMutableString_5_1& operator=(const ZAbstractMutableString_5_1&) = delete;

  // Number of octets of the text, not counting the terminator.
  std::size_t getLength() const noexcept { return length_; }
  // The text followed by a zero octet; null in the failed state.
  const char* getChars() const noexcept { return chars_; }

 protected:
  ZAbstractMutableString_5_1() noexcept = default;
  ~ZAbstractMutableString_5_1();

  char* chars_ = nullptr;
  std::size_t length_ = 0;
};

// The UTF-8 form of local-code-set text.
class ZUTF8String_5_1 : public ZAbstractMutableString_5_1 {
 public:
  explicit ZUTF8String_5_1(const ZLCConstString_5_1& local) noexcept;
};

// The local-code-set form of UTF-8 text.
class ZLCString_5_1 : public ZAbstractMutableString_5_1 {
 public:
  explicit ZLCString_5_1(const ZUTF8ConstString_5_1& utf8) noexcept;
};

}  // namespace tqz

#endif
