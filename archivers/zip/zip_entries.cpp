// The four exported entries of UNZIP32.DLL.
#include "zip_archive.h"

#define ORVEX2_EXPORT extern "C" __attribute__((visibility("default")))

ORVEX2_EXPORT int UnZip(void* /*window*/, const char* commandLine, char* /*output*/, unsigned long /*outputSize*/) {
  return zipar::Command(commandLine);
}

ORVEX2_EXPORT int UnZipCheckArchive(const char* archivePath, int mode) { return zipar::Check(archivePath, mode); }

ORVEX2_EXPORT unsigned short UnZipGetVersion(void) { return zipar::kVersion; }

ORVEX2_EXPORT int UnZipGetRunning(void) { return zipar::Running(); }

ORVEX2_EXPORT void UnZipSetProgress(arc::ProgressFn callback, void* user) { zipar::SetProgress(callback, user); }
