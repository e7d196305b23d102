// One status: for any buffer, the tool names the status that the record's
// decode function returns, and its walker only adds where and what it
// expected. Held over the fuzz corpora of the record decoders and of the
// dump, and over every cut and many single-octet changes of the samples:
// the walker finds a fault exactly when the decode function refuses, and
// the program prints the decode function's status.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/oxserutl.h>

#include "ber_tree.h"
#include "record_json.h"

namespace {

using bytes = std::vector<unsigned char>;

bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> out;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') out.push_back(dir + "/" + e->d_name);
    closedir(d);
  }
  return out;
}

int decode_status(const oxs_record_info& info, bytes data) {
  oxser::record_holder record(info);
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(data.size());
  in.data = data.data();
  return info.decode(in, record.get(), 0);
}

class quiet : public oxser::ber_sink {
  void element(oxser::bytes_view, const oxser::ber_header&, int, const std::string&,
               const std::vector<oxser::ber_note>&) override {}
  void end_of_contents(std::size_t, int) override {}
};

// The walker's verdict on a whole buffer of the record.
std::optional<oxser::ber_fault> walker_fault(const oxs_record_info& info, const bytes& data) {
  oxser::envelope_info envelope;
  if (auto f = oxser::read_envelope(data, oxser::record_version, envelope)) return f;
  quiet sink;
  std::size_t end = 0;
  return oxser::walk(data, envelope.header_length, data.size(), &info, sink, &end);
}

struct outcome {
  int checked = 0;
  std::vector<std::string> disagreements;
};

void check(const oxs_record_info& info, const bytes& data, const std::string& what, outcome& o) {
  const int status = decode_status(info, data);
  const bool refused = walker_fault(info, data).has_value();
  ++o.checked;
  if ((status != 0) != refused) {
    char text[160];
    std::snprintf(text, sizeof text, "%s as %s: decode gives %s, the walker %s", what.c_str(), info.type_name,
                  tq_asn_status_name(static_cast<std::uint32_t>(status)), refused ? "refuses" : "accepts");
    o.disagreements.push_back(text);
  }
}

bytes tlv(unsigned char tag, const bytes& contents) {
  bytes out{tag};
  if (contents.size() >= 256) out.push_back(0x82), out.push_back(static_cast<unsigned char>(contents.size() >> 8));
  if (contents.size() >= 128 && contents.size() < 256) out.push_back(0x81);
  out.push_back(static_cast<unsigned char>(contents.size()));
  out.insert(out.end(), contents.begin(), contents.end());
  return out;
}

