// A caller of the DLL's free functions that builds with Microsoft's ABI as
// well as with MinGW's: compiled by clang for the Microsoft target without
// any of Microsoft's headers or libraries (the library's C headers need
// only the compiler's own <stdint.h>; the C runtime is msvcrt.dll, declared
// below), and by MinGW g++ as its twin. Both print one transcript; the test
// compares them.
//
//   caller layout            size and field offsets of every record structure
//   caller calls FILE...     round trips of buffers, records filled by hand,
//                            the type-code functions and the buffer helpers
//
// FILE is a buffer of a record type: "<structure or type name>-..." from the
// records fuzz corpus (its first octet picks the local code set in bit 0,
// the buffer follows), or "*.ber" (the buffer alone, of the first record
// type that reads it and writes it back unchanged). Exit status 0 when
// every buffer round-trips byte for byte and every call gives what it
// should.
#include <oxserutl/asnscan.h>
#include <oxserutl/record_functions.h>
#include <oxserutl/version.h>

using size_t = decltype(sizeof 0);
extern "C" {
struct FILE;
FILE* fopen(const char* path, const char* mode);
size_t fread(void* data, size_t size, size_t count, FILE* file);
int fclose(FILE* file);
int printf(const char* format, ...);
void* malloc(size_t size);
void* calloc(size_t count, size_t size);
void free(void* p);
int memcmp(const void* a, const void* b, size_t n);
int strcmp(const char* a, const char* b);
size_t strlen(const char* s);
#if defined(_MSC_VER)
int __getmainargs(int* argc, char*** argv, char*** env, int wildcards, int* startup);
void exit(int status);
#endif
}

#if defined(_MSC_VER)
#define OXS_ABI "microsoft"
#else
#define OXS_ABI "gnu"
#endif

