// The main window frame: button panel, child windows and their layout, the menu bar of the
// active window, fonts, tool tips, help, the default-folder menus, the run and shut-down.
#include "app/frm_orvex.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cfenv>
#include <cmath>

#include "app/pane_focus.h"
#include "dialogs/frm_about.h"
#include "dialogs/frm_default.h"
#include "dialogs/frm_menu_mente.h"
#include "dialogs/frm_option.h"
#include "engine/ports.h"
#include "foundation/messages.h"
#include "foundation/settings.h"
#include "results/mdi_out_file.h"
#include "results/mdi_status.h"
#include "results/window_support.h"
#include "selection/mdi_file.h"
#include "selection/mdi_in_dir.h"
#include "selection/mdi_in_file.h"

namespace orvex2 {

namespace {

constexpr double kPanelHeight = 615;
constexpr double kButtonTop = 120;
constexpr double kButtonWidth = 1335;
constexpr double kButtonHeight = 375;
constexpr double kButtonLefts[3] = {120, 1560, 3000};
constexpr double kProgressLeft = 4455;  // 120 right of btnExe 2
constexpr double kProgressLabelWidth = 1335;
// btnCancel's caption once pressed, until the run has stopped.
const QString kCancelPressed = QStringLiteral("中断中…");
constexpr qint64 kYieldPeriodMs = 40;

frmOrvex::FontAsker& FontAskerSlot() {
  static frmOrvex::FontAsker asker = [](const QFont& preset, QWidget* parent) -> std::optional<QFont> {
    bool ok = false;
    // Scalable fonts only, as the TrueType-only choice of the original font dialog.
    const QFont font = QFontDialog::getFont(&ok, preset, parent, QString(), QFontDialog::ScalableFonts);
    if (!ok) return std::nullopt;
    return font;
  };
  return asker;
}

// Message boxes the engine and the target list raise while the window is up.
class FrameMessages : public MessagePort {
 public:
  void Message(const QString& text) override {
    QMessageBox::information(nullptr, QStringLiteral("Orvex2"), text, QMessageBox::Ok);
  }
};

FrameMessages& Messages() {
  static FrameMessages messages;
  return messages;
}

QRect Pixels(double left, double top, double width, double height) {
  return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

// The family the font dialog lists for a stored name: the name itself when it is installed,
// else the installed font substituted for it ("ＭＳ 明朝" -> IPAMincho), else the font in use.
QString ListedFamily(const QString& stored) {
  const QStringList families = QFontDatabase::families();
  if (families.contains(stored)) return stored;
  for (const QString& s : QFont::substitutes(stored))
    if (families.contains(s)) return s;
  return QFontInfo(QFont(stored)).family();
}

bool SameFamily(const QString& chosen, const QString& stored) {
  return chosen == stored || chosen == ListedFamily(stored);
}

}  // namespace

double RoundHalfEven(double value) {
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double r = std::nearbyint(value);
  std::fesetround(saved);
  return r;
}

FrameLayout ComputeFrameLayout(double W, double H, double cancelWidth, bool resize) {
  FrameLayout l;
  if (resize) {
    const double w = RoundHalfEven(W / 2);
    const double h = RoundHalfEven(H / 3);
    l.childrenMoved = true;
    l.children[0] = {0, 0, w, h};
    l.children[1] = {0, h, w, h};
    l.children[2] = {0, 2 * h, w, h};
    l.children[3] = {w, 0, w, 2 * h};
    l.children[4] = {w, 2 * h, w, h};
  }
  const double x = RoundHalfEven(W - 60 - cancelWidth);
  if (x > 0) {
    l.cancelMoved = true;
    l.cancelLeft = x;
  }
  return l;
}

// ---------------------------------------------------------------------------------------------
// Construction and accessors

frmOrvex::frmOrvex(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("frmOrvex"));
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  pnl_ = new QWidget(central);
  pnl_->setObjectName(QStringLiteral("pnlOrvex"));
  pnl_->setFixedHeight(TwipsToPixels(kPanelHeight));
  for (int i = 0; i < 3; ++i) {
    exe_[i] = new QPushButton(pnl_);
    exe_[i]->setObjectName(QStringLiteral("btnExe%1").arg(i));
    exe_[i]->setGeometry(Pixels(kButtonLefts[i], kButtonTop, kButtonWidth, kButtonHeight));
    exe_[i]->setEnabled(false);
    connect(exe_[i], &QPushButton::clicked, this, [this, i] { btnExe_Click(i); });
  }
  cancel_ = new QPushButton(pnl_);
  cancel_->setObjectName(QStringLiteral("btnCancel"));
  cancel_->setGeometry(Pixels(kButtonLefts[2] + kButtonWidth + 225, kButtonTop, kButtonWidth, kButtonHeight));
  cancel_->setEnabled(false);
  connect(cancel_, &QPushButton::clicked, this, [this] { btnCancel_Click(); });
  lblProgress_ = new QLabel(pnl_);
  lblProgress_->setObjectName(QStringLiteral("lblProgress"));
  lblProgress_->setAlignment(Qt::AlignCenter);
  lblProgress_->hide();
  prgArchive_ = new QProgressBar(pnl_);
  prgArchive_->setObjectName(QStringLiteral("prgArchive"));
  prgArchive_->setRange(0, 1000);
  prgArchive_->hide();
  area_ = new QMdiArea(central);
  area_->setObjectName(QStringLiteral("mdiArea"));
  area_->installEventFilter(this);
  layout->addWidget(pnl_);
  layout->addWidget(area_, 1);
  setCentralWidget(central);
  cancel_->installEventFilter(this);

