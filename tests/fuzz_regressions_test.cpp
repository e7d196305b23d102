// Inputs found by the fuzz targets (fuzz/), each kept as a named case with
// the exact outcome once fixed.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/asnchoice.h>

#include "hexio.h"

namespace {

// frame_fuzz: an OCTET STRING with an indefinite length and no
// end-of-contents octets failed inside a CHOICE and left the cursor behind
// its contents, so the open type after it read the tail of the element
// (24 00) as a value of its own and the four octets were taken as read.
TEST(FuzzRegressions, ChoiceAlternativeAfterMissingEndOfContentsStartsAtTheElement) {
  tq_asn_octetstring octets;
  tq_asn_any any;
  tq_asn_choice choice;
  choice.register_child(&octets);
  choice.register_child(&any);
  hexio::input in("04 80 24 00 24 80 24 80 BE 26 43 00 00");
  EXPECT_EQ(hexio::name(choice.asnread(in.view())), "ASN_ERR_TAG_MISMATCH");
  EXPECT_EQ(choice.selected(), -1);
  EXPECT_EQ(in.consumed(), 0u);
}

}  // namespace
