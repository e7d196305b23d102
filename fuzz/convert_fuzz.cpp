// Every code-set conversion pair. The first input byte picks the source
// code set (its value mod 7), the target code set (its value / 7 mod 7) and
// a follow-up operation (bit 7); the rest becomes the text, stored
// unexamined in the source code set of a DirectoryString, which accepts all
// seven.
//
// Properties: converting into a buffer and converting in place agree on
// the status and the octets; a failure leaves the buffer at its length on
// entry and the string's value and code set as they were; every failure is
// a status of the table; a successful conversion writes an element that
// reads back with the same code set and octets.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_util.h"

namespace {

constexpr std::uint32_t kCodeSets[] = {tq_asn_cs_utf8,  tq_asn_cs_printable, tq_asn_cs_t61, tq_asn_cs_ia5,
                                       tq_asn_cs_visible, tq_asn_cs_universal, tq_asn_cs_bmp};

int store(tq_asn_directoryString& s, std::uint32_t cs, const tq_r_buffer_t& text) {
  switch (cs) {
    case tq_asn_cs_utf8: return s.set_value_UTF8(text);
    case tq_asn_cs_printable: return s.set_value_printable(text);
    case tq_asn_cs_t61: return s.set_value_T61(text);
    case tq_asn_cs_ia5: return s.set_value_IA5(text, 0);
    case tq_asn_cs_visible: return s.set_value_visible(text);
    case tq_asn_cs_universal: return s.set_value_Univ(text);
    default: return s.set_value_BMP(text);
  }
}

int convert_into(const tq_asn_directoryString& s, std::uint32_t cs, tq_buffer_t& out) {
  switch (cs) {
    case tq_asn_cs_utf8: return s.convert2UTF8(out);
    case tq_asn_cs_printable: return s.convert2printable(out);
    case tq_asn_cs_t61: return s.convert2T61(out);
    case tq_asn_cs_ia5: return s.convert2IA5(out);
    case tq_asn_cs_visible: return s.convert2visible(out);
    case tq_asn_cs_universal: return s.convert2Univ(out);
    default: return s.convert2BMP(out);
  }
}

int convert_in_place(tq_asn_directoryString& s, std::uint32_t cs) {
  switch (cs) {
    case tq_asn_cs_utf8: return s.convert2UTF8();
    case tq_asn_cs_printable: return s.convert2printable();
    case tq_asn_cs_t61: return s.convert2T61();
    case tq_asn_cs_ia5: return s.convert2IA5();
    case tq_asn_cs_visible: return s.convert2visible();
    case tq_asn_cs_universal: return s.convert2Univ();
    default: return s.convert2BMP();
  }
}

std::vector<unsigned char> octets(const tq_buffer_t& b) { return {b.data(), b.data() + b.used()}; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  oxs_fuzz::set_local_code_set();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 0xFFFFFF) return 0;
  const std::uint32_t from = kCodeSets[(data[0] & 0x7F) % 7];
  const std::uint32_t to = kCodeSets[((data[0] & 0x7F) / 7) % 7];
  const bool follow_up = (data[0] & 0x80) != 0;
  const std::vector<unsigned char> text(data + 1, data + size);
  const tq_r_buffer_t view(text.data(), static_cast<std::uint32_t>(text.size()));

  tq_asn_directoryString s;
  const int stored = store(s, from, view);
  oxs_fuzz::check(stored == 0, "an accepted code set refused", "", stored);
  oxs_fuzz::check(s.get_codeset() == from, "stored under another code set", "", s.get_codeset());

  // Into a buffer that already holds something.
  static const unsigned char kPrefix[] = {'p', 'r', 'e'};
  tq_buffer_t out;
  out.append(kPrefix, sizeof kPrefix);
  const int into = convert_into(s, to, out);
  oxs_fuzz::check_status(into, "convert into a buffer");
  oxs_fuzz::check(out.used() >= sizeof kPrefix && std::memcmp(out.data(), kPrefix, sizeof kPrefix) == 0,
                  "conversion overwrote the buffer's contents");
  if (into != 0) oxs_fuzz::check(out.used() == sizeof kPrefix, "failed conversion left octets in the buffer");
  oxs_fuzz::check(s.get_codeset() == from && octets(s.value()) == text, "conversion into a buffer changed the string");

  // In place.
  const int in_place = convert_in_place(s, to);
  oxs_fuzz::check(in_place == into, "in-place and buffer conversions disagree", "", in_place);
  if (in_place != 0) {
    oxs_fuzz::check(s.get_codeset() == from && octets(s.value()) == text, "failed conversion changed the string");
    return 0;
  }
  oxs_fuzz::check(s.get_codeset() == to, "converted string has another code set", "", s.get_codeset());
  const std::vector<unsigned char> converted(out.data() + sizeof kPrefix, out.data() + out.used());
  oxs_fuzz::check(octets(s.value()) == converted, "in-place and buffer conversions differ");

  // The converted string writes an element that reads back unchanged.
  tq_buffer_t element;
  const int written = s.asnwrite(element);
  oxs_fuzz::check(written == 0, "converted string does not write", "", written);
  tq_asn_directoryString back;
  tq_r_buffer_t in(element.data(), element.used());
  const int read = back.asnread(in);
  oxs_fuzz::check_status(read, "read back");
  // A DirectoryString reads every code set but VisibleString.
  if (to != tq_asn_cs_visible) {
    oxs_fuzz::check(read == 0, "converted string does not read back", "", read);
    oxs_fuzz::check(back.get_codeset() == to && octets(back.value()) == converted, "read back differs");
  }

  if (follow_up) {
    // The local-text views of the converted value.
    tq_buffer_t local;
    oxs_fuzz::check_status(s.get_value_C(local, 0), "get_value_C");
    // With a substitute only the rendering as IA5 can fail.
    tq_buffer_t substituted;
    tq_buffer_t ia5;
    const int as_ia5 = s.convert2IA5(ia5);
    oxs_fuzz::check(s.get_value_C(substituted, '?') == as_ia5, "substituting local text refused");
    if (as_ia5 == 0) oxs_fuzz::check(substituted.used() == ia5.used(), "local text of another length");
    tq_buffer_t ia5_view;
    oxs_fuzz::check_status(s.get_value_IA5(ia5_view), "get_value_IA5");
    oxs_fuzz::check_status(s.normalize(), "normalize");
  }
  return 0;
}
