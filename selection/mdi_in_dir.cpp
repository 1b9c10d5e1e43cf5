// The folder browser window: drive and folder lists, the start folder and its keys, layout.
#include "selection/mdi_in_dir.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMenu>
#include <QScreen>

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "foundation/messages.h"
#include "foundation/names.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "results/menu_set.h"
#include "results/window_support.h"
#include "selection/folder_lists.h"

namespace orvex2 {

namespace {
const QString kPrefix = QStringLiteral("InDir");

ScreenSize PrimaryScreen() {
  ScreenSize s;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    s.width = PixelsToTwips(screen->geometry().width());
    s.height = PixelsToTwips(screen->geometry().height());
  }
  return s;
}
}  // namespace

mdiInDir::mdiInDir(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("mdiInDir"));
  setWindowTitle(ProductText(1000));
  drvDrive = new DriveList(this);
  dlbDir = new FolderList(this);
  txtDir = new QLineEdit(this);
  txtDir->setObjectName(QStringLiteral("txtDir"));
  txtDir->setReadOnly(true);
  // The drive list offers no popup of its own and passes none on to the window.
  drvDrive->setContextMenuPolicy(Qt::PreventContextMenu);
  menuSet_ = new MenuSet(this);
  mnuPopup = new QMenu(QStringLiteral("Menu"), this);
  mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
  mnuRefresh = mnuPopup->addAction(CommonText(1005));
  mnuRefresh->setObjectName(QStringLiteral("mnuRefresh"));
  mnuAdd = mnuPopup->addAction(CommonText(1006));
  mnuAdd->setObjectName(QStringLiteral("mnuAdd"));
  mnuMente = mnuPopup->addAction(CommonText(1007));
  mnuMente->setObjectName(QStringLiteral("mnuMente"));
  mnuBar = mnuPopup->addSeparator();
  mnuBar->setObjectName(QStringLiteral("mnuBar"));
  for (int i = 0; i < kAliases; ++i) {
    mnuAddDir[i] = mnuPopup->addAction(QString());
    mnuAddDir[i]->setObjectName(QStringLiteral("mnuAddDir"));
    connect(mnuAddDir[i], &QAction::triggered, this, [this, i] { mnuAddDir_Click(i); });
  }
  ShowAliases();
  mnuPopup->addSeparator();
  menuSet_->AppendTo(mnuPopup);
  connect(mnuRefresh, &QAction::triggered, this, [this] { RefreshForm(); });
  connect(mnuAdd, &QAction::triggered, this, [this] { mnuAdd_Click(); });
  connect(mnuMente, &QAction::triggered, this, [this] { mnuMente_Click(); });
  connect(dlbDir, &FolderList::folderChanged, this, [this] { FolderChanged(); });
  connect(drvDrive, &DriveList::driveChosen, this, [this](const QString& root) { DriveChosen(root); });
  connect(drvDrive, &DriveList::enterPressed, this, [this] { dlbDir->setFocus(); });
  dlbDir->installEventFilter(this);
  txtDir->installEventFilter(this);
  dlbDir->SetFolder(CurrentFolderName());
  drvDrive->SetDriveOf(dlbDir->Folder());
  resize(TwipsToPixels(4500), TwipsToPixels(3000));
}

void mdiInDir::Form_Load() {
  try {
    // The store that holds the window's keys holds its folder keys too: the earlier one when
    // its InDir_Left, taken as a number, is not -9999.
    const std::optional<double> probe =
        ParseNumber(SettingsStore::Read(kEarlierApp, kSection, kPrefix + QStringLiteral("_Left"), QStringLiteral("-9999")));
    const bool earlier = probe && static_cast<float>(*probe) != -9999.0f;
    const QString app = earlier ? kEarlierApp : kCurrentApp;
    const QString cwd = CurrentFolderName();
    SharedState& s = Shared();
    s.Dir_In = SettingsStore::Read(app, kSection, QStringLiteral("Dir_In"), cwd);
    s.Dir_In_Yuko = ParseBool(SettingsStore::Read(app, kSection, QStringLiteral("Dir_In_Yuko"), BoolText(true)))
                        .value_or(true);
    s.OldDir_In = SettingsStore::Read(app, kSection, QStringLiteral("OldDir_In"), cwd);
    DirName(s.Dir_In_Yuko ? s.Dir_In : s.OldDir_In);
    if (s.autoRun) return;
    if (!Options().Resize) {
      const std::optional<Geometry> g = RestoreGeometry(kPrefix, WindowKind::Child, WindowGeometry(this), PrimaryScreen());
      if (!g) throw std::runtime_error("geometry");
      ApplyWindowGeometry(this, *g);
    }
    SetFontData();
    setWindowTitle(ProductText(1000));
    mnuRefresh->setText(CommonText(1005));
    mnuAdd->setText(CommonText(1006));
    mnuMente->setText(CommonText(1007));
    SetToolTip(Options().Tip);
    LoadAliases(app);
  } catch (...) {
    LoadFailure(QStringLiteral("Orvex2 mdiinDir Form_Load ERR"));
  }
}

