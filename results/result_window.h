// Common frame of the two result windows (history, passed files): one list box laid out in
// twips, the popup menu, the window's own copy of the shared menu set, fonts and geometry.
#pragma once

#include <QString>
#include <QWidget>

class QListWidget;
class QMenu;

namespace orvex2 {

class MenuSet;

class ResultWindow : public QWidget {
  Q_OBJECT
 public:
  // The window's copy of the shared menu; the frame shows it while the window is active.
  MenuSet* menuSet() const { return menuSet_; }
  // mnuPopup ("Menu"), popped up by the right mouse button.
  QMenu* popupMenu() const { return mnuPopup_; }

  // Menu_Enabled: Exit, Font, Log, Default, Option, Help, About. The popup is not affected.
  void Menu_Enabled(bool enabled);

  // Places the list 60 twips inside the window's inner area.
  void Form_Resize();
  // Close: saves the geometry when the main window is normal, Resize is off and no automatic
  // run is in progress. `mainWindowState`: 0 normal, 1 minimised, 2 maximised.
  void Form_Unload(int mainWindowState);

 protected:
  ResultWindow(const QString& geometryPrefix, QWidget* parent);

  void SetList(QListWidget* list) { list_ = list; }
  // Restores the stored geometry by the window rule; false when a stored value does not convert.
  bool RestoreOwnGeometry();
  // The shared font to the window and its list, then the layout again.
  void ApplySharedFont();

  // Shows the popup at a global position; tests override it to observe the popup.
  virtual void PopupMenu(QMenu* menu, const QPoint& globalPos);

  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

  QMenu* mnuPopup_ = nullptr;

 private:
  QString prefix_;
  QListWidget* list_ = nullptr;
  MenuSet* menuSet_ = nullptr;
};

}  // namespace orvex2
