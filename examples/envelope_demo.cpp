// Builds a SEQUENCE of an INTEGER and an OCTET STRING, saves it in a
// version-2 envelope, prints the bytes as hex, loads them back into a fresh
// object tree and prints the values.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <oxserutl/oxserutl.h>

namespace {
struct pair_record : tq_asnbase {
  tq_asn_integer number;
  tq_asn_octetstring text;
  pair_record() {
    register_child(&number);
    register_child(&text);
  }
};

void print_hex(const tq_asn_buffer_t& buf) {
  for (std::uint32_t i = 0; i < buf.length; ++i) std::printf("%02X%s", buf.data[i], i + 1 < buf.length ? " " : "\n");
}
}  // namespace

int main(int argc, char** argv) {
  const std::int32_t number = argc > 1 ? std::atoi(argv[1]) : 300;
  const char* text = argc > 2 ? argv[2] : "hello";

  pair_record out;
  out.number.set_value(number);
  out.text.set_value(reinterpret_cast<const unsigned char*>(text), static_cast<std::uint32_t>(std::strlen(text)));
  tq_asn_buffer_t bytes;
  int status = tq_asnbase::saveEncoding(&out, 2, bytes);
  if (status != 0) {
    std::fprintf(stderr, "encode failed: %s\n", tq_asn_status_name(status));
    return 1;
  }
  std::printf("encoded %u bytes: ", static_cast<unsigned>(bytes.length));
  print_hex(bytes);

  pair_record in;
  status = tq_asnbase::loadObject(&in, 2, bytes);
  tq_asn_buffer_free(bytes);
  if (status != 0) {
    std::fprintf(stderr, "decode failed: %s\n", tq_asn_status_name(status));
    return 1;
  }
  std::int32_t n = 0;
  unsigned char* p = nullptr;
  std::uint32_t len = 0;
  if (in.number.get_value(n) != 0 || in.text.get_value(p, len) != 0) return 1;
  std::printf("decoded INTEGER %d, OCTET STRING \"%.*s\"\n", static_cast<int>(n), static_cast<int>(len),
              reinterpret_cast<const char*>(p));
  return 0;
}
