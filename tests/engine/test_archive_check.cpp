// The archive check end to end through the scripted libraries: branches, lines, busy, cancel,
// self-extracting detection, double archives and the quarantine move.
#include <gtest/gtest.h>

#include "qt_printers.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/archive_check.h"
#include "engine/libraries.h"
#include "engine/ports.h"
#include "fake_script.h"
#include "recording_ports.h"
#include "foundation/names.h"
#include "foundation/paths.h"
#include "foundation/settings.h"

namespace orvex2 {
namespace {

using test::RecordingHistory;
using test::RecordingMessages;
using test::RecordingPassed;

const QString kLzhChecking = QStringLiteral("　ＬＺＨ検査中です");
const QString kZipChecking = QStringLiteral("　ＺＩＰ検査中です");
const QString kPassed = QStringLiteral("　この圧縮ファイルは正常です");
const QString kNotTarget = QStringLiteral("　検査対象外です");

class ArchiveCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fake.IsValid());
    ProbeLibraries();
    for (Family f : {kLzh, kZip, kArj, kCab}) ASSERT_TRUE(Shared().lib[f].present) << f;
    OptionRecord o;
    o.Lzh = o.Zip = o.Arj = o.Cab = true;
    o.Lzh_Opt = "t -+ -y1 -gm1";
    o.Zip_Opt = "-t";
    o.Arj_Opt = "t -+ -y1 -hm1";
    o.Cab_Opt = "-t";
    dir = fake.TempPath();
    QDir().mkpath(dir + "/tmp");
    QDir().mkpath(dir + "/out");
    o.TmpDir = dir + "/tmp/";
    o.Dir_Out = dir + "/out";
    Options() = o;
    Ports().history = &history;
    Ports().passed = &passed;
    Ports().message = &messages;
    fake.ClearLog();  // forget the probe's version calls
  }
  void TearDown() override {
    Ports() = EnginePorts{};
    fake.UseSystemDir(QString());
    ProbeLibraries();
  }
  QString Make(const QString& name, const QByteArray& data = "data") {
    const QString path = dir + "/" + name;
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(data);
    return path;
  }
  QString Header(const QString& path) { return "[ " + path.section('/', 0, 1) + "/.../" + path.section('/', -2); }

  test::FakeLibs fake;
  RecordingHistory history;
  RecordingPassed passed;
  RecordingMessages messages;
  QString dir;
};

TEST_F(ArchiveCheckTest, NormalPassListsThePathAndDropsTheEntry) {
  const QString a = Make("A.LZH");
  EXPECT_EQ(ArchiveCheck(a, 1), kCheckDrop);
  ASSERT_EQ(history.lines.size(), 3);
  EXPECT_TRUE(history.lines[0].startsWith("[ ")) << history.lines[0].toStdString();
  EXPECT_TRUE(history.lines[0].endsWith(" ]"));
  EXPECT_EQ(history.lines[1], kLzhChecking);
  EXPECT_EQ(history.lines[2], kPassed);
  EXPECT_EQ(passed.paths, QStringList{a});
  EXPECT_EQ(fake.Log("UNLHA32.DLL command"), QStringList{"UNLHA32.DLL command t -+ -y1 -gm1 \"" + a + "\""});
}

TEST_F(ArchiveCheckTest, EveryPlainExtensionGoesToItsFamily) {
  struct Case { QString name; QString dll; QString line; };
  const Case cases[] = {
      {"A.LZH", "UNLHA32.DLL", kLzhChecking},
      {"a.lzh", "UNLHA32.DLL", kLzhChecking},
      {"A.ZIP", "UNZIP32.DLL", kZipChecking},
      {"A.ARJ", "UNARJ32J.DLL", QStringLiteral("　ＡＲＪ検査中です")},
      {"A.CAB", "CAB32.DLL", QStringLiteral("　ＣＡＢ検査中です")},
  };
  for (const Case& c : cases) {
    history.lines.clear();
    fake.ClearLog();
    EXPECT_EQ(ArchiveCheck(Make(c.name), 1), kCheckDrop) << c.name.toStdString();
    EXPECT_EQ(history.lines.value(1), c.line) << c.name.toStdString();
    EXPECT_EQ(fake.Log(c.dll + " command").size(), 1) << c.name.toStdString();
  }
}

