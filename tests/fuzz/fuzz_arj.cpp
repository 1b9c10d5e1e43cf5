// libFuzzer target: the ARJ reader (recognition and full test) over arbitrary files.
#include <string>

#include "arj_archive.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::InputFile(data, size);
  if (path.empty()) return 0;
  arj::CheckArchive(path.c_str(), 0);
  arc::TestResult result;
  arj::TestArchive(path.c_str(), result);
  return 0;
}
