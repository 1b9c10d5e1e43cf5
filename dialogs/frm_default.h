// The default folders dialog frmDefault: picks one folder (start-up archive folder, quarantine
// folder or temporary folder, as the caller configures it) with a drive and a folder list.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QWidget;

namespace orvex2 {

class DriveList;
class FolderList;

class frmDefault : public QDialog {
  Q_OBJECT
 public:
  explicit frmDefault(QWidget* parent = nullptr);

  // Geometry (Default_*), font, captions, member reset. A failure ends the program.
  void Form_Load();
  // Writes Default_Left, _Top, _Width, _Height.
  void Form_Unload();
  // Closing with the close box unloads the dialog (position saved); the next use loads it again.
  void EnsureLoaded();
  bool loaded() const { return loaded_; }
  void SetFontData();
  void SetToolTip(bool blnToolTip);
  // pblnOk false, tool tips, the check box by pblnYukoMukouOk, btnOk disabled; modal until
  // OK or Cancel.
  void ShowModal();

  QString DirName() const;
  void DirName(const QString& strDirName);
  bool Yuko() const;
  void Yuko(bool blnYuko);
  void RefreshForm();
  // Places the controls: 60-twip margins and gaps, dlbDir takes the remaining height.
  void Form_Resize();

  // Where mnuInDir copies from (the folder browser's folder); empty when not set.
  void SetInDirSource(std::function<QString()> source) { inDirSource_ = std::move(source); }

  bool pblnOk = false;
  QString pstr_lblDrive_Caption;
  QString pstr_cbxDrive_Hint;
  QString pstr_drvDrive_Hint;
  QString pstr_dlbDir_Hint;
  QString pstr_txtDir_Hint;
  bool pblnYukoMukouOk = true;
  bool pblnDiskFreeOk = true;

  QCheckBox* cbxDrive;
  QLabel* lblDrive;
  DriveList* drvDrive;
  FolderList* dlbDir;
  QLineEdit* txtDir;
  QWidget* pnlDefault;
  QPushButton* btnOk;
  QPushButton* btnCancel;
  QMenu* mnuPopup;
  QAction* mnuInDir;
  QAction* mnuOutDir;
  QAction* mnuTmp;

 protected:
  void contextMenuEvent(QContextMenuEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void UpdateDisplay();
  // A popup entry: opens the folder; btnOk follows only when the folder changed.
  void CopyFolder(const QString& folder);
  void ApplyAvailability();
  std::function<QString()> inDirSource_;
  bool loaded_ = false;
};

}  // namespace orvex2
