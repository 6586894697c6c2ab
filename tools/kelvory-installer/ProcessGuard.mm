#include "ProcessGuard.h"

#import <AppKit/AppKit.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>

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

void EndWhatWeStarted() { StopVirtualDisplay(); }

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

void KLGuardProcess() {
  NSSetUncaughtExceptionHandler(&OnUncaughtException);
  struct sigaction action = {};
  action.sa_handler = OnTerminatingSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}
