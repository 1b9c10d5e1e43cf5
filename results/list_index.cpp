// The key hash of a list widget, kept in step with the model's changes.
#include "results/list_index.h"

#include <QAbstractItemModel>
#include <QListWidget>

namespace orvex2 {

ListIndex::ListIndex(QListWidget* list, std::function<QString(int row)> key)
    : QObject(list), list_(list), key_(std::move(key)) {
  QAbstractItemModel* m = list->model();
  // Any change the owner did not announce through Append: the hash is rebuilt on next use.
  connect(m, &QAbstractItemModel::rowsInserted, this, &ListIndex::Invalidate);
  connect(m, &QAbstractItemModel::rowsRemoved, this, &ListIndex::Invalidate);
  connect(m, &QAbstractItemModel::rowsMoved, this, &ListIndex::Invalidate);
  connect(m, &QAbstractItemModel::dataChanged, this, &ListIndex::Invalidate);
  connect(m, &QAbstractItemModel::modelReset, this, &ListIndex::Invalidate);
  connect(m, &QAbstractItemModel::layoutChanged, this, &ListIndex::Invalidate);
}

void ListIndex::Invalidate() {
  if (appending_) return;
  valid_ = false;
  keys_.clear();
}

bool ListIndex::Contains(const QString& key) {
  if (!valid_) {
    const int n = list_->count();
    keys_.reserve(n);
    for (int i = 0; i < n; ++i) keys_.insert(key_(i));
    valid_ = true;
  }
  return keys_.contains(key);
}

void ListIndex::Append(const QString& key, const std::function<void()>& append) {
  appending_ = true;
  try {
    append();
  } catch (...) {
    appending_ = false;
    Invalidate();
    throw;
  }
  appending_ = false;
  if (valid_) keys_.insert(key);
}

}  // namespace orvex2
