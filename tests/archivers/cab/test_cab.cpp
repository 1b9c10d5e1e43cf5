// CAB32.DLL back end: test results for real, damaged and incomplete cabinets and sets, cabinets
// inside self-extracting programs, read errors, cancel, and the busy flag.
#include "cab_archive.h"
#include "cab_file.h"

#include "archiver_common.h"

#include <gtest/gtest.h>

#include "archive_test_util.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

namespace code = arc::code;
using archtest::Bytes;
using archtest::Gate;
using archtest::HoldInHook;
using archtest::Le16;
using archtest::Le32;
using archtest::Put32;
using archtest::ReadAll;
using archtest::TempDir;
using archtest::WriteAll;

std::string Fixture(const std::string& name) { return std::string(ORVEX2_TEST_DATA) + "/cab/" + name; }

void Put16(Bytes& b, size_t at, uint16_t v) {
  b.at(at) = static_cast<unsigned char>(v);
  b.at(at + 1) = static_cast<unsigned char>(v >> 8);
}

// Offsets of a cabinet without reserved areas or set names: folder entries follow the header.
constexpr size_t kFolder0 = 36;
size_t FolderData(const Bytes& b, int folder) { return Le32(b, kFolder0 + 8 * folder); }  // first CFDATA
size_t FirstFile(const Bytes& b) { return Le32(b, 16); }

// The folder table of the cabinet at `base`, behind the names of its neighbours.
size_t FolderTable(const Bytes& b, size_t base = 0) {
  size_t p = base + 36;
  const uint16_t flags = Le16(b, base + 30);
  for (int names = ((flags & 1) ? 2 : 0) + ((flags & 2) ? 2 : 0); names > 0; --names) {
    p = static_cast<size_t>(std::find(b.begin() + static_cast<std::ptrdiff_t>(p), b.end(), 0) - b.begin()) + 1;
  }
  return p;
}

using Edit = std::function<void(Bytes&)>;

class Damaged {
 public:
  Damaged(const std::string& fixture, const Edit& edit) {
    Bytes b = ReadAll(Fixture(fixture));
    edit(b);
    WriteAll(path(), b);
  }
  std::string path() const { return dir_.File("damaged.cab"); }

 private:
  TempDir dir_;
};

Bytes Stub(size_t size, unsigned seed) {
  Bytes stub(size);
  std::mt19937 rng(seed);
  for (auto& c : stub) c = static_cast<unsigned char>(rng() & 0x7F);
  if (size >= 2) {
    stub[0] = 'M';
    stub[1] = 'Z';
  }
  return stub;
}

Bytes WithStub(Bytes b, const Bytes& stub) {
  b.insert(b.begin(), stub.begin(), stub.end());
  return b;
}

int TestCommand(const std::string& path) { return cabar::Command(("-t \"" + path + "\"").c_str()); }

bool Passes(int rc) { return rc >= 0 && rc <= code::kMaxSkipped; }

// Every way in: the test, the command, and both check modes, which must agree.
void ExpectResult(const std::string& path, int expected, const std::string& what) {
  EXPECT_EQ(cabar::Test(path), expected) << what;
  EXPECT_EQ(TestCommand(path), expected) << what;
  EXPECT_EQ(cabar::Check(path.c_str(), 2), Passes(expected) ? 1 : 0) << what;
}

// --- Intact cabinets and sets ------------------------------------------------------------

TEST(SUITE(CabTest), IntactCabinetsPass) {
  for (const char* name :
       {"stored.cab", "mszip.cab", "folders.cab", "regression/zeros.cab", "gcab/test-signed.cab",
        "libarchive/test_read_format_cab_multi.p1.cab", "libarchive/test_read_format_cab_multi.p2.cab",
        "sets/SET5-1.CAB", "sets/SET5-2.CAB", "sets/SET5-3.CAB", "sets/SET5-4.CAB", "sets/SET5-5.CAB",
        "sets/ZIP-1.CAB", "sets/ZIP-2.CAB", "sets/LZX-1.CAB", "sets/LZX-2.CAB"}) {
    ExpectResult(Fixture(name), 0, name);
    EXPECT_EQ(cabar::Check(Fixture(name).c_str(), 0), 1) << name;
  }
}

// A set laid out in a folder of its own: which cabinets are there, under which names.
struct SetCase {
  const char* what;
  std::vector<std::pair<std::string, std::string>> files;  // fixture, name in the folder
  std::string tested;
  int expected;
};

std::vector<std::pair<std::string, std::string>> Set5Without(int missing, const char* prefix = "SET5-") {
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 1; i <= 5; ++i) {
    if (i != missing) files.emplace_back("sets/SET5-" + std::to_string(i) + ".CAB", prefix + std::to_string(i) + ".CAB");
  }
  return files;
}