namespace {

int failures = 0;

void expect(bool ok, const char* what) {
  if (!ok) {
    printf("FAIL %s\n", what);
    ++failures;
  }
}

void print_hex(const char* label, const tq_asn_buffer_t& b) {
  printf("%s", label);
  for (uint32_t i = 0; i < b.length; ++i) printf(" %02X", b.data[i]);
  printf("\n");
}

bool equal(const tq_asn_buffer_t& b, const unsigned char* bytes, uint32_t n) {
  return b.length == n && memcmp(b.data, bytes, n) == 0;
}

// --- every record, from the record description ---------------------------------

struct record_type {
  const char* structure;
  const char* type_name;
  size_t size;
  uint32_t type_code;  // 0: the record's own functions
  bool callable;       // false for a record held only inside another
  int (*decode)(tq_asn_buffer_t& in, void* record, int lcs);
  int (*encode)(tq_asn_buffer_t& out, void* record, int lcs);  // both overloads, or -1 when they differ
  void (*release)(void* record);
};

template <class S>
int decode(tq_asn_buffer_t& in, void* record, int lcs) {
  S& r = *static_cast<S*>(record);
  return lcs ? tqAsnDecodeObjLCS(in, r) : tqAsnDecodeObj(in, r);
}

template <class S>
int encode(tq_asn_buffer_t& out, void* record, int lcs) {
  S& r = *static_cast<S*>(record);
  const S& c = r;
  tq_asn_buffer_t other;
  const int status = lcs ? tqAsnEncodeObjLCS(out, r) : tqAsnEncodeObj(out, r);
  const int again = lcs ? tqAsnEncodeObjLCS(other, c) : tqAsnEncodeObj(other, c);
  const bool same = status == again && (status != 0 || equal(other, out.data, out.length));
  if (again == 0) tq_asn_buffer_free(other);
  return same ? status : -1;
}

template <class S>
void release(void* record) {
  tqAsnFreeObj(*static_cast<S*>(record));
}

template <uint32_t Code>
int decode_coded(tq_asn_buffer_t& in, void* record, int) {
  return tqasn_decode_obj(2, in, Code, record);
}

template <uint32_t Code>
int encode_coded(tq_asn_buffer_t& out, void* record, int) {
  return tqasn_encode_obj(2, record, Code, out);
}

template <uint32_t Code>
void release_coded(void* record) {
  tqasn_obj_free(2, Code, record);
}

// The bare INTEGER's structure is its one int32_t.
#define OXS_STRUCTURE_sequence(S) #S
#define OXS_STRUCTURE_bare(S) "int32_t"
#define OXS_RECORD_ROW(S, B, NAME, MODULE, COPY) {#S, NAME, sizeof(S), 0, true, decode<S>, encode<S>, release<S>},
#define OXS_CODED_ROW(S, B, NAME, CODE, SHAPE)                                                     \
  {OXS_STRUCTURE_##SHAPE(S), NAME,         sizeof(S),          CODE, CODE != 0, decode_coded<CODE>, \
   encode_coded<CODE>,       release_coded<CODE>},
const record_type kRecords[] = {OXS_ALL_MODULES(OXS_RECORD_ROW) OXS_TYPE_CODE_RECORDS(OXS_CODED_ROW)};

// --- layout -----------------------------------------------------------------------

#define OXS_AT(S, f) printf(" " #f "@%u", static_cast<unsigned>(__builtin_offsetof(S, f)))
#define OXS_LAYOUT_i32(S, f) OXS_AT(S, f);
#define OXS_LAYOUT_u32(S, f) OXS_AT(S, f);
#define OXS_LAYOUT_u16(S, f) OXS_AT(S, f);
#define OXS_LAYOUT_u8(S, f) OXS_AT(S, f);
#define OXS_LAYOUT_string(S, f) OXS_AT(S, f);
#define OXS_LAYOUT_cstring(S, f) OXS_AT(S, f);
#define OXS_LAYOUT_fixed(S, f, n) OXS_AT(S, f);
#define OXS_LAYOUT_nested(S, f, E) OXS_AT(S, f);
#define OXS_LAYOUT_optional(S, f, E) OXS_AT(S, f);
#define OXS_LAYOUT_sparse(S, f, E) OXS_AT(S, f);
#define OXS_LAYOUT_block(S, n, f) OXS_AT(S, n); OXS_AT(S, f);
#define OXS_LAYOUT_optblock(S, n, f) OXS_AT(S, n); OXS_AT(S, f);
#define OXS_LAYOUT_strings(S, n, f) OXS_AT(S, n); OXS_AT(S, f);
#define OXS_LAYOUT_ints(S, n, f) OXS_AT(S, n); OXS_AT(S, f);
#define OXS_LAYOUT_list(S, n, f, E) OXS_AT(S, n); OXS_AT(S, f);
#define OXS_LAYOUT_list16(S, n, f, E) OXS_AT(S, n); OXS_AT(S, f);
#define OXS_LAYOUT_ptrlist(S, n, f, E) OXS_AT(S, n); OXS_AT(S, f);

void print_layout() {
#define OXS_LAYOUT_ROW(S, ...)                                              \
  {                                                                         \
    using record = S;                                                       \
    printf("%s size %u", #S, static_cast<unsigned>(sizeof(record)));        \
    OXS_FIELDS_##S(OXS_LAYOUT_KIND) printf("\n");                           \
  }
#define OXS_LAYOUT_KIND(kind, ...) OXS_LAYOUT_##kind(record, __VA_ARGS__)
  OXS_ALL_MODULES(OXS_LAYOUT_ROW)
  OXS_TYPE_CODE_RECORDS(OXS_LAYOUT_ROW)
}

// --- buffers from files -----------------------------------------------------------

bool read_file(const char* path, tq_asn_buffer_t& out) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  size_t capacity = 1 << 16, used = 0;
  unsigned char* data = static_cast<unsigned char*>(malloc(capacity));
  for (size_t got; data != nullptr && (got = fread(data + used, 1, capacity - used, file)) > 0;) {
    used += got;
    if (used == capacity) {
      unsigned char* bigger = static_cast<unsigned char*>(malloc(capacity * 2));
      if (bigger != nullptr) for (size_t i = 0; i < used; ++i) bigger[i] = data[i];
      free(data);
      data = bigger;
      capacity *= 2;
    }
  }
  fclose(file);
  out.data = data;
  out.length = static_cast<uint32_t>(used);
  return data != nullptr;
}

// Decodes `in` as record type t, encodes the record again and frees it: 0
// when the bytes come back unchanged, else the first status (or -1).
int round_trip(const record_type& t, tq_asn_buffer_t& in, int lcs) {
  void* record = calloc(1, t.size);
  int status = t.decode(in, record, lcs);
  if (status == 0) {
    tq_asn_buffer_t out;
    status = t.encode(out, record, lcs);
    if (status == 0) {
      if (!equal(out, in.data, in.length)) status = -1;
      tq_asn_buffer_free(out);
    }
    t.release(record);
  }
  free(record);
  return status;
}

void check_file(const char* path) {
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p)
    if (*p == '/' || *p == '\\') name = p + 1;
  if (memcmp(name, "typecode-", 9) == 0) name += 9;
  tq_asn_buffer_t whole;
  if (!read_file(path, whole)) return expect(false, path);
  const size_t n = strlen(name);
  const bool bare = n > 4 && strcmp(name + n - 4, ".ber") == 0;
  tq_asn_buffer_t in;
  in.data = whole.data + (bare ? 0 : 1);
  in.length = whole.length - (bare || whole.length == 0 ? 0 : 1);
  const int lcs = bare ? 0 : whole.data[0] & 1;
  const record_type* chosen = nullptr;
  int status = -1;
  for (const record_type& t : kRecords) {
    if (!t.callable) continue;
    const size_t s = strlen(t.structure), m = strlen(t.type_name);
    const bool named = (memcmp(name, t.structure, s) == 0 && name[s] == '-') ||
                       (memcmp(name, t.type_name, m) == 0 && name[m] == '-');
    if (!named && !bare) continue;
    status = round_trip(t, in, t.type_code != 0 ? 0 : lcs);
    chosen = &t;
    if (status == 0 || named) break;
  }
  printf("%s: %s%s status %d\n", name, chosen != nullptr ? chosen->structure : "(no record)", lcs ? " LCS" : "", status);
  expect(status == 0 && chosen != nullptr, name);
  free(whole.data);
}

