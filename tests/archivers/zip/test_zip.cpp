// UNZIP32.DLL back end: test results for real and damaged archives, recognition behind
// stubs, extraction confinement and error codes, the busy flag.
#include "zip_archive.h"
#include "zip_test_util.h"

#include "archiver_common.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <future>
#include <mutex>
#include <random>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>


namespace {

using namespace ziptest;
namespace code = arc::code;

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

int TestCommand(const std::string& path) { return zipar::Command(("-t " + Quoted(path)).c_str()); }

int ExtractCommand(const std::string& archive, const std::string& dest, const std::string& member) {
  return zipar::Command(("-x " + Quoted(archive) + " " + Quoted(dest) + " " + Quoted(member)).c_str());
}

// A copy of a fixture, changed by edit, in a temporary folder.
class Damaged {
 public:
  template <typename Edit>
  Damaged(const std::string& fixture, Edit edit) {
    Bytes b = ReadAll(Fixture(fixture));
    edit(b);
    WriteAll(path(), b);
  }
  std::string path() const { return dir_.File("damaged.zip"); }

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

uint32_t FileCrc(const std::string& path) {
  const Bytes b = ReadAll(path);
  return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), b.data(), static_cast<uInt>(b.size())));
}

// The stored CRC of a member, read through libzip.
uint32_t StoredCrc(const std::string& archive, const std::string& name) {
  int err = 0;
  zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY, &err);
  EXPECT_NE(za, nullptr);
  if (za == nullptr) return 0;
  zip_stat_t st;
  EXPECT_EQ(zip_stat(za, name.c_str(), 0, &st), 0);
  zip_discard(za);
  return st.crc;
}

// --- Intact archives ------------------------------------------------------------------

TEST(SUITE(ZipTest), IntactArchivesPass) {
  EXPECT_EQ(zipar::Test(Fixture("mixed.zip")), 0);  // stored, deflate, bzip2, folder entry
  EXPECT_EQ(zipar::Test(Fixture("deflated.zip")), 0);
  EXPECT_EQ(TestCommand(Fixture("mixed.zip")), 0);
  EXPECT_EQ(zipar::Test(Fixture("zip64.zip")), 0);
  EXPECT_EQ(zipar::Test(Fixture("streamed.zip")), 0);  // data descriptor
}

TEST(SUITE(ZipTest), Zip64EndRecordsAreFollowedAlsoBehindAStub) {
  for (const char* name : {"zip64.zip", "streamed.zip"}) {
    EXPECT_EQ(zipar::Check(Fixture(name).c_str(), 0), 1) << name;
    Damaged d(name, [](Bytes& b) {
      Bytes stub(70 * 1024, 'x');
      b.insert(b.begin(), stub.begin(), stub.end());
    });
    EXPECT_EQ(zipar::Check(d.path().c_str(), 0), 1) << name;
    EXPECT_EQ(zipar::Test(d.path()), 0) << name;
  }
}

TEST(SUITE(ZipTest), MembersThatCannotBeTestedAreCounted) {
  EXPECT_EQ(zipar::Test(Fixture("encrypted.zip")), 1);  // one ZipCrypto member, one plain
  EXPECT_EQ(zipar::Test(Fixture("deflate64.zip")), 1);
  EXPECT_EQ(zipar::Test(Fixture("lzma.zip")), 1);
}

TEST(SUITE(ZipTest), FaultWinsOverSkippedMembers) {
  // encrypted.zip: damage the plain member; the skipped one no longer decides the result.
  Damaged d("encrypted.zip", [](Bytes& b) {
    const Member m = Find(b, "stored.txt");
    b[m.data + m.compressed / 2] ^= 0x55;
  });
  const int rc = zipar::Test(d.path());
  EXPECT_TRUE(rc == code::kFileCrc || rc == code::kHuffmanCode) << std::hex << rc;
}

// --- Fault table: one row each ----------------------------------------------------------

