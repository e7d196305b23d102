#include "ber_print.h"
#include "tool_io.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace oxser {

namespace {

// Names of the universal tags (X.680 8.4, table 1).
const char* universal_name(std::uint32_t tag) {
  switch (tag) {
    case 0: return "end-of-contents";
    case 1: return "BOOLEAN";
    case 2: return "INTEGER";
    case 3: return "BIT STRING";
    case 4: return "OCTET STRING";
    case 5: return "NULL";
    case 6: return "OBJECT IDENTIFIER";
    case 7: return "ObjectDescriptor";
    case 8: return "EXTERNAL";
    case 9: return "REAL";
    case 10: return "ENUMERATED";
    case 11: return "EMBEDDED PDV";
    case 12: return "UTF8String";
    case 13: return "RELATIVE-OID";
    case 16: return "SEQUENCE";
    case 17: return "SET";
    case 18: return "NumericString";
    case 19: return "PrintableString";
    case 20: return "TeletexString";
    case 21: return "VideotexString";
    case 22: return "IA5String";
    case 23: return "UTCTime";
    case 24: return "GeneralizedTime";
    case 25: return "GraphicString";
    case 26: return "VisibleString";
    case 27: return "GeneralString";
    case 28: return "UniversalString";
    case 29: return "CHARACTER STRING";
    case 30: return "BMPString";
    default: return nullptr;
  }
}

bool single_octet_text(std::uint32_t tag) {
  return tag == 18 || tag == 19 || tag == 20 || tag == 21 || tag == 22 || tag == 23 || tag == 24 || tag == 25 ||
         tag == 26 || tag == 27;
}

std::string spaced_hex(const unsigned char* bytes, std::size_t length) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    if (i) out += ' ';
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

void append_code_point(std::string& out, std::uint32_t cp) {
  char text[16];
  if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0) || (cp >= 0xD800 && cp < 0xE000) || cp > 0x10FFFF) {
    std::snprintf(text, sizeof text, "\\u{%x}", cp);
    out += text;
  } else if (cp == '"' || cp == '\\') {
    out += '\\';
    out += static_cast<char>(cp);
  } else if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// BMPString (2 octets per character) and UniversalString (4).
std::string wide_text(const unsigned char* bytes, std::size_t length, std::size_t width) {
  if (length % width != 0) return spaced_hex(bytes, length);
  std::string out = "\"";
  for (std::size_t i = 0; i < length; i += width) {
    std::uint32_t cp = 0;
    for (std::size_t k = 0; k < width; ++k) cp = cp << 8 | bytes[i + k];
    append_code_point(out, cp);
  }
  return out + "\"";
}

std::string integer_text(const unsigned char* bytes, std::size_t length) {
  if (length == 0) return "(no content octets)";
  if (length > 8) {
    std::string hex = spaced_hex(bytes, length);
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    return "0x" + hex;
  }
  std::int64_t v = (bytes[0] & 0x80) != 0 ? -1 : 0;
  for (std::size_t i = 0; i < length; ++i) v = static_cast<std::int64_t>(static_cast<std::uint64_t>(v) << 8 | bytes[i]);
  return std::to_string(v);
}

std::string oid_text(const unsigned char* bytes, std::size_t length) {
  std::string out;
  std::uint64_t arc = 0;
  bool first = true;
  for (std::size_t i = 0; i < length; ++i) {
    if (arc > (UINT64_MAX >> 7)) return spaced_hex(bytes, length);
    arc = arc << 7 | (bytes[i] & 0x7F);
    if (bytes[i] & 0x80) continue;
    if (first) {
      const std::uint64_t top = arc < 40 ? 0 : arc < 80 ? 1 : 2;
      out = std::to_string(top) + "." + std::to_string(arc - top * 40);
      first = false;
    } else {
      out += "." + std::to_string(arc);
    }
    arc = 0;
  }
  if (first || (bytes[length - 1] & 0x80)) return spaced_hex(bytes, length);
  return out;
}

bool printable_text(const unsigned char* bytes, std::size_t length) {
  if (length == 0) return false;
  const std::size_t body = bytes[length - 1] == 0 ? length - 1 : length;
  if (body == 0) return false;
  for (std::size_t i = 0; i < body; ++i)
    if (bytes[i] < 0x20 || bytes[i] >= 0x7F) return false;
  return true;
}

