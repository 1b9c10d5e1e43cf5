// The folder browser window mdiInDir: a drive list, the folder list of the current drive and
// the current folder as text; its folder is the one the file browser lists.
#pragma once

#include <QString>
#include <QWidget>
#include <array>

class QAction;
class QLineEdit;
class QMenu;

namespace orvex2 {

class DriveList;
class FolderList;
class MenuSet;

// The folder alias maintenance dialog as the folder browser drives it.
class AliasMaintenance {
 public:
  virtual ~AliasMaintenance() = default;
  virtual void Set_Menu(int index, const QString& name, const QString& dir) = 0;
  virtual void Get_Menu(int index, QString& name, QString& dir) const = 0;
  virtual int MenuCount() const = 0;
  // Shows the dialog modally for a folder kind; true when the user confirmed.
  virtual bool ShowFor(const QString& folderKind) = 0;
};

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

  // Folder aliases: at most ten pairs of name and folder, kept in the popup menu.
  static constexpr int kAliases = 10;
  void SetAliasMaintenance(AliasMaintenance* dialog) { mente_ = dialog; }
  int AliasLast() const { return last_; }  // index of the last alias, -1 for none
  QString AliasName(int i) const { return i >= 0 && i <= last_ ? names_[i] : QString(); }
  QString AliasDir(int i) const { return i >= 0 && i <= last_ ? dirs_[i] : QString(); }
  void mnuAdd_Click();
  void mnuMente_Click();
  void mnuAddDir_Click(int index);

  MenuSet* menuSet() const { return menuSet_; }

  DriveList* drvDrive;
  FolderList* dlbDir;
  QLineEdit* txtDir;
  QMenu* mnuPopup;
  QAction* mnuRefresh;
  QAction* mnuAdd;
  QAction* mnuMente;
  QAction* mnuBar;
  std::array<QAction*, kAliases> mnuAddDir{};

 signals:
  // The folder shown changed: the file browser's DirName.
  void dirChanged(const QString& strDirName);

 protected:
  // The alias name question (input box); empty on Cancel. Tests override it.
  virtual QString AskAliasName(const QString& prompt, const QString& title, const QString& proposal);
  virtual void ShowMessage(const QString& text);

  void resizeEvent(QResizeEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FolderChanged();
  void DriveChosen(const QString& root);
  void LayoutControls();
  void LoadAliases(const QString& app);
  void SaveAliases();
  void ShowAliases();

  MenuSet* menuSet_;
  AliasMaintenance* mente_ = nullptr;
  std::array<QString, kAliases> names_;
  std::array<QString, kAliases> dirs_;
  int last_ = -1;
};

}  // namespace orvex2
