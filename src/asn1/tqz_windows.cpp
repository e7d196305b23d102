// Local code set <-> UTF-8 on Windows: the process's ANSI code page (GetACP),
// converted with MultiByteToWideChar and WideCharToMultiByte. The rules are
// those of the iconv backend (tqz.h): invalid local octets become U+FFFD, a
// character the code page lacks (never a "best fit" look-alike) and every
// octet that starts no well-formed UTF-8 sequence become '?', and the UTF-8
// code page passes octets through.
#if defined(_WIN32)
#define OXS_SOURCE "asn1/tqz_windows"
#include "tqz.h"

#include <climits>
#include <cstring>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <oxserutl/code_page.h>

#include "internal.h"
#include "utf8.h"

namespace tqz {
namespace {

using oxserutl::detail::mem_free;
using oxserutl::detail::mem_malloc;

OXS_THREAD_LOCAL unsigned int code_page_override = 0;

unsigned int local_code_page() { return code_page_override != 0 ? code_page_override : GetACP(); }

// The Windows functions count in int; longer text is treated as no memory.
constexpr std::size_t kMaxLength = INT_MAX / 4;

// A block from the allocator seam for n elements of T; null when there is no
// memory (or n is beyond what the Windows functions can count).
template <class T>
T* allocate(std::size_t n) {
  if (n > kMaxLength) return nullptr;
  return static_cast<T*>(mem_malloc((n == 0 ? 1 : n) * sizeof(T)));
}

// A copy of the octets, zero-terminated.
void copy(const char* text, std::size_t length, char*& chars, std::size_t& result_length) {
  chars = allocate<char>(length + 1);
  if (chars == nullptr) return;
  if (length != 0) std::memcpy(chars, text, length);
  chars[length] = '\0';
  result_length = length;
}

// UTF-16 to zero-terminated text in code page cp. With substitute, a
// character cp lacks becomes '?'.
void from_wide(UINT cp, const wchar_t* wide, std::size_t count, char*& chars, std::size_t& result_length) {
  if (count == 0) return copy("", 0, chars, result_length);
  const int n = WideCharToMultiByte(cp, 0, wide, static_cast<int>(count), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return;
  char* out = allocate<char>(static_cast<std::size_t>(n) + 1);
  if (out == nullptr) return;
  WideCharToMultiByte(cp, 0, wide, static_cast<int>(count), out, n, nullptr, nullptr);
  out[n] = '\0';
  chars = out;
  result_length = static_cast<std::size_t>(n);
}

// Local text to UTF-8. A stretch that converts as a whole takes one call;
// otherwise each character is tried alone, with up to the code page's
// longest character, and an octet that starts none becomes U+FFFD.
void local_to_utf8(UINT cp, const char* text, std::size_t length, char*& chars, std::size_t& result_length) {
  // One octet gives at most two UTF-16 units (a surrogate pair).
  wchar_t* wide = allocate<wchar_t>(2 * length);
  if (wide == nullptr) return;
  int count = length == 0 ? 0
                          : MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text, static_cast<int>(length), wide,
                                                static_cast<int>(2 * length));
  if (count <= 0) {
    CPINFO info;
    const std::size_t longest = GetCPInfo(cp, &info) && info.MaxCharSize > 0 ? info.MaxCharSize : 4;
    count = 0;
    for (std::size_t i = 0; i < length;) {
      int got = 0;
      std::size_t k = 1;
      for (; k <= longest && i + k <= length; ++k) {
        got = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text + i, static_cast<int>(k), wide + count,
                                  static_cast<int>(2 * length) - count);
        if (got > 0) break;
      }
      if (got > 0) {
        count += got;
        i += k;
      } else {
        wide[count++] = 0xFFFD;
        ++i;
      }
    }
  }
  from_wide(CP_UTF8, wide, static_cast<std::size_t>(count), chars, result_length);
  mem_free(wide);
}

// Whether code page cp holds the UTF-16 character c (one unit or a pair)
// as itself rather than as a default or best-fit character.
bool representable(UINT cp, const wchar_t* c, int units) {
  char local[8];
  BOOL used_default = FALSE;
  const int n = WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, c, units, local, sizeof local, nullptr, &used_default);
  if (n > 0) return !used_default;
  // The few code pages that take neither the flag nor the question (GB18030
  // among them) hold every character or say so by failing.
  return WideCharToMultiByte(cp, 0, c, units, local, sizeof local, nullptr, nullptr) > 0;
}

// UTF-8 to local text: each well-formed character the code page holds
// converts, everything else becomes '?'.
void utf8_to_local(UINT cp, const char* text, std::size_t length, char*& chars, std::size_t& result_length) {
  wchar_t* wide = allocate<wchar_t>(length);  // never more units than octets
  if (wide == nullptr) return;
  std::size_t count = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  for (std::size_t i = 0; i < length;) {
    unsigned long c = 0;
    const std::size_t len = oxserutl::detail::utf8_sequence(p + i, length - i, &c);
    wchar_t unit[2];
    int units = 1;
    if (c >= 0x10000) {
      unit[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      unit[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      units = 2;
    } else {
      unit[0] = static_cast<wchar_t>(c);
    }
    if (len == 0 || (c >= 0x80 && !representable(cp, unit, units))) {
      wide[count++] = L'?';
    } else {
      for (int u = 0; u < units; ++u) wide[count++] = unit[u];
    }
    i += len == 0 ? 1 : len;
  }
  from_wide(cp, wide, count, chars, result_length);
  mem_free(wide);
}

}  // namespace

ZAbstractMutableString_5_1::~ZAbstractMutableString_5_1() { mem_free(chars_); }

ZUTF8String_5_1::ZUTF8String_5_1(const ZLCConstString_5_1& local) noexcept {
  const std::size_t length = local.chars() == nullptr ? 0 : local.length();
  const UINT cp = local_code_page();
  if (cp == CP_UTF8) {
    copy(local.chars(), length, chars_, length_);
  } else {
    local_to_utf8(cp, local.chars(), length, chars_, length_);
  }
}

ZLCString_5_1::ZLCString_5_1(const ZUTF8ConstString_5_1& utf8) noexcept {
  const std::size_t length = utf8.chars() == nullptr ? 0 : utf8.length();
  const UINT cp = local_code_page();
  if (cp == CP_UTF8) {
    copy(utf8.chars(), length, chars_, length_);
  } else {
    utf8_to_local(cp, utf8.chars(), length, chars_, length_);
  }
}

}  // namespace tqz

extern "C" {
void oxserutl_code_page_override(unsigned int code_page) { tqz::code_page_override = code_page; }
unsigned int oxserutl_code_page(void) { return tqz::local_code_page(); }
}

#endif  // _WIN32