TEST(SUITE(ZipFaults), StoredDataByteChangedIsChecksumError) {
  Damaged d("mixed.zip", [](Bytes& b) {
    const Member m = Find(b, "stored.txt");
    b[m.data + 100] ^= 0x01;
  });
  EXPECT_EQ(zipar::Test(d.path()), code::kFileCrc);
}

TEST(SUITE(ZipFaults), CentralDirectoryCrcChangedIsChecksumError) {
  Damaged d("deflated.zip", [](Bytes& b) {
    const Member m = Find(b, "deflated.txt");
    b[m.central + 16] ^= 0xFF;
    b[m.local + 14] ^= 0xFF;  // both copies agree, so only the data can tell
  });
  EXPECT_EQ(zipar::Test(d.path()), code::kFileCrc);
}

TEST(SUITE(ZipFaults), CrcDifferingBetweenHeadersIsBrokenHeader) {
  Damaged d("deflated.zip", [](Bytes& b) {
    const Member m = Find(b, "deflated.txt");
    b[m.central + 16] ^= 0xFF;
  });
  EXPECT_EQ(zipar::Test(d.path()), code::kHeaderBroken);
}

TEST(SUITE(ZipFaults), InvalidDeflateDataIsBrokenData) {
  Damaged d("deflated.zip", [](Bytes& b) {
    const Member m = Find(b, "deflated.txt");
    b[m.data] = 0x07;  // final block of the reserved type 3
  });
  EXPECT_EQ(zipar::Test(d.path()), code::kHuffmanCode);
}

TEST(SUITE(ZipFaults), InvalidBzip2DataIsBrokenData) {
  Damaged d("mixed.zip", [](Bytes& b) {
    const Member m = Find(b, "bzip2.txt");
    b[m.data] = 'X';  // "BZh" stream magic
  });
  EXPECT_EQ(zipar::Test(d.path()), code::kHuffmanCode);
}

TEST(SUITE(ZipFaults), MemberLongerThanDeclaredIsBrokenData) {
  Damaged d("deflated.zip", [](Bytes& b) {
    const Member m = Find(b, "deflated.txt");
    Put32(b, m.central + 24, 100);  // uncompressed size in both headers
    Put32(b, m.local + 22, 100);
  });
  EXPECT_EQ(zipar::Test(d.path()), code::kHuffmanCode);
}

TEST(SUITE(ZipFaults), MemberShorterThanDeclaredIsAFault) {
  Damaged d("deflated.zip", [](Bytes& b) {
    const Member m = Find(b, "deflated.txt");
    Put32(b, m.central + 24, Le32(b, m.central + 24) + 10);
    Put32(b, m.local + 22, Le32(b, m.local + 22) + 10);
  });
  const int rc = zipar::Test(d.path());
  EXPECT_TRUE(rc == code::kHuffmanCode || rc == code::kHeaderBroken) << std::hex << rc;
}

TEST(SUITE(ZipFaults), LocalHeaderSignatureDamagedIsBrokenHeader) {
  Damaged d("mixed.zip", [](Bytes& b) {
    const Member m = Find(b, "deflated.txt");
    b[m.local + 2] = 'X';
  });
  EXPECT_EQ(zipar::Test(d.path()), code::kHeaderBroken);
}

TEST(SUITE(ZipFaults), TruncatedArchiveIsBrokenHeaderNotForeign) {
  for (size_t keep : {size_t{10}, size_t{40}, size_t{2000}}) {
    Damaged d("mixed.zip", [keep](Bytes& b) { b.resize(keep); });
    EXPECT_EQ(zipar::Test(d.path()), code::kHeaderBroken) << keep;
    EXPECT_EQ(zipar::Check(d.path().c_str(), 2), 0) << keep;
  }
  // Cut inside the central directory: the end record is gone as well.
  Damaged d("mixed.zip", [](Bytes& b) { b.resize(b.size() - 30); });
  EXPECT_EQ(zipar::Test(d.path()), code::kHeaderBroken);
}

