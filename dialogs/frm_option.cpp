// The options dialog: controls bound to the option record, rules, defaults, position.
#include "dialogs/frm_option.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QCloseEvent>
#include <QVBoxLayout>

#include <stdexcept>

#include "dialogs/dialog_support.h"
#include "foundation/messages.h"
#include "foundation/settings.h"
#include "results/window_support.h"

namespace orvex2 {

namespace {
const QString kPrefix = QStringLiteral("Option");
}  // namespace

frmOption::frmOption(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmOption"));
  setModal(true);
  auto box = [this](const char* name, const QString& text = QString()) {
    auto* b = new QCheckBox(text, this);
    b->setObjectName(QString::fromLatin1(name));
    return b;
  };
  auto panel = [this](const char* name) {
    auto* p = new QWidget(this);
    p->setObjectName(QString::fromLatin1(name));
    auto* l = new QHBoxLayout(p);
    l->setContentsMargins(TwipsToPixels(300), 0, 0, 0);
    return p;
  };
  ckbLZH = box("ckbLZH");
  pnlLZH = panel("pnlLZH");
  ckbLZH_EXE = box("ckbLZH_EXE", QStringLiteral(".EXE"));
  ckbLZH_X = box("ckbLZH_X", QStringLiteral(".X"));
  ckbLZH_LHA = box("ckbLZH_LHA", QStringLiteral(".LHA"));
  for (QCheckBox* b : {ckbLZH_EXE, ckbLZH_X, ckbLZH_LHA}) {
    b->setParent(pnlLZH);
    pnlLZH->layout()->addWidget(b);
  }
  ckbZIP = box("ckbZIP");
  pnlZIP = panel("pnlZIP");
  ckbZIP_EXE = box("ckbZIP_EXE", QStringLiteral(".EXE"));
  ckbZIP_EXE->setParent(pnlZIP);
  pnlZIP->layout()->addWidget(ckbZIP_EXE);
  ckbARJ = box("ckbARJ");
  pnlARJ = panel("pnlARJ");
  ckbARJ_EXE = box("ckbARJ_EXE", QStringLiteral(".EXE"));
  ckbARJ_EXE->setParent(pnlARJ);
  pnlARJ->layout()->addWidget(ckbARJ_EXE);
  ckbCAB = box("ckbCAB");
  pnlCAB = panel("pnlCAB");
  ckbCAB_EXE = box("ckbCAB_EXE", QStringLiteral(".EXE"));
  ckbCAB_EXE->setParent(pnlCAB);
  pnlCAB->layout()->addWidget(ckbCAB_EXE);
  ckbDouble = box("ckbDouble");
  ckbMove = box("ckbMove");
  pnlMove = panel("pnlMove");
  for (int i = 0; i < 3; ++i) {
    ckbMoveOpt[i] = box("ckbMoveOpt");
    ckbMoveOpt[i]->setParent(pnlMove);
    pnlMove->layout()->addWidget(ckbMoveOpt[i]);
  }
  ckbAuto = box("ckbAuto");
  pnlAuto = panel("pnlAuto");
  auto* group = new QButtonGroup(this);
  for (int i = 0; i < 3; ++i) {
    obtExe[i] = new QRadioButton(pnlAuto);
    obtExe[i]->setObjectName(QStringLiteral("obtExe"));
    pnlAuto->layout()->addWidget(obtExe[i]);
    group->addButton(obtExe[i], i);
  }
  ckbLog = box("ckbLog");
  ckbResize = box("ckbResize");
  ckbTip = box("ckbTip");
  btnOk = new QPushButton(this);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnInit = new QPushButton(this);
  btnInit->setObjectName(QStringLiteral("btnInit"));
  btnCancel = new QPushButton(this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));

  // A fixed size: the dialog does not follow its hidden controls, which keep their place.
  for (QWidget* w : std::initializer_list<QWidget*>{ckbLZH_EXE, ckbLZH_X, ckbLZH_LHA, ckbZIP_EXE, ckbARJ_EXE, pnlMove, pnlAuto, ckbLog}) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
  }
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  for (QWidget* w : std::initializer_list<QWidget*>{ckbLZH, pnlLZH, ckbZIP, pnlZIP, ckbARJ, pnlARJ, ckbCAB, pnlCAB,
                                                    ckbDouble, ckbMove, pnlMove, ckbAuto, pnlAuto, ckbLog, ckbResize,
                                                    ckbTip})
    layout->addWidget(w);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOk);
  buttons->addWidget(btnInit);
  buttons->addWidget(btnCancel);
  layout->addLayout(buttons);

  // Any change by the user enables OK; the family, automatic-run and move boxes apply their rule.
  const QList<QAbstractButton*> all = findChildren<QAbstractButton*>();
  for (QAbstractButton* b : all) {
    if (b == btnOk || b == btnInit || b == btnCancel) continue;
    connect(b, &QAbstractButton::clicked, this, [this, b] {
      try {
        btnOk->setEnabled(true);
        if (b == ckbLZH) LzhRule();
        else if (b == ckbZIP) ZipRule();
        else if (b == ckbARJ) ArjRule();
        else if (b == ckbAuto) AutoRule();
        else if (b == ckbMove) MoveRule();
      } catch (...) {
      }
    });
  }
  connect(btnInit, &QPushButton::clicked, this, [this] {
    try {
      btnOk->setEnabled(true);
      ApplyDefaults();
    } catch (...) {
    }
  });
  connect(btnOk, &QPushButton::clicked, this, [this] {
    try {
      StoreToRecord();
      emit confirmed();
    } catch (...) {
    }
    hide();
  });
  connect(btnCancel, &QPushButton::clicked, this, [this] { hide(); });
  setWindowTitle(ProductText(8000));
}

