// The installer host's script language: what each line becomes, and what is refused.
#include <gtest/gtest.h>

#include "ScriptParser.h"

namespace {

const std::set<std::string> kOutlets{"klServerURLField", "klProtocolMatrix"};

TEST(ScriptParser, Steps) {
  const Script s = ParseScript(
      "# comment\r\n\r\n   \ntype klServerURLField  a \"b\"  \r\ntype klServerURLField\n"
      "select klProtocolMatrix 0 1\ncontinue\r\nback\nwait\nscreenshot /tmp/a b.png\n"
      "key tab\nkey return\r\nkey escape\nfocus",
      kOutlets);
  ASSERT_EQ(s.error, "");
  ASSERT_EQ(s.steps.size(), 11u);
  EXPECT_EQ(s.steps[0].kind, ScriptStep::kType);
  EXPECT_EQ(s.steps[0].line, 4);
  EXPECT_EQ(s.steps[0].outlet, "klServerURLField");
  EXPECT_EQ(s.steps[0].text, " a \"b\"  ");  // verbatim after the one separating space
  EXPECT_EQ(s.steps[1].text, "");
  EXPECT_EQ(s.steps[2].kind, ScriptStep::kSelect);
  EXPECT_EQ(s.steps[2].row * 10 + s.steps[2].column, 1);
  EXPECT_EQ(s.steps[3].kind, ScriptStep::kContinue);
  EXPECT_EQ(s.steps[4].kind, ScriptStep::kBack);
  EXPECT_EQ(s.steps[5].kind, ScriptStep::kWait);
  EXPECT_EQ(s.steps[6].kind, ScriptStep::kScreenshot);
  EXPECT_EQ(s.steps[6].text, "/tmp/a b.png");
  for (size_t i = 7; i < 10; ++i) EXPECT_EQ(s.steps[i].kind, ScriptStep::kKey);
  EXPECT_EQ(s.steps[7].text + s.steps[8].text + s.steps[9].text, "tabreturnescape");
  EXPECT_EQ(s.steps[10].kind, ScriptStep::kFocus);
}

TEST(ScriptParser, RefusesTheWholeScriptAtTheFirstBadLine) {
  const std::string kSelect =
      "line 1: \"select\" needs an outlet, a row and a column (numbers from 0)";
  const struct {
    const char* script;
    std::string error;
  } cases[] = {
      {"continue\nclick klServerURLField", "line 2: unknown step \"click\""},
      {"type klNoSuchField x", "line 1: unknown outlet \"klNoSuchField\""},
      {"type", "line 1: \"type\" needs an outlet"},
      {"type  x", "line 1: \"type\" needs an outlet"},
      {"continue now", "line 1: \"continue\" takes nothing after it"},
      {"wait ", "line 1: \"wait\" takes nothing after it"},
      {"select klProtocolMatrix 0", kSelect},
      {"select klProtocolMatrix 0 -1", kSelect},
      {"select klProtocolMatrix 0 1 2", kSelect},
      {"select klMissing 0 0", "line 1: unknown outlet \"klMissing\""},
      {"screenshot", "line 1: \"screenshot\" needs a file"},
      {" continue", "line 1: unknown step \"\""},
      {"key", "line 1: \"key\" needs tab, return or escape"},
      {"key Tab", "line 1: \"key\" needs tab, return or escape"},
      {"key tab ", "line 1: \"key\" needs tab, return or escape"},
      {"focus klServerURLField", "line 1: \"focus\" takes nothing after it"},
  };
  for (const auto& c : cases) {
    const Script s = ParseScript(c.script, kOutlets);
    EXPECT_EQ(s.error, c.error) << c.script;
    EXPECT_TRUE(s.steps.empty()) << c.script;
  }
}

}  // namespace
