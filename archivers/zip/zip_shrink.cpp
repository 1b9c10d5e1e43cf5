// Method 1, shrink: LZW with 9- to 13-bit codes whose size the compressor raises (code 256,
// then 1) and whose table it thins out (256, then 2: every code no other code extends is
// freed; freed codes are handed out again lowest first).
#include "zip_codes.h"

namespace zipar {
namespace {

namespace code = arc::code;

constexpr unsigned kCodes = 8192;
constexpr unsigned kControl = 256;
constexpr uint16_t kFree = 0xFFFF;   // parent of an unused code
constexpr uint16_t kRoot = kControl; // parent of the 256 literal codes
constexpr int kMinBits = 9;
constexpr int kMaxBits = 13;

}  // namespace

int Unshrink(Input& in, Output& out) {
  if (out.declared() == 0) return code::kOk;
  std::unique_ptr<uint16_t[]> parent(new uint16_t[kCodes]);
  std::unique_ptr<unsigned char[]> value(new unsigned char[kCodes]);
  std::unique_ptr<unsigned char[]> stack(new unsigned char[kCodes]);
  std::unique_ptr<bool[]> extended(new bool[kCodes]());
  for (unsigned c = 0; c < kCodes; ++c) {
    parent[c] = c < kControl ? kRoot : kFree;
    value[c] = static_cast<unsigned char>(c);
  }
  BitReader br(in);
  Window window(out, 0);
  int bits = kMinBits;
  unsigned lastAssigned = kControl;  // codes are assigned above this one

  unsigned previous = br.Bits(bits);
  if (br.error() != 0) return br.error();
  if (br.Overrun() || previous >= kControl) return code::kHuffmanCode;
  unsigned char first = static_cast<unsigned char>(previous);
  window.Put(first);

  while (window.left() > 0 && window.error() == 0) {
    const unsigned c = br.Bits(bits);
    if (br.error() != 0) return br.error();
    if (br.Overrun()) return code::kHuffmanCode;
    if (c == kControl) {
      const unsigned sub = br.Bits(bits);
      if (br.error() != 0) return br.error();
      if (br.Overrun()) return code::kHuffmanCode;
      if (sub == 1) {
        if (++bits > kMaxBits) return code::kHuffmanCode;
      } else if (sub == 2) {
        // Free the leaves among the codes assigned so far.
        for (unsigned k = kControl + 1; k <= lastAssigned; ++k) {
          if (parent[k] != kFree && parent[k] > kRoot) extended[parent[k]] = true;
        }
        for (unsigned k = kControl + 1; k <= lastAssigned; ++k) {
          if (!extended[k]) parent[k] = kFree;
          extended[k] = false;
        }
        lastAssigned = kControl;
      } else {
        return code::kHuffmanCode;
      }
      continue;
    }

    // The string of c, last byte first. A code not yet assigned stands for the previous
    // string followed by its own first byte (the code the compressor just made).
    size_t top = kCodes;
    unsigned k = c;
    while (k != kRoot) {
      if (top == 0) return code::kHuffmanCode;  // a cycle through freed codes
      if (parent[k] == kFree) {
        stack[--top] = first;
        k = previous;
      } else {
        stack[--top] = value[k];
        k = parent[k];
      }
    }
    first = stack[top];
    for (size_t i = top; i < kCodes && window.left() > 0; ++i) window.Put(stack[i]);

    // The new code: the previous string extended by this string's first byte.
    unsigned slot = lastAssigned + 1;
    while (slot < kCodes && parent[slot] != kFree) ++slot;
    if (slot >= kCodes) return code::kHuffmanCode;  // the table is full and was never thinned
    parent[slot] = static_cast<uint16_t>(previous);
    value[slot] = first;
    lastAssigned = slot;
    previous = c;
  }
  return window.Finish();
}

}  // namespace zipar
