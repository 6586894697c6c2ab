#import "ActDlgPane.h"

#include <string>
#include <vector>

#include "KLHelper.h"
#include "KLInstallLog.h"
#include "KLKeyDecoder.h"
#include "KLPlatform.h"
#include "KLStringBridge.h"
#import "KLTextDataProvider.h"

NSString* const kActivationPaneDataKey = @"ActivationPaneData";

namespace {

// Fixed buffer sizes of the copied texts (the kept text is one byte shorter).
constexpr size_t kKeyBuffer = 256;
constexpr size_t kNameBuffer = 1024;
constexpr size_t kIdBuffer = 256;
constexpr size_t kServerBuffer = 256;
constexpr size_t kProxyBuffer = 100;

void Alert(NSString* message) { kl::CurrentPlatform().ShowCriticalAlert(KLStdString(message)); }

// The ASCII copy of a field; NO after an alert naming the field when it has no ASCII form.
BOOL CopyASCIIField(NSTextField* field, size_t buffer, NSString* fieldName, std::string* out) {
  if (KLCopyASCII([field stringValue], buffer, out)) return YES;
  Alert([NSString stringWithFormat:@"%@ can only contain ASCII characters", fieldName]);
  return NO;
}

std::string Trimmed(std::string text) {
  KLHelper::TrimSpace(text);
  return text;
}

}  // namespace

BOOL isinteger(NSString* text) {
  const std::string bytes = KLStdString(text);
  const KLHelper::ScannedInt scan = KLHelper::ScanInt32(bytes);
  if (!scan.hasDigits) return NO;
  for (size_t i = scan.end; i < bytes.size(); ++i) {
    if (!KLHelper::IsCSpace(bytes[i])) return NO;
  }
  return YES;
}

@implementation ActDlgPane

- (void)dealloc {
  [klActivationMatrix release];
  [klActivationKeyField release];
  [klCustomerIdField release];
  [klCustomerNameField release];
  [klServerURLField release];
  [klProtocolMatrix release];
  [klServerPortField release];
  [klProxyMatrix release];
  [klProxyField release];
  [klProxyLabel release];
  [klPlaceholderView release];
  [klActivateByKeyView release];
  [klActivateByCustomerInfoView release];
  [super dealloc];
}

- (NSString*)title {
  return @"Activation";
}

- (void)awakeFromNib {
  [klPlaceholderView addSubview:klActivateByKeyView];
  [klPlaceholderView addSubview:klActivateByCustomerInfoView];
  [klActivateByKeyView setHidden:NO];
  [klActivateByCustomerInfoView setHidden:YES];
}

- (IBAction)switchActivationMessage:(id)sender {
  m_iActivationOption = (int)[sender selectedRow];
  if (m_iActivationOption == 1) {
    [klActivateByCustomerInfoView setHidden:NO];
    [klActivateByKeyView setHidden:YES];
  } else if (m_iActivationOption == 0) {
    [klActivateByKeyView setHidden:NO];
    [klActivateByCustomerInfoView setHidden:YES];
  }
}

- (IBAction)switchProtocolMessage:(id)sender {
  [klServerPortField setStringValue:([sender selectedColumn] == 0 ? @"80" : @"443")];
}

- (IBAction)switchProxyMessage:(id)sender {
  const BOOL show = [sender selectedRow] != 0;
  [klProxyField setHidden:!show];
  [klProxyLabel setHidden:!show];
  m_iProxyOption = (int)[sender selectedRow];
}

// The pre-fill record beside the package (autoreleased), or nil; logs either way.
- (KLTextDataProvider*)readPrefill {
  NSString* path = nil;
  const std::string package = kl::CurrentPlatform().PackagePath();
  if (!package.empty()) {
    path = [[KLNSString(package) stringByDeletingLastPathComponent]
        stringByAppendingPathComponent:@"InstallationData.xml"];
  }
  BOOL isDirectory = NO;
  if (path != nil &&
      [[NSFileManager defaultManager] fileExistsAtPath:path isDirectory:&isDirectory] &&
      !isDirectory) {
    KLTextDataProvider* record = [[[KLTextDataProvider alloc] initWithXmlFile:path] autorelease];
    LogInstallerMessage(KLStdString(path) + " has been found\n", "");
    return record;
  }
  LogInstallerMessage("InstallationData.xml was not found",
                      "User will be prompted for Activation parameters");
  return nil;
}

- (void)fillFromRecord:(KLTextDataProvider*)record {
  if ([[record activationKey] length] != 0) {
    [klActivationKeyField setStringValue:[record activationKey]];
    m_iActivationOption = 0;
  } else if ([[record customerId] length] != 0 && [[record customerName] length] != 0) {
    [klCustomerIdField setStringValue:[record customerId]];
    [klCustomerNameField setStringValue:[record customerName]];
    m_iActivationOption = 1;
  }
  [klActivationMatrix setState:1
                         atRow:m_iActivationOption
                        column:[klActivationMatrix selectedColumn]];
  [self switchActivationMessage:klActivationMatrix];

  if ([[record serverURL] length] != 0) [klServerURLField setStringValue:[record serverURL]];
  // The port is not reset to the protocol's default here: the file's port stands.
  [klProtocolMatrix setState:1
                       atRow:[klProtocolMatrix selectedRow]
                      column:([record isHTTPS] ? 1 : 0)];
  [klServerPortField
      setStringValue:[NSString stringWithFormat:@"%lld", (long long)[record serverPort]]];

  if ([[record proxyServer] length] != 0) {
    [klProxyField setStringValue:[record proxyServer]];
    [klProxyMatrix setState:1 atRow:1 column:[klProxyMatrix selectedColumn]];
    [self switchProxyMessage:klProxyMatrix];
  }
}

