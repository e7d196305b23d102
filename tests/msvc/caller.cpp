// A caller of the DLL's free functions that builds in Microsoft's ABI (clang
// for the Microsoft target, with none of Microsoft's headers or libraries:
// the library's C headers need only the compiler's own <stdint.h>, and the
// C runtime is msvcrt.dll, declared below) and in MinGW's as its twin. Both
// print one transcript; the test compares them.
//
//   caller layout         size and field offsets of every record structure
//   caller calls FILE...  records filled by hand, the type-code functions,
//                         the buffer helpers and the version; then round
//                         trips of buffers
//
// FILE is "<structure or type name>-..." of the records fuzz corpus (its
// first octet picks the local code set in bit 0, the buffer follows), or
// "*.ber" (the buffer alone, of the first record type that reads it and
// writes it back unchanged). Exit status 0 when every call gives what it
// should and every buffer comes back byte for byte.
#include <oxserutl/asnscan.h>
#include <oxserutl/explain.h>
#include <oxserutl/record_functions.h>
#include <oxserutl/version.h>

using size_t = decltype(sizeof 0);
extern "C" {
struct FILE;
FILE* fopen(const char* path, const char* mode);
size_t fread(void* data, size_t size, size_t count, FILE* file);
int fclose(FILE* file);
int printf(const char* format, ...);
void* calloc(size_t count, size_t size);
void free(void* p);
int memcmp(const void* a, const void* b, size_t n);
int strcmp(const char* a, const char* b);
size_t strlen(const char* s);
int __getmainargs(int* argc, char*** argv, char*** env, int wildcards, int* startup);
void exit(int status);
}

