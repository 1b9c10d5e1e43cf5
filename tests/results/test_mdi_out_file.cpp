// Passed-files window: the list's rules, refresh against the disk, and the drag of file lists.
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QListWidget>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "foundation/names.h"
#include "results/mdi_out_file.h"
#include "results_test_support.h"

namespace orvex2::test {
namespace {

QStringList Entries(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

bool Touch(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write("x", 1) == 1;
}

class PassedFilesTest : public StoreFixture {};

// Lets the test ask for data the way a drop target's platform does.
class OpenMime : public PassedFilesMime {
 public:
  using PassedFilesMime::PassedFilesMime;
  QVariant Get(const QString& format, QMetaType type) const { return retrieveData(format, type); }
};

TEST_F(PassedFilesTest, DuplicatesAreIgnoredButOtherLetterCaseIsNew) {
  mdiOutFile w;
  w.ListInAdd(QStringLiteral("/data/A.LZH"));
  w.ListInAdd(QStringLiteral("/data/B.ZIP"));
  w.ListInAdd(QStringLiteral("/data/A.LZH"));
  EXPECT_EQ(Entries(w.lstOutFile), (QStringList{QStringLiteral("/data/A.LZH"), QStringLiteral("/data/B.ZIP")}));
  w.ListInAdd(QStringLiteral("/data/a.lzh"));
  EXPECT_EQ(Entries(w.lstOutFile), (QStringList{QStringLiteral("/data/A.LZH"), QStringLiteral("/data/B.ZIP"),
                                                QStringLiteral("/data/a.lzh")}));
}

TEST_F(PassedFilesTest, AtMostOneThousandEntries) {
  mdiOutFile w;
  for (int i = 0; i < 1000; ++i) w.ListInAdd(QStringLiteral("/data/%1.LZH").arg(i));
  EXPECT_EQ(w.lstOutFile->count(), 1000);
  w.ListInAdd(QStringLiteral("/data/extra.LZH"));
  EXPECT_EQ(w.lstOutFile->count(), 1000);
  EXPECT_EQ(w.lstOutFile->item(999)->text(), QStringLiteral("/data/999.LZH"));
  // A listed path is still recognised as listed at the limit.
  w.ListInAdd(QStringLiteral("/data/0.LZH"));
  EXPECT_EQ(w.lstOutFile->count(), 1000);
}

TEST_F(PassedFilesTest, DeleteSelectAllAndClear) {
  mdiOutFile w;
  w.ListInAdd(QStringLiteral("/a"));
  w.ListInAdd(QStringLiteral("/b"));
  w.ListInAdd(QStringLiteral("/c"));
  w.mnuAll->trigger();
  EXPECT_EQ(w.lstOutFile->selectedItems().size(), 3);
  w.mnuClear->trigger();
  EXPECT_TRUE(w.lstOutFile->selectedItems().isEmpty());
  w.SelectAll();
  EXPECT_EQ(w.lstOutFile->selectedItems().size(), 3);
  w.SelectClear();
  EXPECT_TRUE(w.lstOutFile->selectedItems().isEmpty());
  w.mnuDel->trigger();
  EXPECT_EQ(w.lstOutFile->count(), 0);
  // Once deleted, a path is new again.
  w.ListInAdd(QStringLiteral("/b"));
  w.ListInAdd(QStringLiteral("/b"));
  EXPECT_EQ(Entries(w.lstOutFile), QStringList{QStringLiteral("/b")});
}

TEST_F(PassedFilesTest, RefreshKeepsReadableFilesInTheirOnDiskSpelling) {
  const QDir d(dir_.path());
  ASSERT_TRUE(Touch(d.filePath(QStringLiteral("Kept.lzh"))));
  ASSERT_TRUE(Touch(d.filePath(QStringLiteral("Gone.zip"))));
  ASSERT_TRUE(Touch(d.filePath(QStringLiteral("Abc.lzh"))));
  ASSERT_TRUE(d.mkdir(QStringLiteral("Folder.lzh")));
  ASSERT_TRUE(Touch(d.filePath(QStringLiteral("Second.arj"))));
  ASSERT_TRUE(d.mkdir(QStringLiteral("sub")));

  mdiOutFile w;
  // "." and ".." are resolved by the on-disk lookup: the entry is rewritten in its long form
  // (this file system is case-sensitive, so a wrong letter case is a missing file).
  w.ListInAdd(d.filePath(QStringLiteral("sub/../Kept.lzh")));
  w.ListInAdd(d.filePath(QStringLiteral("Gone.zip")));
  w.ListInAdd(d.filePath(QStringLiteral("abc.lzh")));  // wrong case: no such file here
  w.ListInAdd(d.filePath(QStringLiteral("Folder.lzh")));  // not a readable file
  w.ListInAdd(d.filePath(QStringLiteral("./Second.arj")));
  ASSERT_TRUE(QFile::remove(d.filePath(QStringLiteral("Gone.zip"))));

  w.mnuRefresh->trigger();
  EXPECT_EQ(Entries(w.lstOutFile),
            (QStringList{d.filePath(QStringLiteral("Kept.lzh")), d.filePath(QStringLiteral("Second.arj"))}));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the hourglass is gone again

  // Removing every entry, including the last one, ends with an empty list.
  ASSERT_TRUE(QFile::remove(d.filePath(QStringLiteral("Kept.lzh"))));
  ASSERT_TRUE(QFile::remove(d.filePath(QStringLiteral("Second.arj"))));
  w.RefreshList();
  EXPECT_EQ(w.lstOutFile->count(), 0);
}

TEST_F(PassedFilesTest, DragDataIsTheSelectionInListOrderAsUriList) {
  mdiOutFile w;
  w.ListInAdd(QStringLiteral("/data/one.lzh"));
  w.ListInAdd(QStringLiteral("/data/two files.zip"));
  w.ListInAdd(QStringLiteral("/data/三.cab"));
  OpenMime mime(w.lstOutFile);
  EXPECT_EQ(mime.formats(), QStringList{QStringLiteral("text/uri-list")});
  EXPECT_TRUE(mime.hasFormat(QStringLiteral("text/uri-list")));
  EXPECT_FALSE(mime.hasFormat(QStringLiteral("text/plain")));

  // Nothing selected: an empty file list.
  EXPECT_TRUE(mime.urls().isEmpty());
  EXPECT_TRUE(mime.data(QStringLiteral("text/uri-list")).isEmpty());

  // Selected in reverse order, delivered in list order; the data is read when asked.
  w.lstOutFile->item(2)->setSelected(true);
  w.lstOutFile->item(0)->setSelected(true);
  EXPECT_EQ(mime.urls(), (QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/data/one.lzh")),
                                      QUrl::fromLocalFile(QStringLiteral("/data/三.cab"))}));
  const QByteArray bytes = mime.data(QStringLiteral("text/uri-list"));
  EXPECT_EQ(bytes, QByteArray("file:///data/one.lzh\r\nfile:///data/%E4%B8%89.cab\r\n"));
  // Only the file list is answered.
  EXPECT_FALSE(mime.Get(QStringLiteral("text/plain"), QMetaType(QMetaType::QByteArray)).isValid());
  EXPECT_FALSE(mime.Get(QStringLiteral("application/x-qabstractitemmodeldatalist"), QMetaType(QMetaType::QByteArray)).isValid());

  w.lstOutFile->item(1)->setSelected(true);
  EXPECT_EQ(mime.urls().size(), 3);
  EXPECT_EQ(mime.urls().at(1).toLocalFile(), QStringLiteral("/data/two files.zip"));

  // A name that is not UTF-8 is shown decoded and dragged out as its bytes.
  w.DeleteAll();
  w.ListInAdd(NameFromBytes("/data/caf\xE9 \x93\xfa\x96\x7b.zip"));
  EXPECT_EQ(Entries(w.lstOutFile), QStringList{QStringLiteral("/data/caf\\xE9 \\x93\\xFA\\x96{.zip")});
  w.SelectAll();
  EXPECT_EQ(mime.data(QStringLiteral("text/uri-list")), QByteArray("file:///data/caf%E9%20%93%FA%96%7B.zip\r\n"));
  EXPECT_EQ(mime.urls().value(0).toEncoded(), QByteArray("file:///data/caf%E9%20%93%FA%96%7B.zip"));
}

TEST_F(PassedFilesTest, LeftPressStartsACopyOnlyDragAtOnce) {
  mdiOutFile w;
  w.resize(400, 300);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.ListInAdd(QStringLiteral("/data/one.lzh"));
  w.ListInAdd(QStringLiteral("/data/two.lzh"));

  int drags = 0;
  Qt::DropActions actions;
  QStringList formats;
  QList<QUrl> urls;
  w.lstOutFile->SetDragRunner([&](QDrag* drag, Qt::DropActions allowed) {
    ++drags;
    actions = allowed;
    formats = drag->mimeData()->formats();
    urls = drag->mimeData()->urls();
  });

  const QRect second = w.lstOutFile->visualItemRect(w.lstOutFile->item(1));
  QTest::mousePress(w.lstOutFile->viewport(), Qt::LeftButton, {}, second.center());
  EXPECT_EQ(drags, 1);
  EXPECT_EQ(actions, Qt::DropActions(Qt::CopyAction));
  EXPECT_EQ(formats, QStringList{QStringLiteral("text/uri-list")});
  // The press selected the entry before the drag asked for the data.
  EXPECT_EQ(urls, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/data/two.lzh"))});
  QTest::mouseRelease(w.lstOutFile->viewport(), Qt::LeftButton, {}, second.center());

  // The right button starts no drag.
  QTest::mousePress(w.lstOutFile->viewport(), Qt::RightButton, {}, second.center());
  QTest::mouseRelease(w.lstOutFile->viewport(), Qt::RightButton, {}, second.center());
  EXPECT_EQ(drags, 1);

  // An empty list starts no drag.
  w.DeleteAll();
  QTest::mousePress(w.lstOutFile->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(drags, 1);
  EXPECT_FALSE(w.lstOutFile->acceptDrops());
}

}  // namespace
}  // namespace orvex2::test
