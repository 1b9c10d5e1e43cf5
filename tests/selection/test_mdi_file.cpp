// The target list window: adding, the 1000-entry limit, drops, deleting, popup, ports,
// menus, tool tips, layout and geometry.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <fstream>
#include <unistd.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>

#include "foundation/settings.h"
#include "results/menu_set.h"
#include "results/window_support.h"
#include "foundation/names.h"
#include "selection/mdi_file.h"

namespace orvex2 {
namespace {

const QString kFullText = QStringLiteral("一度で実行できるファイル数は最大１０００までです。");

// Answers every modal box that comes up while it lives (OK), recording titles and texts, so a
// missing box fails an expectation instead of hanging the test. After `limitMs` it stops
// answering and marks itself expired.
class BoxAnswerer : public QObject {
 public:
  explicit BoxAnswerer(int limitMs = 20000) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, this, [this, limitMs] {
      if (elapsed_.elapsed() > limitMs) {
        expired = true;
        timer_.stop();
        return;
      }
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr) return;
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        titles << box->windowTitle();
        texts << box->text();
        buttonCounts << box->buttons().size();
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
          ok->click();
          return;
        }
      }
      modal->close();
    });
    elapsed_.start();
    timer_.start();
  }
  QStringList titles, texts;
  QList<qsizetype> buttonCounts;
  bool expired = false;

 private:
  QTimer timer_;
  QElapsedTimer elapsed_;
};

class RecordingPort : public MessagePort {
 public:
  void Message(const QString& text) override { texts << text; }
  QStringList texts;
};

QString Synthetic(int i) { return QStringLiteral("/archives/F%1.LZH").arg(i, 4, 10, QLatin1Char('0')); }

class TargetList : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = Shared();
    Shared() = SharedState{};
    OptionRecord& o = Options();
    o.Lzh = o.Zip = o.Arj = o.Cab = true;
    for (auto& lib : Shared().lib) lib.present = true;
    ASSERT_TRUE(tmp_.isValid());
    store_ = tmp_.filePath(QStringLiteral("store"));
    QDir().mkpath(store_);
    SettingsStore::SetLocation(store_);
    files_ = tmp_.filePath(QStringLiteral("files"));
    QDir().mkpath(files_);
    w_ = std::make_unique<mdiFile>();
    changed_ = std::make_unique<QSignalSpy>(w_.get(), &mdiFile::listChanged);
  }
  void TearDown() override {
    changed_.reset();
    w_.reset();
    SetLoadFailureHandler(nullptr);
    SettingsStore::SetLocation(QString());
    Shared() = saved_;
  }

  QString MakeFile(const QString& name) {
    const QString path = files_ + QLatin1Char('/') + name;
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
    return path;
  }
  void Fill(int n) {
    for (int i = 0; i < n; ++i) ASSERT_TRUE(w_->ListInAdd(Synthetic(i)));
    ASSERT_EQ(w_->Count(), n);
  }
  QStringList Entries() const {
    QStringList out;
    for (int i = 0; i < w_->Count(); ++i) out << w_->Text(i);
    return out;
  }
  // A drag of `mime` entering the list, then its drop; returns the drag-enter's answer.
  Qt::DropAction DragAndDrop(QMimeData* mime, bool drop = true) {
    QWidget* vp = w_->lstFile->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &enter);
    const Qt::DropAction offered = enter.isAccepted() ? enter.dropAction() : Qt::IgnoreAction;
    if (drop && enter.isAccepted()) {
      QDropEvent dropEvent(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(vp, &dropEvent);
      EXPECT_TRUE(dropEvent.isAccepted());
      EXPECT_EQ(dropEvent.dropAction(), Qt::CopyAction);
    }
    return offered;
  }
  static QMimeData* FileList(const QStringList& paths) {
    auto* mime = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    mime->setUrls(urls);
    return mime;
  }
  bool WaitForChange(int count) {
    return QTest::qWaitFor([&] { return changed_->count() >= count; }, 10000);
  }

  SharedState saved_;
  QTemporaryDir tmp_;
  QString store_, files_;
  std::unique_ptr<mdiFile> w_;
  std::unique_ptr<QSignalSpy> changed_;
};

