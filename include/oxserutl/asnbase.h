// The ASN.1 runtime of liboxserutl: byte buffers, the object base, BER
// framing, the primitive types, octet and bit strings, composites and the
// versioned envelope.
//
// Conventions:
//  - Operations return an int status: 0 or a code of <oxserutl/status.h>.
//  - Exhausted memory and refused operations raise tq_asn_exception
//    subclasses; four programming errors raise a bare message text
//    (const char*), which is deliberately not a tq_asn_exception.
//  - Objects form a tree: a composite registers its children (it does not
//    own them) and each child points back to its parent, so that presence
//    and cache invalidation travel upwards.
//  - Nothing here is shared between threads; one object tree belongs to one
//    call at a time.
#ifndef OXSERUTL_ASNBASE_H
#define OXSERUTL_ASNBASE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include <oxserutl/buffer.h>
#include <oxserutl/export.h>
#include <oxserutl/status.h>

// ---------------------------------------------------------------------------
// Memory security
// ---------------------------------------------------------------------------

// How an object treats the memory that holds its values. Every memory
// decision compares with security_secure; security_lcs behaves as ordinary
// memory and in addition tells the text adapters that the caller's strings
// are in the local code set.
enum security_t {
  security_normal = 0,
  security_secure = 1,
  security_lcs = 2,
};

// ---------------------------------------------------------------------------
// Exceptions
// ---------------------------------------------------------------------------

// Base of the exception family. Only the three subclasses are created. The
// text and file are string literals and are not owned.
class OXSERUTL_API tq_asn_exception {
 public:
  tq_asn_exception(const tq_asn_exception&) = default;
  tq_asn_exception& operator=(const tq_asn_exception&) = default;
  virtual ~tq_asn_exception();

  const char* text() const noexcept { return text_; }
  const char* file() const noexcept { return file_; }
  std::int32_t line() const noexcept { return line_; }
  std::uint32_t code() const noexcept { return code_; }

  // Writes "Exception: %s [%8.8x] in %s at line %d\n" (text, code, file,
  // line) to the standard error stream.
  void print() const;

 protected:
  tq_asn_exception(std::uint32_t code, const char* text, const char* file, std::int32_t line) noexcept
      : file_(file), line_(line), text_(text), code_(code) {}

 private:
  const char* file_;
  std::int32_t line_;
  const char* text_;
  std::uint32_t code_;
};

// An allocation returned no memory (ASN_ERR_MEMORY).
class OXSERUTL_API tq_asn_memexception : public tq_asn_exception {
 public:
  tq_asn_memexception(const char* text, const char* file, std::int32_t line) noexcept
      : tq_asn_exception(ASN_ERR_MEMORY, text, file, line) {}
};

// A version mismatch (ASN_ERR_VERSION). Declared for callers; the envelope
// returns the code instead of raising it.
class OXSERUTL_API tq_asn_versionerror : public tq_asn_exception {
 public:
  tq_asn_versionerror(const char* text, const char* file, std::int32_t line) noexcept
      : tq_asn_exception(ASN_ERR_VERSION, text, file, line) {}
};

// An operation the class refuses (ASN_ERR_UNSUPPORTED).
class OXSERUTL_API tq_asn_unsupportederror : public tq_asn_exception {
 public:
  tq_asn_unsupportederror(const char* text, const char* file, std::int32_t line) noexcept
      : tq_asn_exception(ASN_ERR_UNSUPPORTED, text, file, line) {}
};

// ---------------------------------------------------------------------------
// Allocator functions
// ---------------------------------------------------------------------------

// A record of allocator functions, copied by value into every buffer. With
// neither set of functions every call goes to the standard heap.
struct OXSERUTL_API tq_memory_funcs_t {
  using malloc_fn = void* (*)(std::size_t);
  using free_fn = void (*)(void*);
  using realloc_fn = void* (*)(void*, std::size_t);
  using calloc_fn = void* (*)(std::size_t, std::size_t);
  using cmalloc_fn = void* (*)(std::uint32_t, std::size_t);
  using cfree_fn = void (*)(std::uint32_t, void*);
  using crealloc_fn = void* (*)(std::uint32_t, void*, std::size_t);
  using ccalloc_fn = void* (*)(std::uint32_t, std::size_t, std::size_t);

