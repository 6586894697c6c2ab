// The installer host's script language, and its leak check over every class of ours.
#import <InstallerHost/InstallerHost.h>
#include <gtest/gtest.h>

#include <string>

#include "LeakCheck.h"
#include "ScriptParser.h"

namespace {

const std::set<std::string> kOutlets{"klServerURLField", "klProtocolMatrix"};

TEST(ScriptParser, Steps) {
  const kl::host::Script s = kl::host::ParseScript(
      "# comment\r\n\r\n\t  \ntype klServerURLField  a \"b\"  \r\ntype klServerURLField\n"
      "select klProtocolMatrix 0 1\nscreenshot /tmp/a b.png\nkey return\r\nfocus",
      kOutlets);
  ASSERT_EQ(s.error, "");
  std::string seen;  // "line kind outlet row column|text" of each step
  for (const kl::host::ScriptStep& t : s.steps) {
    seen += std::to_string(t.line) + " " + "TSCBWPKF"[static_cast<int>(t.kind)] + " " + t.outlet +
            " " + std::to_string(t.row) + std::to_string(t.column) + "|" + t.text + "\n";
  }
  EXPECT_EQ(seen,
            "4 T klServerURLField 00| a \"b\"  \n"  // verbatim after the one separating space
            "5 T klServerURLField 00|\n6 S klProtocolMatrix 01|\n7 P  00|/tmp/a b.png\n"
            "8 K  00|return\n9 F  00|\n");
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
      {"key", "line 1: \"key\" needs tab, return, escape, up, down, left, right or space"},
      {"key Tab", "line 1: \"key\" needs tab, return, escape, up, down, left, right or space"},
      {"key tab ", "line 1: \"key\" needs tab, return, escape, up, down, left, right or space"},
      {"focus klServerURLField", "line 1: \"focus\" takes nothing after it"},
  };
  for (const auto& c : cases) {
    const kl::host::Script s = kl::host::ParseScript(c.script, kOutlets);
    EXPECT_EQ(s.error, c.error) << c.script;
    EXPECT_TRUE(s.steps.empty()) << c.script;
  }
}

TEST(LeakCheck, SeesEveryClassOfOursAlive) {
  kl::host::KLStartCountingObjects();
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  NSBundle* bundle = [NSBundle bundleWithPath:@KELVORY_BUNDLE_PATH];
  ASSERT_TRUE([bundle load]);
  EXPECT_TRUE(
      [kl::host::KLOurClasses(bundle) containsObject:@"KLPrefillReader"]);  // private to one file
  EXPECT_TRUE(kl::host::KLOurObjectsFreed(bundle));

  // The section the host loads, its panes (made on the first asking) with their titles.
  [NSApplication sharedApplication];
  NSAutoreleasePool* inner = [[NSAutoreleasePool alloc] init];
  InstallerSection* section = [[[bundle principalClass] alloc] initWithBundle:bundle];
  [[section installerState] setTargetVolumePath:@"/"];
  InstallerPane* first = [section firstPane];
  EXPECT_EQ(std::string([[first title] UTF8String]) + "|" + [[[first nextPane] title] UTF8String],
            "Activation|Validation");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(kl::host::KLOurObjectsFreed(bundle));
  const std::string said = testing::internal::GetCapturedStderr();
  for (const char* alive : {"KLInstallerSection", "InstallerState", "ActDlgPane", "ValidDlgPane"}) {
    EXPECT_NE(said.find("leak: 1 " + std::string(alive) + " still alive"), std::string::npos)
        << said;
  }
  [section release];
  [inner drain];
  EXPECT_TRUE(kl::host::KLOurObjectsFreed(bundle));
  [pool drain];
}

}  // namespace
