// Moving a failing archive into the quarantine folder without ever losing it.
#pragma once

#include <QString>

namespace orvex2 {

enum class MoveOutcome {
  kMoved,         // the file now lives in the quarantine folder only
  kAlreadyThere,  // the quarantine folder is the file's own folder: nothing to do
  kCopyFailed,    // nothing changed: the file is where it was (partial copies removed)
  kDeleteFailed,  // a copy is in the quarantine folder; the original could not be deleted
};

// The first name in `folder` not taken, from `fileName`: DATA.LZH, DATA (2).LZH, DATA (3).LZH...
QString FreeNameIn(const QString& folder, const QString& fileName);

// Moves `path` into `folder` under FreeNameIn(folder, file name). A rename when both are on the
// same file system; otherwise a copy to a temporary name in `folder` (".orvex2-move-XXXXXX",
// locked while written), flushed, renamed into place, then the original deleted. `movedTo`
// receives the final path when not kCopyFailed. Names are handled as their bytes.
// Temporary copies a killed run left in `folder` are removed first.
MoveOutcome MoveToQuarantine(const QString& path, const QString& folder, QString* movedTo = nullptr);

// Removes the temporary copies ".orvex2-move-XXXXXX" in `folder` that no running move holds
// (left by a killed run); only regular files of this user with exactly that form of name.
// Returns how many were removed.
int RemoveStaleMoveCopies(const QString& folder);

}  // namespace orvex2
