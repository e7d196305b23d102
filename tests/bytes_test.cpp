// The runtime's bytes: byte views and the growable output buffer, allocator
// routing and secure wiping, the boundary pair and the versioned envelope (04
// <version> AC DC in front of one BER element, over tests/data/envelope.txt),
// the raw BER scanners (over tests/data/scan.txt), the exception line, and
// allocation failures in the runtime's own growth paths. For every k until
// the operation no longer allocates k times, the k-th allocation fails: the
// operation succeeds or reports no memory, what it had before is intact, and
// the sanitizer build shows that nothing leaks.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/asnbase.h>
#include <oxserutl/asnchoice.h>
#include <oxserutl/asnscan.h>
#include <oxserutl/fault_injection.h>

#include "test_util.h"

using oxs_test::from_hex;
using oxs_test::refusal;
using oxs_test::status_name;
using oxs_test::tlv;
using oxs_test::to_hex;

namespace {

// --- allocator routing and secure wiping -------------------------------------------

std::vector<std::string> g_calls;
std::vector<std::uint32_t> g_contexts;
std::map<void*, std::size_t> g_sizes;

bool all_zero(const void* p, std::size_t n) {
  return std::all_of(static_cast<const unsigned char*>(p), static_cast<const unsigned char*>(p) + n, [](int c) { return c == 0; });
}
void* logged(std::string call, void* p, std::size_t n) { return g_calls.push_back(call), g_sizes[p] = n, p; }
void* log_malloc(std::size_t n) { return logged("malloc " + std::to_string(n), std::malloc(n), n); }
void* log_realloc(void* p, std::size_t n) {
  g_sizes.erase(p);
  return logged(std::string("realloc ") + (p == nullptr ? "null " : "") + std::to_string(n), std::realloc(p, n), n);
}
// Logs whether the block was wiped before it was handed back.
void log_free(void* p) {
  g_calls.push_back(p == nullptr ? "free null" : all_zero(p, g_sizes[p]) ? "free wiped" : "free");
  g_sizes.erase(p);
  std::free(p);
}
void* ctx_malloc(std::uint32_t c, std::size_t n) { return g_contexts.push_back(c), log_malloc(n); }
void ctx_free(std::uint32_t c, void* p) { g_contexts.push_back(c), log_free(p); }
void* ctx_realloc(std::uint32_t c, void* p, std::size_t n) { return g_contexts.push_back(c), log_realloc(p, n); }

// The buffers never ask for zeroed blocks: no calloc.
const tq_memory_funcs_t plain{log_malloc, log_free, log_realloc, nullptr};
const tq_memory_funcs_t with_context{0xC0FFEEu, ctx_malloc, ctx_free, ctx_realloc, nullptr};

TEST(Memory, FunctionRecordsRouteEveryCall) {
  // An ordinary buffer reallocates; a secure one moves to a new block and
  // wipes the old one, and wipes on clear and release.
  {
    tq_buffer_t b(plain);
    b.append(static_cast<unsigned char>(1));
    const std::vector<unsigned char> block(200, 0x77);
    b.append(block.data(), 200);
  }
  EXPECT_EQ(g_calls[0].substr(0, 13), "realloc null ");
  EXPECT_EQ(g_calls.back(), "free");
  g_calls.clear(), g_contexts.clear();
  {
    tq_buffer_t b(with_context, security_secure);
    const std::vector<unsigned char> secret(1000, 0xEE);
    ASSERT_EQ(b.append(secret.data(), 128), 0);
    b.append(secret.data(), 1000);
    ASSERT_EQ(b.used(), 1128u);
    EXPECT_TRUE(std::memcmp(b.data() + 128, secret.data(), 1000) == 0);
    b.clear();
    EXPECT_EQ(b.used(), 0u);
    EXPECT_TRUE(all_zero(b.data(), b.capacity()));
    b.append(secret.data(), 5);
  }
  ASSERT_EQ(g_calls.size(), 5u);
  EXPECT_EQ(g_calls[1] + "|" + g_calls[3] + "|" + g_calls[4], "free null|free wiped|free wiped");
  // The context is passed first to every context-taking function.
  EXPECT_EQ(g_contexts, std::vector<std::uint32_t>(5, 0xC0FFEEu));
}

// One byte at a time, well past the first block and its headroom: a failed
// growth raises and keeps the bytes written so far.
TEST(Memory, BufferGrowthKeepsItsBytesOrRaises) {
  for (security_t security : {security_normal, security_secure})
    oxs_test::sweep(
        [security] {
          tq_buffer_t out(security);
          std::vector<unsigned char> written;
          for (int i = 0; i < 5000; ++i) {
            const auto b = static_cast<unsigned char>(i * 7);
            try {
              if (out.append(b) != 0) return int{ASN_ERR_BAD_LENGTH};  // appending reports success
            } catch (const tq_asn_memexception&) {
              if (out.used() != written.size() || (!written.empty() && std::memcmp(out.data(), written.data(), written.size()) != 0))
                return int{ASN_ERR_BAD_LENGTH};
              throw;
            }
            written.push_back(b);
          }
          return 0;
        },
        [](int status, bool) { EXPECT_NE(status, int{ASN_ERR_BAD_LENGTH}); });
}

TEST(Memory, DetachCopiesAndViews) {
  tq_buffer_t b;
  unsigned char* data = reinterpret_cast<unsigned char*>(&b);
  std::uint32_t length = 99;
  b.detach(data, length);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(length, 0u);
  b.append("abc");
  b.detach(data, length);
  EXPECT_EQ(to_hex(data, length), "61 62 63");
  EXPECT_EQ(b.data(), nullptr);
  EXPECT_EQ(b.capacity() + b.used(), 0u);
  std::free(data);
  // Buffers refuse to be copied, with a bare text.
  tq_buffer_t source;
  source.append("x");
  const tq_r_buffer_t view(source.data(), 1u);
  tq_buffer_t target;
  EXPECT_EQ(refusal([&] { tq_buffer_t c(source); }), "Copy not supported by buffer_t objects");
  EXPECT_EQ(refusal([&] { tq_buffer_t c(view); }), "Copy not supported by buffer_t objects");
  EXPECT_EQ(refusal([&] { target = source; }), "Assignment not supported by buffer_t objects");
  EXPECT_EQ(refusal([&] { target = view; }), "Assignment not supported by buffer_t objects");
  // The boundary pair's copy: a new block, or the status and a null block.
  std::vector<unsigned char> bytes = from_hex("04 01 AC DC 30 00");
  for (long fail : {0L, 1L}) {
    tq_asn_buffer_t src, dst;
    src.length = 6;
    src.data = bytes.data();
    std::uint32_t status = 99;
    oxserutl_fault_arm(fail);
    tq_asn_buffer_copy(src, dst, status);
    oxserutl_fault_arm(0);
    EXPECT_EQ(status_name(status), fail ? "ASN_ERR_MEMORY" : "ASN_OK");
    EXPECT_EQ(dst.length, 6u);
    EXPECT_EQ(to_hex(dst.data, dst.data ? dst.length : 0), fail ? "" : "04 01 AC DC 30 00");
    EXPECT_NE(dst.data, src.data);
    if (dst.data != nullptr) tq_asn_buffer_free(dst);
  }
  // End of contents needs two zero octets, and is not consumed.
  for (std::pair<const char*, int> c : {std::make_pair("00 00 05", 1), std::make_pair("00 01", 0),
                                        std::make_pair("00", 0), std::make_pair("", 0)}) {
    oxs_test::hex_view v(c.first);
    EXPECT_EQ(check_EOC(v.view()), c.second) << c.first;
    EXPECT_EQ(v.consumed(), 0u);
  }
  // An index at or past the view's length lands on a spare byte.
  std::vector<unsigned char> three = from_hex("11 22 33");
  tq_r_buffer_t v(three.data(), 2u);
  EXPECT_EQ(v[2], 0);
  v[2] = 0x99;
  EXPECT_EQ(three[2], 0x33);
  EXPECT_EQ(&v[2], &v[1000]);
}

struct ProbeException : tq_asn_exception {
  ProbeException() : tq_asn_exception(0xABu, "probe", "probe.cpp", -3) {}
};

TEST(Memory, ExceptionLineHasEightLowerCaseHexDigits) {
  testing::internal::CaptureStderr();
  tq_asn_memexception("Out of memory in buffer_t::extend", "asn1/asnbase", 42).print();
  ProbeException().print();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Exception: Out of memory in buffer_t::extend [10652065] in asn1/asnbase at line 42\n"
            "Exception: probe [000000ab] in probe.cpp at line -3\n");
}