TEST_F(ArchiveCheckTest, DisabledOrMissingFamilyIsNotATarget) {
  Options().Lzh = false;
  const QString a = Make("A.LZH");
  EXPECT_EQ(ArchiveCheck(a, 1), kCheckKeep);
  EXPECT_EQ(history.lines.size(), 2);
  EXPECT_EQ(history.lines[1], kNotTarget);
  EXPECT_TRUE(passed.paths.isEmpty());
  EXPECT_TRUE(fake.Log("UNLHA32.DLL command").isEmpty());

  history.lines.clear();
  EXPECT_EQ(ArchiveCheck(Make("A.LHA"), 1), kCheckKeep);  // .LHA needs Lzh and Lzh_Lha
  Options().Lzh = true;
  history.lines.clear();
  EXPECT_EQ(ArchiveCheck(Make("B.LHA"), 1), kCheckKeep);
  EXPECT_EQ(history.lines.last(), kNotTarget);
  Options().Lzh_Lha = true;
  EXPECT_EQ(ArchiveCheck(Make("C.LHA"), 1), kCheckDrop);

  history.lines.clear();
  EXPECT_EQ(ArchiveCheck(Make("A.RAR"), 1), kCheckKeep);
  EXPECT_EQ(history.lines, QStringList({history.lines[0], kNotTarget}));

  fake.UseSystemDir(dir + "/nothing-here");
  ProbeLibraries();
  history.lines.clear();
  EXPECT_EQ(ArchiveCheck(Make("D.ZIP"), 1), kCheckKeep);
  EXPECT_EQ(history.lines.last(), kNotTarget);
}

TEST_F(ArchiveCheckTest, SimpleModeUsesOnlyTheCrcCheck) {
  fake.Script("check2 BAD.ZIP 0");
  EXPECT_EQ(ArchiveCheck(Make("GOOD.ZIP"), 0), kCheckDrop);
  EXPECT_EQ(ArchiveCheck(Make("BAD.ZIP"), 0), kCheckKeep);
  EXPECT_EQ(history.lines.last(), QStringLiteral("　圧縮ファイルが異常の可能性があります"));
  EXPECT_TRUE(fake.Log("UNZIP32.DLL command").isEmpty());
  EXPECT_TRUE(fake.Log("UNZIP32.DLL running").isEmpty());
}

TEST_F(ArchiveCheckTest, DetailedModeAddsTheFinalCheck) {
  fake.Script("check2 CRC.ZIP 0\ntest SKIP.ZIP 3");
  EXPECT_EQ(ArchiveCheck(Make("CRC.ZIP"), 2), kCheckKeep);
  EXPECT_EQ(history.lines.mid(1), QStringList({kZipChecking, QStringLiteral("　ＺＩＰ最終確認中です"),
                                               QStringLiteral("　圧縮ファイルがＣＲＣエラーの可能性があります")}));
  history.lines.clear();
  EXPECT_EQ(ArchiveCheck(Make("SKIP.ZIP"), 2), kCheckDrop);
  EXPECT_EQ(history.lines.last(), QStringLiteral("　スキップされるファイルが 3あります"));
  EXPECT_EQ(passed.paths.size(), 1);
}

TEST_F(ArchiveCheckTest, LibraryErrorSkipsTheFinalCheck) {
  fake.Script("test * 0x800C");
  EXPECT_EQ(ArchiveCheck(Make("A.ZIP"), 2), kCheckKeep);
  EXPECT_EQ(history.lines.mid(1), QStringList({kZipChecking, QStringLiteral("　格納ファイルのチェックサムが合っていません")}));
  EXPECT_TRUE(fake.Log("UNZIP32.DLL check").isEmpty());
}

