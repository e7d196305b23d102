// oxser: look inside record buffers, and turn records into JSON and back.
//
// Every command builds its whole output in memory and writes it only when
// it succeeded, so a failure leaves standard output (or the -o file)
// untouched; the reason goes to standard error. Exit status 0 on success, 1
// for bad data, 2 for bad usage.
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#define isatty _isatty
#define STDOUT_FILENO 1
#else
#include <unistd.h>
#endif

#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include <oxserutl/oxserutl.h>

#include "ber_print.h"
#include "ber_tree.h"
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

// --- types -----------------------------------------------------------------------

std::string field_kind_text(const oxs_field_info& f) {
  const std::string element = f.element != nullptr ? f.element()->type_name : "";
  switch (f.kind) {
    case oxs_kind_i32: return "number (signed 32-bit)";
    case oxs_kind_u32: return "number (unsigned 32-bit)";
    case oxs_kind_u16: return "number (unsigned 16-bit)";
    case oxs_kind_u8: return "number (unsigned 8-bit)";
    case oxs_kind_string: return "string";
    case oxs_kind_cstring: return "string (carried with its terminator)";
    case oxs_kind_fixed: return "hex string of " + std::to_string(f.fixed_size) + " bytes";
    case oxs_kind_block: return std::string("hex string (length in ") + f.count_name + ")";
    case oxs_kind_list:
    case oxs_kind_list16:
    case oxs_kind_ptrlist: return "array of " + element + std::string(" (count in ") + f.count_name + ")";
    case oxs_kind_strings: return std::string("array of strings (count in ") + f.count_name + ")";
    case oxs_kind_ints: return std::string("array of numbers (count in ") + f.count_name + ")";
    case oxs_kind_nested: return element;
    case oxs_kind_optional: return element + " or null";
    case oxs_kind_sparse: return "array of up to 32 slots, each " + element + " or null";
  }
  return "";
}

