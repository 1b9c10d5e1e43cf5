// Helpers for the archiver library tests (no Qt): whole-file reads and writes, temporary folders,
// little-endian fields, and a gate that holds a library inside a call to test its busy flag.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

// The sanitized build's cases carry their own names in CTest.
#ifdef ORVEX2_SANITIZED_SUITES
#define SUITE(name) Sanitized##name
#else
#define SUITE(name) name
#endif

namespace archtest {

using Bytes = std::vector<unsigned char>;

inline Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  ASSERT_TRUE(out.good()) << path;
}

// A temporary folder removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "orvex2-test-XXXXXX").string();
    const char* made = ::mkdtemp(templ.data());
    path_ = made != nullptr ? made : "";
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
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

// Passed as the member hook of a library: the first call waits inside the library until released.
struct Gate {
  std::mutex m;
  std::condition_variable cv;
  bool entered = false;
  bool release = false;
};

inline void HoldInHook(void* context) {
  auto* g = static_cast<Gate*>(context);
  std::unique_lock<std::mutex> lock(g->m);
  g->entered = true;
  g->cv.notify_all();
  g->cv.wait(lock, [g] { return g->release; });
}

}  // namespace archtest
