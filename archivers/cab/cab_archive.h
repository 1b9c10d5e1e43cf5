// CAB back end of CAB32.DLL over libmspack: cabinet test and recognition, also of a cabinet
// inside a self-extracting program.
#pragma once

#include <cstdint>
#include <string>

#include "archiver_common.h"

namespace cabar {

constexpr unsigned short kVersion = 100;  // 1.00
constexpr int kMaxEmbeddedTries = 64;     // "MSCF" candidates tried inside one file

// Decompresses every member into a counting sink and checks the data-block checksums;
// writes nothing. 0, a library error code, or the number of members that could not be tested.
int Test(const std::string& path);

// True when the file is a cabinet or holds one (a self-extractor).
bool IsArchive(const std::string& path);

// The exported entries, with the library's busy flag. A busy library makes Command return
// 0x801F; Check waits its turn. Mode 2 runs the full test (0 = failed); any other mode asks
// only whether the file is a cabinet (1) or not (0). Extraction is not offered: 0x801C.
int Command(const char* commandLine);
int Check(const char* archivePath, int mode);
int Running();
// The progress entry: callback and its argument for the calls that follow (nullptr: none).
void SetProgress(arc::ProgressFn fn, void* user);

// A libmspack error (MSPACK_ERR_*) as a library code; truncated tells a short read at the end
// of the file (a truncated cabinet) from an I/O error.
int MapMspackError(int error, bool truncated);

// Test seam: called before each member is tested (nullptr to clear).
void SetMemberHook(void (*hook)(void* context), void* context);

}  // namespace cabar
