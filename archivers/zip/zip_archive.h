// UNZIP32.DLL on our own ZIP reader: archive test, recognition (also behind a self-extracting
// stub) and extraction of one member.
#pragma once

#include <cstdint>
#include <string>

#include "archiver_common.h"

namespace zipar {

constexpr unsigned short kVersion = 610;  // 6.10

// Reads and checks every member; writes nothing. 0, a library error code, or the number of
// members that could not be tested (encrypted or a method we do not decode).
int Test(const std::string& path);

// Mode-0 recognition: the file carries a ZIP archive itself, also behind a stub of any size.
bool IsArchive(const std::string& path);

// Writes destination/<last component of member> and nothing else. The member is looked up by
// its exact name, then by its last component, then ignoring ASCII case; stored names that are
// neither flagged nor valid UTF-8 are read as Shift-JIS first. 0 or a library error code.
int Extract(const std::string& archive, const std::string& destination, const std::string& member);

// The exported entries, with the library's busy flag. A busy library makes Command return
// 0x801F; Check waits its turn. Mode 2 runs the full test (0 = failed); any other mode asks
// only whether the file is a ZIP archive (1) or not (0).
int Command(const char* commandLine);
int Check(const char* archivePath, int mode);
int Running();
// The progress entry: callback and its argument for the calls that follow (nullptr: none).
void SetProgress(arc::ProgressFn fn, void* user);

// Test seam: called before each member is tested (nullptr to clear).
void SetMemberHook(void (*hook)(void* context), void* context);

}  // namespace zipar
