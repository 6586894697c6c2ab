#include "LeakCheck.h"

#import <Foundation/Foundation.h>
#include <unistd.h>

#include <cstdio>

#include "PluginNames.h"

// GNUstep's per-class instance counts (NSDebug.h hides them when NDEBUG is set).
extern "C" {
BOOL GSDebugAllocationActive(BOOL active);
int GSDebugAllocationCount(Class c);
}

namespace {

int Alive(const char* name) {
  return GSDebugAllocationCount(NSClassFromString([NSString stringWithUTF8String:name]));
}

}  // namespace

void KLStartCountingObjects() { GSDebugAllocationActive(YES); }

bool KLPluginObjectsFreed() {
  for (int i = 0; i < 40 && Alive(plugin_names::kValidationPane) != 0; ++i) usleep(50000);
  bool freed = true;
  for (const char* name : plugin_names::kOwnClasses) {
    const int alive = Alive(name);
    if (alive != 0) {
      std::fprintf(stderr, "leak: %d %s still alive\n", alive, name);
      freed = false;
    }
  }
  return freed;
}