TEST(SUITE(ZipFaults), TruncatedSelfExtractorIsBrokenHeader) {
  Damaged d("mixed.zip", [](Bytes& b) {
    Bytes stub = Stub(3000, 7);
    b.insert(b.begin(), stub.begin(), stub.end());
    b.resize(b.size() / 2);
  });
  EXPECT_EQ(zipar::Test(d.path()), code::kHeaderBroken);
}

TEST(SUITE(ZipFaults), ForeignFilesAreNotThisFormat) {
  TempDir dir;
  WriteAll(dir.File("empty.zip"), {});
  WriteAll(dir.File("zeros.zip"), Bytes(5000, 0));
  WriteAll(dir.File("random.zip"), Stub(70000, 3));
  WriteAll(dir.File("cab.zip"), ReadAll(std::string(ORVEX2_TEST_DATA) + "/cab/mszip.cab"));
  for (const char* name : {"empty.zip", "zeros.zip", "random.zip", "cab.zip"}) {
    EXPECT_EQ(zipar::Test(dir.File(name)), code::kFileStyle) << name;
    EXPECT_EQ(zipar::Check(dir.File(name).c_str(), 0), 0) << name;
    EXPECT_EQ(zipar::Check(dir.File(name).c_str(), 2), 0) << name;
  }
}

TEST(SUITE(ZipFaults), UnopenableFilesCannotBeOpened) {
  TempDir dir;
  EXPECT_EQ(zipar::Test(dir.File("missing.zip")), code::kArchiveOpen);
  EXPECT_EQ(zipar::Test(dir.path()), code::kArchiveOpen);  // a folder
  ASSERT_EQ(::mkfifo(dir.File("fifo.zip").c_str(), 0600), 0);
  EXPECT_EQ(zipar::Test(dir.File("fifo.zip")), code::kArchiveOpen);  // and no hang
  EXPECT_EQ(zipar::Check(dir.File("missing.zip").c_str(), 0), 0);
}

TEST(SUITE(ZipFaults), TooManyMembersIsRefusedBeforeReading) {
  // A zip64 end record that announces 70000 members.
  Bytes b(56 + 20 + 22, 0);
  const unsigned char rec[] = {'P', 'K', 6, 6};
  std::memcpy(&b[0], rec, 4);
  b[4] = 44;
  Put32(b, 32, 70000);
  const unsigned char loc[] = {'P', 'K', 6, 7};
  std::memcpy(&b[56], loc, 4);
  b[56 + 16] = 1;
  const unsigned char end[] = {'P', 'K', 5, 6};
  std::memcpy(&b[76], end, 4);
  for (size_t i = 76 + 8; i < 76 + 20; ++i) b[i] = 0xFF;
  TempDir dir;
  WriteAll(dir.File("many.zip"), b);
  EXPECT_EQ(zipar::Test(dir.File("many.zip")), code::kTooManyFiles);
}

TEST(SUITE(ZipFaults), HugeCentralDirectoryIsRefused) {
  // A sparse 40 MiB file whose end record names a 40 MiB directory.
  TempDir dir;
  const std::string path = dir.File("huge.zip");
  const off_t dirSize = 40 << 20;
  Bytes end(22, 0);
  end[0] = 'P', end[1] = 'K', end[2] = 5, end[3] = 6;
  end[8] = end[10] = 10;
  Put32(end, 12, static_cast<uint32_t>(dirSize));
  {
    std::ofstream out(path, std::ios::binary);
    out.seekp(dirSize);
    out.write(reinterpret_cast<const char*>(end.data()), 22);
  }
  EXPECT_EQ(zipar::Test(path), code::kTooManyFiles);
}