// --- records filled by hand -----------------------------------------------------

void check_encoding(const char* what, int status, tq_asn_buffer_t& out, const unsigned char* want, uint32_t n) {
  printf("%s: status %d,", what, status);
  print_hex("", out);
  expect(status == 0 && equal(out, want, n), what);
  if (status == 0) tq_asn_buffer_free(out);
}

void check_calls() {
  // Lists and a record nested in a list element.
  char a[] = "a", x[] = "x";
  value_s_t value{1, x, 0, nullptr};
  attr_s_t attr{a, 1, &value};
  attrlist_s_t list{1, &attr};
  const unsigned char list_bytes[] = {0x04, 0x02, 0xAC, 0xDC, 0x30, 0x13, 0x30, 0x11, 0x30, 0x0F, 0x0C, 0x01, 0x61,
                                      0x30, 0x0A, 0x30, 0x08, 0x02, 0x01, 0x01, 0x0C, 0x01, 0x78, 0x04, 0x00};
  tq_asn_buffer_t out;
  check_encoding("attrlist_s_t", tqAsnEncodeObj(out, list), out, list_bytes, sizeof list_bytes);

  // Optional records: one absent, one present.
  kyprincipal_s_t principal{};
  principal.prin_value1 = 5;
  principal.prin_value2 = -7;
  const unsigned char principal_bytes[] = {0x04, 0x02, 0xAC, 0xDC, 0x30, 0x0A, 0x02, 0x01, 0x05,
                                           0x02, 0x01, 0xF9, 0x30, 0x02, 0x30, 0x00};
  check_encoding("kyprincipal_s_t", tqAsnEncodeObj(out, principal), out, principal_bytes, sizeof principal_bytes);
  tq_asn_buffer_t copy;
  if (tqAsnEncodeObj(out, principal) == 0) {
    uint32_t status = 1;
    tq_asn_buffer_copy(out, copy, status);
    unsigned int invalid = 1;
    expect(status == 0 && equal(copy, out.data, out.length), "tq_asn_buffer_copy");
    expect(tqasn_version(copy, invalid) == 0 && invalid == 0, "tqasn_version");
    kyprincipal_s_t back{};
    expect(tqAsnDecodeObj(copy, back) == 0 && back.prin_value2 == -7 && back.pa == nullptr && back.attrs != nullptr,
           "kyprincipal_s_t decoded");
    tqAsnFreeObj(back);
    tq_asn_buffer_free(copy);
    tq_asn_buffer_free(out);
  }

  // Text in the local code set and back: plain ASCII is the same in every
  // code page.
  char name[] = "reader";
  azn_util_password_in_s_t password{name, name};
  const unsigned char password_bytes[] = {0x04, 0x02, 0xAC, 0xDC, 0x30, 0x10, 0x0C, 0x06, 'r', 'e', 'a', 'd',
                                          'e',  'r',  0x0C, 0x06, 'r',  'e',  'a',  'd',  'e', 'r'};
  if (tqAsnEncodeObjLCS(out, password) == 0) {
    azn_util_password_in_s_t back{};
    expect(equal(out, password_bytes, sizeof password_bytes), "tqAsnEncodeObjLCS");
    expect(tqAsnDecodeObjLCS(out, back) == 0 && strcmp(back.text2, "reader") == 0, "tqAsnDecodeObjLCS");
    tqAsnFreeObj(back);
    tq_asn_buffer_free(out);
  } else {
    expect(false, "tqAsnEncodeObjLCS");
  }

  // The type-code functions.
  int32_t integer = 5;
  const unsigned char integer_bytes[] = {0x04, 0x02, 0xAC, 0xDC, 0x02, 0x01, 0x05};
  check_encoding("ASN_TYPE_INTEGER", tqasn_encode_obj(2, &integer, ASN_TYPE_INTEGER, out), out, integer_bytes,
                 sizeof integer_bytes);
  cert_request_in_s_t request{};
  tq_asn_buffer_t in;
  in.data = const_cast<unsigned char*>(integer_bytes);
  in.length = sizeof integer_bytes;
  expect(tqasn_decode_obj(2, in, ASN_TYPE_INTEGER, &integer) == 0 && integer == 5, "tqasn_decode_obj");
  expect(tqasn_decode_obj(2, in, ASN_TYPE_CERT_REQUEST_IN, &request) == ASN_ERR_TAG_MISMATCH, "a refusal");
  expect(tqasn_decode_obj(2, in, 261, &request) == -1, "an unknown type code");
  tqasn_obj_free(2, ASN_TYPE_CERT_REQUEST_IN, &request);

  // Status names and the raw scanners.
  expect(strcmp(tq_asn_status_name(ASN_ERR_TRUNCATED), "ASN_ERR_TRUNCATED") == 0, "tq_asn_status_name");
  expect(tq_asn_status_text(1) == nullptr, "tq_asn_status_text");
  unsigned char* cursor = in.data + 4;
  unsigned int remaining = 3, tag = 0, length = 0;
  int constructed = -1, cls = -1, definite = -1;
  expect(tqAsnGetType(&cursor, &remaining, &tag, &constructed, &cls) == 0 && tag == 2 && constructed == 0,
         "tqAsnGetType");
  expect(tqAsnGetLength(&cursor, &remaining, &definite, &length) == 0 && length == 1 && remaining == 1,
         "tqAsnGetLength");
  expect(strcmp(oxserutl_version(), OXSERUTL_VERSION_STRING) == 0 && oxserutl_version_number() == OXSERUTL_VERSION_NUMBER,
         "oxserutl_version");
  unsigned callable = 0;
  for (const record_type& t : kRecords) callable += t.callable;
  printf("%u record types, calls checked\n", callable);
}

int run(int argc, char** argv) {
  printf("%s ABI\n", OXS_ABI);
  if (argc >= 2 && strcmp(argv[1], "layout") == 0) {
    print_layout();
  } else if (argc >= 2 && strcmp(argv[1], "calls") == 0) {
    check_calls();
    for (int i = 2; i < argc; ++i) check_file(argv[i]);
  } else {
    printf("usage: caller layout | caller calls FILE...\n");
    return 2;
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace

#if defined(_MSC_VER)
// No C runtime start-up code: the entry point asks msvcrt.dll for the
// arguments.
extern "C" void oxs_start() {
  int argc = 0, startup = 0;
  char** argv = nullptr;
  char** env = nullptr;
  __getmainargs(&argc, &argv, &env, 0, &startup);
  exit(run(argc, argv));
}
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
