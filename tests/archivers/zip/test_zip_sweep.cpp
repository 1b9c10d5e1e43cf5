// The damaged-copy sweep: small archives of several writers and a self-extractor, every header
// byte damaged in turn and cuts at many points. No copy that a public tester (unzip -t, 7zz t)
// fails may pass ours; the copies we fail are sampled for ones the testers pass.
#include "zip_archive.h"
#include "zip_test_util.h"

#include "archiver_common.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

using namespace ziptest;

// Offsets of the header bytes of an archive whose stub, if any, the offsets count (zip -A):
// end record, central headers, local headers with their extras, data descriptors.
std::vector<size_t> HeaderBytes(const Bytes& b) {
  const Records r = Parse(b);
  std::vector<size_t> at;
  const auto span = [&at](size_t from, size_t n) {
    for (size_t i = from; i < from + n; ++i) at.push_back(i);
  };
  span(r.eocd, 22);
  const size_t delta = r.eocd - Le32(b, r.eocd + 12) - r.firstCentral;  // a stub the offsets skip
  for (Member m : Members(Bytes(b.begin() + static_cast<long>(delta), b.end()))) {
    m.central += delta, m.local += delta, m.data += delta;
    span(m.central, 46 + Le16(b, m.central + 28) + Le16(b, m.central + 30) + Le16(b, m.central + 32));
    span(m.local, m.data - m.local);
    if ((Le16(b, m.local + 6) & 8) != 0) {
      const size_t d = m.data + m.compressed;
      span(d, Le32(b, d) == 0x08074b50 ? 16 : 12);
    }
  }
  return at;
}

// Runs each command line (argv vectors) with its output discarded and no terminal to ask a
// password on, a few at a time; exit statuses in order. One that does not end within a minute
// (unzip loops on some damaged headers) is killed: -1, as for any abnormal end.
// unzip -t; a local name that differs from the central one is only a warning to unzip (exit 1,
// as for a stub), but it is damage it found: exit 3.
std::vector<std::string> UnzipTest(const std::string& path) {
  return {"sh", "-c", "out=$(unzip -tqq \"$1\" 2>&1); s=$?; case $out in *mismatching*) exit 3;; esac; exit $s",
          "unzip", path};
}

std::vector<int> RunAll(const std::vector<std::vector<std::string>>& commands, size_t parallel) {
  using Clock = std::chrono::steady_clock;
  std::vector<int> status(commands.size(), -1);
  std::map<pid_t, std::pair<size_t, Clock::time_point>> running;
  size_t next = 0;
  while (next < commands.size() || !running.empty()) {
    while (next < commands.size() && running.size() < parallel) {
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
      posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
      posix_spawnattr_t attr;
      posix_spawnattr_init(&attr);
      posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
      std::vector<char*> argv;
      for (const std::string& a : commands[next]) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      pid_t pid = 0;
      if (posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ) == 0) running[pid] = {next, Clock::now()};
      posix_spawnattr_destroy(&attr);
      posix_spawn_file_actions_destroy(&actions);
      ++next;
    }
    int st = 0;
    const pid_t done = ::waitpid(-1, &st, WNOHANG);
    if (done < 0) break;
    if (done == 0) {
      for (const auto& [pid, job] : running) {
        if (Clock::now() - job.second > std::chrono::seconds(60)) ::kill(-pid, SIGKILL);
      }
      ::usleep(500);
      continue;
    }
    if (running.count(done) != 0) {
      status[running[done].first] = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
      running.erase(done);
    }
  }
  return status;
}