// A neighbour that is not there skips only the members that need it; a file of its name that is
// not the neighbour, or the neighbour under another name that names the tested cabinet in
// return, is a broken set.
TEST(SUITE(CabSets), MissingCabinetsSkipOnlyTheMembersThatNeedThemWrongOnesAreFaults) {
  const std::string p1 = "libarchive/test_read_format_cab_multi.p1.cab";
  const std::string p2 = "libarchive/test_read_format_cab_multi.p2.cab";
  const std::vector<SetCase> cases = {
      {"neighbours in lower case", Set5Without(0, "set5-"), "set5-3.CAB", 0},
      {"middle missing: a.txt tested, big.txt skipped", Set5Without(3), "SET5-1.CAB", 1},
      {"middle missing: the member filling it", Set5Without(3), "SET5-2.CAB", 1},
      {"middle missing: a folder begun there decodes nothing", Set5Without(3), "SET5-4.CAB", 2},
      {"middle missing: a new folder after it", Set5Without(3), "SET5-5.CAB", 0},
      {"first renamed", {{"sets/SET5-1.CAB", "other.cab"}, {"sets/SET5-2.CAB", "SET5-2.CAB"}}, "SET5-2.CAB",
       code::kHeaderBroken},
      {"second renamed", {{"sets/ZIP-1.CAB", "ZIP-1.CAB"}, {"sets/ZIP-2.CAB", "other.cab"}}, "ZIP-1.CAB",
       code::kHeaderBroken},
      {"both renamed: nothing names the tested one", {{"sets/ZIP-1.CAB", "first.cab"}, {"sets/ZIP-2.CAB", "other.cab"}},
       "first.cab", 1},
      {"second alone", {{"sets/ZIP-2.CAB", "ZIP-2.CAB"}}, "ZIP-2.CAB", 1},
      {"first alone", {{"sets/ZIP-1.CAB", "ZIP-1.CAB"}}, "ZIP-1.CAB", 1},
      {"LZX folder's cabinet alone", {{"sets/LZX-1.CAB", "LZX-1.CAB"}}, "LZX-1.CAB", 2},
      {"stored split block, first alone", {{p1, "p1.cab"}}, "p1.cab", 1},
      {"stored split block, second alone", {{p2, "test_read_format_cab_multi.p2.cab"}}, "test_read_format_cab_multi.p2.cab", 1},
      {"a folder instead of the neighbour", {{"sets/ZIP-1.CAB", "ZIP-1.CAB"}, {"", "zip-2.cab"}}, "ZIP-1.CAB", 1},
      {"a cabinet of another set", {{"sets/ZIP-1.CAB", "ZIP-1.CAB"}, {"sets/LZX-2.CAB", "ZIP-2.CAB"}}, "ZIP-1.CAB",
       code::kHeaderBroken},
      {"a cabinet of the set at another index", {{"sets/SET5-1.CAB", "SET5-1.CAB"}, {"sets/SET5-3.CAB", "SET5-2.CAB"}},
       "SET5-1.CAB", code::kHeaderBroken},
      {"previous missing, a wrong next", {{"sets/SET5-3.CAB", "SET5-3.CAB"}, {"sets/SET5-5.CAB", "SET5-4.CAB"}},
       "SET5-3.CAB", code::kHeaderBroken},
      {"a cabinet naming itself", {{"sets/ZIP-2.CAB", "ZIP-1.CAB"}}, "ZIP-1.CAB", code::kHeaderBroken},
      {"a file of that name that is no cabinet", {{"sets/ZIP-1.CAB", "ZIP-1.CAB"}, {"../zip/mixed.zip", "ZIP-2.CAB"}},
       "ZIP-1.CAB", code::kHeaderBroken},
  };
  for (const SetCase& c : cases) {
    TempDir dir;
    for (const auto& [fixture, name] : c.files) {
      if (fixture.empty()) ASSERT_EQ(::mkdir(dir.File(name).c_str(), 0700), 0);
      else WriteAll(dir.File(name), ReadAll(Fixture(fixture)));
    }
    ExpectResult(dir.File(c.tested), c.expected, c.what);
  }
}

