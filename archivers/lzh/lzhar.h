// The LZH archiver library behind the UNLHA32.DLL entries: test, check and extract one member.
#pragma once

#include <string>

#include "archiver_common.h"

namespace lzhar {

constexpr unsigned short kVersion = 300;  // 3.00, in hundredths

// Decodes every member and verifies its CRC; writes nothing. 0, the first fault's code, or the
// number of members whose method cannot be decoded (1..0x7FFF).
int Test(const std::string& archive);

// mode 0: 1 when the file holds an LZH archive (also behind a self-extractor), else 0.
// mode 1: 1 when every header is sound (no decoding), else 0.
// mode 2: the full test; 0 on any fault, 1 otherwise (skipped members are no fault).
int CheckArchive(const std::string& archive, int mode);

// Writes destination/<last component of member> from the first file member of that name
// (exact, else by last component, else ignoring ASCII case). Removes a partial file on failure.
int Extract(const std::string& archive, const std::string& destination, const std::string& member);

// The command entry: busy check, command-line parsing, then Test or Extract.
int RunCommand(const char* commandLine);
// The check entry: waits while another call runs.
int RunCheck(const char* archive, int mode);
int Running();
// The library's busy flag (exposed so tests can hold it).
arc::LibraryLock& Lock();

}  // namespace lzhar