  menu_ = new MenuSet(this);
  menu_->Populate(menuBar());
  connect(area_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) { ShowMenuOf(sub); });
  SetMenuHandler(this);
  new PaneFocus(this, [this] { return QList<QWidget*>{inDir_, inFile_, file_, status_, outFile_, pnl_}; });
  // A session that ends the application without closing the window still saves.
  connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
    if (!shutDown_ && activated) ShutDown();
  });
  resize(TwipsToPixels(8000), TwipsToPixels(8000));
}

frmOrvex::~frmOrvex() {
  // The area goes with the window's children: its last activation signals must not reach us.
  QObject::disconnect(area_, nullptr, this, nullptr);
  if (CurrentMenuHandler() == this) SetMenuHandler(nullptr);
  EnginePorts& ports = Ports();
  if (ports.history == status_) ports.history = nullptr;
  if (ports.passed == outFile_) ports.passed = nullptr;
  if (ports.targets == file_) ports.targets = nullptr;
  if (ports.message == &Messages()) ports.message = nullptr;
}

mdiInDir* frmOrvex::InDir() const { return inDir_; }
mdiInFile* frmOrvex::InFile() const { return inFile_; }
mdiFile* frmOrvex::File() const { return file_; }
mdiStatus* frmOrvex::Status() const { return status_; }
mdiOutFile* frmOrvex::OutFile() const { return outFile_; }
frmAbout* frmOrvex::About() const { return about_; }
frmDefault* frmOrvex::Default() const { return default_; }
frmOption* frmOrvex::Option() const { return option_; }
frmMenuMente* frmOrvex::MenuMente() const { return menuMente_; }
QPushButton* frmOrvex::btnExe(int index) const { return index >= 0 && index < 3 ? exe_[index] : nullptr; }
QPushButton* frmOrvex::btnCancel() const { return cancel_; }
QMdiArea* frmOrvex::mdiArea() const { return area_; }
BatchRun& frmOrvex::batch() { return batch_; }
MenuSet* frmOrvex::menuSet() const { return menu_; }
QWidget* frmOrvex::pnlOrvex() const { return pnl_; }

