// The plug-in's section as the installer finds it in the built bundle: the panes made on the
// first firstPane, linked through nextPane, each with its section, title and key views.
#import <InstallerHost/InstallerHost.h>
#include <gtest/gtest.h>

#include <string>

namespace {

std::string Name(id object) {
  return object == nil ? "nil" : [NSStringFromClass([object class]) UTF8String];
}

TEST(PluginSection, BuildsItsPanesLazilyAndLinksThem) {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  [NSApplication sharedApplication];
  NSBundle* bundle = [NSBundle bundleWithPath:@KELVORY_BUNDLE_PATH];
  ASSERT_TRUE([bundle load]);
  InstallerSection* section = [[[[bundle principalClass] alloc] initWithBundle:bundle] autorelease];
  ASSERT_EQ(Name(section), "KLInstallerSection");
  EXPECT_TRUE([section shouldLoad]);
  EXPECT_TRUE([section activePane] == nil);

  InstallerPane* first = [section firstPane];
  EXPECT_EQ([section firstPane], first);  // made once
  InstallerPane* second = [first nextPane];
  EXPECT_EQ(Name(first) + " " + Name(second) + " " + Name([second nextPane]),
            "ActDlgPane ValidDlgPane nil");
  EXPECT_EQ([first section], section);
  EXPECT_EQ([second section], section);
  EXPECT_EQ(std::string([[first title] UTF8String]) + "|" + [[second title] UTF8String],
            "Activation|Validation");
  EXPECT_TRUE([first contentView] != nil && [second contentView] != nil);

  // The activation pane's key views: the chain from the form choice to the proxy field.
  EXPECT_EQ([first initialKeyView], [first valueForKey:@"klActivationKeyField"]);
  EXPECT_EQ([first firstKeyView], [first valueForKey:@"klActivationMatrix"]);
  EXPECT_EQ([first lastKeyView], [first valueForKey:@"klProxyField"]);
  int links = 0;
  for (NSView* v = [first firstKeyView]; v != nil && v != [first lastKeyView];
       v = [v nextKeyView]) {
    ++links;
  }
  EXPECT_EQ(links, 8);
  EXPECT_TRUE([second initialKeyView] == nil && [second firstKeyView] == nil);
  [pool drain];
}

}  // namespace
