// CRC-16/ARC as LZH members carry it: reflected polynomial 0xA001, slice-by-8 tables.
#include <cstring>

#include "lzhuff.h"

namespace lzhuff {
namespace {

struct Crc16Tables {
  uint16_t t[8][256];
  Crc16Tables() {
    for (unsigned i = 0; i < 256; ++i) {
      uint16_t c = static_cast<uint16_t>(i);
      for (int k = 0; k < 8; ++k) c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
      t[0][i] = c;
    }
    for (unsigned i = 0; i < 256; ++i) {
      for (unsigned s = 1; s < 8; ++s) {
        const uint16_t prev = t[s - 1][i];
        t[s][i] = static_cast<uint16_t>((prev >> 8) ^ t[0][prev & 0xFF]);
      }
    }
  }
};

const Crc16Tables& Tables() {
  static const Crc16Tables tables;
  return tables;
}

}  // namespace

uint16_t Crc16(uint16_t crc, const void* data, size_t n) {
  const auto& T = Tables().t;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  uint32_t c = crc;
  while (n >= 8) {
    uint32_t lo;
    uint32_t hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + 4, 4);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    lo = __builtin_bswap32(lo);
    hi = __builtin_bswap32(hi);
#endif
    lo ^= c;
    c = T[7][lo & 0xFF] ^ T[6][(lo >> 8) & 0xFF] ^ T[5][(lo >> 16) & 0xFF] ^ T[4][lo >> 24] ^
        T[3][hi & 0xFF] ^ T[2][(hi >> 8) & 0xFF] ^ T[1][(hi >> 16) & 0xFF] ^ T[0][hi >> 24];
    p += 8;
    n -= 8;
  }
  while (n-- > 0) c = (c >> 8) ^ T[0][(c ^ *p++) & 0xFF];
  return static_cast<uint16_t>(c);
}

}  // namespace lzhuff
