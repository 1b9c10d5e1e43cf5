// The drive list and folder list widgets shared by the folder browser and the default folders
// dialog: mounted file-system roots, and a folder's ancestors, itself and its subfolders.
#pragma once

#include "results/popup_list.h"

#include <QComboBox>
#include <QListWidget>
#include <QString>
#include <QStringList>

namespace orvex2 {

// A folder's identity and time stamp when its entries were read, to tell whether a new reading
// would give anything else. A stamp too recent to tell a later change in the same tick from the
// one before the reading is not settled, and never matches.
struct FolderStamp {
  QString path;
  qint64 mtimeNs = 0;
  quint64 dev = 0, ino = 0;
  bool settled = false;

  // Taken just before the folder is read.
  static FolderStamp Take(const QString& path);
  // True when `path` is the stamped folder, unchanged since the reading.
  bool Unchanged(const QString& path) const;
};

// drvDrive: the mount points a user can browse, "/" first: disks, memory file systems such as a
// tmpfs /tmp, removable media under /media, /run/media and /mnt; not the system's own mounts.
class DriveList : public QComboBox {
  Q_OBJECT
 public:
  explicit DriveList(QWidget* parent = nullptr);

  // Re-reads the mounted volumes, keeping the current drive when it is still there.
  void Refresh();
  // The root of the file system that holds `path` (the longest listed root that contains it).
  QString DriveOf(const QString& path) const;
  QString Drive() const;
  // Selects the drive of `path` without signalling; false when none holds it.
  bool SetDriveOf(const QString& path);

  static QStringList MountedRoots();
  // The rule for one mount point and its file-system type (whether it is a browsable folder
  // is checked apart).
  static bool ListedMount(const QString& root, const QString& type);

 signals:
  void driveChosen(const QString& root);  // the user picked another drive
  void enterPressed();

 protected:
  void keyPressEvent(QKeyEvent* e) override;
};

// dlbDir: the ancestors of the current folder, the current folder, its immediate subfolders
// sorted by name. Enter or a double click opens the highlighted entry; Backspace the one above.
class FolderList : public PopupList {
  Q_OBJECT
 public:
  explicit FolderList(QWidget* parent = nullptr);

  // Opens a folder; false (nothing changes) when it is no readable folder.
  bool SetFolder(const QString& path);
  QString Folder() const { return folder_; }
  // Re-reads the current folder's entries (falls back to the nearest existing ancestor).
  void Refresh();
  // The immediate subfolders of a folder, sorted by name, as full paths.
  static QStringList SubFolders(const QString& path);

 signals:
  void folderChanged(const QString& path);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;

 private:
  void OpenRow(int row);
  void Fill();

  QString folder_;
  FolderStamp filled_;  // what the list was last filled from
  int currentRow_ = -1;
};

}  // namespace orvex2
