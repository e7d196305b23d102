// The oxser program as its users run it: golden outputs of dump and decode
// on the samples, the element tree checked against OpenSSL's asn1parse,
// and damaged input and bad usage with the message, the exit status and
// nothing on standard output.
//
// OXSER_UPDATE_GOLDEN=1 rewrites the golden files from the program's
// output (review the difference before committing it).
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::string temp_path(const std::string& name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr ? dir : "/tmp") + "/oxser_cli_" + std::to_string(getpid()) + "_" + name;
}

// Runs the program with the arguments and input; its standard streams go
// through files so that no pipe can fill up.
result run(const std::vector<std::string>& args, const std::string& input = {}) {
  const std::string in = temp_path("in"), out = temp_path("out"), err = temp_path("err");
  write_file(in, input);
  const pid_t pid = fork();
  if (pid == 0) {
    if (!std::freopen(in.c_str(), "rb", stdin) || !std::freopen(out.c_str(), "wb", stdout) ||
        !std::freopen(err.c_str(), "wb", stderr))
      _exit(127);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(OXSER_PROGRAM));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(OXSER_PROGRAM, argv.data());
    _exit(127);
  }
  result r;
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = read_file(out);
  r.err = read_file(err);
  std::remove(in.c_str());
  std::remove(out.c_str());
  std::remove(err.c_str());
  return r;
}

std::string sample(const std::string& name) { return std::string(OXSER_SAMPLES_DIR) + "/" + name; }

void expect_golden(const std::string& name, const std::string& actual) {
  const std::string path = std::string(OXSER_GOLDEN_DIR) + "/" + name;
  if (std::getenv("OXSER_UPDATE_GOLDEN") != nullptr) write_file(path, actual);
  EXPECT_EQ(actual, read_file(path)) << "golden file " << path;
}

struct sample_case {
  const char* name;
  const char* type;
};

const sample_case kSamples[] = {
    {"acl", "acl_ext_t"},
    {"principal_chain", "kyprincipal_chain_t"},
    {"audit_event", "oxauditevent_t"},
    {"policy", "kypop_t"},
    {"action_group", "kyaction_group_t"},
};

// --- golden outputs -------------------------------------------------------------

TEST(Golden, DumpWithTypeOfEverySample) {
  for (const sample_case& s : kSamples) {
    SCOPED_TRACE(s.name);
    const result r = run({"dump", "--type", s.type, sample(std::string(s.name) + ".ber")});
    EXPECT_EQ(r.status, 0) << r.err;
    expect_golden(std::string(s.name) + ".dump.txt", r.out);
  }
}

TEST(Golden, DecodeOfEverySample) {
  for (const sample_case& s : kSamples) {
    SCOPED_TRACE(s.name);
    const result r = run({"decode", "--type", s.type, sample(std::string(s.name) + ".ber")});
    EXPECT_EQ(r.status, 0) << r.err;
    expect_golden(std::string(s.name) + ".decode.json", r.out);
    // The samples are kept in the form decode prints.
    EXPECT_EQ(r.out, read_file(sample(std::string(s.name) + ".json")));
  }
}

