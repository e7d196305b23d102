// The frame reader through composites, choices and the open type. A
// recursive CHOICE of most runtime types, with SEQUENCE OF itself under a
// universal, a context-specific and an application tag, reads the input;
// an open type catches every other element. The first byte picks the entry:
// the choice itself, an open type with the choice as its syntax object, or
// the envelope (version 2) around the choice.
//
// Properties: every failure is a status of the table; an accepted element
// writes, the written bytes read back, and write again to the same bytes;
// both trees compare equal.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_util.h"

namespace {

class node;

// [APPLICATION 1] SEQUENCE { a INTEGER OPTIONAL, b UTF8String OPTIONAL, c SEQUENCE OF node }
class pair : public tq_asn_sequence {
 public:
  explicit pair(security_t security = security_normal) : tq_asn_sequence(security), a(security), b(security), c(security) {
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
  explicit node(security_t security = security_normal)
      : tq_asn_choice(security),
        integer(security), boolean(security), octets(security), bits(security), null(security),
        enumerated(security), utf8(security), directory(security), visible(security), list(security),
        tagged_list(security), application(security), any(security) {
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

enum class entry { choice, open_type, envelope };

// Reads `in` through the chosen entry into a fresh tree, then writes it.
struct reading {
  node tree;
  tq_asn_any open;
  int status = 0;
  std::uint32_t consumed = 0;

  reading(entry how, const std::vector<unsigned char>& in) {
    if (how == entry::envelope) {
      tq_asn_buffer_t buffer;
      buffer.length = static_cast<std::uint32_t>(in.size());
      buffer.data = const_cast<unsigned char*>(in.data());
      status = tq_asnbase::loadObject(&tree, 2, buffer);
      return;
    }
    tq_r_buffer_t view(in.data(), static_cast<std::uint32_t>(in.size()));
    if (how == entry::open_type) {
      open.set_syntax(&tree);
      status = open.asnread(view);
    } else {
      status = tree.asnread(view);
    }
    consumed = static_cast<std::uint32_t>(in.size()) - view.length();
  }

  std::vector<unsigned char> write(entry how) const {
    if (how == entry::envelope) {
      tq_asn_buffer_t out;
      const int written = tq_asnbase::saveEncoding(const_cast<node*>(&tree), 2, out);
      oxs_fuzz::check(written == 0, "an accepted envelope does not write", "", written);
      std::vector<unsigned char> bytes(out.data, out.data + out.length);
      tq_asn_buffer_free(out);
      return bytes;
    }
    tq_buffer_t out;
    const int written = how == entry::open_type ? open.asnwrite(out) : tree.asnwrite(out);
    oxs_fuzz::check(written == 0, "an accepted element does not write", "", written);
    return std::vector<unsigned char>(out.data(), out.data() + out.used());
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 0xFFFFFFFFu) return 0;
  const entry how = static_cast<entry>(data[0] % 3);
  const std::vector<unsigned char> input(data + 1, data + size);
  try {
    reading first(how, input);
    oxs_fuzz::check_status(first.status, "read");
    if (first.status != 0) return 0;
    oxs_fuzz::check(first.consumed <= input.size(), "read past the input");
    tq_buffer_t shown;
    (void)first.tree.display(shown);

    const std::vector<unsigned char> once = first.write(how);
    reading second(how, once);
    oxs_fuzz::check(second.status == 0, "own encoding refused", "", second.status);
    oxs_fuzz::check(how == entry::envelope || second.consumed == once.size(), "own encoding not read to its end");
    oxs_fuzz::check(second.write(how) == once, "second encoding differs");
    oxs_fuzz::check(first.tree == second.tree, "trees differ after a round trip");
  } catch (const tq_asn_exception& e) {
    // Exhausted memory is the one exception the runtime may raise here.
    oxs_fuzz::check(e.code() == ASN_ERR_MEMORY, "exception escaped a read or write", e.text(), e.code());
  }
  return 0;
}