TEST(ZipSweep, NoCopyATesterFailsPassesOurs) {
  if (!HaveTool("unzip") || !HaveTool("7zz")) {
    GTEST_SKIP() << "unzip and 7zz (Debian unzip, 7zip) are needed as referees";
  }
  std::vector<std::pair<std::string, Bytes>> originals;
  for (const char* name : {"sweep-zip.zip", "sweep-7zz.zip", "sweep-bsdtar.zip", "sweep-jar.zip", "sweep-python.zip",
                           "sweep-sfx.exe"}) {
    originals.emplace_back(name, ReadAll(Fixture(name)));
  }
  Bytes stubbed(3000, 'S');  // a self-extractor whose offsets do not count the stub
  const Bytes plain = ReadAll(Fixture("sweep-zip.zip"));
  stubbed.insert(stubbed.end(), plain.begin(), plain.end());
  originals.emplace_back("stub + sweep-zip.zip", stubbed);

  // A referee that fails an intact original is no referee for its copies (7zz does not open
  // an archive behind a stub that is no program).
  TempDir dir;
  std::vector<std::vector<std::string>> intact;
  for (size_t i = 0; i < originals.size(); ++i) {
    const std::string path = dir.File("original" + std::to_string(i) + ".zip");
    WriteAll(path, originals[i].second);
    EXPECT_EQ(zipar::Test(path), 0) << originals[i].first;
    intact.push_back(UnzipTest(path));
    intact.push_back({"7zz", "t", path});
  }
  const std::vector<int> intactStatus = RunAll(intact, 4);
  const auto unzipFails = [](int s) { return !(s == 0 || s == 1 || s == 81 || s == 82); };  // warnings, untestable members

  struct Copy {
    std::string what, path;
    size_t original;
    bool oursFail;
    int unzip = 0, sevenZip = 0;
  };
  std::vector<Copy> copies;
  const unsigned char patterns[3] = {0x01, 0x80, 0xFF};
  for (size_t o = 0; o < originals.size(); ++o) {
    const auto& [name, original] = originals[o];
    std::vector<std::pair<std::string, Bytes>> damaged;
    size_t k = 0;
    for (const size_t at : HeaderBytes(original)) {
      Bytes b = original;
      b[at] ^= patterns[k++ % 3];
      damaged.emplace_back(name + " byte " + std::to_string(at), b);
    }
    for (size_t cut = 1; cut < original.size(); cut += std::max<size_t>(1, original.size() / 30)) {
      damaged.emplace_back(name + " cut at " + std::to_string(cut), Bytes(original.begin(), original.begin() + static_cast<long>(cut)));
    }
    for (auto& [what, b] : damaged) {
      const std::string path = dir.File(std::to_string(copies.size()) + ".zip");
      WriteAll(path, b);
      const int rc = zipar::Test(path);
      copies.push_back({what, path, o, !(rc >= 0 && rc <= arc::code::kMaxSkipped)});
    }
  }

  // Referees for every copy we pass and every eighth one we fail: unzip first, 7zz where
  // unzip found nothing.
  std::vector<size_t> judged;
  for (size_t i = 0; i < copies.size(); ++i) {
    if (!copies[i].oursFail || i % 8 == 0) judged.push_back(i);
  }
  const auto run = [&](size_t tool, const std::vector<size_t>& which) {
    std::vector<std::vector<std::string>> commands;
    for (size_t i : which) {
      commands.push_back(tool == 0 ? UnzipTest(copies[i].path) : std::vector<std::string>{"7zz", "t", copies[i].path});
    }
    const std::vector<int> st = RunAll(commands, 4);
    for (size_t j = 0; j < which.size(); ++j) (tool == 0 ? copies[which[j]].unzip : copies[which[j]].sevenZip) = st[j];
  };
  run(0, judged);
  std::vector<size_t> second;
  for (size_t i : judged) {
    if (!unzipFails(copies[i].unzip) || unzipFails(intactStatus[2 * copies[i].original])) second.push_back(i);
  }
  run(1, second);

  size_t refereeFails = 0, ourFails = 0, falsePasses = 0, falseFails = 0;
  for (const Copy& c : copies) ourFails += c.oursFail ? 1 : 0;
  for (size_t i : judged) {
    const Copy& c = copies[i];
    const bool unzipCounts = !unzipFails(intactStatus[2 * c.original]);
    const bool sevenCounts = intactStatus[2 * c.original + 1] == 0;
    const bool fails = (unzipCounts && unzipFails(c.unzip)) || (sevenCounts && c.sevenZip != 0);
    refereeFails += fails ? 1 : 0;
    if (fails && !c.oursFail) {
      ++falsePasses;
      ADD_FAILURE() << "false pass: " << c.what << " (unzip " << c.unzip << ", 7zz " << c.sevenZip << ")";
    }
    if (!fails && c.oursFail) {
      ++falseFails;
      std::printf("false fail: %s\n", c.what.c_str());
    }
  }
  std::printf("sweep: %zu copies, %zu judged by the referees, %zu referee fails, %zu our fails, "
              "%zu false passes, %zu false fails (among our fails judged)\n",
              copies.size(), judged.size(), refereeFails, ourFails, falsePasses, falseFails);
  EXPECT_EQ(falsePasses, 0u);
  EXPECT_LE(falseFails * 50, judged.size());  // under 2 %
}

}  // namespace
