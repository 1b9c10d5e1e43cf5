// The ZIP structure: the end records, the central directory and each member's local header,
// read with the tolerance of the established testers for what real writers leave (stubs,
// trailers, padding, zip64 placeholders, data descriptors) and exact about everything that
// decides which bytes are a member's data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zip_file.h"

namespace zipar {

// Members an archive may hold; the index costs 16 bytes per member (16 MiB at the bound).
constexpr uint64_t kMaxMembers = 1u << 20;

namespace flag {
constexpr uint16_t kEncrypted = 0x0001;
constexpr uint16_t kImplode8K = 0x0002;     // implode: 8 KiB window
constexpr uint16_t kImplode3Trees = 0x0004; // implode: literal tree present
constexpr uint16_t kDescriptor = 0x0008;    // sizes and CRC follow the data
constexpr uint16_t kStrongEncryption = 0x0040;
constexpr uint16_t kUtf8 = 0x0800;
}  // namespace flag

// Where the archive lies in the file.
struct Directory {
  uint64_t start = 0;    // file position of the central directory
  uint64_t size = 0;
  uint64_t entries = 0;  // as announced
  bool wrappingCount = false;  // a 16-bit count: more members may wrap it modulo 65536
  int64_t delta = 0;     // added to stored offsets (bytes of a stub the offsets do not count)
  uint64_t endStart = 0; // first byte of the end records (zip64 ones included)
};

// Looks for the end record in the last 64 KiB + 22 bytes (the last one first) and accepts the
// first whose directory lies in the file and begins with a central header. 0 with found set or
// not, or a read error.
int FindDirectory(ArchiveFile& file, Directory& out, bool& found);

// A file without a usable end record that still holds a plausible local header: truncated.
bool HasLocalHeader(ArchiveFile& file);

struct CentralEntry {
  uint64_t position = 0;  // of the central header
  uint64_t length = 0;    // of the central header with name, extra and comment
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t crc = 0;
  uint64_t compressed = 0;
  uint64_t size = 0;
  uint64_t local = 0;     // file position of the local header (delta applied)
  std::string name;       // bytes as stored
  std::string unicodeName;  // from a Unicode path field that still matches the name, else empty
};

// Parses the central header at `position`, which must end by `limit`. 0 or kHeaderBroken.
int ReadCentral(ArchiveFile& file, uint64_t position, uint64_t limit, int64_t delta, bool wantNames,
                CentralEntry& out);

// A member's data as its local header places it.
struct MemberData {
  uint64_t start = 0;  // first byte of the compressed data
  uint64_t end = 0;    // past the data and its descriptor
  bool descriptor = false;  // written by a streaming writer: sizes and CRC follow the data
};

// Checks the local header of `entry` against it (signature, method, encryption and implode
// flags, CRC and sizes, the data descriptor when one is announced). 0 or kHeaderBroken.
int ReadLocal(ArchiveFile& file, const CentralEntry& entry, MemberData& out);

// The archive's members in file order, every header checked and no two members sharing bytes.
class Archive {
 public:
  // 0 or the archive's fault: kFileStyle (no ZIP), kHeaderBroken, kTooManyFiles, read errors.
  int Open(ArchiveFile& file, bool wantNames);
  size_t count() const { return order_.size(); }
  // 0 when the archive is the file's own; kFileStyle when it lies inside a member of another
  // family's archive in the same file (a ZIP stored in a cabinet or an ARJ archive); a read error.
  int Own() const;
  // The i-th member in file order.
  int Member(size_t i, CentralEntry& entry, MemberData& data);

 private:
  struct Slot {
    uint64_t local;
    uint64_t central;
  };
  ArchiveFile* file_ = nullptr;
  Directory dir_;
  bool wantNames_ = false;
  std::vector<Slot> order_;
};

// Recognition: the file carries a ZIP archive of its own (an end record whose directory is
// consistent with the file, not stored in another family's member).
bool CarriesArchive(ArchiveFile& file);

}  // namespace zipar
