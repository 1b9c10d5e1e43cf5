// The default folders dialog: members, drive and folder lists, display update, geometry.
#include "dialogs/frm_default.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QResizeEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QCloseEvent>

#include <algorithm>
#include <stdexcept>

#include "dialogs/dialog_support.h"
#include "foundation/messages.h"
#include "foundation/names.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "results/window_support.h"
#include "selection/folder_lists.h"

namespace orvex2 {

namespace {
const QString kPrefix = QStringLiteral("Default");
}  // namespace

frmDefault::frmDefault(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmDefault"));
  setModal(true);
  cbxDrive = new QCheckBox(this);
  cbxDrive->setObjectName(QStringLiteral("cbxDrive"));
  lblDrive = new QLabel(this);
  lblDrive->setObjectName(QStringLiteral("lblDrive"));
  drvDrive = new DriveList(this);
  dlbDir = new FolderList(this);
  txtDir = new QLineEdit(this);
  txtDir->setObjectName(QStringLiteral("txtDir"));
  txtDir->setReadOnly(true);
  pnlDefault = new QWidget(this);
  pnlDefault->setObjectName(QStringLiteral("pnlDefault"));
  btnOk = new QPushButton(CommonText(8044), pnlDefault);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnCancel = new QPushButton(CommonText(8043), pnlDefault);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  auto* buttons = new QHBoxLayout(pnlDefault);
  buttons->setContentsMargins(TwipsToPixels(60), TwipsToPixels(60), TwipsToPixels(60), TwipsToPixels(60));
  buttons->addStretch(1);
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  // The popup belongs to the bare dialog, the folder list and the folder text only.
  txtDir->setContextMenuPolicy(Qt::NoContextMenu);
  for (QWidget* w : {static_cast<QWidget*>(cbxDrive), static_cast<QWidget*>(lblDrive),
                     static_cast<QWidget*>(drvDrive), pnlDefault, static_cast<QWidget*>(btnOk),
                     static_cast<QWidget*>(btnCancel)})
    w->setContextMenuPolicy(Qt::PreventContextMenu);

  mnuPopup = new QMenu(QStringLiteral("Menu"), this);
  mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
  mnuInDir = mnuPopup->addAction(ProductText(9005));
  mnuOutDir = mnuPopup->addAction(ProductText(9006));
  mnuTmp = mnuPopup->addAction(ProductText(9007));
  connect(mnuInDir, &QAction::triggered, this, [this] {
    if (inDirSource_) CopyFolder(inDirSource_());
  });
  connect(mnuOutDir, &QAction::triggered, this, [this] { CopyFolder(Options().Dir_Out); });
  connect(mnuTmp, &QAction::triggered, this, [this] { CopyFolder(GetTempDir()); });

  connect(cbxDrive, &QCheckBox::clicked, this, [this] {
    btnOk->setEnabled(true);
    ApplyAvailability();
  });
  connect(drvDrive, &DriveList::driveChosen, this, [this](const QString& root) {
    btnOk->setEnabled(true);
    if (drvDrive->DriveOf(dlbDir->Folder()) == root) return;
    if (!dlbDir->SetFolder(root)) drvDrive->SetDriveOf(dlbDir->Folder());
  });
  connect(drvDrive, &DriveList::enterPressed, this, [this] { dlbDir->setFocus(); });
  connect(dlbDir, &FolderList::folderChanged, this, [this] {
    btnOk->setEnabled(true);
    UpdateDisplay();
  });
  connect(btnOk, &QPushButton::clicked, this, [this] {
    pblnOk = true;
    hide();
  });
  connect(btnCancel, &QPushButton::clicked, this, [this] { hide(); });
  setWindowTitle(ProductText(9000));
  resize(TwipsToPixels(5000), TwipsToPixels(5000));
  Form_Resize();
}

void frmDefault::Form_Load() {
  loaded_ = true;
  try {
    if (!RestoreDialogGeometry(this, kPrefix, WindowKind::DialogSized)) throw std::runtime_error("geometry");
    SetFontData();
    setWindowTitle(ProductText(9000));
    btnOk->setText(CommonText(8044));
    btnCancel->setText(CommonText(8043));
    mnuInDir->setText(ProductText(9005));
    mnuOutDir->setText(ProductText(9006));
    mnuTmp->setText(ProductText(9007));
    pstr_lblDrive_Caption.clear();
    pstr_cbxDrive_Hint.clear();
    pstr_drvDrive_Hint.clear();
    pstr_dlbDir_Hint.clear();
    pstr_txtDir_Hint.clear();
    pblnYukoMukouOk = true;
    pblnDiskFreeOk = true;
  } catch (...) {
    LoadFailure(QStringLiteral("Orvex2 frmDefault Form_Load ERR"));
  }
}

void frmDefault::Form_Unload() { SaveDialogGeometry(this, kPrefix, WindowKind::DialogSized); }

void frmDefault::EnsureLoaded() {
  if (!loaded_) Form_Load();
}

void frmDefault::closeEvent(QCloseEvent* e) {
  Form_Unload();
  loaded_ = false;
  pblnOk = false;
  QDialog::closeEvent(e);
}

void frmDefault::SetFontData() {
  ApplySharedFont({this, cbxDrive, lblDrive, drvDrive, dlbDir, txtDir, btnOk, btnCancel});
  Form_Resize();
}

void frmDefault::SetToolTip(bool blnToolTip) {
  btnOk->setToolTip(blnToolTip ? CommonText(8047) : QString());
  btnCancel->setToolTip(blnToolTip ? CommonText(8046) : QString());
  cbxDrive->setToolTip(blnToolTip ? pstr_cbxDrive_Hint : QString());
  drvDrive->setToolTip(blnToolTip ? pstr_drvDrive_Hint : QString());
  dlbDir->setToolTip(blnToolTip ? pstr_dlbDir_Hint : QString());
  txtDir->setToolTip(blnToolTip ? pstr_txtDir_Hint : QString());
}

void frmDefault::ShowModal() {
  pblnOk = false;
  SetToolTip(Options().Tip);
  if (pblnYukoMukouOk) {
    cbxDrive->show();
  } else {
    cbxDrive->setChecked(true);
    cbxDrive->hide();
  }
  Form_Resize();  // lblDrive right of the check box, or at the left margin without it
  ApplyAvailability();
  UpdateDisplay();
  btnOk->setEnabled(false);
  exec();
}

QString frmDefault::DirName() const {
  try {
    return LongPathName(dlbDir->Folder());
  } catch (...) {
    return QString();
  }
}

void frmDefault::DirName(const QString& strDirName) {
  {
    const QSignalBlocker block(dlbDir);
    if (!dlbDir->SetFolder(strDirName) || !drvDrive->SetDriveOf(dlbDir->Folder())) {
      dlbDir->SetFolder(CurrentFolderName());
      drvDrive->SetDriveOf(dlbDir->Folder());
    }
  }
  RefreshForm();
}

void frmDefault::CopyFolder(const QString& folder) {
  const QString before = dlbDir->Folder();
  DirName(folder);
  // Like a folder picked in the list, only an actual change counts.
  if (dlbDir->Folder() != before) btnOk->setEnabled(true);
}

bool frmDefault::Yuko() const { return cbxDrive->isChecked(); }

void frmDefault::Yuko(bool blnYuko) {
  cbxDrive->setChecked(blnYuko);
  ApplyAvailability();
}

void frmDefault::RefreshForm() {
  drvDrive->Refresh();
  {
    const QSignalBlocker block(dlbDir);
    dlbDir->Refresh();
  }
  drvDrive->SetDriveOf(dlbDir->Folder());
  UpdateDisplay();
}

void frmDefault::UpdateDisplay() {
  try {
    drvDrive->SetDriveOf(dlbDir->Folder());
    const QString name = LongPathName(dlbDir->Folder());
    txtDir->setText(name.isEmpty() ? QString() : ShortenPath(name));
    lblDrive->setText(pblnDiskFreeOk ? pstr_lblDrive_Caption + DiskFreeText(dlbDir->Folder())
                                     : pstr_lblDrive_Caption);
  } catch (...) {
    lblDrive->setText(pstr_lblDrive_Caption);
    txtDir->clear();
  }
}

void frmDefault::ApplyAvailability() {
  const bool on = cbxDrive->isChecked();
  for (QWidget* w : {static_cast<QWidget*>(lblDrive), static_cast<QWidget*>(drvDrive),
                     static_cast<QWidget*>(dlbDir), static_cast<QWidget*>(txtDir)})
    w->setEnabled(on);
}

void frmDefault::Form_Resize() {
  const double w = PixelsToTwips(width());
  const double h = PixelsToTwips(height());
  const double usable = w - 120;
  if (usable <= 0) return;
  const int gap = TwipsToPixels(60);
  const int rowH = std::max(cbxDrive->sizeHint().height(), lblDrive->sizeHint().height());
  cbxDrive->setGeometry(gap, gap, cbxDrive->sizeHint().width(), rowH);
  const int lblLeft = cbxDrive->isHidden() ? gap : cbxDrive->geometry().right() + 1 + gap;
  lblDrive->setGeometry(lblLeft, gap, std::max(1, TwipsToPixels(usable) - (lblLeft - gap)), rowH);
  const int drvH = drvDrive->sizeHint().height();
  drvDrive->setGeometry(gap, lblDrive->geometry().bottom() + 1 + gap, TwipsToPixels(usable), drvH);
  const int pnlH = pnlDefault->sizeHint().height();
  const int txtH = txtDir->sizeHint().height();
  const double listH = h - PixelsToTwips(pnlH + rowH + drvH + txtH) - 300;
  const int listPx = listH >= 1 ? TwipsToPixels(listH) : dlbDir->height();
  dlbDir->setGeometry(gap, drvDrive->geometry().bottom() + 1 + gap, TwipsToPixels(usable), listPx);
  txtDir->setGeometry(gap, dlbDir->geometry().bottom() + 1 + gap, TwipsToPixels(usable), txtH);
  pnlDefault->setGeometry(0, height() - pnlH, width(), pnlH);
}

void frmDefault::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  Form_Resize();
}

void frmDefault::contextMenuEvent(QContextMenuEvent* e) {
  e->accept();
  mnuPopup->popup(e->globalPos());
}

}  // namespace orvex2
