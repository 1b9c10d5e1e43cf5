// libFuzzer target for the recognition shared by the libraries: FramedByOtherFamily over arbitrary
// files, from each family's side and at offsets taken from the input itself.
#include <cstdint>
#include <cstring>
#include <string>

#include "foreign.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::InputFile(data, size);
  if (path.empty() || size == 0) return 0;
  // The first bytes choose where the archive under test begins and ends.
  uint32_t pick = 0;
  std::memcpy(&pick, data, size < 4 ? size : 4);
  const uint64_t begin = pick % size;
  const uint64_t end = begin + 1 + (pick >> 16) % (size - begin);
  for (const arc::Family self : {arc::Family::kLzh, arc::Family::kZip, arc::Family::kArj, arc::Family::kCab}) {
    const arc::Framing f = arc::FramedByOtherFamily(path.c_str(), self, begin, end);
    if (f == arc::Framing::kReadError) __builtin_trap();  // the file is there and readable
    arc::FramedByOtherFamily(path.c_str(), self, size - 1, size);
  }
  return 0;
}
