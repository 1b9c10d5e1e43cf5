// End records, central directory and local headers.
#include "zip_format.h"

#include "foreign.h"

#include "archiver_common.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace zipar {
namespace {

namespace code = arc::code;

constexpr size_t kEndSize = 22;
constexpr size_t kLocatorSize = 20;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;
constexpr size_t kMaxComment = 65535;

bool Signature(const unsigned char* p, unsigned char a, unsigned char b) {
  return p[0] == 'P' && p[1] == 'K' && p[2] == a && p[3] == b;
}

// One reading of the end records: the directory's place as one set of fields gives it.
struct Candidate {
  uint64_t entries;
  uint64_t size;
  uint64_t offset;
  uint64_t dirEnd;  // where the end records begin
  bool wrapping;
};

// Accepts a candidate when its directory ends where the end records begin and starts with a
// central header. The difference between where the directory is and where its stored offset
// puts it is a stub the offsets do not count (0 without one, or after zip -A).
int TryCandidate(ArchiveFile& file, const Candidate& c, Directory& out, bool& ok) {
  ok = false;
  if (c.size > c.dirEnd || c.offset > static_cast<uint64_t>(INT64_MAX)) return code::kOk;
  const uint64_t start = c.dirEnd - c.size;
  const int64_t delta = static_cast<int64_t>(start) - static_cast<int64_t>(c.offset);
  if (c.entries == 0 && c.size == 0) {
    // An empty archive only where nothing precedes it: a stray record in a stub is no archive.
    if (delta != 0) return code::kOk;
  } else {
    if (c.size < kCentralSize) return code::kOk;
    unsigned char sig[4];
    if (const int rc = file.ReadAt(start, sig, 4); rc != code::kOk) return rc == code::kCannotRead ? rc : code::kOk;
    if (!Signature(sig, 1, 2)) return code::kOk;
  }
  out.start = start;
  out.size = c.size;
  out.entries = c.entries;
  out.wrappingCount = c.wrapping;
  out.delta = delta;
  out.endStart = c.dirEnd;
  ok = true;
  return code::kOk;
}

// The end record at `eocd` (bytes `e`), with the zip64 records in front of it when its locator
// is there. Then the zip64 record decides, and must be sound: one disk, right before its
// locator (or, with no stub, where the locator says), the directory ending where the locator
// says the record starts; every plain field holds its placeholder or the zip64 value.
int TryEndRecord(ArchiveFile& file, uint64_t eocd, const unsigned char* e, Directory& out, bool& ok) {
  ok = false;
  unsigned char loc[kLocatorSize] = {};
  if (eocd >= kLocatorSize) {
    if (const int rc = file.ReadAt(eocd - kLocatorSize, loc, sizeof loc); rc != code::kOk) return rc;
  }
  if (!Signature(loc, 6, 7)) {
    // One disk only, and the count of this disk's entries repeats the total (the disk holding
    // the directory is not checked: testers ignore it, and so do writers).
    if (Le16(e + 4) != 0 || Le16(e + 8) != Le16(e + 10)) return code::kOk;
    return TryCandidate(file, Candidate{Le16(e + 10), Le32(e + 12), Le32(e + 16), eocd, true}, out, ok);
  }
  const uint64_t locator = eocd - kLocatorSize;
  const uint64_t stated = Le64(loc + 8);
  if (Le32(loc + 4) != 0 || Le32(loc + 16) != 1 || locator < kZip64EndSize) return code::kOk;
  unsigned char rec[kZip64EndSize];
  uint64_t pos = locator - kZip64EndSize;
  for (int k = 0;; ++k) {
    if (k == 2) return code::kOk;
    if (k == 1) {
      if (stated > locator - kZip64EndSize) return code::kOk;
      pos = stated;
    }
    if (const int rc = file.ReadAt(pos, rec, sizeof rec); rc != code::kOk) return rc;
    if (Signature(rec, 6, 6) && Le64(rec + 4) >= kZip64EndSize - 12 && Le64(rec + 4) == locator - pos - 12) break;
  }
  const uint64_t n = Le64(rec + 32), size = Le64(rec + 40), offset = Le64(rec + 48);
  if (Le32(rec + 16) != 0 || Le32(rec + 20) != 0 || Le64(rec + 24) != n) return code::kOk;
  if (offset > UINT64_MAX - size || offset + size != stated) return code::kOk;
  const auto agrees = [](uint64_t plain, uint64_t placeholder, uint64_t value) {
    return plain == placeholder || plain == value;
  };
  if (!agrees(Le16(e + 4), 0xFFFF, 0) || !agrees(Le16(e + 6), 0xFFFF, 0) || !agrees(Le16(e + 8), 0xFFFF, n) ||
      !agrees(Le16(e + 10), 0xFFFF, n) || !agrees(Le32(e + 12), 0xFFFFFFFF, size) ||
      !agrees(Le32(e + 16), 0xFFFFFFFF, offset)) {
    return code::kOk;
  }
  return TryCandidate(file, Candidate{n, size, offset, pos, false}, out, ok);
}

// The zip64 extended information field of a header: the values of the fields that hold their
// placeholder, in the order usize, csize, offset (64-bit), disk (32-bit). False when the field
// is too short.
bool ReadZip64(const unsigned char* extra, size_t length, uint64_t* const* fields, int count, bool& present) {
  present = false;
  size_t at = 0;
  while (at + 4 <= length) {
    const uint16_t id = Le16(extra + at);
    const uint16_t size = Le16(extra + at + 2);
    if (at + 4 + size > length) break;  // trailing padding or a broken field: nothing more to learn
    if (id == 0x0001) {
      present = true;
      size_t off = 0;
      for (int i = 0; i < count; ++i) {
        if (fields[i] == nullptr) continue;
        const size_t width = i == 3 ? 4 : 8;  // the disk number is the one 32-bit field
        if (off + width > size) return false;
        *fields[i] = width == 8 ? Le64(extra + at + 4 + off) : Le32(extra + at + 4 + off);
        off += width;
      }
      return true;
    }
    at += 4 + size;
  }
  return true;
}

// Extra fields chain as (id, size, data) blocks; one running past the end of the area breaks
// the header (fewer than four bytes left over are padding).
bool ExtraWellFormed(const unsigned char* extra, size_t length) {
  size_t at = 0;
  while (length - at >= 4) {
    const size_t size = Le16(extra + at + 2);
    if (size > length - at - 4) return false;
    at += 4 + size;
  }
  return true;
}

uint32_t Crc32(const std::string& s) {
  uint32_t crc = 0xFFFFFFFFu;
  for (const unsigned char c : s) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// The Unicode path field (0x7075) when it still belongs to `name`.
std::string UnicodeName(const unsigned char* extra, size_t length, const std::string& name) {
  size_t at = 0;
  while (at + 4 <= length) {
    const uint16_t id = Le16(extra + at);
    const uint16_t size = Le16(extra + at + 2);
    if (at + 4 + size > length) break;
    if (id == 0x7075 && size > 5 && extra[at + 4] == 1 && Le32(extra + at + 5) == Crc32(name)) {
      return std::string(reinterpret_cast<const char*>(extra + at + 9), size - 5);
    }
    at += 4 + size;
  }
  return std::string();
}

}  // namespace

int FindDirectory(ArchiveFile& file, Directory& out, bool& found) {
  found = false;
  const uint64_t size = file.size();
  if (size < kEndSize) return code::kOk;
  const size_t tailLen = static_cast<size_t>(std::min<uint64_t>(size, kEndSize + kMaxComment));
  const uint64_t tailStart = size - tailLen;
  std::unique_ptr<unsigned char[]> tail(new unsigned char[tailLen]);
  if (const int rc = file.ReadAt(tailStart, tail.get(), tailLen); rc != code::kOk) return rc;
  for (size_t i = tailLen - kEndSize + 1; i-- > 0;) {
    const unsigned char* e = tail.get() + i;
    if (!Signature(e, 5, 6)) continue;
    if (i + kEndSize + Le16(e + 20) > tailLen) continue;  // the comment must fit; trailers may follow
    if (const int rc = TryEndRecord(file, tailStart + i, e, out, found); rc != code::kOk || found) return rc;
  }
  return code::kOk;
}

bool HasLocalHeader(ArchiveFile& file) {
  constexpr size_t kChunk = 1 << 20;
  const uint64_t size = file.size();
  std::unique_ptr<unsigned char[]> buf(new unsigned char[kChunk + kLocalSize]);
  for (uint64_t pos = 0; pos < size; pos += kChunk) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size - pos, kChunk + kLocalSize));
    if (file.ReadAt(pos, buf.get(), n) != code::kOk) return false;
    if (pos == 0 && n >= 4 && Signature(buf.get(), 3, 4)) return true;
    for (size_t i = 0; i + kLocalSize <= n && i < kChunk; ++i) {
      const unsigned char* h = buf.get() + i;
      if (!Signature(h, 3, 4)) continue;
      const unsigned version = Le16(h + 4) & 0xFF;
      const unsigned method = Le16(h + 8);
      const unsigned nameLen = Le16(h + 26);
      const bool knownMethod = method <= 20 || (method >= 93 && method <= 99);
      if (version <= 63 && knownMethod && nameLen > 0 && pos + i + kLocalSize + nameLen <= size) return true;
    }
  }
  return false;
}