void frmOption::Form_Load() {
  loaded_ = true;
  try {
    if (!RestoreDialogGeometry(this, kPrefix, WindowKind::DialogPos)) throw std::runtime_error("geometry");
    SetFontData();
    setWindowTitle(ProductText(8000));
    ckbLZH->setText(ProductText(8001));
    ckbZIP->setText(ProductText(8002));
    ckbARJ->setText(ProductText(8003));
    ckbCAB->setText(ProductText(8005));
    ckbDouble->setText(ProductText(8037));
    ckbMove->setText(ProductText(8027));
    for (int i = 0; i < 3; ++i) ckbMoveOpt[i]->setText(ProductText(8028 + i));
    ckbAuto->setText(ProductText(8038));
    for (int i = 0; i < 3; ++i) obtExe[i]->setText(ProductText(8048 + i));
    ckbLog->setText(CommonText(8060));
    ckbResize->setText(CommonText(8056));
    ckbTip->setText(CommonText(8058));
    btnOk->setText(CommonText(8044));
    btnInit->setText(CommonText(8042));
    btnCancel->setText(CommonText(8043));
    Relayout();
    SetToolTip(Options().Tip);
    ApplyAvailability();
  } catch (...) {
    LoadFailure(QStringLiteral("Orvex2 frmOption Form_Load ERR"));
  }
}

void frmOption::Form_Unload() { SaveDialogGeometry(this, kPrefix, WindowKind::DialogPos); }

void frmOption::EnsureLoaded() {
  if (!loaded_) Form_Load();
}

void frmOption::closeEvent(QCloseEvent* e) {
  Form_Unload();
  loaded_ = false;
  QDialog::closeEvent(e);
}

void frmOption::SetFontData() {
  QList<QWidget*> widgets{this};
  widgets << findChildren<QWidget*>();
  const QFont font = SharedFont();
  for (QWidget* w : widgets) w->setFont(font);
  Relayout();
}

// A hidden control does not pass its new size on to the dialog's layout by itself: after new
// texts or fonts every control reports its size again, so the fixed size fits the hidden ones too.
void frmOption::Relayout() {
  for (QWidget* w : findChildren<QWidget*>()) w->updateGeometry();
  adjustSize();
}

void frmOption::SetToolTip(bool blnToolTip) {
  struct Tip {
    QWidget* w;
    int id;
    bool common;
  };
  const Tip tips[] = {{ckbLZH, 8007, false},     {ckbLZH_EXE, 8013, false},     {ckbLZH_X, 8014, false},
                      {ckbLZH_LHA, 8015, false}, {ckbZIP, 8008, false},         {ckbZIP_EXE, 8016, false},
                      {ckbARJ, 8009, false},     {ckbARJ_EXE, 8017, false},     {ckbCAB, 8011, false},
                      {ckbCAB_EXE, 8019, false}, {ckbDouble, 8040, false},      {ckbMove, 8031, false},
                      {ckbMoveOpt[0], 8032, false}, {ckbMoveOpt[1], 8033, false}, {ckbMoveOpt[2], 8034, false},
                      {ckbAuto, 8041, false},    {obtExe[0], 8052, false},      {obtExe[1], 8053, false},
                      {obtExe[2], 8054, false},  {ckbLog, 8061, true},          {ckbResize, 8057, true},
                      {ckbTip, 8059, true},      {btnOk, 8047, true},           {btnInit, 8045, true},
                      {btnCancel, 8046, true}};
  for (const Tip& t : tips)
    t.w->setToolTip(blnToolTip ? (t.common ? CommonText(t.id) : ProductText(t.id)) : QString());
}

// Each rule shows or hides the controls one box governs; hidden controls keep their values.
void frmOption::LzhRule() {
  for (QCheckBox* b : {ckbLZH_EXE, ckbLZH_X, ckbLZH_LHA}) b->setVisible(ckbLZH->isChecked());
}
void frmOption::ZipRule() { ckbZIP_EXE->setVisible(ckbZIP->isChecked()); }
void frmOption::ArjRule() { ckbARJ_EXE->setVisible(ckbARJ->isChecked()); }
void frmOption::AutoRule() {
  pnlAuto->setVisible(ckbAuto->isChecked());
  ckbLog->setVisible(ckbAuto->isChecked());
}
void frmOption::MoveRule() { pnlMove->setVisible(ckbMove->isChecked()); }

