// Folder listing, wildcard matching and display order on names kept as bytes.
#include "foundation/folder_listing.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/names.h"

namespace orvex2 {

FolderEntries ListFolder(const QString& folder) {
  FolderEntries entries;
  QByteArray dir = NameToBytes(folder);
  if (dir.isEmpty()) return entries;
  if (!dir.endsWith('/')) dir += '/';
  DIR* d = ::opendir(dir.constData());
  if (d == nullptr) return entries;
  while (const dirent* e = ::readdir(d)) {
    const QByteArray name(e->d_name);
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::stat((dir + name).constData(), &st) != 0) continue;
    if (S_ISREG(st.st_mode)) entries.files << NameFromBytes(name);
    else if (S_ISDIR(st.st_mode)) entries.folders << NameFromBytes(name);
  }
  ::closedir(d);
  return entries;
}

bool UsableFolder(const QString& path) {
  const QByteArray native = NameToBytes(path);
  struct stat st {};
  return !native.isEmpty() && ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
         ::access(native.constData(), R_OK | X_OK) == 0;
}

bool WildcardMatch(QStringView pattern, QStringView name) {
  auto same = [](QChar a, QChar b) { return a == b || a.toCaseFolded() == b.toCaseFolded(); };
  qsizetype p = 0, n = 0, star = -1, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == QLatin1Char('?') || same(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (star >= 0) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == QLatin1Char('*')) ++p;
  return p == pattern.size();
}

void SortForDisplay(QStringList& names) {
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int c = DisplayName(a).compare(DisplayName(b), Qt::CaseInsensitive);
    return c != 0 ? c < 0 : NameToBytes(a) < NameToBytes(b);
  });
}

}  // namespace orvex2
