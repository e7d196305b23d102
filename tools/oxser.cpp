// oxser: look inside record buffers, and turn records into JSON and back.
//
// Every command but dump builds its whole output in memory and writes it
// only when it succeeded, so a failure leaves standard output (or the -o
// file) untouched; the reason goes to standard error. dump writes each
// element as it reads it, so that its memory does not grow with the input,
// and on damaged input ends with the line where it stopped. Exit status 0
// on success, 1 for bad data, 2 for bad usage.
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#define isatty _isatty
#define STDOUT_FILENO 1
#define STDERR_FILENO 2
#else
#include <unistd.h>
#endif
#include <sys/stat.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include <oxserutl/oxserutl.h>

#include "asn1_module.h"
#include "ber_json.h"
#include "ber_print.h"
#include "ber_primitives.h"
#include "ber_tree.h"
#include "record_doc.h"
#include "record_json.h"
#include "tool_io.h"

namespace {

using namespace oxser;

struct options {
  std::string type;
  std::string file;
  std::string output;
  bool raw = false;
  bool hex = false;
  bool binary = false;
  bool lcs = false;
  bool strict = false;
  long long offset = -1;  // dump --offset
  long long length = -1;  // dump --length
  std::vector<std::string> types;  // asn1
  bool markdown = false;
  bool json_tree = false;  // dump --json
  bool all = false;        // dump --all
  unsigned envelope_version = 0;  // decode and encode of type-code records
};

// What a command writes when it succeeded.
struct output {
  std::string bytes;
  bool binary = false;  // never to a terminal
};

const oxs_record_info& find_type(const std::string& name) {
  const oxs_record_info* info = oxs_find_record(name.c_str());
  if (info == nullptr)
    throw tool_error(exit_bad_usage, "unknown record type '" + name + "' (oxser types lists them)");
  if (!is_callable(*info))
    throw tool_error(exit_bad_usage, std::string(info->type_name) +
                                         " is only an element of an update list; use update_list");
  return *info;
}

input_form form_of(const options& o) {
  if (o.hex && o.binary) throw tool_error(exit_bad_usage, "--hex and --binary exclude each other");
  return o.hex ? input_form::hex : o.binary ? input_form::binary : input_form::detect;
}

std::string status_text(int status) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(status));
  const char* name = tq_asn_status_name(static_cast<std::uint32_t>(status));
  return std::string(name != nullptr ? name : "status") + " (" + code + ")";
}

// Standard output or the -o file, opened with the first write: a command
// that fails before it writes leaves the file as it was.
class output_file {
 public:
  explicit output_file(const std::string& file, bool binary = false) : file_(file), binary_(binary) {}
  ~output_file() {
    if (out_ != nullptr && out_ != stdout) std::fclose(out_);
  }
  output_file(const output_file&) = delete;
  output_file& operator=(const output_file&) = delete;

  void write(const std::string& bytes) {
    if (out_ == nullptr) open();
    if (std::fwrite(bytes.data(), 1, bytes.size(), out_) != bytes.size())
      throw tool_error(exit_bad_usage, "cannot write " + name());
  }
  void finish() {
    if (out_ == nullptr) open();
    const bool ok = std::fflush(out_) == 0;
    if (out_ != stdout && std::fclose(out_) != 0) {
      out_ = nullptr;
      throw tool_error(exit_bad_usage, "cannot write " + name());
    }
    if (out_ != stdout) out_ = nullptr;
    if (!ok) throw tool_error(exit_bad_usage, "cannot write " + name());
  }

 private:
  bool to_stdout() const { return file_.empty() || file_ == "-"; }
  std::string name() const { return to_stdout() ? std::string("standard output") : file_; }
  void open() {
    if (to_stdout()) {
      if (binary_ && isatty(STDOUT_FILENO))
        throw tool_error(exit_bad_usage, "refusing to write binary to a terminal; use --hex or -o FILE");
      out_ = stdout;
      return;
    }
    out_ = std::fopen(file_.c_str(), "wb");
    if (out_ == nullptr) throw tool_error(exit_bad_usage, "cannot write " + file_ + ": " + std::strerror(errno));
  }

  std::string file_;
  bool binary_;
  std::FILE* out_ = nullptr;
};

// --- types -----------------------------------------------------------------------

std::string field_kind_text(const oxs_field_info& f) {
  return kind_text(oxs_kinds[f.kind].words, f, f.element != nullptr ? f.element()->type_name : "");
}

