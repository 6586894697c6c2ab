// Where the activation input of the command-line tools comes from: the pre-fill file beside the
// package or one given by path (XML or key=value text), the managed preferences of a
// configuration profile, and values typed as options. One order for every tool: options over
// managed preferences over the file; the first of the profile and the file that holds
// activation data supplies the record, and options override it field by field. The activation
// pane comes here too, for the profile and the file beside the package.
#ifndef KELVORY_INSTALLER_ACTDLG_KLACTIVATIONSOURCE_H_
#define KELVORY_INSTALLER_ACTDLG_KLACTIVATIONSOURCE_H_

#import <Foundation/Foundation.h>

#include <optional>
#include <string>
#include <vector>

#import "KLActivationInput.h"
#import "KLManagedValues.h"
#import "KLPrefillFile.h"
#import "KLPrefillReaders.h"

@class KLTextDataProvider;

enum class KLSourceKind { kNone, kOptions, kManagedPreferences, kDataFile, kPackageFolder };

/// "none", "options", "managed-preferences", "data-file" or "package-folder".
const char* KLSourceName(KLSourceKind kind);

/// Values typed as a person would type them into the activation pane; unset when not given.
struct KLTypedValues {
  std::optional<std::string> key, customerName, customerId, server, protocol, port, proxy;
  /// Any of the customer form's values (name, ID, server, protocol, port) is given.
  bool CustomerForm() const;
  /// A key, a customer name or a customer ID is given (even empty: typed on purpose).
  bool ActivationData() const;
};

struct KLSourceRequest {
  std::string packagePath;             ///< look for InstallationData.xml beside it; empty: do not
  bool besidePackage = false;          ///< look beside the package even without a path (the pane)
  std::string dataPath;                ///< a pre-fill file given by path; empty: none
  bool textFormat = false;             ///< `dataPath` is in the key=value text form
  bool managedPreferences = false;     ///< read the managed preferences
  std::string managedPreferencesPath;  ///< from this property-list file; empty: the platform's
  /// The install log's entries: "Managed preferences com.kelvory.activation have been found"
  /// when they give activation data, otherwise the found / not found entry for the file beside
  /// the package.
  KLPrefillLog prefillLog = KLPrefillLog::kNone;
  /// The file is not looked at when the managed preferences give activation data (the pane).
  bool stopAtManagedData = false;
  KLTypedValues typed;
};

/// One place looked at, in the order of precedence.
struct KLSourceLook {
  KLSourceKind kind = KLSourceKind::kNone;
  std::string location;    ///< a file's path, or the domain for the platform's preferences
  bool found = false;      ///< there is something readable there
  bool hasData = false;    ///< it holds activation data (a key, a customer ID or name)
  std::string problem;     ///< why nothing could be read there; empty when found
  KLPrefillReport report;  ///< a file's: what its reader passed over
};

struct KLSourceChoice {
  KLActivationInput input;                    ///< what the checks get
  KLTextDataProvider* record = nil;           ///< the record that supplied the input (autoreleased)
  KLSourceKind source = KLSourceKind::kNone;  ///< its source; kOptions when options alone
  std::vector<KLSourceLook> looked;           ///< every source asked for, profile first
  std::vector<std::string> overrides;         ///< option names applied over the record, in order
  /// One line for each profile key whose text counts as not given (KLIsWholeText), for the
  /// console and the headless tool's message.
  std::vector<std::string> notes;
  NSDictionary* managedValues = nil;     ///< the managed preferences read (autoreleased), or nil
  KLTextDataProvider* fileRecord = nil;  ///< the file's record when one was read (autoreleased)
};

/// Looks at every source the request names and settles the input. Never fails: a source that
/// cannot be read is a look with a problem.
KLSourceChoice KLChooseActivationSource(const KLSourceRequest& request);

/// Text typed from bytes: UTF-8 when it is, otherwise one character per byte, so that the
/// pane's ASCII rule refuses it instead of the text going missing.
NSString* KLTypedText(const std::string& bytes);

#endif  // KELVORY_INSTALLER_ACTDLG_KLACTIVATIONSOURCE_H_
