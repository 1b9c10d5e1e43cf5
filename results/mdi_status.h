// The history window mdiStatus: the running record of the latest check run, with copy to the
// clipboard and save as a Shift-JIS .LOG file.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

#include "engine/ports.h"
#include "results/result_window.h"

class QAction;
class QFileDialog;
class QListWidget;

namespace orvex2 {

class mdiStatus : public ResultWindow, public HistoryPort {
  Q_OBJECT
 public:
  // Lines beyond this selected index make ListInAdd drop the oldest line.
  static constexpr int kTrimIndex = 30000;

  explicit mdiStatus(QWidget* parent = nullptr);

  void Form_Load();

  void SetToolTip(bool blnToolTip);
  void SetFontData();
  void RefreshForm() override;
  void ListInAdd(const QString& line) override;
  void LogCopy() override;
  void LogSave();
  void Menu_Enabled(bool enabled) override { ResultWindow::Menu_Enabled(enabled); }

  // The history as written to the clipboard and the log: every line followed by CR LF.
  QString HistoryText() const;
  // Text in code page 932; a character it cannot hold becomes "?".
  static QByteArray ToCodePage932(const QString& text);
  // The save dialog: filter of common text 11, default suffix LOG, no overwrite question.
  static std::unique_ptr<QFileDialog> CreateLogSaveDialog(QWidget* parent);
  // "LogFile(*.LOG)|*.LOG|..." -> "LogFile(*.LOG);;..."
  static QString QtFilter(const QString& windowsFilter);

  QListWidget* lstKekka = nullptr;
  QAction* mnuDel = nullptr;

 protected:
  // Asks for the log file name; empty when cancelled. Tests override it.
  virtual QString AskLogFileName();
  // Yes/No question about overwriting; true on Yes.
  virtual bool ConfirmOverwrite();
  // OK box with the given text.
  virtual void ShowMessage(const QString& text);

 private:
  bool WriteLog(const QString& fileName);

  bool scrollPending_ = false;
};

}  // namespace orvex2
