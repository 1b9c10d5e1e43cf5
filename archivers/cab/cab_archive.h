// CAB back end of CAB32.DLL: cabinet test and recognition, also of a cabinet inside a
// self-extracting program and of a cabinet of a multi-cabinet set.
#pragma once

#include <cstdint>
#include <string>

#include "archiver_common.h"

namespace cabar {

constexpr unsigned short kVersion = 200;  // 2.00

// Decodes every member and checks the data-block checksums; writes nothing. 0, a library error
// code, or the number of members that need a cabinet of the set that is not there.
int Test(const std::string& path);

// True when the file carries a cabinet: "MSCF" at offset 0, or a cabinet header behind leading
// data (a self-extractor). The one place that decides what mode 0 answers.
bool IsArchive(const std::string& path);

// The exported entries, with the library's busy flag. A busy library makes Command return
// 0x801F; Check waits its turn. Mode 2 runs the full test (0 = failed); any other mode asks
// only whether the file is a cabinet (1) or not (0). Extraction is not offered: 0x8023.
int Command(const char* commandLine);
int Check(const char* archivePath, int mode);
int Running();
// The progress entry: callback and its argument for the calls that follow (nullptr: none).
void SetProgress(arc::ProgressFn fn, void* user);

// Test seam: called before each member is tested (nullptr to clear).
void SetMemberHook(void (*hook)(void* context), void* context);

}  // namespace cabar
