// The interactive run from the main window through the scripted libraries: what stays on the
// target list, the history's closing line, cancel, library cancel, quarantine, the state of the
// windows during the run, a long library call, and closing the window while a run is in progress.
#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "app_fixture.h"
#include "engine/library_calls.h"
#include "foundation/messages.h"
#include "results/menu_set.h"

namespace orvex2 {
namespace {

using test::AppFixture;

const QString kAllDone = QStringLiteral("全て終了しました");
const QString kStopped = QStringLiteral("中断しました");
const QString kCancelled = QStringLiteral("　キャンセルされました");

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

class BatchUiTest : public AppFixture {
 protected:
  QStringList AddFiles(const QStringList& names) {
    QStringList paths;
    for (const QString& n : names) {
      paths << Make(n);
      EXPECT_TRUE(w->File()->ListInAdd(paths.last()));
    }
    w->BtnEnabledChange();
    return paths;
  }
  // Calls `f` when the history receives the header line of `path`'s check.
  void OnHeaderOf(const QString& name, std::function<void()> f) {
    QObject::connect(w->Status()->lstKekka->model(), &QAbstractItemModel::rowsInserted, w.get(),
                     [this, name, f, done = std::make_shared<bool>(false)](const QModelIndex&, int first, int) {
                       const QString line = w->Status()->lstKekka->item(first)->text();
                       if (!*done && line.startsWith("[ ") && line.contains(name)) {
                         *done = true;
                         f();
                       }
                     });
  }
  int Commands() const { return fake.Log("UNLHA32.DLL command").size() + fake.Log("UNZIP32.DLL command").size(); }
};

TEST_F(BatchUiTest, PassFailPassLeavesOnlyTheFailedEntry) {
  Open();
  fake.Script("test B.ZIP 0x800C");
  const QStringList p = AddFiles({"A.LZH", "B.ZIP", "C.LZH"});
  w->btnExe(1)->click();
  EXPECT_EQ(Targets(), QStringList{p[1]});
  ASSERT_FALSE(History().isEmpty());
  EXPECT_EQ(History().last(), kAllDone);
  EXPECT_EQ(Passed(), (QStringList{p[0], p[2]}));
  // Idle again: one entry left, so the run buttons are live; cancel is not; children enabled.
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(w->btnExe(i)->isEnabled());
  EXPECT_FALSE(w->btnCancel()->isEnabled());
  for (QWidget* c : std::initializer_list<QWidget*>{w->InDir(), w->InFile(), w->File(), w->Status(), w->OutFile()})
    EXPECT_TRUE(c->isEnabled());
  EXPECT_TRUE(w->File()->menuSet()->mnuFont->isEnabled());
  EXPECT_FALSE(w->File()->Selected(0));
}

TEST_F(BatchUiTest, ARunThatEmptiesTheListDisablesTheRunButtons) {
  Open();
  AddFiles({"A.LZH", "B.ZIP"});
  w->btnExe(0)->click();
  EXPECT_TRUE(Targets().isEmpty());
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(w->btnExe(i)->isEnabled());
  EXPECT_EQ(History().last(), kAllDone);
}

TEST_F(BatchUiTest, HistoryIsEmptiedAtTheStartButPassedFilesAreNot) {
  Open();
  w->Status()->ListInAdd("an old line");
  w->OutFile()->ListInAdd(Make("OLD.LZH"));
  const QStringList p = AddFiles({"A.LZH"});
  w->btnExe(1)->click();
  EXPECT_FALSE(History().contains("an old line"));
  EXPECT_TRUE(History().first().startsWith("[ "));
  EXPECT_EQ(Passed(), (QStringList{dir + "/OLD.LZH", p[0]}));
}

TEST_F(BatchUiTest, DuringTheRunEverythingButCancelIsLocked) {
  Open();
  const QList<QMdiSubWindow*> subs = w->mdiArea()->subWindowList(QMdiArea::CreationOrder);
  w->mdiArea()->setActiveSubWindow(subs[2]);  // the target list's menu is on the bar
  AddFiles({"A.LZH", "B.LZH"});
  bool checked = false;
  OnHeaderOf("A.LZH", [&] {
    checked = true;
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(w->btnExe(i)->isEnabled());
    EXPECT_TRUE(w->btnCancel()->isEnabled());
    for (QWidget* c : std::initializer_list<QWidget*>{w->InDir(), w->InFile(), w->File(), w->Status(), w->OutFile()})
      EXPECT_FALSE(c->isEnabled()) << c->objectName().toStdString();
    for (MenuSet* m : {w->InDir()->menuSet(), w->InFile()->menuSet(), w->File()->menuSet(), w->Status()->menuSet(),
                       w->OutFile()->menuSet()}) {
      EXPECT_FALSE(m->mnuExit->isEnabled());
      EXPECT_FALSE(m->mnuOption->isEnabled());
      EXPECT_FALSE(m->mnuLog->menuAction()->isEnabled());
    }
    // The bar shows the target list's copy, now disabled.
    EXPECT_TRUE(w->menuBar()->actions().contains(w->File()->menuSet()->mnuOption));
    EXPECT_TRUE(w->File()->Selected(0));
    EXPECT_TRUE(w->File()->Selected(1));
    // The frame's own Option menu would empty the list under the run: it does nothing now.
    w->mnuOption_Click();
    // The child frames are locked too; of the frame's own menu only Exit is live.
    for (QMdiSubWindow* sub : w->mdiArea()->subWindowList()) EXPECT_FALSE(sub->isEnabled());
    EXPECT_FALSE(w->menuSet()->mnuFont->isEnabled());
    EXPECT_FALSE(w->menuSet()->mnuOption->isEnabled());
    EXPECT_TRUE(w->menuSet()->mnuExit->isEnabled());
    // The busy pointer, but the normal one over btnCancel; the progress shows the first archive.
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QEvent enter(QEvent::Enter), leave(QEvent::Leave);
    QApplication::sendEvent(w->btnCancel(), &enter);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);
    QApplication::sendEvent(w->btnCancel(), &leave);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_TRUE(w->lblProgress()->isVisible());
    EXPECT_EQ(w->lblProgress()->text(), "1 / 2");
  });
  test::ModalAnswer noDialog([](QWidget* m) { m->hide(); }, 500);
  w->btnExe(2)->click();
  EXPECT_TRUE(checked);
  EXPECT_FALSE(noDialog.seen());
  EXPECT_TRUE(Targets().isEmpty());  // both passed and were dropped normally
  EXPECT_TRUE(w->File()->menuSet()->mnuOption->isEnabled());
  EXPECT_TRUE(w->InDir()->isEnabled());
  for (QMdiSubWindow* sub : w->mdiArea()->subWindowList()) EXPECT_TRUE(sub->isEnabled());
  EXPECT_TRUE(w->menuSet()->mnuFont->isEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(w->lblProgress()->isVisible());
}

// A library call that takes seconds: the event loop turns and the window paints meanwhile, the
// progress shows the archive and how far the library is into it, and キャンセル is acknowledged
// at once and ends the call within half a second as a library cancel. Mode 0 cancels a check
// call, mode 1 a command.
TEST_F(BatchUiTest, ALongCheckKeepsTheWindowAliveAndCancelEndsIt) {
  Open();
  ASSERT_TRUE(Library(kLzh)->HasProgress());
  fake.Script("slow BIG.LZH 8000");
  PaintCounter paints;
  w->prgArchive()->installEventFilter(&paints);
  for (int mode : {0, 1}) {
    SCOPED_TRACE(mode);
    w->File()->btnDelAll_Click();
    const QStringList p = AddFiles({"A.LZH", "BIG.LZH", "C.LZH"});
    Make("BIG.LZH", QByteArray(100000, 'x'));  // progress in steps of 1/100000
    fake.ClearLog();
    QElapsedTimer clock;
    qint64 pressedAt = -1;
    int ticks = 0;
    QTimer probe;  // fires only while the event loop turns
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] {
      ++ticks;
      if (pressedAt >= 0 || w->prgArchive()->value() < 20) return;  // 2 % into BIG.LZH
      EXPECT_EQ(w->lblProgress()->text(), "2 / 3");
      EXPECT_GT(paints.paints, 0);
      QTest::mouseClick(w->btnCancel(), Qt::LeftButton);
      pressedAt = clock.elapsed();
      EXPECT_FALSE(w->btnCancel()->isEnabled());
      EXPECT_NE(w->btnCancel()->text(), CommonText(5));
    });
    OnHeaderOf("BIG.LZH", [&] {
      paints.paints = 0;
      probe.start();
    });
    clock.start();
    w->btnExe(mode)->click();
    const qint64 end = clock.elapsed();
    probe.stop();
    ASSERT_GE(pressedAt, 0);
    EXPECT_GT(ticks, 3);
    EXPECT_LT(end - pressedAt, 500);
    const QStringList h = History();
    const int big = h.indexOf(QRegularExpression("^\\[ .*BIG\\.LZH \\]$"));
    ASSERT_GE(big, 0);
    EXPECT_EQ(h.mid(big + 2), (QStringList{kCancelled, kStopped}));
    EXPECT_EQ(Targets(), p.mid(1));  // BIG stays, C was never begun
    EXPECT_TRUE(fake.Log().filter("C.LZH").isEmpty());
    EXPECT_EQ(w->btnCancel()->text(), CommonText(5));
  }
}

