// kelvory-keytool prefill: reads a pre-fill file the way the activation pane does and shows
// what the activation data record made of it.
#import <Foundation/Foundation.h>

#include <iostream>
#include <memory>
#include <string>

#include "Command.h"
#include "JsonOutput.h"
#import "KLActivationSource.h"
#include "KLPlatform.h"
#import "KLStringBridge.h"
#import "KLTextDataProvider.h"
#include "PlainText.h"
#import "Warnings.h"

namespace kl::keytool {

namespace {

// The record's console lines (each text line read, each address) would only repeat the values
// printed; standard error is for why a file cannot be used.
class QuietPlatform : public kl::DefaultPlatform {
 public:
  void ConsoleLog(kl::ConsoleCategory, const std::string&) override {}
};

// The addresses in the order the validation pane would try them, found by walking the
// record's own rotation until it wraps.
nlohmann::json RotationList(KLTextDataProvider* record) {
  nlohmann::json urls = nlohmann::json::array();
  [record resetURLs];
  do {
    urls.push_back(KLStdString([record currentURL]));
  } while ([record nextURL]);
  return urls;
}

void PrintReadable(const nlohmann::json& values) {
  static const char* const kTextNames[] = {"activationKey", "customerId", "customerName",
                                           "serverURL"};
  std::cout << "containData: " << (values["containData"].get<bool>() ? "true" : "false") << "\n";
  for (const char* name : kTextNames) {
    std::cout << name << ": " << PlainValue(values[name].get<std::string>()) << "\n";
  }
  std::cout << "isHTTPS: " << (values["isHTTPS"].get<bool>() ? "true" : "false") << "\n"
            << "serverPort: " << values["serverPort"].get<int64_t>() << "\n"
            << "applianceId: " << values["applianceId"].get<int64_t>() << "\n"
            << "proxyServer: " << PlainValue(values["proxyServer"].get<std::string>())
            << "\n"
            // As JSON: an address may be empty or start with a space.
            << "serverURLs: "
            << values["serverURLs"].dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
            << "\n";
  std::cout.flush();
}

// Reads `path` as the XML pre-fill file (or, with `textFormat`, as a key=value text file) and
// prints the record's nine values and its server address list to stdout: one JSON object with
// `json`, otherwise "name: value" lines. Why a file is unusable (missing, unreadable, not
// well-formed XML) goes to stderr. Returns the exit code: 0 when the file was read, else 1.
int RunPrefill(const std::string& path, bool json, bool textFormat) {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  QuietPlatform platform;
  kl::ScopedPlatform scope(&platform);
  KLSourceRequest request;
  request.dataPath = path;
  request.textFormat = textFormat;
  const KLSourceChoice choice = KLChooseActivationSource(request);
  const KLSourceLook& look = choice.looked.at(0);
  // No file, no record: only the reason, on standard error.
  KLTextDataProvider* record = choice.fileRecord;
  if (record != nil) {
    nlohmann::json values = nlohmann::json::object();
    values["containData"] = static_cast<bool>([record containData]);
    values["activationKey"] = KLStdString([record activationKey]);
    values["customerId"] = KLStdString([record customerId]);
    values["customerName"] = KLStdString([record customerName]);
    values["serverURL"] = KLStdString([record serverURL]);
    values["isHTTPS"] = static_cast<bool>([record isHTTPS]);
    values["serverPort"] = static_cast<int64_t>([record serverPort]);
    values["applianceId"] = static_cast<int64_t>([record applianceId]);
    values["proxyServer"] = KLStdString([record proxyServer]);
    values["serverURLs"] = RotationList(record);
    if (json) {
      PrintJson(values);
    } else {
      PrintReadable(values);
    }
  }
  // Standard output holds only what was read; why the file is unusable goes to standard error,
  // with where the parser stopped when that is known.
  if (!look.problem.empty()) {
    std::cerr << "kelvory-keytool: " << path << ": " << look.problem;
    for (const DoctorWarning& w : FileWarnings(look.report, textFormat)) {
      if (w.code == "malformed-at") std::cerr << " (" << w.message << ")";
    }
    std::cerr << "\n";
  }
  [pool drain];
  return look.problem.empty() ? 0 : 1;
}

}  // namespace

Subcommand AddPrefillCommand(CLI::App& app) {
  struct Options {
    std::string file;
    bool json = false;
    bool textFormat = false;
  };
  const auto o = std::make_shared<Options>();
  CLI::App* prefill = app.add_subcommand(
      "prefill", "Read a pre-fill file (InstallationData.xml, or key=value text with --text) and "
                 "print the activation data it gives.");
  prefill->add_flag("--json", o->json, "Print one JSON object");
  prefill->add_flag("--text", o->textFormat, "Read the key=value text form instead of XML");
  prefill->add_option("FILE", o->file, "The file to read")->required();
  return {prefill, [o] { return RunPrefill(o->file, o->json, o->textFormat); }};
}

}  // namespace kl::keytool