TEST(Golden, EncodeOfEverySampleGivesItsBuffer) {
  for (const sample_case& s : kSamples) {
    SCOPED_TRACE(s.name);
    const result r = run({"encode", "--type", s.type, sample(std::string(s.name) + ".json")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, read_file(sample(std::string(s.name) + ".ber")));
  }
}

// Without a type: no labels. Raw BER: no envelope. Hex text input. The
// constructs the samples lack: indefinite lengths, context and
// application tags, high tag numbers, other universal types, bytes after
// the element.
TEST(Golden, DumpForms) {
  const std::string acl = read_file(sample("acl.ber"));
  expect_golden("acl.dump-plain.txt", run({"dump", sample("acl.ber")}).out);
  expect_golden("acl.dump-raw.txt", run({"dump", "--raw", "--binary"}, acl.substr(4)).out);
  const char* const mixed =
      "04 01 ac dc\n"
      "30 80\n"                                  // SEQUENCE, indefinite length
      "  a3 80 02 01 ff 00 00\n"                 //   [3] constructed, indefinite, holding INTEGER -1
      "  5f 81 00 00\n"                          //   [APPLICATION 128] primitive, empty
      "  01 01 ff  05 00  0a 01 02\n"            //   BOOLEAN TRUE, NULL, ENUMERATED 2
      "  06 06 2a 86 48 86 f7 0d\n"              //   OBJECT IDENTIFIER 1.2.840.113549
      "  03 03 04 a0 f0\n"                       //   BIT STRING, 4 unused bits
      "  13 05 41 42 20 27 22\n"                 //   PrintableString AB '"
      "  0c 07 61 0a 09 5c c3 a9 80\n"           //   UTF8String a\n\t\\é and a stray octet
      "  1e 04 00 41 20 ac\n"                    //   BMPString A€
      "  24 80 04 02 68 69 04 00 00 00\n"        //   constructed OCTET STRING "hi"
      "  02 09 01 00 00 00 00 00 00 00 00\n"     //   INTEGER 2^64
      "00 00\n"
      "ff ee\n";                                 // after the element
  const result r = run({"dump"}, mixed);
  EXPECT_EQ(r.status, 0) << r.err;
  expect_golden("mixed.dump.txt", r.out);
}

TEST(Golden, HexInputDecodesLikeBinary) {
  const result hex = run({"encode", "--type", "acl_ext_t", "--hex", sample("acl.json")});
  ASSERT_EQ(hex.status, 0) << hex.err;
  EXPECT_EQ(hex.out.substr(0, 12), "04 02 ac dc ");
  const result r = run({"decode", "--type", "acl_ext_t"}, hex.out);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, read_file(sample("acl.json")));
  const result forced = run({"decode", "--type", "acl_ext_t", "--hex"}, hex.out);
  EXPECT_EQ(forced.out, r.out);
}

