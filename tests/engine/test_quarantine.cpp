// Quarantine moves never lose or overwrite a file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/quarantine.h"

namespace orvex2 {
namespace {

void WriteFile(const QString& path, const QByteArray& data) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(data);
}

QByteArray ReadFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class QuarantineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root.isValid());
    src = root.path() + "/in";
    out = root.path() + "/out";
    ASSERT_TRUE(QDir().mkpath(src));
    ASSERT_TRUE(QDir().mkpath(out));
  }
  QTemporaryDir root;
  QString src, out;
};

TEST_F(QuarantineTest, MovesIntoTheFolder) {
  WriteFile(src + "/DATA.LZH", "archive");
  QString movedTo;
  EXPECT_EQ(MoveToQuarantine(src + "/DATA.LZH", out, &movedTo), MoveOutcome::kMoved);
  EXPECT_EQ(movedTo, out + "/DATA.LZH");
  EXPECT_FALSE(QFile::exists(src + "/DATA.LZH"));
  EXPECT_EQ(ReadFile(out + "/DATA.LZH"), QByteArray("archive"));
}

TEST_F(QuarantineTest, NeverOverwritesATakenName) {
  WriteFile(out + "/DATA.LZH", "older");
  WriteFile(out + "/DATA (2).LZH", "older 2");
  WriteFile(src + "/DATA.LZH", "newer");
  QString movedTo;
  EXPECT_EQ(MoveToQuarantine(src + "/DATA.LZH", out, &movedTo), MoveOutcome::kMoved);
  EXPECT_EQ(movedTo, out + "/DATA (3).LZH");
  EXPECT_EQ(ReadFile(out + "/DATA.LZH"), QByteArray("older"));
  EXPECT_EQ(ReadFile(out + "/DATA (2).LZH"), QByteArray("older 2"));
  EXPECT_EQ(ReadFile(out + "/DATA (3).LZH"), QByteArray("newer"));
}

TEST_F(QuarantineTest, FreeNamesKeepTheLastExtension) {
  WriteFile(out + "/A.LZH.ZIP", "x");
  WriteFile(out + "/NOEXT", "x");
  EXPECT_EQ(FreeNameIn(out, "A.LZH.ZIP"), out + "/A.LZH (2).ZIP");
  EXPECT_EQ(FreeNameIn(out, "NOEXT"), out + "/NOEXT (2)");
  EXPECT_EQ(FreeNameIn(out + "/", "NEW.ARJ"), out + "/NEW.ARJ");
}

TEST_F(QuarantineTest, OwnFolderCountsAsMovedAndKeepsTheFile) {
  WriteFile(src + "/DATA.LZH", "archive");
  EXPECT_EQ(MoveToQuarantine(src + "/DATA.LZH", src + "/"), MoveOutcome::kAlreadyThere);
  EXPECT_EQ(ReadFile(src + "/DATA.LZH"), QByteArray("archive"));
  EXPECT_EQ(QDir(src).entryList(QDir::Files).size(), 1);
}

TEST_F(QuarantineTest, MissingFolderKeepsTheOriginal) {
  WriteFile(src + "/DATA.LZH", "archive");
  EXPECT_EQ(MoveToQuarantine(src + "/DATA.LZH", root.path() + "/nowhere"), MoveOutcome::kCopyFailed);
  EXPECT_EQ(MoveToQuarantine(src + "/DATA.LZH", QString()), MoveOutcome::kCopyFailed);
  EXPECT_EQ(ReadFile(src + "/DATA.LZH"), QByteArray("archive"));
}

TEST_F(QuarantineTest, CrossFileSystemCopyLeavesNoPartialFileOnFailure) {
  // /dev/shm is a tmpfs on Linux: a different file system from the temporary folder, usually.
  QTemporaryDir shm("/dev/shm/orvex2-test-XXXXXX");
  if (!shm.isValid()) GTEST_SKIP() << "no /dev/shm";
  WriteFile(src + "/DATA.LZH", QByteArray(100000, 'a'));
  QString movedTo;
  EXPECT_EQ(MoveToQuarantine(src + "/DATA.LZH", shm.path(), &movedTo), MoveOutcome::kMoved);
  EXPECT_EQ(ReadFile(movedTo), QByteArray(100000, 'a'));
  EXPECT_FALSE(QFile::exists(src + "/DATA.LZH"));
  // Only the moved file, no temporary copies left behind.
  EXPECT_EQ(QDir(shm.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

// Runs `body` in a child process with a private mount namespace; its return value is the exit
// status, 77 when no private tmpfs can be had here.
template <typename F>
int InPrivateNamespace(F body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ::_exit(77);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

TEST_F(QuarantineTest, FullQuarantineFolderKeepsTheOriginalAndNoPartialCopy) {
  WriteFile(src + "/BIG.LZH", QByteArray(200000, 'b'));
  const QByteArray outPath = QFile::encodeName(out);
  const int status = InPrivateNamespace([&] {
    if (::mount("tmpfs", outPath.constData(), "tmpfs", 0, "size=16k") != 0) return 77;
    if (MoveToQuarantine(src + "/BIG.LZH", out) != MoveOutcome::kCopyFailed) return 1;
    if (QFileInfo(src + "/BIG.LZH").size() != 200000) return 2;
    if (!QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty()) return 3;
    return 0;
  });
  if (status == 77) GTEST_SKIP() << "no private tmpfs here";
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile(src + "/BIG.LZH").size(), 200000);
}

TEST_F(QuarantineTest, CopiesAKilledRunLeftAreRemovedWhenTheFolderIsNextUsed) {
  const QStringList leftovers = {".orvex2-move-Ab12Cd", ".orvex2-move-zz9900"};
  const QStringList users = {".orvex2-move-abc", ".orvex2-move-Ab12Cd.bak", "x.orvex2-move-Ab12Cd"};
  for (const QString& n : leftovers + users) WriteFile(out + "/" + n, "partial");
  const QString busy = out + "/.orvex2-move-Busy01";  // a move still writing holds its lock
  WriteFile(busy, "partial");
  const int held = ::open(QFile::encodeName(busy).constData(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  WriteFile(src + "/DATA.LZH", "archive");
  EXPECT_EQ(MoveToQuarantine(src + "/DATA.LZH", out), MoveOutcome::kMoved);
  ::close(held);
  for (const QString& n : leftovers) EXPECT_FALSE(QFile::exists(out + "/" + n)) << n.toStdString();
  for (const QString& n : users) EXPECT_EQ(ReadFile(out + "/" + n), QByteArray("partial")) << n.toStdString();
  EXPECT_TRUE(QFile::exists(busy));
  EXPECT_EQ(RemoveStaleMoveCopies(out), 1);  // its writer is gone now
}

TEST_F(QuarantineTest, UndeletableOriginalIsReported) {
  if (geteuid() == 0) GTEST_SKIP() << "root may delete from a read-only folder";
  WriteFile(src + "/DATA.LZH", "archive");
  QFile::setPermissions(src, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  const MoveOutcome outcome = MoveToQuarantine(src + "/DATA.LZH", out);
  QFile::setPermissions(src, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  EXPECT_EQ(outcome, MoveOutcome::kDeleteFailed);
  EXPECT_TRUE(QFile::exists(src + "/DATA.LZH"));
  EXPECT_EQ(ReadFile(out + "/DATA.LZH"), QByteArray("archive"));
}

}  // namespace
}  // namespace orvex2
