// The folder alias maintenance dialog: working copy, list edits, position.
#include "dialogs/frm_menu_mente.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>

#include <stdexcept>
#include <utility>

#include "dialogs/dialog_support.h"
#include "foundation/messages.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "results/window_support.h"

namespace orvex2 {

namespace {
const QString kPrefix = QStringLiteral("MenuMente");
}  // namespace

frmMenuMente::frmMenuMente(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmMenuMente"));
  setModal(true);
  lbxMenu = new QListWidget(this);
  lbxMenu->setObjectName(QStringLiteral("lbxMenu"));
  lbxMenu->setSelectionMode(QAbstractItemView::SingleSelection);
  txtDir = new QLineEdit(this);
  txtDir->setObjectName(QStringLiteral("txtDir"));
  txtDir->setReadOnly(true);
  auto button = [this](const char* name, const QString& text, QStyle::StandardPixmap icon) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::fromLatin1(name));
    if (text.isEmpty()) b->setIcon(style()->standardIcon(icon));
    return b;
  };
  btnName = button("btnName", CommonText(11003), QStyle::SP_FileIcon);
  btnUp = button("btnUp", QString(), QStyle::SP_ArrowUp);
  btnDown = button("btnDown", QString(), QStyle::SP_ArrowDown);
  btnDel = button("btnDel", QString(), QStyle::SP_DialogDiscardButton);
  btnDelAll = button("btnDelAll", QString(), QStyle::SP_TrashIcon);
  btnOk = button("btnOk", CommonText(8044), QStyle::SP_DialogOkButton);
  btnCancel = button("btnCancel", CommonText(8043), QStyle::SP_DialogCancelButton);
  auto* grid = new QGridLayout(this);
  grid->addWidget(lbxMenu, 0, 0, 5, 1);
  grid->addWidget(btnUp, 0, 1);
  grid->addWidget(btnDown, 1, 1);
  grid->addWidget(btnDel, 2, 1);
  grid->addWidget(btnDelAll, 3, 1);
  grid->addWidget(btnName, 4, 1);
  grid->addWidget(txtDir, 5, 0, 1, 2);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(btnOk);
  row->addWidget(btnCancel);
  grid->addLayout(row, 6, 0, 1, 2);
  grid->setSizeConstraint(QLayout::SetFixedSize);  // the size follows the font only
  connect(lbxMenu, &QListWidget::currentRowChanged, this, [this] { ShowFolder(); });
  connect(btnName, &QPushButton::clicked, this, [this] { btnName_Click(); });
  connect(btnUp, &QPushButton::clicked, this, [this] { btnUp_Click(); });
  connect(btnDown, &QPushButton::clicked, this, [this] { btnDown_Click(); });
  connect(btnDel, &QPushButton::clicked, this, [this] { btnDel_Click(); });
  connect(btnDelAll, &QPushButton::clicked, this, [this] { btnDelAll_Click(); });
  connect(btnOk, &QPushButton::clicked, this, [this] {
    pblnOk = true;
    hide();
  });
  connect(btnCancel, &QPushButton::clicked, this, [this] { hide(); });
}

void frmMenuMente::Form_Load() {
  try {
    if (!RestoreDialogGeometry(this, kPrefix, WindowKind::DialogPos)) throw std::runtime_error("geometry");
    SetFontData();
    btnName->setText(CommonText(11003));
    btnOk->setText(CommonText(8044));
    btnCancel->setText(CommonText(8043));
    SetToolTip(Options().Tip);
    names_.fill(QString());
    dirs_.fill(QString());
  } catch (...) {
    LoadFailure(QStringLiteral("frmMenuMente Form_Load ERR"));
  }
}

void frmMenuMente::Form_Unload() { SaveDialogGeometry(this, kPrefix, WindowKind::DialogPos); }

void frmMenuMente::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  // Focus is placed once the window is visible, so a hidden window's old focus cannot win.
  if (lbxMenu->isEnabled()) lbxMenu->setFocus(Qt::OtherFocusReason);
  else btnCancel->setFocus(Qt::OtherFocusReason);
}

void frmMenuMente::closeEvent(QCloseEvent* e) {
  // The close box ends the dialog as Cancel does; the position is saved as at unload.
  Form_Unload();
  pblnOk = false;
  QDialog::closeEvent(e);
}

void frmMenuMente::SetFontData() { ApplySharedFont({this, btnOk, btnCancel, btnName, lbxMenu, txtDir}); }

void frmMenuMente::SetToolTip(bool blnToolTip) {
  const std::pair<QWidget*, int> tips[] = {{lbxMenu, 11008}, {txtDir, 11007}, {btnName, 11006},
                                           {btnUp, 11009},   {btnDown, 11010}, {btnDel, 11011},
                                           {btnDelAll, 11012}, {btnOk, 8047},  {btnCancel, 8046}};
  for (const auto& [w, id] : tips) w->setToolTip(blnToolTip ? CommonText(id) : QString());
}

