// Small file helpers for the ZIP tests: temporary folders, whole-file reads and writes,
// and the offsets of a ZIP archive's records.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ziptest {

using Bytes = std::vector<unsigned char>;
namespace fs = std::filesystem;

inline std::string Fixture(const std::string& name) { return std::string(ORVEX2_TEST_DATA) + "/zip/" + name; }

inline Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  ASSERT_TRUE(out.good()) << path;
}

class TempDir {
 public:
  TempDir() {
    std::string templ = (fs::temp_directory_path() / "orvex2-zip-XXXXXX").string();
    const char* made = ::mkdtemp(templ.data());
    path_ = made != nullptr ? made : "";
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline uint16_t Le16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8)); }
inline uint32_t Le32(const Bytes& b, size_t at) { return Le16(b, at) | (static_cast<uint32_t>(Le16(b, at + 2)) << 16); }
inline void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<unsigned char>(v >> (8 * i));
}

// Offsets inside an archive with no stub: the end record, the first central entry and the
// first member's local header and data.
struct Records {
  size_t eocd = 0;
  size_t firstCentral = 0;
  size_t firstData = 0;
  uint32_t firstCompressed = 0;
};

inline Records Parse(const Bytes& b) {
  Records r;
  for (size_t i = b.size() - 22;; --i) {
    if (b[i] == 'P' && b[i + 1] == 'K' && b[i + 2] == 5 && b[i + 3] == 6) {
      r.eocd = i;
      break;
    }
    if (i == 0) break;
  }
  r.firstCentral = Le32(b, r.eocd + 16);
  r.firstData = 30 + Le16(b, 26) + Le16(b, 28);
  r.firstCompressed = Le32(b, 18);
  return r;
}

// The central entry and local header of the member named name.
struct Member {
  size_t central = 0;
  size_t local = 0;
  size_t data = 0;
  uint32_t compressed = 0;
};

inline Member Find(const Bytes& b, const std::string& name) {
  const Records r = Parse(b);
  size_t p = r.firstCentral;
  const uint16_t count = Le16(b, r.eocd + 10);
  for (uint16_t i = 0; i < count; ++i) {
    const uint16_t nameLen = Le16(b, p + 28);
    const std::string stored(reinterpret_cast<const char*>(&b[p + 46]), nameLen);
    if (stored == name) {
      Member m;
      m.central = p;
      m.local = Le32(b, p + 42);
      m.data = m.local + 30 + Le16(b, m.local + 26) + Le16(b, m.local + 28);
      m.compressed = Le32(b, p + 20);
      return m;
    }
    p += 46 + nameLen + Le16(b, p + 30) + Le16(b, p + 32);
  }
  ADD_FAILURE() << "no member " << name;
  return Member{};
}

}  // namespace ziptest
