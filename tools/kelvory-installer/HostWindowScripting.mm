// What a script asks of the host's window beyond the buttons: keys, the focus, a screenshot.
#import "HostWindow.h"

#include <set>

#include "KLPluginNames.h"
#include "KLStringBridge.h"
#include "PluginLoader.h"
#include "Transcript.h"

@implementation KLHostController (Scripting)

- (void)pressKey:(const std::string&)name {
  const unichar code = name == "tab"      ? '\t'
                       : name == "return" ? '\r'
                       : name == "space"  ? ' '
                       : name == "up"     ? NSUpArrowFunctionKey
                       : name == "down"   ? NSDownArrowFunctionKey
                       : name == "left"   ? NSLeftArrowFunctionKey
                       : name == "right"  ? NSRightArrowFunctionKey
                                          : 0x1b;
  NSString* characters = [NSString stringWithCharacters:&code length:1];
  NSWindow* target = [NSApp modalWindow] != nil ? [NSApp modalWindow] : window;
  if (target == nil) kl::host::Fail(2, "keys need a window");
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
  const std::set<std::string> names = kl::host::KLPaneOutlets([NSArray arrayWithObject:pane]);
  for (const std::string& name : names) {
    if (kl::host::KLOutlet(pane, name) == focus) return name;
  }
  return KLStdString(NSStringFromClass([focus class]));
}

- (void)saveScreenshot:(const std::string&)file {
  if (window == nil) kl::host::Fail(2, "screenshot needs a window");
  [window display];
  NSView* view = [window contentView];
  NSBitmapImageRep* image = [view bitmapImageRepForCachingDisplayInRect:[view bounds]];
  [view cacheDisplayInRect:[view bounds] toBitmapImageRep:image];
  NSData* png = [image representationUsingType:NSPNGFileType properties:nil];
  if (png == nil || ![png writeToFile:KLNSString(file) atomically:YES]) {
    kl::host::Fail(2, "cannot write the screenshot " + file);
  }
}

@end
