// Positioned reads of a cabinet file through a 1 MiB window.
#include "cab_file.h"

#include "archiver_common.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cabar {
namespace {

namespace code = arc::code;

std::atomic<int64_t> g_failAt{-1};

}  // namespace

void SetReadFailure(int64_t offset) { g_failAt.store(offset); }

CabFile::~CabFile() {
  if (fd_ >= 0) ::close(fd_);
}

int CabFile::Open(const std::string& path) {
  path_ = path;
  struct stat st {};
  fd_ = arc::OpenRegularFile(path.c_str(), st);
  if (fd_ < 0) return code::kArchiveOpen;
  size_ = st.st_size;
  device_ = st.st_dev;
  inode_ = st.st_ino;
  meter_.total += static_cast<uint64_t>(size_);
  return code::kOk;
}

int CabFile::Fill(int64_t pos, size_t need) {
  if (!window_) window_.reset(new unsigned char[kWindow]);
  const size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(kWindow), size_ - pos));
  windowPos_ = pos;
  windowLen_ = 0;
  const int64_t failAt = g_failAt.load(std::memory_order_relaxed);
  if (failAt >= pos && failAt < pos + static_cast<int64_t>(want)) return code::kCannotRead;
  while (windowLen_ < want) {
    const ssize_t got = ::pread(fd_, window_.get() + windowLen_, want - windowLen_, pos + static_cast<int64_t>(windowLen_));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // an error, or the file shrank under us: both a failed read
    windowLen_ += static_cast<size_t>(got);
  }
  meter_.done += windowLen_;
  if (arc::ReportProgress(std::min(meter_.done, meter_.total), meter_.total)) return code::kCannotRead;
  return windowLen_ >= need ? code::kOk : code::kCannotRead;
}

int CabFile::View(int64_t pos, size_t n, const unsigned char** out) {
  if (fd_ < 0 || pos < 0 || n > kWindow) return code::kCannotRead;
  if (pos > size_ || static_cast<int64_t>(n) > size_ - pos) return code::kHeaderBroken;  // cut off
  if (pos < windowPos_ || pos + static_cast<int64_t>(n) > windowPos_ + static_cast<int64_t>(windowLen_)) {
    if (const int rc = Fill(pos, n); rc != code::kOk) {
      windowLen_ = 0;
      return rc;
    }
  }
  *out = window_.get() + (pos - windowPos_);
  return code::kOk;
}

int CabFile::Read(int64_t pos, void* out, size_t n) {
  const unsigned char* p = nullptr;
  const int rc = View(pos, n, &p);
  if (rc == code::kOk && n > 0) std::memcpy(out, p, n);
  return rc;
}

}  // namespace cabar
