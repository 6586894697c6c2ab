#import "KLPrefillReaders.h"

#include <errno.h>
#include <unistd.h>

#include "KLHelper.h"
#include "KLInstallLog.h"
#import "KLStringBridge.h"
#import "KLTextDataProvider.h"  // kPrefillMaxBytes

namespace {

// The integer rule of both readers: leading C white space, one sign, digits up to the first
// non-digit, saturated at the 32-bit limits. Saturating also for the text file's atoi
// conversions, whose overflow is otherwise undefined: a huge port reads as 2147483647 rather
// than some wrapped-around value.
int32_t LeadingInt32(NSString* text) { return KLHelper::Atoi32(KLStdString(text)); }

// Local names for the shared helpers.
void Assign(NSString** field, NSString* value) { KLAssignText(field, value); }
void Adopt(NSString** field, NSString* value) { KLAdoptText(field, value); }

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

void KLReadPrefillXml(NSString* path, const KLPrefillFields& fields) {
  // A large document leaves many temporary texts behind; drop them before returning.
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  NSData* data = NewPrefillBytes(path);
  if ([data length] > 0) {
    NSXMLParser* parser = [[NSXMLParser alloc] initWithData:data];
    KLPrefillReader* reader = [[KLPrefillReader alloc] init];
    [parser setDelegate:reader];
    // A document that is not well-formed gives nothing, whatever was read before the fault.
    if ([parser parse]) {
      KLAssignText(fields.activationKey, reader->activationKey);
      KLAssignText(fields.customerId, reader->customerId);
      KLAssignText(fields.customerName, reader->customerName);
      KLAssignText(fields.serverURL, reader->serverURL);
      KLAssignText(fields.proxyServer, reader->proxyServer);
      *fields.isHTTPS = reader->isHTTPS;
      *fields.serverPort = reader->serverPort;
    }
    [parser setDelegate:nil];
    [reader release];
    [parser release];
  }
  [data release];
  [pool drain];
}
