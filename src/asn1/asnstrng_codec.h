// Code set converters behind the character strings; not part of the public
// API.
#ifndef OXSERUTL_SRC_ASNSTRNG_CODEC_H
#define OXSERUTL_SRC_ASNSTRNG_CODEC_H

#include <cstdint>

#include <oxserutl/asnbase.h>

namespace oxserutl {
namespace detail {

// Membership of an octet in the PrintableString repertoire (X.680 41.4) and
// in the VisibleString range 0x20-0x7E.
bool is_printable_octet(unsigned char c) noexcept;
bool is_visible_octet(unsigned char c) noexcept;

// Elementary converters. Each reads exactly `length` octets at `text`,
// appends its result to out and returns 0 or ASN_ERR_UNREPRESENTABLE. On
// failure all of them except the three UTF-8 decoders put out back to its
// length on entry; the UTF-8 decoders leave what they converted before the
// failing character. "One" is a one-octet code set read as ISO 8859-1.
int one_to_bmp(const unsigned char* text, std::uint32_t length, tq_buffer_t& out);
int one_to_univ(const unsigned char* text, std::uint32_t length, tq_buffer_t& out);
int one_to_utf8(const unsigned char* text, std::uint32_t length, tq_buffer_t& out);
int one_to_t61(const unsigned char* text, std::uint32_t length, tq_buffer_t& out);
int bmp_to_one(const unsigned char* text, std::uint32_t length, tq_buffer_t& out);
int bmp_to_univ(const unsigned char* text, std::uint32_t length, tq_buffer_t& out);
int bmp_to_utf8(const unsigned char* text, std::uint32_t length, tq_buffer_t& out);
int univ_to_one(const unsigned char* text, std::uint32_t length, tq_buffer_t& out);
int univ_to_bmp(const unsigned char* text, std::uint32_t length, tq_buffer_t& out);
int univ_to_utf8(const unsigned char* text, std::uint32_t length, tq_buffer_t& out);
int utf8_to_one(const unsigned char* text, std::uint32_t length, tq_buffer_t& out);
int utf8_to_bmp(const unsigned char* text, std::uint32_t length, tq_buffer_t& out);
int utf8_to_univ(const unsigned char* text, std::uint32_t length, tq_buffer_t& out);
int t61_to_bmp(const unsigned char* text, std::uint32_t length, tq_buffer_t& out);

// Appends text of code set `from` converted to code set `to` (the
// conversion matrix). Returns 0 or ASN_ERR_UNREPRESENTABLE; on failure out
// is put back to its length on entry. Intermediate results of chained steps
// live in a scratch buffer of the given security.
int convert_text(std::uint32_t from, std::uint32_t to, const unsigned char* text, std::uint32_t length,
                 tq_buffer_t& out, security_t scratch_security);

}  // namespace detail
}  // namespace oxserutl

#endif