int ReadCentral(ArchiveFile& file, uint64_t position, uint64_t limit, int64_t delta, bool wantNames,
                CentralEntry& out) {
  const unsigned char* h = nullptr;
  if (position > limit || limit - position < kCentralSize) return code::kHeaderBroken;
  if (const int rc = file.View(position, kCentralSize, h); rc != code::kOk) return rc;
  if (!Signature(h, 1, 2)) return code::kHeaderBroken;
  const uint16_t nameLen = Le16(h + 28);
  const uint16_t extraLen = Le16(h + 30);
  const uint16_t commentLen = Le16(h + 32);
  out.position = position;
  out.length = kCentralSize + nameLen + extraLen + commentLen;
  if (out.length > limit - position) return code::kHeaderBroken;
  out.flags = Le16(h + 8);
  out.method = Le16(h + 10);
  out.crc = Le32(h + 16);
  out.compressed = Le32(h + 20);
  out.size = Le32(h + 24);
  uint64_t local = Le32(h + 42);
  uint64_t disk = Le16(h + 34);
  // The name and the extra field, each through its own view (each fits one).
  const unsigned char* v = nullptr;
  // The local header repeats the name byte for byte, whatever the host (unzip -t holds every
  // difference against the archive).
  if (const int rc = file.View(position + kCentralSize, nameLen, v); rc != code::kOk) return rc;
  out.name.assign(reinterpret_cast<const char*>(v), nameLen);
  if (const int rc = file.View(position + kCentralSize + nameLen, extraLen, v); rc != code::kOk) return rc;
  uint64_t* fields[4] = {out.size == 0xFFFFFFFFu ? &out.size : nullptr,
                         out.compressed == 0xFFFFFFFFu ? &out.compressed : nullptr,
                         local == 0xFFFFFFFFu ? &local : nullptr, disk == 0xFFFF ? &disk : nullptr};
  bool zip64 = false;
  if (!ReadZip64(v, extraLen, fields, 4, zip64)) return code::kHeaderBroken;
  if (disk != 0) return code::kHeaderBroken;  // a member on another disk
  out.unicodeName = wantNames ? UnicodeName(v, extraLen, out.name) : std::string();
  int64_t at = 0;
  if (local > static_cast<uint64_t>(INT64_MAX) || __builtin_add_overflow(static_cast<int64_t>(local), delta, &at) ||
      at < 0) {
    return code::kHeaderBroken;
  }
  out.local = static_cast<uint64_t>(at);
  return code::kOk;
}

