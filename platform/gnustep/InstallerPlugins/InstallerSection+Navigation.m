// The section's navigation: entering and leaving panes in the installer's order of calls, the
// user's Continue and Go Back, and the moves a pane asks for.
#import "InstallerSectionNavigation.h"

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

@implementation InstallerSection (KLNavigation)

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

@end
