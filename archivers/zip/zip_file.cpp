// Positioned reads of the archive with progress and cancel.
#include "zip_file.h"

#include "archiver_common.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zipar {
namespace {

namespace code = arc::code;

std::atomic<uint64_t> g_readFault{UINT64_MAX};

}  // namespace

void SetReadFaultForTest(uint64_t offset) { g_readFault.store(offset); }

ArchiveFile::~ArchiveFile() {
  if (fd_ >= 0) ::close(fd_);
}

int ArchiveFile::Open(const std::string& path) {
  struct stat st {};
  fd_ = arc::OpenRegularFile(path.c_str(), st);
  if (fd_ < 0) return code::kArchiveOpen;
  size_ = static_cast<uint64_t>(st.st_size);
  return code::kOk;
}

int ArchiveFile::ReadAt(uint64_t offset, void* buffer, size_t n) {
  if (offset > size_ || n > size_ - offset) return code::kHeaderBroken;
  auto* p = static_cast<unsigned char*>(buffer);
  while (n > 0) {
    if (arc::ReportProgress(offset, size_)) return code::kCannotRead;
    if (offset + n > g_readFault.load(std::memory_order_relaxed)) return code::kCannotRead;
    const ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return code::kCannotRead;
    if (got == 0) return code::kHeaderBroken;  // the file shrank under us
    p += got;
    n -= static_cast<size_t>(got);
    offset += static_cast<uint64_t>(got);
  }
  return code::kOk;
}

int ArchiveFile::View(uint64_t offset, size_t n, const unsigned char*& out, int window) {
  if (n > kViewBlock) return code::kHeaderBroken;
  if (offset > size_ || n > size_ - offset) return code::kHeaderBroken;
  Window& w = windows_[window & 1];
  if (!w.data || offset < w.start || offset + n > w.start + w.length) {
    if (!w.data) w.data.reset(new unsigned char[kViewBlock]);
    // Headers are mostly read forwards: the window starts at the request.
    w.start = offset;
    w.length = static_cast<size_t>(std::min<uint64_t>(kViewBlock, size_ - offset));
    if (const int rc = ReadAt(w.start, w.data.get(), w.length); rc != code::kOk) {
      w.length = 0;
      return rc;
    }
  }
  out = w.data.get() + (offset - w.start);
  return code::kOk;
}

}  // namespace zipar
