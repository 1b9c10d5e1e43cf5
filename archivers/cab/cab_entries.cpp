// The four exported entries of CAB32.DLL.
#include "cab_archive.h"

#define ORVEX2_EXPORT extern "C" __attribute__((visibility("default")))

ORVEX2_EXPORT int Cab(void* /*window*/, const char* commandLine, char* /*output*/, unsigned long /*outputSize*/) {
  return cabar::Command(commandLine);
}

ORVEX2_EXPORT int CabCheckArchive(const char* archivePath, int mode) { return cabar::Check(archivePath, mode); }

ORVEX2_EXPORT unsigned short CabGetVersion(void) { return cabar::kVersion; }

ORVEX2_EXPORT int CabGetRunning(void) { return cabar::Running(); }

ORVEX2_EXPORT void CabSetProgress(arc::ProgressFn callback, void* user) { cabar::SetProgress(callback, user); }