std::string run_types(const options& o) {
  // Any record, also one that is only an element of an update list.
  const oxs_record_info* named = o.type.empty() ? nullptr : oxs_find_record(o.type.c_str());
  if (!o.type.empty() && named == nullptr) find_type(o.type);  // says it is unknown
  if (o.markdown) return records_markdown(named);
  std::string out;
  char line[256];
  if (named != nullptr) {
    const oxs_record_info& info = *named;
    std::snprintf(line, sizeof line, "%s (structure %s, module %s", info.type_name, info.structure, info.module);
    out += line;
    if (info.type_code != 0) out += ", type code " + std::to_string(info.type_code);
    out += ")\n";
    if (!is_callable(info)) out += "  (only an element of an update list: encode and decode it within update_list)\n";
    for (std::uint32_t i = 0; i < info.field_count; ++i) {
      std::snprintf(line, sizeof line, "  %-28s %s\n", info.fields[i].name, field_kind_text(info.fields[i]).c_str());
      out += line;
    }
    return out;
  }
  std::snprintf(line, sizeof line, "%-30s %-32s %-26s %s\n", "TYPE", "STRUCTURE", "MODULE", "CODE");
  out += line;
  for (const oxs_record_info* info : callable_records()) {
    const std::string code = info->type_code != 0 ? std::to_string(info->type_code) : "";
    std::snprintf(line, sizeof line, "%-30s %-32s %-26s %s", info->type_name, info->structure, info->module,
                  code.c_str());
    std::string text = line;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += text + "\n";
  }
  return out;
}

// --- dump --------------------------------------------------------------------------

// Writes the lines as the walker reads the elements: to standard output, or
// to the -o file, which is created with the first line.
class line_writer : public ber_sink {
 public:
  // With map, the pages of the input before each element are given back.
  line_writer(const std::string& file, mapped_file* map) : file_(file), map_(map) {}
  ~line_writer() override {
    if (out_ != nullptr && out_ != stdout) std::fclose(out_);
  }
  line_writer(const line_writer&) = delete;
  line_writer& operator=(const line_writer&) = delete;

  void element(bytes_view data, const ber_header& h, int depth, const std::string& label,
               const std::vector<ber_note>& notes) override {
    warnings_ += notes.size();
    write(element_line(data, h, depth, label, notes));
    if (map_ != nullptr) map_->release_before(h.offset);
  }
  void end_of_contents(std::size_t offset, int depth) override { write(end_of_contents_line(offset, depth)); }
  void late_note(std::size_t offset, int depth, const std::string& label, const ber_note& note) override {
    ++warnings_;
    write(late_note_line(offset, depth, label, note));
  }
  void write(const std::string& line) {
    if (out_ == nullptr) {
      if (file_.empty() || file_ == "-") {
        out_ = stdout;
      } else {
        out_ = std::fopen(file_.c_str(), "wb");
        if (out_ == nullptr) throw tool_error(exit_bad_usage, "cannot write " + file_ + ": " + std::strerror(errno));
      }
    }
    if (std::fwrite(line.data(), 1, line.size(), out_) != line.size())
      throw tool_error(exit_bad_usage, "cannot write " + (out_ == stdout ? std::string("standard output") : file_));
    if (out_ == stdout) last_terminal_line() = line;
  }
  // The last line written to standard output.
  static std::string& last_terminal_line() {
    static std::string line;
    return line;
  }
  void finish() {
    if (out_ != nullptr && std::fflush(out_) != 0) throw tool_error(exit_bad_usage, "cannot write the output");
  }
  std::size_t warnings() const { return warnings_; }

 private:
  std::string file_;
  mapped_file* map_;
  std::FILE* out_ = nullptr;
  std::size_t warnings_ = 0;
};

// The library's explanation of why the record's decode function refuses the
// bytes (bare BER is explained with an envelope put ahead, its offsets
// taken back): the status is the decode function's.
// With an envelope version, the type-code function reads the bytes.
tq_asn_explanation explain_record(const oxs_record_info& info, bytes_view data, bool raw, bool lcs = false,
                                  unsigned envelope_version = 0) {
  std::vector<unsigned char> copy;
  if (raw) {
    copy = {oxserutl::detail::kEnvelopeLength, oxserutl::detail::kRecordVersion, oxserutl::detail::kEnvelopeMarker1,
            oxserutl::detail::kEnvelopeMarker2};
    copy.insert(copy.end(), data.data(), data.data() + data.size());
  }
  const bytes_view bytes = raw ? bytes_view(copy) : data;
  tq_asn_explanation e;
  if (envelope_version != 0)
    (void)tq_asn_explain_type_code(static_cast<int>(envelope_version), info.type_code, bytes.data(), bytes.size(), &e);
  else
    (void)tq_asn_explain(info.type_name, lcs ? 1 : 0, bytes.data(), bytes.size(), &e);
  if (raw) e.offset = e.offset >= oxserutl::detail::kEnvelopeLength ? e.offset - oxserutl::detail::kEnvelopeLength : 0;
  return e;
}

ber_fault as_fault(const tq_asn_explanation& e) {
  return ber_fault{static_cast<int>(e.status), e.offset, e.path, e.expected, e.found};
}

// The fault where a walk over a whole record stopped: the library's
// explanation, which names the decode function's status. When the reader
// accepts what the walk refused, the walk's fault stays, without a status.
std::string record_fault_text(const oxs_record_info& info, bytes_view data, bool raw, const ber_fault& walked,
                              ber_fault* shown) {
  const tq_asn_explanation e = explain_record(info, data, raw);
  if (e.status == 0) {
    *shown = walked;
    shown->found += (shown->found.empty() ? "" : "; ") + std::string("yet the record's reader accepts the buffer");
    return describe(*shown, false);
  }
  *shown = as_fault(e);
  return describe(*shown);
}

