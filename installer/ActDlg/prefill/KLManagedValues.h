// The managed preferences of a configuration profile, as the pre-fill reads them: the domain
// and its flat keys (the profile column of KLPrefillSchema.h), the values found in a property
// list or a whole profile, and the activation data record they give.
#ifndef KELVORY_INSTALLER_ACTDLG_PREFILL_KLMANAGEDVALUES_H_
#define KELVORY_INSTALLER_ACTDLG_PREFILL_KLMANAGEDVALUES_H_

#import <Foundation/Foundation.h>

#include <string>
#include <vector>

@class KLTextDataProvider;

/// The preferences domain a configuration profile fills for Kelvory.
extern const char kKLManagedDomain[];

/// The managed preferences' flat keys, each named after the pre-fill file's element path:
/// ActivationKey, CustomerID, CustomerName, ServerURL, ServerProtocol, ServerPort, ProxyURL,
/// ProxyPort (the profile column of KLPrefillSchema.h). Null-terminated.
extern const char* const kKLManagedKeys[];

/// True when a profile's text can be used whole: it holds no NUL (which would end it early in
/// every C string it becomes) and is valid text (no unpaired UTF-16 surrogate, which is also
/// how the Linux reader keeps bytes that are not UTF-8).
bool KLIsWholeText(NSString* text);

/// The profile keys in `values` whose text is not whole, in the order of kKLManagedKeys: each
/// counts as not given.
std::vector<std::string> KLBrokenManagedTexts(NSDictionary* values);

/// The record the managed preferences give, read as the pre-fill file is: texts as given, the
/// protocol https only for exactly "https", ports by the leading-integer rule (a number is
/// taken as it is), the proxy as URL:port or URL alone. A value of another type, or a text that
/// is not whole, is left out.
KLTextDataProvider* KLRecordFromManagedValues(NSDictionary* values);

/// The managed values in a property list (XML or binary): the flat dictionary itself, or, from a
/// whole configuration profile (a top-level PayloadContent array), its one payload for the
/// domain, of its own type or in the custom-settings form. nil with `problem` set when the data
/// is no dictionary, a signed profile, or a profile with no such payload or with several, or when
/// KLPropertyListFromData refuses it (too large, OpenStep text, too deep, damaged...).
NSDictionary* KLManagedValuesFromData(NSData* data, std::string* problem);

#endif  // KELVORY_INSTALLER_ACTDLG_PREFILL_KLMANAGEDVALUES_H_
