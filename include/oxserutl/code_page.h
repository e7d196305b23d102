// Windows: the code page of the local-code-set functions, as a seam for tests.
//
// On Windows the local code set is the process's ANSI code page (GetACP).
// A process cannot change its ANSI code page, so tests choose one here for
// the calling thread. Not for production use; not declared elsewhere.
#ifndef OXSERUTL_CODE_PAGE_H
#define OXSERUTL_CODE_PAGE_H

#include <oxserutl/export.h>

#if defined(_WIN32)
extern "C" {
// The calling thread converts with code_page instead of GetACP(); 0 goes
// back to GetACP().
OXSERUTL_API void oxserutl_code_page_override(unsigned int code_page);
// The code page the calling thread's conversions use now.
OXSERUTL_API unsigned int oxserutl_code_page(void);
}
#endif

#endif
