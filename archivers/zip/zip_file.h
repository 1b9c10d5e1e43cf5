// The archive file as the ZIP reader sees it: positioned reads in large blocks, a small cached
// view for headers, progress reported on every read, and one code for every way a read fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zipar {

inline uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Le64(const unsigned char* p) { return Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32); }

class ArchiveFile {
 public:
  static constexpr size_t kViewBlock = 64 * 1024;  // cached window for header reads

  ArchiveFile() = default;
  ~ArchiveFile();
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  // Opens without blocking and without reading: a missing or unreadable file, a folder, FIFO or
  // device is kArchiveOpen before any read is tried.
  int Open(const std::string& path);
  uint64_t size() const { return size_; }
  int fd() const { return fd_; }

  // Exactly n bytes at offset. 0; kHeaderBroken when the range passes the end of the file;
  // kCannotRead on an I/O error or when the caller cancelled through the progress entry.
  int ReadAt(uint64_t offset, void* buffer, size_t n);

  // n bytes at offset (n <= kViewBlock) through cached window `window` (0 for the central
  // directory, 1 for local headers, so that walking both does not evict either); valid until
  // the next View of that window.
  int View(uint64_t offset, size_t n, const unsigned char*& out, int window = 0);

 private:
  struct Window {
    std::unique_ptr<unsigned char[]> data;
    uint64_t start = 0;
    size_t length = 0;
  };
  int fd_ = -1;
  uint64_t size_ = 0;
  Window windows_[2];
};

// Test seam: every read that reaches `offset` or beyond fails as with EIO (UINT64_MAX: none).
void SetReadFaultForTest(uint64_t offset);

}  // namespace zipar
