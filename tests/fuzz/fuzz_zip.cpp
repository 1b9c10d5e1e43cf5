// libFuzzer target for UNZIP32.DLL: any bytes as an archive, through recognition, the full
// check, the test command and an extraction; and the same bytes as the compressed data of each
// method our own decoders read. Crashes, hangs and leaks are the findings.
#include "zip_archive.h"
#include "zip_decode.h"
#include "zip_file.h"

#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "fuzz_input.h"

namespace {

const std::string& Destination() {
  static const std::string dir = [] {
    char name[] = "/tmp/fuzz-zip-XXXXXX";
    const char* made = ::mkdtemp(name);
    return std::string(made != nullptr ? made : "/tmp") + "/";
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::InputFile(data, size);
  if (path.empty()) return 0;
  zipar::Check(path.c_str(), 0);
  const int full = zipar::Check(path.c_str(), 2);
  const int rc = zipar::Command(("-t \"" + path + "\"").c_str());
  // The full check and the test command must agree.
  if ((full != 0) != (rc >= 0 && rc <= 0x7FFF)) __builtin_trap();
  if (zipar::Command(("-x \"" + path + "\" \"" + Destination() + "\" \"a.txt\"").c_str()) == 0) {
    ::unlink((Destination() + "a.txt").c_str());
  }

  // The bytes after the first as member data; the first sets the declared size (up to 1 MiB).
  if (size < 2) return 0;
  zipar::ArchiveFile file;
  if (file.Open(path) != 0) return 0;
  const uint64_t declared = static_cast<uint64_t>(data[0]) << 12;
  for (int method = 0; method < 8; ++method) {
    zipar::Input in(file, 1, size - 1);
    zipar::Output out(declared, nullptr);
    switch (method) {
      case 0:
        zipar::Unshrink(in, out);
        break;
      case 1:
      case 2:
      case 3:
      case 4:
        zipar::Unreduce(in, out, method);
        break;
      case 5:
        zipar::Explode(in, out, (data[0] & 1) != 0, (data[0] & 2) != 0);
        break;
      case 6:
        zipar::Inflate64(in, out);
        break;
      default:
        zipar::InflateIsal(in, out);
        break;
    }
    if (out.produced() > declared) __builtin_trap();
  }
  return 0;
}
