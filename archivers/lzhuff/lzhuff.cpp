// Static-Huffman LZ77 decoder (LZH -lh4- to -lh7-, ARJ methods 1-3): blocks of a 16-bit code
// count, a pre-table (NT 19), a literal/length table (NC 510) and a position table (NP).
#include "lzhuff.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "bitreader.h"

namespace lzhuff {

const Format kLh4{12, 14, 4};
const Format kLh5{13, 14, 4};
const Format kLh6{15, 16, 5};
const Format kLh7{16, 17, 5};
const Format kArj{16, 17, 5};

namespace {

constexpr unsigned kNC = 510;  // 256 literals + lengths 3..256
constexpr unsigned kNT = 19;
constexpr unsigned kTBit = 5;
constexpr unsigned kCBit = 9;
constexpr unsigned kThreshold = 3;
constexpr unsigned kMaxLen = 16;

// Lookup table entry: (symbol or subtable offset) << 8 | flags/length. Length 0 with a
// symbol is a zero-bit code (a table of one symbol); kSub marks a subtable pointer.
constexpr uint32_t kSub = 0x80;

// A two-level canonical Huffman decoding table.
template <unsigned kPrimary, size_t kCapacity>
struct Table {
  uint32_t e[kCapacity];
  unsigned maxLen = 0;
  uint32_t subMask = 0;

  void Single(unsigned sym) {
    maxLen = kPrimary;
    subMask = 0;
    std::fill_n(e, size_t{1} << kPrimary, sym << 8);
  }

  enum class Result { kOk, kEmpty, kBad };

  // lens[0..n) are code lengths 0..16. A complete code gives kOk; all zero gives kEmpty;
  // anything else (over-subscribed or incomplete) kBad.
  Result Build(const uint8_t* lens, unsigned n) {
    unsigned count[kMaxLen + 1] = {};
    for (unsigned i = 0; i < n; ++i) {
      if (lens[i] > kMaxLen) return Result::kBad;
      ++count[lens[i]];
    }
    uint32_t total = 0;
    unsigned longest = 0;
    for (unsigned l = 1; l <= kMaxLen; ++l) {
      total += count[l] << (kMaxLen - l);
      if (count[l] != 0) longest = l;
    }
    if (total == 0) return Result::kEmpty;
    if (total != (1u << kMaxLen)) return Result::kBad;
    maxLen = longest > kPrimary ? longest : kPrimary;
    const unsigned subBits = maxLen - kPrimary;
    subMask = (1u << subBits) - 1;
    uint32_t next[kMaxLen + 2];
    next[1] = 0;
    for (unsigned l = 1; l <= kMaxLen; ++l) next[l + 1] = (next[l] + count[l]) << 1;
    size_t used = size_t{1} << kPrimary;
    std::fill_n(e, used, 0u);
    for (unsigned sym = 0; sym < n; ++sym) {
      const unsigned l = lens[sym];
      if (l == 0) continue;
      const uint32_t code = next[l]++;
      if (l <= kPrimary) {
        const uint32_t first = code << (kPrimary - l);
        std::fill_n(e + first, size_t{1} << (kPrimary - l), (sym << 8) | l);
      } else {
        const uint32_t prefix = code >> (l - kPrimary);
        uint32_t& head = e[prefix];
        if ((head & kSub) == 0) {
          if (used + (size_t{1} << subBits) > kCapacity) return Result::kBad;
          head = static_cast<uint32_t>(used << 8) | kSub;
          std::fill_n(e + used, size_t{1} << subBits, 0u);
          used += size_t{1} << subBits;
        }
        const unsigned rest = l - kPrimary;
        const uint32_t low = code & ((1u << rest) - 1);
        const size_t at = (head >> 8) + (low << (subBits - rest));
        std::fill_n(e + at, size_t{1} << (subBits - rest), (sym << 8) | l);
      }
    }
    return Result::kOk;
  }

