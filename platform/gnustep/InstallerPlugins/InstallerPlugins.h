// Linux twin of the macOS installer's plug-in framework: its public API as Apple documents it,
// same names, types and meaning, and nothing more. Plug-in sources import this header unchanged
// on both platforms; on macOS the real framework answers the same import.
//
// What only the stand-in installer (our host and the tests) needs lives in
// <InstallerHost/InstallerHost.h>, which no plug-in source may include: a build check compiles
// the plug-in with these headers alone.
#ifndef KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_INSTALLERPLUGINS_H_
#define KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_INSTALLERPLUGINS_H_

#import <AppKit/AppKit.h>
#import <InstallerPlugins/InstallerPane.h>
#import <InstallerPlugins/InstallerSection.h>
#import <InstallerPlugins/InstallerState.h>

#endif  // KELVORY_PLATFORM_GNUSTEP_INSTALLERPLUGINS_INSTALLERPLUGINS_H_
