// MSB-first bit reader over large buffered reads, shared by the LZ decoders (lzhuff and ARJ
// method 4). Past the end of the input it feeds zero bits and remembers how many.
#pragma once

#include <cstdint>
#include <cstring>

#include "lzhuff.h"

namespace lzhuff {

class BitReader {
 public:
  // Zero bits a stream may consume past its last byte before it counts as overrun.
  static constexpr uint64_t kSlackBits = 32;

  BitReader(Input& in, uint64_t limit) : in_(in), remaining_(limit) {}
  BitReader(const BitReader&) = delete;
  BitReader& operator=(const BitReader&) = delete;

  // At least 56 valid bits afterwards.
  inline void Refill() {
    if (__builtin_expect(end_ - p_ >= 8, 1)) {
      uint64_t w;
      std::memcpy(&w, p_, 8);
      w = __builtin_bswap64(w);
      bits_ |= w >> count_;
      p_ += (63 - count_) >> 3;
      count_ |= 56;
    } else {
      RefillSlow();
    }
  }

  unsigned count() const { return count_; }
  // The next n bits (1..32) without consuming them; needs count() >= n.
  inline uint32_t Peek(unsigned n) const { return static_cast<uint32_t>(bits_ >> (64 - n)); }
  inline uint32_t Peek16() const { return static_cast<uint32_t>(bits_ >> 48); }
  inline void Skip(unsigned n) {
    bits_ <<= n;
    count_ -= n;
  }
  // n in 0..32; needs count() >= n.
  inline uint32_t Get(unsigned n) {
    if (n == 0) return 0;
    const uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  // Refills first; for the cold paths (table reading).
  uint32_t GetBits(unsigned n) {
    Refill();
    return Get(n);
  }

  // True once more zero bits past the end were consumed than the slack allows, or a read
  // failed. Checked by the decoders after Refill().
  bool bad() const { return bad_; }
  bool readError() const { return readError_; }
  bool inputShort() const { return inputShort_; }

 private:
  static constexpr size_t kBufSize = 64 * 1024;

  void Fill() {
    const size_t keep = static_cast<size_t>(end_ - p_);
    std::memmove(buf_, p_, keep);
    p_ = buf_;
    end_ = buf_ + keep;
    while (remaining_ > 0 && static_cast<size_t>(end_ - buf_) < kBufSize) {
      size_t want = kBufSize - static_cast<size_t>(end_ - buf_);
      if (want > remaining_) want = static_cast<size_t>(remaining_);
      const long got = in_.Read(end_, want);
      if (got < 0) {
        readError_ = true;
        remaining_ = 0;
        break;
      }
      if (got == 0) {
        inputShort_ = true;
        remaining_ = 0;
        break;
      }
      const size_t g = static_cast<size_t>(got) > want ? want : static_cast<size_t>(got);
      end_ += g;
      remaining_ -= g;
    }
  }

  void RefillSlow() {
    if (remaining_ > 0) {
      Fill();
      if (end_ - p_ >= 8) {
        Refill();
        return;
      }
    }
    bits_ &= count_ == 0 ? 0 : ~uint64_t{0} << (64 - count_);
    while (count_ <= 56) {
      if (p_ < end_) {
        bits_ |= static_cast<uint64_t>(*p_++) << (56 - count_);
      } else {
        padBits_ += 8;
      }
      count_ += 8;
    }
    if (padBits_ > count_ + kSlackBits || readError_) bad_ = true;
  }

  Input& in_;
  uint64_t remaining_;
  uint64_t bits_ = 0;
  unsigned count_ = 0;
  unsigned char* p_ = buf_;
  unsigned char* end_ = buf_;
  uint64_t padBits_ = 0;
  bool bad_ = false;
  bool readError_ = false;
  bool inputShort_ = false;
  unsigned char buf_[kBufSize + 8];
};

}  // namespace lzhuff
