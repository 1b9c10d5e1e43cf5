// Message boxes of the program, and what becomes of them without a display: on the offscreen
// platform chosen because no display exists nobody could answer a box, so the text goes to
// standard error instead (and a question is asked on the terminal, or answered No).
#pragma once

#include <QString>

#include "engine/ports.h"

namespace orvex2 {

// Set by main() when the program fell back to the offscreen platform for want of a display.
void SetHeadless(bool headless);
bool Headless();

// An OK box titled "Orvex2".
void ShowMessage(const QString& text);
// A Yes/No box titled "Orvex2"; true on Yes.
bool AskYesNo(const QString& text);

// The engine's message port over ShowMessage.
class AppMessagePort : public MessagePort {
 public:
  void Message(const QString& text) override { ShowMessage(text); }
};

}  // namespace orvex2
