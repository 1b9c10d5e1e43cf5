// Message boxes of the program, and what becomes of them where nobody can answer one: without a
// display (the offscreen or minimal platform), and during `--auto`, the text goes to standard
// error instead and a question takes its default answer.
#pragma once

#include <QString>

#include "engine/ports.h"

namespace orvex2 {

// Set by main() when the program runs on a platform nobody can see (offscreen, minimal).
void SetHeadless(bool headless);
bool Headless();
// Set for the length of `--auto`: no box may open even with a display.
void SetBoxesToStandardError(bool toStandardError);
// True when a box would go to standard error.
bool BoxesToStandardError();

// An OK box titled "Orvex2".
void ShowMessage(const QString& text);
// A Yes/No box titled "Orvex2" whose default answer is No; true on Yes.
bool AskYesNo(const QString& text);

// Without a display: every dialog that opens anyway (a box some window raises on its own) has its
// text written to standard error and is closed at once with its default answer, so nothing waits
// for a click that cannot come. Also makes the load-failure box of every window a line on
// standard error. Installed by main() when Headless().
void InstallHeadlessDialogGuard();

// Writes "orvex2: <text>" and a line end to standard error, control characters escaped.
void PrintError(const QString& text);

// The engine's message port over ShowMessage.
class AppMessagePort : public MessagePort {
 public:
  void Message(const QString& text) override { ShowMessage(text); }
};

}  // namespace orvex2