TEST(SUITE(ZipFaults), LibzipErrorsMapToLibraryCodes) {
  // Rows that no file on disk can produce on demand (read errors, memory) are checked here.
  EXPECT_EQ(zipar::MapLibzipError(ZIP_ER_CRC), code::kFileCrc);
  EXPECT_EQ(zipar::MapLibzipError(ZIP_ER_ZLIB), code::kHuffmanCode);
  EXPECT_EQ(zipar::MapLibzipError(ZIP_ER_COMPRESSED_DATA), code::kHuffmanCode);
  EXPECT_EQ(zipar::MapLibzipError(ZIP_ER_INCONS), code::kHeaderBroken);
  EXPECT_EQ(zipar::MapLibzipError(ZIP_ER_EOF), code::kHeaderBroken);
  EXPECT_EQ(zipar::MapLibzipError(ZIP_ER_NOZIP), code::kFileStyle);
  EXPECT_EQ(zipar::MapLibzipError(ZIP_ER_OPEN), code::kArchiveOpen);
  EXPECT_EQ(zipar::MapLibzipError(ZIP_ER_NOENT), code::kArchiveOpen);
  EXPECT_EQ(zipar::MapLibzipError(ZIP_ER_READ), code::kCannotRead);
  EXPECT_EQ(zipar::MapLibzipError(ZIP_ER_SEEK), code::kCannotRead);
  EXPECT_EQ(zipar::MapLibzipError(ZIP_ER_MEMORY), code::kMoreHeapMemory);
  EXPECT_EQ(zipar::MapLibzipError(ZIP_ER_COMPNOTSUPP), code::kMethod);
  EXPECT_EQ(zipar::MapLibzipError(ZIP_ER_NOPASSWD), code::kPassword);
}

TEST(SUITE(ZipFaults), RandomDamageGivesADocumentedCode) {
  // Seeded bit flips, overwritten runs and cuts of every fixture: the result is always one of
  // the documented codes, and the full check agrees with the test.
  const int documented[] = {code::kFileCrc, code::kHuffmanCode, code::kHeaderBroken, code::kFileStyle,
                            code::kTooManyFiles, code::kMethod, code::kPassword};
  std::mt19937 rng(20240601);
  TempDir dir;
  const std::string path = dir.File("random.zip");
  for (const char* name : {"mixed.zip", "deflated.zip", "encrypted.zip", "lzma.zip", "zip64.zip", "streamed.zip"}) {
    const Bytes original = ReadAll(Fixture(name));
    for (int round = 0; round < 60; ++round) {
      Bytes b = original;
      switch (round % 3) {
        case 0:
          for (int k = 0; k < 1 + round % 5; ++k) b[rng() % b.size()] ^= static_cast<unsigned char>(1u << (rng() % 8));
          break;
        case 1: {
          const size_t at = rng() % b.size();
          for (size_t k = at; k < std::min(b.size(), at + 1 + rng() % 16); ++k) b[k] = static_cast<unsigned char>(rng());
          break;
        }
        default:
          b.resize(rng() % b.size());
      }
      WriteAll(path, b);
      const int rc = zipar::Test(path);
      const bool known = (rc >= 0 && rc <= code::kMaxSkipped) ||
                         std::find(std::begin(documented), std::end(documented), rc) != std::end(documented);
      EXPECT_TRUE(known) << name << " round " << round << " gave " << std::hex << rc;
      EXPECT_EQ(zipar::Check(path.c_str(), 2), rc >= 0 && rc <= code::kMaxSkipped ? 1 : 0) << name << " " << round;
    }
  }
}

// --- Recognition and self-extractors ----------------------------------------------------

TEST(SUITE(ZipCheck), RecognisesPlainArchives) {
  EXPECT_EQ(zipar::Check(Fixture("mixed.zip").c_str(), 0), 1);
  EXPECT_EQ(zipar::Check(Fixture("mixed.zip").c_str(), 2), 1);
  EXPECT_EQ(zipar::Check(Fixture("encrypted.zip").c_str(), 2), 1);  // skipped members pass
  EXPECT_EQ(zipar::Check(Fixture("mixed.zip").c_str(), 1), 1);      // other modes: recognition
  EXPECT_EQ(zipar::Check(Fixture("mixed.zip").c_str(), 7), 1);
  EXPECT_EQ(zipar::Check(nullptr, 0), 0);
}

