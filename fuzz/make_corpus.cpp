// Writes the seed corpora of the fuzz targets: record encodings made from
// the run-time description (typical and empty values, plus the extreme
// values of a few records), the public BER suite's files, the benchmark
// workloads when given, and short texts of every code set.
//
//   make_corpus <corpus dir> <ber-suite dir> <samples dir> [workload hex files...]
//
// The first byte of every seed selects what the target does with the rest
// (see the comment at the top of each target).
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <oxserutl/oxserutl.h>

#include "fuzz_util.h"
#include "records/record_gen.h"
#include "test_util.h"

namespace fs = std::filesystem;
using bytes = std::vector<unsigned char>;

namespace {

fs::path root;

void put(const std::string& target, const std::string& name, unsigned char selector, const bytes& body) {
  fs::create_directories(root / target);
  std::ofstream out(root / target / name, std::ios::binary);
  out.put(static_cast<char>(selector));
  out.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
}

bytes read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bytes from_hex(const std::string& text) { return oxs_test::from_hex(text); }

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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <corpus dir> <ber-suite dir> <samples dir> [workload.hex...]\n", argv[0]);
    return 2;
  }
  std::setlocale(LC_ALL, "C.UTF-8");
  root = argv[1];
  const auto& records = oxs_fuzz::callable_records();

  // records: (index << 1) | lcs, then the envelope and the element.
  for (std::size_t i = 0; i < records.size(); ++i) {
    const oxs_record_info& info = *records[i];
    const auto selector = static_cast<unsigned char>(i << 1);
    put("records", std::string(info.structure) + "-typical", selector, encode(info, recgen::profile::typical, 0));
    put("records", std::string(info.structure) + "-empty-lcs", selector | 1, encode(info, recgen::profile::empty, 1));
  }
  for (const char* name : {"acl_ext_s_t", "kypop_s_t", "kyaction_groups_s_t"}) {
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (std::strcmp(records[i]->structure, name) != 0) continue;
      put("records", std::string(name) + "-extreme-lcs", static_cast<unsigned char>((i << 1) | 1),
          encode(*records[i], recgen::profile::extreme, 1));
    }
  }

  // typecode: type index | version << 2.
  const char* coded[] = {"cert_request_in_s_t", "update_list_s_t", "int32_t"};
  for (int t = 0; t < 3; ++t) {
    const oxs_record_info& info = *oxs_find_record(coded[t]);
    put("typecode", std::string(coded[t]) + "-typical", static_cast<unsigned char>(t | 2 << 2),
        encode(info, recgen::profile::typical, 0));
    put("typecode", std::string(coded[t]) + "-extreme", static_cast<unsigned char>(t | 2 << 2),
        encode(info, recgen::profile::extreme, 0));
  }

  // frame (0 choice, 1 open type, 2 envelope) and scan: the BER suite, the
  // bare elements of a few records and their envelopes.
  for (const auto& entry : fs::directory_iterator(argv[2])) {
    if (entry.path().extension() != ".ber") continue;
    const bytes b = read_file(entry.path());
    if (b.size() > 4096) continue;
    const std::string name = entry.path().stem().string();
    put("frame", name, 0, b);
    put("scan", name, 0, b);  // the scanner target reads the selector as data
  }
  for (const char* name : {"acl_ext_s_t", "namevalueList_s_t", "kypop_s_t", "azn_decision_ext_in_s_t"}) {
    const bytes whole = encode(*oxs_find_record(name), recgen::profile::typical, 0);
    const bytes element(whole.begin() + 4, whole.end());
    put("frame", std::string(name) + "-element", 0, element);
    put("frame", std::string(name) + "-open", 1, element);
    put("frame", std::string(name) + "-envelope", 2, whole);
    put("scan", name, 0x30, bytes(element.begin() + 1, element.end()));
  }
  // The tool's samples (envelope and record): every target that reads an
  // element or a record, and the dump with and without the record's labels.
  for (const auto& entry : fs::directory_iterator(argv[3])) {
    if (entry.path().extension() != ".ber") continue;
    const bytes b = read_file(entry.path());
    if (b.size() < 5 || b.size() > 4096) continue;
    const std::string name = "sample-" + entry.path().stem().string();
    put("frame", name, 2, b);
    put("dump", name, 0xFE, b);
    put("dump", name + "-bare", 0xFF, bytes(b.begin() + 4, b.end()));
    for (std::size_t i = 0; i < records.size(); ++i) {
      void* record = std::calloc(1, oxs_fuzz::record_bytes(*records[i]));
      tq_asn_buffer_t in;
      bytes copy = b;
      in.length = static_cast<std::uint32_t>(copy.size());
      in.data = copy.data();
      if (records[i]->decode(in, record, 0) == 0) {
        records[i]->release(record);
        put("records", name, static_cast<unsigned char>(i << 1), b);
        put("dump", name + "-labelled", static_cast<unsigned char>(i << 1), b);
      }
      std::free(record);
    }
  }
  // dump: (index << 1) | bare, the records' typical encodings.
  for (std::size_t i = 0; i < records.size(); i += 3)
    put("dump", std::string(records[i]->structure), static_cast<unsigned char>(i << 1),
        encode(*records[i], recgen::profile::typical, 0));

  for (int i = 4; i < argc; ++i) {
    std::ifstream in(argv[i]);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes element = from_hex(text);
    if (element.size() > 2048) continue;  // keep the corpus small
    const std::string name = fs::path(argv[i]).stem().string();
    put("frame", name, 0, element);
    put("scan", name, 0x30, bytes(element.begin() + 1, element.end()));
  }

  // convert: source (mod 7) and target (/ 7) code sets, a text in the
  // source code set: UTF-8, Printable, T.61, IA5, Visible, Universal, BMP.
  const bytes texts[7] = {
      {'h', 0xC3, 0xA9, 'l', 'l', 'o', ' ', 0xE2, 0x82, 0xAC},
      {'H', 'e', 'l', 'l', 'o', ' ', '1', '2', '(', ')', '?'},
      {'c', 'a', 'f', 0xC2, 'e', ' ', 0xC8, 'u'},
      {'a', '@', 'b', 0xE9, '~'},
      {'V', 'i', 's', '~', '!'},
      {0, 0, 0, 'A', 0, 0, 0, 0xE9, 0, 0, 0x20, 0xAC, 0, 1, 0xF6, 0x00},
      {0, 'A', 0, 0xE9, 0x20, 0xAC, 0xD8, 0x3D},
  };
  for (int from = 0; from < 7; ++from)
    for (int to = 0; to < 7; ++to)
      put("convert", "pair-" + std::to_string(from) + "-" + std::to_string(to), static_cast<unsigned char>(from + 7 * to),
          texts[from]);
  return 0;
}
