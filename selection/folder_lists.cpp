// Drive and folder lists over the mounted file systems.
#include "selection/folder_lists.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStorageInfo>
#include <QStyle>

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <unistd.h>

#include "foundation/folder_listing.h"
#include "foundation/names.h"
#include "foundation/paths.h"

namespace orvex2 {

namespace {

QString Clean(const QString& path) { return QDir::cleanPath(QDir(path).absolutePath()); }

QString Joined(const QString& folder, const QString& name) {
  return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// FolderStamp

FolderStamp FolderStamp::Take(const QString& path) {
  FolderStamp stamp;
  stamp.path = path;
  struct stat st {};
  if (path.isEmpty() || ::stat(NameToBytes(path).constData(), &st) != 0) return stamp;
  stamp.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  stamp.dev = st.st_dev;
  stamp.ino = st.st_ino;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const qint64 nowNs = qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
  // Kernel time stamps advance by clock ticks (whole seconds or more on some file systems): a
  // change within that time after this reading could leave the stamp as it is.
  const qint64 granularityNs = st.st_mtim.tv_nsec == 0 ? 2000000000 : 100000000;
  stamp.settled = nowNs - stamp.mtimeNs > granularityNs;
  return stamp;
}

bool FolderStamp::Unchanged(const QString& path) const {
  if (!settled || path != this->path) return false;
  const FolderStamp now = Take(path);
  return now.mtimeNs == mtimeNs && now.dev == dev && now.ino == ino;
}

// ---------------------------------------------------------------------------------------------
// DriveList

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
  setObjectName(QStringLiteral("drvDrive"));
  Refresh();
  connect(this, &QComboBox::activated, this, [this](int index) { emit driveChosen(itemText(index)); });
}

bool DriveList::ListedMount(const QString& root, const QString& type) {
  // Kernel interfaces, never a place for archives.
  static const QStringList kKernel = {"proc",     "sysfs",   "cgroup",     "cgroup2",  "devpts",   "devtmpfs",
                                      "mqueue",   "securityfs", "debugfs", "tracefs",  "pstore",   "bpf",
                                      "autofs",   "fusectl", "configfs",   "hugetlbfs", "binfmt_misc", "nsfs",
                                      "efivarfs", "rpc_pipefs"};
  if (root == QLatin1String("/")) return true;
  if (!root.startsWith(QLatin1Char('/')) || kKernel.contains(type)) return false;
  // Container layers are reached through the root they make up.
  if (type == QLatin1String("overlay")) return false;
  auto under = [&root](const char* prefix) {
    const QString p = QString::fromLatin1(prefix);
    return root == p || root.startsWith(p + QLatin1Char('/'));
  };
  // Removable media the desktop mounts under /run/media; the rest of /run is the system's.
  if (under("/run/media")) return root != QLatin1String("/run/media");
  for (const char* p : {"/proc", "/sys", "/dev", "/run", "/snap", "/var/lib/snapd"})
    if (under(p)) return false;
  return true;
}

QStringList DriveList::MountedRoots() {
  QStringList roots{QStringLiteral("/")};
  for (const QStorageInfo& s : QStorageInfo::mountedVolumes()) {
    if (!s.isValid() || !s.isReady()) continue;
    const QString root = s.rootPath();
    if (!ListedMount(root, QString::fromLatin1(s.fileSystemType())) || !UsableFolder(root)) continue;
    if (!roots.contains(root)) roots << root;
  }
  std::sort(roots.begin() + 1, roots.end());
  return roots;
}

void DriveList::Refresh() {
  const QString keep = currentText();
  const QSignalBlocker block(this);
  clear();
  addItems(MountedRoots());
  const int i = findText(keep);
  setCurrentIndex(i >= 0 ? i : 0);
}

QString DriveList::DriveOf(const QString& path) const {
  const QString p = Clean(path);
  QString best;
  for (int i = 0; i < count(); ++i) {
    const QString root = itemText(i);
    const bool holds = root == QLatin1String("/") || p == root || p.startsWith(root + '/');
    if (holds && root.size() > best.size()) best = root;
  }
  return best;
}

QString DriveList::Drive() const { return currentText(); }

bool DriveList::SetDriveOf(const QString& path) {
  const int i = findText(DriveOf(path));
  if (i < 0) return false;
  const QSignalBlocker block(this);
  setCurrentIndex(i);
  return true;
}

void DriveList::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    e->accept();
    emit enterPressed();
    return;
  }
  QComboBox::keyPressEvent(e);
}

// ---------------------------------------------------------------------------------------------
// FolderList

FolderList::FolderList(QWidget* parent) : PopupList(parent) {
  setObjectName(QStringLiteral("dlbDir"));
  setSelectionMode(QAbstractItemView::SingleSelection);
}

QStringList FolderList::SubFolders(const QString& path) {
  QStringList names = ListFolder(path).folders;
  SortForDisplay(names);
  QStringList out;
  for (const QString& n : names) {
    const QString full = Joined(path, n);
    if (::access(NameToBytes(full).constData(), R_OK) == 0) out << full;
  }
  return out;
}

bool FolderList::SetFolder(const QString& path) {
  if (!UsableFolder(path)) return false;
  folder_ = Clean(path);
  Fill();
  emit folderChanged(folder_);
  return true;
}

void FolderList::Refresh() {
  QString p = folder_.isEmpty() ? CurrentFolderName() : folder_;
  while (!UsableFolder(p) && p != QLatin1String("/")) p = Clean(p + QStringLiteral("/.."));
  folder_ = Clean(p);
  // The batch run refreshes after every archive: an unchanged folder keeps its list as it is.
  if (filled_.Unchanged(folder_)) return;
  Fill();
}

void FolderList::Fill() {
  filled_ = FolderStamp::Take(folder_);
  const QSignalBlocker block(this);
  clear();
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  QStringList chain;
  for (QString p = folder_;; p = Clean(p + QStringLiteral("/.."))) {
    chain.prepend(p);
    if (p == QLatin1String("/") || chain.size() > 4096) break;
  }
  int depth = 0;
  for (const QString& p : chain) {
    const QString name = p == QLatin1String("/") ? p : DisplayName(FileNamePart(p));
    auto* item = new QListWidgetItem(open, name, this);
    item->setData(Qt::UserRole, p);
    item->setData(kIndentRole, depth);
    ++depth;
  }
  currentRow_ = count() - 1;
  for (const QString& p : SubFolders(folder_)) {
    auto* item = new QListWidgetItem(closed, DisplayName(FileNamePart(p)), this);
    item->setData(Qt::UserRole, p);
    item->setData(kIndentRole, depth);
  }
  setCurrentRow(currentRow_);
}

void FolderList::OpenRow(int row) {
  if (row < 0 || row >= count()) return;
  const QString p = item(row)->data(Qt::UserRole).toString();
  if (!SetFolder(p)) Refresh();
}

void FolderList::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    e->accept();
    OpenRow(currentRow());
    return;
  }
  if (e->key() == Qt::Key_Backspace) {
    e->accept();
    if (currentRow() > 0) OpenRow(currentRow() - 1);
    return;
  }
  PopupList::keyPressEvent(e);
}

void FolderList::mouseDoubleClickEvent(QMouseEvent* e) {
  const QListWidgetItem* it = itemAt(e->position().toPoint());
  if (it != nullptr) {
    e->accept();
    OpenRow(row(it));
    return;
  }
  PopupList::mouseDoubleClickEvent(e);
}

}  // namespace orvex2
