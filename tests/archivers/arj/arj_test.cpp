// UNARJ32J.DLL entries over real arj archives and copies corrupted at run time: methods 0-4,
// several members, garbled members, folders, volumes, self-extractors, broken headers and data.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "archiver_common.h"

extern "C" {
int Unarj(void* window, const char* commandLine, char* output, unsigned long outputSize);
int UnarjCheckArchive(const char* archivePath, int mode);
unsigned short UnarjGetVersion(void);
int UnarjGetRunning(void);
}

namespace {

using Bytes = std::vector<unsigned char>;
namespace code = arc::code;

std::string Fixture(const std::string& name) { return std::string(ORVEX2_TEST_DATA) + "/arj/" + name; }

Bytes ReadFile(const std::string& path) {
  Bytes b;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return b;
  unsigned char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
  std::fclose(f);
  return b;
}

int RunTest(const std::string& path) {
  const std::string line = "t -+ -y1 -hm1 \"" + path + "\"";
  return Unarj(nullptr, line.c_str(), nullptr, 0);
}

uint16_t Le16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t Le32(const Bytes& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
void PutLe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}

// Where the headers of an archive (starting at `start`) are, walked the plain way.
struct HeaderInfo {
  size_t at;       // the 0x60 0xEA id
  size_t size;     // basic header size
  size_t dataAt;   // after the extended headers
  uint32_t compressed;
  uint8_t method;
  uint8_t type;
};

std::vector<HeaderInfo> Headers(const Bytes& b, size_t start = 0) {
  std::vector<HeaderInfo> out;
  size_t at = start;
  while (at + 4 <= b.size()) {
    const size_t size = Le16(b, at + 2);
    if (size == 0) break;
    HeaderInfo h{at, size, 0, Le32(b, at + 4 + 12), b[at + 4 + 5], b[at + 4 + 6]};
    size_t q = at + 4 + size + 4;
    while (Le16(b, q) != 0) q += 2 + Le16(b, q) + 4;
    h.dataAt = q + 2;
    out.push_back(h);
    at = h.dataAt + (h.type == 2 ? 0 : h.compressed);
  }
  return out;
}

void FixHeaderCrc(Bytes& b, const HeaderInfo& h) {
  PutLe32(b, h.at + 4 + h.size, static_cast<uint32_t>(crc32(0, b.data() + h.at + 4, static_cast<uInt>(h.size))));
}

class ArjTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const Bytes& b) {
    const std::string path = ::testing::TempDir() + "arj_" + std::to_string(getpid()) + "_" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f != nullptr) {
      if (!b.empty()) std::fwrite(b.data(), 1, b.size(), f);
      std::fclose(f);
    }
    files_.push_back(path);
    return path;
  }
  void TearDown() override {
    for (const auto& f : files_) std::remove(f.c_str());
  }
  std::vector<std::string> files_;
};

// ---------------------------------------------------------------------------------------------

TEST_F(ArjTest, ArchivesOfEveryMethodPass) {
  for (const char* name : {"m0.arj", "m1.arj", "m2.arj", "m3.arj", "m4.arj", "multi.arj"}) {
    SCOPED_TRACE(name);
    const Bytes b = ReadFile(Fixture(name));
    ASSERT_FALSE(b.empty());
    EXPECT_EQ(RunTest(Fixture(name)), 0);
    EXPECT_EQ(UnarjCheckArchive(Fixture(name).c_str(), 0), 1);
    EXPECT_EQ(UnarjCheckArchive(Fixture(name).c_str(), 2), 1);
  }
  // The method fixtures really hold compressed members of their method.
  for (int m = 0; m <= 4; ++m) {
    const Bytes b = ReadFile(Fixture("m" + std::to_string(m) + ".arj"));
    const auto hs = Headers(b);
    ASSERT_GE(hs.size(), 3u);
    EXPECT_EQ(hs[1].method, m);
  }
}

