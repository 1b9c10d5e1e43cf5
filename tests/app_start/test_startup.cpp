// The start-up sequence: "/U", the ZIP library warning, the automatic run and the command line.
#include "app_fixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

#include "app/app_messages.h"
#include "app/command_line.h"
#include "app/refused_names.h"

namespace orvex2::test {
namespace {

class StartupTest : public AppFixture {
 protected:
  // Writes options into the current store, as a person or an earlier run would have.
  void Store(const QString& key, const QString& value) { SettingsStore::Write(kCurrentApp, kSection, key, value); }

  int Load(const QString& commandLine, bool forceAuto = false) {
    w = std::make_unique<frmOrvex>();
    StartRequest request;
    request.commandLine = commandLine;
    request.forceAuto = forceAuto;
    request.echoHistory = false;
    return w->MDIForm_Load(request);
  }
  void ShowAndActivate() {
    w->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return w->activated; }, 5000));
  }
  static void Press(QWidget* box, QMessageBox::StandardButton which) {
    if (auto* mb = qobject_cast<QMessageBox*>(box)) mb->button(which)->click();
  }
};

TEST_F(StartupTest, RemoveSwitchAnsweredNoKeepsTheSettings) {
  Store("Lzh", "False");
  QString question;
  ModalAnswer no([&](QWidget* box) {
    question = qobject_cast<QMessageBox*>(box)->text();
    Press(box, QMessageBox::No);
  });
  EXPECT_EQ(Load("/u"), 0);
  EXPECT_TRUE(no.seen());
  EXPECT_EQ(question, QStringLiteral("Orvex2で使用したレジストリを全て削除します"));
  EXPECT_EQ(Stored("Lzh"), "False");
  EXPECT_FALSE(w->isVisible());
}

TEST_F(StartupTest, RemoveSwitchAnsweredYesRemovesBothStoresAndSavesNothing) {
  Store("Lzh", "False");
  SettingsStore::Write(kEarlierApp, kSection, "Version", "1.02");
  ModalAnswer yes([](QWidget* box) { Press(box, QMessageBox::Yes); });
  EXPECT_EQ(Load("/U"), 0);
  EXPECT_TRUE(yes.seen());
  EXPECT_EQ(Stored("Lzh"), "<missing>");
  EXPECT_EQ(SettingsStore::Read(kEarlierApp, kSection, "Version", "<missing>"), "<missing>");
  w.reset();  // a close after "/U" must not write the options back
  EXPECT_EQ(Stored("Version"), "<missing>");
}

TEST_F(StartupTest, RemoveSwitchWithANameIsJustANameList) {
  const QString a = Make("A.LZH");
  EXPECT_EQ(Load("/U " + a), -1);
  EXPECT_EQ(Targets(), QStringList{a});  // "/U" is skipped as no readable file
}

TEST_F(StartupTest, NamesWithoutAutoOpenTheWindowWithThem) {
  const QString a = Make("dir with blank/A.LZH");
  const QString b = Make("B.ZIP");
  EXPECT_EQ(Load("\"" + a + "\" " + b), -1);
  EXPECT_EQ(Targets(), QStringList({a, b}));
  ShowAndActivate();
  EXPECT_TRUE(w->btnExe(0)->isEnabled());
  EXPECT_FALSE(w->btnCancel()->isEnabled());
  EXPECT_EQ(w->windowTitle(), QStringLiteral("Orvex2 for Win32"));
  EXPECT_EQ(w->btnExe(2)->text(), QStringLiteral("詳細検査"));
  EXPECT_TRUE(fake.Log("UNLHA32.DLL command").isEmpty());
}

TEST_F(StartupTest, UnclosedQuoteLeavesTheListEmpty) {
  const QString a = Make("A.LZH");
  EXPECT_EQ(Load(a + " \"" + a), -1);
  EXPECT_TRUE(Targets().isEmpty());
  ShowAndActivate();
  EXPECT_FALSE(w->btnExe(1)->isEnabled());
}

