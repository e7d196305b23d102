// The two facts the record description derives from the field kinds
// (local_text, written_when_unset), held against what the object tree does
// for every field of every record.
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <oxserutl/oxserutl.h>

namespace {

char kLatin1[] = "\xE9";  // é in an ISO-8859-1 locale; C3 A9 once converted

bool holds_text(oxs_field_kind k) { return k == oxs_kind_string || k == oxs_kind_strings || k == oxs_kind_cstring; }
bool holds_record(oxs_field_kind k) {
  return k == oxs_kind_list || k == oxs_kind_list16 || k == oxs_kind_ptrlist || k == oxs_kind_nested ||
         k == oxs_kind_optional || k == oxs_kind_sparse;
}

// Builds records from their description; frees what it allocated.
struct builder {
  std::vector<void*> blocks;
  ~builder() {
    for (void* p : blocks) std::free(p);
  }
  unsigned char* zeroed(std::size_t n) {
    blocks.push_back(std::calloc(1, n));
    return static_cast<unsigned char*>(blocks.back());
  }
  template <class T>
  static void put(unsigned char* at, T v) {
    std::memcpy(at, &v, sizeof v);
  }
  // Puts é into text field f of the record at base.
  void text(const oxs_field_info& f, unsigned char* base) {
    if (f.kind != oxs_kind_strings) return put(base + f.offset, static_cast<char*>(kLatin1));
    auto* items = zeroed(sizeof(char*));
    put(items, static_cast<char*>(kLatin1));
    put(base + f.offset, items);
    put(base + f.count_offset, std::uint32_t{1});
  }
  // Makes record field f hold one element record and returns it.
  unsigned char* element(const oxs_field_info& f, unsigned char* base) {
    unsigned char* e = f.kind == oxs_kind_nested ? base + f.offset : zeroed(f.element()->size);
    if (f.kind == oxs_kind_optional || f.kind == oxs_kind_sparse) {
      put(base + f.offset, e);
    } else if (f.kind == oxs_kind_ptrlist) {
      auto* items = zeroed(sizeof(void*));
      put(items, e);
      put(base + f.offset, items);
    } else if (f.kind != oxs_kind_nested) {
      put(base + f.offset, e);
    }
    if (f.kind == oxs_kind_list16) put(base + f.count_offset, std::uint16_t{1});
    if (f.kind == oxs_kind_list || f.kind == oxs_kind_ptrlist) put(base + f.count_offset, std::uint32_t{1});
    return e;
  }
};

// false for the element type that has no functions of its own.
bool has_functions(const oxs_record_info& info) {
  builder b;
  tq_asn_buffer_t bytes;
  if (info.tree_encode(bytes, b.zeroed(info.size), 0) != 0) return false;
  tq_asn_buffer_free(bytes);
  return true;
}

// Whether the object tree converted the é placed by place() into a blank
// record: its local-code-set encoding differs from its plain one.
template <class Place>
bool tree_converts(const oxs_record_info& info, Place place) {
  builder b;
  unsigned char* record = b.zeroed(info.size);
  place(b, record);
  tq_asn_buffer_t plain, local;
  EXPECT_EQ(info.tree_encode(plain, record, 0), 0);
  EXPECT_EQ(info.tree_encode(local, record, 1), 0);
  const bool differ = plain.length != local.length || std::memcmp(plain.data, local.data, plain.length) != 0;
  tq_asn_buffer_free(plain);
  tq_asn_buffer_free(local);
  return differ;
}

// The paths from field f down to text fields, through at most three
// records, a few per field.
using path = std::vector<const oxs_field_info*>;
void text_paths(const oxs_field_info& f, path& at, std::vector<path>& out) {
  at.push_back(&f);
  if (holds_text(f.kind)) {
    out.push_back(at);
  } else if (holds_record(f.kind) && at.size() < 4) {
    const oxs_record_info& e = *f.element();
    for (std::uint32_t k = 0; k < e.field_count && out.size() < 8; ++k) text_paths(e.fields[k], at, out);
  }
  at.pop_back();
}

TEST(DerivedFacts, LocalTextIsWhatTheTreeConverts) {
  const char* old = std::setlocale(LC_ALL, nullptr);
  const std::string saved = old != nullptr ? old : "C";
  if (std::setlocale(LC_ALL, "en_US.ISO-8859-1") == nullptr && std::setlocale(LC_ALL, "en_US.iso88591") == nullptr)
    GTEST_SKIP() << "locale en_US.ISO-8859-1 is not installed";
  std::size_t count = 0;
  const oxs_record_info* records = oxs_records(&count);
  for (std::size_t r = 0; r < count; ++r) {
    const oxs_record_info& info = records[r];
    if (!has_functions(info)) continue;
    for (std::uint32_t i = 0; i < info.field_count; ++i) {
      const oxs_field_info& f = info.fields[i];
      std::vector<path> paths;
      path at;
      text_paths(f, at, paths);
      for (const path& p : paths) {
        // é at the end of the path: converted when every field on it says so.
        std::string where = info.structure;
        bool expected = true;
        for (const oxs_field_info* g : p) {
          where += std::string(".") + g->name;
          expected = expected && g->local_text;
        }
        const bool converted = tree_converts(info, [&](builder& b, unsigned char* rec) {
          for (std::size_t k = 0; k + 1 < p.size(); ++k) rec = b.element(*p[k], rec);
          b.text(*p.back(), rec);
        });
        EXPECT_EQ(converted, expected) << where;
      }
    }
  }
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(DerivedFacts, WrittenWhenUnsetIsWhatTheTreeWrites) {
  std::size_t count = 0;
  const oxs_record_info* records = oxs_records(&count);
  for (std::size_t r = 0; r < count; ++r) {
    const oxs_record_info& info = records[r];
    if (!has_functions(info)) continue;
    builder b;
    tq_asn_buffer_t bytes;
    ASSERT_EQ(info.tree_encode(bytes, b.zeroed(info.size), 0), 0);
    unsigned char* back = b.zeroed(info.size);
    ASSERT_EQ(info.tree_decode(bytes, back, 0), 0) << info.structure;
    tq_asn_buffer_free(bytes);
    for (std::uint32_t i = 0; i < info.field_count; ++i) {
      const oxs_field_info& f = info.fields[i];
      SCOPED_TRACE(std::string(info.structure) + "." + f.name);
      void* present = nullptr;
      if (f.kind == oxs_kind_optional) std::memcpy(&present, back + f.offset, sizeof present);
      EXPECT_EQ(present != nullptr, f.written_when_unset);
    }
    info.release(back);
  }
}

}  // namespace
