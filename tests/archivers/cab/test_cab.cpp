// CAB32.DLL back end: test results for real and damaged cabinets, cabinets inside
// self-extracting programs, the busy flag.
#include "cab_archive.h"

#include "archiver_common.h"

#include <gtest/gtest.h>

#include "archive_test_util.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <mspack.h>
#include <mutex>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

namespace code = arc::code;
namespace fs = std::filesystem;
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

// Offsets of a cabinet without reserved areas: folder entries follow the 36-byte header.
constexpr size_t kFolder0 = 36;
size_t FolderData(const Bytes& b, int folder) { return Le32(b, kFolder0 + 8 * folder); }  // first CFDATA
size_t FirstFile(const Bytes& b) { return Le32(b, 16); }

class Damaged {
 public:
  template <typename Edit>
  Damaged(const std::string& fixture, Edit edit) {
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

// A false cabinet header inside a stub: plausible fields, nothing behind them.
void PlantHeader(Bytes& stub, size_t at) {
  const Bytes real = ReadAll(Fixture("mszip.cab"));
  std::memcpy(&stub[at], real.data(), 36);
  Put32(stub, at + 16, 60);  // files right after the header: garbage
}

int TestCommand(const std::string& path) { return cabar::Command(("-t \"" + path + "\"").c_str()); }

// --- Intact cabinets ---------------------------------------------------------------------

TEST(SUITE(CabTest), IntactCabinetsPass) {
  for (const char* name : {"stored.cab", "mszip.cab", "folders.cab"}) {
    EXPECT_EQ(cabar::Test(Fixture(name)), 0) << name;
    EXPECT_EQ(TestCommand(Fixture(name)), 0) << name;
    EXPECT_EQ(cabar::Check(Fixture(name).c_str(), 0), 1) << name;
    EXPECT_EQ(cabar::Check(Fixture(name).c_str(), 2), 1) << name;
  }
  EXPECT_EQ(cabar::Check(Fixture("mszip.cab").c_str(), 1), 1);  // other modes: recognition
}

// --- Fault table ---------------------------------------------------------------------------

TEST(SUITE(CabFaults), DataByteChangedIsChecksumError) {
  for (const char* name : {"stored.cab", "mszip.cab"}) {
    Damaged d(name, [](Bytes& b) { b[FolderData(b, 0) + 8 + 200] ^= 0x04; });
    EXPECT_EQ(cabar::Test(d.path()), code::kFileCrc) << name;
    EXPECT_EQ(cabar::Check(d.path().c_str(), 2), 0) << name;
    EXPECT_EQ(cabar::Check(d.path().c_str(), 0), 1) << name;
  }
}

TEST(SUITE(CabFaults), BlockChecksumChangedIsChecksumError) {
  Damaged d("folders.cab", [](Bytes& b) { b[FolderData(b, 1)] ^= 0x01; });  // the MSZIP folder
  EXPECT_EQ(cabar::Test(d.path()), code::kFileCrc);
}

TEST(SUITE(CabFaults), ZeroChecksumsCannotRevealDamage) {
  // A block checksum of 0 means "none": a changed stored byte then goes unnoticed.
  Damaged d("stored.cab", [](Bytes& b) {
    Put32(b, FolderData(b, 0), 0);
    b[FolderData(b, 0) + 8 + 10] ^= 0x01;
  });
  EXPECT_EQ(cabar::Test(d.path()), 0);
}

TEST(SUITE(CabFaults), BrokenMszipDataIsBrokenData) {
  // With the block checksum off, the decoder itself meets the damage ("CK" block signature).
  Damaged d("mszip.cab", [](Bytes& b) {
    const size_t block = FolderData(b, 0);
    Put32(b, block, 0);
    b[block + 8] = 'X';
  });
  EXPECT_EQ(cabar::Test(d.path()), code::kHuffmanCode);
}

TEST(SUITE(CabFaults), MemberBeyondItsFolderIsBrokenData) {
  Damaged d("stored.cab", [](Bytes& b) { Put32(b, FirstFile(b) + 4, 0x00F00000); });  // uoffFolderStart
  EXPECT_EQ(cabar::Test(d.path()), code::kHuffmanCode);
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

// Changes a byte inside the last data block of the folder (its checksum then fails).
void DamageLastBlock(Bytes& b) {
  size_t block = FolderData(b, 0);
  const unsigned blocks = Le16(b, kFolder0 + 4);
  for (unsigned i = 0; i + 1 < blocks; ++i) block += 8 + Le16(b, block + 4);
  b.at(block + 8 + 2) ^= 0x10;
}

TEST(SUITE(CabTest), ManyMembersNamingOneLargeRangeDecodeItOnce) {
  // 1500 entries for the same 4 MiB: formerly the folder was decoded again for each of them
  // (6 GB of output, minutes); the verdict needs it decoded once.
  TempDir dir;
  WriteAll(dir.File("same.cab"), ZerosWithMembers(std::vector<std::pair<uint32_t, uint32_t>>(1500, {0, kZerosLength})));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(cabar::Test(dir.File("same.cab")), 0);
  EXPECT_EQ(TestCommand(dir.File("same.cab")), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(SUITE(CabTest), MembersListedOutOfOrderPass) {
  std::vector<std::pair<uint32_t, uint32_t>> members;
  constexpr uint32_t kPiece = 64 * 1024;
  for (uint32_t at = kZerosLength; at > 0; at -= kPiece) members.emplace_back(at - kPiece, kPiece);
  for (uint32_t end = kPiece; end <= kZerosLength; end += 4 * kPiece) members.emplace_back(0, end);
  members.emplace_back(100, 0);  // empty members lie anywhere in the folder
  TempDir dir;
  WriteAll(dir.File("order.cab"), ZerosWithMembers(members));
  EXPECT_EQ(cabar::Test(dir.File("order.cab")), 0);
}

TEST(SUITE(CabFaults), DamageIsFoundThroughMembersSharingTheData) {
  TempDir dir;
  Bytes b = ZerosWithMembers({{0, kZerosLength}, {0, 65536}, {0, kZerosLength}});
  DamageLastBlock(b);
  WriteAll(dir.File("damaged.cab"), b);
  EXPECT_EQ(cabar::Test(dir.File("damaged.cab")), code::kFileCrc);
  EXPECT_EQ(cabar::Check(dir.File("damaged.cab").c_str(), 2), 0);

  // A member past the folder's blocks fails on its own, after the ones before it passed.
  b = ZerosWithMembers({{0, 65536}, {kZerosLength - 100, 200}, {0, kZerosLength}});
  WriteAll(dir.File("beyond.cab"), b);
  EXPECT_EQ(cabar::Test(dir.File("beyond.cab")), code::kHuffmanCode);
}

TEST(SUITE(CabFaults), BrokenHeaderFieldsAreBrokenHeader) {
  Damaged d("mszip.cab", [](Bytes& b) { Put16(b, FirstFile(b) + 8, 0x0033); });  // no such folder
  EXPECT_EQ(cabar::Test(d.path()), code::kHeaderBroken);
  EXPECT_EQ(cabar::Check(d.path().c_str(), 0), 0);
}

TEST(SUITE(CabFaults), UnknownCompressionTypeIsUnsupportedMethod) {
  Damaged d("mszip.cab", [](Bytes& b) { Put16(b, kFolder0 + 6, 0x0007); });
  EXPECT_EQ(cabar::Test(d.path()), code::kMethod);
}

TEST(SUITE(CabFaults), TruncatedCabinetIsBrokenHeaderNotForeign) {
  for (size_t keep : {size_t{20}, size_t{50}, size_t{3000}}) {
    Damaged d("mszip.cab", [keep](Bytes& b) { b.resize(keep); });
    EXPECT_EQ(cabar::Test(d.path()), code::kHeaderBroken) << keep;
    EXPECT_EQ(cabar::Check(d.path().c_str(), 2), 0) << keep;
  }
}

TEST(SUITE(CabFaults), TruncatedSelfExtractorIsBrokenHeader) {
  Damaged d("mszip.cab", [](Bytes& b) {
    Bytes stub = Stub(5000, 9);
    b.insert(b.begin(), stub.begin(), stub.end());
    b.resize(b.size() - 2000);
  });
  EXPECT_EQ(cabar::Test(d.path()), code::kHeaderBroken);
}

TEST(SUITE(CabFaults), ForeignFilesAreNotThisFormat) {
  TempDir dir;
  WriteAll(dir.File("empty.cab"), {});
  WriteAll(dir.File("zeros.cab"), Bytes(5000, 0));
  WriteAll(dir.File("random.cab"), Stub(70000, 3));
  WriteAll(dir.File("zip.cab"), ReadAll(std::string(ORVEX2_TEST_DATA) + "/zip/mixed.zip"));
  for (const char* name : {"empty.cab", "zeros.cab", "random.cab", "zip.cab"}) {
    EXPECT_EQ(cabar::Test(dir.File(name)), code::kFileStyle) << name;
    EXPECT_EQ(cabar::Check(dir.File(name).c_str(), 0), 0) << name;
    EXPECT_EQ(cabar::Check(dir.File(name).c_str(), 2), 0) << name;
  }
}

TEST(SUITE(CabFaults), UnopenableFilesCannotBeOpened) {
  TempDir dir;
  EXPECT_EQ(cabar::Test(dir.File("missing.cab")), code::kArchiveOpen);
  EXPECT_EQ(cabar::Test(dir.path()), code::kArchiveOpen);
  ASSERT_EQ(::mkfifo(dir.File("fifo.cab").c_str(), 0600), 0);
  EXPECT_EQ(cabar::Test(dir.File("fifo.cab")), code::kArchiveOpen);
  EXPECT_EQ(cabar::Check(dir.File("missing.cab").c_str(), 0), 0);
}

TEST(SUITE(CabFaults), MspackErrorsMapToLibraryCodes) {
  EXPECT_EQ(cabar::MapMspackError(MSPACK_ERR_CHECKSUM, false), code::kFileCrc);
  EXPECT_EQ(cabar::MapMspackError(MSPACK_ERR_DATAFORMAT, false), code::kHuffmanCode);
  EXPECT_EQ(cabar::MapMspackError(MSPACK_ERR_DECRUNCH, false), code::kHuffmanCode);
  EXPECT_EQ(cabar::MapMspackError(MSPACK_ERR_SIGNATURE, false), code::kFileStyle);
  EXPECT_EQ(cabar::MapMspackError(MSPACK_ERR_OPEN, false), code::kArchiveOpen);
  EXPECT_EQ(cabar::MapMspackError(MSPACK_ERR_READ, false), code::kCannotRead);  // an I/O error
  EXPECT_EQ(cabar::MapMspackError(MSPACK_ERR_READ, true), code::kHeaderBroken);
  EXPECT_EQ(cabar::MapMspackError(MSPACK_ERR_NOMEMORY, false), code::kMoreHeapMemory);
}

// mszip.cab turned into the first cabinet of a set whose last member goes on in the next one.
Bytes FirstOfASet(bool damageFirstMember) {
  Bytes b = ReadAll(Fixture("mszip.cab"));
  const std::string names("next.cab\0disk 2\0", 16);
  const uint32_t shift = static_cast<uint32_t>(names.size());
  Put16(b, 30, 0x0002);                         // flags: next cabinet
  Put32(b, 8, Le32(b, 8) + shift);              // cbCabinet
  Put32(b, 16, Le32(b, 16) + shift);            // coffFiles
  Put32(b, kFolder0, Le32(b, kFolder0) + shift);  // the folder's first block
  b.insert(b.begin() + kFolder0, names.begin(), names.end());
  // Members: alpha, beta, gamma. gamma continues into the next cabinet.
  size_t p = FirstFile(b);
  for (int i = 0; i < 2; ++i) p += 16 + std::strlen(reinterpret_cast<const char*>(&b[p + 16])) + 1;
  Put32(b, p, Le32(b, p) + 100000);  // more than this cabinet holds
  Put16(b, p + 8, 0xFFFE);           // continued to next
  if (damageFirstMember) b[Le32(b, kFolder0 + shift) + 8 + 40] ^= 0x01;
  return b;
}

// mszip.cab turned into the second cabinet of a set whose first member began in the previous one.
Bytes SecondOfASet() {
  Bytes b = ReadAll(Fixture("mszip.cab"));
  const std::string names("prev.cab\0disk 1\0", 16);
  const uint32_t shift = static_cast<uint32_t>(names.size());
  Put16(b, 30, 0x0001);  // flags: previous cabinet
  Put32(b, 8, Le32(b, 8) + shift);
  Put32(b, 16, Le32(b, 16) + shift);
  Put32(b, kFolder0, Le32(b, kFolder0) + shift);
  b.insert(b.begin() + kFolder0, names.begin(), names.end());
  Put16(b, FirstFile(b) + 8, 0xFFFD);  // alpha: continued from the previous cabinet
  return b;
}

TEST(SUITE(CabTest), MemberContinuedInAnotherCabinetIsSkipped) {
  TempDir other;
  WriteAll(other.File("set2.cab"), SecondOfASet());
  // The folder that began elsewhere cannot be decoded from here: all three members.
  EXPECT_EQ(cabar::Test(other.File("set2.cab")), 3);

  TempDir dir;
  WriteAll(dir.File("set1.cab"), FirstOfASet(false));
  EXPECT_EQ(cabar::Test(dir.File("set1.cab")), 1);
  EXPECT_EQ(cabar::Check(dir.File("set1.cab").c_str(), 2), 1);
  WriteAll(dir.File("set1.cab"), FirstOfASet(true));
  EXPECT_EQ(cabar::Test(dir.File("set1.cab")), code::kFileCrc);  // a real fault still wins
}

TEST(SUITE(CabFaults), RandomDamageGivesADocumentedCode) {
  const int documented[] = {code::kFileCrc, code::kHuffmanCode, code::kHeaderBroken, code::kFileStyle, code::kMethod};
  std::mt19937 rng(20240602);
  TempDir dir;
  const std::string path = dir.File("random.cab");
  for (const char* name : {"stored.cab", "mszip.cab", "folders.cab"}) {
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
      const bool known = rc == 0 || std::find(std::begin(documented), std::end(documented), rc) != std::end(documented);
      EXPECT_TRUE(known) << name << " round " << round << " gave " << std::hex << rc;
      EXPECT_EQ(cabar::Check(path.c_str(), 2), rc == 0 ? 1 : 0) << name << " " << round;
    }
  }
}

// --- Self-extractors -------------------------------------------------------------------------

TEST(SUITE(CabCheck), CabinetsBehindStubsOfAnySize) {
  struct Case {
    size_t stub;
    bool plant;
  };
  for (const Case c : {Case{1, false}, Case{512, false}, Case{64 * 1024, false}, Case{70 * 1024, false},
                       Case{4096, true}, Case{70 * 1024, true}}) {
    Bytes stub = Stub(c.stub, static_cast<unsigned>(c.stub));
    if (c.plant) {
      PlantHeader(stub, 100);
      std::memcpy(&stub[2000], "MSCF", 4);
    }
    for (const char* name : {"mszip.cab", "folders.cab"}) {
      Damaged d(name, [&stub](Bytes& b) { b.insert(b.begin(), stub.begin(), stub.end()); });
      const std::string what = std::string(name) + " " + std::to_string(c.stub) + (c.plant ? " planted" : "");
      EXPECT_EQ(cabar::Check(d.path().c_str(), 0), 1) << what;
      EXPECT_EQ(cabar::Test(d.path()), 0) << what;
      EXPECT_EQ(cabar::Check(d.path().c_str(), 2), 1) << what;
    }
  }
}

TEST(SUITE(CabCheck), DamageBehindAStubIsStillFound) {
  Damaged d("mszip.cab", [](Bytes& b) {
    b[FolderData(b, 0) + 8 + 500] ^= 0x10;
    Bytes stub = Stub(66000, 2);
    b.insert(b.begin(), stub.begin(), stub.end());
  });
  EXPECT_EQ(cabar::Check(d.path().c_str(), 0), 1);
  EXPECT_EQ(cabar::Test(d.path()), code::kFileCrc);
}

TEST(SUITE(CabCheck), ManyFalseHeadersEndTheSearchQuickly) {
  Bytes stub = Stub(400 * 64, 4);
  for (size_t i = 1; i < 400; ++i) PlantHeader(stub, i * 64);
  Damaged d("mszip.cab", [&stub](Bytes& b) { b.insert(b.begin(), stub.begin(), stub.end()); });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(cabar::Check(d.path().c_str(), 0), 0);  // gives up after a bounded number of tries
  EXPECT_EQ(cabar::Test(d.path()), code::kFileStyle);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
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
