// Tests of the path, name and disk helpers: the pure text functions case by case, and
// LongPathName, FileReadable and the folder helpers against real temporary folders.
#include "foundation/paths.h"
#include "foundation/names.h"
#include "foundation/paths_detail.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace orvex2;

QString S(const char* text) { return QString::fromUtf8(text); }

TEST(ShortenPath, KeepsFirstTwoAndLastTwoSegments) {
  EXPECT_EQ(ShortenPath(S("/A/B/C/D/FILE.LZH")), S("/A/.../D/FILE.LZH"));
  EXPECT_EQ(ShortenPath(S("/A/B/C/F.LZH")), S("/A/.../C/F.LZH"));  // five segments
  EXPECT_EQ(ShortenPath(S("/long/x/y/z/w/v/name.zip")), S("/long/.../v/name.zip"));
}

TEST(ShortenPath, FewerThanFiveSegmentsUnchanged) {
  EXPECT_EQ(ShortenPath(S("/A/B/FILE.LZH")), S("/A/B/FILE.LZH"));
  EXPECT_EQ(ShortenPath(S("/A/B/")), S("/A/B/"));
  EXPECT_EQ(ShortenPath(S("/")), S("/"));
  EXPECT_EQ(ShortenPath(S("")), S(""));
  EXPECT_EQ(ShortenPath(S("FILE.LZH")), S("FILE.LZH"));
}

TEST(ShortenPath, ClosingSlashCountsAsEmptyLastSegment) {
  EXPECT_EQ(ShortenPath(S("/A/B/C/D/")), S("/A/.../D/"));
  EXPECT_EQ(ShortenPath(S("/A/B/C/")), S("/A/.../C/"));
}

TEST(ShortenPath, TooManySegmentsLeavesPathUnchanged) {
  QString at256;  // "/" and 254 "d/" and the name: 256 segments
  QString at257;
  for (int i = 0; i < 254; ++i) at256 += S("/d");
  at256 += S("/f");
  at257 = S("/e") + at256;
  EXPECT_EQ(ShortenPath(at256), S("/d/.../d/f"));
  EXPECT_EQ(ShortenPath(at257), at257);
}

TEST(NameParts, FileNamePart) {
  EXPECT_EQ(FileNamePart(S("/A/B.LZH")), S("B.LZH"));
  EXPECT_EQ(FileNamePart(S("/B.LZH")), S("B.LZH"));
  EXPECT_EQ(FileNamePart(S("/A/B/")), S(""));
  EXPECT_EQ(FileNamePart(S("B.LZH")), S(""));  // no slash at all
  EXPECT_EQ(FileNamePart(S("")), S(""));
}

TEST(NameParts, BaseNamePart) {
  EXPECT_EQ(BaseNamePart(S("/X/A.LZH.ZIP")), S("A.LZH"));
  EXPECT_EQ(BaseNamePart(S("/X/A.lzh")), S("A"));
  EXPECT_EQ(BaseNamePart(S("/X/README")), S("README"));
  EXPECT_EQ(BaseNamePart(S("/X.D/README")), S("README"));
  EXPECT_EQ(BaseNamePart(S("/X/.hidden")), S(""));
  EXPECT_EQ(BaseNamePart(S("/X/")), S(""));
  EXPECT_EQ(BaseNamePart(S("A.LZH")), S(""));
}

TEST(NameParts, ParentFolder) {
  EXPECT_EQ(ParentFolder(S("/B.LZH")), S("/"));
  EXPECT_EQ(ParentFolder(S("/A/B.LZH")), S("/A"));
  EXPECT_EQ(ParentFolder(S("/A/B/C.LZH")), S("/A/B"));
  EXPECT_EQ(ParentFolder(S("/A/B/")), S("/A/B"));
  EXPECT_EQ(ParentFolder(S("/")), S("/"));
  EXPECT_EQ(ParentFolder(S("B.LZH")), S(""));
  EXPECT_EQ(ParentFolder(S("")), S(""));
}

