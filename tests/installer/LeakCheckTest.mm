// The host's leak check sees objects of every class of ours, whoever defines it.
#import <InstallerHost/InstallerHost.h>
#include <gtest/gtest.h>

#include <string>

#include "LeakCheck.h"

namespace {

TEST(LeakCheck, SeesEveryClassOfOursAlive) {
  KLStartCountingObjects();
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  NSBundle* bundle = [NSBundle bundleWithPath:@KELVORY_BUNDLE_PATH];
  ASSERT_TRUE([bundle load]);
  NSArray* ours = KLOurClasses(bundle);
  // The plug-in's (a pane, a class private to one file) and the installer framework's.
  for (const char* name : {"ActDlgPane", "KLPrefillReader", "InstallerState"}) {
    EXPECT_TRUE([ours containsObject:[NSString stringWithUTF8String:name]]) << name;
  }
  EXPECT_FALSE([ours containsObject:@"NSObject"]);
  EXPECT_TRUE(KLOurObjectsFreed(bundle));

  // The section the host loads, its panes (made on the first asking) with their titles.
  [NSApplication sharedApplication];
  NSAutoreleasePool* inner = [[NSAutoreleasePool alloc] init];
  InstallerSection* section = [[[bundle principalClass] alloc] initWithBundle:bundle];
  [[section installerState] setTargetVolumePath:@"/"];
  InstallerPane* first = [section firstPane];
  EXPECT_EQ(std::string([[first title] UTF8String]) + "|" + [[[first nextPane] title] UTF8String],
            "Activation|Validation");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(KLOurObjectsFreed(bundle));
  const std::string said = testing::internal::GetCapturedStderr();
  for (const char* alive : {"KLInstallerSection", "InstallerState", "ActDlgPane", "ValidDlgPane"}) {
    EXPECT_NE(said.find("leak: 1 " + std::string(alive) + " still alive"), std::string::npos)
        << said;
  }
  [section release];
  [inner drain];
  EXPECT_TRUE(KLOurObjectsFreed(bundle));
  [pool drain];
}

}  // namespace
