// Member decoding behind one call, so a decoder can be swapped per method (liblhasa's decoders
// for now). The caller bounds the compressed input, checks the CRC and owns the output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lzhar {

// Compressed bytes of one member, already limited to its compressed size.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to size bytes; 0 at the end of the member's data; -1 on a read error.
  virtual long Read(uint8_t* buffer, size_t size) = 0;
};

// Receives decoded bytes in order.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // 0, or an archiver error code that stops decoding.
  virtual int Write(const uint8_t* data, size_t size) = 0;
};

enum class DecodeStatus {
  kOk,           // exactly originalSize bytes went to the sink
  kUnsupported,  // no decoder for this method
  kShortOutput,  // the decoder stopped before originalSize bytes: broken compressed data
  kReadError,    // the source failed
  kSinkError,    // the sink refused; see sinkCode
  kNoMemory,
};

struct DecodeOutcome {
  DecodeStatus status = DecodeStatus::kOk;
  int sinkCode = 0;
  uint64_t produced = 0;
};

// True when DecodeMember can decode this five-character method ("-lh5-").
bool CanDecode(const std::string& method);

// Decodes one member: never more than originalSize bytes reach the sink, and the source is never
// asked for more than compressedSize bytes.
DecodeOutcome DecodeMember(const std::string& method, ByteSource& source, uint64_t compressedSize,
                           uint64_t originalSize, ByteSink& sink);

}  // namespace lzhar
