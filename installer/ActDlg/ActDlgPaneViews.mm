#import "ActDlgPaneViews.h"

#include <algorithm>
#include <cmath>

#import "KLPaneText.h"
#include "KLPlatform.h"
#include "KLStringBridge.h"
#import "KLViewHelpers.h"

namespace {

// The pane's layout: a caption column as wide as its longest caption in the language shown
// (never narrower than the English one needs), the fields taking what is left of the width.
const CGFloat kWidth = 378;  // the area less its margins
const CGFloat kMinCaptionColumn = 124;
const CGFloat kGap = 6;              // between a caption and its field
const CGFloat kMinFieldWidth = 160;  // below this a key or a server list is unusable

// A caption owned by its parent view only; returned for tying it to its field.
NSTextField* AddCaption(NSView* parent, NSRect frame, NSString* text) {
  NSTextField* label = KLNewLabel(frame, text);
  [parent addSubview:label];
  [label release];
  return label;
}

// The width `text` takes as a caption, whole points.
CGFloat CaptionWidth(NSString* text) {
  NSTextField* probe = KLNewLabel(NSMakeRect(0, 0, 1000, 22), text);
  const CGFloat width = std::ceil([[probe cell] cellSize].width);
  [probe release];
  return width;
}

// What VoiceOver says of a field: its caption, tied to it.
void TieCaption(NSView* field, NSTextField* caption) {
  kl::CurrentPlatform().SetAccessibilityText(field, kl::AccessibilityText::kTitle,
                                             KLStdString([caption stringValue]), caption);
}

// What VoiceOver says of a group of choices or an indicator.
void Describe(NSView* view, NSString* text) {
  kl::CurrentPlatform().SetAccessibilityText(view, kl::AccessibilityText::kLabel, KLStdString(text),
                                             nullptr);
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
    NSCell* cell = [matrix cellAtRow:(columns == 1 ? i : 0) column:(columns == 1 ? 0 : i)];
    [cell setTitle:[titles objectAtIndex:i]];
    // A title longer than its cell in some language wraps rather than being cut.
    [cell setWraps:YES];
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
  NSBundle* bundle = [section bundle];
  // The Installer's pane area: whatever lies outside it is cut off.
  NSView* content = [[NSView alloc] initWithFrame:NSMakeRect(0, 0, 418, 330)];
  [pane setContentView:content];
  [content release];

  const struct {
    NSString* caption;
    NSString* outlet;
    CGFloat y;
  } fields[] = {
      {KLPaneText(bundle, @"activation.caption.customerName", @"Customer name:"),
       @"klCustomerNameField", 128},
      {KLPaneText(bundle, @"activation.caption.customerId", @"Customer ID:"), @"klCustomerIdField",
       96},
      {KLPaneText(bundle, @"activation.caption.serverURL", @"Server URL:"), @"klServerURLField",
       64},
  };
  NSString* keyCaption =
      KLPaneText(bundle, @"activation.caption.activationKey", @"Activation key:");
  NSString* protocolCaption = KLPaneText(bundle, @"activation.caption.protocol", @"Protocol:");
  NSString* portCaption = KLPaneText(bundle, @"activation.caption.port", @"Port:");
  NSString* proxyCaption = KLPaneText(bundle, @"activation.caption.proxy", @"Proxy (host:port):");
  CGFloat column = kMinCaptionColumn;
  NSString* const captions[] = {keyCaption,        fields[0].caption, fields[1].caption,
                                fields[2].caption, protocolCaption,   portCaption,
                                proxyCaption};
  for (NSString* caption : captions) column = std::max(column, CaptionWidth(caption));
  const CGFloat fieldX = column + kGap;
  const CGFloat fieldWidth = std::max(kMinFieldWidth, kWidth - fieldX);

  NSMatrix* forms = NewRadioGroup(
      NSMakeRect(20, 270, 378, 48), 2, 1,
      [NSArray
          arrayWithObjects:KLPaneText(bundle, @"activation.form.key", @"Activation key"),
                           KLPaneText(bundle, @"activation.form.customer", @"Customer information"),
                           nil],
      pane, @selector(switchActivationMessage:));
  Describe(forms, KLPaneText(bundle, @"activation.form.label", @"Activation method"));
  KLConnectOutlet(pane, @"klActivationMatrix", Place(content, forms));

  NSView* placeholder = [[NSView alloc] initWithFrame:NSMakeRect(20, 110, 378, 150)];
  [content addSubview:placeholder];
  KLConnectOutlet(pane, @"klPlaceholderView", placeholder);

  // The two forms stay out of any view until -awakeFromNib stacks them in the placeholder.
  NSView* keyView = [[NSView alloc] initWithFrame:NSMakeRect(0, 0, 378, 150)];
  NSTextField* keyLabel = AddCaption(keyView, NSMakeRect(0, 128, column, 22), keyCaption);
  NSTextField* keyField = NewField(NSMakeRect(fieldX, 128, fieldWidth, 22));
  TieCaption(keyField, keyLabel);
  KLConnectOutlet(pane, @"klActivationKeyField", Place(keyView, keyField));
  KLConnectOutlet(pane, @"klActivateByKeyView", keyView);

  NSView* customerView = [[NSView alloc] initWithFrame:NSMakeRect(0, 0, 378, 150)];
  for (const auto& f : fields) {
    NSTextField* label = AddCaption(customerView, NSMakeRect(0, f.y, column, 22), f.caption);
    NSTextField* field = NewField(NSMakeRect(fieldX, f.y, fieldWidth, 22));
    TieCaption(field, label);
    KLConnectOutlet(pane, f.outlet, Place(customerView, field));
  }
  AddCaption(customerView, NSMakeRect(0, 32, column, 22), protocolCaption);
  NSMatrix* protocols = NewRadioGroup(
      NSMakeRect(fieldX, 32, std::min<CGFloat>(200, fieldWidth), 22), 1, 2,
      [NSArray arrayWithObjects:@"http", @"https", nil], pane, @selector(switchProtocolMessage:));
  Describe(protocols, KLPaneText(bundle, @"activation.protocol.label", @"Protocol"));
  KLConnectOutlet(pane, @"klProtocolMatrix", Place(customerView, protocols));
  NSTextField* portLabel = AddCaption(customerView, NSMakeRect(0, 0, column, 22), portCaption);
  NSTextField* port = NewField(NSMakeRect(fieldX, 0, std::min<CGFloat>(100, fieldWidth), 22));
  [port setStringValue:@"80"];
  TieCaption(port, portLabel);
  KLConnectOutlet(pane, @"klServerPortField", Place(customerView, port));
  KLConnectOutlet(pane, @"klActivateByCustomerInfoView", customerView);

  NSMatrix* proxies = NewRadioGroup(
      NSMakeRect(20, 50, 378, 48), 2, 1,
      [NSArray arrayWithObjects:KLPaneText(bundle, @"activation.proxy.none", @"No proxy"),
                                KLPaneText(bundle, @"activation.proxy.use", @"Use a proxy"), nil],
      pane, @selector(switchProxyMessage:));
  Describe(proxies, KLPaneText(bundle, @"activation.proxy.label", @"Proxy"));
  KLConnectOutlet(pane, @"klProxyMatrix", Place(content, proxies));
  NSTextField* proxyLabel = KLNewLabel(NSMakeRect(20, 16, column, 22), proxyCaption);
  [proxyLabel setHidden:YES];
  KLConnectOutlet(pane, @"klProxyLabel", Place(content, proxyLabel));
  NSTextField* proxyField = NewField(NSMakeRect(20 + fieldX, 16, fieldWidth, 22));
  [proxyField setHidden:YES];
  TieCaption(proxyField, proxyLabel);
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
