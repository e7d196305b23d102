// Records as JSON, through the run-time description of the records
// (<oxserutl/record_info.h>); no record layout is written here.
//
// The JSON form of a record is an object whose members are the structure's
// fields in structure order, named as in the structure:
//   i32 / u32 / u16 / u8     a number (range-checked when read)
//   string, cstring          a string (null reads as a null pointer)
//   fixed                    a hex string of exactly the array's size
//   block                    a hex string; the length field follows from it
//   list / list16 / ptrlist  an array of records
//   strings / ints           an array of strings / numbers
//   nested                   a record
//   optional                 a record, or null when the pointer is null
//   sparse                   an array of at most 32 slots, each a record or
//                            null; slots after the last filled one are left
//                            out (as on the wire)
// Counts and lengths are not members: they follow from the arrays and
// blocks. Members left out of the JSON read as zero, null or empty; unknown
// members are refused.
#ifndef OXSER_RECORD_JSON_H
#define OXSER_RECORD_JSON_H

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "json_text.h"

#include <oxserutl/record_info.h>

namespace oxser {

using json = nlohmann::ordered_json;

// Text in the local code set of the LC_CTYPE locale and in UTF-8. Made once
// per run; converts with the library's own conversion (its text adapter in
// the local-code-set mode) unless the local code set is UTF-8.
// Characters that the other side cannot hold are substituted ('?' towards
// the local code set, U+FFFD towards UTF-8), as the library does.
class local_text {
 public:
  local_text();
  ~local_text();
  local_text(const local_text&) = delete;
  local_text& operator=(const local_text&) = delete;
  std::string to_local(const std::string& utf8) const;
  std::string to_utf8(const std::string& local) const;
  const std::string& codeset() const { return codeset_; }
  // Characters substituted so far, each way.
  std::size_t to_local_substituted() const { return to_local_substituted_; }
  std::size_t to_utf8_substituted() const { return to_utf8_substituted_; }

 private:
  mutable std::size_t to_local_substituted_ = 0;
  mutable std::size_t to_utf8_substituted_ = 0;
  std::string codeset_;
  bool identity_ = true;
};

// A JSON value that does not fit the record; path names the member
// ("entries[1].id.name").
class json_error : public std::runtime_error {
 public:
  json_error(const std::string& path, const std::string& what)
      : std::runtime_error(path.empty() ? what : path + ": " + what), path_(path) {}
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A record allocated for the description, released through it on scope
// exit (the description's release, then free).
class record_holder {
 public:
  explicit record_holder(const oxs_record_info& info);
  ~record_holder();
  record_holder(const record_holder&) = delete;
  record_holder& operator=(const record_holder&) = delete;
  void* get() const { return record_; }

 private:
  const oxs_record_info& info_;
  void* record_;
};

// The record as JSON text, laid out as json::dump(2) lays out the same
// value (without a final line break), handed to sink in pieces of about 64
// KiB as the record is walked. With lcs set, the strings that the
// local-code-set functions convert (see lcs_reach in the source) are taken
// as local text and converted to UTF-8. Text that is not valid UTF-8 is
// shown with U+FFFD and its path added to *replaced when given.
void write_record_json(const oxs_record_info& info, const void* record, const json_sink& sink,
                       const local_text* lcs = nullptr, std::vector<std::string>* replaced = nullptr);

// The same as a value.
json record_to_json(const oxs_record_info& info, const void* record, const local_text* lcs = nullptr,
                    std::vector<std::string>* replaced = nullptr);

// Fills a zeroed record from JSON; with lcs set, converts the strings that
// the local-code-set functions expect in the local code set. Throws
// json_error; the record is then consistent (every count matches what was
// allocated) and is released as usual.
void record_from_json(const oxs_record_info& info, const json& value, void* record,
                      const local_text* lcs = nullptr);

// The JSON text as a value, refused (json_error) when it nests records
// deeper than the library writes them (tq_asn_max_nesting_depth: a deeper
// tree is refused with ASN_ERR_UNSUPPORTED, so it is refused here before
// anything walks it), when an object names a member twice, and on a syntax
// error ("input is not JSON: line 1, column 9: ..."). Time and memory stay
// proportional to the text. A bound other than 0 puts another limit on the
// nesting of objects (arrays: twice that).
json parse_json(const std::vector<unsigned char>& text, std::size_t bound = 0);

// How deep the BER of a record's JSON nests: constructed levels (the
// library writes at most tq_asn_max_nesting_depth), and along the deepest
// path the records whose type holds a list of itself (generations of a
// name-value tree).
struct record_depth {
  int levels = 0;
  int generations = 0;
};
record_depth nesting_of(const oxs_record_info& info, const json& value);

// Lower-case hex of bytes, no separators.
std::string to_hex(const unsigned char* bytes, std::size_t length);

// Records that the tool can encode and decode (all but the update-list
// element, which has no functions of its own).
std::vector<const oxs_record_info*> callable_records();

// Whether the record has functions of its own.
bool is_callable(const oxs_record_info& info);

}  // namespace oxser

#endif
