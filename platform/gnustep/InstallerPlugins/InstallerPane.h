// Base class of a plug-in pane. Subclasses override the enter / exit calls; the section (see
// InstallerSection) drives them.
#ifndef KELVORY_INSTALLERPLUGINS_INSTALLERPANE_H_
#define KELVORY_INSTALLERPLUGINS_INSTALLERPANE_H_

#import <AppKit/AppKit.h>

#import <InstallerPlugins/InstallerSection.h>

@interface InstallerPane : NSObject {
  InstallerSection *_section;  // not retained: the section owns the pane
  NSView *_contentView;
  BOOL _nextEnabled;
  BOOL _previousEnabled;
}

// Does not add the pane to the section's order (the host does that with -addPane:).
- (id)initWithSection:(id)parent;
- (InstallerSection *)section;

// The pane's top-level view; retained. Real panes get it as an outlet of their interface file.
- (NSView *)contentView;
- (void)setContentView:(NSView *)view;
- (NSString *)title;

// Nothing here, as on NSObject on macOS, so that subclasses can call super.
- (void)awakeFromNib;

- (void)willEnterPane:(InstallerSectionDirection)dir;
- (void)didEnterPane:(InstallerSectionDirection)dir;
// YES by default.
- (BOOL)shouldExitPane:(InstallerSectionDirection)dir;
- (void)willExitPane:(InstallerSectionDirection)dir;
- (void)didExitPane:(InstallerSectionDirection)dir;

// Leave the pane as if the user had pressed Continue (or Go Back), without asking
// shouldExitPane: again. YES when there is a pane to go to; NO on the last (first) pane, or
// when this pane is not the section's current pane. Called from inside willEnterPane:, the move
// happens once willEnterPane: has returned, and the pane passed by gets no didEnterPane:.
- (BOOL)gotoNextPane;
- (BOOL)gotoPreviousPane;

// The Continue and Go Back buttons while this pane is shown. Both start YES; the section does
// not reset them on entry.
- (void)setNextEnabled:(BOOL)enabled;
- (BOOL)nextEnabled;
- (void)setPreviousEnabled:(BOOL)enabled;
- (BOOL)previousEnabled;

@end

@interface InstallerPane (KLHost)
// Set by InstallerSection; not retained.
- (void)setSection:(InstallerSection *)section;
@end

#endif  // KELVORY_INSTALLERPLUGINS_INSTALLERPANE_H_
