// Method 9, deflate64: deflate with a 64 KiB window, length code 285 carrying 16 extra bits
// (lengths 3 to 65538) and distance codes 30 and 31 (up to 65536 back).
#include "zip_codes.h"

namespace zipar {
namespace {

namespace code = arc::code;

constexpr size_t kHistory = 65536;
constexpr size_t kChunk = 256 * 1024;
constexpr size_t kMaxMatch = 65538;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
constexpr uint32_t kDistanceBase[32] = {1,    2,    3,    4,    5,     7,     9,     13,    17,    25,   33,
                                        49,   65,   97,   129,  193,   257,   385,   513,   769,   1025, 1537,
                                        2049, 3073, 4097, 6145, 8193,  12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,
                                        7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

class Inflater {
 public:
  Inflater(Input& in, Output& out) : br_(in), out_(out), buffer_(new unsigned char[kHistory + kChunk + kMaxMatch]) {}

  int Run() {
    bool last = false;
    while (!last) {
      // Blocks that decode to nothing still take time: a cancel is seen between blocks too.
      if (arc::PollCancel()) return code::kUserCancel;
      last = br_.Bits(1) == 1;
      const unsigned type = br_.Bits(2);
      if (const int rc = Check(); rc != code::kOk) return rc;
      int rc = code::kHuffmanCode;
      if (type == 0) {
        rc = Stored();
      } else if (type == 1) {
        rc = Fixed();
      } else if (type == 2) {
        rc = Dynamic();
      }
      if (rc != code::kOk) return rc;
    }
    if (br_.UnusedBytes() != 0) return code::kHuffmanCode;  // data after the stream's end
    return Flush();
  }

 private:
  int Check() const {
    if (br_.error() != 0) return br_.error();
    return br_.Overrun() ? code::kHuffmanCode : code::kOk;
  }

  // Hands decoded bytes on and slides the window once a chunk has filled.
  int Flush() {
    if (pos_ > flushed_) {
      if (const int rc = out_.Put(buffer_.get() + flushed_, pos_ - flushed_); rc != code::kOk) return rc;
    }
    flushed_ = pos_;
    if (pos_ >= kHistory + kChunk) {
      std::memmove(buffer_.get(), buffer_.get() + pos_ - kHistory, kHistory);
      pos_ = flushed_ = kHistory;
    }
    return code::kOk;
  }

  int Stored() {
    br_.AlignToByte();
    const unsigned length = br_.Bits(16);
    const unsigned complement = br_.Bits(16);
    if (const int rc = Check(); rc != code::kOk) return rc;
    if (length != (~complement & 0xFFFF)) return code::kHuffmanCode;
    for (unsigned i = 0; i < length; ++i) {
      if (pos_ >= kHistory + kChunk) {
        if (const int rc = Flush(); rc != code::kOk) return rc;
      }
      buffer_[pos_++] = static_cast<unsigned char>(br_.Bits(8));
      ++total_;
    }
    return Check();
  }

  int Fixed() {
    if (!fixedBuilt_) {
      uint8_t lengths[288 + 32];
      for (int s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
      for (int s = 0; s < 32; ++s) lengths[288 + s] = 5;
      fixedLiterals_.BuildCanonical(lengths, 288);
      fixedDistances_.BuildCanonical(lengths + 288, 32);
      fixedBuilt_ = true;
    }
    return Codes(fixedLiterals_, fixedDistances_);
  }

  int Dynamic() {
    const int nlit = static_cast<int>(br_.Bits(5)) + 257;
    const int ndist = static_cast<int>(br_.Bits(5)) + 1;
    const int nclen = static_cast<int>(br_.Bits(4)) + 4;
    uint8_t clen[19] = {};
    for (int i = 0; i < nclen; ++i) clen[kCodeLengthOrder[i]] = static_cast<uint8_t>(br_.Bits(3));
    if (const int rc = Check(); rc != code::kOk) return rc;
    PrefixTable lengthCodes;
    if (!lengthCodes.BuildCanonical(clen, 19)) return code::kHuffmanCode;
    uint8_t lengths[288 + 32] = {};
    int n = 0;
    while (n < nlit + ndist) {
      const int sym = lengthCodes.Decode(br_);
      if (sym < 0) return br_.error() != 0 ? br_.error() : code::kHuffmanCode;
      if (sym < 16) {
        lengths[n++] = static_cast<uint8_t>(sym);
        continue;
      }
      uint8_t repeat = 0;
      int times;
      if (sym == 16) {
        if (n == 0) return code::kHuffmanCode;
        repeat = lengths[n - 1];
        times = 3 + static_cast<int>(br_.Bits(2));
      } else if (sym == 17) {
        times = 3 + static_cast<int>(br_.Bits(3));
      } else {
        times = 11 + static_cast<int>(br_.Bits(7));
      }
      if (n + times > nlit + ndist) return code::kHuffmanCode;
      while (times-- > 0) lengths[n++] = repeat;
    }
    if (const int rc = Check(); rc != code::kOk) return rc;
    if (lengths[256] == 0) return code::kHuffmanCode;  // no end-of-block code
    uint8_t dist[32] = {};
    for (int i = 0; i < ndist; ++i) dist[i] = lengths[nlit + i];
    if (!literals_.BuildCanonical(lengths, nlit) || !distances_.BuildCanonical(dist, 32)) return code::kHuffmanCode;
    return Codes(literals_, distances_);
  }

  int Codes(const PrefixTable& literals, const PrefixTable& distances) {
    for (;;) {
      if (pos_ >= kHistory + kChunk) {
        if (const int rc = Flush(); rc != code::kOk) return rc;
      }
      const int sym = literals.Decode(br_);
      if (sym < 256) {
        if (sym < 0) return br_.error() != 0 ? br_.error() : code::kHuffmanCode;
        buffer_[pos_++] = static_cast<unsigned char>(sym);
        ++total_;
        continue;
      }
      if (sym == 256) return Check();
      if (sym > 285) return code::kHuffmanCode;
      const size_t length = kLengthBase[sym - 257] + br_.Bits(kLengthExtra[sym - 257]);
      const int dsym = distances.Decode(br_);
      if (dsym < 0) return br_.error() != 0 ? br_.error() : code::kHuffmanCode;
      const size_t distance = kDistanceBase[dsym] + br_.Bits(kDistanceExtra[dsym]);
      if (const int rc = Check(); rc != code::kOk) return rc;
      if (distance > total_) return code::kHuffmanCode;  // before the start of the data
      const unsigned char* from = buffer_.get() + pos_ - distance;
      unsigned char* to = buffer_.get() + pos_;
      for (size_t i = 0; i < length; ++i) to[i] = from[i];
      pos_ += length;
      total_ += length;
    }
  }

  BitReader br_;
  Output& out_;
  std::unique_ptr<unsigned char[]> buffer_;
  size_t pos_ = 0;
  size_t flushed_ = 0;
  uint64_t total_ = 0;
  PrefixTable literals_, distances_;
  PrefixTable fixedLiterals_, fixedDistances_;
  bool fixedBuilt_ = false;
};

}  // namespace

int Inflate64(Input& in, Output& out) {
  Inflater inflater(in, out);
  return inflater.Run();
}

}  // namespace zipar
