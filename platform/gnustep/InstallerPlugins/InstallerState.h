// The installer's state as a pane sees it: only the destination volume.
#ifndef KELVORY_INSTALLERPLUGINS_INSTALLERSTATE_H_
#define KELVORY_INSTALLERPLUGINS_INSTALLERSTATE_H_

#import <Foundation/Foundation.h>

@interface InstallerState : NSObject {
  NSString *_targetVolumePath;
}

// Path of the volume the user chose to install on; nil when none was chosen.
- (NSString *)targetVolumePath;

@end

@interface InstallerState (KLHost)
// Copied; nil means no volume chosen.
- (void)setTargetVolumePath:(NSString *)path;
@end

#endif  // KELVORY_INSTALLERPLUGINS_INSTALLERSTATE_H_
