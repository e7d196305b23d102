// CHOICE and the open type (ANY): the two ASN.1 types that take their
// identifier from the data rather than from a fixed tag.
#ifndef OXSERUTL_ASNCHOICE_H
#define OXSERUTL_ASNCHOICE_H

#include <cstdint>

#include <oxserutl/asnbase.h>
#include <oxserutl/export.h>

// CHOICE: a composite whose registered children are the alternatives, at
// most one of which is selected. It has no frame of its own: it is written
// as the selected alternative's element and read by trying the alternatives
// in registration order. Its own tag and class are never written or
// compared (both stay 0).
//
// The choice is present when its selected alternative is valid. Subclasses
// that wrap a single alternative (and forward to it) reach the selection
// through selected_ and the protected operations below.
class OXSERUTL_API tq_asn_choice : public tq_asn_composite {
 public:
  explicit tq_asn_choice(security_t security = security_normal);
  tq_asn_choice(std::uint32_t initial_capacity, security_t security);
  ~tq_asn_choice() override;

  // A choice has no content octets of its own: both raise
  // tq_asn_unsupportederror.
  int decode_value(tq_r_buffer_t& in, std::uint32_t length) override;
  int encode_value(tq_buffer_t& out) const override;

  // Selects the alternative at index: ASN_ERR_BAD_SELECTION when index is
  // not below the number of alternatives; 0 and nothing changes when it is
  // already selected; otherwise the choice's cached encoding is invalidated
  // and its presence re-derived from the new alternative.
  int select(std::uint32_t index);
  // The selected index, or -1.
  int selected() const noexcept { return selected_; }

 protected:
  // With a selection: present exactly when the selected alternative is
  // valid. Without one nothing changes.
  void check_valid(int deep) override;

 public:
  int is_polymorphic() const override { return 1; }
  // Refused: raises the message text "Attempt to change tag of ASN.1 CHOICE
  // object" (a programming error, not a tq_asn_exception).
  void set_tag(std::uint32_t tag) override;
  // Stores a tag through the base set_tag, for subclasses that need one.
  virtual void set_tag_unchecked(std::uint32_t tag);
  int normalize() override;
  // The selected alternative's; 0 without a selection.
  int is_encoding_valid() const override;
  // Tries each alternative in turn; the first that reads successfully is
  // selected. ASN_ERR_TAG_MISMATCH when none matches a mandatory choice
  // (an optional or defaultable one is then absent and 0 is returned).
  OXSERUTL_NODISCARD int asnread(tq_r_buffer_t& in) override;
  // The selected alternative's element; nothing for an absent optional
  // choice; ASN_ERR_NOTHING_SELECTED without a selection.
  OXSERUTL_NODISCARD int asnwrite(tq_buffer_t& out) const override;
  int check_encode_flags() const override;
  using tq_asn_composite::check_encode_flags;
  // Its own line, then each alternative at indent + 2, the selected one
  // preceded by a line "SELECTED:" at indent + 1.
  int display_state_flags(tq_buffer_t& out, int indent) const override;

 protected:
  tq_asn_object* selected_alternative() const noexcept {
    return selected_ < 0 ? nullptr : children_[selected_];
  }

  std::int32_t selected_ = -1;
};

class tq_asn_any;
// Pre-parse and pre-encode hooks of an open type; a nonzero result is
// returned at once by asnread / asnwrite.
using tq_asn_any_hook = int (*)(tq_asn_any* any);

// Open type (ASN.1 ANY). Without a syntax object it accepts an element of
// any tag and class, keeps the content octets raw and writes them back
// under the identifier it read (tag, class and form) or that the caller set.
// With a syntax object (not owned) that object reads and writes the element
// instead, and the open type's presence follows its validity. Indefinite
// lengths are refused: the raw contents would have to be parsed to find
// their end.
class OXSERUTL_API tq_asn_any : public tq_asn_object {
 public:
  explicit tq_asn_any(security_t security = security_normal);
  ~tq_asn_any() override;

  // ASN_ERR_TYPED_ANY when a syntax object is set; otherwise the next
  // `length` octets become the raw value.
  int decode_value(tq_r_buffer_t& in, std::uint32_t length) override;
  // ASN_ERR_TYPED_ANY when a syntax object is set; otherwise appends the raw
  // value.
  int encode_value(tq_buffer_t& out) const override;

 protected:
  void check_valid(int deep) override;
  // The base behaviour; the raw value is dropped (wiped in secure mode)
  // with the presence, so a failed read leaves no stale contents behind.
  void invalidate_value(invalidate_t how) override;
  bool check_type(std::uint32_t, int) const override { return true; }

 public:
  // The base behaviour, applied to the raw value too; a secure setting is
  // passed on to the syntax object.
  void set_secure(security_t security) override;
  // Hook order: pre-read, pre-parse (a nonzero result is returned without
  // the post-read hook), the element (through the syntax object, or the
  // frame reader with the tag, class and form adopted), post-read.
  OXSERUTL_NODISCARD int asnread(tq_r_buffer_t& in) override;
  // Pre-encode hook (a nonzero result is returned at once), then the syntax
  // object's element or the raw value framed by the base writer.
  OXSERUTL_NODISCARD int asnwrite(tq_buffer_t& out) const override;

  // Attaches syntax (null detaches): a previous syntax object loses its
  // parent and its value; the new one gets this object as parent and, when
  // this object is secure, the secure setting. Returns 0.
  int set_syntax(tq_asn_object* syntax);
  tq_asn_object* get_syntax() const noexcept { return syntax_; }
  int set_preparse(tq_asn_any_hook hook) noexcept;
  int set_preencode(tq_asn_any_hook hook) noexcept;

  // A pointer into the raw value (no copy) and its length, valid until the
  // object changes or dies. ASN_ERR_TYPED_ANY with a syntax object;
  // ASN_ERR_NO_VALUE when neither present nor defaultable.
  OXSERUTL_NODISCARD int get_value(unsigned char*& bytes, std::uint32_t& length) const;
  // Copies the bytes into the raw value and marks the object present.
  // ASN_ERR_TYPED_ANY with a syntax object.
  int set_value(const unsigned char* bytes, std::uint32_t length);

 protected:
  tq_buffer_t value_;
  tq_asn_object* syntax_ = nullptr;
  tq_asn_any_hook preparse_ = nullptr;
  tq_asn_any_hook preencode_ = nullptr;
};

#endif
