// The menu set every window carries (Exit, Font, Log, Default, Option, Help, About). Each window
// owns its own copy; every item only calls the main window's handler of the same name.
#pragma once

#include <QObject>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace orvex2 {

// Implemented by the main window.
class MenuHandler {
 public:
  virtual ~MenuHandler() = default;
  virtual void mnuExit_Click() = 0;
  virtual void mnuFont_Click() = 0;
  virtual void mnuLogCopy_Click() = 0;
  virtual void mnuLogSave_Click() = 0;
  virtual void mnuInDirDefault_Click() = 0;
  virtual void mnuOutDirDefault_Click() = 0;
  virtual void mnuTmpDirDefault_Click() = 0;
  virtual void mnuOption_Click() = 0;
  virtual void mnuHelp_Click() = 0;
  virtual void mnuAbout_Click() = 0;
};

// The main window registers itself here; menu items of every window forward to it.
void SetMenuHandler(MenuHandler* handler);
MenuHandler* CurrentMenuHandler();

class MenuSet : public QObject {
  Q_OBJECT
 public:
  explicit MenuSet(QWidget* owner);

  // Shows this copy in a menu bar (replacing what the bar held).
  void Populate(QMenuBar* bar) const;
  // Appends the items, in the menu bar's order, to a window's popup menu.
  void AppendTo(QMenu* popup) const;
  // Menu_Enabled of a window: Exit, Font, Log, Default, Option, Help, About.
  void SetEnabled(bool enabled);

  QAction* mnuExit;
  QAction* mnuFont;
  QMenu* mnuLog;
  QAction* mnuLogCopy;
  QAction* mnuLogSave;
  QMenu* mnuDefault;
  QAction* mnuInDirDefault;
  QAction* mnuOutDirDefault;
  QAction* mnuTmpDirDefault;
  QAction* mnuOption;
  QAction* mnuHelp;
  QAction* mnuAbout;
};

}  // namespace orvex2
