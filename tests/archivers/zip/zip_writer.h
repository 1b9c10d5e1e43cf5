// A small ZIP writer for the tests: stored, deflated (zlib), shrunk and imploded members (our own
// encoders, from PKWARE's APPNOTE), data descriptors, zip64 records and the layouts real
// writers leave (stubs, trailers, padding, placeholder end records).
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <queue>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive_test_util.h"

namespace ziptest {

using Bytes = archtest::Bytes;

inline uint32_t Crc(const Bytes& b) {
  return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), b.data(), static_cast<uInt>(b.size())));
}

// LSB-first bits, as every ZIP method packs them.
class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = 0; i < bits; ++i) Bit((value >> i) & 1);
  }
  void Code(uint32_t msbFirst, int bits) {  // a prefix code, first bit first
    for (int i = bits - 1; i >= 0; --i) Bit((msbFirst >> i) & 1);
  }
  Bytes Finish() { return out_; }

 private:
  void Bit(uint32_t b) {
    if (n_ % 8 == 0) out_.push_back(0);
    out_.back() = static_cast<unsigned char>(out_.back() | (b << (n_ % 8)));
    ++n_;
  }
  Bytes out_;
  size_t n_ = 0;
};

// Raw deflate; fullFlushEvery > 0 cuts the stream into flushed pieces as some writers do, and
// without `finish` the stream stops after a flush, to be continued by other pieces.
inline Bytes Deflate(const Bytes& data, size_t fullFlushEvery = 0, bool finish = true) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(compressBound(static_cast<uLong>(data.size())) * 2 + 64);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const size_t step = fullFlushEvery == 0 ? std::max<size_t>(data.size(), 1) : fullFlushEvery;
  for (size_t at = 0;; at += step) {
    const size_t n = std::min(step, data.size() - std::min(at, data.size()));
    z.next_in = const_cast<unsigned char*>(data.data() + std::min(at, data.size()));
    z.avail_in = static_cast<uInt>(n);
    const bool last = at + n >= data.size();
    deflate(&z, last && finish ? Z_FINISH : Z_FULL_FLUSH);
    if (last) break;
  }
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Shrink (method 1). The encoder keeps the decoder's table exactly: codes are added one step
// late, the table is thinned (256,2) when full or every clearEvery codes, and the code size
// raised (256,1) when a code needs it.
inline Bytes Shrink(const Bytes& in, unsigned clearEvery = 0) {
  constexpr uint16_t kFree = 0xFFFF, kRoot = 256;
  std::vector<uint16_t> parent(8192, kFree);
  std::vector<unsigned char> value(8192);
  for (unsigned c = 0; c < 256; ++c) parent[c] = kRoot, value[c] = static_cast<unsigned char>(c);
  std::unordered_map<uint32_t, uint16_t> child;  // (code << 8 | byte) -> code, decodable entries
  BitWriter bw;
  int bits = 9;
  unsigned last = 256, emitted = 0;
  const auto emit = [&](unsigned code) {
    while (code >= (1u << bits)) bw.Put(256, bits), bw.Put(1, bits), ++bits;
    bw.Put(code, bits);
  };
  const auto nextFree = [&] {
    unsigned s = last + 1;
    while (s < 8192 && parent[s] != kFree) ++s;
    return s;
  };
  int prev = -1;
  std::vector<bool> dead(8192, false);
  for (size_t i = 0; i < in.size();) {
    if (prev >= 0 && (nextFree() >= 8192 || (clearEvery != 0 && ++emitted % clearEvery == 0))) {
      bw.Put(256, bits), bw.Put(2, bits);
      std::vector<bool> extended(8192, false);
      for (unsigned k = 257; k <= last; ++k) {
        if (parent[k] != kFree && parent[k] > kRoot) extended[parent[k]] = true;
      }
      for (unsigned k = 257; k <= last; ++k) {
        if (extended[k] || parent[k] == kFree) continue;
        if (!dead[k]) child.erase(static_cast<uint32_t>(parent[k]) << 8 | value[k]);
        parent[k] = kFree;
      }
      last = 256;
    }
    unsigned code = in[i];
    size_t j = i + 1;
    for (; j < in.size(); ++j) {
      const auto it = child.find(code << 8 | in[j]);
      if (it == child.end()) break;
      code = it->second;
    }
    emit(code);
    if (prev >= 0) {  // the entry the decoder adds now: previous string + this one's first byte
      const unsigned slot = nextFree();
      parent[slot] = static_cast<uint16_t>(prev);
      value[slot] = in[i];
      last = slot;
      dead[slot] = parent[prev] == kFree;  // its prefix was thinned out: never to be matched
      if (!dead[slot]) child[static_cast<uint32_t>(prev) << 8 | in[i]] = static_cast<uint16_t>(slot);
    }
    prev = static_cast<int>(code);
    i = j;
  }
  return bw.Finish();
}

