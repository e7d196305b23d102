// Allocator functions, byte views, the growable output buffer and the
// boundary buffer pair.
#define OXS_SOURCE "asn1/asnbase"
#include <cstdio>
#include <cstring>

#include "internal.h"

using namespace oxserutl::detail;

// --- tq_memory_funcs_t ------------------------------------------------------

tq_memory_funcs_t::tq_memory_funcs_t(malloc_fn m, free_fn f, realloc_fn r, calloc_fn c) noexcept
    : plain_funcs_set(1), malloc_func(m), free_func(f), realloc_func(r), calloc_func(c) {}

tq_memory_funcs_t::tq_memory_funcs_t(std::uint32_t context, cmalloc_fn m, cfree_fn f, crealloc_fn r,
                                     ccalloc_fn c) noexcept
    : context_funcs_set(1), cmalloc_func(m), cfree_func(f), crealloc_func(r), ccalloc_func(c), alloc_context(context) {}

void* tq_memory_funcs_t::malloc(std::size_t size) const {
  if (plain_funcs_set) return malloc_func(size);
  if (context_funcs_set) return cmalloc_func(alloc_context, size);
  return mem_malloc(size);
}

void tq_memory_funcs_t::free(void* p) const {
  if (plain_funcs_set) return free_func(p);
  if (context_funcs_set) return cfree_func(alloc_context, p);
  mem_free(p);
}

void* tq_memory_funcs_t::realloc(void* p, std::size_t size) const {
  if (plain_funcs_set) return realloc_func(p, size);
  if (context_funcs_set) return crealloc_func(alloc_context, p, size);
  return mem_realloc(p, size);
}

void* tq_memory_funcs_t::calloc(std::size_t count, std::size_t size) const {
  if (plain_funcs_set) return calloc_func(count, size);
  if (context_funcs_set) return ccalloc_func(alloc_context, count, size);
  return mem_calloc(count, size);
}

// --- tq_r_buffer_t ----------------------------------------------------------

tq_r_buffer_t& tq_r_buffer_t::operator=(const tq_r_buffer_t& other) noexcept {
  base_ = other.base_;
  base_length_ = other.base_length_;
  current_ = other.current_;
  current_length_ = other.current_length_;
  return *this;
}

void tq_r_buffer_t::set(unsigned char* data, std::uint32_t length) noexcept {
  base_ = current_ = data;
  base_length_ = current_length_ = length;
}

void tq_r_buffer_t::reset() noexcept {
  current_ = base_;
  current_length_ = base_length_;
}

unsigned char& tq_r_buffer_t::operator[](std::uint32_t index) noexcept {
  return index < current_length_ ? current_[index] : spare_;
}

const unsigned char& tq_r_buffer_t::operator[](std::uint32_t index) const noexcept {
  return index < current_length_ ? current_[index] : spare_;
}

bool tq_r_buffer_t::operator==(const tq_r_buffer_t& other) const noexcept {
  if (current_length_ != other.current_length_) return false;
  return current_length_ == 0 || std::memcmp(current_, other.current_, current_length_) == 0;
}

bool tq_r_buffer_t::take(std::uint32_t n, const unsigned char** out) noexcept {
  if (n > current_length_) return false;
  *out = current_;
  current_ += n;
  current_length_ -= n;
  return true;
}

bool tq_r_buffer_t::take_byte(unsigned char* out) noexcept {
  if (current_length_ == 0) return false;
  *out = *current_++;
  --current_length_;
  return true;
}

bool tq_r_buffer_t::skip(std::uint32_t n) noexcept {
  if (n > current_length_) return false;
  current_ += n;
  current_length_ -= n;
  return true;
}

void tq_r_buffer_t::limit(std::uint32_t n) noexcept {
  if (n < current_length_) current_length_ = n;
}

// --- tq_buffer_t ------------------------------------------------------------

tq_buffer_t::tq_buffer_t(security_t security) noexcept : security_(security) {}

tq_buffer_t::tq_buffer_t(const tq_memory_funcs_t& funcs) noexcept : funcs_(funcs) {}

tq_buffer_t::tq_buffer_t(const tq_memory_funcs_t& funcs, security_t security) noexcept
    : funcs_(funcs), security_(security) {}

tq_buffer_t::tq_buffer_t(std::uint32_t initial_size, security_t security) : security_(security) {
  extend(initial_size);
}

tq_buffer_t::tq_buffer_t(std::uint32_t initial_size, const tq_memory_funcs_t& funcs) : funcs_(funcs) {
  extend(initial_size);
}

tq_buffer_t::tq_buffer_t(std::uint32_t initial_size, const tq_memory_funcs_t& funcs, security_t security)
    : funcs_(funcs), security_(security) {
  extend(initial_size);
}

tq_buffer_t::tq_buffer_t(const tq_buffer_t&) : tq_r_buffer_t() { throw "Copy not supported by buffer_t objects"; }

tq_buffer_t::tq_buffer_t(const tq_r_buffer_t&) : tq_r_buffer_t() { throw "Copy not supported by buffer_t objects"; }

