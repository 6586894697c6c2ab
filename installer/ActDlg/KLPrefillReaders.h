// The pre-fill file's two readers, each in a file of its own: the XML form (InstallationData.xml)
// and the key=value text form. The activation data record's initWithXmlFile: and
// initWithTextFile: call them to fill its fields.
#ifndef KELVORY_INSTALLER_ACTDLG_KLPREFILLREADERS_H_
#define KELVORY_INSTALLER_ACTDLG_KLPREFILLREADERS_H_

#import <Foundation/Foundation.h>

#include <cstdint>

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
inline NSString** KLPrefillText(const KLPrefillFields& fields, prefill_schema::RecordField record) {
  switch (record) {
    case prefill_schema::RecordField::kActivationKey:
      return fields.activationKey;
    case prefill_schema::RecordField::kCustomerId:
      return fields.customerId;
    case prefill_schema::RecordField::kCustomerName:
      return fields.customerName;
    case prefill_schema::RecordField::kServerURL:
      return fields.serverURL;
    default:
      return nullptr;
  }
}

/// Reads an XML pre-fill file's bytes (at most 1 MiB) in one pass. A document that is not
/// well-formed fills nothing.
void KLReadPrefillXml(NSData* data, const KLPrefillFields& fields);

/// Reads the key=value text form's bytes (at most 1 MiB), echoing each line to the console.
void KLReadPrefillText(NSData* data, const KLPrefillFields& fields);

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

#endif  // KELVORY_INSTALLER_ACTDLG_KLPREFILLREADERS_H_
