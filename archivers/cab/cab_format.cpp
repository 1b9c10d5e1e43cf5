// Cabinet header tables, the data-block checksum and the search for a cabinet inside a file.
#include "cab_format.h"

#include "archiver_common.h"

#include <algorithm>
#include <cstring>

namespace cabar {
namespace {

namespace code = arc::code;

constexpr size_t kHeaderSize = 36;
constexpr size_t kMaxName = 256;  // names are at most 255 bytes and their NUL
constexpr uint16_t kHeaderReserveMax = 60000;

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Sequential reads of header fields that must stay inside the cabinet.
class Cursor {
 public:
  Cursor(CabFile& file, int64_t pos, int64_t limit) : file_(file), pos_(pos), limit_(limit) {}
  int Take(size_t n, const unsigned char** p) {
    if (pos_ + static_cast<int64_t>(n) > limit_) return code::kHeaderBroken;
    const int rc = file_.View(pos_, n, p);
    pos_ += static_cast<int64_t>(n);
    return rc;
  }
  int Skip(size_t n) {
    if (pos_ + static_cast<int64_t>(n) > limit_) return code::kHeaderBroken;
    pos_ += static_cast<int64_t>(n);
    return code::kOk;
  }
  // A NUL-terminated name of at most kMaxName bytes with its NUL.
  int Name(std::string& out) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(kMaxName, limit_ - pos_));
    const unsigned char* p = nullptr;
    if (n == 0) return code::kHeaderBroken;
    if (const int rc = file_.View(pos_, n, &p); rc != code::kOk) return rc;
    const void* nul = std::memchr(p, 0, n);
    if (nul == nullptr) return code::kHeaderBroken;
    const size_t len = static_cast<size_t>(static_cast<const unsigned char*>(nul) - p);
    out.assign(reinterpret_cast<const char*>(p), len);
    pos_ += static_cast<int64_t>(len + 1);
    return code::kOk;
  }
  int64_t pos() const { return pos_; }

 private:
  CabFile& file_;
  int64_t pos_;
  int64_t limit_;
};

// How many of ten fixed properties of a cabinet header the 36 bytes at `pos` show.
int HeaderScore(const unsigned char* h, int64_t pos, int64_t fileSize) {
  const uint32_t length = Le32(h + 8);
  const uint32_t files = Le32(h + 16);
  const uint16_t folders = Le16(h + 26);
  int score = 0;
  score += Le32(h + 4) == 0;
  score += Le32(h + 12) == 0;
  score += Le32(h + 20) == 0;
  score += h[24] == 3;
  score += h[25] == 1;
  score += (Le16(h + 30) & ~7u) == 0;
  score += files >= kHeaderSize && files < length;
  score += folders > 0 && Le16(h + 28) > 0;
  score += pos + static_cast<int64_t>(length) <= fileSize;
  score += files >= kHeaderSize + 8u * folders;
  return score;
}

// A neighbour's name names a file: no control bytes, and a last component that is not empty,
// "." or "..".
bool PlausibleName(const std::string& name) {
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  }
  const std::string leaf = LeafName(name);
  return !leaf.empty() && leaf != "." && leaf != "..";
}

// Members of one folder lie one after another; several may name exactly the same range.
// (Entries marked as folders, attribute 0x10, are left out, as the established readers do.)
bool MembersApart(const Cabinet& cab) {
  struct Range {
    size_t folder;
    uint64_t begin, end;
    bool operator<(const Range& o) const {
      return folder != o.folder ? folder < o.folder : begin != o.begin ? begin < o.begin : end < o.end;
    }
  };
  std::vector<Range> ranges;
  ranges.reserve(cab.members.size());
  for (const Member& m : cab.members) {
    if ((m.attributes & 0x10) == 0) {
      ranges.push_back({m.FolderIndex(cab.folders.size()), m.offset, static_cast<uint64_t>(m.offset) + m.size});
    }
  }
  std::sort(ranges.begin(), ranges.end());
  for (size_t i = 1; i < ranges.size(); ++i) {
    const Range& a = ranges[i - 1];
    const Range& b = ranges[i];
    if (a.folder == b.folder && b.begin < a.end && (b.begin != a.begin || b.end != a.end)) return false;
  }
  return true;
}

}  // namespace

std::string LeafName(const std::string& stored) {
  const size_t slash = stored.find_last_of("/\\");
  return slash == std::string::npos ? stored : stored.substr(slash + 1);
}

