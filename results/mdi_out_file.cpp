// The passed-files window: collects passed archives, refreshes them against the disk and offers
// the selected ones to other programs by drag and drop.
#include "results/mdi_out_file.h"

#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QMenu>
#include <QMouseEvent>
#include <QUrl>

#include "foundation/messages.h"
#include "foundation/names.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "results/list_index.h"
#include "results/menu_set.h"
#include "results/window_support.h"

namespace orvex2 {

namespace {
const QString kUriList = QStringLiteral("text/uri-list");

// A file URL with the name's bytes percent-encoded, so a name that is not UTF-8 stays intact.
QByteArray FileUrl(const QString& path) { return "file://" + NameToBytes(path).toPercentEncoding("/"); }

QString ExactName(const QListWidgetItem* item) { return item->data(Qt::UserRole).toString(); }
}  // namespace

QStringList PassedFilesMime::formats() const { return {kUriList}; }

bool PassedFilesMime::hasFormat(const QString& mimeType) const { return mimeType == kUriList; }

QStringList PassedFilesMime::SelectedPaths() const {
  QStringList paths;
  if (list_.isNull()) return paths;
  const int n = list_->count();
  for (int i = 0; i < n; ++i) {
    const QListWidgetItem* item = list_->item(i);
    if (item->isSelected()) paths << ExactName(item);
  }
  return paths;
}

QVariant PassedFilesMime::retrieveData(const QString& mimeType, QMetaType type) const {
  if (mimeType != kUriList) return {};
  try {
    const QStringList paths = SelectedPaths();
    if (type.id() == QMetaType::QByteArray || type.id() == QMetaType::QString) {
      QByteArray bytes;
      for (const QString& path : paths) {
        bytes += FileUrl(path);
        bytes += "\r\n";
      }
      if (type.id() == QMetaType::QString) return QString::fromLatin1(bytes);
      return bytes;
    }
    QVariantList urls;
    for (const QString& path : paths) urls << QUrl::fromEncoded(FileUrl(path), QUrl::StrictMode);
    return urls;
  } catch (...) {
    return {};
  }
}

PassedFilesList::PassedFilesList(QWidget* parent) : PopupList(parent) {
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setUniformItemSizes(true);
  setDragEnabled(false);
  setAcceptDrops(false);
  setDragDropMode(QAbstractItemView::NoDragDrop);
}

void PassedFilesList::mousePressEvent(QMouseEvent* event) {
  PopupList::mousePressEvent(event);
  if (event->button() == Qt::LeftButton && count() > 0) StartDrag();
}

void PassedFilesList::StartDrag() {
  try {
    auto* drag = new QDrag(this);
    drag->setMimeData(new PassedFilesMime(this));
    if (runner_)
      runner_(drag, Qt::CopyAction);
    else
      drag->exec(Qt::CopyAction, Qt::CopyAction);
  } catch (...) {
  }
  // The drag took the mouse release: leave the pressed state.
  setState(QAbstractItemView::NoState);
}

mdiOutFile::mdiOutFile(QWidget* parent) : ResultWindow(QStringLiteral("OutFile"), parent) {
  setObjectName(QStringLiteral("mdiOutFile"));
  setWindowTitle(QStringLiteral("検査正常ファイル名"));
  lstOutFile = new PassedFilesList(this);
  lstOutFile->setObjectName(QStringLiteral("lstOutFile"));
  index_ = new ListIndex(lstOutFile, [this](int row) { return ExactName(lstOutFile->item(row)); });
  SetList(lstOutFile);

  mnuDel = mnuPopup_->addAction(QStringLiteral("初期化"));
  mnuDel->setObjectName(QStringLiteral("mnuDel"));
  mnuRefresh = mnuPopup_->addAction(QStringLiteral("リフレッシュ"));
  mnuRefresh->setObjectName(QStringLiteral("mnuRefresh"));
  mnuAll = mnuPopup_->addAction(QStringLiteral("全て選択"));
  mnuAll->setObjectName(QStringLiteral("mnuAll"));
  mnuClear = mnuPopup_->addAction(QStringLiteral("選択の解除"));
  mnuClear->setObjectName(QStringLiteral("mnuClear"));
  mnuPopup_->addSeparator();
  menuSet()->AppendTo(mnuPopup_);
  connect(mnuDel, &QAction::triggered, this, [this] { DeleteAll(); });
  connect(mnuRefresh, &QAction::triggered, this, [this] { RefreshList(); });
  connect(mnuAll, &QAction::triggered, this, [this] { SelectAll(); });
  connect(mnuClear, &QAction::triggered, this, [this] { SelectClear(); });
  Form_Resize();
}

void mdiOutFile::Form_Load() {
  if (Shared().autoRun) return;
  try {
    if (!RestoreOwnGeometry()) {
      LoadFailure(QStringLiteral("Orvex2 mdiOutFile Form_Load ERR"));
      return;
    }
    SetFontData();
    setWindowTitle(ProductText(6000));
    mnuDel->setText(CommonText(2008));
    mnuAll->setText(CommonText(2006));
    mnuClear->setText(CommonText(2007));
    SetToolTip(Options().Tip);
  } catch (...) {
    LoadFailure(QStringLiteral("Orvex2 mdiOutFile Form_Load ERR"));
  }
}

void mdiOutFile::SetToolTip(bool blnToolTip) {
  try {
    lstOutFile->setToolTip(blnToolTip ? ProductText(6001) : QString());
  } catch (...) {
    lstOutFile->setToolTip(QString());
  }
}

void mdiOutFile::SetFontData() {
  try {
    ApplySharedFont();
  } catch (...) {
  }
}

void mdiOutFile::SelectClear() {
  try {
    lstOutFile->clearSelection();
  } catch (...) {
  }
}

void mdiOutFile::SelectAll() {
  try {
    lstOutFile->selectAll();
  } catch (...) {
  }
}

void mdiOutFile::ListInAdd(const QString& path) {
  try {
    if (!index_->Contains(path) && lstOutFile->count() < kMaxEntries) {
      // Shown decoded; the item keeps the exact name.
      index_->Append(path, [&] {
        auto* item = new QListWidgetItem(DisplayName(path), lstOutFile);
        item->setData(Qt::UserRole, path);
      });
    }
  } catch (...) {
  }
  lstOutFile->viewport()->update();
}

void mdiOutFile::RefreshList() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    int i = 0;
    while (i < lstOutFile->count()) {
      QListWidgetItem* item = lstOutFile->item(i);
      const QString resolved = LongPathName(ExactName(item));
      if (!resolved.isEmpty() && FileReadable(resolved)) {
        item->setText(DisplayName(resolved));
        item->setData(Qt::UserRole, resolved);
        ++i;
      } else {
        delete lstOutFile->takeItem(i);
      }
    }
  } catch (...) {
    lstOutFile->clear();
  }
  QApplication::restoreOverrideCursor();
}

void mdiOutFile::DeleteAll() {
  try {
    lstOutFile->clear();
  } catch (...) {
  }
}

}  // namespace orvex2
