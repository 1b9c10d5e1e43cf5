// ZIP back end of UNZIP32.DLL over libzip: archive test, recognition (also behind a
// self-extracting stub) and extraction of one member.
#pragma once

#include <cstdint>
#include <string>

#include "archiver_common.h"

namespace zipar {

constexpr unsigned short kVersion = 600;  // 6.00
constexpr uint64_t kMaxMembers = 65535;
constexpr uint64_t kMaxDirectoryBytes = 32u << 20;  // central directory size we accept

// Reads and checks every member; writes nothing. 0, a library error code, or the number of
// members that could not be tested (encrypted or an unsupported method).
int Test(const std::string& path);

// True when the file is a ZIP archive, also behind a prepended stub of any size.
bool IsArchive(const std::string& path);

// Writes destination/<leaf of member> and nothing else. 0 or a library error code.
int Extract(const std::string& archive, const std::string& destination, const std::string& member);

// The exported entries, with the library's busy flag. A busy library makes Command return
// 0x801F; Check waits its turn. Mode 2 runs the full test (0 = failed); any other mode asks
// only whether the file is a ZIP archive (1) or not (0).
int Command(const char* commandLine);
int Check(const char* archivePath, int mode);
int Running();
// The progress entry: callback and its argument for the calls that follow (nullptr: none).
void SetProgress(arc::ProgressFn fn, void* user);

// A libzip error (ZIP_ER_*) as a library code.
int MapLibzipError(int zipError);

// Test seam: called before each member is tested (nullptr to clear).
void SetMemberHook(void (*hook)(void* context), void* context);

}  // namespace zipar
