#include "prefill.h"

#import <Foundation/Foundation.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <iostream>
#include <string>

#include "JsonOutput.h"
#import "KLStringBridge.h"
#import "KLTextDataProvider.h"

namespace {

// Why the file cannot be used, or the empty text when it can. The record itself stays silent
// on a bad file, so the tool finds the reason on its own, the same way the record reads.
std::string FileProblem(const std::string& path, NSString* nsPath, bool textFormat) {
  if (nsPath == nil) {
    return "cannot use the path " + path + ": not a valid file name";
  }
  FILE* file = fopen(path.c_str(), "r");
  if (file == NULL) {
    return "cannot open " + path + ": " + strerror(errno);
  }
  // Opening a directory succeeds; the first read is what fails.
  errno = 0;
  const bool failed = fgetc(file) == EOF && ferror(file);
  const int readErrno = errno;
  fclose(file);
  if (failed) {
    return "cannot read " + path + ": " + strerror(readErrno);
  }
  if (textFormat) {
    return std::string();  // an empty or binary text file is still read
  }
  NSData* data = [NSData dataWithContentsOfFile:nsPath];
  if (data == nil) {
    return "cannot read " + path;
  }
  if ([data length] == 0) {
    return path + " is empty, not a well-formed XML document";
  }
  NSError* error = nil;
  NSXMLDocument* document = [[NSXMLDocument alloc] initWithData:data options:0 error:&error];
  if (document == nil) {
    std::string message = path + " is not a well-formed XML document";
    // Only a parser's own words: GNUstep leaves the description empty ("NSXMLErrorDomain 0").
    const std::string detail =
        KLStdString([[error userInfo] objectForKey:NSLocalizedDescriptionKey]);
    if (!detail.empty()) {
      message += ": " + detail;
    }
    return message;
  }
  [document release];
  return std::string();
}

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

void PrintReadable(const nlohmann::json& values, const std::string& error) {
  static const char* const kTextNames[] = {"activationKey", "customerId", "customerName",
                                           "serverURL"};
  std::cout << "containData: " << (values["containData"].get<bool>() ? "true" : "false") << "\n";
  for (const char* name : kTextNames) {
    std::cout << name << ": " << values[name].get<std::string>() << "\n";
  }
  std::cout << "isHTTPS: " << (values["isHTTPS"].get<bool>() ? "true" : "false") << "\n"
            << "serverPort: " << values["serverPort"].get<int64_t>() << "\n"
            << "applianceId: " << values["applianceId"].get<int64_t>() << "\n"
            << "proxyServer: " << values["proxyServer"].get<std::string>()
            << "\n"
            // As JSON: an address may be empty or start with a space.
            << "serverURLs: "
            << values["serverURLs"].dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
            << "\n";
  if (!error.empty()) {
    std::cout << "error: " << error << "\n";
  }
  std::cout.flush();
}

}  // namespace

int RunPrefill(const std::string& path, bool json, bool textFormat) {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  NSString* nsPath =
      [[NSFileManager defaultManager] stringWithFileSystemRepresentation:path.c_str()
                                                                  length:strlen(path.c_str())];
  const std::string error = FileProblem(path, nsPath, textFormat);

  KLTextDataProvider* record = [KLTextDataProvider alloc];
  record = textFormat ? [record initWithTextFile:nsPath] : [record initWithXmlFile:nsPath];
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
  [record release];

  if (json) {
    if (!error.empty()) {
      values["error"] = error;
    }
    PrintJson(values);
  } else {
    PrintReadable(values, error);
  }
  [pool drain];
  return error.empty() ? 0 : 1;
}
