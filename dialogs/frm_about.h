// The about dialog frmAbout: program name, title and version, contact lines and the archiver
// libraries found at start-up with their versions.
#pragma once

#include <QDialog>
#include <QString>
#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace orvex2 {

class frmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit frmAbout(QWidget* parent = nullptr);

  // Position (About_*), font, texts and the library rows. A failure empties the rows and ends
  // the load quietly.
  void Form_Load();
  // Writes About_Left and About_Top.
  void Form_Unload();
  void SetFontData();
  // Shows the dialog modally until Ok.
  void ShowModal();

  // A version in hundredths as "0.00" text: 540 -> "5.40", 20 -> "0.20".
  static QString VersionText(quint16 version);

  QLabel* lblAboutProgName;
  QLabel* lblAboutTitle;
  QLabel* lblAboutName;
  QLabel* lblAboutVersion;
  QLabel* imgAbout;
  QLineEdit* txtNiftyMail;
  QLineEdit* txtMail;
  QLineEdit* txtWeb;
  std::array<QLabel*, 4> lblProg{};
  std::array<QLabel*, 4> lblVer{};
  QPushButton* btnOK;

 private:
  // Caption, program name and title, version and the two contact lines from the tables.
  void SetTexts();
  void FitTexts();
};

}  // namespace orvex2
