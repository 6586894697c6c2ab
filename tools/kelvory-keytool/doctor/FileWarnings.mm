// The doctor's warnings about a pre-fill file, XML or key=value text.
#include <algorithm>
#include <map>
#include <sstream>

#include "KLInstallLog.h"  // ReadRegularFile
#include "KLPrefillSchema.h"
#import "KLStringBridge.h"
#import "KLTextDataProvider.h"  // kPrefillMaxBytes
#include "WarningText.h"
#import "Warnings.h"

using warning_text::ProtocolText;
using warning_text::Quoted;
using warning_text::UnknownText;

namespace {

using prefill_schema::FieldFor;
using prefill_schema::kFields;
using prefill_schema::RecordField;

// The element children of the pre-fill reader's levels ("" the root's), from the fields' table.
std::map<std::string, std::vector<std::string>> XmlChildren() {
  std::map<std::string, std::vector<std::string>> children;
  const auto add = [&children](const std::string& level, const std::string& name) {
    std::vector<std::string>& names = children[level];
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  };
  for (const prefill_schema::Field& field : kFields) {
    if (field.xmlParent != nullptr) add("", field.xmlParent);
    add(field.xmlParent != nullptr ? field.xmlParent : "", field.xmlElement);
  }
  return children;
}
const std::map<std::string, std::vector<std::string>> kXmlChildren = XmlChildren();
const prefill_schema::Field& kProtocol = FieldFor(RecordField::kIsHTTPS);

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
  } else if (level == kProtocol.xmlParent && element == kProtocol.xmlElement) {
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
      s->found.push_back(
          {"protocol-text",
           ProtocolText(std::string("<") + kProtocol.xmlElement + ">", s->protocol)});
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

std::vector<DoctorWarning> XmlFileWarnings(const std::string& path) {
  // Opened once without blocking, as the reader opens it: a FIFO swapped in since is not read.
  const FileRead read = ReadRegularFile(path.c_str(), kPrefillMaxBytes);
  if (read.status != FileReadStatus::kRead || read.bytes.empty()) return {};
  NSData* data = [NSData dataWithBytes:read.bytes.data() length:read.bytes.size()];
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
  static const std::vector<std::string> kKeys = [] {
    std::vector<std::string> keys;
    for (const prefill_schema::Field& field : kFields) {
      if (field.textKey != nullptr) keys.push_back(field.textKey);
    }
    return keys;
  }();
  std::vector<DoctorWarning> out;
  const FileRead read = ReadRegularFile(path.c_str(), kPrefillMaxBytes);
  std::istringstream in(read.status == FileReadStatus::kRead ? read.bytes : std::string());
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
