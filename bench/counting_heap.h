// A counting heap for the benchmark programs. A program that links
// counting_heap.cpp gets its own malloc family, which forwards to the C
// library and, while counting is on for the calling thread, counts the
// allocations and keeps the bytes in use (malloc_usable_size) and their
// peak. A definition in the executable takes the place of the C library's
// for the shared library and the peer code too. The counts belong to the
// thread, so a second thread neither disturbs nor pays for them.
#ifndef OXSERUTL_BENCH_COUNTING_HEAP_H
#define OXSERUTL_BENCH_COUNTING_HEAP_H

#include <cstddef>

namespace counting_heap {

struct counts {
  std::size_t allocations = 0;  // malloc, calloc, realloc and the aligned forms
  std::size_t peak = 0;         // bytes in use at most, above those at start()
  std::size_t in_use = 0;       // bytes in use now, above those at start()
};

// Starts counting on this thread from zero.
void start();
// Stops counting and returns what was counted since start().
counts stop();

}  // namespace counting_heap

#endif
