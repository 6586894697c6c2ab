// Linux stand-in for the macOS installer's plug-in framework. Pane sources import this header
// unchanged on both platforms; on macOS the real framework answers the same import.
//
// Only the calls a pane may make are part of the real framework's surface. Everything declared in
// the (KLHost) categories exists here only so that tests and our scripted installer host can
// drive the panes; pane code must never call it, or it would not build on macOS.
#ifndef KELVORY_INSTALLERPLUGINS_INSTALLERPLUGINS_H_
#define KELVORY_INSTALLERPLUGINS_INSTALLERPLUGINS_H_

#import <AppKit/AppKit.h>
#import <InstallerPlugins/InstallerPane.h>
#import <InstallerPlugins/InstallerSection.h>
#import <InstallerPlugins/InstallerState.h>

#endif  // KELVORY_INSTALLERPLUGINS_INSTALLERPLUGINS_H_
