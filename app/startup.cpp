// The start-up sequence of the program (the main window's load handler), the first activation,
// and the automatic run for archives named on the command line.
#include <QApplication>
#include <QPushButton>
#include <QWidget>

#include <cstdio>
#include <optional>
#include <stdexcept>

#include "app/app_messages.h"
#include "app/auto_run.h"
#include "app/command_line.h"
#include "app/frm_orvex.h"
#include "app/refused_names.h"
#include "engine/libraries.h"
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

constexpr quint16 kMinimumZipVersion = 540;

struct LoadFailed : std::runtime_error {
  LoadFailed() : std::runtime_error("load failed") {}
};

bool Split(frmOrvex& w, const QString& commandLine) {
  mdiFile* list = w.File();
  if (list == nullptr) return false;
  return SplitCommandLine(
      commandLine, [list](const QString& name) { return list->Gaibu_ListInAdd(name); },
      [list] { list->RefreshForm(); });
}

}  // namespace

int frmOrvex::MDIForm_Load(const StartRequest& request) {
  const QString& commandLine = request.commandLine;
  // --auto opens no box, display or not.
  SetBoxesToStandardError(request.forceAuto);
  // "/U": remove every setting after asking; the program ends either way, saving nothing.
  if (IsRemoveSwitch(commandLine)) {
    if (AskYesNo(QStringLiteral("Orvex2") + CommonText(20))) {
      try {
        RemoveSettings();
      } catch (...) {
      }
    }
    return 0;
  }
  try {
    LoadOptions();
    ProbeLibraries();
    const LibraryInfo& zip = Shared().lib[kZip];
    if (zip.present && zip.version < kMinimumZipVersion) ShowMessage(ProductText(206));

    const bool automatic = request.forceAuto || Options().Auto;
    if (!commandLine.isEmpty() && automatic) {
      if (const auto status = AutomaticRun(*this, request)) return *status;
    }
    if (request.forceAuto) {
      PrintError(QStringLiteral("no archive to check"));
      return kExitStopped;
    }
    Shared().autoRun = false;

    SetCaptions();
    SetToolTip(Options().Tip);
    LoadChildren();
    LoadDialogs();
    SetFontData();
    if (!RestoreMainGeometry()) throw LoadFailed();
    batch().ResetCancel();
    btnCancel()->setEnabled(false);
    if (InFile() != nullptr) InFile()->Pattern_Make();
    if (Status() != nullptr) Status()->RefreshForm();
    if (!commandLine.isEmpty()) Split(*this, commandLine);
    if (!commandLine.isEmpty()) TellRefusedNames(this, commandLine);
    activated = false;
    return -1;
  } catch (...) {
    LoadFailure(QStringLiteral("Orvex2 frmOrvex MDIForm_Load ERR"));
    return 1;
  }
}

void frmOrvex::MDIForm_Activate() {
  if (activated) return;
  try {
    MDIForm_Resize();
    ShowChildren();
    BtnEnabledChange();
    if (InDir() != nullptr) InDir()->FocusDrive();
    activated = true;
  } catch (...) {
    LoadFailure(QStringLiteral("Orvex2 frmOrvex MDIForm_Activate ERR"));
  }
}

}  // namespace orvex2