// The automatic run calls the libraries on its own thread; a cancel requested from elsewhere
// (a signal handler) ends the call in progress as a library cancel and begins no further archive.
TEST_F(BatchUiTest, AutomaticRunStopsOnARequestedCancel) {
  Open();
  fake.Script("slow BIG.LZH 8000");
  AddFiles({"A.LZH", "BIG.LZH", "C.LZH"});
  std::thread signal([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    RequestCallCancel();
  });
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(w->AutoCheckRun(1), BatchRun::AutoOutcome::kStopped);
  signal.join();
  EXPECT_LT(clock.elapsed(), 2000);
  EXPECT_EQ(History().mid(History().size() - 2), (QStringList{kCancelled, kStopped}));
  EXPECT_TRUE(fake.Log().filter("C.LZH").isEmpty());
  // Requested before the run: nothing is begun.
  w->Status()->RefreshForm();
  EXPECT_EQ(w->AutoCheckRun(1), BatchRun::AutoOutcome::kStopped);
  EXPECT_EQ(History(), QStringList{kStopped});
  ResetCallCancel();
}

TEST_F(BatchUiTest, CancelDuringTheSecondOfFiveFinishesItAndStops) {
  Open();
  fake.Script("test B.LZH 0x800C");
  const QStringList p = AddFiles({"A.LZH", "B.LZH", "C.LZH", "D.LZH", "E.LZH"});
  OnHeaderOf("B.LZH", [&] { w->btnCancel()->click(); });
  w->btnExe(1)->click();
  EXPECT_EQ(Targets(), p.mid(1));  // B failed and stays; C to E were never reached
  EXPECT_EQ(History().last(), kStopped);
  EXPECT_EQ(Commands(), 2);
  EXPECT_FALSE(w->btnCancel()->isEnabled());
  EXPECT_TRUE(w->btnExe(0)->isEnabled());
}