int frmOrvex::WindowStateValue() const {
  if (isMinimized()) return 1;
  if (isMaximized()) return 2;
  return 0;
}

void frmOrvex::SetFontAsker(FontAsker asker) { FontAskerSlot() = std::move(asker); }

QString frmOrvex::HelpFilePath() {
  QString folder = QCoreApplication::applicationDirPath();
  if (!folder.endsWith('/')) folder += '/';
  return QDir::cleanPath(folder + QStringLiteral("../share/orvex2/ORVEX2.html"));
}

QList<QWidget*> frmOrvex::ChildWidgets() const {
  return {inDir_, inFile_, file_, status_, outFile_};
}

// ---------------------------------------------------------------------------------------------
// Start-up pieces

void frmOrvex::LoadChildren() {
  if (inDir_ != nullptr) return;
  inDir_ = new mdiInDir;
  inFile_ = new mdiInFile;
  file_ = new mdiFile;
  status_ = new mdiStatus;
  outFile_ = new mdiOutFile;
  const QList<QWidget*> children = ChildWidgets();
  for (int i = 0; i < 5; ++i) {
    QMdiSubWindow* sub = area_->addSubWindow(
        children[i], Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint);
    sub->installEventFilter(this);
    sub->hide();
    subs_[i] = sub;
  }
  inFile_->SetTargetList(file_);
  inDir_->SetAliasMaintenance(menuMente_);
  connect(inDir_, &mdiInDir::dirChanged, inFile_, [this](const QString& dir) {
    if (inFile_ != nullptr) inFile_->DirName(dir);
  });
  connect(inFile_, &mdiInFile::targetsChanged, this, [this] { BtnEnabledChange(); });
  connect(inFile_, &mdiInFile::targetFocusRequested, this, [this] {
    if (file_ != nullptr) file_->lstFile->setFocus();
  });
  connect(file_, &mdiFile::listChanged, this, [this] { BtnEnabledChange(); });
  connect(file_, &mdiFile::dirNameRequested, this, [this](const QString& dir) {
    if (inDir_ != nullptr) inDir_->DirName(dir);
  });
  connect(file_, &mdiFile::historyFocusRequested, this, [this] {
    if (status_ != nullptr && status_->lstKekka != nullptr) status_->lstKekka->setFocus();
  });

  EnginePorts& ports = Ports();
  ports.history = status_;
  ports.passed = outFile_;
  ports.targets = file_;
  ports.message = &Messages();

  inDir_->Form_Load();
  inFile_->Form_Load();
  file_->Form_Load();
  status_->Form_Load();
  outFile_->Form_Load();
}

void frmOrvex::LoadDialogs() {
  if (about_ != nullptr) return;
  about_ = new frmAbout(this);
  default_ = new frmDefault(this);
  option_ = new frmOption(this);
  menuMente_ = new frmMenuMente(this);
  default_->SetInDirSource([this] { return inDir_ != nullptr ? inDir_->DirName() : QString(); });
  if (inDir_ != nullptr) inDir_->SetAliasMaintenance(menuMente_);
  connect(option_, &frmOption::tipChanged, this, [this](bool tip) { SetToolTipEverywhere(tip); });
  connect(option_, &frmOption::confirmed, this, [this] {
    if (inFile_ != nullptr) {
      inFile_->Pattern_Make();
      inFile_->RefreshForm();
    }
    if (file_ != nullptr) file_->RefreshForm();
  });
  about_->Form_Load();
  default_->Form_Load();
  option_->Form_Load();
  menuMente_->Form_Load();
}

void frmOrvex::UnloadForAutoRun() {
  UnloadChildren(WindowStateValue());
  if (about_ != nullptr) {
    if (!Shared().autoRun) about_->Form_Unload();
    delete about_;
    about_ = nullptr;
  }
}

void frmOrvex::SetCaptions() {
  setWindowTitle(ProductText(9999));
  for (int i = 0; i < 3; ++i) exe_[i]->setText(ProductText(1 + i));
  cancel_->setText(CommonText(5));
}

