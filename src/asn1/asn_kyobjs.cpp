// The records reached by a type code and their dispatch, both derived from
// the rows of OXS_TYPE_CODE_RECORDS in <oxserutl/record_schema.h>. The
// field rules are those of every record binding (binding_impl.h); these
// records differ only in their base (a leading INTEGER 1), in taking the
// record as const for set_value, and in their lists giving ASN_ERR_MEMORY
// as a status where the record bindings raise.
#define OXS_SOURCE "asn1/asn_kyobjs"
#include <oxserutl/asn_kyobjs.h>

#include "binding_impl.h"
#include "boundary.h"
#include "internal.h"

using namespace oxserutl::detail;

asn_kyobj_base::asn_kyobj_base(security_t security) : tq_asnbase(security) {
  register_child(&lead);
  lead.set_value(1);
}
asn_kyobj_base::~asn_kyobj_base() = default;

#define OXS_IMPLEMENT_TYPE_CODE_bare(S, B, NAME)
#define OXS_IMPLEMENT_TYPE_CODE_sequence(S, B, NAME) OXS_IMPLEMENT_TREE(S, B, NAME, asn_kyobj_base, const S&, status)
#define OXS_IMPLEMENT_TYPE_CODE(S, B, NAME, CODE, SHAPE) OXS_IMPLEMENT_TYPE_CODE_##SHAPE(S, B, NAME)
OXS_TYPE_CODE_RECORDS(OXS_IMPLEMENT_TYPE_CODE)
#undef OXS_IMPLEMENT_TYPE_CODE

// --- dispatch -------------------------------------------------------------------

namespace {

enum class mode { encode, decode };

// A SEQUENCE record through its binding class.
template <class B, class S>
int run_sequence(mode m, int version, void* untyped, tq_asn_buffer_t& buffer) {
  S& record = *static_cast<S*>(untyped);
  B object(security_normal);
  if (m == mode::encode) {
    const int status = object.set_value(record);
    if (status != 0) return status;
    return tq_asnbase::saveEncoding(&object, version, buffer);
  }
  const int status = tq_asnbase::loadObject(&object, version, buffer);
  if (status != 0) return status;
  return object.get_value(record);
}
template <class B, class S>
void release_sequence(void* record) {
  B::free_obj(*static_cast<S*>(record));
}

// The bare INTEGER: the record is its one signed 32-bit field, the object
// the INTEGER itself. Decoding gives the INTEGER's status (ASN_ERR_TOO_LARGE
// for more than 32 bits) and stores the value only on success.
template <class B, class S>
int run_bare(mode m, int version, void* untyped, tq_asn_buffer_t& buffer) {
  static_assert(sizeof(S) == sizeof(std::int32_t), "a bare record is one 32-bit integer");
  auto& record = *static_cast<std::int32_t*>(untyped);
  B object(security_normal);
  if (m == mode::encode) {
    object.set_value(record);
    return tq_asnbase::saveEncoding(&object, version, buffer);
  }
  int status = tq_asnbase::loadObject(&object, version, buffer);
  if (status != 0) return status;
  std::int32_t value = 0;
  status = object.get_value(value);
  if (status == 0) record = value;
  return status;
}
template <class B, class S>
void release_bare(void*) {}

struct type_code_entry {
  std::uint32_t code;  // 0: an element of another record only, no code
  int (*run)(mode, int, void*, tq_asn_buffer_t&);
  void (*release)(void*);
};

constexpr type_code_entry kTypeCodes[] = {
#define OXS_TYPE_CODE_ENTRY(S, B, NAME, CODE, SHAPE) {CODE, &run_##SHAPE<B, S>, &release_##SHAPE<B, S>},
    OXS_TYPE_CODE_RECORDS(OXS_TYPE_CODE_ENTRY)
#undef OXS_TYPE_CODE_ENTRY
};

// The codes are public constants of <oxserutl/record_functions.h>, written
// out there by hand because that header must stay plain for callers of
// any compiler; each row names its constant. These pin the values callers
// were given, and no two rows may share a code.
static_assert(ASN_TYPE_CERT_REQUEST_IN == 259 && ASN_TYPE_UPDATE_LIST == 260 && ASN_TYPE_INTEGER == 262,
              "the public type codes");
constexpr bool codes_distinct() {
  for (const type_code_entry& a : kTypeCodes)
    for (const type_code_entry& b : kTypeCodes)
      if (&a != &b && a.code != 0 && a.code == b.code) return false;
  return true;
}
static_assert(codes_distinct(), "two type-code rows share a code");

const type_code_entry* find(unsigned int type) {
  for (const type_code_entry& e : kTypeCodes)
    if (e.code != 0 && e.code == type) return &e;
  return nullptr;
}

}  // namespace

int tqasn_encode_obj(int version, void* record, unsigned int type, tq_asn_buffer_t& out) {
  const type_code_entry* e = find(type);
  if (e == nullptr) return -1;
  // The type-code functions catch every exception.
  return at_boundary<other_exceptions::no_memory>([&] { return e->run(mode::encode, version, record, out); });
}

int tqasn_decode_obj(int version, tq_asn_buffer_t& in, unsigned int type, void* record) {
  const type_code_entry* e = find(type);
  if (e == nullptr) return -1;
  return at_boundary<other_exceptions::no_memory>([&] { return e->run(mode::decode, version, record, in); });
}

void tqasn_obj_free(int, unsigned int type, void* record) {
  const type_code_entry* e = find(type);
  if (e != nullptr) e->release(record);
}
