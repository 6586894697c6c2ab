#import <InstallerHost/InstallerHost.h>

// A bundle that only knows a resource directory: lets tests and the host point the panes at a
// directory of their choosing without laying out a whole bundle on disk.
@interface KLResourcePathBundle : NSBundle {
  NSString *_klResourcePath;
  NSBundle *_klBase;
}
- (id)initWithResourcePath:(NSString *)path base:(NSBundle *)base;
@end

@implementation KLResourcePathBundle

- (id)initWithResourcePath:(NSString *)path base:(NSBundle *)base {
  self = [super init];
  if (self != nil) {
    _klResourcePath = [path copy];
    _klBase = [base retain];
  }
  return self;
}

- (void)dealloc {
  [_klResourcePath release];
  [_klBase release];
  [super dealloc];
}

- (NSString *)resourcePath {
  return _klResourcePath;
}

- (NSString *)bundlePath {
  return _klBase != nil ? [_klBase bundlePath] : _klResourcePath;
}

- (NSString *)pathForResource:(NSString *)name ofType:(NSString *)ext {
  if (name == nil) return nil;
  NSString *file = name;
  if (ext != nil && [ext length] > 0) file = [name stringByAppendingPathExtension:ext];
  NSString *path = [_klResourcePath stringByAppendingPathComponent:file];
  return [[NSFileManager defaultManager] fileExistsAtPath:path] ? path : nil;
}

@end

static NSString *KLDirectionName(InstallerSectionDirection dir) {
  switch (dir) {
    case InstallerDirectionForward:
      return @"forward";
    case InstallerDirectionBackward:
      return @"backward";
    default:
      return @"undefined";
  }
}

NSString *const KLInstallerSectionWillEnterPaneNotification =
    @"KLInstallerSectionWillEnterPaneNotification";

static NSString *gHostPackagePath = nil;

// The chain from `first` through each nextPane, each pane once (a chain that loops ends where it
// would come back).
static NSMutableArray *KLWalkChain(InstallerPane *first) {
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

+ (NSString *)hostPackagePath {
  return gHostPackagePath;
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
  id title = [[_bundle infoDictionary] objectForKey:@"InstallerSectionTitle"];
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

- (void)logPaneAtIndex:(NSInteger)index
                  call:(NSString *)call
             direction:(InstallerSectionDirection)dir {
  [self logPaneAtIndex:index
                 event:[NSString stringWithFormat:@"%@ %@", call, KLDirectionName(dir)]];
}

// Leaves pane `from` (-1: none) for pane `to` ([_panes count]: the end of the section). The
// entering pane may ask to move on from inside willEnterPane:; that move is run here, after the
// switch, and the pane passed by gets no didEnterPane: since it was never really shown.
- (void)switchFrom:(NSInteger)from to:(NSInteger)to direction:(InstallerSectionDirection)dir {
  NSInteger count = (NSInteger)[_panes count];
  [self retain];  // a pane's callback may drop the last outside reference
  _switching = YES;
  for (;;) {
    InstallerPane *leaving = (from >= 0 && from < count) ? [_panes objectAtIndex:from] : nil;
    _currentIndex = to;
    if (leaving != nil) {
      [self logPaneAtIndex:from call:@"willExitPane:" direction:dir];
      [leaving willExitPane:dir];
    }
    if (to >= count) {
      if (leaving != nil) {
        [self logPaneAtIndex:from call:@"didExitPane:" direction:dir];
        [leaving didExitPane:dir];
      }
      [_navigationLog addObject:@"section finished"];
      break;
    }
    InstallerPane *entering = [_panes objectAtIndex:to];
    _lastEnteredDirection = dir;
    _pendingTo = -1;
    [self logPaneAtIndex:to call:@"willEnterPane:" direction:dir];
    [[NSNotificationCenter defaultCenter]
        postNotificationName:KLInstallerSectionWillEnterPaneNotification
                      object:self
                    userInfo:[NSDictionary
                                 dictionaryWithObjectsAndKeys:entering, @"pane",
                                                              [NSNumber numberWithInt:dir],
                                                              @"direction", nil]];
    [entering willEnterPane:dir];
    if (leaving != nil) {
      [self logPaneAtIndex:from call:@"didExitPane:" direction:dir];
      [leaving didExitPane:dir];
    }
    if (_pendingTo < 0) {
      // From here on a move asked for by the pane happens at once.
      _switching = NO;
      [self logPaneAtIndex:to call:@"didEnterPane:" direction:dir];
      [entering didEnterPane:dir];
      break;
    }
    from = to;
    to = _pendingTo;
    dir = _pendingDirection;
    _pendingTo = -1;
  }
  _switching = NO;
  [self release];
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

- (void)start {
  if (_started) return;
  _started = YES;
  if ([self loadSection]) [_panes setArray:KLWalkChain([self firstPane])];
  [self switchFrom:-1 to:0 direction:InstallerDirectionForward];
}

// The user's Continue or Go Back.
- (BOOL)pressButtonInDirection:(InstallerSectionDirection)dir {
  InstallerPane *pane = [self activePane];
  if (pane == nil || _switching) return NO;
  NSInteger index = _currentIndex;
  BOOL forward = (dir == InstallerDirectionForward);
  if (!forward && index == 0) return NO;  // nothing before the first pane
  if (!(forward ? [pane nextEnabled] : [pane previousEnabled])) {
    [self logPaneAtIndex:index event:forward ? @"Continue is disabled" : @"Go Back is disabled"];
    return NO;
  }
  BOOL leave = [pane shouldExitPane:dir];
  [self logPaneAtIndex:index
                 event:[NSString stringWithFormat:@"shouldExitPane: %@ -> %@", KLDirectionName(dir),
                                                  leave ? @"YES" : @"NO"]];
  if (!leave) return NO;
  // The pane may already have moved on by itself from inside shouldExitPane:.
  if (_currentIndex != index) return YES;
  [self switchFrom:index to:index + (forward ? 1 : -1)direction:dir];
  return YES;
}

- (BOOL)pressContinue {
  return [self pressButtonInDirection:InstallerDirectionForward];
}

- (BOOL)pressGoBack {
  return [self pressButtonInDirection:InstallerDirectionBackward];
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

- (BOOL)pane:(InstallerPane *)pane asksToMove:(InstallerSectionDirection)dir {
  if (pane == nil || pane != [self activePane]) return NO;
  NSInteger index = _currentIndex;
  NSInteger target = index + (dir == InstallerDirectionForward ? 1 : -1);
  BOOL possible = target >= 0 && target < (NSInteger)[_panes count];
  [self logPaneAtIndex:index
                 event:[NSString stringWithFormat:@"%@ -> %@",
                                                  dir == InstallerDirectionForward
                                                      ? @"gotoNextPane"
                                                      : @"gotoPreviousPane",
                                                  possible ? @"YES" : @"NO"]];
  if (!possible) return NO;
  return [self moveTo:target direction:dir];
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
