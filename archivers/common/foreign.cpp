// Framing of one family's archive by another family's archive in the same file: ZIP directory and
// local headers, ARJ header chains, CAB folders and LZH header chains, walked without decoding.
#include "foreign.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "archiver_common.h"

namespace arc {
namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t U64(const uint8_t* p) { return U32(p) | (static_cast<uint64_t>(U32(p + 4)) << 32); }

// Random reads through one window; every read reports progress, so a cancel stops the walk.
class Reader {
 public:
  Reader(int fd, uint64_t size) : fd_(fd), size_(size) {}
  uint64_t size() const { return size_; }
  bool failed() const { return failed_; }

  // Exactly n bytes at offset: true, or false when the file ends first or reading failed.
  bool Read(uint64_t offset, void* buffer, size_t n) {
    if (failed_ || offset > size_ || size_ - offset < n) return false;
    if (n == 0) return true;
    if (n > kWindow / 2) return Pread(offset, static_cast<uint8_t*>(buffer), n);
    if (offset < windowStart_ || offset + n > windowStart_ + windowLength_) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kWindow, size_ - offset));
      if (window_.size() < want) window_.resize(static_cast<size_t>(std::min<uint64_t>(kWindow, size_)));
      if (!Pread(offset, window_.data(), want)) return false;
      windowStart_ = offset;
      windowLength_ = want;
    }
    std::memcpy(buffer, window_.data() + (offset - windowStart_), n);
    return true;
  }

 private:
  static constexpr size_t kWindow = 64 * 1024;

  bool Pread(uint64_t offset, uint8_t* buffer, size_t n) {
    if (ReportProgress(offset, size_)) {
      failed_ = true;
      return false;
    }
    size_t done = 0;
    while (done < n) {
      const ssize_t got = ::pread(fd_, buffer + done, n - done, static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        failed_ = true;
        return false;
      }
      if (got == 0) return false;  // the file shrank
      done += static_cast<size_t>(got);
    }
    return true;
  }

  int fd_;
  uint64_t size_;
  std::vector<uint8_t> window_;
  uint64_t windowStart_ = 0;
  size_t windowLength_ = 0;
  bool failed_ = false;
};

// A member from its first header byte to the end of its data; it carries `begin` when begin lies
// strictly inside, or when its data starts exactly at begin.
struct Region {
  uint64_t header = 0;
  uint64_t data = 0;
  uint64_t end = 0;
  bool Carries(uint64_t begin) const { return data == begin || (header < begin && begin < end); }
};

constexpr int kMaxCandidates = 4096;  // signatures examined per family before the scan gives up
constexpr int kMaxWalks = 64;         // archives of one family walked
constexpr int kMaxSteps = 1 << 18;    // headers read by all walks together

// ---------------------------------------------------------------------------------------------
// ZIP: the end record near the end of the file and its directory.

