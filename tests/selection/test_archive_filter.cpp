// The archive name filter: the pattern rule and Exp_Check against options and present flags.
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

#include "foundation/settings.h"
#include "selection/archive_filter.h"
#include "selection/mdi_in_file.h"

namespace orvex2 {
namespace {

class ArchiveFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = Shared();
    OptionRecord& o = Options();
    o = OptionRecord{};
    o.Lzh = o.Zip = o.Arj = o.Cab = true;
    for (auto& lib : Shared().lib) lib.present = true;
  }
  void TearDown() override { Shared() = saved_; }

  static void AllSubOptions(bool on) {
    OptionRecord& o = Options();
    o.Lzh_Exe = o.Zip_Exe = o.Arj_Exe = o.Cab_Exe = on;
    o.Lzh_X = o.Lzh_Lha = on;
  }

  SharedState saved_;
};

TEST_F(ArchiveFilter, PatternWithEverythingOnHasSevenItemsInOrder) {
  AllSubOptions(true);
  EXPECT_EQ(PatternRule(), "*.LZH;*.ZIP;*.ARJ;*.CAB;*.EXE;*.X;*.LHA");
}

TEST_F(ArchiveFilter, PatternWithFamiliesOnly) {
  EXPECT_EQ(PatternRule(), "*.LZH;*.ZIP;*.ARJ;*.CAB");
}

TEST_F(ArchiveFilter, PatternIsDummyWhenNoFamilyIsOn) {
  AllSubOptions(true);
  OptionRecord& o = Options();
  o.Lzh = o.Zip = o.Arj = o.Cab = false;
  EXPECT_EQ(PatternRule(), "abcdzyxw.___");

  o.Lzh = o.Zip = o.Arj = o.Cab = true;
  for (auto& lib : Shared().lib) lib.present = false;
  EXPECT_EQ(PatternRule(), "abcdzyxw.___");
}

TEST_F(ArchiveFilter, PatternArjAndCabWithExeHasNoLeadingSeparator) {
  OptionRecord& o = Options();
  o.Lzh = o.Zip = false;
  o.Arj_Exe = o.Cab_Exe = true;
  EXPECT_EQ(PatternRule(), "*.ARJ;*.CAB;*.EXE");
}

TEST_F(ArchiveFilter, PatternNeedsTheLibraryOfAFamily) {
  Shared().lib[kZip].present = false;
  Shared().lib[kCab].present = false;
  EXPECT_EQ(PatternRule(), "*.LZH;*.ARJ");
}

TEST_F(ArchiveFilter, PatternExeOnlyFromAFamilyThatIsOn) {
  OptionRecord& o = Options();
  o.Zip_Exe = true;
  Shared().lib[kZip].present = false;
  EXPECT_EQ(PatternRule(), "*.LZH;*.ARJ;*.CAB");
  Shared().lib[kZip].present = true;
  EXPECT_EQ(PatternRule(), "*.LZH;*.ZIP;*.ARJ;*.CAB;*.EXE");
}

TEST_F(ArchiveFilter, LzhSubOptionsFollowTheLzhFamily) {
  OptionRecord& o = Options();
  o.Lzh_X = o.Lzh_Lha = true;
  EXPECT_EQ(PatternRule(), "*.LZH;*.ZIP;*.ARJ;*.CAB;*.X;*.LHA");
  EXPECT_TRUE(Exp_Check("/a/b/SELF.X"));
  EXPECT_TRUE(Exp_Check("/a/b/old.lha"));

  o.Lzh = false;
  EXPECT_EQ(PatternRule(), "*.ZIP;*.ARJ;*.CAB");
  EXPECT_FALSE(Exp_Check("/a/b/SELF.X"));
  EXPECT_FALSE(Exp_Check("/a/b/old.lha"));

  o.Lzh = true;
  Shared().lib[kLzh].present = false;
  EXPECT_FALSE(Exp_Check("/a/b/SELF.X"));
  EXPECT_FALSE(Exp_Check("/a/b/A.LZH"));
}

