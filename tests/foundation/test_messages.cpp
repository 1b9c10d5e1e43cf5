// Tests of the product and common message tables: missing IDs, empty entries, shared texts and
// the exact characters of texts whose spelling is easy to get wrong.
#include "foundation/messages.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

namespace {

using orvex2::CommonText;
using orvex2::ProductText;

// Texts written with escapes, independently of the tables' source.
QString U(const char16_t* text) { return QString::fromUtf16(text); }

TEST(Messages, MissingIdsGiveEmptyText) {
  EXPECT_TRUE(ProductText(0).isEmpty());
  EXPECT_TRUE(ProductText(4).isEmpty());
  EXPECT_TRUE(ProductText(-1).isEmpty());
  EXPECT_TRUE(ProductText(20087).isEmpty());
  EXPECT_TRUE(ProductText(32767).isEmpty());
  EXPECT_TRUE(ProductText(99999).isEmpty());
  EXPECT_TRUE(CommonText(0).isEmpty());
  EXPECT_TRUE(CommonText(1).isEmpty());
  EXPECT_TRUE(CommonText(-32768).isEmpty());
  EXPECT_TRUE(CommonText(11104).isEmpty());
}

TEST(Messages, ExplicitEmptyEntries) {
  EXPECT_TRUE(ProductText(10040).isEmpty());
  EXPECT_TRUE(ProductText(10060).isEmpty());
  // Their neighbours are real texts.
  EXPECT_EQ(ProductText(10041), U(u"\u7570\u5E38\u30D5\u30A1\u30A4\u30EB\u79FB\u52D5"
                                  u"\u30C9\u30E9\u30A4\u30D6\u540D\u3092\u8A2D\u5B9A\u3057\u307E\u3059"));
  EXPECT_EQ(ProductText(10063), U(u"\u30C6\u30F3\u30DD\u30E9\u30EA\u30D5\u30A9\u30EB\u30C0\u540D"));
}

TEST(Messages, SharedTexts) {
  EXPECT_EQ(ProductText(5000), U(u"\u5B9F\u884C\u5C65\u6B74"));  // 実行履歴
  EXPECT_EQ(ProductText(5001), ProductText(5000));
  EXPECT_EQ(ProductText(10001), ProductText(10043));
  EXPECT_EQ(ProductText(10002), ProductText(10063));
  EXPECT_EQ(ProductText(20075), ProductText(20076));
  EXPECT_NE(ProductText(20075), ProductText(20077));
  // ｷｬﾝｾﾙ in half-width katakana.
  EXPECT_EQ(CommonText(5), U(u"\uFF77\uFF6C\uFF9D\uFF7E\uFF99"));
  EXPECT_EQ(CommonText(8043), CommonText(5));
  EXPECT_EQ(CommonText(1100), CommonText(11101));
}

TEST(Messages, ProgressAndVerdictTextsKeepTheirFullWidthSpace) {
  int seen = 0;
  for (int id = 20000; id <= 20086; ++id) {
    const QString text = ProductText(id);
    if (text.isEmpty()) continue;
    ++seen;
    if (id == 20042) {
      EXPECT_EQ(text, U(u"\u3042\u308A\u307E\u3059"));  // あります
    } else {
      EXPECT_EQ(text.at(0), QChar(0x3000)) << id;
      EXPECT_NE(text.at(1), QChar(0x3000)) << id;
    }
  }
  // 19 progress and step texts (with 20032) and 47 verdict texts.
  EXPECT_EQ(seen, 20 + 47);
  EXPECT_EQ(ProductText(20032), U(u"\u3000\u79FB\u52D5\u3067\u304D\u307E\u305B\u3093\u3067\u3057\u305F"));
}

TEST(Messages, OddSpellingsKept) {
  // "ファイルのヘッダが壊れていま" ends without its last kana.
  EXPECT_EQ(ProductText(20065),
            U(u"\u3000\u30D5\u30A1\u30A4\u30EB\u306E\u30D8\u30C3\u30C0\u304C\u58CA\u308C\u3066\u3044\u307E"));
  // "クリップボート" with ト.
  EXPECT_TRUE(CommonText(8060).contains(U(u"\u30AF\u30EA\u30C3\u30D7\u30DC\u30FC\u30C8")));
  EXPECT_TRUE(CommonText(8061).contains(U(u"\u30AF\u30EA\u30C3\u30D7\u30DC\u30FC\u30C8")));
  // Full-width letters and digits.
  EXPECT_EQ(ProductText(3100),
            U(u"\u4E00\u5EA6\u3067\u5B9F\u884C\u3067\u304D\u308B\u30D5\u30A1\u30A4\u30EB\u6570"
              u"\u306F\u6700\u5927\uFF11\uFF10\uFF10\uFF10\u307E\u3067\u3067\u3059\u3002"));
  EXPECT_EQ(CommonText(8058), U(u"\uFF34\uFF4F\uFF4F\uFF4C\uFF34\uFF49\uFF50\u3092\u8868\u793A"));
  EXPECT_EQ(ProductText(206), U(u"UNZIP32.DLL\u306E\u30D0\u30FC\u30B8\u30E7\u30F3\u306F"
                                u"\uFF15\uFF0E\uFF14\uFF10\u4EE5\u964D\u3092\u3054\u5229\u7528"
                                u"\u304F\u3060\u3055\u3044\u3002"));
}

TEST(Messages, AsciiTexts) {
  EXPECT_EQ(ProductText(7000), QStringLiteral("About"));
  EXPECT_EQ(ProductText(8000), QStringLiteral("Option"));
  EXPECT_EQ(ProductText(9000), QStringLiteral("Default"));
  EXPECT_EQ(ProductText(9999), QStringLiteral("Orvex2 for Win32"));
  EXPECT_EQ(ProductText(20100), U(u"\u73FE\u5728UNLHA32.DLL\u306F\u4F7F\u7528\u4E2D\u3067\u3059"));
  EXPECT_EQ(ProductText(20103), U(u"\u73FE\u5728CAB32.DLL\u306F\u4F7F\u7528\u4E2D\u3067\u3059"));
}

TEST(Messages, FolderNameTextWithSingleBackslash) {
  const QString text = CommonText(101);
  EXPECT_EQ(text.count(QLatin1Char('\\')), 1);
  EXPECT_TRUE(text.contains(QStringLiteral(" [\\] "))) << text.toStdString();
  EXPECT_TRUE(CommonText(102).contains(QStringLiteral("[*]")));
  EXPECT_TRUE(CommonText(103).contains(QStringLiteral("[?]")));
}

TEST(Messages, LogFilterHasFourFields) {
  const QString filter = CommonText(11);
  const QStringList fields = filter.split(QLatin1Char('|'));
  ASSERT_EQ(fields.size(), 4);
  EXPECT_EQ(fields[0], QStringLiteral("LogFile(*.LOG)"));
  EXPECT_EQ(fields[1], QStringLiteral("*.LOG"));
  EXPECT_EQ(fields[2], U(u"\u5168\u3066\u306E\u30D5\u30A1\u30A4\u30EB(*.*)"));
  EXPECT_EQ(fields[3], QStringLiteral("*.*"));
}

TEST(Messages, ProgramTitleAndContactLines) {
  EXPECT_FALSE(ProductText(7001).isEmpty());
  EXPECT_TRUE(ProductText(7001).contains(QStringLiteral("Orvex2")));
  // Real texts: no placeholder address or link.
  for (int id : {7003, 7004, 7005}) {
    EXPECT_FALSE(CommonText(id).isEmpty()) << id;
    EXPECT_FALSE(CommonText(id).contains(QLatin1Char('@'))) << id;
    EXPECT_FALSE(CommonText(id).contains(QStringLiteral("example"))) << id;
  }
}

TEST(Messages, EveryIdInRangeIsWellFormed) {
  int product = 0;
  int common = 0;
  for (int id = -32768; id <= 32767; ++id) {
    for (const QString& text : {ProductText(id), CommonText(id)}) {
      if (text.isEmpty()) continue;
      EXPECT_FALSE(text.contains(QChar(0))) << id;
      EXPECT_FALSE(text.contains(QChar::ReplacementCharacter)) << id;
      EXPECT_FALSE(text.contains(QLatin1Char('"'))) << id;
      EXPECT_FALSE(text.endsWith(QLatin1Char(' '))) << id;
      EXPECT_FALSE(text.endsWith(QChar(0x3000))) << id;
    }
    if (!ProductText(id).isEmpty()) ++product;
    if (!CommonText(id).isEmpty()) ++common;
  }
  // Every entry is present: 152 product entries of which two are empty, 54 common entries.
  EXPECT_EQ(product, 150);
  EXPECT_EQ(common, 54);
}

TEST(Messages, BlocksByWindow) {
  // Each caption and its tool tips sit in one block of a thousand.
  for (int id : {1, 2, 3, 6, 7, 8, 1000, 1001, 1002, 1003, 2000, 2001, 2002, 2003, 2004, 3000, 3001,
                 3002, 3003, 3007, 6000, 6001, 8001, 8054, 10000, 10023})
    EXPECT_FALSE(ProductText(id).isEmpty()) << id;
  for (int id : {5, 9, 12, 3004, 3005, 3006, 8004, 8006, 8055, 10003, 10044, 10064, 20004, 20034,
                 20087, 20099, 20104})
    EXPECT_TRUE(ProductText(id).isEmpty()) << id;
}

}  // namespace