bool ZipDirectoryFrames(Reader& r, uint64_t begin, uint64_t end) {
  const uint64_t size = r.size();
  const size_t tailLength = static_cast<size_t>(std::min<uint64_t>(size, 65535 + 22 + 20 + 56));
  if (tailLength < 22) return false;
  std::vector<uint8_t> tail(tailLength);
  const uint64_t tailStart = size - tailLength;
  if (!r.Read(tailStart, tail.data(), tailLength)) return false;
  for (size_t i = tailLength - 22 + 1; i-- > 0;) {
    const uint8_t* e = &tail[i];
    if (e[0] != 'P' || e[1] != 'K' || e[2] != 5 || e[3] != 6) continue;
    const uint64_t eocd = tailStart + i;
    if (eocd < end) return false;  // the end record of an archive inside our own range
    if (eocd + 22 + U16(e + 20) > size) continue;
    uint64_t cdSize = U32(e + 12);
    uint64_t cdOffset = U32(e + 16);
    uint64_t cdEnd = eocd;
    if (i >= 20 + 56 && tail[i - 20] == 'P' && tail[i - 19] == 'K' && tail[i - 18] == 6 && tail[i - 17] == 7) {
      const uint8_t* z = &tail[i - 20 - 56];
      if (z[0] == 'P' && z[1] == 'K' && z[2] == 6 && z[3] == 6) {
        cdSize = U64(z + 40);
        cdOffset = U64(z + 48);
        cdEnd = eocd - 20 - 56;
      }
    }
    if (cdSize > cdEnd || cdSize > (32u << 20)) continue;
    const uint64_t cdPos = cdEnd - cdSize;
    if (cdOffset > cdPos) continue;
    const uint64_t delta = cdPos - cdOffset;  // a stub in front of offsets that were not adjusted
    std::vector<uint8_t> cd(static_cast<size_t>(cdSize));
    if (!r.Read(cdPos, cd.data(), cd.size())) return false;
    std::vector<uint64_t> locals;
    size_t at = 0;
    while (at + 46 <= cd.size() && U32(&cd[at]) == 0x02014B50u) {
      const uint8_t* c = &cd[at];
      const size_t nameLength = U16(c + 28);
      const size_t extraLength = U16(c + 30);
      const size_t next = at + 46 + nameLength + extraLength + U16(c + 32);
      if (next > cd.size()) break;
      uint64_t local = U32(c + 42);
      if (local == 0xFFFFFFFFu) {
        // The ZIP64 extra field lists the 0xFFFFFFFF fields in order; the offset comes third.
        const uint8_t* x = c + 46 + nameLength;
        const uint8_t* xEnd = x + extraLength;
        while (x + 4 <= xEnd) {
          const size_t length = U16(x + 2);
          if (x + 4 + length > xEnd) break;
          if (U16(x) == 0x0001) {
            size_t skip = (U32(c + 24) == 0xFFFFFFFFu ? 8 : 0) + (U32(c + 20) == 0xFFFFFFFFu ? 8 : 0);
            if (skip + 8 <= length) local = U64(x + 4 + skip);
            break;
          }
          x += 4 + length;
        }
      }
      locals.push_back(local + delta);
      at = next;
    }
    if (locals.empty()) return false;
    std::sort(locals.begin(), locals.end());
    // Members lie end to end: the one before `begin` reaches up to the next one or the directory.
    const auto after = std::upper_bound(locals.begin(), locals.end(), begin);
    if (after == locals.begin()) return false;
    const uint64_t header = *(after - 1);
    const uint64_t memberEnd = after != locals.end() ? *after : cdPos;
    return header < begin && begin < memberEnd;
  }
  return false;
}

// A local header at `at` found by scanning: its member region, when the header is that of a
// stored member (only stored bytes can carry another archive) that fits in the file.
bool ZipLocalRegion(Reader& r, uint64_t at, Region& region) {
  uint8_t h[30];
  if (!r.Read(at, h, sizeof h) || U16(h + 8) != 0) return false;
  const uint16_t flags = U16(h + 6);
  const uint64_t compressed = U32(h + 18);
  region.header = at;
  region.data = at + 30 + U16(h + 26) + U16(h + 28);
  // Sizes deferred to a data descriptor are unknown here: only the exact data start counts.
  const bool deferred = compressed == 0 && (flags & 8) != 0;
  if (!deferred && compressed != U32(h + 22)) return false;
  region.end = region.data + (deferred ? 0 : compressed);
  return region.end <= r.size();
}

// ---------------------------------------------------------------------------------------------
// ARJ: 0x60 0xEA, basic header size (at most 2600), basic header, CRC-32, extended headers.

struct ArjHeader {
  bool valid = false;  // the basic header CRC matched
  bool end = false;    // size 0: end of the archive
  uint8_t type = 0;
  Region region;
};

// false when no header structure is there (or reading failed).
bool ReadArjHeader(Reader& r, uint64_t at, ArjHeader& h) {
  h = ArjHeader{};
  uint8_t head[4];
  if (!r.Read(at, head, 4) || head[0] != 0x60 || head[1] != 0xEA) return false;
  const unsigned size = U16(head + 2);
  if (size == 0) {
    h.end = true;
    return true;
  }
  if (size < 30 || size > 2600) return false;
  uint8_t basic[2600 + 4];
  if (!r.Read(at + 4, basic, size + 4)) return false;
  h.valid = static_cast<uint32_t>(crc32(0, basic, size)) == U32(basic + size);
  h.type = basic[6];
  uint64_t pos = at + 4 + size + 4;
  for (int i = 0; i < 64; ++i) {  // extended headers: size, data, CRC-32
    uint8_t ext[2];
    if (!r.Read(pos, ext, 2)) return false;
    pos += 2;
    if (U16(ext) == 0) break;
    pos += U16(ext) + 4;
  }
  h.region.header = at;
  h.region.data = pos;
  h.region.end = pos + (h.type == 2 ? 0 : U32(basic + 12));
  return true;
}

