// One status: for any buffer, the tool names the status that the record's
// decode function returns, and its walker only adds where and what it
// expected. Held over the fuzz corpora of the record decoders and of the
// dump, a tree at and beyond the nesting bound, and every cut and many
// single-octet changes of the samples: the walker finds a fault exactly when
// the decode function refuses, and the program (run on every 23rd refused
// buffer) prints the decode function's status.
#include <dirent.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include <oxserutl/oxserutl.h>

#include "ber_tree.h"
#include "record_json.h"
#include "tool_run.h"

namespace {

using namespace oxser_test;
using bytes = std::vector<unsigned char>;  // sized exactly, so that a sanitizer sees reads past the end

class quiet : public oxser::ber_sink {
  void element(oxser::bytes_view, const oxser::ber_header&, int, const std::string&,
               const std::vector<oxser::ber_note>&) override {}
  void end_of_contents(std::size_t, int) override {}
};

// The walker's verdict on a whole buffer of the record.
bool walker_refuses(const oxs_record_info& info, const bytes& data) {
  oxser::envelope_info envelope;
  if (oxser::read_envelope(data, oxser::record_version, envelope)) return true;
  quiet sink;
  std::size_t end = 0;
  return oxser::walk(data, envelope.header_length, data.size(), &info, sink, &end).has_value();
}

// An audit event whose element tree is that many generations deep: each
// generation is two constructed levels, so the nesting bound falls between
// 126 and 127 generations.
std::string deep_event(int generations) {
  const std::string empty_texts = tlv(0x0c, "") + tlv(0x04, "") + tlv(0x30, "");
  std::string element = tlv(0x30, empty_texts + tlv(0x30, ""));
  for (int i = 0; i < generations; ++i) element = tlv(0x30, empty_texts + tlv(0x30, element));
  return "\x04\x02\xac\xdc" + tlv(0x30, tlv(0x02, "\x01") + tlv(0x0c, "e") + tlv(0x02, "\x02") + tlv(0x30, element));
}

TEST(StatusAgreement, ToolAndWalkerNameTheDecodeFunctionsStatus) {
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
  EXPECT_GT(cases.size(), 150u);
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
    EXPECT_EQ(status != 0, walker_refuses(*info, copy)) << what << " as " << info->type_name << ": decode gives "
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
