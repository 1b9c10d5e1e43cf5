// Tests of the settings store, the option record's load and save, the removal of all settings
// and the window-geometry rule. Every test works in its own temporary store folder.
#include "foundation/settings.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include "foundation/names.h"
#include "foundation/paths.h"

#include <QElapsedTimer>
#include <QLockFile>
#include <sys/stat.h>

namespace {

using namespace orvex2;

QString U(const char16_t* text) { return QString::fromUtf16(text); }

const QString kMincho = U(u"\uFF2D\uFF33 \u660E\u671D");  // "ＭＳ 明朝"

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    SettingsStore::SetLocation(dir_.path());
    SettingsStore::SetWriteObserver(nullptr);
    Shared() = SharedState{};
  }
  void TearDown() override {
    SettingsStore::SetWriteObserver(nullptr);
    Shared() = SharedState{};
  }

  QString Path(const QString& name) const { return dir_.filePath(name); }

  // Writes a file as a person would. Qt re-reads a settings file only when its size or time
  // changed, and rewrites here follow each other within the file system's time resolution, so
  // every rewrite gets a later time.
  void PutFile(const QString& name, const QByteArray& bytes) {
    static QDateTime stamp = QDateTime::currentDateTimeUtc();
    stamp = stamp.addSecs(1);
    QFile f(Path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.flush();
    ASSERT_TRUE(f.setFileTime(stamp, QFileDevice::FileModificationTime));
  }

  QByteArray FileBytes(const QString& name) const {
    QFile f(Path(name));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
  }

  // Key names of section [Orvex2] as they stand in the file.
  QStringList FileKeys(const QString& name) const {
    QStringList keys;
    bool inSection = false;
    for (const QByteArray& raw : FileBytes(name).split('\n')) {
      const QString line = QString::fromUtf8(raw).trimmed();
      if (line.startsWith(u'[')) {
        inSection = line == QStringLiteral("[Orvex2]");
      } else if (inSection && line.contains(u'=')) {
        keys << line.left(line.indexOf(u'='));
      }
    }
    return keys;
  }

  static QString Current(const QString& key) {
    return SettingsStore::Read(kCurrentApp, kSection, key, QStringLiteral("<missing>"));
  }
  static QString Earlier(const QString& key) {
    return SettingsStore::Read(kEarlierApp, kSection, key, QStringLiteral("<missing>"));
  }

  // Records every write as "app/section/key=value".
  void RecordWrites() {
    SettingsStore::SetWriteObserver(
        [this](const QString& app, const QString& section, const QString& key, const QString& value) {
          writes_ << app + u'/' + section + u'/' + key + u'=' + value;
        });
  }

  QTemporaryDir dir_;
  QStringList writes_;
};

// ---- The store itself --------------------------------------------------------------------------

using StoreTest = SettingsTest;

TEST_F(StoreTest, ReadWriteByApplicationSectionKey) {
  EXPECT_EQ(SettingsStore::Read(kCurrentApp, kSection, "Lzh", "dflt"), "dflt");
  SettingsStore::Write(kCurrentApp, kSection, "Lzh", "False");
  SettingsStore::Write(kCurrentApp, "Other", "Lzh", "other");
  SettingsStore::Write(kEarlierApp, kSection, "Lzh", "earlier");
  EXPECT_EQ(Current("Lzh"), "False");
  EXPECT_EQ(SettingsStore::Read(kCurrentApp, "Other", "Lzh", ""), "other");
  EXPECT_EQ(Earlier("Lzh"), "earlier");
  EXPECT_TRUE(QFileInfo(Path("Tovanel.ini")).isFile());
  EXPECT_TRUE(QFileInfo(Path("Orvex2.ini")).isFile());
  EXPECT_EQ(SettingsStore::FilePath(kCurrentApp), Path("Tovanel.ini"));
  // Keys are case-sensitive; an empty value is a value, not a missing key.
  EXPECT_EQ(Current("lzh"), "<missing>");
  SettingsStore::Write(kCurrentApp, kSection, "Empty", "");
  EXPECT_EQ(Current("Empty"), "");
}

TEST_F(StoreTest, TextValuesRoundTripExactly) {
  const QStringList values = {"t -+ -y1 -gm1", " leading and trailing ", "a,b, c", "@at", kMincho,
                              "\"quoted\"", "semi;colon", "back\\slash", "tab\tnew\nline\x01" "F",
                              "#hash=eq", NameFromBytes("/caf\xE9/\x93\xfa"), U(u"\U0001F4E6 \u00E9")};
  for (int i = 0; i < values.size(); ++i) SettingsStore::Write(kCurrentApp, kSection, QString("K%1").arg(i), values[i]);
  for (int i = 0; i < values.size(); ++i) EXPECT_EQ(Current(QString("K%1").arg(i)), values[i]) << i;
}

TEST_F(StoreTest, KeysWithABlankAreTheirOwnKeys) {
  SettingsStore::Write(kCurrentApp, kSection, "Move 0", "True");
  SettingsStore::Write(kCurrentApp, kSection, "Move0", "False");
  EXPECT_EQ(Current("Move 0"), "True");
  EXPECT_EQ(Current("Move0"), "False");
  const QStringList keys = FileKeys("Tovanel.ini");
  EXPECT_TRUE(keys.contains("Move%200")) << keys.join(' ').toStdString();
  EXPECT_TRUE(keys.contains("Move0"));

  // A key typed by hand with the blank reads under the same name.
  PutFile("Orvex2.ini", "[Orvex2]\nMove 1=True\nMove1=False\n");
  EXPECT_EQ(Earlier("Move 1"), "True");
  EXPECT_EQ(Earlier("Move1"), "False");
}

