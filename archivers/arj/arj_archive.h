// ARJ archive reader: finds the main header (also behind a self-extractor stub), walks the
// member headers and tests every member's data against its CRC-32.
#pragma once

#include <cstdint>

#include "archiver_common.h"
#include "lzhuff.h"

namespace arj {

constexpr unsigned kMaxBasicHeader = 2600;

// Where the archive starts, and a fault to report at once when its main header is damaged.
struct Start {
  uint64_t offset = 0;
  int fault = 0;  // kHeaderCrc / kHeaderBroken: the main header is damaged or missing
};

// 0 with `start` set; kFileStyle when the file holds no ARJ archive of its own (also one only
// stored inside an archive of another family); kCannotRead.
//  - a file beginning with the header id (or a main header with one feature damaged) is an
//    archive at 0, even when a valid main header exists further on;
//  - a file beginning with anything else but an executable stub (MZ, X68 "HU", ELF, Amiga hunk,
//    "#!") holding an archive further on is an archive with a damaged start;
//  - behind a stub the archive starts at the first valid main header (size 1..2600, header CRC,
//    file type 2), unless a valid member header that chains on to the next header comes first:
//    then the main header in front of it is damaged.
int FindStart(int fd, uint64_t fileSize, Start& start);

// Tests every member of the archive at path; the result holds the first fault or the number
// of members that could not be tested (garbled, unknown method or file type).
void TestArchive(const char* path, arc::TestResult& result);

// The check entry: mode 2 runs the full test and answers 1 when no fault was found (skipped
// members do not fail it), else 0; every other mode answers 1 when FindStart finds an archive.
int CheckArchive(const char* path, int mode);

// ARJ method 4: unary-prefixed lengths (widths 0..7) and positions (widths 9..13), 8-bit
// literals, no Huffman tables.
lzhuff::Status DecodeMethod4(lzhuff::Input& in, uint64_t compressedSize, uint64_t originalSize,
                             lzhuff::Output& out);

}  // namespace arj