TEST(SUITE(ZipCheck), FullCheckFailsOnDamage) {
  Damaged d("mixed.zip", [](Bytes& b) { b[Find(b, "stored.txt").data + 5] ^= 0x20; });
  EXPECT_EQ(zipar::Check(d.path().c_str(), 0), 1);  // still looks like a ZIP
  EXPECT_EQ(zipar::Check(d.path().c_str(), 2), 0);
}

TEST(SUITE(ZipCheck), SelfExtractorsBehindStubsOfAnySize) {
  struct Case {
    size_t stub;
    const char* plant;  // a false signature placed inside the stub
  };
  const Case cases[] = {{1, nullptr},          {512, nullptr},        {64 * 1024, nullptr},
                        {70 * 1024, nullptr},  {4096, "PK\x05\x06"},  {70 * 1024, "PK\x05\x06"},
                        {4096, "PK\x03\x04"},  {4096, "PK\x01\x02"}};
  for (const Case& c : cases) {
    Bytes stub = Stub(c.stub, static_cast<unsigned>(c.stub));
    if (c.plant != nullptr) {
      std::memcpy(&stub[100], c.plant, 4);
      std::memcpy(&stub[c.stub - 22], c.plant, 4);  // also right before the archive
      stub[c.stub - 2] = 0;
      stub[c.stub - 1] = 0;
    }
    Damaged d("mixed.zip", [&stub](Bytes& b) { b.insert(b.begin(), stub.begin(), stub.end()); });
    const std::string what = std::to_string(c.stub) + (c.plant ? " with signature" : "");
    EXPECT_EQ(zipar::Check(d.path().c_str(), 0), 1) << what;
    EXPECT_EQ(zipar::Test(d.path()), 0) << what;
    EXPECT_EQ(zipar::Check(d.path().c_str(), 2), 1) << what;
  }
}

TEST(SUITE(ZipCheck), DamageBehindAStubIsStillFound) {
  Damaged d("mixed.zip", [](Bytes& b) {
    const size_t at = Find(b, "stored.txt").data + 50;
    Bytes stub = Stub(66000, 1);
    b[at] ^= 0x08;
    b.insert(b.begin(), stub.begin(), stub.end());
  });
  EXPECT_EQ(zipar::Check(d.path().c_str(), 0), 1);
  EXPECT_EQ(zipar::Test(d.path()), code::kFileCrc);
}

TEST(SUITE(ZipCheck), StubWithoutArchiveIsNotAZip) {
  TempDir dir;
  Bytes stub = Stub(80000, 5);
  std::memcpy(&stub[79000], "PK\x05\x06", 4);
  WriteAll(dir.File("fake.exe"), stub);
  EXPECT_EQ(zipar::Check(dir.File("fake.exe").c_str(), 0), 0);
  EXPECT_EQ(zipar::Test(dir.File("fake.exe")), code::kFileStyle);
}

// --- Command line ----------------------------------------------------------------------

TEST(SUITE(ZipCommand), CommandLineErrors) {
  EXPECT_EQ(zipar::Command(""), code::kCommandName);
  EXPECT_EQ(zipar::Command(nullptr), code::kCommandName);
  EXPECT_EQ(zipar::Command("-t"), code::kNoArcName);
  EXPECT_EQ(zipar::Command(("-x " + Quoted(Fixture("mixed.zip"))).c_str()), code::kNotFileName);
  EXPECT_EQ(zipar::Command(("-t -y " + Quoted(Fixture("mixed.zip"))).c_str()), 0);  // unknown switch
}

// --- Extraction -------------------------------------------------------------------------

TEST(SUITE(ZipExtract), WritesOnlyTheLeafIntoTheDestination) {
  TempDir dir;
  const std::string dest = dir.path() + "/";
  ASSERT_EQ(ExtractCommand(Fixture("mixed.zip"), dest, "nested.txt"), 0);
  EXPECT_EQ(FileCrc(dir.File("nested.txt")), StoredCrc(Fixture("mixed.zip"), "docs/nested.txt"));
  ASSERT_EQ(ExtractCommand(Fixture("mixed.zip"), dir.path(), "docs/nested.txt"), 0);  // no closing '/'
  ASSERT_EQ(ExtractCommand(Fixture("mixed.zip"), dest, "bzip2.txt"), 0);
  EXPECT_EQ(FileCrc(dir.File("bzip2.txt")), StoredCrc(Fixture("mixed.zip"), "bzip2.txt"));
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"bzip2.txt", "nested.txt"}));
}

