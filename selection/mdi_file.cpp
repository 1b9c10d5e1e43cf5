// The target list window: list operations, drops, deleting, popup menu, layout and geometry.
#include "selection/mdi_file.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <exception>

#include "foundation/messages.h"
#include "foundation/names.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "results/list_index.h"
#include "results/menu_set.h"
#include "results/window_support.h"
#include "selection/archive_filter.h"

namespace orvex2 {

namespace {

const QString kGeometryPrefix = QStringLiteral("File");

// The local files of a dropped file list, in the order given. A file URL percent-encodes the
// name's bytes; they are decoded to bytes, not through UTF-8, so every name arrives intact.
QStringList DroppedFiles(const QMimeData* mime) {
  QStringList names;
  if (mime == nullptr || !mime->hasUrls()) return names;
  for (const QUrl& url : mime->urls()) {
    if (!url.isLocalFile()) continue;
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (!bytes.isEmpty()) names << NameFromBytes(bytes);
  }
  return names;
}

bool CarriesFiles(const QMimeData* mime) { return mime != nullptr && mime->hasUrls(); }

QIcon ButtonIcon(const char* themeName, QStyle::StandardPixmap fallback, const QWidget* w) {
  return QIcon::fromTheme(QString::fromLatin1(themeName), w->style()->standardIcon(fallback));
}

}  // namespace

FileLayout ComputeFileLayout(double innerWidth, double innerHeight, double currentListHeight) {
  FileLayout l;
  const double width = innerWidth - 120;
  const double height = innerHeight - kFileDelButtonHeight - 180;
  if (width <= 0) return l;
  l.moved = true;
  l.listSized = height >= 1;
  l.list = {60, 60, width, l.listSized ? height : currentListHeight};
  l.del = {60, l.list.height + 120, kFileDelButtonWidth, kFileDelButtonHeight};
  l.delAll = {kFileDelButtonWidth + 120, l.list.height + 120, kFileDelButtonWidth, kFileDelButtonHeight};
  return l;
}

// ---------------------------------------------------------------------------------------------
// lstFile

FileListBox::FileListBox(QWidget* parent) : PopupList(parent) {
  setObjectName(QStringLiteral("lstFile"));
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setUniformItemSizes(true);
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setContextMenuPolicy(Qt::DefaultContextMenu);
}

void FileListBox::dragEnterEvent(QDragEnterEvent* e) {
  if (CarriesFiles(e->mimeData())) {
    e->setDropAction(Qt::CopyAction);
    e->accept();
  } else {
    e->setDropAction(Qt::IgnoreAction);
    e->ignore();
  }
}

void FileListBox::dragMoveEvent(QDragMoveEvent* e) {
  if (CarriesFiles(e->mimeData())) {
    e->setDropAction(Qt::CopyAction);
    e->accept();
  } else {
    e->setDropAction(Qt::IgnoreAction);
    e->ignore();
  }
}

void FileListBox::dropEvent(QDropEvent* e) {
  if (!CarriesFiles(e->mimeData())) {
    e->ignore();
    return;
  }
  const QStringList names = DroppedFiles(e->mimeData());
  e->setDropAction(Qt::CopyAction);
  e->accept();
  emit filesDropped(names);
}

void FileListBox::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Delete && e->modifiers() == Qt::NoModifier) {
    e->accept();
    emit deletePressed();
    return;
  }
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) emit enterPressed();
  PopupList::keyPressEvent(e);
}

void FileListBox::contextMenuEvent(QContextMenuEvent* e) {
  emit popupRequested(e->globalPos());
  e->accept();
}

// ---------------------------------------------------------------------------------------------
// mdiFile

