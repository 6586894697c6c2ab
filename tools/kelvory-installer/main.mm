// kelvory-installer: a stand-in for the operating system's installer on Linux. It loads the
// plug-in bundle, shows its panes in a window like the installer's (or drives them from a
// script, or with no window at all) and writes a transcript of what happened.
#import <AppKit/AppKit.h>
#import <InstallerPlugins/InstallerPlugins.h>
#include <objc/runtime.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "KLStringBridge.h"
#include "ScriptParser.h"

// GNUstep's per-class instance counts (NSDebug.h hides them when NDEBUG is set).
extern "C" {
BOOL GSDebugAllocationActive(BOOL active);
int GSDebugAllocationCount(Class c);
}
#include "VirtualDisplay.h"

namespace {

const char kUsage[] =
    "usage: kelvory-installer [--plugin BUNDLE] [--package PKG] [--target VOLUME]\n"
    "                         [--script FILE | --headless] [--leak-check]\n"
    "  --plugin BUNDLE  the plug-in bundle (default: Kelvory.bundle beside this program)\n"
    "  --package PKG    the package file; InstallationData.xml is looked for in its folder\n"
    "                   (default: demo/Kelvory.pkg beside this program)\n"
    "  --target VOLUME  the destination volume (default: /)\n"
    "  --script FILE    drive the panes with the steps in FILE; alerts are not modal\n"
    "  --headless       no window: a complete pre-fill passes by itself and is validated\n"
    "  --leak-check     at the end, free the plug-in; exit 3 if any of its objects live on\n"
    "Transcript on standard output. Exit status: 0 when the last verdict was \"Validation\n"
    "Succeeded\", 1 otherwise, 2 for usage and script errors.\n";

const NSTimeInterval kWaitLimit = 120;

struct Options {
  std::string plugin, package, target = "/", script;
  bool headless = false;
  bool leakCheck = false;
};

std::string ProgramDirectory() {
  char path[4096] = {0};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string exe = n > 0 ? std::string(path, n) : std::string(".");
  return exe.substr(0, exe.rfind('/'));
}

// 0 on success, 2 after a usage message; 1 for --help (exit 0).
int ParseOptions(int argc, char** argv, Options* options) {
  options->plugin = ProgramDirectory() + "/Kelvory.bundle";
  options->package = ProgramDirectory() + "/demo/Kelvory.pkg";
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::fputs(kUsage, stdout);
      return 1;
    }
    if (option == "--headless" || option == "--leak-check") {
      (option == "--headless" ? options->headless : options->leakCheck) = true;
      continue;
    }
    std::string* value = option == "--plugin"    ? &options->plugin
                         : option == "--package" ? &options->package
                         : option == "--target"  ? &options->target
                         : option == "--script"  ? &options->script
                                                 : nullptr;
    if (value == nullptr || i + 1 >= argc) {
      std::fprintf(stderr, "kelvory-installer: %s %s\n%s",
                   value == nullptr ? "unknown option" : "missing value for", argv[i], kUsage);
      return 2;
    }
    *value = argv[++i];
  }
  if (options->headless && !options->script.empty()) {
    std::fprintf(stderr, "kelvory-installer: --script and --headless exclude each other\n");
    return 2;
  }
  return 0;
}

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

[[noreturn]] void Fail(int status, const std::string& message) {
  std::fprintf(stderr, "error: %s\n", message.c_str());
  std::fflush(stdout);
  std::exit(status);
}

