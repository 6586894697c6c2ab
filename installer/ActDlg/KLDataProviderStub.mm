#import "KLDataProviderStub.h"

@implementation KLDataProviderStub

- (BOOL)containData {
  return YES;
}

- (NSString*)activationKey {
  return nil;
}

- (NSString*)customerId {
  return nil;
}

// Documentation values only: a made-up name and an address from TEST-NET-1 (RFC 5737).
- (NSString*)customerName {
  return @"Example Customer";
}

- (NSString*)serverURL {
  return @"192.0.2.1";
}

- (BOOL)isHTTPS {
  return NO;
}

- (int64_t)serverPort {
  return 80;
}

- (int64_t)applianceId {
  return 0;
}

- (NSString*)proxyServer {
  return nil;
}

@end
