// Damaged copies of small real archives, judged by our libraries and by the established testers:
// every header byte changed in turn (one bit varying with the position, or all eight) and cuts at
// many points.
// No copy may pass here when a tester finds its damage. Figures go to the test output; with
// ORVEX2_SWEEP_LIST set, also every copy we fail while the testers pass.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "archiver_libraries.h"
#include "lzh_test_util.h"

namespace {

using namespace lzhtest;

struct Source {
  const char* file;
  size_t stub;  // bytes in front of the archive
};

// The stub of a self-extractor made by putting a stub in front of `archive`.
size_t StubOf(const char* sfx, const char* archive) {
  const std::string data = ORVEX2_TEST_DATA;
  return ReadFile(data + "/" + sfx).size() - ReadFile(data + "/" + archive).size();
}

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
  for (size_t at = start; at + 4 <= b.size();) {
    const size_t q0 = at + 4 + Get16(b, at + 2) + 4;
    size_t q = q0;
    while (Get16(b, at + 2) != 0 && q + 2 <= b.size() && Get16(b, q) != 0) q += 2 + Get16(b, q) + 4;
    r.emplace_back(at, Get16(b, at + 2) == 0 ? at + 4 : q + 2);
    if (Get16(b, at + 2) == 0) break;
    at = q + 2 + (r.size() == 1 ? 0 : Get32(b, at + 4 + 12));  // the main header carries no data
  }
  return r;
}

bool Installed(const char* tool) { return !arctest::Output(std::string("command -v ") + tool).empty(); }

void Sweep(const char* family, const std::vector<Source>& sources, Ranges (*headers)(const Bytes&, size_t),
           const char* otherTester) {
  const arctest::Library* library = nullptr;
  for (const auto& l : arctest::Libraries()) library = std::strcmp(l.family, family) == 0 ? &l : library;
  ASSERT_TRUE(library != nullptr && library->loaded());
  TempDir dir;
  struct Copy {
    std::string what, path, testerPath;
    int answer = 0;
    bool ours = false, tester = false;  // passes
  };
  std::vector<Copy> copies;
  std::string list;
  for (const Source& source : sources) {
    const Bytes original = ReadFile(std::string(ORVEX2_TEST_DATA) + "/" + source.file);
    const size_t stub = source.stub;
    std::vector<std::pair<std::string, Bytes>> variants;
    const Ranges ranges = headers(original, stub);
    for (const auto& [from, to] : ranges) {
      for (size_t i = from; i < to; ++i) {
        variants.emplace_back("byte " + std::to_string(i) + " flipped", original);
        variants.back().second[i] ^= i % 3 == 0 ? 0xFF : static_cast<uint8_t>(1u << (i % 8));
      }
      const size_t last = ranges.back().first;
      for (const size_t cut : {from + 1, (from + to) / 2, to + 1, to < last ? to + (last - to) / 2 : 0}) {
        if (cut > stub && cut < original.size()) variants.emplace_back("cut at " + std::to_string(cut), Bytes(original.begin(), original.begin() + static_cast<long>(cut)));
      }
    }
    for (const auto& [what, b] : variants) {
      Copy c;
      c.what = std::string(source.file) + ", " + what;
      c.path = dir.Write(std::to_string(copies.size()), b);
      // 7zz reads no LZH behind a DOS or X68000 stub: it gets the bytes after the stub.
      c.testerPath = stub > 0 && std::strcmp(family, "LZH") == 0
                         ? dir.Write(std::to_string(copies.size()) + ".bare", Bytes(b.begin() + static_cast<long>(stub), b.end()))
                         : c.path;
      c.answer = library->Test(c.path);
      c.ours = c.answer >= 0 && c.answer <= 0x7FFF && (stub == 0 || library->check(c.path.c_str(), 0) == 1);
      list += c.testerPath + "\n";
      copies.push_back(c);
    }
  }
  // 7-Zip tests all copies in one run; each archive's report says "Everything is Ok" only when
  // it found no fault. The other tester then judges what 7-Zip passed.
  const std::string report = arctest::Output("7zz t -bd -pX -an -ai@" + dir.Write("list", Bytes(list.begin(), list.end())), true);
  std::map<std::string, bool> ok;
  std::string current;
  for (size_t at = 0, end; (end = report.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = report.substr(at, end - at);
    if (line.rfind("Testing archive: ", 0) == 0) ok[current = line.substr(17)] = false;
    if (line == "Everything is Ok") ok[current] = true;
  }
  int testerFails = 0, ourFails = 0, falsePasses = 0, falseFails = 0;
  std::map<int, int> falseFailAnswers;
  for (Copy& c : copies) {
    ASSERT_EQ(ok.count(c.testerPath), 1u) << "7zz reported nothing on " << c.what;
    c.tester = ok[c.testerPath];
    if (c.tester && otherTester) c.tester = std::system((std::string(otherTester) + " '" + c.testerPath + "' -y >/dev/null 2>&1 </dev/null").c_str()) == 0;
    testerFails += !c.tester;
    ourFails += !c.ours;
    if (c.ours && !c.tester) ADD_FAILURE() << "passes here, fails the tester: " << c.what;
    falsePasses += c.ours && !c.tester;
    if (!c.ours && c.tester) {
      ++falseFails;
      ++falseFailAnswers[c.answer];
      if (getenv("ORVEX2_SWEEP_LIST")) std::printf("  0x%X where the testers pass: %s\n", static_cast<unsigned>(c.answer), c.what.c_str());
    }
  }
  std::printf("%s sweep: %zu copies, tester fails %d, our fails %d, false passes %d, false fails %d", family,
              copies.size(), testerFails, ourFails, falsePasses, falseFails);
  for (const auto& [answer, count] : falseFailAnswers) std::printf(" (0x%X: %d)", static_cast<unsigned>(answer), count);
  std::printf("\n");
  EXPECT_GT(copies.size(), 500u);
}

TEST(DamagedCopies, Lzh) {
  if (!Installed("7zz")) GTEST_SKIP() << "7zz is not installed: no tester to judge the damaged copies";
  // lhasa passes header faults, so it is no judge here (see the archive notes).
  Sweep("LZH",
        {{"lzh/lh0_level0.lzh", 0}, {"lzh/lh5_level0.lzh", 0}, {"lzh/lh5_level1.lzh", 0}, {"lzh/lh5_level2.lzh", 0},
         {"lzh/lh6_level1.lzh", 0}, {"lzh/lh7_level2.lzh", 0},
         {"lzh/sfx_mz.exe", StubOf("lzh/sfx_mz.exe", "lzh/lh5_level1.lzh")},
         {"lzh/sfx_hu.x", StubOf("lzh/sfx_hu.x", "lzh/lh5_level2.lzh")}},
        LzhHeaders, nullptr);
}

TEST(DamagedCopies, Arj) {
  if (!Installed("arj") || !Installed("7zz")) GTEST_SKIP() << "arj or 7zz is not installed: no testers to judge";
  // arj's own ELF stub of sfx.exe is 42568 bytes long.
  Sweep("ARJ",
        {{"arj/m0.arj", 0}, {"arj/m1.arj", 0}, {"arj/m2.arj", 0}, {"arj/m3.arj", 0}, {"arj/m4.arj", 0}, {"arj/sfx.exe", 42568}},
        ArjHeaders, "arj t");
}

}  // namespace