int ReadLocal(ArchiveFile& file, const CentralEntry& entry, MemberData& out) {
  const unsigned char* h = nullptr;
  if (const int rc = file.View(entry.local, kLocalSize, h, 1); rc != code::kOk) return rc;
  if (!Signature(h, 3, 4)) return code::kHeaderBroken;
  const uint16_t flags = Le16(h + 6);
  const uint16_t method = Le16(h + 8);
  const uint32_t crc = Le32(h + 14);
  uint64_t compressed = Le32(h + 18);
  uint64_t size = Le32(h + 22);
  const uint16_t nameLen = Le16(h + 26);
  const uint16_t extraLen = Le16(h + 28);
  if (method != entry.method) return code::kHeaderBroken;
  // Both copies of the flags agree, but for the UTF-8 flag (it only says how to read the name),
  // deflate's compression-level hints and, up to deflate, the reserved top bit.
  uint16_t ignored = flag::kUtf8;
  if (method <= 8) ignored |= 0x8000;
  if (method == 8) ignored |= 0x0006;
  if (((flags ^ entry.flags) & ~ignored) != 0) return code::kHeaderBroken;

  {
    const unsigned char* name = nullptr;
    if (const int rc = file.View(entry.local + kLocalSize, nameLen, name, 1); rc != code::kOk) return rc;
    if (nameLen != entry.name.size() || std::memcmp(name, entry.name.data(), nameLen) != 0) return code::kHeaderBroken;
  }
  const unsigned char* extra = nullptr;
  if (const int rc = file.View(entry.local + kLocalSize + nameLen, extraLen, extra, 1); rc != code::kOk) return rc;
  if (!ExtraWellFormed(extra, extraLen)) return code::kHeaderBroken;
  // The local zip64 field carries both sizes; take them where the plain fields are placeholders.
  uint64_t wide[2] = {size, compressed};
  uint64_t* both[2] = {&wide[0], &wide[1]};
  bool zip64 = false;
  if (!ReadZip64(extra, extraLen, both, 2, zip64)) {
    // A short field: only the placeholders it covers, in order.
    uint64_t* some[2] = {size == 0xFFFFFFFFu ? &wide[0] : nullptr, compressed == 0xFFFFFFFFu ? &wide[1] : nullptr};
    if (!ReadZip64(extra, extraLen, some, 2, zip64)) return code::kHeaderBroken;
  }
  if (zip64) {
    if (size == 0xFFFFFFFFu) size = wide[0];
    if (compressed == 0xFFFFFFFFu) compressed = wide[1];
  }
  // With a data descriptor the local values mean nothing (streaming writers leave zeros or
  // guesses); the central directory has the real ones.
  const bool descriptor = (flags & flag::kDescriptor) != 0;
  if (!descriptor && (crc != entry.crc || compressed != entry.compressed || size != entry.size)) {
    return code::kHeaderBroken;
  }

  out.start = entry.local + kLocalSize + nameLen + extraLen;
  if (entry.compressed > file.size() || out.start > file.size() - entry.compressed) return code::kHeaderBroken;
  out.end = out.start + entry.compressed;
  out.descriptor = descriptor;
  if (!descriptor) return code::kOk;

  // The descriptor follows the data, with or without its signature, with 64-bit sizes when the
  // local header has a zip64 field. It repeats the central values; testers do not hold a
  // writer to it, so only its length matters here (for the bytes the member occupies).
  unsigned char sig[4] = {};
  if (file.size() - out.end >= 4) {
    if (const int rc = file.ReadAt(out.end, sig, 4); rc != code::kOk) return rc;
  }
  const uint64_t length = (Signature(sig, 7, 8) ? 4 : 0) + 4 + (zip64 ? 16 : 8);
  if (length > file.size() - out.end) return code::kHeaderBroken;
  out.end += length;
  return code::kOk;
}

