#import "KLPaneText.h"

#include <cstdio>

#include "KLStringBridge.h"
#include "KLToolExitCodes.h"

NSString* KLPaneText(NSBundle* bundle, NSString* key, NSString* english) {
  if (bundle == nil) return english;
  NSString* text = [bundle localizedStringForKey:key value:english table:nil];
  return text != nil ? text : english;
}

const std::vector<KLPaneAlert>& KLPaneAlerts() {
  static const std::vector<KLPaneAlert>* const alerts = [] {
    auto* rows = new std::vector<KLPaneAlert>{
        // The activation checks.
        {"alert.activationKey.empty", "Activation key can not be empty"},
        {"alert.activationKey.format", "Invalid activation key format"},
        {"alert.activationKey.agentType", "Activation key is invalid for this agent type"},
        {"alert.activationKey.checksum", "LRC checksum test failed"},
        {"alert.activationKey.applianceId", "Unknown error"},
        {"alert.activationKey.ascii", "Activation key can only contain ASCII characters"},
        {"alert.customerName.empty", "Customer name can not be empty"},
        {"alert.customerId.empty", "Customer ID can not be empty"},
        {"alert.customerId.format", "Invalid customer ID format"},
        {"alert.customerId.ascii", "Customer ID can only contain ASCII characters"},
        {"alert.serverURL.empty", "Server URL can not be empty"},
        {"alert.serverURL.ascii", "Server URL can only contain ASCII characters"},
        {"alert.serverURL.whiteSpace",
         "Server URL can not contain white space or control characters"},
        {"alert.port.empty", "Port can not be empty"},
        {"alert.port.format", "Invalid port format"},
        {"alert.port.range", "Port is out of range"},
        {"alert.proxy.ascii", "Proxy can only contain ASCII characters"},
        {"alert.proxy.whiteSpace", "Proxy can not contain white space or control characters"},
        // The validation: the tool's launch, the configuration, the destination, the pane.
        {"alert.launch.failed", "Launch script failed"},
        {"alert.launch.unexpectedCode", "Launch script returned unexpected error code: %@"},
        {"alert.configuration.cannotLoad", "Error loading configuration file"},
        {"alert.destination.none", "Please go back and select destination first"},
        {"alert.destination.ascii", "Destination volume path can only contain ASCII characters"},
        {"alert.destination.controlCharacters",
         "Destination volume path can not contain control characters"},
        {"alert.validation.noActivationData",
         "No activation data was found. Please go back and enter the activation data."},
    };
    // The tool's messages by exit code; 0 shows none.
    for (int code = 1; code < kl::kToolExitCodeCount; ++code) {
      char key[32];
      std::snprintf(key, sizeof key, "tool.exit.%d", code);
      rows->push_back({key, kl::kToolExitCodeTexts[code].message});
    }
    return rows;
  }();
  return *alerts;
}

std::string KLPaneAlertText(NSBundle* bundle, const std::string& english) {
  for (const KLPaneAlert& alert : KLPaneAlerts()) {
    const size_t number = alert.english.find("%@");
    if (number == std::string::npos) {
      if (alert.english != english) continue;
      return KLStdString(KLPaneText(bundle, KLNSString(alert.key), KLNSString(english)));
    }
    // A text that carries a number: the English before it, then the number alone.
    const std::string prefix = alert.english.substr(0, number);
    if (english.size() <= prefix.size() || english.compare(0, prefix.size(), prefix) != 0) {
      continue;
    }
    const std::string value = english.substr(prefix.size());
    if (value.find_first_not_of("-0123456789") != std::string::npos) continue;
    NSString* format = KLPaneText(bundle, KLNSString(alert.key), KLNSString(alert.english));
    // The table's text is never the format itself: its "%@" is replaced, nothing else read.
    NSString* text = [format stringByReplacingOccurrencesOfString:@"%@"
                                                       withString:KLNSString(value)];
    return KLStdString(text);
  }
  return english;
}

KLScopedPaneAlerts::KLScopedPaneAlerts(NSBundle* bundle)
    : bundle_([bundle retain]), inner_(&kl::CurrentPlatform()), previous_(kl::SetPlatform(this)) {}

KLScopedPaneAlerts::~KLScopedPaneAlerts() {
  kl::SetPlatform(previous_);
  [bundle_ release];
}

void KLScopedPaneAlerts::ShowCriticalAlert(const std::string& message) {
  inner_->ShowCriticalAlert(KLPaneAlertText(bundle_, message));
}
void KLScopedPaneAlerts::ConsoleLog(kl::ConsoleCategory category, const std::string& line) {
  inner_->ConsoleLog(category, line);
}
double KLScopedPaneAlerts::AbsoluteTime() { return inner_->AbsoluteTime(); }
std::string KLScopedPaneAlerts::PackagePath() { return inner_->PackagePath(); }
std::vector<std::string> KLScopedPaneAlerts::ApplicationDirectories() {
  return inner_->ApplicationDirectories();
}
bool KLScopedPaneAlerts::ResolveHostName(const std::string& name) {
  return inner_->ResolveHostName(name);
}
std::string KLScopedPaneAlerts::ManagedPreferences(const std::string& domain,
                                                   const std::vector<std::string>& keys) {
  return inner_->ManagedPreferences(domain, keys);
}
void KLScopedPaneAlerts::SetAccessibilityText(void* view, kl::AccessibilityText kind,
                                              const std::string& text, void* caption) {
  inner_->SetAccessibilityText(view, kind, text, caption);
}
void KLScopedPaneAlerts::AnnounceAccessibility(void* view, const std::string& text) {
  inner_->AnnounceAccessibility(view, text);
}
