// The command line: platform arguments to one text, switches, and the name splitter.
#include <gtest/gtest.h>

#include "qt_printers.h"

#include <QStringList>

#include "app/command_line.h"
#include "foundation/names.h"

namespace orvex2 {
namespace {

struct Collected {
  QStringList names;
  int clears = 0;
  int refuseAt = -1;  // index of the name `add` refuses
  bool Split(const QString& s) {
    return SplitCommandLine(
        s,
        [this](const QString& n) {
          if (names.size() == refuseAt) return false;
          names << n;
          return true;
        },
        [this] {
          names.clear();
          ++clears;
        });
  }
};

TEST(Splitter, QuotedPathWithBlankThenPlainName) {
  Collected c;
  EXPECT_TRUE(c.Split(R"("/a b/A.LZH" /c/B.ZIP)"));
  EXPECT_EQ(c.names, QStringList({"/a b/A.LZH", "/c/B.ZIP"}));
}

TEST(Splitter, RunsOfBlanksAndTrailingBlankAddNothing) {
  Collected c;
  EXPECT_TRUE(c.Split("/a/A.LZH  /b/B.LZH "));
  EXPECT_EQ(c.names, QStringList({"/a/A.LZH", "/b/B.LZH"}));
  Collected d;
  EXPECT_TRUE(d.Split(R"(  "" "/x")"));
  EXPECT_EQ(d.names, QStringList({"/x"}));
}

TEST(Splitter, QuoteInsideAnUnquotedNameBelongsToIt) {
  Collected c;
  EXPECT_TRUE(c.Split(R"(/a/it"s.lzh /b)"));
  EXPECT_EQ(c.names, QStringList({R"(/a/it"s.lzh)", "/b"}));
}

TEST(Splitter, DoubledQuotesInsideQuotesAreOneQuote) {
  Collected c;
  EXPECT_TRUE(c.Split(R"("/a/x y.lzh""/b/z.lzh" "/q/""GOOD.ZIP"" ""x.ZIP""" """")"));
  EXPECT_EQ(c.names, QStringList({R"(/a/x y.lzh"/b/z.lzh)", R"(/q/"GOOD.ZIP" "x.ZIP")", R"(")"}));
}

TEST(Splitter, UnclosedQuoteLeavesTheListEmpty) {
  Collected c;
  EXPECT_FALSE(c.Split(R"(/a/A.LZH "/b/B.LZH)"));
  EXPECT_TRUE(c.names.isEmpty());
  EXPECT_EQ(c.clears, 2);
}

TEST(Splitter, RefusedNameLeavesTheListEmpty) {
  Collected c;
  c.refuseAt = 1;
  EXPECT_FALSE(c.Split("/a /b /c"));
  EXPECT_TRUE(c.names.isEmpty());
  Collected last;
  last.refuseAt = 2;
  EXPECT_FALSE(last.Split("/a /b /c"));
  EXPECT_TRUE(last.names.isEmpty());
}

TEST(Splitter, EmptyTextEmptiesTheList) {
  Collected c;
  c.names << "stale";
  EXPECT_TRUE(c.Split(QString()));
  EXPECT_TRUE(c.names.isEmpty());
}

TEST(RemoveSwitch, OnlyAlone) {
  EXPECT_TRUE(IsRemoveSwitch("/U"));
  EXPECT_TRUE(IsRemoveSwitch("/u"));
  EXPECT_FALSE(IsRemoveSwitch("/U /a/A.LZH"));
  EXPECT_FALSE(IsRemoveSwitch("/U "));
  EXPECT_FALSE(IsRemoveSwitch(""));
}

TEST(Arguments, JoinedQuotedAndMadeAbsoluteAndSplitBackIntact) {
  const QString raw = NameFromBytes("caf\xE9 \x93\xfa.lzh");
  const QStringList args = {"a.lzh", "sub dir/b.zip", "/abs/c.cab", "../d.arj", R"(/q/"x y".zip)",
                            R"(it"s.lzh)", "new\nline.lzh", raw};
  const ParsedArguments p = ParseArguments(args, "/home/u/work");
  EXPECT_EQ(p.action, ParsedArguments::Action::kStart);
  EXPECT_EQ(p.request.commandLine.left(80),
            R"(/home/u/work/a.lzh "/home/u/work/sub dir/b.zip" /abs/c.cab /home/u/work/../d.arj)");
  EXPECT_FALSE(p.request.forceAuto);
  Collected c;
  EXPECT_TRUE(c.Split(p.request.commandLine));
  QStringList expected;
  for (const QString& a : args) expected << (a.startsWith('/') ? a : "/home/u/work/" + a);
  EXPECT_EQ(c.names, expected);
}

TEST(Arguments, RemoveSwitchPassesThrough) {
  EXPECT_EQ(ParseArguments({"/U"}, "/x").request.commandLine, "/U");
  EXPECT_EQ(ParseArguments({"/u"}, "/x").request.commandLine, "/u");
}

TEST(Arguments, PlatformSwitchesOnlyBeforeTheFirstName) {
  ParsedArguments p = ParseArguments({"--auto=normal", "a.lzh", "--help"}, "/w");
  EXPECT_EQ(p.action, ParsedArguments::Action::kStart);
  EXPECT_TRUE(p.request.forceAuto);
  EXPECT_EQ(p.request.autoMode, 1);
  EXPECT_EQ(p.request.commandLine, "/w/a.lzh /w/--help");

  p = ParseArguments({"--auto", "--", "--version"}, "/w");
  EXPECT_TRUE(p.request.forceAuto);
  EXPECT_EQ(p.request.autoMode, -1);
  EXPECT_EQ(p.request.commandLine, "/w/--version");

  EXPECT_EQ(ParseArguments({"--help"}, "/w").action, ParsedArguments::Action::kHelp);
  EXPECT_EQ(ParseArguments({"--version", "x"}, "/w").action, ParsedArguments::Action::kVersion);
  EXPECT_EQ(ParseArguments({"--auto=fast"}, "/w").action, ParsedArguments::Action::kError);
  EXPECT_EQ(ParseArguments({"--bogus"}, "/w").action, ParsedArguments::Action::kError);
  EXPECT_EQ(ParseArguments({"--auto=simple"}, "/w").request.autoMode, 0);
  EXPECT_EQ(ParseArguments({"--auto=detailed"}, "/w").request.autoMode, 2);
}

}  // namespace
}  // namespace orvex2
