#include "LeakCheck.h"

#import <InstallerPlugins/InstallerPlugins.h>
#include <objc/runtime.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "KLPluginNames.h"

// GNUstep's per-class instance counts (NSDebug.h hides them when NDEBUG is set).
extern "C" {
BOOL GSDebugAllocationActive(BOOL active);
int GSDebugAllocationCount(Class c);
}

namespace kl::host {
namespace {

int Alive(Class c) { return GSDebugAllocationCount(c); }

}  // namespace

void KLStartCountingObjects() { GSDebugAllocationActive(YES); }

NSArray* KLOurClasses(NSBundle* plugin) {
  NSArray* homes =
      [NSArray arrayWithObjects:plugin, [NSBundle bundleForClass:[InstallerPane class]],
                                [NSBundle mainBundle], nil];
  const int room = objc_getClassList(nullptr, 0);
  Class* all = static_cast<Class*>(std::calloc(room, sizeof(Class)));
  const int count = objc_getClassList(all, room);
  NSMutableArray* ours = [NSMutableArray array];
  for (int i = 0; i < count; ++i) {
    if ([homes containsObject:[NSBundle bundleForClass:all[i]]]) {
      [ours addObject:NSStringFromClass(all[i])];
    }
  }
  std::free(all);
  return [ours sortedArrayUsingSelector:@selector(compare:)];
}

bool KLOurObjectsFreed(NSBundle* plugin) {
  Class validationPane = objc_getClass(kl::plugin_names::kValidationPane);
  for (int i = 0; i < 40 && Alive(validationPane) != 0; ++i) usleep(50000);
  bool freed = true;
  NSArray* ours = KLOurClasses(plugin);
  for (NSUInteger i = 0; i < [ours count]; ++i) {
    NSString* name = [ours objectAtIndex:i];
    const int alive = Alive(NSClassFromString(name));
    if (alive != 0) {
      std::fprintf(stderr, "leak: %d %s still alive\n", alive, [name UTF8String]);
      freed = false;
    }
  }
  return freed;
}

}  // namespace kl::host
