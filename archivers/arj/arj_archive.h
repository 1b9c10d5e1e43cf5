// ARJ archive reader: finds the main header (also behind a self-extractor stub), walks the
// member headers and tests every member's data against its CRC-32.
#pragma once

#include <cstdint>

#include "archiver_common.h"
#include "lzhuff.h"

namespace arj {

constexpr unsigned kMaxBasicHeader = 2600;

// Offset of the first valid main header (size 1..2600, good header CRC, file type 2), or -1.
// When there is none, *startFault receives what is wrong with a header at offset 0
// (kHeaderCrc, kHeaderBroken) or kFileStyle when the file does not start like ARJ.
int64_t FindMainHeader(int fd, uint64_t fileSize, int* startFault);

// Tests every member of the archive at path; the result holds the first fault or the number
// of members that could not be tested (garbled, unknown method or file type).
void TestArchive(const char* path, arc::TestResult& result);

// The check entry: mode 2 runs the full test and answers 1 when no fault was found (skipped
// members do not fail it), else 0; every other mode answers 1 when a main header exists.
int CheckArchive(const char* path, int mode);

// ARJ method 4: unary-prefixed lengths (widths 0..7) and positions (widths 9..13), 8-bit
// literals, no Huffman tables.
lzhuff::Status DecodeMethod4(lzhuff::Input& in, uint64_t compressedSize, uint64_t originalSize,
                             lzhuff::Output& out);

}  // namespace arj
