// Paths registered as debris are removed by the signal-time cleanup while registered, and only then.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <optional>

#include "foundation/debris.h"

namespace orvex2 {
namespace {

TEST(Debris, RegisteredPathsGoAndReleasedOnesStay) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString folder = root.path() + "/orvex2-private";
  ASSERT_TRUE(QDir().mkpath(folder + "/empty-sub"));
  for (const char* name : {"/A.LZH", "/.hidden"}) {
    QFile f(folder + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  const QString file = root.path() + "/.orvex2-move-abcdef";
  const QString kept = root.path() + "/kept";
  for (const QString& path : {file, kept}) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  std::optional<Debris> released(std::in_place, QFile::encodeName(kept), Debris::Kind::kFile);
  released.reset();
  const Debris a(QFile::encodeName(folder), Debris::Kind::kFolder);
  const Debris b(QFile::encodeName(file), Debris::Kind::kFile);
  RemoveDebrisNow();
  EXPECT_FALSE(QFileInfo::exists(folder));
  EXPECT_FALSE(QFileInfo::exists(file));
  EXPECT_TRUE(QFileInfo::exists(kept));
}

}  // namespace
}  // namespace orvex2
