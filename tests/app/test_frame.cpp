// The main window frame: layout figures, run-button enabling, tool tips, the menu bar of the
// active window, the font, help, default-folder, option and about menus, the alias dialog, and
// shut-down.
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLibraryInfo>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <QUrl>

#include "app_fixture.h"
#include "app/program_icon.h"
#include "app/qt_translations.h"
#include "dialogs/frm_about.h"
#include "dialogs/frm_default.h"
#include "dialogs/frm_menu_mente.h"
#include "dialogs/frm_option.h"
#include "foundation/messages.h"
#include "foundation/settings.h"
#include "results/menu_set.h"
#include "results/window_support.h"
#include "selection/folder_lists.h"

namespace orvex2 {
namespace {

using test::AppFixture;
using test::ModalAnswer;

// ---------------------------------------------------------------------------------------------
// Layout figures

TEST(FrameLayoutTest, NineThousandBySixThousand) {
  const FrameLayout l = ComputeFrameLayout(9000, 6000, 1335, true);
  ASSERT_TRUE(l.childrenMoved);
  const FrameRect expected[5] = {
      {0, 0, 4500, 2000}, {0, 2000, 4500, 2000}, {0, 4000, 4500, 2000}, {4500, 0, 4500, 4000}, {4500, 4000, 4500, 2000}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(l.children[i].left, expected[i].left) << i;
    EXPECT_EQ(l.children[i].top, expected[i].top) << i;
    EXPECT_EQ(l.children[i].width, expected[i].width) << i;
    EXPECT_EQ(l.children[i].height, expected[i].height) << i;
  }
  EXPECT_TRUE(l.cancelMoved);
  EXPECT_EQ(l.cancelLeft, 7605);
}

TEST(FrameLayoutTest, ThirdsAndHalvesRoundHalfToEven) {
  EXPECT_EQ(ComputeFrameLayout(9000, 1000, 1335, true).children[1].top, 333);
  EXPECT_EQ(ComputeFrameLayout(9000, 1001, 1335, true).children[1].top, 334);
  EXPECT_EQ(ComputeFrameLayout(9001, 6000, 1335, true).children[0].width, 4500);  // 4500.5
  EXPECT_EQ(ComputeFrameLayout(9003, 6000, 1335, true).children[0].width, 4502);  // 4501.5
  EXPECT_EQ(RoundHalfEven(10.5), 10);
  EXPECT_EQ(RoundHalfEven(11.5), 12);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  // A fractional cancel width rounds the same way: 9000 - 60 - 1334.5 = 7605.5 -> 7606.
  EXPECT_EQ(ComputeFrameLayout(9000, 6000, 1334.5, false).cancelLeft, 7606);
}

TEST(FrameLayoutTest, ResizeOffMovesOnlyTheCancelButton) {
  const FrameLayout l = ComputeFrameLayout(9000, 6000, 1335, false);
  EXPECT_FALSE(l.childrenMoved);
  EXPECT_TRUE(l.cancelMoved);
  EXPECT_EQ(l.cancelLeft, 7605);
}

TEST(FrameLayoutTest, NarrowFrameLeavesTheCancelButton) {
  EXPECT_FALSE(ComputeFrameLayout(1395, 6000, 1335, true).cancelMoved);  // x = 0
  EXPECT_FALSE(ComputeFrameLayout(100, 6000, 1335, true).cancelMoved);
  const FrameLayout l = ComputeFrameLayout(1396, 6000, 1335, true);
  EXPECT_TRUE(l.cancelMoved);
  EXPECT_EQ(l.cancelLeft, 1);
}

TEST(FrameLayoutTest, WideScreensStillLayOutEverything) {
  // Beyond 16-bit figures the cancel button still follows the edge and the children still move.
  FrameLayout l = ComputeFrameLayout(40000, 6000, 1335, true);
  EXPECT_TRUE(l.cancelMoved);
  EXPECT_EQ(l.cancelLeft, 38605);
  l = ComputeFrameLayout(70000, 120000, 1335, true);
  ASSERT_TRUE(l.childrenMoved);
  EXPECT_EQ(l.children[3].left, 35000);
  EXPECT_EQ(l.children[3].height, 80000);
  EXPECT_EQ(l.cancelLeft, 68605);
}

// ---------------------------------------------------------------------------------------------
// The frame at work

// Under a Japanese locale Qt's own texts (here a message box's standard buttons) are Japanese.
TEST(QtTranslationsTest, JapaneseLocaleTranslatesQtsOwnTexts) {
  if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_ja.qm"))
    GTEST_SKIP() << "Qt's translations are not installed (scripts/setup.sh installs qt6-translations-l10n)";
  EXPECT_EQ(InstallQtTranslations(QLocale::c()), nullptr);
  QTranslator* ja = InstallQtTranslations(QLocale(QLocale::Japanese, QLocale::Japan));
  ASSERT_NE(ja, nullptr);
  QMessageBox box(QMessageBox::NoIcon, "Orvex2", "?", QMessageBox::No | QMessageBox::Cancel);
  EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
  QCoreApplication::removeTranslator(ja);
  delete ja;
}

// The icon the windows carry is built into the program and renders (the SVG image plugin is there).
TEST(ProgramIconTest, IsBuiltInAndRenders) {
  const QImage image = ProgramIcon().pixmap(48, 48).toImage();
  ASSERT_FALSE(image.isNull());
  EXPECT_NE(image.pixelColor(24, 24).alpha(), 0);
}

class FrameTest : public AppFixture {};

TEST_F(FrameTest, CaptionsButtonsAndChildrenAfterStartUp) {
  Open();
  EXPECT_EQ(w->windowTitle(), "Orvex2 for Win32");
  EXPECT_EQ(w->btnExe(0)->text(), "簡易検査");
  EXPECT_EQ(w->btnExe(1)->text(), "通常検査");
  EXPECT_EQ(w->btnExe(2)->text(), "詳細検査");
  EXPECT_EQ(w->btnCancel()->text(), "ｷｬﾝｾﾙ");
  EXPECT_FALSE(w->btnCancel()->isEnabled());
  EXPECT_EQ(w->pnlOrvex()->height(), TwipsToPixels(615));
  EXPECT_EQ(w->btnExe(1)->geometry(), QRect(104, 8, 89, 25));  // 1560, 120, 1335, 375 twips
  EXPECT_EQ(w->mdiArea()->subWindowList().size(), 5);
  for (QMdiSubWindow* sub : w->mdiArea()->subWindowList()) EXPECT_TRUE(sub->isVisible());
  EXPECT_EQ(Ports().targets, w->File());
  EXPECT_EQ(Ports().history, w->Status());
  EXPECT_EQ(Ports().passed, w->OutFile());
}

TEST_F(FrameTest, ResizeLaysOutChildrenAndKeepsCancelAtTheRightEdge) {
  Options().Resize = true;
  Open();
  w->resize(900, 700);
  QCoreApplication::processEvents();
  const QSize inner = w->mdiArea()->contentsRect().size();
  const FrameLayout l = ComputeFrameLayout(PixelsToTwips(inner.width()), PixelsToTwips(inner.height()),
                                           PixelsToTwips(w->btnCancel()->width()), true);
  const QList<QMdiSubWindow*> subs = w->mdiArea()->subWindowList(QMdiArea::CreationOrder);
  ASSERT_EQ(subs.size(), 5);
  for (int i = 0; i < 5; ++i) {
    const FrameRect& r = l.children[i];
    EXPECT_EQ(subs[i]->geometry(), QRect(TwipsToPixels(r.left), TwipsToPixels(r.top), TwipsToPixels(r.width),
                                         TwipsToPixels(r.height)))
        << i;
  }
  EXPECT_EQ(subs[3]->geometry().left(), subs[0]->geometry().width());  // the right column
  EXPECT_EQ(w->btnCancel()->x(), inner.width() - 4 - w->btnCancel()->width());

  // A frame wider than 32767 twips (2185 pixels) lays out everything all the same.
  w->resize(2600, 700);
  QCoreApplication::processEvents();
  const int wide = w->mdiArea()->contentsRect().width();
  ASSERT_GT(PixelsToTwips(wide), 34163);
  EXPECT_EQ(w->btnCancel()->x(), wide - 4 - w->btnCancel()->width());
  EXPECT_EQ(subs[3]->geometry().left(), TwipsToPixels(RoundHalfEven(PixelsToTwips(wide) / 2)));

  // Resize off: only the cancel button follows.
  Options().Resize = false;
  const QRect before = subs[0]->geometry();
  w->resize(1000, 700);
  QCoreApplication::processEvents();
  EXPECT_EQ(subs[0]->geometry(), before);
  EXPECT_EQ(w->btnCancel()->x(), w->mdiArea()->contentsRect().width() - 4 - w->btnCancel()->width());
}

// A minimised or a maximised child keeps its state through resizes of the frame (its buttons in
// reach, its contents there); the others are laid out; restored, it is laid out again.
TEST_F(FrameTest, MinimisedAndMaximisedChildrenKeepTheirStateWhileTheOthersAreLaidOut) {
  Options().Resize = true;
  Open();
  const QList<QMdiSubWindow*> subs = w->mdiArea()->subWindowList(QMdiArea::CreationOrder);
  ASSERT_EQ(subs.size(), 5);
  const auto laidOut = [this](int i) {
    const QSize inner = w->mdiArea()->contentsRect().size();
    const FrameRect r = ComputeFrameLayout(PixelsToTwips(inner.width()), PixelsToTwips(inner.height()),
                                           PixelsToTwips(w->btnCancel()->width()), true)
                            .children[i];
    return QRect(TwipsToPixels(r.left), TwipsToPixels(r.top), TwipsToPixels(r.width), TwipsToPixels(r.height));
  };
  for (const bool maximise : {false, true}) {
    SCOPED_TRACE(maximise);
    const int k = maximise ? 3 : 1;
    w->resize(900, 700);
    QCoreApplication::processEvents();
    if (maximise) subs[k]->showMaximized();
    else subs[k]->showMinimized();
    QCoreApplication::processEvents();
    const QRect kept = subs[k]->geometry();
    w->resize(1000, 760);
    QCoreApplication::processEvents();
    EXPECT_EQ(maximise ? subs[k]->isMaximized() : subs[k]->isMinimized(), true);
    if (maximise) {
      EXPECT_EQ(subs[k]->geometry(), w->mdiArea()->viewport()->rect());  // fills the new area
    } else {
      EXPECT_EQ(subs[k]->geometry().size(), kept.size());
      EXPECT_FALSE(subs[k]->widget()->isVisible());
    }
    for (int i = 0; i < 5; ++i) {
      if (i == k) continue;
      EXPECT_EQ(subs[i]->geometry(), laidOut(i)) << i;
    }
    subs[k]->showNormal();
    w->resize(900, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(subs[k]->geometry(), laidOut(k));
    EXPECT_TRUE(subs[k]->widget()->isVisible());
  }
}

TEST_F(FrameTest, RunButtonsFollowTheTargetListCount) {
  Open();
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(w->btnExe(i)->isEnabled());
  ASSERT_TRUE(w->File()->ListInAdd(Make("A.LZH")));
  w->BtnEnabledChange();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(w->btnExe(i)->isEnabled());
  EXPECT_FALSE(w->btnCancel()->isEnabled());
  // The target list's own delete-all tells the frame.
  w->File()->btnDelAll_Click();
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(w->btnExe(i)->isEnabled());
  // The file browser's add button too.
  Make("b/B.ZIP");
  w->InDir()->DirName(dir + "/b");
  ASSERT_EQ(w->InFile()->filFile->count(), 1);
  w->InFile()->btnAddAll_Click();
  EXPECT_EQ(Targets(), QStringList{dir + "/b/B.ZIP"});
  EXPECT_TRUE(w->btnExe(2)->isEnabled());
}

// Tab walks each pane's controls and then the next pane, the run buttons last, and round again,
// bringing the pane's window forward; Shift+Tab goes back.
TEST_F(FrameTest, TabMovesThroughThePanesInTurn) {
  Open();
  ASSERT_TRUE(w->File()->ListInAdd(Make("A.LZH")));
  w->BtnEnabledChange();
  QApplication::setActiveWindow(w.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  QWidget* start = w->InDir()->drvDrive;
  start->setFocus();
  const QList<QWidget*> panes{w->InDir(), w->InFile(), w->File(), w->Status(), w->OutFile(), w->pnlOrvex()};
  auto paneOf = [&panes](QWidget* f) {
    for (int i = 0; i < panes.size(); ++i)
      if (panes[i]->isAncestorOf(f)) return i;
    return -1;
  };
  QList<int> visited;
  for (int i = 0; i < 40; ++i) {
    QWidget* f = QApplication::focusWidget();
    ASSERT_NE(f, nullptr);
    if (i > 0 && f == start) break;
    const int pane = paneOf(f);
    if (visited.isEmpty() || visited.last() != pane) visited << pane;
    if (pane < 5) {
      EXPECT_EQ(w->mdiArea()->activeSubWindow()->widget(), panes[pane]);
    }
    QTest::keyClick(f, Qt::Key_Tab);
  }
  EXPECT_EQ(QApplication::focusWidget(), start);
  EXPECT_EQ(visited, (QList<int>{0, 1, 2, 3, 4, 5}));

  QTest::keyClick(start, Qt::Key_Tab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), w->btnExe(2));
  QTest::keyClick(w->btnExe(2), Qt::Key_Backtab);
  QTest::keyClick(w->btnExe(1), Qt::Key_Backtab);
  QTest::keyClick(w->btnExe(0), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), w->OutFile()->lstOutFile);
  EXPECT_EQ(w->mdiArea()->activeSubWindow()->widget(), w->OutFile());
}

TEST_F(FrameTest, ToolTipsOnAndOff) {
  Open();
  EXPECT_EQ(w->btnExe(0)->toolTip(), "圧縮ファイルをＣＲＣエラーのみ検査します");
  EXPECT_EQ(w->btnExe(1)->toolTip(), "圧縮ファイルの完全検査を実行します");
  EXPECT_EQ(w->btnExe(2)->toolTip(), "圧縮ファイルの完全検査を実行後、ＣＲＣエラーを実行します");
  EXPECT_EQ(w->btnCancel()->toolTip(), "実行中に中断します");
  w->SetToolTip(false);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(w->btnExe(i)->toolTip().isEmpty());
  EXPECT_TRUE(w->btnCancel()->toolTip().isEmpty());
  w->SetToolTip(true);
  EXPECT_EQ(w->btnCancel()->toolTip(), "実行中に中断します");
}

TEST_F(FrameTest, MenuBarShowsTheActiveChildsCopy) {
  Open();
  QMenuBar* bar = w->menuBar();
  const QList<QMdiSubWindow*> subs = w->mdiArea()->subWindowList(QMdiArea::CreationOrder);
  w->mdiArea()->setActiveSubWindow(subs[3]);
  ASSERT_EQ(w->mdiArea()->activeSubWindow(), subs[3]);
  EXPECT_TRUE(bar->actions().contains(w->Status()->menuSet()->mnuExit));
  EXPECT_FALSE(bar->actions().contains(w->menuSet()->mnuExit));
  ASSERT_EQ(bar->actions().size(), 7);
  EXPECT_EQ(bar->actions()[2]->text(), "(&L)og");
  w->mdiArea()->setActiveSubWindow(subs[2]);
  EXPECT_TRUE(bar->actions().contains(w->File()->menuSet()->mnuExit));
  w->mdiArea()->setActiveSubWindow(nullptr);
  EXPECT_TRUE(bar->actions().contains(w->menuSet()->mnuExit));
  // Every copy forwards to the frame: the target list's Exit closes the main window.
  w->File()->menuSet()->mnuExit->trigger();
  EXPECT_FALSE(w->isVisible());
}

TEST_F(FrameTest, ChildCloseBoxesDoNotUnloadChildren) {
  Open();
  QMdiSubWindow* sub = w->mdiArea()->subWindowList().first();
  EXPECT_FALSE(sub->close());
  EXPECT_TRUE(sub->isVisible());
  EXPECT_NE(w->InDir(), nullptr);
}

TEST_F(FrameTest, FontMenuStoresAChangedFontAndAppliesItEverywhere) {
  Open();
  QFont offered;
  frmOrvex::SetFontAsker([&offered](const QFont& preset, QWidget*) -> std::optional<QFont> {
    offered = preset;
    QFont f(QStringLiteral("Serif"));
    f.setPointSizeF(10.5);
    f.setBold(true);
    return f;
  });
  w->mnuFont_Click();
  EXPECT_EQ(offered.family(), "Sans Serif");
  EXPECT_EQ(offered.pointSize(), 9);
  EXPECT_EQ(Options().Font_Name, "Serif");
  EXPECT_EQ(Options().Font_Size, 10);  // 10.5 stored as 10
  EXPECT_TRUE(Options().Font_Bold);
  EXPECT_FALSE(Options().Font_Italic);
  for (QWidget* x : std::initializer_list<QWidget*>{w->btnExe(0), w->btnCancel(), w->InDir()->dlbDir,
                                                    w->InFile()->filFile, w->File()->lstFile, w->Status()->lstKekka}) {
    EXPECT_EQ(x->font().pointSize(), 10) << x->objectName().toStdString();
    EXPECT_TRUE(x->font().bold()) << x->objectName().toStdString();
  }
  frmOrvex::SetFontAsker(nullptr);
}

TEST_F(FrameTest, SameFontOrCancelRefreshesNothing) {
  Open();
  QFont marker(QStringLiteral("Monospace"));
  marker.setPointSize(21);
  w->InDir()->dlbDir->setFont(marker);
  frmOrvex::SetFontAsker([](const QFont& preset, QWidget*) -> std::optional<QFont> { return preset; });
  w->mnuFont_Click();
  EXPECT_EQ(w->InDir()->dlbDir->font().pointSize(), 21);
  frmOrvex::SetFontAsker([](const QFont&, QWidget*) -> std::optional<QFont> { return std::nullopt; });
  w->mnuFont_Click();
  EXPECT_EQ(w->InDir()->dlbDir->font().pointSize(), 21);
  EXPECT_EQ(Options().Font_Name, "Sans Serif");
  EXPECT_EQ(Options().Font_Size, 9);
  frmOrvex::SetFontAsker(nullptr);
}

TEST_F(FrameTest, UnchangedFontDialogKeepsAStoredNameTheDialogDoesNotList) {
  Options().Font_Name = QStringLiteral("ＭＳ 明朝");
  Options().Font_Size = 10;
  Open();
  QFont marker(QStringLiteral("Monospace"));
  marker.setPointSize(21);
  w->InDir()->dlbDir->setFont(marker);
  QFont offered;
  // The real dialog, confirmed at once with whatever it preselected.
  frmOrvex::SetFontAsker([&offered](const QFont& preset, QWidget*) -> std::optional<QFont> {
    offered = preset;
    QFontDialog d;
    d.setOption(QFontDialog::ScalableFonts);
    d.setCurrentFont(preset);
    return d.currentFont();
  });
  w->mnuFont_Click();
  frmOrvex::SetFontAsker(nullptr);
  EXPECT_TRUE(QFontDatabase::families().contains(offered.family())) << offered.family().toStdString();
  EXPECT_EQ(offered.pointSize(), 10);
  EXPECT_EQ(Options().Font_Name, "ＭＳ 明朝");
  EXPECT_EQ(Options().Font_Size, 10);
  EXPECT_EQ(w->InDir()->dlbDir->font().pointSize(), 21);  // no window refreshed
}

class UrlCatcher : public QObject {
  Q_OBJECT
 public slots:
  void open(const QUrl& url) { urls << url; }

