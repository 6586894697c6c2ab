// Fixed activation data, for trying the panes without a server or a pre-fill file. Nothing in
// the product uses it; it is the record's stand-in for a developer at the window.
#ifndef KELVORY_INSTALLER_ACTDLG_KLDATAPROVIDERSTUB_H_
#define KELVORY_INSTALLER_ACTDLG_KLDATAPROVIDERSTUB_H_

#import <Foundation/Foundation.h>

#import "KLDataProvider.h"

/// Answers containData YES, customer "Example Customer", server "192.0.2.1" over http on port
/// 80, no appliance ID; the key, customer ID and proxy are unset (nil).
@interface KLDataProviderStub : NSObject <KLDataProvider>
@end

#endif  // KELVORY_INSTALLER_ACTDLG_KLDATAPROVIDERSTUB_H_
