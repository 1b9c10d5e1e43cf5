// The four built libraries loaded with dlopen as the program loads them, for tests that run the
// same case over every family.
#pragma once

#include <dlfcn.h>

#include <cstdio>
#include <string>
#include <vector>

namespace arctest {

using ProgressFn = int (*)(void*, unsigned long long, unsigned long long);

struct Library {
  const char* family;       // "LZH", "ZIP", "ARJ", "CAB"
  const char* file;         // file name in the library folder
  const char* prefix;       // of the entry names: Unlha, UnlhaCheckArchive, UnlhaSetProgress
  const char* testOptions;  // the default test options of the check procedure
  void* handle = nullptr;
  int (*command)(void*, const char*, char*, unsigned long) = nullptr;
  int (*check)(const char*, int) = nullptr;
  void (*setProgress)(ProgressFn, void*) = nullptr;

  // The test command line for a path, quoted as the program quotes it.
  int Test(const std::string& path) const {
    std::string line = std::string(testOptions) + " \"";
    for (const char c : path) line += c == '"' ? std::string("\"\"") : std::string(1, c);
    return command(nullptr, (line + "\"").c_str(), nullptr, 0);
  }
  bool loaded() const { return command != nullptr && check != nullptr && setProgress != nullptr; }
};

// Loaded once from `folder` (the build's library folder by default); a library that does not load
// keeps null entries.
inline std::vector<Library>& Libraries(const std::string& folder = ORVEX2_LIB_DIR) {
  static std::vector<Library> libraries = [&folder] {
    std::vector<Library> all = {{"LZH", "UNLHA32.DLL", "Unlha", "t -+ -y1 -gm1"},
                                {"ZIP", "UNZIP32.DLL", "UnZip", "-t"},
                                {"ARJ", "UNARJ32J.DLL", "Unarj", "t -+ -y1 -hm1"},
                                {"CAB", "CAB32.DLL", "Cab", "-t"}};
    for (Library& l : all) {
      l.handle = dlopen((folder + "/" + l.file).c_str(), RTLD_NOW | RTLD_LOCAL);
      if (l.handle == nullptr) continue;
      const std::string p = l.prefix;
      l.command = reinterpret_cast<decltype(l.command)>(dlsym(l.handle, p.c_str()));
      l.check = reinterpret_cast<decltype(l.check)>(dlsym(l.handle, (p + "CheckArchive").c_str()));
      l.setProgress = reinterpret_cast<decltype(l.setProgress)>(dlsym(l.handle, (p + "SetProgress").c_str()));
    }
    return all;
  }();
  return libraries;
}

// Runs a shell command; its standard output (standard error joined when `withErrors`).
inline std::string Output(const std::string& command, bool withErrors = false) {
  std::string out;
  FILE* p = popen((command + (withErrors ? " 2>&1" : " 2>/dev/null") + " </dev/null").c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  pclose(p);
  return out;
}

}  // namespace arctest
