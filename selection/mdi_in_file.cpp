// The file browser window: file list by pattern, add buttons, popup menu, layout, geometry.
#include "selection/mdi_in_file.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>

#include <optional>
#include <stdexcept>

#include "foundation/folder_listing.h"
#include "foundation/messages.h"
#include "foundation/names.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "results/menu_set.h"
#include "results/window_support.h"
#include "selection/archive_filter.h"
#include "selection/folder_lists.h"
#include "selection/mdi_file.h"

namespace orvex2 {

namespace {
const QString kPrefix = QStringLiteral("InFile");
constexpr double kButtonWidth = 480;
constexpr double kButtonHeight = 375;

class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

QString WithSlash(const QString& folder) { return folder.endsWith('/') ? folder : folder + '/'; }
}  // namespace

// ---------------------------------------------------------------------------------------------
// filFile

FileNameList::FileNameList(QWidget* parent) : PopupList(parent) {
  setObjectName(QStringLiteral("filFile"));
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setUniformItemSizes(true);
}

QStringList FileNameList::Names(const QString& folder, const QString& pattern) {
  if (folder.isEmpty() || pattern.isEmpty() || pattern == QLatin1String(kNoArchivePattern)) return {};
  const QStringList filters = pattern.split(';', Qt::SkipEmptyParts);
  // Regular files, hidden ones left out. No permission filter: a file that cannot be read is
  // listed and fails its check visibly.
  QStringList names;
  for (const QString& name : ListFolder(folder).files) {
    if (name.startsWith(QLatin1Char('.'))) continue;
    for (const QString& filter : filters) {
      if (WildcardMatch(filter, name)) {
        names << name;
        break;
      }
    }
  }
  SortForDisplay(names);
  return names;
}

void FileNameList::SetPattern(const QString& pattern) { pattern_ = pattern; }

bool FileNameList::SetPath(const QString& folder) {
  if (folder.isEmpty() || !UsableFolder(folder)) return false;
  path_ = QDir::cleanPath(QDir(folder).absolutePath());
  return true;
}

void FileNameList::Refresh(bool force) {
  if (!force && readPattern_ == pattern_ && read_.Unchanged(path_)) return;
  const bool sameFolder = read_.path == path_ && count() > 0;
  const int scroll = verticalScrollBar()->value();
  read_ = FolderStamp::Take(path_);
  readPattern_ = pattern_;
  clear();
  // Shown decoded; the item keeps the exact name.
  for (const QString& name : Names(path_, pattern_)) {
    auto* item = new QListWidgetItem(DisplayName(name), this);
    item->setData(Qt::UserRole, name);
  }
  if (sameFolder) verticalScrollBar()->setValue(scroll);
}

QString FileNameList::NameAt(int row) const {
  const QListWidgetItem* it = item(row);
  return it != nullptr ? it->data(Qt::UserRole).toString() : QString();
}

void FileNameList::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    e->accept();
    emit enterPressed();
    return;
  }
  PopupList::keyPressEvent(e);
}

// ---------------------------------------------------------------------------------------------
// mdiInFile

mdiInFile::mdiInFile(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("mdiInFile"));
  setWindowTitle(ProductText(2000));
  filFile = new FileNameList(this);
  auto button = [this](const char* name, QStyle::StandardPixmap icon) {
    auto* b = new QPushButton(this);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(style()->standardIcon(icon));
    b->resize(TwipsToPixels(kButtonWidth), TwipsToPixels(kButtonHeight));
    // Only the background and the file list open the window's popup.
    b->setContextMenuPolicy(Qt::PreventContextMenu);
    return b;
  };
  btnAdd = button("btnAdd", QStyle::SP_ArrowRight);
  btnAddAll = button("btnAddAll", QStyle::SP_MediaSeekForward);
  btnAddAllAll = button("btnAddAllAll", QStyle::SP_MediaSkipForward);
  menuSet_ = new MenuSet(this);
  mnuPopup = new QMenu(QStringLiteral("Menu"), this);
  mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
  mnuRefresh = mnuPopup->addAction(CommonText(1005));
  mnuRefresh->setObjectName(QStringLiteral("mnuRefresh"));
  mnuAll = mnuPopup->addAction(CommonText(2006));
  mnuAll->setObjectName(QStringLiteral("mnuAll"));
  mnuClear = mnuPopup->addAction(CommonText(2007));
  mnuClear->setObjectName(QStringLiteral("mnuClear"));
  mnuPopup->addSeparator();
  menuSet_->AppendTo(mnuPopup);
  connect(mnuRefresh, &QAction::triggered, this, [this] {
    // The user asked: read the folder whatever its time stamp says.
    try {
      filFile->Refresh(true);
      SelectClear();
    } catch (...) {
    }
  });
  connect(mnuAll, &QAction::triggered, this, [this] { SelectAll(); });
  connect(mnuClear, &QAction::triggered, this, [this] { SelectClear(); });
  connect(btnAdd, &QPushButton::clicked, this, [this] { btnAdd_Click(); });
  connect(btnAddAll, &QPushButton::clicked, this, [this] { btnAddAll_Click(); });
  connect(btnAddAllAll, &QPushButton::clicked, this, [this] { btnAddAllAll_Click(); });
  connect(filFile, &FileNameList::enterPressed, this, [this] { emit targetFocusRequested(); });
  resize(TwipsToPixels(4500), TwipsToPixels(3000));
}