int Archive::Open(ArchiveFile& file, bool wantNames) {
  file_ = &file;
  order_.clear();
  bool found = false;
  if (const int rc = FindDirectory(file, dir_, found); rc != code::kOk) return rc;
  if (!found) {
    if (file.size() == 0) return code::kFileStyle;
    return HasLocalHeader(file) ? code::kHeaderBroken : code::kFileStyle;
  }
  if (dir_.entries > kMaxMembers) return code::kTooManyFiles;

  // The directory, entry by entry: only each member's two positions are kept.
  order_.reserve(static_cast<size_t>(std::min<uint64_t>(dir_.entries, dir_.size / kCentralSize)));
  const uint64_t end = dir_.start + dir_.size;
  uint64_t pos = dir_.start;
  CentralEntry entry;
  while (pos < end) {
    const unsigned char* p = nullptr;
    if (end - pos < 4) return code::kHeaderBroken;
    if (const int rc = file.View(pos, 4, p); rc != code::kOk) return rc;
    if (Signature(p, 5, 5) && end - pos >= 6) {  // the directory's digital signature closes it
      if (const int rc = file.View(pos, 6, p); rc != code::kOk) return rc;
      pos += 6 + Le16(p + 4);
      if (pos != end) return code::kHeaderBroken;
      break;
    }
    if (const int rc = ReadCentral(file, pos, end, dir_.delta, false, entry); rc != code::kOk) return rc;
    if (order_.size() == kMaxMembers) return code::kTooManyFiles;
    order_.push_back(Slot{entry.local, pos});
    pos += entry.length;
  }
  const uint64_t count = order_.size();
  if (dir_.wrappingCount ? (count & 0xFFFF) != (dir_.entries & 0xFFFF) : count != dir_.entries) {
    return code::kHeaderBroken;
  }

  // Every local header checked before anything is decoded, in file order; a member whose
  // header and data reach into the next member or into the directory shares bytes with it
  // (overlapping members are how small files expand without bound).
  std::sort(order_.begin(), order_.end(),
            [](const Slot& a, const Slot& b) { return a.local != b.local ? a.local < b.local : a.central < b.central; });
  MemberData data;
  wantNames_ = false;
  for (size_t i = 0; i < order_.size(); ++i) {
    if (const int rc = Member(i, entry, data); rc != code::kOk) return rc;
    const uint64_t limit = i + 1 < order_.size() ? std::min(order_[i + 1].local, dir_.start) : dir_.start;
    if (data.end > limit) return code::kHeaderBroken;
  }
  wantNames_ = wantNames;
  return code::kOk;
}