  int plain_funcs_set = 0;
  malloc_fn malloc_func = nullptr;
  free_fn free_func = nullptr;
  realloc_fn realloc_func = nullptr;
  calloc_fn calloc_func = nullptr;
  int context_funcs_set = 0;
  cmalloc_fn cmalloc_func = nullptr;
  cfree_fn cfree_func = nullptr;
  crealloc_fn crealloc_func = nullptr;
  ccalloc_fn ccalloc_func = nullptr;
  std::uint32_t alloc_context = 0;

  tq_memory_funcs_t() = default;
  tq_memory_funcs_t(malloc_fn m, free_fn f, realloc_fn r, calloc_fn c) noexcept;
  tq_memory_funcs_t(std::uint32_t context, cmalloc_fn m, cfree_fn f, crealloc_fn r, ccalloc_fn c) noexcept;

  void* malloc(std::size_t size) const;
  void free(void* p) const;
  void* realloc(void* p, std::size_t size) const;
  void* calloc(std::size_t count, std::size_t size) const;
};

// ---------------------------------------------------------------------------
// Byte views and buffers
// ---------------------------------------------------------------------------

// A non-owning view of bytes with a movable cursor. Readers consume bytes
// only through take() / take_byte() / skip(), which refuse to move past the
// end, so no reader indexes the input on its own (the frame readers below
// them take their octets the same way, through the library's byte reader).
class OXSERUTL_API tq_r_buffer_t {
 public:
  tq_r_buffer_t() noexcept = default;
  tq_r_buffer_t(unsigned char* data, std::uint32_t length) noexcept
      : base_(data), base_length_(length), current_(data), current_length_(length) {}
  tq_r_buffer_t(const unsigned char* data, std::uint32_t length) noexcept
      : tq_r_buffer_t(const_cast<unsigned char*>(data), length) {}
  tq_r_buffer_t(const tq_r_buffer_t& other) noexcept = default;
  // Copies the base and the cursor, not the spare byte.
  tq_r_buffer_t& operator=(const tq_r_buffer_t& other) noexcept;
  ~tq_r_buffer_t() = default;

  virtual void set(unsigned char* data, std::uint32_t length) noexcept;
  virtual void reset() noexcept;

  // The byte at cursor + index, or the spare byte when index is not below
  // the current length.
  unsigned char& operator[](std::uint32_t index) noexcept;
  const unsigned char& operator[](std::uint32_t index) const noexcept;
  // Equal current lengths and equal current bytes; the base is ignored.
  bool operator==(const tq_r_buffer_t& other) const noexcept;

  unsigned char* base() const noexcept { return base_; }
  std::uint32_t base_length() const noexcept { return base_length_; }
  unsigned char* current() const noexcept { return current_; }
  std::uint32_t length() const noexcept { return current_length_; }
  bool at_end() const noexcept { return current_length_ == 0; }

  // Hands out the next n bytes and advances past them; false (nothing
  // moves) when fewer than n remain.
  OXSERUTL_NODISCARD bool take(std::uint32_t n, const unsigned char** out) noexcept;
  OXSERUTL_NODISCARD bool take_byte(unsigned char* out) noexcept;
  OXSERUTL_NODISCARD bool skip(std::uint32_t n) noexcept;
  // Lowers the remaining count to n when it is larger (a sub-reader).
  void limit(std::uint32_t n) noexcept;
  // Puts the cursor at p with `remaining` bytes left (p must lie in the
  // range the view was set to).
  void set_cursor(unsigned char* p, std::uint32_t remaining) noexcept {
    current_ = p;
    current_length_ = remaining;
  }

 protected:
  unsigned char* base_ = nullptr;
  std::uint32_t base_length_ = 0;
  unsigned char spare_ = 0;
  unsigned char* current_ = nullptr;
  std::uint32_t current_length_ = 0;
};

// A growable output buffer. The inherited cursor is the start of the written
// bytes and its length the number written ("used"); the base is the block
// and its capacity. Growth keeps about 960 bytes of headroom rather than
// doubling. In secure mode every byte of the block is overwritten with zeros
// before it is released, when it is cleared and when growth moves it.
class OXSERUTL_API tq_buffer_t : public tq_r_buffer_t {
 public:
  explicit tq_buffer_t(security_t security = security_normal) noexcept;
  explicit tq_buffer_t(const tq_memory_funcs_t& funcs) noexcept;
  tq_buffer_t(const tq_memory_funcs_t& funcs, security_t security) noexcept;
  tq_buffer_t(std::uint32_t initial_size, security_t security);
  tq_buffer_t(std::uint32_t initial_size, const tq_memory_funcs_t& funcs);
  tq_buffer_t(std::uint32_t initial_size, const tq_memory_funcs_t& funcs, security_t security);
  // Refused: raise the message text "Copy not supported by buffer_t objects"
  // or "Assignment not supported by buffer_t objects".
  tq_buffer_t(const tq_buffer_t& other);
  explicit tq_buffer_t(const tq_r_buffer_t& other);
  tq_buffer_t& operator=(const tq_buffer_t& other);
  tq_buffer_t& operator=(const tq_r_buffer_t& other);
  virtual ~tq_buffer_t();

