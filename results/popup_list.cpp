// The list box of every window: right button, full-text tool tips, widest-row width, indentation.
#include "results/popup_list.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>

namespace orvex2 {

// Draws a row its indentation steps in and reports every row as wide as the widest one, so
// that a list with uniform row sizes (which measures one sample row) still scrolls to the end
// of its longest row.
class PopupList::RowDelegate : public QStyledItemDelegate {
 public:
  explicit RowDelegate(PopupList* list) : QStyledItemDelegate(list), list_(list) {}

  // The row's own width: its text, icon and indentation.
  int OwnWidth(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return QStyledItemDelegate::sizeHint(option, index).width() + Indent(index);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setWidth(std::max(size.width() + Indent(index), list_->widest_));
    return size;
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int indent = Indent(index);
    if (indent == 0) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    QStyleOptionViewItem shifted(option);
    shifted.rect.setLeft(option.rect.left() + indent);
    QStyledItemDelegate::paint(painter, shifted, index);
  }

 private:
  int Indent(const QModelIndex& index) const {
    return std::max(0, index.data(kIndentRole).toInt()) * list_->IndentStep();
  }

  PopupList* list_;
};

PopupList::PopupList(QWidget* parent) : QListWidget(parent), delegate_(new RowDelegate(this)) {
  setItemDelegate(delegate_);
}

int PopupList::IndentStep() const { return std::max(8, fontMetrics().averageCharWidth() * 2); }

int PopupList::RowWidth(int row) const {
  const QModelIndex index = model()->index(row, 0);
  if (!index.isValid()) return 0;
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  return delegate_->OwnWidth(option, index);
}

void PopupList::Measure(int first, int last) {
  const int n = count();
  for (int row = std::max(0, first); row <= last && row < n; ++row) widest_ = std::max(widest_, RowWidth(row));
}

void PopupList::rowsInserted(const QModelIndex& parent, int start, int end) {
  Measure(start, end);
  QListWidget::rowsInserted(parent, start, end);
}

void PopupList::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) {
  if (roles.isEmpty() || roles.contains(Qt::DisplayRole) || roles.contains(kIndentRole))
    Measure(topLeft.row(), bottomRight.row());
  QListWidget::dataChanged(topLeft, bottomRight, roles);
}

void PopupList::reset() {
  widest_ = 0;
  QListWidget::reset();
  Measure(0, count() - 1);
}

void PopupList::changeEvent(QEvent* e) {
  if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange) {
    widest_ = 0;
    Measure(0, count() - 1);
  }
  QListWidget::changeEvent(e);
}

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

bool PopupList::viewportEvent(QEvent* e) {
  if (e->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(e);
    const QModelIndex index = indexAt(help->pos());
    if (index.isValid()) {
      const QRect rect = visualRect(index);
      const bool cut = rect.left() < 0 || rect.left() + RowWidth(index.row()) > viewport()->width();
      if (cut) {
        QToolTip::showText(help->globalPos(), index.data(Qt::DisplayRole).toString(), viewport(), rect);
        return true;
      }
    }
    // Rows that show whole: the list's own tool tip.
  }
  return QListWidget::viewportEvent(e);
}

}  // namespace orvex2
