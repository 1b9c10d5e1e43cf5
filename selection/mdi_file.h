// The target list window mdiFile: the archives a run will check, at most 1000, unique, in the
// order they were added, with the selection the batch run uses as its working mark.
#pragma once

#include "results/popup_list.h"

#include <QListWidget>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "engine/ports.h"

class QAction;
class QMenu;
class QPushButton;

namespace orvex2 {

class ListIndex;
class MenuSet;

// Design sizes of the window's controls, in twips.
inline constexpr double kFileDelButtonWidth = 480;
inline constexpr double kFileDelButtonHeight = 375;

struct TwipsRect {
  double left = 0, top = 0, width = 0, height = 0;
};

// Layout of the window's inner area W x H (twips). `moved` is false when W is too narrow to
// move anything; `listSized` is false when the list keeps its height (too little room).
struct FileLayout {
  bool moved = false;
  bool listSized = false;
  TwipsRect list, del, delAll;
};
FileLayout ComputeFileLayout(double innerWidth, double innerHeight, double currentListHeight);

// lstFile: a list box that hands dropped file lists, the Enter and Delete keys and the context
// menu to its window.
class FileListBox : public PopupList {
  Q_OBJECT
 public:
  explicit FileListBox(QWidget* parent = nullptr);

 signals:
  void filesDropped(const QStringList& names);
  void enterPressed();
  void deletePressed();
  void popupRequested(const QPoint& globalPos);

 protected:
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
};

class mdiFile : public QWidget, public TargetListPort {
  Q_OBJECT
 public:
  static constexpr int kMaxEntries = 1000;

  explicit mdiFile(QWidget* parent = nullptr);
  ~mdiFile() override;

  // Restores the geometry (File_*), font, captions and tool tips; on failure the load-failure
  // box ends the program. Does nothing more during an automatic run.
  void Form_Load();
  // Saves File_* when the main window is normal (state 0), Resize is off and no automatic run
  // is in progress.
  void Form_Unload(int mainWindowState);

  // Adds one full path. Duplicates are ignored (true); the 1001st entry is refused with the
  // capacity message (false).
  bool ListInAdd(const QString& path);
  // Adds a name from outside (drop, command line) after normalising and filtering it; false
  // only when ListInAdd refused it.
  bool Gaibu_ListInAdd(const QString& name);
  // What a drop of a file list does: each name through Gaibu_ListInAdd until the list is
  // full, then listChanged().
  void DropFiles(const QStringList& names);
  // Removes every entry without notifying the main window.
  void RefreshForm();

  void SetFontData();
  void SetToolTip(bool blnToolTip);

  // Button and menu handlers.
  void btnDel_Click();
  void btnDelAll_Click();
  void mnuInCopy_Click();

  // TargetListPort: what the batch run uses.
  int Count() const override;
  QString Text(int i) const override;
  bool Selected(int i) const override;
  void SetSelected(int i, bool selected) override;
  void Remove(int i) override;
  void SetTopIndex(int i) override;
  void Repaint() override;
  void SelectAll() override;
  void SelectClear() override;
  void Menu_Enabled(bool enabled) override;

  // Where the capacity message goes; null (the default): a message box titled "Orvex2".
  void SetMessagePort(MessagePort* port) { messagePort_ = port; }

  // This window's own copy of the shared menu, for the frame's menu bar.
  MenuSet* menuSet() const { return menuSet_; }

  FileListBox* lstFile;
  QPushButton* btnDel;
  QPushButton* btnDelAll;
  QMenu* mnuPopup;
  QAction* mnuAll;
  QAction* mnuClear;
  QAction* mnuInCopy;

 signals:
  // The user changed the list (delete, delete all, drop): the main window's BtnEnabledChange.
  void listChanged();
  // mnuInCopy: the folder browser is to show this folder (its DirName).
  void dirNameRequested(const QString& strDirName);
  // Enter in lstFile: the keyboard focus goes to the history list lstKekka.
  void historyFocusRequested();

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  void ShowCapacityMessage();
  void LayoutControls();
  void ShowPopup(const QPoint& globalPos);

  MenuSet* menuSet_;
  ListIndex* index_;  // the entries, for the duplicate test
  int topIndex_ = 0;  // SetTopIndex's entry, until the view has scrolled to it
  bool topPending_ = false;
  MessagePort* messagePort_ = nullptr;
};

}  // namespace orvex2
