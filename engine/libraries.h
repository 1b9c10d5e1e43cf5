// The four archiver libraries: probing and loading them from the system folder, calling their
// entries, and building the command lines the check sends them.
#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

#include "foundation/settings.h"

namespace orvex2 {

// One loaded library (LZH, ZIP, ARJ or CAB): its four entries and the optional progress entry.
class ArchiverLibrary {
 public:
  ~ArchiverLibrary();
  ArchiverLibrary(const ArchiverLibrary&) = delete;
  ArchiverLibrary& operator=(const ArchiverLibrary&) = delete;

  // Loads `path` and resolves the family's entries; nullptr with `error` set when it does not
  // load or lacks an entry.
  static std::unique_ptr<ArchiverLibrary> Load(Family f, const QString& path, QString* error = nullptr);

  // Command entry: window 0, the line as bytes (names exactly as on disk), an empty output buffer
  // of size 0.
  int Command(const QString& commandLine);
  // Check entry. Mode 0: 1 means an archive of this family; mode 2: 0 means the full check failed.
  int CheckArchive(const QString& path, int mode);
  quint16 Version();  // hundredths: 540 is 5.40
  int Running();      // non-zero: the library is working for another caller

  // The progress entry (<Prefix>SetProgress): `fn` hears bytes read and archive size during later
  // command and check calls, and a non-zero answer cancels the call. False when the library has
  // no such entry (it then reports nothing and cannot be cancelled inside a call).
  using ProgressFn = int (*)(void* user, unsigned long long done, unsigned long long total);
  bool SetProgress(ProgressFn fn, void* user);
  bool HasProgress() const { return setProgress_ != nullptr; }

  Family family() const { return family_; }
  QString path() const { return path_; }

 private:
  using CommandFn = int (*)(void*, const char*, char*, unsigned long);
  using CheckFn = int (*)(const char*, int);
  using VersionFn = unsigned short (*)();
  using RunningFn = int (*)();
  using SetProgressFn = void (*)(ProgressFn, void*);

  ArchiverLibrary(Family f, const QString& path, void* handle);

  Family family_;
  QString path_;
  void* handle_ = nullptr;
  CommandFn command_ = nullptr;
  CheckFn check_ = nullptr;
  VersionFn version_ = nullptr;
  RunningFn running_ = nullptr;
  SetProgressFn setProgress_ = nullptr;  // optional
};

// Probes LZH, ZIP, ARJ, CAB in that order in GetSystemDir(): a library that exists, loads and has
// all four entries is present, and its version is read. Present flags and versions go to
// Shared().lib; anything unexpected leaves all four absent. Calling it again unloads the libraries
// of the previous probe first.
void ProbeLibraries();

// The loaded library of a family; nullptr when it is not present.
ArchiverLibrary* Library(Family f);

// Why the last probe found the family absent (empty when present or not probed).
QString ProbeError(Family f);

// "UNLHA32.DLL", "UNZIP32.DLL", "UNARJ32J.DLL", "CAB32.DLL".
QString LibraryFileName(Family f);

// The family's test option text (Lzh_Opt, Zip_Opt, Arj_Opt, Cab_Opt), a blank, the archive in
// double quotes. Inside the quotes every '"' of a name is doubled (archivers/README.md), so every
// byte but NUL reaches the library.
QString TestCommandLine(Family f, const QString& archive);

// Extraction of one member: "x -+" (LZH, ARJ) or "-x" (ZIP, CAB), then the archive, the
// destination folder (with its closing "/") and the member, each in double quotes, single blanks.
QString ExtractCommandLine(Family f, const QString& archive, const QString& destFolderWithSlash,
                           const QString& member);

}  // namespace orvex2
