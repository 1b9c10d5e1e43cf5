// The folder and file browsers on their own: which store the folder keys come from, where the
// right button opens the popups, and when their lists are read again.
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

#include <filesystem>
#include <fstream>

#include "foundation/names.h"

#include "foundation/settings.h"
#include "results/window_support.h"
#include "selection/folder_lists.h"
#include "selection/mdi_file.h"
#include "selection/mdi_in_dir.h"
#include "selection/mdi_in_file.h"

namespace orvex2 {
namespace {

class Browsers : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = Shared();
    Shared() = SharedState{};
    Options().Lzh = true;
    for (auto& lib : Shared().lib) lib.present = true;
    ASSERT_TRUE(tmp_.isValid());
    SettingsStore::SetLocation(tmp_.filePath("store"));
    SetLoadFailureHandler([this](const QString& text) { failures_ << text; });
    dir_ = QDir::cleanPath(tmp_.filePath("files"));
  }
  void TearDown() override {
    SetLoadFailureHandler(nullptr);
    SettingsStore::SetLocation(QString());
    Shared() = saved_;
    EXPECT_TRUE(failures_.isEmpty()) << failures_.join(", ").toStdString();
  }
  void Make(const QString& name) {
    const QString path = dir_ + "/" + name;
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
  }
  // Dates a folder's last change `seconds` back, as if made long before the reading.
  static void Age(const QString& folder, int seconds) {
    timespec t[2]{};
    clock_gettime(CLOCK_REALTIME, &t[0]);
    t[0].tv_sec -= seconds;
    t[1] = t[0];
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), t, 0), 0);
  }
  // Sends a right-button context event to `target`; true when `popup` came up.
  static bool Opens(QWidget* target, QMenu* popup) {
    popup->hide();
    QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(2, 2), target->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(target, &e);
    const bool shown = popup->isVisible();
    popup->hide();
    return shown;
  }

  QTemporaryDir tmp_;
  QString dir_;
  QStringList failures_;
  SharedState saved_;
};

TEST_F(Browsers, FolderKeysComeFromTheEarlierStoreOnlyWhenItsLeftKeyIsAnotherNumber) {
  Make("current/A.LZH");
  Make("earlier/B.LZH");
  SettingsStore::Write(kCurrentApp, kSection, "Dir_In", dir_ + "/current");
  SettingsStore::Write(kEarlierApp, kSection, "Dir_In", dir_ + "/earlier");
  SettingsStore::Write(kEarlierApp, kSection, "InDir_Left", "-9999.0");  // the number -9999
  {
    mdiInDir d;
    d.Form_Load();
    EXPECT_EQ(d.DirName(), dir_ + "/current");
  }
  SettingsStore::Write(kEarlierApp, kSection, "InDir_Left", "300");
  mdiInDir d;
  d.Form_Load();
  EXPECT_EQ(d.DirName(), dir_ + "/earlier");
}

TEST_F(Browsers, RightButtonOpensThePopupOnlyFromItsPlacesAndKeepsTheHighlight) {
  Make("tree/a/Y.LZH");
  Make("tree/b/X.LZH");
  mdiInDir in;
  mdiInFile files;
  QObject::connect(&in, &mdiInDir::dirChanged, &files, [&files](const QString& d) { files.DirName(d); });
  in.resize(400, 300);
  files.resize(400, 300);
  in.show();
  files.show();
  in.DirName(dir_ + "/tree");
  EXPECT_TRUE(Opens(in.dlbDir->viewport(), in.mnuPopup));
  EXPECT_TRUE(Opens(in.txtDir, in.mnuPopup));
  EXPECT_TRUE(Opens(&in, in.mnuPopup));
  EXPECT_FALSE(Opens(in.drvDrive, in.mnuPopup));
  EXPECT_TRUE(Opens(files.filFile->viewport(), files.mnuPopup));
  EXPECT_TRUE(Opens(&files, files.mnuPopup));
  for (QWidget* b : {files.btnAdd, files.btnAddAll, files.btnAddAllAll}) EXPECT_FALSE(Opens(b, files.mnuPopup));

  // A right press on a subfolder leaves the current folder highlighted: Backspace still goes up.
  FolderList* list = in.dlbDir;
  const int current = list->currentRow();
  ASSERT_EQ(list->count(), current + 3);
  list->scrollToItem(list->item(current + 1));
  const QPoint sub(4, list->visualItemRect(list->item(current + 1)).center().y());
  ASSERT_TRUE(list->viewport()->rect().contains(sub));
  QTest::mousePress(list->viewport(), Qt::RightButton, {}, sub);
  QTest::mouseRelease(list->viewport(), Qt::RightButton, {}, sub);
  EXPECT_EQ(list->currentRow(), current);
  QTest::keyClick(list, Qt::Key_Backspace);
  EXPECT_EQ(in.DirName(), dir_);
  EXPECT_EQ(files.DirName(), dir_);
}

