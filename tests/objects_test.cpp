// The runtime's objects reading and writing single elements, driven by the
// tables tests/data/read.txt and tests/data/write.txt: framing, every
// primitive type, composites, the choice, the open type and the character
// strings. Each table row names an object with a small notation (see the
// tables' headers).
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/asnchoice.h>
#include <oxserutl/asnscan.h>
#include <oxserutl/asnstrng.h>

#include "test_util.h"

using oxs_test::from_hex;
using oxs_test::hex_view;
using oxs_test::status_name;
using oxs_test::to_hex;
using oxs_test::write_hex;

namespace {

// An object named by the notation, with the objects it is built of. The
// parts are destroyed before the root, as members are before their class.
struct subject {
  std::unique_ptr<tq_asn_object> root;
  std::vector<std::unique_ptr<tq_asn_object>> parts;
};

std::unique_ptr<tq_asn_object> parse(const std::string& text, std::size_t& at, subject& s);

std::unique_ptr<tq_asn_object> make_named(const std::string& name) {
  if (name == "int") return std::make_unique<tq_asn_integer>();
  if (name == "enum") return std::make_unique<tq_asn_enumerated>();
  if (name == "bool") return std::make_unique<tq_asn_boolean>();
  if (name == "null") return std::make_unique<tq_asn_null>();
  if (name == "nothing") return std::make_unique<tq_asn_nothing>();
  if (name == "octets") return std::make_unique<tq_asn_octetstring>();
  if (name == "bits") return std::make_unique<tq_asn_bitstring>();
  if (name == "namedbits") return std::make_unique<tq_asn_namedbits>();
  if (name == "any") return std::make_unique<tq_asn_any>();
  if (name == "utf8") return std::make_unique<tq_asn_UTF8String>();
  if (name == "bmp") return std::make_unique<tq_asn_bmpString>();
  if (name == "dir") return std::make_unique<tq_asn_directoryString>();
  if (name == "seq") return std::make_unique<tq_asn_sequence>();
  if (name == "choice") return std::make_unique<tq_asn_choice>();
  throw std::invalid_argument("unknown object " + name);
}

// name, then optional "?", "=default", "[tag,class]", "(children)".
std::unique_ptr<tq_asn_object> parse(const std::string& text, std::size_t& at, subject& s) {
  const std::size_t start = at;
  while (at < text.size() && std::isalnum(static_cast<unsigned char>(text[at]))) ++at;
  const std::string name = text.substr(start, at - start);
  std::unique_ptr<tq_asn_object> object;
  const bool list = name == "seqof";  // only seqof(octets)
  if (list)
    object = std::make_unique<tq_asn_sequenceof<tq_asn_octetstring>>();
  else
    object = make_named(name);
  if (at < text.size() && text[at] == '?') {
    object->set_optional(1);
    ++at;
  }
  if (at < text.size() && text[at] == '=') {
    const std::size_t end = text.find_first_of("([", at + 2);
    const std::string value = text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    if (auto* i = dynamic_cast<tq_asn_integer*>(object.get())) i->set_default_value(std::stoi(value));
    if (auto* b = dynamic_cast<tq_asn_boolean*>(object.get())) b->set_default_value(std::stoi(value));
    if (auto* o = dynamic_cast<tq_asn_octetstring*>(object.get())) {
      const auto octets = from_hex(value.substr(1, value.size() - 2));
      o->set_default_value(octets.data(), static_cast<std::uint32_t>(octets.size()));
    }
    at = end == std::string::npos ? text.size() : end;
  }
  if (at < text.size() && text[at] == '[') {
    const std::size_t comma = text.find(',', at);
    object->set_tag(static_cast<std::uint32_t>(std::stoul(text.substr(at + 1, comma - at - 1))));
    object->set_class(std::stoi(text.substr(comma + 1)));
    at = text.find(']', at) + 1;
  }
  if (list) {
    at = text.find(')', at) + 1;
  } else if (at < text.size() && text[at] == '(') {
    auto* composite = dynamic_cast<tq_asn_composite*>(object.get());
    do {
      ++at;
      std::unique_ptr<tq_asn_object> child = parse(text, at, s);
      composite->register_child(child.get());
      s.parts.push_back(std::move(child));
    } while (text[at] == ',');
    ++at;
  }
  return object;
}

subject make(const std::string& notation) {
  subject s;
  std::size_t at = 0;
  s.root = parse(notation, at, s);
  return s;
}

std::string bracketed(const unsigned char* p, std::size_t n) { return "[" + to_hex(p, n) + "]"; }

// The value of an object in the tables' notation.
std::string describe(const tq_asn_object& o) {
  unsigned char* bytes = nullptr;
  std::uint32_t n = 0;
  if (auto* c = dynamic_cast<const tq_asn_choice*>(&o)) {
    const int k = c->selected();
    return "#" + std::to_string(k) + (k >= 0 ? " " + describe(*(*c)[static_cast<std::uint32_t>(k)]) : "");
  }
  if (auto* list = dynamic_cast<const tq_asn_composite*>(&o)) {
    std::string out = "{";
    for (std::uint32_t i = 0; i < list->get_child_count(); ++i) out += (i ? ", " : "") + describe(*(*list)[i]);
    return out + "}";
  }
  int status = ASN_ERR_NO_VALUE;
  std::string value;
  if (auto* i = dynamic_cast<const tq_asn_integer*>(&o)) {
    std::int32_t v = 0;
    status = i->get_value(v);
    value = std::to_string(v);
  } else if (auto* b = dynamic_cast<const tq_asn_boolean*>(&o)) {
    int v = 0;
    status = b->get_value(v);
    value = std::to_string(v);
  } else if (dynamic_cast<const tq_asn_null*>(&o)) {
    return "null";
  } else if (dynamic_cast<const tq_asn_nothing*>(&o)) {
    return "-";
  } else if (auto* bits = dynamic_cast<const tq_asn_bitstring*>(&o)) {
    status = bits->get_value(bytes, n);
    value = bracketed(bytes, (n + 7) / 8) + "/" + std::to_string(n);
  } else if (auto* s = dynamic_cast<const tq_asn_charstring*>(&o)) {
    status = s->is_present() ? 0 : int{ASN_ERR_NO_VALUE};
    value = std::to_string(s->get_codeset()) + bracketed(s->value().data(), s->value().used());
  } else if (auto* octets = dynamic_cast<const tq_asn_octetstring*>(&o)) {
    status = octets->get_value(bytes, n);
    value = bracketed(bytes, n);
  } else if (auto* any = dynamic_cast<const tq_asn_any*>(&o)) {
    status = any->get_value(bytes, n);
    value = std::to_string(any->get_tag()) + "." + std::to_string(any->get_class()) +
            (any->is_constructed() ? "c" : "p") + bracketed(bytes, n);
  }
  return status != 0 ? "<" + status_name(status) + ">" : value;
}

std::string hex_cell(const std::string& cell) { return cell == "(none)" ? "" : cell; }

TEST(Objects, ReadTable) {
  for (const oxs_test::row& r : oxs_test::read_table("read.txt", 6)) {
    SCOPED_TRACE(r.where + ": " + r[0] + " reads " + r[1]);
    subject s = make(r[0]);
    hex_view in(hex_cell(r[1]));
    const int status = s.root->asnread(in.view());
    EXPECT_EQ(status_name(status), r[2]);
    const std::uint32_t consumed = r[3] == "all" ? in.size() : static_cast<std::uint32_t>(r.number(3));
    EXPECT_EQ(in.consumed(), consumed);
    // Present after a read that took an element; NULL is present from birth.
    EXPECT_EQ(s.root->is_present(), (status == 0 && consumed != 0) || r[0] == "null" ? 1 : 0);
    if (r[4] != "-") EXPECT_EQ(describe(*s.root), r[4]);
    if (r[5] != "-") EXPECT_EQ(write_hex(*s.root), r[5] == "=" ? r[1] : hex_cell(r[5]));
    // A decoded OCTET STRING keeps a zero octet behind its contents.
    auto* octets = dynamic_cast<tq_asn_octetstring*>(s.root.get());
    unsigned char* bytes = nullptr;
    std::uint32_t n = 0;
    if (octets != nullptr && status == 0 && consumed != 0 && octets->get_value(bytes, n) == 0) EXPECT_EQ(bytes[n], 0);
  }
}

// Identifier and length with the raw scanners, then the contents with the
// scanner of the universal primitive type (3 to 6; NULL reads nothing);
// other contents are stepped over.
int scan_element(tq_r_buffer_t& view) {
  unsigned char* p = view.current();
  unsigned int remaining = view.length();
  unsigned int tag = 0, length = 0, count = 0;
  int constructed = 0, cls = 0, definite = 0;
  int status = tqAsnGetType(&p, &remaining, &tag, &constructed, &cls);
  if (status == 0) status = tqAsnGetLength(&p, &remaining, &definite, &length);
  if (status != 0) return status;
  unsigned char* block = nullptr;
  tq_asn_buffer_t oid;
  const bool scanned = cls == 0 && !constructed && tag >= 3 && tag <= 6;
  if (scanned && tag == 3) status = tqAsnGetBitstringValue(&p, &remaining, length, &block, &count);
  if (scanned && tag == 4) status = tqAsnGetOctetstringValue(&p, &remaining, length, &block, &count);
  if (scanned && tag == 5) status = tqAsnGetNullValue(&p, &remaining);
  if (scanned && tag == 6) status = tqAsnGetOIDValue(&p, &remaining, length, &oid);
  std::free(block);
  std::free(oid.data);
  if (!scanned && (!definite || length > remaining)) return ASN_ERR_TRUNCATED;
  if (status != 0) return status;
  if (!scanned) p += length, remaining -= length;
  view.set_cursor(p, remaining);
  return 0;
}

// The public BER test suite: every file with the readers its table row
// names. Success consumes the whole element; failure consumes nothing.
TEST(Objects, BerSuite) {
  std::vector<bool> covered(49, false);
  for (const oxs_test::row& r : oxs_test::read_table("ber_suite.txt", 5)) {
    covered.at(static_cast<std::size_t>(std::stoi(r[0].substr(2)))) = true;
    std::istringstream readers(r[1]);
    for (std::string reader; readers >> reader;) {
      SCOPED_TRACE(r.where + ": " + r[0] + " with " + reader + ": " + r[4]);
      const std::string raw = oxs_test::read_file(std::string(OXSERUTL_BER_SUITE_DIR) + "/" + r[0]);
      hex_view in(std::vector<unsigned char>(raw.begin(), raw.end()));
      subject s;
      int status;
      if (reader == "scan") {
        status = scan_element(in.view());
      } else {
        s = make(reader);
        status = s.root->asnread(in.view());
        if (r[3] != "-") EXPECT_EQ(describe(*s.root), r[3]);
      }
      EXPECT_EQ(status_name(status), r[2]);
      EXPECT_EQ(in.consumed(), status == 0 ? in.size() : 0u);
    }
  }
  for (std::size_t i = 1; i < covered.size(); ++i) EXPECT_TRUE(covered[i]) << "tc" << i << ".ber";
}

// Sets the value written in the table's notation.
void set(tq_asn_object& o, const std::string& value) {
  if (value == "unset") return;
  if (auto* list = dynamic_cast<tq_asn_sequenceof<tq_asn_octetstring>*>(&o)) {
    std::istringstream items(value);
    for (std::string item; items >> item;) {
      while (item.back() != ']') {
        std::string more;
        items >> more;
        item += " " + more;
      }
      set(*list->add_child(), item);
    }
  } else if (auto* seq = dynamic_cast<tq_asn_sequence*>(&o)) {
    std::istringstream items(value);
    for (std::uint32_t i = 0; i < seq->get_child_count(); ++i)
      if (auto* child = dynamic_cast<tq_asn_integer*>((*seq)[i])) {
        std::string item;
        items >> item;
        set(*child, item);
      }
  } else if (auto* named = dynamic_cast<tq_asn_namedbits*>(&o)) {
    std::istringstream ops(value);
    for (std::string op; ops >> op;) {
      const auto bit = static_cast<std::uint32_t>(std::stoul(op.substr(1)));
      if (op[0] == '+') named->set_bit(bit, 1);
      else named->clear_bit(bit);
    }
  } else if (auto* bits = dynamic_cast<tq_asn_bitstring*>(&o)) {
    const std::size_t slash = value.find('/');
    const auto octets = from_hex(value.substr(1, slash - 2));
    bits->set_value(octets.data(), static_cast<std::uint32_t>(std::stoul(value.substr(slash + 1))));
  } else if (auto* octets = dynamic_cast<tq_asn_octetstring*>(&o)) {
    std::vector<unsigned char> bytes;
    const std::size_t star = value.find('*');
    if (star != std::string::npos)
      bytes.assign(std::stoul(value.substr(star + 1)), from_hex(value.substr(0, star))[0]);
    else
      bytes = from_hex(value.substr(1, value.size() - 2));
    octets->set_value(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  } else if (auto* i = dynamic_cast<tq_asn_integer*>(&o)) {
    if (value[0] == '[') {
      const auto octets = from_hex(value.substr(1, value.size() - 2));
      i->set_value(octets.data(), static_cast<std::uint32_t>(octets.size()));
    } else {
      i->set_value(static_cast<std::int32_t>(std::stoll(value)));
    }
  } else if (auto* b = dynamic_cast<tq_asn_boolean*>(&o)) {
    b->set_value(std::stoi(value));
  }
}

TEST(Objects, WriteTable) {
  for (const oxs_test::row& r : oxs_test::read_table("write.txt", 3)) {
    SCOPED_TRACE(r.where + ": " + r[0] + " = " + r[1]);
    subject s = make(r[0]);
    set(*s.root, r[1]);
    std::string expected = hex_cell(r[2]);
    const bool prefix = expected.size() > 3 && expected.compare(expected.size() - 3, 3, "...") == 0;
    if (prefix) expected.resize(expected.size() - 4);
    tq_buffer_t out;
    const int status = s.root->asnwrite(out);
    const std::size_t shown = prefix ? std::min<std::size_t>(out.used(), from_hex(expected).size()) : out.used();
    EXPECT_EQ(status != 0 ? "<" + status_name(status) + ">" : to_hex(out.data(), shown), expected);
  }
}

// A failed write leaves the output as it was, also when the list itself is
// present but its element has no value.
TEST(Objects, FailedWriteLeavesTheOutput) {
  subject unset = make("int");
  subject list = make("seqof(octets)");
  static_cast<tq_asn_sequenceof<tq_asn_octetstring>&>(*list.root).add_child();
  for (const tq_asn_object* o : {unset.root.get(), list.root.get()}) {
    tq_buffer_t out;
    out.append(static_cast<unsigned char>(0xEE));
    EXPECT_EQ(status_name(o->asnwrite(out)), "ASN_ERR_NO_VALUE");
    EXPECT_EQ(to_hex(out), "EE");
  }
  // Out of memory halfway: 127 of 128 bytes used, the identifier fits and
  // the length octet does not.
  tq_buffer_t out;
  for (int i = 0; i < 127; ++i) out.append(static_cast<unsigned char>(0xEE));
  const unsigned char content[10] = {};
  tq_asn_octetstring o;
  o.set_value(content, 10u);
  oxserutl_fault_arm(1);
  EXPECT_THROW((void)o.asnwrite(out), tq_asn_memexception);
  oxserutl_fault_arm(0);
  EXPECT_EQ(out.used(), 127u);
  ASSERT_EQ(o.asnwrite(out), 0);
  EXPECT_EQ(to_hex(out.data() + 127, 3), "04 0A 00");
}

// Constructed segments may nest (X.690 8.6.4, 8.7.3.2), but only to the
// runtime's limit, so that crafted input cannot exhaust the stack.
TEST(Objects, SegmentNestingIsBounded) {
  auto nest = [](const std::string& id, std::string inner, int levels, bool indefinite) {
    for (int i = 0; i < levels; ++i)
      inner = indefinite ? id + " 80 " + inner + " 00 00" : oxs_test::tlv(id, inner);
    return inner;
  };
  const int limit = tq_asn_max_segment_depth;
  struct Case { const char* object; int levels; bool indefinite; bool ok; };
  for (const Case& c : {Case{"octets", limit, true, true}, Case{"octets", limit + 1, true, false},
                        Case{"octets", limit, false, true}, Case{"octets", 40, false, false},
                        Case{"bits", limit, false, true}, Case{"bits", limit + 1, false, false}}) {
    SCOPED_TRACE(std::string(c.object) + " x " + std::to_string(c.levels));
    const bool bits = c.object[0] == 'b';
    subject s = make(c.object);
    hex_view in(nest(bits ? "23" : "24", bits ? "03 02 00 AA" : "04 01 41", c.levels, c.indefinite));
    EXPECT_EQ(status_name(s.root->asnread(in.view())), c.ok ? "ASN_OK" : "ASN_ERR_CONSTRUCTED_NOT_PERMITTED");
  }
  // Only opening frames, far deeper: refused long before their end.
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "24 80 ";
  tq_asn_octetstring o;
  hex_view in(deep);
  EXPECT_EQ(status_name(o.asnread(in.view())), "ASN_ERR_CONSTRUCTED_NOT_PERMITTED");
  EXPECT_EQ(in.consumed(), 0u);
}

}  // namespace
