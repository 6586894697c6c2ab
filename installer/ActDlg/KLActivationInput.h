// The activation pane's input as plain values: what a pre-fill puts into it, and the checks and
// hand-off when the pane is left going forward. The pane and the headless activation program
// both go through here, so they refuse the same input with the same messages and hand on the
// same record.
#ifndef KELVORY_INSTALLER_ACTDLG_KLACTIVATIONINPUT_H_
#define KELVORY_INSTALLER_ACTDLG_KLACTIVATIONINPUT_H_

#import <Foundation/Foundation.h>

#include <string>

@class KLTextDataProvider;

/// The values of the pane's controls. Texts are never nil.
struct KLActivationInput {
  int activationOption = 0;  ///< 0 the key form; any other value the customer form
  NSString* activationKey = @"";
  NSString* customerName = @"";
  NSString* customerId = @"";
  NSString* serverURL = @"";
  BOOL https = NO;         ///< the protocol group's column is not 0
  NSString* port = @"80";  ///< the port field as typed
  int proxyOption = 0;     ///< 1: a proxy is used
  NSString* proxy = @"";
};

/// Why the checks refused, and which field is at fault.
struct KLActivationRefusal {
  std::string message;  ///< the alert text
  std::string field;    ///< "activationKey", "customerName", "customerId", "serverURL", "port"
                        ///< or "proxy"
};

/// What a pre-fill record puts into the controls: the key form when it holds a key, else the
/// customer form with its ID and name when it holds both; its server URL when it has one; its
/// protocol; its port as a decimal text; its proxy, and the proxy option, when it has one.
void KLApplyPrefill(KLTextDataProvider* record, KLActivationInput* input);

#if defined(__clang__)
#define KL_RETURNS_RETAINED __attribute__((ns_returns_retained))
#else
#define KL_RETURNS_RETAINED
#endif

/// The checks of a forward exit, in their fixed order. Returns a new record to hand on, owned
/// by the caller (like +alloc/-init, so that a record it replaces is freed at once), or nil
/// with the first refusal. Shows nothing and has no other effect (the key's host names may be
/// looked up).
KLTextDataProvider* KLCreateCheckedRecord(const KLActivationInput& input,
                                          KLActivationRefusal* refusal) KL_RETURNS_RETAINED;

/// True when `text` is an optionally signed decimal integer with only white space (the C
/// locale's set) around it; the value may exceed 32 bits.
BOOL isinteger(NSString* text);

#endif  // KELVORY_INSTALLER_ACTDLG_KLACTIVATIONINPUT_H_