TEST(SUITE(CabSets), DamageAnywhereAlongTheChainIsAFault) {
  const auto damageBlock = [](Bytes& b) { b.at(Le32(b, FolderTable(b)) + 20) ^= 0x08; };
  struct Case {
    const char* what;
    std::string damaged;  // which cabinet is changed
    Edit edit;
    std::string tested;
    bool alone;           // tested without its neighbour
    int expected;
  } cases[] = {
      {"a block of the next cabinet that a member needs", "ZIP-2.CAB", damageBlock, "ZIP-1.CAB", false, code::kFileCrc},
      {"the next cabinet's header", "ZIP-2.CAB", [](Bytes& b) { Put32(b, 16, 9999); }, "ZIP-1.CAB", false,
       code::kHeaderBroken},
      {"the next cabinet's name and the set id", "ZIP-1.CAB",
       [](Bytes& b) {
         b.at(38) ^= 0xFF;
         Put16(b, 32, 0x1111);
       },
       "ZIP-1.CAB", false, code::kHeaderBroken},
      {"continued member listed differently", "ZIP-2.CAB", [](Bytes& b) { b.at(Le32(b, 16)) ^= 0x01; }, "ZIP-1.CAB",
       false, code::kHeaderBroken},
      {"own block while the rest is missing", "ZIP-2.CAB", damageBlock, "ZIP-2.CAB", true, code::kFileCrc},
      {"own first block, next missing", "ZIP-1.CAB", [](Bytes& b) { b.at(Le32(b, FolderTable(b)) + 30) ^= 0x08; },
       "ZIP-1.CAB", true, code::kFileCrc},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const char* name : {"ZIP-1.CAB", "ZIP-2.CAB"}) {
      if (c.alone && name != c.tested) continue;
      Bytes b = ReadAll(Fixture(std::string("sets/") + name));
      if (name == c.damaged) c.edit(b);
      WriteAll(dir.File(name), b);
    }
    ExpectResult(dir.File(c.tested), c.expected, c.what);
  }
}

// --- Fault table ---------------------------------------------------------------------------

struct FaultCase {
  const char* what;
  const char* fixture;
  Edit edit;
  int expected;
};

// Each case on a copy of its fixture, behind `stub` when one is given.
void ExpectFaults(const std::vector<FaultCase>& cases, const Bytes& stub = {}) {
  for (const FaultCase& c : cases) {
    Damaged d(c.fixture, [&](Bytes& b) {
      c.edit(b);
      b = WithStub(b, stub);
    });
    ExpectResult(d.path(), c.expected, c.what);
    if (!stub.empty()) {
      EXPECT_EQ(cabar::Check(d.path().c_str(), 0), 1) << c.what;
    }
  }
}

TEST(SUITE(CabFaults), DamagedDataAndParameters) {
  ExpectFaults({
      {"stored data byte", "stored.cab", [](Bytes& b) { b[FolderData(b, 0) + 8 + 200] ^= 0x04; }, code::kFileCrc},
      {"MSZIP data byte", "mszip.cab", [](Bytes& b) { b[FolderData(b, 0) + 8 + 200] ^= 0x04; }, code::kFileCrc},
      {"block checksum", "folders.cab", [](Bytes& b) { b[FolderData(b, 1)] ^= 0x01; }, code::kFileCrc},
      {"without checksums damage cannot show", "stored.cab",
       [](Bytes& b) {
         Put32(b, FolderData(b, 0), 0);
         b[FolderData(b, 0) + 8 + 10] ^= 0x01;
       },
       0},
      {"MSZIP block without its signature", "mszip.cab",
       [](Bytes& b) {
         Put32(b, FolderData(b, 0), 0);
         b[FolderData(b, 0) + 8] = 'X';
       },
       code::kHuffmanCode},
      {"stored block whose sizes differ", "stored.cab",
       [](Bytes& b) {
         Put32(b, FolderData(b, 0), 0);
         Put16(b, FolderData(b, 0) + 6, static_cast<uint16_t>(Le16(b, FolderData(b, 0) + 6) - 1));
       },
       code::kHuffmanCode},
      {"member beyond its folder", "stored.cab", [](Bytes& b) { Put32(b, FirstFile(b) + 4, 0x00F00000); },
       code::kHuffmanCode},
      {"unknown compression type", "mszip.cab", [](Bytes& b) { Put16(b, kFolder0 + 6, 0x0007); }, code::kMethod},
      {"LZX window of 4 MiB", "mszip.cab", [](Bytes& b) { Put16(b, kFolder0 + 6, 0x1603); }, code::kHeaderBroken},
      {"Quantum window of 512 bytes", "mszip.cab", [](Bytes& b) { Put16(b, kFolder0 + 6, 0x0912); },
       code::kHeaderBroken},
      {"MSZIP with window bits", "mszip.cab", [](Bytes& b) { Put16(b, kFolder0 + 6, 0x0F01); }, code::kHeaderBroken},
      // Next to a missing cabinet: what lies here is still judged.
      {"member not marked continued reaching into the next", "sets/ZIP-1.CAB",
       [](Bytes& b) { Put32(b, Le32(b, 16) + 4, 90000); }, code::kHuffmanCode},
      {"LZX block data before the next", "sets/LZX-1.CAB",
       [](Bytes& b) { b.at(Le32(b, FolderTable(b) + 8) + 108) ^= 0x10; }, code::kFileCrc},
      {"MSZIP blocks after the previous declared stored", "sets/ZIP-2.CAB",
       [](Bytes& b) { Put16(b, FolderTable(b) + 6, 0); }, code::kHuffmanCode},
      {"LZX folder of MSZIP data", "mszip.cab", [](Bytes& b) { Put16(b, kFolder0 + 6, 0x1503); }, code::kHuffmanCode},
      {"Quantum folder of MSZIP data", "mszip.cab", [](Bytes& b) { Put16(b, kFolder0 + 6, 0x1572); },
       code::kHuffmanCode},
  });
}

