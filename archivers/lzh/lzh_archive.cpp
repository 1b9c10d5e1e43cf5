// LZH archive reading: file window, header parser, where the archive starts, member walk.
#include "lzh_archive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archiver_common.h"
#include "foreign.h"
#include "lzhuff.h"

namespace lzhar {
namespace {

constexpr size_t kWindowSize = 256 * 1024;
constexpr uint64_t kMaxHeaderSize = 1024 * 1024;  // level 1 extension chains and level 3 headers
constexpr size_t kCommonHeaderLength = 24;        // the smallest header of any level
constexpr int kMaxScanCandidates = 4096;          // header-shaped spots verified before giving up
constexpr size_t kMaxDamagedCandidates = 4096;    // near-header shapes kept for the damage rules

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t U64(const uint8_t* p) { return U32(p) | (static_cast<uint64_t>(U32(p + 4)) << 32); }

// "-l??-" (LHarc, LArc) or "-pm?-" (PMarc) at h+2, and a header level byte at h+20.
bool ShapedLikeHeader(const uint8_t* h) {
  if (h[2] != '-' || h[6] != '-') return false;
  const bool lha = h[3] == 'l';
  const bool pmarc = h[3] == 'p' && h[4] == 'm' && h[5] != 's';
  return (lha || pmarc) && h[20] <= 3;
}

// How many of a header's five fixed features are there: the two dashes, the method's first two
// letters and a level of at most 3. One damaged byte leaves four; a method with two bytes
// changed still leaves three.
int ShapeScore(const uint8_t* h) {
  return (h[2] == '-') + (h[3] == 'l' || h[3] == 'p') + (h[4] == 'h' || h[4] == 'z' || h[4] == 'm') +
         (h[6] == '-') + (h[20] <= 3);
}

bool NearHeaderShape(const uint8_t* h) { return ShapeScore(h) >= 3 && (h[2] == '-' || h[6] == '-'); }

// Executables and scripts that carry an archive behind them: DOS/Windows, X68000, ELF, Amiga.
bool StartsWithStub(const uint8_t* h, size_t n) {
  if (n < 4) return false;
  return (h[0] == 'M' && h[1] == 'Z') || (h[0] == 'Z' && h[1] == 'M') || (h[0] == 'H' && h[1] == 'U') ||
         std::memcmp(h, "\x7F" "ELF", 4) == 0 || std::memcmp(h, "\0\0\x03\xF3", 4) == 0 ||
         (h[0] == '#' && h[1] == '!');
}

// Reads exactly length bytes at offset: 1 done, 0 the file ends first, -1 read error.
int ReadExact(ArchiveFile& file, uint64_t offset, uint8_t* buffer, size_t length) {
  if (offset > file.size() || file.size() - offset < length) return 0;
  const long n = file.ReadAt(offset, buffer, length);
  if (n < 0) return -1;
  return static_cast<size_t>(n) == length ? 1 : 0;
}

// Names keep their bytes: '\\' may be the second byte of a Shift-JIS character, so only the
// 0xFF separator (UNIX and OS-9 writers, and every extended header) becomes '/'.
void AppendName(std::string& to, const uint8_t* data, size_t length) {
  for (size_t i = 0; i < length; ++i) to.push_back(data[i] == 0xFF ? '/' : static_cast<char>(data[i]));
}

// Level 0/1 checksum: the byte sum of the header after its first two bytes.
bool ChecksumMatches(const uint8_t* raw, size_t headerLength) {
  unsigned sum = 0;
  for (size_t i = 2; i < headerLength + 2; ++i) sum += raw[i];
  return (sum & 0xFF) == raw[1];
}

struct ExtensionState {
  std::string fileName;
  std::string folder;
  bool haveFileName = false;
  bool haveCrc = false;
  size_t crcAt = 0;  // position of the header CRC within the raw header bytes
  uint16_t headerCrc = 0;
  bool haveSizes = false;  // 0x42: 64-bit compressed and original sizes
  uint64_t compressed64 = 0;
  uint64_t original64 = 0;
  int attribute = -1;  // 0x40: MS-DOS attribute
};

// One extended header record: type byte, data, and the size of the next record.
HeaderStatus TakeExtension(const uint8_t* record, size_t length, size_t fieldSize, size_t recordAt,
                           ExtensionState& state) {
  if (length < fieldSize + 1) return HeaderStatus::kBroken;
  const uint8_t type = record[0];
  const uint8_t* data = record + 1;
  const size_t dataLength = length - fieldSize - 1;
  switch (type) {
    case 0x00:
      if (dataLength < 2) return HeaderStatus::kBroken;
      state.haveCrc = true;
      state.crcAt = recordAt + 1;
      state.headerCrc = U16(data);
      break;
    case 0x01:
      state.fileName.clear();
      AppendName(state.fileName, data, dataLength);
      state.haveFileName = true;
      break;
    case 0x02:
      state.folder.clear();
      AppendName(state.folder, data, dataLength);
      if (!state.folder.empty() && state.folder.back() != '/') state.folder.push_back('/');
      break;
    case 0x40:
      if (dataLength >= 1) state.attribute = data[0];
      break;
    case 0x42:
      if (dataLength < 16) return HeaderStatus::kBroken;
      state.haveSizes = true;
      state.compressed64 = U64(data);
      state.original64 = U64(data + 8);
      break;
    default:
      break;
  }
  return HeaderStatus::kOk;
}

// Extended headers inside raw[from, end) (levels 2 and 3): a size field, then records.
HeaderStatus TakeInnerExtensions(const std::vector<uint8_t>& raw, size_t from, size_t fieldSize,
                                 ExtensionState& state) {
  size_t at = from;
  for (;;) {
    if (at + fieldSize > raw.size()) return HeaderStatus::kBroken;
    const uint64_t length = fieldSize == 4 ? U32(&raw[at]) : U16(&raw[at]);
    if (length == 0) return HeaderStatus::kOk;
    if (length > raw.size() - at - fieldSize) return HeaderStatus::kBroken;
    const HeaderStatus st = TakeExtension(&raw[at + fieldSize], static_cast<size_t>(length), fieldSize,
                                          at + fieldSize, state);
    if (st != HeaderStatus::kOk) return st;
    at += static_cast<size_t>(length);
  }
}

bool HeaderCrcMatches(std::vector<uint8_t>& raw, const ExtensionState& state) {
  raw[state.crcAt] = 0;
  raw[state.crcAt + 1] = 0;
  return lzhuff::Crc16(0, raw.data(), raw.size()) == state.headerCrc;
}

HeaderStatus CheckHeaderCrc(std::vector<uint8_t>& raw, const ExtensionState& state, MemberHeader& header) {
  if (!state.haveCrc) return HeaderStatus::kOk;
  if (!HeaderCrcMatches(raw, state)) return HeaderStatus::kChecksum;
  header.headerChecked = true;
  return HeaderStatus::kOk;
}

HeaderStatus ReadLevel01(ArchiveFile& file, uint64_t offset, const uint8_t* head, MemberHeader& h, int& attribute) {
  const size_t headerLength = head[0];
  const size_t minimum = h.level == 0 ? 22 : 25;
  if (headerLength < minimum) return HeaderStatus::kBroken;
  std::vector<uint8_t> raw(headerLength + 2);
  const int rr = ReadExact(file, offset, raw.data(), raw.size());
  if (rr < 0) return HeaderStatus::kReadError;
  if (rr == 0) return HeaderStatus::kTruncated;
  if (!ChecksumMatches(raw.data(), headerLength)) return HeaderStatus::kChecksum;
  h.headerChecked = true;
  const size_t nameLength = raw[21];
  if (minimum + nameLength > headerLength) return HeaderStatus::kBroken;
  ExtensionState state;
  std::string baseName;
  AppendName(baseName, &raw[22], nameLength);
  h.crc = U16(&raw[22 + nameLength]);
  attribute = raw[19];
  h.headerSize = raw.size();
  uint64_t extensions = 0;
  if (h.level == 1) {
    // Extended headers follow the base header; the size field counts them as data.
    uint64_t next = U16(&raw[raw.size() - 2]);
    uint64_t at = offset + raw.size();
    while (next != 0) {
      if (next < 3 || raw.size() + next > kMaxHeaderSize) return HeaderStatus::kBroken;
      const size_t recordAt = raw.size();
      raw.resize(raw.size() + static_cast<size_t>(next));
      const int r = ReadExact(file, at, &raw[recordAt], static_cast<size_t>(next));
      if (r < 0) return HeaderStatus::kReadError;
      if (r == 0) return HeaderStatus::kTruncated;
      const HeaderStatus st = TakeExtension(&raw[recordAt], static_cast<size_t>(next), 2, recordAt, state);
      if (st != HeaderStatus::kOk) return st;
      extensions += next;
      at += next;
      next = U16(&raw[raw.size() - 2]);
    }
    h.headerSize = raw.size();
  }
  // Level 1 counts its extended headers in the compressed size (the 64-bit one too).
  const uint64_t skip = state.haveSizes ? state.compressed64 : U32(&raw[7]);
  if (extensions > skip) return HeaderStatus::kBroken;
  if (h.level == 1) {
    const HeaderStatus crc = CheckHeaderCrc(raw, state, h);
    if (crc != HeaderStatus::kOk) return crc;
    if (state.attribute >= 0) attribute = state.attribute;
  }
  h.compressedSize = skip - extensions;
  h.originalSize = state.haveSizes ? state.original64 : U32(&raw[11]);
  h.name = state.folder + (state.haveFileName ? state.fileName : baseName);
  return HeaderStatus::kOk;
}

HeaderStatus ReadLevel23(ArchiveFile& file, uint64_t offset, const uint8_t* head, MemberHeader& h, int& attribute) {
  uint64_t total = 0;
  size_t fieldSize = 2;
  size_t firstField = 24;
  if (h.level == 2) {
    total = U16(head);
    if (head[23] == 'K') total += 2;  // OS-9/68k LHa stores the length without its own field
    if (total < 26) return HeaderStatus::kBroken;
  } else {
    if (U16(head) != 4) return HeaderStatus::kBroken;
    uint8_t more[32];
    const int r = ReadExact(file, offset, more, sizeof more);
    if (r < 0) return HeaderStatus::kReadError;
    if (r == 0) return HeaderStatus::kTruncated;
    total = U32(&more[24]);
    fieldSize = 4;
    firstField = 28;
    if (total < 32 || total > kMaxHeaderSize) return HeaderStatus::kBroken;
  }
  std::vector<uint8_t> raw(static_cast<size_t>(total));
  const int rr = ReadExact(file, offset, raw.data(), raw.size());
  if (rr < 0) return HeaderStatus::kReadError;
  if (rr == 0) return HeaderStatus::kTruncated;
  ExtensionState state;
  const HeaderStatus ext = TakeInnerExtensions(raw, firstField, fieldSize, state);
  if (ext != HeaderStatus::kOk) return ext;
  const HeaderStatus crc = CheckHeaderCrc(raw, state, h);
  if (crc != HeaderStatus::kOk) return crc;
  h.headerSize = raw.size();
  h.compressedSize = state.haveSizes ? state.compressed64 : U32(&raw[7]);
  h.originalSize = state.haveSizes ? state.original64 : U32(&raw[11]);
  h.crc = U16(&raw[21]);
  h.name = state.folder + state.fileName;
  attribute = state.attribute;
  return HeaderStatus::kOk;
}

bool IsStoredMethod(const std::string& m) { return m == "-lh0-" || m == "-lz4-" || m == "-pm0-"; }

// Folder entries: "-lhd-" (LHa for UNIX, OS-9, Amiga), or an empty stored member whose name ends
// in a separator or that carries the folder attribute (DOS and Amiga writers).
bool IsFolderEntry(const MemberHeader& h, int attribute) {
  if (h.method == "-lhd-") return true;
  if (!IsStoredMethod(h.method) || h.compressedSize != 0 || h.originalSize != 0) return false;
  const bool separator = !h.name.empty() && (h.name.back() == '/' || h.name.back() == '\\');
  return separator || (attribute >= 0 && (attribute & 0x10) != 0);
}

}  // namespace

ArchiveFile::~ArchiveFile() {
  if (fd_ >= 0) ::close(fd_);
}

int ArchiveFile::Open(const std::string& path) {
  struct stat st {};
  fd_ = arc::OpenRegularFile(path.c_str(), st);
  if (fd_ < 0) return arc::code::kArchiveOpen;
  size_ = static_cast<uint64_t>(st.st_size);
  return arc::code::kOk;
}

namespace {
long PreadFully(int fd, uint64_t offset, uint8_t* buffer, size_t length) {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::pread(fd, buffer + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<long>(done);
}
}  // namespace

long ArchiveFile::ReadAt(uint64_t offset, uint8_t* buffer, size_t length) {
  if (fd_ < 0) return -1;
  if (arc::ReportProgress(offset, size_)) return -1;
  if (offset >= size_ || length == 0) return 0;
  if (length > size_ - offset) length = static_cast<size_t>(size_ - offset);
  if (length >= kWindowSize / 2) return PreadFully(fd_, offset, buffer, length);
  if (offset < windowStart_ || offset + length > windowStart_ + windowLength_) {
    if (window_.empty()) window_.resize(static_cast<size_t>(std::min<uint64_t>(size_, kWindowSize)));
    const size_t want = static_cast<size_t>(std::min<uint64_t>(window_.size(), size_ - offset));
    const long n = PreadFully(fd_, offset, window_.data(), want);
    if (n < 0) {
      windowLength_ = 0;
      return -1;
    }
    windowStart_ = offset;
    windowLength_ = static_cast<size_t>(n);
    if (length > windowLength_) length = windowLength_;
  }
  std::memcpy(buffer, window_.data() + (offset - windowStart_), length);
  return static_cast<long>(length);
}

HeaderStatus ReadHeader(ArchiveFile& file, uint64_t offset, MemberHeader& header) {
  header = MemberHeader{};
  header.offset = offset;
  if (offset >= file.size()) return HeaderStatus::kEnd;
  uint8_t head[kCommonHeaderLength];
  const long n = file.ReadAt(offset, head, sizeof head);
  if (n < 0) return HeaderStatus::kReadError;
  const bool whole = static_cast<size_t>(n) == sizeof head;
  if (head[0] == 0) {
    // The end byte, unless a header follows it: a level 2 header whose size is a multiple of
    // 256, or a header whose size byte was wiped.
    if (!whole || !(ShapedLikeHeader(head) && head[20] == 2)) {
      return whole && ShapeScore(head) >= 3 ? HeaderStatus::kBroken : HeaderStatus::kEnd;
    }
  }
  if (!whole) return HeaderStatus::kTruncated;
  header.level = head[20];
  int attribute = -1;
  HeaderStatus st;
  switch (header.level) {
    case 0:
    case 1:
      st = ReadLevel01(file, offset, head, header, attribute);
      break;
    case 2:
    case 3:
      st = ReadLevel23(file, offset, head, header, attribute);
      break;
    default:
      return HeaderStatus::kBroken;
  }
  if (st != HeaderStatus::kOk) return st;
  if (head[2] != '-' || head[6] != '-') return HeaderStatus::kBroken;
  header.method.assign(reinterpret_cast<const char*>(head + 2), 5);
  if (header.method.find('\0') != std::string::npos) return HeaderStatus::kBroken;
  if (header.compressedSize > (uint64_t{1} << 62) || header.originalSize > (uint64_t{1} << 62)) {
    return HeaderStatus::kBroken;
  }
  header.directory = IsFolderEntry(header, attribute);
  return HeaderStatus::kOk;
}

int HeaderStatusCode(HeaderStatus status) {
  switch (status) {
    case HeaderStatus::kOk:
    case HeaderStatus::kEnd:
      return arc::code::kOk;
    case HeaderStatus::kChecksum:
      return arc::code::kHeaderCrc;
    case HeaderStatus::kReadError:
      return arc::code::kCannotRead;
    case HeaderStatus::kTruncated:
    case HeaderStatus::kBroken:
      break;
  }
  return arc::code::kHeaderBroken;
}

namespace {

// Finds where the archive starts: the scan for the first verified header and the rules that
// tell a damaged first member from stub bytes.
class StartFinder {
 public:
  explicit StartFinder(ArchiveFile& file) : file_(file), size_(file.size()) {}