TEST_F(StartupTest, AutomaticRunChecksAndEndsWithoutSaving) {
  Store("Auto", "True");
  Store("AutoExe", "1");
  Store("AutoLog", "True");
  fake.Script("test BAD.ZIP 0x800C");
  const QString good = Make("GOOD.LZH");
  const QString bad = Make("BAD.ZIP");
  EXPECT_EQ(Load(good + " " + bad), 1);  // one archive did not pass
  EXPECT_EQ(fake.Log("UNLHA32.DLL command").size(), 1);
  EXPECT_EQ(fake.Log("UNZIP32.DLL command").size(), 1);
  const QString copied = QGuiApplication::clipboard()->text();
  EXPECT_TRUE(copied.endsWith(QStringLiteral("全て終了しました\r\n"))) << copied.toStdString();
  EXPECT_TRUE(copied.contains(QStringLiteral("　格納ファイルのチェックサムが合っていません\r\n")));
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(Stored("Version"), "<missing>");  // nothing saved
}

TEST_F(StartupTest, AutomaticRunWithoutAutoLogLeavesTheClipboardAlone) {
  Store("Auto", "True");
  Store("AutoLog", "False");
  QGuiApplication::clipboard()->setText("sentinel");
  EXPECT_EQ(Load(Make("GOOD.LZH")), 0);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "sentinel");
}

TEST_F(StartupTest, AutomaticRunUsesTheModeOfAutoExe) {
  Store("Auto", "True");
  Store("AutoExe", "0");
  EXPECT_EQ(Load(Make("GOOD.LZH")), 0);
  EXPECT_TRUE(fake.Log("UNLHA32.DLL command").isEmpty());  // simple mode: CRC check only
  EXPECT_EQ(fake.Log("UNLHA32.DLL check").size(), 1);
}

TEST_F(StartupTest, AutomaticRunStoppedByALibraryCancel) {
  Store("Auto", "True");
  fake.Script("test * 0x8020");
  EXPECT_EQ(Load(Make("A.LZH") + " " + Make("B.LZH")), 2);
  EXPECT_EQ(fake.Log("UNLHA32.DLL command").size(), 1);
}

TEST_F(StartupTest, AutoWithOnlyUnreadableNamesOpensTheWindowEmptyAndSaysWhy) {
  Store("Auto", "True");
  EXPECT_EQ(Load(dir + "/missing.lzh " + dir), -1);
  EXPECT_TRUE(Targets().isEmpty());
  QString told;
  ModalAnswer ok([&](QWidget* box) {
    told = qobject_cast<QMessageBox*>(box)->text();
    Press(box, QMessageBox::Ok);
  });
  ShowAndActivate();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ok.seen(); }, 5000));
  EXPECT_EQ(told, QStringLiteral("次のファイルは検査対象ファイルに入りませんでした。\n\n") + dir +
                      QStringLiteral("/missing.lzh\n　ファイルが見つかりません\n") + dir + QStringLiteral("\n　フォルダです"));
  EXPECT_FALSE(w->btnExe(0)->isEnabled());
  EXPECT_FALSE(Shared().autoRun);
}

TEST_F(StartupTest, RefusalReasonsNameTheOptionOrLibrary) {
  for (auto& lib : Shared().lib) lib.present = true;
  Options().Zip = false;
  Options().Lzh_Lha = false;
  Options().Lzh_Exe = Options().Zip_Exe = Options().Arj_Exe = Options().Cab_Exe = false;
  Shared().lib[kCab].present = false;
  const std::pair<QString, QString> cases[] = {
      {Make("A.LZH"), QString()},
      {Make("B.ZIP"), QStringLiteral("Option の「ZIP圧縮ファイル検査対象(.ZIP)」が外れています")},
      {Make("C.CAB"), QStringLiteral("CAB32.DLL が見つかりません")},
      {Make("D.EXE"), QStringLiteral("Option で自己解凍形式（.EXE）を検査する圧縮形式がありません")},
      {Make("E.LHA"), QStringLiteral("Option の LZH の「.LHA」が外れています")},
      {Make("F.TXT"), QStringLiteral("検査できる圧縮ファイルの拡張子ではありません")},
  };
  for (const auto& [name, reason] : cases) EXPECT_EQ(RefusalReason(name), reason) << name.toStdString();
  EXPECT_TRUE(RefusedNamesMessage(cases[0].first).isEmpty());
}