  // Grows the capacity by at least n; raises tq_asn_memexception and keeps
  // the old block when no memory is left.
  int extend(std::uint32_t n);
  int append(unsigned char b);
  int append(const unsigned char* p, std::uint32_t n);
  int append(const char* s);
  int append_int(std::int32_t v);
  int append(const tq_r_buffer_t& v);
  // used = 0; the block stays (wiped in secure mode).
  int clear();
  // Hands out the block and the used length; the caller owns the block and
  // the buffer returns to the empty state.
  int detach(unsigned char*& data, std::uint32_t& length);

  unsigned char* data() const noexcept { return data_; }
  std::uint32_t used() const noexcept { return current_length_; }
  std::uint32_t capacity() const noexcept { return capacity_; }
  security_t security() const noexcept { return security_; }
  void set_security(security_t s) noexcept { security_ = s; }
  // Forgets everything written after the first n bytes (n <= used).
  void truncate(std::uint32_t n) noexcept;
  // Replaces the contents with n bytes.
  int assign(const unsigned char* p, std::uint32_t n);

 private:
  unsigned char* data_ = nullptr;
  tq_memory_funcs_t funcs_;
  std::uint32_t capacity_ = 0;
  security_t security_ = security_normal;
};

// 1 when the view's next two bytes are the end-of-contents octets 00 00.
OXSERUTL_API int check_EOC(tq_r_buffer_t view);

// ---------------------------------------------------------------------------
// Object base
// ---------------------------------------------------------------------------

enum invalidate_t {
  invalidate_quiet = 0,  // absent; a primitive does not notify its parent
  invalidate_self = 1,   // absent and notify the parent; children untouched
  invalidate_all = 2,    // a composite first invalidates every child quietly
};

class tq_asn_object;
using tq_asn_preread_hook = void (*)(tq_asn_object* object, tq_r_buffer_t& view);
using tq_asn_postread_hook = void (*)(tq_asn_object* object, tq_r_buffer_t& view, int status);

// Base of every ASN.1 value. Carries the identifier, the state flags that
// drive encoding and decoding, an owned default value, a link to the parent,
// a cache of the object's own content octets, two read hooks and a short
// type name for diagnostics. Subclasses supply the content codec; the frame
// around the contents is written and read here.
class OXSERUTL_API tq_asn_object {
 public:
  static constexpr std::size_t type_name_size = 16;

  explicit tq_asn_object(security_t security = security_normal);
  // Refused: raise tq_asn_unsupportederror "Can't copy asn_objects" /
  // "Can't assign asn_objects".
  tq_asn_object(const tq_asn_object& other);
  tq_asn_object& operator=(const tq_asn_object& other);

  // Content codec of the concrete type: decode_value reads exactly `length`
  // content octets into the value (0 or a status); encode_value appends the
  // value's content octets (no identifier or length).
  OXSERUTL_NODISCARD virtual int decode_value(tq_r_buffer_t& in, std::uint32_t length) = 0;
  OXSERUTL_NODISCARD virtual int encode_value(tq_buffer_t& out) const = 0;

 protected:
  // Re-derives presence from the children (composites); nothing for a leaf.
  virtual void check_valid(int deep);
  // Drops the cached content octets here and in every ancestor.
  virtual void invalidate_encoding() const;
  // Marks the value absent and drops the cache; `how` says whether the
  // parent is told and whether a composite's children go too.
  virtual void invalidate_value(invalidate_t how);
  // Marks the value present and lets the parent re-derive its presence.
  virtual void set_value_valid();
  // True when an element with this tag and class is this object's.
  virtual bool check_type(std::uint32_t tag, int cls) const;
  // Takes ownership of `value` as the default and makes the object defaultable.
  virtual void set_default_value(tq_asn_object* value);
  // Fills the content cache from the value when it is stale; 0 or a status.
  virtual int get_encoding() const;
  // Appends the content octets to `out` (filling the cache first).
  virtual int get_encoding(tq_buffer_t& out) const;
  // Clears the value's storage (a composite: every child's), keeping the
  // presence flags; the first half of empty().
  virtual int emptyi();

