#import "KLTextDataProvider.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "KLHelper.h"
#include "KLInstallLog.h"
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

// The pre-fill file's bytes, or nil when it cannot be read or is larger than kPrefillMaxBytes.
// Read here rather than by the parser's URL initializer, whose URL loading keeps a cached copy
// of the file's bytes for the life of the process.
NSData* NewPrefillBytes(NSString* path) {
  const int fd = [path length] > 0
                     ? OpenRegularForReading([path fileSystemRepresentation], kPrefillMaxBytes)
                     : -1;
  if (fd < 0) return nil;
  // One byte more than allowed tells a file that grew since it was opened.
  NSMutableData* data = [[NSMutableData alloc] initWithLength:kPrefillMaxBytes + 1];
  size_t have = 0;
  for (;;) {
    const ssize_t got =
        read(fd, static_cast<char*>([data mutableBytes]) + have, [data length] - have);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    have += static_cast<size_t>(got);
    if (have == [data length]) break;
  }
  close(fd);
  if (have > static_cast<size_t>(kPrefillMaxBytes)) {
    [data release];
    return nil;
  }
  [data setLength:have];
  return data;
}

}  // namespace

// Reads the pre-fill document in one pass, as events: a document tree is built node by node in
// time that grows with the square of the number of siblings, which a hostile file can make
// minutes. An element's value is all the text inside it, that of nested elements included.
// Only the root's children and their children are looked at, by name.
@interface KLPrefillReader : NSObject <NSXMLParserDelegate> {
 @public
  NSString* activationKey;  // each nil while unset
  NSString* customerId;
  NSString* customerName;
  NSString* serverURL;
  NSString* proxyServer;
  BOOL isHTTPS;
  int32_t serverPort;
 @private
  NSInteger depth;     // of the element being read; the root is 1
  NSString* parent;    // the name of the open child of the root
  NSString* captured;  // the name of the element whose text is being gathered, or nil
  NSInteger capturedDepth;
  NSMutableString* text;
  NSString* proxyHost;  // of the open Proxy element
  int32_t proxyPort;
}
- (void)takeValue:(NSString*)value of:(NSString*)name;
- (void)endProxy;
@end

// The parser's delegate calls carry more than this reader needs.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"

@implementation KLPrefillReader

- (void)dealloc {
  [activationKey release];
  [customerId release];
  [customerName release];
  [serverURL release];
  [proxyServer release];
  [parent release];
  [captured release];
  [text release];
  [proxyHost release];
  [super dealloc];
}

// Whether the element `name` at the current depth holds a value that is read.
- (BOOL)isReadElement:(NSString*)name {
  if (depth == 2) return [name isEqualToString:@"ActivationKey"];
  if (depth != 3) return NO;
  if ([parent isEqualToString:@"Customer"]) {
    return [name isEqualToString:@"ID"] || [name isEqualToString:@"Name"];
  }
  if ([parent isEqualToString:@"Server"]) {
    return [name isEqualToString:@"URL"] || [name isEqualToString:@"Protocol"] ||
           [name isEqualToString:@"Port"];
  }
  if ([parent isEqualToString:@"Proxy"]) {
    return [name isEqualToString:@"URL"] || [name isEqualToString:@"Port"];
  }
  return NO;
}

- (void)parser:(NSXMLParser*)parser
    didStartElement:(NSString*)name
       namespaceURI:(NSString*)namespaceURI
      qualifiedName:(NSString*)qualifiedName
         attributes:(NSDictionary*)attributes {
  ++depth;
  if (depth == 2) {
    Assign(&parent, name);
    if ([name isEqualToString:@"Proxy"]) {
      Assign(&proxyHost, nil);
      proxyPort = 0;
    }
  }
  if (captured == nil && [self isReadElement:name]) {
    Assign(&captured, name);
    capturedDepth = depth;
    Adopt(&text, [[NSMutableString alloc] init]);
  }
}

- (void)parser:(NSXMLParser*)parser foundCharacters:(NSString*)characters {
  if (captured != nil) [text appendString:characters];
}

- (void)parser:(NSXMLParser*)parser foundCDATA:(NSData*)block {
  if (captured == nil) return;
  NSString* characters = [[NSString alloc] initWithData:block encoding:NSUTF8StringEncoding];
  if (characters != nil) [text appendString:characters];
  [characters release];
}

- (void)parser:(NSXMLParser*)parser
    didEndElement:(NSString*)name
     namespaceURI:(NSString*)namespaceURI
    qualifiedName:(NSString*)qualifiedName {
  if (captured != nil && depth == capturedDepth) {
    [self takeValue:text of:captured];
    Assign(&captured, nil);
  }
  if (depth == 2 && [parent isEqualToString:@"Proxy"]) [self endProxy];
  --depth;
}

- (void)takeValue:(NSString*)value of:(NSString*)name {
  if (depth == 2) {
    Assign(&activationKey, value);
  } else if ([parent isEqualToString:@"Customer"]) {
    Assign([name isEqualToString:@"ID"] ? &customerId : &customerName, value);
  } else if ([parent isEqualToString:@"Server"]) {
    if ([name isEqualToString:@"URL"]) {
      Assign(&serverURL, value);
    } else if ([name isEqualToString:@"Protocol"]) {
      isHTTPS = [value isEqualToString:@"https"];
    } else {
      serverPort = LeadingInt32(value);
    }
  } else if ([name isEqualToString:@"URL"]) {
    Assign(&proxyHost, value);
  } else {
    proxyPort = LeadingInt32(value);
  }
}

// A port without a host is no proxy; an earlier Proxy element then stands.
- (void)endProxy {
  if ([proxyHost length] == 0) return;
  if (proxyPort != 0) {
    Adopt(&proxyServer, [[NSString alloc] initWithFormat:@"%@:%d", proxyHost, proxyPort]);
  } else {
    Assign(&proxyServer, proxyHost);
  }
}

@end

#pragma GCC diagnostic pop

@interface KLTextDataProvider ()
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
  self = [super init];
  if (self == nil) {
    return nil;
  }
  // A regular file only, of at most 1 MiB, as the XML form: a FIFO or /dev/zero would never end.
  const int fd = [path length] > 0
                     ? OpenRegularForReading([path fileSystemRepresentation], kPrefillMaxBytes)
                     : -1;
  FILE* file = fd >= 0 ? fdopen(fd, "r") : NULL;
  if (fd >= 0 && file == NULL) close(fd);
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
  NSData* data = NewPrefillBytes(path);
  if ([data length] > 0) {
    NSXMLParser* parser = [[NSXMLParser alloc] initWithData:data];
    KLPrefillReader* reader = [[KLPrefillReader alloc] init];
    [parser setDelegate:reader];
    // A document that is not well-formed gives nothing, whatever was read before the fault.
    if ([parser parse]) {
      Assign(&_activationKey, reader->activationKey);
      Assign(&_customerId, reader->customerId);
      Assign(&_customerName, reader->customerName);
      Assign(&_serverURL, reader->serverURL);
      Assign(&_proxyServer, reader->proxyServer);
      _isHTTPS = reader->isHTTPS;
      _serverPort = reader->serverPort;
    }
    [parser setDelegate:nil];
    [reader release];
    [parser release];
  }
  [data release];
  [pool drain];
  [self settleContainData];
  return self;
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
