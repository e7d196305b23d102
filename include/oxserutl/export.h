// Symbol export macro for liboxserutl.
//
// The library is built with hidden visibility; everything a caller may use
// carries OXSERUTL_API.
#ifndef OXSERUTL_EXPORT_H
#define OXSERUTL_EXPORT_H

#if defined(_WIN32)
#  if defined(OXSERUTL_BUILDING)
#    define OXSERUTL_API __declspec(dllexport)
#  else
#    define OXSERUTL_API __declspec(dllimport)
#  endif
#else
#  define OXSERUTL_API __attribute__((visibility("default")))
#endif

#define OXSERUTL_NODISCARD [[nodiscard]]

#endif
