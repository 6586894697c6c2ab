#import "KLActivationSource.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <iterator>

#include "KLHelper.h"
#include "KLInstallLog.h"
#include "KLPlatform.h"
#import "KLPropertyList.h"
#import "KLStringBridge.h"
#import "KLTextDataProvider.h"

const char kKLManagedDomain[] = "com.kelvory.activation";

const char* const kKLManagedKeys[] = {"ActivationKey", "CustomerID",     "CustomerName",
                                      "ServerURL",     "ServerProtocol", "ServerPort",
                                      "ProxyURL",      "ProxyPort",      nullptr};

namespace {

NSString* FileName(const std::string& path) {
  return [[NSFileManager defaultManager] stringWithFileSystemRepresentation:path.c_str()
                                                                     length:path.size()];
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Why a path gives no file, or the empty text when there is a regular file there.
std::string MissingFile(const std::string& path) {
  if (path.empty()) return "no package path, so no folder to look in";
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    const int error = errno;
    if (error != ENOENT && error != ENOTDIR) {
      return "cannot look for it: " + std::string(strerror(error));
    }
    const std::string folder = FolderOf(path);
    struct stat folderInfo;
    if (stat(folder.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode)) {
      return "no such folder: " + folder;
    }
    return "no such file in " + folder;
  }
  if (S_ISDIR(info.st_mode)) return "a directory of that name, not a file";
  if (!S_ISREG(info.st_mode)) return "not a regular file (a FIFO or a device is never read)";
  return std::string();
}

// Why a file that is there cannot be read. The record stays silent on a bad file, so the
// reason is found here, reading the way the record reads.
std::string UnreadableFile(const std::string& path, bool textFormat) {
  FILE* file = fopen(path.c_str(), "r");
  if (file == NULL) return "cannot be read: " + std::string(strerror(errno));
  errno = 0;
  const bool failed = fgetc(file) == EOF && ferror(file);
  const int readErrno = errno;
  fclose(file);
  if (failed) return "cannot be read: " + std::string(strerror(readErrno));
  if (textFormat) return std::string();  // an empty or binary text file is still read
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && info.st_size > kPrefillMaxBytes) {
    return "larger than 1 MiB, which the pre-fill reader treats as unreadable";
  }
  NSData* data = [NSData dataWithContentsOfFile:FileName(path)];
  if ([data length] == 0) return "empty, not a well-formed XML document";
  // The reader's own parser, in one pass: a document tree would take quadratic time on a file
  // of many siblings.
  NSXMLParser* parser = [[NSXMLParser alloc] initWithData:data];
  const BOOL parsed = [parser parse];
  [parser release];
  if (!parsed) return "not a well-formed XML document";
  return std::string();
}

// A file's first `most` bytes, or nil with errno set: a larger file is never read whole.
NSData* ReadAtMost(const std::string& path, size_t most) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == NULL) return nil;
  std::string bytes(most, '\0');
  bytes.resize(fread(&bytes[0], 1, bytes.size(), file));
  const bool failed = ferror(file) != 0;
  const int readErrno = errno;
  fclose(file);
  errno = readErrno;
  if (failed) return nil;
  return [NSData dataWithBytes:bytes.data() length:bytes.size()];
}

// A text value of the managed preferences, or nil when it is absent or not text. A number is
// taken in its decimal form, since a profile editor may store an ID or a port as an integer.
NSString* ManagedText(NSDictionary* values, NSString* key) {
  id value = [values objectForKey:key];
  if ([value isKindOfClass:[NSString class]]) return value;
  if ([value isKindOfClass:[NSNumber class]]) return [value stringValue];
  return nil;
}

