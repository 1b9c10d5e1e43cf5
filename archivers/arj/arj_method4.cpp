// ARJ method 4 ("fastest"): LZ77 with unary-prefixed codes for lengths and positions.
#include <algorithm>
#include <cstring>
#include <memory>

#include "arj_archive.h"
#include "bitreader.h"

namespace arj {
namespace {

constexpr size_t kHistory = 32 * 1024;  // positions reach 15871 back
constexpr size_t kChunk = 256 * 1024;
constexpr size_t kFlushAt = kHistory + kChunk;
constexpr size_t kSlack = 512;

struct Method4 {
  Method4(lzhuff::Input& in, uint64_t compressedSize) : br(in, compressedSize) {}

  lzhuff::Status Fail() const {
    if (br.readError()) return lzhuff::Status::kReadError;
    if (br.inputShort()) return lzhuff::Status::kTruncated;
    return lzhuff::Status::kCorrupt;
  }

  lzhuff::Status Run(uint64_t originalSize, lzhuff::Output& out) {
    size_t pos = 0;
    size_t flushed = 0;
    uint64_t produced = 0;
    while (produced + pos < originalSize) {
      if (pos >= kFlushAt) {
        if (!out.Write(win + flushed, pos - flushed)) return lzhuff::Status::kWriteError;
        std::memmove(win, win + pos - kHistory, kHistory);
        produced += pos - kHistory;
        pos = kHistory;
        flushed = kHistory;
      }
      const uint64_t outLeft = originalSize - produced - pos;
      const size_t limit = pos + static_cast<size_t>(std::min<uint64_t>(outLeft, kFlushAt - pos));
      while (pos < limit) {
        br.Refill();
        if (__builtin_expect(br.bad(), 0)) return Fail();
        // Length: k leading ones (at most 7, then no terminating zero), k more bits.
        const uint32_t top = br.Peek(8);
        unsigned k = static_cast<unsigned>(__builtin_clz(~(top << 24) | 0x01FFFFFFu));
        br.Skip(k < 7 ? k + 1 : 7);
        const uint32_t c = br.Get(k) + (1u << k) - 1;
        if (c == 0) {
          win[pos++] = static_cast<unsigned char>(br.Get(8));
          continue;
        }
        const size_t len = c + 2;
        // Position: k leading ones (at most 4), then 9 + k bits.
        const uint32_t top2 = br.Peek(4);
        k = static_cast<unsigned>(__builtin_clz(~(top2 << 28) | 0x07FFFFFFu));
        br.Skip(k < 4 ? k + 1 : 4);
        const size_t dist = br.Get(9 + k) + 512u * ((1u << k) - 1) + 1;
        if (dist > pos || produced + pos + len > originalSize) return lzhuff::Status::kCorrupt;
        unsigned char* d = win + pos;
        const unsigned char* s = d - dist;
        if (dist >= 8) {
          for (size_t i = 0; i < len; i += 8) std::memcpy(d + i, s + i, 8);
        } else {
          for (size_t i = 0; i < len; ++i) d[i] = s[i];
        }
        pos += len;
      }
    }
    if (pos > flushed && !out.Write(win + flushed, pos - flushed)) return lzhuff::Status::kWriteError;
    return lzhuff::Status::kOk;
  }

  lzhuff::BitReader br;
  unsigned char win[kFlushAt + kSlack];
};

}  // namespace

lzhuff::Status DecodeMethod4(lzhuff::Input& in, uint64_t compressedSize, uint64_t originalSize,
                             lzhuff::Output& out) {
  if (originalSize == 0) return lzhuff::Status::kOk;
  auto m = std::make_unique<Method4>(in, compressedSize);
  return m->Run(originalSize, out);
}

}  // namespace arj
