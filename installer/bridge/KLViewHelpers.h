// Building a pane's views in code, as loading its interface file would.
#ifndef KELVORY_INSTALLER_BRIDGE_KLVIEWHELPERS_H_
#define KELVORY_INSTALLER_BRIDGE_KLVIEWHELPERS_H_

#import <AppKit/AppKit.h>

/// Connects `object` to the outlet `name` of `owner` as an interface-file load does (the owner
/// keeps a reference) and gives up the creator's reference.
inline void KLConnectOutlet(id owner, NSString* name, id object) {
  [owner setValue:object forKey:name];
  [object release];
}

/// A new read-only, borderless text field showing `text` on one line (owned by the caller). Like
/// a label from an interface file it cannot be selected, so it never takes the keyboard focus.
inline NSTextField* KLNewLabel(NSRect frame, NSString* text) {
  NSTextField* label = [[NSTextField alloc] initWithFrame:frame];
  [label setStringValue:text];
  [label setEditable:NO];
  [label setSelectable:NO];
  [label setBezeled:NO];
  [label setDrawsBackground:NO];
  [[label cell] setWraps:NO];  // GNUstep's cells wrap by default; a caption that wraps is cut
  return label;
}

#endif  // KELVORY_INSTALLER_BRIDGE_KLVIEWHELPERS_H_
