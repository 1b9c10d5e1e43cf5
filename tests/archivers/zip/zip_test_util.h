// Helpers for the ZIP tests: fixtures, the offsets of a ZIP archive's records, and the public
// testers used as referees when they are installed.
#pragma once

#include <gtest/gtest.h>

#include "archive_test_util.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
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

// Offsets inside an archive with no stub: the end record and the first central entry.
struct Records {
  size_t eocd = 0;
  size_t firstCentral = 0;
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
  return r;
}

// The central entry and local header of a member (plain 32-bit offsets, no stub).
struct Member {
  size_t central = 0;
  size_t local = 0;
  size_t data = 0;
  uint32_t compressed = 0;
};

inline std::vector<Member> Members(const Bytes& b) {
  const Records r = Parse(b);
  std::vector<Member> out;
  size_t p = r.firstCentral;
  for (uint16_t i = 0; i < Le16(b, r.eocd + 10); ++i) {
    Member m;
    m.central = p;
    m.local = Le32(b, p + 42);
    m.data = m.local + 30 + Le16(b, m.local + 26) + Le16(b, m.local + 28);
    m.compressed = Le32(b, p + 20);
    out.push_back(m);
    p += 46 + Le16(b, p + 28) + Le16(b, p + 30) + Le16(b, p + 32);
  }
  return out;
}

inline Member Find(const Bytes& b, const std::string& name) {
  for (const Member& m : Members(b)) {
    if (std::string(reinterpret_cast<const char*>(&b[m.central + 46]), Le16(b, m.central + 28)) == name) return m;
  }
  ADD_FAILURE() << "no member " << name;
  return Member{};
}

// True when a program of this name is on the PATH.
inline bool HaveTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "";
  for (size_t at = 0; at <= dirs.size();) {
    const size_t end = std::min(dirs.find(':', at), dirs.size());
    if (::access((dirs.substr(at, end - at) + "/" + name).c_str(), X_OK) == 0) return true;
    at = end + 1;
  }
  return false;
}

}  // namespace ziptest
