// Verdict lines and classes for every kind of check result.
#include <gtest/gtest.h>

#include "qt_printers.h"

#include <QStringList>

#include "engine/ports.h"
#include "engine/verdict.h"
#include "recording_ports.h"

namespace orvex2 {
namespace {

using test::RecordingHistory;

class VerdictTest : public ::testing::Test {
 protected:
  void SetUp() override { Ports().history = &history; }
  void TearDown() override { Ports().history = nullptr; }
  RecordingHistory history;
};

TEST_F(VerdictTest, PassedAndSkipCountsAreClassZero) {
  EXPECT_EQ(ResultText(0), kClassPassed);
  EXPECT_EQ(ResultText(3), kClassPassed);
  EXPECT_EQ(ResultText(32767), kClassPassed);
  ASSERT_EQ(history.lines.size(), 3);
  EXPECT_EQ(history.lines[0], QStringLiteral("　この圧縮ファイルは正常です"));
  EXPECT_EQ(history.lines[1], QStringLiteral("　スキップされるファイルが 3あります"));
  EXPECT_EQ(history.lines[2], QStringLiteral("　スキップされるファイルが 32767あります"));
}

TEST_F(VerdictTest, ProcedureResults) {
  EXPECT_EQ(VerdictLine(-1), QStringLiteral("　検査対象外です"));
  EXPECT_EQ(VerdictLine(-2), QStringLiteral("　圧縮ファイルで無い又は未対応ファイルです"));
  EXPECT_EQ(VerdictLine(-3), QStringLiteral("　圧縮ファイルがＣＲＣエラーの可能性があります"));
  EXPECT_EQ(VerdictLine(-4), QStringLiteral("　圧縮ファイルが異常の可能性があります"));
  for (int r : {-1, -2, -3, -4}) EXPECT_EQ(VerdictClass(r), kClassFailed) << r;
}

TEST_F(VerdictTest, LibraryCodesMapOntoConsecutiveTexts) {
  EXPECT_EQ(VerdictLine(0x8005), QStringLiteral("　解凍する為のディスクの空きが足りません"));
  EXPECT_EQ(VerdictLine(0x800C), QStringLiteral("　格納ファイルのチェックサムが合っていません"));
  EXPECT_EQ(VerdictLine(0x8017), QStringLiteral("　ファイルのヘッダが壊れていま"));
  EXPECT_EQ(VerdictLine(0x801F), QStringLiteral("　既にDLLが動作中です"));
  EXPECT_EQ(VerdictLine(0x8021), VerdictLine(0x8022));
  EXPECT_EQ(VerdictLine(0x8021), QStringLiteral("　DLL APIの使用方法が間違っています"));
  EXPECT_EQ(VerdictLine(0x802B), QStringLiteral("　ファイル名の指定が必要です"));
  for (int code = 0x8005; code <= 0x802B; ++code) {
    EXPECT_FALSE(VerdictLine(code).isEmpty()) << code;
    EXPECT_TRUE(VerdictLine(code).startsWith(QChar(0x3000))) << code;
  }
}

TEST_F(VerdictTest, OnlyLibraryCancelIsClassCancelled) {
  EXPECT_EQ(ResultText(0x8020), kClassCancelled);
  EXPECT_EQ(history.lines.last(), QStringLiteral("　キャンセルされました"));
  for (int r : {-5, -4, -1, 0, 1, 0x7FFF, 0x8000, 0x801F, 0x8021, 0x802C, 0x10000}) {
    EXPECT_NE(VerdictClass(r), kClassCancelled) << r;
  }
}

TEST_F(VerdictTest, EverythingElseIsSomeFault) {
  const QString other = QStringLiteral("　何らかの異常です");
  for (int r : {-5, -100, 0x8000, 0x8004, 0x802C, 0xFFFF, 0x7FFFFFFF}) {
    EXPECT_EQ(VerdictLine(r), other) << r;
    EXPECT_EQ(VerdictClass(r), kClassFailed) << r;
  }
  EXPECT_EQ(VerdictLine(32768), other);
}

TEST_F(VerdictTest, MoveSwitchGroups) {
  EXPECT_EQ(MoveSwitchFor(0), -1);
  EXPECT_EQ(MoveSwitchFor(-2), 1);
  EXPECT_EQ(MoveSwitchFor(1), 2);
  EXPECT_EQ(MoveSwitchFor(0x7FFF), 2);
  for (int r : {-1, -3, -4, 0x8000, 0x800C, 0x801F, 0x8020}) EXPECT_EQ(MoveSwitchFor(r), 0) << r;
}

}  // namespace
}  // namespace orvex2