TEST(SUITE(CabFaults), HeaderFieldsOutsideTheFileOrOverlappingAreHeaderFaults) {
  ExpectFaults({
      {"file table beyond the end", "mszip.cab", [](Bytes& b) { Put32(b, 16, static_cast<uint32_t>(b.size() + 100)); },
       code::kHeaderBroken},
      {"cabinet size beyond the file", "mszip.cab", [](Bytes& b) { Put32(b, 8, static_cast<uint32_t>(b.size() + 1)); },
       code::kHeaderBroken},
      {"cabinet size short of its data", "mszip.cab", [](Bytes& b) { Put32(b, 8, static_cast<uint32_t>(b.size() - 1)); },
       code::kHeaderBroken},
      {"folder data beyond the end", "mszip.cab", [](Bytes& b) { Put32(b, kFolder0, static_cast<uint32_t>(b.size())); },
       code::kHeaderBroken},
      {"folder data inside the file table", "mszip.cab", [](Bytes& b) { Put32(b, kFolder0, Le32(b, 16) + 4); },
       code::kHeaderBroken},
      {"one member less: a gap before the data", "mszip.cab", [](Bytes& b) { Put16(b, 28, 2); }, code::kHeaderBroken},
      {"one folder more: over the file table", "mszip.cab", [](Bytes& b) { Put16(b, 26, 2); }, code::kHeaderBroken},
      {"reserved areas larger than the cabinet", "mszip.cab",
       [](Bytes& b) {
         Put16(b, 30, 0x0004);
         Put16(b, 36, 59000);
       },
       code::kHeaderBroken},
      {"unknown flag", "mszip.cab", [](Bytes& b) { Put16(b, 30, 0x0010); }, code::kHeaderBroken},
      {"reserved field", "mszip.cab", [](Bytes& b) { b[12] = 1; }, code::kHeaderBroken},
      {"no such folder", "mszip.cab", [](Bytes& b) { Put16(b, FirstFile(b) + 8, 0x0033); }, code::kHeaderBroken},
      {"continued without the set flag", "mszip.cab", [](Bytes& b) { Put16(b, FirstFile(b) + 8, 0xFFFD); },
       code::kHeaderBroken},
      {"folders overlapping", "folders.cab", [](Bytes& b) { Put32(b, kFolder0 + 8, FolderData(b, 0)); },
       code::kHuffmanCode},
      {"a folder entry with data", "mszip.cab", [](Bytes& b) { b[FirstFile(b) + 14] |= 0x10; }, code::kHeaderBroken},
      {"control byte in the next cabinet's name", "sets/ZIP-1.CAB", [](Bytes& b) { b.at(40) = 0x09; },
       code::kHeaderBroken},
      {"next cabinet's name a folder", "sets/ZIP-1.CAB", [](Bytes& b) { b.at(44) = '/'; }, code::kHeaderBroken},
      {"data while the folder has no blocks", "sets/ZIP-1.CAB", [](Bytes& b) { Put16(b, FolderTable(b) + 4, 0); },
       code::kHeaderBroken},
      {"a previous cabinet of the set's first", "sets/ZIP-2.CAB", [](Bytes& b) { Put16(b, 34, 0); },
       code::kHeaderBroken},
      {"cut inside the header", "mszip.cab", [](Bytes& b) { b.resize(20); }, code::kHeaderBroken},
      {"cut inside the file table", "mszip.cab", [](Bytes& b) { b.resize(50); }, code::kHeaderBroken},
      {"cut inside the data", "mszip.cab", [](Bytes& b) { b.resize(3000); }, code::kHeaderBroken},
      {"self-extractor cut inside the data", "mszip.cab",
       [](Bytes& b) {
         b = WithStub(b, Stub(5000, 9));
         b.resize(b.size() - 2000);
       },
       code::kHeaderBroken},
  });
  for (const char* name : {"CVE-2014-9556.cab", "CVE-2014-9732.cab", "CVE-2015-4470.cab", "CVE-2015-4471.cab"}) {
    ExpectResult(Fixture(std::string("gcab/") + name), code::kHeaderBroken, name);
  }
}

