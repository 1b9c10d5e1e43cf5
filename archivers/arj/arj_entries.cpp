// The exported entries of UNARJ32J.DLL: command, check, version and busy.
#include "archiver_common.h"
#include "arj_archive.h"

namespace {
arc::LibraryLock g_lock;
constexpr unsigned short kVersion = 300;
}  // namespace

extern "C" __attribute__((visibility("default"))) int Unarj(void* /*window*/, const char* commandLine,
                                                            char* output, unsigned long outputSize) {
  if (output != nullptr && outputSize > 0) output[0] = '\0';
  arc::LibraryScope scope(g_lock, false);
  if (!scope.entered()) return arc::code::kAlreadyRunning;
  try {
    arc::Command cmd;
    if (int rc = arc::ParseCommandLine(commandLine, cmd); rc != 0) return rc;
    if (cmd.kind != arc::Command::Kind::Test) return arc::code::kNotSupport;
    arc::TestResult result;
    arj::TestArchive(cmd.archive.c_str(), result);
    return result.Code();
  } catch (...) {
    return arc::code::kMoreHeapMemory;
  }
}

extern "C" __attribute__((visibility("default"))) int UnarjCheckArchive(const char* archivePath, int mode) {
  if (archivePath == nullptr) return 0;
  arc::LibraryScope scope(g_lock, true);
  try {
    return arj::CheckArchive(archivePath, mode);
  } catch (...) {
    return 0;
  }
}

extern "C" __attribute__((visibility("default"))) unsigned short UnarjGetVersion(void) { return kVersion; }

extern "C" __attribute__((visibility("default"))) int UnarjGetRunning(void) { return g_lock.Running(); }
