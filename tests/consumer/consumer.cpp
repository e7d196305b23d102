// Uses the library through its umbrella header only, by the public names:
// the runtime, an envelope, a record and the type-code functions.
#include <cstdio>
#include <cstring>

#include <oxserutl/oxserutl.h>

int main() {
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

  // A type-code record.
  std::int32_t value = -5;
  if (tqasn_encode_obj(2, &value, ASN_TYPE_INTEGER, bytes) != 0) return 5;
  value = 0;
  if (tqasn_decode_obj(2, bytes, ASN_TYPE_INTEGER, &value) != 0 || value != -5) return 6;
  tq_asn_buffer_free(bytes);

  // A raw scanner and a status name.
  unsigned char sequence[] = {0x30, 0x00};
  unsigned char* cursor = sequence;
  unsigned int remaining = 2;
  unsigned int tag = 0;
  int constructed = 0;
  int cls = 0;
  if (tqAsnGetType(&cursor, &remaining, &tag, &constructed, &cls) != 0 || tag != 16) return 7;
  std::printf("consumer ok (%s)\n", tq_asn_status_name(ASN_ERR_TRUNCATED));
  return 0;
}