// A port by the pre-fill file's leading-integer rule; 0 when absent.
int32_t ManagedPort(NSDictionary* values, NSString* key) {
  return KLHelper::Atoi32(KLStdString(ManagedText(values, key)));
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

KLSourceLook LookAtManagedPreferences(const KLSourceRequest& request, NSDictionary** values) {
  KLSourceLook look;
  look.kind = KLSourceKind::kManagedPreferences;
  NSData* data = nil;
  if (request.managedPreferencesPath.empty()) {
    look.location = kKLManagedDomain;
    const std::vector<std::string> keys(std::begin(kKLManagedKeys), std::end(kKLManagedKeys) - 1);
    const std::string bytes = kl::CurrentPlatform().ManagedPreferences(kKLManagedDomain, keys);
    if (bytes.empty()) {
      look.problem = "no managed preferences are forced for this domain";
      return look;
    }
    data = [NSData dataWithBytes:bytes.data() length:bytes.size()];
  } else {
    look.location = request.managedPreferencesPath;
    look.problem = MissingFile(look.location);
    if (!look.problem.empty()) return look;
    errno = 0;
    data = ReadAtMost(look.location, kPrefillMaxBytes + 1);  // one byte more tells a larger file
    if (data == nil) {
      look.problem = "cannot be read: " + std::string(strerror(errno != 0 ? errno : EIO));
      return look;
    }
  }
  *values = KLManagedValuesFromData(data, &look.problem);
  if (*values == nil) return look;
  look.found = true;
  return look;
}

KLSourceLook LookAtFile(const KLSourceRequest& request, KLTextDataProvider** record) {
  KLSourceLook look;
  if (request.besidePackage || !request.packagePath.empty()) {
    look.kind = KLSourceKind::kPackageFolder;
    NSString* package = KLTypedText(request.packagePath);
    look.location = KLStdString(KLPrefillPathBeside(package));
    // The pane's own lookup decides whether there is a file; the checks only say why not.
    *record = KLReadPrefillBeside(package, request.prefillLog);
    look.problem = MissingFile(look.location);
    if (*record == nil && look.problem.empty()) look.problem = "not found";
  } else {
    look.kind = KLSourceKind::kDataFile;
    look.location = request.dataPath;
    look.problem = MissingFile(look.location);
    if (look.problem.empty()) {
      KLTextDataProvider* read = [KLTextDataProvider alloc];
      read = request.textFormat ? [read initWithTextFile:FileName(look.location)]
                                : [read initWithXmlFile:FileName(look.location)];
      *record = [read autorelease];
    }
  }
  if (*record != nil) {
    look.problem = UnreadableFile(look.location, request.textFormat);
    look.found = look.problem.empty();
    look.hasData = [*record containData];
  }
  return look;
}

// Each typed value over the input, as a person would type or click it.
void ApplyTyped(const KLTypedValues& t, KLActivationInput* input,
                std::vector<std::string>* overrides) {
  if (t.key) {
    input->activationOption = 0;
    input->activationKey = KLTypedText(*t.key);
    overrides->push_back("activationKey");
  }
  if (t.CustomerForm()) input->activationOption = 1;
  if (t.customerName) {
    input->customerName = KLTypedText(*t.customerName);
    overrides->push_back("customerName");
  }
  if (t.customerId) {
    input->customerId = KLTypedText(*t.customerId);
    overrides->push_back("customerId");
  }
  if (t.server) {
    input->serverURL = KLTypedText(*t.server);
    overrides->push_back("serverURL");
  }
  if (t.protocol) {  // a click on the protocol puts its default port in the field
    input->https = *t.protocol == "https";
    input->port = input->https ? @"443" : @"80";
    overrides->push_back("protocol");
  }
  if (t.port) {
    input->port = KLTypedText(*t.port);
    overrides->push_back("port");
  }
  if (t.proxy) {
    input->proxyOption = 1;
    input->proxy = KLTypedText(*t.proxy);
    overrides->push_back("proxy");
  }
}

}  // namespace

const char* KLSourceName(KLSourceKind kind) {
  switch (kind) {
    case KLSourceKind::kOptions:
      return "options";
    case KLSourceKind::kManagedPreferences:
      return "managed-preferences";
    case KLSourceKind::kDataFile:
      return "data-file";
    case KLSourceKind::kPackageFolder:
      return "package-folder";
    case KLSourceKind::kNone:
      break;
  }
  return "none";
}