 public:
  QList<QUrl> urls;
};

TEST_F(FrameTest, HelpOpensTheHtmlManualBesideTheLibraries) {
  Open();
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "open");
  w->mnuHelp_Click();
  QDesktopServices::unsetUrlHandler("file");
  ASSERT_EQ(catcher.urls.size(), 1);
  const QString path = catcher.urls[0].toLocalFile();
  EXPECT_EQ(path, frmOrvex::HelpFilePath());
  EXPECT_EQ(path, QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/orvex2/ORVEX2.html"));
  // The build tree carries the manual where an installed program finds it.
  EXPECT_TRUE(QFile::exists(QStringLiteral(ORVEX2_BUILD_DIR "/share/orvex2/ORVEX2.html")));
}

TEST_F(FrameTest, QuarantineFolderMenuStoresTheChosenFolderAndSwitchesMovingOn) {
  Open();
  Options().Dir_Out = dir + "/no-such-folder";
  Options().Dir_Out_Yuko = false;
  const QString chosen = dir + "/out";
  ModalAnswer answer([&](QWidget* m) {
    auto* d = qobject_cast<frmDefault*>(m);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->lblDrive->text().left(d->pstr_lblDrive_Caption.size()), "異常ファイル移動フォルダ名");
    EXPECT_TRUE(d->lblDrive->text().contains("Free)"));  // the free space of the drive
    EXPECT_FALSE(d->cbxDrive->isVisible());
    EXPECT_EQ(d->DirName(), QDir::currentPath());  // a missing folder opens the current one
    EXPECT_FALSE(d->btnOk->isEnabled());
    d->dlbDir->SetFolder(chosen);
    EXPECT_TRUE(d->btnOk->isEnabled());
    d->btnOk->click();
  });
  w->mnuOutDirDefault_Click();
  EXPECT_TRUE(answer.seen());
  EXPECT_EQ(Options().Dir_Out, chosen);
  EXPECT_TRUE(Options().Dir_Out_Yuko);
}

TEST_F(FrameTest, StartFolderMenuTakesYukoAndCancelChangesNothing) {
  Open();
  Shared().Dir_In = dir;
  Shared().Dir_In_Yuko = true;
  ModalAnswer cancel([](QWidget* m) { qobject_cast<frmDefault*>(m)->btnCancel->click(); });
  w->mnuInDirDefault_Click();
  EXPECT_TRUE(cancel.seen());
  EXPECT_EQ(Shared().Dir_In, dir);
  EXPECT_TRUE(Shared().Dir_In_Yuko);

  ModalAnswer uncheck([](QWidget* m) {
    auto* d = qobject_cast<frmDefault*>(m);
    EXPECT_EQ(d->lblDrive->text(), "圧縮ファイル格納フォルダ名");  // no free space in this mode
    EXPECT_TRUE(d->cbxDrive->isVisible());
    d->cbxDrive->click();
    EXPECT_FALSE(d->dlbDir->isEnabled());
    d->btnOk->click();
  });
  w->mnuInDirDefault_Click();
  EXPECT_TRUE(uncheck.seen());
  EXPECT_EQ(Shared().Dir_In, dir);
  EXPECT_FALSE(Shared().Dir_In_Yuko);
}

TEST_F(FrameTest, TemporaryFolderMenu) {
  Open();
  ModalAnswer answer([&](QWidget* m) {
    auto* d = qobject_cast<frmDefault*>(m);
    EXPECT_EQ(d->dlbDir->toolTip(), "テンポラリフォルダ名を設定します");
    d->dlbDir->SetFolder(dir);
    d->btnOk->click();
  });
  w->mnuTmpDirDefault_Click();
  EXPECT_TRUE(answer.seen());
  EXPECT_EQ(Options().TmpDir, dir);
}

TEST_F(FrameTest, DefaultPopupBelongsToTheFolderControlsAndEnablesOkOnlyOnAChange) {
  Open();
  Options().Dir_Out = dir;
  Options().TmpDir = dir;
  ModalAnswer answer([&](QWidget* m) {
    auto* d = qobject_cast<frmDefault*>(m);
    ASSERT_NE(d, nullptr);
    auto rightClick = [](QWidget* target) {
      QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(2, 2), target->mapToGlobal(QPoint(2, 2)));
      QApplication::sendEvent(target, &e);
    };
    rightClick(d->txtDir);  // not the text box's own edit menu
    EXPECT_TRUE(d->mnuPopup->isVisible());
    d->mnuPopup->hide();
    rightClick(d->btnOk);
    EXPECT_FALSE(d->mnuPopup->isVisible());
    d->mnuOutDir->trigger();  // the folder already shown: no change
    EXPECT_FALSE(d->btnOk->isEnabled());
    d->mnuTmp->trigger();
    EXPECT_NE(d->DirName(), dir);
    EXPECT_TRUE(d->btnOk->isEnabled());
    // Without the check box the heading starts at the 60-twip margin; 60-twip gaps below it.
    EXPECT_EQ(d->lblDrive->x(), TwipsToPixels(60));
    EXPECT_EQ(d->drvDrive->y(), d->lblDrive->geometry().bottom() + 1 + TwipsToPixels(60));
    EXPECT_EQ(d->dlbDir->width(), d->width() - TwipsToPixels(120));
    EXPECT_EQ(d->txtDir->y(), d->dlbDir->geometry().bottom() + 1 + TwipsToPixels(60));
    d->btnCancel->click();
  });
  w->mnuOutDirDefault_Click();
  EXPECT_TRUE(answer.seen());
  EXPECT_EQ(Options().Dir_Out, dir);
}