int CancelAtOnce(void*, unsigned long long, unsigned long long) { return 1; }

TEST(SUITE(CabFaults), ForeignFilesReadErrorsAndCancel) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("fifo.cab").c_str(), 0600), 0);
  WriteAll(dir.File("empty.cab"), {});
  WriteAll(dir.File("zeros.cab"), Bytes(5000, 0));
  WriteAll(dir.File("random.cab"), Stub(70000, 3));
  WriteAll(dir.File("ZIP-1.CAB"), ReadAll(Fixture("sets/ZIP-1.CAB")));  // 5050 bytes
  WriteAll(dir.File("ZIP-2.CAB"), ReadAll(Fixture("sets/ZIP-2.CAB")));  // 3972 bytes
  struct Case {
    const char* what;
    std::string path;
    int64_t failAt;  // a read reaching this offset fails
    bool cancel;
    int expected;
  } cases[] = {
      {"empty file", dir.File("empty.cab"), -1, false, code::kFileStyle},
      {"zero bytes", dir.File("zeros.cab"), -1, false, code::kFileStyle},
      {"noise with an MZ", dir.File("random.cab"), -1, false, code::kFileStyle},
      {"a ZIP archive", std::string(ORVEX2_TEST_DATA) + "/zip/mixed.zip", -1, false, code::kFileStyle},
      {"missing file", dir.File("missing.cab"), -1, false, code::kArchiveOpen},
      {"a folder", dir.path(), -1, false, code::kArchiveOpen},
      {"a FIFO without a writer", dir.File("fifo.cab"), -1, false, code::kArchiveOpen},
      {"a device", "/dev/null", -1, false, code::kArchiveOpen},
      {"read error in the header", Fixture("mszip.cab"), 10, false, code::kCannotRead},
      {"read error in the data", Fixture("mszip.cab"), 5000, false, code::kCannotRead},
      {"read error in the previous cabinet", dir.File("ZIP-2.CAB"), 4500, false, code::kCannotRead},
      {"cancelled through the progress entry", Fixture("mszip.cab"), -1, true, code::kUserCancel},
  };
  for (const Case& c : cases) {
    cabar::SetReadFailure(c.failAt);
    cabar::SetProgress(c.cancel ? CancelAtOnce : nullptr, nullptr);
    EXPECT_EQ(TestCommand(c.path), c.expected) << c.what;
    EXPECT_EQ(cabar::Check(c.path.c_str(), 2), 0) << c.what;
    if (c.failAt < 0 && !c.cancel) {
      EXPECT_EQ(cabar::Check(c.path.c_str(), 0), 0) << c.what;
    }
  }
  cabar::SetReadFailure(-1);
  cabar::SetProgress(nullptr, nullptr);
}

TEST(SUITE(CabFaults), RandomDamageGivesADocumentedCode) {
  const int documented[] = {code::kFileCrc, code::kHuffmanCode, code::kHeaderBroken, code::kFileStyle, code::kMethod};
  std::mt19937 rng(20240602);
  TempDir dir;
  const std::string path = dir.File("random.cab");
  for (const char* name : {"stored.cab", "mszip.cab", "folders.cab", "sets/LZX-2.CAB"}) {
    const Bytes original = ReadAll(Fixture(name));
    for (int round = 0; round < 90; ++round) {
      Bytes b = original;
      switch (round % 3) {
        case 0:
          for (int k = 0; k < 1 + round % 5; ++k) b[rng() % b.size()] ^= static_cast<unsigned char>(1u << (rng() % 8));
          break;
        case 1: {
          const size_t at = rng() % 200;  // the headers
          for (size_t k = at; k < std::min(b.size(), at + 1 + rng() % 8); ++k) b[k] = static_cast<unsigned char>(rng());
          break;
        }
        default:
          b.resize(rng() % b.size());
      }
      WriteAll(path, b);
      const int rc = cabar::Test(path);
      const bool known = Passes(rc) || std::find(std::begin(documented), std::end(documented), rc) != std::end(documented);
      EXPECT_TRUE(known) << name << " round " << round << " gave " << std::hex << rc;
      EXPECT_EQ(cabar::Check(path.c_str(), 2), Passes(rc) ? 1 : 0) << name << " " << round;
    }
  }
}

