// Code set converters: one-octet text (ISO 8859-1), ITU-T T.61, BMP (UCS-2),
// Universal (UCS-4) and UTF-8 (RFC 2279), and the matrix that chains them.
#define OXS_SOURCE "asn1/asnstrng"
#include "asnstrng_codec.h"

#include <array>

#include <oxserutl/asnstrng.h>

#include "internal.h"

namespace oxserutl {
namespace detail {
namespace {

constexpr int kUnrepresentable = ASN_ERR_UNREPRESENTABLE;

// --- character tables -------------------------------------------------------

constexpr std::array<bool, 256> make_printable_table() {
  // X.680 41.4, Table 10: A-Z a-z 0-9 space ' ( ) + , - . / : = ?
  std::array<bool, 256> t{};
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) t[c] = true;
  for (int c = '0'; c <= '9'; ++c) t[c] = true;
  for (char c : {' ', '\'', '(', ')', '+', ',', '-', '.', '/', ':', '=', '?'}) t[static_cast<unsigned char>(c)] = true;
  return t;
}
constexpr std::array<bool, 256> kPrintable = make_printable_table();

// --- ITU-T T.61 ---------------------------------------------------------------

// The T.61 characters formed by a non-spacing accent (column 12) and a base
// letter. Pairs not listed are not defined by T.61.
struct t61_pair {
  unsigned char accent;
  char letter;
  std::uint16_t ucs;
};

constexpr t61_pair kT61Pairs[] = {
    // 0xC1 grave accent
    {0xC1, 'A', 0x00C0}, {0xC1, 'E', 0x00C8}, {0xC1, 'I', 0x00CC}, {0xC1, 'O', 0x00D2}, {0xC1, 'U', 0x00D9},
    {0xC1, 'a', 0x00E0}, {0xC1, 'e', 0x00E8}, {0xC1, 'i', 0x00EC}, {0xC1, 'o', 0x00F2}, {0xC1, 'u', 0x00F9},
    // 0xC2 acute accent
    {0xC2, 'A', 0x00C1}, {0xC2, 'C', 0x0106}, {0xC2, 'E', 0x00C9}, {0xC2, 'I', 0x00CD}, {0xC2, 'L', 0x0139},
    {0xC2, 'N', 0x0143}, {0xC2, 'O', 0x00D3}, {0xC2, 'R', 0x0154}, {0xC2, 'S', 0x015A}, {0xC2, 'U', 0x00DA},
    {0xC2, 'Y', 0x00DD}, {0xC2, 'Z', 0x0179}, {0xC2, 'a', 0x00E1}, {0xC2, 'c', 0x0107}, {0xC2, 'e', 0x00E9},
    {0xC2, 'i', 0x00ED}, {0xC2, 'l', 0x013A}, {0xC2, 'n', 0x0144}, {0xC2, 'o', 0x00F3}, {0xC2, 'r', 0x0155},
    {0xC2, 's', 0x015B}, {0xC2, 'u', 0x00FA}, {0xC2, 'y', 0x00FD}, {0xC2, 'z', 0x017A},
    // 0xC3 circumflex accent
    {0xC3, 'A', 0x00C2}, {0xC3, 'C', 0x0108}, {0xC3, 'E', 0x00CA}, {0xC3, 'G', 0x011C}, {0xC3, 'H', 0x0124},
    {0xC3, 'I', 0x00CE}, {0xC3, 'J', 0x0134}, {0xC3, 'O', 0x00D4}, {0xC3, 'S', 0x015C}, {0xC3, 'U', 0x00DB},
    {0xC3, 'W', 0x0174}, {0xC3, 'Y', 0x0176}, {0xC3, 'a', 0x00E2}, {0xC3, 'c', 0x0109}, {0xC3, 'e', 0x00EA},
    {0xC3, 'g', 0x011D}, {0xC3, 'h', 0x0125}, {0xC3, 'i', 0x00EE}, {0xC3, 'j', 0x0135}, {0xC3, 'o', 0x00F4},
    {0xC3, 's', 0x015D}, {0xC3, 'u', 0x00FB}, {0xC3, 'w', 0x0175}, {0xC3, 'y', 0x0177},
    // 0xC4 tilde
    {0xC4, 'A', 0x00C3}, {0xC4, 'I', 0x0128}, {0xC4, 'N', 0x00D1}, {0xC4, 'O', 0x00D5}, {0xC4, 'U', 0x0168},
    {0xC4, 'a', 0x00E3}, {0xC4, 'i', 0x0129}, {0xC4, 'n', 0x00F1}, {0xC4, 'o', 0x00F5}, {0xC4, 'u', 0x0169},
    // 0xC5 macron
    {0xC5, 'A', 0x0100}, {0xC5, 'E', 0x0112}, {0xC5, 'I', 0x012A}, {0xC5, 'O', 0x014C}, {0xC5, 'U', 0x016A},
    {0xC5, 'a', 0x0101}, {0xC5, 'e', 0x0113}, {0xC5, 'i', 0x012B}, {0xC5, 'o', 0x014D}, {0xC5, 'u', 0x016B},
    // 0xC6 breve
    {0xC6, 'A', 0x0102}, {0xC6, 'G', 0x011E}, {0xC6, 'U', 0x016C}, {0xC6, 'a', 0x0103}, {0xC6, 'g', 0x011F},
    {0xC6, 'u', 0x016D},
    // 0xC7 dot above
    {0xC7, 'C', 0x010A}, {0xC7, 'E', 0x0116}, {0xC7, 'G', 0x0120}, {0xC7, 'I', 0x0130}, {0xC7, 'Z', 0x017B},
    {0xC7, 'c', 0x010B}, {0xC7, 'e', 0x0117}, {0xC7, 'g', 0x0121}, {0xC7, 'z', 0x017C},
    // 0xC8 diaeresis (0xC9, the umlaut, composes the same)
    {0xC8, 'A', 0x00C4}, {0xC8, 'E', 0x00CB}, {0xC8, 'I', 0x00CF}, {0xC8, 'O', 0x00D6}, {0xC8, 'U', 0x00DC},
    {0xC8, 'Y', 0x0178}, {0xC8, 'a', 0x00E4}, {0xC8, 'e', 0x00EB}, {0xC8, 'i', 0x00EF}, {0xC8, 'o', 0x00F6},
    {0xC8, 'u', 0x00FC}, {0xC8, 'y', 0x00FF},
    // 0xCA ring above
    {0xCA, 'A', 0x00C5}, {0xCA, 'U', 0x016E}, {0xCA, 'a', 0x00E5}, {0xCA, 'u', 0x016F},
    // 0xCB cedilla
    {0xCB, 'C', 0x00C7}, {0xCB, 'G', 0x0122}, {0xCB, 'K', 0x0136}, {0xCB, 'L', 0x013B}, {0xCB, 'N', 0x0145},
    {0xCB, 'R', 0x0156}, {0xCB, 'S', 0x015E}, {0xCB, 'T', 0x0162}, {0xCB, 'c', 0x00E7}, {0xCB, 'g', 0x0123},
    {0xCB, 'k', 0x0137}, {0xCB, 'l', 0x013C}, {0xCB, 'n', 0x0146}, {0xCB, 'r', 0x0157}, {0xCB, 's', 0x015F},
    {0xCB, 't', 0x0163},
    // 0xCD double acute accent
    {0xCD, 'O', 0x0150}, {0xCD, 'U', 0x0170}, {0xCD, 'o', 0x0151}, {0xCD, 'u', 0x0171},
    // 0xCE ogonek
    {0xCE, 'A', 0x0104}, {0xCE, 'E', 0x0118}, {0xCE, 'I', 0x012E}, {0xCE, 'U', 0x0172}, {0xCE, 'a', 0x0105},
    {0xCE, 'e', 0x0119}, {0xCE, 'i', 0x012F}, {0xCE, 'u', 0x0173},
    // 0xCF caron
    {0xCF, 'C', 0x010C}, {0xCF, 'D', 0x010E}, {0xCF, 'E', 0x011A}, {0xCF, 'L', 0x013D}, {0xCF, 'N', 0x0147},
    {0xCF, 'R', 0x0158}, {0xCF, 'S', 0x0160}, {0xCF, 'T', 0x0164}, {0xCF, 'Z', 0x017D}, {0xCF, 'c', 0x010D},
    {0xCF, 'd', 0x010F}, {0xCF, 'e', 0x011B}, {0xCF, 'l', 0x013E}, {0xCF, 'n', 0x0148}, {0xCF, 'r', 0x0159},
    {0xCF, 's', 0x0161}, {0xCF, 't', 0x0165}, {0xCF, 'z', 0x017E},
};

// The pairs as a lookup by accent (0xC1-0xCF) and letter (7 bits); 0 where
// T.61 defines no character.
using t61_compose_table = std::array<std::array<std::uint16_t, 128>, 15>;
constexpr t61_compose_table make_compose_table() {
  t61_compose_table t{};
  for (const t61_pair& p : kT61Pairs) {
    t[p.accent - 0xC1][static_cast<unsigned char>(p.letter)] = p.ucs;
    if (p.accent == 0xC8) t[0xC9 - 0xC1][static_cast<unsigned char>(p.letter)] = p.ucs;
  }
  return t;
}
constexpr t61_compose_table kT61Compose = make_compose_table();

// T.61 columns 14 and 15, the special letters 0xE0-0xFF; 0 at the two
// positions T.61 leaves empty (0xE5, 0xFF). 0xE2 is T.61's capital D with
// stroke, which also serves as the capital eth: it is given as U+00D0 so that
// ISO 8859-1 text (whose 0xD0 is written as 0xE2) comes back unchanged.
constexpr std::uint16_t kT61Special[32] = {
    0x2126, 0x00C6, 0x00D0, 0x00AA, 0x0126, 0x0000, 0x0132, 0x013F,  // E0-E7
    0x0141, 0x00D8, 0x0152, 0x00BA, 0x00DE, 0x0166, 0x014A, 0x0149,  // E8-EF
    0x0138, 0x00E6, 0x0111, 0x00F0, 0x0127, 0x0131, 0x0133, 0x0140,  // F0-F7
    0x0142, 0x00F8, 0x0153, 0x00DF, 0x00FE, 0x0167, 0x014B, 0x0000,  // F8-FF
};

// ISO 8859-1 octet to T.61: 0 fails, below 0x100 one octet, otherwise the
// accent octet (high byte) followed by the letter (low byte).
struct latin1_accented {
  unsigned char latin1;
  unsigned char accent;
  char letter;
};
constexpr latin1_accented kLatin1Accented[] = {
    {0xC0, 0xC1, 'A'}, {0xC8, 0xC1, 'E'}, {0xCC, 0xC1, 'I'}, {0xD2, 0xC1, 'O'}, {0xD9, 0xC1, 'U'},
    {0xE0, 0xC1, 'a'}, {0xE8, 0xC1, 'e'}, {0xEC, 0xC1, 'i'}, {0xF2, 0xC1, 'o'}, {0xF9, 0xC1, 'u'},
    {0xC1, 0xC2, 'A'}, {0xC9, 0xC2, 'E'}, {0xCD, 0xC2, 'I'}, {0xD3, 0xC2, 'O'}, {0xDA, 0xC2, 'U'},
    {0xDD, 0xC2, 'Y'}, {0xE1, 0xC2, 'a'}, {0xE9, 0xC2, 'e'}, {0xED, 0xC2, 'i'}, {0xF3, 0xC2, 'o'},
    {0xFA, 0xC2, 'u'}, {0xFD, 0xC2, 'y'},
    {0xC2, 0xC3, 'A'}, {0xCA, 0xC3, 'E'}, {0xCE, 0xC3, 'I'}, {0xD4, 0xC3, 'O'}, {0xDB, 0xC3, 'U'},
    {0xE2, 0xC3, 'a'}, {0xEA, 0xC3, 'e'}, {0xEE, 0xC3, 'i'}, {0xF4, 0xC3, 'o'}, {0xFB, 0xC3, 'u'},
    {0xC3, 0xC4, 'A'}, {0xD1, 0xC4, 'N'}, {0xD5, 0xC4, 'O'}, {0xE3, 0xC4, 'a'}, {0xF1, 0xC4, 'n'},
    {0xF5, 0xC4, 'o'},
    {0xC4, 0xC8, 'A'}, {0xCB, 0xC8, 'E'}, {0xCF, 0xC8, 'I'}, {0xD6, 0xC8, 'O'}, {0xDC, 0xC8, 'U'},
    {0xE4, 0xC8, 'a'}, {0xEB, 0xC8, 'e'}, {0xEF, 0xC8, 'i'}, {0xF6, 0xC8, 'o'}, {0xFC, 0xC8, 'u'},
    {0xC5, 0xCA, 'A'}, {0xE5, 0xCA, 'a'},
    {0xC7, 0xCB, 'C'}, {0xE7, 0xCB, 'c'},
};

constexpr std::array<std::uint16_t, 256> make_latin1_to_t61() {
  std::array<std::uint16_t, 256> t{};
  for (int c : {0x08, 0x0A, 0x0C, 0x0D, 0x1A}) t[c] = static_cast<std::uint16_t>(c);
  for (int c = 0x20; c <= 0x7E; ++c) t[c] = static_cast<std::uint16_t>(c);
  t[0x23] = 0xA6;  // T.61 keeps the number sign at 0xA6
  t[0x24] = 0xA4;  // and the dollar sign at 0xA4 (its 0x24 is the currency sign)
  for (int c : {0xA1, 0xA2, 0xA3, 0xA5, 0xA7, 0xAB, 0xB0, 0xB1, 0xB2, 0xB3, 0xB5, 0xB6, 0xB7, 0xBB, 0xBC, 0xBD,
                0xBE, 0xBF})
    t[c] = static_cast<std::uint16_t>(c);
  const int single[][2] = {{0xA4, 0xA8}, {0xBA, 0xEB}, {0xC6, 0xE1}, {0xD0, 0xE2}, {0xD7, 0xB4},
                           {0xD8, 0xE9}, {0xDE, 0xEC}, {0xDF, 0xFB}, {0xE6, 0xF1}, {0xF0, 0xF2},
                           {0xF7, 0xB8}, {0xF8, 0xF9}, {0xFE, 0xFC}};
  for (const auto& s : single) t[s[0]] = static_cast<std::uint16_t>(s[1]);
  for (const latin1_accented& a : kLatin1Accented)
    t[a.latin1] = static_cast<std::uint16_t>(a.accent << 8 | static_cast<unsigned char>(a.letter));
  return t;
}
constexpr std::array<std::uint16_t, 256> kLatin1ToT61 = make_latin1_to_t61();

bool is_t61_control(unsigned char c) { return c == 0x08 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x1A; }

// T.61 octets 0xA1-0xBF that are the ISO 8859-1 character of the same value.
bool is_t61_same_as_latin1(unsigned char c) {
  return (c >= 0xA1 && c <= 0xA3) || c == 0xA5 || c == 0xA7 || c == 0xAB || (c >= 0xB0 && c <= 0xB3) ||
         (c >= 0xB5 && c <= 0xB7) || (c >= 0xBB && c <= 0xBF);
}

// --- helpers ----------------------------------------------------------------

void put16(tq_buffer_t& out, std::uint32_t v) {
  const unsigned char b[2] = {static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
  out.append(b, 2);
}

void put32(tq_buffer_t& out, std::uint32_t v) {
  const unsigned char b[4] = {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
                              static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
  out.append(b, 4);
}

// RFC 2279 section 2: the shortest form of v, up to six octets. Values of
// 2^31 and above have no form and are left out.
void put_utf8(tq_buffer_t& out, std::uint32_t v) {
  unsigned char b[6];
  int n;
  unsigned char lead;
  if (v < 0x80) {
    out.append(static_cast<unsigned char>(v));
    return;
  }
  if (v < 0x800) {
    n = 2;
    lead = 0xC0;
  } else if (v < 0x10000) {
    n = 3;
    lead = 0xE0;
  } else if (v < 0x200000) {
    n = 4;
    lead = 0xF0;
  } else if (v < 0x4000000) {
    n = 5;
    lead = 0xF8;
  } else if (v < 0x80000000u) {
    n = 6;
    lead = 0xFC;
  } else {
    return;
  }
  for (int i = n - 1; i > 0; --i) {
    b[i] = static_cast<unsigned char>(0x80 | (v & 0x3F));
    v >>= 6;
  }
  b[0] = static_cast<unsigned char>(lead | v);
  out.append(b, static_cast<std::uint32_t>(n));
}

// Reads whole units of `width` octets (2 or 4) as big-endian numbers. A
// value whose length is not a multiple of the width fails before anything
// is written, so the last partial unit is never read.
template <class Emit>
int for_each_unit(const unsigned char* text, std::uint32_t length, std::uint32_t width, tq_buffer_t& out,
                  Emit emit) {
  if (length % width != 0) return kUnrepresentable;
  const std::uint32_t mark = out.used();
  tq_r_buffer_t in(text, length);
  const unsigned char* u = nullptr;
  while (in.take(width, &u)) {
    std::uint32_t v = 0;
    for (std::uint32_t i = 0; i < width; ++i) v = v << 8 | u[i];
    if (!emit(v)) {
      out.truncate(mark);
      return kUnrepresentable;
    }
  }
  return 0;
}

// The one UTF-8 decoder (RFC 2279) behind three outputs: each character's
// value must not exceed max and is written as `width` octets (1, 2 or 4).
// Continuation octets contribute their low six bits without further test. A
// sequence cut short by the end of the value fails without reading past it.
int utf8_decode(const unsigned char* text, std::uint32_t length, tq_buffer_t& out, std::uint32_t max,
                int width) {
  tq_r_buffer_t in(text, length);
  unsigned char lead = 0;
  while (in.take_byte(&lead)) {
    std::uint32_t v;
    std::uint32_t extra;
    if (lead < 0x80) {
      v = lead;
      extra = 0;
    } else if (lead < 0xC0) {
      return kUnrepresentable;  // a continuation octet cannot start a character
    } else if (lead < 0xE0) {
      v = lead & 0x1Fu;
      extra = 1;
    } else if (lead < 0xF0) {
      v = lead & 0x0Fu;
      extra = 2;
    } else if (lead < 0xF8) {
      v = lead & 0x07u;
      extra = 3;
    } else if (lead < 0xFC) {
      v = lead & 0x03u;
      extra = 4;
    } else if (lead < 0xFE) {
      v = lead & 0x01u;
      extra = 5;
    } else {
      return kUnrepresentable;  // 0xFE and 0xFF never occur in UTF-8
    }
    const unsigned char* cont = nullptr;
    if (!in.take(extra, &cont)) return kUnrepresentable;
    for (std::uint32_t i = 0; i < extra; ++i) v = v << 6 | (cont[i] & 0x3Fu);
    if (v > max) return kUnrepresentable;
    if (width == 1) {
      out.append(static_cast<unsigned char>(v));
    } else if (width == 2) {
      put16(out, v);
    } else {
      put32(out, v);
    }
  }
  return 0;
}

// Requires every octet appended since mark to be in the table; otherwise
// out goes back to mark.
int check_octets(tq_buffer_t& out, std::uint32_t mark, bool (*allowed)(unsigned char) noexcept) {
  const unsigned char* p = out.data();
  for (std::uint32_t i = mark; i < out.used(); ++i) {
    if (!allowed(p[i])) {
      out.truncate(mark);
      return kUnrepresentable;
    }
  }
  return 0;
}


using converter = int (*)(const unsigned char*, std::uint32_t, tq_buffer_t&);
using octet_test = bool (*)(unsigned char) noexcept;

// One converter, then (when allowed is set) the check of a character table
// on the octets it appended.
int convert_checked(converter step, octet_test allowed, const unsigned char* text, std::uint32_t length,
                    tq_buffer_t& out) {
  const std::uint32_t mark = out.used();
  const int status = step(text, length, out);
  if (status != 0 || allowed == nullptr) return status;
  return check_octets(out, mark, allowed);
}

// Two converters in a row through a scratch buffer, then the optional check.
int chain(converter first, converter second, octet_test allowed, const unsigned char* text, std::uint32_t length,
          tq_buffer_t& out, security_t scratch_security) {
  tq_buffer_t scratch(scratch_security);
  const int status = first(text, length, scratch);
  if (status != 0) return status;
  return convert_checked(second, allowed, scratch.data(), scratch.used(), out);
}

int copy(const unsigned char* text, std::uint32_t length, tq_buffer_t& out) {
  out.append(text, length);
  return 0;
}

// The conversion matrix: rows are the value's code set, columns the target.
int convert_matrix(std::uint32_t from, std::uint32_t to, const unsigned char* text, std::uint32_t length,
                   tq_buffer_t& out, security_t sec) {
  if (from == to) return copy(text, length, out);
  switch (from) {
    case tq_asn_cs_printable:
      switch (to) {
        // PrintableString characters are 7-bit and the same octets in IA5,
        // T.61 and UTF-8.
        case tq_asn_cs_ia5:
        case tq_asn_cs_t61:
        case tq_asn_cs_utf8:
          return copy(text, length, out);
        // Open pair: taken as the VisibleString check, which every
        // well-formed PrintableString value passes.
        case tq_asn_cs_visible:
          return convert_checked(copy, is_visible_octet, text, length, out);
        case tq_asn_cs_bmp:
          return one_to_bmp(text, length, out);
        case tq_asn_cs_universal:
          return one_to_univ(text, length, out);
        default:
          return kUnrepresentable;
      }
    // Open row: VisibleString text is a subset of IA5, so it converts as IA5
    // text.
    case tq_asn_cs_visible:
    case tq_asn_cs_ia5:
      switch (to) {
        case tq_asn_cs_ia5:
        case tq_asn_cs_visible:
          return convert_checked(copy, to == tq_asn_cs_visible ? is_visible_octet : nullptr, text, length, out);
        case tq_asn_cs_printable:
          return convert_checked(copy, is_printable_octet, text, length, out);
        case tq_asn_cs_t61:
          return one_to_t61(text, length, out);
        case tq_asn_cs_bmp:
          return one_to_bmp(text, length, out);
        case tq_asn_cs_universal:
          return one_to_univ(text, length, out);
        case tq_asn_cs_utf8:
          return one_to_utf8(text, length, out);
        default:
          return kUnrepresentable;
      }
    case tq_asn_cs_t61:
      switch (to) {
        case tq_asn_cs_ia5:
          return chain(t61_to_bmp, bmp_to_one, nullptr, text, length, out, sec);
        case tq_asn_cs_printable:
          return chain(t61_to_bmp, bmp_to_one, is_printable_octet, text, length, out, sec);
        case tq_asn_cs_visible:
          return chain(t61_to_bmp, bmp_to_one, is_visible_octet, text, length, out, sec);
        case tq_asn_cs_bmp:
          return t61_to_bmp(text, length, out);
        case tq_asn_cs_universal:
          return chain(t61_to_bmp, bmp_to_univ, nullptr, text, length, out, sec);
        case tq_asn_cs_utf8:
          return chain(t61_to_bmp, bmp_to_utf8, nullptr, text, length, out, sec);
        default:
          return kUnrepresentable;
      }
    case tq_asn_cs_bmp:
      switch (to) {
        case tq_asn_cs_ia5:
          return bmp_to_one(text, length, out);
        case tq_asn_cs_printable:
          return convert_checked(bmp_to_one, is_printable_octet, text, length, out);
        case tq_asn_cs_visible:
          return convert_checked(bmp_to_one, is_visible_octet, text, length, out);
        case tq_asn_cs_t61:
          return chain(bmp_to_one, one_to_t61, nullptr, text, length, out, sec);
        case tq_asn_cs_universal:
          return bmp_to_univ(text, length, out);
        case tq_asn_cs_utf8:
          return bmp_to_utf8(text, length, out);
        default:
          return kUnrepresentable;
      }
    case tq_asn_cs_universal:
      switch (to) {
        case tq_asn_cs_ia5:
          return univ_to_one(text, length, out);
        case tq_asn_cs_printable:
          return convert_checked(univ_to_one, is_printable_octet, text, length, out);
        case tq_asn_cs_visible:
          return convert_checked(univ_to_one, is_visible_octet, text, length, out);
        case tq_asn_cs_t61:
          return chain(univ_to_one, one_to_t61, nullptr, text, length, out, sec);
        case tq_asn_cs_bmp:
          return univ_to_bmp(text, length, out);
        case tq_asn_cs_utf8:
          return univ_to_utf8(text, length, out);
        default:
          return kUnrepresentable;
      }
    case tq_asn_cs_utf8:
      switch (to) {
        case tq_asn_cs_ia5:
          return utf8_to_one(text, length, out);
        // Examined octet by octet: every octet of a multi-octet sequence is
        // outside both tables.
        case tq_asn_cs_printable:
          return convert_checked(copy, is_printable_octet, text, length, out);
        case tq_asn_cs_visible:
          return convert_checked(copy, is_visible_octet, text, length, out);
        case tq_asn_cs_t61:
          return chain(utf8_to_one, one_to_t61, nullptr, text, length, out, sec);
        case tq_asn_cs_bmp:
          return utf8_to_bmp(text, length, out);
        case tq_asn_cs_universal:
          return utf8_to_univ(text, length, out);
        default:
          return kUnrepresentable;
      }
    default:
      return kUnrepresentable;  // no code set (a bare tq_asn_charstring) or an unknown one
  }
}

}  // namespace

bool is_printable_octet(unsigned char c) noexcept { return kPrintable[c]; }
bool is_visible_octet(unsigned char c) noexcept { return c >= 0x20 && c <= 0x7E; }

int one_to_bmp(const unsigned char* text, std::uint32_t length, tq_buffer_t& out) {
  tq_r_buffer_t in(text, length);
  unsigned char c = 0;
  while (in.take_byte(&c)) put16(out, c);
  return 0;
}

int one_to_univ(const unsigned char* text, std::uint32_t length, tq_buffer_t& out) {
  tq_r_buffer_t in(text, length);
  unsigned char c = 0;
  while (in.take_byte(&c)) put32(out, c);
  return 0;
}

int one_to_utf8(const unsigned char* text, std::uint32_t length, tq_buffer_t& out) {
  tq_r_buffer_t in(text, length);
  unsigned char c = 0;
  while (in.take_byte(&c)) put_utf8(out, c);
  return 0;
}

int one_to_t61(const unsigned char* text, std::uint32_t length, tq_buffer_t& out) {
  const std::uint32_t mark = out.used();
  tq_r_buffer_t in(text, length);
  unsigned char c = 0;
  while (in.take_byte(&c)) {
    const std::uint16_t t = kLatin1ToT61[c];
    if (t == 0) {
      out.truncate(mark);
      return kUnrepresentable;
    }
    if (t > 0xFF) {
      put16(out, t);
    } else {
      out.append(static_cast<unsigned char>(t));
    }
  }
  return 0;
}

int bmp_to_one(const unsigned char* text, std::uint32_t length, tq_buffer_t& out) {
  return for_each_unit(text, length, 2, out, [&out](std::uint32_t v) {
    if (v > 0xFF) return false;
    out.append(static_cast<unsigned char>(v));
    return true;
  });
}

int bmp_to_univ(const unsigned char* text, std::uint32_t length, tq_buffer_t& out) {
  return for_each_unit(text, length, 2, out, [&out](std::uint32_t v) {
    put32(out, v);
    return true;
  });
}

// Every 16-bit value, surrogates included, is written as the UTF-8 form of
// that number (at most three octets).
int bmp_to_utf8(const unsigned char* text, std::uint32_t length, tq_buffer_t& out) {
  return for_each_unit(text, length, 2, out, [&out](std::uint32_t v) {
    put_utf8(out, v);
    return true;
  });
}

int univ_to_one(const unsigned char* text, std::uint32_t length, tq_buffer_t& out) {
  return for_each_unit(text, length, 4, out, [&out](std::uint32_t v) {
    if (v > 0xFF) return false;
    out.append(static_cast<unsigned char>(v));
    return true;
  });
}

int univ_to_bmp(const unsigned char* text, std::uint32_t length, tq_buffer_t& out) {
  return for_each_unit(text, length, 4, out, [&out](std::uint32_t v) {
    if (v > 0xFFFF) return false;
    put16(out, v);
    return true;
  });
}

int univ_to_utf8(const unsigned char* text, std::uint32_t length, tq_buffer_t& out) {
  return for_each_unit(text, length, 4, out, [&out](std::uint32_t v) {
    put_utf8(out, v);
    return true;
  });
}

int utf8_to_one(const unsigned char* text, std::uint32_t length, tq_buffer_t& out) {
  return utf8_decode(text, length, out, 0xFF, 1);
}

int utf8_to_bmp(const unsigned char* text, std::uint32_t length, tq_buffer_t& out) {
  return utf8_decode(text, length, out, 0xFFFF, 2);
}

int utf8_to_univ(const unsigned char* text, std::uint32_t length, tq_buffer_t& out) {
  return utf8_decode(text, length, out, 0xFFFFFFFFu, 4);
}

// T.61 writes an accented letter as the non-spacing accent followed by the
// base letter, so the reader carries a pending accent into the next octet.
int t61_to_bmp(const unsigned char* text, std::uint32_t length, tq_buffer_t& out) {
  const std::uint32_t mark = out.used();
  auto fail = [&] {
    out.truncate(mark);
    return kUnrepresentable;
  };
  tq_r_buffer_t in(text, length);
  unsigned char accent = 0;
  unsigned char c = 0;
  while (in.take_byte(&c)) {
    if (is_t61_control(c)) {
      accent = 0;
      put16(out, c);
    } else if (c == 0x24) {
      accent = 0;
      put16(out, 0x00A4);  // T.61 0x24 is the currency sign
    } else if (c >= 0xC0 && c <= 0xCF) {
      if (c == 0xC0 || accent != 0) return fail();
      accent = c;
    } else if (accent != 0) {
      const std::uint16_t v = c < 0x80 ? kT61Compose[accent - 0xC1][c] : 0;
      if (v == 0) return fail();
      put16(out, v);
      accent = 0;
    } else if ((c >= 0x20 && c <= 0x7E) || is_t61_same_as_latin1(c)) {
      put16(out, c);
    } else if (c == 0xA4) {
      put16(out, '$');
    } else if (c == 0xA6) {
      put16(out, '#');
    } else if (c == 0xA8) {
      put16(out, 0x00A4);
    } else if (c == 0xB4) {
      put16(out, 0x00D7);
    } else if (c == 0xB8) {
      put16(out, 0x00F7);
    } else if (c >= 0xE0 && kT61Special[c - 0xE0] != 0) {
      put16(out, kT61Special[c - 0xE0]);
    } else {
      return fail();
    }
  }
  // An accent as the last octet has no letter to go with and is dropped.
  return 0;
}

int convert_text(std::uint32_t from, std::uint32_t to, const unsigned char* text, std::uint32_t length,
                 tq_buffer_t& out, security_t scratch_security) {
  const std::uint32_t mark = out.used();
  try {
    const int status = convert_matrix(from, to, text, length, out, scratch_security);
    if (status != 0) out.truncate(mark);
    return status;
  } catch (...) {
    out.truncate(mark);
    throw;
  }
}

}  // namespace detail
}  // namespace oxserutl