TEST_F(ArchiveCheckTest, BusyLibraryShowsTheMessageAndRunsNothing) {
  fake.Script("lzh running 1");
  EXPECT_EQ(ArchiveCheck(Make("A.LZH"), 1), kCheckKeep);
  EXPECT_EQ(messages.texts, QStringList{QStringLiteral("現在UNLHA32.DLLは使用中です")});
  EXPECT_EQ(history.lines.last(), QStringLiteral("　既にDLLが動作中です"));
  EXPECT_TRUE(fake.Log("UNLHA32.DLL command").isEmpty());
}

TEST_F(ArchiveCheckTest, LibraryCancelStopsTheRunAndMovesNothing) {
  fake.Script("test * 0x8020");
  Options().Dir_Out_Yuko = true;
  Options().Move = {true, true, true};
  const QString a = Make("A.ZIP");
  EXPECT_EQ(ArchiveCheck(a, 2), kCheckStop);
  EXPECT_TRUE(QFile::exists(a));
  EXPECT_EQ(history.lines.last(), QStringLiteral("　キャンセルされました"));
}

TEST_F(ArchiveCheckTest, SelfExtractingDetectionTriesEligibleFamiliesInOrder) {
  Options().Lzh_Exe = Options().Arj_Exe = Options().Cab_Exe = true;  // not Zip_Exe
  fake.Script("arj check0 * 1\ncheck0 * 0");
  const QString exe = Make("SETUP.EXE");
  EXPECT_EQ(ArchiveCheck(exe, 1), kCheckDrop);
  EXPECT_EQ(history.lines.mid(1), QStringList({QStringLiteral("　ＬＺＨ確認中です"), QStringLiteral("　ＡＲＪ確認中です"),
                                               QStringLiteral("　ＡＲＪ検査中です"), kPassed}));
  EXPECT_TRUE(fake.Log("UNZIP32.DLL").isEmpty());
  EXPECT_TRUE(fake.Log("CAB32.DLL").isEmpty());
  EXPECT_EQ(fake.Log("UNARJ32J.DLL command").size(), 1);
}

TEST_F(ArchiveCheckTest, UnrecognisedExeIsMinusTwoAndMayBeMoved) {
  Options().Lzh_Exe = Options().Zip_Exe = true;
  fake.Script("check0 * 0");
  const QString exe = Make("NOTSFX.EXE");
  EXPECT_EQ(ArchiveCheck(exe, 2), kCheckKeep);
  EXPECT_EQ(history.lines.mid(1), QStringList({QStringLiteral("　ＬＺＨ確認中です"), QStringLiteral("　ＺＩＰ確認中です"),
                                               QStringLiteral("　圧縮ファイルで無い又は未対応ファイルです")}));
  Options().Dir_Out_Yuko = true;
  Options().Move[1] = true;
  history.lines.clear();
  EXPECT_EQ(ArchiveCheck(exe, 2), kCheckDrop);
  EXPECT_EQ(history.lines.last(), QStringLiteral("　異常ファイルを移動します"));
  EXPECT_FALSE(QFile::exists(exe));
  EXPECT_TRUE(QFile::exists(dir + "/out/NOTSFX.EXE"));
  EXPECT_TRUE(passed.paths.isEmpty());
}

TEST_F(ArchiveCheckTest, NoEligibleFamilyStillGivesMinusTwo) {
  EXPECT_EQ(ArchiveCheck(Make("A.EXE"), 1), kCheckKeep);
  EXPECT_EQ(history.lines.size(), 2);
  EXPECT_EQ(history.lines[1], QStringLiteral("　圧縮ファイルで無い又は未対応ファイルです"));
  history.lines.clear();
  EXPECT_EQ(ArchiveCheck(Make("B.X"), 1), kCheckKeep);  // .X needs Lzh_X
  EXPECT_EQ(history.lines.size(), 2);
  Options().Lzh_X = true;
  EXPECT_EQ(ArchiveCheck(Make("C.X"), 1), kCheckDrop);
}