std::string run_dump(const options& o) {
  const oxs_record_info* info = o.type.empty() ? nullptr : &find_type(o.type);
  if (o.length >= 0 && o.offset < 0) throw tool_error(exit_bad_usage, "--length applies with --offset");
  // A binary file is mapped and read once from front to back, its pages
  // given back behind the walk: memory follows the nesting, not the size.
  std::unique_ptr<mapped_file> map;
  if (form_of(o) != input_form::hex) map = mapped_file::open(o.file);
  if (map != nullptr && form_of(o) == input_form::detect && !map->binary()) map.reset();
  std::vector<unsigned char> held;
  if (map == nullptr) held = input_bytes(read_input(o.file), form_of(o), "dump");
  const bytes_view data = map != nullptr ? bytes_view(map->data(), map->size()) : bytes_view(held);
  // --raw on a buffer with its envelope reads the envelope as an OCTET STRING.
  if (o.raw && o.offset < 0 && data.size() > oxserutl::detail::kEnvelopeLength &&
      data[0] == oxserutl::detail::kEnvelopeLength &&
      oxserutl::detail::envelope_marked(data.data(), static_cast<std::uint32_t>(std::min<std::size_t>(data.size(), UINT32_MAX))))
    std::fprintf(stderr, "oxser dump: note: the input begins with an envelope (04 %02X AC DC), read here as an OCTET "
                         "STRING; without --raw dump reads the envelope\n", data[1]);
  line_writer out(o.output, map.get());
  std::size_t start = 0;
  std::size_t limit = data.size();
  const bool bare = o.raw || o.offset >= 0;
  if (o.offset >= 0) {
    if (static_cast<unsigned long long>(o.offset) >= data.size())
      throw tool_error(exit_bad_usage, "--offset " + std::to_string(o.offset) + " is not inside the " +
                                           std::to_string(data.size()) + " octets of the input");
    start = static_cast<std::size_t>(o.offset);
    if (o.length >= 0) {
      if (static_cast<unsigned long long>(o.length) > data.size() - start)
        throw tool_error(exit_bad_usage, "--length " + std::to_string(o.length) + " goes past the end of the input (" +
                                             std::to_string(data.size() - start) + " octets from the offset)");
      limit = start + static_cast<std::size_t>(o.length);
    }
  } else if (!o.raw) {
    envelope_info envelope;
    if (auto f = read_envelope(data, info != nullptr ? oxserutl::detail::kRecordVersion : 0, envelope)) {
      ber_fault shown;
      throw tool_error(exit_bad_data,
                       info != nullptr ? record_fault_text(*info, data, false, *f, &shown) : describe(*f, false));
    }
    out.write(envelope_line(envelope));
    start = envelope.header_length;
  } else if (data.size() == 0) {
    throw tool_error(exit_bad_data, describe(ber_fault{ASN_ERR_TRUNCATED, 0, {}, "identifier octets", "no input"}, false));
  }
  std::size_t end = start;
  if (auto f = walk(data, start, limit, info, out, &end)) {
    // A record walked from its start: the library explains the refusal
    // with its decode function's status. Any other walk names no status.
    ber_fault shown = *f;
    const std::string text = info != nullptr && o.offset < 0 ? record_fault_text(*info, data, bare, *f, &shown)
                                                             : describe(*f, false);
    out.write(fault_line(shown, text));
    out.finish();
    const bool shape = shown.status == static_cast<int>(ASN_ERR_TAG_MISMATCH) ||
                       shown.status == static_cast<int>(ASN_ERR_EXTRA_CONTENT) ||
                       shown.status == static_cast<int>(ASN_ERR_PRIMITIVE_NOT_PERMITTED);
    throw tool_error(exit_bad_data, text + (info != nullptr && shape
                                                ? "\n(without --type, dump shows the elements as they are)"
                                                : ""));
  }
  if (o.offset < 0 || o.length >= 0) out.write(trailing_line(end, limit));
  if (out.warnings() != 0)
    out.write(std::to_string(out.warnings()) + (out.warnings() == 1 ? " warning" : " warnings") +
              " (!!): what readers accept but a writer never produces\n");
  out.finish();
  return {};
}

// dump --json: the tree as JSON that build turns back into the octets. The
// text is written as the elements are read; damaged input leaves the
// unread octets in the tail, and the reason on standard error (status 1).
void run_dump_json(const options& o) {
  if (o.offset >= 0 || o.length >= 0) throw tool_error(exit_bad_usage, "--json dumps whole buffers; --offset does not apply");
  const oxs_record_info* info = o.type.empty() ? nullptr : &find_type(o.type);
  const std::vector<unsigned char> data = input_bytes(read_input(o.file), form_of(o), "dump");
  output_file out(o.output);
  json_tree_sink tree(data, [&](const std::string& piece) { out.write(piece); });
  std::optional<ber_fault> fault;
  envelope_info envelope;
  if (!o.raw) fault = read_envelope(data, info != nullptr ? oxserutl::detail::kRecordVersion : 0, envelope);
  if (!fault) {
    tree.envelope(envelope.header_length);
    std::size_t end = 0;
    if (data.size() > envelope.header_length || o.raw)
      fault = walk(data, envelope.header_length, data.size(), info, tree, &end);
  }
  tree.finish();
  out.write("\n");
  out.finish();
  if (fault) {
    ber_fault shown = *fault;
    const std::string text =
        info != nullptr ? record_fault_text(*info, data, o.raw, *fault, &shown) : describe(*fault, false);
    throw tool_error(exit_bad_data, text + " (the octets from there on are the tail)");
  }
}

