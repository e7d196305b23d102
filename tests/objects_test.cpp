// The runtime's objects, driven by tables under tests/data: single elements
// read (read.txt, the public BER suite) and written (write.txt), and
// operations in order on one object (steps.txt): state and caches,
// defaults, presence, lists, the choice, the open type, hooks, the character
// strings and the display. Each row names an object with a small notation
// (see the tables' headers). Then what the tables cannot name.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/asnchoice.h>
#include <oxserutl/asnscan.h>
#include <oxserutl/asnstrng.h>

#include "internal.h"  // tq_asn_access
#include "test_util.h"

using oxs_test::from_hex;
using oxs_test::hex_view;
using oxs_test::refusal;
using oxs_test::status_name;
using oxs_test::to_hex;
using oxs_test::trim;
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
  if (name == "ia5") return std::make_unique<tq_asn_ia5String>();
  if (name == "printable") return std::make_unique<tq_asn_printableString>();
  if (name == "visible") return std::make_unique<tq_asn_visibleString>();
  if (name == "t61") return std::make_unique<tq_asn_teletexString>();
  if (name == "univ") return std::make_unique<tq_asn_universalString>();
  if (name == "base") return std::make_unique<tq_asn_charstring>();
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
    for (std::string item; items >> item;) set(*list->add_child(), item);  // items without spaces
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

