// The list box of every window: the right button only opens the owner's popup (the selection and
// the current entry stay as the user left them, so a selection prepared for the delete button or
// a drag survives), a row too wide for the list shows its full text as its tool tip, and the
// horizontal scroll range covers the widest row even with uniform row sizes.
#pragma once

#include <QListWidget>

class QMouseEvent;

namespace orvex2 {

class PopupList : public QListWidget {
  Q_OBJECT
 public:
  // Item data role holding a row's indentation level (int); rows are drawn that many steps in.
  static constexpr int kIndentRole = Qt::UserRole + 64;

  explicit PopupList(QWidget* parent = nullptr);

  // Width in pixels of the widest row since the list was last emptied.
  int WidestRow() const { return widest_; }
  // Width a row needs to show its whole text.
  int RowWidth(int row) const;
  // One indentation step in pixels.
  int IndentStep() const;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  bool viewportEvent(QEvent* e) override;
  void changeEvent(QEvent* e) override;
  void rowsInserted(const QModelIndex& parent, int start, int end) override;
  void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                   const QList<int>& roles = QList<int>()) override;
  void reset() override;

 private:
  class RowDelegate;
  void Measure(int first, int last);

  RowDelegate* delegate_;
  int widest_ = 0;
};

}  // namespace orvex2
