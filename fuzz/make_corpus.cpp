// Writes the seed corpora, each seed the target's selector byte and a body:
//   make_corpus <corpus dir> <ber-suite dir> <samples dir> [workload hex files...]
// (fuzz/README.md says what each holds; records/*-form-* are written by hand).
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "records/record_gen.h"
#include "test_util.h"

namespace fs = std::filesystem;
using bytes = std::vector<unsigned char>;

namespace {

fs::path root;

void put(const std::string& target, const std::string& name, unsigned selector, const bytes& body) {
  fs::create_directories(root / target);
  std::ofstream out(root / target / name, std::ios::binary);
  out.put(static_cast<char>(selector));
  out.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
}

bytes encode(const oxs_record_info& info, recgen::profile p, int lcs) {
  void* record = recgen::make(info, p);
  bytes out;
  recgen::encode(info.encode, record, lcs, out);
  recgen::destroy(info, record);
  return out;
}

// The .ber files of a directory, from `least` octets to 4 KB.
std::vector<std::pair<std::string, bytes>> ber_files(const char* dir, std::size_t least) {
  std::vector<std::pair<std::string, bytes>> out;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string text = oxs_test::read_file(entry.path().string());
    if (entry.path().extension() == ".ber" && text.size() >= least && text.size() <= 4096)
      out.emplace_back(entry.path().stem().string(), bytes(text.begin(), text.end()));
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return std::fprintf(stderr, "usage: %s <corpus> <ber-suite> <samples> [workload.hex...]\n", argv[0]), 2;
  std::setlocale(LC_ALL, "C.UTF-8");
  root = argv[1];
  const auto records = recgen::callable_records();

  // records: (record << 1) | local code set; past the last record the type codes, version 2.
  using recgen::profile;
  for (unsigned i = 0; i < records.size(); ++i) {
    const std::string name = records[i]->structure;
    put("records", name + "-typical", i << 1, encode(*records[i], profile::typical, 0));
    put("records", name + "-empty-lcs", i << 1 | 1, encode(*records[i], profile::empty, 1));
    if (name == "acl_ext_s_t" || name == "kypop_s_t" || name == "kyaction_groups_s_t")
      put("records", name + "-extreme-lcs", i << 1 | 1, encode(*records[i], profile::extreme, 1));
    if (records[i]->type_code == 0) continue;
    const unsigned type = records[i]->type_code == ASN_TYPE_CERT_REQUEST_IN ? 0
                          : records[i]->type_code == ASN_TYPE_UPDATE_LIST   ? 1
                                                                            : 2;
    const unsigned selector = (static_cast<unsigned>(records.size()) + (type | 2 << 2)) << 1;  // version 2
    put("records", "typecode-" + name + "-typical", selector, encode(*records[i], profile::typical, 0));
    put("records", "typecode-" + name + "-extreme", selector, encode(*records[i], profile::extreme, 0));
  }
  // frame: 0 the element, 1 an open type, 2 the envelope; scan reads the selector as data.
  for (const auto& [name, b] : ber_files(argv[2], 0)) {
    put("frame", name, 0, b);
    put("scan", name, 0, b);
  }
  for (const char* name : {"acl_ext_s_t", "namevalueList_s_t", "kypop_s_t", "azn_decision_ext_in_s_t"}) {
    const bytes whole = encode(*oxs_find_record(name), profile::typical, 0);
    const bytes element(whole.begin() + 4, whole.end());
    put("frame", name + std::string("-element"), 0, element);
    put("frame", name + std::string("-open"), 1, element);
    put("frame", name + std::string("-envelope"), 2, whole);
    put("scan", name, 0x30, bytes(element.begin() + 1, element.end()));
  }
  for (int i = 4; i < argc; ++i) {
    const bytes element = oxs_test::from_hex(oxs_test::read_file(argv[i]));
    if (element.size() > 2048) continue;
    put("frame", fs::path(argv[i]).stem().string(), 0, element);
    put("scan", fs::path(argv[i]).stem().string(), 0x30, bytes(element.begin() + 1, element.end()));
  }
  // dump: (record << 1) | bare, a record past the last one for no labels.
  for (const auto& [stem, b] : ber_files(argv[3], 5)) {
    put("frame", "sample-" + stem, 2, b);
    put("dump", "sample-" + stem, 0xFE, b);
    put("dump", "sample-" + stem + "-bare", 0xFF, bytes(b.begin() + 4, b.end()));
    for (unsigned i = 0; i < records.size(); ++i) {
      if (oxs_fuzz::decode_status(*records[i], b) != 0) continue;
      put("records", "sample-" + stem, i << 1, b);
      put("dump", "sample-" + stem + "-labelled", i << 1, b);
    }
  }
  for (unsigned i = 0; i < records.size(); i += 3)
    put("dump", records[i]->structure, i << 1, encode(*records[i], profile::typical, 0));

  // convert: source (mod 7) and target (/ 7) code sets, a text in the source code set:
  // UTF-8, Printable, T.61, IA5, Visible, Universal, BMP.
  const bytes texts[7] = {{'h', 0xC3, 0xA9, 'l', 'l', 'o', ' ', 0xE2, 0x82, 0xAC},
                          {'H', 'e', 'l', 'l', 'o', ' ', '1', '2', '(', ')', '?'},
                          {'c', 'a', 'f', 0xC2, 'e', ' ', 0xC8, 'u'},
                          {'a', '@', 'b', 0xE9, '~'},
                          {'V', 'i', 's', '~', '!'},
                          {0, 0, 0, 'A', 0, 0, 0, 0xE9, 0, 0, 0x20, 0xAC, 0, 1, 0xF6, 0x00},
                          {0, 'A', 0, 0xE9, 0x20, 0xAC, 0xD8, 0x3D}};
  for (unsigned from = 0; from < 7; ++from)
    for (unsigned to = 0; to < 7; ++to)
      put("convert", "pair-" + std::to_string(from) + "-" + std::to_string(to), from + 7 * to, texts[from]);
  return 0;
}
