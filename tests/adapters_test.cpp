// Field adapters over the table tests/data/adapters.txt: integers of every
// width, zero-terminated strings and single characters in an OCTET STRING,
// byte blocks and fixed fields, and text in the plain and local-code-set
// modes, with their defaults and absent values. Every set and get also runs
// with each of its allocations failing in turn.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include <oxserutl/asnutils.h>

#include "test_util.h"

using oxs_test::from_hex;
using oxs_test::status_name;
using oxs_test::to_hex;

namespace {

struct adapter {
  explicit adapter(const std::string& kind)
      : kind(kind), text(kind == "lcs" ? security_lcs : security_normal) {}
  tq_asn_object& object() {
    if (kind == "int") return integer;
    return kind == "utf8" || kind == "lcs" ? static_cast<tq_asn_object&>(text) : octets;
  }
  int set(const std::string& given) {
    if (given == "default") {
      integer.set_optional(1);
      integer.set_default_value();
      octets.set_default_value();
      return text.set_default_value(), 0;
    }
    if (kind == "int") return integer.set_value(static_cast<std::int32_t>(std::stol(given)));
    const auto bytes = from_hex(given == "null" || given == "(none)" ? "" : given);
    const std::string value(bytes.begin(), bytes.end());
    const char* s = given == "null" ? nullptr : value.c_str();
    if (kind == "char") return octets.set_value(static_cast<unsigned char>(bytes.at(0)));
    if (kind == "block") return octets.set_value(s == nullptr ? nullptr : bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return kind == "octets" ? octets.set_value(s) : text.set_value(s);
  }
  // The value read back as the table writes it, behind "<STATUS> " when
  // get_value fails; strings show `shown` octets (the text its terminator).
  std::string get(std::size_t shown) const {
    int status = 0;
    std::string v;
    if (kind == "int") {
      std::int32_t l = 7;
      std::uint16_t s = 7;
      std::uint8_t c = 7;
      status = integer.get_value(l) | integer.get_value(s) | integer.get_value(c);
      v = std::to_string(l) + " " + std::to_string(s) + " " + std::to_string(c);
    } else if (kind == "char") {
      unsigned char c = 0x55;
      status = octets.get_value(c);
      v = to_hex(&c, 1);
    } else if (kind.compare(0, 5, "fixed") == 0) {
      unsigned char dest[8];
      std::memset(dest, 0xFF, sizeof dest);
      status = octets.get_value(static_cast<std::uint32_t>(std::stoul(kind.substr(5))), dest);
      v = to_hex(dest, sizeof dest);
    } else if (kind == "block") {
      unsigned char untouched = 0, *p = &untouched;
      std::uint32_t n = 99;
      status = octets.get_value(p, n);
      v = p == nullptr ? "null " + std::to_string(n) : p == &untouched ? "untouched" : to_hex(p, n);
      if (p != &untouched) octets.free_obj(p);
    } else {
      char untouched = 0, *out = &untouched;
      try {
        status = kind == "octets" ? octets.get_value(out) : text.get_value(out);
      } catch (const tq_asn_memexception&) {
        if (out != nullptr) return "raised and handed out a string";
        throw;
      }
      const auto p = reinterpret_cast<const unsigned char*>(out);
      v = out == nullptr ? "null" : out == &untouched ? "untouched" : to_hex(p, kind == "octets" ? shown : std::strlen(out) + 1);
      if (out != &untouched) text.free_obj(out);
    }
    return status != 0 ? "<" + status_name(status) + "> " + v : v;
  }
  std::string kind;
  tqasn_integer integer;
  tqasn_octetstring octets;
  tqasnUTF8String text;
};

// A value given is set and written, then read back from the wire (from the
// adapter itself when nothing is written); "-" only reads the wire, and
// "absent" sets nothing.
TEST(Adapters, TextTable) {
  auto memory_or_ok = [](int status, bool fired) { EXPECT_TRUE(status == 0 || (fired && status == int{ASN_ERR_MEMORY})); };
  for (const oxs_test::row& r : oxs_test::read_table("adapters.txt", 5)) {
    SCOPED_TRACE(r.where);
    oxs_test::scoped_locale locale({r[1].c_str()});
    if (!locale.ok()) continue;  // reported by the local-code-set tests
#if defined(_WIN32)
    if (r[0] == "lcs") continue;  // the local code set is the ANSI code page there (code_page_test.cpp)
#endif
    const std::string wire = r[3] == "(none)" ? "" : r[3];
    adapter given(r[0]), read(r[0]);
    const bool set = r[2] != "-" && r[2] != "absent";
    if (set) {
      ASSERT_EQ(given.set(r[2]), 0);
      EXPECT_EQ(oxs_test::write_hex(given.object()), wire);
      oxs_test::sweep([&] { return adapter(r[0]).set(r[2]); }, memory_or_ok);
    }
    oxs_test::hex_view in(wire);
    if (!wire.empty()) ASSERT_EQ(read.object().asnread(in.view()), 0);
    const adapter& back = wire.empty() ? given : read;
    const std::size_t shown = r[0] == "octets" && r[4][0] != '<' ? from_hex(r[4]).size() : 0;
    EXPECT_EQ(back.get(shown), r[4]);
    oxs_test::sweep(
        [&] {
          const std::string v = back.get(shown);
          return v == r[4] ? 0 : v == "<ASN_ERR_MEMORY> null" ? int{ASN_ERR_MEMORY} : -1;
        },
        memory_or_ok);
  }
}

}  // namespace
