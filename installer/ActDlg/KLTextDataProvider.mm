#import "KLTextDataProvider.h"

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "KLHelper.h"
#include "KLPlatform.h"
#import "KLStringBridge.h"

NSString* const kActivationPaneDataKey = @"ActivationPaneData";

namespace {

// Separators of the key=value text file: "key = value", "key=value, more" and CRLF endings
// all split the same way.
const char kTextSeparators[] = "=, \r\n";

// One read of the text file takes at most 255 bytes; a longer line comes in pieces.
const int kTextLineBuffer = 256;

// The integer rule of both readers: leading C white space, one sign, digits up to the first
// non-digit, saturated at the 32-bit limits. Saturating also for the text file's atoi
// conversions, whose overflow is otherwise undefined: a huge port reads as 2147483647 rather
// than some wrapped-around value.
int32_t LeadingInt32(NSString* text) { return KLHelper::Atoi32(KLStdString(text)); }

// Replaces *field by a copy of `value` (nil unsets it).
void Assign(NSString** field, NSString* value) {
  NSString* copied = [value copy];
  [*field release];
  *field = copied;
}

// Takes ownership of `value`, which may be nil (unset).
void Adopt(NSString** field, NSString* value) {
  [*field release];
  *field = value;
}

// The element children of `node` in document order; text, comments and processing
// instructions are left out. The child list is taken once: GNUstep walks the sibling chain on
// every childAtIndex:.
std::vector<NSXMLNode*> ElementChildren(NSXMLNode* node) {
  std::vector<NSXMLNode*> elements;
  NSArray* children = [node children];
  const NSUInteger count = [children count];
  for (NSUInteger i = 0; i < count; ++i) {
    NSXMLNode* child = [children objectAtIndex:i];
    if ([child kind] == NSXMLElementKind) elements.push_back(child);
  }
  return elements;
}

bool HasName(NSXMLNode* node, NSString* name) { return [[node name] isEqualToString:name]; }

// The parsed pre-fill document (owned by the caller), or nil when the file cannot be read or is
// not well-formed. The bytes are read here rather than by the document's URL initializer:
// GNUstep's raises instead of answering nil for a file it cannot read, and its URL loading
// keeps a cached copy of the file's bytes for the life of the process.
NSXMLDocument* NewXmlDocument(NSString* path) {
  if ([path length] == 0) {
    return nil;
  }
  NSData* data = [[NSData alloc] initWithContentsOfFile:path];
  if (data == nil) {
    return nil;
  }
  NSXMLDocument* document = nil;
  if ([data length] > 0) {
    document = [[NSXMLDocument alloc] initWithData:data options:0 error:NULL];
  }
  [data release];
  return document;
}

}  // namespace

@interface KLTextDataProvider ()
- (NSArray*)addressList;
- (void)readXmlCustomer:(NSXMLNode*)customer;
- (void)readXmlServer:(NSXMLNode*)server;
- (void)readXmlProxy:(NSXMLNode*)proxy;
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
  self = [super init];
  if (self == nil) {
    return nil;
  }
  FILE* file = [path length] > 0 ? fopen([path fileSystemRepresentation], "r") : NULL;
  if (file != NULL) {
    char line[kTextLineBuffer];
    while (fgets(line, sizeof line, file) != NULL) {
      kl::CurrentPlatform().ConsoleLog(std::string(line) + "\n");
      // strtok_r: the same splitting as strtok without its hidden shared state.
      char* rest = NULL;
      const char* key = strtok_r(line, kTextSeparators, &rest);
      const char* value = key != NULL ? strtok_r(NULL, kTextSeparators, &rest) : NULL;
      if (value == NULL) {
        continue;
      }
      // Invalid UTF-8 gives nil, which unsets the field again.
      if (strcmp(key, "activationKey") == 0) {
        Adopt(&_activationKey, [[NSString alloc] initWithUTF8String:value]);
      } else if (strcmp(key, "customerID") == 0) {
        Adopt(&_customerId, [[NSString alloc] initWithUTF8String:value]);
      } else if (strcmp(key, "customerName") == 0) {
        Adopt(&_customerName, [[NSString alloc] initWithUTF8String:value]);
      } else if (strcmp(key, "serverURL") == 0) {
        Adopt(&_serverURL, [[NSString alloc] initWithUTF8String:value]);
      } else if (strcmp(key, "useSecureConnection") == 0) {
        _isHTTPS = KLHelper::Atoi32(value) != 0;
      } else if (strcmp(key, "port") == 0) {
        _serverPort = KLHelper::Atoi32(value);
      }
    }
    fclose(file);
  }
  [self settleContainData];
  return self;
}

- (id)initWithXmlFile:(NSString*)path {
  self = [super init];
  if (self == nil) {
    return nil;
  }
  // A large document leaves many temporary texts behind; drop them before returning.
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  NSXMLDocument* document = NewXmlDocument(path);
  for (NSXMLNode* child : ElementChildren([document rootElement])) {
    if (HasName(child, @"ActivationKey")) {
      Assign(&_activationKey, [child stringValue]);
    } else if (HasName(child, @"Customer")) {
      [self readXmlCustomer:child];
    } else if (HasName(child, @"Server")) {
      [self readXmlServer:child];
    } else if (HasName(child, @"Proxy")) {
      [self readXmlProxy:child];
    }
  }
  [document release];
  [pool drain];
  [self settleContainData];
  return self;
}

- (void)readXmlCustomer:(NSXMLNode*)customer {
  for (NSXMLNode* child : ElementChildren(customer)) {
    if (HasName(child, @"ID")) {
      Assign(&_customerId, [child stringValue]);
    } else if (HasName(child, @"Name")) {
      Assign(&_customerName, [child stringValue]);
    }
  }
}

- (void)readXmlServer:(NSXMLNode*)server {
  for (NSXMLNode* child : ElementChildren(server)) {
    if (HasName(child, @"URL")) {
      Assign(&_serverURL, [child stringValue]);
    } else if (HasName(child, @"Protocol")) {
      _isHTTPS = [[child stringValue] isEqualToString:@"https"];
    } else if (HasName(child, @"Port")) {
      _serverPort = LeadingInt32([child stringValue]);
    }
  }
}

- (void)readXmlProxy:(NSXMLNode*)proxy {
  NSString* host = nil;
  int32_t port = 0;
  for (NSXMLNode* child : ElementChildren(proxy)) {
    if (HasName(child, @"URL")) {
      host = [child stringValue];
    } else if (HasName(child, @"Port")) {
      port = LeadingInt32([child stringValue]);
    }
  }
  // A port without a host is no proxy; an earlier Proxy element then stands.
  if ([host length] == 0) {
    return;
  }
  if (port != 0) {
    Adopt(&_proxyServer, [[NSString alloc] initWithFormat:@"%@:%d", host, port]);
  } else {
    Assign(&_proxyServer, host);
  }
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
  kl::CurrentPlatform().ConsoleLog("Server URl: " + KLStdString(url));
  return url;
}

@end
