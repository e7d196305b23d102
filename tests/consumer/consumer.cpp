// Uses the library through its umbrella header only, by the public names:
// the runtime, an envelope, a record, a status name, the exceptions of the
// runtime classes and the version. (The programs of the tree link the rest of the
// exported functions.)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <oxserutl/oxserutl.h>

// The headers keep their expansion macros to themselves; only the schema
// rows are public.
#if defined(OXS_STRUCT_i32) || defined(OXS_STRUCT_list) || defined(OXS_STRUCT_FIELD) || defined(OXS_DEFINE_STRUCT)
#error "a record structure's expansion macro leaked"
#endif
#if defined(OXS_MEMBER_i32) || defined(OXS_MEMBER_list) || defined(OXS_MEMBER_FIELD) || defined(OXS_DEFINE_BINDING)
#error "a binding's expansion macro leaked"
#endif
#if !defined(OXS_ALL_MODULES) || !defined(OXS_TYPE_CODE_RECORDS)
#error "the schema rows are public"
#endif

namespace {

void* no_memory(std::size_t) { return nullptr; }
void* no_memory_again(void*, std::size_t) { return nullptr; }
void* no_memory_zeroed(std::size_t, std::size_t) { return nullptr; }
void* raising(void*, std::size_t) { throw std::bad_alloc(); }

// An exception raised inside the library reaches the caller's catch, and
// one raised by the caller's allocator passes back through the library's
// frames: 0 when all three arrive as raised.
int exceptions_cross() {
  int arrived = 0;
  try {
    tq_buffer_t out(tq_memory_funcs_t(no_memory, std::free, no_memory_again, no_memory_zeroed));
    (void)out.append('x');
  } catch (const tq_asn_memexception& e) {
    arrived += e.code() == ASN_ERR_MEMORY;
  }
  try {
    tq_buffer_t original;
    tq_buffer_t copy(original);
  } catch (const char* text) {
    arrived += std::strcmp(text, "Copy not supported by buffer_t objects") == 0;
  }
  try {
    tq_buffer_t out(tq_memory_funcs_t(no_memory, std::free, raising, no_memory_zeroed));
    (void)out.append('x');
  } catch (const std::bad_alloc&) {
    ++arrived;
  }
  return 3 - arrived;
}

}  // namespace

int main() {
  if (exceptions_cross() != 0) return 5;

  // Runtime: a SEQUENCE OF OCTET STRING (the exported instance) in an envelope.
  tq_asnbase record;
  tq_asn_sequenceof<tq_asn_octetstring> list;
  record.register_child(&list);
  const unsigned char text[] = {'h', 'i'};
  list.add_child()->set_value(text, 2);
  tq_asn_buffer_t bytes;
  if (tq_asnbase::saveEncoding(&record, 1, bytes) != 0) return 1;
  unsigned int invalid = 1;
  if (tqasn_version(bytes, invalid) != 0 || invalid != 0) return 2;
  tq_asn_buffer_free(bytes);

  // A record through its exported functions.
  char name[] = "reader";
  std::int32_t perms[] = {1, 300};
  acl_entry_s_t entry{{2, perms}, 1, {{}, name}};
  const acl_ext_s_t acl{name, 1, &entry, {}};
  if (tqAsnEncodeObj(bytes, acl) != 0) return 3;
  acl_ext_s_t back{};
  const int status = tqAsnDecodeObj(bytes, back);
  tq_asn_buffer_free(bytes);
  if (status != 0 || back.entry_count != 1 || std::strcmp(back.entries[0].id.name, "reader") != 0) return 4;
  tqAsnFreeObj(back);

  // The library loaded is the one the headers describe.
  if (oxserutl_version_number() != OXSERUTL_VERSION_NUMBER || std::strcmp(oxserutl_version(), OXSERUTL_VERSION_STRING) != 0)
    return 6;

  std::printf("consumer ok (%s, liboxserutl %s)\n", tq_asn_status_name(ASN_ERR_TRUNCATED), oxserutl_version());
  return 0;
}
