// The oxser program as its users run it: the case tables beside this file,
// OpenSSL's asn1parse on the same bytes, 20 MB within a memory bound, and the
// tool's statuses against the record functions'.
#include <dirent.h>
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <oxserutl/oxserutl.h>

#include "ber_tree.h"
#include "record_json.h"
#include "test_util.h"
#include "tool_io.h"

namespace {

using oxs_test::read_file;

struct result {
  int status = -1;
  long peak_kb = 0;
  std::string out, err;
};

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Per process: ctest runs the tests side by side.
std::string temp(const std::string& name) {
  return ::testing::TempDir() + "oxser-test-" + std::to_string(getpid()) + "-" + name;
}

std::string sample_path(const std::string& file) { return std::string(OXSER_SAMPLES_DIR) + "/" + file; }

// The sample files with their record types.
const std::pair<const char*, const char*> kSamples[] = {
    {"acl", "acl_ext_t"}, {"principal_chain", "kyprincipal_chain_t"}, {"audit_event", "oxauditevent_t"},
    {"policy", "kypop_t"}, {"action_group", "kyaction_group_t"},
};

// Runs the program, its streams going through files (no pipe can fill up);
// leading arguments "LC_ALL=NAME" set its locale.
result run(const std::vector<std::string>& args, const std::string& input = {}) {
  const std::string in = temp("in"), out = temp("out"), err = temp("err");
  write_file(in, input);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fds[3] = {open(in.c_str(), O_RDONLY), open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
                        open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)};
    for (int i = 0; i < 3; ++i) dup2(fds[i], i);
    std::vector<char*> argv{const_cast<char*>(OXSER_PROGRAM)};
    for (const std::string& a : args) {
      if (a.rfind("LC_ALL=-", 0) == 0) setenv("LC_ALL", a.c_str() + 8, 1);
      else if (a.rfind("LC_ALL=", 0) == 0) putenv(const_cast<char*>(a.c_str()));
      else argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    execv(OXSER_PROGRAM, argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const result r{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), usage.ru_maxrss, read_file(out),
                 read_file(err)};
  for (const std::string& f : {in, out, err}) std::remove(f.c_str());
  return r;
}

// One BER element with a definite length in the shortest form.
std::string tlv(unsigned char tag, const std::string& contents) {
  std::string length;
  for (std::size_t n = contents.size(); n != 0; n >>= 8) length.insert(0, 1, static_cast<char>(n & 0xFF));
  if (contents.size() >= 128) length.insert(0, 1, static_cast<char>(0x80 | length.size()));
  else length = std::string(1, static_cast<char>(contents.size()));
  return static_cast<char>(tag) + length + contents;
}

// INPUT in a case table: text ("\n" a line break), "<FILE" (a file in
// tests/tools, '#' starting a comment), or a sample's bytes: "@acl", "@acl:<N"
// (the first N), "@acl:>N" (from byte N on), "@acl:OFFSET=HEX,..." (octets
// changed).
std::string input_of(const std::string& source) {
  if (source[0] == '<') {
    std::istringstream in(read_file(std::string(OXSER_TEST_DIR) + "/" + source.substr(1)));
    std::string text;
    for (std::string line; std::getline(in, line);) text += line.substr(0, line.find('#')) + "\n";
    return text;
  }
  if (source[0] != '@') return source;
  const std::size_t colon = source.find(':');
  std::string bytes = read_file(sample_path(source.substr(1, colon - 1) + ".ber"));
  const std::string edit = colon == std::string::npos ? "" : source.substr(colon + 1);
  if (!edit.empty() && edit[0] == '<') return bytes.substr(0, std::stoul(edit.substr(1)));
  if (!edit.empty() && edit[0] == '>') return bytes.substr(std::stoul(edit.substr(1)));
  std::istringstream edits(edit);
  for (std::string one; std::getline(edits, one, ',');)
    bytes.at(std::stoul(one)) = static_cast<char>(std::stoul(one.substr(one.find('=') + 1), nullptr, 16));
  return bytes;
}


// A case table: a text file in tests/tools, one run of the program a line,
// '#' starting a comment:  ARGS | INPUT | STATUS | EXPECTED | ...
// In ARGS, "@FILE" is a sample file; leading "LC_ALL=NAME" words set the
// locale (the row is passed over where there is no such locale; "LC_ALL=-NAME"
// names one that must be missing). EXPECTED:
// "=FILE", standard output equals the file in tests/tools ("=@FILE": a
// sample; OXSER_UPDATE_GOLDEN=1 rewrites those under golden/); else a
// fragment looked for on standard error, or on standard output when STATUS is
// 0 ("2>" before one: on standard error). On failure nothing is written to
// standard output, but by dump, whose last line then shows the first fragment
// after "**".
// The rows of a case table: line number and fields.
std::vector<std::pair<int, std::vector<std::string>>> table_rows(const std::string& file) {
  std::istringstream lines(read_file(std::string(OXSER_TEST_DIR) + "/" + file));
  std::vector<std::pair<int, std::vector<std::string>>> rows;
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (line.find_first_not_of(' ') == std::string::npos || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string f; std::getline(split, f, '|');) {
      f = oxs_test::trim(f);
      for (std::size_t at; (at = f.find("\\n")) != std::string::npos;) f.replace(at, 2, "\n");
      fields.push_back(f);
    }
    rows.emplace_back(number, fields);
  }
  return rows;
}