TEST_F(FrameTest, AliasDialogFocusAndCloseBox) {
  Open();
  frmMenuMente& d = *w->MenuMente();
  for (int i = 0; i < 10; ++i) d.Set_Menu(i, QString(), QString());
  ModalAnswer empty([&](QWidget*) {
    EXPECT_EQ(d.focusWidget(), d.btnCancel);
    d.btnCancel->click();
  });
  EXPECT_FALSE(d.ShowFor("圧縮ファイル格納フォルダ"));
  EXPECT_TRUE(empty.seen());

  d.Set_Menu(0, "a", dir);
  ModalAnswer closed([&](QWidget*) {
    EXPECT_EQ(d.focusWidget(), d.lbxMenu);
    d.btnDelAll_Click();
    d.close();  // as Cancel, and the position is written
  });
  EXPECT_FALSE(d.ShowFor("圧縮ファイル格納フォルダ"));
  EXPECT_TRUE(closed.seen());
  EXPECT_EQ(Stored("MenuMente_Left"), NumberText(WindowGeometry(&d).left));
}

TEST_F(FrameTest, OptionMenuAppliesToolTipsEverywhereAndRefreshesTheButtons) {
  Open();
  ASSERT_TRUE(w->File()->ListInAdd(Make("A.LZH")));
  w->BtnEnabledChange();
  ModalAnswer answer([](QWidget* m) {
    auto* d = qobject_cast<frmOption*>(m);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->btnOk->isEnabled());
    EXPECT_TRUE(d->ckbTip->isChecked());
    d->ckbTip->click();
    EXPECT_TRUE(d->btnOk->isEnabled());
    d->btnOk->click();
  });
  w->mnuOption_Click();
  EXPECT_TRUE(answer.seen());
  EXPECT_FALSE(Options().Tip);
  EXPECT_TRUE(w->btnExe(0)->toolTip().isEmpty());
  EXPECT_TRUE(w->InDir()->drvDrive->toolTip().isEmpty());
  EXPECT_TRUE(w->InFile()->btnAdd->toolTip().isEmpty());
  // Confirming refreshes the target list (it is emptied) and the run buttons follow.
  EXPECT_EQ(w->File()->Count(), 0);
  EXPECT_FALSE(w->btnExe(0)->isEnabled());
}