void frmMenuMente::ShowModal() {
  pblnOk = false;
  setWindowTitle(pstr_FolderKind + CommonText(11000));
  lbxMenu->clear();
  for (int i = 0; i < kPositions && !names_[i].isEmpty() && !dirs_[i].isEmpty(); ++i) lbxMenu->addItem(names_[i]);
  if (lbxMenu->count() > 0) lbxMenu->setCurrentRow(0);
  ShowFolder();
  UpdateEnabled();
  exec();
}

bool frmMenuMente::ShowFor(const QString& folderKind) {
  pstr_FolderKind = folderKind;
  ShowModal();
  return pblnOk;
}

void frmMenuMente::Set_Menu(int index, const QString& name, const QString& dir) {
  if (index < 0 || index >= kPositions) return;
  names_[index] = name;
  dirs_[index] = dir;
}

void frmMenuMente::Get_Menu(int index, QString& name, QString& dir) const {
  if (index >= 0 && index < kPositions && index < lbxMenu->count()) {
    name = names_[index];
    dir = dirs_[index];
    return;
  }
  name.clear();
  dir.clear();
}

int frmMenuMente::MenuCount() const { return lbxMenu->count() - 1; }

void frmMenuMente::ShowFolder() {
  const int k = lbxMenu->currentRow();
  txtDir->setText(k >= 0 && k < kPositions && lbxMenu->count() > 0 ? ShortenPath(dirs_[k]) : QString());
}

void frmMenuMente::UpdateEnabled() {
  const bool any = lbxMenu->count() > 0;
  for (QWidget* w : {static_cast<QWidget*>(txtDir), static_cast<QWidget*>(lbxMenu), static_cast<QWidget*>(btnUp),
                     static_cast<QWidget*>(btnDown), static_cast<QWidget*>(btnDel), static_cast<QWidget*>(btnDelAll),
                     static_cast<QWidget*>(btnName)})
    w->setEnabled(any);
}

QString frmMenuMente::AskName(const QString& current) {
  return QInputDialog::getText(this, CommonText(11102), CommonText(11101), QLineEdit::Normal, current);
}

void frmMenuMente::ShowMessage(const QString& text) {
  QMessageBox::information(this, QStringLiteral("Orvex2"), text, QMessageBox::Ok);
}

void frmMenuMente::btnName_Click() {
  const int k = lbxMenu->currentRow();
  if (k < 0 || k >= kPositions) return;
  const QString answer = AskName(names_[k]);
  if (answer.isEmpty() || answer == names_[k]) return;
  for (int i = 0; i < lbxMenu->count(); ++i) {
    if (lbxMenu->item(i)->text() == answer) {
      ShowMessage(CommonText(11103));
      return;
    }
  }
  names_[k] = answer;
  lbxMenu->item(k)->setText(answer);
}

void frmMenuMente::btnUp_Click() {
  const int k = lbxMenu->currentRow();
  if (k < 1 || k >= kPositions) return;
  lbxMenu->insertItem(k - 1, lbxMenu->takeItem(k));
  std::swap(names_[k], names_[k - 1]);
  std::swap(dirs_[k], dirs_[k - 1]);
  lbxMenu->setCurrentRow(k - 1);
}

void frmMenuMente::btnDown_Click() {
  const int k = lbxMenu->currentRow();
  if (k < 0 || k > lbxMenu->count() - 2) return;
  lbxMenu->insertItem(k + 1, lbxMenu->takeItem(k));
  std::swap(names_[k], names_[k + 1]);
  std::swap(dirs_[k], dirs_[k + 1]);
  lbxMenu->setCurrentRow(k + 1);
}

void frmMenuMente::btnDel_Click() {
  const int k = lbxMenu->currentRow();
  if (k < 0 || k >= kPositions) return;
  delete lbxMenu->takeItem(k);
  for (int i = k; i < kPositions - 1; ++i) {
    names_[i] = names_[i + 1];
    dirs_[i] = dirs_[i + 1];
  }
  names_[kPositions - 1].clear();
  dirs_[kPositions - 1].clear();
  if (lbxMenu->count() > 0) lbxMenu->setCurrentRow(k < lbxMenu->count() ? k : lbxMenu->count() - 1);
  ShowFolder();
  UpdateEnabled();
}

void frmMenuMente::btnDelAll_Click() {
  if (lbxMenu->count() == 0) return;
  lbxMenu->clear();
  txtDir->clear();
  names_.fill(QString());
  dirs_.fill(QString());
  UpdateEnabled();
}

}  // namespace orvex2
