// Check results to verdict lines and classes.
#include "engine/verdict.h"

#include "engine/ports.h"
#include "foundation/messages.h"

namespace orvex2 {

namespace {
constexpr int kFirstLibraryCode = 0x8005;
constexpr int kLastLibraryCode = 0x802B;
constexpr int kFirstLibraryText = 20047;
}  // namespace

QString VerdictLine(int result) {
  if (result == result::kPassed) return ProductText(20040);
  if (result >= 1 && result <= result::kMaxSkipped) {
    return ProductText(20041) + QLatin1Char(' ') + QString::number(result) + ProductText(20042);
  }
  switch (result) {
    case result::kNotTarget: return ProductText(20043);
    case result::kNoSfx: return ProductText(20044);
    case result::kFinalCrc: return ProductText(20045);
    case result::kSimpleCrc: return ProductText(20046);
    default: break;
  }
  if (result >= kFirstLibraryCode && result <= kLastLibraryCode) {
    return ProductText(kFirstLibraryText + (result - kFirstLibraryCode));
  }
  return ProductText(20086);
}

int VerdictClass(int result) {
  if (result >= 0 && result <= result::kMaxSkipped) return kClassPassed;
  if (result == result::kCancel) return kClassCancelled;
  return kClassFailed;
}

int ResultText(int result) {
  const QString line = VerdictLine(result);
  if (!line.isEmpty() && Ports().history != nullptr) Ports().history->ListInAdd(line);
  return VerdictClass(result);
}

int MoveSwitchFor(int result) {
  if (result == result::kPassed) return -1;
  if (result == result::kNoSfx) return 1;
  if (result >= 1 && result <= result::kMaxSkipped) return 2;
  return 0;
}

}  // namespace orvex2