TEST_F(FrameTest, AboutShowsTheLibrariesFound) {
  Open();
  ModalAnswer answer([](QWidget* m) {
    auto* d = qobject_cast<frmAbout*>(m);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), "About");
    EXPECT_EQ(d->lblProg[0]->text(), "UNLHA32.DLL");
    EXPECT_EQ(d->lblVer[0]->text(), "Ver.5.40");
    EXPECT_EQ(d->lblProg[3]->text(), "CAB32.DLL");
    d->btnOK->click();
  });
  w->mnuAbout_Click();
  EXPECT_TRUE(answer.seen());
}

TEST_F(FrameTest, ShutDownWhileMaximisedWritesTheStateOnly) {
  Open();
  w->showMaximized();
  QCoreApplication::processEvents();
  ASSERT_EQ(w->WindowStateValue(), 2);
  Options().AutoExe = 1;
  EXPECT_TRUE(w->close());
  EXPECT_EQ(Stored("Main_WindowState"), "2");
  EXPECT_EQ(Stored("Main_Left"), "<missing>");
  EXPECT_EQ(Stored("Main_Width"), "<missing>");
  // Children are unloaded with the main window's state: no child geometry either.
  EXPECT_EQ(Stored("InDir_Left"), "<missing>");
  EXPECT_EQ(Stored("File_Left"), "<missing>");
  // Dialogs save regardless, the options are saved, the start folder keys are written.
  EXPECT_NE(Stored("About_Left"), "<missing>");
  EXPECT_EQ(Stored("AutoExe"), "1");
  EXPECT_NE(Stored("OldDir_In"), "<missing>");
  EXPECT_EQ(w->InDir(), nullptr);
  EXPECT_EQ(w->About(), nullptr);
  EXPECT_EQ(Ports().targets, nullptr);
}

TEST_F(FrameTest, ShutDownWhileNormalWritesThePosition) {
  Open();
  w->setGeometry(150, 100, 700, 500);
  QCoreApplication::processEvents();
  ASSERT_EQ(w->WindowStateValue(), 0);
  const Geometry g = WindowGeometry(w.get());
  EXPECT_TRUE(w->close());
  EXPECT_EQ(Stored("Main_WindowState"), "0");
  EXPECT_EQ(Stored("Main_Left"), NumberText(g.left));
  EXPECT_EQ(Stored("Main_Width"), NumberText(g.width));
  EXPECT_NE(Stored("InDir_Left"), "<missing>");
  EXPECT_NE(Stored("Status_Left", Stored("File_Left")), "<missing>");

  // The next start restores that position.
  w.reset();
  auto again = std::make_unique<frmOrvex>();
  ASSERT_TRUE(again->RestoreMainGeometry());
  EXPECT_EQ(WindowGeometry(again.get()).left, g.left);
  EXPECT_EQ(WindowGeometry(again.get()).width, g.width);
}

}  // namespace
}  // namespace orvex2

#include "test_frame.moc"
