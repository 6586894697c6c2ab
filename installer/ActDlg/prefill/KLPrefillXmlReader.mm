#import "KLPrefillReaders.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include "KLHelper.h"
#include "KLInstallLog.h"
#import "KLPrefillFile.h"  // kPrefillMaxBytes
#include "KLPrefillSchema.h"
#import "KLStringBridge.h"

namespace {

// The integer rule of both readers: leading C white space, one sign, digits up to the first
// non-digit, saturated at the 32-bit limits. Saturating also for the text file's atoi
// conversions, whose overflow is otherwise undefined: a huge port reads as 2147483647 rather
// than some wrapped-around value.
int32_t LeadingInt32(NSString* text) { return KLHelper::Atoi32(KLStdString(text)); }

// Local names for the shared helpers.
void Assign(NSString** field, NSString* value) { KLAssignText(field, value); }
void Adopt(NSString** field, NSString* value) { KLAdoptText(field, value); }

using kl::prefill_schema::Field;
using kl::prefill_schema::RecordField;

// Every element name read is short: a longer one is none of them.
constexpr size_t kNameBytes = 32;

// `name` as UTF-8 in `bytes`, without a new object per element; false when it does not fit.
bool NameBytes(NSString* name, char (&bytes)[kNameBytes]) {
  return [name getCString:bytes maxLength:kNameBytes encoding:NSUTF8StringEncoding];
}

// The schema's spelling of the root's child `name` when values are read under it, else null.
const char* ParentNamed(NSString* name) {
  char bytes[kNameBytes];
  if (!NameBytes(name, bytes)) return nullptr;
  for (const Field& field : kl::prefill_schema::kFields) {
    if (field.xmlParent != nullptr && strcmp(bytes, field.xmlParent) == 0) return field.xmlParent;
  }
  return nullptr;
}

bool SameName(const char* a, const char* b) {
  return a != nullptr && b != nullptr && strcmp(a, b) == 0;
}

// The element holding the proxy's host and port.
const char* const kProxyElement = kl::prefill_schema::FieldFor(RecordField::kProxyHost).xmlParent;

}  // namespace

// Reads the pre-fill document in one pass, as events: a document tree is built node by node in
// time that grows with the square of the number of siblings, which a hostile file can make
// minutes. An element's value is all the text inside it, that of nested elements included.
// Only the root's children and their children are looked at, by the names of KLPrefillSchema.h.
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
  NSInteger depth;        // of the element being read; the root is 1
  const char* parent;     // the open child of the root when values are read under it, else null
  const Field* captured;  // the element whose text is being gathered, or null
  NSInteger capturedDepth;
  NSMutableString* text;
  NSString* proxyHost;  // of the open Proxy element
  int32_t proxyPort;
 @public
  KLPrefillReport* report;  // or null
}
- (void)takeValue:(NSString*)value of:(const Field&)field;
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
  [text release];
  [proxyHost release];
  [super dealloc];
}

// The field of the element `name` at the current depth when its value is read, else null.
- (const Field*)fieldNamed:(NSString*)name {
  char bytes[kNameBytes];
  if ((depth != 2 && depth != 3) || !NameBytes(name, bytes)) return nullptr;
  for (const Field& field : kl::prefill_schema::kFields) {
    const bool underParent =
        depth == 2 ? field.xmlParent == nullptr : SameName(parent, field.xmlParent);
    if (underParent && strcmp(bytes, field.xmlElement) == 0) return &field;
  }
  return nullptr;
}

- (void)parser:(NSXMLParser*)parser
    didStartElement:(NSString*)name
       namespaceURI:(NSString*)namespaceURI
      qualifiedName:(NSString*)qualifiedName
         attributes:(NSDictionary*)attributes {
  ++depth;
  if (depth == 2) {
    parent = ParentNamed(name);
    if (SameName(parent, kProxyElement)) {
      Assign(&proxyHost, nil);
      proxyPort = 0;
    }
  }
  if (captured == nullptr && (captured = [self fieldNamed:name]) != nullptr) {
    capturedDepth = depth;
    Adopt(&text, [[NSMutableString alloc] init]);
  } else if (captured == nullptr && report != nullptr &&
             ((depth == 2 && parent == nullptr) || (depth == 3 && parent != nullptr))) {
    // A name at a level this reader looks at, which it does not know.
    report->skipped.push_back(
        {KLPrefillSkip::Kind::kUnknownName, KLStdString(name), depth == 3 ? parent : "", "", 0});
  }
}

- (void)parser:(NSXMLParser*)parser foundCharacters:(NSString*)characters {
  if (captured != nullptr) [text appendString:characters];
}

- (void)parser:(NSXMLParser*)parser foundCDATA:(NSData*)block {
  if (captured == nullptr) return;
  NSString* characters = [[NSString alloc] initWithData:block encoding:NSUTF8StringEncoding];
  if (characters != nil) [text appendString:characters];
  [characters release];
}

- (void)parser:(NSXMLParser*)parser
    didEndElement:(NSString*)name
     namespaceURI:(NSString*)namespaceURI
    qualifiedName:(NSString*)qualifiedName {
  if (captured != nullptr && depth == capturedDepth) {
    [self takeValue:text of:*captured];
    captured = nullptr;
  }
  if (depth == 2 && SameName(parent, kProxyElement)) [self endProxy];
  --depth;
}

- (void)takeValue:(NSString*)value of:(const Field&)field {
  switch (field.record) {
    case RecordField::kActivationKey:
      Assign(&activationKey, value);
      break;
    case RecordField::kCustomerId:
      Assign(&customerId, value);
      break;
    case RecordField::kCustomerName:
      Assign(&customerName, value);
      break;
    case RecordField::kServerURL:
      Assign(&serverURL, value);
      break;
    case RecordField::kIsHTTPS:
      isHTTPS = [value isEqualToString:@"https"];
      if (report != nullptr && !isHTTPS && ![value isEqualToString:@"http"]) {
        report->skipped.push_back(
            {KLPrefillSkip::Kind::kProtocolText, field.xmlElement, "", KLStdString(value), 0});
      }
      break;
    case RecordField::kServerPort:
      serverPort = LeadingInt32(value);
      break;
    case RecordField::kProxyHost:
      Assign(&proxyHost, value);
      break;
    case RecordField::kProxyPort:
      proxyPort = LeadingInt32(value);
      break;
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

void KLReadPrefillXml(NSData* data, const KLPrefillFields& fields, KLPrefillReport* report) {
  if (report != nullptr && [data length] == 0) report->notWellFormed = true;
  // A large document leaves many temporary texts behind; drop them before returning.
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  if ([data length] > 0 && [data length] <= static_cast<NSUInteger>(kl::kPrefillMaxBytes)) {
    NSXMLParser* parser = [[NSXMLParser alloc] initWithData:data];
    KLPrefillReader* reader = [[KLPrefillReader alloc] init];
    reader->report = report;
    [parser setDelegate:reader];
    // A document that is not well-formed gives nothing, whatever was read before the fault.
    if (![parser parse]) {
      if (report != nullptr) *report = {{}, true, [parser lineNumber], [parser columnNumber]};
    } else {
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
  [pool drain];
}
