// Path, name and disk helpers on absolute "/"-separated paths. Each catches its own failures and
// answers with empty text (ShortenPath: the path unchanged; FileReadable: false).
#include "foundation/paths.h"

#include "foundation/names.h"
#include "foundation/paths_detail.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cmath>
#include <optional>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace orvex2 {
namespace {

constexpr qsizetype kMaxShortenSegments = 256;
constexpr qsizetype kMaxLongPathParts = 256;  // the root counts as the first part

const QLatin1StringView kDoubleExtensions[] = {
    QLatin1StringView(".LZH.ZIP"), QLatin1StringView(".LZH.LZH"),
    QLatin1StringView(".ZIP.LZH"), QLatin1StringView(".ZIP.ZIP")};

// Upper-cases ASCII letters only, so that no other character can turn into one of "LZHIP".
QString AsciiUpper(QStringView text) {
  QString out(text.size(), Qt::Uninitialized);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    out[i] = QChar(c >= u'a' && c <= u'z' ? char16_t(c - (u'a' - u'A')) : c);
  }
  return out;
}

// The bytes of a path for the system calls; empty when the path holds a NUL.
QByteArray NativePath(const QString& path) {
  if (path.isEmpty() || path.contains(QChar(0))) return QByteArray();
  return NameToBytes(path);
}

// The names of the folder the system reaches through `names` (symbolic links followed); nullopt
// when it is no folder.
std::optional<QStringList> PhysicalFolder(const QStringList& names) {
  const QByteArray native = NameToBytes(QLatin1Char('/') + names.join(QLatin1Char('/')));
  char* real = ::realpath(native.constData(), nullptr);
  if (real == nullptr) return std::nullopt;
  const QString resolved = NameFromBytes(QByteArray(real));
  std::free(real);
  struct stat st {};
  if (::stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return resolved.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

bool InRange(char16_t c, char16_t first, char16_t last) { return c >= first && c <= last; }

}  // namespace

namespace detail {

QString FormatFreeText(std::uint64_t freeBytes) {
  if (freeBytes == 0) return QString();
  // Megabytes as a single-precision value, formatted to one decimal from that value.
  const double megabytes = static_cast<float>(static_cast<double>(freeBytes) / 1048576.0);
  const auto tenths = static_cast<unsigned long long>(std::llround(megabytes * 10.0));
  const QString whole = QString::number(tenths / 10);
  QString grouped;
  grouped.reserve(whole.size() + whole.size() / 3);
  for (qsizetype i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) grouped += QLatin1Char(',');
    grouped += whole[i];
  }
  return QStringLiteral(" (") + grouped + QLatin1Char('.') + QString::number(tenths % 10) +
         QStringLiteral("M Free)");
}

}  // namespace detail

QString GetTempDir() {
  try {
    QString dir = QDir::tempPath();
    if (dir.isEmpty()) return QString();
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir;
  } catch (...) {
    return QString();
  }
}

QString GetSystemDir() {
  try {
    const QString fromEnv = qEnvironmentVariable("ORVEX2_SYSTEM_DIR");
    if (!fromEnv.isEmpty()) return QDir::cleanPath(fromEnv);
    QString programDir;
    if (QCoreApplication::instance() != nullptr) {
      programDir = QCoreApplication::applicationDirPath();
    } else {
      const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
      if (!exe.isEmpty()) programDir = QFileInfo(exe).absolutePath();
    }
    if (programDir.isEmpty()) return QString();
    return QDir::cleanPath(programDir + QStringLiteral("/../lib/orvex2"));
  } catch (...) {
    return QString();
  }
}

QString DiskFreeText(const QString& path) {
  try {
    if (!path.startsWith(QLatin1Char('/'))) return QString();
    QByteArray native = NativePath(path);
    if (native.isEmpty()) return QString();
    // A folder that does not exist yet will be made on its nearest existing parent's file system.
    struct statvfs fs {};
    while (::statvfs(native.constData(), &fs) != 0) {
      if ((errno != ENOENT && errno != ENOTDIR) || native == "/") return QString();
      while (native.size() > 1 && native.endsWith('/')) native.chop(1);
      const qsizetype slash = native.lastIndexOf('/');
      native.truncate(slash > 0 ? slash : 1);
    }
    const std::uint64_t blockSize = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
    const std::uint64_t blocks = fs.f_bavail;
    if (blockSize == 0 || blocks == 0) return QString();
    if (blocks > UINT64_MAX / blockSize) return QString();
    return detail::FormatFreeText(blocks * blockSize);
  } catch (...) {
    return QString();
  }
}

