// Compiled at configure time, twice: with OXSERUTL_USE_STATUS it must
// build; without it, it ignores the status of a decode and must be refused
// when that warning is made an error.
#include <oxserutl/oxserutl.h>

int decode_once(tq_asn_buffer_t& bytes, uuid_t& record) {
#ifdef OXSERUTL_USE_STATUS
  return tqAsnDecodeObj(bytes, record);
#else
  tqAsnDecodeObj(bytes, record);
  return 0;
#endif
}
