// Library probe, calls through the loaded entries and command-line building, against the scripted
// test libraries and the real archiver libraries of the build tree.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "engine/libraries.h"
#include "fake_script.h"
#include "foundation/settings.h"

namespace orvex2 {
namespace {

using test::FakeLibs;

constexpr std::array<Family, 4> kAll{kLzh, kZip, kArj, kCab};

bool CopyInto(const QString& from, const QString& dir) {
  return QFile::copy(from, dir + QLatin1Char('/') + QFileInfo(from).fileName());
}

class LibrariesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fake_.IsValid()); }
  void TearDown() override {
    // Leave no library loaded for the next test.
    fake_.UseSystemDir(QStringLiteral("/nonexistent/orvex2-no-libraries"));
    ProbeLibraries();
  }
  FakeLibs fake_;
};

// ---------------------------------------------------------------------------------------------
// Probe

TEST_F(LibrariesTest, ProbeFindsAllFourFakesWithTheirVersions) {
  fake_.Script(QStringLiteral("lzh version 101\nzip version 539\narj version 302\ncab version 98\n"));
  ProbeLibraries();
  const std::array<quint16, 4> expected{101, 539, 302, 98};
  for (Family f : kAll) {
    SCOPED_TRACE(LibraryFileName(f).toStdString());
    EXPECT_TRUE(Shared().lib[f].present) << ProbeError(f).toStdString();
    EXPECT_EQ(Shared().lib[f].version, expected[f]);
    ASSERT_NE(Library(f), nullptr);
    EXPECT_EQ(Library(f)->family(), f);
    EXPECT_EQ(Library(f)->path(), FakeLibs::LibDir() + QLatin1Char('/') + LibraryFileName(f));
    EXPECT_TRUE(ProbeError(f).isEmpty());
  }
  // The probe reads each version once, in the order LZH, ZIP, ARJ, CAB, and calls nothing else.
  EXPECT_EQ(fake_.Log(), (QStringList{"UNLHA32.DLL version", "UNZIP32.DLL version", "UNARJ32J.DLL version",
                                      "CAB32.DLL version"}));
}

TEST_F(LibrariesTest, UnscriptedVersionIsTheDefaultAndUnprefixedLinesApplyToAll) {
  ProbeLibraries();
  for (Family f : kAll) EXPECT_EQ(Shared().lib[f].version, 540);
  fake_.Script(QStringLiteral("version 0x21B\n"));
  ProbeLibraries();
  for (Family f : kAll) EXPECT_EQ(Shared().lib[f].version, 539);
  fake_.Script(QStringLiteral("zip version 412\nversion 700\n"));
  ProbeLibraries();
  EXPECT_EQ(Shared().lib[kZip].version, 412);
  EXPECT_EQ(Shared().lib[kLzh].version, 700);
  EXPECT_EQ(Shared().lib[kCab].version, 700);
}

TEST_F(LibrariesTest, MissingFolderLeavesAllAbsent) {
  ProbeLibraries();
  ASSERT_TRUE(Shared().lib[kLzh].present);
  fake_.UseSystemDir(fake_.TempPath() + QStringLiteral("/no-such-folder"));
  ProbeLibraries();
  for (Family f : kAll) {
    EXPECT_FALSE(Shared().lib[f].present);
    EXPECT_EQ(Shared().lib[f].version, 0);
    EXPECT_EQ(Library(f), nullptr);
    EXPECT_FALSE(ProbeError(f).isEmpty());
  }
}

TEST_F(LibrariesTest, EmptyFolderLeavesAllAbsentAndNothingIsCalled) {
  QDir(fake_.TempPath()).mkdir(QStringLiteral("empty"));
  fake_.UseSystemDir(fake_.TempPath() + QStringLiteral("/empty"));
  ProbeLibraries();
  for (Family f : kAll) EXPECT_EQ(Library(f), nullptr);
  EXPECT_TRUE(fake_.Log().isEmpty());
}

