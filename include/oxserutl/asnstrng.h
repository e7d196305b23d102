// ASN.1 character string types (X.680 clause 41) and the conversions of
// their text between the seven code sets.
//
// A code set is named by the universal tag number of its string type, and a
// string's tag is always its code set's number:
//
//   12 UTF8String       UTF-8 (RFC 2279), one to six octets per character
//   19 PrintableString  one octet
//   20 TeletexString    ITU-T T.61: one octet, or a non-spacing accent octet
//                       followed by the base letter
//   22 IA5String        one octet (taken as ISO 8859-1, so values produced by
//                       conversion may hold octets 0x80 to 0xFF)
//   26 VisibleString    one octet
//   28 UniversalString  four octets, most significant first
//   30 BMPString        two octets, most significant first
//
// Conventions:
//  - Operations return 0 or a code of <oxserutl/status.h>; exhausted memory
//    raises tq_asn_memexception as everywhere in the runtime.
//  - A failed operation leaves the value and the code set as they were.
//    A failed conversion into a caller's buffer leaves the buffer at the
//    length it had on entry.
//  - Text given as char* is read up to its terminator; a null pointer is
//    read as the empty string.
#ifndef OXSERUTL_ASNSTRNG_H
#define OXSERUTL_ASNSTRNG_H

#include <cstdint>

#include <oxserutl/asnbase.h>
#include <oxserutl/export.h>
#include <oxserutl/status.h>

// Code set numbers (the universal tags of the string types).
enum tq_asn_codeset : std::uint32_t {
  tq_asn_cs_utf8 = 12,
  tq_asn_cs_printable = 19,
  tq_asn_cs_t61 = 20,
  tq_asn_cs_ia5 = 22,
  tq_asn_cs_visible = 26,
  tq_asn_cs_universal = 28,
  tq_asn_cs_bmp = 30,
};

// Base of the character strings: an OCTET STRING whose text is kept in its
// own value buffer, in the encoding of the current code set. The value is
// written through encode_value; decoding is OCTET STRING's (segments are
// reassembled) and the received octets become the value. The base class
// accepts no code set, so it can hold text only through
// set_value_uninterpreted or decoding.
class OXSERUTL_API tq_asn_charstring : public tq_asn_octetstring {
 public:
  explicit tq_asn_charstring(security_t security = security_normal);

  int decode_value(tq_r_buffer_t& in, std::uint32_t length) override;
  int encode_value(tq_buffer_t& out) const override;
  // 1: the code set is not fixed by the class.
  int is_polymorphic() const override { return 1; }
  // Takes t as the code set when the class accepts it; otherwise the tag
  // stays as it was. The reader sets the tag it found this way, so a decoded
  // frame's tag becomes the code set.
  void set_tag(std::uint32_t t) override;
  void set_secure(security_t security) override;

  // 1 when the class may hold text in code set cs.
  virtual int check_accepted_codeset(std::uint32_t cs) const;
  // 1 when the class would rather hold text in cs (the base: as accepted).
  virtual int check_preferred_codeset(std::uint32_t cs) const;
  // ASN_ERR_CODESET_NOT_PERMITTED when cs is not accepted (nothing
  // changes); otherwise cs becomes the code set and the tag.
  virtual int set_codeset(std::uint32_t cs);

  // Local text. The local character set maps 0x00-0x7F to the same IA5
  // characters and has no character for 0x80-0xFF.
  //
  // Appends the value rendered as IA5 and mapped to local characters. An
  // octet without a local character becomes subst; when subst is 0, out is
  // emptied and ASN_ERR_UNREPRESENTABLE returned.
  virtual int get_value_C(tq_buffer_t& out, char subst) const;
  // Stores local text in the first code set that can hold it: the recorded
  // preferred code set, then the preferred, then the accepted ones, each in
  // the order 19, 20, 26, 22, 30, 12, 28. ASN_ERR_UNREPRESENTABLE for a
  // character without IA5 mapping or when no code set fits.
  virtual int set_value_C(const char* s);