// A pane's outlet by name, or nil when the pane has no such instance variable.
id Outlet(id pane, const std::string& name) {
  if (pane == nil || class_getInstanceVariable([pane class], name.c_str()) == NULL) return nil;
  return [pane valueForKey:KLNSString(name)];
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

// The host: the window, the navigation and the transcript.
@interface KLHostController : NSObject {
  InstallerSection* section;
  NSWindow* window;
  NSView* paneArea;
  NSArray* stepLabels;
  NSButton* continueButton;
  NSButton* backButton;
  NSTextField* summary;
  InstallerPane* shownPane;
  BOOL verdictShown;
  BOOL showingSummary;
  NSTimer* alertTimer;  // held by the run loop; it holds this host until invalidated
  std::string* lastVerdict;
}
- (id)initWithSection:(InstallerSection*)aSection window:(BOOL)withWindow;
- (const std::string&)lastVerdict;
- (void)buildWindow;
- (void)refresh;
- (void)drainEvents;
- (void)waitForVerdict;
- (BOOL)pressContinue;
- (BOOL)pressBack;
- (void)showSummaryIfFinished;
- (void)catchAlertsFromNowOn;
- (void)saveScreenshot:(const std::string&)file;
- (void)runStep:(const ScriptStep&)step;
- (void)start;
- (void)runInteractively;
- (void)stop;
@end

@implementation KLHostController

- (id)initWithSection:(InstallerSection*)aSection window:(BOOL)withWindow {
  self = [super init];
  if (self == nil) return nil;
  section = [aSection retain];
  lastVerdict = new std::string();
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
  [section release];
  delete lastVerdict;
  [super dealloc];
}

- (const std::string&)lastVerdict {
  return *lastVerdict;
}

- (void)buildWindow {
  window = [[NSWindow alloc] initWithContentRect:NSMakeRect(100, 100, 820, 460)
                                       styleMask:(NSTitledWindowMask | NSClosableWindowMask)
                                         backing:NSBackingStoreBuffered
                                           defer:NO];
  [window setTitle:@"Install Kelvory"];
  [window setReleasedWhenClosed:NO];
  [window setDelegate:(id)self];
  NSView* content = [window contentView];

  NSMutableArray* labels = [NSMutableArray array];
  NSArray* panes = [section panes];
  for (NSUInteger i = 0; i <= [panes count]; ++i) {
    NSString* title = i < [panes count] ? [[panes objectAtIndex:i] title] : @"Summary";
    NSTextField* label =
        [[NSTextField alloc] initWithFrame:NSMakeRect(16, 400 - 30 * (CGFloat)i, 160, 22)];
    [label setStringValue:title];
    [label setEditable:NO];
    [label setBezeled:NO];
    [label setDrawsBackground:NO];
    [content addSubview:label];
    [labels addObject:label];
    [label release];
  }
  stepLabels = [labels retain];

  paneArea = [[NSView alloc] initWithFrame:NSMakeRect(190, 60, 620, 380)];
  [content addSubview:paneArea];
  [paneArea release];

  summary = [[NSTextField alloc] initWithFrame:NSMakeRect(0, 0, 620, 380)];
  [summary setEditable:NO];
  [summary setFont:[NSFont userFixedPitchFontOfSize:11]];
  [summary setHidden:YES];
  [paneArea addSubview:summary];
  [summary release];

  backButton = [[NSButton alloc] initWithFrame:NSMakeRect(580, 16, 110, 28)];
  [backButton setTitle:@"Go Back"];
  [backButton setTarget:self];
  [backButton setAction:@selector(goBack:)];
  [content addSubview:backButton];
  [backButton release];
  continueButton = [[NSButton alloc] initWithFrame:NSMakeRect(700, 16, 110, 28)];
  [continueButton setTitle:@"Continue"];
  [continueButton setTarget:self];
  [continueButton setAction:@selector(continue:)];
  [content addSubview:continueButton];
  [continueButton release];
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
  InstallerPane* pane = [section currentPane];
  if (window != nil && pane != shownPane) {
    [[shownPane contentView] removeFromSuperview];
    if (pane != nil) {
      [[pane contentView] setFrameOrigin:NSZeroPoint];
      [paneArea addSubview:[pane contentView]];
    }
    shownPane = pane;
  }
  if (window != nil) {
    const NSInteger current =
        [section isFinished] ? (NSInteger)[[section panes] count] : [section currentPaneIndex];
    // Steps done and the current one in black, the current one bold, those to come in grey.
    for (NSUInteger i = 0; i < [stepLabels count]; ++i) {
      NSTextField* label = [stepLabels objectAtIndex:i];
      [label setTextColor:((NSInteger)i <= current ? [NSColor blackColor] : [NSColor grayColor])];
      [label setFont:((NSInteger)i == current ? [NSFont boldSystemFontOfSize:0]
                                              : [NSFont systemFontOfSize:0])];
    }
    [continueButton setEnabled:(pane != nil ? [pane nextEnabled] : YES)];
    [continueButton setTitle:(pane != nil ? @"Continue" : @"Close")];
    [backButton
        setEnabled:(pane != nil && [section currentPaneIndex] > 0 && [pane previousEnabled])];
    [window display];
  }
  NSTextField* result = Outlet(pane, "klValidationResult");
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
    std::string conf = ReadFile("/tmp/kelvor.conf");
    [summary setStringValue:KLNSString("/tmp/kelvor.conf:\n\n" + conf)];
    [summary setHidden:NO];
  }
}

