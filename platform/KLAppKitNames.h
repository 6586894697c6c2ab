// AppKit's current names, which the plug-in uses (the older ones are deprecated on macOS 11 and
// later). GNUstep's AppKit here lacks some: there they mean the same older constants.
#ifndef KELVORY_PLATFORM_KLAPPKITNAMES_H_
#define KELVORY_PLATFORM_KLAPPKITNAMES_H_

#import <AppKit/AppKit.h>

#if !defined(__APPLE__)
#define NSButtonTypeRadio NSRadioButton
#define NSMatrixModeRadio NSRadioModeMatrix
#endif

#endif  // KELVORY_PLATFORM_KLAPPKITNAMES_H_
