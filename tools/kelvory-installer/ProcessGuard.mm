#include "ProcessGuard.h"

#import <AppKit/AppKit.h>
#include <dlfcn.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>

#include "PluginNames.h"
#include "VirtualDisplay.h"

// The toolkit posts a few notices to other applications (a window shown, the application
// launched) through the distributed notification center, and a key window reaches the shared
// pasteboard server. The first use of either starts a daemon (`gdnc`, `gpbs`) and waits for it:
// a daemon that stays after the host, and a hang when it cannot start (a full /tmp). The host
// shares nothing with other applications, so neither is ever reached: the notices go nowhere,
// the pasteboards are private, and nothing is started.
@interface NSDistributedNotificationCenter (KLNoDaemon)
- (void)_connect;
@end

@implementation NSDistributedNotificationCenter (KLNoDaemon)
- (void)_connect {
}
@end

@interface NSPasteboard (KLNoDaemon)
+ (id)_pbs;
@end

@implementation NSPasteboard (KLNoDaemon)
+ (id)_pbs {
  return nil;
}
@end

namespace {

// Looked up once, outside any signal handler; async-signal-safe itself.
void (*volatile g_terminateTools)() = nullptr;

void EndWhatWeStarted() {
  if (g_terminateTools != nullptr) g_terminateTools();
  StopVirtualDisplay();
}

void OnTerminatingSignal(int signal) {
  EndWhatWeStarted();
  ::signal(signal, SIG_DFL);
  raise(signal);
}

void OnUncaughtException(NSException* exception) {
  std::fprintf(stderr, "error: uncaught exception %s: %s\n", [[exception name] UTF8String],
               [[exception reason] UTF8String]);
  std::exit(1);
}

}  // namespace

void KLTakeToolsAlong(NSBundle* bundle) {
  void* handle =
      dlopen([[bundle executablePath] fileSystemRepresentation], RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return;
  g_terminateTools = reinterpret_cast<void (*)()>(dlsym(handle, plugin_names::kTerminateTools));
  dlclose(handle);  // only drops the reference taken here
  if (g_terminateTools == nullptr) {
    std::fprintf(stderr, "warning: the plug-in has no %s\n", plugin_names::kTerminateTools);
    return;
  }
  static bool registered = false;
  if (!registered) registered = atexit(EndWhatWeStarted) == 0;
}

void KLGuardProcess() {
  NSSetUncaughtExceptionHandler(&OnUncaughtException);
  struct sigaction action = {};
  action.sa_handler = OnTerminatingSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}