TEST_F(StoreTest, HandTypedListIsJoinedWithCommas) {
  PutFile("Tovanel.ini", "[Orvex2]\nCab_Opt=-t,-v\nZip_Opt=\"-t, -q\"\n");
  EXPECT_EQ(Current("Cab_Opt"), "-t,-v");
  EXPECT_EQ(Current("Zip_Opt"), "-t, -q");
}

TEST_F(StoreTest, DeleteSectionKeepsOtherSections) {
  SettingsStore::Write(kCurrentApp, kSection, "A", "1");
  SettingsStore::Write(kCurrentApp, "Keep", "B", "2");
  SettingsStore::DeleteSection(kCurrentApp, kSection);
  EXPECT_EQ(Current("A"), "<missing>");
  EXPECT_EQ(SettingsStore::Read(kCurrentApp, "Keep", "B", ""), "2");
  SettingsStore::DeleteSection(kCurrentApp, "Absent");  // nothing to do, no failure
  SettingsStore::Write(kCurrentApp, kSection, "A", "3");
  EXPECT_EQ(Current("A"), "3");
}

TEST_F(StoreTest, DeleteApplicationRemovesTheFile) {
  SettingsStore::Write(kEarlierApp, kSection, "A", "1");
  SettingsStore::Write(kEarlierApp, "Other", "B", "2");
  EXPECT_EQ(Earlier("A"), "1");
  SettingsStore::DeleteApplication(kEarlierApp);
  EXPECT_FALSE(QFileInfo::exists(Path("Orvex2.ini")));
  EXPECT_EQ(Earlier("A"), "<missing>");
  EXPECT_EQ(SettingsStore::Read(kEarlierApp, "Other", "B", "<missing>"), "<missing>");
  SettingsStore::DeleteApplication(kEarlierApp);  // already gone
  // Written again after the deletion, only the new key is there.
  SettingsStore::Write(kEarlierApp, kSection, "C", "3");
  EXPECT_EQ(Earlier("A"), "<missing>");
  EXPECT_EQ(Earlier("C"), "3");
}

TEST_F(StoreTest, UnparsableFileIsCopiedAsideBeforeTheFirstWrite) {
  const QByteArray typed = "[Orvex2\nmy notes, typed by hand\n";
  PutFile("Tovanel.ini", typed);
  EXPECT_EQ(Current("Lzh"), "<missing>");  // read first: Qt then caches the parsed file
  SettingsStore::Write(kCurrentApp, kSection, "Lzh", "False");
  EXPECT_EQ(FileBytes("Tovanel.ini.bad"), typed);
  EXPECT_EQ(Current("Lzh"), "False");
  QSettings check(Path("Tovanel.ini"), QSettings::IniFormat);
  EXPECT_EQ(check.status(), QSettings::NoError);
  // Later writes go to a sound file and keep no further copies.
  SettingsStore::Write(kCurrentApp, kSection, "Zip", "False");
  EXPECT_EQ(FileBytes("Tovanel.ini.bad"), typed);
  EXPECT_FALSE(QFileInfo::exists(Path("Tovanel.ini.bad.1")));
}

TEST_F(StoreTest, EarlierUnparsableCopyIsNotOverwritten) {
  PutFile("Tovanel.ini.bad", "older copy");
  PutFile("Tovanel.ini", "[Orvex2\nnewer\n");
  SettingsStore::Write(kCurrentApp, kSection, "A", "1");
  EXPECT_EQ(FileBytes("Tovanel.ini.bad"), "older copy");
  EXPECT_EQ(FileBytes("Tovanel.ini.bad.1"), "[Orvex2\nnewer\n");
}

TEST_F(StoreTest, UnparsableFileIsCopiedAsideBeforeDeletion) {
  PutFile("Orvex2.ini", "[Orvex2\nVersion=1.02\n");
  SettingsStore::DeleteApplication(kEarlierApp);
  EXPECT_FALSE(QFileInfo::exists(Path("Orvex2.ini")));
  EXPECT_EQ(FileBytes("Orvex2.ini.bad"), "[Orvex2\nVersion=1.02\n");
}

TEST_F(StoreTest, StoreThatCannotBeWrittenFailsQuietly) {
  PutFile("plainfile", "x");
  SettingsStore::SetLocation(Path("plainfile/sub"));
  SettingsStore::Write(kCurrentApp, kSection, "A", "1");
  EXPECT_EQ(Current("A"), "<missing>");
  SettingsStore::DeleteSection(kCurrentApp, kSection);
  SettingsStore::DeleteApplication(kCurrentApp);
  LoadOptions();
  EXPECT_TRUE(Options().Lzh);
  SaveOptions();
  EXPECT_EQ(FileBytes("plainfile"), "x");
}

// ---- Conversions -------------------------------------------------------------------------------

