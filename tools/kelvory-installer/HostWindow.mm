#import "HostWindow.h"

#include <fstream>
#include <set>
#include <sstream>

#include "KLInstallLog.h"
#include "KLPluginNames.h"
#include "KLStringBridge.h"
#include "PluginLoader.h"
#include "Transcript.h"

namespace {

// The Installer's pane area, in points: a pane's content view shows there from its origin, and
// whatever lies outside is cut off.
const CGFloat kPaneWidth = 418;
const CGFloat kPaneHeight = 330;
// Left of the pane area the step list, below it the buttons.
const CGFloat kPaneX = 190;
const CGFloat kPaneY = 60;
const CGFloat kMargin = 10;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

@interface KLHostController (Steps)
- (void)buildWindow;
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

- (void)buildWindow {
  const CGFloat height = kPaneY + kPaneHeight + 2 * kMargin;
  window = [[NSWindow alloc]
      initWithContentRect:NSMakeRect(100, 100, kPaneX + kPaneWidth + kMargin, height)
                styleMask:(NSTitledWindowMask | NSClosableWindowMask)
                  backing:NSBackingStoreBuffered
                    defer:NO];
  [window setTitle:@"Install Kelvory"];
  [window setReleasedWhenClosed:NO];
  [window setDelegate:(id)self];
  NSView* content = [window contentView];

  NSMutableArray* labels = [NSMutableArray array];
  for (NSUInteger i = 0; i <= [panes count]; ++i) {
    NSString* title = i < [panes count] ? [[panes objectAtIndex:i] title] : @"Summary";
    NSTextField* label =
        [[NSTextField alloc] initWithFrame:NSMakeRect(16, height - 60 - 30 * (CGFloat)i, 160, 22)];
    [label setStringValue:title];
    [label setEditable:NO];
    [label setSelectable:NO];
    [label setBezeled:NO];
    [label setDrawsBackground:NO];
    [content addSubview:label];
    [labels addObject:label];
    [label release];
  }
  stepLabels = [labels retain];

  // A view draws only within its superview's bounds, so the area clips the pane's content view.
  paneArea = [[NSView alloc] initWithFrame:NSMakeRect(kPaneX, kPaneY, kPaneWidth, kPaneHeight)];
  [content addSubview:paneArea];
  [paneArea release];

  summary = [[NSTextField alloc] initWithFrame:NSMakeRect(0, 0, kPaneWidth, kPaneHeight)];
  [summary setEditable:NO];
  [summary setSelectable:NO];
  [summary setFont:[NSFont userFixedPitchFontOfSize:11]];
  [summary setHidden:YES];
  [paneArea addSubview:summary];
  [summary release];

  // The buttons end where the pane area does, Continue rightmost.
  const CGFloat right = kPaneX + kPaneWidth;
  backButton = [[NSButton alloc] initWithFrame:NSMakeRect(right - 230, 16, 110, 28)];
  [backButton setTitle:@"Go Back"];
  [backButton setTarget:self];
  [backButton setAction:@selector(goBack:)];
  [content addSubview:backButton];
  [backButton release];
  continueButton = [[NSButton alloc] initWithFrame:NSMakeRect(right - 110, 16, 110, 28)];
  [continueButton setTitle:@"Continue"];
  [continueButton setTarget:self];
  [continueButton setAction:@selector(continue:)];
  // The default button: Return presses it wherever the focus is.
  [continueButton setKeyEquivalent:@"\r"];
  [content addSubview:continueButton];
  [continueButton release];
  [window setDefaultButtonCell:[continueButton cell]];
}

// As the installer does on entering a pane: the pane's key views lead to the buttons and back
// (Go Back, Continue, then the pane's first key view), and its initial key view gets the focus.
- (void)takeKeyViewsOf:(InstallerPane*)pane {
  NSView* first = [pane firstKeyView];
  [[pane lastKeyView] setNextKeyView:backButton];
  [backButton setNextKeyView:continueButton];
  [continueButton setNextKeyView:(first != nil ? first : backButton)];
  // Where Tab starts when nothing has the focus (the focused view was hidden, say).
  [window setInitialFirstResponder:(first != nil ? first : backButton)];
  [window makeFirstResponder:[pane initialKeyView]];
}

- (void)paneWillEnter:(NSNotification*)notification {
  InstallerPane* pane = [[notification userInfo] objectForKey:@"pane"];
  Say("pane: " + KLStdString(NSStringFromClass([pane class])));
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
  NSTextField* result = KLOutlet(pane, plugin_names::kVerdictOutlet);
  if (!verdictShown && result != nil && ![result isHidden] && [[result stringValue] length] > 0) {
    verdictShown = YES;
    *lastVerdict = KLStdString([result stringValue]);
    Say("result: " + *lastVerdict);
    Say(std::string("buttons: continue=") + ([pane nextEnabled] ? "on" : "off") +
        " back=" + ([pane previousEnabled] ? "on" : "off"));
  }
}

- (void)showSummaryIfFinished {
  if (![section isFinished] || showingSummary) return;
  showingSummary = YES;
  Say("pane: summary");
  if (window != nil) {
    const std::string path = ConfigFilePath();
    [summary setStringValue:KLNSString(path + ":\n\n" + ReadFile(path))];
    [summary setHidden:NO];
  }
}

- (BOOL)validating {
  return KLFlag([section activePane], plugin_names::kBusyFlag);
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
      Fail(1, "validation did not end within " + std::to_string((int)waitLimit) + " s");
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
  std::exit(*lastVerdict == "Validation Succeeded" ? 0 : 1);
}

- (void)pressKey:(const std::string&)name {
  const unichar code = name == "tab" ? '\t' : name == "return" ? '\r' : 0x1b;
  NSString* characters = [NSString stringWithCharacters:&code length:1];
  NSWindow* target = [NSApp modalWindow] != nil ? [NSApp modalWindow] : window;
  if (target == nil) Fail(2, "keys need a window");
  for (NSEventType type : {NSKeyDown, NSKeyUp}) {
    [NSApp sendEvent:[NSEvent keyEventWithType:type
                                            location:NSZeroPoint
                                       modifierFlags:0
                                           timestamp:0
                                        windowNumber:[target windowNumber]
                                             context:nil
                                          characters:characters
                         charactersIgnoringModifiers:characters
                                           isARepeat:NO
                                             keyCode:0]];
  }
}

- (std::string)focusName {
  id focus = [window firstResponder];
  // A text field being edited has the window's field editor in front of it.
  if ([focus isKindOfClass:[NSText class]] && [focus isFieldEditor]) focus = [focus delegate];
  if (focus == nil || focus == window) return "none";
  if (focus == continueButton) return "Continue";
  if (focus == backButton) return "Go Back";
  InstallerPane* pane = [section activePane];
  const std::set<std::string> names = KLPaneOutlets([NSArray arrayWithObject:pane]);
  for (const std::string& name : names) {
    if (KLOutlet(pane, name) == focus) return name;
  }
  return KLStdString(NSStringFromClass([focus class]));
}

- (void)saveScreenshot:(const std::string&)file {
  if (window == nil) Fail(2, "screenshot needs a window");
  [window display];
  NSView* view = [window contentView];
  NSBitmapImageRep* image = [view bitmapImageRepForCachingDisplayInRect:[view bounds]];
  [view cacheDisplayInRect:[view bounds] toBitmapImageRep:image];
  NSData* png = [image representationUsingType:NSPNGFileType properties:nil];
  if (png == nil || ![png writeToFile:KLNSString(file) atomically:YES]) {
    Fail(2, "cannot write the screenshot " + file);
  }
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
