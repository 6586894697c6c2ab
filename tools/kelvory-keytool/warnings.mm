#include "warnings.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <fstream>
#include <map>

#import "KLActivationSource.h"
#include "KLHelper.h"
#include "KLKeyDecoder.h"
#import "KLStringBridge.h"

// Collects where the parser gave up; the parse stops at the first fault.
@interface KLParseErrorCatcher : NSObject {
 @public
  NSInteger line;
  NSInteger column;
  BOOL failed;
}
@end

@implementation KLParseErrorCatcher
- (void)parser:(NSXMLParser*)parser parseErrorOccurred:(NSError*)error {
  (void)error;
  if (failed) return;
  failed = YES;
  line = [parser lineNumber];
  column = [parser columnNumber];
}
@end

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(tolower(c)); });
  return text;
}

size_t Distance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The element children of the pre-fill reader's levels, and where each is read.
const std::map<std::string, std::vector<std::string>> kXmlChildren = {
    {"", {"ActivationKey", "Customer", "Server", "Proxy"}},
    {"Customer", {"ID", "Name"}},
    {"Server", {"URL", "Protocol", "Port"}},
    {"Proxy", {"URL", "Port"}},
};

std::string UnknownText(const std::string& what, const std::string& name,
                        const std::vector<std::string>& known, const std::string& where) {
  std::string message = "unknown " + what + " " + name + where + " is ignored";
  const std::string nearest = NearestName(name, known);
  if (!nearest.empty()) message += "; did you mean " + nearest + "?";
  return message;
}

std::string ProtocolText(const std::string& where, const std::string& text) {
  return where + " is " + Quoted(text) + ", not exactly \"http\" or \"https\", so it is read as " +
         (text == "https" ? "https" : "http");
}

std::string PortText(const std::string& what, int64_t port) {
  return "port " + std::to_string(port) + " of " + what + " is outside 1-65535";
}

void CheckXmlLevel(NSXMLNode* node, const std::string& level, std::vector<DoctorWarning>* out) {
  const std::vector<std::string>& known = kXmlChildren.at(level);
  NSArray* children = [node children];
  for (NSUInteger i = 0; i < [children count]; ++i) {
    NSXMLNode* child = [children objectAtIndex:i];
    if ([child kind] != NSXMLElementKind) continue;
    const std::string name = KLStdString([child name]);
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      const std::string where = level.empty() ? "" : " inside <" + level + ">";
      std::vector<std::string> tags;
      for (const std::string& k : known) tags.push_back("<" + k + ">");
      out->push_back({"unknown-name", UnknownText("element", "<" + name + ">", tags, where)});
      continue;
    }
    if (kXmlChildren.count(name) != 0) CheckXmlLevel(child, name, out);
    if (level == "Server" && name == "Protocol") {
      const std::string text = KLStdString([child stringValue]);
      if (text != "http" && text != "https") {
        out->push_back({"protocol-text", ProtocolText("<Protocol>", text)});
      }
    }
  }
}

// The port at the end of a proxy text host:port, or -1 when it names none.
int64_t ProxyPort(std::string proxy) {
  KLHelper::TrimSpace(proxy);
  const size_t colon = proxy.rfind(':');
  if (colon == std::string::npos || proxy.find(':') != colon) return -1;  // none, or IPv6
  const std::string digits = proxy.substr(colon + 1);
  if (digits.empty() || !KLHelper::IsAllDigits(digits)) return -1;
  return digits.size() > 10 ? INT64_MAX : std::stoll(digits);
}

}  // namespace

std::string NearestName(const std::string& name, const std::vector<std::string>& known) {
  std::string best;
  size_t bestDistance = std::max<size_t>(1, name.size() / 3) + 1;
  for (const std::string& candidate : known) {
    const size_t d = Distance(Lower(name), Lower(candidate));
    if (d < bestDistance) {
      bestDistance = d;
      best = candidate;
    }
  }
  return best;
}