TEST_F(LibrariesTest, FilesThatDoNotLoadOrLackAnEntryAreAbsent) {
  // The folder: a good LZH library, a ZIP library without its busy entry, a text file named like
  // the ARJ library, a folder named like the CAB library.
  const QString dir = fake_.TempPath() + QStringLiteral("/mixed");
  ASSERT_TRUE(QDir().mkpath(dir));
  ASSERT_TRUE(CopyInto(FakeLibs::LibDir() + QStringLiteral("/UNLHA32.DLL"), dir));
  ASSERT_TRUE(CopyInto(FakeLibs::NoEntryDir() + QStringLiteral("/UNZIP32.DLL"), dir));
  {
    QFile text(dir + QStringLiteral("/UNARJ32J.DLL"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a shared object\n");
  }
  ASSERT_TRUE(QDir(dir).mkdir(QStringLiteral("CAB32.DLL")));

  // The ZIP library does load and has the other three entries, so only the missing one counts.
  void* h = dlopen(QFile::encodeName(dir + QStringLiteral("/UNZIP32.DLL")).constData(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << dlerror();
  EXPECT_NE(dlsym(h, "UnZip"), nullptr);
  EXPECT_NE(dlsym(h, "UnZipCheckArchive"), nullptr);
  EXPECT_NE(dlsym(h, "UnZipGetVersion"), nullptr);
  EXPECT_EQ(dlsym(h, "UnZipGetRunning"), nullptr);
  dlclose(h);

  fake_.UseSystemDir(dir);
  fake_.Script(QStringLiteral("version 321\n"));
  ProbeLibraries();
  EXPECT_TRUE(Shared().lib[kLzh].present);
  EXPECT_EQ(Shared().lib[kLzh].version, 321);
  ASSERT_NE(Library(kLzh), nullptr);
  for (Family f : {kZip, kArj, kCab}) {
    SCOPED_TRACE(LibraryFileName(f).toStdString());
    EXPECT_FALSE(Shared().lib[f].present);
    EXPECT_EQ(Shared().lib[f].version, 0);
    EXPECT_EQ(Library(f), nullptr);
    EXPECT_FALSE(ProbeError(f).isEmpty());
  }
  EXPECT_TRUE(ProbeError(kZip).contains(QStringLiteral("UnZipGetRunning")));
  // No version was read from a library that is not present.
  EXPECT_EQ(fake_.Log(), QStringList{"UNLHA32.DLL version"});
}

TEST_F(LibrariesTest, ReprobeUnloadsAndReloads) {
  fake_.Script(QStringLiteral("running 7\n"));
  ProbeLibraries();
  ASSERT_NE(Library(kCab), nullptr);
  EXPECT_EQ(Library(kCab)->Running(), 7);

  fake_.UseSystemDir(fake_.TempPath());
  ProbeLibraries();
  for (Family f : kAll) EXPECT_EQ(Library(f), nullptr);

  fake_.UseSystemDir(FakeLibs::LibDir());
  ProbeLibraries();
  for (Family f : kAll) {
    ASSERT_NE(Library(f), nullptr);
    EXPECT_EQ(Library(f)->Running(), 7);
  }
}

TEST_F(LibrariesTest, ClearedPresentFlagHidesTheLibrary) {
  ProbeLibraries();
  ASSERT_NE(Library(kZip), nullptr);
  Shared().lib[kZip].present = false;
  EXPECT_EQ(Library(kZip), nullptr);
  EXPECT_NE(Library(kLzh), nullptr);
}

// The real libraries of the build tree: each one that is built must be found and answer.
class RealLibraryTest : public ::testing::TestWithParam<Family> {
 protected:
  void TearDown() override {
    fake_.UseSystemDir(QStringLiteral("/nonexistent/orvex2-no-libraries"));
    ProbeLibraries();
  }
  FakeLibs fake_;
};

TEST_P(RealLibraryTest, ProbeFindsTheBuiltLibrary) {
  const Family f = GetParam();
  const QString dir = QStringLiteral(ORVEX2_LIB_DIR);
  if (!QFileInfo::exists(dir + QLatin1Char('/') + LibraryFileName(f)))
    GTEST_SKIP() << LibraryFileName(f).toStdString() << " is not built";
  fake_.UseSystemDir(dir);
  ProbeLibraries();
  ASSERT_TRUE(Shared().lib[f].present) << ProbeError(f).toStdString();
  ArchiverLibrary* lib = Library(f);
  ASSERT_NE(lib, nullptr);
  EXPECT_GT(Shared().lib[f].version, 0);
  EXPECT_EQ(lib->Version(), Shared().lib[f].version);
  EXPECT_EQ(lib->Running(), 0);
  // A file that does not exist is no archive of any family, and a command on it fails.
  const QString missing = fake_.TempPath() + QStringLiteral("/missing.bin");
  EXPECT_NE(lib->CheckArchive(missing, 0), 1);
  EXPECT_EQ(lib->CheckArchive(missing, 2), 0);
  EXPECT_GE(lib->Command(QStringLiteral("-t \"") + missing + QLatin1Char('"')), 0x8000);
}

std::string FamilyName(const ::testing::TestParamInfo<Family>& info) {
  static const char* const names[] = {"LZH", "ZIP", "ARJ", "CAB"};
  return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Families, RealLibraryTest, ::testing::ValuesIn(kAll), FamilyName);

// ---------------------------------------------------------------------------------------------
// Command lines

TEST(CommandLines, FileNames) {
  EXPECT_EQ(LibraryFileName(kLzh), QStringLiteral("UNLHA32.DLL"));
  EXPECT_EQ(LibraryFileName(kZip), QStringLiteral("UNZIP32.DLL"));
  EXPECT_EQ(LibraryFileName(kArj), QStringLiteral("UNARJ32J.DLL"));
  EXPECT_EQ(LibraryFileName(kCab), QStringLiteral("CAB32.DLL"));
}

TEST(CommandLines, TestLineIsTheOptionTextABlankAndTheQuotedArchive) {
  OptionRecord saved = Options();
  Options().Lzh_Opt = QStringLiteral("t -+ -y1 -gm1");
  Options().Zip_Opt = QStringLiteral("-t");
  Options().Arj_Opt = QStringLiteral("t -+ -y1 -hm1");
  Options().Cab_Opt = QStringLiteral("-t");
  EXPECT_EQ(TestCommandLine(kLzh, QStringLiteral("/a b/A.LZH")), QStringLiteral("t -+ -y1 -gm1 \"/a b/A.LZH\""));
  EXPECT_EQ(TestCommandLine(kZip, QStringLiteral("/x/A.ZIP")), QStringLiteral("-t \"/x/A.ZIP\""));
  EXPECT_EQ(TestCommandLine(kArj, QStringLiteral("/x/A.ARJ")), QStringLiteral("t -+ -y1 -hm1 \"/x/A.ARJ\""));
  EXPECT_EQ(TestCommandLine(kCab, QStringLiteral("/x/書庫.CAB")), QStringLiteral("-t \"/x/書庫.CAB\""));
  // Whatever the user typed goes through unchanged.
  Options().Zip_Opt = QStringLiteral("-t  -v");
  EXPECT_EQ(TestCommandLine(kZip, QStringLiteral("/A.ZIP")), QStringLiteral("-t  -v \"/A.ZIP\""));
  Options() = saved;
}

TEST(CommandLines, ExtractionLines) {
  EXPECT_EQ(ExtractCommandLine(kLzh, QStringLiteral("A.LZH"), QStringLiteral("/tmp/d/"), QStringLiteral("IN.ZIP")),
            QStringLiteral("x -+ \"A.LZH\" \"/tmp/d/\" \"IN.ZIP\""));
  EXPECT_EQ(ExtractCommandLine(kZip, QStringLiteral("/a b/A.LZH.ZIP"), QStringLiteral("/tmp/my d/"),
                               QStringLiteral("A.LZH")),
            QStringLiteral("-x \"/a b/A.LZH.ZIP\" \"/tmp/my d/\" \"A.LZH\""));
  EXPECT_EQ(ExtractCommandLine(kLzh, QStringLiteral("/q/\"A\".ZIP.LZH"), QStringLiteral("/t/"), QStringLiteral("\"A\".ZIP")),
            QStringLiteral("x -+ \"/q/\"\"A\"\".ZIP.LZH\" \"/t/\" \"\"\"A\"\".ZIP\""));
}

// ---------------------------------------------------------------------------------------------
// Calls through the loaded entries reach the library and bring back its answers

class LibraryCallsTest : public LibrariesTest {
 protected:
  void SetUp() override {
    LibrariesTest::SetUp();
    ProbeLibraries();
    for (Family f : kAll) ASSERT_NE(Library(f), nullptr) << ProbeError(f).toStdString();
    fake_.ClearLog();
  }
};

TEST_F(LibraryCallsTest, CommandAnswersFollowTheScriptFirstMatchWins) {
  fake_.Script(QStringLiteral(
      "test BAD*.LZH 0x800C   # checksum\n"
      "test SKIP*.LZH 3\n"
      "test *.LZH 0x8014\n"
      "zip test * 0x8020\n"));
  ArchiverLibrary* lzh = Library(kLzh);
  EXPECT_EQ(lzh->Command(QStringLiteral("t -+ -y1 -gm1 \"/a b/BAD1.LZH\"")), 0x800C);
  EXPECT_EQ(lzh->Command(QStringLiteral("t -+ -y1 -gm1 \"/a b/SKIP.LZH\"")), 3);
  EXPECT_EQ(lzh->Command(QStringLiteral("t -+ -y1 -gm1 \"/a b/GOOD.LZH\"")), 0x8014);
  EXPECT_EQ(lzh->Command(QStringLiteral("t -+ -y1 -gm1 \"/a b/GOOD.ZIP\"")), 0);
  EXPECT_EQ(Library(kZip)->Command(QStringLiteral("-t \"/x/A.ZIP\"")), 0x8020);
  EXPECT_EQ(Library(kArj)->Command(QStringLiteral("t \"/x/A.ARJ\"")), 0);
  EXPECT_EQ(fake_.Log(), (QStringList{
                             "UNLHA32.DLL command t -+ -y1 -gm1 \"/a b/BAD1.LZH\"",
                             "UNLHA32.DLL command t -+ -y1 -gm1 \"/a b/SKIP.LZH\"",
                             "UNLHA32.DLL command t -+ -y1 -gm1 \"/a b/GOOD.LZH\"",
                             "UNLHA32.DLL command t -+ -y1 -gm1 \"/a b/GOOD.ZIP\"",
                             "UNZIP32.DLL command -t \"/x/A.ZIP\"",
                             "UNARJ32J.DLL command t \"/x/A.ARJ\"",
                         }));
  // The script is read on every call.
  fake_.Script(QStringLiteral("test * 0x801B\n"));
  EXPECT_EQ(lzh->Command(QStringLiteral("t \"/a b/BAD1.LZH\"")), 0x801B);
}

TEST_F(LibraryCallsTest, CheckAndBusyAnswersFollowTheScript) {
  fake_.Script(QStringLiteral(
      "check0 *.EXE 0\n"
      "zip check2 BAD.ZIP 0\n"
      "cab running 1\n"));
  EXPECT_EQ(Library(kZip)->CheckArchive(QStringLiteral("/x/A.ZIP"), 0), 1);
  EXPECT_EQ(Library(kZip)->CheckArchive(QStringLiteral("/x/SFX.EXE"), 0), 0);
  EXPECT_EQ(Library(kZip)->CheckArchive(QStringLiteral("/x/BAD.ZIP"), 2), 0);
  EXPECT_EQ(Library(kLzh)->CheckArchive(QStringLiteral("/x/BAD.ZIP"), 2), 1);
  EXPECT_EQ(Library(kCab)->Running(), 1);
  EXPECT_EQ(Library(kArj)->Running(), 0);
  EXPECT_EQ(Library(kLzh)->Version(), 540);
  EXPECT_EQ(fake_.Log(), (QStringList{
                             "UNZIP32.DLL check /x/A.ZIP 0",
                             "UNZIP32.DLL check /x/SFX.EXE 0",
                             "UNZIP32.DLL check /x/BAD.ZIP 2",
                             "UNLHA32.DLL check /x/BAD.ZIP 2",
                             "CAB32.DLL running",
                             "UNARJ32J.DLL running",
                             "UNLHA32.DLL version",
                         }));
}

TEST_F(LibraryCallsTest, GlobsWithASlashMatchTheWholePathAndMalformedCommandsAreRefused) {
  fake_.Script(QStringLiteral(
      "test \"/data/my dir/*\" 5\n"
      "check1 */keep/* 9\n"
      "test A.LZH 0x8016\n"));
  ArchiverLibrary* lzh = Library(kLzh);
  EXPECT_EQ(lzh->Command(QStringLiteral("t \"/data/my dir/A.LZH\"")), 5);
  EXPECT_EQ(lzh->Command(QStringLiteral("t \"/data/other/A.LZH\"")), 0x8016);
  EXPECT_EQ(lzh->CheckArchive(QStringLiteral("/x/keep/A.LZH"), 1), 9);
  EXPECT_EQ(lzh->CheckArchive(QStringLiteral("/x/keep/A.LZH"), 2), 1);
  // No quoted archive; an extraction without destination and member.
  EXPECT_EQ(lzh->Command(QStringLiteral("t -+ -y1")), 0x8019);
  EXPECT_EQ(Library(kZip)->Command(QStringLiteral("-x \"/x/A.ZIP\"")), 0x802B);
}

TEST_F(LibraryCallsTest, NamesReachTheLibraryAsTheirBytesWithQuotesDoubled) {
  const QString utf8 = QStringLiteral("/データ/ｱｰｶｲﾌﾞ　1.LZH");
  const QString raw = NameFromBytes("/\x93\xfa\x96\x7b/a \"b\" caf\xE9.LZH");  // CP932, Latin-1
  const OptionRecord saved = Options();
  Options().Lzh_Opt = QStringLiteral("t -+ -y1 -gm1");
  for (const QString& path : {utf8, raw}) {
    fake_.ClearLog();
    fake_.Script(QStringLiteral("test \"") + QString(path).replace('"', "\"\"") + QStringLiteral("\" 7\n"));
    fake_.AddLine(QStringLiteral("test * 0x8014"));
    EXPECT_EQ(Library(kLzh)->Command(TestCommandLine(kLzh, path)), 7) << DisplayName(path).toStdString();
    Library(kLzh)->CheckArchive(path, 2);
    QString quoted = path;
    quoted.replace('"', QStringLiteral("\"\""));
    EXPECT_EQ(fake_.Log(), QStringList({QStringLiteral("UNLHA32.DLL command t -+ -y1 -gm1 \"") + quoted + '"',
                                        QStringLiteral("UNLHA32.DLL check ") + path + QStringLiteral(" 2")}));
  }
  Options() = saved;
}

TEST_F(LibraryCallsTest, ExtractionCopiesTheScriptedFileToDestinationAndMember) {
  const QString inner = fake_.TempPath() + QStringLiteral("/inner source.lzh");
  {
    QFile f(inner);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("inner archive bytes");
  }
  const QString dest = fake_.TempPath() + QStringLiteral("/d/");
  ASSERT_TRUE(QDir().mkpath(dest));
  fake_.Script(QStringLiteral("extract BAD* 0x8013\nzip extract * \"copy:%1\"\n").arg(inner));
  EXPECT_EQ(Library(kZip)->Command(ExtractCommandLine(kZip, QStringLiteral("/x/A.LZH.ZIP"), dest,
                                                       QStringLiteral("A.LZH"))),
            0);
  QFile out(dest + QStringLiteral("A.LZH"));
  ASSERT_TRUE(out.open(QIODevice::ReadOnly));
  EXPECT_EQ(out.readAll(), QByteArray("inner archive bytes"));
  EXPECT_EQ(Library(kZip)->Command(ExtractCommandLine(kZip, QStringLiteral("/x/BAD.LZH.ZIP"), dest,
                                                       QStringLiteral("BAD.LZH"))),
            0x8013);
  EXPECT_FALSE(QFileInfo::exists(dest + QStringLiteral("BAD.LZH")));
  // The LZH library has no extract rule of its own: it answers 0 and writes nothing.
  EXPECT_EQ(Library(kLzh)->Command(ExtractCommandLine(kLzh, QStringLiteral("/x/B.ZIP.LZH"), dest,
                                                       QStringLiteral("B.ZIP"))),
            0);
  EXPECT_FALSE(QFileInfo::exists(dest + QStringLiteral("B.ZIP")));
  EXPECT_EQ(fake_.Log(QStringLiteral("UNLHA32.DLL command")),
            QStringList{QStringLiteral("UNLHA32.DLL command x -+ \"/x/B.ZIP.LZH\" \"") + dest + "\" \"B.ZIP\""});
}

TEST_F(LibraryCallsTest, LibraryIsBusyWhileACommandRunsInAnotherThread) {
  fake_.Script(QStringLiteral("delay 400\n"));
  std::atomic<int> result{-1};
  std::thread worker([&] { result = Library(kLzh)->Command(QStringLiteral("t \"/x/SLOW.LZH\"")); });
  // Wait until the command has entered the library.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (fake_.Log(QStringLiteral("UNLHA32.DLL command")).isEmpty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_NE(Library(kLzh)->Running(), 0);
  EXPECT_EQ(Library(kZip)->Running(), 0);
  EXPECT_EQ(Library(kLzh)->Command(QStringLiteral("t \"/x/OTHER.LZH\"")), 0x801F);
  worker.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(Library(kLzh)->Running(), 0);
}

}  // namespace
}  // namespace orvex2
