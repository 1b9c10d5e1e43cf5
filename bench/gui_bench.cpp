// Drives the real main window (offscreen) through detailed runs and the file browser's select
// all / clear all / add on a large folder, and prints the GUI times with their ratio to
// `orvex2 --auto=detailed` on the same archives.
//   orvex2_gui_bench [--archives N] [--folder M] [--runs R]
// Defaults: 1000 archives, a 5000-file folder, medians of 3 runs. The archives are copies of
// small LZH, ZIP, ARJ and CAB fixtures checked by the real libraries of the build tree.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/frm_orvex.h"
#include "engine/libraries.h"
#include "engine/ports.h"
#include "foundation/settings.h"
#include "results/mdi_status.h"
#include "selection/mdi_file.h"
#include "selection/mdi_in_dir.h"
#include "selection/mdi_in_file.h"

namespace {

using namespace orvex2;

class SilentMessages : public MessagePort {
 public:
  void Message(const QString&) override {}
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double ThreadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

double Seconds(const std::function<void()>& f) {
  QElapsedTimer t;
  t.start();
  f();
  return t.nsecsElapsed() / 1e9;
}

// `count` copies of the fixtures in `folder`, named <prefix>00001.LZH ...; their paths.
QStringList MakeArchives(const QString& folder, const QString& prefix, int count) {
  static const QStringList kFixtures = {"lzh/lh5_level1.lzh", "zip/deflated.zip", "arj/m1.arj", "cab/mszip.cab"};
  QDir().mkpath(folder);
  QList<QByteArray> data;
  for (const QString& fixture : kFixtures) {
    QFile f(QStringLiteral(ORVEX2_TEST_DATA "/") + fixture);
    data << (f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
  }
  QStringList paths;
  for (int i = 0; i < count; ++i) {
    const int k = i % kFixtures.size();
    const QString ext = kFixtures[k].section('.', -1).toUpper();
    const QString path = QStringLiteral("%1/%2%3.%4").arg(folder, prefix).arg(i + 1, 5, 10, QLatin1Char('0')).arg(ext);
    QFile out(path);
    if (out.open(QIODevice::WriteOnly)) out.write(data[k]);
    paths << path;
  }
  return paths;
}

// Wall time of `orvex2 --auto=detailed` on the archives.
double AutoRun(const QString& config, const QStringList& archives) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_CONFIG_HOME", config);
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("ORVEX2_SYSTEM_DIR", ORVEX2_LIB_DIR);
  p.setProcessEnvironment(env);
  p.setStandardOutputFile(QProcess::nullDevice());
  p.setStandardErrorFile(QProcess::nullDevice());
  QStringList args{"--auto=detailed", "--"};
  args << archives;
  return Seconds([&] {
    p.start(QStringLiteral(ORVEX2_BIN_DIR "/orvex2"), args);
    p.waitForFinished(-1);
  });
}

class Bench {
 public:
  explicit Bench(const QString& work) : work_(work) {
    w_.SetCaptions();
    w_.SetToolTip(Options().Tip);
    w_.LoadChildren();
    w_.LoadDialogs();
    w_.SetFontData();
    w_.InFile()->Pattern_Make();
    w_.Status()->RefreshForm();
    w_.File()->SetMessagePort(&silent_);
    w_.resize(1280, 900);
    w_.show();
    QElapsedTimer t;
    t.start();
    while (!w_.activated && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }

  void Show(const QString& folder) {
    w_.InDir()->DirName(folder);
    QCoreApplication::processEvents();
  }

  // One detailed run from the run button: its time, and the interface thread's processor time in
  // `cpu` (the rest is the libraries' work and waiting for the processor).
  double Run(const QStringList& archives, bool* allPassed, std::vector<double>* cpu) {
    w_.File()->btnDelAll_Click();
    for (const QString& a : archives) w_.File()->ListInAdd(a);
    w_.BtnEnabledChange();
    QCoreApplication::processEvents();
    const double cpu0 = ThreadCpu();
    const double s = Seconds([&] {
      w_.btnExe(2)->click();
      QCoreApplication::processEvents();
    });
    cpu->push_back(ThreadCpu() - cpu0);
    *allPassed = w_.File()->Count() == 0;
    return s;
  }

  // Each until the window has been painted again.
  double SelectAll() {
    return Seconds([&] {
      w_.InFile()->mnuAll->trigger();
      QCoreApplication::processEvents();
    });
  }
  double SelectClear() {
    return Seconds([&] {
      w_.InFile()->mnuClear->trigger();
      QCoreApplication::processEvents();
    });
  }
  // Select all, then the add button, into an empty target list (it takes the first 1000).
  double SelectAllAdd() {
    w_.File()->btnDelAll_Click();
    QCoreApplication::processEvents();
    return Seconds([&] {
      w_.InFile()->mnuAll->trigger();
      w_.InFile()->btnAdd->click();
      QCoreApplication::processEvents();
    });
  }
  int Targets() const { return w_.File()->Count(); }
  int Listed() const { return w_.InFile()->filFile->count(); }

 private:
  QString work_;
  SilentMessages silent_;
  frmOrvex w_;
};

int Arg(const QStringList& args, const QString& name, int def) {
  const int i = args.indexOf(name);
  return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : def;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("ORVEX2_SYSTEM_DIR", ORVEX2_LIB_DIR);
  QApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  const int archives = Arg(args, "--archives", 1000);
  const int folderSize = std::max(Arg(args, "--folder", 5000), archives);
  const int runs = std::max(Arg(args, "--runs", 3), 1);

  QTemporaryDir work;
  const QString config = work.path() + "/config";
  QDir().mkpath(config);
  QDir().mkpath(work.path() + "/empty");
  SettingsStore::SetLocation(config);
  LoadOptions();
  Options().Lzh = Options().Zip = Options().Arj = Options().Cab = true;
  Options().Resize = true;
  Options().TmpDir = work.path();
  SaveOptions();
  ProbeLibraries();
  for (Family f : {kLzh, kZip, kArj, kCab}) {
    if (!Shared().lib[f].present) {
      std::fprintf(stderr, "gui_bench: %s missing in %s\n", qPrintable(LibraryFileName(f)), ORVEX2_LIB_DIR);
      return 2;
    }
  }

  const QStringList small = MakeArchives(work.path() + "/small", "A", archives);
  const QStringList big = MakeArchives(work.path() + "/big", "F", folderSize).mid(0, archives);

  std::vector<double> autoSmall, autoBig, guiSmall, guiBig, cpuSmall, cpuBig, all, clear, add;
  bool passed = true;
  {
    Bench bench(work.path());
    for (int r = 0; r < runs; ++r) {
      autoSmall.push_back(AutoRun(config, small));
      autoBig.push_back(AutoRun(config, big));
      bool ok = false;
      bench.Show(work.path() + "/empty");
      guiSmall.push_back(bench.Run(small, &ok, &cpuSmall));
      passed = passed && ok;
      bench.Show(work.path() + "/big");
      guiBig.push_back(bench.Run(big, &ok, &cpuBig));
      passed = passed && ok;
      all.push_back(bench.SelectAll());
      clear.push_back(bench.SelectClear());
      add.push_back(bench.SelectAllAdd());
      passed = passed && bench.Targets() == std::min(1000, bench.Listed());
    }
  }

  const double as = Median(autoSmall), ab = Median(autoBig), gs = Median(guiSmall), gb = Median(guiBig);
  std::printf("GUI benchmark, medians of %d run(s), %d archives, a %d-file folder\n", runs, archives, folderSize);
  std::printf("  detailed run, empty folder shown:  GUI %6.3f s (interface thread %5.3f s)  --auto %6.3f s  ratio %5.2fx"
              " (goal <= 3)\n", gs, Median(cpuSmall), as, gs / as);
  std::printf("  detailed run, %5d-file folder:   GUI %6.3f s (interface thread %5.3f s)  --auto %6.3f s  ratio %5.2fx"
              " (goal <= 3)\n", folderSize, gb, Median(cpuBig), ab, gb / ab);
  std::printf("  file browser, %d files: select all %.3f s, clear all %.3f s, select all + add %.3f s (goal < 0.3)\n",
              folderSize, Median(all), Median(clear), Median(add));
  if (!passed) std::printf("  WARNING: not every archive passed or was added\n");
  return passed ? 0 : 1;
}
