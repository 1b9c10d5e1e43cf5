// The right button of the selection windows' lists.
#include "selection/popup_list.h"

#include <QMouseEvent>

namespace orvex2 {

void PopupList::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) {
    e->accept();
    return;
  }
  QListWidget::mousePressEvent(e);
}

void PopupList::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) {
    e->accept();
    return;
  }
  QListWidget::mouseReleaseEvent(e);
}

}  // namespace orvex2
