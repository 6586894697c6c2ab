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

#if defined(GNUSTEP)
// The stand-in host has no interface files to load the panes from: they are built in code.
- (id)initWithBundle:(NSBundle*)bundle {
  self = [super initWithBundle:bundle];
  if (self != nil) {
    ActDlgPane* activation = KLCreateActivationPane(self);
    [self addPane:activation];
    [activation release];
    ValidDlgPane* validation = KLCreateValidationPane(self);
    [self addPane:validation];
    [validation release];
  }
  return self;
}
#endif

@end
