// The oxser program as its users run it, from the case tables beside this
// file: golden outputs (golden.txt), damaged input and bad usage
// (failures.txt), encodings longer than the shortest (noncanonical.txt);
// and the element tree checked against OpenSSL's asn1parse, the hex forms
// other tools print, and part of a buffer (--offset).
#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "tool_run.h"

namespace {

using namespace oxser_test;

std::string hex_of(const std::string& bytes, const char* separator) {
  std::string out;
  char pair[3];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(bytes[i]));
    out += (i ? separator : "") + std::string(pair);
  }
  return out + "\n";
}

TEST(Golden, OutputsOfTheTable) {
  for (const table_row& c : table("golden.txt")) {
    SCOPED_TRACE(c.where);
    const result r = run(c.args, c.input);
    EXPECT_EQ(r.status, c.status) << r.err;
    const std::string& name = c.fields.at(0);
    const std::string path = name[0] == '@' ? sample_path(name.substr(1)) : std::string(OXSER_TEST_DIR) + "/golden/" + name;
    if (std::getenv("OXSER_UPDATE_GOLDEN") != nullptr && name[0] != '@') write_file(path, r.out);
    EXPECT_EQ(r.out, read_file(path)) << "golden file " << path;
  }
}

// The message and exit status of each case; on failure nothing on standard
// output but dump's reading up to the fault, whose line comes last.
void check_table(const std::string& file) {
  for (const table_row& c : table(file)) {
    SCOPED_TRACE(c.where);
    const result r = run(c.args, c.input);
    EXPECT_EQ(r.status, c.status) << r.err;
    bool warned = false;  // a status-0 case with "2>" fragments
    for (std::string f : c.fields) {
      const bool to_err = f.rfind("2>", 0) == 0;
      if (to_err) f.erase(0, f.find_first_not_of(' ', 2));
      warned |= to_err;
      EXPECT_NE((c.status != 0 || to_err ? r.err : r.out).find(f), std::string::npos) << f << "\n" << r.err << r.out;
    }
    if (c.status == 0) {
      if (!warned) { EXPECT_EQ(r.err, ""); }
      continue;
    }
    const std::string last_line = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
    if (!c.args.empty() && c.args[0] == "dump" && !r.out.empty()) {
      EXPECT_NE(last_line.find("  ** " + c.fields.at(0)), std::string::npos) << r.out;
    } else {
      EXPECT_EQ(r.out, "");
    }
    if (c.status == 1) { EXPECT_EQ(r.err.rfind("oxser " + c.args.at(0) + ": ", 0), 0u) << r.err; }
  }
}

TEST(Failure, MessageExitStatusAndNoOutput) { check_table("failures.txt"); }

TEST(Robustness, NoncanonicalEncodingsWarnInDumpAndAreRefusedByStrictDecode) { check_table("noncanonical.txt"); }

// A failed command does not create or change its output file.
TEST(Failure, OutputFileUntouched) {
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
TEST(Oracle, DumpTreeMatchesOpensslAsn1parse) {
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

// encode --hex writes the buffer's digits; that, the forms openssl and xxd
// print (offsets, groups of four digits, the text column), and forced --hex
// all decode as the binary does.
TEST(Golden, HexFormsDecodeLikeBinary) {
  const std::string acl = read_file(sample_path("acl.ber")), json = read_file(sample_path("acl.json"));
  const result hex = run({"encode", "--type", "acl_ext_t", "--hex", sample_path("acl.json")});
  ASSERT_EQ(hex.status, 0) << hex.err;
  std::string lines = hex.out;  // 16 octets a line
  std::replace(lines.begin(), lines.end() - 1, '\n', ' ');
  EXPECT_EQ(lines, hex_of(acl, " "));
  std::vector<std::string> forms = {hex.out, hex_of(acl, " "), hex_of(acl, ":")};
  const std::string xxd = temp("xxd");
  if (std::system(("xxd " + sample_path("acl.ber") + " > " + xxd + " 2>/dev/null").c_str()) == 0)
    forms.push_back(read_file(xxd));
  std::remove(xxd.c_str());
  for (const std::string& form : forms) {
    for (const bool forced : {false, true}) {
      const result r = run(forced ? std::vector<std::string>{"decode", "--type", "acl_ext_t", "--hex"}
                                  : std::vector<std::string>{"decode", "--type", "acl_ext_t"},
                           form);
      EXPECT_EQ(r.status, 0) << r.err << form.substr(0, 80);
      EXPECT_EQ(r.out, json);
    }
  }
}

// --offset 28 --length 69 shows entries[0] of the acl sample exactly as the
// whole dump shows it, two levels less indented.
TEST(Robustness, OffsetDumpsOneElementAsTheWholeDumpShowsIt) {
  const result part = run({"dump", "--offset", "28", "--length", "69", sample_path("acl.ber")});
  ASSERT_EQ(part.status, 0) << part.err;
  std::istringstream lines(run({"dump", sample_path("acl.ber")}).out);
  std::string expected;
  for (std::string line; std::getline(lines, line);)
    if (std::stoul(line) >= 28 && std::stoul(line) < 97) expected += line.substr(0, 8) + line.substr(12) + "\n";
  EXPECT_EQ(part.out, expected);
}

}  // namespace
