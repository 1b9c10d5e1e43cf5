// Table-driven CRC-16 (0xA001), four bytes per step on the hot path.
#include "lzh_crc16.h"

#include <array>

namespace lzhar {
namespace {

using Tables = std::array<std::array<uint16_t, 256>, 4>;

constexpr Tables MakeTables() {
  Tables t{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t c = static_cast<uint16_t>(i);
    for (int k = 0; k < 8; ++k) c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
    t[0][i] = c;
  }
  for (unsigned i = 0; i < 256; ++i) {
    for (int s = 1; s < 4; ++s) {
      const uint16_t prev = t[s - 1][i];
      t[s][i] = static_cast<uint16_t>((prev >> 8) ^ t[0][prev & 0xFF]);
    }
  }
  return t;
}

constexpr Tables kTables = MakeTables();

}  // namespace

uint16_t Crc16Update(uint16_t crc, const uint8_t* data, size_t size) {
  while (size >= 4) {
    const uint32_t x = crc ^ (static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8));
    crc = static_cast<uint16_t>(kTables[3][x & 0xFF] ^ kTables[2][(x >> 8) & 0xFF] ^ kTables[1][data[2]] ^
                                kTables[0][data[3]]);
    data += 4;
    size -= 4;
  }
  while (size-- > 0) crc = static_cast<uint16_t>((crc >> 8) ^ kTables[0][(crc ^ *data++) & 0xFF]);
  return crc;
}

}  // namespace lzhar
