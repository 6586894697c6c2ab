#import "HostWindow.h"

#include <fstream>
#include <sstream>

#import "HostWindowLayout.h"

#include "KLInstallLog.h"
#include "KLPluginNames.h"
#include "KLStringBridge.h"
#include "PluginLoader.h"
#include "Transcript.h"

namespace kl::host {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace
}  // namespace kl::host

@interface KLHostController (Steps)
- (void)refresh;
- (void)showSummaryIfFinished;
@end

@implementation KLHostController

- (id)initWithSection:(InstallerSection*)aSection
                panes:(NSArray*)somePanes
               window:(BOOL)withWindow {
  self = [super init];
  if (self == nil) return nil;
  section = [aSection retain];
  panes = [somePanes copy];
  lastVerdict = new std::string();
  waitLimit = 120;
  [[NSNotificationCenter defaultCenter] addObserver:self
                                           selector:@selector(paneWillEnter:)
                                               name:KLInstallerSectionWillEnterPaneNotification
                                             object:section];
  if (withWindow) [self buildWindow];
  return self;
}

- (void)dealloc {
  [[NSNotificationCenter defaultCenter] removeObserver:self];
  [window release];
  [stepLabels release];
  [panes release];
  [section release];
  delete lastVerdict;
  [super dealloc];
}

- (InstallerSection*)section {
  return section;
}

- (NSArray*)panes {
  return panes;
}

- (InstallerPane*)currentPane {
  return [section activePane];
}

- (const std::string&)lastVerdict {
  return *lastVerdict;
}

- (void)paneWillEnter:(NSNotification*)notification {
  InstallerPane* pane = [[notification userInfo] objectForKey:@"pane"];
  kl::host::Say("pane: " + KLStdString(NSStringFromClass([pane class])));
  if ([[[notification userInfo] objectForKey:@"direction"] intValue] == InstallerDirectionForward) {
    verdictShown = NO;
  }
}

// Puts the current step on screen, follows the pane's buttons, and reports a new verdict.
- (void)refresh {
  InstallerPane* pane = [section activePane];
  BOOL entered = NO;
  if (window != nil && pane != shownPane) {
    [[shownPane contentView] removeFromSuperview];
    if (pane != nil) {
      [[pane contentView] setFrameOrigin:NSZeroPoint];
      [paneArea addSubview:[pane contentView]];
    }
    shownPane = pane;
    entered = YES;
  }
  if (window != nil) {
    NSUInteger index = [panes indexOfObjectIdenticalTo:pane];
    if (pane == nil || index == NSNotFound) index = [panes count];  // the summary
    const NSInteger current = (NSInteger)index;
    // Steps done and the current one in black, the current one bold, those to come in grey.
    for (NSUInteger i = 0; i < [stepLabels count]; ++i) {
      NSTextField* label = [stepLabels objectAtIndex:i];
      [label setTextColor:((NSInteger)i <= current ? [NSColor blackColor] : [NSColor grayColor])];
      [label setFont:((NSInteger)i == current ? [NSFont boldSystemFontOfSize:0]
                                              : [NSFont systemFontOfSize:0])];
    }
    [continueButton setEnabled:(pane != nil ? [pane nextEnabled] : YES)];
    [continueButton setTitle:(pane != nil ? @"Continue" : @"Close")];
    [backButton setEnabled:(pane != nil && current > 0 && [pane previousEnabled])];
    // After the buttons: a disabled button takes no focus.
    if (entered && pane != nil) [self takeKeyViewsOf:pane];
    if (entered && pane == nil) [window makeFirstResponder:continueButton];
    [window display];
  }
  NSTextField* result = kl::host::KLOutlet(pane, kl::plugin_names::kVerdictOutlet);
  if (!verdictShown && result != nil && ![result isHidden] && [[result stringValue] length] > 0) {
    verdictShown = YES;
    *lastVerdict = KLStdString([result stringValue]);
    kl::host::Say("result: " + *lastVerdict);
    kl::host::Say(std::string("buttons: continue=") + ([pane nextEnabled] ? "on" : "off") +
                  " back=" + ([pane previousEnabled] ? "on" : "off"));
  }
}