- (void)willEnterPane:(InstallerSectionDirection)dir {
  if (dir != InstallerDirectionForward) {
    [[self contentView] setHidden:NO];
    return;
  }
  KLTextDataProvider* record = nil;
  if (!m_bPaneAlreadyInited) {
    m_bPaneAlreadyInited = YES;
    record = [self readPrefill];
  }
  if (record == nil || ![record containData]) {
    [[self contentView] setHidden:NO];
    return;
  }
  [self fillFromRecord:record];
  if (![self shouldExitPane:InstallerDirectionForward]) return;
  [[self contentView] setHidden:YES];
  if (![self gotoNextPane]) {
    // Raised through the handler, not NSAssert, so that it holds where assertions are off.
    [[NSAssertionHandler currentHandler]
        handleFailureInMethod:_cmd
                       object:self
                         file:[[NSString stringWithUTF8String:__FILE__] lastPathComponent]
                   lineNumber:__LINE__
                  description:@"No End Pane"];
  }
}

- (void)didEnterPane:(InstallerSectionDirection)dir {
  (void)dir;
}

// Key form: the key as typed (untrimmed) and its first endpoint.
- (BOOL)keyFormKey:(std::string*)key
         serverURL:(std::string*)serverURL
          protocol:(std::string*)protocol
              port:(int32_t*)port
       applianceId:(int32_t*)applianceId {
  if (!CopyASCIIField(klActivationKeyField, kKeyBuffer, @"Activation key", key)) return NO;
  if (key->empty()) {
    Alert(@"Activation key can not be empty");
    return NO;
  }
  std::vector<KLEndPoint> endpoints;
  const int32_t decodedId = keydecode(key->c_str(), endpoints);
  if (decodedId == -1) return NO;  // keydecode has shown why
  *serverURL = Trimmed(endpoints[0].host);
  *protocol = Trimmed(endpoints[0].protocol);
  *port = endpoints[0].port;
  *applianceId = decodedId;
  return YES;
}

// Customer form, checks in their fixed order; only the first failure is shown.
- (BOOL)customerFormName:(std::string*)name
              customerId:(std::string*)customerId
               serverURL:(std::string*)serverURL
                protocol:(std::string*)protocol
                    port:(int32_t*)port {
  if ([[klCustomerNameField stringValue] length] == 0) {
    Alert(@"Customer name can not be empty");
    return NO;
  }
  if ([[klCustomerIdField stringValue] length] == 0) {
    Alert(@"Customer ID can not be empty");
    return NO;
  }
  *name = Trimmed(KLCopyUTF8([klCustomerNameField stringValue], kNameBuffer));
  if (!isinteger([klCustomerIdField stringValue])) {
    Alert(@"Invalid customer ID format");
    return NO;
  }
  if (!CopyASCIIField(klCustomerIdField, kIdBuffer, @"Customer ID", customerId)) return NO;
  KLHelper::TrimSpace(*customerId);
  if ([[klServerURLField stringValue] length] == 0) {
    Alert(@"Server URL can not be empty");
    return NO;
  }
  if (!CopyASCIIField(klServerURLField, kServerBuffer, @"Server URL", serverURL)) return NO;
  KLHelper::TrimSpace(*serverURL);
  NSString* portText = [klServerPortField stringValue];
  if ([portText length] == 0) {
    Alert(@"Port can not be empty");
    return NO;
  }
  if (!isinteger(portText)) {
    Alert(@"Invalid port format");
    return NO;
  }
  *port = KLHelper::ScanInt32(KLStdString(portText)).value;
  if (static_cast<uint32_t>(*port) >= 65537u) {
    Alert(@"Port is out of range");
    return NO;
  }
  *protocol = [klProtocolMatrix selectedColumn] != 0 ? "https" : "http";
  return YES;
}

- (BOOL)shouldExitPane:(InstallerSectionDirection)dir {
  if (dir != InstallerDirectionForward) return YES;

  std::string key, serverURL, protocol, proxy, customerName, customerId;
  int32_t port = 0;
  int32_t applianceId = 0;
  const BOOL checked = m_iActivationOption == 0 ? [self keyFormKey:&key
                                                         serverURL:&serverURL
                                                          protocol:&protocol
                                                              port:&port
                                                       applianceId:&applianceId]
                                                : [self customerFormName:&customerName
                                                              customerId:&customerId
                                                               serverURL:&serverURL
                                                                protocol:&protocol
                                                                    port:&port];
  if (!checked) return NO;

  if (m_iProxyOption == 1) {
    if (!CopyASCIIField(klProxyField, kProxyBuffer, @"Proxy", &proxy)) return NO;
    KLHelper::TrimSpace(proxy);
  }

  KLTextDataProvider* record = [[KLTextDataProvider alloc] initWithKey:KLNSString(key)
                                                             serverURL:KLNSString(serverURL)
                                                                  port:(int64_t)port
                                                              isSecure:(protocol == "https")
                                                                 proxy:KLNSString(proxy)
                                                          customerName:KLNSString(customerName)
                                                            customerId:KLNSString(customerId)
                                                           applianceId:(int64_t)applianceId];
  [[[self section] sharedDictionary] setValue:record forKey:kActivationPaneDataKey];
  [record release];
  return YES;
}

@end