TEST(ExtensionPart, SingleExtension) {
  EXPECT_EQ(ExtensionPart(S("/A.LZH.ZIP"), false), S(".ZIP"));
  EXPECT_EQ(ExtensionPart(S("/X/file.Lzh"), false), S(".Lzh"));
  EXPECT_EQ(ExtensionPart(S("/X/file.Lzh"), true), S(".Lzh"));
  EXPECT_EQ(ExtensionPart(S("/X/name."), false), S("."));
}

TEST(ExtensionPart, NoExtension) {
  EXPECT_EQ(ExtensionPart(S("/DIR.X/FILE"), false), S(""));
  EXPECT_EQ(ExtensionPart(S("/DIR.X/FILE"), true), S(""));
  EXPECT_EQ(ExtensionPart(S("/DIR.X/"), false), S(""));
  EXPECT_EQ(ExtensionPart(S("/FILE"), false), S(""));
  EXPECT_EQ(ExtensionPart(S("FILE"), false), S(""));
  EXPECT_EQ(ExtensionPart(S(""), true), S(""));
}

TEST(ExtensionPart, DoubleExtensions) {
  EXPECT_EQ(ExtensionPart(S("/A.LZH.ZIP"), true), S(".LZH.ZIP"));
  EXPECT_EQ(ExtensionPart(S("/X/A.LZH.LZH"), true), S(".LZH.LZH"));
  EXPECT_EQ(ExtensionPart(S("/X/A.ZIP.LZH"), true), S(".ZIP.LZH"));
  EXPECT_EQ(ExtensionPart(S("/X/A.ZIP.ZIP"), true), S(".ZIP.ZIP"));
  // Matched upper-cased, returned as stored.
  EXPECT_EQ(ExtensionPart(S("/a.lzh.zip"), true), S(".lzh.zip"));
  EXPECT_EQ(ExtensionPart(S("/x/a.Zip.lZh"), true), S(".Zip.lZh"));
  // Other pairs are single extensions.
  EXPECT_EQ(ExtensionPart(S("/X/A.ARJ.ZIP"), true), S(".ZIP"));
  EXPECT_EQ(ExtensionPart(S("/X/A.LZH.CAB"), true), S(".CAB"));
  EXPECT_EQ(ExtensionPart(S("/X/A.LZHX.ZIP"), true), S(".ZIP"));
  EXPECT_EQ(ExtensionPart(S("/X/A.LZH.ZIPX"), true), S(".ZIPX"));
}

TEST(ExtensionPart, DoubleExtensionNeedsPositionSixOrLater) {
  // The last dot at position 6 (1-based): the double extension starts at position 2.
  EXPECT_EQ(ExtensionPart(S("/.LZH.ZIP"), true), S(".LZH.ZIP"));
  // At position 5 there is no room for a character before the first dot.
  EXPECT_EQ(ExtensionPart(S(".LZH.ZIP"), true), S(".ZIP"));
}

TEST(ExtensionPart, OnlyAsciiLettersMatch) {
  // Characters that upper-case to ASCII letters outside ASCII do not form a double extension.
  EXPECT_EQ(ExtensionPart(QString::fromUtf16(u"/A.LZH.Z\u0131P"), true),
            QString::fromUtf16(u".Z\u0131P"));
}

TEST(WideUpper, SmallWideGreekAndCyrillicStay) {
  EXPECT_EQ(WideUpper(QString::fromUtf16(u"ab\uFF43\u03B1")), QString::fromUtf16(u"AB\uFF43\u03B1"));
  EXPECT_EQ(WideUpper(QString::fromUtf16(u"\uFF41\uFF5A\u03C9\u0430\u044F")),
            QString::fromUtf16(u"\uFF41\uFF5A\u03C9\u0430\u044F"));
}