 public:
  // Children of a composite; raises a message text on any other object.
  virtual std::uint32_t get_child_count() const;
  // 1 when the element may be read in the primitive form.
  virtual int encoding_primitive_permitted() const { return primitive_permitted_; }
  // 1 when the element may be read in the constructed form.
  virtual int encoding_constructed_permitted() const { return constructed_permitted_; }
  // 1 when the element may be read with an indefinite length.
  virtual int encoding_indefinite_permitted() const { return indefinite_permitted_; }
  // 1 when the element last read was constructed.
  virtual int is_constructed() const { return constructed_; }
  // 1 when the element last read had an indefinite length.
  virtual int is_indefinite_length() const { return indefinite_; }
  // 1 for the types whose tag is taken from the value (CHOICE, open type).
  virtual int is_polymorphic() const { return 0; }
  // 1 when the element is written in the constructed form.
  virtual int should_generate_constructed() const { return generate_constructed_; }
  // Sets the identifier's class (0 universal to 3 private); drops the cache.
  virtual void set_class(int cls);
  // Sets the identifier's tag number; drops the cache.
  virtual void set_tag(std::uint32_t tag);
  // Appends a one-line text form of the value (or of its default);
  // ASN_ERR_NO_VALUE when there is neither.
  virtual int display(tq_buffer_t& out) const;
  // Forgets the value: clears its storage, marks it absent and tells the parent.
  virtual int empty();
  // Puts the value into its preferred form (a directory string: its
  // preferred code set; a composite: every child); 0 or a status.
  virtual int normalize();
  // 1 when the schema marks the element OPTIONAL.
  virtual int is_optional() const { return optional_; }
  // 1 when a default value is installed.
  virtual int is_defaultable() const { return defaultable_; }
  // 1 when the content cache holds the current value's octets.
  virtual int is_encoding_valid() const { return encoding_valid_; }
  // The owned default value, or null.
  virtual tq_asn_object* get_default_value() const { return default_value_; }
  // 1 when the value is absent or encodes as the default does.
  virtual int is_default_value() const;
  // 1 when the object can be written: present, defaultable or optional
  // (deep: a composite first re-derives its children's presence).
  virtual int is_valid(int deep) const;
  // 1 when the object holds a value.
  virtual int is_present() const { return present_; }
  // Deletes the owned default value; the cache buffer releases itself.
  virtual ~tq_asn_object();
  // Sets the memory mode of the object and its content cache.
  virtual void set_secure(security_t security);
  // Reads one BER element at the view's cursor and advances past it.
  OXSERUTL_NODISCARD virtual int asnread(tq_r_buffer_t& in);
  // Appends the whole element; nothing for an absent optional element or a
  // value equal to its default.
  OXSERUTL_NODISCARD virtual int asnwrite(tq_buffer_t& out) const;
  // 1 when both objects write the same bytes.
  virtual int operator==(const tq_asn_object& other) const;
  // Marks the element OPTIONAL (1) or mandatory (0); drops the cache.
  virtual int set_optional(int optional);
  // Whether a composite with no components present is a valid value;
  // nothing for a leaf.
  virtual int set_empty_permitted(int permitted);
  // 1 when every cache that should be valid is (a composite: those of its
  // present children); a consistency check for tests and diagnostics.
  virtual int check_encode_flags() const;
  // The same, and the object's own cache validity equals `expected`.
  virtual int check_encode_flags(int expected) const;
  // Appends "name(valid=Y, present=N, ...)" and a newline, indented.
  virtual int display_state_flags(tq_buffer_t& out, int indent) const;

  int get_class() const noexcept { return class_; }
  std::uint32_t get_tag() const noexcept { return tag_; }
  tq_asn_object* get_parent() const noexcept { return parent_; }
  int set_preread(tq_asn_preread_hook hook) noexcept;
  int set_postread(tq_asn_postread_hook hook) noexcept;
  int write_type(tq_buffer_t& out) const;
  OXSERUTL_NODISCARD int write_length(tq_buffer_t& out) const;

