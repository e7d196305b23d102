// The oxser program on input that real work brings: a buffer of 20 MB and
// JSON nested 30,000 levels deep (both made here, within a memory bound),
// damaged buffers (the readable part, then where and why), encodings that
// are valid but not the shortest form (warnings in dump, refusals in
// decode --strict), part of a buffer (--offset), and the input forms that
// other tools print.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct result {
  int status = -1;
  long peak_kb = 0;  // the program's peak resident memory
  std::string out, err;
};

// Per process: ctest runs the tests of this file side by side.
std::string temp(const std::string& name) {
  return ::testing::TempDir() + "oxser-robust-" + std::to_string(getpid()) + "-" + name;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
}

// Runs the program with the input on standard input; out_file "" keeps
// standard output in the result.
result run(const std::vector<std::string>& args, const std::string& input, const std::string& out_file = "") {
  const std::string in = temp("in"), out = out_file.empty() ? temp("out") : out_file, err = temp("err");
  write_file(in, input);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fds[3] = {open(in.c_str(), O_RDONLY), open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
                        open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)};
    for (int i = 0; i < 3; ++i) dup2(fds[i], i);
    std::vector<char*> argv{const_cast<char*>(OXSER_PROGRAM)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(OXSER_PROGRAM, argv.data());
    _exit(127);
  }
  result r;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.peak_kb = usage.ru_maxrss;
  if (out_file.empty()) r.out = read_file(out);
  r.err = read_file(err);
  for (const std::string& f : {in, err, out_file.empty() ? out : std::string()}) std::remove(f.c_str());
  return r;
}

std::string sample(const std::string& name) { return read_file(std::string(OXSER_SAMPLES_DIR) + "/" + name); }

// One BER element with a definite length in the shortest form.
std::string tlv(unsigned char tag, const std::string& contents) {
  std::string out(1, static_cast<char>(tag));
  const std::size_t n = contents.size();
  if (n < 128) {
    out += static_cast<char>(n);
  } else {
    std::string octets;
    for (std::size_t v = n; v != 0; v >>= 8) octets.insert(octets.begin(), static_cast<char>(v & 0xFF));
    out += static_cast<char>(0x80 | octets.size());
    out += octets;
  }
  return out + contents;
}

const std::string kEnvelope("\x04\x02\xac\xdc", 4);
#ifdef OXSER_SANITIZED
constexpr long kMemoryBoundKb = 1L << 40;  // a sanitizer's own memory is not bounded here
#else
constexpr long kMemoryBoundKb = 64 * 1024;
#endif

// An audit event of 20 MB: 5,000 elements of 4,000 data octets each.
std::string large_event() {
  const std::string element =
      tlv(0x30, tlv(0x0c, "element") + tlv(0x04, std::string(4000, 'x')) + tlv(0x30, "") + tlv(0x30, ""));
  std::string elements;
  while (elements.size() < 20u * 1024 * 1024) elements += element;
  return kEnvelope + tlv(0x30, tlv(0x02, "\x01") + tlv(0x0c, "event") + tlv(0x02, "\x02") + tlv(0x30, elements));
}

TEST(Robustness, DumpOfTwentyMegabytesStreamsWithinTheBound) {
  const std::string buffer = large_event();
  const std::string listing = temp("listing");
  const std::string file = temp("large");
  write_file(file, buffer);
  // The whole buffer as a file (mapped), the cut one on standard input.
  for (const bool cut : {false, true}) {
    SCOPED_TRACE(cut ? "cut" : "whole");
    const result r = cut ? run({"dump", "--type", "oxauditevent_t", "--binary"}, buffer.substr(0, buffer.size() - 100),
                               listing)
                         : run({"dump", "--type", "oxauditevent_t", file}, "", listing);
    EXPECT_EQ(r.status, cut ? 1 : 0) << r.err;
    EXPECT_LT(r.peak_kb, kMemoryBoundKb);
    // Every element was shown; the cut one ends with where reading stopped.
    const std::string text = read_file(listing);
    const std::string last = text.substr(text.rfind('\n', text.size() - 2) + 1);
    EXPECT_GT(std::count(text.begin(), text.end(), '\n'), 25000);
    if (cut) {
      EXPECT_EQ(last.rfind("    10  ** ASN_ERR_TRUNCATED (0x10652198) at offset 10: expected", 0), 0u) << last;
      EXPECT_EQ(r.err.rfind("oxser dump: ASN_ERR_TRUNCATED (0x10652198) at offset 10", 0), 0u) << r.err;
    } else {
      EXPECT_NE(last.find("elements: SEQUENCE [universal 16] constructed, length 0"), std::string::npos) << last;
    }
  }
  std::remove(listing.c_str());
  std::remove(file.c_str());
}

