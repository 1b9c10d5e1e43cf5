// The folder browser, file browser and dialogs on their own: folders, patterns, adding to the
// target list, the alias list edits, the option record round trip and the about rows.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app_fixture.h"
#include "dialogs/frm_about.h"
#include "dialogs/frm_menu_mente.h"
#include "dialogs/frm_option.h"
#include "foundation/paths.h"
#include "selection/folder_lists.h"

namespace orvex2 {
namespace {

using test::AppFixture;
using test::ModalAnswer;

QStringList Texts(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

class WindowsTest : public AppFixture {};

TEST_F(WindowsTest, FolderBrowserShowsAncestorsFolderAndSubfoldersAndFeedsTheFileBrowser) {
  Open();
  Make("tree/b/X.LZH");
  Make("tree/a/Y.LZH");
  Make("tree/T.ZIP");
  const QString tree = dir + "/tree";
  w->InDir()->DirName(tree);
  EXPECT_EQ(w->InDir()->DirName(), tree);
  const FolderList* list = w->InDir()->dlbDir;
  const int current = list->currentRow();
  ASSERT_GE(current, 1);
  EXPECT_EQ(list->item(current)->data(Qt::UserRole).toString(), tree);
  EXPECT_EQ(list->item(0)->data(Qt::UserRole).toString(), "/");
  ASSERT_EQ(list->count(), current + 3);
  EXPECT_EQ(list->item(current + 1)->data(Qt::UserRole).toString(), tree + "/a");
  EXPECT_EQ(list->item(current + 2)->data(Qt::UserRole).toString(), tree + "/b");
  EXPECT_EQ(w->InDir()->txtDir->text(), ShortenPath(tree));
  EXPECT_EQ(Texts(w->InFile()->filFile), QStringList{"T.ZIP"});
  EXPECT_EQ(w->InFile()->DirName(), tree);

  // Enter on a subfolder opens it; Backspace goes back to the parent.
  w->InDir()->dlbDir->setCurrentRow(current + 2);
  QTest::keyClick(w->InDir()->dlbDir, Qt::Key_Return);
  EXPECT_EQ(w->InDir()->DirName(), tree + "/b");
  EXPECT_EQ(Texts(w->InFile()->filFile), QStringList{"X.LZH"});
  QTest::keyClick(w->InDir()->dlbDir, Qt::Key_Backspace);
  EXPECT_EQ(w->InDir()->DirName(), tree);

  // An unusable folder falls back to the process's current folder.
  w->InDir()->DirName(dir + "/missing");
  EXPECT_EQ(w->InDir()->DirName(), QDir::currentPath());
  EXPECT_EQ(w->InDir()->drvDrive->currentText(), w->InDir()->drvDrive->DriveOf(QDir::currentPath()));
  EXPECT_EQ(w->InDir()->drvDrive->itemText(0), "/");
}

TEST_F(WindowsTest, FileBrowserListsArchivesByThePatternCaseInsensitively) {
  Open();
  for (const char* n : {"A.LZH", "b.zip", "C.TXT", ".HIDDEN.LZH", "D.ARJ", "E.CAB", "F.EXE"}) Make(n);
  QDir().mkpath(dir + "/G.LZH");  // a folder is no file
  w->InDir()->DirName(dir);
  EXPECT_EQ(Texts(w->InFile()->filFile), (QStringList{"A.LZH", "b.zip", "D.ARJ", "E.CAB"}));
  Options().Zip = false;
  Options().Zip_Exe = true;
  w->InFile()->Pattern_Make();
  EXPECT_EQ(Texts(w->InFile()->filFile), (QStringList{"A.LZH", "D.ARJ", "E.CAB"}));
  Options().Lzh = Options().Zip = Options().Arj = Options().Cab = false;
  Options().Zip_Exe = false;
  w->InFile()->Pattern_Make();
  EXPECT_EQ(w->InFile()->filFile->count(), 0);
}

TEST_F(WindowsTest, AddButtonsPutFullPathsOnTheTargetList) {
  Open();
  for (const char* n : {"A.LZH", "B.LZH", "C.LZH", "sub/D.LZH", "sub/deeper/E.LZH"}) Make(n);
  w->InDir()->DirName(dir);
  mdiInFile* f = w->InFile();
  ASSERT_EQ(f->filFile->count(), 3);
  // Nothing selected: nothing added, buttons still updated.
  f->btnAdd_Click();
  EXPECT_TRUE(Targets().isEmpty());
  EXPECT_FALSE(w->btnExe(0)->isEnabled());
  f->filFile->item(1)->setSelected(true);
  QTest::mouseClick(f->btnAdd, Qt::LeftButton);
  EXPECT_EQ(Targets(), QStringList{dir + "/B.LZH"});
  EXPECT_FALSE(f->filFile->item(1)->isSelected());
  EXPECT_TRUE(w->btnExe(0)->isEnabled());
  // A file deleted since the listing is skipped silently.
  QFile::remove(dir + "/C.LZH");
  f->btnAddAll_Click();
  EXPECT_EQ(Targets(), (QStringList{dir + "/B.LZH", dir + "/A.LZH"}));
  // One level of subfolders, not deeper.
  w->File()->btnDelAll_Click();
  f->btnAddAllAll_Click();
  EXPECT_EQ(Targets(), (QStringList{dir + "/A.LZH", dir + "/B.LZH", dir + "/sub/D.LZH"}));
}

TEST_F(WindowsTest, FolderBrowserRestoresTheStartFolderAndSavesItsKeys) {
  Make("start/A.LZH");
  Make("last/B.LZH");
  SettingsStore::Write(kCurrentApp, kSection, "Dir_In", dir + "/start");
  SettingsStore::Write(kCurrentApp, kSection, "OldDir_In", dir + "/last");
  SettingsStore::Write(kCurrentApp, kSection, "Dir_In_Yuko", "False");
  Open();
  EXPECT_EQ(w->InDir()->DirName(), dir + "/last");  // Yuko off: the folder of the last exit
  EXPECT_EQ(Texts(w->InFile()->filFile), QStringList{"B.LZH"});
  EXPECT_EQ(Shared().Dir_In, dir + "/start");
  w->InDir()->DirName(dir + "/start");
  Shared().Dir_In_Yuko = true;
  w->close();
  EXPECT_EQ(Stored("OldDir_In"), dir + "/start");
  EXPECT_EQ(Stored("Dir_In_Yuko"), "True");
  EXPECT_EQ(Stored("Dir_In"), dir + "/start");
}

class TestInDir : public mdiInDir {
 public:
  QString answer;
  QStringList prompts, messages;

 protected:
  QString AskAliasName(const QString& prompt, const QString& title, const QString& proposal) override {
    prompts << prompt << title << proposal;
    return answer;
  }
  void ShowMessage(const QString& text) override { messages << text; }
};

TEST_F(WindowsTest, AliasesLoadUpToTheFirstGapAndAllTwentyKeysAreWritten) {
  Make("one/A.LZH");
  Make("two/B.LZH");
  auto put = [](int i, const QString& name, const QString& folder) {
    SettingsStore::Write(kCurrentApp, kSection, QStringLiteral("Dir_In_DirName%1").arg(i), name);
    SettingsStore::Write(kCurrentApp, kSection, QStringLiteral("Dir_In_DirDir%1").arg(i), folder);
  };
  put(0, "first", dir + "/one");
  put(1, "second", dir + "/two");
  put(3, "lost", dir + "/one");
  TestInDir d;
  d.Form_Load();
  ASSERT_EQ(d.AliasLast(), 1);
  EXPECT_TRUE(d.mnuAddDir[1]->isVisible());
  EXPECT_EQ(d.mnuAddDir[1]->text(), "second");
  EXPECT_FALSE(d.mnuAddDir[2]->isVisible());
  EXPECT_TRUE(d.mnuMente->isEnabled());
  EXPECT_TRUE(d.mnuBar->isVisible());
  EXPECT_TRUE(d.mnuAdd->isEnabled());
  d.mnuAddDir[1]->trigger();
  EXPECT_EQ(d.DirName(), dir + "/two");
  d.Form_Unload(0);
  EXPECT_EQ(Stored("Dir_In_DirName1"), "second");
  EXPECT_EQ(Stored("Dir_In_DirName3"), "");
  EXPECT_EQ(Stored("Dir_In_DirDir9"), "");
}

TEST_F(WindowsTest, AddingAliasesRefusesExactDuplicatesOnly) {
  Make("here/A.LZH");
  TestInDir d;
  d.Form_Load();
  ASSERT_EQ(d.AliasLast(), -1);
  EXPECT_FALSE(d.mnuMente->isEnabled());
  EXPECT_FALSE(d.mnuBar->isVisible());
  d.DirName(dir + "/here");
  d.answer = "";  // cancelled
  d.mnuAdd_Click();
  EXPECT_EQ(d.AliasLast(), -1);
  ASSERT_EQ(d.prompts.size(), 3);
  EXPECT_EQ(d.prompts[0], "フォルダエリアス名を入力してください\n" + dir + "/here");
  EXPECT_EQ(d.prompts[1], "フォルダエリアス名入力");
  EXPECT_EQ(d.prompts[2], ShortenPath(dir + "/here"));
  for (const char* n : {"a", "b", "c"}) {
    d.answer = n;
    d.mnuAdd_Click();
  }
  d.answer = "a";
  d.mnuAdd_Click();
  EXPECT_EQ(d.messages, QStringList{"同一のフォルダエリアス名は追加できません"});
  EXPECT_EQ(d.AliasLast(), 2);
  d.answer = "A";
  d.mnuAdd_Click();
  EXPECT_EQ(d.AliasLast(), 3);
  EXPECT_EQ(d.AliasDir(3), dir + "/here");
  for (int i = 4; i < 10; ++i) {
    d.answer = QString::number(i);
    d.mnuAdd_Click();
  }
  EXPECT_EQ(d.AliasLast(), 9);
  EXPECT_FALSE(d.mnuAdd->isEnabled());

  // The maintenance dialog deletes one: adding is possible again.
  frmMenuMente mente;
  mente.Form_Load();
  d.SetAliasMaintenance(&mente);
  ModalAnswer answer([&](QWidget*) {
    EXPECT_EQ(mente.windowTitle(), "圧縮ファイル格納フォルダのエリアスメンテナンス");
    EXPECT_EQ(mente.lbxMenu->count(), 10);
    mente.btnDel_Click();
    mente.btnOk->click();
  });
  d.mnuMente_Click();
  EXPECT_TRUE(answer.seen());
  EXPECT_EQ(d.AliasLast(), 8);
  EXPECT_EQ(d.AliasName(0), "b");
  EXPECT_TRUE(d.mnuAdd->isEnabled());
  EXPECT_FALSE(d.mnuAddDir[9]->isVisible());

  // Cancelled maintenance changes nothing.
  ModalAnswer cancel([&](QWidget*) {
    mente.btnDelAll_Click();
    mente.btnCancel->click();
  });
  d.mnuMente_Click();
  EXPECT_TRUE(cancel.seen());
  EXPECT_EQ(d.AliasLast(), 8);
}

class TestMenuMente : public frmMenuMente {
 public:
  QString answer;
  QStringList messages;

 protected:
  QString AskName(const QString&) override { return answer; }
  void ShowMessage(const QString& text) override { messages << text; }
};

TEST_F(WindowsTest, AliasDialogEditsItsWorkingCopy) {
  TestMenuMente d;
  d.Form_Load();
  d.Set_Menu(0, "one", "/a/1");
  d.Set_Menu(1, "two", "/a/2");
  d.Set_Menu(2, "three", "/a/3");
  d.Set_Menu(4, "after-gap", "/a/5");  // not reached: position 3 is empty
  d.pstr_FolderKind = "圧縮ファイル格納フォルダ";
  ModalAnswer answer([&](QWidget*) {
    EXPECT_EQ(d.windowTitle(), "圧縮ファイル格納フォルダのエリアスメンテナンス");
    EXPECT_EQ(Texts(d.lbxMenu), (QStringList{"one", "two", "three"}));
    EXPECT_EQ(d.txtDir->text(), "/a/1");
    d.btnUp_Click();  // first entry: nothing
    EXPECT_EQ(Texts(d.lbxMenu), (QStringList{"one", "two", "three"}));
    d.btnDown_Click();
    EXPECT_EQ(Texts(d.lbxMenu), (QStringList{"two", "one", "three"}));
    EXPECT_EQ(d.lbxMenu->currentRow(), 1);
    d.answer = "two";  // the name of another alias
    d.btnName_Click();
    EXPECT_EQ(d.messages, QStringList{"すでに存在するフォルダエリアス名には変更できません"});
    d.answer = "ONE";  // differs only in case: accepted
    d.btnName_Click();
    d.lbxMenu->setCurrentRow(2);
    d.btnDel_Click();  // the last: the new last is selected
    EXPECT_EQ(d.lbxMenu->currentRow(), 1);
    EXPECT_EQ(d.txtDir->text(), "/a/1");
    d.btnOk->click();
  });
  d.ShowModal();
  EXPECT_TRUE(answer.seen());
  EXPECT_TRUE(d.pblnOk);
  ASSERT_EQ(d.MenuCount(), 1);
  QString name, folder;
  d.Get_Menu(1, name, folder);
  EXPECT_EQ(name, "ONE");
  EXPECT_EQ(folder, "/a/1");
  d.Get_Menu(2, name, folder);
  EXPECT_TRUE(name.isEmpty() && folder.isEmpty());

  // Empty list: editing disabled, focus on cancel; OK gives -1.
  ModalAnswer empty([&](QWidget*) {
    d.btnDelAll_Click();
    EXPECT_FALSE(d.btnDel->isEnabled());
    EXPECT_FALSE(d.lbxMenu->isEnabled());
    d.btnOk->click();
  });
  d.ShowModal();
  EXPECT_TRUE(empty.seen());
  EXPECT_EQ(d.MenuCount(), -1);
}

TEST_F(WindowsTest, OptionDialogDefaultsThenCancelLeaveTheRecord) {
  Options().AutoExe = 7;  // out of range: shows 簡易
  Options().Lzh_Exe = true;
  const OptionRecord before = Options();
  frmOption d;
  d.Form_Load();
  EXPECT_EQ(d.ckbLZH->text(), "LZH圧縮ファイル検査対象(.LZH)");
  EXPECT_EQ(d.btnOk->text(), "設定");
  ModalAnswer answer([&](QWidget*) {
    EXPECT_TRUE(d.obtExe[0]->isChecked());
    EXPECT_FALSE(d.btnOk->isEnabled());
    d.btnInit->click();
    EXPECT_TRUE(d.btnOk->isEnabled());
    EXPECT_TRUE(d.obtExe[2]->isChecked());
    EXPECT_FALSE(d.ckbLZH_EXE->isChecked());
    d.btnCancel->click();
  });
  d.ShowModal();
  EXPECT_TRUE(answer.seen());
  EXPECT_EQ(Options().AutoExe, before.AutoExe);
  EXPECT_TRUE(Options().Lzh_Exe);

  // Hidden boxes keep and store their values: unchecking LZH hides the kinds.
  ModalAnswer store([&](QWidget*) {
    d.ckbLZH->click();
    EXPECT_FALSE(d.ckbLZH_EXE->isVisible());
    d.btnOk->click();
  });
  d.ShowModal();
  EXPECT_TRUE(store.seen());
  EXPECT_FALSE(Options().Lzh);
  EXPECT_TRUE(Options().Lzh_Exe);
  EXPECT_EQ(Options().AutoExe, 0);
}

TEST_F(WindowsTest, OptionCloseBoxUnloadsSavesThePositionAndTheNextShowingLoadsAgain) {
  frmOption d;
  d.Form_Load();
  d.move(300, 200);
  ModalAnswer closeBox([&](QWidget*) {
    d.ckbLZH->click();  // a change, then the close box: nothing is stored
    d.close();
  });
  d.ShowModal();
  EXPECT_TRUE(closeBox.seen());
  EXPECT_FALSE(d.loaded());
  EXPECT_TRUE(Options().Lzh);
  EXPECT_EQ(Stored("Option_Left"), NumberText(WindowGeometry(&d).left));
  SettingsStore::Write(kCurrentApp, kSection, "Option_Left", "1500");
  ModalAnswer again([&](QWidget*) {
    EXPECT_TRUE(d.loaded());
    EXPECT_EQ(d.x(), TwipsToPixels(1500));
    d.btnCancel->click();
  });
  d.ShowModal();
  EXPECT_TRUE(again.seen());
}

TEST_F(WindowsTest, OptionDialogKeepsItsSizeWhileRulesHideAndShowControls) {
  Options().Auto = false;
  Options().Dir_Out_Yuko = false;
  frmOption d;
  d.Form_Load();
  ModalAnswer answer([&](QWidget*) {
    const QSize size = d.size();
    EXPECT_EQ(d.minimumSize(), d.maximumSize());
    EXPECT_FALSE(d.pnlAuto->isVisible());
    EXPECT_FALSE(d.ckbLog->isVisible());
    d.ckbAuto->click();
    d.ckbMove->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(d.pnlAuto->isVisible());
    EXPECT_TRUE(d.ckbLog->isVisible());
    EXPECT_TRUE(d.pnlMove->isVisible());
    EXPECT_EQ(d.size(), size);
    // Hidden controls keep their place: the boxes below them do not move.
    const QPoint resize = d.ckbResize->pos();
    d.ckbAuto->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(d.ckbResize->pos(), resize);
    EXPECT_EQ(d.size(), size);
    d.btnCancel->click();
  });
  d.ShowModal();
  EXPECT_TRUE(answer.seen());
}

TEST_F(WindowsTest, OptionDialogDisablesBoxesOfMissingLibraries) {
  fake.UseSystemDir(fake.NoEntryDir());
  ProbeLibraries();
  frmOption d;
  d.Form_Load();
  EXPECT_FALSE(d.ckbZIP->isEnabled());
  EXPECT_FALSE(d.ckbARJ_EXE->isEnabled());
  EXPECT_FALSE(d.ckbLZH->isEnabled());
  EXPECT_TRUE(d.ckbCAB_EXE->isEnabled());
}

TEST_F(WindowsTest, AboutRowsSkipMissingLibraries) {
  EXPECT_EQ(frmAbout::VersionText(540), "5.40");
  EXPECT_EQ(frmAbout::VersionText(20), "0.20");
  Shared().lib[kLzh].present = false;
  Shared().lib[kArj].present = false;
  Shared().lib[kZip].version = 539;
  frmAbout d;
  d.Form_Load();
  EXPECT_EQ(d.lblProg[0]->text(), "UNZIP32.DLL");
  EXPECT_EQ(d.lblVer[0]->text(), "Ver.5.39");
  EXPECT_EQ(d.lblProg[1]->text(), "CAB32.DLL");
  EXPECT_TRUE(d.lblProg[2]->text().isEmpty());
  EXPECT_TRUE(d.lblVer[3]->text().isEmpty());
  EXPECT_EQ(d.lblAboutVersion->text(), "Ver.1.03");
  EXPECT_EQ(d.lblAboutProgName->text(), "Orvex2 for Win32");
  // The project's lines, each shown whole.
  for (QLineEdit* t : {d.txtNiftyMail, d.txtMail, d.txtWeb}) {
    EXPECT_FALSE(t->text().contains("example")) << t->text().toStdString();
    EXPECT_GE(t->minimumWidth(), t->fontMetrics().horizontalAdvance(t->text())) << t->text().toStdString();
  }
}

TEST_F(WindowsTest, AboutPositionThatDoesNotConvertLeavesTheLibraryRowsEmpty) {
  SettingsStore::Write(kCurrentApp, kSection, "About_Top", "top");
  frmAbout d;
  d.Form_Load();
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(d.lblProg[i]->text().isEmpty()) << i;
    EXPECT_TRUE(d.lblVer[i]->text().isEmpty()) << i;
  }
  EXPECT_EQ(d.windowTitle(), "About");
  // With a sound position the same libraries are listed.
  SettingsStore::Write(kCurrentApp, kSection, "About_Top", "1200");
  d.Form_Load();
  EXPECT_EQ(d.lblProg[0]->text(), "UNLHA32.DLL");
  EXPECT_EQ(d.y(), TwipsToPixels(1200));
}

}  // namespace
}  // namespace orvex2
