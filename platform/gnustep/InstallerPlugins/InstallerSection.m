#import <InstallerHost/InstallerHost.h>

#import "InstallerSectionNavigation.h"
#import "KLResourcePathBundle.h"
#import "KLStandInChannel.h"

NSString *const KLInstallerSectionWillEnterPaneNotification =
    @"KLInstallerSectionWillEnterPaneNotification";

static NSString *gHostPackagePath = nil;

NSString *KLStandInPackagePath(void) { return gHostPackagePath; }

NSMutableArray *KLWalkChain(InstallerPane *first) {
  NSMutableArray *chain = [NSMutableArray array];
  InstallerPane *pane = first;
  while (pane != nil && [chain indexOfObjectIdenticalTo:pane] == NSNotFound) {
    [chain addObject:pane];
    pane = [pane nextPane];
  }
  return chain;
}

@implementation InstallerSection

+ (void)setHostPackagePath:(NSString *)path {
  NSString *copied = [path copy];
  [gHostPackagePath release];
  gHostPackagePath = copied;
}

- (id)init {
  return [self initWithBundle:nil];
}

- (id)initWithBundle:(NSBundle *)bundle {
  self = [super init];
  if (self != nil) {
    _bundle = [bundle retain];
    _sharedDictionary = [[NSMutableDictionary alloc] init];
    _installerState = [[InstallerState alloc] init];
    _panes = [[NSMutableArray alloc] init];
    _navigationLog = [[NSMutableArray alloc] init];
    _currentIndex = -1;
    _pendingTo = -1;
    _lastEnteredDirection = InstallerDirectionUndefined;
  }
  return self;
}

- (void)dealloc {
  // Panes kept alive elsewhere must not point at a dead section.
  NSArray *chain = _started ? _panes : KLWalkChain(_firstPane);
  NSUInteger i;
  for (i = 0; i < [chain count]; i++) {
    InstallerPane *pane = [chain objectAtIndex:i];
    if ([pane section] == self) [pane setSection:nil];
  }
  [_firstPane release];
  [_panes release];
  [_navigationLog release];
  [_sharedDictionary release];
  [_installerState release];
  [_resourceBundle release];
  [_bundle release];
  [super dealloc];
}

- (NSBundle *)bundle {
  return _resourceBundle != nil ? _resourceBundle : _bundle;
}

- (void)setBundle:(NSBundle *)bundle {
  if (bundle == _bundle) return;
  [_bundle release];
  _bundle = [bundle retain];
}

- (void)setResourcePath:(NSString *)path {
  KLResourcePathBundle *next = nil;
  if (path != nil) {
    next = [[KLResourcePathBundle alloc] initWithResourcePath:path base:_bundle];
  }
  [_resourceBundle release];
  _resourceBundle = next;
}

- (NSString *)title {
  // In the language shown, as the Installer reads it: InfoPlist.strings over the Info plist.
  id title = [[_bundle localizedInfoDictionary] objectForKey:@"InstallerSectionTitle"];
  if (title == nil) title = [[_bundle infoDictionary] objectForKey:@"InstallerSectionTitle"];
  return [title isKindOfClass:[NSString class]] ? title : @"";
}

- (BOOL)shouldLoad {
  return YES;
}

- (void)willLoadMainNib {
}

- (void)didLoadMainNib {
}

- (InstallerPane *)firstPane {
  return _firstPane;
}

- (void)setFirstPane:(InstallerPane *)pane {
  if (pane == _firstPane) return;
  [_firstPane release];
  _firstPane = [pane retain];
}

- (NSMutableDictionary *)sharedDictionary {
  return _sharedDictionary;
}

- (InstallerState *)installerState {
  return _installerState;
}

- (void)addPane:(InstallerPane *)pane {
  if (pane == nil || _started) return;
  NSArray *chain = KLWalkChain([self firstPane]);
  if ([chain indexOfObjectIdenticalTo:pane] != NSNotFound) return;
  if ([chain count] == 0) {
    [self setFirstPane:pane];
  } else {
    [[chain lastObject] setNextPane:pane];
  }
  [pane setSection:self];
}

- (NSArray *)panes {
  return _started ? [[_panes copy] autorelease] : KLWalkChain([self firstPane]);
}

- (InstallerPane *)activePane {
  if (_currentIndex < 0 || _currentIndex >= (NSInteger)[_panes count]) return nil;
  return [_panes objectAtIndex:_currentIndex];
}

- (NSInteger)currentPaneIndex {
  return _currentIndex;
}

- (BOOL)isFinished {
  return _started && _currentIndex >= (NSInteger)[_panes count];
}

- (InstallerSectionDirection)lastEnteredDirection {
  return _lastEnteredDirection;
}

- (NSArray *)navigationLog {
  return _navigationLog;
}

- (void)clearNavigationLog {
  [_navigationLog removeAllObjects];
}

- (void)logPaneAtIndex:(NSInteger)index event:(NSString *)event {
  InstallerPane *pane = [_panes objectAtIndex:index];
  [_navigationLog
      addObject:[NSString stringWithFormat:@"%@[%ld] %@", NSStringFromClass([pane class]),
                                           (long)index, event]];
}

- (BOOL)loadSection {
  if (!_loaded) {
    _loaded = YES;
    _loads = [self shouldLoad];
    if (_loads) {
      [self willLoadMainNib];
      [self didLoadMainNib];
    }
  }
  return _loads;
}

// Moves from the active pane to pane `target` at once, or, inside a switch, once it is done.
- (BOOL)moveTo:(NSInteger)target direction:(InstallerSectionDirection)dir {
  if (_switching) {
    _pendingTo = target;
    _pendingDirection = dir;
    return YES;
  }
  [self switchFrom:_currentIndex to:target direction:dir];
  return YES;
}

- (BOOL)gotoPane:(InstallerPane *)pane {
  InstallerPane *active = [self activePane];
  if (active == nil || pane == nil || pane == active) return NO;
  NSUInteger target = [_panes indexOfObjectIdenticalTo:pane];
  if (target == NSNotFound) return NO;
  InstallerSectionDirection dir =
      (NSInteger)target > _currentIndex ? InstallerDirectionForward : InstallerDirectionBackward;
  [self logPaneAtIndex:_currentIndex
                 event:[NSString stringWithFormat:@"gotoPane: %ld", (long)target]];
  return [self moveTo:(NSInteger)target direction:dir];
}

@end
