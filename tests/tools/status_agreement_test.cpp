// One status: for any buffer, the tool names the status that the record's
// decode function returns, and its walker only adds where and what it
// expected. Held over the fuzz corpora of the record decoders and of the
// dump, and over every cut and many single-octet changes of the samples:
// the walker finds a fault exactly when the decode function refuses, and
// the program prints the decode function's status.
#include <dirent.h>

#include <cstdio>
#include <string>
#include <vector>

#include <oxserutl/oxserutl.h>

#include "ber_tree.h"
#include "record_json.h"
#include "tool_run.h"

namespace {

using namespace oxser_test;
using bytes = std::vector<unsigned char>;  // sized exactly, so that a sanitizer sees reads past the end

bytes bytes_of(const std::string& s) { return bytes(s.begin(), s.end()); }

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
bytes deep_event(int generations) {
  const std::string empty_texts = tlv(0x0c, "") + tlv(0x04, "") + tlv(0x30, "");
  std::string element = tlv(0x30, empty_texts + tlv(0x30, ""));
  for (int i = 0; i < generations; ++i) element = tlv(0x30, empty_texts + tlv(0x30, element));
  return bytes_of("\x04\x02\xac\xdc" + tlv(0x30, tlv(0x02, "\x01") + tlv(0x0c, "e") + tlv(0x02, "\x02") + tlv(0x30, element)));
}

bytes sample(const char* name) { return bytes_of(read_file(sample_path(std::string(name) + ".ber"))); }

TEST(StatusAgreement, WalkerRefusesExactlyWhatTheDecodeFunctionRefuses) {
  const auto records = oxser::callable_records();
  int checked = 0;
  std::vector<std::string> disagreements;
  const auto check = [&](const oxs_record_info& info, const bytes& data, const std::string& what) {
    const int status = decode_status(info, data);
    ++checked;
    if ((status != 0) != walker_refuses(info, data))
      disagreements.push_back(what + " as " + info.type_name + ": decode gives " +
                              tq_asn_status_name(static_cast<std::uint32_t>(status)));
  };
  // The corpora: a first octet that picks the record, then the buffer.
  for (const std::string corpus : {"records", "dump"}) {
    DIR* d = opendir((std::string(OXSER_FUZZ_CORPUS) + "/" + corpus).c_str());
    ASSERT_NE(d, nullptr) << corpus;
    while (const dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      const bytes input = bytes_of(read_file(std::string(OXSER_FUZZ_CORPUS) + "/" + corpus + "/" + e->d_name));
      if (input.empty()) continue;
      const std::size_t pick = input[0] >> 1;
      if (corpus == "dump" && ((input[0] & 1) != 0 || pick >= records.size())) continue;  // bare BER or no record
      check(*records[pick % records.size()], bytes(input.begin() + 1, input.end()), corpus + "/" + e->d_name);
    }
    closedir(d);
  }
  EXPECT_GT(checked, 150);
  // At the nesting bound and beyond it.
  for (int generations : {126, 127, 140})
    check(*oxs_find_record("oxauditevent_t"), deep_event(generations), std::to_string(generations) + " generations");
  // Damaged samples: every cut, and every octet set to 00, FF and to itself
  // with the constructed bit or the top length bit flipped.
  for (const auto& [name, type] : kSamples) {
    const oxs_record_info& info = *oxs_find_record(type);
    const bytes whole = sample(name);
    for (std::size_t i = 0; i < whole.size(); ++i) {
      check(info, bytes(whole.begin(), whole.begin() + static_cast<long>(i)), std::string(name) + " cut to " + std::to_string(i));
      for (unsigned char v : {0x00, 0xFF, whole[i] ^ 0x20, whole[i] ^ 0x80}) {
        bytes changed = whole;
        changed[i] = v;
        check(info, changed, std::string(name) + " with octet " + std::to_string(i) + " = " + std::to_string(v));
      }
    }
  }
  for (std::size_t i = 0; i < disagreements.size() && i < 40; ++i) ADD_FAILURE() << disagreements[i];
  EXPECT_EQ(disagreements.size(), 0u) << "of " << checked;
}

TEST(StatusAgreement, DecodeAndDumpNameTheDecodeFunctionsStatus) {
  // A spread of damaged samples (cuts and changed octets at every 23rd
  // offset) and a tree beyond the nesting bound, given as a file.
  std::vector<std::pair<const oxs_record_info*, bytes>> cases;
  for (const auto& [name, type] : kSamples) {
    const bytes whole = sample(name);
    for (std::size_t i = 4; i < whole.size(); i += 23) {
      bytes changed = whole;
      changed[i] ^= (i % 2 != 0) ? 0x20 : 0x80;
      cases.emplace_back(oxs_find_record(type), bytes(whole.begin(), whole.begin() + static_cast<long>(i)));
      cases.emplace_back(oxs_find_record(type), changed);
    }
  }
  cases.emplace_back(oxs_find_record("oxauditevent_t"), deep_event(127));
  const std::string file = temp("damaged");
  int runs = 0;
  for (const auto& [info, data] : cases) {
    const int status = decode_status(*info, data);
    if (status == 0) continue;
    char named[64];
    std::snprintf(named, sizeof named, "%s (0x%08x)", tq_asn_status_name(static_cast<std::uint32_t>(status)),
                  static_cast<unsigned>(status));
    write_file(file, std::string(data.begin(), data.end()));
    for (const std::string command : {"decode", "dump"}) {
      const std::string err = run({command, "--type", info->type_name, "--binary", file}).err;
      EXPECT_EQ(err.rfind("oxser " + command + ": " + named, 0), 0u) << info->type_name << "\n" << err;
      ++runs;
    }
  }
  std::remove(file.c_str());
  EXPECT_GT(runs, 40);
}

}  // namespace
