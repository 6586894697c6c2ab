#import "KLManagedValues.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "KLHelper.h"
#include "KLPrefillSchema.h"
#import "KLPropertyList.h"
#import "KLStringBridge.h"
#import "KLTextDataProvider.h"

using kl::prefill_schema::RecordField;

const char kKLManagedDomain[] = "com.kelvory.activation";

static_assert(kl::prefill_schema::kFieldCount == 8, "every field's profile key below");
const char* const kKLManagedKeys[] = {kl::prefill_schema::kFields[0].profileKey,
                                      kl::prefill_schema::kFields[1].profileKey,
                                      kl::prefill_schema::kFields[2].profileKey,
                                      kl::prefill_schema::kFields[3].profileKey,
                                      kl::prefill_schema::kFields[4].profileKey,
                                      kl::prefill_schema::kFields[5].profileKey,
                                      kl::prefill_schema::kFields[6].profileKey,
                                      kl::prefill_schema::kFields[7].profileKey,
                                      nullptr};

namespace {

// The profile's key for the value that fills `record`.
NSString* ProfileKey(RecordField record) {
  return [NSString stringWithUTF8String:kl::prefill_schema::FieldFor(record).profileKey];
}

// A text value of the managed preferences, or nil when it is absent, not text or not whole (never
// shortened: it is as if the key were not there). A number is taken in its decimal form, since a
// profile editor may store an ID or a port as an integer.
NSString* ManagedText(NSDictionary* values, RecordField record) {
  id value = [values objectForKey:ProfileKey(record)];
  if ([value isKindOfClass:[NSString class]]) return KLIsWholeText(value) ? value : nil;
  if ([value isKindOfClass:[NSNumber class]]) return [value stringValue];
  return nil;
}

// A port by the pre-fill file's leading-integer rule; 0 when absent.
int32_t ManagedPort(NSDictionary* values, RecordField record) {
  return KLHelper::Atoi32(KLStdString(ManagedText(values, record)));
}

NSString* NonEmpty(NSString* text) { return [text length] > 0 ? text : nil; }

// The dictionary under `key` in `container`, or nil when either is not a dictionary.
NSDictionary* DictionaryAt(id container, NSString* key) {
  if (![container isKindOfClass:[NSDictionary class]]) return nil;
  id value = [container objectForKey:key];
  return [value isKindOfClass:[NSDictionary class]] ? value : nil;
}

// A payload as the administrator knows it: its identifier, else its UUID, else its place.
std::string PayloadName(NSDictionary* payload, NSUInteger index) {
  for (NSString* key : {@"PayloadIdentifier", @"PayloadUUID"}) {
    id name = [payload objectForKey:key];
    if ([name isKindOfClass:[NSString class]] && [name length] > 0) {
      return "\"" + KLStdString(name) + "\"";
    }
  }
  return "payload " + std::to_string(index + 1);
}

// The values of a configuration profile as a console exports it: a payload of our own type,
// or the custom-settings form (Forced items of our domain in a managed-client payload). One
// such payload and no more, or nil with `problem` set.
NSDictionary* ProfileValues(NSArray* payloads, std::string* problem) {
  NSString* domain = [NSString stringWithUTF8String:kKLManagedDomain];
  NSDictionary* values = nil;
  std::vector<std::string> names;
  for (NSUInteger i = 0; i < [payloads count]; ++i) {
    NSDictionary* payload = [payloads objectAtIndex:i];
    if (![payload isKindOfClass:[NSDictionary class]]) continue;
    id type = [payload objectForKey:@"PayloadType"];
    if ([type isEqual:domain]) {
      values = payload;
      names.push_back(PayloadName(payload, i));
      continue;
    }
    if (![type isEqual:@"com.apple.ManagedClient.preferences"]) continue;
    id forced =
        [DictionaryAt(DictionaryAt(payload, @"PayloadContent"), domain) objectForKey:@"Forced"];
    if (![forced isKindOfClass:[NSArray class]]) continue;
    for (NSUInteger f = 0; f < [forced count]; ++f) {
      NSDictionary* settings = DictionaryAt([forced objectAtIndex:f], @"mcx_preference_settings");
      if (settings == nil) continue;
      values = settings;
      names.push_back(PayloadName(payload, i));
    }
  }
  if (names.size() == 1) return values;
  if (names.empty()) {
    *problem = std::string("a configuration profile with no payload for ") + kKLManagedDomain;
  } else {
    *problem = "a configuration profile with " + std::to_string(names.size()) + " payloads for " +
               kKLManagedDomain + ": " + names[0];
    for (size_t n = 1; n < names.size(); ++n) {
      *problem += (n + 1 == names.size() ? " and " : ", ") + names[n];
    }
    *problem += "; keep one";
  }
  return nil;
}

// A signed profile is CMS (PKCS #7) DER: a SEQUENCE whose content type, signedData, comes first.
bool IsSignedProfile(NSData* data) {
  static const unsigned char kSignedDataOid[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86,
                                                 0xF7, 0x0D, 0x01, 0x07, 0x02};
  const unsigned char* bytes = static_cast<const unsigned char*>([data bytes]);
  const size_t head = std::min<size_t>([data length], 32);
  return head > 0 && bytes[0] == 0x30 &&
         std::search(bytes, bytes + head, std::begin(kSignedDataOid), std::end(kSignedDataOid)) !=
             bytes + head;
}

// `values` with each text under `keys` that the parser may have shortened made visibly not
// whole (a NUL appended), so that it counts as not given instead of as what is left of it. By
// name: a profile's other payloads do not hold our keys.
NSDictionary* MarkBroken(NSDictionary* values, const std::vector<std::string>& keys) {
  if (values == nil || keys.empty()) return values;
  NSMutableDictionary* marked = [NSMutableDictionary dictionaryWithDictionary:values];
  const unichar nul = 0;
  for (const std::string& key : keys) {
    NSString* name = KLNSString(key);
    id value = name != nil ? [marked objectForKey:name] : nil;
    if (![value isKindOfClass:[NSString class]]) continue;
    [marked setObject:[value stringByAppendingString:[NSString stringWithCharacters:&nul length:1]]
               forKey:name];
  }
  return marked;
}

}  // namespace