// Code lengths (1..16) of a complete prefix code for the frequencies (every symbol present).
inline std::vector<int> CodeLengths(std::vector<uint64_t> freq) {
  for (;;) {
    using Node = std::pair<uint64_t, int>;
    std::priority_queue<Node, std::vector<Node>, std::greater<Node>> q;
    std::vector<int> up(freq.size() * 2, -1);
    for (size_t s = 0; s < freq.size(); ++s) q.push({freq[s] + 1, static_cast<int>(s)});
    int next = static_cast<int>(freq.size());
    while (q.size() > 1) {
      const Node a = q.top();
      q.pop();
      const Node b = q.top();
      q.pop();
      up[a.second] = up[b.second] = next;
      q.push({a.first + b.first, next++});
    }
    std::vector<int> len(freq.size());
    int longest = 0;
    for (size_t s = 0; s < freq.size(); ++s) {
      for (int k = up[s]; k != -1; k = up[k]) ++len[s];
      longest = std::max(longest, len[s]);
    }
    if (longest <= 16) return len;
    for (auto& f : freq) f /= 2;
  }
}

// Implode (method 6): greedy matches over a 4 or 8 KiB window, Shannon-Fano trees as APPNOTE
// builds them, literals coded through a tree (literalTree) or as plain bytes.
inline Bytes Implode(const Bytes& in, bool window8k, bool literalTree) {
  const unsigned lowBits = window8k ? 7 : 6, minLen = literalTree ? 3 : 2, maxLen = minLen + 63 + 255;
  const size_t window = window8k ? 8192 : 4096;
  struct Token {
    unsigned len, dist;  // len 0: literal in dist
  };
  std::vector<Token> tokens;
  std::unordered_map<uint32_t, std::vector<size_t>> seen;
  for (size_t i = 0; i < in.size();) {
    unsigned bestLen = 0, bestDist = 0;
    if (i + minLen <= in.size()) {
      auto& list = seen[static_cast<uint32_t>(in[i]) << 8 | in[i + 1]];
      for (size_t k = list.size(); k-- > 0 && list.size() - k <= 16;) {
        if (i - list[k] > window) break;
        unsigned l = 0;
        while (l < maxLen && i + l < in.size() && in[list[k] + l] == in[i + l]) ++l;
        if (l > bestLen) bestLen = l, bestDist = static_cast<unsigned>(i - list[k]);
      }
    }
    const size_t step = bestLen >= minLen ? bestLen : 1;
    tokens.push_back(bestLen >= minLen ? Token{bestLen, bestDist} : Token{0, in[i]});
    for (size_t k = i; k < i + step && k + 1 < in.size(); ++k) seen[static_cast<uint32_t>(in[k]) << 8 | in[k + 1]].push_back(k);
    i += step;
  }
  std::vector<uint64_t> litF(256), lenF(64), distF(64);
  for (const Token& t : tokens) {
    if (t.len == 0) ++litF[t.dist];
    else ++lenF[std::min(t.len - minLen, 63u)], ++distF[(t.dist - 1) >> lowBits];
  }
  BitWriter bw;
  struct Tree {
    std::vector<int> len;
    std::vector<uint32_t> code;
  };
  const auto tree = [&bw](const std::vector<uint64_t>& f) {
    Tree t{CodeLengths(f), std::vector<uint32_t>(f.size())};
    std::vector<unsigned char> runs;
    for (size_t s = 0; s < f.size();) {
      size_t r = 1;
      while (s + r < f.size() && r < 16 && t.len[s + r] == t.len[s]) ++r;
      runs.push_back(static_cast<unsigned char>((r - 1) << 4 | (t.len[s] - 1)));
      s += r;
    }
    bw.Put(static_cast<uint32_t>(runs.size() - 1), 8);
    for (unsigned char b : runs) bw.Put(b, 8);
    std::vector<int> order(f.size());
    for (size_t s = 0; s < f.size(); ++s) order[s] = static_cast<int>(s);
    std::stable_sort(order.begin(), order.end(), [&t](int a, int b) { return t.len[a] < t.len[b]; });
    uint32_t code = 0, inc = 0;
    int last = 0;
    for (size_t i = order.size(); i-- > 0;) {
      const int s = order[i];
      code += inc;
      if (t.len[s] != last) last = t.len[s], inc = 1u << (16 - last);
      t.code[s] = code >> (16 - last);
    }
    return t;
  };
  const Tree lit = literalTree ? tree(litF) : Tree{};
  const Tree len = tree(lenF), dist = tree(distF);
  for (const Token& t : tokens) {
    if (t.len == 0) {
      bw.Put(1, 1);
      if (literalTree) {
        bw.Code(lit.code[t.dist], lit.len[t.dist]);
      } else {
        bw.Put(t.dist, 8);
      }
      continue;
    }
    const unsigned d = t.dist - 1, l = t.len - minLen;
    bw.Put(0, 1);
    bw.Put(d & ((1u << lowBits) - 1), static_cast<int>(lowBits));
    bw.Code(dist.code[d >> lowBits], dist.len[d >> lowBits]);
    const unsigned sym = std::min(l, 63u);
    bw.Code(len.code[sym], len.len[sym]);
    if (sym == 63) bw.Put(l - 63, 8);
  }
  return bw.Finish();
}

