// Methods 2 to 5, reduce with factors 1 to 4: bytes coded through per-byte follower sets, then
// expanded by a small state machine where byte 144 introduces a back-reference.
#include "zip_codes.h"

namespace zipar {
namespace {

namespace code = arc::code;

constexpr unsigned kEscape = 144;
constexpr int kMaxFollowers = 32;

// Bits of an index into a follower set of n bytes.
int IndexBits(int n) {
  int bits = 1;
  while ((1 << bits) < n) ++bits;
  return bits;
}

}  // namespace

int Unreduce(Input& in, Output& out, int factor) {
  if (factor < 1 || factor > 4) return code::kHuffmanCode;
  BitReader br(in);
  unsigned char followers[256][kMaxFollowers];
  int count[256];
  for (int j = 255; j >= 0; --j) {
    count[j] = static_cast<int>(br.Bits(6));
    if (count[j] > kMaxFollowers) return br.error() != 0 ? br.error() : code::kHuffmanCode;
    for (int k = 0; k < count[j]; ++k) followers[j][k] = static_cast<unsigned char>(br.Bits(8));
  }
  if (br.error() != 0) return br.error();
  if (br.Overrun()) return code::kHuffmanCode;

  const unsigned lengthMask = 0xFFu >> factor;
  Window window(out, 4096);
  unsigned last = 0;
  int state = 0;
  unsigned v = 0;
  unsigned length = 0;
  while (window.left() > 0 && window.error() == 0) {
    unsigned c;
    if (count[last] == 0 || br.Bits(1) == 1) {
      c = br.Bits(8);
    } else {
      const unsigned index = br.Bits(IndexBits(count[last]));
      if (index >= static_cast<unsigned>(count[last])) return br.error() != 0 ? br.error() : code::kHuffmanCode;
      c = followers[last][index];
    }
    if (br.error() != 0) return br.error();
    if (br.Overrun()) return code::kHuffmanCode;
    last = c;
    switch (state) {
      case 0:
        if (c == kEscape) {
          state = 1;
        } else {
          window.Put(static_cast<unsigned char>(c));
        }
        break;
      case 1:
        if (c == 0) {
          window.Put(static_cast<unsigned char>(kEscape));
          state = 0;
        } else {
          v = c;
          length = c & lengthMask;
          state = length == lengthMask ? 2 : 3;
        }
        break;
      case 2:
        length += c;
        state = 3;
        break;
      default: {
        const size_t distance = ((v >> (8 - factor)) << 8) + c + 1;
        window.Copy(distance, length + 3);
        state = 0;
        break;
      }
    }
  }
  return window.Finish();
}

}  // namespace zipar
