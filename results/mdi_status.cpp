// The history window: lines from the check run, trimmed past 30000, copied and saved as a log.
#include "results/mdi_status.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QStringEncoder>
#include <QTimer>

#include "foundation/messages.h"
#include "foundation/settings.h"
#include "results/menu_set.h"
#include "results/popup_list.h"
#include "results/window_support.h"

namespace orvex2 {

mdiStatus::mdiStatus(QWidget* parent) : ResultWindow(QStringLiteral("Status"), parent) {
  setObjectName(QStringLiteral("mdiStatus"));
  setWindowTitle(QStringLiteral("実行状況"));
  lstKekka = new PopupList(this);
  lstKekka->setObjectName(QStringLiteral("lstKekka"));
  lstKekka->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lstKekka->setUniformItemSizes(true);
  SetList(lstKekka);

  mnuDel = mnuPopup_->addAction(QStringLiteral("初期化"));
  mnuDel->setObjectName(QStringLiteral("mnuDel"));
  mnuPopup_->addSeparator();
  menuSet()->AppendTo(mnuPopup_);
  connect(mnuDel, &QAction::triggered, this, [this] { RefreshForm(); });
  Form_Resize();
}

void mdiStatus::Form_Load() {
  if (Shared().autoRun) return;
  try {
    if (!RestoreOwnGeometry()) {
      LoadFailure(QStringLiteral("Orvex2 mdiStatus Form_Load ERR"));
      return;
    }
    SetFontData();
    setWindowTitle(ProductText(5000));
    mnuDel->setText(CommonText(2008));
    SetToolTip(Options().Tip);
  } catch (...) {
    LoadFailure(QStringLiteral("Orvex2 mdiStatus Form_Load ERR"));
  }
}

void mdiStatus::SetToolTip(bool blnToolTip) {
  try {
    lstKekka->setToolTip(blnToolTip ? ProductText(5001) : QString());
  } catch (...) {
    lstKekka->setToolTip(QString());
  }
}

void mdiStatus::SetFontData() {
  try {
    ApplySharedFont();
  } catch (...) {
  }
}

void mdiStatus::RefreshForm() {
  try {
    lstKekka->clear();
  } catch (...) {
  }
}

void mdiStatus::ListInAdd(const QString& line) {
  try {
    const int selected = lstKekka->currentRow();
    int target;
    if (selected <= kTrimIndex) {
      lstKekka->addItem(line);
      target = lstKekka->currentRow() + 1;
    } else {
      delete lstKekka->takeItem(0);
      lstKekka->addItem(line);
      target = selected;
    }
    if (QItemSelectionModel* sel = lstKekka->selectionModel()) {
      // The view would lay out every line again and scroll for each new one: it hears nothing
      // here, is repainted whole, and scrolls once to the newest selection when the loop turns.
      const QSignalBlocker quiet(sel);
      sel->setCurrentIndex(lstKekka->model()->index(target, 0), QItemSelectionModel::ClearAndSelect);
    }
    if (!scrollPending_) {
      scrollPending_ = true;
      QTimer::singleShot(0, this, [this] {
        scrollPending_ = false;
        lstKekka->scrollTo(lstKekka->currentIndex());
      });
    }
  } catch (...) {
  }
  // Painted when the event loop next turns, with every other line added meanwhile: the run
  // keeps it turning, so a long run shows its lines without one paint per line.
  lstKekka->viewport()->update();
}

QString mdiStatus::HistoryText() const {
  QString text;
  const int n = lstKekka->count();
  for (int i = 0; i < n; ++i) {
    text += lstKekka->item(i)->text();
    text += QStringLiteral("\r\n");
  }
  return text;
}

void mdiStatus::LogCopy() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return;
  try {
    clipboard->clear();
    if (lstKekka->count() > 0) clipboard->setText(HistoryText());
  } catch (...) {
    clipboard->clear();
  }
}

QString mdiStatus::QtFilter(const QString& windowsFilter) {
  const QStringList fields = windowsFilter.split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < fields.size(); i += 2) {
    const QString& description = fields.at(i);
    const QString& pattern = fields.at(i + 1);
    // Qt takes the patterns from the parentheses of the description.
    if (description.contains(QLatin1Char('(') + pattern + QLatin1Char(')')))
      filters << description;
    else
      filters << description + QStringLiteral(" (") + pattern + QLatin1Char(')');
  }
  return filters.join(QStringLiteral(";;"));
}

std::unique_ptr<QFileDialog> mdiStatus::CreateLogSaveDialog(QWidget* parent) {
  auto dialog = std::make_unique<QFileDialog>(parent);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog->setNameFilter(QtFilter(CommonText(11)));
  dialog->setDefaultSuffix(QStringLiteral("LOG"));
  dialog->selectFile(QString());
  return dialog;
}

QString mdiStatus::AskLogFileName() {
  std::unique_ptr<QFileDialog> dialog = CreateLogSaveDialog(this);
  if (dialog->exec() != QDialog::Accepted) return QString();
  const QStringList files = dialog->selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

bool mdiStatus::ConfirmOverwrite() {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Orvex2"), CommonText(5100),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

void mdiStatus::ShowMessage(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Orvex2"), text, QMessageBox::Ok, this);
  box.exec();
}

void mdiStatus::LogSave() {
  QString fileName;
  try {
    fileName = AskLogFileName();
  } catch (...) {
    return;
  }
  if (fileName.isEmpty()) return;
  if (lstKekka->count() < 1) return;
  if (QFileInfo(fileName).isFile() && !ConfirmOverwrite()) return;
  if (!WriteLog(fileName)) ShowMessage(CommonText(5101));
}

bool mdiStatus::WriteLog(const QString& fileName) {
  try {
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const int n = lstKekka->count();
    for (int i = 0; i < n; ++i) {
      QByteArray bytes = ToCodePage932(lstKekka->item(i)->text());
      bytes += "\r\n";
      if (file.write(bytes) != bytes.size()) return false;
    }
    if (!file.flush()) return false;
    file.close();
    return file.error() == QFileDevice::NoError;
  } catch (...) {
    return false;
  }
}

QByteArray mdiStatus::ToCodePage932(const QString& text) {
  // ICU's converter swaps the controls 1A, 1C and 7F, drops invisible formatting characters and
  // writes FC FC for a character the code page lacks: ASCII goes through as it is, every other
  // character is encoded alone and becomes "?" when it has no code of its own.
  static const QByteArray kUnmappable("\xFC\xFC", 2);
  thread_local QStringEncoder encoder("Shift_JIS");
  QByteArray out;
  out.reserve(text.size() * 2);
  for (qsizetype i = 0; i < text.size();) {
    const QChar c = text.at(i);
    if (c.unicode() < 0x80) {
      out += static_cast<char>(c.unicode());
      ++i;
      continue;
    }
    const qsizetype n = (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
    if (n == 1 && c.isSurrogate()) {  // a lone half of a pair: never handed to the encoder
      out += '?';
      ++i;
      continue;
    }
    const QByteArray one = encoder.encode(QStringView(text).mid(i, n));
    if (one.isEmpty() || one == kUnmappable)
      out += '?';
    else
      out += one;
    i += n;
  }
  return out;
}

}  // namespace orvex2
