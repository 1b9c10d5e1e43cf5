// Tab order across the panes of the main window.
#include "app/pane_focus.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QWidget>

namespace orvex2 {

namespace {

bool TakesTabFocus(const QWidget* w) {
  return (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && w->isVisible() && w->isEnabled() &&
         w->focusProxy() == nullptr;
}

}  // namespace

PaneFocus::PaneFocus(QObject* parent, std::function<QList<QWidget*>()> panes)
    : QObject(parent), panes_(std::move(panes)) {
  qApp->installEventFilter(this);
}

QWidget* PaneFocus::PaneOf(const QWidget* w) const {
  if (w == nullptr) return nullptr;
  for (QWidget* pane : panes_())
    if (pane != nullptr && (pane == w || pane->isAncestorOf(w))) return pane;
  return nullptr;
}

QList<QWidget*> PaneFocus::Chain() const {
  QList<QWidget*> chain;
  for (QWidget* pane : panes_()) {
    if (pane == nullptr || !pane->isVisible() || !pane->isEnabled()) continue;
    // The window's focus chain is one ring; take this pane's part of it in ring order.
    QWidget* w = pane;
    do {
      if (w != pane && pane->isAncestorOf(w) && TakesTabFocus(w)) chain << w;
      w = w->nextInFocusChain();
    } while (w != nullptr && w != pane);
  }
  return chain;
}

bool PaneFocus::Move(QWidget* from, bool forward) {
  QWidget* pane = PaneOf(from);
  if (pane == nullptr) return false;
  const QList<QWidget*> chain = Chain();
  if (chain.isEmpty()) return true;
  qsizetype at = chain.indexOf(from);
  if (at < 0) {
    // A control Tab does not visit (a list's viewport, a label): go on from its pane's edge.
    qsizetype first = -1, last = -1;
    for (qsizetype i = 0; i < chain.size(); ++i) {
      if (PaneOf(chain[i]) != pane) continue;
      if (first < 0) first = i;
      last = i;
    }
    at = forward ? last : (first < 0 ? 0 : first);
  }
  const qsizetype n = chain.size();
  QWidget* next = chain[((forward ? at + 1 : at - 1) % n + n) % n];
  for (QWidget* p = next->parentWidget(); p != nullptr; p = p->parentWidget()) {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(p)) {
      if (sub->mdiArea() != nullptr) sub->mdiArea()->setActiveSubWindow(sub);
      break;
    }
  }
  next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

bool PaneFocus::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
    if (tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) &&
        watched == QApplication::focusWidget()) {
      const bool forward = key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier);
      if (Move(QApplication::focusWidget(), forward)) return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace orvex2
