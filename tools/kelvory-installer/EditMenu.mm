#include "EditMenu.h"

#import <AppKit/AppKit.h>

namespace kl::host {

void KLInstallEditMenu() {
  NSMenu* main = [[NSMenu alloc] initWithTitle:@"Kelvory"];
  NSMenu* edit = [[NSMenu alloc] initWithTitle:@"Edit"];
  const struct {
    NSString* title;
    SEL action;
    NSString* key;
  } items[] = {
      {@"Cut", @selector(cut:), @"x"},
      {@"Copy", @selector(copy:), @"c"},
      {@"Paste", @selector(paste:), @"v"},
      {@"Select All", @selector(selectAll:), @"a"},
  };
  // No target: each goes to the first responder, the field being edited.
  for (const auto& item : items)
    [edit addItemWithTitle:item.title action:item.action keyEquivalent:item.key];
  NSMenuItem* editItem = [main addItemWithTitle:@"Edit" action:NULL keyEquivalent:@""];
  [main setSubmenu:edit forItem:editItem];
  [edit release];
  [NSApp setMainMenu:main];
  [main release];
}

}  // namespace kl::host
