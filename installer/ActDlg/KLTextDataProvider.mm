#import "KLTextDataProvider.h"

#include "KLInstallLog.h"
#include "KLPlatform.h"
#import "KLPrefillReaders.h"
#import "KLStringBridge.h"

NSString* const kl::kActivationPaneDataKey = @"ActivationPaneData";

@interface KLTextDataProvider ()
- (KLPrefillFields)fields;
- (NSArray*)addressList;
- (void)settleContainData;
@end

@implementation KLTextDataProvider

- (id)initWithKey:(NSString*)activationKey
        serverURL:(NSString*)serverURL
             port:(int64_t)port
         isSecure:(BOOL)isSecure
            proxy:(NSString*)proxy
     customerName:(NSString*)customerName
       customerId:(NSString*)customerId
      applianceId:(int64_t)applianceId {
  self = [super init];
  if (self == nil) {
    return nil;
  }
  _activationKey = [activationKey copy];
  _serverURL = [serverURL copy];
  _serverPort = port;
  _isHTTPS = isSecure;
  _proxyServer = [proxy copy];
  _customerName = [customerName copy];
  _customerId = [customerId copy];
  _applianceId = applianceId;
  // The pane passes all three texts, so its hand-off record always counts as holding data.
  _containData =
      activationKey != nil || customerId != nil || customerName != nil || applianceId != 0;
  return self;
}

- (id)initWithTextFile:(NSString*)path {
  return [self initWithTextData:KLPrefillFileBytes(path)];
}

- (id)initWithXmlFile:(NSString*)path {
  return [self initWithXmlData:KLPrefillFileBytes(path)];
}

- (id)initWithTextData:(NSData*)data {
  return [self initWithTextData:data report:nullptr];
}

- (id)initWithXmlData:(NSData*)data {
  return [self initWithXmlData:data report:nullptr];
}

- (id)initWithTextData:(NSData*)data report:(KLPrefillReport*)report {
  self = [super init];
  if (self == nil) {
    return nil;
  }
  KLReadPrefillText(data, [self fields], report);
  [self settleContainData];
  return self;
}

- (id)initWithXmlData:(NSData*)data report:(KLPrefillReport*)report {
  self = [super init];
  if (self == nil) {
    return nil;
  }
  KLReadPrefillXml(data, [self fields], report);
  [self settleContainData];
  return self;
}

// The fields the pre-fill readers fill.
- (KLPrefillFields)fields {
  return {&_activationKey, &_customerId, &_customerName, &_serverURL,
          &_proxyServer,   &_isHTTPS,    &_serverPort};
}

// Only a key, a customer ID or a customer name makes a file worth pre-filling from: a server
// address alone still needs the user's form.
- (void)settleContainData {
  _containData =
      [_activationKey length] > 0 || [_customerId length] > 0 || [_customerName length] > 0;
}

- (void)dealloc {
  [_activationKey release];
  [_customerId release];
  [_customerName release];
  [_serverURL release];
  [_proxyServer release];
  [serverURLs release];
  [super dealloc];
}

- (BOOL)containData {
  return _containData;
}

- (NSString*)activationKey {
  return _activationKey != nil ? _activationKey : @"";
}

- (NSString*)customerId {
  return _customerId != nil ? _customerId : @"";
}

- (NSString*)customerName {
  return _customerName != nil ? _customerName : @"";
}

- (NSString*)serverURL {
  return _serverURL != nil ? _serverURL : @"";
}

- (BOOL)isHTTPS {
  return _isHTTPS;
}

- (int64_t)serverPort {
  return _serverPort;
}

- (int64_t)applianceId {
  return _applianceId;
}

- (NSString*)proxyServer {
  return _proxyServer != nil ? _proxyServer : @"";
}

// Built on first use, which may be on the validation thread; the record is used by one thread
// at a time, so no lock. Pieces are kept as they stand, empty ones included.
- (NSArray*)addressList {
  if (serverURLs == nil) {
    serverURLs = [[[self serverURL] componentsSeparatedByString:@","] retain];
  }
  return serverURLs;
}

- (void)resetURLs {
  currentURLArrayIndex = 0;
}

- (BOOL)nextURL {
  NSArray* list = [self addressList];
  ++currentURLArrayIndex;
  if (currentURLArrayIndex < static_cast<int64_t>([list count])) {
    return YES;
  }
  currentURLArrayIndex = 0;
  return NO;
}

- (NSString*)currentURL {
  NSString* url = [[self addressList] objectAtIndex:static_cast<NSUInteger>(currentURLArrayIndex)];
  kl::CurrentPlatform().ConsoleLog(kl::ConsoleCategory::kValidation,
                                   "Server URl: " + KLStdString(url));
  return url;
}

@end