TEST_F(ArjTest, FoldersVolumesAndGarbledMembers) {
  // The folder members of multi.arj are passed over, not counted.
  const auto hs = Headers(ReadFile(Fixture("multi.arj")));
  bool folder = false;
  for (const auto& h : hs) folder = folder || h.type == 3;
  EXPECT_TRUE(folder);
  EXPECT_EQ(RunTest(Fixture("multi.arj")), 0);
  // Each volume part carries its own CRC and is tested on its own.
  EXPECT_EQ(RunTest(Fixture("vol.arj")), 0);
  EXPECT_EQ(RunTest(Fixture("vol.a01")), 0);
  // Garbled (password) members cannot be tested: two skipped, and the CRC check still passes.
  EXPECT_EQ(RunTest(Fixture("garbled.arj")), 2);
  EXPECT_EQ(UnarjCheckArchive(Fixture("garbled.arj").c_str(), 2), 1);
}

TEST_F(ArjTest, UnknownMethodIsSkipped) {
  Bytes b = ReadFile(Fixture("m1.arj"));
  auto hs = Headers(b);
  b[hs[1].at + 4 + 5] = 7;
  FixHeaderCrc(b, hs[1]);
  EXPECT_EQ(RunTest(Write("method7.arj", b)), 1);
}

TEST_F(ArjTest, DamagedDataFailsForEveryMethod) {
  for (int m = 0; m <= 4; ++m) {
    SCOPED_TRACE(m);
    const Bytes orig = ReadFile(Fixture("m" + std::to_string(m) + ".arj"));
    const auto hs = Headers(orig);
    for (double where : {0.0, 0.5, 0.99}) {
      Bytes b = orig;
      b[hs[1].dataAt + static_cast<size_t>(where * (hs[1].compressed - 1))] ^= 0x24;
      const std::string path = Write("data" + std::to_string(m) + ".arj", b);
      const int rc = RunTest(path);
      SCOPED_TRACE(where);
      if (m == 0) EXPECT_EQ(rc, code::kFileCrc);
      else EXPECT_TRUE(rc == code::kFileCrc || rc == code::kHuffmanCode) << std::hex << rc;
      EXPECT_EQ(UnarjCheckArchive(path.c_str(), 2), 0);
      // Every mode but 2 only recognises the archive.
      EXPECT_EQ(UnarjCheckArchive(path.c_str(), 0), 1);
      EXPECT_EQ(UnarjCheckArchive(path.c_str(), 1), 1);
    }
  }
  // A wrong CRC in the header (with a valid header CRC) is a data CRC fault as well.
  Bytes b = ReadFile(Fixture("m3.arj"));
  const auto hs = Headers(b);
  PutLe32(b, hs[2].at + 4 + 20, Le32(b, hs[2].at + 4 + 20) ^ 1);
  FixHeaderCrc(b, hs[2]);
  EXPECT_EQ(RunTest(Write("crc.arj", b)), code::kFileCrc);
}

