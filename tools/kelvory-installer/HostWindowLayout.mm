#import "HostWindowLayout.h"

namespace kl::host {
namespace {

// The Installer's pane area, in points: a pane's content view shows there from its origin, and
// whatever lies outside is cut off.
const CGFloat kPaneWidth = 418;
const CGFloat kPaneHeight = 330;
// Left of the pane area the step list, below it the buttons.
const CGFloat kPaneX = 190;
const CGFloat kPaneY = 60;
const CGFloat kMargin = 10;

}  // namespace
}  // namespace kl::host

// As on a Mac, Return presses the default button even from a text field being edited: GNUstep's
// field editor would take the key and end the editing, and the button never see it.
@interface KLHostWindow : NSWindow
@end

@implementation KLHostWindow
- (void)sendEvent:(NSEvent*)event {
  id editor = [self firstResponder];
  NSControl* button = (NSControl*)[[self defaultButtonCell] controlView];
  if ([event type] == NSKeyDown && [[event charactersIgnoringModifiers] isEqualToString:@"\r"] &&
      [editor isKindOfClass:[NSText class]] && button != nil && [button isEnabled]) {
    id field = [editor delegate];
    if ([field respondsToSelector:@selector(validateEditing)]) [field validateEditing];
    [button performClick:self];
    return;
  }
  [super sendEvent:event];
}
@end

@implementation KLHostController (Layout)

- (void)buildWindow {
  using namespace kl::host;  // the measures above
  const CGFloat height = kPaneY + kPaneHeight + 2 * kMargin;
  window = [[KLHostWindow alloc]
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

@end
