#import "ValidDlgPaneViews.h"

#import "KLViewHelpers.h"

ValidDlgPane* KLCreateValidationPane(InstallerSection* section) {
  ValidDlgPane* pane = [[ValidDlgPane alloc] initWithSection:section];
  // The Installer's pane area: whatever lies outside it is cut off.
  NSView* content = [[NSView alloc] initWithFrame:NSMakeRect(0, 0, 418, 330)];
  [pane setContentView:content];
  [content release];

  NSTextField* caption = KLNewLabel(NSMakeRect(20, 250, 378, 44),
                                    @"The activation data is checked with the management server.");
  [content addSubview:caption];
  [caption release];

  NSProgressIndicator* indicator =
      [[NSProgressIndicator alloc] initWithFrame:NSMakeRect(20, 200, 378, 20)];
  [indicator setIndeterminate:YES];
  [indicator setDisplayedWhenStopped:NO];
  [content addSubview:indicator];
  KLConnectOutlet(pane, @"klValidationIndicator", indicator);

  NSTextField* result = KLNewLabel(NSMakeRect(20, 160, 378, 24), @"");
  [result setHidden:YES];
  [content addSubview:result];
  KLConnectOutlet(pane, @"klValidationResult", result);

  [pane awakeFromNib];
  return pane;
}
