// The folder alias maintenance dialog frmMenuMente: renames, reorders and deletes a working copy
// of the folder browser's aliases, handed back only when confirmed.
#pragma once

#include <QDialog>
#include <QString>
#include <array>

#include "selection/mdi_in_dir.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace orvex2 {

class frmMenuMente : public QDialog, public AliasMaintenance {
  Q_OBJECT
 public:
  static constexpr int kPositions = 10;

  explicit frmMenuMente(QWidget* parent = nullptr);

  // Position (MenuMente_*), font, captions, tool tips, empty working copy. A failure ends the
  // program.
  void Form_Load();
  // Writes MenuMente_Left and MenuMente_Top.
  void Form_Unload();
  void SetFontData();
  void SetToolTip(bool blnToolTip);
  void ShowModal();

  void Set_Menu(int index, const QString& name, const QString& dir) override;
  void Get_Menu(int index, QString& name, QString& dir) const override;
  int MenuCount() const override;
  // The folder kind for the caption, then ShowModal; the confirm flag.
  bool ShowFor(const QString& folderKind) override;

  void btnName_Click();
  void btnUp_Click();
  void btnDown_Click();
  void btnDel_Click();
  void btnDelAll_Click();

  bool pblnOk = false;        // closed with btnOk
  QString pstr_FolderKind;    // "圧縮ファイル格納フォルダ" and the like, for the caption

  QListWidget* lbxMenu;
  QLineEdit* txtDir;
  QPushButton *btnName, *btnUp, *btnDown, *btnDel, *btnDelAll, *btnOk, *btnCancel;

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  // The rename question; empty on Cancel. Tests override it.
  virtual QString AskName(const QString& current);
  virtual void ShowMessage(const QString& text);

 private:
  void ShowFolder();
  void UpdateEnabled();
  std::array<QString, kPositions> names_;
  std::array<QString, kPositions> dirs_;
};

}  // namespace orvex2
