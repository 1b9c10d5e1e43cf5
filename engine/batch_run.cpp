// The interactive and the automatic batch run.
#include "engine/batch_run.h"

#include "engine/archive_check.h"
#include "engine/library_calls.h"
#include "engine/ports.h"
#include "engine/verdict.h"
#include "foundation/messages.h"

namespace orvex2 {

namespace {
void Closing(bool cancelled) {
  if (Ports().history != nullptr) Ports().history->ListInAdd(CommonText(cancelled ? 30 : 31));
}

// One closing step of a run; its failure is cleared and the next step runs.
template <typename Step>
void Quietly(Step&& step) {
  try {
    step();
  } catch (...) {
  }
}
}  // namespace

void BatchRun::Cancel() {
  cancel_ = true;
  RequestCallCancel();
}

void BatchRun::Interactive(int mode, RunFramePort& frame) {
  TargetListPort* list = Ports().targets;
  if (list == nullptr || running_) return;
  running_ = true;
  ResetCallCancel();
  bool marked = false;  // every entry selected: the removal walk may run
  try {
    // The library calls run on a worker thread; the window keeps painting meanwhile.
    ThreadedCalls threaded([&frame](quint64 done, quint64 total) { frame.ShowCallProgress(done, total); });
    frame.SetRunButtonsEnabled(false);
    frame.SetChildrenEnabled(false);
    if (Ports().history != nullptr) Ports().history->RefreshForm();
    frame.FileBrowserSelectClear();
    list->SelectAll();
    marked = true;
    frame.SetCancelEnabled(true);

    const int n = list->Count();
    for (int i = 0; i < n; ++i) {
      frame.ShowArchive(i, n);
      list->SetTopIndex(i);
      list->Repaint();
      frame.YieldOnce();
      if (cancel_) {
        frame.RefreshFolderBrowser();
        break;
      }
      const int r = ArchiveCheck(list->Text(i), mode);
      if (r == kCheckDrop) {
        list->SetSelected(i, false);
        list->Repaint();
      } else if (r == kCheckStop) {
        frame.RefreshFolderBrowser();
        cancel_ = true;
        break;
      }
      frame.RefreshFolderBrowser();
    }
  } catch (...) {
    // An unexpected failure stops the walk like a library cancel; the window still goes idle.
    cancel_ = true;
  }

  Quietly([&] {
    if (!marked) return;
    for (int i = 0; i < list->Count();) {
      if (list->Selected(i)) ++i;
      else list->Remove(i);
    }
  });
  Quietly([&] { list->SelectClear(); });
  Quietly([&] { Closing(cancel_); });
  cancel_ = false;
  ResetCallCancel();
  Quietly([&] { frame.SetCancelEnabled(false); });
  Quietly([&] { frame.SetChildrenEnabled(true); });
  Quietly([&] { frame.RefreshFolderBrowser(); });
  Quietly([&] { frame.RefreshFileBrowser(); });
  running_ = false;
  Quietly([&] { frame.BtnEnabledChange(); });
}

BatchRun::AutoOutcome BatchRun::Automatic(int mode) {
  cancel_ = false;
  TargetListPort* list = Ports().targets;
  if (list == nullptr) return AutoOutcome::kAllPassed;
  running_ = true;
  try {
    bool allPassed = true;
    const int n = list->Count();
    for (int i = 0; i < n; ++i) {
      if (CallCancelRequested()) {
        Closing(true);
        running_ = false;
        return AutoOutcome::kStopped;
      }
      list->SetTopIndex(i);
      int verdictClass = kClassFailed;
      if (ArchiveCheck(list->Text(i), mode, &verdictClass) == kCheckStop) {
        Closing(true);
        running_ = false;
        return AutoOutcome::kStopped;
      }
      if (verdictClass != kClassPassed) allPassed = false;
    }
    Closing(false);
    running_ = false;
    return allPassed ? AutoOutcome::kAllPassed : AutoOutcome::kSomeFailed;
  } catch (...) {
    // An unexpected failure ends the run quietly, without a closing line.
    running_ = false;
    return AutoOutcome::kStopped;
  }
}

}  // namespace orvex2
