// Pieces shared by our own decoders: a prefix-code table read LSB-first, and an output window
// that keeps the history back-references need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "zip_decode.h"

namespace zipar {

// A prefix code as a two-level lookup table. Codes are given MSB-first (as format documents
// write them) and read from an LSB-first bit stream.
class PrefixTable {
 public:
  static constexpr int kMaxLength = 16;
  // Deflate's canonical codes for lengths[0..n) (0 = unused). False when the lengths
  // over-subscribe the code space, or leave it incomplete other than with a single code.
  bool BuildCanonical(const uint8_t* lengths, int n);
  // PKZIP implode's Shannon-Fano codes for lengths[0..n) (1..16 each). False when the lengths
  // over-subscribe the code space.
  bool BuildShannonFano(const uint8_t* lengths, int n);
  // The next symbol, or -1 for a code the table does not hold (or a read error).
  int Decode(BitReader& br) const {
    if (!br.Need(maxLength_)) return -1;
    uint32_t e = table_[br.Peek(primaryBits_)];
    if ((e & kSubtable) != 0) {
      const int sub = static_cast<int>((e >> 21) & 31);
      e = table_[(e & 0xFFFF) + (br.Peek(primaryBits_ + sub) >> primaryBits_)];
    }
    const int length = static_cast<int>((e >> 16) & 31);
    if (length == 0) return -1;
    br.Drop(length);
    return static_cast<int>(e & 0xFFFF);
  }

 private:
  static constexpr uint32_t kSubtable = 0x80000000u;
  // codes[s] holds the code of symbol s MSB-first in its low lengths[s] bits.
  bool Fill(const uint8_t* lengths, const uint32_t* codes, int n);
  std::vector<uint32_t> table_;
  int primaryBits_ = 1;
  int maxLength_ = 1;
};

// Decoded bytes with the history that back-references read. The history starts as zeros, which
// is what the legacy methods define for references before the start of the data.
class Window {
 public:
  Window(Output& out, size_t history)
      : out_(out), history_(history), buffer_(new unsigned char[history + kChunk]()), pos_(history) {}
  // Bytes still to produce before the member's declared size.
  uint64_t left() const { return out_.declared() - total_; }
  void Put(unsigned char c) {
    buffer_[pos_++] = c;
    ++total_;
    if (pos_ == history_ + kChunk) Flush();
  }
  // Copies length bytes from distance back (distance <= history); stops at the declared size.
  void Copy(size_t distance, uint64_t length) {
    if (length > left()) length = left();
    while (length > 0) {
      const size_t room = history_ + kChunk - pos_;
      size_t n = length < room ? static_cast<size_t>(length) : room;
      const unsigned char* from = buffer_.get() + pos_ - distance;
      unsigned char* to = buffer_.get() + pos_;
      if (distance >= n) {
        std::memcpy(to, from, n);
      } else {
        for (size_t i = 0; i < n; ++i) to[i] = from[i];
      }
      pos_ += n;
      total_ += n;
      length -= n;
      if (pos_ == history_ + kChunk) Flush();
    }
  }
  // Hands the remaining bytes on; the first failure of the output, or 0.
  int Finish() {
    Flush();
    return error_;
  }
  int error() const { return error_; }

 private:
  static constexpr size_t kChunk = 64 * 1024;
  void Flush() {
    if (error_ == 0 && pos_ > history_) error_ = out_.Put(buffer_.get() + history_, pos_ - history_);
    std::memmove(buffer_.get(), buffer_.get() + pos_ - history_, history_);
    pos_ = history_;
  }
  Output& out_;
  size_t history_;
  std::unique_ptr<unsigned char[]> buffer_;
  size_t pos_;
  uint64_t total_ = 0;
  int error_ = 0;
};

}  // namespace zipar
