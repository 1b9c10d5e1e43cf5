// The library call dispatch: the progress entry's callback, the cancel flag, and the worker
// thread that runs calls while the interface thread turns its event loop.
#include "engine/library_calls.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "engine/libraries.h"
#include "engine/verdict.h"

namespace orvex2 {

namespace {

// A call that ends within this time never turns the event loop: small archives cost no repaint.
constexpr auto kGrace = std::chrono::milliseconds(10);
constexpr int kProgressPeriodMs = 50;

std::atomic<bool> g_cancel{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the cancel flag must be usable from a signal handler");
std::atomic<bool> g_answeredCancel{false};  // the callback told the current call to stop
std::atomic<quint64> g_done{0};
std::atomic<quint64> g_total{0};
std::atomic<quint32> g_reports{0};

ThreadedCalls* g_threaded = nullptr;  // interface thread only

int OnProgress(void*, unsigned long long done, unsigned long long total) {
  g_done.store(done, std::memory_order_relaxed);
  g_total.store(total, std::memory_order_relaxed);
  g_reports.fetch_add(1, std::memory_order_release);
  if (!g_cancel.load(std::memory_order_acquire)) return 0;
  g_answeredCancel.store(true);
  return 1;
}

// Runs one entry call through the current dispatch; `cancelled` tells whether the library was
// told to stop during it.
int Dispatch(ArchiverLibrary& lib, const std::function<int()>& call, bool* cancelled) {
  lib.SetProgress(&OnProgress, nullptr);
  g_answeredCancel.store(false);
  g_done.store(0, std::memory_order_relaxed);
  g_total.store(0, std::memory_order_relaxed);
  const int r = g_threaded != nullptr ? g_threaded->Run(call) : call();
  *cancelled = g_answeredCancel.load();
  return r;
}

}  // namespace

void RequestCallCancel() noexcept { g_cancel.store(true); }
void ResetCallCancel() noexcept { g_cancel.store(false); }
bool CallCancelRequested() noexcept { return g_cancel.load(); }

int LibraryCalls::Command(const QString& commandLine) {
  bool cancelled = false;
  const int r = Dispatch(lib_, [&] { return lib_.Command(commandLine); }, &cancelled);
  return cancelled ? result::kCancel : r;
}

int LibraryCalls::CheckArchive(const QString& path, int mode) {
  bool cancelled = false;
  const int r = Dispatch(lib_, [&] { return lib_.CheckArchive(path, mode); }, &cancelled);
  if (cancelled) throw CallCancelled();
  return r;
}

int LibraryCalls::Running() { return lib_.Running(); }

// ---------------------------------------------------------------------------------------------
// ThreadedCalls

struct ThreadedCalls::Worker {
  std::mutex mutex;
  std::condition_variable wake;      // a job or the stop for the worker
  std::condition_variable finished;  // the job ended, for the caller
  std::function<void()> job;
  bool stop = false;
  std::thread thread;

  Worker() : thread([this] { Loop(); }) {}
  ~Worker() {
    {
      std::lock_guard<std::mutex> guard(mutex);
      stop = true;
    }
    wake.notify_all();
    thread.join();
  }

  void Loop() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      wake.wait(lock, [this] { return stop || job; });
      if (!job) return;
      std::function<void()> j = std::move(job);
      job = nullptr;
      lock.unlock();
      j();
      lock.lock();
    }
  }
};

ThreadedCalls::ThreadedCalls(ProgressSink progress) : progress_(std::move(progress)), previous_(g_threaded) {
  try {
    waker_ = std::make_unique<QObject>();
    worker_ = std::make_unique<Worker>();
  } catch (...) {
    worker_.reset();  // no thread: the calls run directly
  }
  g_threaded = this;
}

ThreadedCalls::~ThreadedCalls() {
  g_threaded = previous_;
  worker_.reset();  // joins the idle worker before the waker goes
  waker_.reset();
}

void ThreadedCalls::ReportProgress() {
  const quint32 reports = g_reports.load(std::memory_order_acquire);
  if (reports == reportsSeen_ || !progress_) return;
  reportsSeen_ = reports;
  progress_(g_done.load(std::memory_order_relaxed), g_total.load(std::memory_order_relaxed));
}

int ThreadedCalls::Run(const std::function<int()>& call) {
  // A call from an event handler while another one runs cannot use the busy worker.
  if (!worker_ || inCall_) return call();
  inCall_ = true;
  struct Outcome {
    bool done = false;
    int result = 0;
    std::exception_ptr error;
  } out;  // the job writes here: Run returns only after the job has ended
  const quint64 id = ++calls_;
  Worker& worker = *worker_;
  QObject* waker = waker_.get();
  {
    std::lock_guard<std::mutex> guard(worker.mutex);
    worker.job = [this, &worker, &call, &out, id, waker] {
      int r = 0;
      std::exception_ptr error;
      try {
        r = call();
      } catch (...) {
        error = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> guard(worker.mutex);
        out.result = r;
        out.error = error;
        out.done = true;
      }
      worker.finished.notify_all();
      QMetaObject::invokeMethod(
          waker,
          [this, id] {
            if (loop_ != nullptr && id == calls_) loop_->quit();
          },
          Qt::QueuedConnection);
    };
  }
  worker.wake.notify_all();

  const auto done = [&] {
    std::lock_guard<std::mutex> guard(worker.mutex);
    return out.done;
  };
  {
    std::unique_lock<std::mutex> lock(worker.mutex);
    worker.finished.wait_for(lock, kGrace, [&] { return out.done; });
  }
  if (!done()) {
    QEventLoop loop;
    QTimer timer;
    timer.setInterval(kProgressPeriodMs);
    QObject::connect(&timer, &QTimer::timeout, &loop, [this] { ReportProgress(); });
    timer.start();
    loop_ = &loop;
    while (!done()) {
      loop.exec();
      if (!done()) {
        // Only the application's quit ends the loop before the call: no loop turns any more,
        // so the call is told to stop and awaited here.
        RequestCallCancel();
        std::unique_lock<std::mutex> lock(worker.mutex);
        worker.finished.wait(lock, [&] { return out.done; });
      }
    }
    loop_ = nullptr;
    ReportProgress();
  }
  inCall_ = false;
  if (out.error) std::rethrow_exception(out.error);
  return out.result;
}

}  // namespace orvex2