void check_table(const std::string& file) {
  int cases = 0;
  for (const auto& [number, fields] : table_rows(file)) {
    SCOPED_TRACE(file + ":" + std::to_string(number));
    std::vector<std::string> args;
    std::istringstream words(fields.at(0));
    for (std::string w; words >> w;) args.push_back(w[0] == '@' ? sample_path(w.substr(1)) : w);
    if (!args.empty() && args[0].rfind("LC_ALL=", 0) == 0 && args[0].rfind("LC_ALL=-", 0) != 0) {
      if (std::setlocale(LC_ALL, args[0].c_str() + 7) == nullptr) continue;
      std::setlocale(LC_ALL, "C");
    }
    const int status = std::stoi(fields.at(2));
    const std::vector<std::string> expected(fields.begin() + 3, fields.end());
    ++cases;
    const result r = run(args, input_of(fields.at(1)));
    EXPECT_EQ(r.status, status) << r.err;
    bool warned = false, golden = false;
    for (std::string f : expected) {
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
      EXPECT_NE((status != 0 || to_err ? r.err : r.out).find(f), std::string::npos) << f << "\n" << r.err << r.out;
    }
    if (status == 0 && !warned) EXPECT_EQ(r.err, "");
    if (status == 0 || golden) continue;
    const std::string last_line = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
    if (!args.empty() && args[0] == "dump" && !r.out.empty())
      EXPECT_NE(last_line.find("  ** " + expected.at(0)), std::string::npos) << r.out;
    else
      EXPECT_EQ(r.out, "");
    if (status == 1) EXPECT_EQ(r.err.rfind("oxser " + args.at(0) + ": ", 0), 0u) << r.err;
  }
  EXPECT_GT(cases, 0) << "no cases in " << file;
}

TEST(Tool, GoldenOutputs) { check_table("golden.txt"); }
TEST(Tool, FailuresExitStatusAndMessage) { check_table("failures.txt"); }
TEST(Tool, NoncanonicalEncodingsWarnInDumpAndAreRefusedByStrictDecode) { check_table("noncanonical.txt"); }
TEST(Tool, InputFormsAndBuffersInARow) { check_table("inputs.txt"); }

// dump --json and build give back the octets of every sample and of every
// buffer that the tables dump or decode, damaged ones included.
TEST(Tool, DumpJsonBuildsTheSameOctetsBack) {
  std::vector<std::string> inputs;
  for (const auto& [name, type] : kSamples) inputs.push_back(input_of(std::string("@") + name));
  for (const char* table : {"failures.txt", "noncanonical.txt", "golden.txt", "inputs.txt"})
    for (const auto& [number, fields] : table_rows(table))
      if (fields.at(0).find("dump") != std::string::npos || fields.at(0).find("decode") != std::string::npos)
        inputs.push_back(input_of(fields.at(1)));
  int built = 0;
  for (const std::string& input : inputs) {
    const result tree = run({"dump", "--json", "-"}, input);
    if (tree.out.empty()) continue;  // not a buffer at all (JSON, not hex)
    SCOPED_TRACE(tree.out);
    const std::vector<unsigned char> octets = oxser::input_bytes({input.begin(), input.end()}, oxser::input_form::detect);
    EXPECT_EQ(run({"build"}, tree.out).out, std::string(octets.begin(), octets.end()));
    ++built;
  }
  EXPECT_GT(built, 30);
}

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

