// Settings store (one QSettings INI file per application), the shared option record with its
// load and save procedures, and the window-geometry rule.
#include "foundation/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

#include <cfloat>
#include <cmath>

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

// Files QSettings could not parse. Qt caches a parsed file and does not parse it again while it
// is unchanged, so a later QSettings on it reports no error: the fact is remembered here until a
// copy of the file has been kept.
QSet<QString>& Unparsable() {
  static QSet<QString> files;
  return files;
}

// Copies `path` to "<path>.bad" (or "<path>.bad.N" when earlier copies exist).
bool KeepCopy(const QString& path) {
  QString target = path + QStringLiteral(".bad");
  for (int i = 1; QFileInfo::exists(target) && i < 100; ++i) target = path + QStringLiteral(".bad.%1").arg(i);
  if (QFileInfo::exists(target)) QFile::remove(target);
  return QFile::copy(path, target);
}

// One application's INI file, open for one operation or one sequence of reads and writes.
class IniFile {
 public:
  explicit IniFile(const QString& app)
      : app_(app), path_(SettingsStore::FilePath(app)), settings_(path_, QSettings::IniFormat) {
    if (settings_.status() == QSettings::FormatError) Unparsable().insert(path_);
  }

  QString Read(const QString& section, const QString& key, const QString& def) const {
    const QVariant v = settings_.value(section + u'/' + key);
    if (!v.isValid()) return def;
    // An unquoted comma typed by hand makes QSettings return a list.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(u',');
    return v.toString();
  }

  void Write(const QString& section, const QString& key, const QString& value) {
    if (const auto& observer = Observer()) observer(app_, section, key, value);
    if (!PrepareChange()) return;
    settings_.setValue(section + u'/' + key, value);
  }

  // Writes pending changes; false when a change was dropped or the file could not be written.
  bool Commit() {
    settings_.sync();
    return !dropped_ && settings_.status() != QSettings::AccessError;
  }

  void RemoveSection(const QString& section) {
    if (!settings_.childGroups().contains(section)) return;
    if (!PrepareChange()) return;
    settings_.remove(section);
  }

  // Empties the file through QSettings (so its cache agrees) and removes it.
  void RemoveFile() {
    if (!QFileInfo(path_).isFile()) return;
    if (!PrepareChange()) return;
    settings_.clear();
    settings_.sync();
    QFile::remove(path_);
  }

 private:
  // Before an unparsable file is first changed, a copy of it is kept; when that fails the file
  // is left alone and the change is dropped.
  bool PrepareChange() {
    if (!Unparsable().contains(path_)) return true;
    if (QFileInfo(path_).isFile() && !KeepCopy(path_)) {
      dropped_ = true;
      return false;
    }
    Unparsable().remove(path_);
    return true;
  }

  QString app_;
  QString path_;
  QSettings settings_;
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
    readText(QStringLiteral("Dir_Out"), QDir::currentPath(), o.Dir_Out);
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