tq_buffer_t& tq_buffer_t::operator=(const tq_buffer_t&) { throw "Assignment not supported by buffer_t objects"; }

tq_buffer_t& tq_buffer_t::operator=(const tq_r_buffer_t&) { throw "Assignment not supported by buffer_t objects"; }

tq_buffer_t::~tq_buffer_t() {
  if (data_ != nullptr) {
    if (security_ == security_secure) secure_zero(data_, capacity_);
    funcs_.free(data_);
  }
}

int tq_buffer_t::extend(std::uint32_t n) {
  // Requests up to 64 bytes round up to the next multiple of 64; larger
  // ones keep 15 blocks of 64 bytes of headroom.
  constexpr std::uint32_t kMax = 0xFFFFFFFFu - 15u * 64u;
  if (n > kMax - capacity_) OXS_THROW_MEMORY("Out of memory in buffer_t::extend");
  const std::uint32_t request = capacity_ + n;
  const std::uint32_t grown = request <= 64 ? (request / 64 + 1) * 64 : (request / 64 + 15) * 64;
  const std::size_t offset = static_cast<std::size_t>(current_ - base_);
  unsigned char* block;
  if (security_ == security_secure) {
    block = static_cast<unsigned char*>(funcs_.malloc(grown));
    if (block == nullptr) OXS_THROW_MEMORY("Out of memory in buffer_t::extend");
    if (capacity_ != 0) {
      std::memcpy(block, data_, capacity_);
      secure_zero(data_, capacity_);
    }
    funcs_.free(data_);
  } else {
    block = static_cast<unsigned char*>(funcs_.realloc(data_, grown));
    if (block == nullptr) OXS_THROW_MEMORY("Out of memory in buffer_t::extend");
  }
  data_ = block;
  capacity_ = grown;
  base_ = block;
  base_length_ = grown;
  current_ = block + offset;
  return 0;
}

int tq_buffer_t::append(unsigned char b) {
  if (capacity_ <= current_length_) extend(64);
  data_[current_length_++] = b;
  return 0;
}

int tq_buffer_t::append(const unsigned char* p, std::uint32_t n) {
  if (n == 0) return 0;
  if (n > capacity_ - current_length_) extend(n);
  std::memcpy(data_ + current_length_, p, n);
  current_length_ += n;
  return 0;
}

int tq_buffer_t::append(const char* s) {
  return append(reinterpret_cast<const unsigned char*>(s), static_cast<std::uint32_t>(std::strlen(s)));
}

int tq_buffer_t::append_int(std::int32_t v) {
  char text[16];
  const int n = std::snprintf(text, sizeof text, "%ld", static_cast<long>(v));
  return append(reinterpret_cast<const unsigned char*>(text), static_cast<std::uint32_t>(n));
}

int tq_buffer_t::append(const tq_r_buffer_t& v) {
  const std::uint32_t n = v.length();
  if (n == 0) return 0;
  // The view may point into this buffer: remember its offset across growth.
  const unsigned char* src = v.current();
  const bool inside = data_ != nullptr && src >= data_ && src < data_ + capacity_;
  const std::size_t offset = inside ? static_cast<std::size_t>(src - data_) : 0;
  if (n > capacity_ - current_length_) extend(n);
  if (inside) src = data_ + offset;
  std::memmove(data_ + current_length_, src, n);
  current_length_ += n;
  return 0;
}

int tq_buffer_t::clear() {
  current_length_ = 0;
  current_ = data_;
  if (security_ == security_secure && data_ != nullptr) secure_zero(data_, capacity_);
  return 0;
}

int tq_buffer_t::detach(unsigned char*& data, std::uint32_t& length) {
  data = data_;
  length = current_length_;
  data_ = nullptr;
  capacity_ = 0;
  base_ = current_ = nullptr;
  base_length_ = current_length_ = 0;
  return 0;
}

void tq_buffer_t::truncate(std::uint32_t n) noexcept {
  if (n < current_length_) current_length_ = n;
}

int tq_buffer_t::assign(const unsigned char* p, std::uint32_t n) {
  clear();
  return append(p, n);
}

// --- boundary helpers -------------------------------------------------------

void tq_asn_buffer_copy(const tq_asn_buffer_t& src, tq_asn_buffer_t& dst, std::uint32_t& status) {
  dst.length = 0;
  dst.data = nullptr;
  status = 0;
  if (src.length == 0 || src.data == nullptr) return;
  dst.length = src.length;
  dst.data = static_cast<unsigned char*>(mem_malloc(src.length));
  if (dst.data == nullptr) {
    status = ASN_ERR_MEMORY;
    return;
  }
  std::memcpy(dst.data, src.data, src.length);
}

void tq_asn_buffer_free(tq_asn_buffer_t buf) {
  if (buf.data != nullptr) mem_free(buf.data);
}

int check_EOC(tq_r_buffer_t view) { return view.length() >= 2 && view[0] == 0 && view[1] == 0 ? 1 : 0; }
