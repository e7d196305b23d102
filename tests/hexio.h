// Short names over the shared test helpers (test_util.h) for the choice,
// display, scanner and BER-suite tests.
#ifndef OXSERUTL_TESTS_HEXIO_H
#define OXSERUTL_TESTS_HEXIO_H

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "test_util.h"

namespace hexio {

inline std::vector<unsigned char> bytes(std::string_view hex) { return oxs_test::from_hex(hex); }
inline std::string hex(const unsigned char* p, std::size_t n) { return oxs_test::to_hex(p, n); }
inline std::string hex(const tq_buffer_t& b) { return oxs_test::to_hex(b.data(), b.used()); }
inline std::string name(int code) { return oxs_test::status_name(static_cast<std::uint32_t>(code)); }
// The object's whole element, or "<STATUS_NAME>" when writing fails.
inline std::string written(const tq_asn_object& object) { return oxs_test::write_hex(object); }

// Bytes in a block of exactly their size (a read past the end is an ASan
// report) and a view over them.
class input {
 public:
  explicit input(std::string_view hex_text) : input(bytes(hex_text)) {}
  explicit input(std::vector<unsigned char> data)
      : data_(std::move(data)),
        block_(data_.empty() ? nullptr : new unsigned char[data_.size()]),
        view_(block_, size()) {
    if (block_ != nullptr) std::copy(data_.begin(), data_.end(), block_);
  }
  input(const input&) = delete;
  input& operator=(const input&) = delete;
  ~input() { delete[] block_; }

  tq_r_buffer_t& view() { return view_; }
  unsigned char* begin() { return block_; }
  std::uint32_t size() const { return static_cast<std::uint32_t>(data_.size()); }
  std::uint32_t consumed() const { return size() - view_.length(); }

 private:
  std::vector<unsigned char> data_;
  unsigned char* block_;
  tq_r_buffer_t view_;
};

}  // namespace hexio

#endif
