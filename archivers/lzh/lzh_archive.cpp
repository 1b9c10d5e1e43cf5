// LZH archive reading: file window, header parser, start scan and member walk.
#include "lzh_archive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archiver_common.h"
#include "lzhuff.h"

extern "C" {
#include <lha_reader.h>
}

namespace lzhar {
namespace {

constexpr size_t kWindowSize = 256 * 1024;
constexpr uint64_t kMaxHeaderSize = 1024 * 1024;  // level 1 extension chains and level 3 headers
constexpr size_t kCommonHeaderLength = 24;        // the smallest header of any level
constexpr int kMaxScanCandidates = 4096;          // header-shaped spots verified before giving up

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// "-l??-" (LHarc, LArc) or "-pm?-" (PMarc) at h+2, and a header level byte at h+20.
bool ShapedLikeHeader(const uint8_t* h) {
  if (h[2] != '-' || h[6] != '-') return false;
  const bool lha = h[3] == 'l';
  const bool pmarc = h[3] == 'p' && h[4] == 'm' && h[5] != 's';
  return (lha || pmarc) && h[20] <= 3;
}

// A first header damaged in its method field: most of the shape is still there. Self-extractor
// stubs ("MZ", "HU") never look like this. (A valid checksum alone is no sign: one MZ stub in
// 256 would pass it.)
bool DamagedHeaderShape(const uint8_t* h) {
  if (h[20] > 3) return false;
  const int shape = (h[2] == '-') + (h[3] == 'l' || h[3] == 'p') + (h[4] == 'h' || h[4] == 'z' || h[4] == 'm') +
                    (h[6] == '-');
  return shape >= 3;
}

// Reads exactly length bytes at offset: 1 done, 0 the file ends first, -1 read error.
int ReadExact(ArchiveFile& file, uint64_t offset, uint8_t* buffer, size_t length) {
  if (offset > file.size() || file.size() - offset < length) return 0;
  const long n = file.ReadAt(offset, buffer, length);
  if (n < 0) return -1;
  return static_cast<size_t>(n) == length ? 1 : 0;
}

// Names keep their bytes: '\\' may be the second byte of a Shift-JIS character, so only the
// 0xFF separator of extended headers becomes '/'.
void AppendName(std::string& to, const uint8_t* data, size_t length) {
  for (size_t i = 0; i < length; ++i) to.push_back(data[i] == 0xFF ? '/' : static_cast<char>(data[i]));
}

struct ExtensionState {
  std::string fileName;
  std::string folder;
  bool haveFileName = false;
  bool haveCrc = false;
  size_t crcAt = 0;  // position of the header CRC within the raw header bytes
  uint16_t headerCrc = 0;
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

HeaderStatus CheckHeaderCrc(std::vector<uint8_t>& raw, ExtensionState& state, MemberHeader& header) {
  if (!state.haveCrc) return HeaderStatus::kOk;
  raw[state.crcAt] = 0;
  raw[state.crcAt + 1] = 0;
  if (lzhuff::Crc16(0, raw.data(), raw.size()) != state.headerCrc) return HeaderStatus::kChecksum;
  header.headerChecked = true;
  return HeaderStatus::kOk;
}

HeaderStatus ReadLevel01(ArchiveFile& file, uint64_t offset, const uint8_t* head, MemberHeader& h) {
  const size_t headerLength = head[0];
  const size_t minimum = h.level == 0 ? 22 : 25;
  if (headerLength < minimum) return HeaderStatus::kBroken;
  std::vector<uint8_t> raw(headerLength + 2);
  const int rr = ReadExact(file, offset, raw.data(), raw.size());
  if (rr < 0) return HeaderStatus::kReadError;
  if (rr == 0) return HeaderStatus::kTruncated;
  unsigned sum = 0;
  for (size_t i = 2; i < raw.size(); ++i) sum += raw[i];
  if ((sum & 0xFF) != raw[1]) return HeaderStatus::kChecksum;
  h.headerChecked = true;
  const size_t nameLength = raw[21];
  if (minimum + nameLength > headerLength) return HeaderStatus::kBroken;
  ExtensionState state;
  std::string baseName;
  AppendName(baseName, &raw[22], nameLength);
  h.crc = U16(&raw[22 + nameLength]);
  uint64_t skip = U32(&raw[7]);
  h.headerSize = raw.size();
  if (h.level == 1) {
    // Extended headers follow the base header; the size field counts them as data.
    uint64_t next = U16(&raw[raw.size() - 2]);
    uint64_t at = offset + raw.size();
    while (next != 0) {
      if (next < 3 || next > skip) return HeaderStatus::kBroken;
      if (raw.size() + next > kMaxHeaderSize) return HeaderStatus::kBroken;
      const size_t recordAt = raw.size();
      raw.resize(raw.size() + static_cast<size_t>(next));
      const int r = ReadExact(file, at, &raw[recordAt], static_cast<size_t>(next));
      if (r < 0) return HeaderStatus::kReadError;
      if (r == 0) return HeaderStatus::kTruncated;
      const HeaderStatus st = TakeExtension(&raw[recordAt], static_cast<size_t>(next), 2, recordAt, state);
      if (st != HeaderStatus::kOk) return st;
      skip -= next;
      at += next;
      next = U16(&raw[raw.size() - 2]);
    }
    h.headerSize = raw.size();
    const HeaderStatus crc = CheckHeaderCrc(raw, state, h);
    if (crc != HeaderStatus::kOk) return crc;
  }
  h.compressedSize = skip;
  h.originalSize = U32(&raw[11]);
  h.name = state.folder + (state.haveFileName ? state.fileName : baseName);
  return HeaderStatus::kOk;
}

HeaderStatus ReadLevel23(ArchiveFile& file, uint64_t offset, const uint8_t* head, MemberHeader& h) {
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
  h.compressedSize = U32(&raw[7]);
  h.originalSize = U32(&raw[11]);
  h.crc = U16(&raw[21]);
  h.name = state.folder + state.fileName;
  return HeaderStatus::kOk;
}

}  // namespace

ArchiveFile::~ArchiveFile() {
  if (fd_ >= 0) ::close(fd_);
}

int ArchiveFile::Open(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return arc::code::kArchiveOpen;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return arc::code::kArchiveOpen;
  }
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
    const long n = PreadFully(fd_, offset, window_.data(), window_.size());
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
  if (n >= 1 && head[0] == 0) return HeaderStatus::kEnd;
  if (static_cast<size_t>(n) < sizeof head) return HeaderStatus::kTruncated;
  header.level = head[20];
  HeaderStatus st;
  switch (header.level) {
    case 0:
    case 1:
      st = ReadLevel01(file, offset, head, header);
      break;
    case 2:
    case 3:
      st = ReadLevel23(file, offset, head, header);
      break;
    default:
      return HeaderStatus::kBroken;
  }
  if (st != HeaderStatus::kOk) return st;
  if (head[2] != '-' || head[6] != '-') return HeaderStatus::kBroken;
  header.method.assign(reinterpret_cast<const char*>(head + 2), 5);
  if (header.method.find('\0') != std::string::npos) return HeaderStatus::kBroken;
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

bool FindArchiveStart(ArchiveFile& file, uint64_t& start) {
  const uint64_t size = file.size();
  if (size < kCommonHeaderLength) return false;
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(size, 1024 * 1024 + kCommonHeaderLength)));
  // A plain archive starts at 0, even with a damaged first header, so the damage is reported.
  if (file.ReadAt(0, chunk.data(), kCommonHeaderLength) != static_cast<long>(kCommonHeaderLength)) return false;
  if (ShapedLikeHeader(chunk.data()) || DamagedHeaderShape(chunk.data())) {
    start = 0;
    return true;
  }
  uint64_t base = 0;
  int candidates = 0;
  while (base + kCommonHeaderLength <= size) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - base));
    const long got = file.ReadAt(base, chunk.data(), want);
    if (got < static_cast<long>(kCommonHeaderLength)) return false;
    const size_t limit = static_cast<size_t>(got) - kCommonHeaderLength;  // last candidate index
    for (size_t i = 0; i <= limit; ++i) {
      // Find the next '-' that could sit at offset 2 of a header.
      const void* dash = std::memchr(&chunk[i + 2], '-', limit - i + 1);
      if (dash == nullptr) break;
      i = static_cast<size_t>(static_cast<const uint8_t*>(dash) - chunk.data()) - 2;
      if (!ShapedLikeHeader(&chunk[i])) continue;
      const uint64_t at = base + i;
      if (++candidates > kMaxScanCandidates) return false;  // a crafted file, not a stub
      MemberHeader h;
      if (ReadHeader(file, at, h) == HeaderStatus::kOk && h.headerChecked) {
        start = at;
        return true;
      }
    }
    if (static_cast<uint64_t>(got) < want || base + got >= size) break;
    base += limit + 1;
  }
  return false;
}

