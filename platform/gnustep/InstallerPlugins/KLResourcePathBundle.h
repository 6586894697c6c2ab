// The twin's own bundle that only knows a resource directory (-[InstallerSection
// setResourcePath:]). Not public API.
#ifndef KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_KLRESOURCEPATHBUNDLE_H_
#define KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_KLRESOURCEPATHBUNDLE_H_

#import <Foundation/Foundation.h>

// A bundle that only knows a resource directory: lets tests and the host point the panes at a
// directory of their choosing without laying out a whole bundle on disk.
@interface KLResourcePathBundle : NSBundle {
  NSString *_klResourcePath;
  NSBundle *_klBase;
}
- (id)initWithResourcePath:(NSString *)path base:(NSBundle *)base;
@end

#endif  // KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_KLRESOURCEPATHBUNDLE_H_
