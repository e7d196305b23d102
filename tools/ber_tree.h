// The tool's view of the library's element walker (base_idls/ber_walk.h),
// whose source the tool compiles for its dumps: the same walk that explains
// a refused buffer in the library.
#ifndef OXSER_BER_TREE_H
#define OXSER_BER_TREE_H

#include "ber_walk.h"

namespace oxser {
using namespace oxserutl::ber;  // NOLINT: the walker's names are the tool's vocabulary
}  // namespace oxser

#endif
