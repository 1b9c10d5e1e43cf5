// The archive check through the real archiver libraries on the bundled sample archives and on
// corrupted copies of them, in all three modes.
#include <gtest/gtest.h>

#include "qt_printers.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include "engine/archive_check.h"
#include "engine/libraries.h"
#include "engine/ports.h"
#include "foundation/settings.h"
#include "recording_ports.h"

namespace orvex2 {
namespace {

const QString kPassed = QStringLiteral("　この圧縮ファイルは正常です");

class RealCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("ORVEX2_SYSTEM_DIR", ORVEX2_LIB_DIR);
    ProbeLibraries();
    for (Family f : {kLzh, kZip, kArj, kCab}) {
      if (!Shared().lib[f].present) GTEST_SKIP() << "archiver library not built: " << f;
    }
    ASSERT_TRUE(tmp.isValid());
    OptionRecord o;
    o.Lzh = o.Zip = o.Arj = o.Cab = true;
    o.Lzh_Opt = "t -+ -y1 -gm1";
    o.Zip_Opt = "-t";
    o.Arj_Opt = "t -+ -y1 -hm1";
    o.Cab_Opt = "-t";
    QDir().mkpath(tmp.path() + "/tmp");
    o.TmpDir = tmp.path() + "/tmp/";
    o.Dir_Out = tmp.path() + "/out";
    Options() = o;
    Ports().history = &history;
    Ports().passed = &passed;
  }
  void TearDown() override {
    Ports() = EnginePorts{};
    qunsetenv("ORVEX2_SYSTEM_DIR");
  }
  QString Sample(const QString& name, const QString& as = QString()) {
    const QString to = tmp.path() + "/" + (as.isEmpty() ? name : as);
    QFile::remove(to);
    EXPECT_TRUE(QFile::copy(QStringLiteral(ORVEX2_SOURCE_DIR "/samples/") + name, to)) << name.toStdString();
    QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return to;
  }
  QString Check(const QString& path, int mode, int* ret = nullptr) {
    history.lines.clear();
    const int r = ArchiveCheck(path, mode);
    if (ret != nullptr) *ret = r;
    return history.lines.isEmpty() ? QString() : history.lines.last();
  }

  QTemporaryDir tmp;
  test::RecordingHistory history;
  test::RecordingPassed passed;
};

TEST_F(RealCheckTest, GoodArchivesPassInEveryMode) {
  for (const char* name : {"GOOD.LZH", "GOOD.ZIP", "GOOD.ARJ", "GOOD.CAB"}) {
    const QString path = Sample(name);
    for (int mode : {0, 1, 2}) {
      int r = -9;
      EXPECT_EQ(Check(path, mode, &r), kPassed) << name << " mode " << mode;
      EXPECT_EQ(r, kCheckDrop) << name << " mode " << mode;
    }
  }
}

TEST_F(RealCheckTest, CorruptedArchivesFailInEveryMode) {
  const QString broken[] = {Sample("BROKEN.LZH"), Sample("BROKEN.ZIP"), Sample("TRUNCATED.ARJ")};
  for (const QString& path : broken) {
    for (int mode : {0, 1, 2}) {
      int r = -9;
      const QString verdict = Check(path, mode, &r);
      EXPECT_NE(verdict, kPassed) << path.toStdString() << " mode " << mode;
      EXPECT_EQ(r, kCheckKeep) << path.toStdString() << " mode " << mode;
    }
  }
  EXPECT_EQ(Check(broken[1], 1), QStringLiteral("　ファイルのハフマンコードが壊れています"));
  EXPECT_EQ(Check(broken[1], 0), QStringLiteral("　圧縮ファイルが異常の可能性があります"));
  EXPECT_TRUE(passed.paths.isEmpty());
}

