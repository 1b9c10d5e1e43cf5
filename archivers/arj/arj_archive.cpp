// ARJ archive walking: header parsing with CRC-32 checks, self-extractor scanning, member
// tests for methods 0-4.
#include "arj_archive.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <vector>
#include <zlib.h>

#include "foreign.h"

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

// Reads exactly n bytes at offset: 1 done, 0 the file ends first, -1 read error or cancel.
int ReadAt(int fd, uint64_t fileSize, uint64_t offset, void* buf, size_t n) {
  if (offset > fileSize || fileSize - offset < n) return 0;
  if (arc::ReportProgress(offset, fileSize)) return -1;
  auto* p = static_cast<unsigned char*>(buf);
  while (n > 0) {
    const ssize_t got = pread(fd, p, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) return 0;  // the file shrank
    p += got;
    n -= static_cast<size_t>(got);
    offset += static_cast<uint64_t>(got);
  }
  return 1;
}

// A regular file opened for reading; FIFOs, devices and folders are refused before opening.
class Fd {
 public:
  explicit Fd(const char* path) {
    struct stat st {};
    fd_ = arc::OpenRegularFile(path, st);
    if (fd_ >= 0) size_ = static_cast<uint64_t>(st.st_size);
  }
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  uint64_t size() const { return size_; }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
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

// Parses the header at offset: 0, or kHeaderBroken / kHeaderCrc / kCannotRead.
int ReadHeader(int fd, uint64_t fileSize, uint64_t offset, Header& h) {
  h = Header{};
  h.offset = offset;
  unsigned char buf[4 + kMaxBasicHeader + 4];
  int r = ReadAt(fd, fileSize, offset, buf, 4);
  if (r < 0) return arc::code::kCannotRead;
  if (r == 0 || buf[0] != kId0 || buf[1] != kId1) return arc::code::kHeaderBroken;
  const unsigned size = Le16(buf + 2);
  if (size == 0) {
    h.end = true;
    h.dataAt = offset + 4;
    return 0;
  }
  if (size > kMaxBasicHeader) return arc::code::kHeaderBroken;
  r = ReadAt(fd, fileSize, offset + 4, buf + 4, size + 4);
  if (r < 0) return arc::code::kCannotRead;
  if (r == 0) return arc::code::kHeaderBroken;
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
    r = ReadAt(fd, fileSize, at, ext, 2);
    if (r < 0) return arc::code::kCannotRead;
    if (r == 0) return arc::code::kHeaderBroken;
    at += 2;
    const unsigned extSize = Le16(ext);
    if (extSize == 0) break;
    if (at + extSize + 4 > fileSize) return arc::code::kHeaderBroken;
    at += extSize + 4;
  }
  h.dataAt = at;
  return 0;
}

// Candidates whose id and size fit but whose CRC fails; after this many the scan gives up, so a
// crafted file full of near-headers ends quickly.
constexpr int kMaxFalseHeaders = 4096;

// Executables and scripts that carry an archive behind them: DOS/Windows, X68000, ELF, Amiga.
bool StartsWithStub(const unsigned char* h, size_t n) {
  if (n < 4) return false;
  return (h[0] == 'M' && h[1] == 'Z') || (h[0] == 'Z' && h[1] == 'M') || (h[0] == 'H' && h[1] == 'U') ||
         std::memcmp(h, "\x7F" "ELF", 4) == 0 || std::memcmp(h, "\0\0\x03\xF3", 4) == 0 ||
         (h[0] == '#' && h[1] == '!');
}

// A main header at the start with one of its fixed features damaged: id bytes, size, first
// header size, file type 2.
bool NearMainHeader(const unsigned char* h, size_t n) {
  if (n < 11) return false;
  const unsigned size = Le16(h + 2);
  const int score = (h[0] == kId0) + (h[1] == kId1) + (size >= kMinFirstHeader && size <= kMaxBasicHeader) +
                    (h[4] >= kMinFirstHeader && h[4] <= size) + (h[10] == kTypeMain);
  return score >= 4;
}

