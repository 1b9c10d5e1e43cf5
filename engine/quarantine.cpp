// Quarantine moves: rename where possible, else copy + fsync + rename + delete.
#include "engine/quarantine.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvex2 {

namespace {

bool Exists(const QByteArray& path) {
  struct stat st;
  return ::lstat(path.constData(), &st) == 0;
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

bool CopyFlushed(const QByteArray& from, const QByteArray& to) {
  const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (out < 0) {
    ::close(in);
    return false;
  }
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
  if (::close(out) != 0) ok = false;
  ::close(in);
  return ok;
}

}  // namespace

QString FreeNameIn(const QString& folder, const QString& fileName) {
  QString dir = folder;
  if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  if (!Exists(QFile::encodeName(dir + fileName))) return dir + fileName;
  const int dot = fileName.lastIndexOf(QLatin1Char('.'));
  const QString stem = dot > 0 ? fileName.left(dot) : fileName;
  const QString ext = dot > 0 ? fileName.mid(dot) : QString();
  for (int n = 2;; ++n) {
    const QString candidate = dir + stem + QStringLiteral(" (%1)").arg(n) + ext;
    if (!Exists(QFile::encodeName(candidate))) return candidate;
  }
}

MoveOutcome MoveToQuarantine(const QString& path, const QString& folder, QString* movedTo) {
  if (folder.isEmpty()) return MoveOutcome::kCopyFailed;  // no folder named: never the root folder
  const QFileInfo source(path);
  const QString ownFolder = source.absoluteDir().canonicalPath();
  const QString target = QDir(folder).canonicalPath();
  if (!ownFolder.isEmpty() && ownFolder == target) {
    if (movedTo != nullptr) *movedTo = path;
    return MoveOutcome::kAlreadyThere;
  }
  const QByteArray from = QFile::encodeName(path);

  // Same file system: one atomic rename under a free name.
  for (int attempt = 0; attempt < 16; ++attempt) {
    const QString dest = FreeNameIn(folder, source.fileName());
    if (RenameNoReplace(from, QFile::encodeName(dest)) == 0) {
      if (movedTo != nullptr) *movedTo = dest;
      return MoveOutcome::kMoved;
    }
    if (errno != EEXIST) break;  // taken meanwhile: pick the next free name
  }

  // Across file systems (or a rename refused): copy beside the destination, then rename it in.
  QString dir = folder;
  if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  QByteArray temp = QFile::encodeName(dir + QStringLiteral(".orvex2-move-XXXXXX"));
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return MoveOutcome::kCopyFailed;
  ::close(fd);
  ::unlink(temp.constData());
  if (!CopyFlushed(from, temp)) {
    ::unlink(temp.constData());
    return MoveOutcome::kCopyFailed;
  }
  QString dest;
  bool placed = false;
  for (int attempt = 0; attempt < 16 && !placed; ++attempt) {
    dest = FreeNameIn(folder, source.fileName());
    if (RenameNoReplace(temp, QFile::encodeName(dest)) == 0) placed = true;
    else if (errno != EEXIST) break;
  }
  if (!placed) {
    ::unlink(temp.constData());
    return MoveOutcome::kCopyFailed;
  }
  if (movedTo != nullptr) *movedTo = dest;
  if (::unlink(from.constData()) != 0) return MoveOutcome::kDeleteFailed;
  return MoveOutcome::kMoved;
}

}  // namespace orvex2