mdiFile::mdiFile(QWidget* parent) : QWidget(parent), menuSet_(new MenuSet(this)) {
  setObjectName(QStringLiteral("mdiFile"));

  lstFile = new FileListBox(this);
  index_ = new ListIndex(lstFile, [this](int row) { return Text(row); });

  btnDel = new QPushButton(this);
  btnDel->setObjectName(QStringLiteral("btnDel"));
  btnDel->setIcon(ButtonIcon("list-remove", QStyle::SP_DialogDiscardButton, this));
  btnDelAll = new QPushButton(this);
  btnDelAll->setObjectName(QStringLiteral("btnDelAll"));
  btnDelAll->setIcon(ButtonIcon("edit-clear", QStyle::SP_DialogResetButton, this));
  // The popup belongs to the background and the list only.
  btnDel->setContextMenuPolicy(Qt::PreventContextMenu);
  btnDelAll->setContextMenuPolicy(Qt::PreventContextMenu);
  btnDel->setGeometry(TwipsToPixels(60), 0, TwipsToPixels(kFileDelButtonWidth), TwipsToPixels(kFileDelButtonHeight));
  btnDelAll->setGeometry(TwipsToPixels(kFileDelButtonWidth + 120), 0, TwipsToPixels(kFileDelButtonWidth),
                         TwipsToPixels(kFileDelButtonHeight));

  mnuPopup = new QMenu(this);
  mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
  mnuAll = mnuPopup->addAction(CommonText(2006));
  mnuAll->setObjectName(QStringLiteral("mnuAll"));
  mnuClear = mnuPopup->addAction(CommonText(2007));
  mnuClear->setObjectName(QStringLiteral("mnuClear"));
  mnuInCopy = mnuPopup->addAction(ProductText(3007));
  mnuInCopy->setObjectName(QStringLiteral("mnuInCopy"));
  mnuPopup->addSeparator();
  menuSet_->AppendTo(mnuPopup);

  connect(btnDel, &QPushButton::clicked, this, [this] { btnDel_Click(); });
  connect(btnDelAll, &QPushButton::clicked, this, [this] { btnDelAll_Click(); });
  connect(mnuAll, &QAction::triggered, this, [this] { SelectAll(); });
  connect(mnuClear, &QAction::triggered, this, [this] { SelectClear(); });
  connect(mnuInCopy, &QAction::triggered, this, [this] { mnuInCopy_Click(); });
  // A drop is handled once the drag has finished, so a capacity message never blocks the
  // drag source while it waits for the drop to end.
  connect(lstFile, &FileListBox::filesDropped, this, &mdiFile::DropFiles, Qt::QueuedConnection);
  connect(lstFile, &FileListBox::enterPressed, this, &mdiFile::historyFocusRequested);
  // Delete: as the delete button.
  connect(lstFile, &FileListBox::deletePressed, this, [this] { btnDel_Click(); });
  connect(lstFile, &FileListBox::popupRequested, this, [this](const QPoint& pos) { ShowPopup(pos); });

  LayoutControls();
}

mdiFile::~mdiFile() = default;

void mdiFile::Form_Load() {
  try {
    if (Shared().autoRun) return;
    if (!Options().Resize) {
      ScreenSize screen;
      if (const QScreen* s = QGuiApplication::primaryScreen()) {
        screen.width = PixelsToTwips(s->geometry().width());
        screen.height = PixelsToTwips(s->geometry().height());
      }
      const std::optional<Geometry> g =
          RestoreGeometry(kGeometryPrefix, WindowKind::Child, WindowGeometry(this), screen);
      if (!g) {
        LoadFailure(QStringLiteral("Orvex2 mdiFile Form_Load ERR"));
        return;
      }
      ApplyWindowGeometry(this, *g);
    }
    SetFontData();
    setWindowTitle(ProductText(3000));
    mnuAll->setText(CommonText(2006));
    mnuClear->setText(CommonText(2007));
    mnuInCopy->setText(ProductText(3007));
    SetToolTip(Options().Tip);
  } catch (const std::exception&) {
    LoadFailure(QStringLiteral("Orvex2 mdiFile Form_Load ERR"));
  }
}

void mdiFile::Form_Unload(int mainWindowState) {
  try {
    if (mainWindowState != 0 || Options().Resize || Shared().autoRun) return;
    SaveGeometry(kGeometryPrefix, WindowKind::Child, WindowGeometry(this), mainWindowState);
  } catch (const std::exception&) {
  }
}

bool mdiFile::ListInAdd(const QString& path) {
  try {
    if (index_->Contains(path)) return true;
    if (lstFile->count() <= kMaxEntries - 1) {
      // Shown decoded; the item keeps the exact name.
      index_->Append(path, [&] {
        auto* item = new QListWidgetItem(DisplayName(path), lstFile);
        item->setData(Qt::UserRole, path);
      });
      return true;
    }
    ShowCapacityMessage();
    return false;
  } catch (const std::exception&) {
    return false;
  }
}

bool mdiFile::Gaibu_ListInAdd(const QString& name) {
  try {
    if (name.isEmpty()) return true;
    const QString path = LongPathName(name);
    if (path.isEmpty()) return true;
    if (!FileReadable(path)) return true;
    if (!Exp_Check(path)) return true;
    return ListInAdd(path);
  } catch (const std::exception&) {
    return false;
  }
}

