// What both result windows share: layout in twips, tool tips, the menu set, the popup, loading
// and the window-geometry rule.
#include <QAction>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>

#include "results/mdi_out_file.h"
#include "results/mdi_status.h"
#include "results/menu_set.h"
#include "results/window_support.h"
#include "results_test_support.h"

namespace orvex2::test {
namespace {

// A window that records the popup instead of showing it.
template <typename W>
class Recording : public W {
 public:
  QMenu* shown = nullptr;
  int popups = 0;

 protected:
  void PopupMenu(QMenu* menu, const QPoint&) override {
    shown = menu;
    ++popups;
  }
};

struct StatusTraits {
  using Window = mdiStatus;
  static QListWidget* List(Window& w) { return w.lstKekka; }
  static QString Prefix() { return QStringLiteral("Status"); }
  static QString Designed() { return QStringLiteral("実行状況"); }
  static QString Caption() { return QStringLiteral("実行履歴"); }
  static QString Tip() { return QStringLiteral("実行履歴"); }
  static QString Failure() { return QStringLiteral("Orvex2 mdiStatus Form_Load ERR"); }
  static std::vector<std::pair<QAction*, QString>> PopupCaptions(Window& w) {
    return {{w.mnuDel, QStringLiteral("初期化")}};
  }
};

struct OutFileTraits {
  using Window = mdiOutFile;
  static QListWidget* List(Window& w) { return w.lstOutFile; }
  static QString Prefix() { return QStringLiteral("OutFile"); }
  static QString Designed() { return QStringLiteral("検査正常ファイル名"); }
  static QString Caption() { return QStringLiteral("検査正常ファイル名"); }
  static QString Tip() { return QStringLiteral("検査結果が正常なファイル名"); }
  static QString Failure() { return QStringLiteral("Orvex2 mdiOutFile Form_Load ERR"); }
  static std::vector<std::pair<QAction*, QString>> PopupCaptions(Window& w) {
    return {{w.mnuDel, QStringLiteral("初期化")},
            {w.mnuRefresh, QStringLiteral("リフレッシュ")},
            {w.mnuAll, QStringLiteral("全て選択")},
            {w.mnuClear, QStringLiteral("全て選択の解除")}};
  }
};

template <typename T>
class ResultWindowTest : public StoreFixture {
 protected:
  using Window = typename T::Window;
  void WriteKey(const QString& suffix, const QString& value) {
    SettingsStore::Write(QStringLiteral("Tovanel"), QStringLiteral("Orvex2"), T::Prefix() + suffix, value);
  }
  QString Key(const QString& suffix) const { return Read(T::Prefix() + suffix); }
};

using WindowTypes = ::testing::Types<StatusTraits, OutFileTraits>;
TYPED_TEST_SUITE(ResultWindowTest, WindowTypes);

TYPED_TEST(ResultWindowTest, ListSits60TwipsInside) {
  typename TypeParam::Window w;
  QListWidget* list = TypeParam::List(w);
  w.resize(600, 400);  // 9000 x 6000 twips
  w.Form_Resize();
  EXPECT_EQ(list->geometry(), QRect(4, 4, 592, 392));  // 60 twips = 4 px; 8880 x 5880 twips

  // Height would fall below 1: position and width only.
  list->setGeometry(1, 1, 50, 50);
  w.resize(300, 8);
  w.Form_Resize();
  EXPECT_EQ(list->geometry(), QRect(4, 4, 292, 50));

  // Width would not be positive: nothing moves.
  list->setGeometry(1, 1, 50, 50);
  w.resize(8, 300);
  w.Form_Resize();
  EXPECT_EQ(list->geometry(), QRect(1, 1, 50, 50));
}

TYPED_TEST(ResultWindowTest, ToolTipsOnAndOff) {
  typename TypeParam::Window w;
  w.SetToolTip(true);
  EXPECT_EQ(TypeParam::List(w)->toolTip(), TypeParam::Tip());
  w.SetToolTip(false);
  EXPECT_TRUE(TypeParam::List(w)->toolTip().isEmpty());
  w.SetToolTip(true);
  EXPECT_EQ(TypeParam::List(w)->toolTip(), TypeParam::Tip());
}

TYPED_TEST(ResultWindowTest, MenuEnabledSwitchesTheSharedMenuButNotThePopup) {
  typename TypeParam::Window w;
  MenuSet* m = w.menuSet();
  ASSERT_NE(m, nullptr);
  const std::vector<QAction*> shared{m->mnuExit, m->mnuFont, m->mnuLog->menuAction(), m->mnuDefault->menuAction(),
                                     m->mnuOption, m->mnuHelp, m->mnuAbout};
  w.Menu_Enabled(false);
  for (QAction* a : shared) EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
  for (auto& [action, caption] : TypeParam::PopupCaptions(w)) EXPECT_TRUE(action->isEnabled());
  w.Menu_Enabled(true);
  for (QAction* a : shared) EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
}

TYPED_TEST(ResultWindowTest, RightButtonOverTheListOrTheWindowPopsUpTheMenu) {
  Recording<typename TypeParam::Window> w;
  w.resize(300, 200);
  QListWidget* list = TypeParam::List(w);
  QContextMenuEvent overList(QContextMenuEvent::Mouse, QPoint(5, 5), list->viewport()->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(list->viewport(), &overList);
  EXPECT_EQ(w.popups, 1);
  EXPECT_EQ(w.shown, w.popupMenu());

  QContextMenuEvent overWindow(QContextMenuEvent::Mouse, QPoint(1, 1), w.mapToGlobal(QPoint(1, 1)));
  QApplication::sendEvent(&w, &overWindow);
  EXPECT_EQ(w.popups, 2);
  EXPECT_EQ(w.popupMenu()->title(), QStringLiteral("Menu"));
  ASSERT_FALSE(w.popupMenu()->actions().isEmpty());
  EXPECT_EQ(w.popupMenu()->actions().first(), TypeParam::PopupCaptions(w).front().first);
}

// A row wider than the list is reached by scrolling and shows whole as its tool tip (uniform rows
// must not take the short last row's width); a right press opens the popup and keeps the selection.
TYPED_TEST(ResultWindowTest, WideRowsScrollAndShowWholeAndRightPressKeepsTheSelection) {
  Recording<typename TypeParam::Window> w;
  w.resize(300, 200);
  w.SetToolTip(true);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  QListWidget* list = TypeParam::List(w);
  const QString wide = QStringLiteral("/data/") + QString(120, QChar(0x691C)) + QStringLiteral(".LZH");
  w.ListInAdd(wide);
  w.ListInAdd(QStringLiteral("/s"));
  list->doItemsLayout();
  EXPECT_GE(list->horizontalScrollBar()->maximum() + list->viewport()->width(),
            list->fontMetrics().horizontalAdvance(wide));

  auto tipAt = [list](int row) {
    const QPoint pos(10, list->visualItemRect(list->item(row)).center().y());
    QHelpEvent help(QEvent::ToolTip, pos, list->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(list->viewport(), &help);
    return QToolTip::text();
  };
  EXPECT_EQ(tipAt(1), TypeParam::Tip());
  EXPECT_EQ(tipAt(0), wide);
  EXPECT_EQ(tipAt(1), TypeParam::Tip());
  QToolTip::hideText();

  list->setCurrentRow(1);
  const QPoint first(10, list->visualItemRect(list->item(0)).center().y());
  QTest::mousePress(list->viewport(), Qt::RightButton, {}, first);
  QContextMenuEvent menu(QContextMenuEvent::Mouse, first, list->viewport()->mapToGlobal(first));
  QApplication::sendEvent(list->viewport(), &menu);  // what the platform sends with the press
  QTest::mouseRelease(list->viewport(), Qt::RightButton, {}, first);
  EXPECT_EQ(list->currentRow(), 1);
  EXPECT_EQ(list->selectedItems(), QList<QListWidgetItem*>{list->item(1)});
  EXPECT_EQ(w.popups, 1);
}

TYPED_TEST(ResultWindowTest, PopupHoldsItsOwnEntriesThenTheSharedMenuSet) {
  typename TypeParam::Window w;
  const MenuSet* m = w.menuSet();
  std::vector<QAction*> expected;
  for (auto& [action, caption] : TypeParam::PopupCaptions(w)) expected.push_back(action);
  const std::vector<QAction*> shared{m->mnuExit, m->mnuFont, m->mnuLog->menuAction(), m->mnuDefault->menuAction(),
                                     m->mnuOption, m->mnuHelp, m->mnuAbout};
  std::vector<QAction*> actual;
  for (QAction* a : w.popupMenu()->actions())
    if (!a->isSeparator()) actual.push_back(a);
  expected.insert(expected.end(), shared.begin(), shared.end());
  EXPECT_EQ(actual, expected);
}

TYPED_TEST(ResultWindowTest, LoadSetsCaptionsAndToolTip) {
  typename TypeParam::Window w;
  EXPECT_EQ(w.windowTitle(), TypeParam::Designed());
  Options().Tip = true;
  w.Form_Load();
  EXPECT_EQ(w.windowTitle(), TypeParam::Caption());
  EXPECT_EQ(TypeParam::List(w)->toolTip(), TypeParam::Tip());
  for (auto& [action, caption] : TypeParam::PopupCaptions(w)) EXPECT_EQ(action->text(), caption);
  EXPECT_EQ(w.font(), SharedFont());
  EXPECT_EQ(TypeParam::List(w)->font(), SharedFont());

  typename TypeParam::Window quiet;
  Options().Tip = false;
  quiet.Form_Load();
  EXPECT_TRUE(TypeParam::List(quiet)->toolTip().isEmpty());
}

TYPED_TEST(ResultWindowTest, LoadDuringAnAutomaticRunDoesNothingMore) {
  typename TypeParam::Window w;
  Shared().autoRun = true;
  Options().Resize = false;
  this->WriteKey(QStringLiteral("_Left"), QStringLiteral("not a number"));  // would fail if read
  w.Form_Load();
  EXPECT_EQ(w.windowTitle(), TypeParam::Designed());
  EXPECT_TRUE(TypeParam::List(w)->toolTip().isEmpty());
}

TYPED_TEST(ResultWindowTest, LoadRestoresTheStoredGeometryOnlyWhenResizeIsOff) {
  QMdiArea area;
  area.resize(1000, 800);
  auto* w = new typename TypeParam::Window;
  QMdiSubWindow* sub = area.addSubWindow(w);
  sub->setGeometry(10, 10, 200, 150);
  this->WriteKey(QStringLiteral("_Left"), QStringLiteral("1500"));
  this->WriteKey(QStringLiteral("_Top"), QStringLiteral("750"));
  this->WriteKey(QStringLiteral("_Width"), QStringLiteral("6000"));
  this->WriteKey(QStringLiteral("_Height"), QStringLiteral("4500"));

  Options().Resize = true;
  w->Form_Load();
  EXPECT_EQ(sub->geometry(), QRect(10, 10, 200, 150));

  Options().Resize = false;
  w->Form_Load();
  EXPECT_EQ(sub->geometry(), QRect(100, 50, 400, 300));
}

TYPED_TEST(ResultWindowTest, UnreadableStoredGeometryIsALoadFailure) {
  QStringList failures;
  SetLoadFailureHandler([&failures](const QString& text) { failures << text; });
  typename TypeParam::Window w;
  Options().Resize = false;
  this->WriteKey(QStringLiteral("_Top"), QStringLiteral("x12"));
  w.Form_Load();
  SetLoadFailureHandler(nullptr);
  EXPECT_EQ(failures, QStringList{TypeParam::Failure()});
}

TYPED_TEST(ResultWindowTest, CloseSavesGeometryOnlyUnderTheRule) {
  QMdiArea area;
  area.resize(1000, 800);
  auto* w = new typename TypeParam::Window;
  QMdiSubWindow* sub = area.addSubWindow(w);
  sub->setGeometry(20, 30, 300, 200);

  Options().Resize = true;
  w->Form_Unload(0);
  EXPECT_EQ(this->Key(QStringLiteral("_Left")), QStringLiteral("<none>"));

  Options().Resize = false;
  w->Form_Unload(2);  // main window maximised
  w->Form_Unload(1);  // minimised
  EXPECT_EQ(this->Key(QStringLiteral("_Left")), QStringLiteral("<none>"));

  Shared().autoRun = true;
  w->Form_Unload(0);
  EXPECT_EQ(this->Key(QStringLiteral("_Width")), QStringLiteral("<none>"));
  Shared().autoRun = false;

  w->Form_Unload(0);
  EXPECT_EQ(ParseNumber(this->Key(QStringLiteral("_Left"))), 300.0);
  EXPECT_EQ(ParseNumber(this->Key(QStringLiteral("_Top"))), 450.0);
  EXPECT_EQ(ParseNumber(this->Key(QStringLiteral("_Width"))), 4500.0);
  EXPECT_EQ(ParseNumber(this->Key(QStringLiteral("_Height"))), 3000.0);
}

}  // namespace
}  // namespace orvex2::test
