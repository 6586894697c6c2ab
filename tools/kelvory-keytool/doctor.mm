#include "doctor.h"

#import <Foundation/Foundation.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <iostream>
#include <string>
#include <vector>

#include "JsonOutput.h"
#import "KLActivationInput.h"
#include "KLEndPoint.h"
#include "KLHelper.h"
#include "KLKeyDecoder.h"
#include "KLPlatform.h"
#import "KLStringBridge.h"
#import "KLTextDataProvider.h"
#import "KLValidation.h"
#include "KLValidationTool.h"

namespace {

using nlohmann::json;

// The report lists the argument vectors with this in place of the plug-in's resource folder.
const char kResourcePlaceholder[] = "<resources>";

// The system's resolver, without the console lines the record and the text reader write: the
// report already says what they read.
class QuietPlatform : public kl::DefaultPlatform {
 public:
  void ConsoleLog(const std::string&) override {}
};

std::string Quoted(const std::string& text) {
  return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

NSString* FileName(const std::string& path) {
  return [[NSFileManager defaultManager] stringWithFileSystemRepresentation:path.c_str()
                                                                     length:path.size()];
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Why a path gives the pane no file, or the empty text when there is a regular file there.
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
  return std::string();
}

// Why a file that is there gives no activation data. The record stays silent on a bad file,
// so the reason is found here, reading the way the record reads.
std::string UnusableFile(const std::string& path, bool textFormat, KLTextDataProvider* record) {
  FILE* file = fopen(path.c_str(), "r");
  if (file == NULL) return "cannot be read: " + std::string(strerror(errno));
  errno = 0;
  const bool failed = fgetc(file) == EOF && ferror(file);
  const int readErrno = errno;
  fclose(file);
  if (failed) return "cannot be read: " + std::string(strerror(readErrno));
  if (!textFormat) {
    NSData* data = [NSData dataWithContentsOfFile:FileName(path)];
    if ([data length] == 0) return "empty, not a well-formed XML document";
    NSXMLDocument* document = [[NSXMLDocument alloc] initWithData:data options:0 error:NULL];
    if (document == nil) return "not a well-formed XML document";
    [document release];
  }
  if (![record containData]) {
    return "holds no activation data (no activation key, customer ID or customer name), so the "
           "pane does not fill itself and asks the user";
  }
  return std::string();
}

json RecordValues(KLTextDataProvider* record) {
  return {{"containData", static_cast<bool>([record containData])},
          {"activationKey", KLStdString([record activationKey])},
          {"customerId", KLStdString([record customerId])},
          {"customerName", KLStdString([record customerName])},
          {"serverURL", KLStdString([record serverURL])},
          {"isHTTPS", static_cast<bool>([record isHTTPS])},
          {"serverPort", static_cast<int64_t>([record serverPort])},
          {"proxyServer", KLStdString([record proxyServer])}};
}

// Resolution of a host through the platform; null when there is no host to ask about.
json Resolves(const std::string& host) {
  if (host.empty()) return nullptr;
  return KLHelper::IsValidFQDN(host);
}

// The decoder's view of a key, with every endpoint of its first field parsed on its own: the
// decoder stops at the first bad one, an administrator wants them all.
json KeyReport(const std::string& key) {
  const KeyAnalysis analysis = AnalyzeKey(key.c_str());
  json report = {{"text", key},
                 {"decoded", analysis.decoded},
                 {"fieldCount", analysis.fields.size()},
                 {"applianceId", nullptr},
                 {"applianceType", nullptr},
                 {"decoderAlert", nullptr},
                 {"endpoints", json::array()}};
  if (analysis.status != kKeyDecodeOk) {
    report["decoderAlert"] = KeyDecodeStatusMessage(analysis.status);
  }
  if (analysis.fields.size() != 4) return report;
  report["applianceId"] = analysis.fields[1];
  report["applianceType"] = analysis.fields[2];
  for (const std::string& text : KLHelper::SplitString(analysis.fields[0], ",")) {
    const KLEndPoint endpoint(text);
    report["endpoints"].push_back({{"text", text},
                                   {"valid", endpoint.isValid},
                                   {"protocol", endpoint.protocol},
                                   {"host", endpoint.host},
                                   {"port", endpoint.port},
                                   {"message", endpoint.errorMessage},
                                   {"resolves", Resolves(endpoint.host)}});
  }
  return report;
}

bool HasLayoutCharacters(const std::string& key) {
  return key.find_first_of("\r\n\t") != std::string::npos ||
         (!key.empty() && (key.front() == ' ' || key.back() == ' '));
}

// A plain-words cause for the refusals that come from a common slip, or null.
json LikelyCause(const KLActivationRefusal& refusal, const std::string& key, bool fromFile,
                 KLTextDataProvider* record) {
  if (refusal.field != "activationKey") return nullptr;
  if (HasLayoutCharacters(key)) {
    if (!fromFile) {
      return "The key holds line breaks, tabs or spaces around it, and the pane uses a key "
             "exactly as given. Copy the key without them.";
    }
    return "The key holds line breaks, tabs or spaces around it: a key written on its own "
           "line inside <ActivationKey> carries the line breaks and indentation with it, and the "
           "pane uses a key exactly as given, so this file is always refused. Write the key on "
           "one line with its tags: <ActivationKey>KEY</ActivationKey>.";
  }
  if (fromFile && key.empty() &&
      ([[record customerId] length] == 0) != ([[record customerName] length] == 0)) {
    return "The file gives a customer ID or a customer name but not both, so the pane keeps the "
           "key form and finds no key. Give both (or an activation key).";
  }
  return nullptr;
}

// One entry per server address of the checked record, in the order the validation tries them.
json ValidationRuns(KLTextDataProvider* checked) {
  json runs = json::array();
  [checked resetURLs];
  do {
    const ValidationRequest request = KLValidationRequestFromRecord(checked);
    runs.push_back({{"server", request.serverURL},
                    {"resolves", Resolves(request.serverURL)},
                    {"argv", ValidationArguments(kResourcePlaceholder, request)}});
  } while ([checked nextURL]);
  return runs;
}

// The pane never gets text that is not UTF-8; bytes that are not are taken one character each,
// so that the pane's own ASCII rule refuses them.
NSString* TypedText(const std::string& bytes) {
  NSString* text = KLNSString(bytes);
  if (text != nil) return text;
  return [[[NSString alloc] initWithBytes:bytes.data()
                                   length:bytes.size()
                                 encoding:NSISOLatin1StringEncoding] autorelease];
}

std::string YesNo(const json& value) {
  if (value.is_null()) return "no host";
  return value.get<bool>() ? "yes" : "no";
}

// Endpoint messages end each fault with a line feed; on one line they read better joined.
std::string OneLine(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) {
    text.replace(at, 1, "; ");
  }
  return text;
}

std::string Text(const json& value) {
  return value.is_string() ? value.get<std::string>()
                           : value.dump(-1, ' ', false, json::error_handler_t::replace);
}

void PrintPlain(const json& r) {
  std::ostream& out = std::cout;
  if (!r["file"].is_null()) {
    const json& file = r["file"];
    out << "pre-fill file: " << Quoted(file["path"]) << "\n"
        << "found: " << (file["found"].get<bool>() ? "yes" : "no") << "\n";
    if (!file["problem"].is_null()) out << "problem: " << Text(file["problem"]) << "\n";
  }
  if (!r["read"].is_null()) {
    out << "read:\n";
    static const char* const kNames[] = {"containData",  "activationKey", "customerId",
                                         "customerName", "serverURL",     "isHTTPS",
                                         "serverPort",   "proxyServer"};
    for (const char* name : kNames) {
      const json& value = r["read"][name];
      out << "  " << name << ": " << (value.is_string() ? Quoted(value) : Text(value)) << "\n";
    }
  }
  if (!r["form"].is_null()) out << "form: " << Text(r["form"]) << "\n";
  out << "passes by itself: " << (r["passes"].get<bool>() ? "yes" : "no") << "\n";
  if (!r["alert"].is_null()) {
    out << "alert: " << Text(r["alert"]) << "\nfield at fault: " << Text(r["field"]) << "\n";
  }
  if (!r["likelyCause"].is_null()) out << "likely cause: " << Text(r["likelyCause"]) << "\n";
  if (!r["key"].is_null()) {
    const json& key = r["key"];
    out << "key: " << Quoted(key["text"]) << "\n"
        << "  decoded text: " << Quoted(key["decoded"]) << "\n"
        << "  field count: " << key["fieldCount"].get<size_t>() << " (4 expected)\n";
    if (!key["applianceId"].is_null()) {
      out << "  appliance identifier: " << Quoted(key["applianceId"]) << "\n"
          << "  appliance type: " << Quoted(key["applianceType"]) << "\n";
    }
    out << "  decoder: "
        << (key["decoderAlert"].is_null() ? "accepted" : "refused: " + Text(key["decoderAlert"]))
        << "\n";
    size_t number = 0;
    for (const json& e : key["endpoints"]) {
      out << "  endpoint " << ++number << ": " << Quoted(e["text"]) << ": ";
      if (e["valid"].get<bool>()) {
        out << "valid, protocol=" << Text(e["protocol"]) << " host=" << Text(e["host"])
            << " port=" << e["port"].get<int32_t>();
      } else {
        out << "invalid: " << OneLine(Text(e["message"]));
      }
      out << "; resolves: " << YesNo(e["resolves"]) << "\n";
    }
  }
  if (!r["validation"].empty()) out << "validation runs:\n";
  size_t number = 0;
  for (const json& run : r["validation"]) {
    out << "  server " << ++number << ": " << Quoted(run["server"])
        << "; resolves: " << YesNo(run["resolves"]) << "\n"
        << "    argv: " << Text(run["argv"]) << "\n";
  }
  out.flush();
}

}  // namespace

