// The main window: a multi-document frame with the run buttons, the shared menu, the five
// child windows and the four dialogs; it runs the batch and shuts the program down.
#pragma once

#include <QMainWindow>
#include <QString>
#include <array>

#include "engine/batch_run.h"
#include "results/menu_set.h"

class QMdiArea;
class QMdiSubWindow;
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
  QMdiArea* mdiArea() const;
  BatchRun& batch();

  bool activated = false;  // the first activation has run
};

}  // namespace orvex2
