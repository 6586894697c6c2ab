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
  std::string seen;  // "line kind outlet row column|text" of each step
  for (const ScriptStep& t : s.steps) {
    seen += std::to_string(t.line) + " " + "TSCBWPKF"[t.kind] + " " + t.outlet + " " +
            std::to_string(t.row) + std::to_string(t.column) + "|" + t.text + "\n";
  }
  EXPECT_EQ(seen,
            "4 T klServerURLField 00| a \"b\"  \n"  // verbatim after the one separating space
            "5 T klServerURLField 00|\n6 S klProtocolMatrix 01|\n7 C  00|\n8 B  00|\n9 W  00|\n"
            "10 P  00|/tmp/a b.png\n11 K  00|tab\n12 K  00|return\n13 K  00|escape\n14 F  00|\n");
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