void frmOption::ApplyAvailability() {
  try {
    const auto& lib = Shared().lib;
    for (QCheckBox* b : {ckbLZH, ckbLZH_LHA, ckbLZH_EXE, ckbLZH_X}) b->setEnabled(lib.at(kLzh).present);
    for (QCheckBox* b : {ckbZIP, ckbZIP_EXE}) b->setEnabled(lib.at(kZip).present);
    for (QCheckBox* b : {ckbARJ, ckbARJ_EXE}) b->setEnabled(lib.at(kArj).present);
    // The CAB self-extracting box stays as it is.
    ckbCAB->setEnabled(lib.at(kCab).present);
  } catch (...) {
    for (QCheckBox* b : {ckbLZH, ckbLZH_LHA, ckbLZH_EXE, ckbLZH_X, ckbZIP, ckbZIP_EXE, ckbARJ, ckbARJ_EXE, ckbCAB})
      b->setEnabled(false);
  }
}

void frmOption::LoadFromRecord() {
  try {
    const OptionRecord& o = Options();
    ckbLZH->setChecked(o.Lzh);
    LzhRule();
    ckbZIP->setChecked(o.Zip);
    ZipRule();
    ckbARJ->setChecked(o.Arj);
    ArjRule();
    ckbCAB->setChecked(o.Cab);
    ckbLZH_EXE->setChecked(o.Lzh_Exe);
    ckbLZH_X->setChecked(o.Lzh_X);
    ckbLZH_LHA->setChecked(o.Lzh_Lha);
    ckbZIP_EXE->setChecked(o.Zip_Exe);
    ckbARJ_EXE->setChecked(o.Arj_Exe);
    ckbCAB_EXE->setChecked(o.Cab_Exe);
    ckbMove->setChecked(o.Dir_Out_Yuko);
    for (int i = 0; i < 3; ++i) ckbMoveOpt[i]->setChecked(o.Move[i]);
    MoveRule();
    ckbDouble->setChecked(o.Double);
    ckbAuto->setChecked(o.Auto);
    AutoRule();
    obtExe[(o.AutoExe >= 0 && o.AutoExe <= 2) ? o.AutoExe : 0]->setChecked(true);
    ckbLog->setChecked(o.AutoLog);
    ckbResize->setChecked(o.Resize);
    ckbTip->setChecked(o.Tip);
  } catch (...) {
  }
}

void frmOption::StoreToRecord() {
  try {
    OptionRecord& o = Options();
    o.Lzh = ckbLZH->isChecked();
    o.Zip = ckbZIP->isChecked();
    o.Arj = ckbARJ->isChecked();
    o.Cab = ckbCAB->isChecked();
    o.Lzh_Exe = ckbLZH_EXE->isChecked();
    o.Lzh_X = ckbLZH_X->isChecked();
    o.Lzh_Lha = ckbLZH_LHA->isChecked();
    o.Zip_Exe = ckbZIP_EXE->isChecked();
    o.Arj_Exe = ckbARJ_EXE->isChecked();
    o.Cab_Exe = ckbCAB_EXE->isChecked();
    o.Dir_Out_Yuko = ckbMove->isChecked();
    for (int i = 0; i < 3; ++i) o.Move[i] = ckbMoveOpt[i]->isChecked();
    o.Double = ckbDouble->isChecked();
    o.Auto = ckbAuto->isChecked();
    for (int i = 0; i < 3; ++i) {
      if (obtExe[i]->isChecked()) {
        o.AutoExe = static_cast<qint16>(i);
        break;
      }
    }
    o.AutoLog = ckbLog->isChecked();
    if (ckbTip->isChecked() != o.Tip) {
      o.Tip = ckbTip->isChecked();
      emit tipChanged(o.Tip);
    }
    o.Resize = ckbResize->isChecked();
  } catch (...) {
  }
}

void frmOption::ApplyDefaults() {
  try {
    ckbLZH->setChecked(true);
    LzhRule();
    ckbZIP->setChecked(true);
    ZipRule();
    ckbARJ->setChecked(true);
    ArjRule();
    ckbCAB->setChecked(true);
    for (QCheckBox* b : {ckbLZH_EXE, ckbLZH_X, ckbLZH_LHA, ckbZIP_EXE, ckbARJ_EXE, ckbCAB_EXE}) b->setChecked(false);
    // The three move conditions are left as they are.
    ckbMove->setChecked(false);
    MoveRule();
    ckbDouble->setChecked(false);
    ckbAuto->setChecked(false);
    AutoRule();
    obtExe[2]->setChecked(true);
    for (QCheckBox* b : {ckbLog, ckbResize, ckbTip}) b->setChecked(true);
  } catch (...) {
  }
}

void frmOption::ShowModal() {
  EnsureLoaded();
  LoadFromRecord();
  btnOk->setEnabled(false);
  exec();
}

}  // namespace orvex2
