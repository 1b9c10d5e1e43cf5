// The built program end to end, started as a process without a display, on the sample archives.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "qt_printers.h"

namespace {

struct Outcome {
  int status = -1;
  QStringList out;
  QString err;
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home.isValid());
    QDir().mkpath(home.path() + "/config");
    QDir().mkpath(home.path() + "/samples");
    for (const QString& name : QDir(ORVEX2_SOURCE_DIR "/samples").entryList({"*.LZH", "*.ZIP", "*.ARJ", "*.CAB", "*.EXE"})) {
      QFile::copy(QStringLiteral(ORVEX2_SOURCE_DIR "/samples/") + name, home.path() + "/samples/" + name);
    }
  }
  void Settings(const QString& text) {
    QFile f(home.path() + "/config/Tovanel.ini");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(("[Orvex2]\n" + text).toUtf8());
  }
  Outcome Start(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "ORVEX2_SYSTEM_DIR"}) env.remove(name);
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    env.insert("XDG_RUNTIME_DIR", home.path());
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(home.path() + "/samples");
    p.start(ORVEX2_PROGRAM, args);
    Outcome r;
    if (!p.waitForFinished(120000)) {
      p.kill();
      return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
  }
  QTemporaryDir home;
};

TEST_F(ProgramTest, DetailedAutomaticRunOverTheSamples) {
  const Outcome r = Start({"--auto=detailed", "GOOD.LZH", "BROKEN.ZIP", "GOOD.CAB", "TRUNCATED.ARJ"});
  EXPECT_EQ(r.status, 1) << r.err.toStdString();
  ASSERT_EQ(r.out.size(), 16) << r.out.join('\n').toStdString();
  EXPECT_EQ(r.out[0], "[ " + home.path() + "/samples/GOOD.LZH ]");  // the full name
  EXPECT_EQ(r.out[1], QStringLiteral("　ＬＺＨ検査中です"));
  EXPECT_EQ(r.out[2], QStringLiteral("　ＬＺＨ最終確認中です"));
  EXPECT_EQ(r.out[3], QStringLiteral("　この圧縮ファイルは正常です"));
  EXPECT_TRUE(r.out[4].endsWith("/BROKEN.ZIP ]"));
  EXPECT_EQ(r.out[6], QStringLiteral("　ファイルのハフマンコードが壊れています"));
  EXPECT_EQ(r.out[10], QStringLiteral("　この圧縮ファイルは正常です"));
  EXPECT_TRUE(r.out[11].endsWith("/TRUNCATED.ARJ ]"));
  EXPECT_EQ(r.out[13], QStringLiteral("　ファイルの読み込み時に読み込みエラーが出ました"));
  EXPECT_EQ(r.out[14], QStringLiteral("全て終了しました"));
  EXPECT_EQ(r.out[15], QStringLiteral("orvex2: 2 passed, 2 failed, 0 not checked"));
  // An automatic run saves nothing.
  EXPECT_FALSE(QFile::exists(home.path() + "/config/Tovanel.ini"));
}

TEST_F(ProgramTest, EveryArchivePassedIsExitZero) {
  const Outcome r = Start({"--auto=normal", "GOOD.ZIP", "GOOD.ARJ"});
  EXPECT_EQ(r.status, 0) << r.err.toStdString();
  EXPECT_EQ(r.out.mid(r.out.size() - 2), QStringList({QStringLiteral("全て終了しました"),
                                                     QStringLiteral("orvex2: 2 passed, 0 failed, 0 not checked")}));
}

TEST_F(ProgramTest, AutoOptionFromTheSettingsWithDoubleAndSelfExtracting) {
  Settings("Auto=True\nAutoExe=1\nAutoLog=False\nDouble=True\nZip_Exe=True\n");
  const Outcome r = Start({"NOTES.LZH.ZIP", "SETUP.EXE"});
  EXPECT_EQ(r.status, 0) << r.err.toStdString() << r.out.join('\n').toStdString();
  EXPECT_TRUE(r.out.contains(QStringLiteral("　ＺＩＰ１重解凍中です")));
  EXPECT_TRUE(r.out.contains(QStringLiteral("　ＬＺＨ２重検査中です")));
  EXPECT_TRUE(r.out.contains(QStringLiteral("　ＺＩＰ確認中です")));
}

TEST_F(ProgramTest, NothingToCheckIsExitTwo) {
  const Outcome r = Start({"--auto", "no-such-file.lzh"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.out.isEmpty());
  EXPECT_TRUE(r.err.contains("no archive to check")) << r.err.toStdString();
}

TEST_F(ProgramTest, NoDisplayForTheWindowIsExitTwo) {
  const Outcome r = Start({"GOOD.LZH"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.err.contains("no display")) << r.err.toStdString();
}

TEST_F(ProgramTest, HelpVersionAndUnknownSwitches) {
  Outcome r = Start({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.value(0).startsWith("Usage: orvex2"));
  r = Start({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, QStringList{"orvex2 1.03"});
  r = Start({"--auto=quick", "GOOD.LZH"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.err.contains("unknown check mode"));
}

}  // namespace
