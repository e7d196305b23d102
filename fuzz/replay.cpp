// Runs a fuzz target's properties over its seed corpus without libFuzzer,
// so that the ordinary test run holds every build to them:
//   <target>_replay DIR...
// Exits non-zero (the target aborts) at the first input that breaks one.
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "test_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  long inputs = 0;
  for (int i = 1; i < argc; ++i)
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
      const std::string bytes = oxs_test::read_file(entry.path().string());
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++inputs;
    }
  std::printf("%ld inputs replayed\n", inputs);
  return inputs > 0 ? 0 : 1;
}