TEST(WideUpper, EverythingElseUpperCased) {
  EXPECT_EQ(WideUpper(S("a.lzh.zip")), S("A.LZH.ZIP"));
  EXPECT_EQ(WideUpper(S("*.Lzh;*.zip")), S("*.LZH;*.ZIP"));
  // Just outside the kept ranges: full-width "｀" and "｛" are no letters, Cyrillic "ё" is upper-cased.
  EXPECT_EQ(WideUpper(QString::fromUtf16(u"\u0451\u00E9")), QString::fromUtf16(u"\u0401\u00C9"));
  EXPECT_EQ(WideUpper(QString::fromUtf16(u"\uFF40\uFF5B")), QString::fromUtf16(u"\uFF40\uFF5B"));
  // Character by character: the length never changes.
  EXPECT_EQ(WideUpper(QString::fromUtf16(u"\u00DF")).size(), 1);
  EXPECT_EQ(WideUpper(QString::fromUtf16(u"\U00010428")), QString::fromUtf16(u"\U00010400"));
  EXPECT_EQ(WideUpper(S("")), S(""));
  EXPECT_EQ(WideUpper(QString::fromUtf16(u"\u3042\u30A2")), QString::fromUtf16(u"\u3042\u30A2"));
}

TEST(DiskFree, FormatsMegabytesWithThousandsSeparators) {
  EXPECT_EQ(detail::FormatFreeText(1258291200ULL), S(" (1,200.0M Free)"));
  EXPECT_EQ(detail::FormatFreeText(1048576ULL), S(" (1.0M Free)"));
  EXPECT_EQ(detail::FormatFreeText(1048576ULL * 999), S(" (999.0M Free)"));
  EXPECT_EQ(detail::FormatFreeText(1048576ULL * 1000), S(" (1,000.0M Free)"));
  EXPECT_EQ(detail::FormatFreeText(1048576ULL * 1234567 + 524288), S(" (1,234,567.5M Free)"));
  EXPECT_EQ(detail::FormatFreeText(1), S(" (0.0M Free)"));
  EXPECT_EQ(detail::FormatFreeText(104857), S(" (0.1M Free)"));   // 0.09999... rounds up
  EXPECT_EQ(detail::FormatFreeText(52428), S(" (0.0M Free)"));    // 0.04999... rounds down
  // Beyond 32 bits, up to the largest count.
  EXPECT_EQ(detail::FormatFreeText(5ULL << 40), S(" (5,242,880.0M Free)"));
  EXPECT_EQ(detail::FormatFreeText(UINT64_MAX), S(" (17,592,186,044,416.0M Free)"));
  EXPECT_EQ(detail::FormatFreeText(0), S(""));
}

TEST(DiskFree, MegabytesAreASinglePrecisionValue) {
  // 2097152.125 megabytes: the nearest single-precision value is 2097152.
  EXPECT_EQ(detail::FormatFreeText((1ULL << 41) + (1ULL << 17)), S(" (2,097,152.0M Free)"));
}

TEST(DiskFree, OfRealAndMissingFolders) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString text = DiskFreeText(dir.path());
  // The temporary folder's file system has some room while tests run.
  ASSERT_FALSE(text.isEmpty());
  EXPECT_TRUE(text.startsWith(S(" (")));
  EXPECT_TRUE(text.endsWith(S("M Free)")));
  EXPECT_FALSE(DiskFreeText(S("/")).isEmpty());
  // A folder not made yet: the free space of the file system it will be made on.
  EXPECT_TRUE(DiskFreeText(dir.path() + S("/no/such/folder")).endsWith(S("M Free)")));
  EXPECT_TRUE(DiskFreeText(S("relative/folder")).isEmpty());
  EXPECT_TRUE(DiskFreeText(S("")).isEmpty());
}

class OnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    // The temporary folder itself may sit behind a symbolic link; use its real path as the base.
    base_ = QDir(dir_.path()).canonicalPath();
    ASSERT_TRUE(QDir(base_).mkpath(S("Sub/Inner")));
    QFile file(base_ + S("/Sub/File.LZH"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
  }
  QTemporaryDir dir_;
  QString base_;
};

