// Quarantine moves on the names' bytes: rename where possible, else copy + fsync + rename +
// delete. A copy in progress is a hidden temporary file held under an exclusive lock, so the
// next move into the same folder can tell one left by a killed run from one still being written.
#include "engine/quarantine.h"

#include <QByteArray>
#include <QSet>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/debris.h"
#include "foundation/names.h"
#include "foundation/paths.h"

namespace orvex2 {

namespace {

constexpr char kTempPrefix[] = ".orvex2-move-";
constexpr int kTempSuffix = 6;  // mkstemp's XXXXXX

bool Exists(const QByteArray& path) {
  struct stat st;
  return ::lstat(path.constData(), &st) == 0;
}

QByteArray WithSlash(const QString& folder) {
  QByteArray dir = NameToBytes(folder);
  if (!dir.endsWith('/')) dir += '/';
  return dir;
}

// rename() that never replaces an existing file.
int RenameNoReplace(const QByteArray& from, const QByteArray& to) {
  if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // File systems without RENAME_NOREPLACE: link + unlink never overwrites either.
  if (::link(from.constData(), to.constData()) != 0) return -1;
  ::unlink(from.constData());
  return 0;
}

bool CopyFlushed(const QByteArray& from, int out) {
  const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  bool ok = true;
  static constexpr size_t kChunk = 1 << 20;
  QByteArray buffer(kChunk, Qt::Uninitialized);
  for (;;) {
    const ssize_t n = ::read(in, buffer.data(), kChunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    const char* p = buffer.constData();
    ssize_t left = n;
    while (left > 0) {
      const ssize_t w = ::write(out, p, static_cast<size_t>(left));
      if (w < 0) {
        if (errno == EINTR) continue;
        ok = false;
        break;
      }
      p += w;
      left -= w;
    }
    if (!ok) break;
  }
  struct stat st;
  if (ok && ::fstat(in, &st) == 0) ::fchmod(out, st.st_mode & 07777);
  if (ok && ::fsync(out) != 0) ok = false;
  ::close(in);
  return ok;
}

bool IsOurTemporaryName(const char* name) {
  const size_t prefix = sizeof kTempPrefix - 1;
  if (std::strncmp(name, kTempPrefix, prefix) != 0 || std::strlen(name) != prefix + kTempSuffix) return false;
  for (const char* p = name + prefix; *p != '\0'; ++p) {
    const bool alnum = (*p >= '0' && *p <= '9') || (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z');
    if (!alnum) return false;
  }
  return true;
}

// True when the two paths name the same folder.
bool SameFolder(const QByteArray& a, const QByteArray& b) {
  struct stat sa, sb;
  return ::stat(a.constData(), &sa) == 0 && ::stat(b.constData(), &sb) == 0 && S_ISDIR(sa.st_mode) &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

int RemoveStaleMoveCopies(const QString& folder) {
  const QByteArray dir = WithSlash(folder);
  DIR* d = ::opendir(dir.constData());
  if (d == nullptr) return 0;
  int removed = 0;
  while (const dirent* e = ::readdir(d)) {
    if (!IsOurTemporaryName(e->d_name)) continue;
    const QByteArray path = dir + e->d_name;
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    // A copy still being written is locked by its writer; only an abandoned one is free.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.constData()) == 0) ++removed;
    ::close(fd);
  }
  ::closedir(d);
  return removed;
}

QString FreeNameIn(const QString& folder, const QString& fileName) {
  QString dir = folder;
  if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  if (!Exists(NameToBytes(dir + fileName))) return dir + fileName;
  const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
  const QString stem = dot > 0 ? fileName.left(dot) : fileName;
  const QString ext = dot > 0 ? fileName.mid(dot) : QString();
  for (int n = 2;; ++n) {
    const QString candidate = dir + stem + QStringLiteral(" (%1)").arg(n) + ext;
    if (!Exists(NameToBytes(candidate))) return candidate;
  }
}

MoveOutcome MoveToQuarantine(const QString& path, const QString& folder, QString* movedTo) {
  if (folder.isEmpty()) return MoveOutcome::kCopyFailed;  // no folder named: never the root folder
  const QString fileName = FileNamePart(path);
  if (fileName.isEmpty()) return MoveOutcome::kCopyFailed;
  const QByteArray from = NameToBytes(path);
  const QByteArray dir = WithSlash(folder);
  if (SameFolder(NameToBytes(ParentFolder(path)), dir)) {
    if (movedTo != nullptr) *movedTo = path;
    return MoveOutcome::kAlreadyThere;
  }
  // Once per folder and run: what a killed run left there goes before the first move.
  static QSet<QByteArray> cleaned;
  if (!cleaned.contains(dir)) {
    cleaned.insert(dir);
    RemoveStaleMoveCopies(folder);
  }

  // Same file system: one atomic rename under a free name.
  for (int attempt = 0; attempt < 16; ++attempt) {
    const QString dest = FreeNameIn(folder, fileName);
    if (RenameNoReplace(from, NameToBytes(dest)) == 0) {
      if (movedTo != nullptr) *movedTo = dest;
      return MoveOutcome::kMoved;
    }
    if (errno != EEXIST) break;  // taken meanwhile: pick the next free name
  }

  // Across file systems (or a rename refused): copy beside the destination, then rename it in.
  QByteArray temp = dir + kTempPrefix + QByteArray(kTempSuffix, 'X');
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return MoveOutcome::kCopyFailed;
  ::flock(fd, LOCK_EX);
  const Debris debris(temp, Debris::Kind::kFile);
  auto abandon = [&] {
    ::unlink(temp.constData());
    ::close(fd);
    return MoveOutcome::kCopyFailed;
  };
  if (!CopyFlushed(from, fd)) return abandon();
  QString dest;
  bool placed = false;
  for (int attempt = 0; attempt < 16 && !placed; ++attempt) {
    dest = FreeNameIn(folder, fileName);
    if (RenameNoReplace(temp, NameToBytes(dest)) == 0) placed = true;
    else if (errno != EEXIST) break;
  }
  if (!placed) return abandon();
  if (::close(fd) != 0) {
    // The data may not have reached the disk: take the copy back, keep the original.
    ::unlink(NameToBytes(dest).constData());
    return MoveOutcome::kCopyFailed;
  }
  if (movedTo != nullptr) *movedTo = dest;
  if (::unlink(from.constData()) != 0) return MoveOutcome::kDeleteFailed;
  return MoveOutcome::kMoved;
}

}  // namespace orvex2
