// The four built libraries through their entries: a FIFO, a device or a folder is refused at once,
// every injected read error is a read error (0x801A), a cancel stops a member that expands
// gigabytes from kilobytes, and a member of more than 4 GiB decodes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <string>

#include "archiver_libraries.h"
#include "lzh_test_util.h"

namespace {

using namespace lzhtest;
using arctest::Library;
using Clock = std::chrono::steady_clock;

// One entry in a process of its own, ended after 10 s: the answer, or -1.
int RunEntry(const Library& l, const std::string& path, const std::string& mode, const std::string& env = "") {
  const std::string out = arctest::Output("timeout -s KILL 10 env " + env + " " ORVEX2_ENTRY_RUNNER " " ORVEX2_LIB_DIR "/" +
                                          l.file + " " + l.prefix + " '" + l.testOptions + "' '" + path + "' " + mode);
  return out.empty() ? -1 : std::stoi(out);
}


TEST(LibraryEntries, FifoDeviceAndFolderAreRefusedAtOnce) {
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
  for (const Library& l : arctest::Libraries()) {
    for (const std::string& path : {dir.File("fifo"), std::string("/dev/zero"), dir.path()}) {
      const int test = RunEntry(l, path, ""), rough = RunEntry(l, path, "0"), full = RunEntry(l, path, "2");
      EXPECT_TRUE(test == 0x8018 && rough == 0 && full == 0)
          << l.family << ": " << path << ": test/check 0/check 2 gave " << test << "/" << rough << "/" << full
          << " (-1: no answer in 10 s)";
    }
  }
}

TEST(LibraryEntries, EveryInjectedReadErrorIsAReadError) {
  const std::string data = ORVEX2_TEST_DATA;
  const Bytes lzh = ReadFile(data + "/lzh/lh5_level0.lzh"), arj = ReadFile(data + "/arj/m1.arj");
  const Bytes zip = ReadFile(data + "/zip/deflated.zip"), cab = ReadFile(data + "/cab/mszip.cab");
  const size_t stub = 300 * 1024;  // read by the start scan, beyond its first 256 KiB window
  const auto behindStub = [stub](const Bytes& archive) {
    Bytes b = Filler(stub, 7);
    for (uint8_t& c : b) c = c == 0x60 || c == 'P' || c == 'M' ? 0x2E : c;
    b[0] = 'M', b[1] = 'Z';
    return Concat({b, archive});
  };
  const struct {
    const char* family;
    Bytes archive;
    std::vector<size_t> offsets;
  } rows[] = {
      {"LZH", lzh, {0, 3, 30, lzh.size() / 2, lzh.size() - 1}},
      {"LZH", behindStub(lzh), {100, 150 * 1024, 260 * 1024, stub + 5, stub + lzh.size() / 2}},
      {"ARJ", arj, {0, 5, 60, arj.size() / 2, arj.size() - 2}},
      {"ARJ", behindStub(arj), {0, 100, 150 * 1024, stub + 5, stub + arj.size() / 2}},
      {"ZIP", zip, {0, 40, 1000, zip.size() - 30}},
      {"ZIP", behindStub(zip), {100, 260 * 1024, stub + 40, stub + zip.size() - 30}},
      {"CAB", cab, {0, 40, 1000, cab.size() - 1}},
      {"CAB", behindStub(cab), {100, 260 * 1024, stub + 40, stub + cab.size() / 2}},
  };
  TempDir dir;
  int injected = 0;
  for (const auto& row : rows) {
    for (const Library& l : arctest::Libraries()) {
      if (std::strcmp(l.family, row.family) != 0) continue;
      const std::string path = dir.Write("archive", row.archive), mark = dir.File("fired");
      ASSERT_EQ(l.Test(path), 0) << row.family;
      for (const size_t at : row.offsets) {
        std::remove(mark.c_str());
        const int rc = RunEntry(l, path, "", "LD_PRELOAD=" ORVEX2_EIO_SHIM " ORVEX2_EIO_FILE=" + path +
                                                 " ORVEX2_EIO_AT=" + std::to_string(at) + " ORVEX2_EIO_MARK=" + mark);
        const bool fired = access(mark.c_str(), F_OK) == 0;
        injected += fired;
        EXPECT_TRUE(fired && rc == 0x801A) << l.family << ": " << row.archive.size() << " bytes, error at " << at
                                            << (fired ? " injected" : " never read") << ", answer " << rc;
      }
    }
  }
  std::printf("read errors: %d injected\n", injected);
}

// m1.arj with one method 1 member holding `data`, `original` bytes once decoded.
Bytes ArjWithMember(const Bytes& data, uint32_t original) {
  const Bytes m1 = ReadFile(std::string(ORVEX2_TEST_DATA) + "/arj/m1.arj");
  const size_t member = 4 + Get16(m1, 2) + 4 + 2, size = Get16(m1, member + 2);
  Bytes out(m1.begin(), m1.begin() + static_cast<long>(member + 4 + size + 4));
  Put32(out, member + 4 + 12, static_cast<uint32_t>(data.size()));
  Put32(out, member + 4 + 16, original);
  Put32(out, member + 4 + size, static_cast<uint32_t>(crc32(0, &out[member + 4], static_cast<uInt>(size))));
  return Concat({out, Bytes{0, 0}, data, Bytes{0x60, 0xEA, 0, 0}});
}

Clock::time_point g_started, g_asked;
int CancelAfter30Ms(void*, unsigned long long, unsigned long long) {
  if (Clock::now() - g_started < std::chrono::milliseconds(30)) return 0;
  if (g_asked == Clock::time_point{}) g_asked = Clock::now();
  return 1;
}

TEST(LibraryEntries, ACancelStopsAnExpandingMember) {
  TempDir dir;
  const uint64_t size = ZeroRunSize(255);  // nearly 4 GiB from under 2 KiB: seconds to decode
  const struct {
    const char* family;
    Bytes archive;
  } rows[] = {{"LZH", Concat({Level2Member64("big", "-lh5-", ZeroRunStream(4, 255), size, 0), Bytes{0}})},
              {"ARJ", ArjWithMember(ZeroRunStream(5, 255), static_cast<uint32_t>(size))}};
  for (const auto& row : rows) {
    for (const Library& l : arctest::Libraries()) {
      if (std::strcmp(l.family, row.family) != 0) continue;
      const std::string path = dir.Write("expanding", row.archive);
      l.setProgress(CancelAfter30Ms, nullptr);
      g_asked = {};
      g_started = Clock::now();
      const int rc = l.Test(path);
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - g_asked).count();
      l.setProgress(nullptr, nullptr);
      std::printf("%s: %zu bytes expanding to %llu, ended %.1f ms after the cancel\n", row.family, row.archive.size(),
                  static_cast<unsigned long long>(size), ms);
      EXPECT_EQ(rc, 0x8020) << row.family;
      EXPECT_LT(ms, 1000) << row.family;  // about 100 ms is the goal
    }
  }
}

TEST(LibraryEntries, AMemberOfMoreThan4GiBDecodes) {
  TempDir dir;
  const std::string path =
      dir.Write("big.lzh", Concat({Level2Member64("big", "-lh5-", ZeroRunStream(4, 256), ZeroRunSize(256), 0), Bytes{0}}));
  EXPECT_EQ(arctest::Libraries()[0].Test(path), 0);
}

}  // namespace