TEST_F(OnDisk, LongPathNameOfExistingPaths) {
  EXPECT_EQ(LongPathName(base_ + S("/Sub/File.LZH")), base_ + S("/Sub/File.LZH"));
  EXPECT_EQ(LongPathName(base_ + S("/Sub/Inner")), base_ + S("/Sub/Inner"));
  EXPECT_EQ(LongPathName(S("/")), S("/"));
}

TEST_F(OnDisk, LongPathNameDropsClosingSlashAndFoldsDots) {
  EXPECT_EQ(LongPathName(base_ + S("/Sub/Inner/")), base_ + S("/Sub/Inner"));
  EXPECT_EQ(LongPathName(base_ + S("/Sub/Inner/../File.LZH")), base_ + S("/Sub/File.LZH"));
  EXPECT_EQ(LongPathName(base_ + S("/./Sub//Inner/.")), base_ + S("/Sub/Inner"));
  EXPECT_EQ(LongPathName(S("/..")), S("/"));
  // "." and ".." are resolved as the system does: they need a folder in front of them.
  EXPECT_EQ(LongPathName(base_ + S("/Missing/../Sub")), S(""));
  EXPECT_EQ(LongPathName(base_ + S("/Sub/File.LZH/../File.LZH")), S(""));
  EXPECT_EQ(LongPathName(base_ + S("/Sub/File.LZH/.")), S(""));
}

TEST_F(OnDisk, LongPathNameLeavesALinkedFolderByItsRealParent) {
  // Link -> Sub/Inner: "Link/.." is Sub, where the system goes, not the link's own folder.
  ASSERT_EQ(::symlink("Sub/Inner", QFile::encodeName(base_ + S("/Link")).constData()), 0);
  QFile top(base_ + S("/File.LZH"));
  ASSERT_TRUE(top.open(QIODevice::WriteOnly));
  EXPECT_EQ(LongPathName(base_ + S("/Link/../File.LZH")), base_ + S("/Sub/File.LZH"));
  EXPECT_EQ(LongPathName(base_ + S("/Link/./")), base_ + S("/Link"));
}