TEST_F(ArchiveCheckTest, QuarantineOnlyInDetailedModeAndByItsSwitch) {
  fake.Script("test * 0x800C");
  Options().Dir_Out_Yuko = true;
  Options().Move = {true, false, false};
  const QString a = Make("A.ZIP");
  EXPECT_EQ(ArchiveCheck(a, 1), kCheckKeep);  // normal mode never moves
  EXPECT_TRUE(QFile::exists(a));
  Options().Move = {false, true, true};
  EXPECT_EQ(ArchiveCheck(a, 2), kCheckKeep);  // wrong switch
  EXPECT_TRUE(QFile::exists(a));
  Options().Move = {true, false, false};
  EXPECT_EQ(ArchiveCheck(a, 2), kCheckDrop);
  EXPECT_FALSE(QFile::exists(a));
  EXPECT_TRUE(QFile::exists(dir + "/out/A.ZIP"));
}

TEST_F(ArchiveCheckTest, SkippedMembersMoveOnlyWithTheirSwitch) {
  fake.Script("test * 3");
  Options().Dir_Out_Yuko = true;
  Options().Move = {true, true, false};
  const QString a = Make("A.LZH");
  EXPECT_EQ(ArchiveCheck(a, 2), kCheckDrop);
  EXPECT_EQ(passed.paths, QStringList{a});
  EXPECT_TRUE(QFile::exists(a));
  passed.paths.clear();
  Options().Move[2] = true;
  EXPECT_EQ(ArchiveCheck(a, 2), kCheckDrop);
  EXPECT_TRUE(passed.paths.isEmpty());
  EXPECT_FALSE(QFile::exists(a));
}

TEST_F(ArchiveCheckTest, QuarantineKeepsDifferentFilesOfTheSameName) {
  fake.Script("test * 0x800C");
  Options().Dir_Out_Yuko = true;
  Options().Move[0] = true;
  QFile::copy(Make("DATA.LZH", "first"), dir + "/out/DATA.LZH");
  const QString a = Make("DATA.LZH", "second");
  EXPECT_EQ(ArchiveCheck(a, 2), kCheckDrop);
  QFile first(dir + "/out/DATA.LZH"), second(dir + "/out/DATA (2).LZH");
  ASSERT_TRUE(first.open(QIODevice::ReadOnly));
  ASSERT_TRUE(second.open(QIODevice::ReadOnly));
  EXPECT_EQ(first.readAll(), QByteArray("first"));
  EXPECT_EQ(second.readAll(), QByteArray("second"));
}

TEST_F(ArchiveCheckTest, QuarantineFolderThatIsTheOwnFolder) {
  fake.Script("test * 0x800C");
  Options().Dir_Out_Yuko = true;
  Options().Move[0] = true;
  Options().Dir_Out = dir;
  const QString a = Make("A.ZIP", "keep me");
  EXPECT_EQ(ArchiveCheck(a, 2), kCheckDrop);
  QFile f(a);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("keep me"));
}

TEST_F(ArchiveCheckTest, FailedCopyKeepsTheFileAndSaysSo) {
  fake.Script("test * 0x800C");
  Options().Dir_Out_Yuko = true;
  Options().Move[0] = true;
  Options().Dir_Out = dir + "/missing-folder";
  const QString a = Make("A.ZIP");
  EXPECT_EQ(ArchiveCheck(a, 2), kCheckKeep);
  EXPECT_EQ(history.lines.last(), QStringLiteral("　移動できませんでした"));
  EXPECT_TRUE(QFile::exists(a));
}

TEST_F(ArchiveCheckTest, FailedMoveOfAPassingArchiveKeepsItsEntry) {
  // Skipped members count as passed; a move that fails must still keep the entry.
  fake.Script("test * 3");
  Options().Dir_Out_Yuko = true;
  Options().Move = {false, false, true};
  Options().Dir_Out = dir + "/missing-folder";
  const QString a = Make("A.LZH");
  EXPECT_EQ(ArchiveCheck(a, 2), kCheckKeep);
  EXPECT_EQ(history.lines.last(), QStringLiteral("　移動できませんでした"));
  EXPECT_TRUE(passed.paths.isEmpty());
  EXPECT_TRUE(QFile::exists(a));
}