TEST(SettingsConversions, Booleans) {
  for (const char* t : {"True", "true", "TRUE", "tRuE", " True ", "-1", "1", "2", "0.5", "-0.5"})
    EXPECT_EQ(ParseBool(t), std::optional<bool>(true)) << t;
  for (const char* t : {"False", "false", "FALSE", "0", "-0", "0.0"})
    EXPECT_EQ(ParseBool(t), std::optional<bool>(false)) << t;
  for (const char* t : {"", "yes", "Truee", "T", "1x", "on"}) EXPECT_FALSE(ParseBool(t).has_value()) << t;
}

TEST(SettingsConversions, BooleanFromNumberBeyondSinglePrecision) {
  EXPECT_EQ(ParseBool("1e39"), std::optional<bool>(true));
  EXPECT_EQ(ParseBool("-4E+100"), std::optional<bool>(true));
  EXPECT_FALSE(ParseBool("1e999").has_value());  // overflows any number type
}

TEST(SettingsConversions, Int16) {
  EXPECT_EQ(ParseInt16("2"), std::optional<qint16>(2));
  EXPECT_EQ(ParseInt16("-1"), std::optional<qint16>(-1));
  EXPECT_EQ(ParseInt16(" 10 "), std::optional<qint16>(10));
  EXPECT_EQ(ParseInt16("32767"), std::optional<qint16>(32767));
  EXPECT_EQ(ParseInt16("-32768"), std::optional<qint16>(-32768));
  for (const char* t : {"32768", "-32769", "", "abc", "1.5", "2x", "99999999999999999999"})
    EXPECT_FALSE(ParseInt16(t).has_value()) << t;
  EXPECT_FALSE(ParseInt16(U(u"\uFF12")).has_value());  // full-width digit
}

TEST(SettingsConversions, Numbers) {
  EXPECT_EQ(ParseNumber("1000"), std::optional<double>(1000));
  EXPECT_EQ(ParseNumber("1000.5"), std::optional<double>(1000.5));
  EXPECT_EQ(ParseNumber("-9999"), std::optional<double>(-9999));
  EXPECT_EQ(ParseNumber(".5"), std::optional<double>(0.5));
  EXPECT_EQ(ParseNumber("1E3"), std::optional<double>(1000));
  for (const char* t : {"", "abc", "10px", "1,000", "nan", "inf", "1e999", "--1"})
    EXPECT_FALSE(ParseNumber(t).has_value()) << t;
}

TEST(SettingsConversions, NumberText) {
  EXPECT_EQ(NumberText(1000), "1000");
  EXPECT_EQ(NumberText(1234.5), "1234.5");
  EXPECT_EQ(NumberText(-9999), "-9999");
  EXPECT_EQ(NumberText(0), "0");
  EXPECT_EQ(NumberText(-0.0), "0");
  EXPECT_EQ(NumberText(0.1), "0.1");            // single precision, not 0.100000001
  EXPECT_EQ(NumberText(123456789), "123456792");  // no exponent
  EXPECT_EQ(ParseNumber(NumberText(28815)), std::optional<double>(28815));
}

// ---- Option record -----------------------------------------------------------------------------

using OptionsTest = SettingsTest;

QStringList FreshSaveWrites() {
  const QString p = "Tovanel/Orvex2/";
  return {p + "Version=1.03", p + "Lzh=True", p + "Zip=True", p + "Arj=True", p + "Cab=True",
          p + "Lzh_X=False", p + "Lzh_Lha=False", p + "Lzh_Exe=False", p + "Zip_Exe=False",
          p + "Arj_Exe=False", p + "Cab_Exe=False", p + "Lzh_Opt=t -+ -y1 -gm1", p + "Zip_Opt=-t",
          p + "Arj_Opt=t -+ -y1 -hm1", p + "Cab_Opt=-t", p + "TmpDir=" + GetTempDir(), p + "Double=False",
          p + "Auto=False", p + "AutoExe=2", p + "AutoLog=True", p + "Resize=True", p + "Tip=True",
          p + "Dir_Out=" + QDir::currentPath(), p + "Dir_Out_Yuko=False", p + "Move 0=False",
          p + "Move 1=False", p + "Move 2=False", p + "Font_Name=" + kMincho, p + "Font_Size=10",
          p + "Font_Bold=False", p + "Font_Italic=False"};
}

TEST_F(OptionsTest, FreshProfileGivesDefaults) {
  LoadOptions();
  const OptionRecord& o = Options();
  EXPECT_TRUE(o.Lzh && o.Zip && o.Arj && o.Cab);
  EXPECT_FALSE(o.Lzh_X || o.Lzh_Lha || o.Lzh_Exe || o.Zip_Exe || o.Arj_Exe || o.Cab_Exe);
  EXPECT_EQ(o.Lzh_Opt, "t -+ -y1 -gm1");
  EXPECT_EQ(o.Zip_Opt, "-t");
  EXPECT_EQ(o.Arj_Opt, "t -+ -y1 -hm1");
  EXPECT_EQ(o.Cab_Opt, "-t");
  EXPECT_FALSE(o.TmpDir.isEmpty());
  EXPECT_EQ(o.TmpDir, GetTempDir());
  EXPECT_FALSE(o.Double);
  EXPECT_FALSE(o.Auto);
  EXPECT_EQ(o.AutoExe, 2);
  EXPECT_TRUE(o.AutoLog);
  EXPECT_TRUE(o.Resize);
  EXPECT_TRUE(o.Tip);
  EXPECT_EQ(o.Dir_Out, QDir::currentPath());
  EXPECT_FALSE(o.Dir_Out_Yuko);
  EXPECT_EQ(o.Move, (std::array<bool, 3>{false, false, false}));
  EXPECT_EQ(o.Font_Name, kMincho);
  EXPECT_EQ(o.Font_Size, 10);
  EXPECT_FALSE(o.Font_Bold);
  EXPECT_FALSE(o.Font_Italic);
  // Loading only reads.
  EXPECT_FALSE(QFileInfo::exists(Path("Tovanel.ini")));
}

