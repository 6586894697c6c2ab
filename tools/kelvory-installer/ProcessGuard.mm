#include "ProcessGuard.h"

#import <AppKit/AppKit.h>
#include <dlfcn.h>
#include <objc/runtime.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>

#include "KLPluginNames.h"
#include "VirtualDisplay.h"

// The toolkit posts a few notices to other applications (a window shown, the application
// launched) through the distributed notification center, and a key window reaches the shared
// pasteboard server. The first use of either starts a daemon (`gdnc`, `gpbs`) and waits for it:
// a daemon that stays after the host, and a hang when it cannot start (a full /tmp). The notices
// go nowhere; the pasteboards are private, except for a person at the window, who may paste a
// key from another application (KLGuardProcess's `sharePasteboard`).
@interface NSDistributedNotificationCenter (KLNoDaemon)
- (void)_connect;
@end

@implementation NSDistributedNotificationCenter (KLNoDaemon)
- (void)_connect {
}
@end

namespace kl::host {
namespace {

// In place of NSPasteboard's +_pbs, which finds (and starts) the pasteboard server.
id NoPasteboardServer(id, SEL) { return nil; }

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
  g_terminateTools = reinterpret_cast<void (*)()>(dlsym(handle, kl::plugin_names::kTerminateTools));
  dlclose(handle);  // only drops the reference taken here
  if (g_terminateTools == nullptr) {
    std::fprintf(stderr, "warning: the plug-in has no %s\n", kl::plugin_names::kTerminateTools);
    return;
  }
  static bool registered = false;
  if (!registered) registered = atexit(EndWhatWeStarted) == 0;
}

void KLGuardProcess(bool sharePasteboard) {
  if (!sharePasteboard) {
    Method server = class_getClassMethod([NSPasteboard class], @selector(_pbs));
    if (server != NULL) method_setImplementation(server, reinterpret_cast<IMP>(NoPasteboardServer));
  }
  NSSetUncaughtExceptionHandler(&OnUncaughtException);
  struct sigaction action = {};
  action.sa_handler = OnTerminatingSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace kl::host
