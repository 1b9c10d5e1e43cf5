// The folder browser window mdiInDir: a drive list, the folder list of the current drive and
// the current folder as text; its folder is the one the file browser lists.
#pragma once

#include <QString>
#include <QWidget>

class QAction;
class QLineEdit;
class QMenu;

namespace orvex2 {

class DriveList;
class FolderList;
class MenuSet;

class mdiInDir : public QWidget {
  Q_OBJECT
 public:
  explicit mdiInDir(QWidget* parent = nullptr);

  // Reads Dir_In, Dir_In_Yuko, OldDir_In and opens the start folder; outside an automatic run
  // also geometry (InDir_*), font, captions and tool tips. A failure ends the program.
  void Form_Load();
  // Outside an automatic run: geometry (when the main window is normal and Resize is off) and
  // the folder keys Dir_In, Dir_In_Yuko, OldDir_In.
  void Form_Unload(int mainWindowState);

  // The current folder in long-name form; empty on failure.
  QString DirName() const;
  // Opens a folder; an unusable one falls back to the process's current folder.
  void DirName(const QString& strDirName);
  // Re-reads the drive and folder lists, then shows the folder and tells the file browser.
  void RefreshForm();
  void Menu_Enabled(bool enabled);
  void SetFontData();
  void SetToolTip(bool blnToolTip);
  void FocusDrive();

  MenuSet* menuSet() const { return menuSet_; }

  DriveList* drvDrive;
  FolderList* dlbDir;
  QLineEdit* txtDir;
  QMenu* mnuPopup;
  QAction* mnuRefresh;

 signals:
  // The folder shown changed: the file browser's DirName.
  void dirChanged(const QString& strDirName);

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FolderChanged();
  void DriveChosen(const QString& root);
  void LayoutControls();

  MenuSet* menuSet_;
};

}  // namespace orvex2
