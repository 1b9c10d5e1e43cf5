// Prefix-code tables: deflate's canonical codes and PKZIP implode's Shannon-Fano codes.
#include "zip_codes.h"

#include <algorithm>
#include <numeric>

namespace zipar {
namespace {

uint32_t Reverse(uint32_t code, int length) {
  uint32_t r = 0;
  for (int i = 0; i < length; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return r;
}

}  // namespace

bool PrefixTable::BuildCanonical(const uint8_t* lengths, int n) {
  int count[kMaxLength + 1] = {};
  for (int s = 0; s < n; ++s) {
    if (lengths[s] > 15) return false;
    ++count[lengths[s]];
  }
  count[0] = 0;
  int left = 1;
  int used = 0;
  for (int len = 1; len <= 15; ++len) {
    left = (left << 1) - count[len];
    if (left < 0) return false;  // over-subscribed
    used += count[len];
  }
  // An incomplete code only as a single one-bit code (or none at all, for distances).
  if (left > 0 && !(used == 0 || (used == 1 && count[1] == 1))) return false;
  uint32_t next[kMaxLength + 2] = {};
  uint32_t code = 0;
  for (int len = 1; len <= 15; ++len) {
    code = (code + static_cast<uint32_t>(count[len - 1])) << 1;
    next[len] = code;
  }
  std::vector<uint32_t> codes(static_cast<size_t>(n), 0);
  for (int s = 0; s < n; ++s) {
    if (lengths[s] != 0) codes[static_cast<size_t>(s)] = next[lengths[s]]++;
  }
  return Fill(lengths, codes.data(), n);
}

bool PrefixTable::BuildShannonFano(const uint8_t* lengths, int n) {
  // Symbols by ascending length, keeping their order within a length; codes are handed out
  // from the longest down, each taking the next slice of the 16-bit code space.
  std::vector<int> order(static_cast<size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  for (int s = 0; s < n; ++s) {
    if (lengths[s] < 1 || lengths[s] > kMaxLength) return false;
  }
  std::stable_sort(order.begin(), order.end(), [lengths](int a, int b) { return lengths[a] < lengths[b]; });
  std::vector<uint32_t> codes(static_cast<size_t>(n), 0);
  uint32_t code = 0;
  uint32_t increment = 0;
  int last = 0;
  for (int i = n - 1; i >= 0; --i) {
    const int s = order[static_cast<size_t>(i)];
    code += increment;
    if (lengths[s] != last) {
      last = lengths[s];
      increment = 1u << (16 - last);
    }
    if (code + increment > 0x10000u) return false;  // over-subscribed
    codes[static_cast<size_t>(s)] = code >> (16 - last);
  }
  return Fill(lengths, codes.data(), n);
}

bool PrefixTable::Fill(const uint8_t* lengths, const uint32_t* codes, int n) {
  maxLength_ = 1;
  for (int s = 0; s < n; ++s) maxLength_ = std::max<int>(maxLength_, lengths[s]);
  primaryBits_ = std::min(maxLength_, 10);
  table_.assign(size_t{1} << primaryBits_, 0);
  const uint32_t primaryMask = (1u << primaryBits_) - 1;
  std::vector<uint8_t> subBits(table_.size(), 0);
  for (int s = 0; s < n; ++s) {
    const int len = lengths[s];
    if (len > primaryBits_) {
      const uint32_t prefix = Reverse(codes[s], len) & primaryMask;
      subBits[prefix] = static_cast<uint8_t>(std::max<int>(subBits[prefix], len - primaryBits_));
    }
  }
  for (size_t p = 0; p < subBits.size(); ++p) {
    if (subBits[p] == 0) continue;
    const size_t offset = table_.size();
    table_[p] = kSubtable | (static_cast<uint32_t>(subBits[p]) << 21) | static_cast<uint32_t>(offset);
    table_.resize(offset + (size_t{1} << subBits[p]), 0);
  }
  for (int s = 0; s < n; ++s) {
    const int len = lengths[s];
    if (len == 0) continue;
    const uint32_t rev = Reverse(codes[s], len);
    const uint32_t entry = static_cast<uint32_t>(s) | (static_cast<uint32_t>(len) << 16);
    if (len <= primaryBits_) {
      for (uint32_t i = rev; i < table_.size() && i <= primaryMask; i += 1u << len) table_[i] = entry;
    } else {
      const uint32_t head = table_[rev & primaryMask];
      const int sub = static_cast<int>((head >> 21) & 31);
      const size_t base = head & 0xFFFF;
      for (uint32_t i = rev >> primaryBits_; i < (1u << sub); i += 1u << (len - primaryBits_)) table_[base + i] = entry;
    }
  }
  return true;
}

}  // namespace zipar