int Archive::Member(size_t i, CentralEntry& entry, MemberData& data) {
  const uint64_t end = dir_.start + dir_.size;
  if (const int rc = ReadCentral(*file_, order_[i].central, end, dir_.delta, wantNames_, entry); rc != code::kOk) {
    return rc;
  }
  return ReadLocal(*file_, entry, data);
}

namespace {

// The archive spans [begin, its end records): not carried by another family's member.
int OwnRange(ArchiveFile& file, uint64_t begin, const Directory& dir) {
  if (begin == 0) return code::kOk;
  return arc::OwnArchiveCode(file.fd(), file.size(), arc::Family::kZip, begin, std::max(begin, dir.endStart) + 1);
}

}  // namespace

int Archive::Own() const {
  const uint64_t begin = order_.empty() ? dir_.start : std::min(order_.front().local, dir_.start);
  return OwnRange(*file_, begin, dir_);
}

bool CarriesArchive(ArchiveFile& file) {
  Directory dir;
  bool found = false;
  if (FindDirectory(file, dir, found) != code::kOk || !found) return false;
  if (dir.entries == 0 && dir.size == 0) return OwnRange(file, dir.start, dir) == code::kOk;
  // The first member's local header must be where the directory puts it.
  CentralEntry entry;
  if (ReadCentral(file, dir.start, dir.start + dir.size, dir.delta, false, entry) != code::kOk) return false;
  const unsigned char* p = nullptr;
  if (file.View(entry.local, 4, p, 1) != code::kOk || !Signature(p, 3, 4)) return false;
  return OwnRange(file, std::min(entry.local, dir.start), dir) == code::kOk;
}

}  // namespace zipar
