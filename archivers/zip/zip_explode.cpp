// Method 6, implode: LZ77 over a 4 or 8 KiB window with Shannon-Fano coded lengths and
// distances, and literals either coded through a third tree or stored as plain bytes.
#include "zip_codes.h"

namespace zipar {
namespace {

namespace code = arc::code;

// A tree as the stream describes it: a count of bytes, then per byte a run of up to 16
// symbols sharing one bit length (low nibble: length - 1, high nibble: run - 1).
bool ReadTree(BitReader& br, int symbols, PrefixTable& table) {
  uint8_t lengths[256];
  const int bytes = static_cast<int>(br.Bits(8)) + 1;
  int filled = 0;
  for (int i = 0; i < bytes; ++i) {
    const unsigned b = br.Bits(8);
    const int run = static_cast<int>(b >> 4) + 1;
    if (filled + run > symbols) return false;
    for (int k = 0; k < run; ++k) lengths[filled++] = static_cast<uint8_t>((b & 15) + 1);
  }
  if (br.error() != 0 || br.Overrun() || filled != symbols) return false;
  return table.BuildShannonFano(lengths, symbols);
}

}  // namespace

int Explode(Input& in, Output& out, bool window8k, bool literalTree) {
  BitReader br(in);
  PrefixTable literals, lengths, distances;
  if ((literalTree && !ReadTree(br, 256, literals)) || !ReadTree(br, 64, lengths) || !ReadTree(br, 64, distances)) {
    return br.error() != 0 ? br.error() : code::kHuffmanCode;
  }
  const int lowBits = window8k ? 7 : 6;
  const unsigned minLength = literalTree ? 3 : 2;
  Window window(out, 8192);
  while (window.left() > 0 && window.error() == 0) {
    if (br.Bits(1) == 1) {
      const int c = literalTree ? literals.Decode(br) : static_cast<int>(br.Bits(8));
      if (c < 0) return br.error() != 0 ? br.error() : code::kHuffmanCode;
      window.Put(static_cast<unsigned char>(c));
    } else {
      const unsigned low = br.Bits(lowBits);
      const int high = distances.Decode(br);
      int length = lengths.Decode(br);
      if (high < 0 || length < 0) return br.error() != 0 ? br.error() : code::kHuffmanCode;
      if (length == 63) length += static_cast<int>(br.Bits(8));
      window.Copy((static_cast<size_t>(high) << lowBits | low) + 1, static_cast<unsigned>(length) + minLength);
    }
    if (br.error() != 0) return br.error();
    if (br.Overrun()) return code::kHuffmanCode;
  }
  return window.Finish();
}

}  // namespace zipar
