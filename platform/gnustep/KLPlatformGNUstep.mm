// The platform's answers on GNUstep, under the stand-in installer.
#include "KLPlatformCocoa.h"

#import <AppKit/AppKit.h>
#import <InstallerHost/InstallerHost.h>

#include "KLStringBridge.h"

namespace kl {

void CocoaPlatform::ShowCriticalAlert(const std::string& message) {
  // The message is an argument, never the format: it may hold '%'. GNUstep shows no button at
  // all when none is named, where macOS gives the default "OK" itself: name it.
  NSRunCriticalAlertPanel(nil, @"%@", @"OK", nil, nil, KLNSString(message));
}

// "%s": the line is written byte for byte, whatever its encoding.
void CocoaPlatform::ConsoleLog(const std::string& line) { NSLog(@"%s", line.c_str()); }

// GNUstep has no CFAbsoluteTimeGetCurrent; this counts from the same date.
double CocoaPlatform::AbsoluteTime() { return [NSDate timeIntervalSinceReferenceDate]; }

std::string CocoaPlatform::PackagePath() { return KLStdString([InstallerSection hostPackagePath]); }

std::vector<std::string> CocoaPlatform::ApplicationDirectories() {
  return KLSystemApplicationDirectories();
}

}  // namespace kl
