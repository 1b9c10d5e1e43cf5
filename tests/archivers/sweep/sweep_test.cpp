// Damaged copies of small real archives, judged by our libraries and by the established testers:
// no copy may pass here when a tester finds its damage. Figures go to the test output; with
// ORVEX2_SWEEP_LIST set, also every copy we fail while the testers pass.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "archiver_libraries.h"
#include "lzh_test_util.h"

extern char** environ;

namespace {

using namespace lzhtest;

bool Installed(const char* tool) {
  for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
    if (access((std::string(dir) + tool).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// Runs the commands, a few at a time, output to `output` (or nowhere); each one's exit status (or
// -1) in `status`.
void RunAll(const std::vector<std::vector<std::string>>& commands, std::vector<int>& status,
            const char* output = "/dev/null") {
  status.assign(commands.size(), -1);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 1, output, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&quiet, 1, 2);
  std::map<pid_t, size_t> running;
  size_t next = 0;
  while (next < commands.size() || !running.empty()) {
    while (next < commands.size() && running.size() < 4) {
      std::vector<char*> argv;
      for (const std::string& a : commands[next]) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      pid_t pid = 0;
      if (posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ) == 0) running[pid] = next;
      ++next;
    }
    int st = 0;
    const pid_t done = wait(&st);
    if (done < 0) break;
    if (running.count(done) != 0) {
      status[running[done]] = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
      running.erase(done);
    }
  }
  posix_spawn_file_actions_destroy(&quiet);
}

// One damaged copy: the whole file for our libraries, the archive part for the testers that do
// not read that kind of stub.
struct Copy {
  std::string what;  // source and damage
  std::string path;
  std::string refereePath;
  int answer = 0;
  bool oursPass = false;
  bool refereeFails = false;
};

struct Source {
  const char* file;
  size_t stub;  // bytes before the archive
  bool refereeReadsStub;
};

// Header byte ranges [from, to) of the archive in b starting at `start`.
using Ranges = std::vector<std::pair<size_t, size_t>>;

Ranges LzhHeaders(const Bytes& b, size_t start) {
  Ranges r;
  for (const Member& m : Members(b, start)) r.emplace_back(m.header, m.data);
  r.emplace_back(b.size() - 1, b.size());  // the end byte
  return r;
}

Ranges ArjHeaders(const Bytes& b, size_t start) {
  Ranges r;
  size_t at = start;
  bool main = true;
  while (at + 4 <= b.size()) {
    const size_t size = Get16(b, at + 2);
    if (size == 0) {
      r.emplace_back(at, at + 4);
      break;
    }
    size_t q = at + 4 + size + 4;
    while (q + 2 <= b.size() && Get16(b, q) != 0) q += 2 + Get16(b, q) + 4;
    r.emplace_back(at, q + 2);
    at = q + 2 + (main ? 0 : Get32(b, at + 4 + 12));
    main = false;
  }
  return r;
}

struct Figures {
  int copies = 0, refereeFails = 0, ourFails = 0, falsePasses = 0, falseFails = 0;
};

// Every header byte flipped (one bit, varying with the position) and cuts at many points, judged
// by 7zz and then by the `referees` commands ("{}" stands for the copy).
Figures Sweep(const char* family, const std::vector<Source>& sources, Ranges (*headers)(const Bytes&, size_t),
              const std::vector<std::vector<std::string>>& referees) {
  const arctest::Library* library = nullptr;
  for (const auto& l : arctest::Libraries()) {
    if (std::strcmp(l.family, family) == 0) library = &l;
  }
  EXPECT_TRUE(library != nullptr && library->loaded());
  if (library == nullptr || !library->loaded()) return {};
  TempDir dir;
  std::vector<Copy> copies;
  for (const Source& source : sources) {
    const Bytes original = ReadFile(std::string(ORVEX2_TEST_DATA) + "/" + source.file);
    std::vector<std::pair<std::string, Bytes>> variants;
    const Ranges ranges = headers(original, source.stub);
    for (const auto& [from, to] : ranges) {
      for (size_t i = from; i < to; ++i) {
        Bytes b = original;
        b[i] ^= static_cast<uint8_t>(1u << (i % 8));
        variants.emplace_back("byte " + std::to_string(i) + " flipped", std::move(b));
      }
      const size_t last = ranges.back().first;
      for (const size_t cut : {from + 1, (from + to) / 2, to + 1, to < last ? to + (last - to) / 2 : 0}) {
        if (cut > source.stub && cut < original.size()) {
          variants.emplace_back("cut at " + std::to_string(cut), Bytes(original.begin(), original.begin() + static_cast<long>(cut)));
        }
      }
    }
    for (auto& [what, b] : variants) {
      Copy c;
      c.what = std::string(source.file) + ", " + what;
      c.path = dir.Write(std::to_string(copies.size()) + (source.stub > 0 ? ".exe" : ".arc"), b);
      c.refereePath = c.path;
      if (!source.refereeReadsStub && source.stub > 0) {
        c.refereePath = dir.Write(std::to_string(copies.size()) + ".bare", Bytes(b.begin() + static_cast<long>(source.stub), b.end()));
      }
      c.answer = library->Test(c.path);
      c.oursPass = c.answer >= 0 && c.answer <= 0x7FFF && (source.stub == 0 || library->check(c.path.c_str(), 0) == 1);
      copies.push_back(c);
    }
  }
  // 7-Zip first, all copies in one run: it reports each archive in a section that says
  // "Everything is Ok" only when it found no fault.
  {
    std::string list;
    for (const Copy& c : copies) list += c.refereePath + "\n";
    const std::string listFile = dir.Write("list", Bytes(list.begin(), list.end()));
    const std::string report = dir.File("report");
    std::vector<int> status;
    RunAll({{"7zz", "t", "-bd", "-pX", "-an", "-ai@" + listFile}}, status, report.c_str());
    const Bytes text = ReadFile(report);
    std::map<std::string, bool> ok;
    std::string current;
    std::string line;
    for (const uint8_t ch : text) {
      if (ch != '\n') {
        line += static_cast<char>(ch);
        continue;
      }
      if (line.rfind("Testing archive: ", 0) == 0) {
        current = line.substr(17);
        ok[current] = false;
      } else if (line == "Everything is Ok" && !current.empty()) {
        ok[current] = true;
      }
      line.clear();
    }
    for (Copy& c : copies) {
      EXPECT_EQ(ok.count(c.refereePath), 1u) << "7zz reported nothing for " << c.refereePath;
      c.refereeFails = !ok[c.refereePath];
    }
  }
  // Then each other tester, one run per copy, on the copies no earlier tester found damaged.
  for (const auto& referee : referees) {
    std::vector<std::vector<std::string>> commands;
    std::vector<size_t> which;
    for (size_t i = 0; i < copies.size(); ++i) {
      if (copies[i].refereeFails) continue;
      std::vector<std::string> command = referee;
      for (std::string& word : command) {
        if (word == "{}") word = copies[i].refereePath;
      }
      commands.push_back(command);
      which.push_back(i);
    }
    std::vector<int> status;
    RunAll(commands, status);
    for (size_t k = 0; k < which.size(); ++k) copies[which[k]].refereeFails = status[k] != 0;
  }
  Figures f;
  std::map<int, int> falseFailCodes;  // what we found where the testers found nothing
  for (const Copy& c : copies) {
    ++f.copies;
    f.refereeFails += c.refereeFails;
    f.ourFails += !c.oursPass;
    if (c.oursPass && c.refereeFails) {
      ++f.falsePasses;
      ADD_FAILURE() << "passes here, fails the tester: " << c.what;
    }
    if (!c.oursPass && !c.refereeFails) {
      ++f.falseFails;
      ++falseFailCodes[c.answer];
      if (getenv("ORVEX2_SWEEP_LIST") != nullptr) std::printf("  0x%X where the testers pass: %s\n", static_cast<unsigned>(c.answer), c.what.c_str());
    }
  }
  std::printf("%s sweep: %d copies, tester fails %d, our fails %d, false passes %d, false fails %d", family,
              f.copies, f.refereeFails, f.ourFails, f.falsePasses, f.falseFails);
  for (const auto& [answer, count] : falseFailCodes) std::printf(" (0x%X: %d)", static_cast<unsigned>(answer), count);
  std::printf("\n");
  return f;
}

size_t StubOf(const char* sfx, const char* archive) {
  const std::string data = ORVEX2_TEST_DATA;
  return ReadFile(data + "/" + sfx).size() - ReadFile(data + "/" + archive).size();
}

TEST(DamagedCopies, Lzh) {
  if (!Installed("7zz")) GTEST_SKIP() << "7zz is not installed: no tester to judge the damaged copies";
  const std::vector<Source> sources = {
      {"lzh/lh0_level0.lzh", 0, true}, {"lzh/lh5_level0.lzh", 0, true}, {"lzh/lh5_level1.lzh", 0, true},
      {"lzh/lh5_level2.lzh", 0, true}, {"lzh/lh6_level1.lzh", 0, true}, {"lzh/lh7_level2.lzh", 0, true},
      {"lzh/sfx_mz.exe", StubOf("lzh/sfx_mz.exe", "lzh/lh5_level1.lzh"), false},
      {"lzh/sfx_hu.x", StubOf("lzh/sfx_hu.x", "lzh/lh5_level2.lzh"), false},
  };
  // lhasa passes header faults, so it is no judge here (see the archive notes).
  const Figures f = Sweep("LZH", sources, LzhHeaders, {});
  EXPECT_GT(f.copies, 500);
  EXPECT_EQ(f.falsePasses, 0);
}

TEST(DamagedCopies, Arj) {
  if (!Installed("arj") || !Installed("7zz")) GTEST_SKIP() << "arj or 7zz is not installed: no testers to judge";
  const std::vector<Source> sources = {{"arj/m0.arj", 0, true}, {"arj/m1.arj", 0, true}, {"arj/m2.arj", 0, true},
                                       {"arj/m3.arj", 0, true}, {"arj/m4.arj", 0, true}, {"arj/sfx.exe", 42568, true}};
  const Figures f = Sweep("ARJ", sources, ArjHeaders, {{"arj", "t", "{}", "-y"}});
  EXPECT_GT(f.copies, 500);
  EXPECT_EQ(f.falsePasses, 0);
}

}  // namespace
