#import "KLInstallerSection.h"

#import "ActDlgPaneViews.h"
#include "KLPlatform.h"
#include "KLPlatformCocoa.h"
#import "ValidDlgPaneViews.h"

namespace {

// Loading the plug-in makes the real platform current: critical alerts are the toolkit's
// panels, console lines go to the system log, and the package and applications directories
// are the installer's. The bundle has its own copy of the platform switch, so this is done by
// the bundle itself, as soon as it is loaded.
kl::CocoaPlatform g_platform;
const struct MakeCurrent {
  MakeCurrent() { kl::SetPlatform(&g_platform); }
} g_makeCurrent;

}  // namespace

@implementation KLInstallerSection

- (void)dealloc {
  [klFirstPane release];
  [super dealloc];
}

// Built here rather than in an interface file: whether the installer needs a section's main
// interface file when firstPane answers by itself is not documented (see the README).
- (InstallerPane*)firstPane {
  if (klFirstPane == nil) {
    klFirstPane = KLCreateActivationPane(self);
    ValidDlgPane* validation = KLCreateValidationPane(self);
    [klFirstPane setNextPane:validation];
    [validation release];
  }
  return klFirstPane;
}

@end
