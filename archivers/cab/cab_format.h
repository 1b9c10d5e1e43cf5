// The cabinet layout (CFHEADER, CFFOLDER, CFFILE, CFDATA): reading the header tables with their
// sanity checks, the data-block checksum, and where a cabinet starts inside a file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cab_file.h"

namespace cabar {

constexpr uint16_t kFlagPrev = 0x0001;     // continues a previous cabinet
constexpr uint16_t kFlagNext = 0x0002;     // continued in a next cabinet
constexpr uint16_t kFlagReserve = 0x0004;  // reserved areas present
constexpr uint16_t kFromPrev = 0xFFFD;     // member folder index: begins in the previous cabinet
constexpr uint16_t kToNext = 0xFFFE;       // ends in the next cabinet
constexpr uint16_t kPrevAndNext = 0xFFFF;  // both

constexpr uint32_t kBlockMax = 32768;              // uncompressed bytes of one data block
constexpr uint32_t kBlockInputMax = 32768 + 6144;  // compressed bytes of one data block
constexpr uint64_t kFolderMax = 65535ull * 32768;  // uncompressed bytes of one folder

enum : uint16_t { kStored = 0, kMszip = 1, kQuantum = 2, kLzx = 3 };

struct Folder {
  uint32_t data = 0;     // first CFDATA, from the cabinet's start
  uint16_t blocks = 0;   // CFDATA records in this cabinet
  uint16_t type = 0;     // typeCompress
};

struct Member {
  uint32_t size = 0;
  uint32_t offset = 0;   // in the folder's uncompressed data
  uint16_t folder = 0;   // index, or kFromPrev / kToNext / kPrevAndNext
  uint16_t attributes = 0;
  std::string name;
  // The folder this member lies in, as an index of this cabinet.
  size_t FolderIndex(size_t folders) const {
    if (folder == kToNext) return folders - 1;
    return folder >= kFromPrev ? 0 : folder;
  }
  bool FromPrev() const { return folder == kFromPrev || folder == kPrevAndNext; }
  bool ToNext() const { return folder == kToNext || folder == kPrevAndNext; }
};

struct Cabinet {
  int64_t base = 0;        // file offset of "MSCF"
  uint32_t length = 0;     // cbCabinet
  uint16_t flags = 0;
  uint16_t setId = 0;
  uint16_t index = 0;      // iCabinet
  uint8_t dataReserve = 0; // bytes between a CFDATA header and its data
  uint32_t filesEnd = 0;   // end of the file table: the data begins here
  std::string prevName, nextName;
  std::vector<Folder> folders;
  std::vector<Member> members;
  bool continuedFromPrev = false;  // its first folder began in the previous cabinet
  bool continuedToNext = false;    // its last folder goes on in the next one
};

// The last component of a cabinet name as stored (after its last '/' or '\\').
std::string LeafName(const std::string& stored);

// Reads and checks the header, folder and file tables of the cabinet at `base`. 0, or 0x8017 for
// a header whose fields contradict each other or the file (sizes and offsets outside the
// cabinet or the file, tables overlapping, reserved fields or unknown flags set, a neighbour's
// name that is no plausible file name, a previous cabinet announced by the set's first (index 0),
// a folder entry (attribute 0x10) with data, members of a folder overlapping other than by
// naming exactly the same range), 0x801A for a failed read.
int ReadCabinet(CabFile& file, int64_t base, Cabinet& out);

// Folder compression parameters: 0, 0x8009 for a compression type other than none, MSZIP,
// Quantum or LZX, 0x8017 for a window size, level or reserved bit outside the format.
int CheckCompression(uint16_t type);

// The data-block checksum: XOR of little-endian 32-bit words, the last 1-3 bytes taken high first.
uint32_t BlockChecksum(const unsigned char* data, size_t size, uint32_t seed);

// Where the cabinet of a file starts: "MSCF" at offset 0, else the first header found behind
// leading data whose fixed fields mostly fit (`damaged` when its tables then fail ReadCabinet:
// it is still the cabinet, never passed over for a later "MSCF").
struct Located {
  int code = 0;          // 0 found; 0x801B none; 0x801A a failed read
  int64_t base = 0;
};
Located LocateCabinet(CabFile& file);

}  // namespace cabar
