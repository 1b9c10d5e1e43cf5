// The automatic run: names sorted into targets and refusals, the batch run over the targets 1000
// at a time behind ports that echo and count, and the handling of a stop by a signal.
#include "app/auto_run.h"

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app_messages.h"
#include "app/command_line.h"
#include "app/frm_orvex.h"
#include "engine/libraries.h"
#include "engine/ports.h"
#include "foundation/debris.h"
#include "foundation/messages.h"
#include "foundation/names.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "results/mdi_status.h"
#include "selection/archive_filter.h"
#include "selection/mdi_file.h"
#include "selection/mdi_in_file.h"

namespace orvex2 {

namespace {

constexpr int kChunk = mdiFile::kMaxEntries;

// Counts of the run, read by the signal handler.
std::atomic<int> g_named{0};
std::atomic<int> g_passed{0};
std::atomic<int> g_failed{0};
std::atomic<bool> g_echo{false};

QString SummaryLine(int passed, int failed, int notChecked) {
  return QStringLiteral("orvex2: %1 passed, %2 failed, %3 not checked").arg(passed).arg(failed).arg(notChecked);
}

void WriteOut(const QString& line) {
  const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
  std::fflush(stdout);
}

// ---------------------------------------------------------------------------------------------
// Stop by a signal: what is half made goes, the output ends as after a stopped run, exit 2.

// Decimal digits of v into `out`; async-signal-safe.
size_t Digits(int v, char* out) {
  char tmp[16];
  size_t n = 0;
  unsigned u = v < 0 ? 0u : static_cast<unsigned>(v);
  do {
    tmp[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0 && n < sizeof tmp);
  for (size_t i = 0; i < n; ++i) out[i] = tmp[n - 1 - i];
  return n;
}

void Put(int fd, const char* text, size_t size) {
  while (size > 0) {
    const ssize_t w = ::write(fd, text, size);
    if (w <= 0) return;
    text += w;
    size -= static_cast<size_t>(w);
  }
}

void PutText(int fd, const char* text) { Put(fd, text, std::strlen(text)); }

void PutNumber(int fd, int v) {
  char digits[16];
  Put(fd, digits, Digits(v, digits));
}

char g_stoppedLine[64];  // "中断しました\n" in UTF-8, prepared before the handler can run

extern "C" void OnStopSignal(int sig) {
  RemoveDebrisNow();
  const int passed = g_passed.load();
  const int failed = g_failed.load();
  if (g_echo.load()) {
    PutText(STDOUT_FILENO, g_stoppedLine);
    PutText(STDOUT_FILENO, "orvex2: ");
    PutNumber(STDOUT_FILENO, passed);
    PutText(STDOUT_FILENO, " passed, ");
    PutNumber(STDOUT_FILENO, failed);
    PutText(STDOUT_FILENO, " failed, ");
    PutNumber(STDOUT_FILENO, g_named.load() - passed - failed);
    PutText(STDOUT_FILENO, " not checked\n");
  }
  PutText(STDERR_FILENO, "orvex2: stopped by signal ");
  PutNumber(STDERR_FILENO, sig);
  PutText(STDERR_FILENO, "\n");
  ::_exit(kExitStopped);
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

class StopSignals {
 public:
  StopSignals() {
    const QByteArray stopped = (CommonText(30) + QLatin1Char('\n')).toUtf8();
    std::memset(g_stoppedLine, 0, sizeof g_stoppedLine);
    std::memcpy(g_stoppedLine, stopped.constData(), std::min<size_t>(stopped.size(), sizeof g_stoppedLine - 1));
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigfillset(&sa.sa_mask);
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
      ::sigaction(kStopSignals[i], nullptr, &saved_[i]);
      // A signal ignored by whoever started us (nohup, a background job) stays ignored.
      if (saved_[i].sa_handler != SIG_IGN) ::sigaction(kStopSignals[i], &sa, nullptr);
    }
  }
  ~StopSignals() {
    for (size_t i = 0; i < std::size(kStopSignals); ++i) ::sigaction(kStopSignals[i], &saved_[i], nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  struct sigaction saved_[std::size(kStopSignals)] {};
};

// ---------------------------------------------------------------------------------------------
// Ports of the run

// Every history line also goes to standard output; an archive's header line there carries its
// full name. The closing line of a part of the names that more parts follow is held back.
class EchoingHistory : public HistoryPort {
 public:
  EchoingHistory(HistoryPort* inner, bool echo) : inner_(inner), echo_(echo) {}
  void HoldClosingLine(bool hold) { hold_ = hold; }

  void ListInAdd(const QString& line) override {
    if (hold_ && line == CommonText(31)) return;
    if (inner_ != nullptr) inner_->ListInAdd(line);
    if (echo_) WriteOut(TerminalText(line));
  }
  void AddHeader(const QString& line, const QString& path) override {
    if (inner_ != nullptr) inner_->AddHeader(line, path);
    if (echo_) WriteOut(QStringLiteral("[ ") + TerminalName(path) + QStringLiteral(" ]"));
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
  bool echo_;
  bool hold_ = false;
};

// Tells the archives reached (the batch run reads each entry's text once, in order) and the ones
// that passed, as the run goes, so a signal finds the counts up to date.
class Tally {
 public:
  void Reached(int index) {
    if (index == current_) return;
    Settle();
    current_ = index;
  }
  void Passed() {
    g_passed.fetch_add(1);
    currentPassed_ = true;
  }
  // The archive in hand is done; after a stop it counts as not checked.
  void EndPart(bool stopped) {
    if (!stopped) Settle();
    current_ = -1;
    currentPassed_ = false;
  }

 private:
  void Settle() {
    if (current_ >= 0 && !currentPassed_) g_failed.fetch_add(1);
    currentPassed_ = false;
  }
  int current_ = -1;
  bool currentPassed_ = false;
};

class CountingTargets : public TargetListPort {
 public:
  CountingTargets(TargetListPort* inner, Tally& tally) : inner_(inner), tally_(tally) {}
  int Count() const override { return inner_->Count(); }
  QString Text(int i) const override {
    tally_.Reached(i);
    return inner_->Text(i);
  }
  bool Selected(int i) const override { return inner_->Selected(i); }
  void SetSelected(int i, bool selected) override { inner_->SetSelected(i, selected); }
  void Remove(int i) override { inner_->Remove(i); }
  void SetTopIndex(int i) override { inner_->SetTopIndex(i); }
  void Repaint() override { inner_->Repaint(); }
  void SelectAll() override { inner_->SelectAll(); }
  void SelectClear() override { inner_->SelectClear(); }
  void Menu_Enabled(bool enabled) override { inner_->Menu_Enabled(enabled); }

 private:
  TargetListPort* inner_;
  Tally& tally_;
};

class CountingPassed : public PassedPort {
 public:
  CountingPassed(PassedPort* inner, Tally& tally) : inner_(inner), tally_(tally) {}
  void ListInAdd(const QString& path) override {
    tally_.Passed();
    if (inner_ != nullptr) inner_->ListInAdd(path);
  }
  void Menu_Enabled(bool enabled) override {
    if (inner_ != nullptr) inner_->Menu_Enabled(enabled);
  }

 private:
  PassedPort* inner_;
  Tally& tally_;
};

// Puts the run's ports in front of the children's for the length of the run, and takes them
// away again whatever happens.
class RunPorts {
 public:
  RunPorts(bool echo, mdiFile* list)
      : saved_(Ports()), history_(saved_.history, echo), targets_(list, tally_), passed_(saved_.passed, tally_),
        list_(list) {
    Ports().history = &history_;
    Ports().passed = &passed_;
    Ports().targets = &targets_;
    Ports().message = &messages_;
    list_->SetMessagePort(&messages_);
  }
  ~RunPorts() {
    Ports() = saved_;
    list_->SetMessagePort(nullptr);
  }
  RunPorts(const RunPorts&) = delete;
  RunPorts& operator=(const RunPorts&) = delete;

  EchoingHistory& history() { return history_; }
  Tally& tally() { return tally_; }

 private:
  EnginePorts saved_;
  Tally tally_;
  EchoingHistory history_;
  CountingTargets targets_;
  CountingPassed passed_;
  AppMessagePort messages_;
  mdiFile* list_;
};

// ---------------------------------------------------------------------------------------------
// Names

// What the option record lacks for a family: "Lzh is off", "UNLHA32.DLL was not found".
QString FamilyOff(bool enabled, Family f, const char* option) {
  if (!enabled) return QStringLiteral("%1 is off").arg(QLatin1String(option));
  if (!Shared().lib[f].present) return LibraryFileName(f) + QStringLiteral(" was not found");
  return QString();
}

// Why the extension rule refuses a name, naming the option.
QString OptionReason(const QString& path) {
  const OptionRecord& o = Options();
  const QString ext = WideUpper(ExtensionPart(path, false));
  const QString lzhOff = FamilyOff(o.Lzh, kLzh, "Lzh");
  QString why;
  if (ext == QLatin1String(".LZH")) why = lzhOff;
  else if (ext == QLatin1String(".ZIP")) why = FamilyOff(o.Zip, kZip, "Zip");
  else if (ext == QLatin1String(".ARJ")) why = FamilyOff(o.Arj, kArj, "Arj");
  else if (ext == QLatin1String(".CAB")) why = FamilyOff(o.Cab, kCab, "Cab");
  else if (ext == QLatin1String(".LHA")) why = !lzhOff.isEmpty() ? lzhOff : QStringLiteral("Lzh_Lha is off");
  else if (ext == QLatin1String(".X")) why = !lzhOff.isEmpty() ? lzhOff : QStringLiteral("Lzh_X is off");
  else if (ext == QLatin1String(".EXE")) why = QStringLiteral("no family on with its option Lzh_Exe, Zip_Exe, Arj_Exe or Cab_Exe");
  else return QStringLiteral("not an archive name (.LZH .LHA .ZIP .ARJ .CAB .EXE .X)");
  return QStringLiteral("not a target with the current options (%1)").arg(why);
}

// The reason the system gives for a path it cannot use.
QString SystemReason(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return QStringLiteral("not found");
    case EACCES:
    case EPERM:
      return QStringLiteral("not readable (no permission)");
    default:
      return QStringLiteral("not readable (%1)").arg(QString::fromLocal8Bit(std::strerror(error)));
  }
}

bool ParseNames(const QString& commandLine, QStringList* names) {
  return SplitCommandLine(
      commandLine,
      [names](const QString& name) {
        names->append(name);
        return true;
      },
      [names] { names->clear(); });
}

}  // namespace

QString RefusalReason(const QString& name, QString* pathOut) {
  const QString path = LongPathName(name);
  if (pathOut != nullptr) *pathOut = path;
  const QByteArray native = NameToBytes(path.isEmpty() ? name : path);
  struct stat st {};
  if (path.isEmpty()) {
    if (!name.startsWith(QLatin1Char('/'))) return QStringLiteral("not found");
    return SystemReason(::stat(native.constData(), &st) != 0 ? errno : ENOENT);
  }
  if (::stat(native.constData(), &st) != 0) return SystemReason(errno);
  if (S_ISDIR(st.st_mode)) return QStringLiteral("a folder");
  if (!S_ISREG(st.st_mode)) return QStringLiteral("not a regular file");
  const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return SystemReason(errno);
  ::close(fd);
  if (!Exp_Check(path)) return OptionReason(path);
  return QString();
}

std::optional<int> AutomaticRun(frmOrvex& w, const StartRequest& request) {
  std::optional<int> status;
  try {
    Shared().autoRun = true;
    w.LoadChildren();
    if (w.File() == nullptr) throw std::runtime_error("no target list");
    if (w.InFile() != nullptr) w.InFile()->Pattern_Make();

    QStringList names;
    if (!ParseNames(request.commandLine, &names)) PrintError(QStringLiteral("a double quote in the names is not closed"));
    QStringList targets;
    QSet<QString> seen;
    int refused = 0;
    for (const QString& name : names) {
      QString path;
      const QString reason = RefusalReason(name, &path);
      if (!reason.isEmpty()) {
        PrintError(DisplayName(name) + QStringLiteral(": not checked: ") + reason);
        ++refused;
      } else if (!seen.contains(path)) {  // a name given twice is checked once
        seen.insert(path);
        targets << path;
      }
    }

    if (!targets.isEmpty()) {
      g_named = refused + static_cast<int>(targets.size());
      g_passed = 0;
      g_failed = 0;
      g_echo = request.echoHistory;
      const int mode = request.autoMode >= 0 ? request.autoMode : Options().AutoExe;
      bool stopped = false;
      {
        RunPorts ports(request.echoHistory, w.File());
        const StopSignals signalsStop;
        for (qsizetype first = 0; first < targets.size() && !stopped; first += kChunk) {
          const bool last = first + kChunk >= targets.size();
          ports.history().HoldClosingLine(!last);
          w.File()->RefreshForm();
          for (const QString& path : targets.mid(first, kChunk)) w.File()->ListInAdd(path);
          stopped = w.AutoCheckRun(mode) == BatchRun::AutoOutcome::kStopped;
          ports.tally().EndPart(stopped);
        }
      }
      if (Options().AutoLog && !request.forceAuto && w.Status() != nullptr) w.Status()->LogCopy();
      const int passed = g_passed, failed = g_failed, notChecked = g_named - g_passed - g_failed;
      if (request.echoHistory) WriteOut(SummaryLine(passed, failed, notChecked));
      status = stopped ? kExitStopped : (failed > 0 || notChecked > 0) ? kExitNotAllPassed : kExitAllPassed;
    }
  } catch (...) {
    PrintError(QStringLiteral("the automatic run failed"));
    status.reset();
  }
  w.UnloadForAutoRun();
  return status;
}

}  // namespace orvex2
