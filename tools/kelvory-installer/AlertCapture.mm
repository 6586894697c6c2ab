#import "AlertCapture.h"

#include <string>

#include "KLStringBridge.h"
#include "Transcript.h"

@implementation KLAlertCatcher

- (void)start {
  if (timer != nil) return;
  timer = [NSTimer timerWithTimeInterval:0.05
                                  target:self
                                selector:@selector(dismissAlert:)
                                userInfo:nil
                                 repeats:YES];
  [[NSRunLoop currentRunLoop] addTimer:timer forMode:NSModalPanelRunLoopMode];
}

- (void)stop {
  [timer invalidate];
  timer = nil;
}

- (void)dismissAlert:(NSTimer*)unused {
  (void)unused;
  NSWindow* panel = [NSApp modalWindow];
  if (panel == nil) return;
  std::string text;
  NSArray* views = [[panel contentView] subviews];
  for (NSUInteger i = 0; i < [views count]; ++i) {
    id view = [views objectAtIndex:i];
    if (![view isKindOfClass:[NSTextField class]]) continue;
    NSString* value = [view stringValue];
    // GNUstep titles the panel "Critical" itself; the message is the other text.
    if ([value length] > 0 && ![value isEqualToString:@"Critical"]) text = KLStdString(value);
  }
  Say("alert: " + text);
  [NSApp abortModal];
  // GNUstep looks at the modal state again only after an event.
  [NSApp postEvent:[NSEvent otherEventWithType:NSApplicationDefined
                                      location:NSZeroPoint
                                 modifierFlags:0
                                     timestamp:0
                                  windowNumber:0
                                       context:nil
                                       subtype:0
                                         data1:0
                                         data2:0]
           atStart:NO];
}

@end
