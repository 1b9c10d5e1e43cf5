// Verdict texts: the single place where check results get their words and their class.
#pragma once

#include <QString>

namespace orvex2 {

// Results of one archive check (besides 0 passed, 1..0x7FFF skipped, 0x8000+ library codes).
namespace result {
constexpr int kPassed = 0;
constexpr int kMaxSkipped = 0x7FFF;
constexpr int kNotTarget = -1;
constexpr int kNoSfx = -2;         // .EXE / .X that no enabled family recognises
constexpr int kFinalCrc = -3;      // final CRC check of the detailed mode failed
constexpr int kSimpleCrc = -4;     // CRC check of the simple mode failed
constexpr int kBusy = 0x801F;
constexpr int kCancel = 0x8020;
}  // namespace result

// Verdict classes.
constexpr int kClassPassed = 0;
constexpr int kClassFailed = 1;
constexpr int kClassCancelled = -1;

QString VerdictLine(int result);
int VerdictClass(int result);

// Appends the verdict line to the history and returns the verdict class.
int ResultText(int result);

// Which quarantine switch (Move index 0, 1, 2) governs a non-zero result; -1 for 0.
int MoveSwitchFor(int result);

}  // namespace orvex2
