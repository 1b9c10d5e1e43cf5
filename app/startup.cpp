// The start-up sequence of the program (the main window's load handler), the first activation,
// and the automatic run for archives named on the command line.
#include <QApplication>
#include <QPushButton>
#include <QWidget>

#include <cstdio>
#include <optional>
#include <stdexcept>

#include "app/app_messages.h"
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

// Every history line of an automatic run also goes to standard output.
class EchoingHistory : public HistoryPort {
 public:
  explicit EchoingHistory(HistoryPort* inner) : inner_(inner) {}
  void ListInAdd(const QString& line) override {
    if (inner_ != nullptr) inner_->ListInAdd(line);
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  void RefreshForm() override {
    if (inner_ != nullptr) inner_->RefreshForm();
  }
  void Menu_Enabled(bool enabled) override {
    if (inner_ != nullptr) inner_->Menu_Enabled(enabled);
  }
  void LogCopy() override {
    if (inner_ != nullptr) inner_->LogCopy();
  }

 private:
  HistoryPort* inner_;
};

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

// Puts the echoing history and the headless-aware message port in front of the children's
// ports for the length of an automatic run, and takes them away again whatever happens.
class AutoRunPorts {
 public:
  AutoRunPorts(bool echoHistory, mdiFile* list) : echo_(Ports().history), list_(list) {
    saved_ = Ports();
    if (echoHistory) Ports().history = &echo_;
    Ports().message = &messages_;
    if (list_ != nullptr) list_->SetMessagePort(&messages_);
  }
  ~AutoRunPorts() {
    Ports().history = saved_.history;
    Ports().message = saved_.message;
    if (list_ != nullptr) list_->SetMessagePort(nullptr);
  }
  AutoRunPorts(const AutoRunPorts&) = delete;
  AutoRunPorts& operator=(const AutoRunPorts&) = delete;

 private:
  EnginePorts saved_;
  EchoingHistory echo_;
  AppMessagePort messages_;
  mdiFile* list_;
};

// The automatic run; no outcome when nothing was checked or a failure ended it.
std::optional<BatchRun::AutoOutcome> AutomaticRun(frmOrvex& w, const StartRequest& request) {
  std::optional<BatchRun::AutoOutcome> result;
  try {
    Shared().autoRun = true;
    w.LoadChildren();
    AutoRunPorts ports(request.echoHistory, w.File());
    if (w.InFile() != nullptr) w.InFile()->Pattern_Make();
    Split(w, request.commandLine);
    if (w.File() != nullptr && w.File()->Count() > 0) {
      const int mode = request.autoMode >= 0 ? request.autoMode : Options().AutoExe;
      result = w.AutoCheckRun(mode);
      if (Options().AutoLog && w.Status() != nullptr) w.Status()->LogCopy();
    }
  } catch (...) {
    result.reset();
  }
  w.UnloadForAutoRun();
  return result;
}

int ExitStatus(BatchRun::AutoOutcome r) {
  switch (r) {
    case BatchRun::AutoOutcome::kAllPassed: return 0;
    case BatchRun::AutoOutcome::kSomeFailed: return 1;
    case BatchRun::AutoOutcome::kStopped: break;
  }
  return 2;
}

}  // namespace

int frmOrvex::MDIForm_Load(const StartRequest& request) {
  const QString& commandLine = request.commandLine;
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
      if (const auto outcome = AutomaticRun(*this, request)) return ExitStatus(*outcome);
    }
    if (request.forceAuto) {
      std::fputs("orvex2: no archive to check\n", stderr);
      return 2;
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
