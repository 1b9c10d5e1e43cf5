// UNLHA32 implementation tests: fixtures from jlha, damaged copies made here, self-extractor
// stubs, the start scan, extraction safety and the busy flag.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include "archiver_common.h"
#include "lzh_archive.h"
#include "lzhar.h"
#include "lzh_test_util.h"

using namespace lzhtest;
namespace code = arc::code;

namespace {

const char* const kDecodable[] = {"lh0_level0.lzh", "lh1_level1.lzh", "lh4_level0.lzh", "lh5_level0.lzh",
                                  "lh5_level1.lzh", "lh5_level2.lzh", "lh6_level1.lzh", "lh7_level2.lzh",
                                  "lzs_level1.lzh", "lz5_level2.lzh"};

int TestBytes(const TempDir& dir, const Bytes& data, const char* name = "a.lzh") {
  return lzhar::Test(dir.Write(name, data));
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace

// ---------------------------------------------------------------------------------------------
TEST(LzhHeader, ParsesEveryLevelFromRealArchives) {
  struct Case {
    const char* file;
    int level;
    const char* method;
    const char* name;
  } cases[] = {{"lh5_level0.lzh", 0, "-lh5-", "numbers.txt"},
               {"lh5_level1.lzh", 1, "-lh5-", "numbers.txt"},
               {"lh5_level2.lzh", 2, "-lh5-", "numbers.txt"},
               {"lh3_level2.lzh", 2, "-lh3-", "numbers.txt"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    lzhar::ArchiveFile file;
    ASSERT_EQ(file.Open(Fixture(c.file)), 0);
    lzhar::MemberHeader h;
    ASSERT_EQ(lzhar::ReadHeader(file, 0, h), lzhar::HeaderStatus::kOk);
    EXPECT_EQ(h.level, c.level);
    EXPECT_EQ(h.method, c.method);
    EXPECT_EQ(h.name, c.name);
    EXPECT_EQ(h.originalSize, 6393u);
    EXPECT_TRUE(h.headerChecked);
    const Bytes raw = ReadFile(Fixture(c.file));
    const auto members = Members(raw);
    ASSERT_FALSE(members.empty());
    EXPECT_EQ(h.headerSize, members[0].headerSize);
    EXPECT_EQ(h.compressedSize, members[0].compressed);
  }
}

TEST(LzhHeader, NamesWithFoldersAndDirectoryEntries) {
  lzhar::ArchiveFile file;
  ASSERT_EQ(file.Open(Fixture("lh5_level2.lzh")), 0);
  lzhar::MemberWalk walk(file, 0);
  lzhar::MemberHeader h;
  std::vector<std::string> names;
  std::vector<bool> dirs;
  int rc;
  while ((rc = walk.Next(h)) == 0) {
    names.push_back(h.name);
    dirs.push_back(h.isDirectory());
  }
  EXPECT_EQ(rc, lzhar::MemberWalk::kEnd);
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names[0], "numbers.txt");
  EXPECT_EQ(names[1], "sub/");
  EXPECT_TRUE(dirs[1]);
  EXPECT_EQ(names[2], "sub/inner.txt");
  EXPECT_FALSE(dirs[2]);
}

TEST(LzhHeader, EndAndDamageAreToldApart) {
  TempDir dir;
  const Bytes good = ReadFile(Fixture("lh5_level0.lzh"));
  lzhar::MemberHeader h;
  {
    lzhar::ArchiveFile f;
    ASSERT_EQ(f.Open(dir.Write("end.lzh", Bytes{0x00})), 0);
    EXPECT_EQ(lzhar::ReadHeader(f, 0, h), lzhar::HeaderStatus::kEnd);
    EXPECT_EQ(lzhar::ReadHeader(f, 1, h), lzhar::HeaderStatus::kEnd);  // end of file
  }
  {
    Bytes cut(good.begin(), good.begin() + 20);
    lzhar::ArchiveFile f;
    ASSERT_EQ(f.Open(dir.Write("cut.lzh", cut)), 0);
    EXPECT_EQ(lzhar::ReadHeader(f, 0, h), lzhar::HeaderStatus::kTruncated);
  }
  {
    Bytes sum = good;
    sum[1] ^= 0x5A;
    lzhar::ArchiveFile f;
    ASSERT_EQ(f.Open(dir.Write("sum.lzh", sum)), 0);
    EXPECT_EQ(lzhar::ReadHeader(f, 0, h), lzhar::HeaderStatus::kChecksum);
  }
  {
    Bytes level = good;
    level[20] = 7;
    lzhar::ArchiveFile f;
    ASSERT_EQ(f.Open(dir.Write("level.lzh", level)), 0);
    EXPECT_EQ(lzhar::ReadHeader(f, 0, h), lzhar::HeaderStatus::kBroken);
  }
  {
    // A name length running past the header, checksum made valid.
    Bytes name = good;
    name[21] = 200;
    FixChecksum(name, 0);
    lzhar::ArchiveFile f;
    ASSERT_EQ(f.Open(dir.Write("name.lzh", name)), 0);
    EXPECT_EQ(lzhar::ReadHeader(f, 0, h), lzhar::HeaderStatus::kBroken);
  }
}

TEST(LzhHeader, Level3HeaderWithCrc) {
  TempDir dir;
  const Bytes data = Text("level three member\n");
  const Bytes archive = Concat({Level3Member("three.txt", data), Bytes{0}});
  EXPECT_EQ(TestBytes(dir, archive), 0);
  Bytes damaged = archive;
  damaged[34] ^= 0x01;  // inside the stored file name, covered by the header CRC
  EXPECT_EQ(TestBytes(dir, damaged), code::kHeaderCrc);
  ASSERT_EQ(lzhar::Extract(dir.Write("l3.lzh", archive), dir.path(), "three.txt"), 0);
  EXPECT_EQ(ReadFile(dir.File("three.txt")), data);
}

TEST(LzhHeader, FolderEntriesAndSeparatorsOfEveryHost) {
  const Bytes text = Text("readme\n");
  const Bytes unixArea = {'U', 0, 0x87, 0xFF, 0x96, 0x4F, 0xED, 0x41, 0xE8, 0x03, 0xE8, 0x03};
  const Bytes os9Area = {'9', 0x01, 0x00, 0x05, 0x7F};
  struct Case {
    const char* host;
    Bytes archive;
    const char* member;  // a file to extract
    const char* folder;  // a folder entry, never extracted ("" when it has no name)
    size_t size = 7;     // of the file
  } cases[] = {
      {"LHa for UNIX 1.14i, real", ReadFile(Fixture("h0_subdir.lzh")), "hello.txt", "", 12},
      {"UNIX, 0xFF separators",
       Concat({Level0Member("docs\xFF", {}, "-lhd-", 0x10, unixArea),
               Level0Member("docs\xFFreadme.txt", text, "-lh0-", 0x20, unixArea), Bytes{0}}),
       "docs/readme.txt", "docs"},
      {"DOS, \\ separators", Concat({Level0Member("DOCS\\", {}, "-lhd-", 0x10), Level0Member("DOCS\\README.TXT", text), Bytes{0}}),
       "DOCS/README.TXT", "DOCS"},
      {"Amiga, -lh0- folder named without a separator",
       Concat({Level0Member("docs", {}, "-lh0-", 0x10, {'A'}), Level0Member("docs/readme.txt", text, "-lh0-", 0x20, {'A'}),
               Bytes{0}}),
       "docs/readme.txt", "docs"},
      {"OS-9, -lh0- folder with a separator",
       Concat({Level0Member("docs/", {}, "-lh0-", 0x00, os9Area), Level0Member("docs/readme.txt", text, "-lh0-", 0x00, os9Area),
               Bytes{0}}),
       "readme.txt", "docs"},
      {"Mac, ':' separators",
       Concat({Level0Member("docs:", {}, "-lhd-", 0x10, {'m'}), Level0Member("docs:readme.txt", text, "-lh0-", 0x20, {'m'}),
               Bytes{0}}),
       "docs:readme.txt", "docs:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    TempDir dir;
    const std::string path = dir.Write("host.lzh", c.archive);
    EXPECT_EQ(lzhar::Test(path), 0);
    EXPECT_EQ(lzhar::CheckArchive(path, 1), 1);
    const TempDir out;
    ASSERT_EQ(lzhar::Extract(path, out.path(), c.member), 0);
    EXPECT_EQ(ReadFile(out.File(arc::SafeLeafName(c.member))).size(), c.size);
    if (*c.folder != '\0') {
      EXPECT_EQ(lzhar::Extract(path, out.path(), c.folder), code::kNotFindArcFile);
    }
  }
}

TEST(LzhHeader, SizesFromThe64BitRecord) {
  TempDir dir;
  // The 32-bit fields left at zero: only the 64-bit record gives the sizes.
  const Bytes data = Text("sixty-four bit sizes\n");
  Bytes small = Concat({Level2Member64("small.txt", "-lh0-", data, data.size(), Crc16(data.data(), data.size())), Bytes{0}});
  const auto m = Members(small);
  Put32(small, 7, 0);
  Put32(small, 11, 0);
  FixHeaderCrc(small, m[0]);
  EXPECT_EQ(TestBytes(dir, small), 0);
  // A member of 4 GiB + 1 bytes: its header and the walk (the full decode is a test of the library).
  const Bytes big = Concat({Level2Member64("big.bin", "-lh5-", ZeroRunStream(4, 256), ZeroRunSize(256), 0), Bytes{0}});
  lzhar::ArchiveFile file;
  ASSERT_EQ(file.Open(dir.Write("big.lzh", big)), 0);
  lzhar::MemberHeader h;
  ASSERT_EQ(lzhar::ReadHeader(file, 0, h), lzhar::HeaderStatus::kOk);
  EXPECT_EQ(h.originalSize, (uint64_t{1} << 32) + 1);
  EXPECT_EQ(h.dataOffset() + h.compressedSize, big.size() - 1);
  EXPECT_EQ(lzhar::CheckArchive(dir.File("big.lzh"), 1), 1);
}

// ---------------------------------------------------------------------------------------------
// Damage to the first member is reported, never skipped: in plain files and behind stubs, with
// several members or one, whatever is damaged in the header.
TEST(LzhStart, ADamagedFirstMemberIsNeverSkipped) {
  const Bytes mz = ReadFile(Fixture("sfx_mz.exe"));
  const Bytes hu = ReadFile(Fixture("sfx_hu.x"));
  const Bytes several = ReadFile(Fixture("lh5_level1.lzh"));
  const struct {
    const char* name;
    Bytes stub;
  } stubs[] = {{"plain", {}},
               {"MZ", Bytes(mz.begin(), mz.end() - static_cast<long>(several.size()))},
               {"HU", Bytes(hu.begin(), hu.end() - static_cast<long>(ReadFile(Fixture("lh5_level2.lzh")).size()))}};
  const struct {
    const char* name;
    Bytes archive;
  } archives[] = {{"several members", several},
                  {"one member", Concat({Level0Member("one.txt", Text("the only member\n")), Bytes{0}})}};
  const struct {
    const char* name;
    void (*apply)(Bytes&, size_t);
  } damages[] = {
      {"size byte zeroed", [](Bytes& b, size_t h) { b[h] = 0; }},
      {"two method bytes changed", [](Bytes& b, size_t h) { b[h + 3] = 'x', b[h + 4] = 'y'; }},
      {"a bit of the size byte", [](Bytes& b, size_t h) { b[h] ^= 0x08; }},
      {"a bit of the compressed size", [](Bytes& b, size_t h) { b[h + 8] ^= 0x04; }},
      {"a bit of the level byte", [](Bytes& b, size_t h) { b[h + 20] ^= 0x04; }},
      {"a bit of the name", [](Bytes& b, size_t h) { b[h + 23] ^= 0x01; }},
  };
  TempDir dir;
  for (const auto& stub : stubs) {
    for (const auto& archive : archives) {
      for (const auto& damage : damages) {
        SCOPED_TRACE(std::string(stub.name) + ", " + archive.name + ", " + damage.name);
        Bytes b = Concat({stub.stub, archive.archive});
        damage.apply(b, stub.stub.size());
        const std::string path = dir.Write("damaged.exe", b);
        const int rc = lzhar::Test(path);
        EXPECT_TRUE(rc == code::kHeaderCrc || rc == code::kHeaderBroken) << std::hex << rc;
        EXPECT_EQ(lzhar::CheckArchive(path, 0), 1);  // still an LZH archive, a damaged one
      }
    }
  }
  // A size byte zeroed further on reads like the end byte, but a header follows it.
  Bytes b = several;
  b[Members(several)[1].header] = 0;
  EXPECT_EQ(TestBytes(dir, b), code::kHeaderBroken);
  // Bytes in front of a plain archive that are no stub are damage too.
  EXPECT_EQ(TestBytes(dir, Concat({Filler(300), several})), code::kHeaderBroken);
}

// ---------------------------------------------------------------------------------------------
TEST(LzhTest, EveryDecodableMethodAndLevelPasses) {
  for (const char* name : kDecodable) {
    SCOPED_TRACE(name);
    EXPECT_EQ(lzhar::Test(Fixture(name)), 0);
    EXPECT_EQ(lzhar::CheckArchive(Fixture(name), 0), 1);
    EXPECT_EQ(lzhar::CheckArchive(Fixture(name), 1), 1);
    EXPECT_EQ(lzhar::CheckArchive(Fixture(name), 2), 1);
  }
}

TEST(LzhTest, UndecodableMethodsAreCountedAsSkipped) {
  EXPECT_EQ(lzhar::Test(Fixture("lh2_level1.lzh")), 2);  // two -lh2- files, the folder not counted
  EXPECT_EQ(lzhar::Test(Fixture("lh3_level2.lzh")), 2);
  EXPECT_EQ(lzhar::Test(Fixture("lh5_lh3_mixed.lzh")), 1);
  // Skipping is no fault for the full check.
  EXPECT_EQ(lzhar::CheckArchive(Fixture("lh2_level1.lzh"), 2), 1);

  TempDir dir;
  Bytes patched = ReadFile(Fixture("lh5_level0.lzh"));
  const auto members = Members(patched);
  ASSERT_EQ(members.size(), 3u);
  SetMethod(patched, members[0], "-lh2-");
  EXPECT_EQ(TestBytes(dir, patched), 1);
  SetMethod(patched, members[2], "-lh9-");
  EXPECT_EQ(TestBytes(dir, patched), 2);

  Bytes level2 = ReadFile(Fixture("lh5_level2.lzh"));
  const auto m2 = Members(level2);
  SetMethod(level2, m2[2], "-lh3-");
  EXPECT_EQ(TestBytes(dir, level2), 1);
}

TEST(LzhTest, AFaultWinsOverSkippedMembers) {
  TempDir dir;
  Bytes b = ReadFile(Fixture("lh5_lh3_mixed.lzh"));
  const auto members = Members(b);
  ASSERT_EQ(members.size(), 3u);
  b[members[1].data] ^= 0xFF;  // the stored hello.txt
  EXPECT_EQ(TestBytes(dir, b), code::kFileCrc);
}

TEST(LzhTest, FlippedDataByteIsACrcOrDataFault) {
  TempDir dir;
  for (const char* name : kDecodable) {
    SCOPED_TRACE(name);
    Bytes b = ReadFile(Fixture(name));
    const auto members = Members(b);
    ASSERT_FALSE(members.empty());
    const Member& m = members[0].compressed > 0 ? members[0] : members[1];
    b[m.data + m.compressed / 2] ^= 0x10;
    const int rc = TestBytes(dir, b);
    if (std::string(name).rfind("lh0", 0) == 0) {
      EXPECT_EQ(rc, code::kFileCrc);
    } else {
      EXPECT_TRUE(rc == code::kFileCrc || rc == code::kHuffmanCode) << std::hex << rc;
    }
    EXPECT_EQ(lzhar::CheckArchive(dir.File("a.lzh"), 2), 0);
    EXPECT_EQ(lzhar::CheckArchive(dir.File("a.lzh"), 0), 1);  // still an LZH archive
    EXPECT_EQ(lzhar::CheckArchive(dir.File("a.lzh"), 1), 1);  // its headers are sound
  }
}

TEST(LzhTest, StoredCrcFieldChangedIsACrcFault) {
  TempDir dir;
  Bytes b = ReadFile(Fixture("lh5_level2.lzh"));
  const auto m = Members(b);
  b[m[0].header + 21] ^= 0x01;  // the member CRC inside the header
  FixHeaderCrc(b, m[0]);
  EXPECT_EQ(TestBytes(dir, b), code::kFileCrc);
}

TEST(LzhTest, HeaderChecksumAndHeaderCrc) {
  TempDir dir;
  for (const char* name : {"lh5_level0.lzh", "lh5_level1.lzh"}) {
    SCOPED_TRACE(name);
    Bytes b = ReadFile(Fixture(name));
    const auto m = Members(b);
    Bytes first = b;
    first[m[0].header + 1] ^= 0x01;
    EXPECT_EQ(TestBytes(dir, first), code::kHeaderCrc);
    Bytes second = b;
    second[m[1].header + 24] ^= 0x20;  // a name byte of the second member
    EXPECT_EQ(TestBytes(dir, second), code::kHeaderCrc);
  }
  Bytes l2 = ReadFile(Fixture("lh5_level2.lzh"));
  const auto m = Members(l2);
  ASSERT_NE(m[0].crcField, 0u);
  Bytes crc = l2;
  crc[m[0].crcField] ^= 0x01;
  EXPECT_EQ(TestBytes(dir, crc), code::kHeaderCrc);
  Bytes size = l2;
  size[m[2].header + 12] ^= 0x01;  // original size of the last member
  EXPECT_EQ(TestBytes(dir, size), code::kHeaderCrc);
  EXPECT_EQ(lzhar::CheckArchive(dir.File("a.lzh"), 1), 0);
}

TEST(LzhTest, TruncationIsAFaultAtEveryPoint) {
  TempDir dir;
  const Bytes b = ReadFile(Fixture("lh5_level1.lzh"));
  const auto m = Members(b);
  ASSERT_EQ(m.size(), 3u);
  // Inside the second header.
  EXPECT_EQ(TestBytes(dir, Bytes(b.begin(), b.begin() + m[1].header + 10)), code::kHeaderBroken);
  EXPECT_EQ(TestBytes(dir, Bytes(b.begin(), b.begin() + m[1].header + 30)), code::kHeaderBroken);
  // Inside the last member's compressed data.
  EXPECT_EQ(TestBytes(dir, Bytes(b.begin(), b.begin() + m[2].data + 5)), code::kCannotRead);
  EXPECT_EQ(TestBytes(dir, Bytes(b.begin(), b.end() - 2)), code::kCannotRead);
  // Without the end byte the archive ends cleanly at a header boundary.
  EXPECT_EQ(TestBytes(dir, Bytes(b.begin(), b.end() - 1)), 0);
  // Level 2, cut inside the extended headers.
  const Bytes l2 = ReadFile(Fixture("lh5_level2.lzh"));
  const auto m2 = Members(l2);
  EXPECT_EQ(TestBytes(dir, Bytes(l2.begin(), l2.begin() + m2[1].header + 25)), code::kHeaderBroken);
}

TEST(LzhTest, NotAnArchiveMissingAndEmpty) {
  TempDir dir;
  EXPECT_EQ(TestBytes(dir, Bytes{}), code::kFileStyle);
  EXPECT_EQ(TestBytes(dir, Filler(5000)), code::kFileStyle);
  EXPECT_EQ(TestBytes(dir, Bytes{0}), code::kFileStyle);
  EXPECT_EQ(lzhar::Test(Fixture("numbers.txt")), code::kFileStyle);
  EXPECT_EQ(lzhar::Test(dir.File("missing.lzh")), code::kArchiveOpen);
  EXPECT_EQ(lzhar::Test(dir.path()), code::kArchiveOpen);  // a folder
  EXPECT_EQ(lzhar::CheckArchive(dir.File("missing.lzh"), 0), 0);
  EXPECT_EQ(lzhar::CheckArchive(dir.File("missing.lzh"), 2), 0);
  EXPECT_EQ(lzhar::CheckArchive(dir.File("a.lzh"), 0), 0);
}

TEST(LzhTest, DataAfterTheEndByteIsIgnored) {
  TempDir dir;
  Bytes b = ReadFile(Fixture("lh5_level0.lzh"));
  const Bytes tail = Filler(300);
  b.insert(b.end(), tail.begin(), tail.end());
  EXPECT_EQ(TestBytes(dir, b), 0);
}

TEST(LzhTest, HostileSizesGiveErrorCodes) {
  TempDir dir;
  const Bytes good = ReadFile(Fixture("lh5_level0.lzh"));
  const auto m = Members(good);
  {
    Bytes b = good;  // compressed size far beyond the file
    Put32(b, m[2].header + 7, 0xFFFFFFF0u);
    FixChecksum(b, m[2].header);
    EXPECT_EQ(TestBytes(dir, b), code::kCannotRead);
  }
  {
    Bytes b = good;  // original size 4 GiB - 1 on a small compressed member
    Put32(b, m[0].header + 11, 0xFFFFFFFFu);
    FixChecksum(b, m[0].header);
    const int rc = TestBytes(dir, b);
    EXPECT_TRUE(rc == code::kHuffmanCode || rc == code::kFileCrc) << std::hex << rc;
  }
  {
    Bytes b = good;  // a stored member whose sizes disagree
    Put32(b, m[1].header + 11, 5);
    FixChecksum(b, m[1].header);
    EXPECT_EQ(TestBytes(dir, b), code::kHeaderBroken);
  }
  {
    // Level 2: an extended header longer than the header, CRC unrepairable.
    Bytes b = ReadFile(Fixture("lh5_level2.lzh"));
    Put16(b, 24, 0xFFF0);
    EXPECT_EQ(TestBytes(dir, b), code::kHeaderBroken);
  }
  {
    // Level 1: extended header sizes larger than the member's size field.
    Bytes b = ReadFile(Fixture("lh5_level1.lzh"));
    const auto m1 = Members(b);
    Put32(b, m1[0].header + 7, 3);
    FixChecksum(b, m1[0].header);
    EXPECT_EQ(TestBytes(dir, b), code::kHeaderBroken);
  }
  {
    // A method field that is no method.
    Bytes b = good;
    b[m[0].header + 6] = 'x';
    FixChecksum(b, m[0].header);
    EXPECT_EQ(TestBytes(dir, b), code::kHeaderBroken);
  }
}

TEST(LzhTest, ManyMembersAndEmptyMembers) {
  TempDir dir;
  Bytes b;
  for (int i = 0; i < 300; ++i) {
    const Bytes m = Level0Member("f" + std::to_string(i), i % 3 == 0 ? Bytes{} : Text(std::to_string(i)));
    b.insert(b.end(), m.begin(), m.end());
  }
  b.push_back(0);
  EXPECT_EQ(TestBytes(dir, b), 0);
}

// ---------------------------------------------------------------------------------------------
class LzhSelfExtracting : public ::testing::Test {
 protected:
  const Bytes archive_ = ReadFile(Fixture("lh5_level2.lzh"));
  TempDir dir_;
  std::string Make(const Bytes& stub, const char* name = "sfx.exe") {
    return dir_.Write(name, Concat({stub, archive_}));
  }
};

TEST_F(LzhSelfExtracting, FoundBehindStubsOfAnySize) {
  for (size_t size : {size_t{2}, size_t{100}, size_t{65536}, size_t{70 * 1024}, size_t{1024 * 1024 + 5}}) {
    SCOPED_TRACE(size);
    Bytes stub = Filler(size, static_cast<uint8_t>(size));
    stub[0] = 'M';
    stub[1] = 'Z';
    const std::string path = Make(stub);
    EXPECT_EQ(lzhar::CheckArchive(path, 0), 1);
    EXPECT_EQ(lzhar::Test(path), 0);
    EXPECT_EQ(lzhar::CheckArchive(path, 2), 1);
  }
}

TEST_F(LzhSelfExtracting, StrayMethodStringAndFalseHeaderInTheStubAreSkipped) {
  Bytes stub = Filler(4000);
  stub[0] = 'M';
  stub[1] = 'Z';
  const Bytes stray = Text("uses -lh5- compression");
  std::copy(stray.begin(), stray.end(), stub.begin() + 100);
  // A header-shaped block with a wrong checksum, and one with a wrong level 2 CRC.
  Bytes fake = Level0Member("fake.txt", Text("fake"), "-lh5-");
  fake[1] ^= 0xFF;
  std::copy(fake.begin(), fake.end(), stub.begin() + 1000);
  Bytes fake2(archive_.begin(), archive_.begin() + 60);
  fake2[40] ^= 0x01;
  std::copy(fake2.begin(), fake2.end(), stub.begin() + 2000);
  const std::string path = Make(stub);
  EXPECT_EQ(lzhar::CheckArchive(path, 0), 1);
  EXPECT_EQ(lzhar::Test(path), 0);
  ASSERT_EQ(lzhar::Extract(path, dir_.path(), "numbers.txt"), 0);
  EXPECT_EQ(ReadFile(dir_.File("numbers.txt")), ReadFile(Fixture("numbers.txt")));
}

TEST_F(LzhSelfExtracting, MzStubThatPassesForALevel0ChecksumIsStillAStub) {
  // "MZ" read as a level 0 header: length 0x4D, checksum 'Z'; level byte 0 (the initial IP).
  Bytes stub = Filler(2000, 5);
  stub[0] = 'M';
  stub[1] = 'Z';
  stub[20] = 0;
  stub[21] = 0;
  unsigned sum = 0;
  for (size_t i = 2; i < 0x4D + 2; ++i) sum += i == 30 ? 0 : stub[i];
  stub[30] = static_cast<uint8_t>('Z' - sum);
  const std::string path = Make(stub);
  EXPECT_EQ(lzhar::CheckArchive(path, 0), 1);
  EXPECT_EQ(lzhar::Test(path), 0);
}

TEST_F(LzhSelfExtracting, X68SelfExtractor) {
  Bytes stub = Filler(3000, 9);
  stub[0] = 'H';
  stub[1] = 'U';
  const std::string path = Make(stub, "sfx.x");
  EXPECT_EQ(lzhar::CheckArchive(path, 0), 1);
  EXPECT_EQ(lzhar::Test(path), 0);
}

TEST_F(LzhSelfExtracting, StubWithoutArchiveIsNoLzh) {
  Bytes stub = Filler(80 * 1024, 3);
  stub[0] = 'M';
  stub[1] = 'Z';
  const std::string path = dir_.Write("plain.exe", stub);
  EXPECT_EQ(lzhar::CheckArchive(path, 0), 0);
  EXPECT_EQ(lzhar::Test(path), code::kFileStyle);
}

TEST_F(LzhSelfExtracting, DenseFalseHeadersEndTheScan) {
  // Every 12 bytes a level 2 header shape claiming a 25 KiB header: bounded work, no archive.
  const Bytes unit = Text("ab-lh5-xxxxx");
  Bytes stub;
  while (stub.size() < 2 * 1024 * 1024) stub.insert(stub.end(), unit.begin(), unit.end());
  for (size_t i = 8; i < stub.size(); i += 12) stub[i] = 2;
  stub[0] = 'M';
  stub[1] = 'Z';
  stub[2] = 'Z';
  const std::string path = dir_.Write("dense.exe", stub);
  EXPECT_EQ(lzhar::CheckArchive(path, 0), 0);
  EXPECT_EQ(lzhar::Test(path), code::kFileStyle);
}

TEST_F(LzhSelfExtracting, DamageBehindTheStubIsReported) {
  Bytes stub = Filler(500, 4);
  stub[0] = 'M';
  stub[1] = 'Z';
  Bytes b = Concat({stub, archive_});
  const auto m = Members(b, stub.size());
  ASSERT_EQ(m.size(), 3u);
  b[m[0].data + 100] ^= 0x40;
  const std::string path = dir_.Write("bad.exe", b);
  EXPECT_EQ(lzhar::CheckArchive(path, 0), 1);
  const int rc = lzhar::Test(path);
  EXPECT_TRUE(rc == code::kFileCrc || rc == code::kHuffmanCode) << std::hex << rc;
}

// ---------------------------------------------------------------------------------------------
TEST(LzhExtract, WritesTheMemberAndVerifiesIt) {
  const Bytes numbers = ReadFile(Fixture("numbers.txt"));
  for (const char* name : kDecodable) {
    SCOPED_TRACE(name);
    TempDir dir;
    ASSERT_EQ(lzhar::Extract(Fixture(name), dir.path() + "/", "numbers.txt"), 0);
    EXPECT_EQ(ReadFile(dir.File("numbers.txt")), numbers);
  }
}

TEST(LzhExtract, MemberNamesWithFoldersAndCase) {
  TempDir dir;
  const std::string a = Fixture("lh5_level2.lzh");
  ASSERT_EQ(lzhar::Extract(a, dir.path(), "sub/inner.txt"), 0);
  const Bytes inner = ReadFile(dir.File("inner.txt"));
  EXPECT_EQ(inner.size(), 3200u);
  std::filesystem::remove(dir.File("inner.txt"));
  ASSERT_EQ(lzhar::Extract(a, dir.path(), "sub\\inner.txt"), 0);
  EXPECT_EQ(ReadFile(dir.File("inner.txt")), inner);
  ASSERT_EQ(lzhar::Extract(a, dir.path(), "NUMBERS.TXT"), 0);  // written under the requested name
  EXPECT_EQ(ReadFile(dir.File("NUMBERS.TXT")), ReadFile(Fixture("numbers.txt")));
  EXPECT_FALSE(Exists(dir.File("sub")));
}

TEST(LzhExtract, ShiftJisNamesMatchUtf8Requests) {
  TempDir dir;
  const Bytes data = Text("sjis\n");
  // "ソ" is 0x83 0x5C in Shift-JIS: its second byte is a backslash, not a folder separator.
  const Bytes b = Concat({Level0Member("dir\\\x83\x5C.txt", data),
                          Level0Member("\x83\x65\x83\x58\x83\x67.TXT", Text("other\n")), Bytes{0}});
  const std::string path = dir.Write("sjis.lzh", b);
  EXPECT_EQ(lzhar::Test(path), 0);
  const TempDir out;
  ASSERT_EQ(lzhar::Extract(path, out.path(), "\u30BD.txt"), 0);  // ソ.txt
  EXPECT_EQ(ReadFile(out.File("\u30BD.txt")), data);
  ASSERT_EQ(lzhar::Extract(path, out.path(), "dir/\u30BD.txt"), 0);
  ASSERT_EQ(lzhar::Extract(path, out.path(), "\u30C6\u30B9\u30C8.txt"), 0);  // テスト.txt, case aside
  EXPECT_EQ(ReadFile(out.File("\u30C6\u30B9\u30C8.txt")), Text("other\n"));
  EXPECT_EQ(lzhar::Extract(path, out.path(), ".txt"), code::kNotFindArcFile);
}

TEST(LzhExtract, MissingMemberFolderAndSkippedMethod) {
  TempDir dir;
  EXPECT_EQ(lzhar::Extract(Fixture("lh5_level2.lzh"), dir.path(), "nothing.txt"), code::kNotFindArcFile);
  EXPECT_EQ(lzhar::Extract(Fixture("lh5_level2.lzh"), dir.path(), "sub"), code::kNotFindArcFile);
  EXPECT_EQ(lzhar::Extract(Fixture("lh2_level1.lzh"), dir.path(), "numbers.txt"), code::kMethod);
  EXPECT_EQ(lzhar::Extract(dir.File("none.lzh"), dir.path(), "numbers.txt"), code::kArchiveOpen);
  EXPECT_EQ(lzhar::Extract(Fixture("numbers.txt"), dir.path(), "numbers.txt"), code::kFileStyle);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(LzhExtract, FailedExtractionLeavesNoFile) {
  TempDir dir;
  Bytes b = ReadFile(Fixture("lh0_level0.lzh"));
  const auto m = Members(b);
  b[m[1].data + 3000] ^= 0x01;
  const std::string path = dir.Write("bad.lzh", b);
  const TempDir out;
  EXPECT_EQ(lzhar::Extract(path, out.path(), "numbers.txt"), code::kFileCrc);
  EXPECT_FALSE(Exists(out.File("numbers.txt")));
  // An older file of that name is not left half-written either.
  WriteFile(out.File("numbers.txt"), Text("old"));
  EXPECT_EQ(lzhar::Extract(path, out.path(), "numbers.txt"), code::kFileCrc);
  EXPECT_FALSE(Exists(out.File("numbers.txt")));
}

TEST(LzhExtract, StoredPathsNeverLeaveTheDestination) {
  TempDir dir;
  const Bytes data = Text("payload\n");
  const Bytes b = Concat({Level0Member("..\\..\\evil.txt", data), Level0Member("/abs/evil2.txt", data),
                          Level0Member("..", data), Bytes{0}});
  const std::string path = dir.Write("evil.lzh", b);
  EXPECT_EQ(lzhar::Test(path), 0);
  const TempDir root;
  const std::string dest = root.path() + "/deep/dest";
  std::filesystem::create_directories(dest);
  ASSERT_EQ(lzhar::Extract(path, dest, "evil.txt"), 0);
  EXPECT_EQ(ReadFile(dest + "/evil.txt"), data);
  ASSERT_EQ(lzhar::Extract(path, dest, "evil2.txt"), 0);
  EXPECT_TRUE(Exists(dest + "/evil2.txt"));
  std::filesystem::remove(dest + "/evil.txt");
  ASSERT_EQ(lzhar::Extract(path, dest, "../../evil.txt"), 0);  // exact stored name; only its leaf is written
  EXPECT_TRUE(Exists(dest + "/evil.txt"));
  EXPECT_FALSE(Exists(root.path() + "/evil.txt"));
  EXPECT_FALSE(Exists(root.path() + "/evil2.txt"));
  EXPECT_EQ(lzhar::Extract(path, dest, ".."), code::kNotFileName);
  // A symbolic link at the target is not followed.
  std::filesystem::create_symlink(root.path() + "/outside.txt", dest + "/link.txt");
  const Bytes linked = Concat({Level0Member("link.txt", data), Bytes{0}});
  EXPECT_EQ(lzhar::Extract(dir.Write("link.lzh", linked), dest, "link.txt"), code::kReadOnly);
  EXPECT_FALSE(Exists(root.path() + "/outside.txt"));
}

TEST(LzhExtract, DestinationProblems) {
  TempDir dir;
  const std::string a = Fixture("lh5_level0.lzh");
  EXPECT_EQ(lzhar::Extract(a, dir.File("no/such/folder"), "numbers.txt"), code::kReadOnly);
  WriteFile(dir.File("plainfile"), Text("x"));
  EXPECT_EQ(lzhar::Extract(a, dir.File("plainfile"), "numbers.txt"), code::kReadOnly);
}

TEST(LzhExtract, DiskFullRemovesThePartialFile) {
  TempDir dir;
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 1000;  // numbers.txt is 6393 bytes
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int rc = lzhar::Extract(Fixture("lh5_level0.lzh"), dir.path(), "numbers.txt");
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(rc, code::kDiskSpace);
  EXPECT_FALSE(Exists(dir.File("numbers.txt")));
}

// ---------------------------------------------------------------------------------------------
TEST(LzhCommand, TestAndExtractLines) {
  TempDir dir;
  const std::string good = Fixture("lh5_level1.lzh");
  EXPECT_EQ(lzhar::RunCommand(("t -+ -y1 -gm1 \"" + good + "\"").c_str()), 0);
  EXPECT_EQ(lzhar::RunCommand(("t -+ -y1 -gm1 \"" + Fixture("lh3_level2.lzh") + "\"").c_str()), 2);
  EXPECT_EQ(lzhar::RunCommand(("x -+ \"" + good + "\" \"" + dir.path() + "/\" \"numbers.txt\"").c_str()), 0);
  EXPECT_EQ(ReadFile(dir.File("numbers.txt")), ReadFile(Fixture("numbers.txt")));
  EXPECT_EQ(lzhar::RunCommand(("x -+ \"" + good + "\" \"" + dir.path() + "/\" \"gone.txt\"").c_str()),
            code::kNotFindArcFile);
  EXPECT_EQ(lzhar::RunCommand("q \"a.lzh\""), code::kCommandName);
  EXPECT_EQ(lzhar::RunCommand("t -+ -y1"), code::kNoArcName);
  EXPECT_EQ(lzhar::RunCommand(("x -+ \"" + good + "\"").c_str()), code::kNotFileName);
  EXPECT_EQ(lzhar::RunCommand(nullptr), code::kCommandName);
  EXPECT_EQ(lzhar::RunCheck(nullptr, 0), 0);
}

TEST(LzhCommand, BusyWhileAnotherCallRuns) {
  std::atomic<bool> held{false};
  std::atomic<bool> release{false};
  std::thread holder([&] {
    arc::LibraryScope scope(lzhar::Lock(), true);
    held = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  while (!held) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(lzhar::Running(), 1);
  const std::string line = "t -+ -y1 -gm1 \"" + Fixture("lh5_level0.lzh") + "\"";
  EXPECT_EQ(lzhar::RunCommand(line.c_str()), code::kAlreadyRunning);
  // The check entry waits for its turn instead of refusing.
  std::atomic<int> checked{-1};
  std::thread checker([&] { checked = lzhar::RunCheck(Fixture("lh5_level0.lzh").c_str(), 2); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(checked.load(), -1);
  release = true;
  holder.join();
  checker.join();
  EXPECT_EQ(checked.load(), 1);
  EXPECT_EQ(lzhar::Running(), 0);
  EXPECT_EQ(lzhar::RunCommand(line.c_str()), 0);
}