bool frmOrvex::RestoreMainGeometry() {
  ScreenSize screen;
  if (const QScreen* s = QGuiApplication::primaryScreen()) {
    screen.width = PixelsToTwips(s->geometry().width());
    screen.height = PixelsToTwips(s->geometry().height());
  }
  const std::optional<Geometry> g = RestoreGeometry(QStringLiteral("Main"), WindowKind::Main, WindowGeometry(this), screen);
  if (!g) return false;
  ApplyWindowGeometry(this, *g);
  restoredOuter_ = QSize(TwipsToPixels(g->width), TwipsToPixels(g->height));
  if (g->state == 2) setWindowState(windowState() | Qt::WindowMaximized);
  else if (g->state == 1) setWindowState(windowState() | Qt::WindowMinimized);
  return true;
}

void frmOrvex::ShowChildren() {
  for (QMdiSubWindow* sub : subs_) {
    if (sub == nullptr) continue;
    sub->show();
    if (sub->widget() != nullptr) sub->widget()->show();
  }
}

// ---------------------------------------------------------------------------------------------
// Operations other windows call

void frmOrvex::SetToolTip(bool blnToolTip) {
  try {
    exe_[0]->setToolTip(blnToolTip ? ProductText(6) : QString());
    exe_[1]->setToolTip(blnToolTip ? ProductText(7) : QString());
    exe_[2]->setToolTip(blnToolTip ? ProductText(8) : QString());
    cancel_->setToolTip(blnToolTip ? CommonText(10) : QString());
  } catch (...) {
    for (QPushButton* b : {exe_[0], exe_[1], exe_[2], cancel_}) b->setToolTip(QString());
  }
}

void frmOrvex::SetToolTipEverywhere(bool tip) {
  if (default_ != nullptr) default_->SetToolTip(tip);
  if (menuMente_ != nullptr) menuMente_->SetToolTip(tip);
  if (option_ != nullptr) option_->SetToolTip(tip);
  SetToolTip(tip);
  if (inDir_ != nullptr) inDir_->SetToolTip(tip);
  if (inFile_ != nullptr) inFile_->SetToolTip(tip);
  if (file_ != nullptr) file_->SetToolTip(tip);
  if (status_ != nullptr) status_->SetToolTip(tip);
  if (outFile_ != nullptr) outFile_->SetToolTip(tip);
}

void frmOrvex::SetFontData() {
  const QFont font = SharedFont();
  for (QPushButton* b : {exe_[0], exe_[1], exe_[2], cancel_}) {
    try {
      b->setFont(font);
    } catch (...) {
    }
  }
  MDIForm_Resize();
}

void frmOrvex::MDIForm_Resize() {
  try {
    const QSize inner = area_->contentsRect().size();
    const FrameLayout l = ComputeFrameLayout(PixelsToTwips(inner.width()), PixelsToTwips(inner.height()),
                                             PixelsToTwips(cancel_->width()), Options().Resize);
    if (l.childrenMoved) {
      for (int i = 0; i < 5; ++i) {
        // A minimised or maximised child keeps its state and place; the others are laid out.
        if (subs_[i] == nullptr || subs_[i]->isMinimized() || subs_[i]->isMaximized()) continue;
        const FrameRect& r = l.children[i];
        subs_[i]->setGeometry(Pixels(r.left, r.top, r.width, r.height));
      }
    }
    if (l.cancelMoved) cancel_->move(TwipsToPixels(l.cancelLeft), cancel_->y());
    LayoutProgress();
  } catch (...) {
  }
}