// dump --all: enveloped buffers one after another (as `cat a.ber b.ber`
// gives them), each dumped in turn with offsets from the first byte.
void run_dump_all(const options& o) {
  if (o.raw || o.offset >= 0 || o.json_tree)
    throw tool_error(exit_bad_usage, "--all reads enveloped buffers one after another; --raw, --offset and --json "
                                     "do not apply");
  const oxs_record_info* info = o.type.empty() ? nullptr : &find_type(o.type);
  const std::vector<unsigned char> data = input_bytes(read_input(o.file), form_of(o), "dump");
  if (data.empty()) throw tool_error(exit_bad_data, "no input");
  line_writer out(o.output, nullptr);
  std::size_t warnings = 0;
  for (std::size_t pos = 0, count = 1; pos < data.size(); ++count) {
    out.write("buffer " + std::to_string(count) + " at offset " + std::to_string(pos) + "\n");
    envelope_info envelope;
    std::optional<ber_fault> f = read_envelope(bytes_view(data.data() + pos, data.size() - pos),
                                               info != nullptr ? oxserutl::detail::kRecordVersion : 0, envelope);
    std::size_t end = pos;
    if (f) {
      f->offset += pos;
    } else {
      std::string line = envelope_line(envelope);
      const std::string at = std::to_string(pos);
      if (at.size() <= 6) line.replace(6 - at.size(), at.size(), at);
      out.write(line);
      f = walk(data, pos + envelope.header_length, data.size(), info, out, &end);
    }
    if (f) {
      // Where one buffer ends is known only when it was read whole: no
      // decode function names the status here.
      const std::string text = describe(*f, false);
      out.write(fault_line(*f, text));
      out.finish();
      throw tool_error(exit_bad_data, text);
    }
    pos = end;
  }
  warnings = out.warnings();
  if (warnings != 0)
    out.write(std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings") +
              " (!!): what readers accept but a writer never produces\n");
  out.finish();
}

// --- build -------------------------------------------------------------------------

output run_build(const options& o) {
  const std::vector<unsigned char> text = read_input(o.file);
  std::vector<unsigned char> bytes;
  try {
    // An element and its children are two levels of the JSON.
    bytes = build_tree(parse_json(text, 2 * max_depth + 4));
  } catch (const json_error& e) {
    throw tool_error(exit_bad_data, e.what());
  }
  if (o.hex) return {hex_lines(bytes)};
  return {std::string(bytes.begin(), bytes.end()), true};
}

// --- decode ------------------------------------------------------------------------

// Why the record's reader refused the data, in the library's words.
std::string locate(const std::vector<unsigned char>& data, const oxs_record_info& info, bool lcs,
                   unsigned envelope_version) {
  const tq_asn_explanation e = explain_record(info, data, false, lcs, envelope_version);
  std::string text(tq_asn_explanation_text(&e, nullptr, 0), '\0');
  (void)tq_asn_explanation_text(&e, &text[0], text.size() + 1);
  return text;
}

// What --strict refuses in a buffer that the record's reader accepted.
class strict_sink : public ber_sink {
 public:
  explicit strict_sink(std::vector<std::string>& findings) : findings_(findings) {}
  void element(bytes_view, const ber_header& h, int, const std::string& label,
               const std::vector<ber_note>& notes) override {
    for (const ber_note& n : notes)
      findings_.push_back("offset " + std::to_string(h.offset) + (label.empty() ? "" : " (" + label + ")") + ": " +
                          n.text);
  }
  void end_of_contents(std::size_t, int) override {}
  void late_note(std::size_t offset, int, const std::string& label, const ber_note& n) override {
    findings_.push_back("offset " + std::to_string(offset) + " (" + label + "): " + n.text);
  }

 private:
  std::vector<std::string>& findings_;
};

std::vector<std::string> strict_findings(const std::vector<unsigned char>& data, const oxs_record_info& info) {
  std::vector<std::string> findings;
  envelope_info envelope;
  if (auto f = read_envelope(data, oxserutl::detail::kRecordVersion, envelope)) return {describe(*f, false)};
  if (envelope.header_length != 4)
    findings.push_back("offset 0: envelope header length " + std::to_string(envelope.header_length) +
                       ", a writer puts 4");
  strict_sink sink(findings);
  std::size_t end = 0;
  if (auto f = walk(data, envelope.header_length, data.size(), &info, sink, &end))
    findings.push_back(describe(*f, false));
  else if (end < data.size())
    findings.push_back("offset " + std::to_string(end) + ": " + std::to_string(data.size() - end) +
                       " octets after the element");
  return findings;
}

