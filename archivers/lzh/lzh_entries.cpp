// The four exported entries of UNLHA32.DLL.
#include "lzhar.h"

#define LZH_EXPORT extern "C" __attribute__((visibility("default")))

LZH_EXPORT int Unlha(void* /*window*/, const char* commandLine, char* /*output*/, unsigned long /*outputSize*/) {
  return lzhar::RunCommand(commandLine);
}

LZH_EXPORT int UnlhaCheckArchive(const char* archivePath, int mode) { return lzhar::RunCheck(archivePath, mode); }

LZH_EXPORT unsigned short UnlhaGetVersion(void) { return lzhar::kVersion; }

LZH_EXPORT int UnlhaGetRunning(void) { return lzhar::Running(); }

LZH_EXPORT void UnlhaSetProgress(arc::ProgressFn callback, void* user) { lzhar::Lock().progress().Set(callback, user); }
