// The activation data record: the one object handed from the activation pane to the
// validation pane (stored in the installer's shared dictionary under "ActivationPaneData").
// Made from the pane's checked values, from the pre-fill file InstallationData.xml, or from a
// key=value text file. The nine values never change after the initializer; only the position
// in the server address list moves.
#ifndef KELVORY_INSTALLER_ACTDLG_KLTEXTDATAPROVIDER_H_
#define KELVORY_INSTALLER_ACTDLG_KLTEXTDATAPROVIDER_H_

#import <Foundation/Foundation.h>

#include <stdint.h>

#import "KLDataProvider.h"
#import "KLPrefillFile.h"
#import "KLPrefillReaders.h"

/// The key under which the activation pane leaves the record in the section's shared
/// dictionary for the validation pane: "ActivationPaneData".
namespace kl {
extern NSString* const kActivationPaneDataKey;
}  // namespace kl

@interface KLTextDataProvider : NSObject <KLDataProvider> {
  BOOL _containData;
  NSString* _activationKey;  // nil while unset; the readers answer @"" then
  NSString* _customerId;
  NSString* _customerName;
  int64_t _applianceId;
  NSString* _serverURL;
  int64_t _serverPort;
  BOOL _isHTTPS;
  NSString* _proxyServer;
  NSArray* serverURLs;  // built from serverURL on first use of the rotation, never empty then
  int64_t currentURLArrayIndex;
}

/// The server address at the current position; logs "Server URl: <address>" to the console.
@property(nonatomic, readonly) NSString* currentURL;

/// The activation pane's checked values. Each text is copied; a passed text counts as given for
/// containData even when empty, and so does an appliance ID other than 0.
- (id)initWithKey:(NSString*)activationKey
        serverURL:(NSString*)serverURL
             port:(int64_t)port
         isSecure:(BOOL)isSecure
            proxy:(NSString*)proxy
     customerName:(NSString*)customerName
       customerId:(NSString*)customerId
      applianceId:(int64_t)applianceId;

/// A key=value text file (activationKey, customerID, customerName, serverURL,
/// useSecureConnection, port); each line read is echoed to the console. A file that cannot be
/// opened gives a record with nothing set.
- (id)initWithTextFile:(NSString*)path;

/// The pre-fill file. A missing, unreadable or not well-formed file gives a record with nothing
/// set; nothing is reported.
- (id)initWithXmlFile:(NSString*)path;

/// The same two forms from bytes already read (nil: nothing set).
- (id)initWithTextData:(NSData*)data;
- (id)initWithXmlData:(NSData*)data;

/// The same, with `report` (when not null) told what the reader passed over.
- (id)initWithTextData:(NSData*)data report:(KLPrefillReport*)report;
- (id)initWithXmlData:(NSData*)data report:(KLPrefillReport*)report;

/// Back to the first server address; the list is kept.
- (void)resetURLs;

/// Moves to the next server address. NO when the list is used up, and the position is then
/// back at the first address.
- (BOOL)nextURL;

@end

#endif  // KELVORY_INSTALLER_ACTDLG_KLTEXTDATAPROVIDER_H_
