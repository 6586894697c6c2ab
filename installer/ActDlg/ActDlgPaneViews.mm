#import "ActDlgPaneViews.h"

#import "KLAppKitNames.h"
#import "KLViewHelpers.h"

namespace {

// A caption owned by its parent view only.
void AddCaption(NSView* parent, NSRect frame, NSString* text) {
  NSTextField* label = KLNewLabel(frame, text);
  [parent addSubview:label];
  [label release];
}

NSTextField* NewField(NSRect frame) {
  NSTextField* field = [[NSTextField alloc] initWithFrame:frame];
  [field setStringValue:@""];
  return field;
}

// A radio group with one title per cell, laid out rows x columns, first cell selected.
NSMatrix* NewRadioGroup(NSRect frame, int rows, int columns, NSArray* titles, id target,
                        SEL action) {
  NSButtonCell* prototype = [[[NSButtonCell alloc] init] autorelease];
  [prototype setButtonType:NSButtonTypeRadio];
  NSMatrix* matrix = [[NSMatrix alloc] initWithFrame:frame
                                                mode:NSMatrixModeRadio
                                           prototype:prototype
                                        numberOfRows:rows
                                     numberOfColumns:columns];
  for (int i = 0; i < rows * columns; ++i) {
    [[matrix cellAtRow:(columns == 1 ? i : 0)
                column:(columns == 1 ? 0 : i)] setTitle:[titles objectAtIndex:i]];
  }
  [matrix selectCellAtRow:0 column:0];
  [matrix setTarget:target];
  [matrix setAction:action];
  return matrix;
}

// Adds `view` to `parent` and returns it, for controls the pane reaches through an outlet.
id Place(NSView* parent, id view) {
  [parent addSubview:view];
  return view;
}

}  // namespace

ActDlgPane* KLCreateActivationPane(InstallerSection* section) {
  ActDlgPane* pane = [[ActDlgPane alloc] initWithSection:section];
  // The Installer's pane area: whatever lies outside it is cut off.
  NSView* content = [[NSView alloc] initWithFrame:NSMakeRect(0, 0, 418, 330)];
  [pane setContentView:content];
  [content release];

  KLConnectOutlet(
      pane, @"klActivationMatrix",
      Place(content, NewRadioGroup(
                         NSMakeRect(20, 270, 378, 48), 2, 1,
                         [NSArray arrayWithObjects:@"Activation key", @"Customer information", nil],
                         pane, @selector(switchActivationMessage:))));

  NSView* placeholder = [[NSView alloc] initWithFrame:NSMakeRect(20, 110, 378, 150)];
  [content addSubview:placeholder];
  KLConnectOutlet(pane, @"klPlaceholderView", placeholder);

  // The two forms stay out of any view until -awakeFromNib stacks them in the placeholder.
  NSView* keyView = [[NSView alloc] initWithFrame:NSMakeRect(0, 0, 378, 150)];
  AddCaption(keyView, NSMakeRect(0, 128, 124, 22), @"Activation key:");
  KLConnectOutlet(pane, @"klActivationKeyField",
                  Place(keyView, NewField(NSMakeRect(130, 128, 248, 22))));
  KLConnectOutlet(pane, @"klActivateByKeyView", keyView);

  NSView* customerView = [[NSView alloc] initWithFrame:NSMakeRect(0, 0, 378, 150)];
  const struct {
    NSString* caption;
    NSString* outlet;
    CGFloat y;
  } fields[] = {
      {@"Customer name:", @"klCustomerNameField", 128},
      {@"Customer ID:", @"klCustomerIdField", 96},
      {@"Server URL:", @"klServerURLField", 64},
  };
  for (const auto& f : fields) {
    AddCaption(customerView, NSMakeRect(0, f.y, 124, 22), f.caption);
    KLConnectOutlet(pane, f.outlet, Place(customerView, NewField(NSMakeRect(130, f.y, 248, 22))));
  }
  AddCaption(customerView, NSMakeRect(0, 32, 124, 22), @"Protocol:");
  KLConnectOutlet(
      pane, @"klProtocolMatrix",
      Place(customerView, NewRadioGroup(NSMakeRect(130, 32, 200, 22), 1, 2,
                                        [NSArray arrayWithObjects:@"http", @"https", nil], pane,
                                        @selector(switchProtocolMessage:))));
  AddCaption(customerView, NSMakeRect(0, 0, 124, 22), @"Port:");
  NSTextField* port = NewField(NSMakeRect(130, 0, 100, 22));
  [port setStringValue:@"80"];
  KLConnectOutlet(pane, @"klServerPortField", Place(customerView, port));
  KLConnectOutlet(pane, @"klActivateByCustomerInfoView", customerView);

  KLConnectOutlet(
      pane, @"klProxyMatrix",
      Place(content, NewRadioGroup(NSMakeRect(20, 50, 378, 48), 2, 1,
                                   [NSArray arrayWithObjects:@"No proxy", @"Use a proxy", nil],
                                   pane, @selector(switchProxyMessage:))));
  NSTextField* proxyLabel = KLNewLabel(NSMakeRect(20, 16, 124, 22), @"Proxy (host:port):");
  [proxyLabel setHidden:YES];
  KLConnectOutlet(pane, @"klProxyLabel", Place(content, proxyLabel));
  NSTextField* proxyField = NewField(NSMakeRect(150, 16, 248, 22));
  [proxyField setHidden:YES];
  KLConnectOutlet(pane, @"klProxyField", Place(content, proxyField));

  // The keyboard's path in reading order. Controls hidden at the time (the other form, the
  // proxy field) are skipped by the toolkit's search for the next valid key view.
  NSString* const order[] = {@"klActivationMatrix", @"klActivationKeyField", @"klCustomerNameField",
                             @"klCustomerIdField",  @"klServerURLField",     @"klProtocolMatrix",
                             @"klServerPortField",  @"klProxyMatrix",        @"klProxyField"};
  const size_t count = sizeof order / sizeof order[0];
  for (size_t i = 0; i + 1 < count; ++i) {
    [[pane valueForKey:order[i]] setNextKeyView:[pane valueForKey:order[i + 1]]];
  }
  [pane setFirstKeyView:[pane valueForKey:order[0]]];
  [pane setLastKeyView:[pane valueForKey:order[count - 1]]];
  [pane setInitialKeyView:[pane valueForKey:@"klActivationKeyField"]];

  [pane awakeFromNib];
  return pane;
}