// ---------------------------------------------------------------------------------------------
// ListInAdd

TEST_F(TargetList, DuplicateIsIgnoredAsSuccess) {
  BoxAnswerer boxes;
  EXPECT_TRUE(w_->ListInAdd("/a/B.LZH"));
  EXPECT_TRUE(w_->ListInAdd("/a/C.ZIP"));
  EXPECT_TRUE(w_->ListInAdd("/a/B.LZH"));
  EXPECT_EQ(Entries(), QStringList({"/a/B.LZH", "/a/C.ZIP"}));
  // Exact comparison: another letter case is another entry.
  EXPECT_TRUE(w_->ListInAdd("/a/b.lzh"));
  EXPECT_EQ(Entries(), QStringList({"/a/B.LZH", "/a/C.ZIP", "/a/b.lzh"}));
  EXPECT_TRUE(boxes.texts.isEmpty());
  EXPECT_EQ(changed_->count(), 0);  // adding is not a user change of the list

  // The duplicate test follows every other way the list changes.
  w_->SelectClear();
  w_->SetSelected(0, true);
  w_->btnDel_Click();
  EXPECT_TRUE(w_->ListInAdd("/a/B.LZH"));
  EXPECT_TRUE(w_->ListInAdd("/a/C.ZIP"));
  EXPECT_EQ(Entries(), QStringList({"/a/C.ZIP", "/a/b.lzh", "/a/B.LZH"}));
  w_->Remove(0);
  w_->lstFile->item(0)->setData(Qt::UserRole, QStringLiteral("/a/D.CAB"));
  EXPECT_TRUE(w_->ListInAdd("/a/D.CAB"));
  EXPECT_TRUE(w_->ListInAdd("/a/b.lzh"));
  EXPECT_EQ(Entries(), QStringList({"/a/D.CAB", "/a/B.LZH", "/a/b.lzh"}));
  w_->RefreshForm();
  EXPECT_TRUE(w_->ListInAdd("/a/D.CAB"));
  EXPECT_EQ(Entries(), QStringList({"/a/D.CAB"}));
}

TEST_F(TargetList, ThousandthEntryIsAcceptedAndEachRefusalShowsOneMessage) {
  Fill(999);
  BoxAnswerer boxes;
  EXPECT_TRUE(w_->ListInAdd(Synthetic(999)));
  EXPECT_EQ(w_->Count(), 1000);
  EXPECT_TRUE(boxes.texts.isEmpty());

  EXPECT_FALSE(w_->ListInAdd("/archives/NEW1.LZH"));
  EXPECT_EQ(boxes.texts, QStringList({kFullText}));
  EXPECT_FALSE(w_->ListInAdd("/archives/NEW2.LZH"));
  EXPECT_EQ(boxes.texts, QStringList({kFullText, kFullText}));
  EXPECT_EQ(boxes.titles, QStringList({"Orvex2", "Orvex2"}));
  EXPECT_EQ(boxes.buttonCounts, QList<qsizetype>({1, 1}));
  EXPECT_EQ(w_->Count(), 1000);
  EXPECT_EQ(w_->Text(999), Synthetic(999));

  // The duplicate test comes first: a known path is still a success, without a message.
  EXPECT_TRUE(w_->ListInAdd(Synthetic(500)));
  EXPECT_EQ(boxes.texts.size(), 2);
  EXPECT_FALSE(boxes.expired);
}

TEST_F(TargetList, CapacityMessageGoesToAnInjectedPort) {
  RecordingPort port;
  w_->SetMessagePort(&port);
  Fill(1000);
  EXPECT_FALSE(w_->ListInAdd("/archives/NEW.LZH"));
  EXPECT_EQ(port.texts, QStringList({kFullText}));
}

