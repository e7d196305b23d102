// Byte views, the growable output buffer, allocator routing, the boundary
// pair and the exception family.
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

// --- growth policy ------------------------------------------------------------

TEST(BufferGrowth, ExtendOnEmptyRoundsToPolicy) {
  // Up to 64 bytes: next multiple of 64 above the request; beyond: 15 blocks
  // of 64 bytes of headroom.
  struct Case {
    std::uint32_t n;
    std::uint32_t capacity;
  };
  const Case cases[] = {{0, 64}, {10, 64}, {63, 64}, {64, 128}, {65, 1024}, {1000, 1920}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    tq_buffer_t b;
    EXPECT_EQ(b.capacity(), 0u);
    b.extend(c.n);
    EXPECT_EQ(b.capacity(), c.capacity);
    EXPECT_EQ(b.used(), 0u);
  }
}

TEST(BufferGrowth, SingleByteAppendsGrowBy64ThenKeepHeadroom) {
  tq_buffer_t b;
  b.append(static_cast<unsigned char>(0xA5));
  EXPECT_EQ(b.capacity(), 128u);
  for (unsigned i = 1; i < 128; ++i) b.append(static_cast<unsigned char>(i));
  EXPECT_EQ(b.capacity(), 128u);
  b.append(static_cast<unsigned char>(0x5A));
  EXPECT_EQ(b.capacity(), 1152u);
  ASSERT_EQ(b.used(), 129u);
  EXPECT_EQ(b.data()[0], 0xA5);
  EXPECT_EQ(b.data()[127], 127);
  EXPECT_EQ(b.data()[128], 0x5A);
}

TEST(BufferGrowth, InitialSizeConstructorExtendsOnce) {
  tq_buffer_t b(65u, security_normal);
  EXPECT_EQ(b.capacity(), 1024u);
  EXPECT_EQ(b.used(), 0u);
}

// --- allocator routing and secure wiping -----------------------------------

struct AllocLog {
  std::vector<std::string> calls;
  std::vector<std::uint32_t> contexts;
  std::map<void*, std::size_t> sizes;
};
AllocLog g_log;

bool all_zero(const unsigned char* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (p[i] != 0) return false;
  return true;
}

void* log_malloc(std::size_t n) {
  void* p = std::malloc(n);
  g_log.sizes[p] = n;
  g_log.calls.push_back("malloc " + std::to_string(n));
  return p;
}
void log_free(void* p) {
  if (p == nullptr) {
    g_log.calls.push_back("free null");
    return;
  }
  const bool zero = all_zero(static_cast<unsigned char*>(p), g_log.sizes[p]);
  g_log.calls.push_back(zero ? "free wiped" : "free");
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
  return std::calloc(count, n);
}
void* ctx_malloc(std::uint32_t ctx, std::size_t n) {
  g_log.contexts.push_back(ctx);
  return log_malloc(n);
}
void ctx_free(std::uint32_t ctx, void* p) {
  g_log.contexts.push_back(ctx);
  log_free(p);
}
void* ctx_realloc(std::uint32_t ctx, void* p, std::size_t n) {
  g_log.contexts.push_back(ctx);
  return log_realloc(p, n);
}
void* ctx_calloc(std::uint32_t ctx, std::size_t count, std::size_t n) {
  g_log.contexts.push_back(ctx);
  return log_calloc(count, n);
}

class BufferMemoryFuncs : public ::testing::Test {
 protected:
  void SetUp() override { g_log = AllocLog(); }
  const tq_memory_funcs_t plain{log_malloc, log_free, log_realloc, log_calloc};
  const tq_memory_funcs_t with_context{0xC0FFEEu, ctx_malloc, ctx_free, ctx_realloc, ctx_calloc};
};

TEST_F(BufferMemoryFuncs, OrdinaryBufferReallocatesThroughPlainFunctions) {
  {
    tq_buffer_t b(plain);
    b.append(static_cast<unsigned char>(1));
    std::vector<unsigned char> block(200, 0x77);
    b.append(block.data(), 200);
    EXPECT_EQ(b.capacity(), 1280u);  // (128 + 200) / 64 + 15 blocks
  }
  const std::vector<std::string> expected = {"realloc null 128", "realloc 1280", "free"};
  EXPECT_EQ(g_log.calls, expected);
  EXPECT_TRUE(g_log.contexts.empty());
}

