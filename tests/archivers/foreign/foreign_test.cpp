// Self-extractors and archives that store an archive of another family are claimed (check mode
// 0) by the carrying family only, also when the carrier is damaged; and the framing rule behind
// it from each family's side.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "archiver_libraries.h"
#include "foreign.h"
#include "lzh_test_util.h"

namespace {

using lzhtest::Bytes;

std::string Data(const std::string& name) { return std::string(ORVEX2_TEST_DATA) + "/" + name; }

size_t Find(const Bytes& b, const std::string& text, bool last = false) {
  const Bytes what(text.begin(), text.end());
  const auto it = last ? std::find_end(b.begin(), b.end(), what.begin(), what.end())
                       : std::search(b.begin(), b.end(), what.begin(), what.end());
  return it == b.end() ? std::string::npos : static_cast<size_t>(it - b.begin());
}

TEST(ForeignRecognition, OnlyTheCarryingFamilyClaimsTheFile) {
  const struct {
    const char* file;
    const char* carrier;
    const char* damage = nullptr;  // a signature whose byte at +offset gets one bit flipped
    size_t offset = 0;
  } rows[] = {
      {"foreign/zip_sfx_lzh.exe", "ZIP"}, {"foreign/zip_sfx_arj.exe", "ZIP"}, {"foreign/arj_sfx_lzh.exe", "ARJ"},
      {"foreign/lzh_sfx_zip.exe", "LZH"}, {"foreign/cab_sfx_zip.exe", "CAB"}, {"foreign/cab_lzh.cab", "CAB"},
      {"lzh/sfx_mz.exe", "LZH"},          {"lzh/sfx_hu.x", "LZH"},             {"arj/sfx.exe", "ARJ"},
      {"zip/deflated.zip", "ZIP"},        {"cab/mszip.cab", "CAB"},
      // Damaged carriers may lose their own claim, but no other family takes their member.
      {"foreign/zip_sfx_lzh.exe", "ZIP", "PK\x05\x06", 3},    // end record signature
      {"foreign/zip_sfx_lzh.exe", "ZIP", "PK\x01\x02", 42},   // a local header offset in the directory
      {"foreign/zip_sfx_arj.exe", "ZIP", "PK\x05\x06", 3},
      {"foreign/arj_sfx_lzh.exe", "ARJ", "inner.lzh", 0},     // the member's header CRC
  };
  lzhtest::TempDir dir;
  int checked = 0;
  for (const auto& row : rows) {
    std::string path = Data(row.file);
    if (row.damage != nullptr) {
      Bytes b = lzhtest::ReadFile(path);
      b[Find(b, row.damage, true) + row.offset] ^= 0x10;
      path = dir.Write("damaged.exe", b);
    }
    for (const auto& l : arctest::Libraries()) {
      const bool expected = std::strcmp(l.family, row.carrier) == 0;
      if (row.damage != nullptr && expected) continue;
      const bool claims = l.check(path.c_str(), 0) == 1;
      ++checked;
      if (claims != expected)
        ADD_FAILURE() << l.family << (claims ? " claims " : " does not claim ") << row.file
                      << (row.damage != nullptr ? " (damaged)" : "");
    }
  }
  std::printf("recognition: %d answers checked\n", checked);
}

// Every byte of each carrier's archive changed in turn: the carrier may lose its claim (the
// damage is then its to report, or the file is no archive), but no other family claims it.
TEST(ForeignRecognition, NoOtherFamilyClaimsADamagedCarrier) {
  const struct {
    const char* file;
    const char* carrier;
    const char* start;  // where the carrier's archive begins (behind its stub); arj's ELF stub:
  } rows[] = {         // 42568 bytes
      {"foreign/zip_sfx_lzh.exe", "ZIP", "PK\x03\x04"}, {"foreign/zip_sfx_arj.exe", "ZIP", "PK\x03\x04"},
      {"foreign/arj_sfx_lzh.exe", "ARJ", nullptr}, {"foreign/lzh_sfx_zip.exe", "LZH", "-lh0-"},
      {"foreign/cab_sfx_zip.exe", "CAB", "MSCF"},        {"foreign/cab_lzh.cab", "CAB", "MSCF"},
  };
  lzhtest::TempDir dir;
  int copies = 0, lost = 0;
  for (const auto& row : rows) {
    const Bytes original = lzhtest::ReadFile(Data(row.file));
    const size_t start = row.start == nullptr ? 42568 : Find(original, row.start) - (row.start[0] == '-' ? 2 : 0);
    ASSERT_LT(start, original.size()) << row.file;
    for (size_t i = start; i < original.size(); ++i) {
      Bytes b = original;
      b[i] ^= i % 3 == 0 ? 0xFF : static_cast<uint8_t>(1u << (i % 8));
      const std::string path = dir.Write("copy", b);
      ++copies;
      for (const auto& l : arctest::Libraries()) {
        const bool claims = l.check(path.c_str(), 0) == 1;
        if (std::strcmp(l.family, row.carrier) == 0) {
          lost += !claims;
        } else if (claims) {
          ADD_FAILURE() << l.family << " claims " << row.file << " with byte " << i << " damaged";
        }
      }
    }
  }
  std::printf("damaged carriers: %d copies, %d no longer claimed by their own family\n", copies, lost);
}

TEST(ForeignFraming, FromEachFamilysSide) {
  const struct {
    const char* file;
    arc::Family self;
    const char* start;  // the signature at which that family finds its archive
    arc::Framing expected;
  } rows[] = {
      {"foreign/lzh_sfx_zip.exe", arc::Family::kZip, "PK\x03\x04", arc::Framing::kFramed},
      {"foreign/cab_sfx_zip.exe", arc::Family::kZip, "PK\x03\x04", arc::Framing::kFramed},
      {"foreign/zip_sfx_lzh.exe", arc::Family::kZip, "PK\x03\x04", arc::Framing::kNone},
      {"foreign/cab_sfx_zip.exe", arc::Family::kCab, "MSCF", arc::Framing::kNone},
      {"foreign/cab_lzh.cab", arc::Family::kLzh, "\x2D\x6C\x68\x35\x2D", arc::Framing::kFramed},
      {"foreign/zip_sfx_arj.exe", arc::Family::kArj, "\x60\xEA", arc::Framing::kFramed},
  };
  for (const auto& row : rows) {
    const Bytes b = lzhtest::ReadFile(Data(row.file));
    const size_t begin = Find(b, row.start) - (row.self == arc::Family::kLzh ? 2 : 0);
    EXPECT_EQ(arc::FramedByOtherFamily(Data(row.file).c_str(), row.self, begin, begin + 1), row.expected) << row.file;
  }
  EXPECT_EQ(arc::FramedByOtherFamily(Data("foreign/none").c_str(), arc::Family::kLzh, 0, 1), arc::Framing::kReadError);
}

}  // namespace