// --- allocation failures in the growth paths -----------------------------------------

void expect_memory_or_ok(int status, bool fired) {
  EXPECT_TRUE(status == 0 || (fired && status == int{ASN_ERR_MEMORY})) << status_name(status);
}

// SEQUENCE OF INTEGER, of OCTET STRING in segments, and of SEQUENCE OF:
// elements are created as they are read, each a failure point; then the
// open type inside a choice, and defaults.
TEST(Memory, ReadingGrowsOrFailsCleanly) {
  std::string ints, strings;
  for (int i = 0; i < 40; ++i) ints += std::string(i % 2 ? "02 01 7F " : "02 01 80 ");
  for (int i = 0; i < 20; ++i) strings += "04 03 41 42 43 24 80 04 01 44 04 02 45 46 00 00 ";
  const std::string inputs[] = {tlv("30", ints), tlv("30", strings), tlv("30", tlv("30", ints) + tlv("30", ints)),
                                "A0 0A 30 08 04 02 41 42 0C 02 43 44"};
  for (int kind = 0; kind < 4; ++kind) {
    const std::vector<unsigned char> bytes = from_hex(inputs[kind]);
    const long points = oxs_test::sweep(
        [&] {
          tq_r_buffer_t in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
          tq_buffer_t out;
          tq_asn_sequenceof<tq_asn_integer> a;
          tq_asn_sequenceof<tq_asn_octetstring> b;
          tq_asn_sequenceof<tq_asn_sequenceof<tq_asn_integer>> c;
          tq_asn_integer integer;
          tq_asn_any any;
          tq_asn_choice choice;
          choice.register_child(&integer);
          choice.register_child(&any);
          tq_asn_object* objects[] = {&a, &b, &c, &choice};
          int status = objects[kind]->asnread(in);
          if (status == 0) status = objects[kind]->asnwrite(out);
          return status == 0 && kind != 1 && out.used() != bytes.size() ? -1 : status;
        },
        expect_memory_or_ok);
    EXPECT_GE(points, kind < 3 ? 20 : 2) << inputs[kind];
  }
  const unsigned char octets[] = {0x41, 0x42};
  oxs_test::sweep(
      [&] {
        tq_asn_integer i;
        tq_asn_octetstring o;
        tq_asn_bitstring s;
        i.set_default_value(300);
        o.set_default_value(octets, 2u);
        s.set_default_value(octets, 12u);
        i.set_value(1);
        return oxs_test::write_hex(i) == "02 01 01" ? 0 : -1;
      },
      expect_memory_or_ok);
}

