// The pre-fill file's two readers, each in a file of its own: the XML form (InstallationData.xml)
// and the key=value text form. The activation data record's initWithXmlData: and
// initWithTextData: call them to fill its fields; each says, when asked, what it passed over.
#ifndef KELVORY_INSTALLER_ACTDLG_PREFILL_KLPREFILLREADERS_H_
#define KELVORY_INSTALLER_ACTDLG_PREFILL_KLPREFILLREADERS_H_

#import <Foundation/Foundation.h>

#include <cstdint>
#include <string>
#include <vector>

#include "KLPrefillSchema.h"

/// The record's fields a reader fills. Each text is owned by the record: a reader replaces it
/// (nil unsets it).
struct KLPrefillFields {
  NSString** activationKey;
  NSString** customerId;
  NSString** customerName;
  NSString** serverURL;
  NSString** proxyServer;
  BOOL* isHTTPS;
  int64_t* serverPort;
};

/// The text field of `fields` that `record` names; null for the protocol, the ports and the
/// proxy's host (which the readers combine into proxyServer themselves).
inline NSString** KLPrefillText(const KLPrefillFields& fields,
                                kl::prefill_schema::RecordField record) {
  switch (record) {
    case kl::prefill_schema::RecordField::kActivationKey:
      return fields.activationKey;
    case kl::prefill_schema::RecordField::kCustomerId:
      return fields.customerId;
    case kl::prefill_schema::RecordField::kCustomerName:
      return fields.customerName;
    case kl::prefill_schema::RecordField::kServerURL:
      return fields.serverURL;
    default:
      return nullptr;
  }
}

/// One thing a reader passed over or read otherwise than a person may expect.
struct KLPrefillSkip {
  enum class Kind {
    kUnknownName,   ///< an element (XML) or key (text) the reader does not know: `name`, inside
                    ///< the known element `parent` ("" at the top level)
    kLostWords,     ///< text: the value of `name` goes on past a separator; `text` is what is read
    kLineInPieces,  ///< text: line `line` is longer than one read, and the rest is read as a line
                    ///< of its own, whose first word (its key) is `name`
    kProtocolText,  ///< XML: the protocol element `name` holds `text`, not exactly http or https
  };
  Kind kind;
  std::string name;
  std::string parent;
  std::string text;
  int line = 0;  ///< text: the line's number, from 1
};

/// What a reader reports of a file, for whoever explains it (the console, the key tool's
/// doctor), so that none of them reads the file a second way.
struct KLPrefillReport {
  std::vector<KLPrefillSkip> skipped;  ///< in the order read
  bool notWellFormed = false;          ///< XML: empty or not well-formed, so the file gave nothing
  long stoppedLine = 0;                ///< where the XML parser stopped (0: an empty document)
  long stoppedColumn = 0;
};

namespace kl {

/// The longest piece of a line the text reader takes at once, in bytes: a longer line is read
/// as several.
constexpr int kPrefillTextPieceBytes = 255;

}  // namespace kl

/// Reads an XML pre-fill file's bytes (at most 1 MiB) in one pass. A document that is not
/// well-formed fills nothing. `report`, when given, gets the unknown element names at the levels
/// read, the protocol texts, and where the parser stopped.
void KLReadPrefillXml(NSData* data, const KLPrefillFields& fields,
                      KLPrefillReport* report = nullptr);

/// Reads the key=value text form's bytes (at most 1 MiB), echoing each line to the console.
/// `report`, when given, gets the unknown keys, the values cut at a separator and the lines read
/// in pieces.
void KLReadPrefillText(NSData* data, const KLPrefillFields& fields,
                       KLPrefillReport* report = nullptr);

/// Replaces *field by a copy of `value` (nil unsets it). Inline, so that the static analyzer
/// sees who owns what.
inline void KLAssignText(NSString** field, NSString* value) {
  NSString* copied = [value copy];
  [*field release];
  *field = copied;
}

/// Takes ownership of `value`, which may be nil (unset).
inline void KLAdoptText(NSString** field, NSString* value) {
  [*field release];
  *field = value;
}

#endif  // KELVORY_INSTALLER_ACTDLG_PREFILL_KLPREFILLREADERS_H_