void frmOrvex::LayoutProgress() {
  const int left = TwipsToPixels(kProgressLeft);
  const int labelWidth = TwipsToPixels(kProgressLabelWidth);
  const int gap = TwipsToPixels(60);
  lblProgress_->setGeometry(left, cancel_->y(), labelWidth, cancel_->height());
  const int barLeft = left + labelWidth + gap;
  prgArchive_->setGeometry(barLeft, cancel_->y(), std::max(0, cancel_->x() - 2 * gap - barLeft), cancel_->height());
}

void frmOrvex::BtnEnabledChange() {
  try {
    const bool any = file_ != nullptr && file_->Count() >= 1;
    for (QPushButton* b : exe_) b->setEnabled(any);
  } catch (...) {
  }
}

BatchRun::AutoOutcome frmOrvex::AutoCheckRun(int mode) { return batch_.Automatic(mode); }

void frmOrvex::btnExe_Click(int index) {
  if (index < 0 || index > 2 || batch_.running()) return;
  try {
    batch_.Interactive(index, *this);
  } catch (...) {
  }
  if (pendingClose_) {
    pendingClose_ = false;
    close();
  }
}

void frmOrvex::btnCancel_Click() {
  batch_.Cancel();
  if (!batch_.running()) return;
  // Acknowledged at once; the library call in progress ends, or the run stops before the next.
  cancel_->setEnabled(false);
  cancel_->setText(kCancelPressed);
}

// ---------------------------------------------------------------------------------------------
// RunFramePort

void frmOrvex::SetRunButtonsEnabled(bool enabled) {
  for (QPushButton* b : exe_) b->setEnabled(enabled);
}

void frmOrvex::SetCancelEnabled(bool enabled) {
  cancel_->setText(CommonText(5));
  cancel_->setEnabled(enabled);
  ShowBusy(enabled);
}

void frmOrvex::SetChildrenEnabled(bool enabled) {
  const QList<QWidget*> children = ChildWidgets();
  for (int i = 0; i < 5; ++i) {
    // The child's frame too: no moving, resizing, minimising or maximising during a run.
    if (subs_[i] != nullptr) subs_[i]->setEnabled(enabled);
    if (children[i] != nullptr) children[i]->setEnabled(enabled);
  }
  if (inDir_ != nullptr) inDir_->Menu_Enabled(enabled);
  if (inFile_ != nullptr) inFile_->Menu_Enabled(enabled);
  if (file_ != nullptr) file_->Menu_Enabled(enabled);
  if (status_ != nullptr) status_->Menu_Enabled(enabled);
  if (outFile_ != nullptr) outFile_->Menu_Enabled(enabled);
}

// The batch run asks after every archive. What the refresh shows is seen only when the window is
// painted, so during a run it waits for the next turn of the event loop (YieldOnce), which saves
// re-reading the drives and folders for every small archive.
void frmOrvex::RefreshFolderBrowser() {
  folderRefreshDue_ = busy_;
  if (!busy_ && inDir_ != nullptr) inDir_->RefreshForm();
}

void frmOrvex::RefreshFileBrowser() {
  if (inFile_ != nullptr) inFile_->RefreshForm();
}

void frmOrvex::FileBrowserSelectClear() {
  if (inFile_ != nullptr) inFile_->SelectClear();
}

// Paced: a run of small archives would otherwise repaint the window for every archive, which
// costs far more than checking them. A press of btnCancel waits at most one period; a library
// call that takes longer turns the event loop itself.
void frmOrvex::YieldOnce() {
  if (yielded_.isValid() && !yielded_.hasExpired(kYieldPeriodMs)) return;
  if (folderRefreshDue_) {
    folderRefreshDue_ = false;
    if (inDir_ != nullptr) inDir_->RefreshForm();
  }
  QCoreApplication::processEvents();
  yielded_.start();
}

void frmOrvex::ShowArchive(int index, int count) {
  lblProgress_->setText(QStringLiteral("%1 / %2").arg(index + 1).arg(count));
  prgArchive_->setValue(0);
}

