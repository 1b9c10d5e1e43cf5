// libFuzzer target: the shared static-Huffman decoder over arbitrary bytes with every format.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lzhuff.h"

namespace {

class MemInput : public lzhuff::Input {
 public:
  MemInput(const uint8_t* d, size_t n) : d_(d), n_(n) {}
  long Read(unsigned char* buf, size_t max) override {
    const size_t k = max < n_ - at_ ? max : n_ - at_;
    std::memcpy(buf, d_ + at_, k);
    at_ += k;
    return static_cast<long>(k);
  }

 private:
  const uint8_t* d_;
  size_t n_;
  size_t at_ = 0;
};

class NullOutput : public lzhuff::Output {
 public:
  bool Write(const unsigned char* data, size_t n) override {
    if (n > 0) sum_ += data[0] + data[n - 1];
    return true;
  }

 private:
  unsigned sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  static const lzhuff::Format* const formats[] = {&lzhuff::kLh4, &lzhuff::kLh5, &lzhuff::kLh6,
                                                  &lzhuff::kLh7, &lzhuff::kArj};
  const lzhuff::Format& f = *formats[data[0] % 5];
  // Declared sizes: the output mostly up to 64 KiB, every fourth input up to 1 MiB (to reach
  // the window slide); the compressed size sometimes beyond the data.
  uint64_t original = uint64_t{data[1]} << 8 | data[2];
  if ((data[3] & 6) == 6) original <<= 4;
  const uint64_t compressed = (data[3] & 1) ? size - 4 + 1000 : size - 4;
  MemInput in(data + 4, size - 4);
  NullOutput out;
  lzhuff::Decode(f, in, compressed, original, out);
  return 0;
}