// Member data as decoder input, read in large blocks with pread.
class MemberInput : public lzhuff::Input {
 public:
  MemberInput(int fd, uint64_t fileSize, uint64_t offset, uint64_t size)
      : fd_(fd), fileSize_(fileSize), at_(offset), left_(size) {}
  long Read(unsigned char* buf, size_t max) override {
    if (left_ == 0) return 0;
    if (max > left_) max = static_cast<size_t>(left_);
    if (arc::ReportProgress(at_, fileSize_)) return -1;
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
  uint64_t fileSize_;
  uint64_t at_;
  uint64_t left_;
};

// CRC-32 of the decoded data; a decoder that expands much from little input writes often and
// reads little, so the cancel is looked for here too.
class CrcOutput : public lzhuff::Output {
 public:
  bool Write(const unsigned char* data, size_t n) override {
    if (arc::PollCancel()) return false;
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
int TestMember(int fd, uint64_t fileSize, const Header& h) {
  CrcOutput out;
  if (h.method == 0) {
    if (h.compressedSize != h.originalSize) return arc::code::kHeaderBroken;
    std::vector<unsigned char> buf(256 * 1024);
    uint64_t at = h.dataAt;
    uint64_t left = h.compressedSize;
    while (left > 0) {
      const size_t n = left > buf.size() ? buf.size() : static_cast<size_t>(left);
      if (ReadAt(fd, fileSize, at, buf.data(), n) <= 0 || !out.Write(buf.data(), n)) return arc::code::kCannotRead;
      at += n;
      left -= n;
    }
  } else {
    MemberInput in(fd, fileSize, h.dataAt, h.compressedSize);
    const lzhuff::Status s =
        h.method == 4 ? DecodeMethod4(in, h.compressedSize, h.originalSize, out)
                      : lzhuff::Decode(lzhuff::kArj, in, h.compressedSize, h.originalSize, out);
    if (s != lzhuff::Status::kOk) return StatusCode(s);
  }
  return out.crc() == h.crc ? 0 : arc::code::kFileCrc;
}

// A valid member header whose successor is a valid header or the end marker: the members of an
// archive whose main header is damaged, not a stray header in a stub. 1 yes, 0 no, -1 read error.
int ChainedMember(int fd, uint64_t fileSize, const Header& h) {
  if (h.end || h.type == kTypeMain) return 0;
  Header next;
  const int fault = ReadHeader(fd, fileSize, h.dataAt + h.compressedSize, next);
  if (fault == arc::code::kCannotRead) return -1;
  return fault == 0 && next.type != kTypeMain ? 1 : 0;
}

}  // namespace

int FindStart(int fd, uint64_t fileSize, Start& start) {
  start = Start{};
  unsigned char head[16] = {};
  const size_t headLength = static_cast<size_t>(std::min<uint64_t>(fileSize, sizeof head));
  if (headLength == 0) return arc::code::kFileStyle;
  if (ReadAt(fd, fileSize, 0, head, headLength) < 0) return arc::code::kCannotRead;
  // A plain archive starts at 0, even with a damaged main header, so the damage is reported.
  if ((headLength >= 2 && head[0] == kId0 && head[1] == kId1) || NearMainHeader(head, headLength)) return 0;
  const bool stub = StartsWithStub(head, headLength);
  // The first valid main header, the first valid member header that chains on, and the last
  // header-shaped block before them (a damaged main header).
  constexpr size_t kBlock = 1 << 20;
  std::vector<unsigned char> buf(static_cast<size_t>(std::min<uint64_t>(kBlock, fileSize)));
  int64_t main = -1;
  int64_t member = -1;
  int64_t shaped = -1;
  int falseHeaders = 0;
  for (uint64_t base = 0; base + 1 < fileSize && main < 0 && member < 0 && falseHeaders < kMaxFalseHeaders;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), fileSize - base));
    if (ReadAt(fd, fileSize, base, buf.data(), n) <= 0) return arc::code::kCannotRead;
    const unsigned char* p = buf.data();
    const unsigned char* end = buf.data() + n;
    while (end - p >= 2 && main < 0 && member < 0) {
      const void* hit = memmem(p, static_cast<size_t>(end - p), "\x60\xEA", 2);
      if (hit == nullptr) break;
      const auto* q = static_cast<const unsigned char*>(hit);
      const uint64_t offset = base + static_cast<uint64_t>(q - buf.data());
      p = q + 1;
      Header h;
      const int fault = ReadHeader(fd, fileSize, offset, h);
      if (fault == arc::code::kCannotRead) return fault;
      if (fault == arc::code::kHeaderCrc) {
        shaped = static_cast<int64_t>(offset);
        if (++falseHeaders >= kMaxFalseHeaders) break;
        continue;
      }
      if (fault != 0 || h.end) continue;
      if (h.type == kTypeMain) {
        main = static_cast<int64_t>(offset);
      } else {
        const int chained = ChainedMember(fd, fileSize, h);
        if (chained < 0) return arc::code::kCannotRead;
        if (chained > 0) member = static_cast<int64_t>(offset);
      }
    }
    if (n < buf.size()) break;
    base += n - 1;
  }
  if (main < 0 && member < 0) return arc::code::kFileStyle;
  const int64_t found = main >= 0 ? main : member;
  Header first;
  uint64_t reach = static_cast<uint64_t>(found) + 1;
  if (ReadHeader(fd, fileSize, static_cast<uint64_t>(found), first) == 0) {
    reach = first.dataAt + (first.type == kTypeMain ? 0 : first.compressedSize);  // a main header carries no data
  }
  // An archive of its own, not bytes stored in another family's member.
  if (const int rc = arc::OwnArchiveCode(fd, fileSize, arc::Family::kArj, static_cast<uint64_t>(found), reach);
      rc != arc::code::kOk)
    return rc;
  if (!stub) {
    // Without a stub nothing but the archive belongs at the start.
    start.fault = arc::code::kHeaderBroken;
    return 0;
  }
  start.offset = static_cast<uint64_t>(found);
  if (main < 0) {
    // Members without their main header: a header-shaped block that ends right before them is
    // the main header with a wrong CRC; otherwise the main header is beyond recognition.
    bool endsThere = false;
    if (shaped >= 0 && shaped < member) {
      unsigned char sizeField[2];
      const int r = ReadAt(fd, fileSize, static_cast<uint64_t>(shaped) + 2, sizeField, 2);
      if (r < 0) return arc::code::kCannotRead;
      endsThere = r > 0 && shaped + 4 + Le16(sizeField) + 4 + 2 == member;
    }
    start.fault = endsThere ? arc::code::kHeaderCrc : arc::code::kHeaderBroken;
  }
  return 0;
}

void TestArchive(const char* path, arc::TestResult& result) {
  Fd fd(path);
  if (fd.get() < 0) {
    result.Fail(arc::code::kArchiveOpen);
    return;
  }
  const uint64_t fileSize = fd.size();
  Start start;
  if (const int rc = FindStart(fd.get(), fileSize, start); rc != 0 || start.fault != 0) {
    result.Fail(rc != 0 ? rc : start.fault);
    return;
  }
  Header h;
  if (int fault = ReadHeader(fd.get(), fileSize, start.offset, h); fault != 0) {
    result.Fail(fault);
    return;
  }
  // The archive starts with its main header.
  if (h.end || h.type != kTypeMain) {
    result.Fail(arc::code::kHeaderBroken);
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
      if (int fault = TestMember(fd.get(), fileSize, h); fault != 0) {
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
    Start start;
    return fd.get() >= 0 && FindStart(fd.get(), fd.size(), start) == 0 ? 1 : 0;
  }
  arc::TestResult result;
  TestArchive(path, result);
  return result.failed() ? 0 : 1;
}

}  // namespace arj
