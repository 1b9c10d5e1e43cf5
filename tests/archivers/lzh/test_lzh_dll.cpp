// Loads the built UNLHA32.DLL the way the program does and drives its four entries.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "lzh_test_util.h"

using namespace lzhtest;

namespace {

using CommandFn = int (*)(void*, const char*, char*, unsigned long);
using CheckFn = int (*)(const char*, int);
using VersionFn = unsigned short (*)();
using RunningFn = int (*)();

class LzhLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen((std::string(ORVEX2_LIB_DIR) + "/UNLHA32.DLL").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    command_ = reinterpret_cast<CommandFn>(dlsym(handle_, "Unlha"));
    check_ = reinterpret_cast<CheckFn>(dlsym(handle_, "UnlhaCheckArchive"));
    version_ = reinterpret_cast<VersionFn>(dlsym(handle_, "UnlhaGetVersion"));
    running_ = reinterpret_cast<RunningFn>(dlsym(handle_, "UnlhaGetRunning"));
    ASSERT_TRUE(command_ && check_ && version_ && running_);
  }
  void TearDown() override {
    if (handle_ != nullptr) dlclose(handle_);
  }
  void* handle_ = nullptr;
  CommandFn command_ = nullptr;
  CheckFn check_ = nullptr;
  VersionFn version_ = nullptr;
  RunningFn running_ = nullptr;
};

}  // namespace

TEST_F(LzhLibrary, ExportsOnlyTheFourEntries) {
  EXPECT_EQ(dlsym(handle_, "_ZN5lzhar4TestERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE"), nullptr);
  EXPECT_EQ(dlsym(handle_, "_ZN3arc16ParseCommandLineEPKcRNS_7CommandE"), nullptr);
  EXPECT_EQ(version_(), 300);
  EXPECT_EQ(running_(), 0);
}

TEST_F(LzhLibrary, TestCheckAndExtractThroughTheEntries) {
  const std::string good = Fixture("lh6_level1.lzh");
  EXPECT_EQ(command_(nullptr, ("t -+ -y1 -gm1 \"" + good + "\"").c_str(), nullptr, 0), 0);
  EXPECT_EQ(command_(nullptr, ("t -+ -y1 -gm1 \"" + Fixture("lh2_level1.lzh") + "\"").c_str(), nullptr, 0), 2);
  EXPECT_EQ(check_(good.c_str(), 0), 1);
  EXPECT_EQ(check_(good.c_str(), 2), 1);
  EXPECT_EQ(check_(Fixture("numbers.txt").c_str(), 0), 0);

  TempDir dir;
  Bytes bad = ReadFile(good);
  bad[1] ^= 0x01;
  const std::string badPath = dir.Write("bad.lzh", bad);
  EXPECT_EQ(command_(nullptr, ("t -+ -y1 -gm1 \"" + badPath + "\"").c_str(), nullptr, 0), 0x8016);
  EXPECT_EQ(check_(badPath.c_str(), 2), 0);

  const std::string line = "x -+ \"" + good + "\" \"" + dir.path() + "/\" \"sub/inner.txt\"";
  ASSERT_EQ(command_(nullptr, line.c_str(), nullptr, 0), 0);
  EXPECT_EQ(ReadFile(dir.File("inner.txt")).size(), 3200u);
  EXPECT_EQ(running_(), 0);
}
