// The activation data as the panes see it: what the activation pane settled and the
// validation pane needs to run the validation tool.
#ifndef KELVORY_INSTALLER_ACTDLG_KLDATAPROVIDER_H_
#define KELVORY_INSTALLER_ACTDLG_KLDATAPROVIDER_H_

#import <Foundation/Foundation.h>

#include <stdint.h>

@protocol KLDataProvider

/// YES when there is activation data: a key, a customer ID or a customer name.
@property(nonatomic, readonly) BOOL containData;
@property(nonatomic, readonly) NSString* activationKey;
/// Kept as text; its digits are checked by the activation pane, not here.
@property(nonatomic, readonly) NSString* customerId;
@property(nonatomic, readonly) NSString* customerName;
/// One server address, or several separated by ",".
@property(nonatomic, readonly) NSString* serverURL;
@property(nonatomic, readonly) BOOL isHTTPS;
@property(nonatomic, readonly) int64_t serverPort;
/// From the activation key; 0 when there is none.
@property(nonatomic, readonly) int64_t applianceId;
/// host:port or host alone; empty when there is no proxy.
@property(nonatomic, readonly) NSString* proxyServer;

@end

#endif  // KELVORY_INSTALLER_ACTDLG_KLDATAPROVIDER_H_