- (BOOL)validating {
  return [Outlet([section currentPane], "klPerformingValidation") boolValue];
}

// Handles the events and queued calls pending now (a validation's verdict among them).
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

- (void)waitForVerdict {
  NSDate* limit = [NSDate dateWithTimeIntervalSinceNow:kWaitLimit];
  while ([self validating]) {
    if ([limit timeIntervalSinceNow] < 0) Fail(1, "validation did not end within 120 s");
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
  InstallerPane* pane = [section currentPane];
  if (pane == nil || ![pane nextEnabled]) return NO;
  [section pressContinue];
  [self drainEvents];
  [self showSummaryIfFinished];
  return YES;
}

- (BOOL)pressBack {
  InstallerPane* pane = [section currentPane];
  if (pane == nil || [section currentPaneIndex] == 0 || ![pane previousEnabled]) return NO;
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

// In scripted and headless runs an alert is written to the transcript and dismissed: the
// plug-in still shows it through the toolkit's real critical panel, which is found here while
// it runs modally.
- (void)catchAlertsFromNowOn {
  alertTimer = [NSTimer timerWithTimeInterval:0.05
                                       target:self
                                     selector:@selector(dismissAlert:)
                                     userInfo:nil
                                      repeats:YES];
  [[NSRunLoop currentRunLoop] addTimer:alertTimer forMode:NSModalPanelRunLoopMode];
}

// Lets go of the run loop's and the application's hold on this host.
- (void)stop {
  [alertTimer invalidate];
  alertTimer = nil;
  [NSApp setDelegate:nil];
}

- (void)dismissAlert:(NSTimer*)timer {
  (void)timer;
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

- (void)runStep:(const ScriptStep&)step {
  const std::string where = "line " + std::to_string(step.line) + ": ";
  id control = nil;
  if (step.kind == ScriptStep::kType || step.kind == ScriptStep::kSelect) {
    control = Outlet([section currentPane], step.outlet);
    if (control == nil) Fail(2, where + step.outlet + " is not on the current pane");
  }
  switch (step.kind) {
    case ScriptStep::kType:
      if (![control respondsToSelector:@selector(setStringValue:)]) {
        Fail(2, where + step.outlet + " is not a text field");
      }
      [control setStringValue:KLNSString(step.text)];
      break;
    case ScriptStep::kSelect:
      if (![control isKindOfClass:[NSMatrix class]] || step.row >= [control numberOfRows] ||
          step.column >= [control numberOfColumns]) {
        Fail(2, where + step.outlet + " has no radio button at that row and column");
      }
      [control selectCellAtRow:step.row column:step.column];
      [control sendAction];
      break;
    case ScriptStep::kContinue:
      if (![self pressContinue]) Say("ignored: continue");
      break;
    case ScriptStep::kBack:
      if (![self pressBack]) Say("ignored: back");
      break;
    case ScriptStep::kWait:
      [self waitForVerdict];
      break;
    case ScriptStep::kScreenshot:
      [self saveScreenshot:step.text];
      break;
  }
  [self drainEvents];
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

namespace {

// Every object instance variable of every pane: the outlets a script may name.
std::set<std::string> PaneOutlets(InstallerSection* section) {
  std::set<std::string> names;
  NSArray* panes = [section panes];
  for (NSUInteger i = 0; i < [panes count]; ++i) {
    unsigned int count = 0;
    Ivar* ivars = class_copyIvarList([[panes objectAtIndex:i] class], &count);
    for (unsigned int k = 0; k < count; ++k) {
      const char* type = ivar_getTypeEncoding(ivars[k]);
      if (type != NULL && type[0] == '@') names.insert(ivar_getName(ivars[k]));
    }
    free(ivars);
  }
  return names;
}

// With the host and the section gone, no object of the plug-in's own classes may live on.
// The last validation thread may still be letting go of its pane, so allow it a moment.
bool PluginObjectsFreed() {
  for (int i = 0; i < 40 && GSDebugAllocationCount(NSClassFromString(@"ValidDlgPane")) != 0; ++i) {
    usleep(50000);
  }
  bool freed = true;
  const char* classes[] = {"KLInstallerSection", "ActDlgPane", "ValidDlgPane",
                           "KLTextDataProvider"};
  for (const char* name : classes) {
    const int alive = GSDebugAllocationCount(NSClassFromString(KLNSString(name)));
    if (alive != 0) {
      std::fprintf(stderr, "leak: %d %s still alive\n", alive, name);
      freed = false;
    }
  }
  return freed;
}

InstallerSection* LoadPlugin(const std::string& path) {
  NSBundle* bundle = [NSBundle bundleWithPath:KLNSString(path)];
  if (bundle == nil || ![bundle load]) Fail(2, "cannot load the plug-in " + path);
  Class principal = [bundle principalClass];
  if (principal == Nil || ![principal isSubclassOfClass:[InstallerSection class]]) {
    Fail(2, "the plug-in " + path + " has no installer section as its principal class");
  }
  return [[principal alloc] initWithBundle:bundle];
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int parsed = ParseOptions(argc, argv, &options);
  if (parsed != 0) return parsed == 1 ? 0 : 2;
  std::string error;
  const char* display = std::getenv("DISPLAY");
  if ((display == nullptr || *display == '\0') && !StartVirtualDisplay(&error)) Fail(1, error);

  if (options.leakCheck) GSDebugAllocationActive(YES);
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  // Without a window manager GNUstep complains about window decorations on every run.
  [[NSUserDefaults standardUserDefaults]
      registerDefaults:[NSDictionary dictionaryWithObject:@"NO"
                                                   forKey:@"GSX11HandlesWindowDecorations"]];
  [NSApplication sharedApplication];

  [InstallerSection setHostPackagePath:KLNSString(options.package)];
  InstallerSection* section = LoadPlugin(options.plugin);
  [[section installerState] setTargetVolumePath:KLNSString(options.target)];

  Script script;
  const bool scripted = !options.script.empty();
  if (scripted) {
    std::ifstream in(options.script, std::ios::binary);
    if (!in) Fail(2, "cannot read the script " + options.script);
    std::stringstream text;
    text << in.rdbuf();
    script = ParseScript(text.str(), PaneOutlets(section));
    if (!script.error.empty()) Fail(2, options.script + ": " + script.error);
  }

  KLHostController* host = [[KLHostController alloc] initWithSection:section
                                                              window:!options.headless];
  [section release];
  [NSApp setDelegate:host];
  [NSApp finishLaunching];
  if (scripted || options.headless) [host catchAlertsFromNowOn];
  [host start];

  if (!scripted && !options.headless) {
    [host runInteractively];
    return 0;
  }
  if (options.headless) {
    // A complete pre-fill has passed the activation pane by itself; otherwise stop there.
    if ([[section currentPane] isEqual:[[section panes] objectAtIndex:0]]) return 1;
    [host waitForVerdict];
    if ([[section currentPane] nextEnabled]) [host pressContinue];
  } else {
    for (const ScriptStep& step : script.steps) [host runStep:step];
    [host waitForVerdict];
  }
  const int status = [host lastVerdict] == "Validation Succeeded" ? 0 : 1;
  [host stop];
  [host release];
  [pool drain];
  pool = [[NSAutoreleasePool alloc] init];
  const bool leaked = options.leakCheck && !PluginObjectsFreed();
  [pool drain];
  return leaked ? 3 : status;
}
