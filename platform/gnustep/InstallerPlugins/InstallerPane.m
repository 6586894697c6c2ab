#import <InstallerHost/InstallerHost.h>

// Implemented by InstallerSection+Navigation.m: a pane asking its section to move on.
@interface InstallerSection (KLPaneMoves)
- (BOOL)pane:(InstallerPane *)pane asksToMove:(InstallerSectionDirection)dir;
@end

// Retains `value` in *slot, releasing what was there.
static void KLSetRetained(id *slot, id value) {
  if (*slot == value) return;
  [*slot release];
  *slot = [value retain];
}

@implementation InstallerPane

- (id)init {
  return [self initWithSection:nil];
}

- (id)initWithSection:(id)parent {
  self = [super init];
  if (self != nil) {
    _section = parent;
    _nextEnabled = YES;
    _previousEnabled = YES;
  }
  return self;
}

- (void)dealloc {
  [_contentView release];
  [_initialKeyView release];
  [_firstKeyView release];
  [_lastKeyView release];
  [_nextPane release];
  [super dealloc];
}

- (InstallerSection *)section {
  return _section;
}

- (void)setSection:(InstallerSection *)section {
  _section = section;
}

- (NSString *)title {
  return @"";
}

- (NSView *)contentView {
  return _contentView;
}

- (void)setContentView:(NSView *)view {
  KLSetRetained(&_contentView, view);
}

- (NSView *)initialKeyView {
  return _initialKeyView;
}

- (void)setInitialKeyView:(NSView *)view {
  KLSetRetained(&_initialKeyView, view);
}

- (NSView *)firstKeyView {
  return _firstKeyView;
}

- (void)setFirstKeyView:(NSView *)view {
  KLSetRetained(&_firstKeyView, view);
}

- (NSView *)lastKeyView {
  return _lastKeyView;
}

- (void)setLastKeyView:(NSView *)view {
  KLSetRetained(&_lastKeyView, view);
}

- (InstallerPane *)nextPane {
  return _nextPane;
}

- (void)setNextPane:(InstallerPane *)pane {
  KLSetRetained(&_nextPane, pane);
}

// Nothing here, as on NSObject on macOS, so that subclasses can call super.
- (void)awakeFromNib {
}

- (void)willEnterPane:(InstallerSectionDirection)dir {
  (void)dir;
}

- (void)didEnterPane:(InstallerSectionDirection)dir {
  (void)dir;
}

- (BOOL)shouldExitPane:(InstallerSectionDirection)dir {
  (void)dir;
  return YES;
}

- (void)willExitPane:(InstallerSectionDirection)dir {
  (void)dir;
}

- (void)didExitPane:(InstallerSectionDirection)dir {
  (void)dir;
}

- (BOOL)gotoNextPane {
  return [_section pane:self asksToMove:InstallerDirectionForward];
}

- (BOOL)gotoPreviousPane {
  return [_section pane:self asksToMove:InstallerDirectionBackward];
}

- (void)setNextEnabled:(BOOL)enabled {
  _nextEnabled = enabled;
}

- (BOOL)nextEnabled {
  return _nextEnabled;
}

- (void)setPreviousEnabled:(BOOL)enabled {
  _previousEnabled = enabled;
}

- (BOOL)previousEnabled {
  return _previousEnabled;
}

@end
