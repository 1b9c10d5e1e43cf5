// The batch run over the target list: interactive (run buttons, live cancel) and automatic.
#pragma once

#include <QtGlobal>

namespace orvex2 {

// The main window's side of an interactive run.
class RunFramePort {
 public:
  virtual ~RunFramePort() = default;
  virtual void SetRunButtonsEnabled(bool enabled) = 0;
  virtual void SetCancelEnabled(bool enabled) = 0;
  // The five child windows in the order folder browser, file browser, target list, history,
  // passed files: their enabled state, then Menu_Enabled on each in the same order.
  virtual void SetChildrenEnabled(bool enabled) = 0;
  virtual void RefreshFolderBrowser() = 0;
  virtual void RefreshFileBrowser() = 0;
  virtual void FileBrowserSelectClear() = 0;
  virtual void BtnEnabledChange() = 0;
  virtual void YieldOnce() = 0;  // let the event loop handle a cancel press and repaints
  // Progress: archive `index` (from 0) of `count` is next; `done` of `total` bytes of the archive
  // read by the library call in progress.
  virtual void ShowArchive(int index, int count) = 0;
  virtual void ShowCallProgress(quint64 done, quint64 total) = 0;
};

class BatchRun {
 public:
  // btnExe_Click(Index): the interactive run in mode 0, 1 or 2.
  void Interactive(int mode, RunFramePort& frame);
  enum class AutoOutcome { kAllPassed, kSomeFailed, kStopped };
  // AutoCheckRun(mode): no yielding, no cancel flag, the list left as it is; the library calls run
  // on the calling thread. kStopped when a check stopped the run (the closing line is then
  // "中断しました"), also when RequestCallCancel() was called (a signal): the call in progress
  // ends as a library cancel, and no further archive is begun.
  AutoOutcome Automatic(int mode);

  // btnCancel_Click: stops before the next archive and ends the library call in progress.
  void Cancel();
  void ResetCancel() { cancel_ = false; }
  bool cancelled() const { return cancel_; }
  bool running() const { return running_; }

 private:
  bool cancel_ = false;
  bool running_ = false;
};

}  // namespace orvex2
