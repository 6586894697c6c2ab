// The installer's state as a plug-in sees it. Of Apple's members only the destination volume is
// here: the plug-in uses nothing else, and the others' meaning is not documented closely enough
// to copy.
#ifndef KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_INSTALLERSTATE_H_
#define KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_INSTALLERSTATE_H_

#import <Foundation/Foundation.h>

@interface InstallerState : NSObject {
 @private
  NSString *_targetVolumePath;
}

// Path of the volume the user chose to install on; nil when none was chosen.
- (NSString *)targetVolumePath;

@end

#endif  // KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_INSTALLERSTATE_H_
