// The activation pane: the user gives an activation key, or the customer's name and ID with the
// server's address, protocol and port, and optionally a proxy. On its first forward entry it
// fills itself from InstallationData.xml beside the package and, when that data checks out,
// passes on by itself.
#ifndef KELVORY_INSTALLER_ACTDLG_ACTDLGPANE_H_
#define KELVORY_INSTALLER_ACTDLG_ACTDLGPANE_H_

#import <AppKit/AppKit.h>
#import <InstallerPlugins/InstallerPlugins.h>

#import "KLActivationInput.h"  // isinteger

@interface ActDlgPane : InstallerPane {
  IBOutlet NSMatrix* klActivationMatrix;  // row 0 the key form, row 1 customer information
  IBOutlet NSTextField* klActivationKeyField;
  IBOutlet NSTextField* klCustomerIdField;
  IBOutlet NSTextField* klCustomerNameField;
  IBOutlet NSTextField* klServerURLField;
  IBOutlet NSMatrix* klProtocolMatrix;  // column 0 http, column 1 https
  IBOutlet NSTextField* klServerPortField;
  IBOutlet NSMatrix* klProxyMatrix;  // row 0 no proxy, row 1 proxy
  IBOutlet NSTextField* klProxyField;
  IBOutlet NSTextField* klProxyLabel;
  IBOutlet NSView* klPlaceholderView;
  IBOutlet NSView* klActivateByKeyView;
  IBOutlet NSView* klActivateByCustomerInfoView;
  int m_iActivationOption;
  int m_iProxyOption;
  BOOL m_bPaneAlreadyInited;
}

- (void)dealloc;
/// The step's name in the installer's side list.
- (NSString*)title;
/// Stacks both forms in the placeholder, the key form first and shown.
- (void)awakeFromNib;
/// Shows the form of the sender's selected row (0 key, 1 customer information).
- (IBAction)switchActivationMessage:(id)sender;
/// Puts the protocol's default port in the port field: "80" for column 0, "443" otherwise.
- (IBAction)switchProtocolMessage:(id)sender;
/// Shows the proxy field and its label for any row but 0.
- (IBAction)switchProxyMessage:(id)sender;
/// Forward: the first time, looks for the pre-fill file, logs whether it was found, fills the
/// controls and passes on by itself when the data checks out. Backward: shows the pane again.
- (void)willEnterPane:(InstallerSectionDirection)dir;
/// Nothing to do.
- (void)didEnterPane:(InstallerSectionDirection)dir;
/// Going forward, checks the chosen form, decodes the key, shows the first problem in a
/// critical alert (NO), or stores the activation data record under kl::kActivationPaneDataKey
/// (YES). Going back is always allowed.
- (BOOL)shouldExitPane:(InstallerSectionDirection)dir;
@end

#endif  // KELVORY_INSTALLER_ACTDLG_ACTDLGPANE_H_