// The drive list offers what a user browses: disks, tmpfs such as /tmp, removable media; not the
// system's own mounts.
TEST(DriveListTest, ListsEveryBrowsableMountPoint) {
  const struct {
    const char* root;
    const char* type;
    bool listed;
  } cases[] = {
      {"/", "ext4", true},           {"/", "overlay", true},          {"/home", "btrfs", true},
      {"/tmp", "tmpfs", true},       {"/media/cdrom", "iso9660", true}, {"/mnt/data", "xfs", true},
      {"/run/media/ann/USB", "vfat", true}, {"/run/media", "tmpfs", false}, {"/run/user/1000", "tmpfs", false},
      {"/run", "tmpfs", false},      {"/dev/shm", "tmpfs", false},    {"/sys/fs/cgroup", "tmpfs", false},
      {"/proc", "proc", false},      {"/mnt/bpf", "bpf", false},      {"/snap/core/1", "squashfs", false},
      {"/var/lib/docker/overlay2/x/merged", "overlay", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DriveList::ListedMount(c.root, c.type), c.listed) << c.root << " " << c.type;
  const QStringList roots = DriveList::MountedRoots();
  ASSERT_FALSE(roots.isEmpty());
  EXPECT_EQ(roots.first(), "/");
  for (const QString& r : roots) EXPECT_TRUE(QFileInfo(r).isDir()) << r.toStdString();
}

// Rows hold the bare folder names (indented by drawing), so typing a name finds the folder.
TEST_F(Browsers, TypingAFolderNameHighlightsIt) {
  Make("tree/alpha/A.LZH");
  Make("tree/beta/B.LZH");
  Make("tree/gamma/G.LZH");
  FolderList list;
  list.show();
  ASSERT_TRUE(list.SetFolder(dir_ + "/tree"));
  const int current = list.currentRow();
  EXPECT_EQ(list.item(current)->text(), "tree");
  EXPECT_EQ(list.item(current)->data(PopupList::kIndentRole).toInt(), current);
  EXPECT_EQ(list.item(current + 1)->data(PopupList::kIndentRole).toInt(), current + 1);
  QTest::keyClicks(&list, "ga");
  EXPECT_EQ(list.currentItem()->text(), "gamma");
  QTest::keyClick(&list, Qt::Key_Return);
  EXPECT_EQ(list.Folder(), dir_ + "/tree/gamma");
}

TEST_F(Browsers, NamesThatAreNotUtf8AreListedShownDecodedAndAddedExactly) {
  const QByteArray root = QFile::encodeName(dir_) + "/raw";
  const QByteArray sub = root + "/\x83\x66\x81\x5B\x83\x5E";  // CP932 "データ"
  ASSERT_TRUE(std::filesystem::create_directories(sub.toStdString()));
  const QByteArray files[] = {root + "/\x93\xfa\x96\x7b.lzh", root + "/caf\xE9.lzh", sub + "/in.lzh"};
  for (const QByteArray& f : files) std::ofstream(f.toStdString()) << "x";
  mdiInDir in;
  mdiInFile browser;
  mdiFile targets;
  browser.SetTargetList(&targets);
  in.DirName(NameFromBytes(root));
  ASSERT_EQ(in.dlbDir->count(), in.dlbDir->currentRow() + 2);
  EXPECT_EQ(in.dlbDir->item(in.dlbDir->count() - 1)->text().trimmed(), QStringLiteral("データ"));
  browser.Pattern_Make();
  browser.DirName(NameFromBytes(root));
  ASSERT_EQ(browser.filFile->count(), 2);
  EXPECT_EQ(browser.filFile->item(0)->text(), QStringLiteral("caf\\xE9.lzh"));
  EXPECT_EQ(browser.filFile->item(1)->text(), QStringLiteral("日本.lzh"));
  browser.btnAddAllAll_Click();
  ASSERT_EQ(targets.Count(), 3);
  EXPECT_EQ(targets.Text(0), NameFromBytes(files[1]));
  EXPECT_EQ(targets.Text(1), NameFromBytes(files[0]));
  EXPECT_EQ(targets.Text(2), NameFromBytes(files[2]));
  EXPECT_EQ(targets.lstFile->item(1)->text(), dir_ + QStringLiteral("/raw/日本.lzh"));
  std::filesystem::remove_all(root.toStdString());  // Qt cannot remove names that are not UTF-8
}

TEST_F(Browsers, ListsAreReadAgainOnlyWhenTheFolderOrThePatternChanged) {
  for (int i = 0; i < 300; ++i) Make(QStringLiteral("A%1.LZH").arg(i, 3, 10, QLatin1Char('0')));
  QDir().mkpath(dir_ + "/sub");
  Age(dir_, 60);
  mdiInFile files;
  files.resize(300, 200);
  files.show();
  files.FilePattern("*.LZH");
  files.DirName(dir_);
  QCoreApplication::processEvents();
  QScrollBar* bar = files.filFile->verticalScrollBar();
  bar->setValue(100);
  // A mark on an entry survives only while the list is not read again.
  const auto mark = [](QListWidgetItem* item) { item->setData(Qt::UserRole + 9, true); };
  const auto marked = [](const QListWidgetItem* item) { return item->data(Qt::UserRole + 9).toBool(); };
  mark(files.filFile->item(0));
  files.filFile->item(5)->setSelected(true);
  FolderList folders;
  ASSERT_TRUE(folders.SetFolder(dir_));
  mark(folders.item(folders.count() - 1));

  // What the batch run does after every archive: the same folder, unchanged, is not read again.
  files.DirName(dir_);
  files.RefreshForm();
  folders.Refresh();
  EXPECT_TRUE(marked(files.filFile->item(0)));
  EXPECT_TRUE(files.filFile->selectedItems().isEmpty());
  EXPECT_EQ(bar->value(), 100);
  EXPECT_TRUE(marked(folders.item(folders.count() - 1)));

  // A changed folder is read again, keeping the scroll position; so is a changed pattern.
  Make("B.LZH");
  QDir().mkpath(dir_ + "/sub2");
  Age(dir_, 30);
  files.RefreshForm();
  folders.Refresh();
  EXPECT_EQ(files.filFile->count(), 301);
  EXPECT_EQ(bar->value(), 100);
  EXPECT_EQ(folders.item(folders.count() - 1)->text().trimmed(), "sub2");
  files.FilePattern("B*");
  EXPECT_EQ(files.filFile->count(), 1);

  // A folder changed just now might change again within its time stamp's tick: read every time.
  Make("B2.LZH");
  files.RefreshForm();
  EXPECT_EQ(files.filFile->count(), 2);
  mark(files.filFile->item(0));
  files.RefreshForm();
  EXPECT_FALSE(marked(files.filFile->item(0)));
  files.mnuRefresh->trigger();  // the user's refresh always reads
  EXPECT_EQ(files.filFile->count(), 2);
}

}  // namespace
}  // namespace orvex2
