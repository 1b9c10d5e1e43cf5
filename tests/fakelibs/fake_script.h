// Test helper for the scripted archiver libraries: points the system folder at them and writes
// their script and reads their call log through temporary files. Restores the environment after.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "foundation/names.h"

#include <array>
#include <utility>

namespace orvex2::test {

class FakeLibs {
 public:
  FakeLibs() {
    for (auto& [name, value] : saved_) {
      value.first = qEnvironmentVariableIsSet(name);
      value.second = qgetenv(name);
    }
    qputenv("ORVEX2_SYSTEM_DIR", QFile::encodeName(LibDir()));
    qputenv("ORVEX2_FAKE_SCRIPT", QFile::encodeName(ScriptPath()));
    qputenv("ORVEX2_FAKE_LOG", QFile::encodeName(LogPath()));
    Script(QString());
  }
  ~FakeLibs() {
    for (auto& [name, value] : saved_) {
      if (value.first) qputenv(name, value.second);
      else qunsetenv(name);
    }
  }
  FakeLibs(const FakeLibs&) = delete;
  FakeLibs& operator=(const FakeLibs&) = delete;

  // Folder of the four fake libraries.
  static QString LibDir() { return QStringLiteral(ORVEX2_FAKE_LIB_DIR); }
  // Folder holding a UNZIP32.DLL that lacks its busy entry.
  static QString NoEntryDir() { return QStringLiteral(ORVEX2_FAKE_NOENTRY_DIR); }
  // Folder holding only a UNLHA32.DLL without the progress entry.
  static QString NoProgressDir() { return QStringLiteral(ORVEX2_FAKE_NOPROGRESS_DIR); }

  // Points the system folder elsewhere (another set of libraries, or none).
  void UseSystemDir(const QString& dir) { qputenv("ORVEX2_SYSTEM_DIR", QFile::encodeName(dir)); }

  // Replaces the whole script; lines separated by "\n". The libraries re-read it on every call.
  // Names in it keep their bytes (NameToBytes).
  bool Script(const QString& text) { return Write(ScriptPath(), NameToBytes(text), QIODevice::Truncate); }
  // Appends one line to the script.
  bool AddLine(const QString& line) { return Write(ScriptPath(), NameToBytes(line + '\n'), QIODevice::Append); }

  // The calls made so far, one line each ("UNZIP32.DLL check /x/A.ZIP 0"); names keep their
  // bytes (NameFromBytes).
  QStringList Log() const {
    QFile f(LogPath());
    if (!f.open(QIODevice::ReadOnly)) return {};
    return NameFromBytes(f.readAll()).split('\n', Qt::SkipEmptyParts);
  }
  // The logged calls that begin with `prefix` ("UNLHA32.DLL command").
  QStringList Log(const QString& prefix) const { return FilterPrefix(Log(), prefix); }
  void ClearLog() { QFile::remove(LogPath()); }

  QString ScriptPath() const { return dir_.filePath(QStringLiteral("fake.script")); }
  QString LogPath() const { return dir_.filePath(QStringLiteral("fake.log")); }
  // A scratch folder that lives as long as this object.
  QString TempPath() const { return dir_.path(); }
  bool IsValid() const { return dir_.isValid(); }

 private:
  static QStringList FilterPrefix(const QStringList& lines, const QString& prefix) {
    QStringList out;
    for (const QString& l : lines)
      if (l.startsWith(prefix)) out << l;
    return out;
  }
  static bool Write(const QString& path, const QByteArray& data, QIODevice::OpenMode extra) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | extra)) return false;
    return f.write(data) == data.size();
  }

  QTemporaryDir dir_;
  std::array<std::pair<const char*, std::pair<bool, QByteArray>>, 3> saved_{{
      {"ORVEX2_SYSTEM_DIR", {}}, {"ORVEX2_FAKE_SCRIPT", {}}, {"ORVEX2_FAKE_LOG", {}}}};
};

}  // namespace orvex2::test