TEST(Robustness, DeepJsonIsRefusedBeforeAnythingWalksIt) {
  std::string deep;
  for (int i = 0; i < 30000; ++i) deep += "{\"attrs\":                                        ";
  deep += "{}" + std::string(30000, '}');
  ASSERT_GT(deep.size(), 1500000u);
  const result r = run({"encode", "--type", "attrlist_t", "--hex"}, deep);
  EXPECT_EQ(r.status, 1);
  EXPECT_LT(r.peak_kb, kMemoryBoundKb);
  EXPECT_NE(r.err.find("nests objects more than 256 levels deep"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

// --- damaged and non-canonical buffers -------------------------------------------

TEST(Robustness, DumpOfDamagedSampleShowsTheReadablePartThenTheFault) {
  std::string acl = sample("acl.ber");
  acl[28] = 0x31;  // entries[0] becomes a SET
  const result r = run({"dump", "--type", "acl_ext_t", "--binary"}, acl);
  EXPECT_EQ(r.status, 1);
  const std::string fault = "ASN_ERR_TAG_MISMATCH (0x106521a4) at offset 28: expected a SEQUENCE (acl_ext_t.entries[0])";
  EXPECT_NE(r.out.find("    25    entries: SEQUENCE"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.substr(r.out.find("\n    28")), "\n    28  ** " + fault + ", found universal 17 constructed [identifier does not match]\n");
  EXPECT_EQ(r.err.rfind("oxser dump: " + fault, 0), 0u) << r.err;
}

// A uuid_t with every field written longer than it needs, and acl_ext_t
// texts that a writer never produces. dump warns and goes on, decode
// accepts, decode --strict refuses and names each.
struct noncanonical_case {
  const char* name;
  const char* type;
  std::string buffer;
  std::vector<std::string> findings;  // in --strict's message, and marked !! in dump (but the last for trailing bytes)
};

std::string acl_named(const std::string& name) {
  return kEnvelope + tlv(0x30, tlv(0x0c, name) + tlv(0x30, "") + tlv(0x30, tlv(0x30, "")));
}

const std::vector<noncanonical_case> kNoncanonical = {
    {"uuid longer forms", "uuid_t",
     kEnvelope + std::string("\x30\x80"                        // indefinite
                             "\x02\x81\x01\x05"                // long-form length
                             "\x02\x02\x00\x07"                // INTEGER with a leading zero
                             "\x1f\x02\x01\x00"                // tag 2 in the long form
                             "\x02\x01\x00\x02\x01\x00"
                             "\x24\x08\x04\x02\x00\x00\x04\x02\x00\x00"  // constructed OCTET STRING
                             "\x00\x00", 32),
     {"offset 4 (uuid_t): indefinite length", "offset 6 (time_low): length 1 in the long form, the short form fits",
      "offset 10 (time_mid): INTEGER in 2 octets, 1 suffice", "offset 14 (time_hi_and_version): tag 2 in the long form",
      "offset 24 (node): constructed string (segments)"}},
    {"text with a zero octet", "acl_ext_t", acl_named(std::string("ab\0c", 4)),
     {"offset 6 (name): a zero octet at offset 10 cuts the string short"}},
    {"text not UTF-8", "acl_ext_t", acl_named("caf\xe9"), {"offset 6 (name): not valid UTF-8 at offset 11"}},
    {"bytes after the element", "acl_ext_t", acl_named("x") + std::string("\x05\x00", 2), {"offset 15: 2 octets after the element"}},
};

TEST(Robustness, NoncanonicalEncodingsWarnInDumpAndAreRefusedByStrictDecode) {
  for (const noncanonical_case& c : kNoncanonical) {
    SCOPED_TRACE(c.name);
    const result dump = run({"dump", "--type", c.type, "--binary"}, c.buffer);
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_EQ(run({"decode", "--type", c.type, "--binary"}, c.buffer).status, 0);
    const result strict = run({"decode", "--strict", "--type", c.type, "--binary"}, c.buffer);
    EXPECT_EQ(strict.status, 1);
    EXPECT_EQ(strict.out, "");
    for (const std::string& f : c.findings) {
      EXPECT_NE(strict.err.find("\n  " + f + "\n"), std::string::npos) << f << "\n" << strict.err;
      const std::size_t colon = f.find(": ");
      if (f.find("after the element") == std::string::npos)
        EXPECT_NE(dump.out.find(f.substr(colon + 2)), std::string::npos) << f << "\n" << dump.out;
    }
  }
}

// --- part of a buffer, input forms, usage ---------------------------------------------

// --offset 28 --length 69 shows entries[0] of the acl sample exactly as the
// whole dump shows it, two levels less indented.
TEST(Robustness, OffsetDumpsOneElementAsTheWholeDumpShowsIt) {
  const result part = run({"dump", "--offset", "28", "--length", "69", std::string(OXSER_SAMPLES_DIR) + "/acl.ber"}, "");
  ASSERT_EQ(part.status, 0) << part.err;
  const result all = run({"dump", std::string(OXSER_SAMPLES_DIR) + "/acl.ber"}, "");
  std::istringstream lines(all.out);
  std::string expected, line;
  while (std::getline(lines, line)) {
    const unsigned long offset = std::stoul(line);
    if (offset >= 28 && offset < 97) expected += line.substr(0, 8) + line.substr(12) + "\n";
  }
  EXPECT_EQ(part.out, expected);
  EXPECT_EQ(run({"dump", "--offset", "400", std::string(OXSER_SAMPLES_DIR) + "/acl.ber"}, "").status, 2);
}

std::string hex_of(const std::string& bytes, const char* separator) {
  std::string out;
  char pair[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(bytes[i]));
    out += (i ? separator : "") + std::string(pair);
  }
  return out + "\n";
}

TEST(Robustness, HexAsOpensslAndXxdPrintItDecodesLikeBinary) {
  const std::string acl = sample("acl.ber");
  const std::string json = sample("acl.json");
  std::vector<std::string> forms = {hex_of(acl, ":"), hex_of(acl, " ")};
  // xxd's listing (offsets, groups of four digits, the text column), when xxd is there.
  const std::string xxd = temp("xxd");
  if (std::system(("xxd " + std::string(OXSER_SAMPLES_DIR) + "/acl.ber > " + xxd + " 2>/dev/null").c_str()) == 0)
    forms.push_back(read_file(xxd));
  for (const std::string& form : forms) {
    const result r = run({"decode", "--type", "acl_ext_t"}, form);
    EXPECT_EQ(r.status, 0) << r.err << form.substr(0, 80);
    EXPECT_EQ(r.out, json);
  }
  std::remove(xxd.c_str());
}

struct usage_case {
  std::vector<std::string> args;
  std::string input;
  int status;
  const char* message;  // fragment of standard error (or of standard output for --version)
};

const std::vector<usage_case> kUsage = {
    {{"decode", "--type", "acl_ext_t"}, "{\n  \"name\": \"x\"\n}\n", 1, "input is JSON, not a buffer: decode reads a buffer"},
    {{"dump"}, "[1, 2]", 1, "input is JSON, not a buffer: dump reads a buffer"},
    {{"encode", "--type", "uuid_t", "--hex"}, R"({"time_low": 1, "time_mid": 2, "time_low": 3})", 1,
     "the member \"time_low\" appears twice in one object"},
    {{"--type", "acl_ext_t", "decode", "x.ber"}, "", 2,
     "option --type comes before the command word 'decode'; options belong after it: oxser decode --type acl_ext_t x.ber"},
    {{"--hex"}, "", 2, "option --hex comes before any command"},
    {{"--version"}, "", 0, "oxser 1."},
};

TEST(Robustness, UsageMessagesSayWhatToDo) {
  for (const usage_case& c : kUsage) {
    SCOPED_TRACE(c.message);
    const result r = run(c.args, c.input);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE((c.status == 0 ? r.out : r.err).find(c.message), std::string::npos) << r.err << r.out;
  }
}

}  // namespace
