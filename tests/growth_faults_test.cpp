// Allocation failures in the runtime's own growth paths: the output buffer,
// a composite's child table, SEQUENCE OF elements on reading, character
// strings and their code-set conversions, and the raw scanners. For every
// k from 1 until the operation no longer allocates k times, the k-th
// allocation fails: the operation either succeeds or reports no memory (a
// status or tq_asn_memexception), what it had before is intact, and the
// sanitizer build shows that nothing leaks.
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/asnchoice.h>
#include <oxserutl/asnscan.h>
#include <oxserutl/asnstrng.h>
#include <oxserutl/fault_injection.h>

#include "test_util.h"

namespace {

// Runs `operation` with the k-th allocation failing, for k = 1, 2, ...
// until it completes without reaching the k-th allocation. `after` sees the
// status of each run (ASN_ERR_MEMORY for a raised memory exception) and
// whether the failure fired. Returns the number of failure points.
long sweep(const std::function<int()>& operation, const std::function<void(int status, bool fired)>& after) {
  long points = 0;
  testing::internal::CaptureStderr();
  for (long k = 1; k < 100000; ++k) {
    oxserutl_fault_arm(k);
    int status = 0;
    try {
      status = operation();
    } catch (const tq_asn_memexception&) {
      status = ASN_ERR_MEMORY;
    }
    const bool fired = oxserutl_fault_fired() != 0;
    oxserutl_fault_arm(0);
    after(status, fired);
    if (!fired) break;
    ++points;
    EXPECT_TRUE(status == 0 || status == int{ASN_ERR_MEMORY})
        << "allocation " << k << ": " << oxs_test::status_name(static_cast<std::uint32_t>(status));
  }
  testing::internal::GetCapturedStderr();
  return points;
}

long total_points = 0;

// identifier, shortest definite length, contents (hex text).
std::string frame(const std::string& identifier, const std::string& content) {
  const std::size_t n = oxs_test::from_hex(content).size();
  char length[16];
  if (n < 0x80)
    std::snprintf(length, sizeof length, "%02zX", n);
  else if (n <= 0xFF)
    std::snprintf(length, sizeof length, "81 %02zX", n);
  else
    std::snprintf(length, sizeof length, "82 %02zX %02zX", n >> 8, n & 0xFF);
  return identifier + " " + length + " " + content;
}

TEST(GrowthFaults, OutputBufferKeepsItsBytes) {
  // Appends one byte at a time well past the first block and its headroom.
  const long points = sweep(
      [] {
        tq_buffer_t out;
        std::vector<unsigned char> written;
        for (int i = 0; i < 5000; ++i) {
          const auto b = static_cast<unsigned char>(i * 7);
          try {
            out.append(b);
          } catch (const tq_asn_memexception&) {
            // The failed growth kept the old block and everything in it.
            if (out.used() != written.size() ||
                (!written.empty() && std::memcmp(out.data(), written.data(), written.size()) != 0))
              return int{ASN_ERR_BAD_LENGTH};
            throw;
          }
          written.push_back(b);
        }
        return out.used() == 5000 ? 0 : int{ASN_ERR_BAD_LENGTH};
      },
      [](int, bool) {});
  EXPECT_GE(points, 5);
  total_points += points;
}

TEST(GrowthFaults, ChildTableGrowth) {
  const long points = sweep(
      [] {
        std::vector<tq_asn_integer> children(100);
        tq_asn_sequence s;
        for (auto& child : children) s.register_child(&child);
        return s.get_child_count() == 100 ? 0 : int{ASN_ERR_BAD_LENGTH};
      },
      [](int, bool) {});
  EXPECT_GE(points, 2);
  total_points += points;
}

// SEQUENCE OF INTEGER, SEQUENCE OF OCTET STRING (constructed and in
// segments) and SEQUENCE OF SEQUENCE OF: elements are created as they are
// read, so every element and every content block is a failure point.
TEST(GrowthFaults, SequenceOfElementsOnReading) {
  std::string ints;
  for (int i = 0; i < 40; ++i) ints += "02 01 " + std::string(i % 2 ? "7F " : "80 ");
  std::string strings;
  for (int i = 0; i < 20; ++i) strings += "04 03 41 42 43 24 80 04 01 44 04 02 45 46 00 00 ";
  const struct {
    const char* name;
    std::string hex;
    int kind;
  } inputs[] = {
      {"integers", frame("30", ints), 0},
      {"octet strings in segments", frame("30", strings), 1},
      {"lists of lists", frame("30", frame("30", ints) + frame("30", ints)), 2},
  };
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.name);
    const std::vector<unsigned char> bytes = oxs_test::from_hex(input.hex);
    std::string first_write;
    const long points = sweep(
        [&] {
          tq_r_buffer_t in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
          tq_buffer_t out;
          int status;
          if (input.kind == 0) {
            tq_asn_sequenceof<tq_asn_integer> list;
            status = list.asnread(in);
            if (status == 0) status = list.asnwrite(out);
          } else if (input.kind == 1) {
            tq_asn_sequenceof<tq_asn_octetstring> list;
            status = list.asnread(in);
            if (status == 0) status = list.asnwrite(out);
          } else {
            tq_asn_sequenceof<tq_asn_sequenceof<tq_asn_integer>> list;
            status = list.asnread(in);
            if (status == 0) status = list.asnwrite(out);
          }
          if (status == 0) first_write.assign(out.data(), out.data() + out.used());
          return status;
        },
        [](int, bool) {});
    EXPECT_GE(points, 20);
    EXPECT_FALSE(first_write.empty());
    total_points += points;
  }
}

