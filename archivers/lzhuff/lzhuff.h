// Decoder for the static-Huffman LZ77 scheme shared by LZH -lh4- to -lh7- and ARJ methods 1-3,
// plus the table-driven CRC-16 (poly 0xA001, reflected) that LZH members carry.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lzhuff {

// Window size (bits), and the size and count width of the position table.
struct Format {
  unsigned windowBits;
  unsigned np;
  unsigned pbit;
};

extern const Format kLh4;  // 4 KiB window, NP 14, PBIT 4
extern const Format kLh5;  // 8 KiB, NP 14, PBIT 4
extern const Format kLh6;  // 32 KiB, NP 16, PBIT 5
extern const Format kLh7;  // 64 KiB, NP 17, PBIT 5
extern const Format kArj;  // 26624-byte window (decoded in 64 KiB), NP 17, PBIT 5

enum class Status {
  kOk,
  kCorrupt,    // bad tables, distance before the start, length past the end, stream overrun
  kTruncated,  // the input ended before the declared compressed size and more bits were needed
  kReadError,  // Input::Read failed
  kWriteError  // Output::Write failed
};

// The compressed bytes; Read is called with large buffers. Returns the bytes read, 0 at the
// end, a negative value on error.
class Input {
 public:
  virtual ~Input() = default;
  virtual long Read(unsigned char* buf, size_t max) = 0;
};

// Receives the decoded bytes in large spans.
class Output {
 public:
  virtual ~Output() = default;
  virtual bool Write(const unsigned char* data, size_t n) = 0;
};

// Decodes exactly originalSize bytes from at most compressedSize input bytes. The state is
// fixed in size (about 400 KiB); no input beyond compressedSize is requested.
Status Decode(const Format& f, Input& in, uint64_t compressedSize, uint64_t originalSize,
              Output& out);

// CRC-16/ARC (poly 0xA001 reflected, initial value 0 for a new member), slice-by-8.
uint16_t Crc16(uint16_t crc, const void* data, size_t n);

}  // namespace lzhuff