// An independent reader of the same bytes: OpenSSL's asn1parse reports
// offset, depth, header length and length of every element; the dump must
// give the same elements at the same offsets (shifted by the envelope).
TEST(Oracle, DumpTreeMatchesOpensslAsn1parse) {
  if (std::system("openssl version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no openssl program";
  for (const sample_case& s : kSamples) {
    SCOPED_TRACE(s.name);
    const std::string der = temp_path("der");
    write_file(der, read_file(sample(std::string(s.name) + ".ber")).substr(4));
    const std::string listing = temp_path("listing");
    ASSERT_EQ(std::system(("openssl asn1parse -inform DER -in " + der + " > " + listing).c_str()), 0);
    std::istringstream theirs(read_file(listing));
    std::istringstream ours(run({"dump", sample(std::string(s.name) + ".ber")}).out);
    std::string line;
    std::getline(ours, line);  // the envelope
    int elements = 0;
    std::string their_line;
    while (std::getline(theirs, their_line)) {
      unsigned offset = 0, depth = 0, header = 0, length = 0;
      char form[8] = {0};
      ASSERT_EQ(std::sscanf(their_line.c_str(), " %u:d=%u hl=%u l=%u %4s", &offset, &depth, &header, &length, form), 5)
          << their_line;
      ASSERT_TRUE(std::getline(ours, line)) << "dump ends before " << their_line;
      unsigned our_offset = 0;
      ASSERT_EQ(std::sscanf(line.c_str(), "%u", &our_offset), 1);
      EXPECT_EQ(our_offset, offset + 4) << line;
      const std::size_t text = line.find_first_not_of(' ', 8);
      EXPECT_EQ((text - 8) / 2, depth) << line;
      EXPECT_NE(line.find(std::string(form) == "cons" ? "] constructed" : "] primitive"), std::string::npos) << line;
      EXPECT_NE(line.find(", length " + std::to_string(length)), std::string::npos) << line;
      ++elements;
    }
    EXPECT_FALSE(std::getline(ours, line)) << "dump has more: " << line;
    EXPECT_GT(elements, 10);
    std::remove(der.c_str());
    std::remove(listing.c_str());
  }
}

// --- damaged input and bad usage --------------------------------------------------------

struct failure_case {
  const char* name;
  std::vector<std::string> args;
  std::string input;    // standard input, as hex text unless it starts with "@" (a sample's bytes, edited)
  int status;           // expected exit status
  const char* message;  // fragment of standard error
};

// The acl sample with bytes changed: "@acl:OFFSET=HEX,..." or cut: "@acl:<N" keeps N bytes.
std::string input_of(const std::string& source) {
  if (source.empty() || source[0] != '@') return source;
  const std::size_t colon = source.find(':');
  std::string bytes = read_file(sample(source.substr(1, colon == std::string::npos ? std::string::npos : colon - 1) + ".ber"));
  if (colon == std::string::npos) return bytes;
  const std::string edit = source.substr(colon + 1);
  if (edit[0] == '<') return bytes.substr(0, std::stoul(edit.substr(1)));
  std::istringstream edits(edit);
  std::string one;
  while (std::getline(edits, one, ',')) {
    const std::size_t eq = one.find('=');
    bytes[std::stoul(one.substr(0, eq))] = static_cast<char>(std::stoul(one.substr(eq + 1), nullptr, 16));
  }
  return bytes;
}

// Offsets in the acl sample (see golden/acl.dump.txt): 4 the record's
// SEQUENCE (length 280, 4 header octets), 8 name (UTF8String), 25 the
// entries list, 28 entries[0], 30 its permset.
const failure_case kFailures[] = {
    // truncated
    {"decode_truncated", {"decode", "-t", "acl_ext_t"}, "@acl:<278", 1,
     "ASN_ERR_TRUNCATED (0x10652198) at offset 8: expected 280 content octets, found 270 before the end of the data"},
    {"dump_truncated", {"dump", "-t", "acl_ext_t"}, "@acl:<278", 1, "ASN_ERR_TRUNCATED (0x10652198) at offset 8"},
    {"dump_truncated_untyped", {"dump"}, "@acl:<100", 1, "ASN_ERR_TRUNCATED (0x10652198) at offset 8"},
    {"decode_inner_length_too_long", {"decode", "-t", "acl_ext_t"}, "@acl:31=50", 1,
     "ASN_ERR_TRUNCATED (0x10652198) at offset 32: expected 80 content octets, found 65 before the end of the "
     "enclosing element"},
    {"decode_header_only", {"decode", "-t", "acl_ext_t"}, "04 02 ac dc", 1,
     "ASN_ERR_VERSION (0x10652196) at offset 0: expected the envelope 04 <version> AC DC and an element, found 4 octets"},
    {"decode_identifier_cut", {"decode", "-t", "uuid_t"}, "04 02 ac dc 1f", 1,
     "ASN_ERR_TRUNCATED (0x10652198) at offset 4: expected identifier octets"},
    {"decode_length_cut", {"decode", "-t", "uuid_t"}, "04 02 ac dc 30 82 01", 1,
     "ASN_ERR_TRUNCATED (0x10652198) at offset 5: expected length octets"},
    {"dump_missing_eoc", {"dump"}, "04 02 ac dc 30 80 02 01 05", 1,
     "ASN_ERR_BAD_LENGTH (0x1065219b) at offset 9: expected the end-of-contents octets 00 00"},
    // mistagged
    {"decode_mistagged_name", {"decode", "-t", "acl_ext_t"}, "@acl:8=13", 1,
     "ASN_ERR_TAG_MISMATCH (0x106521a4) at offset 8: expected a UTF8String (acl_ext_t.name), found universal 19 "
     "primitive"},
    {"dump_mistagged_name", {"dump", "-t", "acl_ext_t"}, "@acl:8=13", 1,
     "ASN_ERR_TAG_MISMATCH (0x106521a4) at offset 8: expected a UTF8String (acl_ext_t.name)"},
    {"decode_mistagged_perm", {"decode", "-t", "acl_ext_t"}, "@acl:34=0a", 1,
     "ASN_ERR_TAG_MISMATCH (0x106521a4) at offset 34: expected an INTEGER (acl_ext_t.entries[0].permset.perms[0]), "
     "found universal 10 primitive"},
    {"decode_primitive_sequence", {"decode", "-t", "acl_ext_t"}, "@acl:28=10", 1,
     "ASN_ERR_PRIMITIVE_NOT_PERMITTED (0x1065219f) at offset 28: expected a constructed encoding of a SEQUENCE "
     "(acl_ext_t.entries[0])"},
    {"decode_wrong_record", {"decode", "-t", "uuid_t"}, "@acl", 1,
     "ASN_ERR_TAG_MISMATCH (0x106521a4) at offset 8: expected an INTEGER (uuid_t.time_low), found universal 12"},
    {"decode_extra_component", {"decode", "-t", "dbr_get_db_in_t"}, "04 02 ac dc 30 06 02 01 01 02 01 02", 1,
     "ASN_ERR_EXTRA_CONTENT (0x106521a5) at offset 9: expected the end of dbr_get_db_in_t"},
    {"decode_missing_component", {"decode", "-t", "dbr_get_db_out_t"}, "04 02 ac dc 30 03 02 01 01", 1,
     "at offset 9: expected an INTEGER (dbr_get_db_out_t.out_value2), found the end of dbr_get_db_out_t"},
    {"decode_indefinite_integer", {"decode", "-t", "dbr_get_db_in_t"}, "04 02 ac dc 30 80 02 80 01 00 00 00 00", 1,
     "ASN_ERR_INDEFINITE_NOT_PERMITTED (0x1065219d) at offset 7: expected a definite length"},
    // wrong version and envelope
    {"decode_wrong_version", {"decode", "-t", "acl_ext_t"}, "@acl:1=03", 1,
     "ASN_ERR_VERSION (0x10652196) at offset 1: expected envelope version 2, found 3"},
    {"dump_wrong_version", {"dump", "-t", "acl_ext_t"}, "@acl:1=01", 1,
     "ASN_ERR_VERSION (0x10652196) at offset 1: expected envelope version 2, found 1"},
    {"dump_version_zero", {"dump"}, "@acl:1=00", 1, "ASN_ERR_VERSION (0x10652196) at offset 1"},
    {"decode_bad_marker", {"decode", "-t", "acl_ext_t"}, "@acl:3=dd", 1,
     "ASN_ERR_VERSION (0x10652196) at offset 2: expected the envelope markers AC DC, found AC DD"},
    {"dump_header_past_end", {"dump"}, "09 02 ac dc 30 00", 1,
     "ASN_ERR_VERSION (0x10652196) at offset 0: expected an envelope header length from 4 to 5, found 9"},
    // not hex
    {"decode_not_hex", {"decode", "-t", "acl_ext_t"}, "04 02 ac dz 30 00", 1, "input is not hex: 'z' at offset 10"},
    {"dump_forced_hex_binary", {"dump", "--hex"}, "@acl", 1, "input is not hex: 0x04 at offset 0"},
    {"dump_lone_digit", {"dump"}, "04 02 ac d c", 1, "input is not hex: lone digit at offset 9"},
    {"dump_odd_digits", {"dump"}, "04 02 ac dc 3", 1, "input is not hex: lone digit at offset 12"},
    // JSON
    {"encode_not_json", {"encode", "-t", "acl_ext_t", "--hex"}, "{\"name\": ", 1, "input is not JSON: error at byte 10"},
    {"encode_out_of_range", {"encode", "-t", "acl_ext_t", "--hex"},
     R"({"entries":[{"entry_type":2147483648}]})", 1,
     "acl_ext_t.entries[0].entry_type: expected a number from -2147483648 to 2147483647, found 2147483648"},
    {"encode_unknown_field", {"encode", "-t", "uuid_t", "--hex"}, R"({"time":1})", 1,
     "uuid_t.time: no such field in uuid_t (fields: time_low, time_mid"},
    // bad usage
    {"no_command", {}, "", 2, "A subcommand is required"},
    {"unknown_command", {"frobnicate"}, "", 2, "unknown command 'frobnicate' (commands: types, dump, decode, encode, asn1)"},
    {"decode_without_type", {"decode"}, "", 2, "--type is required"},
    {"unknown_type", {"decode", "-t", "no_such_t"}, "", 2, "unknown record type 'no_such_t' (oxser types lists them)"},
    {"element_only_type", {"encode", "-t", "kyobj_update"}, "{}", 2, "only an element of an update list"},
    {"unknown_option", {"dump", "--colour"}, "", 2, "--colour"},
    {"missing_file", {"dump", "/nonexistent/oxser-input"}, "", 2, "cannot open /nonexistent/oxser-input"},
    {"hex_and_binary", {"dump", "--hex", "--binary"}, "00", 2, "--hex and --binary exclude each other"},
};

TEST(Failure, MessageExitStatusAndNoOutput) {
  for (const failure_case& c : kFailures) {
    SCOPED_TRACE(c.name);
    const result r = run(c.args, input_of(c.input));
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    // dump shows what it read before the fault, ending with the fault line.
    if (c.args.empty() || c.args[0] != "dump" || r.out.empty())
      EXPECT_EQ(r.out, "");
    else
      EXPECT_NE(r.out.find("** " + std::string(c.message)), std::string::npos) << r.out;
  }
}

// A failed command does not create or change its output file.
TEST(Failure, OutputFileUntouched) {
  const std::string out = temp_path("untouched");
  write_file(out, "before");
  const result r = run({"decode", "-t", "acl_ext_t", "-o", out}, input_of("@acl:<278"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(out), "before");
  std::remove(out.c_str());
  const result missing = run({"dump", "-o", out}, "zz");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(access(out.c_str(), F_OK), 0);
}

// --- help and types -------------------------------------------------------------------

TEST(Help, EveryCommandExplainsItself) {
  const result top = run({"--help"});
  EXPECT_EQ(top.status, 0);
  for (const char* word : {"types", "dump", "decode", "encode", "Exit status"})
    EXPECT_NE(top.out.find(word), std::string::npos) << word;
  const std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
      {"types", {"TYPE"}},
      {"dump", {"--type", "--raw", "--hex", "FILE", "offset"}},
      {"decode", {"--type", "--lcs", "FILE", "JSON form"}},
      {"encode", {"--type", "--lcs", "--hex", "FILE", "JSON form"}},
  };
  for (const auto& [command, words] : commands) {
    SCOPED_TRACE(command);
    const result r = run({command, "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const std::string& word : words) EXPECT_NE(r.out.find(word), std::string::npos) << word;
  }
}

TEST(Types, ListsEveryRecordWithModuleAndTypeCode) {
  const result r = run({"types"});
  EXPECT_EQ(r.status, 0);
  std::istringstream lines(r.out);
  std::string line;
  int count = -1;  // the heading
  while (std::getline(lines, line)) ++count;
  EXPECT_EQ(count, 65);  // 62 records and three type-code records
  EXPECT_NE(r.out.find("acl_ext_t                      acl_ext_s_t                      base_idls/aclidl_asn"),
            std::string::npos);
  EXPECT_NE(r.out.find("asn1/asn_kyobjs            260"), std::string::npos);
  EXPECT_EQ(r.out.find("kyobj_update"), std::string::npos);
  const result fields = run({"types", "sec_id_pa_t"});
  EXPECT_NE(fields.out.find("groups                       array of sec_id_t (count in num_groups)"),
            std::string::npos)
      << fields.out;
}

}  // namespace
