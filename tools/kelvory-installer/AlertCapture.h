// In scripted and headless runs an alert is written to the transcript and dismissed: the
// plug-in still shows it through the toolkit's real critical panel, which is found here while
// it runs modally.
#ifndef KELVORY_INSTALLER_ALERTCAPTURE_H_
#define KELVORY_INSTALLER_ALERTCAPTURE_H_

#import <AppKit/AppKit.h>

@interface KLAlertCatcher : NSObject {
  NSTimer* timer;  // held by the run loop; it holds this catcher until invalidated
}
/// From now on, every modal panel is written as "alert: TEXT" and dismissed.
- (void)start;
/// Lets go of the run loop's hold on this catcher.
- (void)stop;
@end

#endif  // KELVORY_INSTALLER_ALERTCAPTURE_H_
