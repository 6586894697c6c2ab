// The platform's answers on macOS, inside the system's installer. Not compiled on Linux: kept to
// the few system calls each answer needs, and reviewed line by line.
#include "KLPlatformCocoa.h"

#import <AppKit/AppKit.h>
#import <CoreFoundation/CoreFoundation.h>
#include <os/log.h>

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

// The unified log rather than NSLog: under a subsystem and a category an administrator can filter
// (log show --predicate 'subsystem == "com.kelvory.activation"'). The text is the same; public,
// or the log would show the line as <private>.
void CocoaPlatform::ConsoleLog(ConsoleCategory category, const std::string& line) {
  static os_log_t const activation = os_log_create("com.kelvory.activation", "activation");
  static os_log_t const validation = os_log_create("com.kelvory.activation", "validation");
  static os_log_t const plugin = os_log_create("com.kelvory.activation", "plug-in");
  os_log_t log = category == ConsoleCategory::kActivation   ? activation
                 : category == ConsoleCategory::kValidation ? validation
                                                            : plugin;
  os_log(log, "%{public}s", line.c_str());
}

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

void CocoaPlatform::SetAccessibilityText(void* view, AccessibilityText kind,
                                         const std::string& text, void* caption) {
  NSView* control = (NSView*)view;
  if (kind == AccessibilityText::kTitle) {
    // The caption tied to its field, so VoiceOver reads it when the field has the focus.
    [control setAccessibilityTitle:KLNSString(text)];
    if (caption != nullptr) [control setAccessibilityTitleUIElement:(id)caption];
  } else {
    [control setAccessibilityLabel:KLNSString(text)];
  }
}

void CocoaPlatform::AnnounceAccessibility(void* view, const std::string& text) {
  NSDictionary* info = [NSDictionary
      dictionaryWithObjectsAndKeys:KLNSString(text), NSAccessibilityAnnouncementKey,
                                   [NSNumber numberWithInteger:NSAccessibilityPriorityHigh],
                                   NSAccessibilityPriorityKey, nil];
  NSAccessibilityPostNotificationWithUserInfo(
      (id)view, NSAccessibilityAnnouncementRequestedNotification, info);
}

}  // namespace kl
