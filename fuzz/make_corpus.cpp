// Writes the seed corpora of the fuzz targets (the first byte of every seed
// is the target's selector, see the top of each target):
//
//   make_corpus <corpus dir> <ber-suite dir> <samples dir> [workload hex files...]
//
// records: every record's typical and empty (local-code-set) encodings, the
// extreme values of a few, the type-code records; frame and scan: the BER
// suite, a few records' elements and envelopes, the workloads; dump and
// frame: the tool's samples; convert: a text of every code set for every pair.
// The records/*-form-* seeds are written by hand.
#include <clocale>
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
  tq_asn_buffer_t out;
  bytes result;
  if (info.encode(out, record, lcs) == 0) {
    result.assign(out.data, out.data + out.length);
    tq_asn_buffer_free(out);
  }
  recgen::destroy(info, record);
  return result;
}

bool decodes(const oxs_record_info& info, bytes b) {
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(b.size());
  in.data = b.data();
  void* record = std::calloc(1, oxs_fuzz::record_bytes(info));
  const int status = info.decode(in, record, 0);
  if (status == 0) info.release(record);
  std::free(record);
  return status == 0;
}

// The .ber files of a directory, up to 4 KB.
std::vector<std::pair<std::string, bytes>> ber_files(const char* dir) {
  std::vector<std::pair<std::string, bytes>> out;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string text = oxs_test::read_file(entry.path().string());
    if (entry.path().extension() == ".ber" && text.size() <= 4096)
      out.emplace_back(entry.path().stem().string(), bytes(text.begin(), text.end()));
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <corpus dir> <ber-suite dir> <samples dir> [workload.hex...]\n", argv[0]);
    return 2;
  }
  std::setlocale(LC_ALL, "C.UTF-8");
  root = argv[1];
  const auto records = recgen::callable_records();
  const auto index = [&](const char* name) {
    std::size_t i = 0;
    while (std::strcmp(records[i]->structure, name) != 0) ++i;
    return static_cast<unsigned>(i);
  };

  for (unsigned i = 0; i < records.size(); ++i) {
    const std::string name = records[i]->structure;
    put("records", name + "-typical", i << 1, encode(*records[i], recgen::profile::typical, 0));
    put("records", name + "-empty-lcs", i << 1 | 1, encode(*records[i], recgen::profile::empty, 1));
  }
  for (const char* name : {"acl_ext_s_t", "kypop_s_t", "kyaction_groups_s_t"})
    put("records", std::string(name) + "-extreme-lcs", index(name) << 1 | 1,
        encode(*records[index(name)], recgen::profile::extreme, 1));
  // The type codes past the records, envelope version 2.
  for (unsigned t = 0; t < 3; ++t) {
    const oxs_record_info& info = *records[index(t == 0 ? "cert_request_in_s_t" : t == 1 ? "update_list_s_t" : "int32_t")];
    const unsigned selector = (static_cast<unsigned>(records.size()) + (t | 2 << 2)) << 1;
    put("records", std::string("typecode-") + info.structure + "-typical", selector, encode(info, recgen::profile::typical, 0));
    put("records", std::string("typecode-") + info.structure + "-extreme", selector, encode(info, recgen::profile::extreme, 0));
  }

  // frame: 0 the element, 1 an open type, 2 the envelope; scan reads the selector as data.
  for (const auto& [name, b] : ber_files(argv[2])) {
    put("frame", name, 0, b);
    put("scan", name, 0, b);
  }
  for (const char* name : {"acl_ext_s_t", "namevalueList_s_t", "kypop_s_t", "azn_decision_ext_in_s_t"}) {
    const bytes whole = encode(*records[index(name)], recgen::profile::typical, 0);
    const bytes element(whole.begin() + 4, whole.end());
    put("frame", std::string(name) + "-element", 0, element);
    put("frame", std::string(name) + "-open", 1, element);
    put("frame", std::string(name) + "-envelope", 2, whole);
    put("scan", name, 0x30, bytes(element.begin() + 1, element.end()));
  }
  for (int i = 4; i < argc; ++i) {
    const bytes element = oxs_test::from_hex(oxs_test::read_file(argv[i]));
    if (element.size() > 2048) continue;
    const std::string name = fs::path(argv[i]).stem().string();
    put("frame", name, 0, element);
    put("scan", name, 0x30, bytes(element.begin() + 1, element.end()));
  }

  // dump: (record << 1) | bare, a record past the last one for no labels.
  for (const auto& [stem, b] : ber_files(argv[3])) {
    if (b.size() < 5) continue;
    const std::string name = "sample-" + stem;
    put("frame", name, 2, b);
    put("dump", name, 0xFE, b);
    put("dump", name + "-bare", 0xFF, bytes(b.begin() + 4, b.end()));
    for (unsigned i = 0; i < records.size(); ++i) {
      if (!decodes(*records[i], b)) continue;
      put("records", name, i << 1, b);
      put("dump", name + "-labelled", i << 1, b);
    }
  }
  for (unsigned i = 0; i < records.size(); i += 3)
    put("dump", records[i]->structure, i << 1, encode(*records[i], recgen::profile::typical, 0));

  // convert: source (mod 7) and target (/ 7) code sets, a text in the source code set:
  // UTF-8, Printable, T.61, IA5, Visible, Universal, BMP.
  const bytes texts[7] = {
      {'h', 0xC3, 0xA9, 'l', 'l', 'o', ' ', 0xE2, 0x82, 0xAC},
      {'H', 'e', 'l', 'l', 'o', ' ', '1', '2', '(', ')', '?'},
      {'c', 'a', 'f', 0xC2, 'e', ' ', 0xC8, 'u'},
      {'a', '@', 'b', 0xE9, '~'},
      {'V', 'i', 's', '~', '!'},
      {0, 0, 0, 'A', 0, 0, 0, 0xE9, 0, 0, 0x20, 0xAC, 0, 1, 0xF6, 0x00},
      {0, 'A', 0, 0xE9, 0x20, 0xAC, 0xD8, 0x3D},
  };
  for (unsigned from = 0; from < 7; ++from)
    for (unsigned to = 0; to < 7; ++to)
      put("convert", "pair-" + std::to_string(from) + "-" + std::to_string(to), from + 7 * to, texts[from]);
  return 0;
}