TEST_F(ArjTest, BrokenHeaders) {
  const Bytes orig = ReadFile(Fixture("multi.arj"));
  const auto hs = Headers(orig);
  ASSERT_GE(hs.size(), 3u);
  {  // a byte of a member's name changed: header CRC
    Bytes b = orig;
    b[hs[2].at + 4 + hs[2].size - 2] ^= 0x01;
    EXPECT_EQ(RunTest(Write("hcrc.arj", b)), code::kHeaderCrc);
  }
  {  // the main header's CRC broken: still an ARJ archive starting at 0, damaged there
    Bytes b = orig;
    b[hs[0].at + 4 + 1] ^= 0x01;
    const std::string path = Write("mcrc.arj", b);
    EXPECT_EQ(RunTest(path), code::kHeaderCrc);
    EXPECT_EQ(UnarjCheckArchive(path.c_str(), 0), 1);
  }
  {  // header id wrong where the second member must start
    Bytes b = orig;
    b[hs[2].at] = 0x61;
    EXPECT_EQ(RunTest(Write("hid.arj", b)), code::kHeaderBroken);
  }
  {  // basic header size beyond 2600
    Bytes b = orig;
    b[hs[1].at + 2] = 0x29;
    b[hs[1].at + 3] = 0x0A;
    EXPECT_EQ(RunTest(Write("hsize.arj", b)), code::kHeaderBroken);
  }
  {  // first_hdr_size beyond the header (with a valid CRC)
    Bytes b = orig;
    b[hs[1].at + 4] = static_cast<unsigned char>(hs[1].size + 1);
    FixHeaderCrc(b, hs[1]);
    EXPECT_EQ(RunTest(Write("hfirst.arj", b)), code::kHeaderBroken);
  }
  {  // a member header claiming to be a main header
    Bytes b = orig;
    b[hs[1].at + 4 + 6] = 2;
    FixHeaderCrc(b, hs[1]);
    EXPECT_EQ(RunTest(Write("htype.arj", b)), code::kHeaderBroken);
  }
  {  // unknown file type: counted as skipped
    Bytes b = orig;
    b[hs[1].at + 4 + 6] = 9;
    FixHeaderCrc(b, hs[1]);
    EXPECT_EQ(RunTest(Write("htype9.arj", b)), 1);
  }
  {  // stored member whose sizes disagree
    Bytes b = orig;
    for (const auto& h : hs) {
      if (h.type != 2 && h.method == 0 && h.compressed > 0) {
        PutLe32(b, h.at + 4 + 16, h.compressed + 1);
        FixHeaderCrc(b, h);
        break;
      }
    }
    EXPECT_EQ(RunTest(Write("hstored.arj", b)), code::kHeaderBroken);
  }
  {  // compressed size reaching past the end of the file
    Bytes b = orig;
    PutLe32(b, hs[1].at + 4 + 12, 0x7FFFFFF0);
    FixHeaderCrc(b, hs[1]);
    EXPECT_EQ(RunTest(Write("hcsize.arj", b)), code::kCannotRead);
  }
}

TEST_F(ArjTest, ExtendedHeadersAreSkipped) {
  const Bytes orig = ReadFile(Fixture("m1.arj"));
  const auto hs = Headers(orig);
  // Insert one extended header (size 5, data, CRC) after the first member's basic header.
  const size_t at = hs[1].at + 4 + hs[1].size + 4;
  Bytes ext = {5, 0, 'o', 'r', 'v', 'e', 'x', 0, 0, 0, 0};
  PutLe32(ext, 7, static_cast<uint32_t>(crc32(0, ext.data() + 2, 5)));
  Bytes b = orig;
  b.insert(b.begin() + static_cast<long>(at), ext.begin(), ext.end());
  EXPECT_EQ(RunTest(Write("ext.arj", b)), 0);
  // An extended header running past the end of the file.
  Bytes cut(b.begin(), b.begin() + static_cast<long>(at));
  cut.push_back(0xF0);
  cut.push_back(0xFF);
  cut.insert(cut.end(), 10, 0);
  EXPECT_EQ(RunTest(Write("extcut.arj", cut)), code::kHeaderBroken);
}

TEST_F(ArjTest, Truncation) {
  const Bytes orig = ReadFile(Fixture("m2.arj"));
  const auto hs = Headers(orig);
  struct Cut {
    size_t size;
    int expected;
  };
  const Cut cuts[] = {
      {orig.size() - 4, code::kHeaderBroken},                    // no end marker
      {hs[2].at + 10, code::kHeaderBroken},                       // inside the second header
      {hs[1].dataAt + hs[1].compressed / 2, code::kCannotRead},  // inside the first member's data
      {hs[1].at + 2, code::kHeaderBroken},                        // inside the first header's id/size
  };
  for (const Cut& c : cuts) {
    Bytes b(orig.begin(), orig.begin() + static_cast<long>(c.size));
    const std::string path = Write("cut.arj", b);
    EXPECT_EQ(RunTest(path), c.expected) << c.size;
    EXPECT_EQ(UnarjCheckArchive(path.c_str(), 2), 0);
  }
  // Only the main header left: its own header is fine, the member header is missing.
  Bytes b(orig.begin(), orig.begin() + static_cast<long>(hs[1].at));
  EXPECT_EQ(RunTest(Write("mainonly.arj", b)), code::kHeaderBroken);
}

