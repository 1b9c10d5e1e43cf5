// Helpers for the LZH tests: fixtures, temporary folders, byte patching and a hand-made archive
// writer for headers the public tools do not produce. Independent of the library's own parser.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace lzhtest {

using Bytes = std::vector<uint8_t>;

inline std::string Fixture(const std::string& name) { return std::string(ORVEX2_TEST_DATA) + "/lzh/" + name; }

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// A fresh folder under the system temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lzhtest.XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Writes data to a file of that name and returns its path.
  std::string Write(const std::string& name, const Bytes& data) const {
    WriteFile(File(name), data);
    return File(name);
  }

 private:
  std::string path_;
};

inline uint16_t Crc16(const uint8_t* p, size_t n, uint16_t crc = 0) {
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
  }
  return crc;
}

inline uint16_t Get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
inline uint32_t Get32(const Bytes& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline void Put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Layout of one member as the format describes it (levels 0-2), for locating bytes to damage.
struct Member {
  size_t header = 0;      // offset of the header
  size_t headerSize = 0;  // up to the compressed data (level 1: with its extended headers)
  size_t data = 0;        // offset of the compressed data
  size_t compressed = 0;
  int level = 0;
  size_t crcField = 0;    // level 2: offset of the header CRC inside the file (0 = none)
};

inline std::vector<Member> Members(const Bytes& b, size_t start = 0) {
  std::vector<Member> out;
  size_t at = start;
  while (at + 24 <= b.size() && b[at] != 0) {
    Member m;
    m.header = at;
    m.level = b[at + 20];
    if (m.level == 2) {
      m.headerSize = Get16(b, at);
      m.compressed = Get32(b, at + 7);
      for (size_t e = at + 24; Get16(b, e) != 0; e += Get16(b, e)) {
        if (b[e + 2] == 0x00) m.crcField = e + 3;
      }
    } else {
      m.headerSize = b[at] + 2u;
      size_t skip = Get32(b, at + 7);
      if (m.level == 1) {
        for (size_t next = Get16(b, at + m.headerSize - 2); next != 0;
             next = Get16(b, at + m.headerSize - 2)) {
          m.headerSize += next;
          skip -= next;
        }
      }
      m.compressed = skip;
    }
    m.data = at + m.headerSize;
    out.push_back(m);
    at = m.data + m.compressed;
  }
  return out;
}

// Recomputes the level 0/1 header checksum of the member at header.
inline void FixChecksum(Bytes& b, size_t header) {
  unsigned sum = 0;
  for (size_t i = header + 2; i < header + 2 + b[header]; ++i) sum += b[i];
  b[header + 1] = static_cast<uint8_t>(sum);
}

// Recomputes the level 2 header CRC of a member.
inline void FixHeaderCrc(Bytes& b, const Member& m) {
  Put16(b, m.crcField, 0);
  Put16(b, m.crcField, Crc16(&b[m.header], m.headerSize));
}

// Changes a member's method and repairs its checksum or header CRC.
inline void SetMethod(Bytes& b, const Member& m, const char* method) {
  for (int i = 0; i < 5; ++i) b[m.header + 2 + i] = static_cast<uint8_t>(method[i]);
  if (m.level == 2) FixHeaderCrc(b, m);
  else FixChecksum(b, m.header);
}

// A level 0 header with a stored (or any) member, checksum correct; `area` is the extended area
// some hosts write after the CRC (an OS id and its data: 'U' UNIX, '9' OS-9, 'A' Amiga, 'm' Mac).
inline Bytes Level0Member(const std::string& name, const Bytes& data, const char* method = "-lh0-",
                          uint8_t attribute = 0x20, const Bytes& area = {}) {
  Bytes h(24 + name.size());
  for (int i = 0; i < 5; ++i) h[2 + i] = static_cast<uint8_t>(method[i]);
  Put32(h, 7, static_cast<uint32_t>(data.size()));
  Put32(h, 11, static_cast<uint32_t>(data.size()));
  Put32(h, 15, 0x58210000);
  h[19] = attribute;
  h[20] = 0;
  h[21] = static_cast<uint8_t>(name.size());
  for (size_t i = 0; i < name.size(); ++i) h[22 + i] = static_cast<uint8_t>(name[i]);
  Put16(h, 22 + name.size(), Crc16(data.data(), data.size()));
  h.insert(h.end(), area.begin(), area.end());
  h[0] = static_cast<uint8_t>(h.size() - 2);
  FixChecksum(h, 0);
  h.insert(h.end(), data.begin(), data.end());
  return h;
}

// A level 3 header (32-bit fields) with a file name and a header CRC record, then the data.
inline Bytes Level3Member(const std::string& name, const Bytes& data) {
  Bytes h(32);
  Put16(h, 0, 4);
  const char* method = "-lh0-";
  for (int i = 0; i < 5; ++i) h[2 + i] = static_cast<uint8_t>(method[i]);
  Put32(h, 7, static_cast<uint32_t>(data.size()));
  Put32(h, 11, static_cast<uint32_t>(data.size()));
  Put32(h, 15, 1700000000);
  h[19] = 0x20;
  h[20] = 3;
  Put16(h, 21, Crc16(data.data(), data.size()));
  h[23] = 'U';
  // Records: size(4) precedes each; a record is type, data, then the next size field.
  const size_t nameRecord = 1 + name.size() + 4;
  const size_t crcRecord = 1 + 2 + 4;
  Put32(h, 28, static_cast<uint32_t>(nameRecord));
  h.push_back(0x01);
  h.insert(h.end(), name.begin(), name.end());
  const size_t crcSize = h.size();
  h.resize(h.size() + 4);
  Put32(h, crcSize, static_cast<uint32_t>(crcRecord));
  h.push_back(0x00);
  const size_t crcAt = h.size();
  h.resize(h.size() + 2 + 4);  // CRC, then a zero size ends the chain
  Put32(h, 24, static_cast<uint32_t>(h.size()));
  Put16(h, crcAt, Crc16(h.data(), h.size()));
  h.insert(h.end(), data.begin(), data.end());
  return h;
}

// A static-Huffman stream (LZH -lh4- to -lh7-, ARJ -m1 to -m3; pbit 4 or 5) that decodes to one
// zero byte followed by `blocks` runs of 65536 matches of 256 bytes at distance 1: 16 MiB per
// block from about 8 bytes, so gigabytes come from a few kilobytes. Every table is a single
// symbol, so codes take no bits at all.
inline Bytes ZeroRunStream(unsigned pbit, unsigned blocks) {
  Bytes out;
  uint64_t acc = 0;
  unsigned bits = 0;
  auto put = [&](uint32_t value, unsigned n) {
    acc = (acc << n) | value;
    bits += n;
    while (bits >= 8) {
      out.push_back(static_cast<uint8_t>(acc >> (bits - 8)));
      bits -= 8;
    }
  };
  auto block = [&](uint32_t codes, uint32_t symbol) {
    put(codes & 0xFFFF, 16);  // 0 stands for 65536
    put(0, 10);               // pre-table: a count of 0, then its one symbol
    put(symbol, 18);          // literal/length table: the same
    put(0, 2 * pbit);         // position table: the same, distance 1
  };
  block(1, 0);  // the literal 0
  for (unsigned i = 0; i < blocks; ++i) block(65536, 256 + 256 - 3);
  if (bits % 8 != 0) put(0, 8 - bits % 8);
  out.insert(out.end(), 8, 0);
  return out;
}

inline uint64_t ZeroRunSize(unsigned blocks) { return 1 + uint64_t{blocks} * 65536 * 256; }

// A level 2 member with the 64-bit size record (0x42) after the name, header CRC last; the 32-bit
// size fields hold the low halves of the sizes.
inline Bytes Level2Member64(const std::string& name, const char* method, const Bytes& data, uint64_t original,
                            uint16_t crc) {
  Bytes h(24);
  for (int i = 0; i < 5; ++i) h[2 + i] = static_cast<uint8_t>(method[i]);
  Put32(h, 7, static_cast<uint32_t>(data.size()));
  Put32(h, 11, static_cast<uint32_t>(original));
  Put32(h, 15, 1700000000);
  h[19] = 0x20;
  h[20] = 2;
  Put16(h, 21, crc);
  h[23] = 'W';
  auto record = [&h](uint8_t type, const Bytes& body) {
    const size_t at = h.size() - 2;  // the previous record's next-size field
    Put16(h, at, static_cast<uint32_t>(body.size() + 3));
    h.push_back(type);
    h.insert(h.end(), body.begin(), body.end());
    h.resize(h.size() + 2);
  };
  h.resize(26);  // first next-size field
  record(0x01, Bytes(name.begin(), name.end()));
  Bytes sizes(16);
  for (int i = 0; i < 8; ++i) {
    sizes[i] = static_cast<uint8_t>(static_cast<uint64_t>(data.size()) >> (8 * i));
    sizes[8 + i] = static_cast<uint8_t>(original >> (8 * i));
  }
  record(0x42, sizes);
  record(0x00, Bytes{0, 0});
  const size_t crcAt = h.size() - 4;
  Put16(h, 0, static_cast<uint32_t>(h.size()));
  Put16(h, crcAt, Crc16(h.data(), h.size()));
  h.insert(h.end(), data.begin(), data.end());
  return h;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Deterministic filler bytes without '-' so no accidental header shapes appear.
inline Bytes Filler(size_t n, uint8_t seed = 1) {
  Bytes out(n);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    uint8_t c = static_cast<uint8_t>(x >> 16);
    out[i] = c == '-' ? 0x2E : c;
  }
  return out;
}

}  // namespace lzhtest