TEST_F(BatchUiTest, WithoutTheProgressEntryACancelLetsThePassingArchiveFinish) {
  fake.UseSystemDir(test::FakeLibs::NoProgressDir());  // an older LZH library
  ProbeLibraries();
  ASSERT_NE(Library(kLzh), nullptr);
  EXPECT_FALSE(Library(kLzh)->HasProgress());
  Open();
  fake.Script("delay 50");
  const QStringList p = AddFiles({"A.LZH", "B.LZH", "C.LZH", "D.LZH", "E.LZH"});
  OnHeaderOf("B.LZH", [&] { QTest::mouseClick(w->btnCancel(), Qt::LeftButton); });
  w->btnExe(1)->click();
  EXPECT_EQ(Targets(), p.mid(2));
  EXPECT_EQ(Passed(), p.mid(0, 2));
  EXPECT_EQ(History().last(), kStopped);
}

TEST_F(BatchUiTest, LibraryCancelOnTheThirdStopsAtOnce) {
  Open();
  fake.Script("test C.LZH 0x8020");
  const QStringList p = AddFiles({"A.LZH", "B.LZH", "C.LZH", "D.LZH", "E.LZH"});
  w->btnExe(1)->click();
  EXPECT_EQ(Targets(), p.mid(2));
  EXPECT_EQ(History().last(), kStopped);
  EXPECT_EQ(Commands(), 3);
  // The cancel flag was cleared: the next run goes through.
  fake.Script(QString());
  w->btnExe(1)->click();
  EXPECT_TRUE(Targets().isEmpty());
  EXPECT_EQ(History().last(), kAllDone);
}

TEST_F(BatchUiTest, QuarantinedArchiveLeavesTheListButIsNotPassed) {
  Open();
  fake.Script("test Q.ZIP 0x800C");
  Options().Dir_Out_Yuko = true;
  Options().Move = {true, false, false};
  const QStringList p = AddFiles({"A.LZH", "Q.ZIP"});
  w->btnExe(2)->click();
  EXPECT_TRUE(Targets().isEmpty());
  EXPECT_EQ(Passed(), QStringList{p[0]});
  EXPECT_FALSE(QFile::exists(p[1]));
  EXPECT_TRUE(QFile::exists(dir + "/out/Q.ZIP"));
  EXPECT_EQ(History().last(), kAllDone);
}

