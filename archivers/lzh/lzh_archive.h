// Reading LZH archives: buffered file access, our own header parser (levels 0-3, checksums and
// CRCs verified), the whole-file scan for the first header, and the member walk that drives
// liblhasa's reader over our own position-tracking input stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct _LHAReader;
struct _LHAInputStream;

namespace lzhar {

// Read-only archive file with one buffered window for the many small reads of headers and of
// the decoders' input callbacks.
class ArchiveFile {
 public:
  ArchiveFile() = default;
  ~ArchiveFile();
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  // 0, or kArchiveOpen when the path cannot be opened as a regular file.
  int Open(const std::string& path);
  uint64_t size() const { return size_; }
  // Bytes read (fewer only at the end of the file), or -1 on a read error.
  long ReadAt(uint64_t offset, uint8_t* buffer, size_t length);

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  std::vector<uint8_t> window_;
  uint64_t windowStart_ = 0;
  size_t windowLength_ = 0;
};

struct MemberHeader {
  uint64_t offset = 0;         // first byte of the header
  uint64_t headerSize = 0;     // bytes from offset to the compressed data
  uint64_t compressedSize = 0;
  uint64_t originalSize = 0;
  std::string method;          // five characters, "-lh5-"
  std::string name;            // folder and file name as stored ('/' or, level 0/1, '\\')
  uint16_t crc = 0;            // CRC-16 of the original data
  int level = 0;
  bool headerChecked = false;  // a checksum or header CRC was present and matched
  uint64_t dataOffset() const { return offset + headerSize; }
  bool isDirectory() const { return method == "-lhd-"; }
};

enum class HeaderStatus { kOk, kEnd, kTruncated, kChecksum, kBroken, kReadError };

// Parses the header at offset. kEnd: end of file or the 0x00 end byte exactly there.
HeaderStatus ReadHeader(ArchiveFile& file, uint64_t offset, MemberHeader& header);

// Archive error code for a header status other than kOk/kEnd.
int HeaderStatusCode(HeaderStatus status);

// Where the archive starts: 0 when the file begins with something shaped like a header (so a
// damaged first header is reported, not skipped), else the first offset anywhere in the file
// holding a header whose checksum or CRC is valid (self-extractors, X68 .X files).
bool FindArchiveStart(ArchiveFile& file, uint64_t& start);

// Walks the members from the archive start. Every header is parsed and verified by
// ReadHeader at the tracked position and must agree with what liblhasa's reader makes of it.
class MemberWalk {
 public:
  static constexpr int kEnd = 1;
  static constexpr uint32_t kMaxMembers = 1u << 20;

  MemberWalk(ArchiveFile& file, uint64_t start);
  ~MemberWalk();
  MemberWalk(const MemberWalk&) = delete;
  MemberWalk& operator=(const MemberWalk&) = delete;

  // 0 with the next member's header; kEnd at a clean end; otherwise an archive error code
  // (the walk cannot go on after one).
  int Next(MemberHeader& header);

  struct StreamState {
    ArchiveFile* file;
    uint64_t position;
  };

 private:
  ArchiveFile& file_;
  uint64_t position_;
  uint32_t count_ = 0;
  bool stopped_ = false;
  StreamState stream_;
  _LHAInputStream* input_ = nullptr;
  _LHAReader* reader_ = nullptr;
};

}  // namespace lzhar