struct Entry {
  explicit Entry(std::string n = {}, Bytes d = {}, uint16_t m = 0, uint16_t f = 0)
      : name(std::move(n)), data(std::move(d)), method(m), flags(f) {}
  std::string name;
  Bytes data;               // the member's content
  uint16_t method = 0;      // 0 stored, 1 shrink, 6 implode, 8 deflate
  uint16_t flags = 0;       // implode: 2 = 8 KiB window, 4 = literal tree; 0x800 UTF-8
  bool descriptor = false;  // sizes and CRC after the data (signature unless plainDescriptor)
  bool plainDescriptor = false;
  unsigned clearEvery = 0;  // shrink: thin the table this often
  Bytes packed;             // the member's data as written, instead of encoding `data`
  Bytes localExtra, centralExtra;
  uint64_t localAt = UINT64_MAX;  // set by Write: where the local header went
};

struct Layout {
  Bytes stub;                  // before the archive; offsets do not count it
  size_t padding = 0;          // zero bytes after each member
  bool zip64 = false;          // zip64 fields and end records, placeholders in the plain ones
  bool someValues = false;     // zip64: the plain end record's size and offset as values
  Bytes trailer;               // after the end record
  Layout& Stub(Bytes b) { return stub = std::move(b), *this; }
  Layout& Padding(size_t n) { return padding = n, *this; }
  Layout& Zip64(bool values = false) { return zip64 = true, someValues = values, *this; }
  Layout& Trailer(Bytes b) { return trailer = std::move(b), *this; }
};