TEST_F(OptionsTest, DirOutDefaultIsTheFolderCurrentAtLoad) {
  const QString before = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir_.path()));
  LoadOptions();
  QDir::setCurrent(before);
  EXPECT_EQ(Options().Dir_Out, QDir(dir_.path()).canonicalPath());
}

TEST_F(OptionsTest, SaveAfterFreshLoadWritesEveryKeyInOrder) {
  LoadOptions();
  RecordWrites();
  SaveOptions();
  EXPECT_EQ(writes_, FreshSaveWrites());

  // The file holds exactly those keys; the blank of the move keys is encoded by the INI format.
  QStringList keys = FileKeys("Tovanel.ini");
  QStringList expected;
  for (const QString& w : FreshSaveWrites()) {
    QString key = w.mid(15, w.indexOf(u'=') - 15);
    expected << key.replace(' ', "%20");
  }
  keys.sort();
  expected.sort();
  EXPECT_EQ(keys, expected);
  EXPECT_EQ(Current("Version"), "1.03");
  EXPECT_EQ(Current("Move 2"), "False");
  EXPECT_EQ(Current("Font_Name"), kMincho);
  EXPECT_EQ(Current("Lzh_Opt"), "t -+ -y1 -gm1");
}

TEST_F(OptionsTest, EveryFieldRoundTrips) {
  OptionRecord& o = Options();
  o.Lzh = o.Zip = o.Arj = o.Cab = false;
  o.Lzh_X = o.Lzh_Lha = o.Lzh_Exe = o.Zip_Exe = o.Arj_Exe = o.Cab_Exe = true;
  o.Lzh_Opt = "a1";
  o.Zip_Opt = "b2";
  o.Arj_Opt = "c3";
  o.Cab_Opt = "d4, e5";
  o.TmpDir = "/tmp/x y/";
  o.Double = o.Auto = true;
  o.AutoExe = 1;
  o.AutoLog = o.Resize = o.Tip = false;
  o.Dir_Out = U(u"/home/\u7570\u5E38");
  o.Dir_Out_Yuko = true;
  o.Move = {true, false, true};
  o.Font_Name = "IPAGothic";
  o.Font_Size = -12;
  o.Font_Bold = o.Font_Italic = true;
  const OptionRecord saved = o;
  SaveOptions();
  Shared() = SharedState{};
  LoadOptions();
  const OptionRecord& r = Options();
  EXPECT_EQ(r.Lzh, saved.Lzh);
  EXPECT_EQ(r.Zip, saved.Zip);
  EXPECT_EQ(r.Arj, saved.Arj);
  EXPECT_EQ(r.Cab, saved.Cab);
  EXPECT_EQ(r.Lzh_X, saved.Lzh_X);
  EXPECT_EQ(r.Lzh_Lha, saved.Lzh_Lha);
  EXPECT_EQ(r.Lzh_Exe, saved.Lzh_Exe);
  EXPECT_EQ(r.Zip_Exe, saved.Zip_Exe);
  EXPECT_EQ(r.Arj_Exe, saved.Arj_Exe);
  EXPECT_EQ(r.Cab_Exe, saved.Cab_Exe);
  EXPECT_EQ(r.Lzh_Opt, saved.Lzh_Opt);
  EXPECT_EQ(r.Zip_Opt, saved.Zip_Opt);
  EXPECT_EQ(r.Arj_Opt, saved.Arj_Opt);
  EXPECT_EQ(r.Cab_Opt, saved.Cab_Opt);
  EXPECT_EQ(r.TmpDir, saved.TmpDir);
  EXPECT_EQ(r.Double, saved.Double);
  EXPECT_EQ(r.Auto, saved.Auto);
  EXPECT_EQ(r.AutoExe, saved.AutoExe);
  EXPECT_EQ(r.AutoLog, saved.AutoLog);
  EXPECT_EQ(r.Resize, saved.Resize);
  EXPECT_EQ(r.Tip, saved.Tip);
  EXPECT_EQ(r.Dir_Out, saved.Dir_Out);
  EXPECT_EQ(r.Dir_Out_Yuko, saved.Dir_Out_Yuko);
  EXPECT_EQ(r.Move, saved.Move);
  EXPECT_EQ(r.Font_Name, saved.Font_Name);
  EXPECT_EQ(r.Font_Size, saved.Font_Size);
  EXPECT_EQ(r.Font_Bold, saved.Font_Bold);
  EXPECT_EQ(r.Font_Italic, saved.Font_Italic);
}