std::string run_types(const options& o) {
  std::string out;
  char line[256];
  if (!o.type.empty()) {
    const oxs_record_info& info = find_type(o.type);
    std::snprintf(line, sizeof line, "%s (structure %s, module %s", info.type_name, info.structure, info.module);
    out += line;
    if (info.type_code != 0) out += ", type code " + std::to_string(info.type_code);
    out += ")\n";
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

[[noreturn]] void data_fault(const ber_fault& f, const std::string& hint = {}) {
  throw tool_error(exit_bad_data, describe(f) + hint);
}

std::string run_dump(const options& o) {
  const oxs_record_info* info = o.type.empty() ? nullptr : &find_type(o.type);
  const std::vector<unsigned char> data = input_bytes(read_input(o.file), form_of(o));
  std::string out;
  std::size_t start = 0;
  if (!o.raw) {
    envelope_info envelope;
    if (auto f = read_envelope(data, info != nullptr ? record_version : 0, envelope)) data_fault(*f);
    out += envelope_line(envelope);
    start = envelope.header_length;
  } else if (data.empty()) {
    data_fault(ber_fault{ASN_ERR_TRUNCATED, 0, "identifier octets", "no input"});
  }
  ber_node root;
  if (auto f = read_element(data, start, data.size(), root)) data_fault(*f);
  if (info != nullptr) {
    if (auto f = label_record(root, *info))
      data_fault(*f, "\n(without --type, dump shows the elements as they are)");
  }
  out += tree_lines(data, root);
  out += trailing_line(root.end, data.size());
  return out;
}

// --- decode ------------------------------------------------------------------------

// Where reading stopped, found by walking the bytes with the description
// after the library refused them.
std::string locate(const std::vector<unsigned char>& data, const oxs_record_info& info, int status) {
  std::optional<ber_fault> f;
  envelope_info envelope;
  ber_node root;
  f = read_envelope(data, record_version, envelope);
  if (!f) f = read_element(data, envelope.header_length, data.size(), root);
  if (!f) f = label_record(root, info);
  if (!f) return status_text(status) + ": the record's reader refused the data [" +
                 std::string(tq_asn_status_text(static_cast<std::uint32_t>(status)) ? tq_asn_status_text(static_cast<std::uint32_t>(status)) : "unknown status") +
                 "]";
  f->status = status;
  return describe(*f);
}

std::string run_decode(const options& o, const local_text* lcs) {
  const oxs_record_info& info = find_type(o.type);
  std::vector<unsigned char> data = input_bytes(read_input(o.file), form_of(o));
  record_holder record(info);
  tq_asn_buffer_t in;
  in.length = static_cast<std::uint32_t>(data.size());
  in.data = data.data();
  const int status = info.decode(in, record.get(), lcs != nullptr ? 1 : 0);
  if (status != 0) throw tool_error(exit_bad_data, locate(data, info, status));
  std::vector<std::string> replaced;
  const json value = record_to_json(info, record.get(), lcs, &replaced);
  for (const std::string& path : replaced)
    std::fprintf(stderr, "oxser decode: warning: %s is not valid UTF-8; shown with U+FFFD\n", path.c_str());
  return value.dump(2) + "\n";
}

// --- encode ------------------------------------------------------------------------

std::string run_encode(const options& o, const local_text* lcs, bool& binary) {
  const oxs_record_info& info = find_type(o.type);
  if (o.binary) throw tool_error(exit_bad_usage, "encode reads JSON; --binary applies to dump and decode");
  const std::vector<unsigned char> text = read_input(o.file);
  json value;
  try {
    value = json::parse(text.begin(), text.end());
  } catch (const json::parse_error& e) {
    throw tool_error(exit_bad_data, "input is not JSON: error at byte " + std::to_string(e.byte) + ": " +
                                        std::string(e.what()));
  }
  record_holder record(info);
  try {
    record_from_json(info, value, record.get(), lcs);
  } catch (const json_error& e) {
    throw tool_error(exit_bad_data, std::string(info.type_name) + (e.path().empty() ? ": " : ".") + e.what());
  }
  tq_asn_buffer_t out;
  const int status = info.encode(out, record.get(), lcs != nullptr ? 1 : 0);
  if (status != 0) {
    const char* meaning = tq_asn_status_text(static_cast<std::uint32_t>(status));
    throw tool_error(exit_bad_data, status_text(status) + ": the record could not be encoded [" +
                                        (meaning != nullptr ? meaning : "unknown status") + "]");
  }
  std::vector<unsigned char> bytes(out.data, out.data + out.length);
  tq_asn_buffer_free(out);
  binary = !o.hex;
  return o.hex ? hex_lines(bytes) : std::string(bytes.begin(), bytes.end());
}

// --- output --------------------------------------------------------------------------

void write_output(const std::string& file, const std::string& bytes, bool binary) {
  if (file.empty() || file == "-") {
    if (binary && isatty(STDOUT_FILENO))
      throw tool_error(exit_bad_usage, "refusing to write binary to a terminal; use --hex or -o FILE");
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
      throw tool_error(exit_bad_usage, "cannot write standard output");
    return;
  }
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (f == nullptr) throw tool_error(exit_bad_usage, "cannot write " + file + ": " + std::strerror(errno));
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) throw tool_error(exit_bad_usage, "cannot write " + file);
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
    "Input is FILE or standard input (also for FILE '-'), binary or hex text: hex digit pairs\n"
    "with any white space between them. Input of printable characters only is taken as hex\n"
    "text unless --binary is given.";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"oxser - look inside record buffers of liboxserutl, and turn records into JSON and back"};
  app.allow_windows_style_options(false);  // paths begin with / under Wine too
  app.footer(
      "A buffer is the envelope 04 <version> AC DC followed by one BER element; records use version 2.\n"
      "Exit status: 0 success, 1 bad data, 2 bad usage. On failure nothing is written to the output.\n\n"
      "Examples:\n"
      "  oxser types\n"
      "  oxser encode --type acl_ext_t samples/acl.json -o acl.ber\n"
      "  oxser dump --type acl_ext_t acl.ber\n"
      "  oxser decode --type acl_ext_t acl.ber");
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "Help for every command");
  options o;

  CLI::App* types = app.add_subcommand("types", "List the record types: type name, structure, module and type code");
  types->add_option("TYPE", o.type, "Show the fields of this record type and their JSON form instead");
  types->footer("Names: a record is known by its type name, structure name or binding class name.");

  CLI::App* dump = app.add_subcommand("dump", "Show the envelope and the BER element tree of a buffer");
  dump->add_option("--type,-t", o.type, "Label each element with the field it carries in this record type");
  dump->add_flag("--raw", o.raw, "Bare BER without the envelope");
  dump->add_flag("--hex", o.hex, "The input is hex text");
  dump->add_flag("--binary", o.binary, "The input is binary");
  dump->add_option("-o,--output", o.output, "Write to this file instead of standard output");
  dump->add_option("FILE", o.file, "Input file (default: standard input)");
  dump->footer(std::string("One line per element: offset, [field:] type [class tag], primitive or constructed,\n"
                           "definite length or indefinite length, and for primitives the value (INTEGER as a\n"
                           "number, text quoted with escapes, octets as hex). Offsets count from the first byte.\n") +
               kInputForm);

  CLI::App* decode = app.add_subcommand("decode", "Decode a buffer into a record and print it as JSON");
  decode->add_option("--type,-t", o.type, "Record type (see oxser types)")->required();
  decode->add_flag("--lcs", o.lcs, "Use the local-code-set functions (text in the locale's code set)");
  decode->add_flag("--hex", o.hex, "The input is hex text");
  decode->add_flag("--binary", o.binary, "The input is binary");
  decode->add_option("-o,--output", o.output, "Write to this file instead of standard output");
  decode->add_option("FILE", o.file, "Input file (default: standard input)");
  decode->footer(std::string(kInputForm) + "\n\n" + kJsonForm);

  CLI::App* encode = app.add_subcommand("encode", "Encode a record given as JSON into a buffer");
  encode->add_option("--type,-t", o.type, "Record type (see oxser types)")->required();
  encode->add_flag("--lcs", o.lcs, "Use the local-code-set functions (text in the locale's code set)");
  encode->add_flag("--hex", o.hex, "Write hex text instead of binary");
  encode->add_option("-o,--output", o.output, "Write to this file instead of standard output");
  encode->add_option("FILE", o.file, "JSON input file (default: standard input)");
  encode->footer(std::string("Binary output is not written to a terminal; use --hex or -o FILE.\n\n") + kJsonForm);

  if (argc > 1 && argv[1][0] != '-' && !(std::strcmp(argv[1], "types") == 0 || std::strcmp(argv[1], "dump") == 0 ||
                                         std::strcmp(argv[1], "decode") == 0 || std::strcmp(argv[1], "encode") == 0)) {
    std::fprintf(stderr, "oxser: unknown command '%s' (commands: types, dump, decode, encode)\n", argv[1]);
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
    std::fprintf(stderr, "oxser: %s\nRun 'oxser --help' or 'oxser COMMAND --help' for usage.\n", e.what());
    return exit_bad_usage;
  }

  CLI::App* command = app.get_subcommands().front();
  const std::string name = command->get_name();
  std::unique_ptr<local_text> lcs;
  if (o.lcs) {
    std::setlocale(LC_CTYPE, "");
    lcs = std::make_unique<local_text>();
  }
  try {
    std::string out;
    bool binary = false;
    if (command == types)
      out = run_types(o);
    else if (command == dump)
      out = run_dump(o);
    else if (command == decode)
      out = run_decode(o, lcs.get());
    else
      out = run_encode(o, lcs.get(), binary);
    write_output(o.output, out, binary);
    return exit_ok;
  } catch (const tool_error& e) {
    std::fprintf(stderr, "oxser %s: %s\n", name.c_str(), e.what());
    return e.exit_status();
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "oxser %s: out of memory\n", name.c_str());
    return exit_bad_data;
  }
}
