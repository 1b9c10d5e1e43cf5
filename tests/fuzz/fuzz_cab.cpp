// libFuzzer target for CAB32.DLL: any bytes as an archive, through recognition, the full
// check and the test command. Crashes, hangs and leaks are the findings.
#include "cab_archive.h"

#include <string>

#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::InputFile(data, size);
  if (path.empty()) return 0;
  cabar::Check(path.c_str(), 0);
  const int full = cabar::Check(path.c_str(), 2);
  const int rc = cabar::Command(("-t \"" + path + "\"").c_str());
  // The full check and the test command must agree.
  if ((full != 0) != (rc >= 0 && rc <= 0x7FFF)) __builtin_trap();
  return 0;
}
