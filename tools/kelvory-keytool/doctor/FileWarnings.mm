// The doctor's warnings about a pre-fill file, XML or key=value text, worded from what its reader
// reported: the doctor reads no file of its own.
#include <algorithm>
#include <map>

#include "KLPrefillSchema.h"
#include "WarningText.h"
#import "Warnings.h"

namespace kl::keytool {

namespace {

using kl::prefill_schema::kFields;

// The element names the XML reader knows at each level it reads ("" the root's children), from
// the fields' table: the nearest of them is suggested.
std::map<std::string, std::vector<std::string>> XmlChildren() {
  std::map<std::string, std::vector<std::string>> children;
  const auto add = [&children](const std::string& level, const std::string& name) {
    std::vector<std::string>& names = children[level];
    if (std::find(names.begin(), names.end(), "<" + name + ">") == names.end()) {
      names.push_back("<" + name + ">");
    }
  };
  for (const kl::prefill_schema::Field& field : kFields) {
    if (field.xmlParent != nullptr) add("", field.xmlParent);
    add(field.xmlParent != nullptr ? field.xmlParent : "", field.xmlElement);
  }
  return children;
}

std::vector<std::string> TextKeys() {
  std::vector<std::string> keys;
  for (const kl::prefill_schema::Field& field : kFields) {
    if (field.textKey != nullptr) keys.push_back(field.textKey);
  }
  return keys;
}

DoctorWarning XmlWarning(const KLPrefillSkip& skip) {
  static const std::map<std::string, std::vector<std::string>> kKnown = XmlChildren();
  if (skip.kind == KLPrefillSkip::Kind::kProtocolText) {
    return {"protocol-text", ProtocolText("<" + skip.name + ">", skip.text)};
  }
  return {"unknown-name", UnknownText("element", "<" + skip.name + ">", kKnown.at(skip.parent),
                                      skip.parent.empty() ? "" : " inside <" + skip.parent + ">")};
}

DoctorWarning TextWarning(const KLPrefillSkip& skip) {
  static const std::vector<std::string> kKeys = TextKeys();
  switch (skip.kind) {
    case KLPrefillSkip::Kind::kLostWords:
      return {"first-word-only", "the value of " + Quoted(skip.name) +
                                     " goes on past a blank or a comma; only " + Quoted(skip.text) +
                                     " is read"};
    case KLPrefillSkip::Kind::kLineInPieces:
      return {"line-in-pieces",
              "line " + std::to_string(skip.line) + " is longer than " +
                  std::to_string(kl::kPrefillTextPieceBytes) +
                  " bytes; the reader cuts it there and reads the rest as a line of its own, " +
                  "with the key " + Quoted(skip.name)};
    default:
      return {"unknown-name", UnknownText("key", Quoted(skip.name), kKeys, "")};
  }
}

}  // namespace

std::vector<DoctorWarning> FileWarnings(const KLPrefillReport& report, bool textFormat) {
  // A file that is not well-formed gives the record nothing: only where it breaks matters.
  if (report.notWellFormed) {
    if (report.stoppedLine == 0) return {};
    return {{"malformed-at", "the XML parser stopped at line " +
                                 std::to_string(report.stoppedLine) + ", column " +
                                 std::to_string(report.stoppedColumn)}};
  }
  std::vector<DoctorWarning> out;
  for (const KLPrefillSkip& skip : report.skipped) {
    out.push_back(textFormat ? TextWarning(skip) : XmlWarning(skip));
  }
  return out;
}

}  // namespace kl::keytool
