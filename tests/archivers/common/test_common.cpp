// Command-line words every library parses, and progress/cancel through a real library call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archiver_common.h"
#include "lzhar.h"

namespace {

TEST(CommandWords, EveryByteButNulRoundTripsThroughQuoting) {
  const std::vector<std::string> names = {
      "plain.lzh", "with blank.lzh", "GOOD.ZIP\" \"x.ZIP", "\"", "\"\"", "end\"", "new\nline\t.lzh",
      "\x81\x5c\x93\xfa\x96\x7b.lzh", "",
  };
  for (const std::string& name : names) {
    const std::string line = "t -+ " + arc::QuoteWord(name) + " " + arc::QuoteWord("second");
    const std::vector<std::string> words = arc::SplitWords(line.c_str());
    ASSERT_EQ(words.size(), 4u) << line;
    EXPECT_EQ(words[2], name) << line;
    EXPECT_EQ(words[3], "second");
  }
  // Unquoted text and a lone closing quote keep their earlier meaning.
  EXPECT_EQ(arc::SplitWords("a\"b c\"d"), std::vector<std::string>{"ab cd"});
}

struct Calls {
  int count = 0;
  int cancelAt = -1;  // answer non-zero from this call on
  unsigned long long lastTotal = 0;
};

int Callback(void* user, unsigned long long /*done*/, unsigned long long total) {
  auto* calls = static_cast<Calls*>(user);
  calls->lastTotal = total;
  ++calls->count;
  return calls->cancelAt >= 0 && calls->count > calls->cancelAt ? 1 : 0;
}

TEST(ProgressEntry, ReportsAndCancelsACall) {
  const std::string line = "t -+ -y1 -gm1 " + arc::QuoteWord(ORVEX2_TEST_DATA "/lzh/lh5_level1.lzh");
  Calls calls;
  lzhar::Lock().progress().Set(Callback, &calls);
  EXPECT_EQ(lzhar::RunCommand(line.c_str()), 0);
  EXPECT_GE(calls.count, 1);
  EXPECT_GT(calls.lastTotal, 0u);

  calls = Calls{};
  calls.cancelAt = 0;
  EXPECT_EQ(lzhar::RunCommand(line.c_str()), arc::code::kUserCancel);
  EXPECT_EQ(lzhar::RunCheck(ORVEX2_TEST_DATA "/lzh/lh5_level1.lzh", 2), 0);

  // The next call starts afresh, and without a callback nothing is called.
  lzhar::Lock().progress().Set(nullptr, nullptr);
  calls = Calls{};
  EXPECT_EQ(lzhar::RunCommand(line.c_str()), 0);
  EXPECT_EQ(calls.count, 0);
}

}  // namespace
