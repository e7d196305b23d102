// The versioned envelope: 04 <version> AC DC in front of one BER element.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <oxserutl/asnbase.h>
#include <oxserutl/fault_injection.h>

#include "test_util.h"

using oxs_test::from_hex;
using oxs_test::status_name;
using oxs_test::to_hex;

namespace {

struct Record : tq_asnbase {
  tq_asn_integer x;
  Record() { register_child(&x); }
};

// Owns a heap copy of the bytes sized exactly, so that ASan reports any read
// beyond them.
struct Envelope {
  std::vector<unsigned char> bytes;
  tq_asn_buffer_t buffer;
  explicit Envelope(const char* hex) : bytes(from_hex(hex)) {
    buffer.length = static_cast<std::uint32_t>(bytes.size());
    buffer.data = bytes.empty() ? nullptr : bytes.data();
  }
};

TEST(Envelope, Save) {
  struct Case {
    const char* name;
    bool emptied;
    int version;
    const char* status;
    const char* hex;
  };
  const Case cases[] = {
      {"emptied, version 1", true, 1, "ASN_OK", "04 01 AC DC 30 00"},
      {"version 2", true, 2, "ASN_OK", "04 02 AC DC 30 00"},
      {"version 257 keeps low eight bits", true, 257, "ASN_OK", "04 01 AC DC 30 00"},
      {"never emptied: absent", false, 1, "ASN_ERR_NO_VALUE", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tq_asnbase record;
    if (c.emptied) record.empty();
    tq_asn_buffer_t out;
    const int status = tq_asnbase::saveEncoding(&record, c.version, out);
    EXPECT_EQ(status_name(status), c.status);
    if (status != 0) {
      EXPECT_EQ(out.data, nullptr);
      EXPECT_EQ(out.length, 0u);
      continue;
    }
    EXPECT_EQ(to_hex(out.data, out.length), c.hex);
    tq_asn_buffer_free(out);
  }
}

TEST(Envelope, SaveThenLoadRoundTrip) {
  Record written;
  written.x.set_value(300);
  tq_asn_buffer_t out;
  ASSERT_EQ(tq_asnbase::saveEncoding(&written, 257, out), 0);
  EXPECT_EQ(to_hex(out.data, out.length), "04 01 AC DC 30 04 02 02 01 2C");
  Record read;
  ASSERT_EQ(tq_asnbase::loadObject(&read, 1, out), 0);
  std::int32_t v = 0;
  ASSERT_EQ(read.x.get_value(v), 0);
  EXPECT_EQ(v, 300);
  tq_asn_buffer_free(out);
}

TEST(Envelope, SaveWithoutMemoryLeavesOutputUntouched) {
  Record record;
  record.x.set_value(5);
  bool saved = false;
  for (long k = 1; k < 20 && !saved; ++k) {
    SCOPED_TRACE(k);
    tq_asn_buffer_t out;
    oxserutl_fault_arm(k);
    try {
      ASSERT_EQ(tq_asnbase::saveEncoding(&record, 1, out), 0);
      saved = !oxserutl_fault_fired();
    } catch (const tq_asn_memexception&) {
      EXPECT_EQ(out.data, nullptr);
      EXPECT_EQ(out.length, 0u);
    }
    oxserutl_fault_arm(0);
    if (out.data != nullptr) {
      EXPECT_EQ(to_hex(out.data, out.length), "04 01 AC DC 30 03 02 01 05");
      tq_asn_buffer_free(out);
    }
  }
  EXPECT_TRUE(saved);
}

TEST(Envelope, Load) {
  struct Case {
    const char* hex;
    int version;
    const char* status;
  };
  const Case cases[] = {
      {"04 01 AC DC 30 03 02 01 05", 1, "ASN_OK"},
      {"04 01 AC DC 30 03 02 01 05", 257, "ASN_OK"},
      // Bytes behind the element are not examined.
      {"04 01 AC DC 30 03 02 01 05 DE AD", 1, "ASN_OK"},
      // The header length says where the element starts.
      {"05 01 AC DC FF 30 03 02 01 05", 1, "ASN_OK"},
      // Header refused.
      {"04 02 AC DC 30 03 02 01 05", 1, "ASN_ERR_VERSION"},
      {"04 01 AC DC", 1, "ASN_ERR_VERSION"},
      {"04 01 AC DD 30 03 02 01 05", 1, "ASN_ERR_VERSION"},
      {"04 01 AD DC 30 03 02 01 05", 1, "ASN_ERR_VERSION"},
      {"00 01 AC DC 30 03 02 01 05", 1, "ASN_ERR_VERSION"},
      {"", 1, "ASN_ERR_VERSION"},
      // A header length beyond the buffer must not be followed.
      {"0A 01 AC DC 30 03 02 01 05", 1, "ASN_ERR_VERSION"},
      {"FF 01 AC DC 30 03 02 01 05", 1, "ASN_ERR_VERSION"},
      // Header accepted, element refused.
      {"09 01 AC DC 30 03 02 01 05", 1, "ASN_ERR_TRUNCATED"},
      {"04 01 AC DC 30 03 02 01", 1, "ASN_ERR_TRUNCATED"},
      {"04 01 AC DC 31 03 02 01 05", 1, "ASN_ERR_TAG_MISMATCH"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.hex) + " as version " + std::to_string(c.version));
    Envelope in(c.hex);
    Record record;
    record.x.set_value(7);
    const int status = tq_asnbase::loadObject(&record, c.version, in.buffer);
    EXPECT_EQ(status_name(status), c.status);
    std::int32_t v = 0;
    if (status == 0) {
      ASSERT_EQ(record.x.get_value(v), 0);
      EXPECT_EQ(v, 5);
    } else if (status == int{ASN_ERR_VERSION}) {
      // Refused before anything was read: the record is as it was.
      EXPECT_EQ(record.is_present(), 1);
      ASSERT_EQ(record.x.get_value(v), 0);
      EXPECT_EQ(v, 7);
    } else {
      EXPECT_EQ(record.is_present(), 0);
    }
  }
}

TEST(Envelope, EncodedVersion) {
  struct Case {
    const char* hex;
    const char* status;
    unsigned flag;
  };
  const Case cases[] = {
      {"04 02 AC DC 30 00", "ASN_OK", 0},
      {"04 FF AC DC 30 00", "ASN_OK", 0},
      {"04 02 AC DD 30 00", "ASN_ERR_VERSION", 1},
      {"04 00 AC DC 30 00", "ASN_ERR_VERSION", 1},
      {"04 02 AC DC", "ASN_ERR_VERSION", 1},
      {"", "ASN_ERR_VERSION", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    Envelope in(c.hex);
    unsigned flag = 7;
    EXPECT_EQ(status_name(tq_asnbase::get_encoded_version(in.buffer, flag)), c.status);
    EXPECT_EQ(flag, c.flag);
    flag = 7;
    EXPECT_EQ(status_name(tqasn_version(in.buffer, flag)), c.status);
    EXPECT_EQ(flag, c.flag);
  }
}

TEST(Envelope, DefaultRecordIsOmittedWhileAbsent) {
  tq_asnbase outer;
  tq_asnbase member;
  member.set_default_value();
  outer.register_child(&member);
  ASSERT_EQ(member.is_defaultable(), 1);
  EXPECT_EQ(oxs_test::write_hex(outer), "30 00");
}

}  // namespace
