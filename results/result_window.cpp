// Common frame of the history and passed-files windows.
#include "results/result_window.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QScreen>

#include "foundation/settings.h"
#include "results/menu_set.h"
#include "results/window_support.h"

namespace orvex2 {

ResultWindow::ResultWindow(const QString& geometryPrefix, QWidget* parent)
    : QWidget(parent), prefix_(geometryPrefix) {
  menuSet_ = new MenuSet(this);
  mnuPopup_ = new QMenu(QStringLiteral("Menu"), this);
  mnuPopup_->setObjectName(QStringLiteral("mnuPopup"));
}

void ResultWindow::Menu_Enabled(bool enabled) {
  try {
    menuSet_->SetEnabled(enabled);
  } catch (...) {
  }
}

void ResultWindow::Form_Resize() {
  if (list_ == nullptr) return;
  const double width = PixelsToTwips(this->width()) - 120;
  const double height = PixelsToTwips(this->height()) - 120;
  if (width <= 0) return;
  const int x = TwipsToPixels(60);
  const int y = TwipsToPixels(60);
  const int w = TwipsToPixels(width);
  if (height < 1) {
    list_->setGeometry(x, y, w, list_->height());
    return;
  }
  list_->setGeometry(x, y, w, TwipsToPixels(height));
}

void ResultWindow::Form_Unload(int mainWindowState) {
  try {
    SaveGeometry(prefix_, WindowKind::Child, WindowGeometry(this), mainWindowState);
  } catch (...) {
  }
}

bool ResultWindow::RestoreOwnGeometry() {
  if (Shared().autoRun || Options().Resize) return true;
  ScreenSize screen;
  if (const QScreen* s = QGuiApplication::primaryScreen()) {
    screen.width = PixelsToTwips(s->geometry().width());
    screen.height = PixelsToTwips(s->geometry().height());
  }
  const std::optional<Geometry> g = RestoreGeometry(prefix_, WindowKind::Child, WindowGeometry(this), screen);
  if (!g) return false;
  ApplyWindowGeometry(this, *g);
  return true;
}

void ResultWindow::ApplySharedFont() {
  const QFont font = SharedFont();
  setFont(font);
  if (list_ != nullptr) list_->setFont(font);
  Form_Resize();
}

void ResultWindow::PopupMenu(QMenu* menu, const QPoint& globalPos) { menu->exec(globalPos); }

void ResultWindow::contextMenuEvent(QContextMenuEvent* event) {
  event->accept();
  PopupMenu(mnuPopup_, event->globalPos());
}

void ResultWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Form_Resize();
}

}  // namespace orvex2
