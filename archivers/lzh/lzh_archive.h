// Reading LZH archives: buffered file access, our own header parser (levels 0-3, checksums and
// CRCs verified, 64-bit sizes, folder entries of every host), where the archive starts (plain
// files, self-extractor stubs, damaged first members) and the member walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lzhar {

// Read-only archive file with one buffered window for the many small reads of headers and of
// the decoders' input callbacks. Every read reports progress; a cancelled call reads as an error.
class ArchiveFile {
 public:
  ArchiveFile() = default;
  ~ArchiveFile();
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  // 0, or kArchiveOpen when the path is not a regular file that opens for reading (a FIFO, a
  // device or a folder is refused before it is opened, so nothing blocks).
  int Open(const std::string& path);
  int fd() const { return fd_; }
  uint64_t size() const { return size_; }
  // Bytes read (fewer only at the end of the file), or -1 on a read error or a cancel.
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
  std::string name;            // folder and file name as stored ('/' for 0xFF; '\\' kept)
  uint16_t crc = 0;            // CRC-16 of the original data
  int level = 0;
  bool directory = false;      // a folder entry: "-lhd-", or an empty stored member named as a folder
  bool headerChecked = false;  // a checksum or header CRC was present and matched
  uint64_t dataOffset() const { return offset + headerSize; }
  bool isDirectory() const { return directory; }
};

enum class HeaderStatus { kOk, kEnd, kTruncated, kChecksum, kBroken, kReadError };

// Parses the header at offset. kEnd: end of file or the 0x00 end byte exactly there (a 0x00
// followed by the rest of a header shape is a damaged header, not the end).
HeaderStatus ReadHeader(ArchiveFile& file, uint64_t offset, MemberHeader& header);

// Archive error code for a header status other than kOk/kEnd.
int HeaderStatusCode(HeaderStatus status);

// Where the archive starts, and whether its first member is known to be damaged.
struct ArchiveStart {
  uint64_t offset = 0;
  bool damaged = false;  // the first member's header is damaged (or not there at all)
};

// 0 with `start` set; kFileStyle when the file holds no LZH archive of its own (also one only
// stored inside an archive of another family); kCannotRead.
//  - a file beginning with a header shape, or with anything but an executable stub, starts at 0:
//    damage there is reported, never skipped;
//  - behind a stub (MZ, X68 "HU", ELF, Amiga hunk, "#!") the archive starts at the first header
//    whose checksum or header CRC holds, unless a damaged header before it is the first member:
//    a near-header shape whose declared extent ends exactly at that header (or at the end of the
//    archive), also after mending one bit of its size fields or with its size byte taken from
//    the extent and confirmed by the checksum.
int FindArchiveStart(ArchiveFile& file, ArchiveStart& start);

// Walks the members from the archive start, each header parsed and verified by ReadHeader.
class MemberWalk {
 public:
  static constexpr int kEnd = 1;
  static constexpr uint32_t kMaxMembers = 1u << 20;

  MemberWalk(ArchiveFile& file, uint64_t start, bool damagedFirst = false)
      : file_(file), position_(start), damagedFirst_(damagedFirst) {}

  // 0 with the next member's header; kEnd at a clean end; otherwise an archive error code
  // (the walk cannot go on after one).
  int Next(MemberHeader& header);

 private:
  ArchiveFile& file_;
  uint64_t position_;
  bool damagedFirst_;
  uint32_t count_ = 0;
  bool stopped_ = false;
};

}  // namespace lzhar