TEST_F(ArchiveCheckTest, NamesReachLibraryListAndQuarantineByTheirBytes) {
  // A damaged `GOOD.ZIP" "x.ZIP` must be tested itself, not GOOD.ZIP.
  fake.Script("test GOOD.ZIP 0\ntest *x.ZIP 0x800C\ntest * 0");
  Options().Dir_Out_Yuko = true;
  Options().Move[0] = true;
  Make("GOOD.ZIP");
  const QString quoted = Make("GOOD.ZIP\" \"x.ZIP");
  EXPECT_EQ(ArchiveCheck(quoted, 2), kCheckDrop);
  EXPECT_EQ(history.lines[2], QStringLiteral("　格納ファイルのチェックサムが合っていません"));
  EXPECT_TRUE(QFile::exists(dir + "/out/GOOD.ZIP\" \"x.ZIP"));

  const QByteArray raw = QFile::encodeName(dir) + "/\x93\xfa\x96\x7b caf\xE9.LZH";  // CP932, Latin-1
  ASSERT_EQ(::close(::open(raw.constData(), O_CREAT | O_WRONLY, 0600)), 0);
  const QString name = NameFromBytes(raw);
  history.lines.clear();
  EXPECT_EQ(ArchiveCheck(name, 1), kCheckDrop);
  EXPECT_EQ(passed.paths.value(0), name);
  EXPECT_EQ(history.lines[0], "[ " + DisplayName(ShortenPath(name)) + " ]");
  fake.Script("test * 0x8014");
  EXPECT_EQ(ArchiveCheck(name, 2), kCheckDrop);
  struct stat st;
  EXPECT_NE(::lstat(raw.constData(), &st), 0);
  // Qt cannot remove a name that is not UTF-8: the test does.
  EXPECT_EQ(::unlink((QFile::encodeName(dir) + "/out/\x93\xfa\x96\x7b caf\xE9.LZH").constData()), 0);
}

TEST_F(ArchiveCheckTest, DoubleArchiveOuterFaultIsTheVerdict) {
  Options().Double = true;
  const QString inner = Make("inner-source.lzh", "inner");
  fake.Script("zip test *.LZH.ZIP 0x800C\nzip extract * copy:" + inner);
  EXPECT_EQ(ArchiveCheck(Make("A.LZH.ZIP"), 2), kCheckKeep);
  EXPECT_EQ(history.lines.mid(1), QStringList({QStringLiteral("　ＺＩＰ１重解凍中です"),
                                               QStringLiteral("　格納ファイルのチェックサムが合っていません")}));
  EXPECT_EQ(fake.Log("UNZIP32.DLL command").size(), 1);  // nothing extracted
  EXPECT_TRUE(fake.Log("UNLHA32.DLL").isEmpty());
  // Members the outer test skipped stand as the verdict of a sound inner archive.
  fake.Script("zip test *.LZH.ZIP 2\nzip extract * copy:" + inner);
  history.lines.clear();
  EXPECT_EQ(ArchiveCheck(Make("B.LZH.ZIP"), 1), kCheckDrop);
  EXPECT_EQ(history.lines.last(), QStringLiteral("　スキップされるファイルが 2あります"));
}

