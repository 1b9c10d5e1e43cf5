// Decoding one member: its compressed bytes in, decoded bytes out through the CRC-32 and size
// checks (and into a file when extracting), one decoder per method.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "archiver_common.h"
#include "zip_file.h"
#include "zip_format.h"

namespace zipar {

// A member's compressed bytes, read from the archive in large blocks.
class Input {
 public:
  static constexpr size_t kBlock = 512 * 1024;
  Input(ArchiveFile& file, uint64_t start, uint64_t length);
  // The next block of data; n == 0 once the member's data is used up. 0 or a read error.
  int Next(const unsigned char*& data, size_t& n);
  uint64_t left() const { return left_; }

 private:
  ArchiveFile& file_;
  uint64_t position_;
  uint64_t left_;
  std::unique_ptr<unsigned char[]> buffer_;
};

// Where decoded bytes go. More bytes than the member declares is broken data; every call may
// end the member because the caller cancelled.
class Output {
 public:
  Output(uint64_t declared, arc::OutputFile* file) : declared_(declared), file_(file) {}
  // 0, kHuffmanCode (past the declared size), a write error, or kUserCancel.
  int Put(const unsigned char* data, size_t n);
  uint64_t produced() const { return produced_; }
  uint64_t declared() const { return declared_; }
  uint32_t crc() const { return crc_; }

 private:
  uint64_t declared_;
  arc::OutputFile* file_;
  uint64_t produced_ = 0;
  uint32_t crc_ = 0;
};

// LSB-first bits over an Input. Past the end of the data it supplies zero bits; a decoder
// that consumes one of them has run past its compressed size (Overrun()).
class BitReader {
 public:
  explicit BitReader(Input& in) : in_(in) {}
  // At least n (<= 32) bits in the buffer; false on a read error (error()).
  bool Need(int n) {
    while (count_ < n) {
      if (at_ == end_ && !Refill()) return false;
      buffer_ |= static_cast<uint64_t>(*at_++) << count_;
      count_ += 8;
    }
    return true;
  }
  uint32_t Peek(int n) const { return static_cast<uint32_t>(buffer_ & ((uint64_t{1} << n) - 1)); }
  void Drop(int n) {
    buffer_ >>= n;
    count_ -= n;
  }
  // n (<= 32) bits as a number; 0 after a read error.
  uint32_t Bits(int n) {
    if (!Need(n)) return 0;
    const uint32_t v = Peek(n);
    Drop(n);
    return v;
  }
  void AlignToByte() { Drop(count_ & 7); }
  bool Overrun() const { return padBits_ > count_; }
  // Whole bytes of the data not consumed yet.
  uint64_t UnusedBytes() const {
    return static_cast<uint64_t>(count_ > padBits_ ? (count_ - padBits_) / 8 : 0) +
           static_cast<uint64_t>(end_ - at_) + in_.left();
  }
  int error() const { return error_; }

 private:
  bool Refill();
  Input& in_;
  uint64_t buffer_ = 0;
  int count_ = 0;
  int padBits_ = 0;  // zero bits supplied past the end of the data, at the top of the buffer
  const unsigned char* at_ = nullptr;
  const unsigned char* end_ = nullptr;
  int error_ = 0;
  unsigned char zero_ = 0;
};

// True for the methods decoded here: 0 stored, 1 shrink, 2-5 reduce, 6 implode, 8 deflate,
// 9 deflate64, 12 bzip2.
bool CanDecode(uint16_t method);

// Decodes the member and checks it: 0, kFileCrc, kHuffmanCode, kHeaderBroken (a stored member
// whose sizes differ), read, write and memory errors.
int DecodeMember(ArchiveFile& file, const CentralEntry& entry, const MemberData& data, arc::OutputFile* out);

// The decoders. Those of self-delimiting streams (deflate, deflate64, bzip2) stop at the
// stream's end, which must be the end of the member's data; the others stop after
// out.declared() bytes.
int Store(Input& in, Output& out);
int InflateIsal(Input& in, Output& out);
int Inflate64(Input& in, Output& out);
int Bunzip2(Input& in, Output& out);
int Unshrink(Input& in, Output& out);
int Unreduce(Input& in, Output& out, int factor);
int Explode(Input& in, Output& out, bool window8k, bool literalTree);

}  // namespace zipar
