// Runs one entry of one built library in a process of its own, for the cases that may hang or
// need an LD_PRELOAD shim: entry_runner <library path> <entry prefix> <test options> <archive>
// [check mode]. Prints the entry's answer in decimal.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  void* h = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) return 3;
  const std::string prefix = argv[2];
  if (argc > 5) {
    auto check = reinterpret_cast<int (*)(const char*, int)>(dlsym(h, (prefix + "CheckArchive").c_str()));
    if (check == nullptr) return 3;
    std::printf("%d\n", check(argv[4], std::atoi(argv[5])));
    return 0;
  }
  auto command = reinterpret_cast<int (*)(void*, const char*, char*, unsigned long)>(dlsym(h, prefix.c_str()));
  if (command == nullptr) return 3;
  std::string line = std::string(argv[3]) + " \"";
  for (const char* p = argv[4]; *p != '\0'; ++p) line += *p == '"' ? std::string("\"\"") : std::string(1, *p);
  std::printf("%d\n", command(nullptr, (line + "\"").c_str(), nullptr, 0));
  return 0;
}
