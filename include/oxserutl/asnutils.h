// Field adapters: the ASN.1 objects through which record bindings move
// integers, byte strings, zero-terminated strings, single characters and
// UTF-8 text between plain record fields and the object tree.
//
// Memory handed to callers comes from the standard heap (malloc) and is
// released with the adapter's free_obj or the record's free function.
//
// Wire conventions fixed here:
//  - tqasn_octetstring sends a zero-terminated string with its terminator as
//    the last content octet; the empty string and a null pointer are the one
//    octet 00. A single character c is sent as c 00, or 00 when c is 0.
//  - tqasnUTF8String sends text without terminator; the empty string and a
//    null pointer are a zero-length value.
//  - Unsigned 32-bit fields travel as the bit pattern of a signed INTEGER.
#ifndef OXSERUTL_ASNUTILS_H
#define OXSERUTL_ASNUTILS_H

#include <cstdint>

#include <oxserutl/asnbase.h>
#include <oxserutl/asnstrng.h>
#include <oxserutl/export.h>

// INTEGER field adapter (tag 2, "INTEGER").
class OXSERUTL_API tqasn_integer : public tq_asn_integer {
 public:
  explicit tqasn_integer(security_t security = security_normal);

  // Installs a default INTEGER 0, so that an absent optional field reads 0.
  virtual void set_default_value();
  using tq_asn_integer::set_default_value;

  // The number, truncated to 16 or 8 bits for the narrower forms. Always
  // 0; a value that cannot be read (absent without default, or wider than
  // 32 bits) gives the number 0.
  int get_value(std::int32_t& out) const;
  int get_value(std::uint16_t& out) const;
  int get_value(std::uint8_t& out) const;
  using tq_asn_integer::get_value;

  // An integer field owns no memory: nothing to do.
  void free_obj(std::uint32_t) const {}
};

// OCTET STRING field adapter (tag 4, "OCTETSTRING") for byte blocks,
// zero-terminated strings, single characters and fixed-width byte arrays.
class OXSERUTL_API tqasn_octetstring : public tq_asn_octetstring {
 public:
  explicit tqasn_octetstring(security_t security = security_normal);

  // Installs a default of the one octet 00 (the empty string).
  virtual void set_default_value();
  using tq_asn_octetstring::set_default_value;

  // The octets of s and its terminator; a null s is the one octet 00.
  int set_value(const char* s);
  // The string formed by c and a terminator (00 alone when c is 0).
  int set_value(unsigned char c);
  using tq_asn_octetstring::set_value;

  // out = a fresh zero-terminated copy of the value: all octets when there
  // are two or more (a terminator is added when the last octet is not 0),
  // the empty string for zero or one octet. Raises tq_asn_memexception
  // "Out of memory get_strvalue()" when no memory is left. Returns 0, or
  // ASN_ERR_NO_VALUE with out null when absent without default.
  int get_value(char*& out) const;
  // c = the first octet, or 0 for an empty or absent value. Returns 0.
  int get_value(unsigned char& c) const;
  // bytes = a fresh copy of the len octets (null when len is 0). Raises
  // tq_asn_memexception when no memory is left. Returns 0, or
  // ASN_ERR_NO_VALUE when absent without default.
  int get_value(unsigned char*& bytes, std::uint32_t& len) const;
  // Copies n octets into dest; octets beyond a shorter value are written
  // as 0 (nothing past the value is read). Returns 0, or ASN_ERR_NO_VALUE
  // (dest untouched) when absent without default.
  int get_value(std::uint32_t n, unsigned char* dest) const;

  // Releases memory handed out by get_value (null is ignored).
  void free_obj(char* p) const;
  void free_obj(unsigned char* p) const;
};

// UTF8String text adapter (tag 12, "tqUTF8string"). With the security
// setting security_lcs the caller's text is in the process's local code set
// (LC_CTYPE) and is converted to and from UTF-8; otherwise the octets pass
// unchanged. In the local-code-set mode text that cannot be converted is
// substituted: invalid local octets become U+FFFD, characters the local code
// set lacks and malformed UTF-8 become '?'.
class OXSERUTL_API tqasnUTF8String : public tq_asn_UTF8String {
 public:
  explicit tqasnUTF8String(security_t security = security_normal);

  // Makes the value present and empty (no default object is created).
  virtual void set_default_value();
  // The text of s (without terminator), converted in the local-code-set
  // mode; null or empty gives an empty value. The octets are not checked to
  // be UTF-8. Returns 0.
  virtual int set_value(const unsigned char* s);
  virtual int set_value(const char* s);
  // out = a fresh zero-terminated string: the octets (converted in the
  // local-code-set mode), the empty string for an empty value. Returns 0;
  // ASN_ERR_MEMORY with out null when no memory is left; ASN_ERR_NO_VALUE
  // with out null when absent without default.
  virtual int get_value(unsigned char*& out) const;
  virtual int get_value(char*& out) const;

  using tq_asn_UTF8String::get_value;
  using tq_asn_UTF8String::set_default_value;
  using tq_asn_UTF8String::set_value;

  // Releases a string handed out by get_value (null is ignored).
  void free_obj(char* p) const;

 private:
  bool local_code_set() const noexcept { return secure_ == security_lcs; }
};

#endif