  // Needs at least 16 valid bits in br.
  inline unsigned Decode(BitReader& br) const {
    const uint32_t peek = br.Peek16();
    uint32_t x = e[peek >> (16 - kPrimary)];
    if (__builtin_expect(x & kSub, 0)) x = e[(x >> 8) + ((peek >> (16 - maxLen)) & subMask)];
    br.Skip(x & 0x1F);
    return x >> 8;
  }
};

constexpr unsigned kCPrimary = 12;
constexpr unsigned kPPrimary = 8;
// Each distinct long-code prefix gets a subtable of 2^(maxLen - primary) entries.
using CTable = Table<kCPrimary, (1u << kCPrimary) + kNC * (1u << (kMaxLen - kCPrimary))>;
using PTable = Table<kPPrimary, (1u << kPPrimary) + kNT * (1u << (kMaxLen - kPPrimary))>;

// Position symbol standing for "no position code in this block": its distance (2^23 and
// more) is always beyond the decoded data, so using it is reported as corrupt.
constexpr unsigned kNoPosition = 24;

constexpr size_t kHistory = 64 * 1024;
constexpr size_t kChunk = 256 * 1024;
constexpr size_t kFlushAt = kHistory + kChunk;
constexpr size_t kSlack = 256 + 64;

struct Decoder {
  Decoder(const Format& f, Input& in, uint64_t compressedSize)
      : format(f), br(in, compressedSize) {}

  const Format& format;
  BitReader br;
  CTable c;
  PTable t;
  PTable p;
  uint8_t lens[kNC];
  unsigned char win[kFlushAt + kSlack];

  Status Fail() const {
    if (br.readError()) return Status::kReadError;
    if (br.inputShort()) return Status::kTruncated;
    return Status::kCorrupt;
  }

  // Reads a pre-table or position table: count in nbit bits, 3-bit lengths with a unary
  // extension, and after the special-th length a 2-bit run of zero lengths. An all-zero
  // table is accepted (empty = true) and left for the caller to judge.
  bool ReadPtLen(PTable& table, unsigned nn, unsigned nbit, unsigned special, bool& empty) {
    empty = false;
    const unsigned n = br.GetBits(nbit);
    if (n == 0) {
      const unsigned sym = br.GetBits(nbit);
      if (sym >= nn) return false;
      table.Single(sym);
      return true;
    }
    if (n > nn) return false;
    unsigned i = 0;
    while (i < n) {
      br.Refill();
      unsigned len = br.Peek(3);
      if (len == 7) {
        // Count the ones after the first three bits; lengths above 16 are invalid.
        const uint32_t rest = br.Peek(16) << 19;  // the 13 bits after the first three
        len += static_cast<unsigned>(__builtin_clz(~rest | 0x1FFFFu));
        if (len > kMaxLen) return false;
        br.Skip(len - 3);
      } else {
        br.Skip(3);
      }
      lens[i++] = static_cast<uint8_t>(len);
      if (i == special) {
        const unsigned run = br.Get(2);
        if (i + run > nn) return false;
        for (unsigned k = 0; k < run; ++k) lens[i++] = 0;
      }
    }
    std::fill(lens + i, lens + nn, uint8_t{0});
    switch (table.Build(lens, nn)) {
      case PTable::Result::kOk:
        return true;
      case PTable::Result::kEmpty:
        empty = true;
        return true;
      case PTable::Result::kBad:
        return false;
    }
    return false;
  }

  bool ReadCLen(bool haveT) {
    const unsigned n = br.GetBits(kCBit);
    if (n == 0) {
      const unsigned sym = br.GetBits(kCBit);
      if (sym >= kNC) return false;
      c.Single(sym);
      return true;
    }
    if (n > kNC || !haveT) return false;
    unsigned i = 0;
    while (i < n) {
      br.Refill();
      const unsigned code = t.Decode(br);
      if (code <= 2) {
        unsigned run;
        if (code == 0) run = 1;
        else if (code == 1) run = br.Get(4) + 3;
        else run = br.Get(kCBit) + 20;
        if (i + run > kNC) return false;
        std::fill_n(lens + i, run, uint8_t{0});
        i += run;
      } else {
        lens[i++] = static_cast<uint8_t>(code - 2);
      }
    }
    std::fill(lens + i, lens + kNC, uint8_t{0});
    return c.Build(lens, kNC) == CTable::Result::kOk;
  }