TEST_F(BatchUiTest, ClosingDuringALibraryCallEndsItThenShutsDown) {
  Open();
  w->setGeometry(120, 90, 800, 600);
  QCoreApplication::processEvents();
  fake.Script("slow A.LZH 8000");
  AddFiles({"A.LZH", "B.LZH", "C.LZH"});
  Options().AutoExe = 2;
  bool closedDuring = true;
  OnHeaderOf("A.LZH", [&] {
    QTimer::singleShot(100, w.get(), [&] {
      // The main window's own Exit is live during the call.
      w->menuSet()->mnuExit->trigger();
      closedDuring = !w->isVisible();
      EXPECT_TRUE(w->closePending());
      EXPECT_NE(w->Status(), nullptr);
    });
  });
  QElapsedTimer clock;
  clock.start();
  w->btnExe(1)->click();
  EXPECT_LT(clock.elapsed(), 3000);  // A's call was ended, not waited for
  EXPECT_FALSE(closedDuring);
  EXPECT_FALSE(w->isVisible());
  EXPECT_FALSE(w->closePending());
  EXPECT_EQ(Commands(), 1);  // B and C never started
  EXPECT_EQ(w->File(), nullptr);  // the children were unloaded by the normal shut-down
  EXPECT_EQ(Stored("AutoExe"), "2");
  EXPECT_EQ(Stored("Main_WindowState"), "0");
  EXPECT_NE(Stored("Main_Left"), "<missing>");
}

// The target list, failing unexpectedly when the run reads entry `failAt`.
class FailingTargets : public TargetListPort {
 public:
  FailingTargets(TargetListPort& list, int failAt) : list_(list), failAt_(failAt) {}
  int Count() const override { return list_.Count(); }
  QString Text(int i) const override {
    if (i == failAt_) throw std::runtime_error("entry unreadable");
    return list_.Text(i);
  }
  bool Selected(int i) const override { return list_.Selected(i); }
  void SetSelected(int i, bool selected) override { list_.SetSelected(i, selected); }
  void Remove(int i) override { list_.Remove(i); }
  void SetTopIndex(int i) override { list_.SetTopIndex(i); }
  void Repaint() override { list_.Repaint(); }
  void SelectAll() override { list_.SelectAll(); }
  void SelectClear() override { list_.SelectClear(); }
  void Menu_Enabled(bool enabled) override { list_.Menu_Enabled(enabled); }

 private:
  TargetListPort& list_;
  int failAt_;
};

TEST_F(BatchUiTest, AnUnexpectedFailureStopsTheRunAndTheWindowGoesIdle) {
  Open();
  const QStringList p = AddFiles({"A.LZH", "B.LZH", "C.LZH"});
  FailingTargets failing(*w->File(), 1);
  Ports().targets = &failing;
  w->btnExe(1)->click();
  EXPECT_EQ(Targets(), p.mid(1));  // A passed and went; B and C stay
  EXPECT_EQ(History().last(), kStopped);
  EXPECT_FALSE(w->batch().running());
  EXPECT_FALSE(w->btnCancel()->isEnabled());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(w->btnExe(i)->isEnabled());
  EXPECT_TRUE(w->File()->isEnabled());
  EXPECT_TRUE(w->File()->menuSet()->mnuFont->isEnabled());

  // The automatic run ends quietly: no closing line after A's verdict.
  w->Status()->RefreshForm();
  EXPECT_EQ(w->AutoCheckRun(1), BatchRun::AutoOutcome::kStopped);
  EXPECT_FALSE(w->batch().running());
  ASSERT_FALSE(History().isEmpty());
  EXPECT_NE(History().last(), kStopped);
  EXPECT_NE(History().last(), kAllDone);
  Ports().targets = w->File();
}

TEST_F(BatchUiTest, AutoCheckRunLeavesTheListAsItIs) {
  Open();
  fake.Script("test B.LZH 0x800C");
  const QStringList p = AddFiles({"A.LZH", "B.LZH"});
  EXPECT_EQ(w->AutoCheckRun(1), BatchRun::AutoOutcome::kSomeFailed);
  EXPECT_EQ(Targets(), p);
  EXPECT_EQ(History().last(), kAllDone);
}

}  // namespace
}  // namespace orvex2