// On a terminal that is both standard output and standard error, dump's
// closing ** line is the message: it is not written a second time, while
// separate streams each carry it.
TEST(Tool, DumpFailureIsShownOnceOnOneTerminal) {
  const std::string file = temp("cut.ber");
  write_file(file, input_of("@acl:<40"));
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid < 0) GTEST_SKIP() << "no pseudo-terminal here";
  if (pid == 0) {
    execl(OXSER_PROGRAM, OXSER_PROGRAM, "dump", "--type", "acl_ext_t", file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string shown;
  char chunk[4096];
  for (ssize_t n; (n = read(terminal, chunk, sizeof chunk)) > 0;) shown.append(chunk, static_cast<std::size_t>(n));
  close(terminal);  // read() ends with EIO once the program has closed its side
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  const std::string message = "ASN_ERR_TRUNCATED";
  std::size_t times = 0;
  for (std::size_t at = shown.find(message); at != std::string::npos; at = shown.find(message, at + 1)) ++times;
  EXPECT_EQ(times, 1u) << shown;
  EXPECT_NE(shown.find("** ASN_ERR_TRUNCATED"), std::string::npos) << shown;

  const result apart = run({"dump", "--type", "acl_ext_t", file});
  EXPECT_NE(apart.out.find("** ASN_ERR_TRUNCATED"), std::string::npos);
  EXPECT_NE(apart.err.find("ASN_ERR_TRUNCATED"), std::string::npos);
  std::remove(file.c_str());
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

// An audit event of 20 MB (5,000 elements of 4,000 data octets), dumped
// whole from a file (mapped) and cut from standard input: every element is
// shown, the cut one ends with where reading stopped. The bound includes this
// process's pages at the fork.
std::string large_event() {
  const std::string element =
      tlv(0x30, tlv(0x0c, "element") + tlv(0x04, std::string(4000, 'x')) + tlv(0x30, "") + tlv(0x30, ""));
  std::string elements;
  while (elements.size() < 20u * 1024 * 1024) elements += element;
  return "\x04\x02\xac\xdc" + tlv(0x30, tlv(0x02, "\x01") + tlv(0x0c, "event") + tlv(0x02, "\x02") + tlv(0x30, elements));
}

TEST(Tool, DumpOfTwentyMegabytesStreamsWithinTheBound) {
  const std::string buffer = large_event(), file = temp("large");
  write_file(file, buffer);
  for (const bool cut : {false, true}) {
    SCOPED_TRACE(cut ? "cut" : "whole");
    const result r = cut ? run({"dump", "--type", "oxauditevent_t", "--binary"}, buffer.substr(0, buffer.size() - 100))
                         : run({"dump", "--type", "oxauditevent_t", file});
    EXPECT_EQ(r.status, cut ? 1 : 0) << r.err;
    EXPECT_LT(r.peak_kb, OXSER_MEMORY_BOUND_KB);
    const std::string last = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
    EXPECT_GT(std::count(r.out.begin(), r.out.end(), '\n'), 25000);
    if (cut)
      EXPECT_EQ(last.rfind("    10  ** ASN_ERR_TRUNCATED (0x10652198) at offset 10: expected", 0), 0u) << last;
    else
      EXPECT_NE(last.find("elements: SEQUENCE [universal 16] constructed, length 0"), std::string::npos) << last;
  }
  std::remove(file.c_str());
}

// One status: over the fuzz corpora of the record decoders and of the dump, a
// tree at and beyond the nesting bound, and every cut and many single-octet
// changes of the samples, the library's explanation names exactly the
// decode function's status and finds where reading stopped, and the program
// (on every 23rd refused buffer) names the same status.
using bytes = std::vector<unsigned char>;  // sized exactly, so that a sanitizer sees reads past the end

// An audit event whose element tree is that many generations deep: each
// generation is two constructed levels, so the nesting bound falls between
// 126 and 127 generations.
std::string deep_event(int generations) {
  const std::string empty_texts = tlv(0x0c, "") + tlv(0x04, "") + tlv(0x30, "");
  std::string element = tlv(0x30, empty_texts + tlv(0x30, ""));
  for (int i = 0; i < generations; ++i) element = tlv(0x30, empty_texts + tlv(0x30, element));
  return "\x04\x02\xac\xdc" + tlv(0x30, tlv(0x02, "\x01") + tlv(0x0c, "e") + tlv(0x02, "\x02") + tlv(0x30, element));
}

// The kind of fault the walk itself finds in a record's buffer, which the
// explanation's texts describe.
int walk_status(const oxs_record_info& info, const bytes& data) {
  struct quiet : oxser::ber_sink {
    void element(oxser::bytes_view, const oxser::ber_header&, int, const std::string&,
                 const std::vector<oxser::ber_note>&) override {}
    void end_of_contents(std::size_t, int) override {}
  } sink;
  oxser::envelope_info envelope;
  std::optional<oxser::ber_fault> fault = oxser::read_envelope(data, 2, envelope);
  std::size_t end = 0;
  if (!fault) fault = oxser::walk(data, envelope.header_length, data.size(), &info, sink, &end);
  return fault ? fault->status : 0;
}

TEST(StatusAgreement, ExplanationAndToolNameTheDecodeFunctionsStatus) {
  const auto records = oxser::callable_records();
  std::vector<std::tuple<const oxs_record_info*, std::string, std::string>> cases;  // record, bytes, what
  // First, so that the program runs on the tree beyond the nesting bound.
  for (int generations : {126, 127, 140})
    cases.emplace_back(oxs_find_record("oxauditevent_t"), deep_event(generations), std::to_string(generations) + " generations");
  // The corpora: a first octet that picks the record, then the buffer.
  for (const std::string corpus : {"records", "dump"}) {
    DIR* d = opendir((std::string(OXSER_FUZZ_CORPUS) + "/" + corpus).c_str());
    ASSERT_NE(d, nullptr) << corpus;
    while (const dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      const std::string input = read_file(std::string(OXSER_FUZZ_CORPUS) + "/" + corpus + "/" + e->d_name);
      if (input.empty()) continue;
      const std::size_t pick = static_cast<unsigned char>(input[0]) >> 1;
      if (corpus == "dump" && ((input[0] & 1) != 0 || pick >= records.size())) continue;  // bare BER or no record
      cases.emplace_back(records[pick % records.size()], input.substr(1), corpus + "/" + e->d_name);
    }
    closedir(d);
  }
  // Every cut, and every octet set to 00, FF and to itself with the
  // constructed bit or the top length bit flipped.
  for (const auto& [name, type] : kSamples) {
    const std::string whole = read_file(sample_path(std::string(name) + ".ber"));
    for (std::size_t i = 0; i < whole.size(); ++i) {
      cases.emplace_back(oxs_find_record(type), whole.substr(0, i), std::string(name) + " cut to " + std::to_string(i));
      for (const int v : {0x00, 0xFF, whole[i] ^ 0x20, whole[i] ^ 0x80}) {
        std::string changed = whole;
        changed[i] = static_cast<char>(v);
        cases.emplace_back(oxs_find_record(type), changed, name + (" octet " + std::to_string(i)) + " = " + std::to_string(v));
      }
    }
  }
  const std::string file = temp("damaged");
  int refused = 0;
  for (const auto& [info, data, what] : cases) {
    bytes copy(data.begin(), data.end());
    oxser::record_holder record(*info);
    tq_asn_buffer_t in;
    in.length = static_cast<std::uint32_t>(copy.size());
    in.data = copy.data();
    const int status = info->decode(in, record.get(), 0);
    tq_asn_explanation why;
    EXPECT_EQ(tq_asn_explain(info->type_name, 0, copy.data(), copy.size(), &why), static_cast<std::uint32_t>(status))
        << what << " as " << info->type_name;
    EXPECT_EQ(why.status, static_cast<std::uint32_t>(status));
    // The texts describe that status: the walk finds the same kind of fault.
    if (status != 0)
      EXPECT_EQ(tq_asn_status_name(static_cast<std::uint32_t>(walk_status(*info, copy))),
                std::string(tq_asn_status_name(static_cast<std::uint32_t>(status))))
          << what << " as " << info->type_name << ": " << why.expected << " / " << why.found;
    EXPECT_EQ(std::string(why.expected).find("what the record's reader takes"), std::string::npos)
        << what << " as " << info->type_name << ": the walk finds no fault where decode gives "
        << tq_asn_status_name(static_cast<std::uint32_t>(status));
    if (status == 0 || refused++ % 23 != 0) continue;
    char named[64];
    std::snprintf(named, sizeof named, "%s (0x%08x)", tq_asn_status_name(static_cast<std::uint32_t>(status)),
                  static_cast<unsigned>(status));
    write_file(file, data);
    for (const std::string command : {"decode", "dump"}) {
      const std::string err = run({command, "--type", info->type_name, "--binary", file}).err;
      EXPECT_EQ(err.rfind("oxser " + command + ": " + named, 0), 0u) << what << " as " << info->type_name << "\n" << err;
    }
  }
  std::remove(file.c_str());
  EXPECT_GT(refused, 1000);
}

}  // namespace