// --- Members sharing or reordering a folder's data ---------------------------------------

constexpr uint32_t kZerosLength = 4u << 20;  // regression/zeros.cab: one MSZIP member, 128 blocks

// regression/zeros.cab with its one file entry replaced by entries (offset, length) in this
// order, all in its one folder.
Bytes ZerosWithMembers(const std::vector<std::pair<uint32_t, uint32_t>>& members) {
  Bytes b = ReadAll(Fixture("regression/zeros.cab"));
  const size_t first = FirstFile(b);
  const size_t end = first + 16 + std::strlen(reinterpret_cast<const char*>(&b[first + 16])) + 1;
  const Bytes entry(b.begin() + static_cast<std::ptrdiff_t>(first), b.begin() + static_cast<std::ptrdiff_t>(end));
  Bytes entries;
  for (const auto& [offset, length] : members) {
    Bytes e = entry;
    Put32(e, 0, length);
    Put32(e, 4, offset);
    entries.insert(entries.end(), e.begin(), e.end());
  }
  const auto shift = static_cast<uint32_t>(entries.size() - entry.size());
  b.erase(b.begin() + static_cast<std::ptrdiff_t>(first), b.begin() + static_cast<std::ptrdiff_t>(end));
  b.insert(b.begin() + static_cast<std::ptrdiff_t>(first), entries.begin(), entries.end());
  Put32(b, 8, Le32(b, 8) + shift);                 // cbCabinet
  Put16(b, 28, static_cast<uint16_t>(members.size()));
  Put32(b, kFolder0, Le32(b, kFolder0) + shift);  // the folder's first block
  return b;
}

