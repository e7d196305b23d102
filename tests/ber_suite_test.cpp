// The public BER decoding test suite (tests/data/ber-suite, MIT licence),
// read through the entry points it exercises: the identifier and length
// scanners, the open type, and the INTEGER, BOOLEAN, NULL, BIT STRING and
// OCTET STRING readers. The expected status is this library's own rule;
// where it differs from the suite's verdict the reason says why.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/asnchoice.h>
#include <oxserutl/asnscan.h>

#include "hexio.h"

namespace {

std::vector<unsigned char> suite_file(const std::string& name) {
  std::ifstream file(std::string(OXSERUTL_BER_SUITE_DIR) + "/" + name, std::ios::binary);
  if (!file) throw std::runtime_error("missing suite file " + name);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

enum class reader { scan, any, integer, boolean, null, bitstring, octetstring };

// Identifier and length with the scanners, then the contents with the
// scanner of the universal primitive type (3, 4, 6; NULL reads nothing);
// other contents are stepped over.
int scan_element(tq_r_buffer_t& view) {
  unsigned char* p = view.current();
  unsigned int remaining = view.length();
  unsigned int tag = 0;
  int constructed = 0;
  int cls = 0;
  int status = tqAsnGetType(&p, &remaining, &tag, &constructed, &cls);
  if (status != 0) return status;
  int definite = 0;
  unsigned int length = 0;
  status = tqAsnGetLength(&p, &remaining, &definite, &length);
  if (status != 0) return status;
  if (cls == 0 && !constructed) {
    unsigned char* block = nullptr;
    unsigned int count = 0;
    tq_asn_buffer_t oid;
    if (tag == 3) status = tqAsnGetBitstringValue(&p, &remaining, length, &block, &count);
    if (tag == 4) status = tqAsnGetOctetstringValue(&p, &remaining, length, &block, &count);
    if (tag == 5) status = tqAsnGetNullValue(&p, &remaining);
    if (tag == 6) status = tqAsnGetOIDValue(&p, &remaining, length, &oid);
    std::free(block);
    std::free(oid.data);
    if (status != 0) return status;
  } else {
    // Contents of other types are stepped over.
    if (!definite || length > remaining) return ASN_ERR_TRUNCATED;
    p += length;
    remaining -= length;
  }
  view.set_cursor(p, remaining);
  return 0;
}

template <class T>
int read_with(tq_r_buffer_t& view) {
  T object;
  return object.asnread(view);
}

int read(reader how, tq_r_buffer_t& view) {
  switch (how) {
    case reader::scan: return scan_element(view);
    case reader::any: return read_with<tq_asn_any>(view);
    case reader::integer: return read_with<tq_asn_integer>(view);
    case reader::boolean: return read_with<tq_asn_boolean>(view);
    case reader::null: return read_with<tq_asn_null>(view);
    case reader::bitstring: return read_with<tq_asn_bitstring>(view);
    case reader::octetstring: return read_with<tq_asn_octetstring>(view);
  }
  return -1;
}

struct suite_case {
  const char* file;
  reader how;
  int status;
  const char* reason;
};

const suite_case kSuiteCases[] = {
    // Identifier octets (X.690 8.1.2).
    {"tc1.ber", reader::scan, 0, "a 70-bit tag number is kept to its low 32 bits"},
    {"tc1.ber", reader::any, 0, "the open type adopts that tag"},
    {"tc2.ber", reader::scan, ASN_ERR_TRUNCATED, "the tag number never ends"},
    {"tc2.ber", reader::any, ASN_ERR_TRUNCATED, "the tag number never ends"},
    // Length octets (X.690 8.1.3).
    {"tc3.ber", reader::scan, ASN_ERR_TRUNCATED, "no length octets"},
    {"tc3.ber", reader::any, ASN_ERR_TRUNCATED, "no length octets"},
    {"tc4.ber", reader::scan, ASN_ERR_TRUNCATED, "FF announces 127 length octets that are missing"},
    {"tc4.ber", reader::any, ASN_ERR_TRUNCATED, "FF announces 127 length octets that are missing"},
    {"tc5.ber", reader::scan, 0, "a non-minimal long form is BER"},
    {"tc5.ber", reader::any, 0, "a non-minimal long form is BER"},
    // REAL: the library has no REAL type; the open type keeps any complete
    // contents raw and refuses only those that run off the end.
    {"tc6.ber", reader::any, 0, "contents not interpreted (suite: invalid)"},
    {"tc7.ber", reader::any, 0, "contents not interpreted (suite: invalid)"},
    {"tc8.ber", reader::any, 0, "contents not interpreted"},
    {"tc9.ber", reader::any, 0, "contents not interpreted (suite: invalid)"},
    {"tc10.ber", reader::any, 0, "contents not interpreted"},
    {"tc11.ber", reader::any, 0, "contents not interpreted (suite: invalid)"},
    {"tc12.ber", reader::any, 0, "contents not interpreted (suite: invalid)"},
    {"tc13.ber", reader::any, ASN_ERR_TRUNCATED, "length 7, six content octets"},
    {"tc14.ber", reader::any, ASN_ERR_TRUNCATED, "length 7, two content octets"},
    {"tc15.ber", reader::any, 0, "contents not interpreted"},
    {"tc16.ber", reader::any, 0, "contents not interpreted"},
    {"tc17.ber", reader::any, 0, "contents not interpreted"},
    // INTEGER.
    {"tc18.ber", reader::integer, 0, "a non-minimal INTEGER is read as it is"},
    {"tc19.ber", reader::integer, ASN_ERR_TRUNCATED, "length 1, no content octet"},
    {"tc20.ber", reader::integer, 0, "read; only asking for a 32-bit value fails"},
    // OBJECT IDENTIFIER: the scanner copies the contents undecoded.
    {"tc21.ber", reader::scan, 0, "subidentifiers are not decoded"},
    {"tc22.ber", reader::scan, 0, "subidentifiers are not decoded"},
    {"tc23.ber", reader::scan, ASN_ERR_TRUNCATED, "length 17, six content octets"},
    {"tc24.ber", reader::scan, 0, "ordinary OID"},
    // BOOLEAN: exactly one content octet (X.690 8.2.1).
    {"tc25.ber", reader::boolean, ASN_ERR_BAD_LENGTH, "three content octets (suite: valid)"},
    {"tc26.ber", reader::boolean, ASN_ERR_BAD_LENGTH, "three content octets (suite: valid)"},
    {"tc27.ber", reader::boolean, ASN_ERR_TRUNCATED, "length 3, no content octets"},
    {"tc28.ber", reader::boolean, 0, "TRUE"},
    {"tc29.ber", reader::boolean, 0, "FALSE"},
    // NULL: no content octets (X.690 8.8.2).
    {"tc30.ber", reader::null, ASN_ERR_BAD_LENGTH, "three content octets (suite: valid)"},
    {"tc31.ber", reader::null, ASN_ERR_TRUNCATED, "length 3, two content octets"},
    {"tc32.ber", reader::null, 0, "ordinary NULL"},
    {"tc32.ber", reader::scan, 0, "the NULL scanner reads nothing"},
    // BIT STRING (X.690 8.6). Indefinite lengths are refused outright.
    {"tc33.ber", reader::bitstring, ASN_ERR_BAD_BITSTRING, "unused-bits octet 0F"},
    {"tc33.ber", reader::scan, ASN_ERR_BAD_LENGTH, "unused-bits octet 0F"},
    {"tc34.ber", reader::bitstring, ASN_ERR_TRUNCATED, "length 2, one content octet"},
    {"tc34.ber", reader::scan, ASN_ERR_TRUNCATED, "length 2, one content octet"},
    {"tc35.ber", reader::bitstring, ASN_ERR_INDEFINITE_NOT_PERMITTED, "indefinite length"},
    {"tc35.ber", reader::any, ASN_ERR_INDEFINITE_NOT_PERMITTED, "indefinite length"},
    {"tc36.ber", reader::bitstring, ASN_ERR_INDEFINITE_NOT_PERMITTED, "indefinite length"},
    {"tc37.ber", reader::bitstring, 0, "constructed, definite, last segment with 4 unused bits"},
    {"tc38.ber", reader::bitstring, ASN_ERR_INDEFINITE_NOT_PERMITTED, "indefinite length (suite: valid)"},
    {"tc39.ber", reader::bitstring, ASN_ERR_BAD_BITSTRING, "constructed without segments (suite: valid)"},
    {"tc40.ber", reader::bitstring, ASN_ERR_BAD_BITSTRING, "no unused-bits octet (suite: valid)"},
    {"tc40.ber", reader::scan, ASN_ERR_ZERO_LENGTH, "no unused-bits octet"},
    {"tc46.ber", reader::bitstring, ASN_ERR_INDEFINITE_NOT_PERMITTED, "primitive with indefinite length"},
    {"tc47.ber", reader::bitstring, ASN_ERR_TAG_MISMATCH, "00 00 among definite-length segments"},
    {"tc48.ber", reader::bitstring, ASN_ERR_INDEFINITE_NOT_PERMITTED, "indefinite length"},
    // OCTET STRING (X.690 8.7).
    {"tc41.ber", reader::octetstring, ASN_ERR_TAG_MISMATCH, "BIT STRING segments"},
    {"tc42.ber", reader::octetstring, ASN_ERR_TRUNCATED, "a segment announces 95 octets"},
    {"tc43.ber", reader::octetstring, ASN_ERR_TRUNCATED, "length 3, no content octets"},
    {"tc43.ber", reader::scan, ASN_ERR_TRUNCATED, "length 3, no content octets"},
    {"tc44.ber", reader::octetstring, 0, "empty, primitive"},
    {"tc44.ber", reader::scan, ASN_ERR_ZERO_LENGTH, "the scanner wants contents"},
    {"tc45.ber", reader::octetstring, 0, "empty, constructed"},
};

TEST(BerSuite, ExpectedStatusPerFile) {
  for (const suite_case& c : kSuiteCases) {
    SCOPED_TRACE(std::string(c.file) + ": " + c.reason);
    hexio::input in(suite_file(c.file));
    EXPECT_EQ(hexio::name(read(c.how, in.view())), hexio::name(c.status));
    // Success consumes the whole element; failure consumes nothing.
    EXPECT_EQ(in.consumed(), c.status == 0 ? in.size() : 0u);
  }
}

TEST(BerSuite, EveryFileIsCovered) {
  for (int i = 1; i <= 48; ++i) {
    const std::string name = "tc" + std::to_string(i) + ".ber";
    SCOPED_TRACE(name);
    bool listed = false;
    for (const suite_case& c : kSuiteCases) listed = listed || name == c.file;
    EXPECT_TRUE(listed);
  }
}

// --- values of the files that are read ---------------------------------------

TEST(BerSuiteValues, Identifiers) {
  hexio::input tc1(suite_file("tc1.ber"));
  tq_asn_any any;
  ASSERT_EQ(any.asnread(tc1.view()), 0);
  EXPECT_EQ(any.get_tag(), 0xFFFFFFFFu);
  EXPECT_EQ(any.get_class(), 2);
  unsigned char* bytes = nullptr;
  std::uint32_t length = 0;
  ASSERT_EQ(any.get_value(bytes, length), 0);
  EXPECT_EQ(hexio::hex(bytes, length), "40");

  hexio::input tc5(suite_file("tc5.ber"));
  ASSERT_EQ(any.asnread(tc5.view()), 0);
  EXPECT_EQ(any.get_tag(), 0xFFFFFFFFu);  // nine groups of seven one-bits, low 32 bits kept
  ASSERT_EQ(any.get_value(bytes, length), 0);
  EXPECT_EQ(hexio::hex(bytes, length), "40");
}

TEST(BerSuiteValues, IntegersAndBooleans) {
  tq_asn_integer integer;
  std::int32_t v = 0;
  hexio::input tc18(suite_file("tc18.ber"));
  ASSERT_EQ(integer.asnread(tc18.view()), 0);
  ASSERT_EQ(integer.get_value(v), 0);
  EXPECT_EQ(v, -4095);
  hexio::input tc20(suite_file("tc20.ber"));
  ASSERT_EQ(integer.asnread(tc20.view()), 0);
  EXPECT_EQ(hexio::name(integer.get_value(v)), "ASN_ERR_TOO_LARGE");

  tq_asn_boolean boolean;
  int b = -1;
  hexio::input tc28(suite_file("tc28.ber"));
  ASSERT_EQ(boolean.asnread(tc28.view()), 0);
  ASSERT_EQ(boolean.get_value(b), 0);
  EXPECT_NE(b, 0);
  hexio::input tc29(suite_file("tc29.ber"));
  ASSERT_EQ(boolean.asnread(tc29.view()), 0);
  ASSERT_EQ(boolean.get_value(b), 0);
  EXPECT_EQ(b, 0);
}

TEST(BerSuiteValues, Strings) {
  // 23 0C {03 02 00 01} {03 02 00 01} {03 02 04 0F}: the unused low bits of
  // the last octet are cleared.
  tq_asn_bitstring bits;
  hexio::input tc37(suite_file("tc37.ber"));
  ASSERT_EQ(bits.asnread(tc37.view()), 0);
  unsigned char* bytes = nullptr;
  std::uint32_t n = 0;
  ASSERT_EQ(bits.get_value(bytes, n), 0);
  EXPECT_EQ(n, 20u);
  EXPECT_EQ(hexio::hex(bytes, 3), "01 01 00");

  tq_asn_octetstring octets;
  for (const char* file : {"tc44.ber", "tc45.ber"}) {
    SCOPED_TRACE(file);
    hexio::input in(suite_file(file));
    ASSERT_EQ(octets.asnread(in.view()), 0);
    ASSERT_EQ(octets.get_value(bytes, n), 0);
    EXPECT_EQ(n, 0u);
  }

  // The OID scanner hands back the 21 content octets unchanged.
  const std::vector<unsigned char> tc24 = suite_file("tc24.ber");
  hexio::input in(tc24);
  unsigned char* p = in.begin() + 2;
  unsigned int remaining = in.size() - 2;
  tq_asn_buffer_t oid;
  ASSERT_EQ(tqAsnGetOIDValue(&p, &remaining, 21, &oid), 0);
  EXPECT_EQ(hexio::hex(oid.data, oid.length), hexio::hex(tc24.data() + 2, 21));
  std::free(oid.data);
}

}  // namespace