// Every conversion pair on a DirectoryString (which accepts every code
// set), into a buffer and in place: on a failure the buffer keeps its
// length and the string its value and code set.
TEST(GrowthFaults, CodeSetConversions) {
  const std::uint32_t sets[] = {tq_asn_cs_utf8, tq_asn_cs_printable, tq_asn_cs_t61,      tq_asn_cs_ia5,
                                tq_asn_cs_visible, tq_asn_cs_universal, tq_asn_cs_bmp};
  using into_fn = int (tq_asn_charstring::*)(tq_buffer_t&) const;
  using place_fn = int (tq_asn_charstring::*)();
  const into_fn into[] = {&tq_asn_charstring::convert2UTF8,    &tq_asn_charstring::convert2printable,
                          &tq_asn_charstring::convert2T61,     &tq_asn_charstring::convert2IA5,
                          &tq_asn_charstring::convert2visible, &tq_asn_charstring::convert2Univ,
                          &tq_asn_charstring::convert2BMP};
  const place_fn in_place[] = {&tq_asn_charstring::convert2UTF8,    &tq_asn_charstring::convert2printable,
                               &tq_asn_charstring::convert2T61,     &tq_asn_charstring::convert2IA5,
                               &tq_asn_charstring::convert2visible, &tq_asn_charstring::convert2Univ,
                               &tq_asn_charstring::convert2BMP};
  // Text every code set can hold: letters, digits and a space, made long
  // enough that conversions grow their buffers.
  std::string ascii;
  while (ascii.size() < 1200) ascii += "Abc 123 ";
  long points = 0;
  for (int to = 0; to < 7; ++to) {
    SCOPED_TRACE(sets[to]);
    // Stored as Printable text, then converted to every code set and back.
    for (int from = 0; from < 7; ++from) {
      tq_asn_directoryString source;
      ASSERT_EQ(source.set_value_printable(ascii.c_str()), 0);
      ASSERT_EQ((source.*in_place[from])(), 0);
      const std::vector<unsigned char> before(source.value().data(), source.value().data() + source.value().used());
      points += sweep(
          [&] {
            tq_buffer_t out;
            out.append("prefix");
            const int status = (source.*into[to])(out);
            if (status != 0 && out.used() != 6) return int{ASN_ERR_BAD_LENGTH};
            return status;
          },
          [](int, bool) {});
      points += sweep([&] {
        tq_asn_directoryString s;
        if (s.set_value_uninterpreted(before.data(), static_cast<std::uint32_t>(before.size())) != 0 ||
            s.set_codeset(sets[from]) != 0)
          return int{ASN_ERR_BAD_LENGTH};
        try {
          const int status = (s.*in_place[to])();
          if (status != 0) throw tq_asn_memexception("", "", 0);
          return status;
        } catch (const tq_asn_memexception&) {
          // The string is as it was.
          const std::vector<unsigned char> now(s.value().data(), s.value().data() + s.value().used());
          if (now != before || s.get_codeset() != sets[from]) return int{ASN_ERR_BAD_LENGTH};
          return int{ASN_ERR_MEMORY};
        }
      }, [](int, bool) {});
    }
  }
  EXPECT_GE(points, 98);
  total_points += points;
}

TEST(GrowthFaults, OpenTypeAndChoiceReading) {
  const std::vector<unsigned char> bytes = oxs_test::from_hex("A0 0A 30 08 04 02 41 42 0C 02 43 44");
  const long points = sweep(
      [&] {
        tq_asn_integer integer;
        tq_asn_any any;
        tq_asn_choice choice;
        choice.register_child(&integer);
        choice.register_child(&any);
        tq_r_buffer_t in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        int status = choice.asnread(in);
        tq_buffer_t out;
        if (status == 0) status = choice.asnwrite(out);
        if (status == 0 && out.used() != bytes.size()) return int{ASN_ERR_BAD_LENGTH};
        return status;
      },
      [](int, bool) {});
  EXPECT_GE(points, 2);
  total_points += points;
}

TEST(GrowthFaults, RawScannerResults) {
  std::vector<unsigned char> bytes = oxs_test::from_hex("03 03 06 6E 5D 06 03 2A 86 48 04 04 01 02 03 04");
  const long points = sweep(
      [&] {
        unsigned char* p = bytes.data();
        unsigned int left = static_cast<unsigned int>(bytes.size());
        unsigned int tag = 0;
        int constructed = 0;
        int cls = 0;
        int definite = 0;
        unsigned int length = 0;
        unsigned char* bits = nullptr;
        unsigned int nbits = 0;
        tq_asn_buffer_t oid;
        unsigned char* octets = nullptr;
        unsigned int n = 0;
        int status = tqAsnGetType(&p, &left, &tag, &constructed, &cls);
        if (status == 0) status = tqAsnGetLength(&p, &left, &definite, &length);
        if (status == 0) status = tqAsnGetBitstringValue(&p, &left, length, &bits, &nbits);
        if (status == 0) status = tqAsnGetType(&p, &left, &tag, &constructed, &cls);
        if (status == 0) status = tqAsnGetLength(&p, &left, &definite, &length);
        if (status == 0) status = tqAsnGetOIDValue(&p, &left, length, &oid);
        if (status == 0) status = tqAsnGetType(&p, &left, &tag, &constructed, &cls);
        if (status == 0) status = tqAsnGetLength(&p, &left, &definite, &length);
        if (status == 0) status = tqAsnGetOctetstringValue(&p, &left, length, &octets, &n);
        std::free(bits);
        if (oid.data != nullptr) tq_asn_buffer_free(oid);
        std::free(octets);
        return status;
      },
      [](int, bool) {});
  EXPECT_EQ(points, 3);
  total_points += points;
}

TEST(GrowthFaults, Summary) {
  RecordProperty("failure_points", static_cast<int>(total_points));
  std::printf("[ failure points ] runtime growth paths: %ld\n", total_points);
}

}  // namespace
