// Allocation-failure seam for tests.
//
// Every heap allocation the library makes (buffers, child tables, list
// elements, default values, the memory handed to callers) first asks this
// seam. Armed with k, the k-th allocation that the calling thread makes from
// then on fails once, as if the heap were exhausted; the counter belongs to
// the thread, so other threads are never affected. Not for production use:
// the header is not installed; the library's own tests reach it from the
// source tree.
#ifndef OXSERUTL_FAULT_INJECTION_H
#define OXSERUTL_FAULT_INJECTION_H

#include <oxserutl/export.h>

#ifdef __cplusplus
extern "C" {
#endif
// k >= 1: the k-th allocation from now fails; k <= 0: disarm. Resets the
// counters either way.
OXSERUTL_API void oxserutl_fault_arm(long k);
// Allocations asked for by this thread since the last arm.
OXSERUTL_API long oxserutl_fault_allocations(void);
// 1 when the armed failure has happened since the last arm.
OXSERUTL_API int oxserutl_fault_fired(void);
#ifdef __cplusplus
}
#endif

#endif
