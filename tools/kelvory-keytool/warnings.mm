#include "warnings.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>

#import "KLActivationSource.h"
#include "KLHelper.h"
#include "KLKeyDecoder.h"
#import "KLStringBridge.h"

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

// The port at the end of a proxy text host:port, or -1 when it names none.
int64_t ProxyPort(std::string proxy) {
  KLHelper::TrimSpace(proxy);
  const size_t colon = proxy.rfind(':');
  if (colon == std::string::npos || proxy.find(':') != colon) return -1;  // none, or IPv6
  const std::string digits = proxy.substr(colon + 1);
  if (digits.empty() || !KLHelper::IsAllDigits(digits)) return -1;
  return digits.size() > 10 ? INT64_MAX : std::stoll(digits);
}

// The type of a managed value that is not a plain string or number, or the empty text. A
// boolean is a number to the reader, but nobody means a port or a name by one.
std::string ManagedTypeName(id value) {
  if ([value isKindOfClass:[[NSNumber numberWithBool:YES] class]]) return "a boolean";
  if ([value isKindOfClass:[NSString class]] || [value isKindOfClass:[NSNumber class]]) return "";
  if ([value isKindOfClass:[NSDate class]]) return "a date";
  if ([value isKindOfClass:[NSData class]]) return "data";
  if ([value isKindOfClass:[NSArray class]]) return "an array";
  if ([value isKindOfClass:[NSDictionary class]]) return "a dictionary";
  return "of another type";
}

// What the managed-values reader makes of a value of the wrong type: a boolean is taken as the
// number it holds, anything else as absent.
std::string ReadAs(const std::string& name, id value) {
  if (![value isKindOfClass:[NSNumber class]]) return "it is ignored";
  if (name == "ServerProtocol") return "it is read as http";
  const std::string text = KLStdString([value stringValue]);
  if (name == "ServerPort" || name == "ProxyPort") {
    return "it is read as " + std::to_string(KLHelper::Atoi32(text));
  }
  return "it is read as " + Quoted(text);
}

}  // namespace

// Walks the pre-fill file as its reader does, in one pass: names the reader does not know at
// the levels it reads, the protocol's text, and where the parser gave up.
struct LintState {
  std::vector<DoctorWarning> found;
  std::vector<std::string> open;  // the names of the open elements, the root first
  std::string protocol;
  bool inProtocol = false;
  NSInteger line = 0;
  NSInteger column = 0;
  bool failed = false;
};

// (GCC does not construct C++ members of Objective-C objects: the state lives outside.)
@interface KLPrefillLinter : NSObject <NSXMLParserDelegate> {
 @public
  LintState* s;
}
@end

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"

@implementation KLPrefillLinter

- (void)parser:(NSXMLParser*)parser
    didStartElement:(NSString*)name
       namespaceURI:(NSString*)namespaceURI
      qualifiedName:(NSString*)qualifiedName
         attributes:(NSDictionary*)attributes {
  const std::string element = KLStdString(name);
  // The reader looks at the root's children and at the children of those it knows.
  const std::string level = s->open.size() == 1 ? "" : s->open.size() == 2 ? s->open[1] : "-";
  s->open.push_back(element);
  const auto known = kXmlChildren.find(level);
  if (known == kXmlChildren.end()) return;
  const std::vector<std::string>& names = known->second;
  if (std::find(names.begin(), names.end(), element) == names.end()) {
    std::vector<std::string> tags;
    for (const std::string& k : names) tags.push_back("<" + k + ">");
    s->found.push_back(
        {"unknown-name", UnknownText("element", "<" + element + ">", tags,
                                     level.empty() ? "" : " inside <" + level + ">")});
    s->open.back() = "-";  // its children are not read, so not checked
  } else if (level == "Server" && element == "Protocol") {
    s->inProtocol = true;
    s->protocol.clear();
  }
}

- (void)parser:(NSXMLParser*)parser foundCharacters:(NSString*)characters {
  if (s->inProtocol) s->protocol += KLStdString(characters);
}

