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
// same file system; otherwise a copy to a temporary name in `folder`, flushed, renamed into place,
// then the original deleted. `movedTo` receives the final path when not kCopyFailed.
MoveOutcome MoveToQuarantine(const QString& path, const QString& folder, QString* movedTo = nullptr);

}  // namespace orvex2
