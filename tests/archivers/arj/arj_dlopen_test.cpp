// Loads the built UNARJ32J.DLL as the program does and calls its four entries through dlsym.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using CommandFn = int (*)(void*, const char*, char*, unsigned long);
using CheckFn = int (*)(const char*, int);
using VersionFn = unsigned short (*)();
using RunningFn = int (*)();

TEST(ArjDlopen, EntriesWork) {
  const std::string lib = std::string(ORVEX2_LIB_DIR) + "/UNARJ32J.DLL";
  void* h = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << dlerror();
  auto command = reinterpret_cast<CommandFn>(dlsym(h, "Unarj"));
  auto check = reinterpret_cast<CheckFn>(dlsym(h, "UnarjCheckArchive"));
  auto version = reinterpret_cast<VersionFn>(dlsym(h, "UnarjGetVersion"));
  auto running = reinterpret_cast<RunningFn>(dlsym(h, "UnarjGetRunning"));
  ASSERT_NE(command, nullptr);
  ASSERT_NE(check, nullptr);
  ASSERT_NE(version, nullptr);
  ASSERT_NE(running, nullptr);
  // Only the four entries are exported.
  EXPECT_EQ(dlsym(h, "_ZN3arj11TestArchiveEPKcRN3arc10TestResultE"), nullptr);
  const std::string data = std::string(ORVEX2_TEST_DATA) + "/arj/";
  EXPECT_EQ(version(), 300);
  EXPECT_EQ(running(), 0);
  EXPECT_EQ(command(nullptr, ("t -+ -y1 -hm1 \"" + data + "m4.arj\"").c_str(), nullptr, 0), 0);
  EXPECT_EQ(command(nullptr, ("t -+ -y1 -hm1 \"" + data + "garbled.arj\"").c_str(), nullptr, 0), 2);
  EXPECT_EQ(command(nullptr, ("t -+ -y1 -hm1 \"" + data + "make.sh\"").c_str(), nullptr, 0), 0x801B);
  EXPECT_EQ(check((data + "sfx.exe").c_str(), 0), 1);
  EXPECT_EQ(check((data + "m2.arj").c_str(), 2), 1);
  EXPECT_EQ(check((data + "make.sh").c_str(), 0), 0);
  dlclose(h);
}

}  // namespace
