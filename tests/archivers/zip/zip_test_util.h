// Helpers for the ZIP tests: fixtures and the offsets of a ZIP archive's records.
#pragma once

#include <gtest/gtest.h>

#include "archive_test_util.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ziptest {

using archtest::Bytes;
using archtest::Le16;
using archtest::Le32;
using archtest::Put32;
using archtest::ReadAll;
using archtest::TempDir;
using archtest::WriteAll;
namespace fs = std::filesystem;

inline std::string Fixture(const std::string& name) { return std::string(ORVEX2_TEST_DATA) + "/zip/" + name; }

// Offsets inside an archive with no stub: the end record, the first central entry and the
// first member's local header and data.
struct Records {
  size_t eocd = 0;
  size_t firstCentral = 0;
  size_t firstData = 0;
  uint32_t firstCompressed = 0;
};

inline Records Parse(const Bytes& b) {
  Records r;
  for (size_t i = b.size() - 22;; --i) {
    if (b[i] == 'P' && b[i + 1] == 'K' && b[i + 2] == 5 && b[i + 3] == 6) {
      r.eocd = i;
      break;
    }
    if (i == 0) break;
  }
  r.firstCentral = Le32(b, r.eocd + 16);
  r.firstData = 30 + Le16(b, 26) + Le16(b, 28);
  r.firstCompressed = Le32(b, 18);
  return r;
}

// The central entry and local header of the member named name.
struct Member {
  size_t central = 0;
  size_t local = 0;
  size_t data = 0;
  uint32_t compressed = 0;
};

inline Member Find(const Bytes& b, const std::string& name) {
  const Records r = Parse(b);
  size_t p = r.firstCentral;
  const uint16_t count = Le16(b, r.eocd + 10);
  for (uint16_t i = 0; i < count; ++i) {
    const uint16_t nameLen = Le16(b, p + 28);
    const std::string stored(reinterpret_cast<const char*>(&b[p + 46]), nameLen);
    if (stored == name) {
      Member m;
      m.central = p;
      m.local = Le32(b, p + 42);
      m.data = m.local + 30 + Le16(b, m.local + 26) + Le16(b, m.local + 28);
      m.compressed = Le32(b, p + 20);
      return m;
    }
    p += 46 + nameLen + Le16(b, p + 30) + Le16(b, p + 32);
  }
  ADD_FAILURE() << "no member " << name;
  return Member{};
}

}  // namespace ziptest