TEST(SUITE(CabTest), MembersSharingOneRangeOrOutOfOrderDecodeItOnce) {
  std::vector<std::pair<uint32_t, uint32_t>> order;
  constexpr uint32_t kPiece = 64 * 1024;
  for (uint32_t at = kZerosLength; at > 0; at -= kPiece) order.emplace_back(at - kPiece, kPiece);
  order.emplace_back(kZerosLength, 0);  // an empty member at the end
  TempDir dir;
  WriteAll(dir.File("order.cab"), ZerosWithMembers(order));
  EXPECT_EQ(cabar::Test(dir.File("order.cab")), 0);
  // 1500 entries for the same 4 MiB: one pass, not one per member (6 GB of output).
  WriteAll(dir.File("same.cab"), ZerosWithMembers(std::vector<std::pair<uint32_t, uint32_t>>(1500, {0, kZerosLength})));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(TestCommand(dir.File("same.cab")), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  Bytes b = ZerosWithMembers({{0, kZerosLength}, {0, kZerosLength}});
  size_t block = FolderData(b, 0);  // damage the folder's last block
  for (unsigned i = 0; i + 1 < Le16(b, kFolder0 + 4); ++i) block += 8 + Le16(b, block + 4);
  b.at(block + 8 + 2) ^= 0x10;
  WriteAll(dir.File("damaged.cab"), b);
  ExpectResult(dir.File("damaged.cab"), code::kFileCrc, "damage behind members sharing the data");
  // A member past the folder's blocks fails on its own, after the one before it passed.
  WriteAll(dir.File("beyond.cab"), ZerosWithMembers({{0, kPiece}, {kZerosLength - 100, 200}}));
  EXPECT_EQ(cabar::Test(dir.File("beyond.cab")), code::kHuffmanCode);
  // Members overlapping other than by naming the same range contradict each other.
  WriteAll(dir.File("overlap.cab"), ZerosWithMembers({{0, kPiece}, {0, 2 * kPiece}}));
  ExpectResult(dir.File("overlap.cab"), code::kHeaderBroken, "a member inside another");
}

// --- Self-extractors -------------------------------------------------------------------------

TEST(SUITE(CabCheck), CabinetsBehindStubsOfAnySize) {
  struct Case {
    size_t stub;
    bool stray;  // "MSCF" strings in the stub, bare or followed by zeros or noise
  };
  for (const Case c : {Case{1, false}, Case{512, false}, Case{64 * 1024, false}, Case{70 * 1024, false},
                       Case{4096, true}, Case{1100 * 1024, true}}) {
    Bytes stub = Stub(c.stub, static_cast<unsigned>(c.stub));
    if (c.stray) {
      for (size_t at = 100; at + 40 < stub.size(); at += 1000) {
        std::memcpy(&stub[at], "MSCF", 4);
        if (at % 3000 == 100) std::fill(stub.begin() + static_cast<std::ptrdiff_t>(at + 4), stub.begin() + static_cast<std::ptrdiff_t>(at + 40), 0);
      }
    }
    for (const char* name : {"mszip.cab", "folders.cab"}) {
      Damaged d(name, [&stub](Bytes& b) { b = WithStub(b, stub); });
      const std::string what = std::string(name) + " " + std::to_string(c.stub) + (c.stray ? " stray" : "");
      EXPECT_EQ(cabar::Check(d.path().c_str(), 0), 1) << what;
      ExpectResult(d.path(), 0, what);
    }
  }
}

TEST(SUITE(CabCheck), DamagedCabinetInAStubIsNeverPassedOverForALaterOne) {
  // nested.cab holds mszip.cab as a member: a damaged outer header must not let the search
  // settle on the intact cabinet inside it.
  ExpectFaults({
      {"data behind a stub", "mszip.cab", [](Bytes& b) { b[FolderData(b, 0) + 8 + 500] ^= 0x10; }, code::kFileCrc},
      {"intact", "nested.cab", [](Bytes&) {}, 0},
      {"reserved field", "nested.cab", [](Bytes& b) { b[4] = 0x20; }, code::kHeaderBroken},
      {"cabinet size", "nested.cab", [](Bytes& b) { Put32(b, 8, 0x7FFFFFFF); }, code::kHeaderBroken},
      {"signature", "nested.cab", [](Bytes& b) { b[1] = 's'; }, code::kHeaderBroken},
      {"file table offset", "nested.cab", [](Bytes& b) { Put32(b, 16, 0x100000); }, code::kHeaderBroken},
      {"a block's size", "nested.cab", [](Bytes& b) { b[FolderData(b, 0) + 5] ^= 0x40; }, code::kHeaderBroken},
  }, Stub(66000, 2));
}

// --- The established testers as referees ----------------------------------------------------

bool Installed(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

bool RefereesPass(const std::string& path) {
  return std::system(("cabextract -t -q '" + path + "' >/dev/null 2>&1").c_str()) == 0 &&
         std::system(("7zz t '" + path + "' >/dev/null 2>&1").c_str()) == 0;
}

// Offsets of every header byte of the cabinet at `base`: CFHEADER with its names, CFFOLDER,
// CFFILE, and each CFDATA header.
std::vector<size_t> HeaderBytes(const Bytes& b, size_t base) {
  const size_t folders = FolderTable(b, base);
  size_t data = b.size();
  std::vector<size_t> out;
  for (unsigned f = 0; f < Le16(b, base + 26); ++f) {
    size_t block = base + Le32(b, folders + 8 * f);
    data = std::min(data, block);
    for (unsigned k = 0; k < Le16(b, folders + 8 * f + 4); ++k, block += 8 + Le16(b, block + 4)) {
      for (size_t i = 0; i < 8; ++i) out.push_back(block + i);
    }
  }
  for (size_t i = base; i < data; ++i) out.push_back(i);
  return out;
}

TEST(SUITE(CabSweep), NoDamagedCopyPassesWhereARefereeFails) {
  if (!Installed("cabextract") || !Installed("7zz")) GTEST_SKIP() << "cabextract or 7zz not installed";
  struct Copy {
    std::string what;
    const char* name;  // every copy lies beside the intact ZIP-1.CAB and ZIP-2.CAB it does not replace
    Bytes bytes;
  };
  std::vector<Copy> copies;
  // Every header byte inverted (for the stub's copy only those of CFHEADER and CFFOLDER, for
  // ZIP-2.CAB those of CFHEADER with its names; for mszip.cab these also with their lowest bit
  // flipped, for the set's cabinets CFHEADER with its names); cuts at 20 points.
  const auto sweep = [&copies](const char* what, const char* name, const Bytes& b, size_t base, size_t lowBitsUpTo,
                               size_t headerUpTo) {
    for (const size_t at : HeaderBytes(b, base)) {
      for (const int mask : {0xFF, 0x01}) {
        if (mask == 0x01 ? at >= base + lowBitsUpTo : at >= base + headerUpTo) continue;
        copies.push_back({std::string(what) + " byte " + std::to_string(at) + " ^ " + std::to_string(mask), name, b});
        copies.back().bytes[at] ^= static_cast<unsigned char>(mask);
      }
    }
    for (size_t cut = base; cut < b.size(); cut += 1 + (b.size() - base) / 20) {
      copies.push_back({std::string(what) + " cut at " + std::to_string(cut), name,
                        Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(cut))});
    }
  };
  const Bytes stub = Stub(3000, 5);
  const Bytes mszip = ReadAll(Fixture("mszip.cab"));
  sweep("stored.cab", "copy.cab", ReadAll(Fixture("stored.cab")), 0, 0, SIZE_MAX);
  sweep("mszip.cab", "copy.cab", mszip, 0, 44, SIZE_MAX);
  const Bytes zip1 = ReadAll(Fixture("sets/ZIP-1.CAB"));
  const Bytes zip2 = ReadAll(Fixture("sets/ZIP-2.CAB"));
  sweep("ZIP-1.CAB", "ZIP-1.CAB", zip1, 0, FolderTable(zip1), SIZE_MAX);
  sweep("ZIP-2.CAB", "ZIP-2.CAB", zip2, 0, FolderTable(zip2), FolderTable(zip2));
  sweep("self-extractor", "copy.exe", WithStub(mszip, stub), stub.size(), 0, 44);

  const auto lay = [&zip1, &zip2](const TempDir& dir, const Copy& c) {
    WriteAll(dir.File("ZIP-1.CAB"), zip1);
    WriteAll(dir.File("ZIP-2.CAB"), zip2);
    WriteAll(dir.File(c.name), c.bytes);
    return dir.File(c.name);
  };
  std::vector<char> refereesPass(copies.size());
  std::vector<std::future<void>> workers;
  constexpr size_t kWorkers = 3;
  for (size_t w = 0; w < kWorkers; ++w) {
    workers.push_back(std::async(std::launch::async, [&, w] {
      TempDir dir;
      for (size_t i = w; i < copies.size(); i += kWorkers) refereesPass[i] = RefereesPass(lay(dir, copies[i]));
    }));
  }
  for (auto& w : workers) w.get();

  TempDir dir;
  int refereeFails = 0, ourFails = 0, skips = 0, falsePasses = 0, falseSkips = 0, falseFails = 0;
  for (size_t i = 0; i < copies.size(); ++i) {
    const int rc = cabar::Test(lay(dir, copies[i]));
    refereeFails += !refereesPass[i];
    ourFails += !Passes(rc);
    skips += rc > 0 && Passes(rc);
    falseFails += refereesPass[i] && !Passes(rc);
    // With every neighbour in place a skip count calls the copy good just as 0 does.
    falsePasses += Passes(rc) && !refereesPass[i];
    falseSkips += rc > 0 && Passes(rc) && !refereesPass[i];
    EXPECT_FALSE(Passes(rc) && !refereesPass[i]) << copies[i].what << ": gave " << rc << ", but a referee fails it";
  }
  std::printf("damaged copies %zu, referee fails %d, our fails %d, our skip results %d, false passes %d (as skip "
              "results %d), false fails %d\n",
              copies.size(), refereeFails, ourFails, skips, falsePasses, falseSkips, falseFails);
  EXPECT_GT(refereeFails, static_cast<int>(copies.size()) / 2);  // the referees did run and judge
}

// --- Command line and busy flag ------------------------------------------------------------

TEST(SUITE(CabCommand), CommandLineErrors) {
  EXPECT_EQ(cabar::Command(""), code::kCommandName);
  EXPECT_EQ(cabar::Command("-t"), code::kNoArcName);
  EXPECT_EQ(cabar::Command(("-x \"" + Fixture("mszip.cab") + "\" \"/tmp/\" \"beta.txt\"").c_str()),
            code::kNotSupport);  // test only
  EXPECT_EQ(cabar::Command(("t \"" + Fixture("mszip.cab") + "\"").c_str()), 0);
}

TEST(SUITE(CabBusy), SecondCallerIsToldTheLibraryIsBusy) {
  EXPECT_EQ(cabar::Running(), 0);
  Gate gate;
  cabar::SetMemberHook(HoldInHook, &gate);
  auto first = std::async(std::launch::async, [] { return TestCommand(Fixture("stored.cab")); });
  {
    std::unique_lock<std::mutex> lock(gate.m);
    ASSERT_TRUE(gate.cv.wait_for(lock, std::chrono::seconds(20), [&] { return gate.entered; }));
  }
  cabar::SetMemberHook(nullptr, nullptr);
  EXPECT_NE(cabar::Running(), 0);
  EXPECT_EQ(TestCommand(Fixture("mszip.cab")), code::kAlreadyRunning);
  auto check = std::async(std::launch::async, [] { return cabar::Check(Fixture("mszip.cab").c_str(), 0); });
  EXPECT_EQ(check.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  {
    std::lock_guard<std::mutex> lock(gate.m);
    gate.release = true;
  }
  gate.cv.notify_all();
  EXPECT_EQ(first.get(), 0);
  EXPECT_EQ(check.get(), 1);
  EXPECT_EQ(cabar::Running(), 0);
}

}  // namespace
