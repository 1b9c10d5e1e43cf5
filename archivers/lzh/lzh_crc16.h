// CRC-16 as LZH archives use it (reflected polynomial 0xA001, initial value 0) for member data
// and for level 2/3 header checks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lzhar {

uint16_t Crc16Update(uint16_t crc, const uint8_t* data, size_t size);

}  // namespace lzhar