namespace {

int StreamRead(void* handle, void* buffer, size_t length) {
  auto* s = static_cast<MemberWalk::StreamState*>(handle);
  if (length > (1u << 30)) length = 1u << 30;
  const long n = s->file->ReadAt(s->position, static_cast<uint8_t*>(buffer), length);
  if (n < 0) return -1;
  s->position += static_cast<uint64_t>(n);
  return static_cast<int>(n);
}

int StreamSkip(void* handle, size_t bytes) {
  auto* s = static_cast<MemberWalk::StreamState*>(handle);
  if (bytes > s->file->size() - std::min(s->position, s->file->size())) {
    s->position = s->file->size();
    return 0;
  }
  s->position += bytes;
  return 1;
}

const LHAInputStreamType kStreamType = {StreamRead, StreamSkip, nullptr};

}  // namespace

MemberWalk::MemberWalk(ArchiveFile& file, uint64_t start)
    : file_(file), position_(start), stream_{&file, start} {}

MemberWalk::~MemberWalk() {
  if (reader_ != nullptr) lha_reader_free(reader_);
  if (input_ != nullptr) lha_input_stream_free(input_);
}

int MemberWalk::Next(MemberHeader& header) {
  if (stopped_) return arc::code::kHeaderBroken;
  stopped_ = true;  // cleared again only when this member is accepted
  if (count_ >= kMaxMembers) return arc::code::kTooManyFiles;
  const HeaderStatus st = ReadHeader(file_, position_, header);
  if (st == HeaderStatus::kEnd) return kEnd;
  if (st != HeaderStatus::kOk) return HeaderStatusCode(st);

  // liblhasa's reader, fed by our stream, must see the same header at the same place.
  if (reader_ == nullptr) {
    input_ = lha_input_stream_new(&kStreamType, &stream_);
    if (input_ == nullptr) return arc::code::kMoreHeapMemory;
    reader_ = lha_reader_new(input_);
    if (reader_ == nullptr) return arc::code::kMoreHeapMemory;
    lha_reader_set_dir_policy(reader_, LHA_READER_DIR_PLAIN);
  }
  LHAFileHeader* lha = lha_reader_next_file(reader_);
  if (lha == nullptr) return arc::code::kHeaderBroken;
  if (stream_.position != header.dataOffset() || lha->compressed_length != header.compressedSize ||
      lha->length != header.originalSize || std::memcmp(lha->compress_method, header.method.data(), 5) != 0) {
    return arc::code::kHeaderBroken;
  }
  // Compressed data cut short by the end of the file.
  if (header.compressedSize > file_.size() - header.dataOffset()) return arc::code::kCannotRead;
  position_ = header.dataOffset() + header.compressedSize;
  ++count_;
  stopped_ = false;
  return arc::code::kOk;
}

}  // namespace lzhar