uint32_t BlockChecksum(const unsigned char* data, size_t size, uint32_t seed) {
  uint64_t a = 0, b = 0;
  size_t i = 0;
  for (; i + 16 <= size; i += 16) {
    uint64_t x, y;
    std::memcpy(&x, data + i, 8);
    std::memcpy(&y, data + i + 8, 8);
    a ^= x;
    b ^= y;
  }
  a ^= b;
  uint32_t sum = seed ^ static_cast<uint32_t>(a) ^ static_cast<uint32_t>(a >> 32);
  for (; i + 4 <= size; i += 4) sum ^= Le32(data + i);
  uint32_t tail = 0;
  for (; i < size; ++i) tail = (tail << 8) | data[i];
  return sum ^ tail;
}

int CheckCompression(uint16_t type) {
  const unsigned kind = type & 0x000F;
  const unsigned level = (type >> 4) & 0x000F;
  const unsigned window = (type >> 8) & 0x001F;
  if (kind > kLzx) return code::kMethod;
  if ((type & 0xE000) != 0) return code::kHeaderBroken;
  switch (kind) {
    case kStored:
    case kMszip:
      return (type & 0x1FF0) == 0 ? code::kOk : code::kHeaderBroken;
    case kQuantum:
      return level >= 1 && level <= 7 && window >= 10 && window <= 21 ? code::kOk : code::kHeaderBroken;
    default:
      return level == 0 && window >= 15 && window <= 21 ? code::kOk : code::kHeaderBroken;
  }
}

int ReadCabinet(CabFile& file, int64_t base, Cabinet& cab) {
  cab = Cabinet{};
  cab.base = base;
  const unsigned char* h = nullptr;
  if (const int rc = file.View(base, kHeaderSize, &h); rc != code::kOk) return rc;
  if (std::memcmp(h, "MSCF", 4) != 0) return code::kHeaderBroken;
  cab.length = Le32(h + 8);
  const uint32_t filesAt = Le32(h + 16);
  const uint16_t folders = Le16(h + 26);
  const uint16_t files = Le16(h + 28);
  cab.flags = Le16(h + 30);
  cab.setId = Le16(h + 32);
  cab.index = Le16(h + 34);
  // The version bytes are not checked: the established readers accept any.
  if (Le32(h + 4) != 0 || Le32(h + 12) != 0 || Le32(h + 20) != 0) return code::kHeaderBroken;
  if ((cab.flags & ~(kFlagPrev | kFlagNext | kFlagReserve)) != 0) return code::kHeaderBroken;
  if (folders == 0 || files == 0) return code::kHeaderBroken;
  if (cab.length < kHeaderSize || base + static_cast<int64_t>(cab.length) > file.size()) return code::kHeaderBroken;

  Cursor at(file, base + static_cast<int64_t>(kHeaderSize), base + cab.length);
  const unsigned char* p = nullptr;
  uint8_t folderReserve = 0;
  if (cab.flags & kFlagReserve) {
    if (const int rc = at.Take(4, &p); rc != code::kOk) return rc;
    const uint16_t headerReserve = Le16(p);
    folderReserve = p[2];
    cab.dataReserve = p[3];
    if (headerReserve > kHeaderReserveMax) return code::kHeaderBroken;
    if (const int rc = at.Skip(headerReserve); rc != code::kOk) return rc;
  }
  std::string disk;
  if (cab.flags & kFlagPrev) {
    if (int rc = at.Name(cab.prevName); rc != code::kOk || (rc = at.Name(disk)) != code::kOk) return rc;
    if (!PlausibleName(cab.prevName) || cab.index == 0) return code::kHeaderBroken;  // the first has no previous
  }
  if (cab.flags & kFlagNext) {
    if (int rc = at.Name(cab.nextName); rc != code::kOk || (rc = at.Name(disk)) != code::kOk) return rc;
    if (!PlausibleName(cab.nextName)) return code::kHeaderBroken;
  }
  cab.folders.resize(folders);
  for (Folder& f : cab.folders) {
    if (const int rc = at.Take(8, &p); rc != code::kOk) return rc;
    f.data = Le32(p);
    f.blocks = Le16(p + 4);
    f.type = Le16(p + 6);
    if (const int rc = at.Skip(folderReserve); rc != code::kOk) return rc;
  }
  // The file table follows the folder table directly.
  if (at.pos() != base + static_cast<int64_t>(filesAt)) return code::kHeaderBroken;

  cab.members.resize(files);
  for (Member& m : cab.members) {
    if (const int rc = at.Take(16, &p); rc != code::kOk) return rc;
    m.size = Le32(p);
    m.offset = Le32(p + 4);
    m.folder = Le16(p + 8);
    m.attributes = Le16(p + 14);
    if (const int rc = at.Name(m.name); rc != code::kOk) return rc;
    if (m.name.empty()) return code::kHeaderBroken;
    if ((m.attributes & 0x10) != 0 && m.size != 0) return code::kHeaderBroken;  // a folder entry with data
    if (static_cast<uint64_t>(m.offset) + m.size > kFolderMax) return code::kHeaderBroken;
    if (m.folder < kFromPrev) {
      if (m.folder >= folders) return code::kHeaderBroken;
      continue;
    }
    // A member in two cabinets lies in the folder on that side; one in three fills the cabinet.
    if (m.FromPrev() && (cab.flags & kFlagPrev) == 0) return code::kHeaderBroken;
    if (m.ToNext() && (cab.flags & kFlagNext) == 0) return code::kHeaderBroken;
    if (m.folder == kPrevAndNext && folders != 1) return code::kHeaderBroken;
    cab.continuedFromPrev |= m.FromPrev();
    cab.continuedToNext |= m.ToNext();
  }
  cab.filesEnd = static_cast<uint32_t>(at.pos() - base);

  // Data lies behind the tables and inside the cabinet; the first block follows the file table.
  uint32_t firstData = cab.length;
  for (const Folder& f : cab.folders) {
    if (f.blocks == 0) {
      if (f.data < cab.filesEnd || f.data > cab.length) return code::kHeaderBroken;
      continue;
    }
    if (f.data < cab.filesEnd || static_cast<uint64_t>(f.data) + 8 + cab.dataReserve > cab.length) {
      return code::kHeaderBroken;
    }
    firstData = std::min(firstData, f.data);
  }
  if (firstData != cab.filesEnd) return code::kHeaderBroken;  // also: data where no folder has a block
  return MembersApart(cab) ? code::kOk : code::kHeaderBroken;
}

