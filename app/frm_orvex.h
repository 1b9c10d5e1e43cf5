// The main window: a multi-document frame with the run buttons, the shared menu, the five
// child windows and the four dialogs; it runs the batch and shuts the program down.
#pragma once

#include <QElapsedTimer>
#include <QFont>
#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "engine/batch_run.h"
#include "results/menu_set.h"

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QProgressBar;
class QPushButton;
class QWidget;

namespace orvex2 {

class mdiInDir;
class mdiInFile;
class mdiFile;
class mdiStatus;
class mdiOutFile;
class frmAbout;
class frmDefault;
class frmOption;
class frmMenuMente;
struct StartRequest;

// Layout of the frame in twips: W x H is the area for child windows, below the button panel.
struct FrameRect {
  double left = 0, top = 0, width = 0, height = 0;
};
struct FrameLayout {
  bool childrenMoved = false;           // Resize is on: the five children get `children`
  std::array<FrameRect, 5> children{};  // mdiInDir, mdiInFile, mdiFile, mdiStatus, mdiOutFile
  bool cancelMoved = false;             // there is room: btnCancel goes to left `cancelLeft`
  double cancelLeft = 0;
};
// w = W / 2 and h = H / 3 rounded half to even; btnCancel at W - 60 - its width.
FrameLayout ComputeFrameLayout(double W, double H, double cancelWidth, bool resize);
// Nearest integer, halves to even (4500.5 -> 4500, 10.5 -> 10).
double RoundHalfEven(double value);

class frmOrvex : public QMainWindow, public MenuHandler, private RunFramePort {
  Q_OBJECT
 public:
  explicit frmOrvex(QWidget* parent = nullptr);
  ~frmOrvex() override;

  // The start-up sequence and the first activation, defined in startup.cpp. MDIForm_Load returns
  // the exit status when the program ends there ("/U", a completed automatic run, a failure),
  // or -1 when the window is to be shown. The frame calls MDIForm_Activate on every activation
  // (it does its work only while `activated` is false).
  int MDIForm_Load(const StartRequest& request);
  void MDIForm_Activate();

  // Start-up pieces.
  // Creates and loads the five child windows (hidden; their load handlers run) and registers
  // them as the engine's ports. Idempotent.
  void LoadChildren();
  // Creates and loads the four dialogs (hidden). Idempotent.
  void LoadDialogs();
  // Unloads the children and frmAbout without showing anything (after an automatic run).
  void UnloadForAutoRun();
  // Captions of the frame, the run buttons and the cancel button from the message tables.
  void SetCaptions();
  // Restores the main window's geometry and state by the window-geometry rule; false when a
  // stored value does not convert.
  bool RestoreMainGeometry();
  // Shows the five children in their order (first activation).
  void ShowChildren();

  // Operations other windows call.
  void SetToolTip(bool blnToolTip);
  void SetFontData();
  void MDIForm_Resize();
  void BtnEnabledChange();
  // Runs the target list without a window; see BatchRun::Automatic.
  BatchRun::AutoOutcome AutoCheckRun(int mode);

  // Interactive run and cancel (the run buttons and btnCancel).
  void btnExe_Click(int index);
  void btnCancel_Click();

  // MenuHandler: the menu actions, also called by every child's copy of the menu.
  void mnuExit_Click() override;
  void mnuFont_Click() override;
  void mnuLogCopy_Click() override;
  void mnuLogSave_Click() override;
  void mnuInDirDefault_Click() override;
  void mnuOutDirDefault_Click() override;
  void mnuTmpDirDefault_Click() override;
  void mnuOption_Click() override;
  void mnuHelp_Click() override;
  void mnuAbout_Click() override;

  // Children and dialogs (null before LoadChildren / LoadDialogs).
  mdiInDir* InDir() const;
  mdiInFile* InFile() const;
  mdiFile* File() const;
  mdiStatus* Status() const;
  mdiOutFile* OutFile() const;
  frmAbout* About() const;
  frmDefault* Default() const;
  frmOption* Option() const;
  frmMenuMente* MenuMente() const;

  QPushButton* btnExe(int index) const;
  QPushButton* btnCancel() const;
  // Progress of an interactive run, in the button panel: "archive of archives" and how far the
  // library is into the archive. Hidden while idle.
  QLabel* lblProgress() const { return lblProgress_; }
  QProgressBar* prgArchive() const { return prgArchive_; }
  QMdiArea* mdiArea() const;
  BatchRun& batch();

  bool activated = false;  // the first activation has run

  // The frame's own copy of the menu set (shown while no child is active) and the panel.
  MenuSet* menuSet() const;
  QWidget* pnlOrvex() const;
  // 0 normal, 1 minimised, 2 maximised.
  int WindowStateValue() const;
  // A close asked for during an interactive run; the window closes when the run ends.
  bool closePending() const { return pendingClose_; }

  // The font dialog: the preset font in, the chosen font out (nullopt when cancelled).
  // Replaceable so that tests can answer it.
  using FontAsker = std::function<std::optional<QFont>(const QFont& preset, QWidget* parent)>;
  static void SetFontAsker(FontAsker asker);
  // <program folder>/../share/orvex2/ORVEX2.html
  static QString HelpFilePath();

 protected:
  bool event(QEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  // RunFramePort.
  void SetRunButtonsEnabled(bool enabled) override;
  void SetCancelEnabled(bool enabled) override;
  void SetChildrenEnabled(bool enabled) override;
  void RefreshFolderBrowser() override;
  void RefreshFileBrowser() override;
  void FileBrowserSelectClear() override;
  void YieldOnce() override;
  void ShowArchive(int index, int count) override;
  void ShowCallProgress(quint64 done, quint64 total) override;

  void LayoutProgress();
  void ShowBusy(bool busy);
  void ShowMenuOf(QMdiSubWindow* sub);
  void FitRestoredFrame();
  void UnloadChildren(int mainState);
  void UnloadDialogs();
  void ShutDown();
  void SetToolTipEverywhere(bool blnToolTip);
  QList<QWidget*> ChildWidgets() const;

  QMdiArea* area_ = nullptr;
  QWidget* pnl_ = nullptr;
  std::array<QPushButton*, 3> exe_{};
  QPushButton* cancel_ = nullptr;
  QLabel* lblProgress_ = nullptr;
  QProgressBar* prgArchive_ = nullptr;
  bool busy_ = false;  // a run holds the busy pointer
  QElapsedTimer yielded_;  // since the run last yielded to the event loop
  bool folderRefreshDue_ = false;  // the run asked for a folder browser refresh since
  MenuSet* menu_ = nullptr;
  BatchRun batch_;
  mdiInDir* inDir_ = nullptr;
  mdiInFile* inFile_ = nullptr;
  mdiFile* file_ = nullptr;
  mdiStatus* status_ = nullptr;
  mdiOutFile* outFile_ = nullptr;
  std::array<QMdiSubWindow*, 5> subs_{};
  frmAbout* about_ = nullptr;
  frmDefault* default_ = nullptr;
  frmOption* option_ = nullptr;
  frmMenuMente* menuMente_ = nullptr;
  bool pendingClose_ = false;
  bool shutDown_ = false;
  bool activationQueued_ = false;
  QSize restoredOuter_;  // the restored outer size, until the window manager's frame is known
};

}  // namespace orvex2
