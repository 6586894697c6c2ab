// The stand-in's host-side hooks: the notice before each willEnterPane: that a host's
// transcript follows.
#import <InstallerPlugins/InstallerPlugins.h>
#include <gtest/gtest.h>

#include <string>

static std::string *gEvents = nullptr;

@interface NoticedPane : InstallerPane
@end
@implementation NoticedPane
- (void)willEnterPane:(InstallerSectionDirection)dir {
  *gEvents += dir == InstallerDirectionForward ? "enter fwd;" : "enter back;";
}
@end

@interface NoticeRecorder : NSObject
@end
@implementation NoticeRecorder
- (void)notice:(NSNotification *)n {
  const int dir = [[[n userInfo] objectForKey:@"direction"] intValue];
  const bool isCurrent = [[n userInfo] objectForKey:@"pane"] == [[n object] currentPane];
  *gEvents += std::string("notice ") + (dir == InstallerDirectionForward ? "fwd" : "back") +
              (isCurrent ? " current;" : " other;");
}
@end

TEST(InstallerHostHooks, NoticeComesBeforeEachEntryWithPaneAndDirection) {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  std::string events;
  gEvents = &events;
  InstallerSection *section = [[[InstallerSection alloc] init] autorelease];
  for (int i = 0; i < 2; ++i) {
    [section addPane:[[[NoticedPane alloc] initWithSection:section] autorelease]];
  }
  NoticeRecorder *recorder = [[[NoticeRecorder alloc] init] autorelease];
  [[NSNotificationCenter defaultCenter] addObserver:recorder
                                           selector:@selector(notice:)
                                               name:KLInstallerSectionWillEnterPaneNotification
                                             object:section];
  [section start];
  [section pressContinue];
  [section pressGoBack];
  [[NSNotificationCenter defaultCenter] removeObserver:recorder];
  EXPECT_EQ(events, "notice fwd current;enter fwd;notice fwd current;enter fwd;"
                    "notice back current;enter back;");
  gEvents = nullptr;
  [pool drain];
}
