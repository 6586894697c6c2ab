#import "ActDlgPane.h"

#include <string>

#import "KLActivationInput.h"
#import "KLActivationSource.h"
#import "KLPaneText.h"
#include "KLPlatform.h"
#include "KLStringBridge.h"
#import "KLTextDataProvider.h"

namespace {

// The checks word their refusals in English (the headless tool shows them too): the pane shows
// them in its language.
void Alert(NSBundle* bundle, const std::string& message) {
  kl::CurrentPlatform().ShowCriticalAlert(KLPaneAlertText(bundle, message));
}

}  // namespace

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
  return KLPaneText([[self section] bundle], @"activation.title", @"Activation");
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
  // The Installer focuses this view on every entry, Go Back included: a field of the form shown.
  [self setInitialKeyView:(m_iActivationOption == 1 ? klCustomerNameField : klActivationKeyField)];
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

// The controls' values.
- (KLActivationInput)input {
  KLActivationInput input;
  input.activationOption = m_iActivationOption;
  input.activationKey = [klActivationKeyField stringValue];
  input.customerName = [klCustomerNameField stringValue];
  input.customerId = [klCustomerIdField stringValue];
  input.serverURL = [klServerURLField stringValue];
  input.https = [klProtocolMatrix selectedColumn] != 0;
  input.port = [klServerPortField stringValue];
  input.proxyOption = m_iProxyOption;
  input.proxy = [klProxyField stringValue];
  return input;
}

// Puts the pre-fill into the controls, switching forms and the proxy as a click would.
- (void)fillFromRecord:(KLTextDataProvider*)record {
  KLActivationInput input = [self input];
  KLApplyPrefill(record, &input);
  [klActivationKeyField setStringValue:input.activationKey];
  [klCustomerIdField setStringValue:input.customerId];
  [klCustomerNameField setStringValue:input.customerName];
  [klActivationMatrix setState:1
                         atRow:input.activationOption
                        column:[klActivationMatrix selectedColumn]];
  [self switchActivationMessage:klActivationMatrix];
  [klServerURLField setStringValue:input.serverURL];
  [klProtocolMatrix setState:1 atRow:[klProtocolMatrix selectedRow] column:(input.https ? 1 : 0)];
  [klServerPortField setStringValue:input.port];
  [klProxyField setStringValue:input.proxy];
  [klProxyMatrix setState:1 atRow:input.proxyOption column:[klProxyMatrix selectedColumn]];
  [self switchProxyMessage:klProxyMatrix];
}

- (void)willEnterPane:(InstallerSectionDirection)dir {
  if (dir != InstallerDirectionForward) {
    [[self contentView] setHidden:NO];
    return;
  }
  KLTextDataProvider* record = nil;
  if (!m_bPaneAlreadyInited) {
    m_bPaneAlreadyInited = YES;
    // A managed Mac's profile first (our choice: on recent macOS the package's folder may be out
    // of the plug-in's reach), then the file beside the package, as kelvory-activate reads them.
    KLSourceRequest request;
    request.managedPreferences = true;
    request.packagePath = kl::CurrentPlatform().PackagePath();
    request.besidePackage = true;
    request.prefillLog = KLPrefillLog::kPane;
    request.stopAtManagedData = true;
    // Only a record that holds activation data is chosen: nil means the user is asked.
    record = KLChooseActivationSource(request).record;
  }
  if (record == nil) {
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

- (BOOL)shouldExitPane:(InstallerSectionDirection)dir {
  if (dir != InstallerDirectionForward) return YES;
  KLActivationRefusal refusal;
  KLTextDataProvider* record = KLCreateCheckedRecord([self input], &refusal);
  if (record == nil) {
    Alert([[self section] bundle], refusal.message);
    return NO;
  }
  [[[self section] sharedDictionary] setValue:record forKey:kl::kActivationPaneDataKey];
  [record release];
  return YES;
}

@end
