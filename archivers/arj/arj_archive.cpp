// ARJ archive walking: header parsing with CRC-32 checks, self-extractor scanning, member
// tests for methods 0-4.
#include "arj_archive.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace arj {
namespace {

constexpr unsigned char kId0 = 0x60;
constexpr unsigned char kId1 = 0xEA;
constexpr unsigned kMinFirstHeader = 30;  // fixed fields up to the file mode

constexpr uint8_t kFlagGarbled = 0x01;
constexpr uint8_t kTypeMain = 2;

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint32_t Crc32(uint32_t crc, const unsigned char* p, size_t n) {
  while (n > 0) {
    const uInt part = n > (1u << 30) ? (1u << 30) : static_cast<uInt>(n);
    crc = static_cast<uint32_t>(crc32(crc, p, part));
    p += part;
    n -= part;
  }
  return crc;
}

// Reads exactly n bytes at offset; false on a short read or an error.
bool ReadAt(int fd, uint64_t offset, void* buf, size_t n) {
  auto* p = static_cast<unsigned char*>(buf);
  while (n > 0) {
    const ssize_t got = pread(fd, p, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
    offset += static_cast<uint64_t>(got);
  }
  return true;
}

class Fd {
 public:
  explicit Fd(const char* path) : fd_(path != nullptr ? open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK) : -1) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

struct Header {
  uint64_t offset = 0;    // of the 0x60 0xEA id
  uint64_t dataAt = 0;    // first byte after the extended headers
  bool end = false;       // the end-of-archive marker (size 0)
  uint8_t flags = 0;
  uint8_t method = 0;
  uint8_t type = 0;
  uint32_t compressedSize = 0;
  uint32_t originalSize = 0;
  uint32_t crc = 0;
};

// Parses the header at offset: 0, or kHeaderBroken / kHeaderCrc.
int ReadHeader(int fd, uint64_t fileSize, uint64_t offset, Header& h) {
  h = Header{};
  h.offset = offset;
  unsigned char buf[4 + kMaxBasicHeader + 4];
  if (offset + 4 > fileSize || !ReadAt(fd, offset, buf, 4)) return arc::code::kHeaderBroken;
  if (buf[0] != kId0 || buf[1] != kId1) return arc::code::kHeaderBroken;
  const unsigned size = Le16(buf + 2);
  if (size == 0) {
    h.end = true;
    h.dataAt = offset + 4;
    return 0;
  }
  if (size > kMaxBasicHeader) return arc::code::kHeaderBroken;
  if (offset + 4 + size + 4 > fileSize || !ReadAt(fd, offset + 4, buf + 4, size + 4)) {
    return arc::code::kHeaderBroken;
  }
  const unsigned char* b = buf + 4;
  if (Crc32(0, b, size) != Le32(b + size)) return arc::code::kHeaderCrc;
  const unsigned first = b[0];
  if (first < kMinFirstHeader || first > size) return arc::code::kHeaderBroken;
  // The name and the comment follow, each closed by a NUL inside the header.
  const unsigned char* name = b + first;
  const auto* nameEnd = static_cast<const unsigned char*>(std::memchr(name, 0, size - first));
  if (nameEnd == nullptr) return arc::code::kHeaderBroken;
  h.flags = b[4];
  h.method = b[5];
  h.type = b[6];
  h.compressedSize = Le32(b + 12);
  h.originalSize = Le32(b + 16);
  h.crc = Le32(b + 20);
  // Extended headers: 16-bit size (0 ends them), data, CRC-32. Skipped within the file.
  uint64_t at = offset + 4 + size + 4;
  for (;;) {
    unsigned char ext[2];
    if (at + 2 > fileSize || !ReadAt(fd, at, ext, 2)) return arc::code::kHeaderBroken;
    at += 2;
    const unsigned extSize = Le16(ext);
    if (extSize == 0) break;
    if (at + extSize + 4 > fileSize) return arc::code::kHeaderBroken;
    at += extSize + 4;
  }
  h.dataAt = at;
  return 0;
}

// Candidates whose size and file type fit but whose CRC fails; after this many the scan gives
// up, so a crafted file full of near-headers ends quickly.
constexpr int kMaxFalseHeaders = 4096;

// A candidate main header at offset: size 1..2600, valid CRC, file type 2. *crcChecked tells
// whether the CRC had to be computed.
bool IsMainHeader(int fd, uint64_t fileSize, uint64_t offset, bool* crcChecked = nullptr) {
  unsigned char buf[4 + kMaxBasicHeader + 4];
  if (offset + 4 > fileSize || !ReadAt(fd, offset, buf, 4)) return false;
  const unsigned size = Le16(buf + 2);
  if (buf[0] != kId0 || buf[1] != kId1 || size == 0 || size > kMaxBasicHeader) return false;
  if (offset + 4 + size + 4 > fileSize || !ReadAt(fd, offset + 4, buf + 4, size + 4)) return false;
  if (size < 7 || buf[4 + 6] != kTypeMain) return false;
  if (crcChecked != nullptr) *crcChecked = true;
  return Crc32(0, buf + 4, size) == Le32(buf + 4 + size);
}

// Member data as decoder input, read in large blocks with pread.
class MemberInput : public lzhuff::Input {
 public:
  MemberInput(int fd, uint64_t offset, uint64_t size) : fd_(fd), at_(offset), left_(size) {}
  long Read(unsigned char* buf, size_t max) override {
    if (left_ == 0) return 0;
    if (max > left_) max = static_cast<size_t>(left_);
    for (;;) {
      const ssize_t got = pread(fd_, buf, max, static_cast<off_t>(at_));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return -1;
      at_ += static_cast<uint64_t>(got);
      left_ -= static_cast<uint64_t>(got);
      return static_cast<long>(got);
    }
  }

 private:
  int fd_;
  uint64_t at_;
  uint64_t left_;
};

class CrcOutput : public lzhuff::Output {
 public:
  bool Write(const unsigned char* data, size_t n) override {
    crc_ = Crc32(crc_, data, n);
    return true;
  }
  uint32_t crc() const { return crc_; }

 private:
  uint32_t crc_ = 0;
};

int StatusCode(lzhuff::Status s) {
  switch (s) {
    case lzhuff::Status::kOk:
      return 0;
    case lzhuff::Status::kCorrupt:
      return arc::code::kHuffmanCode;
    case lzhuff::Status::kTruncated:
    case lzhuff::Status::kReadError:
      return arc::code::kCannotRead;
    case lzhuff::Status::kWriteError:
      return arc::code::kCannotWrite;
  }
  return arc::code::kHuffmanCode;
}

// Tests one member's data: 0, or a fault code.
int TestMember(int fd, const Header& h) {
  CrcOutput out;
  if (h.method == 0) {
    if (h.compressedSize != h.originalSize) return arc::code::kHeaderBroken;
    std::vector<unsigned char> buf(256 * 1024);
    uint64_t at = h.dataAt;
    uint64_t left = h.compressedSize;
    while (left > 0) {
      const size_t n = left > buf.size() ? buf.size() : static_cast<size_t>(left);
      if (!ReadAt(fd, at, buf.data(), n)) return arc::code::kCannotRead;
      out.Write(buf.data(), n);
      at += n;
      left -= n;
    }
  } else {
    MemberInput in(fd, h.dataAt, h.compressedSize);
    const lzhuff::Status s =
        h.method == 4 ? DecodeMethod4(in, h.compressedSize, h.originalSize, out)
                      : lzhuff::Decode(lzhuff::kArj, in, h.compressedSize, h.originalSize, out);
    if (s != lzhuff::Status::kOk) return StatusCode(s);
  }
  return out.crc() == h.crc ? 0 : arc::code::kFileCrc;
}

}  // namespace

int64_t FindMainHeader(int fd, uint64_t fileSize, int* startFault) {
  if (IsMainHeader(fd, fileSize, 0)) return 0;
  // Scan for 0x60 0xEA, in blocks that overlap by one byte.
  constexpr size_t kBlock = 1 << 20;
  std::vector<unsigned char> buf(kBlock);
  uint64_t base = 0;
  int falseHeaders = 0;
  while (base + 1 < fileSize && falseHeaders < kMaxFalseHeaders) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kBlock, fileSize - base));
    if (!ReadAt(fd, base, buf.data(), n)) break;
    const unsigned char* p = buf.data();
    const unsigned char* end = buf.data() + n;
    while (end - p >= 2) {
      const void* hit = memmem(p, static_cast<size_t>(end - p), "\x60\xEA", 2);
      if (hit == nullptr) break;
      const auto* q = static_cast<const unsigned char*>(hit);
      const uint64_t offset = base + static_cast<uint64_t>(q - buf.data());
      bool crcChecked = false;
      if (offset != 0) {
        if (IsMainHeader(fd, fileSize, offset, &crcChecked)) return static_cast<int64_t>(offset);
        if (crcChecked && ++falseHeaders >= kMaxFalseHeaders) break;
      }
      p = q + 1;
    }
    if (n < kBlock) break;
    base += n - 1;
  }
  if (startFault != nullptr) {
    Header h;
    const int fault = ReadHeader(fd, fileSize, 0, h);
    unsigned char id[2];
    const bool looksArj = fileSize >= 2 && ReadAt(fd, 0, id, 2) && id[0] == kId0 && id[1] == kId1;
    if (!looksArj) *startFault = arc::code::kFileStyle;
    else if (fault != 0) *startFault = fault;
    else *startFault = arc::code::kHeaderBroken;  // a valid header, but not a main header
  }
  return -1;
}

