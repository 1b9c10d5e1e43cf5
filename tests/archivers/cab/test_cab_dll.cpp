// CAB32.DLL as the program loads it: dlopen, the four exported names, a real test line.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <string>

namespace {

using CommandFn = int (*)(void*, const char*, char*, unsigned long);
using CheckFn = int (*)(const char*, int);
using VersionFn = unsigned short (*)();
using RunningFn = int (*)();

TEST(CabDll, ExportsTheFourEntries) {
  const std::string lib = std::string(ORVEX2_LIB_DIR) + "/CAB32.DLL";
  void* h = ::dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << ::dlerror();
  auto command = reinterpret_cast<CommandFn>(::dlsym(h, "Cab"));
  auto check = reinterpret_cast<CheckFn>(::dlsym(h, "CabCheckArchive"));
  auto version = reinterpret_cast<VersionFn>(::dlsym(h, "CabGetVersion"));
  auto running = reinterpret_cast<RunningFn>(::dlsym(h, "CabGetRunning"));
  ASSERT_NE(command, nullptr);
  ASSERT_NE(check, nullptr);
  ASSERT_NE(version, nullptr);
  ASSERT_NE(running, nullptr);
  EXPECT_EQ(::dlsym(h, "_ZN5cabar7RunningEv"), nullptr);  // internals stay hidden

  const std::string data = std::string(ORVEX2_TEST_DATA) + "/cab/";
  EXPECT_EQ(version(), 200);
  EXPECT_EQ(running(), 0);
  EXPECT_EQ(command(nullptr, ("-t \"" + data + "folders.cab\"").c_str(), nullptr, 0), 0);
  EXPECT_EQ(command(nullptr, ("-t \"" + data + "../zip/mixed.zip\"").c_str(), nullptr, 0), 0x801B);
  EXPECT_EQ(command(nullptr, "-q", nullptr, 0), 0x801C);
  EXPECT_EQ(check((data + "mszip.cab").c_str(), 0), 1);
  EXPECT_EQ(check((data + "mszip.cab").c_str(), 2), 1);
  EXPECT_EQ(check((data + "../zip/mixed.zip").c_str(), 0), 0);
  ::dlclose(h);
}

}  // namespace
