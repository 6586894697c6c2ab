#import "AlertCapture.h"

#include <string>

#include "KLStringBridge.h"
#include "Transcript.h"

namespace kl::host {
namespace {

NSString* const kAnswered = @"answered by the host";

void PostKey(NSWindow* window, NSEventType type, NSString* characters) {
  [NSApp postEvent:[NSEvent keyEventWithType:type
                                          location:NSZeroPoint
                                     modifierFlags:0
                                         timestamp:0
                                      windowNumber:[window windowNumber]
                                           context:nil
                                        characters:characters
                       charactersIgnoringModifiers:characters
                                         isARepeat:NO
                                           keyCode:0]
           atStart:NO];
}

// The panel's text and its buttons, e.g. "OK (default)": those with an action (GNUstep shows
// the panel's icon in a button without one).
void ReadPanel(NSWindow* panel, std::string* text, std::string* buttons, int* count) {
  NSArray* views = [[panel contentView] subviews];
  *count = 0;
  for (NSUInteger i = 0; i < [views count]; ++i) {
    id view = [views objectAtIndex:i];
    if ([view isKindOfClass:[NSButton class]] && ![view isHidden] && [view action] != NULL) {
      if (!buttons->empty()) *buttons += ", ";
      *buttons += KLStdString([view title]);
      if ([[view keyEquivalent] isEqualToString:@"\r"]) *buttons += " (default)";
      ++*count;
    } else if ([view isKindOfClass:[NSTextField class]]) {
      NSString* value = [view stringValue];
      // GNUstep titles the panel "Critical" itself; the message is the other text.
      if ([value length] > 0 && ![value isEqualToString:@"Critical"]) *text = KLStdString(value);
    }
  }
}

}  // namespace
}  // namespace kl::host

@implementation KLAlertCatcher

- (void)dealloc {
  [pressedAt release];
  [super dealloc];
}

- (void)start {
  if (timer != nil) return;
  timer = [NSTimer timerWithTimeInterval:0.05
                                  target:self
                                selector:@selector(closeAlert:)
                                userInfo:nil
                                 repeats:YES];
  [[NSRunLoop currentRunLoop] addTimer:timer forMode:NSModalPanelRunLoopMode];
}

- (void)stop {
  [timer invalidate];
  timer = nil;
}

- (void)closeAlert:(NSTimer*)unused {
  (void)unused;
  NSWindow* panel = [NSApp modalWindow];
  if (panel == nil) return;
  // The toolkit shows every alert in the same panel and titles it anew for each: a panel that
  // still has the mark below is the alert this catcher already answered.
  if (panel == handled && ![[panel title] isEqualToString:kl::host::kAnswered]) handled = nil;
  if (panel == handled) {
    if ([pressedAt timeIntervalSinceNow] > -5) return;
    kl::host::Say("alert: Return did not close it");
    [NSApp abortModal];
    // GNUstep looks at the modal state again only after an event.
    kl::host::PostKey(panel, NSKeyUp, @"\r");
    handled = nil;
    return;
  }
  std::string text, buttons;
  int count = 0;
  kl::host::ReadPanel(panel, &text, &buttons, &count);
  kl::host::Say("alert: " + text);
  if (count != 1 || buttons != "OK (default)") kl::host::Say("alert buttons: " + buttons);
  handled = panel;
  [panel setTitle:kl::host::kAnswered];
  [pressedAt release];
  pressedAt = [[NSDate alloc] init];
  // Another window may have taken the keyboard since the panel came up; Return goes to the key
  // window.
  [panel makeKeyWindow];
  kl::host::PostKey(panel, NSKeyDown, @"\r");
  kl::host::PostKey(panel, NSKeyUp, @"\r");
}

@end
