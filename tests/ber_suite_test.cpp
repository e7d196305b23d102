// The public BER decoding test suite (tests/data/ber-suite, MIT licence),
// read through the entry points it exercises: the identifier and length
// scanners, the open type, and the INTEGER, BOOLEAN, NULL, BIT STRING and
// OCTET STRING readers. The expected status is this library's own rule;
// where it differs from the suite's verdict the reason says why.
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/asnchoice.h>
#include <oxserutl/asnscan.h>

#include "test_util.h"

using oxs_test::hex_view;
using oxs_test::status_name;
using oxs_test::to_hex;

namespace {

std::vector<unsigned char> suite_file(const std::string& name) {
  std::ifstream file(std::string(OXSERUTL_BER_SUITE_DIR) + "/" + name, std::ios::binary);
  if (!file) throw std::runtime_error("missing suite file " + name);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The readers a file is given to, as bits: each reader gets a fresh copy.
enum reader : unsigned { scan = 1, any = 2, integer = 4, boolean = 8, null = 16, bitstring = 32, octetstring = 64 };

// Identifier and length with the scanners, then the contents with the
// scanner of the universal primitive type (3 to 6; NULL reads nothing);
// other contents are stepped over.
int scan_element(tq_r_buffer_t& view) {
  unsigned char* p = view.current();
  unsigned int remaining = view.length();
  unsigned int tag = 0, length = 0;
  int constructed = 0, cls = 0, definite = 0;
  int status = tqAsnGetType(&p, &remaining, &tag, &constructed, &cls);
  if (status == 0) status = tqAsnGetLength(&p, &remaining, &definite, &length);
  if (status != 0) return status;
  unsigned char* block = nullptr;
  unsigned int count = 0;
  tq_asn_buffer_t oid;
  const bool scanned = cls == 0 && !constructed && tag >= 3 && tag <= 6;
  if (scanned && tag == 3) status = tqAsnGetBitstringValue(&p, &remaining, length, &block, &count);
  if (scanned && tag == 4) status = tqAsnGetOctetstringValue(&p, &remaining, length, &block, &count);
  if (scanned && tag == 5) status = tqAsnGetNullValue(&p, &remaining);
  if (scanned && tag == 6) status = tqAsnGetOIDValue(&p, &remaining, length, &oid);
  std::free(block);
  std::free(oid.data);
  if (!scanned && (!definite || length > remaining)) status = ASN_ERR_TRUNCATED;
  if (status != 0) return status;
  if (!scanned) p += length, remaining -= length;
  view.set_cursor(p, remaining);
  return 0;
}

template <class T>
int read_with(tq_r_buffer_t& view) {
  T object;
  return object.asnread(view);
}

int read(unsigned how, tq_r_buffer_t& view) {
  switch (how) {
    case scan: return scan_element(view);
    case any: return read_with<tq_asn_any>(view);
    case integer: return read_with<tq_asn_integer>(view);
    case boolean: return read_with<tq_asn_boolean>(view);
    case null: return read_with<tq_asn_null>(view);
    case bitstring: return read_with<tq_asn_bitstring>(view);
    case octetstring: return read_with<tq_asn_octetstring>(view);
  }
  return -1;
}

struct suite_case { const char* file; unsigned readers; int status; const char* reason; };

const suite_case kSuiteCases[] = {
    // Identifier octets (X.690 8.1.2).
    {"tc1.ber", scan, 0, "a 70-bit tag number is kept to its low 32 bits"},
    {"tc1.ber", any, 0, "the open type adopts that tag"},
    {"tc2.ber", scan | any, ASN_ERR_TRUNCATED, "the tag number never ends"},
    // Length octets (X.690 8.1.3).
    {"tc3.ber", scan | any, ASN_ERR_TRUNCATED, "no length octets"},
    {"tc4.ber", scan | any, ASN_ERR_TRUNCATED, "FF announces 127 length octets that are missing"},
    {"tc5.ber", scan | any, 0, "a non-minimal long form is BER"},
    // REAL: the library has no REAL type; the open type keeps any complete
    // contents raw and refuses only those that run off the end.
    {"tc6.ber", any, 0, "contents not interpreted (suite: invalid)"},
    {"tc7.ber", any, 0, "contents not interpreted (suite: invalid)"}, {"tc8.ber", any, 0, "contents not interpreted"},
    {"tc9.ber", any, 0, "contents not interpreted (suite: invalid)"},
    {"tc10.ber", any, 0, "contents not interpreted"},
    {"tc11.ber", any, 0, "contents not interpreted (suite: invalid)"},
    {"tc12.ber", any, 0, "contents not interpreted (suite: invalid)"},
    {"tc13.ber", any, ASN_ERR_TRUNCATED, "length 7, six content octets"},
    {"tc14.ber", any, ASN_ERR_TRUNCATED, "length 7, two content octets"},
    {"tc15.ber", any, 0, "contents not interpreted"}, {"tc16.ber", any, 0, "contents not interpreted"},
    {"tc17.ber", any, 0, "contents not interpreted"},
    // INTEGER.
    {"tc18.ber", integer, 0, "a non-minimal INTEGER is read as it is"},
    {"tc19.ber", integer, ASN_ERR_TRUNCATED, "length 1, no content octet"},
    {"tc20.ber", integer, 0, "read; only asking for a 32-bit value fails"},
    // OBJECT IDENTIFIER: the scanner copies the contents undecoded.
    {"tc21.ber", scan, 0, "subidentifiers are not decoded"}, {"tc22.ber", scan, 0, "subidentifiers are not decoded"},
    {"tc23.ber", scan, ASN_ERR_TRUNCATED, "length 17, six content octets"}, {"tc24.ber", scan, 0, "ordinary OID"},
    // BOOLEAN: exactly one content octet (X.690 8.2.1).
    {"tc25.ber", boolean, ASN_ERR_BAD_LENGTH, "three content octets (suite: valid)"},
    {"tc26.ber", boolean, ASN_ERR_BAD_LENGTH, "three content octets (suite: valid)"},
    {"tc27.ber", boolean, ASN_ERR_TRUNCATED, "length 3, no content octets"},
    {"tc28.ber", boolean, 0, "TRUE"}, {"tc29.ber", boolean, 0, "FALSE"},
    // NULL: no content octets (X.690 8.8.2).
    {"tc30.ber", null, ASN_ERR_BAD_LENGTH, "three content octets (suite: valid)"},
    {"tc31.ber", null, ASN_ERR_TRUNCATED, "length 3, two content octets"},
    {"tc32.ber", null, 0, "ordinary NULL"}, {"tc32.ber", scan, 0, "the NULL scanner reads nothing"},
    // BIT STRING (X.690 8.6). Indefinite lengths are refused outright.
    {"tc33.ber", bitstring, ASN_ERR_BAD_BITSTRING, "unused-bits octet 0F"},
    {"tc33.ber", scan, ASN_ERR_BAD_LENGTH, "unused-bits octet 0F"},
    {"tc34.ber", bitstring | scan, ASN_ERR_TRUNCATED, "length 2, one content octet"},
    {"tc35.ber", bitstring | any, ASN_ERR_INDEFINITE_NOT_PERMITTED, "indefinite length"},
    {"tc36.ber", bitstring, ASN_ERR_INDEFINITE_NOT_PERMITTED, "indefinite length"},
    {"tc37.ber", bitstring, 0, "constructed, definite, last segment with 4 unused bits"},
    {"tc38.ber", bitstring, ASN_ERR_INDEFINITE_NOT_PERMITTED, "indefinite length (suite: valid)"},
    {"tc39.ber", bitstring, ASN_ERR_BAD_BITSTRING, "constructed without segments (suite: valid)"},
    {"tc40.ber", bitstring, ASN_ERR_BAD_BITSTRING, "no unused-bits octet (suite: valid)"},
    {"tc40.ber", scan, ASN_ERR_ZERO_LENGTH, "no unused-bits octet"},
    {"tc46.ber", bitstring, ASN_ERR_INDEFINITE_NOT_PERMITTED, "primitive with indefinite length"},
    {"tc47.ber", bitstring, ASN_ERR_TAG_MISMATCH, "00 00 among definite-length segments"},
    {"tc48.ber", bitstring, ASN_ERR_INDEFINITE_NOT_PERMITTED, "indefinite length"},
    // OCTET STRING (X.690 8.7).
    {"tc41.ber", octetstring, ASN_ERR_TAG_MISMATCH, "BIT STRING segments"},
    {"tc42.ber", octetstring, ASN_ERR_TRUNCATED, "a segment announces 95 octets"},
    {"tc43.ber", octetstring | scan, ASN_ERR_TRUNCATED, "length 3, no content octets"},
    {"tc44.ber", octetstring, 0, "empty, primitive"},
    {"tc44.ber", scan, ASN_ERR_ZERO_LENGTH, "the scanner wants contents"},
    {"tc45.ber", octetstring, 0, "empty, constructed"},
};

TEST(BerSuite, ExpectedStatusPerFile) {
  for (const suite_case& c : kSuiteCases) {
    for (unsigned how = 1; how <= octetstring; how <<= 1) {
      if ((c.readers & how) == 0) continue;
      SCOPED_TRACE(std::string(c.file) + " reader " + std::to_string(how) + ": " + c.reason);
      hex_view in(suite_file(c.file));
      EXPECT_EQ(status_name(read(how, in.view())), status_name(c.status));
      // Success consumes the whole element; failure consumes nothing.
      EXPECT_EQ(in.consumed(), c.status == 0 ? in.size() : 0u);
    }
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

// Reads a suite file with `object`, which must take all of it.
template <class T>
void read_file(T& object, const char* file) {
  hex_view in(suite_file(file));
  EXPECT_EQ(status_name(object.asnread(in.view())), "ASN_OK") << file;
  EXPECT_EQ(in.view().length(), 0u) << file;
}

TEST(BerSuiteValues, ValuesOfTheFilesRead) {
  // tc1, tc5: 9F, then nine groups of seven one-bits (low 32 bits kept), and
  // the one content octet 40.
  tq_asn_any any;
  unsigned char* bytes = nullptr;
  std::uint32_t n = 0;
  for (const char* file : {"tc1.ber", "tc5.ber"}) {
    read_file(any, file);
    EXPECT_EQ(any.get_tag(), 0xFFFFFFFFu) << file;
    EXPECT_EQ(any.get_class(), 2) << file;
    ASSERT_EQ(any.get_value(bytes, n), 0);
    EXPECT_EQ(to_hex(bytes, n), "40") << file;
  }

  // tc18: FF F0 01, non-minimal; tc20: nine content octets.
  tq_asn_integer integer;
  std::int32_t v = 0;
  read_file(integer, "tc18.ber");
  ASSERT_EQ(integer.get_value(v), 0);
  EXPECT_EQ(v, -4095);
  read_file(integer, "tc20.ber");
  EXPECT_EQ(status_name(integer.get_value(v)), "ASN_ERR_TOO_LARGE");

  tq_asn_boolean boolean;
  int b = -1;
  read_file(boolean, "tc28.ber");
  ASSERT_EQ(boolean.get_value(b), 0);
  EXPECT_NE(b, 0);
  read_file(boolean, "tc29.ber");
  ASSERT_EQ(boolean.get_value(b), 0);
  EXPECT_EQ(b, 0);

  // 23 0C {03 02 00 01} {03 02 00 01} {03 02 04 0F}: the unused low bits of
  // the last octet are cleared.
  tq_asn_bitstring bits;
  read_file(bits, "tc37.ber");
  ASSERT_EQ(bits.get_value(bytes, n), 0);
  EXPECT_EQ(n, 20u);
  EXPECT_EQ(to_hex(bytes, 3), "01 01 00");

  tq_asn_octetstring octets;
  for (const char* file : {"tc44.ber", "tc45.ber"}) {
    read_file(octets, file);
    ASSERT_EQ(octets.get_value(bytes, n), 0);
    EXPECT_EQ(n, 0u) << file;
  }

  // The OID scanner hands back the 21 content octets unchanged.
  const std::vector<unsigned char> tc24 = suite_file("tc24.ber");
  hex_view in(tc24);
  unsigned char* p = in.begin() + 2;
  unsigned int remaining = in.size() - 2;
  tq_asn_buffer_t oid;
  ASSERT_EQ(tqAsnGetOIDValue(&p, &remaining, 21, &oid), 0);
  EXPECT_EQ(to_hex(oid.data, oid.length), to_hex(tc24.data() + 2, 21));
  std::free(oid.data);
}

}  // namespace
