// The about dialog: texts, library rows, position.
#include "dialogs/frm_about.h"

#include <QApplication>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <stdexcept>

#include "dialogs/dialog_support.h"
#include "foundation/messages.h"
#include "foundation/settings.h"

namespace orvex2 {

namespace {
const QString kPrefix = QStringLiteral("About");
constexpr const char* kLibraryNames[4] = {"UNLHA32.DLL", "UNZIP32.DLL", "UNARJ32J.DLL", "CAB32.DLL"};
}  // namespace

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmAbout"));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  auto label = [this](const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(QString::fromLatin1(name));
    return l;
  };
  auto text = [this](const char* name) {
    auto* t = new QLineEdit(this);
    t->setObjectName(QString::fromLatin1(name));
    t->setReadOnly(true);
    t->setFrame(false);
    return t;
  };
  imgAbout = label("imgAbout");
  // The program's icon: the windows' icon, else the one its desktop entry names, else a plain file.
  QIcon icon = QApplication::windowIcon();
  if (icon.isNull()) icon = QIcon::fromTheme(QStringLiteral("orvex2"));
  if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_FileIcon);
  imgAbout->setPixmap(icon.pixmap(32, 32));
  lblAboutProgName = label("lblAboutProgName");
  lblAboutTitle = label("lblAboutTitle");
  lblAboutName = label("lblAboutName");
  lblAboutVersion = label("lblAboutVersion");
  txtNiftyMail = text("txtNiftyMail");
  txtMail = text("txtMail");
  txtWeb = text("txtWeb");
  // Built with the dialog and never replaced: the author line and the third contact line.
  lblAboutName->setText(QStringLiteral("Tovanel"));
  txtWeb->setText(CommonText(7005));
  txtWeb->setFont(QApplication::font());  // keeps its own font whatever the shared one
  auto* head = new QHBoxLayout;
  head->addWidget(imgAbout);
  auto* names = new QVBoxLayout;
  names->addWidget(lblAboutProgName);
  names->addWidget(lblAboutTitle);
  names->addWidget(lblAboutVersion);
  head->addLayout(names, 1);
  layout->addLayout(head);
  layout->addWidget(lblAboutName);
  layout->addWidget(txtNiftyMail);
  layout->addWidget(txtMail);
  layout->addWidget(txtWeb);
  auto* grid = new QGridLayout;
  for (int i = 0; i < 4; ++i) {
    lblProg[i] = label("lblProg");
    lblVer[i] = label("lblVer");
    grid->addWidget(lblProg[i], i, 0);
    grid->addWidget(lblVer[i], i, 1);
  }
  layout->addLayout(grid);
  btnOK = new QPushButton(QStringLiteral("Ok"), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setDefault(true);
  layout->addWidget(btnOK, 0, Qt::AlignRight);
  connect(btnOK, &QPushButton::clicked, this, [this] { hide(); });
  // The same texts the load sets, so a dialog whose load failed still names the program.
  SetTexts();
}

void frmAbout::SetTexts() {
  setWindowTitle(ProductText(7000));
  lblAboutTitle->setText(ProductText(7001));
  lblAboutProgName->setText(ProductText(9999));
  txtNiftyMail->setText(CommonText(7003));
  txtMail->setText(CommonText(7004));
  lblAboutVersion->setText(QStringLiteral("Ver.1.03"));
  FitTexts();
}

// The text boxes are as wide as their whole lines.
void frmAbout::FitTexts() {
  for (QLineEdit* t : {txtNiftyMail, txtMail, txtWeb})
    t->setMinimumWidth(t->fontMetrics().horizontalAdvance(t->text()) + t->fontMetrics().averageCharWidth() * 2);
}

QString frmAbout::VersionText(quint16 version) { return QString::number(version / 100.0, 'f', 2); }

void frmAbout::Form_Load() {
  try {
    // A position that does not convert ends the load like any other failure.
    if (!RestoreDialogGeometry(this, kPrefix, WindowKind::DialogPos)) throw std::runtime_error("geometry");
    SetFontData();
    SetTexts();
    int row = 0;
    for (int f = 0; f < 4; ++f) {
      const LibraryInfo& lib = Shared().lib[f];
      if (!lib.present) continue;
      lblProg[row]->setText(QString::fromLatin1(kLibraryNames[f]));
      lblVer[row]->setText(QStringLiteral("Ver.") + VersionText(lib.version));
      ++row;
    }
    for (; row < 4; ++row) {
      lblProg[row]->clear();
      lblVer[row]->clear();
    }
  } catch (...) {
    for (int i = 0; i < 4; ++i) {
      lblProg[i]->clear();
      lblVer[i]->clear();
    }
  }
}

void frmAbout::Form_Unload() { SaveDialogGeometry(this, kPrefix, WindowKind::DialogPos); }

void frmAbout::SetFontData() {
  ApplySharedFont({this, btnOK, lblAboutTitle, lblAboutName, lblAboutVersion, lblVer[0], lblVer[1], lblVer[2],
                   lblVer[3], lblProg[0], lblProg[1], lblProg[2], lblProg[3], lblAboutProgName, txtNiftyMail,
                   txtMail});
  FitTexts();
}

void frmAbout::ShowModal() { exec(); }

}  // namespace orvex2
