#import <InstallerHost/InstallerHost.h>

@implementation InstallerState

- (void)dealloc {
  [_targetVolumePath release];
  [super dealloc];
}

- (NSString *)targetVolumePath {
  return _targetVolumePath;
}

- (void)setTargetVolumePath:(NSString *)path {
  if (path == _targetVolumePath) return;
  NSString *old = _targetVolumePath;
  _targetVolumePath = [path copy];
  [old release];
}

@end
