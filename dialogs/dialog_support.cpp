// Geometry and font helpers of the dialogs.
#include "dialogs/dialog_support.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "results/window_support.h"

namespace orvex2 {

ScreenSize PrimaryScreenTwips() {
  ScreenSize s;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    s.width = PixelsToTwips(screen->geometry().width());
    s.height = PixelsToTwips(screen->geometry().height());
  }
  return s;
}

bool RestoreDialogGeometry(QWidget* dialog, const QString& prefix, WindowKind kind) {
  const std::optional<Geometry> g = RestoreGeometry(prefix, kind, WindowGeometry(dialog), PrimaryScreenTwips());
  if (!g) return false;
  if (kind == WindowKind::DialogPos) {
    dialog->move(TwipsToPixels(g->left), TwipsToPixels(g->top));
  } else {
    ApplyWindowGeometry(dialog, *g);
  }
  return true;
}

void SaveDialogGeometry(const QWidget* dialog, const QString& prefix, WindowKind kind) {
  try {
    SaveGeometry(prefix, kind, WindowGeometry(dialog), 0);
  } catch (...) {
  }
}

}  // namespace orvex2