namespace {

#if defined(_MSC_VER)
constexpr const char* kAbi = "microsoft";
#else
constexpr const char* kAbi = "gnu";
#endif
int failures = 0;

void expect(bool ok, const char* what) {
  if (!ok) printf("FAIL %s\n", what);
  failures += !ok;
}

bool equal(const tq_asn_buffer_t& b, const unsigned char* bytes, size_t n) {
  return b.length == n && memcmp(b.data, bytes, n) == 0;
}

// --- every record type, from the record description -----------------------------

struct record_type {
  const char* structure;
  const char* type_name;
  size_t size;
  bool coded;     // reached by its type code
  bool callable;  // false for a record held only inside another
  int (*decode)(tq_asn_buffer_t& in, void* record, int lcs);
  int (*encode)(tq_asn_buffer_t& out, void* record, int lcs);  // -1 when the two overloads differ
  void (*release)(void* record);
};

template <class S>
int encode(tq_asn_buffer_t& out, void* record, int lcs) {
  S& r = *static_cast<S*>(record);
  tq_asn_buffer_t other;
  const int status = lcs ? tqAsnEncodeObjLCS(out, r) : tqAsnEncodeObj(out, r);
  const int again = lcs ? tqAsnEncodeObjLCS(other, static_cast<const S&>(r)) : tqAsnEncodeObj(other, static_cast<const S&>(r));
  const bool same = status == again && (status != 0 || equal(other, out.data, out.length));
  if (again == 0) tq_asn_buffer_free(other);
  return same ? status : -1;
}

#define OXS_RECORD_ROW(S, B, NAME, MODULE, COPY)                                                              \
  {#S, NAME, sizeof(S), false, true,                                                                          \
   [](tq_asn_buffer_t& in, void* r, int lcs) {                                                                \
     return lcs ? tqAsnDecodeObjLCS(in, *static_cast<S*>(r)) : tqAsnDecodeObj(in, *static_cast<S*>(r));      \
   },                                                                                                         \
   encode<S>, [](void* r) { tqAsnFreeObj(*static_cast<S*>(r)); }},
// The bare INTEGER's structure is its one int32_t.
#define OXS_STRUCTURE_sequence(S) #S
#define OXS_STRUCTURE_bare(S) "int32_t"
#define OXS_CODED_ROW(S, B, NAME, CODE, SHAPE)                                                                \
  {OXS_STRUCTURE_##SHAPE(S), NAME, sizeof(S), true, CODE != 0,                                                \
   [](tq_asn_buffer_t& in, void* r, int) { return tqasn_decode_obj(2, in, CODE, r); },                        \
   [](tq_asn_buffer_t& out, void* r, int) { return tqasn_encode_obj(2, r, CODE, out); },                      \
   [](void* r) { tqasn_obj_free(2, CODE, r); }},
const record_type kRecords[] = {OXS_ALL_MODULES(OXS_RECORD_ROW) OXS_TYPE_CODE_RECORDS(OXS_CODED_ROW)};

// --- layout: a field row F(kind, arguments) names one field, or a count and its array

#define OXS_AT(f) printf(" " #f "@%u", static_cast<unsigned>(__builtin_offsetof(record, f)));
#define OXS_ONE(f, ...) OXS_AT(f)
#define OXS_TWO(n, f, ...) OXS_AT(n) OXS_AT(f)
#define OXS_LAYOUT_i32 OXS_ONE
#define OXS_LAYOUT_u32 OXS_ONE
#define OXS_LAYOUT_u16 OXS_ONE
#define OXS_LAYOUT_u8 OXS_ONE
#define OXS_LAYOUT_string OXS_ONE
#define OXS_LAYOUT_cstring OXS_ONE
#define OXS_LAYOUT_fixed OXS_ONE
#define OXS_LAYOUT_nested OXS_ONE
#define OXS_LAYOUT_optional OXS_ONE
#define OXS_LAYOUT_sparse OXS_ONE
#define OXS_LAYOUT_block OXS_TWO
#define OXS_LAYOUT_optblock OXS_TWO
#define OXS_LAYOUT_strings OXS_TWO
#define OXS_LAYOUT_ints OXS_TWO
#define OXS_LAYOUT_list OXS_TWO
#define OXS_LAYOUT_list16 OXS_TWO
#define OXS_LAYOUT_ptrlist OXS_TWO
#define OXS_LAYOUT_KIND(kind, ...) OXS_LAYOUT_##kind(__VA_ARGS__)
#define OXS_LAYOUT_ROW(S, ...)                                        \
  {                                                                   \
    using record = S;                                                 \
    printf("%s size %u", #S, static_cast<unsigned>(sizeof(record)));  \
    OXS_FIELDS_##S(OXS_LAYOUT_KIND) printf("\n");                     \
  }

void print_layout() {
  OXS_ALL_MODULES(OXS_LAYOUT_ROW)
  OXS_TYPE_CODE_RECORDS(OXS_LAYOUT_ROW)
}

// --- records filled by hand and the other functions ------------------------------

void check_encoding(const char* what, int status, const unsigned char* want, size_t n, tq_asn_buffer_t& out) {
  printf("%s: status %d,", what, status);
  for (uint32_t i = 0; status == 0 && i < out.length; ++i) printf(" %02X", out.data[i]);
  printf("\n");
  expect(status == 0 && equal(out, want, n), what);
}

void check_calls() {
  tq_asn_buffer_t out, copy;
  // Lists, and a record nested in a list element.
  char a[] = "a", x[] = "x";
  value_s_t value{1, x, 0, nullptr};
  attr_s_t attr{a, 1, &value};
  attrlist_s_t list{1, &attr};
  const unsigned char list_bytes[] = {4, 2, 0xAC, 0xDC, 0x30, 0x13, 0x30, 0x11, 0x30, 0x0F, 0x0C, 1, 'a',
                                      0x30, 0x0A, 0x30, 8, 2, 1, 1, 0x0C, 1, 'x', 4, 0};
  check_encoding("attrlist_s_t", tqAsnEncodeObj(out, list), list_bytes, sizeof list_bytes, out);
  tq_asn_buffer_free(out);

  // Optional records left out; the empty attribute list is written all the
  // same and comes back; the buffer helpers on the way.
  kyprincipal_s_t principal{5, nullptr, -7, nullptr}, back{};
  const unsigned char principal_bytes[] = {4, 2, 0xAC, 0xDC, 0x30, 0x0A, 2, 1, 5, 2, 1, 0xF9, 0x30, 2, 0x30, 0};
  check_encoding("kyprincipal_s_t", tqAsnEncodeObj(out, principal), principal_bytes, sizeof principal_bytes, out);
  uint32_t copied = 1;
  unsigned int invalid = 1;
  tq_asn_buffer_copy(out, copy, copied);
  expect(copied == 0 && equal(copy, out.data, out.length), "tq_asn_buffer_copy");
  expect(tqasn_version(copy, invalid) == 0 && invalid == 0, "tqasn_version");
  expect(tqAsnDecodeObj(copy, back) == 0 && back.prin_value2 == -7 && !back.pa && back.attrs, "tqAsnDecodeObj");
  tqAsnFreeObj(back);
  tq_asn_buffer_free(copy);
  tq_asn_buffer_free(out);

  // The same bytes as a service holds them, and why a cut one is refused.
  kyprincipal_s_t held{};
  expect(tqAsnDecodeObj(principal_bytes, sizeof principal_bytes, held) == 0 && held.prin_value2 == -7,
         "tqAsnDecodeObj(data, length)");
  tqAsnFreeObj(held);
  tq_asn_explanation why;
  char line[512];
  const uint32_t refused = tq_asn_explain("kyprincipal_s_t", 0, principal_bytes, sizeof principal_bytes - 3, &why);
  expect(refused != 0 && why.status == refused && tq_asn_explanation_text(&why, line, sizeof line) < sizeof line,
         "tq_asn_explain");
  printf("explained: %s\n", line);

  // Text in the local code set and back (ASCII: the same in every code page).
  char reader[] = "reader";
  azn_util_password_in_s_t password{reader, reader}, text_back{};
  const unsigned char password_bytes[] = {4, 2, 0xAC, 0xDC, 0x30, 0x10, 0x0C, 6, 'r', 'e', 'a', 'd', 'e', 'r',
                                          0x0C, 6, 'r', 'e', 'a', 'd', 'e', 'r'};
  check_encoding("tqAsnEncodeObjLCS", tqAsnEncodeObjLCS(out, password), password_bytes, sizeof password_bytes, out);
  expect(tqAsnDecodeObjLCS(out, text_back) == 0 && strcmp(text_back.text2, "reader") == 0, "tqAsnDecodeObjLCS");
  tqAsnFreeObj(text_back);
  tq_asn_buffer_free(out);

  // The type-code functions: a value, a refusal, an unknown code.
  int32_t integer = 5;
  unsigned char integer_bytes[] = {4, 2, 0xAC, 0xDC, 2, 1, 5};
  check_encoding("ASN_TYPE_INTEGER", tqasn_encode_obj(2, &integer, ASN_TYPE_INTEGER, out), integer_bytes,
                 sizeof integer_bytes, out);
  tq_asn_buffer_free(out);
  cert_request_in_s_t request{};
  tq_asn_buffer_t in;
  in.data = integer_bytes;
  in.length = sizeof integer_bytes;
  integer = 0;
  expect(tqasn_decode_obj(2, in, ASN_TYPE_INTEGER, &integer) == 0 && integer == 5, "tqasn_decode_obj");
  expect(tqasn_decode_obj(2, in, ASN_TYPE_CERT_REQUEST_IN, &request) == ASN_ERR_TAG_MISMATCH, "a refusal");
  expect(tqasn_decode_obj(2, in, 261, &request) == -1, "an unknown type code");
  tqasn_obj_free(2, ASN_TYPE_CERT_REQUEST_IN, &request);

  // Status names, the raw scanners and the version.
  unsigned char* cursor = in.data + 4;
  unsigned int remaining = 3, tag = 0, length = 0;
  int constructed = -1, cls = -1, definite = -1;
  expect(strcmp(tq_asn_status_name(ASN_ERR_TRUNCATED), "ASN_ERR_TRUNCATED") == 0 && !tq_asn_status_text(1), "names");
  expect(tqAsnGetType(&cursor, &remaining, &tag, &constructed, &cls) == 0 && tag == 2 && constructed == 0 &&
             tqAsnGetLength(&cursor, &remaining, &definite, &length) == 0 && length == 1 && remaining == 1,
         "tqAsnGetType, tqAsnGetLength");
  expect(strcmp(oxserutl_version(), OXSERUTL_VERSION_STRING) == 0 && oxserutl_version_number() == OXSERUTL_VERSION_NUMBER,
         "oxserutl_version");
}

// --- buffers from files ----------------------------------------------------------

void check_file(const char* path) {
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p)
    if (*p == '/' || *p == '\\') name = p + 1;
  if (memcmp(name, "typecode-", 9) == 0) name += 9;
  const size_t n = strlen(name);
  const bool bare = n > 4 && strcmp(name + n - 4, ".ber") == 0;
  static unsigned char data[1 << 20];
  FILE* file = fopen(path, "rb");
  const size_t got = file ? fread(data, 1, sizeof data, file) : 0;
  if (file) fclose(file);
  tq_asn_buffer_t in;
  in.data = data + !bare;
  in.length = static_cast<uint32_t>(got - (got > 0 && !bare));
  const int lcs = bare ? 0 : data[0] & 1;
  const record_type* chosen = nullptr;
  int status = -1;
  for (const record_type& t : kRecords) {
    const size_t s = strlen(t.structure), m = strlen(t.type_name);
    const bool named = (memcmp(name, t.structure, s) == 0 && name[s] == '-') ||
                       (memcmp(name, t.type_name, m) == 0 && name[m] == '-');
    if (!t.callable || (!named && !bare)) continue;
    // Decode, encode again (both overloads), compare, free.
    void* record = calloc(1, t.size);
    tq_asn_buffer_t out;
    status = t.decode(in, record, t.coded ? 0 : lcs);
    if (status == 0 && (status = t.encode(out, record, t.coded ? 0 : lcs)) == 0) {
      if (!equal(out, in.data, in.length)) status = -1;
      tq_asn_buffer_free(out);
    }
    t.release(record);  // a refused decode leaves it releasable
    free(record);
    chosen = &t;
    if (status == 0 || named) break;
  }
  printf("%s: %s%s status %d\n", name, chosen ? chosen->structure : "(no record)", lcs ? " LCS" : "", status);
  expect(status == 0 && got > 0 && got < sizeof data, name);
}

int run(int argc, char** argv) {
  printf("%s ABI\n", kAbi);
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
// No C runtime start-up code: the entry point asks msvcrt.dll for the arguments.
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