TEST(SUITE(ZipExtract), StoredPathsNeverLeaveTheDestination) {
  TempDir dir;
  const std::string archive = dir.File("paths.zip");
  {
    int err = 0;
    zip_t* za = zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_NE(za, nullptr);
    static const char kData[] = "payload";
    for (const char* name : {"../../evil.txt", "/tmp/abs.txt", "a\\..\\..\\back.txt", "..", "sub/../.."}) {
      zip_source_t* s = zip_source_buffer(za, kData, sizeof kData - 1, 0);
      ASSERT_GE(zip_file_add(za, name, s, ZIP_FL_ENC_RAW), 0) << name;
    }
    ASSERT_EQ(zip_close(za), 0);
  }
  fs::create_directory(dir.File("out"));
  fs::create_directory(dir.File("out/dest"));
  const std::string dest = dir.File("out/dest") + "/";
  EXPECT_EQ(ExtractCommand(archive, dest, "../../evil.txt"), 0);
  EXPECT_EQ(ExtractCommand(archive, dest, "abs.txt"), 0);
  EXPECT_EQ(ExtractCommand(archive, dest, "back.txt"), 0);
  EXPECT_EQ(ExtractCommand(archive, dest, ".."), code::kNotFindArcFile);
  EXPECT_TRUE(fs::exists(dir.File("out/dest/evil.txt")));
  EXPECT_TRUE(fs::exists(dir.File("out/dest/abs.txt")));
  EXPECT_TRUE(fs::exists(dir.File("out/dest/back.txt")));
  EXPECT_FALSE(fs::exists(dir.File("evil.txt")));
  EXPECT_FALSE(fs::exists(dir.File("out/evil.txt")));
  EXPECT_FALSE(fs::exists(dir.File("back.txt")));
  const Bytes payload{'p', 'a', 'y', 'l', 'o', 'a', 'd'};
  EXPECT_FALSE(fs::exists("/tmp/abs.txt") && ReadAll("/tmp/abs.txt") == payload);
  size_t count = 0;
  for (auto it = fs::recursive_directory_iterator(dir.File("out")); it != fs::recursive_directory_iterator(); ++it) ++count;
  EXPECT_EQ(count, 4u);  // dest and its three files
}

TEST(SUITE(ZipExtract), MissingMemberAndUnreadableMembers) {
  TempDir dir;
  EXPECT_EQ(ExtractCommand(Fixture("mixed.zip"), dir.path(), "nothere.txt"), code::kNotFindArcFile);
  EXPECT_EQ(ExtractCommand(Fixture("mixed.zip"), dir.path(), "docs"), code::kNotFindArcFile);  // a folder
  EXPECT_EQ(ExtractCommand(Fixture("encrypted.zip"), dir.path(), "deflated.txt"), code::kPassword);
  EXPECT_EQ(ExtractCommand(Fixture("deflate64.zip"), dir.path(), "deflated.txt"), code::kMethod);
  EXPECT_TRUE(fs::is_empty(dir.path()));
  EXPECT_EQ(ExtractCommand(Fixture("encrypted.zip"), dir.path(), "stored.txt"), 0);  // the plain one
}

TEST(SUITE(ZipExtract), DamagedMemberLeavesNoFile) {
  Damaged d("mixed.zip", [](Bytes& b) { b[Find(b, "stored.txt").data + 3000] ^= 0x01; });
  TempDir dir;
  EXPECT_EQ(ExtractCommand(d.path(), dir.path(), "stored.txt"), code::kFileCrc);
  EXPECT_FALSE(fs::exists(dir.File("stored.txt")));
  EXPECT_EQ(ExtractCommand(d.path(), dir.path(), "deflated.txt"), 0);  // the others are intact
}

