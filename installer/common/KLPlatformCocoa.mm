#include "KLPlatformCocoa.h"

#import <AppKit/AppKit.h>
#if defined(GNUSTEP)
#import <InstallerPlugins/InstallerPlugins.h>
#else
#import <CoreFoundation/CoreFoundation.h>
#endif

#include "KLStringBridge.h"

namespace kl {

void CocoaPlatform::ShowCriticalAlert(const std::string& message) {
  // The message is an argument, never the format: it may hold '%'.
  NSRunCriticalAlertPanel(nil, @"%@", nil, nil, nil, KLNSString(message));
}

// "%s": the line is written byte for byte, whatever its encoding.
void CocoaPlatform::ConsoleLog(const std::string& line) { NSLog(@"%s", line.c_str()); }

double CocoaPlatform::AbsoluteTime() {
#if defined(GNUSTEP)
  return [NSDate timeIntervalSinceReferenceDate];
#else
  return CFAbsoluteTimeGetCurrent();
#endif
}

std::string CocoaPlatform::PackagePath() {
#if defined(GNUSTEP)
  return KLStdString([InstallerSection hostPackagePath]);
#else
  NSURL* url = [[[NSApp currentEvent] window] representedURL];
  return url != nil ? KLStdString([url path]) : std::string();
#endif
}

std::vector<std::string> CocoaPlatform::ApplicationDirectories() {
  NSArray* list =
      NSSearchPathForDirectoriesInDomains(NSApplicationDirectory, NSSystemDomainMask, YES);
  std::vector<std::string> result;
  for (NSUInteger i = 0; i < [list count]; ++i) {
    result.push_back(KLStdString([list objectAtIndex:i]));
  }
  return result;
}

}  // namespace kl