// --- the envelope and the raw scanners -----------------------------------------------

struct Record : tq_asnbase {
  tq_asn_integer x;
  Record() { register_child(&x); }
};

std::string value_of(const Record& r) {
  std::int32_t v = 0;
  return r.x.get_value(v) == 0 ? std::to_string(v) : "absent";
}

TEST(Envelope, Table) {
  for (const oxs_test::row& r : oxs_test::read_table("envelope.txt", 5)) {
    SCOPED_TRACE(r.where);
    oxs_test::hex_view in(r[0] == "save" || r[1] == "(none)" ? "" : r[1]);
    tq_asn_buffer_t buffer = in.buffer();
    if (r[0] == "load") {
      Record record;
      record.x.set_value(7);
      EXPECT_EQ(status_name(tq_asnbase::loadObject(&record, r.number(2), buffer)), r[3]);
      EXPECT_EQ(value_of(record), r[4]);
    } else if (r[0] == "version") {
      unsigned flag = 7;
      EXPECT_EQ(status_name(tq_asnbase::get_encoded_version(buffer, flag)), r[3]);
      EXPECT_EQ(flag, static_cast<unsigned>(r.number(4)));
      flag = 7;
      EXPECT_EQ(status_name(tqasn_version(buffer, flag)), r[3]);
      EXPECT_EQ(flag, static_cast<unsigned>(r.number(4)));
    } else {
      tq_asnbase bare;
      Record record;
      const bool x = r[1] != "emptied" && r[1] != "absent";
      if (x) record.x.set_value(std::stoi(r[1]));
      if (r[1] == "emptied") bare.empty();
      tq_asn_buffer_t out;
      EXPECT_EQ(status_name(tq_asnbase::saveEncoding(x ? &record : &bare, r.number(2), out)), r[3]);
      EXPECT_EQ(to_hex(out.data, out.length), r[4] == "(none)" ? "" : r[4]);
      if (out.data != nullptr) tq_asn_buffer_free(out);
    }
  }
}

