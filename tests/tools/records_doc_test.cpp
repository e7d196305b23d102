// docs/records.md is committed; it must be what `oxser types --markdown`
// prints from the run-time description today.
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "record_doc.h"

TEST(RecordsDoc, CommittedReferenceIsCurrent) {
  std::ifstream file(OXSERUTL_SOURCE_DIR "/docs/records.md", std::ios::binary);
  ASSERT_TRUE(file) << "docs/records.md is missing";
  std::ostringstream committed;
  committed << file.rdbuf();
  const std::string generated = oxser::records_markdown();
  if (committed.str() == generated) return;
  std::istringstream a(committed.str()), b(generated);
  std::string x, y;
  int line = 0;
  while (std::getline(a, x) && std::getline(b, y) && x == y) ++line;
  FAIL() << "docs/records.md is stale from line " << line + 1 << " (committed: \"" << x << "\", generated: \"" << y
         << "\"); run: build/tools/oxser types --markdown > docs/records.md";
}
