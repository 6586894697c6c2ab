// The platform's answers on macOS, inside the system's installer. Not compiled on Linux: kept to
// the few system calls each answer needs, and reviewed line by line.
#include "KLPlatformCocoa.h"

#import <AppKit/AppKit.h>
#import <CoreFoundation/CoreFoundation.h>

#include "KLStringBridge.h"
#include "KLSystemDirectories.h"

namespace kl {

void CocoaPlatform::ShowCriticalAlert(const std::string& message) {
  // The message is an argument, never the format: it may hold '%'. With no button names macOS
  // shows one default "OK" button. The call is deprecated, but it is the one that shows exactly
  // this panel: a critical alert with no title.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
  NSRunCriticalAlertPanel(nil, @"%@", nil, nil, nil, KLNSString(message));
#pragma clang diagnostic pop
}

// "%s": the line is written byte for byte, whatever its encoding.
void CocoaPlatform::ConsoleLog(const std::string& line) { NSLog(@"%s", line.c_str()); }

double CocoaPlatform::AbsoluteTime() { return CFAbsoluteTimeGetCurrent(); }

std::string CocoaPlatform::PackagePath() {
  NSURL* url = [[[NSApp currentEvent] window] representedURL];
  return url != nil ? KLStdString([url path]) : std::string();
}

std::vector<std::string> CocoaPlatform::ApplicationDirectories() {
  return KLSystemApplicationDirectories();
}

std::string CocoaPlatform::ManagedPreferences(const std::string& domain,
                                              const std::vector<std::string>& keys) {
  return SystemManagedPreferences(domain, keys);
}

}  // namespace kl