void mdiInDir::Form_Unload(int mainWindowState) {
  try {
    if (Shared().autoRun) return;
    SaveGeometry(kPrefix, WindowKind::Child, WindowGeometry(this), mainWindowState);
    const SharedState& s = Shared();
    SettingsStore::Write(kCurrentApp, kSection, QStringLiteral("Dir_In"), s.Dir_In);
    SettingsStore::Write(kCurrentApp, kSection, QStringLiteral("Dir_In_Yuko"), BoolText(s.Dir_In_Yuko));
    SettingsStore::Write(kCurrentApp, kSection, QStringLiteral("OldDir_In"), DirName());
    SaveAliases();
  } catch (...) {
  }
}

// ---------------------------------------------------------------------------------------------
// Folder aliases

namespace {
QString NameKey(int i) { return QStringLiteral("Dir_In_DirName%1").arg(i); }
QString DirKey(int i) { return QStringLiteral("Dir_In_DirDir%1").arg(i); }
}  // namespace

void mdiInDir::LoadAliases(const QString& app) {
  names_.fill(QString());
  dirs_.fill(QString());
  last_ = kAliases - 1;
  for (int i = 0; i < kAliases; ++i) {
    const QString name = SettingsStore::Read(app, kSection, NameKey(i), QString());
    const QString dir = SettingsStore::Read(app, kSection, DirKey(i), QString());
    // The list ends at the first gap; later positions are dropped.
    if (name.isEmpty() || dir.isEmpty()) {
      last_ = i - 1;
      break;
    }
    names_[i] = name;
    dirs_[i] = dir;
  }
  ShowAliases();
}

void mdiInDir::SaveAliases() {
  for (int i = 0; i < kAliases; ++i) {
    SettingsStore::Write(kCurrentApp, kSection, NameKey(i), i <= last_ ? names_[i] : QString());
    SettingsStore::Write(kCurrentApp, kSection, DirKey(i), i <= last_ ? dirs_[i] : QString());
  }
}

void mdiInDir::ShowAliases() {
  for (int i = 0; i < kAliases; ++i) {
    if (i > last_) {
      names_[i].clear();
      dirs_[i].clear();
    }
    mnuAddDir[i]->setText(i <= last_ ? names_[i] : QString());
    mnuAddDir[i]->setVisible(i <= last_);
  }
  mnuMente->setEnabled(last_ >= 0);
  mnuBar->setVisible(last_ >= 0);
  mnuAdd->setEnabled(last_ < kAliases - 1);
}

QString mdiInDir::AskAliasName(const QString& prompt, const QString& title, const QString& proposal) {
  return QInputDialog::getText(this, title, prompt, QLineEdit::Normal, proposal);
}

void mdiInDir::ShowMessage(const QString& text) {
  QMessageBox::information(this, QStringLiteral("Orvex2"), text, QMessageBox::Ok);
}

void mdiInDir::mnuAdd_Click() {
  try {
    if (last_ >= kAliases - 1) return;
    const QString folder = DirName();
    const QString answer =
        AskAliasName(CommonText(1100) + QLatin1Char('\n') + folder, CommonText(1101), ShortenPath(folder));
    if (answer.isEmpty()) return;
    for (int i = 0; i <= last_; ++i) {
      if (names_[i] == answer) {
        ShowMessage(CommonText(1102));
        return;
      }
    }
    ++last_;
    names_[last_] = answer;
    dirs_[last_] = folder;
    ShowAliases();
  } catch (...) {
  }
}