- (void)parser:(NSXMLParser*)parser
    didEndElement:(NSString*)name
     namespaceURI:(NSString*)namespaceURI
    qualifiedName:(NSString*)qualifiedName {
  if (s->inProtocol && s->open.size() == 3) {
    s->inProtocol = false;
    if (s->protocol != "http" && s->protocol != "https") {
      s->found.push_back({"protocol-text", ProtocolText("<Protocol>", s->protocol)});
    }
  }
  if (!s->open.empty()) s->open.pop_back();
}

- (void)parser:(NSXMLParser*)parser parseErrorOccurred:(NSError*)error {
  if (s->failed) return;
  s->failed = true;
  s->line = [parser lineNumber];
  s->column = [parser columnNumber];
}

@end

#pragma GCC diagnostic pop

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
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  NSData* data =
      [NSData dataWithContentsOfFile:[[NSFileManager defaultManager]
                                         stringWithFileSystemRepresentation:path.c_str()
                                                                     length:path.size()]];
  if ([data length] == 0) return {};
  NSXMLParser* parser = [[NSXMLParser alloc] initWithData:data];
  LintState state;
  KLPrefillLinter* linter = [[KLPrefillLinter alloc] init];
  linter->s = &state;
  [parser setDelegate:linter];
  [parser parse];
  std::vector<DoctorWarning> out = state.found;
  // A file that is not well-formed gives the record nothing: only where it breaks matters.
  if (state.failed) {
    out = {{"malformed-at", "the XML parser stopped at line " + std::to_string(state.line) +
                                ", column " + std::to_string(state.column)}};
  }
  [linter release];
  [parser release];
  return out;
}

std::vector<DoctorWarning> TextFileWarnings(const std::string& path) {
  static const std::vector<std::string> kKeys = {
      "activationKey", "customerID", "customerName", "serverURL", "useSecureConnection", "port"};
  std::vector<DoctorWarning> out;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    // The reader's separators: the first word is the key, the second its value, the rest lost.
    std::vector<std::string> words;
    for (size_t at = 0; (at = line.find_first_not_of("=, \r", at)) != std::string::npos;) {
      const size_t end = line.find_first_of("=, \r", at);
      words.push_back(line.substr(at, end - at));
      at = end;
    }
    if (words.empty()) continue;
    if (std::find(kKeys.begin(), kKeys.end(), words[0]) == kKeys.end()) {
      out.push_back({"unknown-name", UnknownText("key", Quoted(words[0]), kKeys, "")});
    } else if (words.size() > 2) {
      out.push_back({"first-word-only", "the value of " + Quoted(words[0]) +
                                            " goes on past a blank or a comma; only " +
                                            Quoted(words[1]) + " is read"});
    }
  }
  return out;
}

std::vector<DoctorWarning> ManagedWarnings(NSDictionary* values) {
  // A payload's own keys sit beside the values in a profile's payload: known, never read.
  static const std::vector<std::string> kPayloadKeys = {
      "PayloadType",        "PayloadIdentifier",       "PayloadUUID",         "PayloadVersion",
      "PayloadDisplayName", "PayloadDescription",      "PayloadOrganization", "PayloadEnabled",
      "PayloadScope",       "PayloadRemovalDisallowed"};
  std::vector<DoctorWarning> out;
  std::vector<std::string> known;
  for (const char* const* k = kKLManagedKeys; *k != nullptr; ++k) known.push_back(*k);
  NSArray* keys = [[values allKeys] sortedArrayUsingSelector:@selector(compare:)];
  for (NSUInteger i = 0; i < [keys count]; ++i) {
    id key = [keys objectAtIndex:i];
    const std::string name = KLStdString([key description]);
    if (std::find(kPayloadKeys.begin(), kPayloadKeys.end(), name) != kPayloadKeys.end()) continue;
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      out.push_back({"unknown-name", UnknownText("key", Quoted(name), known, "")});
      continue;
    }
    id value = [values objectForKey:key];
    const std::string type = ManagedTypeName(value);
    if (!type.empty()) {
      out.push_back({"wrong-type",
                     "the value of " + Quoted(name) + " is " + type + "; " + ReadAs(name, value)});
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
