#import "KLPrefillReaders.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "KLHelper.h"
#include "KLInstallLog.h"
#include "KLPlatform.h"
#import "KLPrefillFile.h"  // kPrefillMaxBytes
#include "KLPrefillSchema.h"

namespace {

// Separators of the key=value text file: "key = value", "key=value, more" and CRLF endings
// all split the same way.
const char kTextSeparators[] = "=, \r\n";

// One read of the text file takes at most 255 bytes; a longer line comes in pieces.
const int kTextLineBuffer = kl::kPrefillTextPieceBytes + 1;

// The field whose text key is `key` exactly, or null.
const kl::prefill_schema::Field* FieldOfKey(const char* key) {
  for (const kl::prefill_schema::Field& field : kl::prefill_schema::kFields) {
    if (field.textKey != NULL && strcmp(key, field.textKey) == 0) return &field;
  }
  return NULL;
}

// Fills the record's field of `field` from the text `value`.
void TakeValue(const kl::prefill_schema::Field& field, const char* value,
               const KLPrefillFields& fields) {
  switch (field.record) {
    case kl::prefill_schema::RecordField::kIsHTTPS:
      *fields.isHTTPS = KLHelper::Atoi32(value) != 0;
      return;
    case kl::prefill_schema::RecordField::kServerPort:
      *fields.serverPort = KLHelper::Atoi32(value);
      return;
    default:
      // Invalid UTF-8 gives nil, which unsets the field again.
      if (NSString** text = KLPrefillText(fields, field.record)) {
        KLAdoptText(text, [[NSString alloc] initWithUTF8String:value]);
      }
      return;
  }
}

}  // namespace

void KLReadPrefillText(NSData* data, const KLPrefillFields& fields, KLPrefillReport* report) {
  // At most 1 MiB, as the XML form.
  if ([data length] > static_cast<NSUInteger>(kl::kPrefillMaxBytes)) return;
  const char* bytes = static_cast<const char*>([data bytes]);
  const size_t size = [data length];
  char line[kTextLineBuffer];
  int lineNumber = 1;
  bool restOfLine = false;  // the piece before did not reach its line's end
  // A line as fgets would give it: up to its line break, at most sizeof line - 1 bytes.
  for (size_t at = 0; at < size;) {
    size_t length = 0;
    while (length + 1 < sizeof line && at + length < size) {
      if (bytes[at + length++] == '\n') break;
    }
    memcpy(line, bytes + at, length);
    line[length] = '\0';
    at += length;
    const bool pieceOfLine = restOfLine;
    const int number = lineNumber;
    restOfLine = bytes[at - 1] != '\n';
    if (!restOfLine) ++lineNumber;
    kl::CurrentPlatform().ConsoleLog(kl::ConsoleCategory::kActivation, std::string(line) + "\n");
    // strtok_r: the same splitting as strtok without its hidden shared state.
    char* rest = NULL;
    const char* key = strtok_r(line, kTextSeparators, &rest);
    const char* value = key != NULL ? strtok_r(NULL, kTextSeparators, &rest) : NULL;
    const kl::prefill_schema::Field* field = key != NULL ? FieldOfKey(key) : NULL;
    if (report != nullptr && key != NULL) {
      using Kind = KLPrefillSkip::Kind;
      if (pieceOfLine) {
        report->skipped.push_back({Kind::kLineInPieces, key, "", "", number});
      } else if (field == NULL) {
        report->skipped.push_back({Kind::kUnknownName, key, "", "", number});
      } else if (value != NULL && strtok_r(NULL, kTextSeparators, &rest) != NULL) {
        report->skipped.push_back({Kind::kLostWords, key, "", value, number});
      }
    }
    if (value != NULL && field != NULL) TakeValue(*field, value, fields);
  }
}
