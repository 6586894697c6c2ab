#import "KLResourcePathBundle.h"

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