  // The short diagnostic name; set_type_name keeps the first 16 characters.
  const char* get_type_name() const noexcept { return type_name_; }
  void set_type_name(const char* name) noexcept;
  security_t get_secure() const noexcept { return static_cast<security_t>(secure_); }
  // The cached content octets (valid when is_encoding_valid()).
  const tq_buffer_t& encoding() const noexcept { return encoding_; }

 protected:
  void set_parent(tq_asn_object* parent) noexcept { parent_ = parent; }
  // The steps of asnread without the post-read hook: forgets the value,
  // calls `preread` (when not null) and reads one element. asnread passes
  // its own pre-read hook; a subclass that runs the hooks in another order
  // (the open type) passes null and calls them itself.
  OXSERUTL_NODISCARD int read_element(tq_r_buffer_t& in, tq_asn_preread_hook preread);

  // Field order follows the object layout of the original runtime.
  mutable tq_buffer_t encoding_;
  tq_asn_object* parent_ = nullptr;
  tq_asn_object* default_value_ = nullptr;
  int optional_ = 0;
  int defaultable_ = 0;
  int present_ = 0;
  mutable int encoding_valid_ = 0;
  int secure_ = 0;
  int constructed_ = 0;
  int indefinite_ = 0;
  int generate_constructed_ = 0;
  int class_ = 0;
  std::uint32_t tag_ = 0;
  int primitive_permitted_ = 0;
  int constructed_permitted_ = 0;
  int indefinite_permitted_ = 0;
  tq_asn_preread_hook preread_ = nullptr;
  tq_asn_postread_hook postread_ = nullptr;
  char type_name_[type_name_size + 1];

  // The runtime's own classes reach the protected operations of other
  // objects of the tree (children, parents, defaults).
  friend class tq_asn_composite;
  friend class tq_asn_choice;
  friend class tq_asn_any;
  friend struct tq_asn_access;
  template <class T>
  friend class tq_asn_sequenceof;
};

// ---------------------------------------------------------------------------
// Primitive types
// ---------------------------------------------------------------------------

// Base of the primitive types: primitive form only, definite length only.
class OXSERUTL_API tq_asn_primitive : public tq_asn_object {
 public:
  explicit tq_asn_primitive(security_t security = security_normal);
};

// INTEGER. The content octets live in the object's content cache and are
// the authoritative value; the number is derived from them.
class OXSERUTL_API tq_asn_integer : public tq_asn_primitive {
 public:
  explicit tq_asn_integer(security_t security = security_normal);

  int set_value(std::int32_t v);
  // Takes the octets verbatim as the content (no check of minimality).
  int set_value(const unsigned char* bytes, std::uint32_t length);
  // ASN_ERR_TOO_LARGE when the content does not fit 32 bits.
  OXSERUTL_NODISCARD int get_value(std::int32_t& out) const;
  OXSERUTL_NODISCARD int get_value(unsigned char*& bytes, std::uint32_t& length) const;
  int set_default_value(std::int32_t v);
  int set_default_value(const unsigned char* bytes, std::uint32_t length);
  void set_default_value(tq_asn_object* value) override;

  int decode_value(tq_r_buffer_t& in, std::uint32_t length) override;
  int encode_value(tq_buffer_t& out) const override;
  void set_secure(security_t security) override;

 protected:
  int get_encoding() const override;
  using tq_asn_object::get_encoding;

 private:
  void update_int_val();

  std::int32_t value_ = 0;
  int fits_ = 1;
  int security_ = 0;
};

// ENUMERATED: an INTEGER with tag 10.
class OXSERUTL_API tq_asn_enumerated : public tq_asn_integer {
 public:
  explicit tq_asn_enumerated(security_t security = security_normal);
};

class OXSERUTL_API tq_asn_boolean : public tq_asn_primitive {
 public:
  explicit tq_asn_boolean(security_t security = security_normal);

  // Stores v unchanged; any non-zero value is written as FF.
  int set_value(int v);
  OXSERUTL_NODISCARD int get_value(int& out) const;
  int set_default_value(int v);
  void set_default_value(tq_asn_object* value) override;

  int decode_value(tq_r_buffer_t& in, std::uint32_t length) override;
  int encode_value(tq_buffer_t& out) const override;

 private:
  int value_ = 0;
};

// NULL: present from birth.
class OXSERUTL_API tq_asn_null : public tq_asn_primitive {
 public:
  explicit tq_asn_null(security_t security = security_normal);
  int decode_value(tq_r_buffer_t& in, std::uint32_t length) override;
  int encode_value(tq_buffer_t& out) const override;
  int is_valid(int deep) const override;
  int is_present() const override;
};

