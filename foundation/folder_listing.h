// A folder's entries by their bytes: names that are not UTF-8 are listed like any other (Qt's own
// listing decodes names as UTF-8 and loses them).
#pragma once

#include <QString>
#include <QStringList>

namespace orvex2 {

struct FolderEntries {
  QStringList files;    // regular files (a link counts as what it leads to)
  QStringList folders;  // folders, "." and ".." left out
};

// The entries of `folder` as names (NameFromBytes); empty when it cannot be listed.
FolderEntries ListFolder(const QString& folder);

// True when `path` is a folder this user may list and enter.
bool UsableFolder(const QString& path);

// A ";"-free wildcard pattern ("*.LZH", "?.X") matched against a name, letter case ignored.
bool WildcardMatch(QStringView pattern, QStringView name);

// Sorts names by what people see (DisplayName), letter case ignored; equal ones by their bytes.
void SortForDisplay(QStringList& names);

}  // namespace orvex2