inline void Le(Bytes& b, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

inline Bytes Write(std::vector<Entry>& entries, const Layout& layout = {}) {
  Bytes out = layout.stub, dir;
  const size_t base = layout.stub.size();
  for (Entry& e : entries) {
    Bytes packed = e.packed;
    if (packed.empty()) {
      if (e.method == 1) packed = Shrink(e.data, e.clearEvery);
      else if (e.method == 6) packed = Implode(e.data, (e.flags & 2) != 0, (e.flags & 4) != 0);
      else if (e.method == 8) packed = Deflate(e.data);
      else packed = e.data;
    }
    const uint32_t crc = Crc(e.data);
    const uint16_t flags = static_cast<uint16_t>(e.flags | (e.descriptor ? 8 : 0));
    const uint32_t wide = 0xFFFFFFFFu;
    e.localAt = out.size() - base;
    Bytes local64, central64;
    if (layout.zip64) {
      Le(local64, 0x0001, 2), Le(local64, 16, 2), Le(local64, e.data.size(), 8), Le(local64, packed.size(), 8);
      Le(central64, 0x0001, 2), Le(central64, 24, 2), Le(central64, e.data.size(), 8);
      Le(central64, packed.size(), 8), Le(central64, e.localAt, 8);
    }
    const Bytes lextra = [&] { Bytes x = local64; x.insert(x.end(), e.localExtra.begin(), e.localExtra.end()); return x; }();
    const Bytes cextra = [&] { Bytes x = central64; x.insert(x.end(), e.centralExtra.begin(), e.centralExtra.end()); return x; }();
    Le(out, 0x04034b50, 4), Le(out, layout.zip64 ? 45 : 20, 2), Le(out, flags, 2), Le(out, e.method, 2);
    Le(out, 0x5021a000, 4);  // 2020-01-01 20:00
    Le(out, e.descriptor ? 0 : crc, 4);
    Le(out, e.descriptor ? 0 : layout.zip64 ? wide : packed.size(), 4);
    Le(out, e.descriptor ? 0 : layout.zip64 ? wide : e.data.size(), 4);
    Le(out, e.name.size(), 2), Le(out, lextra.size(), 2);
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.insert(out.end(), lextra.begin(), lextra.end());
    out.insert(out.end(), packed.begin(), packed.end());
    if (e.descriptor) {
      if (!e.plainDescriptor) Le(out, 0x08074b50, 4);
      Le(out, crc, 4), Le(out, packed.size(), layout.zip64 ? 8 : 4), Le(out, e.data.size(), layout.zip64 ? 8 : 4);
    }
    out.insert(out.end(), layout.padding, 0);
    Le(dir, 0x02014b50, 4), Le(dir, 0x0314, 2), Le(dir, layout.zip64 ? 45 : 20, 2), Le(dir, flags, 2);
    Le(dir, e.method, 2), Le(dir, 0x5021a000, 4), Le(dir, crc, 4);
    Le(dir, layout.zip64 ? wide : packed.size(), 4), Le(dir, layout.zip64 ? wide : e.data.size(), 4);
    Le(dir, e.name.size(), 2), Le(dir, cextra.size(), 2), Le(dir, 0, 8), Le(dir, 0, 2);
    Le(dir, layout.zip64 ? wide : e.localAt, 4);
    dir.insert(dir.end(), e.name.begin(), e.name.end());
    dir.insert(dir.end(), cextra.begin(), cextra.end());
  }
  const uint64_t dirAt = out.size() - base, count = entries.size();
  out.insert(out.end(), dir.begin(), dir.end());
  if (layout.zip64) {
    const uint64_t recAt = out.size() - base;
    Le(out, 0x06064b50, 4), Le(out, 44, 8), Le(out, 45, 2), Le(out, 45, 2), Le(out, 0, 8);
    Le(out, count, 8), Le(out, count, 8), Le(out, dir.size(), 8), Le(out, dirAt, 8);
    Le(out, 0x07064b50, 4), Le(out, 0, 4), Le(out, recAt, 8), Le(out, 1, 4);
  }
  const bool counts = layout.zip64, sizes = layout.zip64 && !layout.someValues;
  Le(out, 0x06054b50, 4), Le(out, 0, 4);
  Le(out, counts ? 0xFFFF : count, 2), Le(out, counts ? 0xFFFF : count, 2);
  Le(out, sizes ? 0xFFFFFFFF : dir.size(), 4), Le(out, sizes ? 0xFFFFFFFF : dirAt, 4), Le(out, 0, 2);
  out.insert(out.end(), layout.trailer.begin(), layout.trailer.end());
  return out;
}

}  // namespace ziptest
