// The four built libraries through their entries: a FIFO, a device or a folder is refused at once,
// every injected read error is a read error (0x801A), a cancel stops a member that expands
// gigabytes from kilobytes, and a member of more than 4 GiB decodes.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archiver_libraries.h"
#include "lzh_test_util.h"

extern char** environ;

namespace {

using namespace lzhtest;
using arctest::Library;
using Clock = std::chrono::steady_clock;

constexpr int kReadError = 0x801A;

bool MustPass(const Library& l) { return std::strcmp(l.family, "LZH") == 0 || std::strcmp(l.family, "ARJ") == 0; }

// Runs one entry in a child process; the answer, or -1 when it did not finish in time.
int RunEntry(const Library& l, const std::string& archive, const char* checkMode,
             const std::vector<std::string>& extraEnv = {}, int timeoutMs = 10000) {
  std::vector<std::string> env(extraEnv);
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  const std::string lib = std::string(ORVEX2_LIB_DIR) + "/" + l.file;
  std::vector<std::string> args = {ORVEX2_ENTRY_RUNNER, lib, l.prefix, l.testOptions, archive};
  if (checkMode != nullptr) args.emplace_back(checkMode);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  if (pipe(out) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return -1;
  }
  std::string text;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  pollfd p{out[0], POLLIN, 0};
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
      kill(pid, SIGKILL);
      text.clear();
      break;
    }
    char buf[64];
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (text.empty() || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return std::atoi(text.c_str());
}

// A failure of LZH or ARJ, a printed note for ZIP and CAB (their readers are being rewritten).
void Expect(const Library& l, bool ok, const std::string& what, int& known) {
  if (ok) return;
  if (MustPass(l)) {
    ADD_FAILURE() << l.family << ": " << what;
  } else {
    ++known;
    std::printf("known: %s: %s\n", l.family, what.c_str());
  }
}

TEST(LibraryEntries, FifoDeviceAndFolderAreRefusedAtOnce) {
  TempDir dir;
  const std::string fifo = dir.File("archive.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int known = 0;
  for (const Library& l : arctest::Libraries()) {
    ASSERT_TRUE(l.loaded()) << l.file;
    for (const std::string& path : {fifo, std::string("/dev/zero"), dir.path()}) {
      const auto started = Clock::now();
      const int test = RunEntry(l, path, nullptr, {}, 5000);
      const int rough = RunEntry(l, path, "0", {}, 5000);
      const int full = RunEntry(l, path, "2", {}, 5000);
      const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
      Expect(l, test == 0x8018 && rough == 0 && full == 0 && seconds < 5,
             path + ": test " + std::to_string(test) + ", check 0/2 " + std::to_string(rough) + "/" +
                 std::to_string(full) + " (-1: no answer)",
             known);
    }
  }
  std::printf("FIFO, device, folder: %d known ZIP/CAB answers to mend\n", known);
}

// A stub of `size` bytes without any header shape, then an archive.
Bytes BehindStub(size_t size, const Bytes& archive) {
  Bytes stub = Filler(size, 7);
  for (uint8_t& c : stub) c = c == 0x60 || c == 'P' || c == 'M' ? 0x2E : c;
  stub[0] = 'M';
  stub[1] = 'Z';
  return Concat({stub, archive});
}

TEST(LibraryEntries, EveryInjectedReadErrorIsAReadError) {
  const std::string data = ORVEX2_TEST_DATA;
  const Bytes lzh = ReadFile(data + "/lzh/lh5_level0.lzh");
  const Bytes arj = ReadFile(data + "/arj/m1.arj");
  const size_t big = 300 * 1024;  // the first 256 KiB are read by the start scan
  const struct {
    const char* family;
    const char* name;
    Bytes archive;
    std::vector<size_t> offsets;
  } rows[] = {
      {"LZH", "plain", lzh, {0, 3, 30, lzh.size() / 2, lzh.size() - 1}},
      {"LZH", "behind a 300 KiB stub", BehindStub(big, lzh), {100, 150 * 1024, 260 * 1024, big + 5, big + lzh.size() / 2}},
      {"ARJ", "plain", arj, {0, 5, 60, arj.size() / 2, arj.size() - 2}},
      {"ARJ", "behind a 300 KiB stub", BehindStub(big, arj), {0, 100, 150 * 1024, big + 5, big + arj.size() / 2}},
      {"ZIP", "plain", ReadFile(data + "/zip/deflated.zip"), {0, 40, 1000}},
      {"CAB", "plain", ReadFile(data + "/cab/mszip.cab"), {0, 40, 1000}},
  };
  TempDir dir;
  int injected = 0;
  int known = 0;
  for (const auto& row : rows) {
    const Library* library = nullptr;
    for (const Library& l : arctest::Libraries()) {
      if (std::strcmp(l.family, row.family) == 0) library = &l;
    }
    ASSERT_NE(library, nullptr);
    const std::string path = dir.Write(std::string(row.family) + ".archive", row.archive);
    ASSERT_EQ(library->Test(path), 0) << row.family << " " << row.name;
    for (const size_t at : row.offsets) {
      const std::string mark = dir.File("fired");
      std::remove(mark.c_str());
      const int rc = RunEntry(*library, path, nullptr,
                              {"LD_PRELOAD=" ORVEX2_EIO_SHIM, "ORVEX2_EIO_FILE=" + path,
                               "ORVEX2_EIO_AT=" + std::to_string(at), "ORVEX2_EIO_MARK=" + mark});
      const bool fired = access(mark.c_str(), F_OK) == 0;
      injected += fired ? 1 : 0;
      char what[160];
      std::snprintf(what, sizeof what, "%s, read error at %zu: %s, answer 0x%X", row.name, at,
                    fired ? "injected" : "never read", static_cast<unsigned>(rc));
      Expect(*library, fired && rc == kReadError, what, known);
    }
  }
  std::printf("read errors: %d injected, %d known ZIP/CAB answers to mend\n", injected, known);
}

// Cancel while a member expands from a few kilobytes to nearly 4 GiB: the call ends soon after the
// callback asks, long before the member could have been decoded.
struct CancelState {
  Clock::time_point started;
  Clock::time_point asked;
  int calls = 0;
};

int CancelAfter30Ms(void* user, unsigned long long, unsigned long long) {
  auto* s = static_cast<CancelState*>(user);
  ++s->calls;
  if (Clock::now() - s->started < std::chrono::milliseconds(30)) return 0;
  if (s->asked == Clock::time_point{}) s->asked = Clock::now();
  return 1;
}

// m1.arj with its first member replaced: `data` as a method 1 member of `original` bytes.
Bytes ArjWithMember(const Bytes& data, uint32_t original) {
  const Bytes m1 = ReadFile(std::string(ORVEX2_TEST_DATA) + "/arj/m1.arj");
  const size_t mainEnd = 4 + Get16(m1, 2) + 4 + 2;
  const size_t size = Get16(m1, mainEnd + 2);
  Bytes out(m1.begin(), m1.begin() + static_cast<long>(mainEnd + 4 + size + 4));
  Put32(out, mainEnd + 4 + 12, static_cast<uint32_t>(data.size()));
  Put32(out, mainEnd + 4 + 16, original);
  Put32(out, mainEnd + 4 + size, static_cast<uint32_t>(crc32(0, &out[mainEnd + 4], static_cast<uInt>(size))));
  out.push_back(0);
  out.push_back(0);  // no extended header
  return Concat({out, data, Bytes{0x60, 0xEA, 0, 0}});
}

TEST(LibraryEntries, ACancelStopsAnExpandingMember) {
  TempDir dir;
  const struct {
    const char* family;
    Bytes archive;
  } rows[] = {
      {"LZH", Concat({Level2Member64("big.bin", "-lh5-", ZeroRunStream(4, 255), ZeroRunSize(255), 0), Bytes{0}})},
      {"ARJ", ArjWithMember(ZeroRunStream(5, 255), static_cast<uint32_t>(ZeroRunSize(255)))},
  };
  for (const auto& row : rows) {
    for (const Library& l : arctest::Libraries()) {
      if (std::strcmp(l.family, row.family) != 0) continue;
      const std::string path = dir.Write("expanding.archive", row.archive);
      CancelState state;
      l.setProgress(CancelAfter30Ms, &state);
      state.started = Clock::now();
      const int rc = l.Test(path);
      const auto ended = Clock::now();
      l.setProgress(nullptr, nullptr);
      const double ms = std::chrono::duration<double, std::milli>(ended - state.asked).count();
      std::printf("%s: %zu bytes expanding to %llu, cancelled %.1f ms after the callback asked (%d calls)\n",
                  row.family, row.archive.size(), static_cast<unsigned long long>(ZeroRunSize(255)), ms, state.calls);
      EXPECT_EQ(rc, 0x8020) << row.family;
      EXPECT_NE(state.asked, Clock::time_point{}) << row.family;
      EXPECT_LT(ms, 1000) << row.family;  // about 100 ms is the goal; decoding it all takes seconds
    }
  }
}

TEST(LibraryEntries, AMemberOfMoreThan4GiBDecodes) {
  TempDir dir;
  const Bytes archive =
      Concat({Level2Member64("big.bin", "-lh5-", ZeroRunStream(4, 256), ZeroRunSize(256), 0), Bytes{0}});
  for (const Library& l : arctest::Libraries()) {
    if (std::strcmp(l.family, "LZH") == 0) {
      EXPECT_EQ(l.Test(dir.Write("big.lzh", archive)), 0);
    }
  }
}

}  // namespace
