// The fuzz input as a file the archiver libraries open by name: one in-memory file, rewritten for
// every input and reached through its /proc path.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// The path of a file holding exactly `data`, or empty when it could not be written.
inline std::string InputFile(const uint8_t* data, size_t size) {
  static const int fd = ::memfd_create("fuzz-input", MFD_CLOEXEC);
  if (fd < 0 || ::ftruncate(fd, 0) != 0) return std::string();
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) return std::string();
    done += static_cast<size_t>(n);
  }
  return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace fuzz