TEST_F(BufferMemoryFuncs, SecureBufferWipesOnGrowthClearAndRelease) {
  {
    tq_buffer_t b(with_context, security_secure);
    std::vector<unsigned char> secret(1000, 0xEE);
    b.append(secret.data(), 100);
    b.append(secret.data(), 28);
    ASSERT_EQ(b.capacity(), 1024u);
    b.append(secret.data(), 1000);  // moves the block: the old one is wiped first
    EXPECT_EQ(b.capacity(), 2944u);
    EXPECT_EQ(b.used(), 1128u);
    EXPECT_EQ(b.data()[1127], 0xEE);
    b.clear();
    EXPECT_EQ(b.used(), 0u);
    EXPECT_EQ(b.capacity(), 2944u);
    EXPECT_TRUE(all_zero(b.data(), b.capacity()));
    b.append(secret.data(), 5);
  }
  // The first growth releases the (absent) old block too, with a null pointer.
  const std::vector<std::string> expected = {"malloc 1024", "free null", "malloc 2944", "free wiped", "free wiped"};
  EXPECT_EQ(g_log.calls, expected);
  ASSERT_EQ(g_log.contexts.size(), expected.size());
  for (std::uint32_t ctx : g_log.contexts) EXPECT_EQ(ctx, 0xC0FFEEu);
}

TEST_F(BufferMemoryFuncs, FunctionRecordRoutesEachCall) {
  for (const tq_memory_funcs_t* funcs : {&plain, &with_context}) {
    g_log = AllocLog();
    void* p = funcs->malloc(8);
    p = funcs->realloc(p, 16);
    std::memset(p, 1, 16);
    funcs->free(p);
    funcs->free(funcs->calloc(2, 4));
    const std::vector<std::string> expected = {"malloc 8", "realloc 16", "free", "calloc 2 4", "free wiped"};
    EXPECT_EQ(g_log.calls, expected);
    EXPECT_EQ(g_log.contexts.size(), funcs == &plain ? 0u : expected.size());
  }
  const tq_memory_funcs_t heap;
  void* p = heap.calloc(3, 3);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(all_zero(static_cast<unsigned char*>(p), 9));
  heap.free(p);
}

// --- out of memory -----------------------------------------------------------

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

// --- detach, copy refusals ----------------------------------------------------

TEST(BufferDetach, UnwrittenBufferHandsOutNothing) {
  tq_buffer_t b;
  unsigned char* data = reinterpret_cast<unsigned char*>(&b);
  std::uint32_t length = 99;
  b.detach(data, length);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(length, 0u);
}

TEST(BufferDetach, WrittenBufferHandsOverBlockAndStartsAgain) {
  tq_buffer_t b;
  b.append("abc");
  unsigned char* data = nullptr;
  std::uint32_t length = 0;
  b.detach(data, length);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(to_hex(data, length), "61 62 63");
  EXPECT_EQ(b.data(), nullptr);
  EXPECT_EQ(b.capacity(), 0u);
  EXPECT_EQ(b.used(), 0u);
  tq_asn_buffer_t owned;
  owned.data = data;
  owned.length = length;
  tq_asn_buffer_free(owned);
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
  const char* copy = "Copy not supported by buffer_t objects";
  const char* assign = "Assignment not supported by buffer_t objects";
  EXPECT_EQ(refusal_text([&] { tq_buffer_t b(source); }), copy);
  EXPECT_EQ(refusal_text([&] { tq_buffer_t b(view); }), copy);
  EXPECT_EQ(refusal_text([&] {
              tq_buffer_t b;
              b = source;
            }),
            assign);
  EXPECT_EQ(refusal_text([&] {
              tq_buffer_t b;
              b = view;
            }),
            assign);
}

// --- boundary pair ----------------------------------------------------------------