// Without memory the output is left as it was.
TEST(Envelope, SaveWithoutMemory) {
  Record written;
  written.x.set_value(300);
  long points = oxs_test::sweep(
      [&] {
        tq_asn_buffer_t again;
        const int status = tq_asnbase::saveEncoding(&written, 1, again);
        if (status != 0 || again.data == nullptr) return again.data == nullptr && again.length == 0 ? status : -1;
        const bool same = to_hex(again.data, again.length) == "04 01 AC DC 30 04 02 02 01 2C";
        tq_asn_buffer_free(again);
        return same ? 0 : -1;
      },
      [](int status, bool fired) { EXPECT_TRUE(status == 0 || (fired && status == int{ASN_ERR_MEMORY})) << status; });
  EXPECT_GT(points, 0);
}

TEST(Envelope, DefaultRecordIsOmittedWhileAbsent) {
  tq_asnbase outer;
  tq_asnbase member;
  member.set_default_value();
  outer.register_child(&member);
  ASSERT_EQ(member.is_defaultable(), 1);
  EXPECT_EQ(oxs_test::write_hex(outer), "30 00");
}

// The raw BER scanners over the table tests/data/scan.txt: identifier and
// length octets (X.690 8.1.2, 8.1.3) and the contents of BIT STRING, OBJECT
// IDENTIFIER, OCTET STRING and NULL. A failure leaves the caller's cursor
// where it was and hands out nothing (the sanitizer build checks that
// nothing leaks).
TEST(Scan, Table) {
  for (const oxs_test::row& r : oxs_test::read_table("scan.txt", 6)) {
    SCOPED_TRACE(r.where + ": " + r[0] + " " + r[1]);
    oxs_test::hex_view in(r[1] == "(none)" ? "" : r[1]);
    unsigned char* p = in.begin();
    unsigned int remaining = in.size();
    const unsigned int len = r[2] == "-" ? 0 : static_cast<unsigned int>(r.number(2));
    unsigned int tag = 999, length = 999, count = 999;
    int constructed = 9, cls = 9, definite = 9;
    unsigned char* data = nullptr;
    tq_asn_buffer_t oid;
    int status = -1;
    std::string result;
    oxserutl_fault_arm(r[3] == "ASN_ERR_MEMORY" ? 1 : 0);
    if (r[0] == "type") {
      status = tqAsnGetType(&p, &remaining, &tag, &constructed, &cls);
      result = std::to_string(tag) + (constructed ? " c " : " p ") + std::to_string(cls);
    } else if (r[0] == "length") {
      status = tqAsnGetLength(&p, &remaining, &definite, &length);
      result = definite ? std::to_string(length) : "indefinite";
    } else if (r[0] == "bits") {
      status = tqAsnGetBitstringValue(&p, &remaining, len, &data, &count);
      if (status == 0) result = "[" + to_hex(data, len - 1) + "] " + std::to_string(count);
    } else if (r[0] == "octets") {
      status = tqAsnGetOctetstringValue(&p, &remaining, len, &data, &count);
      if (status == 0) result = "[" + to_hex(data, count) + "] " + std::to_string(count);
    } else if (r[0] == "null") {
      status = tqAsnGetNullValue(&p, &remaining) | tqAsnGetNullValue(nullptr, nullptr);
      result = "-";
    } else {  // "oid", or "unrecorded": no record to fill in
      status = tqAsnGetOIDValue(&p, &remaining, len, r[0] == "oid" ? &oid : nullptr);
      data = oid.data;
      if (status == 0) result = "[" + to_hex(oid.data, oid.length) + "] " + std::to_string(oid.length);
      else EXPECT_EQ(oid.length, 0u);
    }
    EXPECT_EQ(oxserutl_fault_fired() != 0, r[3] == "ASN_ERR_MEMORY");
    oxserutl_fault_arm(0);
    EXPECT_EQ(status_name(status), r[3]);
    EXPECT_EQ(in.size() - remaining, static_cast<unsigned int>(r.number(5)));
    EXPECT_EQ(p, in.begin() + (in.size() - remaining));
    if (status == 0) {
      EXPECT_EQ(result, r[4]);
      if (r[4][0] == '[') EXPECT_NE(data, nullptr);  // also for the empty value
    } else {
      EXPECT_EQ(data, nullptr);
      if (r[0] == "bits" || r[0] == "octets") EXPECT_EQ(count, 999u);
    }
    std::free(data);
  }
}

}  // namespace
