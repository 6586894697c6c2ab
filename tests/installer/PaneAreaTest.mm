// Both panes as the Installer shows them: in a pane area of 418×330 points, where anything outside
// is cut off.
#include <objc/runtime.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#import "ActDlgPaneViews.h"
#include "KLStringBridge.h"
#import "PaneHarness.h"
#import "ValidDlgPaneViews.h"

using Strings = std::vector<std::string>;

namespace {

const NSRect kPaneArea = {{0, 0}, {418, 330}};

// The views the pane holds in its own instance variables (its outlets), by name. The
// framework's own variables are left out: the pane does not lay them out.
std::map<NSView*, std::string> OutletViews(InstallerPane* pane) {
  std::map<NSView*, std::string> views;
  for (Class c = [pane class]; c != Nil && c != [InstallerPane class]; c = class_getSuperclass(c)) {
    unsigned int count = 0;
    Ivar* ivars = class_copyIvarList(c, &count);
    for (unsigned int i = 0; i < count; ++i) {
      const char* type = ivar_getTypeEncoding(ivars[i]);
      if (type == nullptr || type[0] != '@') continue;
      id value = object_getIvar(pane, ivars[i]);
      if ([value isKindOfClass:[NSView class]]) views[value] = ivar_getName(ivars[i]);
    }
    free(ivars);
  }
  return views;
}

// Every view below `view`, hidden ones included, depth first.
void Collect(NSView* view, std::vector<NSView*>* out) {
  NSArray* subviews = [view subviews];
  for (NSUInteger i = 0; i < [subviews count]; ++i) {
    out->push_back([subviews objectAtIndex:i]);
    Collect([subviews objectAtIndex:i], out);
  }
}

// A view as a reader finds it: its outlet, a caption's text, or its class.
std::string Name(NSView* view, const std::map<NSView*, std::string>& outlets) {
  const auto found = outlets.find(view);
  if (found != outlets.end()) return found->second;
  return KLStdString([view isKindOfClass:[NSTextField class]] ? [(NSTextField*)view stringValue]
                                                              : NSStringFromClass([view class]));
}

// The texts that do not show whole at their control's font: a caption wider than its field (or,
// for one that wraps, more lines than its height holds), a radio button's title wider than its
// cell.
Strings Truncated(NSView* view) {
  Strings cut;
  if ([view isKindOfClass:[NSTextField class]] && ![(NSTextField*)view isEditable]) {
    NSCell* cell = [(NSTextField*)view cell];
    const NSRect frame = [view frame];
    // The toolkit answers a cell's size on one line; wrapped, it takes that many lines.
    const NSSize line = [cell cellSize];
    const bool whole = [cell wraps]
                           ? std::ceil(line.width / NSWidth(frame)) * line.height <= NSHeight(frame)
                           : line.width <= NSWidth(frame);
    if (!whole) cut.push_back(KLStdString([(NSTextField*)view stringValue]));
  }
  NSArray* cells = [view isKindOfClass:[NSMatrix class]] ? [(NSMatrix*)view cells] : nil;
  for (NSUInteger i = 0; i < [cells count]; ++i) {
    if ([[cells objectAtIndex:i] cellSize].width > [(NSMatrix*)view cellSize].width)
      cut.push_back(KLStdString([[cells objectAtIndex:i] title]));
  }
  return cut;
}

// Views of one parent that cover each other; two shown at different times (the two forms, one
// hidden) may.
Strings Overlapping(NSView* parent, const std::map<NSView*, std::string>& outlets) {
  Strings found;
  NSArray* views = [parent subviews];
  for (NSUInteger i = 0; i < [views count]; ++i) {
    for (NSUInteger j = i + 1; j < [views count]; ++j) {
      NSView* a = [views objectAtIndex:i];
      NSView* b = [views objectAtIndex:j];
      if ([a isHidden] == [b isHidden] && NSIntersectsRect([a frame], [b frame]))
        found.push_back(Name(a, outlets) + " / " + Name(b, outlets));
    }
  }
  return found;
}

// In each language of the string tables: the caption column takes the longest caption, and
// nothing is cut or covered.
TEST(PaneArea, EveryControlOfEachPaneLiesWithinItAndShowsItsTextWhole) {
  [NSApplication sharedApplication];
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  // The last row: a caption longer than any today, as a language might have it, which the
  // column must make room for.
  for (const char* language : {"en", "de", "fr", "es", "ja", "de+long"}) {
    SCOPED_TRACE(language);
    const bool longCaption = std::string(language) == "de+long";
    KLSetTestLanguage(longCaption ? @"de" : KLNSString(language));
    KLSetTestText(@"activation.caption.serverURL",
                  longCaption ? @"Adresse des Verwaltungsservers:" : nil);
    for (const bool validation : {false, true}) {
      SCOPED_TRACE(validation ? "validation" : "activation");
      KLTestSection* section = [[KLTestSection alloc] init];
      InstallerPane* pane = validation ? (InstallerPane*)KLCreateValidationPane(section)
                                       : KLCreateActivationPane(section);
      NSView* content = [pane contentView];
      EXPECT_NE(content, nil);
      if (content == nil) {  // (not ASSERT: the section and pane would leak)
        [pane release];
        [section release];
        continue;
      }
      EXPECT_TRUE(NSEqualSizes([content frame].size, kPaneArea.size))
          << KLStdString(NSStringFromSize([content frame].size));

      const std::map<NSView*, std::string> outlets = OutletViews(pane);
      EXPECT_GE(outlets.size(), 2u) << "the pane's outlets were not found";
      // An outlet outside the content view (a form never stacked in) would escape the walk.
      Strings detached;
      for (const auto& [view, name] : outlets)
        if (![view isDescendantOf:content]) detached.push_back(name);
      EXPECT_EQ(detached, Strings{});

      // Views convert between each other's coordinates only within a window (GNUstep answers a
      // rectangle unchanged without one), so the content view goes into one, as on screen.
      NSWindow* window = [[NSWindow alloc] initWithContentRect:kPaneArea
                                                     styleMask:NSWindowStyleMaskBorderless
                                                       backing:NSBackingStoreBuffered
                                                         defer:YES];
      [[window contentView] addSubview:content];
      std::vector<NSView*> views;
      Collect(content, &views);
      Strings outside, cut;
      for (NSView* view : views) {
        const NSRect r = [[view superview] convertRect:[view frame] toView:content];
        if (NSMinX(r) < NSMinX(kPaneArea) || NSMinY(r) < NSMinY(kPaneArea) ||
            NSMaxX(r) > NSMaxX(kPaneArea) || NSMaxY(r) > NSMaxY(kPaneArea)) {
          outside.push_back(Name(view, outlets) + " " + KLStdString(NSStringFromRect(r)));
        }
        for (const std::string& text : Truncated(view)) cut.push_back(text);
      }
      EXPECT_EQ(outside, Strings{});
      EXPECT_EQ(cut, Strings{});
      Strings covered = Overlapping(content, outlets);
      for (NSView* view : views)
        for (const std::string& pair : Overlapping(view, outlets)) covered.push_back(pair);
      EXPECT_EQ(covered, Strings{});
      [content removeFromSuperview];
      [window release];
      [pane release];
      [section release];
    }
  }
  KLSetTestLanguage(@"en");
  KLSetTestText(@"activation.caption.serverURL", nil);
  [pool drain];
}

}  // namespace
