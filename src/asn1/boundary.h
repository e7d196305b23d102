// The one place where exceptions become status codes.
//
// Inside the library failures are raised (the tq_asn_exception family);
// every exported function that returns a status runs its body through
// at_boundary, which prints the family's diagnostic line, "Exception: %s
// [%8.8x] in %s at line %d", to the standard error stream and returns its
// code. The exported functions differ only in what they do with any other
// exception, which is the parameter. Not part of the public API.
#ifndef OXSERUTL_SRC_BOUNDARY_H
#define OXSERUTL_SRC_BOUNDARY_H

#include <oxserutl/asnbase.h>
#include <oxserutl/status.h>

namespace oxserutl {
namespace detail {

enum class other_exceptions {
  pass_on,    // the record functions: only the family is theirs to catch
  no_memory,  // the type-code functions and the raw scanners (C callers):
              // anything else is ASN_ERR_MEMORY, without a line
};

template <other_exceptions Others, class F>
int at_boundary(F&& body) noexcept(Others == other_exceptions::no_memory) {
  try {
    return body();
  } catch (const tq_asn_exception& e) {
    e.print();
    return static_cast<int>(e.code());
  } catch (...) {
    if constexpr (Others == other_exceptions::pass_on) throw;
    return ASN_ERR_MEMORY;
  }
}

}  // namespace detail
}  // namespace oxserutl

#endif