void frmOrvex::ShowCallProgress(quint64 done, quint64 total) {
  prgArchive_->setValue(total == 0 ? 0 : static_cast<int>(std::min<quint64>(done, total) * 1000 / total));
}

// While a run lasts: the busy pointer everywhere but over btnCancel, the progress shown, and of
// the frame's own menu only Exit.
void frmOrvex::ShowBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  yielded_.invalidate();  // the first archive of a run yields
  if (busy) {
    QApplication::setOverrideCursor(cancel_->underMouse() ? Qt::ArrowCursor : Qt::WaitCursor);
    LayoutProgress();
  } else {
    QApplication::restoreOverrideCursor();
    lblProgress_->clear();
    prgArchive_->setValue(0);
  }
  lblProgress_->setVisible(busy);
  prgArchive_->setVisible(busy);
  menu_->SetEnabled(!busy);
  menu_->mnuExit->setEnabled(true);
}

// ---------------------------------------------------------------------------------------------
// Menu bar of the active window

void frmOrvex::ShowMenuOf(QMdiSubWindow* sub) {
  MenuSet* set = menu_;
  if (sub != nullptr) {
    QWidget* w = sub->widget();
    if (w == inDir_ && inDir_ != nullptr) set = inDir_->menuSet();
    else if (w == inFile_ && inFile_ != nullptr) set = inFile_->menuSet();
    else if (w == file_ && file_ != nullptr) set = file_->menuSet();
    else if (w == status_ && status_ != nullptr) set = status_->menuSet();
    else if (w == outFile_ && outFile_ != nullptr) set = outFile_->menuSet();
  }
  if (set != nullptr) set->Populate(menuBar());
}

// ---------------------------------------------------------------------------------------------
// Menu actions

void frmOrvex::mnuExit_Click() { close(); }

void frmOrvex::mnuFont_Click() {
  try {
    OptionRecord& o = Options();
    // The dialog can only preselect a family it lists: a stored name it does not know would
    // leave another font selected, and OK would then change the font.
    QFont preset = SharedFont();
    preset.setFamily(ListedFamily(o.Font_Name));
    const std::optional<QFont> chosen = FontAskerSlot()(preset, this);
    if (!chosen) return;
    const double size = chosen->pointSizeF() > 0 ? chosen->pointSizeF() : 0;
    const bool differs = !SameFamily(chosen->family(), o.Font_Name) || size != o.Font_Size ||
                         chosen->bold() != o.Font_Bold || chosen->italic() != o.Font_Italic;
    if (!differs) return;
    if (!SameFamily(chosen->family(), o.Font_Name)) o.Font_Name = chosen->family();
    o.Font_Size = static_cast<qint16>(RoundHalfEven(size));
    o.Font_Bold = chosen->bold();
    o.Font_Italic = chosen->italic();
    SetFontData();
    if (inDir_ != nullptr) inDir_->SetFontData();
    if (inFile_ != nullptr) inFile_->SetFontData();
    if (file_ != nullptr) file_->SetFontData();
    if (status_ != nullptr) status_->SetFontData();
    if (outFile_ != nullptr) outFile_->SetFontData();
    if (about_ != nullptr) about_->SetFontData();
    if (default_ != nullptr) default_->SetFontData();
    if (option_ != nullptr) option_->SetFontData();
  } catch (...) {
  }
}

void frmOrvex::mnuLogCopy_Click() {
  try {
    if (status_ != nullptr) status_->LogCopy();
  } catch (...) {
  }
}

void frmOrvex::mnuLogSave_Click() {
  try {
    if (status_ != nullptr) status_->LogSave();
  } catch (...) {
  }
}