// ---------------------------------------------------------------------------------------------
// Gaibu_ListInAdd

TEST_F(TargetList, OutsideNamesAreNormalisedBeforeTheyAreAdded) {
  const QString a = MakeFile("a.lzh");
  QDir().mkpath(files_ + "/sub");
  EXPECT_TRUE(w_->Gaibu_ListInAdd(files_ + "/sub/../a.lzh"));
  EXPECT_TRUE(w_->Gaibu_ListInAdd(files_ + "/./a.lzh"));
  EXPECT_TRUE(w_->Gaibu_ListInAdd(a));
  EXPECT_EQ(Entries(), QStringList({a}));
}

TEST_F(TargetList, OutsideNamesThatAreNoReadableArchivesAddNothing) {
  BoxAnswerer boxes;
  QDir().mkpath(files_ + "/folder.lzh");
  const QString fifo = files_ + "/pipe.lzh";
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString text = MakeFile("notes.txt");
  const QString bare = MakeFile("README");

  EXPECT_TRUE(w_->Gaibu_ListInAdd(QString()));
  EXPECT_TRUE(w_->Gaibu_ListInAdd("relative/a.lzh"));
  EXPECT_TRUE(w_->Gaibu_ListInAdd(files_ + "/missing.lzh"));
  EXPECT_TRUE(w_->Gaibu_ListInAdd(files_ + "/A.LZH"));  // wrong spelling of nothing on disk
  EXPECT_TRUE(w_->Gaibu_ListInAdd(files_ + "/folder.lzh"));
  EXPECT_TRUE(w_->Gaibu_ListInAdd(fifo));
  EXPECT_TRUE(w_->Gaibu_ListInAdd(text));
  EXPECT_TRUE(w_->Gaibu_ListInAdd(bare));
  EXPECT_EQ(w_->Count(), 0);
  EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(TargetList, OutsideNamesFollowTheOptionsAndLibraries) {
  const QString lzh = MakeFile("a.lzh");
  const QString cab = MakeFile("b.CAB");
  Options().Lzh = false;
  Shared().lib[kCab].present = false;
  EXPECT_TRUE(w_->Gaibu_ListInAdd(lzh));
  EXPECT_TRUE(w_->Gaibu_ListInAdd(cab));
  EXPECT_EQ(w_->Count(), 0);
  Options().Lzh = true;
  Shared().lib[kCab].present = true;
  EXPECT_TRUE(w_->Gaibu_ListInAdd(lzh));
  EXPECT_TRUE(w_->Gaibu_ListInAdd(cab));
  EXPECT_EQ(Entries(), QStringList({lzh, cab}));
}

TEST_F(TargetList, OutsideNameOnAFullListIsRefused) {
  const QString a = MakeFile("a.zip");
  Fill(1000);
  BoxAnswerer boxes;
  EXPECT_FALSE(w_->Gaibu_ListInAdd(a));
  EXPECT_EQ(boxes.texts, QStringList({kFullText}));
  // A filtered-out name on a full list is no refusal.
  EXPECT_TRUE(w_->Gaibu_ListInAdd(MakeFile("b.txt")));
  EXPECT_EQ(boxes.texts.size(), 1);
}

// ---------------------------------------------------------------------------------------------
// Drops

TEST_F(TargetList, DropOfTwentyOntoNineHundredNinetyAddsTen) {
  QStringList dropped;
  for (int i = 0; i < 20; ++i) dropped << MakeFile(QStringLiteral("d%1.lzh").arg(i, 2, 10, QLatin1Char('0')));
  Fill(990);
  BoxAnswerer boxes;
  std::unique_ptr<QMimeData> mime(FileList(dropped));
  EXPECT_EQ(DragAndDrop(mime.get()), Qt::CopyAction);
  ASSERT_TRUE(WaitForChange(1));
  EXPECT_EQ(w_->Count(), 1000);
  EXPECT_EQ(Entries().mid(990), dropped.mid(0, 10));
  EXPECT_EQ(boxes.texts, QStringList({kFullText}));  // once: the rest are skipped
  EXPECT_EQ(changed_->count(), 1);
}

TEST_F(TargetList, DropOfNoArchivesStillNotifies) {
  QDir().mkpath(files_ + "/folder");
  const QString fifo = files_ + "/pipe.zip";
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  BoxAnswerer boxes;
  std::unique_ptr<QMimeData> mime(FileList({files_ + "/folder", MakeFile("x.doc"), fifo, files_ + "/gone.lzh"}));
  EXPECT_EQ(DragAndDrop(mime.get()), Qt::CopyAction);
  ASSERT_TRUE(WaitForChange(1));
  EXPECT_EQ(w_->Count(), 0);
  EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(TargetList, DroppedNameThatIsNotUtf8ArrivesAsItsBytes) {
  const QByteArray raw = QFile::encodeName(files_) + "/caf\xE9 \x93\xfa.lzh";
  ASSERT_TRUE(std::ofstream(raw.toStdString()) << "x");
  auto* mime = new QMimeData;
  mime->setUrls({QUrl::fromEncoded("file://" + raw.toPercentEncoding("/"))});
  std::unique_ptr<QMimeData> owner(mime);
  EXPECT_EQ(DragAndDrop(mime), Qt::CopyAction);
  ASSERT_TRUE(WaitForChange(1));
  EXPECT_EQ(Entries(), QStringList{NameFromBytes(raw)});
  EXPECT_EQ(w_->lstFile->item(0)->text(), DisplayName(NameFromBytes(raw)));
  ::unlink(raw.constData());
}

TEST_F(TargetList, DragWithoutAFileListIsRefused) {
  QMimeData text;
  text.setText(QStringLiteral("/tmp/a.lzh"));
  EXPECT_EQ(DragAndDrop(&text), Qt::IgnoreAction);
  QTest::qWait(20);
  EXPECT_EQ(changed_->count(), 0);
  EXPECT_EQ(w_->Count(), 0);
}

TEST_F(TargetList, DroppedFilesKeepTheirOrderAndSkipDuplicates) {
  const QString b = MakeFile("b.arj"), a = MakeFile("a.zip");
  std::unique_ptr<QMimeData> mime(FileList({b, a, b}));
  DragAndDrop(mime.get());
  ASSERT_TRUE(WaitForChange(1));
  EXPECT_EQ(Entries(), QStringList({b, a}));
}

// ---------------------------------------------------------------------------------------------
// Deleting, popup menu

TEST_F(TargetList, DeletingSelectedEntriesKeepsTheOthersInOrder) {
  Fill(5);
  w_->SetSelected(0, true);
  w_->SetSelected(1, true);
  w_->SetSelected(3, true);
  w_->btnDel->click();
  EXPECT_EQ(Entries(), QStringList({Synthetic(2), Synthetic(4)}));
  EXPECT_EQ(changed_->count(), 1);

  // Nothing selected: nothing removed, still a notification.
  w_->SelectClear();
  w_->btnDel->click();
  EXPECT_EQ(w_->Count(), 2);
  EXPECT_EQ(changed_->count(), 2);

  // The Delete key in the list does the same.
  w_->SetSelected(1, true);
  QTest::keyClick(w_->lstFile, Qt::Key_Delete);
  EXPECT_EQ(Entries(), QStringList({Synthetic(2)}));
  EXPECT_EQ(changed_->count(), 3);
}

TEST_F(TargetList, DeletingTheLastEntriesEmptiesTheList) {
  Fill(1);
  w_->SelectAll();
  w_->btnDel->click();
  EXPECT_EQ(w_->Count(), 0);
  EXPECT_EQ(changed_->count(), 1);

  Fill(3);
  w_->btnDelAll->click();
  EXPECT_EQ(w_->Count(), 0);
  EXPECT_EQ(changed_->count(), 2);
}

TEST_F(TargetList, RefreshFormEmptiesWithoutNotifying) {
  Fill(4);
  w_->RefreshForm();
  EXPECT_EQ(w_->Count(), 0);
  EXPECT_EQ(changed_->count(), 0);
}

TEST_F(TargetList, SameFolderUsesTheTopmostSelectedEntry) {
  QSignalSpy dir(w_.get(), &mdiFile::dirNameRequested);
  w_->ListInAdd("/x/one/A.LZH");
  w_->ListInAdd("/y/two/B.LZH");
  w_->ListInAdd("/z/C.LZH");
  w_->ListInAdd("/D.LZH");

  w_->mnuInCopy->trigger();
  EXPECT_EQ(dir.count(), 0);  // nothing selected

  w_->SetSelected(2, true);
  w_->SetSelected(1, true);
  w_->mnuInCopy->trigger();
  ASSERT_EQ(dir.count(), 1);
  EXPECT_EQ(dir.at(0).at(0).toString(), "/y/two");

  w_->SelectClear();
  w_->SetSelected(3, true);
  w_->mnuInCopy->trigger();
  ASSERT_EQ(dir.count(), 2);
  EXPECT_EQ(dir.at(1).at(0).toString(), "/");
  EXPECT_EQ(changed_->count(), 0);
}

TEST_F(TargetList, PopupSelectsAllAndClears) {
  Fill(3);
  w_->mnuAll->trigger();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(w_->Selected(i));
  w_->mnuClear->trigger();
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(w_->Selected(i));
}

TEST_F(TargetList, PopupHoldsItsOwnItemsThenTheSharedMenu) {
  Options().Tip = true;
  w_->Form_Load();
  const QList<QAction*> actions = w_->mnuPopup->actions();
  ASSERT_GE(actions.size(), 11);
  EXPECT_EQ(actions[0]->text(), "全て選択");
  EXPECT_EQ(actions[1]->text(), "全て選択の解除");
  EXPECT_EQ(actions[2]->text(), "圧縮ファイル格納フォルダを同一");
  EXPECT_TRUE(actions[3]->isSeparator());
  MenuSet* m = w_->menuSet();
  EXPECT_EQ(actions[4], m->mnuExit);
  EXPECT_EQ(actions[5], m->mnuFont);
  EXPECT_EQ(actions[6], m->mnuLog->menuAction());
  EXPECT_EQ(actions[7], m->mnuDefault->menuAction());
  EXPECT_EQ(actions[8], m->mnuOption);
  EXPECT_EQ(actions[9], m->mnuHelp);
  EXPECT_EQ(actions[10], m->mnuAbout);
}

TEST_F(TargetList, RightButtonOnListOrBackgroundShowsThePopup) {
  w_->resize(400, 300);
  w_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
  QWidget* vp = w_->lstFile->viewport();
  QContextMenuEvent onList(QContextMenuEvent::Mouse, QPoint(5, 5), vp->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(vp, &onList);
  EXPECT_TRUE(w_->mnuPopup->isVisible());
  w_->mnuPopup->hide();

  QContextMenuEvent onBackground(QContextMenuEvent::Mouse, QPoint(1, 1), w_->mapToGlobal(QPoint(1, 1)));
  QApplication::sendEvent(w_.get(), &onBackground);
  EXPECT_TRUE(w_->mnuPopup->isVisible());
  w_->mnuPopup->hide();
}

TEST_F(TargetList, RightButtonKeepsTheSelection) {
  Fill(4);
  w_->resize(400, 300);
  w_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
  w_->SetSelected(0, true);
  w_->SetSelected(2, true);
  // Through the window, as the platform delivers it: press, context menu, release.
  QWidget* vp = w_->lstFile->viewport();
  const QPoint onEntry3 = vp->mapTo(w_.get(), w_->lstFile->visualItemRect(w_->lstFile->item(3)).center());
  QTest::mouseClick(w_->windowHandle(), Qt::RightButton, Qt::NoModifier, onEntry3);
  EXPECT_TRUE(w_->mnuPopup->isVisible());
  w_->mnuPopup->hide();
  EXPECT_TRUE(w_->Selected(0));
  EXPECT_FALSE(w_->Selected(1));
  EXPECT_TRUE(w_->Selected(2));
  EXPECT_FALSE(w_->Selected(3));
  // The same folder still comes from the topmost selected entry, not the one clicked on.
  QSignalSpy dir(w_.get(), &mdiFile::dirNameRequested);
  w_->mnuInCopy->trigger();
  ASSERT_EQ(dir.count(), 1);
  EXPECT_EQ(dir.at(0).at(0).toString(), "/archives");
}

TEST_F(TargetList, EnterKeyAsksForTheHistoryList) {
  QSignalSpy focus(w_.get(), &mdiFile::historyFocusRequested);
  Fill(2);
  QTest::keyClick(w_->lstFile, Qt::Key_Return);
  QTest::keyClick(w_->lstFile, Qt::Key_Down);
  QTest::keyClick(w_->lstFile, Qt::Key_Enter);
  EXPECT_EQ(focus.count(), 2);
}

// ---------------------------------------------------------------------------------------------
// What the batch run uses

TEST_F(TargetList, PortOperations) {
  Fill(40);
  TargetListPort* port = w_.get();
  EXPECT_EQ(port->Count(), 40);
  EXPECT_EQ(port->Text(7), Synthetic(7));
  EXPECT_EQ(port->Text(40), QString());

  port->SelectAll();
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(port->Selected(i));
  port->SetSelected(3, false);
  port->SetSelected(5, false);
  EXPECT_FALSE(port->Selected(3));
  EXPECT_TRUE(port->Selected(4));

  // The run's end: remove every entry no longer selected.
  for (int i = port->Count() - 1; i >= 0; --i) {
    if (!port->Selected(i)) port->Remove(i);
  }
  port->SelectClear();
  EXPECT_EQ(port->Count(), 38);
  EXPECT_EQ(port->Text(3), Synthetic(4));
  EXPECT_EQ(port->Text(4), Synthetic(6));
  for (int i = 0; i < port->Count(); ++i) ASSERT_FALSE(port->Selected(i));
  port->Remove(100);  // out of range: nothing happens
  EXPECT_EQ(port->Count(), 38);
  EXPECT_EQ(changed_->count(), 0);
}

TEST_F(TargetList, SetTopIndexScrollsTheEntryToTheTop) {
  Fill(200);
  w_->resize(400, 300);
  w_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
  w_->SetTopIndex(120);
  w_->Repaint();
  QApplication::processEvents();
  const QModelIndex top = w_->lstFile->indexAt(QPoint(2, 2));
  EXPECT_EQ(top.row(), 120);
}

TEST_F(TargetList, MenuEnabledSwitchesOnlyTheSharedItems) {
  MenuSet* m = w_->menuSet();
  ASSERT_NE(m, nullptr);
  w_->Menu_Enabled(false);
  for (QAction* a : {m->mnuExit, m->mnuFont, m->mnuLog->menuAction(), m->mnuDefault->menuAction(), m->mnuOption,
                     m->mnuHelp, m->mnuAbout})
    EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
  EXPECT_TRUE(w_->mnuAll->isEnabled());
  EXPECT_TRUE(w_->mnuClear->isEnabled());
  EXPECT_TRUE(w_->mnuInCopy->isEnabled());
  w_->Menu_Enabled(true);
  for (QAction* a : {m->mnuExit, m->mnuFont, m->mnuLog->menuAction(), m->mnuDefault->menuAction(), m->mnuOption,
                     m->mnuHelp, m->mnuAbout})
    EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
}

// ---------------------------------------------------------------------------------------------
// Load, tool tips, font, layout, geometry

TEST_F(TargetList, ToolTipsOnAndOff) {
  w_->SetToolTip(true);
  EXPECT_EQ(w_->lstFile->toolTip(), "このファイル名が検査の対象となります");
  EXPECT_EQ(w_->btnDel->toolTip(), "選択した圧縮ファイルを検査の対象からはずします");
  EXPECT_EQ(w_->btnDelAll->toolTip(), "全ての圧縮ファイルを検査の対象からはずします");
  w_->SetToolTip(false);
  EXPECT_TRUE(w_->lstFile->toolTip().isEmpty());
  EXPECT_TRUE(w_->btnDel->toolTip().isEmpty());
  EXPECT_TRUE(w_->btnDelAll->toolTip().isEmpty());
  EXPECT_TRUE(w_->btnDel->text().isEmpty());  // picture buttons, no caption
  EXPECT_FALSE(w_->btnDel->icon().isNull());
}

TEST_F(TargetList, LoadSetsCaptionFontAndToolTips) {
  Options().Tip = false;
  Options().Font_Name = QStringLiteral("IPAGothic");
  Options().Font_Size = 14;
  Options().Font_Bold = true;
  w_->Form_Load();
  EXPECT_EQ(w_->windowTitle(), "検査対象ファイル");
  EXPECT_TRUE(w_->lstFile->toolTip().isEmpty());
  for (QWidget* c : {static_cast<QWidget*>(w_.get()), static_cast<QWidget*>(w_->lstFile),
                     static_cast<QWidget*>(w_->btnDel), static_cast<QWidget*>(w_->btnDelAll)}) {
    EXPECT_EQ(c->font().pointSize(), 14);
    EXPECT_TRUE(c->font().bold());
  }

  mdiFile second;
  Options().Tip = true;
  second.Form_Load();
  EXPECT_EQ(second.btnDel->toolTip(), "選択した圧縮ファイルを検査の対象からはずします");
}

TEST_F(TargetList, LoadDuringAnAutomaticRunDoesNothingMore) {
  Shared().autoRun = true;
  Options().Tip = true;
  SettingsStore::Write(kCurrentApp, kSection, "File_Left", "1500");
  w_->Form_Load();
  EXPECT_TRUE(w_->windowTitle().isEmpty());
  EXPECT_TRUE(w_->lstFile->toolTip().isEmpty());
  // Still usable hidden.
  EXPECT_TRUE(w_->ListInAdd("/a/B.LZH"));
  EXPECT_EQ(w_->Count(), 1);
}

TEST_F(TargetList, LayoutInTwips) {
  const FileLayout l = ComputeFileLayout(6000, 3000, 0);
  ASSERT_TRUE(l.moved);
  ASSERT_TRUE(l.listSized);
  EXPECT_DOUBLE_EQ(l.list.left, 60);
  EXPECT_DOUBLE_EQ(l.list.top, 60);
  EXPECT_DOUBLE_EQ(l.list.width, 5880);
  EXPECT_DOUBLE_EQ(l.list.height, 3000 - kFileDelButtonHeight - 180);
  EXPECT_DOUBLE_EQ(l.del.left, 60);
  EXPECT_DOUBLE_EQ(l.del.top, l.list.height + 120);
  EXPECT_DOUBLE_EQ(l.delAll.left, kFileDelButtonWidth + 120);
  EXPECT_DOUBLE_EQ(l.delAll.top, l.list.height + 120);

  EXPECT_FALSE(ComputeFileLayout(120, 3000, 0).moved);
  const FileLayout low = ComputeFileLayout(1000, kFileDelButtonHeight + 180, 900);
  ASSERT_TRUE(low.moved);
  EXPECT_FALSE(low.listSized);
  EXPECT_DOUBLE_EQ(low.list.height, 900);
  EXPECT_DOUBLE_EQ(low.del.top, 1020);
}

TEST_F(TargetList, ResizeMovesTheControls) {
  w_->resize(400, 300);  // 6000 x 4500 twips
  w_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
  EXPECT_EQ(w_->lstFile->geometry(), QRect(4, 4, 392, TwipsToPixels(4500 - kFileDelButtonHeight - 180)));
  EXPECT_EQ(w_->btnDel->pos(), QPoint(4, w_->lstFile->height() + 8));
  EXPECT_EQ(w_->btnDelAll->pos(), QPoint(TwipsToPixels(kFileDelButtonWidth + 120), w_->lstFile->height() + 8));
}

class TargetListGeometry : public TargetList {
 protected:
  void SetUp() override {
    TargetList::SetUp();
    area_ = std::make_unique<QMdiArea>();
    area_->resize(1200, 900);
    mdiFile* raw = w_.release();
    sub_ = area_->addSubWindow(raw);
    w_.reset(raw);
    sub_->setGeometry(30, 40, 300, 200);  // 450, 600, 4500, 3000 twips
    area_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(area_.get()));
  }
  void TearDown() override {
    if (sub_ != nullptr) sub_->setWidget(nullptr);
    TargetList::TearDown();
    area_.reset();
  }
  static QString Stored(const char* key) {
    return SettingsStore::Read(kCurrentApp, kSection, QString::fromLatin1(key), QStringLiteral("none"));
  }

  std::unique_ptr<QMdiArea> area_;
  QPointer<QMdiSubWindow> sub_;
};

TEST_F(TargetListGeometry, CloseSavesOnlyInTheNormalState) {
  w_->Form_Unload(2);
  EXPECT_EQ(Stored("File_Left"), "none");
  w_->Form_Unload(1);
  EXPECT_EQ(Stored("File_Left"), "none");
  Options().Resize = true;
  w_->Form_Unload(0);
  EXPECT_EQ(Stored("File_Left"), "none");
  Options().Resize = false;
  Shared().autoRun = true;
  w_->Form_Unload(0);
  EXPECT_EQ(Stored("File_Left"), "none");
  Shared().autoRun = false;

  w_->Form_Unload(0);
  EXPECT_EQ(Stored("File_Left"), "450");
  EXPECT_EQ(Stored("File_Top"), "600");
  EXPECT_EQ(Stored("File_Width"), "4500");
  EXPECT_EQ(Stored("File_Height"), "3000");
}

TEST_F(TargetListGeometry, LoadRestoresTheStoredPosition) {
  SettingsStore::Write(kCurrentApp, kSection, "File_Left", "1500");
  SettingsStore::Write(kCurrentApp, kSection, "File_Top", "300");
  SettingsStore::Write(kCurrentApp, kSection, "File_Width", "6000");
  w_->Form_Load();
  EXPECT_EQ(sub_->geometry(), QRect(100, 20, 400, 200));  // height kept from the current position
}

TEST_F(TargetListGeometry, LoadWithResizeOnKeepsThePosition) {
  Options().Resize = true;
  SettingsStore::Write(kCurrentApp, kSection, "File_Left", "1500");
  w_->Form_Load();
  EXPECT_EQ(sub_->geometry(), QRect(30, 40, 300, 200));
  EXPECT_EQ(w_->windowTitle(), "検査対象ファイル");
}

TEST_F(TargetListGeometry, UnreadableStoredValueIsALoadFailure) {
  QStringList failures;
  SetLoadFailureHandler([&](const QString& text) { failures << text; });
  SettingsStore::Write(kCurrentApp, kSection, "File_Width", "wide");
  w_->Form_Load();
  EXPECT_EQ(failures, QStringList({"Orvex2 mdiFile Form_Load ERR"}));
}

}  // namespace
}  // namespace orvex2
