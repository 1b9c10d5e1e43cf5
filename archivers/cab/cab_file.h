// Reading a cabinet file: one descriptor, large positioned reads through a window, progress
// reported on every read, and each failure turned into a library code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>

namespace cabar {

// Bytes read so far by one call, over every file of a set, against their total size.
struct Meter {
  uint64_t done = 0;
  uint64_t total = 0;
};

class CabFile {
 public:
  explicit CabFile(Meter& meter) : meter_(meter) {}
  ~CabFile();
  CabFile(const CabFile&) = delete;
  CabFile& operator=(const CabFile&) = delete;

  // 0, or 0x8018 for a file that is missing, unreadable or not a regular file (a folder, FIFO or
  // device is refused before anything waits on it).
  int Open(const std::string& path);
  const std::string& path() const { return path_; }
  int fd() const { return fd_; }
  int64_t size() const { return size_; }
  dev_t device() const { return device_; }
  ino_t inode() const { return inode_; }

  // A pointer to `n` bytes at `pos`, valid until the next call (n at most kWindow). 0; 0x8017 when
  // the file ends first; 0x801A for a failed read or a cancelled call.
  int View(int64_t pos, size_t n, const unsigned char** out);
  // Copies `n` bytes at `pos`; codes as View.
  int Read(int64_t pos, void* out, size_t n);

  static constexpr size_t kWindow = 1u << 20;

 private:
  int Fill(int64_t pos, size_t need);

  Meter& meter_;
  std::string path_;
  int fd_ = -1;
  int64_t size_ = 0;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  std::unique_ptr<unsigned char[]> window_;
  int64_t windowPos_ = 0;
  size_t windowLen_ = 0;
};

// Test seam: every read reaching this file offset fails as an I/O error does (-1: none).
void SetReadFailure(int64_t offset);

}  // namespace cabar