Located LocateCabinet(CabFile& file) {
  Located found;
  const int64_t size = file.size();
  const unsigned char* p = nullptr;
  if (size >= 4) {
    if (const int rc = file.View(0, 4, &p); rc != code::kOk) return {rc, 0};
    if (std::memcmp(p, "MSCF", 4) == 0) return found;  // damage here is this cabinet's
  }
  static const unsigned char kVersion[2] = {3, 1};
  for (int64_t pos = 0; pos + static_cast<int64_t>(kHeaderSize) <= size;) {
    const size_t len = static_cast<size_t>(std::min<int64_t>(CabFile::kWindow, size - pos));
    if (const int rc = file.View(pos, len, &p); rc != code::kOk) return {rc, 0};
    const unsigned char* end = p + len - kHeaderSize + 1;  // headers starting before this fit in the view
    // Candidates: the signature, or the version bytes of a header whose signature is damaged.
    const auto findSig = [end](const unsigned char* from) {
      return static_cast<const unsigned char*>(memmem(from, static_cast<size_t>(end - from) + 3, "MSCF", 4));
    };
    const auto findFixed = [end](const unsigned char* from) {
      auto* f = static_cast<const unsigned char*>(memmem(from + 24, static_cast<size_t>(end - from) + 1, kVersion, 2));
      return f == nullptr ? nullptr : f - 24;
    };
    const unsigned char* sig = findSig(p);
    const unsigned char* fixed = findFixed(p);
    while (sig != nullptr || fixed != nullptr) {
      const unsigned char* c = sig == nullptr ? fixed : (fixed == nullptr ? sig : std::min(sig, fixed));
      const int64_t at = pos + (c - p);
      const int sigBytes = (c[0] == 'M') + (c[1] == 'S') + (c[2] == 'C') + (c[3] == 'F');
      const int score = HeaderScore(c, at, size);
      if ((sigBytes == 4 && score >= 8) || (sigBytes == 3 && score >= 9)) return {code::kOk, at};
      if (c == sig) sig = c + 1 < end ? findSig(c + 1) : nullptr;
      if (c == fixed) fixed = c + 1 < end ? findFixed(c + 1) : nullptr;
    }
    if (pos + static_cast<int64_t>(len) >= size) break;
    pos += static_cast<int64_t>(len - kHeaderSize + 1);
  }
  return {code::kFileStyle, 0};
}

}  // namespace cabar