bytes operator+(bytes a, const bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// An audit event whose element tree is that many generations deep: each
// generation is two constructed levels, so the nesting bound falls between
// 126 and 127 generations.
bytes deep_event(int generations) {
  const bytes empty_texts = tlv(0x0c, {}) + tlv(0x04, {}) + tlv(0x30, {});
  bytes element = tlv(0x30, empty_texts + tlv(0x30, {}));
  for (int i = 0; i < generations; ++i) element = tlv(0x30, empty_texts + tlv(0x30, element));
  return bytes{0x04, 0x02, 0xAC, 0xDC} +
         tlv(0x30, tlv(0x02, {1}) + tlv(0x0c, {'e'}) + tlv(0x02, {2}) + tlv(0x30, element));
}

const std::vector<std::pair<const char*, const char*>> kSamples = {
    {"acl", "acl_ext_t"},         {"principal_chain", "kyprincipal_chain_t"}, {"audit_event", "oxauditevent_t"},
    {"policy", "kypop_t"},        {"action_group", "kyaction_group_t"},
};

TEST(StatusAgreement, WalkerRefusesExactlyWhatTheDecodeFunctionRefuses) {
  const auto records = oxser::callable_records();
  outcome o;
  // The corpora: a first octet that picks the record, then the buffer.
  for (const char* corpus : {"records", "dump"}) {
    for (const std::string& file : files_in(std::string(OXSER_FUZZ_CORPUS) + "/" + corpus)) {
      const bytes input = read_file(file);
      if (input.empty()) continue;
      const std::size_t pick = input[0] >> 1;
      const bool records_corpus = std::string(corpus) == "records";
      if (!records_corpus && ((input[0] & 1) != 0 || pick >= records.size())) continue;  // bare BER or no record
      const oxs_record_info& info = *records[records_corpus ? pick % records.size() : pick];
      check(info, bytes(input.begin() + 1, input.end()), file, o);
    }
  }
  EXPECT_GT(o.checked, 150);
  // At the nesting bound and beyond it.
  for (int generations : {126, 127, 140})
    check(*oxs_find_record("oxauditevent_t"), deep_event(generations), std::to_string(generations) + " generations", o);
  // Damaged samples: every cut, and every octet set to 00, FF and to itself
  // with the constructed bit or the top length bit flipped.
  for (const auto& [name, type] : kSamples) {
    const oxs_record_info& info = *oxs_find_record(type);
    const bytes sample = read_file(std::string(OXSER_SAMPLES_DIR) + "/" + name + ".ber");
    for (std::size_t n = 0; n < sample.size(); ++n)
      check(info, bytes(sample.begin(), sample.begin() + static_cast<long>(n)), std::string(name) + " cut to " + std::to_string(n), o);
    for (std::size_t i = 0; i < sample.size(); ++i) {
      for (unsigned char v : {0x00, 0xFF, sample[i] ^ 0x20, sample[i] ^ 0x80}) {
        bytes changed = sample;
        changed[i] = v;
        char what[64];
        std::snprintf(what, sizeof what, "%s with octet %zu = %02X", name, i, v);
        check(info, changed, what, o);
      }
    }
  }
  for (std::size_t i = 0; i < o.disagreements.size() && i < 40; ++i) ADD_FAILURE() << o.disagreements[i];
  EXPECT_EQ(o.disagreements.size(), 0u) << "of " << o.checked;
}

// What the program prints on standard error for the input.
std::string program_errors(const std::vector<std::string>& args, const bytes& input) {
  const std::string tag = std::to_string(getpid());
  const std::string in = ::testing::TempDir() + "oxser-status-in-" + tag;
  const std::string err = ::testing::TempDir() + "oxser-status-err-" + tag;
  std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(input.data()), static_cast<long>(input.size()));
  std::string command = OXSER_PROGRAM;
  for (const std::string& a : args) command += " " + a;
  command += " --binary " + in + " >/dev/null 2>" + err;
  (void)std::system(command.c_str());
  const bytes text = read_file(err);
  std::remove(in.c_str());
  std::remove(err.c_str());
  return std::string(text.begin(), text.end());
}

TEST(StatusAgreement, DecodeAndDumpNameTheDecodeFunctionsStatus) {
  // A spread of damaged samples (cuts and changed octets at every 23rd
  // offset) and a tree beyond the nesting bound.
  std::vector<std::pair<const oxs_record_info*, bytes>> cases;
  for (const auto& [name, type] : kSamples) {
    const bytes sample = read_file(std::string(OXSER_SAMPLES_DIR) + "/" + name + ".ber");
    for (std::size_t i = 4; i < sample.size(); i += 23) {
      bytes changed = sample;
      changed[i] ^= (i % 2 != 0) ? 0x20 : 0x80;
      cases.emplace_back(oxs_find_record(type), bytes(sample.begin(), sample.begin() + static_cast<long>(i)));
      cases.emplace_back(oxs_find_record(type), changed);
    }
  }
  cases.emplace_back(oxs_find_record("oxauditevent_t"), deep_event(127));
  int runs = 0;
  for (const auto& [info, data] : cases) {
    const int status = decode_status(*info, data);
    if (status == 0) continue;
    char named[64];
    std::snprintf(named, sizeof named, "%s (0x%08x)", tq_asn_status_name(static_cast<std::uint32_t>(status)),
                  static_cast<unsigned>(status));
    for (const char* command : {"decode", "dump"}) {
      const std::string err = program_errors({command, "--type", info->type_name}, data);
      EXPECT_EQ(err.rfind(std::string("oxser ") + command + ": " + named, 0), 0u) << info->type_name << "\n" << err;
      ++runs;
    }
  }
  EXPECT_GT(runs, 40);
}

}  // namespace
