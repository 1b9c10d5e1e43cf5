// History window: line trimming and selection, clipboard copy, Shift-JIS log saving.
#include <QAbstractButton>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTest>

#include "foundation/messages.h"
#include "results/mdi_status.h"
#include "results_test_support.h"

namespace orvex2::test {
namespace {

QByteArray FileBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QByteArray("<unreadable>");
  return f.readAll();
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A history window whose save dialog answers with a fixed name.
class ScriptedStatus : public mdiStatus {
 public:
  QString fileName;
  int asked = 0;

 protected:
  QString AskLogFileName() override {
    ++asked;
    return fileName;
  }
};

// Answers a message box: records its text and buttons, then presses `button`.
struct BoxAnswer {
  QString text;
  QMessageBox::StandardButtons buttons;
  QMessageBox::Icon icon = QMessageBox::Warning;
  std::unique_ptr<ModalAnswer> answer;

  bool answered() const { return answer && answer->answered(); }
  void Expect(QMessageBox::StandardButton button) {
    answer = std::make_unique<ModalAnswer>([this, button](QWidget* widget) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (box == nullptr) {
        widget->close();
        return;
      }
      text = box->text();
      buttons = box->standardButtons();
      icon = box->icon();
      box->button(button)->click();
    });
  }
};

class HistoryTest : public StoreFixture {};

TEST_F(HistoryTest, FirstLineIsSelectedAndEachLineMovesTheSelection) {
  mdiStatus w;
  w.ListInAdd(QStringLiteral("[ /a/b.lzh ]"));
  EXPECT_EQ(w.lstKekka->count(), 1);
  EXPECT_EQ(w.lstKekka->currentRow(), 0);
  EXPECT_TRUE(w.lstKekka->item(0)->isSelected());
  for (int i = 1; i < 10; ++i) w.ListInAdd(QStringLiteral("line %1").arg(i));
  EXPECT_EQ(w.lstKekka->currentRow(), 9);
  EXPECT_EQ(w.lstKekka->item(9)->text(), QStringLiteral("line 9"));
  EXPECT_EQ(w.lstKekka->selectedItems().size(), 1);

  // The user clicks line 3: each new line moves the selection one forward from there.
  w.lstKekka->setCurrentRow(3);
  w.ListInAdd(QStringLiteral("next"));
  EXPECT_EQ(w.lstKekka->currentRow(), 4);
  w.ListInAdd(QStringLiteral("next 2"));
  EXPECT_EQ(w.lstKekka->currentRow(), 5);
  EXPECT_EQ(w.lstKekka->count(), 12);
  EXPECT_EQ(w.lstKekka->item(11)->text(), QStringLiteral("next 2"));
}

TEST_F(HistoryTest, LinesAreStoredExactly) {
  mdiStatus w;
  const QString line = QStringLiteral("\u3000ＬＺＨ  ファイルは正常です ");
  w.ListInAdd(line);
  w.ListInAdd(QString());
  ASSERT_EQ(w.lstKekka->count(), 2);
  EXPECT_EQ(w.lstKekka->item(0)->text(), line);
  EXPECT_EQ(w.lstKekka->item(1)->text(), QString());
}

TEST_F(HistoryTest, HistoryStopsGrowingAt30002LinesAndKeepsTheNewestSelected) {
  mdiStatus w;
  QElapsedTimer clock;
  clock.start();
  for (int i = 0; i < 30002; ++i) w.ListInAdd(QString::number(i));
  EXPECT_EQ(w.lstKekka->count(), 30002);
  EXPECT_EQ(w.lstKekka->currentRow(), 30001);

  for (int i = 30002; i < 30007; ++i) w.ListInAdd(QString::number(i));
  EXPECT_EQ(w.lstKekka->count(), 30002);
  EXPECT_EQ(w.lstKekka->currentRow(), 30001);
  EXPECT_EQ(w.lstKekka->item(0)->text(), QStringLiteral("5"));
  EXPECT_EQ(w.lstKekka->item(30001)->text(), QStringLiteral("30006"));
  EXPECT_TRUE(w.lstKekka->item(30001)->isSelected());
  EXPECT_LT(clock.elapsed(), 20000);

  // A line picked by the user far from the end: the history grows again until the selection
  // passes index 30000.
  w.lstKekka->setCurrentRow(100);
  for (int i = 0; i < 5; ++i) w.ListInAdd(QStringLiteral("more %1").arg(i));
  EXPECT_EQ(w.lstKekka->count(), 30007);
  EXPECT_EQ(w.lstKekka->currentRow(), 105);
  EXPECT_EQ(w.lstKekka->item(0)->text(), QStringLiteral("5"));

  w.lstKekka->setCurrentRow(30000);  // not past the limit yet: the line is appended
  w.ListInAdd(QStringLiteral("at limit"));
  EXPECT_EQ(w.lstKekka->count(), 30008);
  EXPECT_EQ(w.lstKekka->currentRow(), 30001);

  // Past the limit: the oldest line goes, the selection stays on the same index (the next line).
  const QString afterSelected = w.lstKekka->item(30002)->text();
  w.ListInAdd(QStringLiteral("trimmed"));
  EXPECT_EQ(w.lstKekka->count(), 30008);
  EXPECT_EQ(w.lstKekka->currentRow(), 30001);
  EXPECT_EQ(w.lstKekka->item(30001)->text(), afterSelected);
  EXPECT_EQ(w.lstKekka->item(0)->text(), QStringLiteral("6"));
  EXPECT_EQ(w.lstKekka->item(30007)->text(), QStringLiteral("trimmed"));
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST_F(HistoryTest, LinesArePaintedTogetherWhenTheEventLoopTurns) {
  mdiStatus w;
  w.resize(400, 300);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  PaintCounter counter;
  w.lstKekka->viewport()->installEventFilter(&counter);
  const int lines = 300;
  for (int i = 0; i < lines; ++i) w.ListInAdd(QStringLiteral("\u3000line %1").arg(i));
  EXPECT_EQ(counter.paints, 0);  // no paint per line
  QCoreApplication::processEvents();
  EXPECT_GE(counter.paints, 1);
  EXPECT_LE(counter.paints, 2);
  EXPECT_EQ(w.lstKekka->currentRow(), lines - 1);
  w.lstKekka->viewport()->removeEventFilter(&counter);
}

TEST_F(HistoryTest, RefreshFormAndPopupDeleteEmptyTheHistory) {
  mdiStatus w;
  w.ListInAdd(QStringLiteral("a"));
  w.ListInAdd(QStringLiteral("b"));
  w.RefreshForm();
  EXPECT_EQ(w.lstKekka->count(), 0);
  w.ListInAdd(QStringLiteral("c"));
  EXPECT_EQ(w.lstKekka->currentRow(), 0);
  w.mnuDel->trigger();
  EXPECT_EQ(w.lstKekka->count(), 0);
}

TEST_F(HistoryTest, LogCopyEndsEveryLineWithCrLf) {
  mdiStatus w;
  QClipboard* clipboard = QGuiApplication::clipboard();
  w.ListInAdd(QStringLiteral("[ /A/.../D/FILE.LZH ]"));
  w.ListInAdd(QStringLiteral("\u3000正常です"));
  w.ListInAdd(QStringLiteral("全て終了しました"));
  w.LogCopy();
  EXPECT_EQ(clipboard->text(),
            QStringLiteral("[ /A/.../D/FILE.LZH ]\r\n\u3000正常です\r\n全て終了しました\r\n"));

  w.RefreshForm();
  w.ListInAdd(QStringLiteral("one"));
  w.LogCopy();
  EXPECT_EQ(clipboard->text(), QStringLiteral("one\r\n"));
}

TEST_F(HistoryTest, EmptyHistoryLeavesTheClipboardEmpty) {
  mdiStatus w;
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(QStringLiteral("earlier text"));
  w.LogCopy();
  EXPECT_TRUE(clipboard->text().isEmpty());
}

TEST(HistoryEncoding, CodePage932BytesWithQuestionMarks) {
  EXPECT_EQ(mdiStatus::ToCodePage932(QStringLiteral("全て終了しました")),
            QByteArray::fromHex("9153 82c4 8f49 97b9 82b5 82dc 82b5 82bd"));
  EXPECT_EQ(mdiStatus::ToCodePage932(QStringLiteral("\u3000ｷｬﾝｾﾙ①")), QByteArray::fromHex("8140 b7 ac dd be d9 8740"));
  // é and an emoji are not in the code page: one "?" each.
  EXPECT_EQ(mdiStatus::ToCodePage932(QStringLiteral("a\u00e9b\U0001F600c")), QByteArray("a?b?c"));
  EXPECT_EQ(mdiStatus::ToCodePage932(QStringLiteral("é")), QByteArray("?"));
  EXPECT_EQ(mdiStatus::ToCodePage932(QString()), QByteArray());
}

TEST(HistoryEncoding, ControlsStayAndInvisibleCharactersBecomeQuestionMarks) {
  // File names may hold any control character; ICU would swap 1A, 1C and 7F.
  EXPECT_EQ(mdiStatus::ToCodePage932(QStringLiteral("a\x1a\x1c\x7f\tb")), QByteArray("a\x1a\x1c\x7f\tb"));
  // Zero-width space and soft hyphen are not in the code page: "?" instead of nothing.
  EXPECT_EQ(mdiStatus::ToCodePage932(QStringLiteral("x\u200by\u00adz")), QByteArray("x?y?z"));
  // A lone half of a surrogate pair does not disturb what follows.
  const QString lone = QStringLiteral("a") + QChar(0xD800) + QStringLiteral("全") + QChar(0xDC00);
  EXPECT_EQ(mdiStatus::ToCodePage932(lone), QByteArray("a?") + QByteArray::fromHex("9153") + "?");
}

TEST_F(HistoryTest, LogSaveWritesShiftJisLinesWithCrLf) {
  ScriptedStatus w;
  w.fileName = dir_.filePath(QStringLiteral("run.LOG"));
  w.ListInAdd(QStringLiteral("[ /tmp/.../x/A.LZH ]"));
  w.ListInAdd(QStringLiteral("caf\u00e9"));
  w.ListInAdd(QStringLiteral("全て終了しました"));
  w.LogSave();
  EXPECT_EQ(w.asked, 1);
  QByteArray expected("[ /tmp/.../x/A.LZH ]\r\ncaf?\r\n");
  expected += QByteArray::fromHex("915382c48f4997b982b582dc82b582bd") + "\r\n";
  EXPECT_EQ(FileBytes(w.fileName), expected);
}

TEST_F(HistoryTest, LogSaveOfAnEmptyHistoryAsksForANameButWritesNothing) {
  ScriptedStatus w;
  w.fileName = dir_.filePath(QStringLiteral("empty.LOG"));
  w.LogSave();
  EXPECT_EQ(w.asked, 1);
  EXPECT_FALSE(QFile::exists(w.fileName));

  // An existing file is not even questioned when there is nothing to write.
  ASSERT_TRUE(WriteBytes(w.fileName, "old"));
  BoxAnswer guard;
  guard.Expect(QMessageBox::No);
  w.LogSave();
  EXPECT_FALSE(guard.answered());
  EXPECT_EQ(FileBytes(w.fileName), QByteArray("old"));
}

TEST_F(HistoryTest, LogSaveCancelledDoesNothing) {
  ScriptedStatus w;
  w.ListInAdd(QStringLiteral("line"));
  w.LogSave();  // empty name: cancelled
  EXPECT_EQ(w.asked, 1);
  EXPECT_TRUE(QDir(dir_.path()).entryList(QDir::Files).filter(QStringLiteral(".LOG")).isEmpty());
}

TEST_F(HistoryTest, OverwriteAnsweredNoLeavesTheFileAndYesReplacesIt) {
  ScriptedStatus w;
  w.fileName = dir_.filePath(QStringLiteral("exists.LOG"));
  const QByteArray old("an older and much longer log file content\r\n");
  ASSERT_TRUE(WriteBytes(w.fileName, old));
  w.ListInAdd(QStringLiteral("new"));

  BoxAnswer no;
  no.Expect(QMessageBox::No);
  w.LogSave();
  ASSERT_TRUE(no.answered());
  EXPECT_EQ(no.text, QStringLiteral("ファイルが存在しています。上書きしてよろしいですか"));
  EXPECT_EQ(no.buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(no.icon, QMessageBox::NoIcon);
  EXPECT_EQ(FileBytes(w.fileName), old);

  BoxAnswer yes;
  yes.Expect(QMessageBox::Yes);
  w.LogSave();
  ASSERT_TRUE(yes.answered());
  EXPECT_EQ(FileBytes(w.fileName), QByteArray("new\r\n"));
}

TEST_F(HistoryTest, SaveFailureShowsTheMessage) {
  ScriptedStatus w;
  w.ListInAdd(QStringLiteral("line"));

  w.fileName = dir_.filePath(QStringLiteral("missing/folder/x.LOG"));
  BoxAnswer box;
  box.Expect(QMessageBox::Ok);
  w.LogSave();
  ASSERT_TRUE(box.answered());
  EXPECT_EQ(box.text, QStringLiteral("セーブできませんでした。"));
  EXPECT_EQ(box.buttons, QMessageBox::Ok);

  // A folder of that name is no file to overwrite: no question, the creation fails.
  ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("adir.LOG")));
  w.fileName = dir_.filePath(QStringLiteral("adir.LOG"));
  BoxAnswer second;
  second.Expect(QMessageBox::Ok);
  w.LogSave();
  ASSERT_TRUE(second.answered());
  EXPECT_EQ(second.text, QStringLiteral("セーブできませんでした。"));
}

TEST_F(HistoryTest, SaveDialogFilterAndDefaultSuffix) {
  EXPECT_EQ(mdiStatus::QtFilter(CommonText(11)), QStringLiteral("LogFile(*.LOG);;全てのファイル(*.*)"));
  EXPECT_EQ(mdiStatus::QtFilter(QStringLiteral("Text|*.TXT")), QStringLiteral("Text (*.TXT)"));

  auto dialog = mdiStatus::CreateLogSaveDialog(nullptr);
  EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
  EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("LOG"));
  EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_EQ(dialog->nameFilters(), (QStringList{QStringLiteral("LogFile(*.LOG)"), QStringLiteral("全てのファイル(*.*)")}));
}

TEST_F(HistoryTest, NameTypedWithoutExtensionIsSavedAsLog) {
  mdiStatus w;  // the real dialog
  w.ListInAdd(QStringLiteral("x"));
  const QString folder = dir_.path();
  ModalAnswer answer([folder](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) {
      modal->close();
      return;
    }
    dialog->setDirectory(folder);
    // Typed by the user into the name field.
    if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
      edit->setText(QStringLiteral("result"));
    else
      dialog->selectFile(QStringLiteral("result"));
    static_cast<QDialog*>(dialog)->accept();
    if (dialog->isVisible()) dialog->reject();  // never leave the test waiting
  });
  w.LogSave();
  ASSERT_TRUE(answer.answered());
  EXPECT_EQ(FileBytes(dir_.filePath(QStringLiteral("result.LOG"))), QByteArray("x\r\n"));
  EXPECT_FALSE(QFile::exists(dir_.filePath(QStringLiteral("result"))));
}

}  // namespace
}  // namespace orvex2::test
