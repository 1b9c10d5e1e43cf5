// libFuzzer target for UNZIP32.DLL: any bytes as an archive, through recognition, the full
// check and the test command. Crashes, hangs and leaks are the findings.
#include "zip_archive.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// One in-memory file, reached through its /proc path like any archive on disk.
const std::string& ArchivePath() {
  static const std::string path = [] {
    const int fd = ::memfd_create("fuzz.zip", MFD_CLOEXEC);
    return fd < 0 ? std::string() : "/proc/self/fd/" + std::to_string(fd);
  }();
  return path;
}

bool Store(const uint8_t* data, size_t size) {
  const std::string& path = ArchivePath();
  if (path.empty()) return false;
  const int fd = std::stoi(path.substr(path.rfind('/') + 1));
  if (::ftruncate(fd, 0) != 0) return false;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!Store(data, size)) return 0;
  const std::string& path = ArchivePath();
  zipar::Check(path.c_str(), 0);
  const int full = zipar::Check(path.c_str(), 2);
  const int rc = zipar::Command(("-t \"" + path + "\"").c_str());
  // The full check and the test command must agree.
  if ((full != 0) != (rc >= 0 && rc <= 0x7FFF)) __builtin_trap();
  return 0;
}
