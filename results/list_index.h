// Constant-time duplicate checks for a list widget whose entries must be unique: a hash of the
// entries' keys that follows the owner's own appends and is rebuilt after any other change.
#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

class QListWidget;

namespace orvex2 {

class ListIndex : public QObject {
  Q_OBJECT
 public:
  // `key` gives the key of row i (its text unless the owner says otherwise).
  ListIndex(QListWidget* list, std::function<QString(int row)> key);

  bool Contains(const QString& key);
  // Runs `append`, which adds the entry `key` at the end of the list, and remembers the key.
  void Append(const QString& key, const std::function<void()>& append);

 private:
  void Invalidate();

  QListWidget* list_;
  std::function<QString(int)> key_;
  QSet<QString> keys_;
  bool valid_ = false;
  bool appending_ = false;
};

}  // namespace orvex2