  int Find(ArchiveStart& start) {
    start = ArchiveStart{};
    if (size_ == 0) return arc::code::kFileStyle;
    uint8_t head[kCommonHeaderLength] = {};
    const size_t headLength = static_cast<size_t>(std::min<uint64_t>(size_, sizeof head));
    if (ReadExact(file_, 0, head, headLength) < 0) return arc::code::kCannotRead;
    // A plain archive starts at 0, even with a damaged first header, so the damage is reported.
    // (A header of 77 bytes with the checksum 'Z' reads as "MZ": such a file is scanned, and a
    // header at 0 is found there all the same.)
    const bool stub = StartsWithStub(head, headLength);
    const bool shapedAtZero = headLength >= 21 ? ShapeScore(head) >= 3
                                               : headLength >= 7 && head[2] == '-' && head[6] == '-';
    if (shapedAtZero && !stub) return arc::code::kOk;
    const int scanned = Scan();
    if (scanned != arc::code::kOk) return scanned;
    uint64_t found = verified_;
    uint64_t damaged = 0;
    const int rule = FindDamagedFirstMember(damaged);
    if (rule < 0) return arc::code::kCannotRead;
    if (rule > 0) found = damaged;
    else if (verified_ == kNone) return arc::code::kFileStyle;
    // An archive of its own, not bytes stored in another family's member.
    const uint64_t reach = found == verified_ ? FirstMemberEnd(found) : found + 1;
    if (const int rc = arc::OwnArchiveCode(file_.fd(), size_, arc::Family::kLzh, found, reach); rc != arc::code::kOk)
      return rc;
    // Without a stub nothing but an archive belongs at the start: what is there is damage.
    start.offset = stub ? found : 0;
    start.damaged = !stub || found != verified_;
    return arc::code::kOk;
  }