- (void)showSummaryIfFinished {
  if (![section isFinished] || showingSummary) return;
  showingSummary = YES;
  kl::host::Say("pane: summary");
  if (window != nil) {
    const std::string path = kl::ConfigFilePath();
    [summary setStringValue:KLNSString(path + ":\n\n" + kl::host::ReadFile(path))];
    [summary setHidden:NO];
  }
}

- (BOOL)validating {
  return kl::host::KLFlag([section activePane], kl::plugin_names::kBusyFlag);
}

- (void)drainEvents {
  for (int i = 0; i < 1000; ++i) {
    NSEvent* event = [NSApp nextEventMatchingMask:NSAnyEventMask
                                        untilDate:[NSDate distantPast]
                                           inMode:NSDefaultRunLoopMode
                                          dequeue:YES];
    if (event == nil) break;
    [NSApp sendEvent:event];
  }
  [self refresh];
}

- (void)setWaitLimit:(NSTimeInterval)seconds {
  waitLimit = seconds;
}

- (void)waitForVerdict {
  NSDate* limit = [NSDate dateWithTimeIntervalSinceNow:waitLimit];
  while ([self validating]) {
    if ([limit timeIntervalSinceNow] < 0) {
      kl::host::Fail(1, "validation did not end within " + std::to_string((int)waitLimit) + " s");
    }
    NSEvent* event = [NSApp nextEventMatchingMask:NSAnyEventMask
                                        untilDate:[NSDate dateWithTimeIntervalSinceNow:0.05]
                                           inMode:NSDefaultRunLoopMode
                                          dequeue:YES];
    if (event != nil) [NSApp sendEvent:event];
    [self refresh];
  }
  [self drainEvents];
}

- (BOOL)pressContinue {
  InstallerPane* pane = [section activePane];
  if (pane == nil || ![pane nextEnabled]) return NO;
  [section pressContinue];
  [self drainEvents];
  [self showSummaryIfFinished];
  return YES;
}

- (BOOL)pressBack {
  InstallerPane* pane = [section activePane];
  if (pane == nil || pane == [panes objectAtIndex:0] || ![pane previousEnabled]) return NO;
  [section pressGoBack];
  [self drainEvents];
  return YES;
}

- (void)continue:(id)sender {
  (void)sender;
  if ([section isFinished]) {
    [window close];
    return;
  }
  [self pressContinue];
}

- (void)goBack:(id)sender {
  (void)sender;
  [self pressBack];
}

- (void)windowWillClose:(NSNotification*)notification {
  (void)notification;
  std::exit([self lastVerdictSucceeded] ? 0 : 1);
}

- (BOOL)lastVerdictSucceeded {
  NSString* succeeded = [[section bundle] localizedStringForKey:@"validation.verdict.succeeded"
                                                          value:@"Validation Succeeded"
                                                          table:nil];
  return *lastVerdict == KLStdString(succeeded);
}

- (void)start {
  if (window != nil) [window makeKeyAndOrderFront:nil];
  [section start];
  [self drainEvents];
}

- (void)runInteractively {
  NSTimer* timer = [NSTimer timerWithTimeInterval:0.1
                                           target:self
                                         selector:@selector(tick:)
                                         userInfo:nil
                                          repeats:YES];
  [[NSRunLoop currentRunLoop] addTimer:timer forMode:NSDefaultRunLoopMode];
  [NSApp run];
}

- (void)tick:(NSTimer*)timer {
  (void)timer;
  [self refresh];
}

// GNUstep hands bare command-line arguments (a script's path) to the application as
// documents to open; there are none.
- (BOOL)application:(NSApplication*)application openFile:(NSString*)file {
  (void)application;
  (void)file;
  return YES;
}

@end