  // IA5 text (ISO 8859-1 octets). With convert 0 the class must accept 22;
  // otherwise the text goes to the first code set that can hold it (the
  // recorded preferred one, then the preferred, then the accepted ones, each
  // in the order 19, 20, 26, 22, 12, 30, 28), converted as needed.
  // ASN_ERR_CODESET_NOT_PERMITTED when none fits.
  virtual int get_value_IA5(tq_buffer_t& out) const;
  virtual int set_value_IA5(const tq_r_buffer_t& in, int convert);
  virtual int set_value_IA5(const char* s, int convert);

  // Store: the octets are taken unchanged (not examined) and the code set
  // is set; ASN_ERR_CODESET_NOT_PERMITTED when the class does not accept
  // it. The reader forms take the reader's remaining octets and do not
  // consume them. Get: append the value converted to the code set.
  virtual int get_value_printable(tq_buffer_t& out) const;
  virtual int set_value_printable(const tq_r_buffer_t& in);
  virtual int set_value_printable(const char* s);
  virtual int get_value_visible(tq_buffer_t& out) const;
  virtual int set_value_visible(const tq_r_buffer_t& in);
  virtual int set_value_visible(const char* s);
  virtual int get_value_T61(tq_buffer_t& out) const;
  virtual int set_value_T61(const tq_r_buffer_t& in);
  virtual int set_value_T61(const char* s);
  virtual int get_value_BMP(tq_buffer_t& out) const;
  virtual int set_value_BMP(const tq_r_buffer_t& in);
  // s: zero-terminated 16-bit characters, stored two octets each.
  virtual int set_value_BMP(const std::uint16_t* s);
  virtual int get_value_Univ(tq_buffer_t& out) const;
  virtual int set_value_Univ(const tq_r_buffer_t& in);
  // s: zero-terminated 32-bit characters, stored four octets each.
  virtual int set_value_Univ(const std::uint32_t* s);
  virtual int get_value_UTF8(tq_buffer_t& out) const;
  virtual int set_value_UTF8(const tq_r_buffer_t& in);
  virtual int set_value_UTF8(const char* s);

  // The current code set (0 while none is set).
  virtual std::uint32_t get_codeset() const;

  // Replaces the value with the octets as they are; the code set is not
  // touched and nothing is examined.
  int set_value_uninterpreted(const unsigned char* bytes, std::uint32_t length);
  int set_value_uninterpreted(const tq_r_buffer_t& in);

  // In place: the value is converted and takes code set X. 0 when it is
  // already in X; ASN_ERR_NO_VALUE when absent without default;
  // ASN_ERR_CODESET_NOT_PERMITTED when the class does not accept X;
  // ASN_ERR_UNREPRESENTABLE when the text does not convert (nothing
  // changes).
  int convert2IA5();
  int convert2printable();
  int convert2visible();
  int convert2T61();
  int convert2BMP();
  int convert2Univ();
  int convert2UTF8();
  // Into a buffer: appends the value converted to X; the object does not
  // change. ASN_ERR_NO_VALUE or ASN_ERR_UNREPRESENTABLE as above.
  int convert2IA5(tq_buffer_t& out) const;
  int convert2printable(tq_buffer_t& out) const;
  int convert2visible(tq_buffer_t& out) const;
  int convert2T61(tq_buffer_t& out) const;
  int convert2BMP(tq_buffer_t& out) const;
  int convert2Univ(tq_buffer_t& out) const;
  int convert2UTF8(tq_buffer_t& out) const;

  // The OCTET STRING accessors on the content octets. set_value also makes
  // the octets the value (in the current code set, without a check);
  // get_value brings the content up to date with the value first.
  int set_value(const unsigned char* bytes, std::uint32_t length);
  OXSERUTL_NODISCARD int get_value(unsigned char*& bytes, std::uint32_t& length) const;

  // The value octets (valid while present and until the next change).
  const tq_buffer_t& value() const noexcept { return value_; }

 protected:
  // The value is not the content cache here: a present object whose cache
  // is stale re-encodes from the value.
  int get_encoding() const override;
  using tq_asn_octetstring::get_encoding;
  int emptyi() override;