TEST_F(RealCheckTest, EveryFamilyCatchesAChangedDataByte) {
  for (const char* name : {"GOOD.LZH", "GOOD.ZIP", "GOOD.ARJ", "GOOD.CAB"}) {
    const QString path = Sample(name, QStringLiteral("X") + name);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray data = f.readAll();
    const qsizetype at = data.size() * 2 / 3;  // inside the compressed data of some member
    data[at] = static_cast<char>(data[at] ^ 0x5A);
    f.seek(0);
    f.write(data);
    f.close();
    for (int mode : {0, 1, 2}) EXPECT_NE(Check(path, mode), kPassed) << name << " mode " << mode;
  }
}

TEST_F(RealCheckTest, NotAnArchiveUnderAnArchiveName) {
  const QString path = tmp.path() + "/TEXT.ZIP";
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("this is plain text, not a ZIP archive\n");
  f.close();
  EXPECT_EQ(Check(path, 1), QStringLiteral("　指定されたファイルはこの圧縮形式ではありません"));
}

TEST_F(RealCheckTest, SelfExtractingExe) {
  const QString exe = Sample("SETUP.EXE");
  EXPECT_EQ(Check(exe, 1), QStringLiteral("　圧縮ファイルで無い又は未対応ファイルです"));  // no _Exe option
  Options().Lzh_Exe = Options().Zip_Exe = Options().Arj_Exe = Options().Cab_Exe = true;
  EXPECT_EQ(Check(exe, 2), kPassed);
  EXPECT_EQ(history.lines.mid(1), QStringList({QStringLiteral("　ＬＺＨ確認中です"), QStringLiteral("　ＺＩＰ確認中です"),
                                               QStringLiteral("　ＺＩＰ検査中です"), QStringLiteral("　ＺＩＰ最終確認中です"),
                                               kPassed}));
}

TEST_F(RealCheckTest, DoubleArchiveAndItsTemporaryFolder) {
  Options().Double = true;
  const QString outer = Sample("NOTES.LZH.ZIP");
  // A file of the inner archive's name already in TmpDir is neither used nor touched.
  QFile stray(Options().TmpDir + "NOTES.LZH");
  ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
  stray.write("not an archive");
  stray.close();
  for (int mode : {0, 1, 2}) {
    int r = -9;
    EXPECT_EQ(Check(outer, mode, &r), kPassed) << "mode " << mode;
    EXPECT_EQ(r, kCheckDrop);
    EXPECT_EQ(history.lines.value(1), QStringLiteral("　ＺＩＰ１重解凍中です"));
    EXPECT_EQ(history.lines.value(2), QStringLiteral("　ＬＺＨ２重検査中です"));
  }
  ASSERT_TRUE(stray.open(QIODevice::ReadOnly));
  EXPECT_EQ(stray.readAll(), QByteArray("not an archive"));
  EXPECT_EQ(QDir(Options().TmpDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList{"NOTES.LZH"});
}

TEST_F(RealCheckTest, DoubleArchiveWithoutTheInnerMember) {
  Options().Double = true;
  const QString outer = Sample("GOOD.ZIP", "OTHER.LZH.ZIP");  // holds no OTHER.LZH
  EXPECT_NE(Check(outer, 1), kPassed);
  EXPECT_EQ(QDir(Options().TmpDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 0);
}

TEST_F(RealCheckTest, DetailedCheckQuarantinesAFailure) {
  QDir().mkpath(Options().Dir_Out);
  Options().Dir_Out_Yuko = true;
  Options().Move[0] = true;
  const QString broken = Sample("BROKEN.ZIP");
  int r = -9;
  Check(broken, 2, &r);
  EXPECT_EQ(r, kCheckDrop);
  EXPECT_EQ(history.lines.last(), QStringLiteral("　異常ファイルを移動します"));
  EXPECT_FALSE(QFile::exists(broken));
  EXPECT_TRUE(QFile::exists(Options().Dir_Out + "/BROKEN.ZIP"));
  // A second failing archive of the same name goes beside it, not over it.
  const QString again = Sample("BROKEN.ZIP");
  Check(again, 2, &r);
  EXPECT_EQ(r, kCheckDrop);
  EXPECT_TRUE(QFile::exists(Options().Dir_Out + "/BROKEN (2).ZIP"));
  EXPECT_TRUE(passed.paths.isEmpty());
}

}  // namespace
}  // namespace orvex2