std::string value_text(const ber_header& n, const unsigned char* bytes, std::size_t length) {
  if (n.cls != 0) return length ? spaced_hex(bytes, length) : "";
  switch (n.tag) {
    case 1: return length == 1 ? (bytes[0] ? "TRUE" : "FALSE") : spaced_hex(bytes, length);
    case 2:
    case 10: return integer_text(bytes, length);
    case 3:
      if (length == 0) return "";
      return "unused bits " + std::to_string(bytes[0]) + (length > 1 ? ": " + spaced_hex(bytes + 1, length - 1) : "");
    case 4: {
      if (length == 0) return "";
      std::string out = spaced_hex(bytes, length);
      if (printable_text(bytes, length)) out += "  " + quoted(bytes, length, false);
      return out;
    }
    case 5: return length ? spaced_hex(bytes, length) : "";
    case 6:
    case 13: return length ? oid_text(bytes, length) : "";
    case 12: return quoted(bytes, length, true);
    case 28: return wide_text(bytes, length, 4);
    case 30: return wide_text(bytes, length, 2);
    default:
      if (single_octet_text(n.tag)) return quoted(bytes, length, false);
      return length ? spaced_hex(bytes, length) : "";
  }
}

std::string header_text(const ber_header& n) {
  static const char* const classes[] = {"universal", "application", "context", "private"};
  std::string out;
  const char* name = n.cls == 0 ? universal_name(n.tag) : nullptr;
  if (name != nullptr) out = std::string(name) + " ";
  out += "[" + std::string(classes[n.cls & 3]) + " " + std::to_string(n.tag) + "] ";
  out += n.constructed ? "constructed" : "primitive";
  const std::string hl = std::to_string(n.header_length());
  if (!n.definite())
    out += ", indefinite length (hl " + hl + ")";
  else
    out += ", length " + std::to_string(n.length) + " (hl " + hl +
           (n.form == length_form::long_form ? ", long)" : ", short)");
  return out;
}

std::string offset_column(std::size_t offset) {
  char text[24];
  std::snprintf(text, sizeof text, "%6zu  ", offset);
  return text;
}

}  // namespace

std::string quoted(const unsigned char* bytes, std::size_t length, bool utf8) {
  std::string out = "\"";
  char text[8];
  for (std::size_t i = 0; i < length;) {
    const unsigned char c = bytes[i];
    if (c >= 0x80 && utf8) {
      const std::size_t n = utf8_sequence(bytes + i, length - i);
      if (n != 0) {
        out.append(reinterpret_cast<const char*>(bytes + i), n);
        i += n;
        continue;
      }
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case 0: out += "\\0"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          std::snprintf(text, sizeof text, "\\x%02x", c);
          out += text;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out + "\"";
}

std::string envelope_line(const envelope_info& envelope) {
  char text[96];
  std::snprintf(text, sizeof text, "envelope: header length %u, version %u, markers AC DC\n", envelope.header_length,
                envelope.version);
  return offset_column(0) + text;
}

std::string element_line(bytes_view data, const ber_header& h, int depth,
                         const std::string& label, const std::vector<ber_note>& notes) {
  std::string out = offset_column(h.offset);
  out.append(static_cast<std::size_t>(depth) * 2, ' ');
  if (!label.empty()) out += label + ": ";
  out += header_text(h);
  if (!h.constructed) {
    const std::size_t shown = std::min(h.length, value_limit);
    std::string value = value_text(h, data.data() + h.content, shown);
    if (shown < h.length) value += " ... (" + std::to_string(h.length - shown) + " more octets)";
    if (!value.empty()) out += " = " + value;
  }
  for (std::size_t i = 0; i < notes.size(); ++i) out += (i == 0 ? "  !! " : "; ") + notes[i].text;
  return out + "\n";
}

std::string end_of_contents_line(std::size_t offset, int depth) {
  return offset_column(offset) + std::string(static_cast<std::size_t>(depth) * 2, ' ') + "end-of-contents 00 00\n";
}

std::string late_note_line(std::size_t offset, int depth, const std::string& label, const ber_note& note) {
  return offset_column(offset) + std::string(static_cast<std::size_t>(depth) * 2, ' ') + label + ": !! " + note.text +
         "\n";
}

std::string fault_line(const ber_fault& fault, const std::string& text) {
  return offset_column(fault.offset) + "** " + text + "\n";
}

std::string trailing_line(std::size_t element_end, std::size_t size) {
  if (element_end >= size) return "";
  return offset_column(element_end) + std::to_string(size - element_end) +
         " octets after the element (readers ignore them)\n";
}

}  // namespace oxser