std::vector<DoctorWarning> XmlFileWarnings(const std::string& path) {
  std::vector<DoctorWarning> out;
  NSData* data =
      [NSData dataWithContentsOfFile:[[NSFileManager defaultManager]
                                         stringWithFileSystemRepresentation:path.c_str()
                                                                     length:path.size()]];
  if ([data length] == 0) return out;
  NSXMLDocument* document = [[NSXMLDocument alloc] initWithData:data options:0 error:NULL];
  if (document == nil) {
    NSXMLParser* parser = [[NSXMLParser alloc] initWithData:data];
    KLParseErrorCatcher* catcher = [[KLParseErrorCatcher alloc] init];
    [parser setDelegate:catcher];
    [parser parse];
    if (catcher->failed) {
      out.push_back({"malformed-at", "the XML parser stopped at line " +
                                         std::to_string(catcher->line) + ", column " +
                                         std::to_string(catcher->column)});
    }
    [catcher release];
    [parser release];
    return out;
  }
  CheckXmlLevel([document rootElement], "", &out);
  [document release];
  return out;
}

std::vector<DoctorWarning> TextFileWarnings(const std::string& path) {
  static const std::vector<std::string> kKeys = {
      "activationKey", "customerID", "customerName", "serverURL", "useSecureConnection", "port"};
  std::vector<DoctorWarning> out;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    // The reader's separators: the first word is the key.
    const size_t start = line.find_first_not_of("=, \r");
    if (start == std::string::npos) continue;
    const std::string key = line.substr(start, line.find_first_of("=, \r", start) - start);
    if (std::find(kKeys.begin(), kKeys.end(), key) == kKeys.end()) {
      out.push_back({"unknown-name", UnknownText("key", Quoted(key), kKeys, "")});
    }
  }
  return out;
}

std::vector<DoctorWarning> ManagedWarnings(NSDictionary* values) {
  std::vector<DoctorWarning> out;
  std::vector<std::string> known;
  for (const char* const* k = kKLManagedKeys; *k != nullptr; ++k) known.push_back(*k);
  NSArray* keys = [[values allKeys] sortedArrayUsingSelector:@selector(compare:)];
  for (NSUInteger i = 0; i < [keys count]; ++i) {
    id key = [keys objectAtIndex:i];
    const std::string name = KLStdString([key description]);
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      out.push_back({"unknown-name", UnknownText("key", Quoted(name), known, "")});
      continue;
    }
    id value = [values objectForKey:key];
    if (![value isKindOfClass:[NSString class]] && ![value isKindOfClass:[NSNumber class]]) {
      out.push_back({"wrong-type", "the value of " + Quoted(name) +
                                       " is not a string or a number, so it is ignored"});
    } else if (name == "ServerProtocol") {
      const std::string text = KLStdString([value description]);
      if (text != "http" && text != "https") {
        out.push_back({"protocol-text", ProtocolText("ServerProtocol", text)});
      }
    }
  }
  return out;
}

std::vector<DoctorWarning> InputWarnings(const KLActivationInput& input) {
  std::vector<DoctorWarning> out;
  if (input.activationOption == 0) {
    const KeyAnalysis key = AnalyzeKey(KLStdString(input.activationKey).c_str());
    for (const KLEndPoint& e : key.endpoints) {
      if (e.port < 1 || e.port > 65535) {
        out.push_back({"port-range", PortText("the key's endpoint " + e.host, e.port)});
      }
    }
  } else {
    std::string servers = KLStdString(input.serverURL);
    KLHelper::TrimSpace(servers);  // the pane trims the whole list, not its items
    // Split as the record splits the list: each piece as it stands.
    for (size_t start = 0, end = 0; start <= servers.size(); start = end + 1) {
      end = servers.find(',', start);
      if (end == std::string::npos) end = servers.size();
      const std::string item = servers.substr(start, end - start);
      if (!item.empty() && (KLHelper::IsCSpace(item.front()) || KLHelper::IsCSpace(item.back()))) {
        out.push_back({"server-list-blanks",
                       "server-list item " + Quoted(item) +
                           " has blanks around it; it is used as it stands, blanks included"});
      }
    }
    const std::string port = KLStdString(input.port);
    if (isinteger(input.port)) {
      const int32_t value = KLHelper::ScanInt32(port).value;
      if (value < 1 || value > 65535) out.push_back({"port-range", PortText("the server", value)});
    }
  }
  if (input.proxyOption == 1) {
    const int64_t port = ProxyPort(KLStdString(input.proxy));
    if (port == 0 || port > 65535) {
      out.push_back({"port-range", PortText("the proxy", port)});
    }
  }
  return out;
}
