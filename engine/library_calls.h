// How the check's library calls run: directly on the calling thread, or, during an interactive
// run, on a worker thread while the interface thread keeps turning its event loop; their
// progress; and cancelling the call in progress.
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <stdexcept>

class QEventLoop;
class QObject;

namespace orvex2 {

class ArchiverLibrary;

// Asks the library call in progress, and every later one until ResetCallCancel(), to stop: a
// library with a progress entry ends the call at its next report. Async-signal-safe (one
// lock-free atomic store), so a signal handler may call it.
void RequestCallCancel() noexcept;
void ResetCallCancel() noexcept;
bool CallCancelRequested() noexcept;

// A check call the library ended on a cancel: its answer says nothing about the archive.
struct CallCancelled : std::runtime_error {
  CallCancelled() : std::runtime_error("library call cancelled") {}
};

// One library's entries as the check calls them. Command and check go through the current
// dispatch (ThreadedCalls or direct), with the progress entry pointed at the cancel flag.
class LibraryCalls {
 public:
  explicit LibraryCalls(ArchiverLibrary& lib) : lib_(lib) {}
  // A cancelled command answers 0x8020.
  int Command(const QString& commandLine);
  // Throws CallCancelled when the call was cancelled.
  int CheckArchive(const QString& path, int mode);
  int Running();

 private:
  ArchiverLibrary& lib_;
};

// While an instance lives (made on the interface thread), library calls run on its worker
// thread and the calling thread turns a local event loop until each returns; `progress` hears
// the bytes read and the archive size of the call about every 50 ms. A call that ends within a
// few milliseconds returns without turning the loop. When the worker cannot be started the
// calls run directly.
class ThreadedCalls {
 public:
  using ProgressSink = std::function<void(quint64 done, quint64 total)>;
  explicit ThreadedCalls(ProgressSink progress);
  ~ThreadedCalls();
  ThreadedCalls(const ThreadedCalls&) = delete;
  ThreadedCalls& operator=(const ThreadedCalls&) = delete;

  int Run(const std::function<int()>& call);

 private:
  struct Worker;
  void ReportProgress();

  ProgressSink progress_;
  std::unique_ptr<Worker> worker_;
  std::unique_ptr<QObject> waker_;  // receives the worker's "done" on the interface thread
  QEventLoop* loop_ = nullptr;      // the loop turning while the current call runs
  quint64 calls_ = 0;               // number of the current call
  quint32 reportsSeen_ = 0;
  bool inCall_ = false;
  ThreadedCalls* previous_;
};

}  // namespace orvex2