// A failed write leaves the output as it was (steps.txt); here out of
// memory halfway.
TEST(Objects, FailedWriteLeavesTheOutput) {
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
  const int limit = 32;
  static_assert(tq_asn_max_segment_depth == limit, "the segment depth bound");
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

// --- steps: a row of operations on one object -----------------------------------------

int store(tq_asn_charstring& s, const std::string& how, const std::vector<unsigned char>& octets) {
  static const std::uint16_t bmp[] = {0x0041, 0x20AC, 0};
  static const std::uint32_t univ[] = {0x41, 0};
  const std::string text(octets.begin(), octets.end());
  if (how == "bmp") return s.set_value_BMP(bmp);
  if (how == "univ") return s.set_value_Univ(univ);
  if (how == "printable") return s.set_value_printable(text.c_str());
  if (how == "visible") return s.set_value_visible(text.c_str());
  if (how == "t61") return s.set_value_T61(text.c_str());
  if (how == "utf8") return s.set_value_UTF8(text.c_str());
  if (how == "ia5") return s.set_value_IA5(text.c_str(), 0);
  if (how == "ia5+") return s.set_value_IA5(text.c_str(), 1);
  if (how == "c") return s.set_value_C(text.c_str());
  if (how == "raw") return s.set_value_uninterpreted(octets.data(), static_cast<std::uint32_t>(octets.size()));
  throw std::invalid_argument("unknown store " + how);
}

using octets_list = tq_asn_sequenceof<tq_asn_octetstring>;

template <class T>
T& as(tq_asn_object& o) {
  if (auto* t = dynamic_cast<T*>(&o)) return *t;
  throw std::invalid_argument("step on an object of another kind");
}

std::string status_and_hex(int status, const tq_buffer_t& out) {
  return status_name(status) + (out.used() != 0 ? " " + to_hex(out) : "");
}

std::string hook_log;
void note(const std::string& what) { hook_log += (hook_log.empty() ? "" : ", ") + what; }
void log_preread(tq_asn_object*, tq_r_buffer_t& view) { note("pre " + std::to_string(view.length())); }
void log_postread(tq_asn_object*, tq_r_buffer_t&, int status) { note("post " + status_name(status)); }
int log_preparse(tq_asn_any*) { return note("parse"), 0; }
int refuse_preparse(tq_asn_any*) { return note("parse"), ASN_ERR_UNSUPPORTED; }
int refuse_preencode(tq_asn_any*) { return note("encode"), ASN_ERR_UNSUPPORTED; }

// One step: what it returns is compared with the table. `rest` is the
// step's argument text.
std::string step(subject& s, tq_asn_object& o, const std::string& op, const std::string& rest) {
  auto number = [&] { return static_cast<std::uint32_t>(std::stoul(rest, nullptr, 0)); };
  const std::string first = rest.substr(0, rest.find(' '));
  auto octets = [&] { return from_hex(rest.find(' ') == std::string::npos ? "" : rest.substr(rest.find(' ') + 1)); };
  tq_buffer_t out;
  if (op == "write" && rest.empty()) return write_hex(o);
  if (op == "write") {  // behind octets already in the buffer: the status and the whole buffer
    const auto before = from_hex(rest);
    out.append(before.data(), static_cast<std::uint32_t>(before.size()));
    return status_and_hex(o.asnwrite(out), out);
  }
  if (op == "value") return describe(o);
  if (op == "set") return set(o, rest), "";
  if (op == "read") {
    hex_view in(rest);
    const int status = o.asnread(in.view());
    return status_name(status) + " " + std::to_string(in.consumed());
  }
  if (op == "flags")  // present, optional, defaultable, encoding valid, valid
    return std::to_string(o.is_present()) + std::to_string(o.is_optional()) + std::to_string(o.is_defaultable()) +
           std::to_string(o.is_encoding_valid()) + std::to_string(o.is_valid(0));
  if (op == "optional") return status_name(o.set_optional(static_cast<int>(number())));
  if (op == "tag") return rest.empty() ? std::to_string(o.get_tag()) : (o.set_tag(number()), "");
  if (op == "class") return o.set_class(static_cast<int>(number())), "";
  if (op == "empty") return status_name(o.empty());
  if (op == "type" && rest.empty()) return o.get_type_name();
  if (op == "type") return o.set_type_name(rest.c_str()), "";
  if (op == "present") return std::to_string(o.is_present());
  if (op == "children") return std::to_string(o.get_child_count());
  if (op == "encode") return status_and_hex(o.encode_value(out), out);
  if (op == "decode") {
    hex_view in(rest);
    return status_name(o.decode_value(in.view(), in.size()));
  }
  if (op == "length") return status_name(o.write_length(out));
  if (op == "display" || op == "stateflags") {  // behind a ">" already in the buffer; "/" ends a line
    out.append(">");
    const int status = op == "display" ? o.display(out) : o.display_state_flags(out, static_cast<int>(number()));
    std::string shown(reinterpret_cast<const char*>(out.data()), out.used());
    std::replace(shown.begin(), shown.end(), '\n', '/');
    return status_name(status) + " " + shown;
  }
  if (op == "consistent")  // the encoding-valid flags of the object and what it holds agree (with N)
    return std::to_string(rest.empty() ? o.check_encode_flags() : o.check_encode_flags(static_cast<int>(number())));
  if (op == "isdefault") return std::to_string(o.is_default_value());
  if (op == "default") {
    if (auto* i = dynamic_cast<tq_asn_integer*>(&o)) return i->set_default_value(static_cast<std::int32_t>(std::stol(rest))), "";
    const auto bytes = from_hex(rest);
    return status_name(as<tq_asn_octetstring>(o).set_default_value(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
  }
  if (op == "namedefault") {  // a named-bits default with the bits given set
    auto* def = new tq_asn_namedbits;  // owned by the object from here
    std::istringstream bits(rest);
    for (std::uint32_t bit; bits >> bit;) def->set_bit(bit, 1);
    return tq_asn_access::set_default_value(o, def), "";
  }
  if (op == "bit") {
    int bit = -1;
    const int status = as<tq_asn_namedbits>(o).get_bit(number(), bit);
    return status != 0 ? status_name(status) : std::to_string(bit);
  }
  if (op == "delete") return status_name(as<octets_list>(o).delete_child(number()));
  if (op == "add") return as<octets_list>(o).add_child(), "";
  if (op == "addbefore") return set(*as<octets_list>(o).add_child_before(), rest), "";
  if (op == "raw") {  // the open type's value
    const auto bytes = from_hex(rest);
    return status_name(as<tq_asn_any>(o).set_value(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
  }
  if (op == "rawget") {
    unsigned char* bytes = nullptr;
    std::uint32_t n = 0;
    return status_name(as<tq_asn_any>(o).get_value(bytes, n));
  }
  if (op == "hooks") {  // logging read hooks, and an empty log
    o.set_preread(log_preread);
    o.set_postread(log_postread);
    return hook_log.clear(), "";
  }
  if (op == "preparse") return as<tq_asn_any>(o).set_preparse(rest == "log" ? log_preparse : refuse_preparse), "";
  if (op == "preencode") return as<tq_asn_any>(o).set_preencode(refuse_preencode), "";
  if (op == "log") return hook_log;
  if (op == "select") return status_name(as<tq_asn_choice>(o).select(number()));
  if (op == "selected") return std::to_string(as<tq_asn_choice>(o).selected());
  if (op == "emptyok") return status_name(o.set_empty_permitted(static_cast<int>(number())));
  if (op == "syntax") {  // the open type's syntax object: a new one named by the notation, or none
    if (rest == "none") return status_name(as<tq_asn_any>(o).set_syntax(nullptr));
    s.parts.push_back(make_named(rest));
    return status_name(as<tq_asn_any>(o).set_syntax(s.parts.back().get()));
  }
  // character strings
  auto& cs = as<tq_asn_charstring>(o);
  if (op == "cs") return rest.empty() ? std::to_string(cs.get_codeset()) : status_name(cs.set_codeset(number()));
  if (op == "text") return to_hex(cs.value());
  if (op == "octets") {  // the OCTET STRING store of the class
    const auto bytes = from_hex(rest);
    return status_name(cs.set_value(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
  }
  if (op == "store") return status_name(store(cs, first, octets()));
  if (op == "load") {
    const int status = cs.set_codeset(static_cast<std::uint32_t>(std::stoul(first)));
    return status_name(status != 0 ? status : store(cs, "raw", octets()));
  }
  if (op == "viewstore") {  // from a view past its first octet: the octets behind the cursor, none consumed
    hex_view in(rest.substr(rest.find(' ') + 1));
    if (!in.view().skip(1)) return "empty view";
    const int status = first == "bmp" ? cs.set_value_BMP(in.view()) : cs.set_value_uninterpreted(in.view());
    return status_name(status) + " " + std::to_string(in.consumed());
  }
  if (op == "C") {  // substitute ("-": none), then the octets already in the output
    const auto prefix = octets();
    out.append(prefix.data(), static_cast<std::uint32_t>(prefix.size()));
    return status_and_hex(cs.get_value_C(out, first == "-" ? '\0' : first[0]), out);
  }
  if (op == "BMP") return status_and_hex(cs.get_value_BMP(out), out);
  if (op == "to") return status_name(oxs_test::convert(cs, number(), nullptr));
  if (op == "normalize") return status_name(cs.normalize());
  if (op == "prefer") return as<tq_asn_directoryString>(o).set_preferred_codeset(number()), "";
  if (op == "accepted" || op == "preferred") {  // for 12 19 20 22 26 28 30, then 4 (not a code set)
    std::string flags;
    for (std::uint32_t set : {12, 19, 20, 22, 26, 28, 30, 4})
      flags += std::to_string(op == "accepted" ? cs.check_accepted_codeset(set) : cs.check_preferred_codeset(set));
    return flags;
  }
  throw std::invalid_argument("unknown step " + op);
}

// Each row: an object, then steps separated by ';'. A step is an
// operation, optionally on a part ("@1" is the second child, "@0.1" its
// grandchild), and its expected result after " = "; a step without one
// must not fail. A refused operation returns the refusal's text.
TEST(Objects, Steps) {
  for (const oxs_test::row& r : oxs_test::read_table("steps.txt", 2)) {
    subject s = make(r[0]);
    std::istringstream steps(r[1]);
    for (std::string text; std::getline(steps, text, ';');) {
      const std::size_t eq = text.find(" = ");
      std::istringstream words(trim(text.substr(0, eq)));
      std::string op, rest;
      words >> op;
      tq_asn_object* o = s.root.get();
      if (op[0] == '@') {
        std::istringstream path(op.substr(1));
        for (std::string i; std::getline(path, i, '.');) o = (*dynamic_cast<tq_asn_composite*>(o))[std::stoul(i)];
        words >> op;
      }
      std::getline(words >> std::ws, rest);
      std::string got = oxs_test::refusal([&] { return step(s, *o, op, rest); });
      const std::string expected = eq == std::string::npos ? "" : hex_cell(trim(text.substr(eq + 3)));
      if (eq == std::string::npos && got.rfind("ASN_OK", 0) == 0) got.clear();
      EXPECT_EQ(got, expected) << r.where << ": " << r[0] << ": " << trim(text);
    }
  }
}

// --- what the tables cannot name: copies, C++ types, memory failures ----------------

TEST(ObjectBase, RefusalsAndDefaultTypes) {
  tq_asn_integer i;
  tq_asn_sequence s;
  tq_asn_bitstring bits;
  EXPECT_EQ(refusal([&] { tq_asn_integer copy(i); }), "0x10652197 Can't copy asn_objects");
  EXPECT_EQ(refusal([&] { tq_asn_sequence copy(s); }), "0x10652197 Can't copy asn_objects");
  EXPECT_EQ(refusal([&] { tq_asn_bitstring copy(bits); }), "0x10652197 Can't copy asn_objects");
  EXPECT_EQ(refusal([&] {
              tq_asn_integer other;
              other = i;
            }),
            "0x10652197 Can't assign asn_objects");
  tq_asn_choice choice;
  choice.set_tag_unchecked(3);
  EXPECT_EQ(choice.get_tag(), 3u);
  // An ENUMERATED default is a plain INTEGER carrying tag 10.
  tq_asn_enumerated e;
  e.set_default_value(3);
  EXPECT_TRUE(typeid(*e.get_default_value()) == typeid(tq_asn_integer));
  EXPECT_EQ(e.get_default_value()->get_tag(), 10u);
}

TEST(Composite, ChildrenAreKeptInOrderThroughGrowth) {
  tq_asn_null children[600];
  tq_asn_sequence s;
  for (int i = 1; i < 600; ++i) s.register_child(&children[i]);
  s.register_child_before(&children[0]);
  ASSERT_EQ(s.get_child_count(), 600u);
  for (std::uint32_t i = 0; i < 600; ++i) ASSERT_EQ(s[i], &children[i]) << i;
  EXPECT_EQ(s[600], nullptr);
  EXPECT_EQ(children[0].get_parent(), &s);
  // A failed growth raises and keeps the children.
  tq_asn_null more[2];
  tq_asn_sequence full;
  for (int i = 0; i < 32; ++i) full.register_child(&children[i]);
  for (bool before : {false, true}) {
    oxserutl_fault_arm(1);
    try {
      before ? full.register_child_before(&more[0]) : full.register_child(&more[1]);
      ADD_FAILURE() << "no exception";
    } catch (const tq_asn_memexception& e) {
      EXPECT_STREQ(e.text(), "Out of memory in asn_composite::register_child");
    }
    oxserutl_fault_arm(0);
    ASSERT_EQ(full.get_child_count(), 32u);
    EXPECT_EQ(full[0], &children[0]);
    EXPECT_EQ(full[31], &children[31]);
  }
}

// No memory for a new element: null, and nothing else changes.
TEST(SequenceOf, NoMemoryForANewElement) {
  tq_asn_sequenceof<tq_asn_octetstring> list;
  list.add_child();
  oxserutl_fault_arm(1);
  EXPECT_EQ(list.add_child(), nullptr);
  oxserutl_fault_arm(1);
  EXPECT_EQ(list.add_child_before(), nullptr);
  oxserutl_fault_arm(0);
  EXPECT_EQ(list.get_child_count(), 1u);
}

// Replacing the syntax object detaches the old one, which forgets its
// value; the secure setting reaches the syntax object, before and after.
TEST(Any, SyntaxObjects) {
  tq_asn_any any;
  tq_asn_integer number;
  ASSERT_EQ(any.set_syntax(&number), 0);
  EXPECT_EQ(number.get_parent(), &any);
  hex_view in("02 01 05");
  ASSERT_EQ(any.asnread(in.view()), 0);
  tq_asn_boolean second;
  ASSERT_EQ(any.set_syntax(&second), 0);
  EXPECT_EQ(number.get_parent(), nullptr);
  EXPECT_EQ(number.is_present(), 0);
  second.set_value(1);
  EXPECT_EQ(write_hex(any), "01 01 FF");
  tq_asn_integer early, late;
  tq_asn_any secure(security_secure), plain;
  ASSERT_EQ(secure.set_syntax(&early), 0);
  ASSERT_EQ(plain.set_syntax(&late), 0);
  EXPECT_EQ(early.get_secure(), security_secure);
  EXPECT_EQ(late.get_secure(), security_normal);
  plain.set_secure(security_secure);
  EXPECT_EQ(late.get_secure(), security_secure);
}

}  // namespace
