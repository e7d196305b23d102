// The oxser program as its users run it, from the case tables beside this
// file: golden outputs (golden.txt), damaged input and bad usage
// (failures.txt), encodings longer than the shortest (noncanonical.txt); the
// element tree checked against OpenSSL's asn1parse; and a 20 MB buffer
// dumped within a memory bound.
#include <algorithm>
#include <clocale>
#include <cstdlib>

#include "tool_run.h"

namespace {

using namespace oxser_test;

#ifdef OXSER_SANITIZED
constexpr long kMemoryBoundKb = 1L << 40;  // a sanitizer's own memory is not bounded here
#else
constexpr long kMemoryBoundKb = 64 * 1024;
#endif

// EXPECTED: "=FILE", standard output equals the file in tests/tools ("=@FILE":
// a sample; OXSER_UPDATE_GOLDEN=1 rewrites those under golden/); else a
// fragment looked for on standard error, or on standard output when STATUS is
// 0 ("2>" before one: on standard error). On failure nothing is written to
// standard output, but by dump, whose last line then shows the first fragment
// after "**".
void check_table(const std::string& file) {
  for (const table_row& c : table(file)) {
    SCOPED_TRACE(c.where);
    if (!c.args.empty() && c.args[0].rfind("LC_ALL=", 0) == 0) {  // only where the locale is
      const locale_t locale = newlocale(LC_ALL_MASK, c.args[0].c_str() + 7, nullptr);
      if (locale == nullptr) continue;
      freelocale(locale);
    }
    const result r = run(c.args, c.input);
    EXPECT_EQ(r.status, c.status) << r.err;
    bool warned = false, golden = false;
    for (std::string f : c.expected) {
      if (f[0] == '=') {
        const std::string path = f[1] == '@' ? sample_path(f.substr(2)) : OXSER_TEST_DIR "/" + f.substr(1);
        if (std::getenv("OXSER_UPDATE_GOLDEN") != nullptr && f.rfind("=golden/", 0) == 0) write_file(path, r.out);
        EXPECT_EQ(r.out, read_file(path)) << "golden file " << path;
        golden = true;
        continue;
      }
      const bool to_err = f.rfind("2>", 0) == 0;
      if (to_err) f.erase(0, f.find_first_not_of(' ', 2));
      warned |= to_err;
      EXPECT_NE((c.status != 0 || to_err ? r.err : r.out).find(f), std::string::npos) << f << "\n" << r.err << r.out;
    }
    if (c.status == 0 && !warned) EXPECT_EQ(r.err, "");
    if (c.status == 0 || golden) continue;
    const std::string last_line = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
    if (!c.args.empty() && c.args[0] == "dump" && !r.out.empty())
      EXPECT_NE(last_line.find("  ** " + c.expected.at(0)), std::string::npos) << r.out;
    else
      EXPECT_EQ(r.out, "");
    if (c.status == 1) EXPECT_EQ(r.err.rfind("oxser " + c.args.at(0) + ": ", 0), 0u) << r.err;
  }
}

TEST(Tool, GoldenOutputs) { check_table("golden.txt"); }
TEST(Tool, FailuresExitStatusAndMessage) { check_table("failures.txt"); }
TEST(Tool, NoncanonicalEncodingsWarnInDumpAndAreRefusedByStrictDecode) { check_table("noncanonical.txt"); }

// A failed command does not create or change its output file.
TEST(Tool, FailureLeavesOutputFileUntouched) {
  const std::string out = temp("untouched");
  write_file(out, "before");
  EXPECT_EQ(run({"decode", "-t", "acl_ext_t", "-o", out}, input_of("@acl:<278")).status, 1);
  EXPECT_EQ(read_file(out), "before");
  std::remove(out.c_str());
  EXPECT_EQ(run({"dump", "-o", out}, "zz").status, 1);
  EXPECT_NE(access(out.c_str(), F_OK), 0);
}

// An independent reader of the same bytes: OpenSSL's asn1parse reports
// offset, depth, header length and length of every element; the dump must
// give the same elements at the same offsets (shifted by the envelope).
TEST(Tool, DumpTreeMatchesOpensslAsn1parse) {
  if (std::system("openssl version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no openssl program";
  const std::string der = temp("der"), listing = temp("listing");
  for (const auto& [name, type] : kSamples) {
    SCOPED_TRACE(name);
    write_file(der, read_file(sample_path(std::string(name) + ".ber")).substr(4));
    ASSERT_EQ(std::system(("openssl asn1parse -inform DER -in " + der + " > " + listing).c_str()), 0);
    std::istringstream theirs(read_file(listing)), ours(run({"dump", sample_path(std::string(name) + ".ber")}).out);
    std::string line, their_line;
    std::getline(ours, line);  // the envelope
    while (std::getline(theirs, their_line)) {
      unsigned offset = 0, depth = 0, header = 0, length = 0, our_offset = 0;
      char form[8] = {0};
      ASSERT_EQ(std::sscanf(their_line.c_str(), " %u:d=%u hl=%u l=%u %4s", &offset, &depth, &header, &length, form), 5)
          << their_line;
      ASSERT_TRUE(std::getline(ours, line)) << "dump ends before " << their_line;
      ASSERT_EQ(std::sscanf(line.c_str(), "%u", &our_offset), 1);
      EXPECT_EQ(our_offset, offset + 4) << line;
      EXPECT_EQ((line.find_first_not_of(' ', 8) - 8) / 2, depth) << line;
      EXPECT_NE(line.find(std::string(form) == "cons" ? "] constructed" : "] primitive"), std::string::npos) << line;
      EXPECT_NE(line.find(", length " + std::to_string(length)), std::string::npos) << line;
    }
    EXPECT_FALSE(std::getline(ours, line)) << "dump has more: " << line;
  }
  std::remove(der.c_str());
  std::remove(listing.c_str());
}

// An audit event of 20 MB (5,000 elements of 4,000 data octets), dumped whole
// from a file (mapped) and cut from standard input: every element is shown,
// the cut one ends with where reading stopped.
TEST(Tool, DumpOfTwentyMegabytesStreamsWithinTheBound) {
  const std::string element =
      tlv(0x30, tlv(0x0c, "element") + tlv(0x04, std::string(4000, 'x')) + tlv(0x30, "") + tlv(0x30, ""));
  std::string elements;
  while (elements.size() < 20u * 1024 * 1024) elements += element;
  const std::string buffer =
      "\x04\x02\xac\xdc" + tlv(0x30, tlv(0x02, "\x01") + tlv(0x0c, "event") + tlv(0x02, "\x02") + tlv(0x30, elements));
  const std::string file = temp("large");
  write_file(file, buffer);
  for (const bool cut : {false, true}) {
    SCOPED_TRACE(cut ? "cut" : "whole");
    const result r = cut ? run({"dump", "--type", "oxauditevent_t", "--binary"}, buffer.substr(0, buffer.size() - 100))
                         : run({"dump", "--type", "oxauditevent_t", file});
    EXPECT_EQ(r.status, cut ? 1 : 0) << r.err;
    EXPECT_LT(r.peak_kb, kMemoryBoundKb);
    const std::string last = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
    EXPECT_GT(std::count(r.out.begin(), r.out.end(), '\n'), 25000);
    if (cut)
      EXPECT_EQ(last.rfind("    10  ** ASN_ERR_TRUNCATED (0x10652198) at offset 10: expected", 0), 0u) << last;
    else
      EXPECT_NE(last.find("elements: SEQUENCE [universal 16] constructed, length 0"), std::string::npos) << last;
  }
  std::remove(file.c_str());
}

}  // namespace