// --envelope-version: the type-code functions, which take the version
// from the caller, apply to the records that have a type code.
void check_envelope_version(const options& o, const oxs_record_info& info) {
  if (o.envelope_version == 0) return;
  if (info.type_code == 0)
    throw tool_error(exit_bad_usage, std::string(info.type_name) + " has no type code; its buffers take envelope " +
                                         "version " + std::to_string(oxserutl::detail::kRecordVersion) + " (--envelope-version applies " +
                                         "to the records that oxser types lists with a code)");
  if (o.lcs) throw tool_error(exit_bad_usage, "--envelope-version and --lcs exclude each other: the type-code "
                                              "functions have no local-code-set form");
}

std::string run_decode(const options& o, const local_text* lcs) {
  const oxs_record_info& info = find_type(o.type);
  check_envelope_version(o, info);
  std::vector<unsigned char> data = input_bytes(read_input(o.file), form_of(o), "decode");
  record_holder record(info);
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(data.size());
  in.data = data.data();
  const int status = o.envelope_version != 0 ? tqasn_decode_obj(static_cast<int>(o.envelope_version), in,
                                                                 info.type_code, record.get())
                                             : info.decode(in, record.get(), lcs != nullptr ? 1 : 0);
  if (status != 0) throw tool_error(exit_bad_data, locate(data, info, lcs != nullptr, o.envelope_version));
  if (o.strict) {
    const std::vector<std::string> findings = strict_findings(data, info);
    if (!findings.empty()) {
      std::string message = "refused by --strict: " + std::string(info.type_name) +
                            "'s reader accepts the buffer, but a writer never produces";
      for (const std::string& f : findings) message += "\n  " + f;
      throw tool_error(exit_bad_data, message);
    }
  }
  // Read and accepted: the input's memory goes back before the text is
  // written, piece by piece, from the record.
  std::vector<unsigned char>().swap(data);
  std::vector<std::string> replaced;
  output_file out(o.output);
  write_record_json(info, record.get(), [&](const std::string& piece) { out.write(piece); }, lcs, &replaced);
  out.write("\n");
  out.finish();
  for (const std::string& path : replaced)
    std::fprintf(stderr, "oxser decode: warning: %s is not valid UTF-8; shown with U+FFFD\n", path.c_str());
  return {};
}

// --- asn1 ---------------------------------------------------------------------------

std::string run_asn1(const options& o) {
  std::vector<const oxs_record_info*> roots;
  for (const std::string& name : o.types) roots.push_back(&find_type(name));
  return asn1_module(roots);
}

// --- encode ------------------------------------------------------------------------

output run_encode(const options& o, const local_text* lcs) {
  const oxs_record_info& info = find_type(o.type);
  check_envelope_version(o, info);
  if (o.binary) throw tool_error(exit_bad_usage, "encode reads JSON; --binary applies to dump and decode");
  const std::vector<unsigned char> text = read_input(o.file);
  json value;
  try {
    value = parse_json(text);
  } catch (const json_error& e) {
    throw tool_error(exit_bad_data, e.what());
  }
  record_holder record(info);
  try {
    record_from_json(info, value, record.get(), lcs);
  } catch (const json_error& e) {
    throw tool_error(exit_bad_data, std::string(info.type_name) + (e.path().empty() ? ": " : ".") + e.what());
  }
  tq_asn_buffer_t out;
  const int status = o.envelope_version != 0 ? tqasn_encode_obj(static_cast<int>(o.envelope_version), record.get(),
                                                                 info.type_code, out)
                                             : info.encode(out, record.get(), lcs != nullptr ? 1 : 0);
  if (status == static_cast<int>(ASN_ERR_UNSUPPORTED)) {
    // The library's one word for a tree nested beyond its bound: say which bound.
    const record_depth d = nesting_of(info, value);
    const int bound = tq_asn_max_nesting_depth;
    if (d.levels > bound && d.generations > 0) {
      const int allowed = d.generations - (d.levels - bound + 1) / 2;
      throw tool_error(exit_bad_data, status_text(status) + ": the tree is " + std::to_string(d.generations) +
                                          " generations deep (" + std::to_string(d.levels) +
                                          " nested elements); the library writes at most " + std::to_string(bound) +
                                          " nested elements, here " + std::to_string(allowed) + " generations");
    }
    if (d.levels > bound)
      throw tool_error(exit_bad_data, status_text(status) + ": the record nests " + std::to_string(d.levels) +
                                          " elements deep; the library writes at most " + std::to_string(bound));
  }
  if (status != 0) {
    const char* meaning = tq_asn_status_text(static_cast<std::uint32_t>(status));
    throw tool_error(exit_bad_data, status_text(status) + ": the record could not be encoded [" +
                                        (meaning != nullptr ? meaning : "unknown status") + "]");
  }
  std::vector<unsigned char> bytes(out.data, out.data + out.length);
  tq_asn_buffer_free(out);
  if (o.hex) return {hex_lines(bytes)};
  return {std::string(bytes.begin(), bytes.end()), true};
}

