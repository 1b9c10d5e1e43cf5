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
  return arc::RunCommand(
      g_lock, commandLine,
      [](const std::string& archive) {
        arc::TestResult result;
        arj::TestArchive(archive.c_str(), result);
        return result.Code();
      },
      nullptr);
}

extern "C" __attribute__((visibility("default"))) int UnarjCheckArchive(const char* archivePath, int mode) {
  return arc::RunCheck(g_lock, archivePath, mode,
                       [](const std::string& path, int m) { return arj::CheckArchive(path.c_str(), m); });
}

extern "C" __attribute__((visibility("default"))) unsigned short UnarjGetVersion(void) { return kVersion; }

extern "C" __attribute__((visibility("default"))) int UnarjGetRunning(void) { return g_lock.Running(); }

extern "C" __attribute__((visibility("default"))) void UnarjSetProgress(arc::ProgressFn callback, void* user) {
  g_lock.progress().Set(callback, user);
}
