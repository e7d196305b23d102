// Running the oxser program from the tests: its streams go through files (no
// pipe can fill up); the result holds the exit status and the peak resident
// memory. Also the samples, and the case tables beside the tests.
#ifndef OXSER_TESTS_TOOL_RUN_H
#define OXSER_TESTS_TOOL_RUN_H

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace oxser_test {

struct result {
  int status = -1;
  long peak_kb = 0;
  std::string out, err;
};

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Per process: ctest runs the tests side by side.
inline std::string temp(const std::string& name) {
  return ::testing::TempDir() + "oxser-test-" + std::to_string(getpid()) + "-" + name;
}

inline std::string sample_path(const std::string& file) { return std::string(OXSER_SAMPLES_DIR) + "/" + file; }

// The sample files with their record types.
const std::pair<const char*, const char*> kSamples[] = {
    {"acl", "acl_ext_t"}, {"principal_chain", "kyprincipal_chain_t"}, {"audit_event", "oxauditevent_t"},
    {"policy", "kypop_t"}, {"action_group", "kyaction_group_t"},
};

// Runs the program with the input on standard input; leading arguments
// "LC_ALL=NAME" set its locale.
inline result run(const std::vector<std::string>& args, const std::string& input = {}) {
  const std::string in = temp("in"), out = temp("out"), err = temp("err");
  write_file(in, input);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fds[3] = {open(in.c_str(), O_RDONLY), open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
                        open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)};
    for (int i = 0; i < 3; ++i) dup2(fds[i], i);
    std::vector<char*> argv{const_cast<char*>(OXSER_PROGRAM)};
    for (const std::string& a : args) {
      if (a.rfind("LC_ALL=", 0) == 0) putenv(const_cast<char*>(a.c_str()));
      else argv.push_back(const_cast<char*>(a.c_str()));
    }
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
  r.out = read_file(out);
  r.err = read_file(err);
  for (const std::string& f : {in, out, err}) std::remove(f.c_str());
  return r;
}

// One BER element with a definite length in the shortest form.
inline std::string tlv(unsigned char tag, const std::string& contents) {
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
inline std::string input_of(const std::string& source) {
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

// One run of the program in a case table (a text file in tests/tools, one
// case a line, '#' starting a comment): ARGS | INPUT | STATUS | EXPECTED...
// In ARGS, "@FILE" is a sample file.
struct table_row {
  std::string where;
  std::vector<std::string> args;
  std::string input;
  int status = 0;
  std::vector<std::string> expected;
};

inline std::vector<table_row> table(const std::string& file) {
  std::vector<table_row> rows;
  std::istringstream in(read_file(std::string(OXSER_TEST_DIR) + "/" + file));
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.find_first_not_of(' ') == std::string::npos || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string f; std::getline(split, f, '|');) {
      f.erase(0, f.find_first_not_of(' '));
      f.erase(f.find_last_not_of(' ') + 1);
      for (std::size_t at; (at = f.find("\\n")) != std::string::npos;) f.replace(at, 2, "\n");
      fields.push_back(f);
    }
    table_row row{file + ":" + std::to_string(number), {}, input_of(fields.at(1)), std::stoi(fields.at(2)),
                  std::vector<std::string>(fields.begin() + 3, fields.end())};
    std::istringstream words(fields[0]);
    for (std::string w; words >> w;) row.args.push_back(w[0] == '@' ? sample_path(w.substr(1)) : w);
    rows.push_back(row);
  }
  EXPECT_FALSE(rows.empty()) << "no cases in " << file;
  return rows;
}

}  // namespace oxser_test

#endif