// Walks the members after a verified main header; damaged member headers still give their sizes,
// so a damaged carrier keeps its members. A chain that breaks before `begin` (no header where one
// belongs) leaves the archive's extent unknown: it frames `begin`, so the ARJ library is the one
// that reports the damage.
bool ArjChainFrames(Reader& r, const ArjHeader& main, uint64_t begin, int& steps) {
  uint64_t at = main.region.data;
  while (at < begin && steps++ < kMaxSteps) {
    ArjHeader h;
    if (!ReadArjHeader(r, at, h)) return !r.failed();
    if (h.end) return false;
    if (h.type == 2) return true;
    if (h.region.Carries(begin)) return true;
    if (h.region.end <= at) return true;
    at = h.region.end;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// CAB: CFHEADER, CFFOLDER entries; each folder's data runs up to the next folder or the end.

// `intact`: the signature is whole; with a damaged one only the declared size tells.
bool CabFrames(Reader& r, uint64_t at, uint64_t begin, bool intact) {
  uint8_t h[40];
  if (!r.Read(at, h, 36)) return false;
  const uint32_t cabinetSize = U32(h + 8);
  const unsigned folders = U16(h + 26);
  const uint16_t flags = U16(h + 30);
  // The zero field and the version tell a cabinet header; one of them may be damaged when the
  // signature is whole.
  const int marks = (U32(h + 4) == 0) + (h[24] == 3 && h[25] == 1);
  if (marks < (intact ? 1 : 2)) return false;
  // A declared size that fits the file is no accident of stub bytes.
  if (cabinetSize >= 36 && cabinetSize <= r.size() - at && begin - at < cabinetSize) return true;
  if (!intact || marks < 2 || folders == 0 || cabinetSize < 36) return false;
  uint64_t pos = at + 36;
  unsigned folderReserve = 0;
  if (flags & 4) {
    if (!r.Read(pos, h + 36, 4)) return false;
    folderReserve = h[38];
    pos += 4 + U16(h + 36);
  }
  for (int names = ((flags & 1) ? 2 : 0) + ((flags & 2) ? 2 : 0); names > 0; --names) {
    uint8_t c = 1;
    for (int n = 0; c != 0 && n < 256; ++n) {
      if (!r.Read(pos++, &c, 1)) return false;
    }
    if (c != 0) return false;
  }
  const uint64_t cabinetEnd = at + cabinetSize;
  std::vector<std::pair<uint64_t, bool>> starts;  // data start, stored
  for (unsigned i = 0; i < folders && i < 4096; ++i) {
    uint8_t f[8];
    if (!r.Read(pos, f, 8)) return false;
    pos += 8 + folderReserve;
    const uint64_t start = at + U32(f);
    if (start >= cabinetEnd || start < pos) return false;
    starts.emplace_back(start, (U16(f + 6) & 0x000F) == 0);
  }
  std::sort(starts.begin(), starts.end());
  // The folder before `begin` reaches up to the next folder or the cabinet's end; only a stored
  // folder shows another archive's bytes as they are.
  const auto after = std::upper_bound(starts.begin(), starts.end(), std::make_pair(begin, true));
  if (after == starts.begin()) return false;
  const auto& folder = *(after - 1);
  const uint64_t folderEnd = after != starts.end() ? after->first : cabinetEnd;
  return folder.second && folder.first < begin && begin < folderEnd;
}

// ---------------------------------------------------------------------------------------------
// LZH: a header verified by its checksum (levels 0, 1) or header CRC (levels 2, 3).

uint16_t Crc16(const uint8_t* p, size_t n) {
  static const auto table = [] {
    std::vector<uint16_t> t(256);
    for (unsigned i = 0; i < 256; ++i) {
      unsigned c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
      t[i] = static_cast<uint16_t>(c);
    }
    return t;
  }();
  uint16_t crc = 0;
  for (size_t i = 0; i < n; ++i) crc = static_cast<uint16_t>((crc >> 8) ^ table[(crc ^ p[i]) & 0xFF]);
  return crc;
}

bool LzhShape(const uint8_t* h) {
  return h[2] == '-' && h[6] == '-' && (h[3] == 'l' || (h[3] == 'p' && h[4] == 'm')) && h[20] <= 3;
}

// The member at `at`: true with its region when the header is sound and verified.
bool ReadLzhHeader(Reader& r, uint64_t at, Region& region) {
  uint8_t h[32];
  if (!r.Read(at, h, 24) || !LzhShape(h)) return false;
  uint64_t compressed = U32(h + 7);
  uint64_t headerSize = 0;
  const int level = h[20];
  if (level <= 1) {
    const size_t length = h[0];
    if (length < 22 + static_cast<size_t>(h[21])) return false;
    uint8_t raw[257];
    if (!r.Read(at, raw, length + 2)) return false;
    unsigned sum = 0;
    for (size_t i = 2; i < length + 2; ++i) sum += raw[i];
    if ((sum & 0xFF) != raw[1]) return false;
    headerSize = length + 2;
    if (level == 1) {  // extended headers count in the size field
      uint64_t next = U16(raw + length);
      while (next != 0) {
        if (next < 3 || next > compressed || headerSize > (1u << 20)) return false;
        compressed -= next;
        headerSize += next;
        uint8_t size[2];
        if (!r.Read(at + headerSize - 2, size, 2)) return false;
        next = U16(size);
      }
    }
  } else {
    const size_t fieldSize = level == 2 ? 2 : 4;
    uint64_t total = U16(h);
    if (level == 2 && h[23] == 'K') total += 2;
    if (level == 3) {
      if (total != 4 || !r.Read(at, h, 28)) return false;
      total = U32(h + 24);
    }
    if (total < 26 || total > (1u << 16)) return false;  // real headers are far smaller
    std::vector<uint8_t> raw(static_cast<size_t>(total));
    if (!r.Read(at, raw.data(), raw.size())) return false;
    size_t pos = level == 2 ? 24 : 28;
    size_t crcAt = 0;
    for (;;) {
      if (pos + fieldSize > raw.size()) return false;
      const uint64_t length = fieldSize == 2 ? U16(&raw[pos]) : U32(&raw[pos]);
      if (length == 0) break;
      if (length < fieldSize + 1 || length > raw.size() - pos - fieldSize) return false;
      const uint8_t type = raw[pos + fieldSize];
      if (type == 0x00 && length >= fieldSize + 3) crcAt = pos + fieldSize + 1;
      if (type == 0x42 && length >= fieldSize + 17) compressed = U64(&raw[pos + fieldSize + 1]);
      pos += static_cast<size_t>(length);
    }
    if (crcAt == 0) return false;
    const uint16_t stored = U16(&raw[crcAt]);
    raw[crcAt] = raw[crcAt + 1] = 0;
    if (Crc16(raw.data(), raw.size()) != stored) return false;
    headerSize = total;
  }
  region.header = at;
  region.data = at + headerSize;
  region.end = region.data + compressed;
  return region.end >= region.data;
}

// A chain that reaches, before `begin`, a header that does not verify but still has the shape of
// one (one byte may be damaged) frames it: the damaged member may be the one that carries it.
bool LzhChainFrames(Reader& r, uint64_t first, uint64_t begin, int& steps) {
  uint64_t at = first;
  while (at < begin && steps++ < kMaxSteps) {
    Region region;
    if (!ReadLzhHeader(r, at, region)) {
      uint8_t h[7];
      if (!r.Read(at, h, sizeof h)) return false;
      return (h[2] == '-') + (h[3] == 'l' || h[3] == 'p') + (h[4] == 'h' || h[4] == 'z' || h[4] == 'm') + (h[6] == '-') >= 3;
    }
    if (region.Carries(begin)) return true;
    at = region.end;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// One pass over [0, begin) for the headers of the families other than `self`.

class PrefixScan {
 public:
  PrefixScan(Reader& r, Family self, uint64_t begin) : r_(r), self_(self), begin_(begin) {}

  bool Run() {
    constexpr size_t kChunk = 1 << 20;
    constexpr size_t kOverlap = 32;
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<uint64_t>(kChunk + kOverlap, r_.size())));
    for (uint64_t base = 0; base < begin_; base += kChunk) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), r_.size() - base));
      if (!r_.Read(base, buf.data(), want)) return false;
      const size_t limit = static_cast<size_t>(std::min<uint64_t>(std::min<uint64_t>(kChunk, want), begin_ - base));
      for (size_t i = 0; i < limit; ++i) {
        // Each family's first signature byte; the rest is checked where the byte is.
        const uint8_t* next = Next(buf.data() + i, buf.data() + limit);
        if (next == nullptr) break;
        i = static_cast<size_t>(next - buf.data());
        if (Examine(base + i, buf.data() + i, want - i)) return true;
        if (r_.failed()) return false;
      }
    }
    return false;
  }

 private:
  const uint8_t* Next(const uint8_t* from, const uint8_t* to) const {
    for (const uint8_t* p = from; p < to; ++p) {
      const uint8_t c = *p;
      if ((c == 'P' && self_ != Family::kZip) || (c == 0x60 && self_ != Family::kArj) ||
          ((c == 'M' || c == 'S') && self_ != Family::kCab) || (c == '-' && self_ != Family::kLzh)) {
        return p;
      }
    }
    return nullptr;
  }

  // The signature at `at` (p holds `left` bytes of it): true when it frames `begin`.
  bool Examine(uint64_t at, const uint8_t* p, size_t left) {
    if (p[0] == 'P' && left >= 4 && p[1] == 'K' && p[2] == 3 && p[3] == 4) {
      Region region;
      return ++zip_ <= kMaxCandidates && ZipLocalRegion(r_, at, region) && region.Carries(begin_);
    }
    if (p[0] == 0x60 && left >= 2 && p[1] == 0xEA) {
      if (++arj_ > kMaxCandidates) return false;
      ArjHeader h;
      if (!ReadArjHeader(r_, at, h) || h.end) return false;
      if (h.type != 2) return h.region.data == begin_ || (h.valid && h.region.Carries(begin_));
      return h.valid && ++arjWalks_ <= kMaxWalks && ArjChainFrames(r_, h, begin_, steps_);
    }
    if (p[0] == 'M' && left >= 4 && p[1] == 'S' && p[2] == 'C' && p[3] == 'F') {
      return ++cab_ <= kMaxCandidates && CabFrames(r_, at, begin_, true);
    }
    // A signature with one byte damaged: found by its 'M' or, that one gone, by its 'S'.
    if (p[0] == 'M' && left >= 4 && (p[1] == 'S') + (p[2] == 'C') + (p[3] == 'F') == 2) {
      return ++cab_ <= kMaxCandidates && CabFrames(r_, at, begin_, false);
    }
    if (p[0] == 'S' && left >= 3 && p[1] == 'C' && p[2] == 'F' && at > 0) {
      uint8_t m = 'M';
      if (!r_.Read(at - 1, &m, 1) || m == 'M') return false;  // whole: examined at its 'M'
      return ++cab_ <= kMaxCandidates && CabFrames(r_, at - 1, begin_, false);
    }
    if (p[0] == '-' && at >= 2 && left >= 19) {
      // The dash at +2 of a header: the header starts two bytes earlier.
      if (lzhWalks_ >= kMaxWalks || at - 2 < lzhCovered_) return false;  // or inside a walked chain
      uint8_t h[24];
      if (!r_.Read(at - 2, h, sizeof h) || !LzhShape(h) || ++lzh_ > kMaxCandidates) return false;
      Region region;
      if (!ReadLzhHeader(r_, at - 2, region)) return false;
      ++lzhWalks_;
      if (LzhChainFrames(r_, at - 2, begin_, steps_)) return true;
      lzhCovered_ = region.end;
      return false;
    }
    return false;
  }

  Reader& r_;
  Family self_;
  uint64_t begin_;
  int zip_ = 0, arj_ = 0, cab_ = 0, lzh_ = 0;
  int arjWalks_ = 0, lzhWalks_ = 0;
  int steps_ = 0;
  uint64_t lzhCovered_ = 0;
};

}  // namespace

