// libFuzzer target for the LZH library: arbitrary bytes as an archive file, through the check
// modes (start scan, header walk, full test) and one extraction.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "lzhar.h"

namespace {

const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "fuzz_lzh.XXXXXX").string();
    return std::string(::mkdtemp(pattern.data()));
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = Folder() + "/input.lzh";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  const int rough = lzhar::CheckArchive(path, 0);
  const int walk = lzhar::CheckArchive(path, 1);
  const int full = lzhar::CheckArchive(path, 2);
  // A file that passes the full check is an LZH archive with sound headers.
  if (full != 0 && (rough != 1 || walk != 1)) __builtin_trap();
  if (rough == 1) {
    lzhar::Extract(path, Folder(), "a");
    std::remove((Folder() + "/a").c_str());
  }
  return 0;
}
