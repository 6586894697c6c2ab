// In scripted and headless runs an alert is written to the transcript and closed with the
// Return key, as a person would: the plug-in still shows it through the toolkit's real critical
// panel, which is found here while it runs modally.
#ifndef KELVORY_TOOLS_KELVORY_INSTALLER_ALERTCAPTURE_H_
#define KELVORY_TOOLS_KELVORY_INSTALLER_ALERTCAPTURE_H_

#import <AppKit/AppKit.h>

@interface KLAlertCatcher : NSObject {
  NSTimer* timer;     // held by the run loop; it holds this catcher until invalidated
  NSWindow* handled;  // the panel Return was pressed in (not retained; only compared)
  NSDate* pressedAt;
}
/// From now on, every modal panel is written as "alert: TEXT" and closed with Return. A panel
/// whose buttons are not exactly one default "OK" also gets "alert buttons: ..." (each title,
/// the default one marked "(default)"); one that Return does not close within 5 s gets "alert:
/// Return did not close it" and is ended.
- (void)start;
/// Lets go of the run loop's hold on this catcher.
- (void)stop;
@end

#endif  // KELVORY_TOOLS_KELVORY_INSTALLER_ALERTCAPTURE_H_
