// Choosing the activation input: the profile and the pre-fill file looked at in their order, why
// one gives nothing, and typed values over what they give (the profile's values themselves are
// read in prefill/KLManagedValues.mm).
#import "KLActivationSource.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "KLHelper.h"
#include "KLInstallLog.h"
#include "KLPlatform.h"
#include "KLPrefillSchema.h"
#import "KLStringBridge.h"
#import "KLTextDataProvider.h"

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// KLPrefillPathBeside in bytes: the last component (after any trailing slashes) replaced.
std::string PathBeside(std::string package) {
  while (package.size() > 1 && package.back() == '/') package.pop_back();
  const size_t slash = package.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : package.substr(0, slash + 1);
  return folder + "InstallationData.xml";
}

// Why a path gives no file, or the empty text when a regular file was read there.
// `tooLarge` says why a larger one is not read.
std::string MissingFile(const std::string& path, const kl::FileRead& read, const char* tooLarge) {
  if (path.empty()) return "no package path, so no folder to look in";
  switch (read.status) {
    case kl::FileReadStatus::kRead:
      return std::string();
    case kl::FileReadStatus::kDirectory:
      return "a directory of that name, not a file";
    case kl::FileReadStatus::kNotRegular:
      return "not a regular file (a FIFO or a device is never read)";
    case kl::FileReadStatus::kTooLarge:
      return tooLarge;
    case kl::FileReadStatus::kFailed: {
      // stat opens nothing: it only tells a file we may not read from one we cannot find.
      struct stat info;
      if (stat(path.c_str(), &info) == 0)
        return "cannot be read: " + std::string(strerror(read.error));
      return "cannot look for it: " + std::string(strerror(errno));
    }
    case kl::FileReadStatus::kMissing:
      break;
  }
  const std::string folder = FolderOf(path);
  struct stat folderInfo;
  if (stat(folder.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode)) {
    return "no such folder: " + folder;
  }
  return "no such file in " + folder;
}

// Why an XML pre-fill file that was read gives nothing, from its reader's report; `stoppedAt`
// gets where the parser stopped ("line L, column C") in a file that is not well-formed. A text
// file, even an empty or binary one, is always read.
std::string UnusableFile(const KLPrefillReport& report, std::string* stoppedAt) {
  if (!report.notWellFormed) return std::string();
  if (report.stoppedLine == 0) return "empty, not a well-formed XML document";
  *stoppedAt = "line " + std::to_string(report.stoppedLine) + ", column " +
               std::to_string(report.stoppedColumn);
  return "not a well-formed XML document";
}

NSData* BytesOf(const kl::FileRead& read) {
  return [NSData dataWithBytes:read.bytes.data() length:read.bytes.size()];
}

constexpr char kPrefillTooLarge[] =
    "larger than 1 MiB, which the pre-fill reader treats as unreadable";

// The install log only says that a pre-fill file or profile was found; when it gave the pane
// nothing, the console says why (one line each), so that a form left empty can be explained.
void SayWhyItGaveNothing(const std::string& what, const std::string& why) {
  kl::CurrentPlatform().ConsoleLog(kl::ConsoleCategory::kActivation,
                                   what + " gave the activation pane nothing: " + why);
}

// "<ActivationKey>, <Customer><ID> or <Customer><Name>": what a file must hold to pass.
std::string ActivationElements() {
  using kl::prefill_schema::RecordField;
  std::string names;
  for (const RecordField field :
       {RecordField::kActivationKey, RecordField::kCustomerId, RecordField::kCustomerName}) {
    const kl::prefill_schema::Field& f = kl::prefill_schema::FieldFor(field);
    names += std::string(names.empty()                         ? ""
                         : field == RecordField::kCustomerName ? " or "
                                                               : ", ") +
             (f.xmlParent != nullptr ? "<" + std::string(f.xmlParent) + ">" : "") + "<" +
             f.xmlElement + ">";
  }
  return names;
}