TEST(AsnBufferCopy, CopiesOrReportsThroughStatus) {
  std::vector<unsigned char> bytes = from_hex("04 01 AC DC 30 00");
  struct Case {
    const char* name;
    std::uint32_t length;
    unsigned char* data;
    bool copied;
  };
  const Case cases[] = {
      {"length 0", 0, bytes.data(), false},
      {"null data", 6, nullptr, false},
      {"six bytes", 6, bytes.data(), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tq_asn_buffer_t src;
    src.length = c.length;
    src.data = c.data;
    tq_asn_buffer_t dst;
    dst.length = 77;
    dst.data = bytes.data();
    std::uint32_t status = 99;
    tq_asn_buffer_copy(src, dst, status);
    EXPECT_EQ(status, 0u);
    if (!c.copied) {
      EXPECT_EQ(dst.length, 0u);
      EXPECT_EQ(dst.data, nullptr);
      continue;
    }
    ASSERT_NE(dst.data, nullptr);
    EXPECT_NE(dst.data, src.data);
    EXPECT_EQ(to_hex(dst.data, dst.length), "04 01 AC DC 30 00");
    tq_asn_buffer_free(dst);
  }
}

TEST(AsnBufferCopy, NoMemoryKeepsLengthAndNullData) {
  std::vector<unsigned char> bytes = from_hex("01 02 03");
  tq_asn_buffer_t src;
  src.length = 3;
  src.data = bytes.data();
  tq_asn_buffer_t dst;
  std::uint32_t status = 0;
  oxserutl_fault_arm(1);
  tq_asn_buffer_copy(src, dst, status);
  oxserutl_fault_arm(0);
  EXPECT_EQ(oxs_test::status_name(status), "ASN_ERR_MEMORY");
  EXPECT_EQ(dst.length, 3u);
  EXPECT_EQ(dst.data, nullptr);
}

// --- views ------------------------------------------------------------------------

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

TEST(ReadView, IndexPastCurrentLengthUsesSpareByte) {
  std::vector<unsigned char> bytes = from_hex("11 22 33");
  tq_r_buffer_t v(bytes.data(), 2u);
  EXPECT_EQ(v[1], 0x22);
  EXPECT_EQ(v[2], 0);  // the byte 33 lies outside the view
  v[2] = 0x99;         // lands in the spare byte, not in bytes[2]
  EXPECT_EQ(bytes[2], 0x33);
  EXPECT_EQ(&v[2], &v[1000]);
  EXPECT_EQ(v[1000], 0x99);
  ASSERT_TRUE(v.skip(1));
  EXPECT_EQ(v[0], 0x22);
  EXPECT_EQ(&v[1], &v[2]);  // index 1 now equals the current length
}

TEST(ReadView, EqualityComparesCurrentBytesOnly) {
  std::vector<unsigned char> a = from_hex("AA 01 02");
  std::vector<unsigned char> b = from_hex("01 02");
  tq_r_buffer_t va(a.data(), 3u);
  const tq_r_buffer_t vb(b.data(), 2u);
  EXPECT_FALSE(va == vb);
  ASSERT_TRUE(va.skip(1));
  EXPECT_TRUE(va == vb);
  va.reset();
  EXPECT_EQ(va.length(), 3u);
}

// --- exceptions --------------------------------------------------------------------

struct ProbeException : tq_asn_exception {
  ProbeException() : tq_asn_exception(0xABu, "probe", "probe.cpp", -3) {}
};

TEST(Exception, PrintWritesOneLineWithEightLowerCaseHexDigits) {
  testing::internal::CaptureStderr();
  tq_asn_memexception("Out of memory in buffer_t::extend", "asn1/asnbase", 42).print();
  std::string mem = testing::internal::GetCapturedStderr();
  testing::internal::CaptureStderr();
  ProbeException().print();
  std::string probe = testing::internal::GetCapturedStderr();
  EXPECT_EQ(mem, "Exception: Out of memory in buffer_t::extend [10652065] in asn1/asnbase at line 42\n");
  EXPECT_EQ(probe, "Exception: probe [000000ab] in probe.cpp at line -3\n");
}

TEST(Exception, SubclassesFixTheirCodes) {
  struct Case {
    std::uint32_t code;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {tq_asn_memexception("m", "f", 1).code(), 0x10652065u},
      {tq_asn_versionerror("v", "f", 1).code(), 0x10652196u},
      {tq_asn_unsupportederror("u", "f", 1).code(), 0x10652197u},
  };
  for (const Case& c : cases) EXPECT_EQ(c.code, c.expected);
  tq_asn_versionerror original("text", "file", 9);
  tq_asn_exception copy = original;
  EXPECT_STREQ(copy.text(), "text");
  EXPECT_STREQ(copy.file(), "file");
  EXPECT_EQ(copy.line(), 9);
  EXPECT_EQ(copy.code(), 0x10652196u);
}

}  // namespace
