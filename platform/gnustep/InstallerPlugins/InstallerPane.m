#import <InstallerPlugins/InstallerPane.h>

#import <InstallerPlugins/InstallerSectionMoves.h>

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
  [super dealloc];
}

- (InstallerSection *)section {
  return _section;
}

- (void)setSection:(InstallerSection *)section {
  _section = section;
}

- (NSView *)contentView {
  return _contentView;
}

- (void)setContentView:(NSView *)view {
  if (view == _contentView) return;
  [_contentView release];
  _contentView = [view retain];
}

- (NSString *)title {
  return @"";
}

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