void TestArchive(const char* path, arc::TestResult& result) {
  Fd fd(path);
  struct stat st {};
  if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    result.Fail(arc::code::kArchiveOpen);
    return;
  }
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  int startFault = arc::code::kFileStyle;
  const int64_t start = FindMainHeader(fd.get(), fileSize, &startFault);
  if (start < 0) {
    result.Fail(startFault);
    return;
  }
  Header h;
  if (int fault = ReadHeader(fd.get(), fileSize, static_cast<uint64_t>(start), h); fault != 0) {
    result.Fail(fault);
    return;
  }
  uint64_t at = h.dataAt;  // the main header carries no data
  for (;;) {
    if (int fault = ReadHeader(fd.get(), fileSize, at, h); fault != 0) {
      result.Fail(fault);
      return;
    }
    if (h.end) return;
    // A second main header among the members: its size fields are no member sizes.
    if (h.type == kTypeMain) {
      result.Fail(arc::code::kHeaderBroken);
      return;
    }
    const uint64_t next = h.dataAt + h.compressedSize;
    const bool testable = h.type == 0 || h.type == 1;
    const bool passedOver = h.type == 3 || h.type == 4 || h.type == 5;  // folder, label, chapter
    if (testable && (h.flags & kFlagGarbled) == 0 && h.method <= 4) {
      if (next > fileSize) {
        result.Fail(arc::code::kCannotRead);
        return;
      }
      if (int fault = TestMember(fd.get(), h); fault != 0) {
        result.Fail(fault);
        return;
      }
    } else if (!passedOver) {
      result.Skip();
    }
    if (next > fileSize) {
      result.Fail(arc::code::kCannotRead);
      return;
    }
    at = next;
  }
}

int CheckArchive(const char* path, int mode) {
  if (mode != arc::kCheckFull) {
    Fd fd(path);
    struct stat st {};
    if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return FindMainHeader(fd.get(), static_cast<uint64_t>(st.st_size), nullptr) >= 0 ? 1 : 0;
  }
  arc::TestResult result;
  TestArchive(path, result);
  return result.failed() ? 0 : 1;
}

}  // namespace arj