bool KLIsWholeText(NSString* text) {
  const NSUInteger length = [text length];
  std::vector<unichar> units(length);
  if (length > 0) [text getCharacters:units.data() range:NSMakeRange(0, length)];
  for (NSUInteger i = 0; i < length; ++i) {
    const unichar unit = units[i];
    if (unit == 0) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {  // a high surrogate needs a low one next
      if (i + 1 == length || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

std::vector<std::string> KLBrokenManagedTexts(NSDictionary* values) {
  std::vector<std::string> keys;
  for (const char* const* key = kKLManagedKeys; *key != nullptr; ++key) {
    id value = [values objectForKey:[NSString stringWithUTF8String:*key]];
    if ([value isKindOfClass:[NSString class]] && !KLIsWholeText(value)) keys.push_back(*key);
  }
  return keys;
}

NSDictionary* KLManagedValuesFromData(NSData* data, std::string* problem) {
  if (IsSignedProfile(data)) {
    *problem = "a signed configuration profile, which is not read: pass the unsigned profile, "
               "or install it";
    return nil;
  }
  std::vector<std::string> brokenKeys;
  id list = KLPropertyListFromData(data, problem, &brokenKeys);
  if (list == nil) return nil;
  if (![list isKindOfClass:[NSDictionary class]]) {
    *problem = "the property list is not a dictionary";
    return nil;
  }
  id payloads = [list objectForKey:@"PayloadContent"];
  NSDictionary* values =
      [payloads isKindOfClass:[NSArray class]] ? ProfileValues(payloads, problem) : list;
  return MarkBroken(values, brokenKeys);
}

KLTextDataProvider* KLRecordFromManagedValues(NSDictionary* values) {
  NSString* proxy = NonEmpty(ManagedText(values, RecordField::kProxyHost));
  const int32_t proxyPort = ManagedPort(values, RecordField::kProxyPort);
  if (proxy != nil && proxyPort != 0) {
    proxy = [NSString stringWithFormat:@"%@:%d", proxy, proxyPort];
  }
  // Empty texts count as absent, as empty elements do in the file: only a non-empty key,
  // customer ID or customer name is activation data.
  KLTextDataProvider* record = [[KLTextDataProvider alloc]
       initWithKey:NonEmpty(ManagedText(values, RecordField::kActivationKey))
         serverURL:NonEmpty(ManagedText(values, RecordField::kServerURL))
              port:ManagedPort(values, RecordField::kServerPort)
          isSecure:[ManagedText(values, RecordField::kIsHTTPS) isEqualToString:@"https"]
             proxy:proxy
      customerName:NonEmpty(ManagedText(values, RecordField::kCustomerName))
        customerId:NonEmpty(ManagedText(values, RecordField::kCustomerId))
       applianceId:0];
  return [record autorelease];
}