QString ShortenPath(const QString& path) {
  try {
    QStringList segments;
    qsizetype start = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
      if (path[i] == QLatin1Char('/')) {
        segments.append(path.mid(start, i - start + 1));
        start = i + 1;
      }
    }
    segments.append(path.mid(start));  // the last segment, possibly empty
    if (segments.size() > kMaxShortenSegments || segments.size() < 5) return path;
    const qsizetype n = segments.size();
    return segments[0] + segments[1] + QStringLiteral(".../") + segments[n - 2] + segments[n - 1];
  } catch (...) {
    return path;
  }
}

QString FileNamePart(const QString& path) {
  try {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) return QString();
    return path.mid(slash + 1);
  } catch (...) {
    return QString();
  }
}

QString BaseNamePart(const QString& path) {
  try {
    const QString name = FileNamePart(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) return name;
    return name.left(dot);
  } catch (...) {
    return QString();
  }
}

QString ParentFolder(const QString& path) {
  try {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) return QString();
    if (slash == 0) return QStringLiteral("/");
    return path.left(slash);
  } catch (...) {
    return QString();
  }
}

QString ExtensionPart(const QString& path, bool doubleExt) {
  try {
    qsizetype dot = -1;  // 0-based index of the last dot of the last component
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
      if (path[i] == QLatin1Char('/')) return QString();
      if (path[i] == QLatin1Char('.')) {
        dot = i;
        break;
      }
    }
    if (dot < 0) return QString();
    // A double extension needs its first dot at position 2 or later (1-based: n - 4 >= 2).
    const qsizetype first = dot - 4;
    if (doubleExt && first >= 1) {
      const QStringView tail = QStringView(path).mid(first);
      const QString upper = AsciiUpper(tail);
      for (const QLatin1StringView ext : kDoubleExtensions)
        if (upper == ext) return tail.toString();
    }
    return path.mid(dot);
  } catch (...) {
    return QString();
  }
}

QString LongPathName(const QString& path) {
  try {
    if (!path.startsWith(QLatin1Char('/')) || path.contains(QChar(0))) return QString();
    // Each name is looked up with its exact spelling (lstat: a symbolic link counts as found in
    // its own right). "." and ".." go where the system goes: ".." leaves the folder a link
    // leads to, not the link's own folder, so the name checked is the file the system opens.
    QStringList names;
    for (const QString& name : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
      if (name == QLatin1StringView(".") || name == QLatin1StringView("..")) {
        std::optional<QStringList> folder = PhysicalFolder(names);
        if (!folder) return QString();
        if (name == QLatin1StringView("..")) {
          if (!folder->isEmpty()) folder->removeLast();
          names = *folder;
        }
        continue;
      }
      names.append(name);
      struct stat st {};
      if (::lstat(NameToBytes(QLatin1Char('/') + names.join(QLatin1Char('/'))).constData(), &st) != 0)
        return QString();
    }
    if (names.size() + 1 > kMaxLongPathParts) return QString();
    return QLatin1Char('/') + names.join(QLatin1Char('/'));
  } catch (...) {
    return QString();
  }
}

QString WideUpper(const QString& text) {
  try {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
      const char16_t c = text[i].unicode();
      if (InRange(c, u'\uFF41', u'\uFF5A') || InRange(c, u'\u03B1', u'\u03C9') ||
          InRange(c, u'\u0430', u'\u044F')) {
        out += QChar(c);
      } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
                 QChar::isLowSurrogate(text[i + 1].unicode())) {
        const char32_t upper = QChar::toUpper(QChar::surrogateToUcs4(c, text[i + 1].unicode()));
        out += QChar(QChar::highSurrogate(upper));
        out += QChar(QChar::lowSurrogate(upper));
        ++i;
      } else {
        out += QChar(static_cast<char16_t>(QChar::toUpper(char32_t(c))));
      }
    }
    return out;
  } catch (...) {
    return QString();
  }
}

bool FileReadable(const QString& path) {
  try {
    const QByteArray native = NativePath(path);
    if (native.isEmpty()) return false;
    // Look before opening: opening a FIFO or a device may block or have side effects.
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular;
  } catch (...) {
    return false;
  }
}

}  // namespace orvex2