TEST_F(StartupTest, ForcedAutoWithNothingToCheckEnds) {
  EXPECT_EQ(Load(dir + "/missing.lzh", true), 2);
  EXPECT_FALSE(w->isVisible());
}

TEST_F(StartupTest, ForcedAutoIgnoresTheAutoOption) {
  Store("Auto", "False");
  EXPECT_EQ(Load(Make("GOOD.ARJ"), true), 0);
  EXPECT_EQ(fake.Log("UNARJ32J.DLL command").size(), 1);
}

TEST_F(StartupTest, OldZipLibraryIsWarnedAboutBeforeTheAutomaticRun) {
  Store("Auto", "True");
  fake.Script("zip version 539");
  QString text;
  int commandsWhenShown = -1;
  ModalAnswer ok([&](QWidget* box) {
    text = qobject_cast<QMessageBox*>(box)->text();
    commandsWhenShown = fake.Log("UNZIP32.DLL command").size();
    Press(box, QMessageBox::Ok);
  });
  EXPECT_EQ(Load(Make("A.ZIP")), 0);
  EXPECT_TRUE(ok.seen());
  EXPECT_EQ(text, QStringLiteral("UNZIP32.DLLのバージョンは５．４０以降をご利用ください。"));
  EXPECT_EQ(commandsWhenShown, 0);
  EXPECT_EQ(fake.Log("UNZIP32.DLL command").size(), 1);
}

TEST_F(StartupTest, NoBoxWaitsWithoutADisplayOrUnderForcedAuto) {
  Store("Lzh", "False");
  fake.Script("zip version 539");
  ModalAnswer any([](QWidget* box) { Press(box, QMessageBox::Yes); }, 300);
  SetHeadless(true);
  EXPECT_EQ(Load("/U"), 0);  // the question takes its default answer, No
  SetHeadless(false);
  EXPECT_EQ(Stored("Lzh"), "False");
  EXPECT_EQ(Load(Make("A.ZIP"), true), 0);  // the old-library warning goes to standard error
  QTest::qWait(400);
  EXPECT_FALSE(any.seen());
  SetBoxesToStandardError(false);
}

TEST_F(StartupTest, CurrentZipLibraryOrNoneGivesNoWarning) {
  ModalAnswer none([](QWidget* box) { Press(box, QMessageBox::Ok); }, 300);
  EXPECT_EQ(Load(QString()), -1);
  QTest::qWait(400);
  EXPECT_FALSE(none.seen());
  w.reset();
  fake.UseSystemDir(dir + "/no-libraries");
  ModalAnswer none2([](QWidget* box) { Press(box, QMessageBox::Ok); }, 300);
  EXPECT_EQ(Load(QString()), -1);
  QTest::qWait(400);
  EXPECT_FALSE(none2.seen());
}

TEST_F(StartupTest, UnconvertibleMainGeometryIsALoadFailure) {
  Store("Main_Left", "far left");
  EXPECT_EQ(Load(QString()), 1);
  EXPECT_EQ(failures, QStringList{"Orvex2 frmOrvex MDIForm_Load ERR"});
  failures.clear();
}

TEST_F(StartupTest, ShutDownAfterANormalStartSavesTheOptions) {
  EXPECT_EQ(Load(QString()), -1);
  ShowAndActivate();
  w->close();
  EXPECT_EQ(Stored("Version"), "1.03");
}

}  // namespace
}  // namespace orvex2::test