void frmOrvex::mnuInDirDefault_Click() {
  try {
    if (default_ == nullptr) return;
    frmDefault& d = *default_;
    d.EnsureLoaded();
    d.pstr_lblDrive_Caption = ProductText(10000);
    d.pstr_cbxDrive_Hint = ProductText(10020);
    d.pblnYukoMukouOk = true;
    d.pblnDiskFreeOk = false;
    d.pstr_drvDrive_Hint = ProductText(10021);
    d.pstr_dlbDir_Hint = ProductText(10022);
    d.pstr_txtDir_Hint = ProductText(10023);
    d.DirName(Shared().Dir_In);
    d.Yuko(Shared().Dir_In_Yuko);
    d.ShowModal();
    if (d.pblnOk) {
      Shared().Dir_In = d.DirName();
      Shared().Dir_In_Yuko = d.Yuko();
    }
  } catch (...) {
  }
}

void frmOrvex::mnuOutDirDefault_Click() {
  try {
    if (default_ == nullptr) return;
    frmDefault& d = *default_;
    d.EnsureLoaded();
    d.pstr_lblDrive_Caption = ProductText(10001);
    d.pstr_cbxDrive_Hint = ProductText(10040);
    d.pblnYukoMukouOk = false;
    d.pblnDiskFreeOk = true;
    d.pstr_drvDrive_Hint = ProductText(10041);
    d.pstr_dlbDir_Hint = ProductText(10042);
    d.pstr_txtDir_Hint = ProductText(10043);
    d.DirName(Options().Dir_Out);
    d.Yuko(true);
    d.ShowModal();
    if (d.pblnOk) {
      Options().Dir_Out = d.DirName();
      Options().Dir_Out_Yuko = d.Yuko();
    }
  } catch (...) {
  }
}

void frmOrvex::mnuTmpDirDefault_Click() {
  try {
    if (default_ == nullptr) return;
    frmDefault& d = *default_;
    d.EnsureLoaded();
    d.pstr_lblDrive_Caption = ProductText(10002);
    d.pstr_cbxDrive_Hint = ProductText(10060);
    d.pblnYukoMukouOk = false;
    d.pblnDiskFreeOk = true;
    d.pstr_drvDrive_Hint = ProductText(10061);
    d.pstr_dlbDir_Hint = ProductText(10062);
    d.pstr_txtDir_Hint = ProductText(10063);
    d.DirName(Options().TmpDir);
    d.Yuko(true);
    d.ShowModal();
    if (d.pblnOk) Options().TmpDir = d.DirName();
  } catch (...) {
  }
}

void frmOrvex::mnuOption_Click() {
  try {
    // Confirming the options empties the target list: not while a run walks it.
    if (batch_.running()) return;
    if (option_ != nullptr) option_->ShowModal();
    BtnEnabledChange();
  } catch (...) {
  }
}

void frmOrvex::mnuHelp_Click() {
  try {
    QDesktopServices::openUrl(QUrl::fromLocalFile(HelpFilePath()));
  } catch (...) {
  }
}

void frmOrvex::mnuAbout_Click() {
  try {
    if (about_ != nullptr) about_->ShowModal();
  } catch (...) {
  }
}

// ---------------------------------------------------------------------------------------------
// Events and shut-down

// The stored size is the outer size (frame included); the frame is known once the window is
// mapped, so the client size is corrected then and the window does not grow from run to run.
void frmOrvex::FitRestoredFrame() {
  if (!restoredOuter_.isValid()) return;
  if (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) return;
  const QSize extra = frameGeometry().size() - size();
  if (extra.width() > 0 || extra.height() > 0) resize(restoredOuter_ - extra);
  restoredOuter_ = QSize();
}

bool frmOrvex::event(QEvent* e) {
  const bool handled = QMainWindow::event(e);
  if (e->type() == QEvent::WindowActivate && !shutDown_) {
    FitRestoredFrame();
    MDIForm_Activate();  // does its work only until the first activation has run
  }
  return handled;
}

void frmOrvex::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  // Platforms without window activation (offscreen) still get the first activation.
  if (!activated && !activationQueued_) {
    activationQueued_ = true;
    QTimer::singleShot(0, this, [this] {
      activationQueued_ = false;
      if (!activated && !shutDown_ && isVisible()) MDIForm_Activate();
    });
  }
}

