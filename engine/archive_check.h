// Checking one archive in one of the three modes.
#pragma once

#include <QString>

namespace orvex2 {

enum CheckMode { kModeSimple = 0, kModeNormal = 1, kModeDetailed = 2 };

// Return values: drop the entry (passed or moved away), keep it, stop the run.
constexpr int kCheckDrop = 0;
constexpr int kCheckKeep = 1;
constexpr int kCheckStop = -1;

// Writes the archive's block of lines to the history, lists a passed archive in the passed-files
// window, and in the detailed mode may move a failing one to the quarantine folder.
// `verdictClass`, when given, receives the verdict class (0 passed, 1 failed, -1 cancelled; 1 also
// for an unexpected failure and for an archive sent to the quarantine folder).
int ArchiveCheck(const QString& path, int mode, int* verdictClass = nullptr);

}  // namespace orvex2