// --- output --------------------------------------------------------------------------

void write_output(const std::string& file, const std::string& bytes, bool binary) {
  output_file out(file, binary);
  out.write(bytes);
  out.finish();
}

const char* const kJsonForm =
    "JSON form of a record: an object with the structure's fields in order, named as in the\n"
    "structure. Numbers for integers; strings for text; hex strings for byte blocks and fixed\n"
    "byte arrays; objects for nested records; arrays for lists (their count fields are left\n"
    "out, they follow from the arrays); null for an absent record held by pointer. A sparse\n"
    "array of 32 slots is an array of records and nulls, without the empty slots after the\n"
    "last filled one. encode reads missing fields as zero or empty and refuses unknown ones.\n"
    "`oxser types TYPE` lists a record's fields.";

const char* const kInputForm =
    "Input is FILE or standard input (also for FILE '-'), binary or text: hex digit pairs with\n"
    "white space, colons or commas between them (as openssl prints them), each perhaps behind\n"
    "0x or PostgreSQL's \\x; xxd's or hexdump -C's listing; base64 or PEM. Input of printable\n"
    "characters only is taken as text unless --binary is given; JSON is recognised and refused\n"
    "(encode reads it).";

// --- the commands ------------------------------------------------------------------

// One row per command: its word, its line in the usage, its options and
// what it does. The usage text and the dispatch follow from the table.
struct command {
  const char* name;
  const char* summary;
  void (*declare)(CLI::App& sub, options& o);
  // The output to write on success; commands that write as they read
  // write it themselves and give nothing.
  std::optional<output> (*run)(const options& o, const local_text* lcs);
};

// The record and how its functions are called (decode and encode).
void record_options(CLI::App& sub, options& o) {
  sub.add_option("--type,-t", o.type, "Record type (see oxser types)")->required();
  sub.add_flag("--lcs", o.lcs, "Use the local-code-set functions (text in the locale's code set)");
  sub.add_option("--envelope-version", o.envelope_version,
                 "For a record with a type code: the envelope version (1-255) of the buffer, read and written "
                 "by the type-code functions")
      ->check(CLI::Range(1, 255));
}

void input_options(CLI::App& sub, options& o) {
  sub.add_flag("--hex", o.hex, "The input is hex text");
  sub.add_flag("--binary", o.binary, "The input is binary");
}