bool frmOrvex::eventFilter(QObject* watched, QEvent* e) {
  if (watched == cancel_ && busy_ && (e->type() == QEvent::Enter || e->type() == QEvent::Leave)) {
    QApplication::changeOverrideCursor(e->type() == QEvent::Enter ? Qt::ArrowCursor : Qt::WaitCursor);
  } else if (watched == area_ && e->type() == QEvent::Resize) {
    MDIForm_Resize();
  } else if (e->type() == QEvent::Close && !shutDown_) {
    // The children live until shut-down: their close boxes do nothing.
    for (QMdiSubWindow* sub : subs_) {
      if (watched == sub) {
        e->ignore();
        return true;
      }
    }
  }
  return QMainWindow::eventFilter(watched, e);
}

void frmOrvex::closeEvent(QCloseEvent* e) {
  if (batch_.running()) {
    // The run's loop is below us on the stack: let it finish its archive and stop, then close.
    batch_.Cancel();
    pendingClose_ = true;
    e->ignore();
    return;
  }
  if (!shutDown_) ShutDown();
  e->accept();
}

void frmOrvex::UnloadChildren(int mainState) {
  try {
    if (inDir_ != nullptr) inDir_->Form_Unload(mainState);
  } catch (...) {
  }
  try {
    if (inFile_ != nullptr) inFile_->Form_Unload(mainState);
  } catch (...) {
  }
  try {
    if (file_ != nullptr) file_->Form_Unload(mainState);
  } catch (...) {
  }
  try {
    if (status_ != nullptr) status_->Form_Unload(mainState);
  } catch (...) {
  }
  try {
    if (outFile_ != nullptr) outFile_->Form_Unload(mainState);
  } catch (...) {
  }
  EnginePorts& ports = Ports();
  if (ports.history == status_) ports.history = nullptr;
  if (ports.passed == outFile_) ports.passed = nullptr;
  if (ports.targets == file_) ports.targets = nullptr;
  if (ports.message == &Messages()) ports.message = nullptr;
  const bool wasShutDown = shutDown_;
  shutDown_ = true;  // deleting the subwindows is no user close
  for (QMdiSubWindow*& sub : subs_) {
    delete sub;
    sub = nullptr;
  }
  shutDown_ = wasShutDown;
  inDir_ = nullptr;
  inFile_ = nullptr;
  file_ = nullptr;
  status_ = nullptr;
  outFile_ = nullptr;
  menu_->Populate(menuBar());
}

void frmOrvex::UnloadDialogs() {
  if (inDir_ != nullptr) inDir_->SetAliasMaintenance(nullptr);
  try {
    if (about_ != nullptr) about_->Form_Unload();
  } catch (...) {
  }
  try {
    if (default_ != nullptr) default_->Form_Unload();
  } catch (...) {
  }
  try {
    if (option_ != nullptr) option_->Form_Unload();
  } catch (...) {
  }
  try {
    if (menuMente_ != nullptr) menuMente_->Form_Unload();
  } catch (...) {
  }
  delete about_;
  delete default_;
  delete option_;
  delete menuMente_;
  about_ = nullptr;
  default_ = nullptr;
  option_ = nullptr;
  menuMente_ = nullptr;
}

void frmOrvex::ShutDown() {
  shutDown_ = true;
  const SettingsStore::Batch once;  // every window's keys and the options: the file written once
  const int state = WindowStateValue();
  try {
    UnloadChildren(state);
  } catch (...) {
  }
  try {
    UnloadDialogs();
  } catch (...) {
  }
  try {
    Geometry g = WindowGeometry(this);
    g.state = state;
    SaveGeometry(QStringLiteral("Main"), WindowKind::Main, g, state);
  } catch (...) {
  }
  try {
    SaveOptions();
  } catch (...) {
  }
}

}  // namespace orvex2