TEST_F(ArjTest, NotArjAndUnopenable) {
  const std::string text = Write("text.arj", Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
  EXPECT_EQ(RunTest(text), code::kFileStyle);
  EXPECT_EQ(UnarjCheckArchive(text.c_str(), 0), 0);
  EXPECT_EQ(UnarjCheckArchive(text.c_str(), 2), 0);
  const std::string empty = Write("empty.arj", Bytes{});
  EXPECT_EQ(RunTest(empty), code::kFileStyle);
  const std::string missing = ::testing::TempDir() + "arj_no_such_file.arj";
  EXPECT_EQ(RunTest(missing), code::kArchiveOpen);
  EXPECT_EQ(UnarjCheckArchive(missing.c_str(), 0), 0);
  EXPECT_EQ(RunTest(::testing::TempDir()), code::kArchiveOpen);  // a folder
  // A FIFO must neither block nor pass.
  const std::string fifo = ::testing::TempDir() + "arj_fifo_" + std::to_string(getpid());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(RunTest(fifo), code::kArchiveOpen);
  std::remove(fifo.c_str());
}

TEST_F(ArjTest, SelfExtractors) {
  // arj's own ELF self-extractor.
  EXPECT_EQ(UnarjCheckArchive(Fixture("sfx.exe").c_str(), 0), 1);
  EXPECT_EQ(RunTest(Fixture("sfx.exe")), 0);
  const Bytes arc = ReadFile(Fixture("multi.arj"));
  const auto hs = Headers(arc);
  // An MZ stub.
  Bytes mz = {'M', 'Z'};
  mz.resize(3000, 0x90);
  // An ELF-like stub full of traps: stray ids, a header whose CRC is wrong, a valid header of
  // file type 0 (a member header, not a main header) and an id with size 0.
  Bytes elf = {0x7F, 'E', 'L', 'F', 2, 1, 1};
  elf.resize(5000, 0);
  for (size_t i = 100; i < 4000; i += 97) {
    elf[i] = 0x60;
    elf[i + 1] = 0xEA;
  }
  elf.insert(elf.end(), arc.begin() + static_cast<long>(hs[0].at),
             arc.begin() + static_cast<long>(hs[0].at + 4 + hs[0].size + 4));
  elf[elf.size() - 5] ^= 0x40;  // main header copy with a broken CRC
  elf.insert(elf.end(), arc.begin() + static_cast<long>(hs[1].at),
             arc.begin() + static_cast<long>(hs[1].dataAt));  // valid member header
  elf.insert(elf.end(), {0x60, 0xEA, 0x00, 0x00});
  for (const Bytes* stub : {&mz, &elf}) {
    Bytes b = *stub;
    b.insert(b.end(), arc.begin(), arc.end());
    const std::string path = Write("sfx.exe", b);
    EXPECT_EQ(UnarjCheckArchive(path.c_str(), 0), 1);
    EXPECT_EQ(UnarjCheckArchive(path.c_str(), 2), 1);
    EXPECT_EQ(RunTest(path), 0);
    // A damaged member behind the stub is found too.
    b[stub->size() + hs[1].dataAt + 10] ^= 0x10;
    const std::string bad = Write("sfxbad.exe", b);
    EXPECT_NE(RunTest(bad), 0);
    EXPECT_EQ(UnarjCheckArchive(bad.c_str(), 2), 0);
  }
  // A stub crowded with near-headers (size and type fit, CRC wrong) ends the scan quickly;
  // a real archive behind a few of them is still found.
  Bytes crowd = {'M', 'Z'};
  for (int i = 0; i < 20000; ++i) crowd.insert(crowd.end(), {0x60, 0xEA, 30, 0, 30, 1, 1, 0, 0, 0, 2});
  crowd.resize(crowd.size() + 40, 0);
  const std::string crowded = Write("crowd.exe", crowd);
  EXPECT_EQ(UnarjCheckArchive(crowded.c_str(), 0), 0);
  EXPECT_EQ(RunTest(crowded), code::kFileStyle);
  Bytes few(crowd.begin(), crowd.begin() + 2 + 11 * 100);
  few.insert(few.end(), arc.begin(), arc.end());
  EXPECT_EQ(RunTest(Write("few.exe", few)), 0);
  // Behind more than 4096 of them the scan has given up.
  Bytes many = crowd;
  many.insert(many.end(), arc.begin(), arc.end());
  EXPECT_EQ(UnarjCheckArchive(Write("many.exe", many).c_str(), 0), 0);
  // The stub alone is no archive.
  const std::string stubOnly = Write("stub.exe", elf);
  EXPECT_EQ(UnarjCheckArchive(stubOnly.c_str(), 0), 0);
  EXPECT_EQ(RunTest(stubOnly), code::kFileStyle);
}

// The main header damaged, in an archive that stores another ARJ archive: plain or behind a
// stub, the damage is reported and the inner archive is never tested in its place.
TEST_F(ArjTest, ADamagedMainHeaderIsNeverSkipped) {
  const Bytes nested = ReadFile(Fixture("nested.arj"));
  const Bytes sfx = ReadFile(Fixture("sfx.exe"));
  const auto hs = Headers(nested);
  ASSERT_EQ(hs.size(), 3u);
  ASSERT_EQ(hs[1].method, 0);  // the inner archive is stored
  const struct {
    const char* name;
    Bytes stub;
  } stubs[] = {{"plain", {}}, {"MZ", {'M', 'Z', 0x90, 0x01, 0x01, 0x00}}, {"arj's ELF", Bytes(sfx.begin(), sfx.begin() + 42568)}};
  const struct {
    const char* name;
    size_t at;
    uint8_t mask;
  } damages[] = {{"id", 0, 0x01}, {"id second byte", 1, 0x40}, {"size", 2, 0x04}, {"first header size", 4, 0x02},
                 {"file type", 4 + 6, 0x01}, {"name", 4 + 30, 0x20}, {"header CRC", 4 + hs[0].size, 0x80}};
  for (const auto& stub : stubs) {
    for (const auto& damage : damages) {
      SCOPED_TRACE(std::string(stub.name) + ", " + damage.name);
      Bytes b = stub.stub;
      b.insert(b.end(), nested.begin(), nested.end());
      b[stub.stub.size() + damage.at] ^= damage.mask;
      const std::string path = Write("nested.exe", b);
      const int rc = RunTest(path);
      EXPECT_TRUE(rc == code::kHeaderCrc || rc == code::kHeaderBroken) << std::hex << rc;
      EXPECT_EQ(UnarjCheckArchive(path.c_str(), 0), 1);
    }
  }
}

TEST_F(ArjTest, CommandLinesVersionAndBusy) {
  EXPECT_EQ(UnarjGetVersion(), 300);
  EXPECT_EQ(UnarjGetRunning(), 0);
  const std::string q = "\"" + Fixture("m1.arj") + "\"";
  EXPECT_EQ(Unarj(nullptr, ("t -+ -y1 -hm1 " + q).c_str(), nullptr, 0), 0);
  EXPECT_EQ(Unarj(nullptr, ("-t " + q).c_str(), nullptr, 0), 0);
  EXPECT_EQ(Unarj(nullptr, ("x -+ " + q + " \"/tmp/\" \"text.txt\"").c_str(), nullptr, 0), code::kNotSupport);
  EXPECT_EQ(Unarj(nullptr, ("l " + q).c_str(), nullptr, 0), code::kCommandName);
  EXPECT_EQ(Unarj(nullptr, "t -+ -y1", nullptr, 0), code::kNoArcName);
  EXPECT_EQ(Unarj(nullptr, nullptr, nullptr, 0), code::kCommandName);
  char out[8] = "junk";
  EXPECT_EQ(Unarj(nullptr, ("t " + q).c_str(), out, sizeof out), 0);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(UnarjCheckArchive(nullptr, 0), 0);
  EXPECT_EQ(UnarjGetRunning(), 0);
}

}  // namespace