void mdiInFile::Form_Load() {
  try {
    if (Shared().autoRun) return;
    if (!Options().Resize) {
      ScreenSize screen;
      if (const QScreen* s = QGuiApplication::primaryScreen()) {
        screen.width = PixelsToTwips(s->geometry().width());
        screen.height = PixelsToTwips(s->geometry().height());
      }
      const std::optional<Geometry> g = RestoreGeometry(kPrefix, WindowKind::Child, WindowGeometry(this), screen);
      if (!g) throw std::runtime_error("geometry");
      ApplyWindowGeometry(this, *g);
    }
    SetFontData();
    setWindowTitle(ProductText(2000));
    mnuRefresh->setText(CommonText(1005));
    mnuAll->setText(CommonText(2006));
    mnuClear->setText(CommonText(2007));
    SetToolTip(Options().Tip);
  } catch (...) {
    LoadFailure(QStringLiteral("Orvex2 mdiinFile Form_Load ERR"));
  }
}

void mdiInFile::Form_Unload(int mainWindowState) {
  try {
    SaveGeometry(kPrefix, WindowKind::Child, WindowGeometry(this), mainWindowState);
  } catch (...) {
  }
}

void mdiInFile::Pattern_Make() {
  try {
    FilePattern(PatternRule());
  } catch (...) {
  }
}

void mdiInFile::FilePattern(const QString& pattern) {
  filFile->SetPattern(pattern);
  RefreshForm();
}

QString mdiInFile::DirName() const {
  try {
    return LongPathName(filFile->Path());
  } catch (...) {
    return QString();
  }
}

void mdiInFile::DirName(const QString& strDirName) {
  if (!filFile->SetPath(strDirName)) filFile->SetPath(CurrentFolderName());
  RefreshForm();
}

void mdiInFile::RefreshForm() {
  try {
    filFile->Refresh();
    SelectClear();
  } catch (...) {
  }
}

// One selection change for the whole list, not one per name.
void mdiInFile::SelectAll() { filFile->selectAll(); }

void mdiInFile::SelectClear() { filFile->clearSelection(); }

bool mdiInFile::Exp_Check(const QString& name) const { return orvex2::Exp_Check(name); }

void mdiInFile::Menu_Enabled(bool enabled) { menuSet_->SetEnabled(enabled); }

void mdiInFile::SetFontData() {
  ApplySharedFont({this, filFile, btnAdd, btnAddAll, btnAddAllAll});
  LayoutControls();
}

void mdiInFile::SetToolTip(bool blnToolTip) {
  filFile->setToolTip(blnToolTip ? ProductText(2001) : QString());
  btnAdd->setToolTip(blnToolTip ? ProductText(2002) : QString());
  btnAddAll->setToolTip(blnToolTip ? ProductText(2003) : QString());
  btnAddAllAll->setToolTip(blnToolTip ? ProductText(2004) : QString());
}

bool mdiInFile::AddNames(const QString& folder, const QStringList& names, bool onlySelected) {
  const QString d = WithSlash(folder);
  for (int i = 0; i < names.size(); ++i) {
    QListWidgetItem* item = onlySelected ? filFile->item(i) : nullptr;
    if (onlySelected && (item == nullptr || !item->isSelected())) continue;
    const QString path = LongPathName(d + names.at(i));
    if (!path.isEmpty() && target_ != nullptr && !target_->ListInAdd(path)) return false;
    if (item != nullptr) item->setSelected(false);
  }
  return true;
}

void mdiInFile::btnAdd_Click() {
  try {
    WaitCursor wait;
    QStringList names;
    for (int i = 0; i < filFile->count(); ++i) names << filFile->NameAt(i);
    AddNames(filFile->Path(), names, true);
  } catch (...) {
  }
  emit targetsChanged();
}

void mdiInFile::btnAddAll_Click() {
  try {
    WaitCursor wait;
    const QString d = WithSlash(filFile->Path());
    for (int i = 0; i < filFile->count(); ++i) {
      QListWidgetItem* item = filFile->item(i);
      const QString path = LongPathName(d + filFile->NameAt(i));
      if (!path.isEmpty() && target_ != nullptr && !target_->ListInAdd(path)) break;
      item->setSelected(false);
    }
  } catch (...) {
  }
  emit targetsChanged();
}

void mdiInFile::btnAddAllAll_Click() {
  try {
    WaitCursor wait;
    QStringList folders{filFile->Path()};
    folders << FolderList::SubFolders(filFile->Path());
    for (const QString& folder : folders) {
      if (!AddNames(folder, FileNameList::Names(folder, filFile->Pattern()), false)) break;
    }
    SelectClear();
  } catch (...) {
  }
  emit targetsChanged();
}

void mdiInFile::LayoutControls() {
  const double w = PixelsToTwips(width()) - 120;
  const double h = PixelsToTwips(height()) - PixelsToTwips(btnAdd->height()) - 180;
  if (w <= 0) return;
  filFile->setGeometry(TwipsToPixels(60), TwipsToPixels(60), TwipsToPixels(w),
                       h >= 1 ? TwipsToPixels(h) : filFile->height());
  const double top = PixelsToTwips(filFile->height()) + 120;
  btnAdd->move(TwipsToPixels(60), TwipsToPixels(top));
  btnAddAll->move(btnAdd->geometry().right() + 1 + TwipsToPixels(60), TwipsToPixels(top));
  btnAddAllAll->move(btnAddAll->geometry().right() + 1 + TwipsToPixels(60), TwipsToPixels(top));
}

void mdiInFile::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  LayoutControls();
}

void mdiInFile::contextMenuEvent(QContextMenuEvent* e) {
  e->accept();
  mnuPopup->popup(e->globalPos());
}

}  // namespace orvex2