const command kCommands[] = {
    {"types", "List the record types: type name, structure, module and type code",
     [](CLI::App& sub, options& o) {
       sub.add_option("TYPE", o.type, "Show the fields of this record type and their JSON form instead");
       sub.add_flag("--markdown", o.markdown,
                    "Print the record reference (docs/records.md): every record's C structure, ASN.1 and type name");
       sub.footer("Names: a record is known by its type name, structure name or binding class name.");
     },
     [](const options& o, const local_text*) -> std::optional<output> { return output{run_types(o)}; }},

    {"dump", "Show the envelope and the BER element tree of a buffer",
     [](CLI::App& sub, options& o) {
       sub.add_option("--type,-t", o.type, "Label each element with the field it carries in this record type");
       sub.add_flag("--raw", o.raw, "Bare BER without the envelope");
       sub.add_flag("--json", o.json_tree,
                    "Write the tree as JSON that oxser build turns back into the same octets (edit it to craft a buffer)");
       sub.add_flag("--all", o.all, "Dump several enveloped buffers that follow one another (cat a.ber b.ber)");
       input_options(sub, o);
       sub.add_option("--offset", o.offset, "Dump the element that starts at this offset (bare BER from there)")
           ->check(CLI::NonNegativeNumber);
       sub.add_option("--length", o.length, "With --offset: the octets from the offset that hold the element")
           ->check(CLI::NonNegativeNumber);
       sub.add_option("-o,--output", o.output, "Write to this file instead of standard output");
       sub.add_option("FILE", o.file, "Input file (default: standard input)");
       sub.footer(std::string("One line per element: offset, [field:] type [class tag], primitive or constructed,\n"
                              "definite length (hl header length, short or long form) or indefinite length, and for\n"
                              "primitives the value (INTEGER as a number, text quoted with escapes, octets as hex;\n"
                              "the first 256 octets of longer values). Offsets count from the first byte. Lines are\n"
                              "written as the elements are read; damaged input ends with a ** line that says where\n"
                              "reading stopped and why (exit status 1). '!!' marks valid BER that a writer of the\n"
                              "shortest form never produces: long-form or longer lengths, indefinite lengths,\n"
                              "constructed strings, INTEGERs with redundant leading octets; with --type also text\n"
                              "that is not valid UTF-8, zero octets that cut a string short, numbers their field\n"
                              "cannot hold as written. With --type, a status is the one that the record's decode\n"
                              "function returns.\n") +
                  kInputForm);
     },
     [](const options& o, const local_text*) -> std::optional<output> {
       if (o.json_tree)
         run_dump_json(o);
       else if (o.all)
         run_dump_all(o);
       else
         run_dump(o);  // writes as it reads
       return std::nullopt;
     }},

    {"decode", "Decode a buffer into a record and print it as JSON",
     [](CLI::App& sub, options& o) {
       record_options(sub, o);
       sub.add_flag("--strict", o.strict,
                    "Also refuse what the reader accepts but a writer never produces: bytes after the element, "
                    "encodings longer than the shortest form, text that is not valid UTF-8, zero octets inside text");
       input_options(sub, o);
       sub.add_option("-o,--output", o.output, "Write to this file instead of standard output");
       sub.add_option("FILE", o.file, "Input file (default: standard input)");
       sub.footer(std::string(kInputForm) + "\n\n" + kJsonForm);
     },
     [](const options& o, const local_text* lcs) -> std::optional<output> {
       run_decode(o, lcs);  // writes the text from the record
       return std::nullopt;
     }},

    {"encode", "Encode a record given as JSON into a buffer",
     [](CLI::App& sub, options& o) {
       record_options(sub, o);
       sub.add_flag("--hex", o.hex, "Write hex text instead of binary");
       sub.add_option("-o,--output", o.output, "Write to this file instead of standard output");
       sub.add_option("FILE", o.file, "JSON input file (default: standard input)");
       sub.footer(std::string("Binary output is not written to a terminal; use --hex or -o FILE.\n\n") + kJsonForm);
     },
     [](const options& o, const local_text* lcs) -> std::optional<output> { return run_encode(o, lcs); }},

    {"asn1", "Print the ASN.1 module of the records, for other ASN.1 toolchains",
     [](CLI::App& sub, options& o) {
       sub.add_option("TYPE", o.types, "Only these records and the records they hold");
       sub.add_option("-o,--output", o.output, "Write to this file instead of standard output");
       sub.footer(
           "The module is written from the library's run-time record description: each record is a SEQUENCE of\n"
           "its fields in order, lists are SEQUENCE OF, records held by pointer are OPTIONAL, the 32-slot sparse\n"
           "arrays are SEQUENCE OF a CHOICE between NULL (an empty slot) and the record. Its header explains\n"
           "the 4-octet envelope ahead of the element. Example: oxser asn1 > records.asn1 && asn1c records.asn1");
     },
     [](const options& o, const local_text*) -> std::optional<output> { return output{run_asn1(o)}; }},

    {"build", "Build a buffer from the JSON tree that dump --json writes",
     [](CLI::App& sub, options& o) {
       sub.add_flag("--hex", o.hex, "Write hex text instead of binary");
       sub.add_option("-o,--output", o.output, "Write to this file instead of standard output");
       sub.add_option("FILE", o.file, "JSON input file (default: standard input)");
       sub.footer(
           "The octets are put together as the tree gives them: identifier, length and end-of-contents octets as\n"
           "written (an element without \"length\" gets the shortest length of its contents), then the tail. Nothing\n"
           "is checked, so that a damaged buffer can be made on purpose. Binary output is not written to a terminal.\n"
           "Example: oxser dump --json acl.ber > acl.tree.json; (edit); oxser build acl.tree.json -o damaged.ber");
     },
     [](const options& o, const local_text*) -> std::optional<output> { return run_build(o); }},
};

// The local code set for --lcs. A locale that the environment names but
// that is not installed leaves the C locale's ASCII: said on standard error.
std::unique_ptr<local_text> open_local_text(const char* command) {
  const char* named = nullptr;
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (named == nullptr && value != nullptr && *value != '\0') named = value;
  }
  const bool installed = std::setlocale(LC_CTYPE, "") != nullptr;
  auto lcs = std::make_unique<local_text>();
  if (!installed)
    std::fprintf(stderr, "oxser %s: warning: the locale %s is not installed; --lcs uses the code set %s\n", command,
                 named != nullptr ? named : "of the environment", lcs->codeset().c_str());
  return lcs;
}

// How many characters the local code set could not hold, when any.
void report_substitutions(const local_text& lcs, const char* command) {
  if (lcs.to_local_substituted() != 0)
    std::fprintf(stderr, "oxser %s: warning: %zu character%s not in the local code set %s, written as '?'\n",
                 command, lcs.to_local_substituted(), lcs.to_local_substituted() == 1 ? " is" : "s are",
                 lcs.codeset().c_str());
  if (lcs.to_utf8_substituted() != 0)
    std::fprintf(stderr, "oxser %s: warning: %zu octet%s not text in the local code set %s, shown as U+FFFD\n",
                 command, lcs.to_utf8_substituted(), lcs.to_utf8_substituted() == 1 ? " is" : "s are",
                 lcs.codeset().c_str());
}

const command* find_command(const char* word) {
  for (const command& c : kCommands)
    if (std::strcmp(word, c.name) == 0) return &c;
  return nullptr;
}

// "types, dump, decode, ..."
std::string command_list() {
  std::string list;
  for (const command& c : kCommands) list += (list.empty() ? "" : ", ") + std::string(c.name);
  return list;
}