 private:
  static constexpr uint64_t kNone = ~uint64_t{0};

  uint64_t FirstMemberEnd(uint64_t at) {
    MemberHeader h;
    if (ReadHeader(file_, at, h) != HeaderStatus::kOk) return at + 1;
    return h.dataOffset() + h.compressedSize;
  }

  // Keeps the latest near-header shapes, in the order found (almost ascending).
  void Remember(uint64_t at) {
    if (damaged_.size() == 2 * kMaxDamagedCandidates) {
      damaged_.erase(damaged_.begin(), damaged_.begin() + kMaxDamagedCandidates);
    }
    damaged_.push_back(at);
  }

  // The first header whose checksum or CRC holds (verified_), and the near-header shapes before
  // it. kOk (also when none was found), kFileStyle when too many shapes fail, or kCannotRead.
  // Chunks overlap by a header's length, so each candidate is looked at once, in its chunk.
  int Scan() {
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(size_, 1024 * 1024 + kCommonHeaderLength)));
    int candidates = 0;
    for (uint64_t base = 0; base + kCommonHeaderLength <= size_;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size_ - base));
      const long got = file_.ReadAt(base, chunk.data(), want);
      if (got < 0 || static_cast<size_t>(got) < want) return arc::code::kCannotRead;
      const size_t limit = want - kCommonHeaderLength;  // the last candidate in this chunk
      const size_t searchEnd = std::min(want, limit + 7);
      for (size_t d = 0; d < searchEnd; ++d) {
        const void* dash = std::memchr(&chunk[d], '-', searchEnd - d);
        if (dash == nullptr) break;
        d = static_cast<size_t>(static_cast<const uint8_t*>(dash) - chunk.data());
        // A dash at +6 of a damaged header whose +2 dash is gone.
        if (d >= 6 && d - 6 <= limit && chunk[d - 4] != '-' && NearHeaderShape(&chunk[d - 6])) Remember(base + d - 6);
        if (d < 2 || d - 2 > limit) continue;
        const uint8_t* h = &chunk[d - 2];
        if (ShapedLikeHeader(h)) {
          if (++candidates > kMaxScanCandidates) return arc::code::kFileStyle;  // crafted, not a stub
          MemberHeader header;
          const HeaderStatus st = ReadHeader(file_, base + d - 2, header);
          if (st == HeaderStatus::kReadError) return arc::code::kCannotRead;
          if (st == HeaderStatus::kOk && header.headerChecked) {
            verified_ = base + d - 2;
            return arc::code::kOk;
          }
        }
        if (NearHeaderShape(h)) Remember(base + d - 2);
      }
      if (base + want >= size_) break;
      base += limit + 1;
    }
    return arc::code::kOk;
  }

  // Where a damaged first member may end: the first verified header, else the archive's end
  // (the end of the file, or its last byte when that is the end byte).
  std::vector<uint64_t> Targets() {
    if (verified_ != kNone) return {verified_};
    std::vector<uint64_t> ends{size_};
    uint8_t last = 1;
    if (ReadExact(file_, size_ - 1, &last, 1) > 0 && last == 0) ends.push_back(size_ - 1);
    return ends;
  }

  bool IsTarget(const std::vector<uint64_t>& targets, uint64_t at) const {
    return std::find(targets.begin(), targets.end(), at) != targets.end();
  }

  // Whether the header at `at`, with byte `index` xor `mask`, verifies at the given level
  // formula (0: levels 0/1, 2: level 2). 1 yes, 0 no, -1 read error.
  int VerifiesMended(uint64_t at, int formula, size_t index, uint8_t mask) {
    uint8_t h[kCommonHeaderLength];
    if (ReadExact(file_, at, h, sizeof h) <= 0) return 0;
    h[index] ^= mask;
    const size_t length = formula == 0 ? h[0] + size_t{2} : U16(h) + (h[23] == 'K' ? size_t{2} : 0);
    if (length < kCommonHeaderLength + (formula == 0 ? 0 : 2)) return 0;
    std::vector<uint8_t> raw(length);
    const int r = ReadExact(file_, at, raw.data(), raw.size());
    if (r <= 0) return r;
    raw[index] ^= mask;
    if (formula == 0) return length - 2 >= 22u + raw[21] && ChecksumMatches(raw.data(), length - 2) ? 1 : 0;
    ExtensionState state;
    if (TakeInnerExtensions(raw, 24, 2, state) != HeaderStatus::kOk || !state.haveCrc) return 0;
    return HeaderCrcMatches(raw, state) ? 1 : 0;
  }

  // Whether the little-endian field of `width` bytes at `index`, holding `stored`, becomes
  // `wanted` by one byte's change, and the header verifies so. 1 yes, 0 no, -1 read error.
  // Level 2 headers are verified by a CRC-16 and may have lost a whole byte; the 8-bit checksum
  // of levels 0/1 would let one stub shape in 256 pass, so there only one bit is mended.
  int MendOneByte(uint64_t at, int formula, size_t index, uint64_t stored, uint64_t wanted, size_t width) {
    const uint64_t diff = stored ^ wanted;
    if (diff == 0) return 0;
    for (size_t i = 0; i < width; ++i) {
      const uint64_t mask = diff >> (8 * i);
      if (mask > 0xFF || (diff & ((uint64_t{1} << (8 * i)) - 1)) != 0) continue;
      if (formula == 0 && (mask & (mask - 1)) != 0) return 0;
      return VerifiesMended(at, formula, index + i, static_cast<uint8_t>(mask));
    }
    return 0;
  }

  // Is the near-header shape at `at` a damaged first member? 1 yes, 0 no, -1 read error.
  int IsDamagedMember(uint64_t at, const std::vector<uint64_t>& targets) {
    uint8_t h[28] = {};
    const size_t have = static_cast<size_t>(std::min<uint64_t>(size_ - at, sizeof h));
    if (have < kCommonHeaderLength || ReadExact(file_, at, h, have) < 0) return have < kCommonHeaderLength ? 0 : -1;
    const uint64_t compressed = U32(h + 7);
    const uint64_t header01 = h[0] + uint64_t{2};
    const uint64_t header2 = U16(h) + (h[23] == 'K' ? 2u : 0u);
    // The declared extent, read with each level's size fields.
    uint64_t extents[3] = {at + header01 + compressed, at + header2 + compressed, kNone};
    if (U16(h) == 4 && have >= 28) extents[2] = at + U32(h + 24) + compressed;
    for (const uint64_t e : extents) {
      if (IsTarget(targets, e)) return 1;
      if (verified_ != kNone && e != kNone && e > verified_ && e < size_) {
        MemberHeader later;  // a member that holds the first verified header in its data
        const HeaderStatus st = ReadHeader(file_, e, later);
        if (st == HeaderStatus::kReadError) return -1;
        if (st == HeaderStatus::kOk && later.headerChecked) return 1;
      }
    }
    // One damaged byte in a size field: the value that makes the extent end at a target differs
    // from the stored one in that byte alone, and the header verifies with it.
    for (const uint64_t t : targets) {
      for (const int formula : {0, 2}) {
        const uint64_t headerLength = formula == 0 ? header01 : header2;
        const uint64_t besidesSize = compressed + (formula == 0 ? 2 : headerLength - U16(h));
        if (t >= at + headerLength && t - at - headerLength <= 0xFFFFFFFFu) {  // bytes 7..10
          if (const int v = MendOneByte(at, formula, 7, compressed, t - at - headerLength, 4); v != 0) return v;
        }
        if (t >= at + besidesSize && t - at - besidesSize <= (formula == 0 ? 0xFFu : 0xFFFFu)) {  // byte 0 (..1)
          const uint64_t stored = formula == 0 ? h[0] : U16(h);
          if (const int v = MendOneByte(at, formula, 0, stored, t - at - besidesSize, formula == 0 ? 1 : 2); v != 0) {
            return v;
          }
        }
      }
    }
    // A level 0/1 size byte wiped: the length the extent leaves, confirmed by the checksum.
    for (const uint64_t t : targets) {
      if (t < at + 2 + compressed) continue;
      const uint64_t length = t - at - 2 - compressed;
      if (length < 22u + h[21] || length > 255) continue;
      uint8_t raw[257];
      const int r = ReadExact(file_, at, raw, static_cast<size_t>(length) + 2);
      if (r < 0) return -1;
      if (r > 0 && ChecksumMatches(raw, static_cast<size_t>(length))) return 1;
    }
    return 0;
  }

  // 1 with `at` set when a near-header shape before the first verified header (anywhere, when
  // there is none) is a damaged first member; 0 when none is; -1 on a read error.
  int FindDamagedFirstMember(uint64_t& at) {
    if (damaged_.empty()) return 0;
    std::sort(damaged_.begin(), damaged_.end());
    damaged_.erase(std::unique(damaged_.begin(), damaged_.end()), damaged_.end());
    const std::vector<uint64_t> targets = Targets();
    for (const uint64_t candidate : damaged_) {
      const int r = IsDamagedMember(candidate, targets);
      if (r != 0) {
        at = candidate;
        return r;
      }
    }
    return 0;
  }

  ArchiveFile& file_;
  uint64_t size_;
  uint64_t verified_ = kNone;
  std::vector<uint64_t> damaged_;
};

}  // namespace

int FindArchiveStart(ArchiveFile& file, ArchiveStart& start) {
  StartFinder finder(file);
  return finder.Find(start);
}

int MemberWalk::Next(MemberHeader& header) {
  if (stopped_) return arc::code::kHeaderBroken;
  stopped_ = true;  // cleared again only when this member is accepted
  if (count_ >= kMaxMembers) return arc::code::kTooManyFiles;
  const HeaderStatus st = ReadHeader(file_, position_, header);
  if (damagedFirst_) return st == HeaderStatus::kChecksum || st == HeaderStatus::kReadError ? HeaderStatusCode(st)
                                                                                           : arc::code::kHeaderBroken;
  if (st == HeaderStatus::kEnd) return kEnd;
  if (st != HeaderStatus::kOk) return HeaderStatusCode(st);
  // Compressed data cut short by the end of the file.
  if (header.compressedSize > file_.size() - header.dataOffset()) return arc::code::kCannotRead;
  position_ = header.dataOffset() + header.compressedSize;
  ++count_;
  stopped_ = false;
  return arc::code::kOk;
}

}  // namespace lzhar
