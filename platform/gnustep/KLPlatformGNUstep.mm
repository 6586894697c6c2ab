// The platform's answers on GNUstep, under the stand-in installer.
#include "KLPlatformCocoa.h"

#import <AppKit/AppKit.h>

#include <cstdio>
#include <cstdlib>

#include "KLInstallLog.h"
#include "KLStandInChannel.h"
#include "KLStringBridge.h"
#include "KLSystemDirectories.h"

namespace kl {

void CocoaPlatform::ShowCriticalAlert(const std::string& message) {
  // The message is an argument, never the format: it may hold '%'. GNUstep shows no button at
  // all when none is named, where macOS gives the default "OK" itself: name it.
  NSRunCriticalAlertPanel(nil, @"%@", @"OK", nil, nil, KLNSString(message));
}

// "%s": the line is written byte for byte, whatever its encoding. GNUstep's log has no categories.
void CocoaPlatform::ConsoleLog(ConsoleCategory, const std::string& line) {
  NSLog(@"%s", line.c_str());
}

// GNUstep has no CFAbsoluteTimeGetCurrent; this counts from the same date.
double CocoaPlatform::AbsoluteTime() { return [NSDate timeIntervalSinceReferenceDate]; }

std::string CocoaPlatform::PackagePath() { return KLStdString(KLStandInPackagePath()); }

std::vector<std::string> CocoaPlatform::ApplicationDirectories() {
  return KLSystemApplicationDirectories();
}

// The stand-in's profile: the file's bytes, read as the sources read any property list. Opened
// once without blocking: what is no regular file there (a FIFO, a device) is no profile. A file
// over 1 MiB is handed on as 1 MiB and one byte, which the sources then call too large.
std::string CocoaPlatform::ManagedPreferences(const std::string&, const std::vector<std::string>&) {
  const char* path = std::getenv(kStandInManagedPreferences);
  if (path == nullptr || *path == '\0') return std::string();
  constexpr long long kMost = 1024 * 1024;
  FileRead read = ReadRegularFile(path, kMost);
  if (read.status == FileReadStatus::kTooLarge) return std::string(kMost + 1, '\0');
  return read.status == FileReadStatus::kRead ? read.bytes : std::string();
}

// GNUstep's views have no accessibility setters and there is no screen reader to tell: the pane
// tests check what the panes ask for through the recording platform instead.
void CocoaPlatform::SetAccessibilityText(void*, AccessibilityText, const std::string&, void*) {}

void CocoaPlatform::AnnounceAccessibility(void*, const std::string&) {}

}  // namespace kl