// A placeholder that occupies a place in a structure and never writes or
// reads any octet.
class OXSERUTL_API tq_asn_nothing : public tq_asn_primitive {
 public:
  explicit tq_asn_nothing(security_t security = security_normal);
  int decode_value(tq_r_buffer_t& in, std::uint32_t length) override;
  int encode_value(tq_buffer_t& out) const override;
  int asnread(tq_r_buffer_t& in) override;
  int asnwrite(tq_buffer_t& out) const override;
  int is_valid(int deep) const override;
  int is_present() const override;
};

// ---------------------------------------------------------------------------
// Octet string, bit string and named bits
// ---------------------------------------------------------------------------

// Constructed elements may nest at most this deep, counted from the element
// being read or written. Deeper input is refused with
// ASN_ERR_CONSTRUCTED_NOT_PERMITTED before the stack can run out, and the
// writer refuses the same depth (with ASN_ERR_UNSUPPORTED, the status of a
// refused operation), so that everything written can be read back. A name-value tree or an audit element uses two levels per
// generation (the record and its list of children).
constexpr int tq_asn_max_nesting_depth = 256;

// Constructed string encodings nest segments inside segments; reading stops
// at this depth with ASN_ERR_CONSTRUCTED_NOT_PERMITTED so that crafted input
// cannot exhaust the stack.
constexpr int tq_asn_max_segment_depth = 32;

// OCTET STRING. The value is the content cache. After decoding one further
// zero octet is kept behind the content, outside its length, so that text
// can be read as a zero-terminated string.
class OXSERUTL_API tq_asn_octetstring : public tq_asn_primitive {
 public:
  explicit tq_asn_octetstring(security_t security = security_normal);

  int set_value(const unsigned char* bytes, std::uint32_t length);
  // A pointer to the object's own content (no copy), valid until the object
  // changes or dies.
  OXSERUTL_NODISCARD int get_value(unsigned char*& bytes, std::uint32_t& length) const;
  int set_default_value(const unsigned char* bytes, std::uint32_t length);

  int decode_value(tq_r_buffer_t& in, std::uint32_t length) override;
  int encode_value(tq_buffer_t& out) const override;
  void set_secure(security_t security) override;

 protected:
  int get_encoding() const override;
  using tq_asn_object::get_encoding;
  using tq_asn_object::set_default_value;

  int security_ = 0;
  int segment_depth_ = 0;
};

// BIT STRING: octets (bit 0 is the top bit of octet 0) and a count of unused
// low-order bits of the last octet.
class OXSERUTL_API tq_asn_bitstring : public tq_asn_primitive {
 public:
  explicit tq_asn_bitstring(security_t security = security_normal);

  int set_value(const unsigned char* bytes, std::uint32_t nbits);
  OXSERUTL_NODISCARD int get_value(unsigned char*& bytes, std::uint32_t& nbits) const;
  int set_default_value(const unsigned char* bytes, std::uint32_t nbits);

  int decode_value(tq_r_buffer_t& in, std::uint32_t length) override;
  int encode_value(tq_buffer_t& out) const override;
  void set_secure(security_t security) override;

  std::uint8_t unused_bits() const noexcept { return unused_bits_; }

 protected:
  using tq_asn_object::set_default_value;

  mutable tq_buffer_t octets_;
  mutable std::uint8_t unused_bits_ = 0;
  int security_ = 0;
  int segment_depth_ = 0;
};

// BIT STRING of named bits: access by bit number, and the DER form of a
// named bit list (no trailing zero bits) on every write.
class OXSERUTL_API tq_asn_namedbits : public tq_asn_bitstring {
 public:
  explicit tq_asn_namedbits(security_t security = security_normal);

  int set_bit(std::uint32_t n, int value);
  int clear_bit(std::uint32_t n);
  OXSERUTL_NODISCARD int get_bit(std::uint32_t n, int& out) const;
  int asnwrite(tq_buffer_t& out) const override;
};

// ---------------------------------------------------------------------------
// Composites
// ---------------------------------------------------------------------------

// An ordered list of children whose presence derives the composite's own.
// The composite does not own its children.
class OXSERUTL_API tq_asn_composite : public tq_asn_object {
 public:
  explicit tq_asn_composite(security_t security = security_normal);
  tq_asn_composite(std::uint32_t initial_capacity, security_t security);