void mdiInDir::mnuMente_Click() {
  try {
    if (mente_ == nullptr) return;
    for (int i = 0; i < kAliases; ++i)
      mente_->Set_Menu(i, i <= last_ ? names_[i] : QString(), i <= last_ ? dirs_[i] : QString());
    if (!mente_->ShowFor(ProductText(1000))) return;
    const int last = std::clamp(mente_->MenuCount(), -1, kAliases - 1);
    for (int i = 0; i <= last; ++i) mente_->Get_Menu(i, names_[i], dirs_[i]);
    last_ = last;
    ShowAliases();
  } catch (...) {
  }
}

void mdiInDir::mnuAddDir_Click(int index) {
  if (index >= 0 && index <= last_) DirName(dirs_[index]);
}

QString mdiInDir::DirName() const {
  try {
    return LongPathName(dlbDir->Folder());
  } catch (...) {
    return QString();
  }
}

void mdiInDir::DirName(const QString& strDirName) {
  try {
    const QSignalBlocker block(dlbDir);
    if (!dlbDir->SetFolder(strDirName) || !drvDrive->SetDriveOf(dlbDir->Folder())) {
      dlbDir->SetFolder(CurrentFolderName());
      drvDrive->SetDriveOf(dlbDir->Folder());
    }
  } catch (...) {
  }
  RefreshForm();
}

void mdiInDir::RefreshForm() {
  try {
    drvDrive->Refresh();
    {
      const QSignalBlocker block(dlbDir);
      dlbDir->Refresh();
    }
    drvDrive->SetDriveOf(dlbDir->Folder());
    FolderChanged();
  } catch (...) {
  }
}

void mdiInDir::FolderChanged() {
  try {
    drvDrive->SetDriveOf(dlbDir->Folder());
    const QString name = LongPathName(dlbDir->Folder());
    txtDir->setText(name.isEmpty() ? QString() : DisplayName(ShortenPath(name)));
    emit dirChanged(dlbDir->Folder());
  } catch (...) {
    txtDir->clear();
  }
}

void mdiInDir::DriveChosen(const QString& root) {
  // Stay on the current folder when it already lies on the chosen drive.
  if (drvDrive->DriveOf(dlbDir->Folder()) == root) return;
  if (!dlbDir->SetFolder(root)) drvDrive->SetDriveOf(dlbDir->Folder());
}

void mdiInDir::Menu_Enabled(bool enabled) { menuSet_->SetEnabled(enabled); }

void mdiInDir::SetFontData() {
  ApplySharedFont({this, txtDir, dlbDir, drvDrive});
  LayoutControls();
}

void mdiInDir::SetToolTip(bool blnToolTip) {
  drvDrive->setToolTip(blnToolTip ? ProductText(1001) : QString());
  dlbDir->setToolTip(blnToolTip ? ProductText(1002) : QString());
  txtDir->setToolTip(blnToolTip ? ProductText(1003) : QString());
}

void mdiInDir::FocusDrive() { drvDrive->setFocus(); }

void mdiInDir::LayoutControls() {
  const double w = PixelsToTwips(width());
  const double h = PixelsToTwips(height());
  if (w - 120 <= 0) return;
  const double drvH = PixelsToTwips(drvDrive->sizeHint().height());
  const double txtH = PixelsToTwips(txtDir->sizeHint().height());
  drvDrive->setGeometry(TwipsToPixels(60), TwipsToPixels(60), TwipsToPixels(w - 120), TwipsToPixels(drvH));
  const double listTop = drvH + 120;
  const double listH = h - 240 - drvH - txtH;
  const int listPx = listH >= 1 ? TwipsToPixels(listH) : dlbDir->height();
  dlbDir->setGeometry(TwipsToPixels(60), TwipsToPixels(listTop), TwipsToPixels(w - 120), listPx);
  txtDir->setGeometry(TwipsToPixels(60), dlbDir->geometry().bottom() + 1 + TwipsToPixels(60), TwipsToPixels(w - 120),
                      TwipsToPixels(txtH));
}

void mdiInDir::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  LayoutControls();
}

void mdiInDir::contextMenuEvent(QContextMenuEvent* e) {
  e->accept();
  mnuPopup->popup(e->globalPos());
}

bool mdiInDir::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ContextMenu && (watched == dlbDir || watched == txtDir)) {
    mnuPopup->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace orvex2