bool KLTypedValues::CustomerForm() const {
  return customerName || customerId || server || protocol || port;
}

bool KLTypedValues::ActivationData() const { return key || customerName || customerId; }

NSString* KLTypedText(const std::string& bytes) {
  NSString* text = KLNSString(bytes);
  if (text != nil) return text;
  return [[[NSString alloc] initWithBytes:bytes.data()
                                   length:bytes.size()
                                 encoding:NSISOLatin1StringEncoding] autorelease];
}

NSDictionary* KLManagedValuesFromData(NSData* data, std::string* problem) {
  if (IsSignedProfile(data)) {
    *problem = "a signed configuration profile, which is not read: pass the unsigned profile, "
               "or install it";
    return nil;
  }
  id list = KLPropertyListFromData(data, problem);
  if (list == nil) return nil;
  if (![list isKindOfClass:[NSDictionary class]]) {
    *problem = "the property list is not a dictionary";
    return nil;
  }
  id payloads = [list objectForKey:@"PayloadContent"];
  if ([payloads isKindOfClass:[NSArray class]]) return ProfileValues(payloads, problem);
  return list;
}

KLTextDataProvider* KLRecordFromManagedValues(NSDictionary* values) {
  NSString* proxy = NonEmpty(ManagedText(values, @"ProxyURL"));
  const int32_t proxyPort = ManagedPort(values, @"ProxyPort");
  if (proxy != nil && proxyPort != 0) {
    proxy = [NSString stringWithFormat:@"%@:%d", proxy, proxyPort];
  }
  // Empty texts count as absent, as empty elements do in the file: only a non-empty key,
  // customer ID or customer name is activation data.
  KLTextDataProvider* record = [[KLTextDataProvider alloc]
       initWithKey:NonEmpty(ManagedText(values, @"ActivationKey"))
         serverURL:NonEmpty(ManagedText(values, @"ServerURL"))
              port:ManagedPort(values, @"ServerPort")
          isSecure:[ManagedText(values, @"ServerProtocol") isEqualToString:@"https"]
             proxy:proxy
      customerName:NonEmpty(ManagedText(values, @"CustomerName"))
        customerId:NonEmpty(ManagedText(values, @"CustomerID"))
       applianceId:0];
  return [record autorelease];
}

KLSourceChoice KLChooseActivationSource(const KLSourceRequest& request) {
  KLSourceChoice choice;
  KLTextDataProvider* managed = nil;
  if (request.managedPreferences) {
    NSDictionary* values = nil;
    KLSourceLook look = LookAtManagedPreferences(request, &values);
    if (values != nil) {
      choice.managedValues = values;
      managed = KLRecordFromManagedValues(values);
      look.hasData = [managed containData];
    }
    choice.looked.push_back(look);
  }
  const bool managedData = [managed containData];
  if (managedData && request.prefillLog != KLPrefillLog::kNone) {
    LogInstallerMessage(std::string("Managed preferences ") + kKLManagedDomain + " have been found",
                        "");
  }
  if ((request.besidePackage || !request.packagePath.empty() || !request.dataPath.empty()) &&
      !(managedData && request.stopAtManagedData)) {
    // The install log's entry says whether the user will be asked: not when the profile answers.
    KLSourceRequest fileRequest = request;
    if (managedData) fileRequest.prefillLog = KLPrefillLog::kNone;
    choice.looked.push_back(LookAtFile(fileRequest, &choice.fileRecord));
  }
  for (const KLSourceLook& look : choice.looked) {
    if (!look.hasData) continue;
    choice.record = look.kind == KLSourceKind::kManagedPreferences ? managed : choice.fileRecord;
    choice.source = look.kind;
    KLApplyPrefill(choice.record, &choice.input);
    break;
  }
  ApplyTyped(request.typed, &choice.input, &choice.overrides);
  if (choice.record == nil && request.typed.ActivationData()) {
    choice.source = KLSourceKind::kOptions;
  }
  return choice;
}