void mdiFile::DropFiles(const QStringList& names) {
  try {
    for (const QString& name : names) {
      if (!Gaibu_ListInAdd(name)) break;
    }
  } catch (const std::exception&) {
  }
  emit listChanged();
}

void mdiFile::RefreshForm() { lstFile->clear(); }

void mdiFile::ShowCapacityMessage() {
  const QString text = ProductText(3100);
  if (messagePort_ != nullptr) {
    messagePort_->Message(text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Orvex2"), text, QMessageBox::Ok, this);
  box.exec();
}

void mdiFile::SetFontData() { ApplySharedFont({this, lstFile, btnDel, btnDelAll}); }

void mdiFile::SetToolTip(bool blnToolTip) {
  lstFile->setToolTip(blnToolTip ? ProductText(3001) : QString());
  btnDel->setToolTip(blnToolTip ? ProductText(3002) : QString());
  btnDelAll->setToolTip(blnToolTip ? ProductText(3003) : QString());
}

void mdiFile::btnDel_Click() {
  try {
    // The next entry moves into the place of a removed one, so i stays.
    int i = 0;
    while (i <= lstFile->count() - 1) {
      if (lstFile->item(i)->isSelected()) {
        delete lstFile->takeItem(i);
      } else {
        ++i;
      }
    }
  } catch (const std::exception&) {
  }
  emit listChanged();
}

void mdiFile::btnDelAll_Click() {
  lstFile->clear();
  emit listChanged();
}

void mdiFile::mnuInCopy_Click() {
  for (int i = 0; i < lstFile->count(); ++i) {
    if (lstFile->item(i)->isSelected()) {
      emit dirNameRequested(ParentFolder(Text(i)));
      return;
    }
  }
}

int mdiFile::Count() const { return lstFile->count(); }

QString mdiFile::Text(int i) const {
  const QListWidgetItem* item = lstFile->item(i);
  return item != nullptr ? item->data(Qt::UserRole).toString() : QString();
}

bool mdiFile::Selected(int i) const {
  const QListWidgetItem* item = lstFile->item(i);
  return item != nullptr && item->isSelected();
}

void mdiFile::SetSelected(int i, bool selected) {
  if (QListWidgetItem* item = lstFile->item(i)) item->setSelected(selected);
}

void mdiFile::Remove(int i) {
  if (i >= 0 && i < lstFile->count()) delete lstFile->takeItem(i);
}

// The run moves the top entry for every archive; the view scrolls once, to the last entry asked
// for, when the event loop next turns (it is painted only then anyway).
void mdiFile::SetTopIndex(int i) {
  topIndex_ = i;
  if (topPending_) return;
  topPending_ = true;
  QTimer::singleShot(0, this, [this] {
    topPending_ = false;
    if (QListWidgetItem* item = lstFile->item(topIndex_)) lstFile->scrollToItem(item, QAbstractItemView::PositionAtTop);
  });
}

void mdiFile::Repaint() {
  lstFile->viewport()->update();
  lstFile->update();
}

// One selection change for the whole list, not one per entry.
void mdiFile::SelectAll() { lstFile->selectAll(); }

void mdiFile::SelectClear() { lstFile->clearSelection(); }

void mdiFile::Menu_Enabled(bool enabled) { menuSet_->SetEnabled(enabled); }

void mdiFile::LayoutControls() {
  const FileLayout l =
      ComputeFileLayout(PixelsToTwips(width()), PixelsToTwips(height()), PixelsToTwips(lstFile->height()));
  if (!l.moved) return;
  lstFile->setGeometry(TwipsToPixels(l.list.left), TwipsToPixels(l.list.top), TwipsToPixels(l.list.width),
                       l.listSized ? TwipsToPixels(l.list.height) : lstFile->height());
  btnDel->move(TwipsToPixels(l.del.left), TwipsToPixels(l.del.top));
  btnDelAll->move(TwipsToPixels(l.delAll.left), TwipsToPixels(l.delAll.top));
}

void mdiFile::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  LayoutControls();
}

void mdiFile::contextMenuEvent(QContextMenuEvent* e) {
  ShowPopup(e->globalPos());
  e->accept();
}

void mdiFile::ShowPopup(const QPoint& globalPos) { mnuPopup->popup(globalPos); }

}  // namespace orvex2