TEST_F(OptionsTest, EarlierStoreIsMigrated) {
  PutFile("Orvex2.ini",
          "[Orvex2]\nVersion=1.02\nLzh=False\nAutoExe=0\nFont_Name=Old Font\nMove%202=True\nMain_Left=3000\n");
  PutFile("Tovanel.ini", "[Orvex2]\nLzh=True\nZip=False\nAutoExe=1\nFont_Name=New Font\nMain_Top=4000\n");
  LoadOptions();
  EXPECT_FALSE(Options().Lzh);
  EXPECT_EQ(Options().AutoExe, 0);
  EXPECT_EQ(Options().Font_Name, "Old Font");
  EXPECT_TRUE(Options().Move[2]);
  EXPECT_TRUE(Options().Zip);  // missing in the earlier store: its default, not the current value
  SaveOptions();
  EXPECT_FALSE(QFileInfo::exists(Path("Orvex2.ini")));
  EXPECT_EQ(Current("Version"), "1.03");
  EXPECT_EQ(Current("Lzh"), "False");
  EXPECT_EQ(Current("Zip"), "True");
  EXPECT_EQ(Current("AutoExe"), "0");
  EXPECT_EQ(Current("Font_Name"), "Old Font");
  EXPECT_EQ(Current("Move 2"), "True");
  EXPECT_EQ(Current("Main_Top"), "4000");  // keys other than options stay
  // The next start reads the current store.
  Shared() = SharedState{};
  LoadOptions();
  EXPECT_FALSE(Options().Lzh);
  EXPECT_EQ(Options().Font_Name, "Old Font");
}

TEST_F(OptionsTest, EarlierStoreIsDetectedByExactVersionText) {
  PutFile("Tovanel.ini", "[Orvex2]\nAutoExe=1\n");
  PutFile("Orvex2.ini", "[Orvex2]\nVersion=0.00\nAutoExe=0\n");
  LoadOptions();
  EXPECT_EQ(Options().AutoExe, 1);
  PutFile("Orvex2.ini", "[Orvex2]\nVersion=0.0\nAutoExe=0\n");
  LoadOptions();
  EXPECT_EQ(Options().AutoExe, 0);
}

TEST_F(OptionsTest, EarlierStoreWithOnlyMainLeftGivesOnlyMainGeometry) {
  PutFile("Orvex2.ini", "[Orvex2]\nMain_Left=3000\n");
  PutFile("Tovanel.ini",
          "[Orvex2]\nLzh=False\nResize=False\nMain_Left=2000\nMain_Top=2500\nInDir_Left=700\nOption_Left=600\n");
  LoadOptions();
  EXPECT_FALSE(Options().Lzh);
  EXPECT_FALSE(Options().Resize);
  const ScreenSize screen{20000, 15000};
  const auto main = RestoreGeometry("Main", WindowKind::Main, Geometry{}, screen);
  ASSERT_TRUE(main.has_value());
  EXPECT_EQ(main->left, 3000);
  EXPECT_EQ(main->top, 1000);  // the earlier store has no Main_Top: default, not 2500
  EXPECT_EQ(main->width, 8000);
  const auto child = RestoreGeometry("InDir", WindowKind::Child, Geometry{1, 2, 3, 4, 0}, screen);
  ASSERT_TRUE(child.has_value());
  EXPECT_EQ(child->left, 700);
  const auto dialog = RestoreGeometry("Option", WindowKind::DialogPos, Geometry{}, screen);
  ASSERT_TRUE(dialog.has_value());
  EXPECT_EQ(dialog->left, 600);
}

TEST_F(OptionsTest, StoredTextsAreConvertedOrSkipped) {
  PutFile("Tovanel.ini",
          "[Orvex2]\nDir_Out_Yuko=-1\nDouble=TRUE\nTip=0\nAutoExe=abc\nFont_Size=99999\nLzh=maybe\n"
          "AutoLog=\n");
  Options().AutoExe = 1;
  Options().Font_Size = 9;
  Options().AutoLog = true;
  LoadOptions();
  EXPECT_TRUE(Options().Dir_Out_Yuko);
  EXPECT_TRUE(Options().Double);
  EXPECT_FALSE(Options().Tip);
  EXPECT_EQ(Options().AutoExe, 1);     // kept
  EXPECT_EQ(Options().Font_Size, 9);   // out of range: kept
  EXPECT_FALSE(Options().Lzh);         // kept the fresh value, not the default
  EXPECT_TRUE(Options().AutoLog);      // empty text: kept
  EXPECT_TRUE(Options().Zip);          // missing: default
}

TEST_F(OptionsTest, MoveKeysNeedTheBlank) {
  PutFile("Tovanel.ini", "[Orvex2]\nMove0=True\nMove1=True\nMove 2=True\nmove 1=True\n");
  LoadOptions();
  EXPECT_EQ(Options().Move, (std::array<bool, 3>{false, false, true}));
}

TEST_F(OptionsTest, UnparsableStoreGivesDefaultsAndIsKept) {
  const QByteArray typed = "[Orvex2\nwhat I typed, by hand\n";
  PutFile("Tovanel.ini", typed);
  LoadOptions();
  EXPECT_TRUE(Options().Lzh);
  EXPECT_EQ(Options().AutoExe, 2);
  SaveOptions();
  EXPECT_EQ(FileBytes("Tovanel.ini.bad"), typed);
  EXPECT_EQ(Current("Version"), "1.03");
  EXPECT_EQ(Current("AutoExe"), "2");
}

