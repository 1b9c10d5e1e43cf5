// The passed-files window mdiOutFile: full paths of the archives that passed, which the user can
// drag out of the program as a file list.
#pragma once

#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <functional>

#include "engine/ports.h"
#include "results/popup_list.h"
#include "results/result_window.h"

class QAction;
class QDrag;

namespace orvex2 {

class ListIndex;

// Drag data of the passed-files list: announces only text/uri-list and fills in the selected
// paths, in list order, when the drop target asks for them.
class PassedFilesMime : public QMimeData {
  Q_OBJECT
 public:
  explicit PassedFilesMime(QListWidget* list) : list_(list) {}
  QStringList formats() const override;
  bool hasFormat(const QString& mimeType) const override;
  // The selected entries, in list order.
  QStringList SelectedPaths() const;

 protected:
  QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

 private:
  QPointer<QListWidget> list_;
};

// lstOutFile: a drag source only. A left press over a non-empty list selects as usual and then
// starts the drag at once; the right button leaves the selection alone.
class PassedFilesList : public PopupList {
  Q_OBJECT
 public:
  // Runs a prepared drag with the allowed actions; the default is QDrag::exec.
  using DragRunner = std::function<void(QDrag* drag, Qt::DropActions actions)>;

  explicit PassedFilesList(QWidget* parent = nullptr);
  void SetDragRunner(DragRunner runner) { runner_ = std::move(runner); }
  void StartDrag();

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  DragRunner runner_;
};

class mdiOutFile : public ResultWindow, public PassedPort {
  Q_OBJECT
 public:
  static constexpr int kMaxEntries = 1000;

  explicit mdiOutFile(QWidget* parent = nullptr);

  void Form_Load();

  void SetToolTip(bool blnToolTip);
  void SetFontData();
  void SelectClear();
  void SelectAll();
  void ListInAdd(const QString& path) override;
  void Menu_Enabled(bool enabled) override { ResultWindow::Menu_Enabled(enabled); }

  // mnuRefresh: keeps the entries still readable on disk, in their on-disk spelling.
  void RefreshList();
  // mnuDel: removes every entry.
  void DeleteAll();

  PassedFilesList* lstOutFile = nullptr;
  QAction* mnuDel = nullptr;
  QAction* mnuRefresh = nullptr;
  QAction* mnuAll = nullptr;
  QAction* mnuClear = nullptr;

 private:
  ListIndex* index_ = nullptr;  // the entries, for the duplicate test
};

}  // namespace orvex2
