// The options dialog frmOption: edits the option record (families, file kinds, double
// compression, quarantine moves, the automatic run, child resizing, tool tips).
#pragma once

#include <QDialog>
#include <array>

class QCheckBox;
class QPushButton;
class QRadioButton;
class QWidget;

namespace orvex2 {

class frmOption : public QDialog {
  Q_OBJECT
 public:
  explicit frmOption(QWidget* parent = nullptr);

  // Position (Option_*), font, captions, tool tips, library availability. A failure ends the
  // program.
  void Form_Load();
  // Writes Option_Left and Option_Top.
  void Form_Unload();
  // Closing with the close box unloads the dialog (position saved); the next use loads it again.
  void EnsureLoaded();
  bool loaded() const { return loaded_; }
  void SetFontData();
  void SetToolTip(bool blnToolTip);
  // Loads the record, disables btnOk, shows modally until OK or Cancel.
  void ShowModal();

  void LoadFromRecord();
  void StoreToRecord();
  void ApplyDefaults();

  QCheckBox *ckbLZH, *ckbLZH_EXE, *ckbLZH_X, *ckbLZH_LHA;
  QCheckBox *ckbZIP, *ckbZIP_EXE;
  QCheckBox *ckbARJ, *ckbARJ_EXE;
  QCheckBox *ckbCAB, *ckbCAB_EXE;
  QCheckBox* ckbDouble;
  QCheckBox* ckbMove;
  std::array<QCheckBox*, 3> ckbMoveOpt{};
  QCheckBox* ckbAuto;
  std::array<QRadioButton*, 3> obtExe{};
  QCheckBox* ckbLog;
  QCheckBox* ckbResize;
  QCheckBox* ckbTip;
  QWidget *pnlLZH, *pnlZIP, *pnlARJ, *pnlCAB, *pnlMove, *pnlAuto;
  QPushButton *btnOk, *btnInit, *btnCancel;

 signals:
  // The tool-tip choice changed on OK: every window's SetToolTip, in the system's order.
  void tipChanged(bool blnToolTip);
  // OK stored the record: the file browser's pattern and the target list are refreshed.
  void confirmed();

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  bool loaded_ = false;
  void Relayout();
  void LzhRule();
  void ZipRule();
  void ArjRule();
  void AutoRule();
  void MoveRule();
  void ApplyAvailability();
};

}  // namespace orvex2
