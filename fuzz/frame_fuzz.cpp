// The frame reader: a recursive CHOICE of most runtime types, SEQUENCE OF
// under three tags and an open type for every other element. The first byte
// picks the entry: the choice, an open type around it, or the envelope.
//
// Properties: every failure is a status of the table; an accepted element
// writes, reads back to its end and writes the same bytes; the trees compare equal.
#include <cstdint>
#include <vector>

#include "fuzz_util.h"

namespace {

class node;

// [APPLICATION 1] SEQUENCE { a INTEGER OPTIONAL, b UTF8String OPTIONAL, c SEQUENCE OF node }
class pair : public tq_asn_sequence {
 public:
  pair() {
    set_class(1);
    set_tag(1);
    a.set_optional(1);
    b.set_optional(1);
    register_child(&a);
    register_child(&b);
    register_child(&c);
  }
  tq_asn_integer a;
  tq_asn_UTF8String b;
  tq_asn_sequenceof<node> c;
};

class node : public tq_asn_choice {
 public:
  // Every tree of this target is of normal security: the members keep their default.
  explicit node(security_t security = security_normal) : tq_asn_choice(security) {
    tagged_list.set_class(2);
    tagged_list.set_tag(0);
    for (tq_asn_object* alternative :
         std::initializer_list<tq_asn_object*>{&integer, &boolean, &octets, &bits, &null, &enumerated, &utf8, &directory,
                                               &visible, &list, &tagged_list, &application, &any})
      register_child(alternative);
  }
  tq_asn_integer integer;
  tq_asn_boolean boolean;
  tq_asn_octetstring octets;
  tq_asn_bitstring bits;
  tq_asn_null null;
  tq_asn_enumerated enumerated;
  tq_asn_UTF8String utf8;
  tq_asn_directoryString directory;
  tq_asn_visibleString visible;
  tq_asn_sequenceof<node> list;
  tq_asn_sequenceof<node> tagged_list;
  pair application;
  tq_asn_any any;
};

enum entry { choice, open_type, envelope };

// Reads `in` through the entry into a fresh tree; `written` is what the tree
// then writes (empty when the read fails).
struct reading {
  node tree;
  tq_asn_any open;
  int status = 0;
  std::size_t left = 0;  // octets not read
  std::vector<unsigned char> written;

  reading(entry how, std::vector<unsigned char> in) {
    tq_asn_buffer_t whole;
    whole.length = static_cast<std::uint32_t>(in.size());
    whole.data = in.data();
    tq_r_buffer_t view(in.data(), whole.length);
    if (how == open_type) open.set_syntax(&tree);
    status = how == envelope    ? tq_asnbase::loadObject(&tree, 2, whole)
             : how == open_type ? open.asnread(view)
                                : tree.asnread(view);
    left = how == envelope ? 0 : view.length();
    if (status != 0) return;
    tq_buffer_t out;
    tq_asn_buffer_t saved;
    const int wrote = how == envelope    ? tq_asnbase::saveEncoding(&tree, 2, saved)
                      : how == open_type ? open.asnwrite(out)
                                         : tree.asnwrite(out);
    oxs_fuzz::check(wrote == 0, "an accepted element does not write", "", wrote);
    if (how == envelope) {
      written.assign(saved.data, saved.data + saved.length);
      tq_asn_buffer_free(saved);
    } else {
      written.assign(out.data(), out.data() + out.used());
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 0xFFFFFFFFu) return 0;
  const auto how = static_cast<entry>(data[0] % 3);
  try {
    reading first(how, std::vector<unsigned char>(data + 1, data + size));
    oxs_fuzz::check_status(first.status, "read");
    if (first.status != 0) return 0;
    oxs_fuzz::check(first.left < size, "read past the input");
    tq_buffer_t shown;
    (void)first.tree.display(shown);
    reading second(how, first.written);
    oxs_fuzz::check(second.status == 0, "own encoding refused", "", second.status);
    oxs_fuzz::check(second.left == 0, "own encoding not read to its end");
    oxs_fuzz::check(second.written == first.written, "second encoding differs");
    oxs_fuzz::check(first.tree == second.tree, "trees differ after a round trip");
  } catch (const tq_asn_exception& e) {
    // Exhausted memory is the one exception the runtime may raise here.
    oxs_fuzz::check(e.code() == ASN_ERR_MEMORY, "exception escaped a read or write", e.text(), e.code());
  }
  return 0;
}