  // In place conversion to cs (the rule shared by the convert2X forms).
  int convert_in_place(std::uint32_t cs);
  // Appends the value converted to cs.
  int convert_into(std::uint32_t cs, tq_buffer_t& out) const;
  // Stores octets unchanged in code set cs after checking acceptance.
  int store(std::uint32_t cs, const unsigned char* bytes, std::uint32_t length);
  // The code set and octets to convert: the value when present, else the
  // default's. ASN_ERR_NO_VALUE when there is neither.
  int source(std::uint32_t& cs, const unsigned char*& bytes, std::uint32_t& length) const;
  // Tries to store IA5 text in cs (check for 19 and 26, conversion for the
  // multi-octet code sets, unchanged for 22); 0 when it is stored.
  int try_store_ia5(std::uint32_t cs, const unsigned char* bytes, std::uint32_t length);

  std::uint32_t codeset_ = 0;
  std::uint32_t preferred_ = 0;
  tq_buffer_t value_;
};

// The single-code-set classes: each accepts and prefers only its own code
// set, which it takes at construction and never changes.
class OXSERUTL_API tq_asn_ia5String : public tq_asn_charstring {
 public:
  explicit tq_asn_ia5String(security_t security = security_normal);
  int is_polymorphic() const override { return 0; }
  int check_accepted_codeset(std::uint32_t cs) const override;
  int check_preferred_codeset(std::uint32_t cs) const override;
};

class OXSERUTL_API tq_asn_printableString : public tq_asn_ia5String {
 public:
  explicit tq_asn_printableString(security_t security = security_normal);
  int check_accepted_codeset(std::uint32_t cs) const override;
  int check_preferred_codeset(std::uint32_t cs) const override;
};

class OXSERUTL_API tq_asn_visibleString : public tq_asn_ia5String {
 public:
  explicit tq_asn_visibleString(security_t security = security_normal);
  int check_accepted_codeset(std::uint32_t cs) const override;
  int check_preferred_codeset(std::uint32_t cs) const override;
};

class OXSERUTL_API tq_asn_teletexString : public tq_asn_charstring {
 public:
  explicit tq_asn_teletexString(security_t security = security_normal);
  int is_polymorphic() const override { return 0; }
  int check_accepted_codeset(std::uint32_t cs) const override;
  int check_preferred_codeset(std::uint32_t cs) const override;
};

class OXSERUTL_API tq_asn_bmpString : public tq_asn_charstring {
 public:
  explicit tq_asn_bmpString(security_t security = security_normal);
  int is_polymorphic() const override { return 0; }
  int check_accepted_codeset(std::uint32_t cs) const override;
  int check_preferred_codeset(std::uint32_t cs) const override;
};

class OXSERUTL_API tq_asn_universalString : public tq_asn_charstring {
 public:
  explicit tq_asn_universalString(security_t security = security_normal);
  int is_polymorphic() const override { return 0; }
  int check_accepted_codeset(std::uint32_t cs) const override;
  int check_preferred_codeset(std::uint32_t cs) const override;
};

class OXSERUTL_API tq_asn_UTF8String : public tq_asn_charstring {
 public:
  explicit tq_asn_UTF8String(security_t security = security_normal);
  int is_polymorphic() const override { return 0; }
  int check_accepted_codeset(std::uint32_t cs) const override;
  int check_preferred_codeset(std::uint32_t cs) const override;
};

// DirectoryString of X.520: accepts 19, 26, 20, 28, 30, 22 and 12, prefers
// 19, 20, 28 and 12, and picks its code set on its own. On reading it
// recognises frames of its class with tag 19, 20, 30, 28, 12 or 22 (not 26).
class OXSERUTL_API tq_asn_directoryString : public tq_asn_charstring {
 public:
  explicit tq_asn_directoryString(security_t security = security_normal);

  int check_accepted_codeset(std::uint32_t cs) const override;
  int check_preferred_codeset(std::uint32_t cs) const override;
  // Brings the value to its best code set: the recorded preferred one, else
  // the first of 19, 20, 12, 28 that it converts to (the result of the last
  // attempt is returned). ASN_ERR_NO_VALUE when absent without default.
  int normalize() override;

  // Converts the value to PrintableString when it can and records nothing;
  // otherwise, for cs 12, 20, 28 or 30, converts it to cs and on success
  // records cs as the preferred code set. Other cs values do nothing.
  void set_preferred_codeset(std::uint32_t cs);

 protected:
  bool check_type(std::uint32_t tag, int cls) const override;
};

#endif
