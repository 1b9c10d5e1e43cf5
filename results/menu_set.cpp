// The shared menu set and the forward of its items to the main window.
#include "results/menu_set.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

namespace orvex2 {

namespace {
MenuHandler* g_handler = nullptr;

template <typename F>
QAction* Forwarding(QObject* parent, const QString& caption, const QString& name, F call) {
  auto* action = new QAction(caption, parent);
  action->setObjectName(name);
  QObject::connect(action, &QAction::triggered, parent, [call] {
    if (MenuHandler* h = CurrentMenuHandler()) (h->*call)();
  });
  return action;
}
}  // namespace

void SetMenuHandler(MenuHandler* handler) { g_handler = handler; }
MenuHandler* CurrentMenuHandler() { return g_handler; }

MenuSet::MenuSet(QWidget* owner) : QObject(owner) {
  setObjectName(QStringLiteral("menuSet"));
  mnuExit = Forwarding(this, QStringLiteral("E(&x)it"), QStringLiteral("mnuExit"), &MenuHandler::mnuExit_Click);
  mnuFont = Forwarding(this, QStringLiteral("Fon(&t)"), QStringLiteral("mnuFont"), &MenuHandler::mnuFont_Click);
  mnuLog = new QMenu(QStringLiteral("(&L)og"), owner);
  mnuLog->setObjectName(QStringLiteral("mnuLog"));
  mnuLogCopy = Forwarding(this, QStringLiteral("Log(&C)opy"), QStringLiteral("mnuLogCopy"), &MenuHandler::mnuLogCopy_Click);
  mnuLogSave = Forwarding(this, QStringLiteral("Log(&S)ave"), QStringLiteral("mnuLogSave"), &MenuHandler::mnuLogSave_Click);
  mnuLog->addAction(mnuLogCopy);
  mnuLog->addAction(mnuLogSave);
  mnuDefault = new QMenu(QStringLiteral("(&D)efault"), owner);
  mnuDefault->setObjectName(QStringLiteral("mnuDefault"));
  mnuInDirDefault = Forwarding(this, QStringLiteral("InDirDefault"), QStringLiteral("mnuInDirDefault"),
                               &MenuHandler::mnuInDirDefault_Click);
  mnuOutDirDefault = Forwarding(this, QStringLiteral("OutDirDefault"), QStringLiteral("mnuOutDirDefault"),
                                &MenuHandler::mnuOutDirDefault_Click);
  mnuTmpDirDefault = Forwarding(this, QStringLiteral("TmpDirDefault"), QStringLiteral("mnuTmpDirDefault"),
                                &MenuHandler::mnuTmpDirDefault_Click);
  mnuDefault->addAction(mnuInDirDefault);
  mnuDefault->addAction(mnuOutDirDefault);
  mnuDefault->addAction(mnuTmpDirDefault);
  mnuOption = Forwarding(this, QStringLiteral("(&O)ption"), QStringLiteral("mnuOption"), &MenuHandler::mnuOption_Click);
  mnuHelp = Forwarding(this, QStringLiteral("(&H)elp"), QStringLiteral("mnuHelp"), &MenuHandler::mnuHelp_Click);
  mnuAbout = Forwarding(this, QStringLiteral("(&A)bout"), QStringLiteral("mnuAbout"), &MenuHandler::mnuAbout_Click);
}

void MenuSet::Populate(QMenuBar* bar) const {
  if (bar == nullptr) return;
  bar->clear();
  bar->addAction(mnuExit);
  bar->addAction(mnuFont);
  bar->addMenu(mnuLog);
  bar->addMenu(mnuDefault);
  bar->addAction(mnuOption);
  bar->addAction(mnuHelp);
  bar->addAction(mnuAbout);
}

void MenuSet::AppendTo(QMenu* popup) const {
  if (popup == nullptr) return;
  popup->addAction(mnuExit);
  popup->addAction(mnuFont);
  popup->addMenu(mnuLog);
  popup->addMenu(mnuDefault);
  popup->addAction(mnuOption);
  popup->addAction(mnuHelp);
  popup->addAction(mnuAbout);
}

void MenuSet::SetEnabled(bool enabled) {
  mnuExit->setEnabled(enabled);
  mnuFont->setEnabled(enabled);
  mnuLog->setEnabled(enabled);
  mnuLog->menuAction()->setEnabled(enabled);
  mnuDefault->setEnabled(enabled);
  mnuDefault->menuAction()->setEnabled(enabled);
  mnuOption->setEnabled(enabled);
  mnuHelp->setEnabled(enabled);
  mnuAbout->setEnabled(enabled);
}

}  // namespace orvex2