TEST_F(ArchiveFilter, ExtensionsOfEachFamily) {
  EXPECT_TRUE(Exp_Check("/d/A.LZH"));
  EXPECT_TRUE(Exp_Check("/d/A.ZIP"));
  EXPECT_TRUE(Exp_Check("/d/A.ARJ"));
  EXPECT_TRUE(Exp_Check("/d/A.CAB"));
  EXPECT_FALSE(Exp_Check("/d/A.EXE"));  // no _Exe flag
  EXPECT_FALSE(Exp_Check("/d/A.X"));
  EXPECT_FALSE(Exp_Check("/d/A.LHA"));
  EXPECT_FALSE(Exp_Check("/d/A.RAR"));
  EXPECT_FALSE(Exp_Check("/d/A.LZH.BAK"));

  Options().Arj = false;
  EXPECT_FALSE(Exp_Check("/d/A.ARJ"));
  Shared().lib[kCab].present = false;
  EXPECT_FALSE(Exp_Check("/d/A.CAB"));
}

TEST_F(ArchiveFilter, ExtensionComparisonIgnoresLetterCase) {
  EXPECT_TRUE(Exp_Check("/d/small.lzh"));
  EXPECT_TRUE(Exp_Check("/d/Mixed.ZiP"));
  EXPECT_TRUE(Exp_Check("small.cab"));  // a bare name works as well
}

TEST_F(ArchiveFilter, ExeNeedsAFamilyWithItsExeFlag) {
  OptionRecord& o = Options();
  o.Cab_Exe = true;
  EXPECT_TRUE(Exp_Check("/d/SETUP.EXE"));
  o.Cab = false;
  EXPECT_FALSE(Exp_Check("/d/SETUP.EXE"));
  o.Lzh_Exe = true;
  EXPECT_TRUE(Exp_Check("/d/setup.exe"));
}

TEST_F(ArchiveFilter, NoExtensionIsRefused) {
  EXPECT_FALSE(Exp_Check("/d/README"));
  EXPECT_FALSE(Exp_Check("/d/DIR.LZH/FILE"));
  EXPECT_FALSE(Exp_Check(""));
  EXPECT_FALSE(Exp_Check("/d/DIR.LZH/"));
}

TEST_F(ArchiveFilter, DoubleExtensions) {
  OptionRecord& o = Options();
  o.Double = true;
  EXPECT_TRUE(Exp_Check("/d/A.LZH.ZIP"));
  EXPECT_TRUE(Exp_Check("/d/a.zip.lzh"));
  EXPECT_TRUE(Exp_Check("/d/A.LZH.LZH"));
  EXPECT_TRUE(Exp_Check("/d/A.ZIP.ZIP"));

  // Only ZIP on: ".LZH.ZIP" fails the double step, then passes as ".ZIP".
  o.Lzh = false;
  EXPECT_TRUE(Exp_Check("/d/A.LZH.ZIP"));
  // ".ZIP.LZH" fails both steps: the last extension is LZH, which is off.
  EXPECT_FALSE(Exp_Check("/d/A.ZIP.LZH"));
  EXPECT_FALSE(Exp_Check("/d/A.LZH.LZH"));
  EXPECT_TRUE(Exp_Check("/d/A.ZIP.ZIP"));
}

TEST_F(ArchiveFilter, DoubleOffJudgesTheLastExtension) {
  Options().Zip = false;
  EXPECT_TRUE(Exp_Check("/d/A.ZIP.LZH"));
  EXPECT_FALSE(Exp_Check("/d/A.LZH.ZIP"));
}

TEST_F(ArchiveFilter, FileListShowsMatchingFilesWhateverTheirPermissions) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads files whatever their permissions";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const char* name : {"A.LZH", "locked.zip", "notes.txt"}) {
    QFile f(dir.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  ASSERT_TRUE(QFile::setPermissions(dir.filePath("locked.zip"), QFileDevice::Permissions()));
  EXPECT_EQ(FileNameList::Names(dir.path(), PatternRule()), QStringList({"A.LZH", "locked.zip"}));
}

}  // namespace
}  // namespace orvex2