  tq_asn_object* get_child(std::uint32_t index) const noexcept {
    return index < child_count_ ? children_[index] : nullptr;
  }
  tq_asn_object* operator[](std::uint32_t index) const noexcept { return get_child(index); }
  std::uint32_t capacity() const noexcept { return capacity_; }

 protected:
  void check_valid(int deep) override;
  void invalidate_value(invalidate_t how) override;
  int emptyi() override;

 public:
  std::uint32_t get_child_count() const override { return child_count_; }
  int display(tq_buffer_t& out) const override;
  int normalize() override;
  int is_valid(int deep) const override;
  int set_empty_permitted(int permitted) override;
  int check_encode_flags() const override;
  using tq_asn_object::check_encode_flags;
  int display_state_flags(tq_buffer_t& out, int indent) const override;
  ~tq_asn_composite() override;

  virtual int register_child(tq_asn_object* child);
  virtual int register_child_before(tq_asn_object* child);
  virtual int get_empty_permitted() const { return empty_permitted_; }

 protected:
  int empty_permitted_ = 1;
  std::uint32_t child_count_ = 0;
  std::uint32_t capacity_ = 0;
  tq_asn_object** children_ = nullptr;
  // Set while a SEQUENCE reads its children: their completions need not
  // re-derive its presence one by one, since the read itself marks it
  // present (or absent) when it ends.
  int reading_children_ = 0;

 private:
  void adopt(tq_asn_object* child);
};

// SEQUENCE: the children one after another, in registration order.
class OXSERUTL_API tq_asn_sequence : public tq_asn_composite {
 public:
  explicit tq_asn_sequence(security_t security = security_normal);
  tq_asn_sequence(std::uint32_t initial_capacity, security_t security);

  int decode_value(tq_r_buffer_t& in, std::uint32_t length) override;
  int encode_value(tq_buffer_t& out) const override;
};

namespace oxserutl {
namespace detail {
// True when the fault-injection seam (<oxserutl/fault_injection.h>) asks the
// current allocation to fail. Always false unless a test armed it.
OXSERUTL_API bool allocation_fault() noexcept;
[[noreturn]] OXSERUTL_API void throw_memory(const char* text, const char* file, int line);
}  // namespace detail
}  // namespace oxserutl

// SEQUENCE OF T: a sequence whose elements it creates, owns and deletes.
// T is an ASN.1 object class constructible from a security_t. An empty list
// is a valid value from construction.
template <class T>
class tq_asn_sequenceof : public tq_asn_sequence {
 public:
  explicit tq_asn_sequenceof(security_t security = security_normal) : tq_asn_sequence(security) { init(); }
  tq_asn_sequenceof(std::uint32_t initial_capacity, security_t security)
      : tq_asn_sequence(initial_capacity, security) {
    init();
  }
  ~tq_asn_sequenceof() override { delete_all(); }

  int decode_value(tq_r_buffer_t& in, std::uint32_t length) override;
  int set_optional(int optional) override;

 protected:
  void check_valid(int deep) override;
  int emptyi() override;
  // Whether decoding keeps the element that would get this index; an
  // element not kept is still read (and checked) but then dropped.
  virtual bool keeps_element(std::uint32_t index) const {
    (void)index;
    return true;
  }

 public:
  // ASN_ERR_NO_SUCH_ITEM when there is no element at index.
  virtual int delete_child(std::uint32_t index);
  // A new element with the list's security, registered at the end (front);
  // null when no memory is left for it.
  virtual T* add_child();
  virtual T* add_child_before();

  T* get_child(std::uint32_t index) const noexcept { return static_cast<T*>(tq_asn_composite::get_child(index)); }
  T* operator[](std::uint32_t index) const noexcept { return get_child(index); }

 private:
  void init() {
    set_type_name("SEQUENCEOF");
    set_value_valid();
  }
  T* make_element() const {
    if (oxserutl::detail::allocation_fault()) return nullptr;
    return new (std::nothrow) T(static_cast<security_t>(secure_));
  }
  void delete_all() noexcept {
    for (std::uint32_t i = 0; i < child_count_; ++i) delete static_cast<T*>(children_[i]);
    child_count_ = 0;
  }
};

