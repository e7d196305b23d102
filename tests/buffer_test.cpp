// Byte views, the growable output buffer, allocator routing, the boundary
// pair and the exception line.
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <oxserutl/asnbase.h>
#include <oxserutl/fault_injection.h>

#include "test_util.h"

using oxs_test::from_hex;
using oxs_test::to_hex;

namespace {

TEST(BufferGrowth, ExtendOnEmptyKeepsHeadroom) {
  // Up to 64 bytes: the next multiple of 64 above; beyond: 15 more blocks.
  struct Case {
    std::uint32_t n, capacity;
  };
  const Case cases[] = {{0, 64}, {10, 64}, {63, 64}, {64, 128}, {65, 1024}, {1000, 1920}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    tq_buffer_t b;
    b.extend(c.n);
    EXPECT_EQ(b.capacity(), c.capacity);
    EXPECT_EQ(b.used(), 0u);
  }
}

TEST(BufferGrowth, SingleByteAppends) {
  tq_buffer_t b;
  EXPECT_EQ(b.capacity(), 0u);
  for (unsigned i = 0; i < 128; ++i) b.append(static_cast<unsigned char>(i));
  EXPECT_EQ(b.capacity(), 128u);
  b.append(static_cast<unsigned char>(0xFF));
  EXPECT_EQ(b.capacity(), 1152u);
  ASSERT_EQ(b.used(), 129u);
  EXPECT_EQ(to_hex(b.data() + 126, 3), "7E 7F FF");
}

// --- allocator routing and secure wiping -----------------------------------

struct AllocLog {
  std::vector<std::string> calls;
  std::vector<std::uint32_t> contexts;
  std::map<void*, std::size_t> sizes;
} g_log;

bool all_zero(const void* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (static_cast<const unsigned char*>(p)[i] != 0) return false;
  return true;
}
void* log_malloc(std::size_t n) {
  g_log.calls.push_back("malloc " + std::to_string(n));
  void* p = std::malloc(n);
  g_log.sizes[p] = n;
  return p;
}
// Logs whether the block was wiped before it was handed back.
void log_free(void* p) {
  g_log.calls.push_back(p == nullptr ? "free null" : all_zero(p, g_log.sizes[p]) ? "free wiped" : "free");
  g_log.sizes.erase(p);
  std::free(p);
}
void* log_realloc(void* p, std::size_t n) {
  g_log.calls.push_back(std::string("realloc ") + (p == nullptr ? "null " : "") + std::to_string(n));
  g_log.sizes.erase(p);
  void* q = std::realloc(p, n);
  g_log.sizes[q] = n;
  return q;
}
void* log_calloc(std::size_t count, std::size_t n) {
  g_log.calls.push_back("calloc " + std::to_string(count) + " " + std::to_string(n));
  void* p = std::calloc(count, n);
  g_log.sizes[p] = count * n;
  return p;
}
void* ctx_malloc(std::uint32_t c, std::size_t n) { return g_log.contexts.push_back(c), log_malloc(n); }
void ctx_free(std::uint32_t c, void* p) { g_log.contexts.push_back(c), log_free(p); }
void* ctx_realloc(std::uint32_t c, void* p, std::size_t n) { return g_log.contexts.push_back(c), log_realloc(p, n); }
void* ctx_calloc(std::uint32_t c, std::size_t k, std::size_t n) { return g_log.contexts.push_back(c), log_calloc(k, n); }

class BufferMemoryFuncs : public ::testing::Test {
 protected:
  void SetUp() override { g_log = AllocLog(); }
  const tq_memory_funcs_t plain{log_malloc, log_free, log_realloc, log_calloc};
  const tq_memory_funcs_t with_context{0xC0FFEEu, ctx_malloc, ctx_free, ctx_realloc, ctx_calloc};
};

TEST_F(BufferMemoryFuncs, FunctionRecordRoutesEachCall) {
  for (const tq_memory_funcs_t* funcs : {&plain, &with_context}) {
    g_log = AllocLog();
    void* p = funcs->realloc(funcs->malloc(8), 16);
    std::memset(p, 1, 16);
    funcs->free(p);
    funcs->free(funcs->calloc(2, 4));
    const std::vector<std::string> expected = {"malloc 8", "realloc 16", "free", "calloc 2 4", "free wiped"};
    EXPECT_EQ(g_log.calls, expected);
    // The context is passed first to every context-taking function.
    EXPECT_EQ(g_log.contexts, std::vector<std::uint32_t>(funcs == &plain ? 0 : 5, 0xC0FFEEu));
  }
}

TEST_F(BufferMemoryFuncs, OrdinaryBufferReallocates) {
  {
    tq_buffer_t b(plain);
    b.append(static_cast<unsigned char>(1));
    const std::vector<unsigned char> block(200, 0x77);
    b.append(block.data(), 200);
    EXPECT_EQ(b.capacity(), 1280u);
  }
  EXPECT_EQ(g_log.calls, (std::vector<std::string>{"realloc null 128", "realloc 1280", "free"}));
}

TEST_F(BufferMemoryFuncs, SecureBufferWipesOnGrowthClearAndRelease) {
  {
    tq_buffer_t b(with_context, security_secure);
    const std::vector<unsigned char> secret(1000, 0xEE);
    b.append(secret.data(), 100);
    b.append(secret.data(), 28);
    ASSERT_EQ(b.capacity(), 1024u);
    b.append(secret.data(), 1000);  // moves the block: the old one is wiped first
    EXPECT_EQ(b.capacity(), 2944u);
    ASSERT_EQ(b.used(), 1128u);
    EXPECT_TRUE(std::memcmp(b.data() + 128, secret.data(), 1000) == 0);
    b.clear();
    EXPECT_EQ(b.used(), 0u);
    EXPECT_EQ(b.capacity(), 2944u);
    EXPECT_TRUE(all_zero(b.data(), b.capacity()));
    b.append(secret.data(), 5);
  }
  // The first growth also releases the absent old block, as a null pointer.
  EXPECT_EQ(g_log.calls,
            (std::vector<std::string>{"malloc 1024", "free null", "malloc 2944", "free wiped", "free wiped"}));
  EXPECT_EQ(g_log.contexts, std::vector<std::uint32_t>(5, 0xC0FFEEu));
}

TEST(BufferMemory, FailedGrowthRaisesAndKeepsOldBlock) {
  for (security_t security : {security_normal, security_secure}) {
    SCOPED_TRACE(security);
    tq_buffer_t b(security);
    for (unsigned i = 0; i < 128; ++i) b.append(static_cast<unsigned char>(i));
    unsigned char* const block = b.data();
    oxserutl_fault_arm(1);
    try {
      b.append(static_cast<unsigned char>(0xFF));
      ADD_FAILURE() << "no exception";
    } catch (const tq_asn_memexception& e) {
      EXPECT_EQ(e.code(), 0x10652065u);
      EXPECT_STREQ(e.text(), "Out of memory in buffer_t::extend");
    }
    oxserutl_fault_arm(0);
    EXPECT_EQ(b.data(), block);
    EXPECT_EQ(b.capacity(), 128u);
    ASSERT_EQ(b.used(), 128u);
    for (unsigned i = 0; i < 128; ++i) ASSERT_EQ(b.data()[i], i);
  }
}

// --- detach and copy refusals -------------------------------------------------

TEST(BufferDetach, HandsOverBlockOrNothing) {
  tq_buffer_t b;
  unsigned char* data = reinterpret_cast<unsigned char*>(&b);
  std::uint32_t length = 99;
  b.detach(data, length);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(length, 0u);
  b.append("abc");
  b.detach(data, length);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(to_hex(data, length), "61 62 63");
  EXPECT_EQ(b.data(), nullptr);
  EXPECT_EQ(b.capacity(), 0u);
  EXPECT_EQ(b.used(), 0u);
  std::free(data);
}

template <class F>
std::string refusal_text(F f) {
  try {
    f();
  } catch (const tq_asn_exception&) {
    return "caught as tq_asn_exception";
  } catch (const char* text) {
    return text;
  }
  return "no exception";
}

TEST(BufferCopy, CopyAndAssignmentRaiseBareText) {
  tq_buffer_t source;
  source.append("x");
  const tq_r_buffer_t view(source.data(), 1u);
  tq_buffer_t target;
  const std::string copy = "Copy not supported by buffer_t objects";
  const std::string assign = "Assignment not supported by buffer_t objects";
  EXPECT_EQ(refusal_text([&] { tq_buffer_t b(source); }), copy);
  EXPECT_EQ(refusal_text([&] { tq_buffer_t b(view); }), copy);
  EXPECT_EQ(refusal_text([&] { target = source; }), assign);
  EXPECT_EQ(refusal_text([&] { target = view; }), assign);
}

// --- boundary pair and views ------------------------------------------------------

TEST(AsnBufferCopy, CopiesOrReportsThroughStatus) {
  std::vector<unsigned char> bytes = from_hex("04 01 AC DC 30 00");
  struct Case {
    const char* name;
    std::uint32_t length;
    unsigned char* data;
    long fail_allocation;
    const char* status;
    const char* copy;
  };
  const Case cases[] = {
      {"length 0", 0, bytes.data(), 0, "ASN_OK", ""},
      {"null data", 6, nullptr, 0, "ASN_OK", ""},
      {"six bytes", 6, bytes.data(), 0, "ASN_OK", "04 01 AC DC 30 00"},
      // No memory: null data, but the length of the source.
      {"no memory", 6, bytes.data(), 1, "ASN_ERR_MEMORY", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tq_asn_buffer_t src, dst;
    src.length = c.length;
    src.data = c.data;
    dst.length = 77;
    dst.data = bytes.data();
    std::uint32_t status = 99;
    oxserutl_fault_arm(c.fail_allocation);
    tq_asn_buffer_copy(src, dst, status);
    oxserutl_fault_arm(0);
    EXPECT_EQ(oxs_test::status_name(status), c.status);
    EXPECT_EQ(dst.length, *c.copy || status ? c.length : 0u);
    EXPECT_EQ(dst.data == nullptr, !*c.copy);
    if (dst.data == nullptr) continue;
    EXPECT_NE(dst.data, src.data);
    EXPECT_EQ(to_hex(dst.data, dst.length), c.copy);
    tq_asn_buffer_free(dst);
  }
}

TEST(ReadView, EndOfContentsNeedsTwoZeroOctets) {
  struct Case {
    const char* hex;
    int expected;
  };
  const Case cases[] = {{"00 00", 1}, {"00 00 05", 1}, {"00 01", 0}, {"00", 0}, {"", 0}, {"01 00 00", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    oxs_test::hex_view v(c.hex);
    EXPECT_EQ(check_EOC(v.view()), c.expected);
    EXPECT_EQ(v.consumed(), 0u);
  }
}

TEST(ReadView, IndexAtOrPastCurrentLengthUsesSpareByte) {
  std::vector<unsigned char> bytes = from_hex("11 22 33");
  tq_r_buffer_t v(bytes.data(), 2u);
  EXPECT_EQ(v[1], 0x22);
  EXPECT_EQ(v[2], 0);  // 33 lies outside the view
  v[2] = 0x99;         // lands in the spare byte
  EXPECT_EQ(bytes[2], 0x33);
  EXPECT_EQ(&v[2], &v[1000]);
  ASSERT_TRUE(v.skip(1));
  EXPECT_EQ(&v[1], &v[2]);
}

// --- exception line ----------------------------------------------------------------

struct ProbeException : tq_asn_exception {
  ProbeException() : tq_asn_exception(0xABu, "probe", "probe.cpp", -3) {}
};

TEST(Exception, PrintWritesOneLineWithEightLowerCaseHexDigits) {
  testing::internal::CaptureStderr();
  tq_asn_memexception("Out of memory in buffer_t::extend", "asn1/asnbase", 42).print();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Exception: Out of memory in buffer_t::extend [10652065] in asn1/asnbase at line 42\n");
  testing::internal::CaptureStderr();
  ProbeException().print();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Exception: probe [000000ab] in probe.cpp at line -3\n");
}

}  // namespace
