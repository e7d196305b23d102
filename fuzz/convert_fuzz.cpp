// Every code-set conversion pair. The first input byte picks the source code
// set (mod 7), the target (/ 7 mod 7) and the local-text views (bit 7); the
// rest is the text, stored unexamined in the source code set.
//
// Properties: conversion into a buffer and in place agree on the status and
// the octets; a failure leaves the buffer and the string as they were and is
// a status of the table; the converted string writes and reads back.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_util.h"
#include "test_util.h"

namespace {

using dstring = tq_asn_directoryString;

// A code set and its store; conversions go by the code set.
struct code_set {
  std::uint32_t cs;
  int (*store)(dstring&, const tq_r_buffer_t&);
};

const code_set kCodeSets[] = {
    {tq_asn_cs_utf8, [](dstring& s, const tq_r_buffer_t& t) { return s.set_value_UTF8(t); }},
    {tq_asn_cs_printable, [](dstring& s, const tq_r_buffer_t& t) { return s.set_value_printable(t); }},
    {tq_asn_cs_t61, [](dstring& s, const tq_r_buffer_t& t) { return s.set_value_T61(t); }},
    {tq_asn_cs_ia5, [](dstring& s, const tq_r_buffer_t& t) { return s.set_value_IA5(t, 0); }},
    {tq_asn_cs_visible, [](dstring& s, const tq_r_buffer_t& t) { return s.set_value_visible(t); }},
    {tq_asn_cs_universal, [](dstring& s, const tq_r_buffer_t& t) { return s.set_value_Univ(t); }},
    {tq_asn_cs_bmp, [](dstring& s, const tq_r_buffer_t& t) { return s.set_value_BMP(t); }},
};

std::vector<unsigned char> octets(const tq_buffer_t& b) { return {b.data(), b.data() + b.used()}; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  oxs_fuzz::set_local_code_set();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 0xFFFFFF) return 0;
  const code_set& from = kCodeSets[(data[0] & 0x7F) % 7];
  const code_set& to = kCodeSets[((data[0] & 0x7F) / 7) % 7];
  const bool follow_up = (data[0] & 0x80) != 0;
  const std::vector<unsigned char> text(data + 1, data + size);
  const tq_r_buffer_t view(text.data(), static_cast<std::uint32_t>(text.size()));

  dstring s;
  const int stored = from.store(s, view);
  oxs_fuzz::check(stored == 0, "an accepted code set refused", "", stored);
  oxs_fuzz::check(s.get_codeset() == from.cs, "stored under another code set", "", s.get_codeset());

  // Into a buffer that already holds something.
  static const unsigned char kPrefix[] = {'p', 'r', 'e'};
  tq_buffer_t out;
  out.append(kPrefix, sizeof kPrefix);
  const int into = oxs_test::convert(s, to.cs, &out);
  oxs_fuzz::check_status(into, "convert into a buffer");
  oxs_fuzz::check(out.used() >= sizeof kPrefix && std::memcmp(out.data(), kPrefix, sizeof kPrefix) == 0,
                  "conversion overwrote the buffer's contents");
  if (into != 0) oxs_fuzz::check(out.used() == sizeof kPrefix, "failed conversion left octets in the buffer");
  oxs_fuzz::check(s.get_codeset() == from.cs && octets(s.value()) == text, "converting into a buffer changed it");

  // In place.
  const int in_place = oxs_test::convert(s, to.cs, nullptr);
  oxs_fuzz::check(in_place == into, "in-place and buffer conversions disagree", "", in_place);
  if (in_place != 0) {
    oxs_fuzz::check(s.get_codeset() == from.cs && octets(s.value()) == text, "failed conversion changed the string");
    return 0;
  }
  oxs_fuzz::check(s.get_codeset() == to.cs, "converted string has another code set", "", s.get_codeset());
  const std::vector<unsigned char> converted(out.data() + sizeof kPrefix, out.data() + out.used());
  oxs_fuzz::check(octets(s.value()) == converted, "in-place and buffer conversions differ");

  // The converted string writes an element that reads back unchanged.
  tq_buffer_t element;
  const int written = s.asnwrite(element);
  oxs_fuzz::check(written == 0, "converted string does not write", "", written);
  dstring back;
  tq_r_buffer_t in(element.data(), element.used());
  const int read = back.asnread(in);
  oxs_fuzz::check_status(read, "read back");
  // A DirectoryString reads every code set but VisibleString.
  if (to.cs != tq_asn_cs_visible) {
    oxs_fuzz::check(read == 0, "converted string does not read back", "", read);
    oxs_fuzz::check(back.get_codeset() == to.cs && octets(back.value()) == converted, "read back differs");
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