// Whether standard output and standard error are the same terminal, where
// a line written to both would show twice.
bool one_terminal() {
  struct stat out {}, err {};
  return isatty(STDOUT_FILENO) && isatty(STDERR_FILENO) && fstat(STDOUT_FILENO, &out) == 0 &&
         fstat(STDERR_FILENO, &err) == 0 && out.st_rdev == err.st_rdev;
}

// The message for standard error: without the first line when dump has
// just shown it as its ** line on the same terminal.
std::string message_once(const command& c, const std::string& message) {
  const std::string first = message.substr(0, message.find('\n'));
  const std::string& last = line_writer::last_terminal_line();
  if (std::strcmp(c.name, "dump") != 0 || !one_terminal() || last.find("** " + first) == std::string::npos)
    return message;
  return message.find('\n') == std::string::npos ? "" : message.substr(message.find('\n') + 1);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"oxser - look inside record buffers of liboxserutl, and turn records into JSON and back"};
  app.allow_windows_style_options(false);  // paths begin with / under Wine too
  app.footer(
      "A buffer is the envelope 04 <version> AC DC followed by one BER element; records use version 2.\n"
      "Exit status: 0 success, 1 bad data, 2 bad usage. decode and encode write nothing on failure;\n"
      "dump shows what it could read, then where and why it stopped.\n\n"
      "Examples:\n"
      "  oxser types\n"
      "  oxser encode --type acl_ext_t samples/acl.json -o acl.ber\n"
      "  oxser dump --type acl_ext_t acl.ber\n"
      "  oxser decode --type acl_ext_t acl.ber\n"
      "  oxser dump --offset 28 acl.ber\n"
      "  oxser asn1 acl_ext_t\n"
      "  oxser dump --json acl.ber > tree.json; oxser build tree.json -o again.ber");
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "Help for every command");
  options o;
  std::vector<std::pair<CLI::App*, const command*>> subs;
  for (const command& c : kCommands) {
    CLI::App* sub = app.add_subcommand(c.name, c.summary);
    c.declare(*sub, o);
    subs.emplace_back(sub, &c);
  }

  // The tool's version is that of the headers it was built with; the
  // library's is asked of the library loaded.
  app.set_version_flag("--version", [] {
    return std::string("oxser " OXSERUTL_VERSION_STRING " (liboxserutl ") + oxserutl_version() + " loaded)";
  });

  if (argc > 1 && argv[1][0] != '-' && find_command(argv[1]) == nullptr) {
    std::fprintf(stderr, "oxser: unknown command '%s' (commands: %s)\n", argv[1], command_list().c_str());
    return exit_bad_usage;
  }
  // Options belong after the command word: say so, and where.
  if (argc > 1 && argv[1][0] == '-' && std::strcmp(argv[1], "--help") != 0 && std::strcmp(argv[1], "-h") != 0 &&
      std::strcmp(argv[1], "--help-all") != 0 && std::strcmp(argv[1], "--version") != 0) {
    int command_at = 0;
    for (int i = 2; i < argc && command_at == 0; ++i)
      if (find_command(argv[i]) != nullptr) command_at = i;
    if (command_at != 0) {
      std::string moved = std::string("oxser ") + argv[command_at];
      for (int i = 1; i < argc; ++i)
        if (i != command_at) moved += std::string(" ") + argv[i];
      std::fprintf(stderr, "oxser: option %s comes before the command word '%s'; options belong after it: %s\n",
                   argv[1], argv[command_at], moved.c_str());
    } else {
      std::fprintf(stderr, "oxser: option %s comes before any command; options belong after the command word "
                           "(oxser COMMAND [OPTIONS]; commands: %s)\n", argv[1], command_list().c_str());
    }
    return exit_bad_usage;
  }
#if defined(_WIN32)
  // Octets in and out as they are, as on POSIX: no CR before each LF.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    // Named with the command it was given to, when there is one.
    const char* given = argc > 1 && find_command(argv[1]) != nullptr ? argv[1] : nullptr;
    if (given != nullptr)
      std::fprintf(stderr, "oxser %s: %s\nRun 'oxser %s --help' for its usage.\n", given, e.what(), given);
    else
      std::fprintf(stderr, "oxser: %s\nRun 'oxser --help' or 'oxser COMMAND --help' for usage.\n", e.what());
    return exit_bad_usage;
  }

  const command* chosen = nullptr;
  for (const auto& [sub, c] : subs)
    if (sub->parsed()) chosen = c;
  std::unique_ptr<local_text> lcs;
  if (o.lcs) lcs = open_local_text(chosen->name);
  try {
    const std::optional<output> out = chosen->run(o, lcs.get());
    if (out) write_output(o.output, out->bytes, out->binary);
    if (lcs != nullptr) report_substitutions(*lcs, chosen->name);
    return exit_ok;
  } catch (const tool_error& e) {
    const std::string message = message_once(*chosen, e.what());
    if (!message.empty()) std::fprintf(stderr, "oxser %s: %s\n", chosen->name, message.c_str());
    return e.exit_status();
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "oxser %s: out of memory\n", chosen->name);
    return exit_bad_data;
  }
}
