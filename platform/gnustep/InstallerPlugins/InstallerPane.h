// Base class of a plug-in pane. Subclasses override the enter / exit calls; the installer drives
// them.
#ifndef KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_INSTALLERPANE_H_
#define KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_INSTALLERPANE_H_

#import <AppKit/AppKit.h>

#import <InstallerPlugins/InstallerSection.h>

@interface InstallerPane : NSObject {
 @private
  InstallerSection *_section;  // not retained: the section outlives its panes' use of it
  NSView *_contentView;
  NSView *_initialKeyView;
  NSView *_firstKeyView;
  NSView *_lastKeyView;
  InstallerPane *_nextPane;
  BOOL _nextEnabled;
  BOOL _previousEnabled;
}

- (id)initWithSection:(id)parent;
- (InstallerSection *)section;
// The step's name in the installer's list of steps.
- (NSString *)title;

// Outlets, each retained. The page shown for the pane.
- (NSView *)contentView;
- (void)setContentView:(NSView *)view;
// Given keyboard focus when the pane is entered.
- (NSView *)initialKeyView;
- (void)setInitialKeyView:(NSView *)view;
// The first and last views of the pane's nextKeyView chain, which the installer joins to its
// own buttons.
- (NSView *)firstKeyView;
- (void)setFirstKeyView:(NSView *)view;
- (NSView *)lastKeyView;
- (void)setLastKeyView:(NSView *)view;
// The pane after this one in the section; nil for the last.
- (InstallerPane *)nextPane;
- (void)setNextPane:(InstallerPane *)pane;

- (void)willEnterPane:(InstallerSectionDirection)dir;
- (void)didEnterPane:(InstallerSectionDirection)dir;
// YES by default.
- (BOOL)shouldExitPane:(InstallerSectionDirection)dir;
- (void)willExitPane:(InstallerSectionDirection)dir;
- (void)didExitPane:(InstallerSectionDirection)dir;

// Leave the pane as if the user had pressed Continue (or Go Back), without asking
// shouldExitPane: again. YES when there is a pane to go to; NO on the last (first) pane, or
// when this pane is not the active one. Called from inside willEnterPane:, the move happens
// once willEnterPane: has returned, and the pane passed by gets no didEnterPane:.
- (BOOL)gotoNextPane;
- (BOOL)gotoPreviousPane;

// The Continue and Go Back buttons while this pane is shown. Both start YES; the installer does
// not reset them on entry.
- (void)setNextEnabled:(BOOL)enabled;
- (BOOL)nextEnabled;
- (void)setPreviousEnabled:(BOOL)enabled;
- (BOOL)previousEnabled;

@end

#endif  // KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_INSTALLERPANE_H_
