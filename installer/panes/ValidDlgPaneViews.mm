#import "ValidDlgPaneViews.h"

#import "KLViewHelpers.h"

ValidDlgPane* KLCreateValidationPane(InstallerSection* section) {
  ValidDlgPane* pane = [[ValidDlgPane alloc] initWithSection:section];
  NSView* content = [[NSView alloc] initWithFrame:NSMakeRect(0, 0, 620, 380)];
  [pane setContentView:content];
  [content release];

  NSTextField* caption = KLNewLabel(NSMakeRect(20, 300, 580, 44),
                                    @"The activation data is checked with the management server.");
  [content addSubview:caption];
  [caption release];

  NSProgressIndicator* indicator =
      [[NSProgressIndicator alloc] initWithFrame:NSMakeRect(20, 250, 580, 20)];
  [indicator setIndeterminate:YES];
  [indicator setDisplayedWhenStopped:NO];
  [content addSubview:indicator];
  KLConnectOutlet(pane, @"klValidationIndicator", indicator);

  NSTextField* result = KLNewLabel(NSMakeRect(20, 210, 580, 24), @"");
  [result setHidden:YES];
  [content addSubview:result];
  KLConnectOutlet(pane, @"klValidationResult", result);

  [pane awakeFromNib];
  return pane;
}