KLSourceLook LookAtManagedPreferences(const KLSourceRequest& request, NSDictionary** values) {
  KLSourceLook look;
  look.kind = KLSourceKind::kManagedPreferences;
  NSData* data = nil;
  if (request.managedPreferencesPath.empty()) {
    look.location = kKLManagedDomain;
    std::vector<std::string> keys;
    for (const kl::prefill_schema::Field& field : kl::prefill_schema::kFields) {
      keys.push_back(field.profileKey);
    }
    const std::string bytes = kl::CurrentPlatform().ManagedPreferences(kKLManagedDomain, keys);
    if (bytes.empty()) {
      look.problem = "no managed preferences are forced for this domain";
      return look;
    }
    data = [NSData dataWithBytes:bytes.data() length:bytes.size()];
  } else {
    look.location = request.managedPreferencesPath;
    const kl::FileRead read = kl::ReadRegularFile(look.location.c_str(), kl::kPrefillMaxBytes);
    look.problem = MissingFile(look.location, read, "larger than 1 MiB");
    if (!look.problem.empty()) return look;
    data = BytesOf(read);
  }
  *values = KLManagedValuesFromData(data, &look.problem);
  if (*values == nil) {
    if (request.prefillLog == KLPrefillLog::kPane) {
      SayWhyItGaveNothing("Managed preferences " + kl::EscapeControlCharacters(look.location),
                          "they could not be read (" + look.problem + ")");
    }
    return look;
  }
  look.found = true;
  return look;
}

KLSourceLook LookAtFile(const KLSourceRequest& request, KLTextDataProvider** record) {
  KLSourceLook look;
  kl::FileRead read;
  if (request.besidePackage || !request.packagePath.empty()) {
    look.kind = KLSourceKind::kPackageFolder;
    // The pane's own lookup decides whether there is a file; the checks only say why not. A
    // package path that is not UTF-8 keeps its bytes: Foundation's paths cannot hold them.
    if (KLHelper::IsWellFormedUtf8(request.packagePath)) {
      NSString* package = KLNSString(request.packagePath);
      look.location = KLStdString(KLPrefillPathBeside(package));
      *record = KLReadPrefillBeside(package, request.prefillLog, &read, &look.report);
    } else {
      look.location = PathBeside(request.packagePath);
      *record = KLReadPrefillAt(look.location, request.prefillLog, &read, &look.report);
    }
  } else {
    look.kind = KLSourceKind::kDataFile;
    look.location = request.dataPath;
    read = kl::ReadRegularFile(look.location.c_str(), kl::kPrefillMaxBytes);
    // A regular file that cannot be used still gives its (empty) record, as beside the package.
    if (kl::IsPrefillFile(look.location, read)) {
      KLTextDataProvider* made = [KLTextDataProvider alloc];
      made = request.textFormat ? [made initWithTextData:BytesOf(read) report:&look.report]
                                : [made initWithXmlData:BytesOf(read) report:&look.report];
      *record = [made autorelease];
    }
  }
  look.problem = MissingFile(look.location, read, kPrefillTooLarge);
  std::string stoppedAt;
  if (look.problem.empty()) {
    look.problem = UnusableFile(look.report, &stoppedAt);
  }
  if (*record != nil) {
    look.found = look.problem.empty();
    look.hasData = [*record containData];
    if (request.prefillLog == KLPrefillLog::kPane && !look.hasData) {
      const std::string file = "Pre-fill file " + kl::EscapeControlCharacters(look.location);
      if (!stoppedAt.empty()) {
        SayWhyItGaveNothing(file, look.problem + " (the XML parser stopped at " + stoppedAt + ")");
      } else if (!look.problem.empty()) {
        SayWhyItGaveNothing(file, look.problem);
      } else {
        SayWhyItGaveNothing(file, "it holds no activation data: none of " + ActivationElements() +
                                      " was read (element names are exact)");
      }
    }
  } else if (look.problem.empty()) {
    look.problem = "not found";
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
      for (const std::string& key : KLBrokenManagedTexts(values)) {
        choice.notes.push_back("the managed preferences' " + key +
                               " holds a NUL or text that is not valid, so it counts as not given");
        kl::CurrentPlatform().ConsoleLog(kl::ConsoleCategory::kActivation,
                                         "Managed preferences " +
                                             kl::EscapeControlCharacters(look.location) + ": " +
                                             choice.notes.back());
      }
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
