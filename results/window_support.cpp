// Window helpers shared by the child windows, dialogs and the main window.
#include "results/window_support.h"

#include <QApplication>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QWidget>
#include <cmath>
#include <cstdlib>

namespace orvex2 {

int TwipsToPixels(double twips) { return static_cast<int>(std::lround(twips / 15.0)); }
double PixelsToTwips(int pixels) { return pixels * 15.0; }

QFont SharedFont() {
  static const bool substituted = [] {
    QFont::insertSubstitution(QStringLiteral("ＭＳ 明朝"), QStringLiteral("IPAMincho"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("IPAPMincho"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic"));
    return true;
  }();
  (void)substituted;
  const OptionRecord& o = Options();
  QFont font(o.Font_Name);
  if (o.Font_Size > 0) font.setPointSize(o.Font_Size);
  font.setBold(o.Font_Bold);
  font.setItalic(o.Font_Italic);
  return font;
}

void ApplySharedFont(std::initializer_list<QWidget*> widgets) {
  const QFont font = SharedFont();
  for (QWidget* w : widgets) {
    try {
      if (w != nullptr) w->setFont(font);
    } catch (...) {
    }
  }
}

namespace {
const QWidget* Frame(const QWidget* window) {
  if (window == nullptr) return nullptr;
  if (auto* sub = qobject_cast<const QMdiSubWindow*>(window->parentWidget())) return sub;
  return window;
}
}  // namespace

Geometry WindowGeometry(const QWidget* window) {
  Geometry g;
  const QWidget* w = Frame(window);
  if (w == nullptr) return g;
  const QRect r = w->isWindow() ? w->frameGeometry() : w->geometry();
  g.left = PixelsToTwips(r.x());
  g.top = PixelsToTwips(r.y());
  g.width = PixelsToTwips(r.width());
  g.height = PixelsToTwips(r.height());
  if (w->isWindow()) g.state = w->isMaximized() ? 2 : (w->isMinimized() ? 1 : 0);
  return g;
}

void ApplyWindowGeometry(QWidget* window, const Geometry& g) {
  QWidget* w = const_cast<QWidget*>(Frame(window));
  if (w == nullptr) return;
  const int width = std::max(1, TwipsToPixels(g.width));
  const int height = std::max(1, TwipsToPixels(g.height));
  if (w->isWindow()) {
    w->move(TwipsToPixels(g.left), TwipsToPixels(g.top));
    w->resize(width, height);
  } else {
    w->setGeometry(TwipsToPixels(g.left), TwipsToPixels(g.top), width, height);
  }
}

namespace {
std::function<void(const QString&)>& FailureHandler() {
  static std::function<void(const QString&)> handler;
  return handler;
}
}  // namespace

void SetLoadFailureHandler(std::function<void(const QString&)> handler) { FailureHandler() = std::move(handler); }

void LoadFailure(const QString& text) {
  if (FailureHandler()) {
    FailureHandler()(text);
    return;
  }
  QMessageBox::information(nullptr, QStringLiteral("Orvex2"), text, QMessageBox::Ok);
  std::exit(1);
}

}  // namespace orvex2
