// The pre-fill fields, one row each: where the XML file (InstallationData.xml), the key=value
// text file and the managed preferences of a configuration profile spell it, and which field of
// the activation data record it fills. The readers, the profile's reader and the tools that
// write or check these files take the names from here, so that a field is renamed in one place.
#ifndef KELVORY_INSTALLER_CONTRACT_KLPREFILLSCHEMA_H_
#define KELVORY_INSTALLER_CONTRACT_KLPREFILLSCHEMA_H_

#include <cstddef>

namespace kl::prefill_schema {

/// The record's field a value fills (the activation data record's, KLPrefillFields).
enum class RecordField {
  kActivationKey,  ///< text
  kCustomerId,     ///< text
  kCustomerName,   ///< text
  kServerURL,      ///< text
  kIsHTTPS,        ///< the protocol: "https" in the XML file and the profile, non-zero in text
  kServerPort,     ///< the leading-integer rule
  kProxyHost,      ///< with kProxyPort the record's proxy: host, or host:port for a port not 0
  kProxyPort,      ///< the leading-integer rule
};

struct Field {
  /// The XML element: `xmlElement` under the root's child `xmlParent`, or the root's child
  /// itself when `xmlParent` is null.
  const char* xmlParent;
  const char* xmlElement;
  /// The key of the text form; null when the text form has none.
  const char* textKey;
  /// The managed preferences' flat key, named after the XML path.
  const char* profileKey;
  RecordField record;
};

/// In the order the profile's keys are asked for.
inline constexpr Field kFields[] = {
    {nullptr, "ActivationKey", "activationKey", "ActivationKey", RecordField::kActivationKey},
    {"Customer", "ID", "customerID", "CustomerID", RecordField::kCustomerId},
    {"Customer", "Name", "customerName", "CustomerName", RecordField::kCustomerName},
    {"Server", "URL", "serverURL", "ServerURL", RecordField::kServerURL},
    {"Server", "Protocol", "useSecureConnection", "ServerProtocol", RecordField::kIsHTTPS},
    {"Server", "Port", "port", "ServerPort", RecordField::kServerPort},
    {"Proxy", "URL", nullptr, "ProxyURL", RecordField::kProxyHost},
    {"Proxy", "Port", nullptr, "ProxyPort", RecordField::kProxyPort},
};
inline constexpr size_t kFieldCount = sizeof kFields / sizeof kFields[0];

/// The row filling `record` (each has one).
constexpr const Field& FieldFor(RecordField record) {
  for (const Field& field : kFields) {
    if (field.record == record) return field;
  }
  return kFields[0];
}

}  // namespace kl::prefill_schema

#endif  // KELVORY_INSTALLER_CONTRACT_KLPREFILLSCHEMA_H_