TEST_F(OptionsTest, BinaryGarbageGivesDefaultsAndIsKeptAside) {
  QByteArray junk;
  for (int i = 0; i < 4096; ++i) junk.append(char((i * 7919 + 13) & 0xFF));
  PutFile("Tovanel.ini", junk);
  PutFile("Orvex2.ini", junk.left(999));
  LoadOptions();
  EXPECT_EQ(Options().Lzh_Opt, "t -+ -y1 -gm1");
  EXPECT_EQ(Options().Font_Size, 10);
  SaveOptions();
  EXPECT_EQ(Current("Font_Size"), "10");
  EXPECT_EQ(FileBytes("Tovanel.ini.bad"), junk);
  EXPECT_EQ(FileBytes("Orvex2.ini.bad"), junk.left(999));
}

TEST_F(OptionsTest, SettingsFileThatIsNoRegularFileIsNeverOpened) {
  // A FIFO would block whoever reads it; a folder cannot be read.
  ASSERT_EQ(::mkfifo(QFile::encodeName(Path("Tovanel.ini")).constData(), 0600), 0);
  LoadOptions();
  EXPECT_TRUE(Options().Lzh);
  EXPECT_EQ(Options().AutoExe, 2);
  SaveOptions();
  RemoveSettings();
  struct stat st {};
  ASSERT_EQ(::lstat(QFile::encodeName(Path("Tovanel.ini")).constData(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(OptionsTest, LargeStoreIsSavedOnceKeepingEveryOtherLine) {
  // 20 MB of hand-kept sections around the program's own keys.
  QByteArray text = "; kept by hand\n[Orvex2]\nLzh=False\nOther=keep me\n";
  QByteArray junk = "[Notes]\n";
  for (int i = 0; junk.size() < 20 * 1024 * 1024; ++i) junk += "note" + QByteArray::number(i) + "=" + QByteArray(90, 'n') + "\n";
  PutFile("Tovanel.ini", text + junk);
  QLockFile(Path("Tovanel.ini.lock")).lock();  // left behind by a killed save of this process
  LoadOptions();
  EXPECT_FALSE(Options().Lzh);
  Options().Lzh = true;
  QElapsedTimer timer;
  timer.start();
  {
    const SettingsStore::Batch shutDown;
    for (const char* prefix : {"InDir", "InFile", "File", "Status", "OutFile", "Default"})
      SaveGeometry(prefix, WindowKind::DialogSized, Geometry{1, 2, 3, 4, 0}, 0);
    SaveGeometry("Main", WindowKind::Main, Geometry{10, 20, 3000, 4000, 0}, 0);
    SaveOptions();
  }
  EXPECT_LT(timer.elapsed(), 1000);
  const QByteArray saved = FileBytes("Tovanel.ini");
  EXPECT_TRUE(saved.startsWith("; kept by hand\n[Orvex2]\nLzh=True\nOther=keep me\n"));
  EXPECT_NE(saved.indexOf(junk), -1);
  EXPECT_EQ(Current("Main_Width"), "3000");
  EXPECT_EQ(Current("Move 1"), "False");
  EXPECT_FALSE(QFileInfo::exists(Path("Tovanel.ini.lock")));
}

TEST_F(OptionsTest, EarlierStoreStaysWhenTheCurrentOneCannotBeWritten) {
  const QByteArray earlier = "[Orvex2]\nVersion=1.02\nLzh=False\n";
  PutFile("Orvex2.ini", earlier);
  ASSERT_TRUE(QDir(dir_.path()).mkdir("Tovanel.ini"));  // a folder where the file should be
  LoadOptions();
  EXPECT_FALSE(Options().Lzh);
  SaveOptions();
  EXPECT_EQ(FileBytes("Orvex2.ini"), earlier);
  EXPECT_TRUE(QFileInfo(Path("Tovanel.ini")).isDir());
}

TEST_F(OptionsTest, RemoveSettingsDeletesTheCurrentSectionAndTheEarlierStore) {
  LoadOptions();
  Options().Lzh = false;
  SaveOptions();
  SettingsStore::Write(kCurrentApp, "Keep", "A", "1");
  PutFile("Orvex2.ini", "[Orvex2]\nVersion=1.02\nLzh=False\n");
  RemoveSettings();
  EXPECT_EQ(Current("Lzh"), "<missing>");
  EXPECT_EQ(Current("Version"), "<missing>");
  EXPECT_EQ(SettingsStore::Read(kCurrentApp, "Keep", "A", ""), "1");
  EXPECT_EQ(Earlier("Version"), "<missing>");
  // Nothing of either store comes back at the next start.
  Shared() = SharedState{};
  LoadOptions();
  EXPECT_TRUE(Options().Lzh);
}

// ---- Window-geometry rule ----------------------------------------------------------------------

using GeometryTest = SettingsTest;

const ScreenSize kScreen{19200, 14400};  // 1280 x 960 pixels

TEST_F(GeometryTest, DefaultsPerKind) {
  const Geometry current{111, 222, 333, 444, 0};
  auto g = RestoreGeometry("Main", WindowKind::Main, current, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->left, 1000);
  EXPECT_EQ(g->top, 1000);
  EXPECT_EQ(g->width, 8000);
  EXPECT_EQ(g->height, 8000);
  EXPECT_EQ(g->state, 0);

  g = RestoreGeometry("About", WindowKind::DialogPos, current, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->left, 1000);
  EXPECT_EQ(g->top, 1000);
  EXPECT_EQ(g->width, 333);  // fixed size: untouched
  EXPECT_EQ(g->height, 444);

  g = RestoreGeometry("Default", WindowKind::DialogSized, current, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->width, 5000);
  EXPECT_EQ(g->height, 5000);

  Options().Resize = false;
  g = RestoreGeometry("File", WindowKind::Child, current, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->left, 111);
  EXPECT_EQ(g->top, 222);
  EXPECT_EQ(g->width, 333);
  EXPECT_EQ(g->height, 444);
}

TEST_F(GeometryTest, StoredValuesAreRestored) {
  PutFile("Tovanel.ini",
          "[Orvex2]\nMain_Left=1500.5\nMain_Top=2000\nMain_Width=9000\nMain_Height=7000\nMain_WindowState=2\n"
          "Default_Left=100\nDefault_Top=200\nDefault_Width=300\nDefault_Height=400\n");
  auto g = RestoreGeometry("Main", WindowKind::Main, Geometry{}, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->left, 1500.5);
  EXPECT_EQ(g->top, 2000);
  EXPECT_EQ(g->width, 9000);
  EXPECT_EQ(g->height, 7000);
  EXPECT_EQ(g->state, 2);
  g = RestoreGeometry("Default", WindowKind::DialogSized, Geometry{}, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->width, 300);  // dialogs keep a small size
  EXPECT_EQ(g->height, 400);
}

TEST_F(GeometryTest, OffScreenPositionsAreCorrected) {
  PutFile("Tovanel.ini",
          "[Orvex2]\nMain_Left=-1\nMain_Top=14401\nOption_Left=19201\nOption_Top=-5\n"
          "MenuMente_Left=19200\nMenuMente_Top=14400\nDefault_Left=0\nDefault_Top=-0.5\n");
  auto g = RestoreGeometry("Main", WindowKind::Main, Geometry{}, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->left, 1000);
  EXPECT_EQ(g->top, 1000);
  g = RestoreGeometry("Option", WindowKind::DialogPos, Geometry{}, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->left, 1000);
  EXPECT_EQ(g->top, 1000);
  g = RestoreGeometry("MenuMente", WindowKind::DialogPos, Geometry{}, kScreen);  // on the edge: kept
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->left, 19200);
  EXPECT_EQ(g->top, 14400);
  g = RestoreGeometry("Default", WindowKind::DialogSized, Geometry{}, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->left, 0);
  EXPECT_EQ(g->top, 1000);
}

TEST_F(GeometryTest, ChildPositionsAreNotCorrected) {
  PutFile("Tovanel.ini", "[Orvex2]\nStatus_Left=-500\nStatus_Top=99999\nStatus_Width=10\nStatus_Height=10\n");
  Options().Resize = false;
  const auto g = RestoreGeometry("Status", WindowKind::Child, Geometry{}, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->left, -500);
  EXPECT_EQ(g->top, 99999);
  EXPECT_EQ(g->width, 10);
}

TEST_F(GeometryTest, MainWindowMinimumSize) {
  PutFile("Tovanel.ini", "[Orvex2]\nMain_Width=1999\nMain_Height=499\n");
  auto g = RestoreGeometry("Main", WindowKind::Main, Geometry{}, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->width, 8000);
  EXPECT_EQ(g->height, 8000);
  PutFile("Tovanel.ini", "[Orvex2]\nMain_Width=2000\nMain_Height=500\n");
  g = RestoreGeometry("Main", WindowKind::Main, Geometry{}, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->width, 2000);
  EXPECT_EQ(g->height, 500);
}

TEST_F(GeometryTest, ChildRestoresOnlyWithoutResizeOrAutomaticRun) {
  PutFile("Tovanel.ini", "[Orvex2]\nOutFile_Left=10\nOutFile_Top=20\nOutFile_Width=30\nOutFile_Height=40\n");
  const Geometry current{1, 2, 3, 4, 0};
  Options().Resize = true;
  auto g = RestoreGeometry("OutFile", WindowKind::Child, current, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->left, 1);
  EXPECT_EQ(g->height, 4);
  Options().Resize = false;
  Shared().autoRun = true;
  g = RestoreGeometry("OutFile", WindowKind::Child, current, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->left, 1);
  Shared().autoRun = false;
  g = RestoreGeometry("OutFile", WindowKind::Child, current, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->left, 10);
  EXPECT_EQ(g->top, 20);
  EXPECT_EQ(g->width, 30);
  EXPECT_EQ(g->height, 40);
}

TEST_F(GeometryTest, UnconvertibleValuesFail) {
  PutFile("Tovanel.ini", "[Orvex2]\nMain_Top=abc\n");
  EXPECT_FALSE(RestoreGeometry("Main", WindowKind::Main, Geometry{}, kScreen).has_value());
  PutFile("Tovanel.ini", "[Orvex2]\nMain_WindowState=max\n");
  EXPECT_FALSE(RestoreGeometry("Main", WindowKind::Main, Geometry{}, kScreen).has_value());
  PutFile("Tovanel.ini", "[Orvex2]\nAbout_Left=\n");
  EXPECT_FALSE(RestoreGeometry("About", WindowKind::DialogPos, Geometry{}, kScreen).has_value());
  // The probe of the earlier store must convert too.
  PutFile("Tovanel.ini", "");
  PutFile("Orvex2.ini", "[Orvex2]\nMain_Left=left\n");
  EXPECT_FALSE(RestoreGeometry("Main", WindowKind::Main, Geometry{}, kScreen).has_value());
  Options().Resize = false;
  PutFile("Tovanel.ini", "[Orvex2]\nInFile_Height=tall\n");
  EXPECT_FALSE(RestoreGeometry("InFile", WindowKind::Child, Geometry{}, kScreen).has_value());
  // Unread while the child does not restore.
  Options().Resize = true;
  EXPECT_TRUE(RestoreGeometry("InFile", WindowKind::Child, Geometry{}, kScreen).has_value());
}

TEST_F(GeometryTest, ProbeValueOfTheEarlierStoreSelectsIt) {
  PutFile("Orvex2.ini", "[Orvex2]\nAbout_Left=-9999\nAbout_Top=3000\n");
  PutFile("Tovanel.ini", "[Orvex2]\nAbout_Left=1500\nAbout_Top=1600\n");
  auto g = RestoreGeometry("About", WindowKind::DialogPos, Geometry{}, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->left, 1500);  // -9999 stored in the earlier store means "not there"
  EXPECT_EQ(g->top, 1600);
  PutFile("Orvex2.ini", "[Orvex2]\nAbout_Left=2500\nAbout_Top=3000\n");
  g = RestoreGeometry("About", WindowKind::DialogPos, Geometry{}, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->left, 2500);
  EXPECT_EQ(g->top, 3000);
}

TEST_F(GeometryTest, MainWindowSavesStateAndNormalPositionOnly) {
  PutFile("Tovanel.ini", "[Orvex2]\nMain_Left=1100\nMain_Top=1200\nMain_Width=9100\nMain_Height=9200\n");
  SaveGeometry("Main", WindowKind::Main, Geometry{0, 0, 30000, 20000, 2}, 2);
  EXPECT_EQ(Current("Main_WindowState"), "2");
  EXPECT_EQ(Current("Main_Left"), "1100");
  EXPECT_EQ(Current("Main_Top"), "1200");
  EXPECT_EQ(Current("Main_Width"), "9100");
  EXPECT_EQ(Current("Main_Height"), "9200");

  SaveGeometry("Main", WindowKind::Main, Geometry{1234.5, 600, 9000, 7000, 0}, 0);
  EXPECT_EQ(Current("Main_WindowState"), "0");
  EXPECT_EQ(Current("Main_Left"), "1234.5");
  EXPECT_EQ(Current("Main_Top"), "600");
  EXPECT_EQ(Current("Main_Width"), "9000");
  EXPECT_EQ(Current("Main_Height"), "7000");
  const auto g = RestoreGeometry("Main", WindowKind::Main, Geometry{}, kScreen);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->left, 1234.5);
}

TEST_F(GeometryTest, ChildSavesOnlyWhenAllowed) {
  RecordWrites();
  const Geometry g{150, 300, 4500, 6000, 0};
  Options().Resize = true;
  SaveGeometry("InDir", WindowKind::Child, g, 0);
  Options().Resize = false;
  SaveGeometry("InDir", WindowKind::Child, g, 2);
  SaveGeometry("InDir", WindowKind::Child, g, 1);
  Shared().autoRun = true;
  SaveGeometry("InDir", WindowKind::Child, g, 0);
  EXPECT_TRUE(writes_.isEmpty()) << writes_.join(' ').toStdString();
  EXPECT_FALSE(QFileInfo::exists(Path("Tovanel.ini")));
  Shared().autoRun = false;
  SaveGeometry("InDir", WindowKind::Child, g, 0);
  EXPECT_EQ(writes_, (QStringList{"Tovanel/Orvex2/InDir_Left=150", "Tovanel/Orvex2/InDir_Top=300",
                                  "Tovanel/Orvex2/InDir_Width=4500", "Tovanel/Orvex2/InDir_Height=6000"}));
}

TEST_F(GeometryTest, DialogsAlwaysSaveIntoTheCurrentStore) {
  PutFile("Orvex2.ini", "[Orvex2]\nOption_Left=2000\nOption_Top=2000\n");
  RecordWrites();
  Options().Resize = true;
  Shared().autoRun = true;
  SaveGeometry("Option", WindowKind::DialogPos, Geometry{700, 800, 5000, 5000, 0}, 2);
  SaveGeometry("Default", WindowKind::DialogSized, Geometry{1, 2, 3, 4, 0}, 1);
  EXPECT_EQ(writes_, (QStringList{"Tovanel/Orvex2/Option_Left=700", "Tovanel/Orvex2/Option_Top=800",
                                  "Tovanel/Orvex2/Default_Left=1", "Tovanel/Orvex2/Default_Top=2",
                                  "Tovanel/Orvex2/Default_Width=3", "Tovanel/Orvex2/Default_Height=4"}));
  EXPECT_EQ(Earlier("Option_Left"), "2000");
  EXPECT_EQ(Current("Option_Left"), "700");
}

}  // namespace
