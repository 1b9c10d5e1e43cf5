// Loading the archiver libraries with dlopen, calling their entries, building their command lines.
#include "engine/libraries.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <QByteArray>

#include <array>
#include <exception>

#include "foundation/names.h"
#include "foundation/paths.h"

namespace orvex2 {
namespace {

struct EntryNames {
  const char* command;
  const char* check;
  const char* version;
  const char* running;
  const char* setProgress;  // optional: older libraries lack it
};

constexpr std::array<EntryNames, 4> kEntries{{
    {"Unlha", "UnlhaCheckArchive", "UnlhaGetVersion", "UnlhaGetRunning", "UnlhaSetProgress"},
    {"UnZip", "UnZipCheckArchive", "UnZipGetVersion", "UnZipGetRunning", "UnZipSetProgress"},
    {"Unarj", "UnarjCheckArchive", "UnarjGetVersion", "UnarjGetRunning", "UnarjSetProgress"},
    {"Cab", "CabCheckArchive", "CabGetVersion", "CabGetRunning", "CabSetProgress"},
}};

constexpr std::array<Family, 4> kProbeOrder{kLzh, kZip, kArj, kCab};

std::array<std::unique_ptr<ArchiverLibrary>, 4>& Loaded() {
  static std::array<std::unique_ptr<ArchiverLibrary>, 4> loaded;
  return loaded;
}

std::array<QString, 4>& Errors() {
  static std::array<QString, 4> errors;
  return errors;
}

bool ValidFamily(Family f) { return f >= kLzh && f <= kCab; }

// A word of a library command line: in double quotes, a '"' inside doubled.
QString Quoted(const QString& text) {
  QString out = text;
  out.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + out + QLatin1Char('"');
}

void ClearState() {
  for (Family f : kProbeOrder) {
    Shared().lib[f] = LibraryInfo{};
    Loaded()[f].reset();
    Errors()[f].clear();
  }
}

}  // namespace

ArchiverLibrary::ArchiverLibrary(Family f, const QString& path, void* handle)
    : family_(f), path_(path), handle_(handle) {}

ArchiverLibrary::~ArchiverLibrary() {
  if (handle_) dlclose(handle_);
}

std::unique_ptr<ArchiverLibrary> ArchiverLibrary::Load(Family f, const QString& path, QString* error) {
  auto fail = [error](const QString& why) {
    if (error) *error = why;
    return std::unique_ptr<ArchiverLibrary>();
  };
  if (!ValidFamily(f)) return fail(QStringLiteral("unknown family"));
  struct stat st {};
  if (::stat(NameToBytes(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
    return fail(QStringLiteral("no such file: ") + path);

  dlerror();
  void* handle = dlopen(NameToBytes(path).constData(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    return fail(why ? QString::fromLocal8Bit(why) : QStringLiteral("dlopen failed"));
  }
  std::unique_ptr<ArchiverLibrary> lib(new ArchiverLibrary(f, path, handle));
  const EntryNames& names = kEntries[f];
  for (const char* name : {names.command, names.check, names.version, names.running}) {
    if (!dlsym(handle, name)) return fail(QStringLiteral("missing entry ") + QLatin1String(name));
  }
  lib->command_ = reinterpret_cast<CommandFn>(dlsym(handle, names.command));
  lib->check_ = reinterpret_cast<CheckFn>(dlsym(handle, names.check));
  lib->version_ = reinterpret_cast<VersionFn>(dlsym(handle, names.version));
  lib->running_ = reinterpret_cast<RunningFn>(dlsym(handle, names.running));
  lib->setProgress_ = reinterpret_cast<SetProgressFn>(dlsym(handle, names.setProgress));
  return lib;
}

int ArchiverLibrary::Command(const QString& commandLine) {
  const QByteArray line = NameToBytes(commandLine);
  char output[1] = {'\0'};
  return command_(nullptr, line.constData(), output, 0);
}

int ArchiverLibrary::CheckArchive(const QString& path, int mode) {
  const QByteArray name = NameToBytes(path);
  return check_(name.constData(), mode);
}

quint16 ArchiverLibrary::Version() { return version_(); }

int ArchiverLibrary::Running() { return running_(); }

bool ArchiverLibrary::SetProgress(ProgressFn fn, void* user) {
  if (setProgress_ == nullptr) return false;
  setProgress_(fn, user);
  return true;
}

void ProbeLibraries() {
  ClearState();
  try {
    const QString dir = GetSystemDir();
    std::array<std::unique_ptr<ArchiverLibrary>, 4> found;
    std::array<quint16, 4> versions{};
    for (Family f : kProbeOrder) {
      if (dir.isEmpty()) {
        Errors()[f] = QStringLiteral("no system folder");
        continue;
      }
      QString error;
      found[f] = ArchiverLibrary::Load(f, dir + QLatin1Char('/') + LibraryFileName(f), &error);
      if (found[f]) versions[f] = found[f]->Version();
      else Errors()[f] = error;
    }
    for (Family f : kProbeOrder) {
      if (!found[f]) continue;
      Shared().lib[f].present = true;
      Shared().lib[f].version = versions[f];
      Loaded()[f] = std::move(found[f]);
    }
  } catch (const std::exception& e) {
    ClearState();
    for (Family f : kProbeOrder) Errors()[f] = QString::fromLocal8Bit(e.what());
  } catch (...) {
    ClearState();
    for (Family f : kProbeOrder) Errors()[f] = QStringLiteral("probe failed");
  }
}

ArchiverLibrary* Library(Family f) {
  if (!ValidFamily(f) || !Shared().lib[f].present) return nullptr;
  return Loaded()[f].get();
}

QString ProbeError(Family f) { return ValidFamily(f) ? Errors()[f] : QString(); }

QString LibraryFileName(Family f) {
  switch (f) {
    case kLzh: return QStringLiteral("UNLHA32.DLL");
    case kZip: return QStringLiteral("UNZIP32.DLL");
    case kArj: return QStringLiteral("UNARJ32J.DLL");
    case kCab: return QStringLiteral("CAB32.DLL");
  }
  return QString();
}

QString TestCommandLine(Family f, const QString& archive) {
  const OptionRecord& o = Options();
  QString option;
  switch (f) {
    case kLzh: option = o.Lzh_Opt; break;
    case kZip: option = o.Zip_Opt; break;
    case kArj: option = o.Arj_Opt; break;
    case kCab: option = o.Cab_Opt; break;
  }
  return option + QLatin1Char(' ') + Quoted(archive);
}

QString ExtractCommandLine(Family f, const QString& archive, const QString& destFolderWithSlash,
                           const QString& member) {
  const QString command = (f == kZip || f == kCab) ? QStringLiteral("-x") : QStringLiteral("x -+");
  return command + QLatin1Char(' ') + Quoted(archive) + QLatin1Char(' ') + Quoted(destFolderWithSlash) +
         QLatin1Char(' ') + Quoted(member);
}

}  // namespace orvex2
