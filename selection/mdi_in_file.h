// The file browser window mdiInFile: the archives of one folder, by the archive name filter's
// pattern, and the buttons that put them on the target list.
#pragma once

#include "results/popup_list.h"
#include "selection/folder_lists.h"

#include <QListWidget>
#include <QString>
#include <QStringList>
#include <QWidget>

class QAction;
class QMenu;
class QPushButton;

namespace orvex2 {

class MenuSet;
class mdiFile;

// filFile: the regular, non-hidden files of a folder matching ";"-separated wildcard patterns,
// case-insensitively, sorted by name; extended selection.
class FileNameList : public PopupList {
  Q_OBJECT
 public:
  explicit FileNameList(QWidget* parent = nullptr);
  void SetPattern(const QString& pattern);
  QString Pattern() const { return pattern_; }
  // Points the list at a folder; false when it cannot be listed.
  bool SetPath(const QString& folder);
  QString Path() const { return path_; }
  // Re-reads the folder when it, its content or the pattern changed since the last reading, or
  // always with `force`. A new reading of the same folder keeps the scroll position.
  void Refresh(bool force = false);
  // The exact name of a row (the row shows it decoded).
  QString NameAt(int row) const;
  // The matching file names of a folder for a pattern, exact (bytes kept), in display order.
  static QStringList Names(const QString& folder, const QString& pattern);

 signals:
  void enterPressed();

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  QString pattern_;
  QString path_;
  FolderStamp read_;  // what the names were last read from, with `readPattern_`
  QString readPattern_;
};

class mdiInFile : public QWidget {
  Q_OBJECT
 public:
  explicit mdiInFile(QWidget* parent = nullptr);

  // Outside an automatic run: geometry (InFile_*), font, captions, tool tips. A failure ends
  // the program.
  void Form_Load();
  void Form_Unload(int mainWindowState);

  // The target list the add buttons fill.
  void SetTargetList(mdiFile* list) { target_ = list; }

  void Pattern_Make();
  void FilePattern(const QString& pattern);
  QString DirName() const;
  // Lists a folder; one that cannot be shown falls back to the process's current folder.
  void DirName(const QString& strDirName);
  void RefreshForm();
  void SelectAll();
  void SelectClear();
  bool Exp_Check(const QString& name) const;
  void Menu_Enabled(bool enabled);
  void SetFontData();
  void SetToolTip(bool blnToolTip);

  void btnAdd_Click();
  void btnAddAll_Click();
  void btnAddAllAll_Click();

  MenuSet* menuSet() const { return menuSet_; }

  FileNameList* filFile;
  QPushButton* btnAdd;
  QPushButton* btnAddAll;
  QPushButton* btnAddAllAll;
  QMenu* mnuPopup;
  QAction* mnuRefresh;
  QAction* mnuAll;
  QAction* mnuClear;

 signals:
  // Entries were offered to the target list: the main window's BtnEnabledChange.
  void targetsChanged();
  // Enter in filFile: the focus goes to the target list.
  void targetFocusRequested();

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  // Adds `names` of `folder` in order. With `onlySelected` the names are filFile's rows: only
  // selected ones are taken and each handled one is deselected. False when the target list
  // refused an entry (full); that name and the later ones keep their selection.
  bool AddNames(const QString& folder, const QStringList& names, bool onlySelected);
  void LayoutControls();

  MenuSet* menuSet_;
  mdiFile* target_ = nullptr;
};

}  // namespace orvex2
