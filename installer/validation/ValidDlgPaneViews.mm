#import "ValidDlgPaneViews.h"

#import "KLPaneText.h"
#include "KLPlatform.h"
#include "KLStringBridge.h"
#import "KLViewHelpers.h"

ValidDlgPane* KLCreateValidationPane(InstallerSection* section) {
  ValidDlgPane* pane = [[ValidDlgPane alloc] initWithSection:section];
  NSBundle* bundle = [section bundle];
  // The Installer's pane area: whatever lies outside it is cut off.
  NSView* content = [[NSView alloc] initWithFrame:NSMakeRect(0, 0, 418, 330)];
  [pane setContentView:content];
  [content release];

  NSTextField* caption =
      KLNewLabel(NSMakeRect(20, 250, 378, 44),
                 KLPaneText(bundle, @"validation.caption",
                            @"The activation data is checked with the management server."));
  [[caption cell] setWraps:YES];  // two lines where a language needs them
  [content addSubview:caption];
  [caption release];

  NSProgressIndicator* indicator =
      [[NSProgressIndicator alloc] initWithFrame:NSMakeRect(20, 200, 378, 20)];
  [indicator setIndeterminate:YES];
  [indicator setDisplayedWhenStopped:NO];
  kl::CurrentPlatform().SetAccessibilityText(
      indicator, kl::AccessibilityText::kLabel,
      KLStdString(KLPaneText(bundle, @"validation.busy",
                             @"Checking the activation data with the management server")),
      nullptr);
  [content addSubview:indicator];
  KLConnectOutlet(pane, @"klValidationIndicator", indicator);

  NSTextField* result = KLNewLabel(NSMakeRect(20, 140, 378, 44), @"");
  [[result cell] setWraps:YES];  // a long verdict takes a second line rather than being cut
  [result setHidden:YES];
  [content addSubview:result];
  KLConnectOutlet(pane, @"klValidationResult", result);

  [pane awakeFromNib];
  return pane;
}