TEST(SUITE(ZipExtract), UnwritableDestinations) {
  TempDir dir;
  WriteAll(dir.File("plain"), {'x'});
  EXPECT_EQ(ExtractCommand(Fixture("mixed.zip"), dir.File("plain") + "/", "stored.txt"), code::kReadOnly);  // ENOTDIR
  EXPECT_EQ(ExtractCommand(Fixture("mixed.zip"), dir.File("absent") + "/", "stored.txt"), code::kReadOnly);
  EXPECT_EQ(ExtractCommand(Fixture("mixed.zip"), "/proc/", "stored.txt"), code::kReadOnly);
  // A link planted at the target is not followed.
  fs::create_directory(dir.File("dest"));
  fs::create_symlink(dir.File("plain"), dir.File("dest/stored.txt"));
  EXPECT_EQ(ExtractCommand(Fixture("mixed.zip"), dir.File("dest"), "stored.txt"), code::kReadOnly);
  EXPECT_EQ(ReadAll(dir.File("plain")), Bytes{'x'});
}

// Runs fn in a child process and returns its exit status (or -1 when it did not exit).
template <typename Fn>
int InChild(Fn fn) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(fn());
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(SUITE(ZipExtract), FileSizeLimitIsDiskFull) {
  TempDir dir;
  // The extraction's code leaves the child as its exit status: 0x8005 & 0xFF == 5.
  const int status = InChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim {4096, 4096};
    if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) return 99;
    const int rc = ExtractCommand(Fixture("mixed.zip"), dir.path(), "deflated.txt");
    return rc == code::kDiskSpace ? 0 : (rc & 0xFF) | 0x80;
  });
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(fs::exists(dir.File("deflated.txt")));
}

TEST(SUITE(ZipExtract), FullFileSystemIsDiskFull) {
  TempDir dir;
  const int status = InChild([&] {
    if (::unshare(CLONE_NEWNS) != 0) return 77;
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 77;
    if (::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=16k") != 0) return 77;
    const int rc = ExtractCommand(Fixture("mixed.zip"), dir.path(), "deflated.txt");
    if (rc != code::kDiskSpace) return (rc & 0xFF) | 0x80;
    return fs::exists(dir.File("deflated.txt")) ? 1 : 0;
  });
  if (status == 77) GTEST_SKIP() << "no private tmpfs here; the file size limit test covers the path";
  EXPECT_EQ(status, 0);
}

// --- Busy flag ---------------------------------------------------------------------------

using archtest::Gate;
using archtest::HoldInHook;

TEST(SUITE(ZipBusy), SecondCallerIsToldTheLibraryIsBusy) {
  EXPECT_EQ(zipar::Running(), 0);
  Gate gate;
  zipar::SetMemberHook(HoldInHook, &gate);
  auto first = std::async(std::launch::async, [] { return TestCommand(Fixture("deflated.zip")); });
  {
    std::unique_lock<std::mutex> lock(gate.m);
    ASSERT_TRUE(gate.cv.wait_for(lock, std::chrono::seconds(20), [&] { return gate.entered; }));
  }
  zipar::SetMemberHook(nullptr, nullptr);
  EXPECT_NE(zipar::Running(), 0);
  EXPECT_EQ(TestCommand(Fixture("mixed.zip")), code::kAlreadyRunning);
  // The check entry waits its turn instead.
  auto check = std::async(std::launch::async, [] { return zipar::Check(Fixture("mixed.zip").c_str(), 0); });
  EXPECT_EQ(check.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  {
    std::lock_guard<std::mutex> lock(gate.m);
    gate.release = true;
  }
  gate.cv.notify_all();
  EXPECT_EQ(first.get(), 0);
  EXPECT_EQ(check.get(), 1);
  EXPECT_EQ(zipar::Running(), 0);
}

}  // namespace
