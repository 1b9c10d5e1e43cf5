// libFuzzer target: the ARJ reader (recognition and full test) over arbitrary files.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "arj_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int fd = memfd_create("fuzz_arj", 0);
  if (fd < 0) return 0;
  if (ftruncate(fd, 0) != 0) return 0;
  if (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  arj::CheckArchive(path.c_str(), 0);
  arc::TestResult result;
  arj::TestArchive(path.c_str(), result);
  return 0;
}