Framing FramedByOtherFamily(int fd, uint64_t fileSize, Family self, uint64_t begin, uint64_t end) {
  if (begin >= fileSize) return Framing::kNone;
  if (end <= begin) end = begin + 1;
  Reader r(fd, fileSize);
  if (self != Family::kZip && ZipDirectoryFrames(r, begin, end)) return Framing::kFramed;
  if (r.failed()) return Framing::kReadError;
  PrefixScan scan(r, self, begin);
  if (scan.Run()) return Framing::kFramed;
  return r.failed() ? Framing::kReadError : Framing::kNone;
}

Framing FramedByOtherFamily(const char* path, Family self, uint64_t begin, uint64_t end) {
  struct stat st {};
  const int fd = OpenRegularFile(path, st);
  if (fd < 0) return Framing::kReadError;
  const Framing result = FramedByOtherFamily(fd, static_cast<uint64_t>(st.st_size), self, begin, end);
  ::close(fd);
  return result;
}

int OwnArchiveCode(int fd, uint64_t fileSize, Family self, uint64_t begin, uint64_t end) {
  switch (FramedByOtherFamily(fd, fileSize, self, begin, end)) {
    case Framing::kFramed:
      return code::kFileStyle;
    case Framing::kReadError:
      return code::kCannotRead;
    case Framing::kNone:
      break;
  }
  return code::kOk;
}

}  // namespace arc