TEST_F(ArchiveCheckTest, DoubleArchiveIsExtractedPrivatelyAndCleanedUp) {
  Options().Double = true;
  const QString inner = Make("inner-source.lzh", "inner");
  fake.Script("zip extract * copy:" + inner);
  // A file of the inner name already in TmpDir must survive.
  {
    QFile existing(Options().TmpDir + "A.LZH");
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("precious");
  }
  const QString a = Make("A.LZH.ZIP");
  EXPECT_EQ(ArchiveCheck(a, 1), kCheckDrop);
  EXPECT_EQ(history.lines.mid(1), QStringList({QStringLiteral("　ＺＩＰ１重解凍中です"), QStringLiteral("　ＬＺＨ２重検査中です"), kPassed}));
  const QStringList outer = fake.Log("UNZIP32.DLL command");
  ASSERT_EQ(outer.size(), 2);
  EXPECT_EQ(outer[0], "UNZIP32.DLL command -t \"" + a + "\"");  // the outer archive tested first
  EXPECT_TRUE(outer[1].startsWith("UNZIP32.DLL command -x \"" + a + "\" \"" + Options().TmpDir + "orvex2-"))
      << outer[1].toStdString();
  EXPECT_TRUE(outer[1].endsWith("/\" \"A.LZH\""));
  const QStringList test = fake.Log("UNLHA32.DLL command");
  ASSERT_EQ(test.size(), 1);
  EXPECT_TRUE(test[0].endsWith("/A.LZH\"")) << test[0].toStdString();
  // Only the earlier file is left in TmpDir, unchanged.
  EXPECT_EQ(QDir(Options().TmpDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList{"A.LZH"});
  QFile existing(Options().TmpDir + "A.LZH");
  ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
  EXPECT_EQ(existing.readAll(), QByteArray("precious"));
}

TEST_F(ArchiveCheckTest, DoubleExtensionWithoutDoubleIsThePlainOuterArchive) {
  const QString a = Make("A.LZH.ZIP");
  EXPECT_EQ(ArchiveCheck(a, 1), kCheckDrop);
  EXPECT_EQ(history.lines[1], kZipChecking);
  Options().Double = true;
  Options().Lzh = false;
  history.lines.clear();
  EXPECT_EQ(ArchiveCheck(a, 1), kCheckKeep);
  EXPECT_EQ(history.lines.last(), kNotTarget);
}

TEST_F(ArchiveCheckTest, SimpleModeOnADoubleArchiveStillExtracts) {
  Options().Double = true;
  fake.Script("lzh extract * copy:" + Make("in.zip", "z"));
  EXPECT_EQ(ArchiveCheck(Make("A.ZIP.LZH"), 0), kCheckDrop);
  EXPECT_EQ(fake.Log("UNLHA32.DLL running").size(), 1);
  EXPECT_EQ(fake.Log("UNLHA32.DLL command").size(), 1);
  EXPECT_TRUE(fake.Log("UNZIP32.DLL command").isEmpty());
  EXPECT_EQ(fake.Log("UNZIP32.DLL check").size(), 1);
}

TEST_F(ArchiveCheckTest, FailedExtractionIsTheVerdict) {
  Options().Double = true;
  fake.Script("lzh extract * 0x8029");
  EXPECT_EQ(ArchiveCheck(Make("A.LZH.LZH"), 1), kCheckKeep);
  EXPECT_EQ(history.lines.mid(1), QStringList({QStringLiteral("　ＬＺＨ１重解凍中です"),
                                               QStringLiteral("　指定されたディレクトリにはファイルがありませんでした")}));
}

TEST_F(ArchiveCheckTest, BusyOuterLibraryInADoubleCheck) {
  Options().Double = true;
  fake.Script("zip running 1");
  EXPECT_EQ(ArchiveCheck(Make("A.ZIP.ZIP"), 1), kCheckKeep);
  EXPECT_EQ(messages.texts, QStringList{QStringLiteral("現在UNZIP32.DLLは使用中です")});
  EXPECT_TRUE(fake.Log("UNZIP32.DLL command").isEmpty());
}

TEST_F(ArchiveCheckTest, MissingInnerLibraryIsAnUnexpectedFailure) {
  // Only UNLHA32.DLL present: ".ZIP.LZH" asks only for LZH, then needs ZIP for the inner archive.
  const QString only = dir + "/only-lzh";
  QDir().mkpath(only);
  ASSERT_TRUE(QFile::copy(test::FakeLibs::LibDir() + "/UNLHA32.DLL", only + "/UNLHA32.DLL"));
  fake.UseSystemDir(only);
  ProbeLibraries();
  ASSERT_TRUE(Shared().lib[kLzh].present);
  ASSERT_FALSE(Shared().lib[kZip].present);
  Options().Double = true;
  fake.Script("lzh extract * copy:" + Make("in.zip", "z"));
  EXPECT_EQ(ArchiveCheck(Make("A.ZIP.LZH"), 1), kCheckStop);
  EXPECT_EQ(history.lines.last(), QStringLiteral("　異常が発生しました"));
  EXPECT_EQ(QDir(Options().TmpDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 0);
}

}  // namespace
}  // namespace orvex2
