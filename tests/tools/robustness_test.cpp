// The oxser program on input that real work brings, made here: a buffer of
// 20 MB (dumped from a file and, cut, from standard input) and JSON nested
// 30,000 levels deep, each within a memory bound.
#include <algorithm>

#include "tool_run.h"

namespace {

using namespace oxser_test;

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
  return "\x04\x02\xac\xdc" + tlv(0x30, tlv(0x02, "\x01") + tlv(0x0c, "event") + tlv(0x02, "\x02") + tlv(0x30, elements));
}

TEST(Robustness, DumpOfTwentyMegabytesStreamsWithinTheBound) {
  const std::string buffer = large_event(), listing = temp("listing"), file = temp("large");
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
  const result r = run({"encode", "--type", "attrlist_t", "--hex"}, deep);
  EXPECT_EQ(r.status, 1);
  EXPECT_LT(r.peak_kb, kMemoryBoundKb);
  EXPECT_NE(r.err.find("nests objects more than 256 levels deep"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

}  // namespace