TEST_F(OnDisk, NamesThatAreNotUtf8AreFoundByTheirBytes) {
  const QByteArray folder = QFile::encodeName(base_) + "/\x83\x66\x81\x5B\x83\x5E";  // CP932
  const QByteArray file = folder + "/caf\xE9.lzh";                                  // Latin-1
  ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
  const int fd = ::open(file.constData(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ::close(fd);
  const QString name = NameFromBytes(file);
  EXPECT_EQ(LongPathName(name), name);
  EXPECT_EQ(LongPathName(NameFromBytes(folder + "/./../" + folder.mid(folder.lastIndexOf('/') + 1) + "/caf\xE9.lzh")), name);
  EXPECT_TRUE(FileReadable(name));
  EXPECT_FALSE(FileReadable(NameFromBytes(folder)));
  EXPECT_FALSE(DiskFreeText(NameFromBytes(folder)).isEmpty());
}

TEST_F(OnDisk, LongPathNameFailsForMissingOrMisspelledComponents) {
  EXPECT_EQ(LongPathName(base_ + S("/Sub/Missing.LZH")), S(""));
  EXPECT_EQ(LongPathName(base_ + S("/Sub/file.lzh")), S(""));
  EXPECT_EQ(LongPathName(base_ + S("/SUB/File.LZH")), S(""));
  EXPECT_EQ(LongPathName(base_ + S("/Sub/File.LZH/x")), S(""));
  EXPECT_EQ(LongPathName(base_ + S("/Sub/File.LZH/")), base_ + S("/Sub/File.LZH"));
}

TEST_F(OnDisk, LongPathNameRefusesRelativeAndOddInput) {
  const QString keep = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(base_));
  EXPECT_EQ(LongPathName(S("Sub/File.LZH")), S(""));
  EXPECT_EQ(LongPathName(S("./Sub")), S(""));
  QDir::setCurrent(keep);
  EXPECT_EQ(LongPathName(S("")), S(""));
  EXPECT_EQ(LongPathName(base_ + QChar(0) + S("/Sub")), S(""));
}

TEST_F(OnDisk, LongPathNameLimitsTheNumberOfParts) {
  // The root and 255 names are the most a path may have.
  QString deep = base_;
  const int baseNames = static_cast<int>(base_.split(QLatin1Char('/'), Qt::SkipEmptyParts).size());
  ASSERT_LT(baseNames, 200);
  for (int i = baseNames; i < 255; ++i) deep += S("/d");
  ASSERT_TRUE(QDir().mkpath(deep + S("/d")));
  EXPECT_EQ(LongPathName(deep), deep);
  EXPECT_EQ(LongPathName(deep + S("/d")), S(""));
  EXPECT_EQ(LongPathName(deep + S("/d/..")), deep);
}

TEST_F(OnDisk, LongPathNameKeepsSymbolicLinks) {
  ASSERT_EQ(::symlink("Sub", QFile::encodeName(base_ + S("/Link")).constData()), 0);
  ASSERT_EQ(::symlink("nowhere", QFile::encodeName(base_ + S("/Dangling")).constData()), 0);
  EXPECT_EQ(LongPathName(base_ + S("/Link/File.LZH")), base_ + S("/Link/File.LZH"));
  EXPECT_EQ(LongPathName(base_ + S("/Dangling")), base_ + S("/Dangling"));
  EXPECT_FALSE(FileReadable(base_ + S("/Dangling")));
  EXPECT_TRUE(FileReadable(base_ + S("/Link/File.LZH")));
}

TEST_F(OnDisk, FileReadableOnlyForRegularFiles) {
  EXPECT_TRUE(FileReadable(base_ + S("/Sub/File.LZH")));
  EXPECT_FALSE(FileReadable(base_ + S("/Sub")));
  EXPECT_FALSE(FileReadable(base_ + S("/Sub/Missing.LZH")));
  EXPECT_FALSE(FileReadable(S("")));
  EXPECT_FALSE(FileReadable(S("/dev/null")));
  // A FIFO without a writer must neither block nor count as readable.
  const QString fifo = base_ + S("/pipe");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  EXPECT_FALSE(FileReadable(fifo));
}

TEST_F(OnDisk, FileReadableFalseWithoutReadPermission) {
  if (::geteuid() == 0) GTEST_SKIP() << "root opens files whatever their permissions";
  const QString path = base_ + S("/Sub/File.LZH");
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
  EXPECT_FALSE(FileReadable(path));
  ::chmod(QFile::encodeName(path).constData(), 0600);
}

TEST(SystemFolders, TempDirEndsInSlash) {
  const QString dir = GetTempDir();
  ASSERT_FALSE(dir.isEmpty());
  EXPECT_TRUE(dir.endsWith(QLatin1Char('/')));
  EXPECT_FALSE(dir.endsWith(S("//")));
  EXPECT_TRUE(QDir(dir).exists());
  EXPECT_EQ(dir, QDir::tempPath() + (QDir::tempPath().endsWith(QLatin1Char('/')) ? S("") : S("/")));
}

TEST(SystemFolders, SystemDirFromEnvironmentOrProgramFolder) {
  const QByteArray saved = qgetenv("ORVEX2_SYSTEM_DIR");
  const bool wasSet = qEnvironmentVariableIsSet("ORVEX2_SYSTEM_DIR");

  qputenv("ORVEX2_SYSTEM_DIR", "/opt/orvex2/lib/");
  EXPECT_EQ(GetSystemDir(), S("/opt/orvex2/lib"));

  qputenv("ORVEX2_SYSTEM_DIR", "");
  const QString expected = QDir::cleanPath(QCoreApplication::applicationDirPath() + S("/../lib/orvex2"));
  EXPECT_EQ(GetSystemDir(), expected);
  qunsetenv("ORVEX2_SYSTEM_DIR");
  EXPECT_EQ(GetSystemDir(), expected);
  EXPECT_FALSE(expected.endsWith(QLatin1Char('/')));
  EXPECT_TRUE(expected.endsWith(S("/lib/orvex2")));

  if (wasSet) qputenv("ORVEX2_SYSTEM_DIR", saved);
}

}  // namespace
