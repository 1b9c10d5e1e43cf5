// Names as bytes: lossless round trips and the decoded form people see.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "foundation/names.h"
#include "qt_printers.h"

namespace orvex2 {
namespace {

TEST(Names, EveryByteSequenceRoundTripsAndShowsDecoded) {
  struct Row {
    QByteArray bytes;
    QString shown;
    bool raw;
  };
  const Row rows[] = {
      {"/tmp/plain.lzh", QStringLiteral("/tmp/plain.lzh"), false},
      {"/tmp/\xE6\x97\xA5\xE6\x9C\xAC.lzh", QStringLiteral("/tmp/日本.lzh"), false},
      {"/tmp/\x93\xfa\x96\x7b\x8c\xea.lzh", QStringLiteral("/tmp/日本語.lzh"), true},          // CP932
      {"/\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF/\x83\x5c.zip", QStringLiteral("/データ/ソ.zip"), true},  // mixed parts
      {"/tmp/caf\xE9.zip", QStringLiteral("/tmp/caf\\xE9.zip"), true},  // Latin-1: neither UTF-8 nor CP932
      {"/tmp/\xED\xA0\x80\xC0\xAF\xF8.x", QStringLiteral("/tmp/\\xED\\xA0\\x80\\xC0\\xAF\\xF8.x"), true},  // surrogate, overlong
      {"/tmp/\xF0\x9F\x93\xA6 \"q\".cab", QStringLiteral("/tmp/📦 \"q\".cab"), false},
  };
  for (const Row& row : rows) {
    const QString name = NameFromBytes(row.bytes);
    EXPECT_EQ(NameToBytes(name), row.bytes) << row.bytes.toHex().constData();
    EXPECT_EQ(DisplayName(name), row.shown) << row.bytes.toHex().constData();
    EXPECT_EQ(HasRawBytes(name), row.raw);
  }
  for (int b = 0; b < 256; ++b) {
    const QByteArray one(1, char(b));
    EXPECT_EQ(NameToBytes(NameFromBytes(one)), one) << b;
  }
}

TEST(Names, TerminalFormShowsControlCharactersEscaped) {
  const QByteArray hostile = "/caf\xE9/a\x1B]0;owned\x07\x1B[2J\nb\tc\x7F\xC2\x9B.lzh";
  EXPECT_EQ(TerminalName(NameFromBytes(hostile)),
            QStringLiteral("/caf\\xE9/a\\x1B]0;owned\\x07\\x1B[2J\\x0Ab\\x09c\\x7F\\u009B.lzh"));
  EXPECT_EQ(TerminalName(QStringLiteral("/データ/A B.LZH")), QStringLiteral("/データ/A B.LZH"));
}

// The current folder keeps the bytes a non-UTF-8 folder name is made of, so relative names
// given on the command line and the browsers' starting folder point at the real folder.
TEST(Names, CurrentFolderKeepsItsBytes) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray folder = dir.path().toUtf8() + "/\x83\x66\x81\x5B\x83\x5E caf\xE9";
  ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
  char* before = ::getcwd(nullptr, 0);
  ASSERT_EQ(::chdir(folder.constData()), 0);
  const QString name = CurrentFolderName();
  EXPECT_EQ(::chdir(before), 0);
  std::free(before);
  EXPECT_EQ(NameToBytes(name), folder);
}

}  // namespace
}  // namespace orvex2
