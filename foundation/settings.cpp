// Settings store (one QSettings INI file per application), the shared option record with its
// load and save procedures, and the window-geometry rule.
#include "foundation/settings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QSysInfo>
#include <QVariant>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "foundation/ini_text.h"
#include "foundation/names.h"
#include "foundation/paths.h"

namespace orvex2 {

namespace {

QString& LocationFolder() {
  static QString folder;
  return folder;
}

SettingsStore::WriteObserver& Observer() {
  static SettingsStore::WriteObserver observer;
  return observer;
}

int& BatchDepth() {
  static int depth = 0;
  return depth;
}

// Changes not yet written, per file, in the order made.
QHash<QString, std::vector<ini::Change>>& Pending() {
  static QHash<QString, std::vector<ini::Change>> pending;
  return pending;
}

// The settings file may be missing (defaults; a save creates it) or a regular file. Anything
// else (a FIFO or a device would block the reader; a folder) is never opened: defaults are
// used, nothing is saved, and standard error says so once.
bool UsableFile(const QString& path) {
  struct stat st {};
  const QByteArray native = QFile::encodeName(path);
  if (::stat(native.constData(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return errno == ENOENT;
  } else if (S_ISREG(st.st_mode)) {
    return true;
  }
  static QSet<QString> reported;
  if (!reported.contains(path)) {
    reported.insert(path);
    std::fprintf(stderr, "orvex2: %s is not a regular file: default settings are used and none are saved\n",
                 native.constData());
  }
  return false;
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Copies `path` to "<path>.bad" (or "<path>.bad.N" when earlier copies exist).
bool KeepCopy(const QString& path) {
  QString target = path + QStringLiteral(".bad");
  for (int i = 1; QFileInfo::exists(target) && i < 100; ++i) target = path + QStringLiteral(".bad.%1").arg(i);
  if (QFileInfo::exists(target)) QFile::remove(target);
  return QFile::copy(path, target);
}

// A lock left by a save that was killed: its process is gone (or its number is now ours), or it
// holds no owner at all. Such a lock never delays a save.
void RemoveStaleLock(const QString& lockPath) {
  const QByteArray native = QFile::encodeName(lockPath);
  struct stat st {};
  if (::lstat(native.constData(), &st) != 0) return;
  if (!S_ISREG(st.st_mode)) {
    ::unlink(native.constData());
    return;
  }
  QLockFile probe(lockPath);
  qint64 pid = 0;
  QString host, app;
  if (probe.getLockInfo(&pid, &host, &app)) {
    if (host != QSysInfo::machineHostName()) return;
    if (pid == QCoreApplication::applicationPid() || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH))
      ::unlink(native.constData());
  } else if (QDateTime::currentSecsSinceEpoch() - st.st_mtim.tv_sec > 2) {
    ::unlink(native.constData());
  }
}

qint64 Milliseconds(const timespec& t) { return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000; }

// Replaces the file with `data` at once (a temporary file renamed over it; a link is written
// through to its target). The new file's time is later than the old one's by at least a
// millisecond, so QSettings never takes the new file for the one it read before.
bool WriteAtomically(const QString& path, const QByteArray& data) {
  QByteArray target = QFile::encodeName(path);
  if (char* real = ::realpath(target.constData(), nullptr)) {
    target = QByteArray(real);
    std::free(real);
  }
  QDir().mkpath(QFileInfo(path).absolutePath());
  struct stat old {};
  const bool existed = ::stat(target.constData(), &old) == 0;
  QByteArray temp = target + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, existed ? (old.st_mode & 07777) : 0600) == 0;
  for (qsizetype done = 0; ok && done < data.size();) {
    const ssize_t w = ::write(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
    if (w < 0 && errno == EINTR) continue;
    ok = w > 0;
    if (ok) done += w;
  }
  timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  if (existed && Milliseconds(now) <= Milliseconds(old.st_mtim)) {
    const qint64 later = Milliseconds(old.st_mtim) + 1;
    now.tv_sec = later / 1000;
    now.tv_nsec = (later % 1000) * 1000000;
  }
  const timespec times[2] = {now, now};
  ok = ok && ::futimens(fd, times) == 0 && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.constData(), target.constData()) == 0;
  if (!ok) ::unlink(temp.constData());
  return ok;
}

// Writes the pending changes of one file: its own text with those keys edited, once. Content
// that is not INI text is copied aside as "<name>.bad" and replaced; when no copy can be made
// the file is left alone and the changes are dropped.
bool WriteChanges(const QString& path, const std::vector<ini::Change>& changes) {
  if (changes.empty()) return true;
  const QString lockPath = path + QStringLiteral(".lock");
  RemoveStaleLock(lockPath);
  QLockFile lock(lockPath);
  lock.tryLock(2000);  // another program saving: wait a little, then write all the same
  QByteArray base;
  if (QFileInfo(path).isFile()) {
    base = ReadAll(path);
    if (!ini::IsIniText(base)) {
      if (!KeepCopy(path)) return false;
      base.clear();
    }
  }
  return WriteAtomically(path, ini::Apply(base, changes));
}

// One application's INI file for one operation or one sequence of reads and writes. Reads go
// through QSettings (what it parses is what the program has always read); writes edit the file's
// own text (see WriteChanges), at once or, while a SettingsStore::Batch lives, once at its end.
class IniFile {
 public:
  explicit IniFile(const QString& app) : app_(app), path_(SettingsStore::FilePath(app)), usable_(UsableFile(path_)) {}

  QString Read(const QString& section, const QString& key, const QString& def) {
    // A change not yet written is what the store holds.
    const auto& pending = Pending().value(path_);
    for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
      if (it->section != section) continue;
      if (it->kind == ini::Change::Kind::kRemoveSection) return def;
      if (it->key == key) return it->value;
    }
    QSettings* settings = Settings();
    if (settings == nullptr) return def;
    const QVariant v = settings->value(section + u'/' + key);
    if (!v.isValid()) return def;
    // An unquoted comma typed by hand makes QSettings return a list.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(u',');
    return v.toString();
  }

  void Write(const QString& section, const QString& key, const QString& value) {
    if (const auto& observer = Observer()) observer(app_, section, key, value);
    Change({ini::Change::Kind::kSet, section, key, value});
  }

  // Writes what is pending for this file; false when a change was dropped or not written.
  bool Commit() { return Flush() && !dropped_; }

  void RemoveSection(const QString& section) {
    QSettings* settings = Settings();
    if (settings == nullptr) return;
    bool held = false;
    for (const ini::Change& c : Pending().value(path_)) held = held || c.section == section;
    if (!held && !settings->childGroups().contains(section)) return;
    Change({ini::Change::Kind::kRemoveSection, section, QString(), QString()});
  }

  // Removes the file; content that is not INI text is copied aside first.
  void RemoveFile() {
    if (!usable_) return;
    Pending().remove(path_);
    if (!QFileInfo(path_).isFile()) return;
    if (!ini::IsIniText(ReadAll(path_)) && !KeepCopy(path_)) return;
    QFile::remove(path_);
    settings_.reset();
  }

 private:
  QSettings* Settings() {
    if (!usable_) return nullptr;
    if (!settings_) settings_.emplace(path_, QSettings::IniFormat);
    return &*settings_;
  }

  void Change(ini::Change change) {
    if (!usable_) {
      dropped_ = true;
      return;
    }
    Pending()[path_].push_back(std::move(change));
    if (BatchDepth() == 0) Flush();
  }

  bool Flush() {
    if (!usable_) return false;
    const auto it = Pending().find(path_);
    if (it == Pending().end()) return true;
    const std::vector<ini::Change> changes = std::move(*it);
    Pending().erase(it);
    settings_.reset();  // read again after the write
    if (!WriteChanges(path_, changes)) dropped_ = true;
    return !dropped_;
  }

  QString app_;
  QString path_;
  bool usable_;
  std::optional<QSettings> settings_;
  bool dropped_ = false;
};

QString MoveKey(int i) { return QStringLiteral("Move %1").arg(i); }

}  // namespace

namespace SettingsStore {

void SetLocation(const QString& folder) { LocationFolder() = folder; }

QString FilePath(const QString& app) {
  QString folder = LocationFolder();
  if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (folder.isEmpty()) folder = QDir::homePath() + QStringLiteral("/.config");
  return QDir(folder).filePath(app + QStringLiteral(".ini"));
}

void SetWriteObserver(WriteObserver observer) { Observer() = std::move(observer); }

Batch::Batch() { ++BatchDepth(); }

Batch::~Batch() {
  if (--BatchDepth() > 0) return;
  const auto pending = std::exchange(Pending(), {});
  for (auto it = pending.begin(); it != pending.end(); ++it) {
    try {
      WriteChanges(it.key(), it.value());
    } catch (...) {
    }
  }
}

QString Read(const QString& app, const QString& section, const QString& key, const QString& def) {
  try {
    return IniFile(app).Read(section, key, def);
  } catch (...) {
    return def;
  }
}

void Write(const QString& app, const QString& section, const QString& key, const QString& value) {
  try {
    IniFile(app).Write(section, key, value);
  } catch (...) {
  }
}

void DeleteSection(const QString& app, const QString& section) {
  try {
    IniFile(app).RemoveSection(section);
  } catch (...) {
  }
}

void DeleteApplication(const QString& app) {
  try {
    IniFile(app).RemoveFile();
  } catch (...) {
  }
}

}  // namespace SettingsStore

namespace {

// A finite decimal number ("12", "-0.5", ".5", "1E3"), blanks around it allowed.
std::optional<double> ParseDecimal(const QString& text) {
  static const QRegularExpression number(
      QStringLiteral("^[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
  const QString t = text.trimmed();
  if (!number.match(t).hasMatch()) return std::nullopt;
  bool ok = false;
  const double v = t.toDouble(&ok);
  if (!ok || !std::isfinite(v)) return std::nullopt;
  return v;
}

}  // namespace

std::optional<double> ParseNumber(const QString& text) {
  const auto v = ParseDecimal(text);
  if (!v || std::fabs(*v) > FLT_MAX) return std::nullopt;
  return v;
}

std::optional<qint16> ParseInt16(const QString& text) {
  static const QRegularExpression integer(QStringLiteral("^[+-]?[0-9]+$"));
  const QString t = text.trimmed();
  if (!integer.match(t).hasMatch()) return std::nullopt;
  bool ok = false;
  const qlonglong v = t.toLongLong(&ok);
  if (!ok || v < -32768 || v > 32767) return std::nullopt;
  return static_cast<qint16>(v);
}

std::optional<bool> ParseBool(const QString& text) {
  const QString t = text.trimmed();
  if (t.compare(u"True", Qt::CaseInsensitive) == 0) return true;
  if (t.compare(u"False", Qt::CaseInsensitive) == 0) return false;
  // Any decimal number, also one beyond the range of a single-precision value.
  if (const auto n = ParseDecimal(t)) return *n != 0.0;
  return std::nullopt;
}

QString NumberText(double value) {
  float f = static_cast<float>(value);
  if (!std::isfinite(f) || f == 0.0f) f = 0.0f;  // also folds -0
  QString text = QString::number(static_cast<double>(f), 'g', 7);
  if (text.contains(u'e')) text = QString::number(static_cast<double>(f), 'f', 0);
  return text;
}

SharedState& Shared() {
  static SharedState state;
  return state;
}

void LoadOptions() {
  try {
    const bool earlier =
        SettingsStore::Read(kEarlierApp, kSection, QStringLiteral("Version"), QStringLiteral("0.00")) !=
        QStringLiteral("0.00");
    IniFile store(earlier ? kEarlierApp : kCurrentApp);
    const QString section = kSection;
    OptionRecord& o = Options();

    auto readBool = [&](const QString& key, bool def, bool& field) {
      if (const auto v = ParseBool(store.Read(section, key, BoolText(def)))) field = *v;
    };
    auto readInt = [&](const QString& key, qint16 def, qint16& field) {
      if (const auto v = ParseInt16(store.Read(section, key, QString::number(def)))) field = *v;
    };
    auto readText = [&](const QString& key, const QString& def, QString& field) {
      field = store.Read(section, key, def);
    };

    readBool(QStringLiteral("Lzh"), true, o.Lzh);
    readBool(QStringLiteral("Zip"), true, o.Zip);
    readBool(QStringLiteral("Arj"), true, o.Arj);
    readBool(QStringLiteral("Cab"), true, o.Cab);
    readBool(QStringLiteral("Lzh_X"), false, o.Lzh_X);
    readBool(QStringLiteral("Lzh_Lha"), false, o.Lzh_Lha);
    readBool(QStringLiteral("Lzh_Exe"), false, o.Lzh_Exe);
    readBool(QStringLiteral("Zip_Exe"), false, o.Zip_Exe);
    readBool(QStringLiteral("Arj_Exe"), false, o.Arj_Exe);
    readBool(QStringLiteral("Cab_Exe"), false, o.Cab_Exe);
    readText(QStringLiteral("Lzh_Opt"), QStringLiteral("t -+ -y1 -gm1"), o.Lzh_Opt);
    readText(QStringLiteral("Zip_Opt"), QStringLiteral("-t"), o.Zip_Opt);
    readText(QStringLiteral("Arj_Opt"), QStringLiteral("t -+ -y1 -hm1"), o.Arj_Opt);
    readText(QStringLiteral("Cab_Opt"), QStringLiteral("-t"), o.Cab_Opt);
    readText(QStringLiteral("TmpDir"), GetTempDir(), o.TmpDir);
    readBool(QStringLiteral("Double"), false, o.Double);
    readBool(QStringLiteral("Auto"), false, o.Auto);
    readInt(QStringLiteral("AutoExe"), 2, o.AutoExe);
    readBool(QStringLiteral("AutoLog"), true, o.AutoLog);
    readBool(QStringLiteral("Resize"), true, o.Resize);
    readBool(QStringLiteral("Tip"), true, o.Tip);
    readText(QStringLiteral("Dir_Out"), CurrentFolderName(), o.Dir_Out);
    readBool(QStringLiteral("Dir_Out_Yuko"), false, o.Dir_Out_Yuko);
    for (int i = 0; i < 3; ++i) readBool(MoveKey(i), false, o.Move[i]);
    readText(QStringLiteral("Font_Name"), QStringLiteral("ＭＳ 明朝"), o.Font_Name);
    readInt(QStringLiteral("Font_Size"), 10, o.Font_Size);
    readBool(QStringLiteral("Font_Bold"), false, o.Font_Bold);
    readBool(QStringLiteral("Font_Italic"), false, o.Font_Italic);
  } catch (...) {
  }
}

void SaveOptions() {
  try {
    bool written = false;
    {
      const SettingsStore::Batch once;  // every key, one write of the file (at Commit)
      IniFile store(kCurrentApp);
      const QString section = kSection;
      const OptionRecord& o = Options();
      auto b = [&](const QString& key, bool v) { store.Write(section, key, BoolText(v)); };
      auto n = [&](const QString& key, qint16 v) { store.Write(section, key, QString::number(v)); };
      auto t = [&](const QString& key, const QString& v) { store.Write(section, key, v); };

      t(QStringLiteral("Version"), QStringLiteral("1.03"));
      b(QStringLiteral("Lzh"), o.Lzh);
      b(QStringLiteral("Zip"), o.Zip);
      b(QStringLiteral("Arj"), o.Arj);
      b(QStringLiteral("Cab"), o.Cab);
      b(QStringLiteral("Lzh_X"), o.Lzh_X);
      b(QStringLiteral("Lzh_Lha"), o.Lzh_Lha);
      b(QStringLiteral("Lzh_Exe"), o.Lzh_Exe);
      b(QStringLiteral("Zip_Exe"), o.Zip_Exe);
      b(QStringLiteral("Arj_Exe"), o.Arj_Exe);
      b(QStringLiteral("Cab_Exe"), o.Cab_Exe);
      t(QStringLiteral("Lzh_Opt"), o.Lzh_Opt);
      t(QStringLiteral("Zip_Opt"), o.Zip_Opt);
      t(QStringLiteral("Arj_Opt"), o.Arj_Opt);
      t(QStringLiteral("Cab_Opt"), o.Cab_Opt);
      t(QStringLiteral("TmpDir"), o.TmpDir);
      b(QStringLiteral("Double"), o.Double);
      b(QStringLiteral("Auto"), o.Auto);
      n(QStringLiteral("AutoExe"), o.AutoExe);
      b(QStringLiteral("AutoLog"), o.AutoLog);
      b(QStringLiteral("Resize"), o.Resize);
      b(QStringLiteral("Tip"), o.Tip);
      t(QStringLiteral("Dir_Out"), o.Dir_Out);
      b(QStringLiteral("Dir_Out_Yuko"), o.Dir_Out_Yuko);
      for (int i = 0; i < 3; ++i) b(MoveKey(i), o.Move[i]);
      t(QStringLiteral("Font_Name"), o.Font_Name);
      n(QStringLiteral("Font_Size"), o.Font_Size);
      b(QStringLiteral("Font_Bold"), o.Font_Bold);
      b(QStringLiteral("Font_Italic"), o.Font_Italic);
      written = store.Commit();
    }
    // The earlier store goes only once its values are safely in the current one.
    if (written) SettingsStore::DeleteApplication(kEarlierApp);
  } catch (...) {
  }
}

// Both stores: the question of "/U" promises all settings, and the earlier store's values would
// otherwise come back at the next start.
void RemoveSettings() {
  SettingsStore::DeleteSection(kCurrentApp, kSection);
  SettingsStore::DeleteApplication(kEarlierApp);
}

std::optional<Geometry> RestoreGeometry(const QString& prefix, WindowKind kind, const Geometry& current,
                                        const ScreenSize& screen) {
  try {
    if (kind == WindowKind::Child && (Options().Resize || Shared().autoRun)) return current;

    const QString leftKey = prefix + QStringLiteral("_Left");
    const auto probe = ParseNumber(SettingsStore::Read(kEarlierApp, kSection, leftKey, QStringLiteral("-9999")));
    if (!probe) return std::nullopt;
    // Compared as the single-precision value it is stored as.
    const bool earlier = static_cast<float>(*probe) != -9999.0f;
    IniFile store(earlier ? kEarlierApp : kCurrentApp);
    const QString section = kSection;

    Geometry def = current;
    switch (kind) {
      case WindowKind::Main:
        def = Geometry{1000, 1000, 8000, 8000, 0};
        break;
      case WindowKind::DialogPos:
        def.left = 1000;
        def.top = 1000;
        break;
      case WindowKind::DialogSized:
        def.left = 1000;
        def.top = 1000;
        def.width = 5000;
        def.height = 5000;
        break;
      case WindowKind::Child:
        break;
    }

    Geometry g = current;
    auto readNumber = [&](const char* suffix, double def, double& field) {
      const auto v = ParseNumber(store.Read(section, prefix + QLatin1String(suffix), NumberText(def)));
      if (!v) return false;
      field = static_cast<float>(*v);
      return true;
    };
    if (!readNumber("_Left", def.left, g.left) || !readNumber("_Top", def.top, g.top)) return std::nullopt;
    if (kind != WindowKind::DialogPos) {
      if (!readNumber("_Width", def.width, g.width) || !readNumber("_Height", def.height, g.height))
        return std::nullopt;
    }
    if (kind == WindowKind::Main) {
      const auto state =
          ParseInt16(store.Read(section, prefix + QStringLiteral("_WindowState"), QString::number(def.state)));
      if (!state) return std::nullopt;
      // A state the window cannot take opens it normal.
      g.state = (*state >= 0 && *state <= 2) ? *state : 0;
    }

    if (kind == WindowKind::Child) return g;
    if (g.left < 0 || g.left > screen.width) g.left = 1000;
    if (g.top < 0 || g.top > screen.height) g.top = 1000;
    if (kind == WindowKind::Main) {
      if (g.width < 2000) g.width = 8000;
      if (g.height < 500) g.height = 8000;
    }
    return g;
  } catch (...) {
    return std::nullopt;
  }
}

void SaveGeometry(const QString& prefix, WindowKind kind, const Geometry& g, int mainState) {
  try {
    const bool coordinates = kind == WindowKind::Main ? g.state == 0
                             : kind == WindowKind::Child
                                 ? mainState == 0 && !Options().Resize && !Shared().autoRun
                                 : true;
    const SettingsStore::Batch once;
    IniFile store(kCurrentApp);
    const QString section = kSection;
    if (kind == WindowKind::Main)
      store.Write(section, prefix + QStringLiteral("_WindowState"), QString::number(g.state));
    if (!coordinates) return;
    store.Write(section, prefix + QStringLiteral("_Left"), NumberText(g.left));
    store.Write(section, prefix + QStringLiteral("_Top"), NumberText(g.top));
    if (kind == WindowKind::DialogPos) return;
    store.Write(section, prefix + QStringLiteral("_Width"), NumberText(g.width));
    store.Write(section, prefix + QStringLiteral("_Height"), NumberText(g.height));
  } catch (...) {
  }
}

}  // namespace orvex2
