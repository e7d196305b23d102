// The oxser tool against its own bounds, as ratios measured in one run:
//   - encode's CPU time per value of one JSON array of 50,000 and of 500,000
//     values (linear: the ratio stays near 1);
//   - the peak resident memory of `oxser decode` of a 27 MB attribute list
//     to JSON beside that of a process that only reads the file and decodes
//     it with the library (the tool's bound is 1.5 times that).
// Each program runs as a child process; its CPU time and peak memory are the
// kernel's account of it (wait4's rusage).
//
//   oxser_tool_ratios OXSER             prints the report lines
//   oxser_tool_ratios --decode FILE     the library's decode alone (a child)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <oxserutl/oxserutl.h>

namespace {

struct usage {
  double cpu_seconds = 0;
  long peak_kb = 0;
};

usage run(const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage r{};
  wait4(pid, &status, 0, &r);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", args[0].c_str());
    std::exit(1);
  }
  const double cpu = static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
                     static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
  return {cpu, r.ru_maxrss};
}

std::string temp(const std::string& name) { return "/tmp/oxser-ratios-" + std::to_string(getpid()) + "-" + name; }

// One attribute holding n values in one array.
void write_json(const std::string& path, std::size_t n) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  std::fputs("{\"attr_array\":[{\"name\":\"a\",\"values\":[", f);
  for (std::size_t i = 0; i < n; ++i)
    std::fputs(i == 0 ? "{\"value_type\":1,\"string_value\":\"v\",\"octet_value\":\"00\"}"
                      : ",{\"value_type\":1,\"string_value\":\"v\",\"octet_value\":\"00\"}",
               f);
  std::fputs("]}]}\n", f);
  std::fclose(f);
}

void put_length(std::string& out, std::size_t n) {
  if (n < 0x80) {
    out += static_cast<char>(n);
    return;
  }
  int octets = 0;
  for (std::size_t v = n; v != 0; v >>= 8) ++octets;
  out += static_cast<char>(0x80 | octets);
  while (octets-- > 0) out += static_cast<char>(n >> (8 * octets));
}

std::string tlv(char identifier, const std::string& contents) {
  std::string out(1, identifier);
  put_length(out, contents.size());
  return out + contents;
}

// The same attribute list as a buffer of about the given size.
void write_buffer(const std::string& path, std::size_t size) {
  const std::string value = tlv(0x30, tlv(0x02, "\x01") + tlv(0x0c, "v") + tlv(0x04, std::string(1, '\0')));
  std::string values;
  values.reserve(size);
  while (values.size() < size) values += value;
  const std::string buffer =
      "\x04\x02\xac\xdc" + tlv(0x30, tlv(0x30, tlv(0x30, tlv(0x0c, "a") + tlv(0x30, values))));
  std::ofstream(path, std::ios::binary).write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
}

int library_decode(const char* file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const oxs_record_info* info = oxs_find_record("attrlist_t");
  void* record = std::calloc(1, info->size);
  tq_asn_buffer_t buffer;
  buffer.length = static_cast<std::uint32_t>(data.size());
  buffer.data = data.data();
  const int status = info->decode(buffer, record, 0);
  info->release(record);
  std::free(record);
  return status == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--decode") return library_decode(argv[2]);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OXSER\n", argv[0]);
    return 2;
  }
  const std::string oxser = argv[1], self = argv[0];
  const std::string json = temp("values.json");
  double per_value[2] = {0, 0};
  const std::size_t counts[2] = {50000, 500000};
  for (int k = 0; k < 2; ++k) {
    write_json(json, counts[k]);
    double best = 1e30;
    for (int repeat = 0; repeat < 3; ++repeat) {
      const usage u = run({oxser, "encode", "--type", "attrlist_t", json, "-o", "/dev/null"});
      if (u.cpu_seconds < best) best = u.cpu_seconds;
    }
    per_value[k] = best / static_cast<double>(counts[k]) * 1e9;
    std::printf("  oxser encode, one array of %7zu values: %8.0f ns/value\n", counts[k], per_value[k]);
  }
  const double growth = per_value[1] / per_value[0];
  std::printf("  encode time per value, 500,000 / 50,000 values: %.2f (bound 1.5: %s)\n", growth,
              growth < 1.5 ? "met" : "MISSED");
  std::remove(json.c_str());

  const std::string buffer = temp("attrlist.ber");
  write_buffer(buffer, 27u << 20);
  const usage library = run({self, "--decode", buffer});
  const usage tool = run({oxser, "decode", "--type", "attrlist_t", buffer, "-o", "/dev/null"});
  const double memory = static_cast<double>(tool.peak_kb) / static_cast<double>(library.peak_kb);
  std::printf("  peak memory decoding 27 MB of attrlist_t: library %ld KiB, oxser decode to JSON %ld KiB\n",
              library.peak_kb, tool.peak_kb);
  std::printf("  oxser decode / library decode peak memory: %.2f (bound 1.5: %s)\n", memory,
              memory < 1.5 ? "met" : "MISSED");
  std::remove(buffer.c_str());
  return 0;
}
