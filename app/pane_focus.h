// Tab and Shift+Tab across the panes of the main window. A child window is a sub-window, where
// Qt keeps the focus circling inside it; here the keys walk the controls of one pane and then go
// on to the next pane, in the order the panes are given, and round again.
#pragma once

#include <QList>
#include <QObject>
#include <functional>

class QWidget;

namespace orvex2 {

class PaneFocus : public QObject {
  Q_OBJECT
 public:
  // `panes` gives the pane widgets in Tab order (null entries are passed over); it is asked
  // again on every key, so panes may come and go. Watches the keys of the whole application
  // for as long as it lives, acting only while the focus is inside one of the panes.
  PaneFocus(QObject* parent, std::function<QList<QWidget*>()> panes);

  // The controls the keys visit, in order: each pane's enabled, visible controls that take the
  // focus by Tab, in the pane's own focus order.
  QList<QWidget*> Chain() const;
  // Moves the focus from `from` to the next (or previous) control, bringing its sub-window
  // forward; false when `from` lies in no pane.
  bool Move(QWidget* from, bool forward);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* PaneOf(const QWidget* w) const;

  std::function<QList<QWidget*>()> panes_;
};

}  // namespace orvex2
