// Short names over the shared test helpers (test_util.h).
#ifndef OXSERUTL_TESTS_HEXIO_H
#define OXSERUTL_TESTS_HEXIO_H

#include <string>

#include "test_util.h"

namespace hexio {

using input = oxs_test::hex_view;
inline std::string hex(const unsigned char* p, std::size_t n) { return oxs_test::to_hex(p, n); }
inline std::string name(int code) { return oxs_test::status_name(static_cast<std::uint32_t>(code)); }
inline std::string written(const tq_asn_object& object) { return oxs_test::write_hex(object); }

}  // namespace hexio

#endif