template <class T>
int tq_asn_sequenceof<T>::decode_value(tq_r_buffer_t& in, std::uint32_t length) {
  const std::uint32_t entry_length = in.length();
  tq_r_buffer_t part(in);
  empty();
  const bool definite = !is_indefinite_length();
  if (definite) part.limit(length);
  std::unique_ptr<T> spare;
  for (;;) {
    if (definite ? part.at_end() : check_EOC(part) != 0) break;
    // Elements the list does not keep are read, one after another, into one
    // spare element, so that their number costs no memory.
    const bool keep = keeps_element(child_count_);
    if (!keep && spare == nullptr) spare.reset(make_element());
    T* element = keep ? make_element() : spare.get();
    if (element == nullptr)
      oxserutl::detail::throw_memory("Out of memory in asn_sequenceof:decode_value", "asn1/asnbase", __LINE__);
    const std::uint32_t before = part.length();
    // A kept element is not yet registered: it must be deleted here whether
    // its read fails, its read runs out of memory or its registration does.
    try {
      int status = element->asnread(part);
      // An element that succeeds without consuming anything (an optional or
      // empty type) would repeat forever: treat it as a foreign element.
      if (status == 0 && part.length() == before) status = ASN_ERR_TAG_MISMATCH;
      if (status != 0) {
        if (keep) delete element;
        return status;
      }
      if (keep) register_child(element);
    } catch (...) {
      if (keep) delete element;
      throw;
    }
  }
  in.set_cursor(part.current(), definite ? entry_length - length : part.length());
  return 0;
}

template <class T>
int tq_asn_sequenceof<T>::set_optional(int optional) {
  if (optional) set_empty_permitted(0);
  return tq_asn_sequence::set_optional(optional);
}

template <class T>
void tq_asn_sequenceof<T>::check_valid(int) {
  if (child_count_ == 0 && !empty_permitted_) {
    invalidate_value(invalidate_self);
  } else if (!present_ || (parent_ != nullptr && !parent_->is_present())) {
    set_value_valid();
  }
}

template <class T>
int tq_asn_sequenceof<T>::emptyi() {
  delete_all();
  invalidate_encoding();
  return 0;
}

template <class T>
int tq_asn_sequenceof<T>::delete_child(std::uint32_t index) {
  if (index >= child_count_) return ASN_ERR_NO_SUCH_ITEM;
  T* victim = static_cast<T*>(children_[index]);
  for (std::uint32_t i = index + 1; i < child_count_; ++i) children_[i - 1] = children_[i];
  --child_count_;
  delete victim;
  invalidate_encoding();
  return 0;
}

template <class T>
T* tq_asn_sequenceof<T>::add_child() {
  T* element = make_element();
  if (element == nullptr) return nullptr;
  try {
    register_child(element);
  } catch (...) {
    delete element;
    throw;
  }
  return element;
}

template <class T>
T* tq_asn_sequenceof<T>::add_child_before() {
  T* element = make_element();
  if (element == nullptr) return nullptr;
  try {
    register_child_before(element);
  } catch (...) {
    delete element;
    throw;
  }
  return element;
}

// MinGW's GCC exports only the out-of-line members of an instantiation, so
// a Windows caller instantiates the template itself.
#if !defined(_WIN32) || defined(OXSERUTL_BUILDING)
extern template class OXSERUTL_API tq_asn_sequenceof<tq_asn_octetstring>;
#endif

// ---------------------------------------------------------------------------
// Versioned envelope
// ---------------------------------------------------------------------------

// Base of every record binding: a SEQUENCE, plus the static functions that
// write and read the four-byte envelope 04 <version> AC DC in front of one
// BER element.
class OXSERUTL_API tq_asnbase : public tq_asn_sequence {
 public:
  explicit tq_asnbase(security_t security = security_normal);

  using tq_asn_sequence::set_default_value;
  // Installs a new, empty tq_asnbase as the default value.
  virtual void set_default_value();

  // Writes the envelope and the object's element into a new heap block that
  // is handed to out; out is untouched on failure.
  OXSERUTL_NODISCARD static int saveEncoding(tq_asn_object* object, int version, tq_asn_buffer_t& out);
  // Checks the envelope (ASN_ERR_VERSION when it is missing, short, of
  // another version or its header runs past the buffer) and reads the
  // element behind it into the object.
  OXSERUTL_NODISCARD static int loadObject(tq_asn_object* object, int version, const tq_asn_buffer_t& in);
  // flag = 1 and ASN_ERR_VERSION unless the buffer starts with a valid
  // envelope of a nonzero version.
  OXSERUTL_NODISCARD static int get_encoded_version(const tq_asn_buffer_t& in, unsigned int& flag);
};

#endif