int RunDoctor(const DoctorRequest& request) {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  QuietPlatform platform;
  kl::ScopedPlatform scope(&platform);

  json report = {{"input", nullptr}, {"file", nullptr},
                 {"read", nullptr},  {"form", nullptr},
                 {"passes", false},  {"alert", nullptr},
                 {"field", nullptr}, {"likelyCause", nullptr},
                 {"key", nullptr},   {"validation", json::array()}};
  KLActivationInput input;
  KLTextDataProvider* record = nil;
  bool filled = false;
  if (request.input == DoctorInput::kKey) {
    report["input"] = "key";
    input.activationKey = TypedText(request.value);
    filled = true;
  } else {
    std::string path;
    std::string problem;
    if (request.input == DoctorInput::kPackage) {
      report["input"] = "package";
      // The pane's own lookup decides whether there is a file; the checks here only say why not.
      path = KLStdString(KLPrefillPathBeside(TypedText(request.value)));
      record = [KLReadPrefillBeside(TypedText(request.value), NO) retain];
      problem = MissingFile(path);
      if (record == nil && problem.empty()) problem = "not found";
    } else {
      report["input"] = "data";
      path = request.value;
      problem = MissingFile(path);
      if (problem.empty()) {
        record = [KLTextDataProvider alloc];
        record = request.textFormat ? [record initWithTextFile:FileName(path)]
                                    : [record initWithXmlFile:FileName(path)];
      }
    }
    const bool found = record != nil;
    if (found) {
      problem = UnusableFile(path, request.textFormat, record);
      report["read"] = RecordValues(record);
    }
    report["file"] = {{"path", path}, {"found", found}, {"problem", nullptr}};
    if (!problem.empty()) report["file"]["problem"] = problem;
    if (found && [record containData]) {
      KLApplyPrefill(record, &input);
      filled = true;
    }
  }

  if (filled) {
    report["form"] = input.activationOption == 0 ? "key" : "customer";
    // A typed key is reported byte for byte, even where it is not text.
    const std::string key =
        request.input == DoctorInput::kKey ? request.value : KLStdString(input.activationKey);
    KLActivationRefusal refusal;
    KLTextDataProvider* checked = KLCreateCheckedRecord(input, &refusal);
    if (input.activationOption == 0 && !key.empty()) report["key"] = KeyReport(key);
    if (checked != nil) {
      report["passes"] = true;
      report["validation"] = ValidationRuns(checked);
      [checked release];
    } else {
      report["alert"] = refusal.message;
      report["field"] = refusal.field;
      report["likelyCause"] = LikelyCause(refusal, key, request.input != DoctorInput::kKey, record);
    }
  }
  [record release];

  if (request.json) {
    PrintJson(report);
  } else {
    PrintPlain(report);
  }
  const bool passes = report["passes"].get<bool>();
  [pool drain];
  return passes ? 0 : 1;
}
