// A list box whose right button only opens the owner's popup: the selection and the current
// entry stay as the user left them (the delete and add buttons and Enter work from them).
#pragma once

#include <QListWidget>

class QMouseEvent;

namespace orvex2 {

class PopupList : public QListWidget {
  Q_OBJECT
 public:
  using QListWidget::QListWidget;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
};

}  // namespace orvex2