  // One block header: the code count (0 stands for 65536) and the three tables.
  bool ReadBlock(uint32_t& blockLeft) {
    blockLeft = br.GetBits(16);
    if (blockLeft == 0) blockLeft = 0x10000;
    bool emptyT = false;
    bool emptyP = false;
    if (!ReadPtLen(t, kNT, kTBit, 3, emptyT)) return false;
    if (!ReadCLen(!emptyT)) return false;
    if (!ReadPtLen(p, format.np, format.pbit, ~0u, emptyP)) return false;
    if (emptyP) p.Single(kNoPosition);
    return !br.bad();
  }

  Status Run(uint64_t originalSize, Output& out) {
    size_t pos = 0;
    size_t flushed = 0;
    uint64_t produced = 0;  // output bytes before win[0]
    uint32_t blockLeft = 0;
    while (produced + pos < originalSize) {
      if (pos >= kFlushAt) {
        if (!out.Write(win + flushed, pos - flushed)) return Status::kWriteError;
        std::memmove(win, win + pos - kHistory, kHistory);
        produced += pos - kHistory;
        pos = kHistory;
        flushed = kHistory;
      }
      const uint64_t outLeft = originalSize - produced - pos;
      const size_t limit = pos + static_cast<size_t>(std::min<uint64_t>(outLeft, kFlushAt - pos));
      while (pos < limit) {
        if (blockLeft == 0 && !ReadBlock(blockLeft)) return Fail();
        br.Refill();
        if (__builtin_expect(br.bad(), 0)) return Fail();
        unsigned sym = c.Decode(br);
        --blockLeft;
        if (sym < 256) {
          win[pos++] = static_cast<unsigned char>(sym);
          // Up to two more literals from the same refill when the bits are there.
          if (br.count() >= 16 && blockLeft != 0 && pos < limit) {
            sym = c.Decode(br);
            if (sym < 256) {
              --blockLeft;
              win[pos++] = static_cast<unsigned char>(sym);
              if (br.count() >= 16 && blockLeft != 0 && pos < limit) {
                sym = c.Decode(br);
                if (sym < 256) {
                  --blockLeft;
                  win[pos++] = static_cast<unsigned char>(sym);
                  continue;
                }
              } else {
                continue;
              }
            }
            // A length code came next: handle it as a match after a refill.
            --blockLeft;
            br.Refill();
            if (__builtin_expect(br.bad(), 0)) return Fail();
          } else {
            continue;
          }
        }
        const size_t len = sym - 256 + kThreshold;
        const unsigned j = p.Decode(br);
        size_t dist = 1;
        if (j != 0) dist += (size_t{1} << (j - 1)) + br.Get(j - 1);
        if (__builtin_expect(dist > pos, 0)) return Status::kCorrupt;
        if (__builtin_expect(produced + pos + len > originalSize, 0)) return Status::kCorrupt;
        // pos < limit <= kFlushAt here and len <= 256, so the copy (and its overshoot of up to
        // 15 bytes) stays inside win.
        if (pos >= kFlushAt || len > 256) return Status::kCorrupt;
        unsigned char* d = win + pos;
        const unsigned char* s = win + (pos - dist);
        if (dist >= 16) {
          for (size_t k = 0; k < len; k += 16) std::memcpy(d + k, s + k, 16);
        } else if (dist >= 8) {
          for (size_t k = 0; k < len; k += 8) std::memcpy(d + k, s + k, 8);
        } else if (dist == 1) {
          std::memset(d, *s, len);
        } else {
          for (size_t k = 0; k < len; ++k) d[k] = s[k];
        }
        pos += len;
      }
    }
    // Encoders close the last block exactly at the end of the data: codes left over mean a
    // damaged block count.
    if (blockLeft != 0) return Status::kCorrupt;
    if (pos > flushed && !out.Write(win + flushed, pos - flushed)) return Status::kWriteError;
    return Status::kOk;
  }
};

}  // namespace

Status Decode(const Format& f, Input& in, uint64_t compressedSize, uint64_t originalSize,
              Output& out) {
  if (originalSize == 0) return Status::kOk;
  auto d = std::make_unique<Decoder>(f, in, compressedSize);
  return d->Run(originalSize, out);
}

}  // namespace lzhuff
