// The validation tool's exit codes: its contract with the plug-in, which shows one message per
// code. One table holds each code's message (the plug-in's ERRORS, shown to the user) and its
// meaning (the reference tool's help and errors); the README is checked against it.
#ifndef KELVORY_INSTALLER_CONTRACT_KLTOOLEXITCODES_H_
#define KELVORY_INSTALLER_CONTRACT_KLTOOLEXITCODES_H_

namespace kl {

enum class ToolExitCode : int {
  kOk = 0,                     ///< validated, registered, configuration file written
  kMissingConnection = 1,      ///< server, port or protocol missing or invalid
  kDuplicateConnection = 2,    ///< server, port or protocol given twice
  kMissingConfigPath = 3,      ///< no configuration file path
  kDuplicateConfigPath = 4,    ///< configuration file path given twice
  kMissingIdentity = 5,        ///< no customer name, customer ID or appliance ID
  kConflictingIdentity = 6,    ///< an appliance ID together with a customer name or ID
  kMissingLogPath = 7,         ///< no install log path
  kDuplicateLogPath = 8,       ///< install log path given twice
  kUnrecognizedOption = 9,     ///< an unknown option, or an option without its value
  kCannotConnect = 10,         ///< no answer, or not one a management server gives
  kCustomerNameRejected = 11,  ///< the server does not know the customer name
  kCustomerIdRejected = 12,    ///< the server does not know the customer ID
  kApplianceIdRejected = 13,   ///< the server does not know the appliance ID
  kDiscoveryFailed = 14,       ///< host name, OS name or version unavailable
  kRegistrationRefused = 15,   ///< the server did not register the appliance
  kConfigFile = 16,            ///< the configuration file cannot be created or written
  kLogFile = 17,               ///< the install log cannot be created or written
  kRuntime = 18,               ///< an unexpected exception
};

/// The number of exit codes, 0 to 18.
constexpr int kToolExitCodeCount = 19;

/// One exit code: the message the plug-in shows for it, and what it means in the tool's words.
struct ToolExitCodeText {
  const char* message;
  const char* meaning;
};

/// Indexed by exit code.
inline constexpr ToolExitCodeText kToolExitCodeTexts[kToolExitCodeCount] = {
    {"The connectivity check is successful. The self registration is successful. The "
     "configuration file is created successfully.",
     "success: validated, registered, configuration file written"},
    {"Input connection option is invalid. Missing server IP, protocol or port.",
     "missing or invalid server (-s), port (-n, 1 to 65536) or protocol (-p, http or https)"},
    {"Input connection option is invalid. Duplicate server IP, protocol or port.",
     "-s, -n or -p given more than once"},
    {"Input connection option is invalid. Missing configuration file path.",
     "missing configuration file path (-f)"},
    {"Input connection option is invalid. Duplicate configuration file path.",
     "-f given more than once"},
    {"Input validation option is invalid. No customer name, customer ID or appliance ID.",
     "none of customer name (-c), customer ID (-i) or appliance ID (-a)"},
    {"Input validation option is invalid. Only one item of customer name, customer ID or "
     "appliance ID can be included in the input.",
     "appliance ID (-a) together with a customer name (-c) or ID (-i)"},
    {"Input connection option is invalid. Missing install log file path.",
     "missing install log path (-l)"},
    {"Input connection option is invalid. Duplicate install log file path.",
     "-l given more than once"},
    {"Unrecognized options in input.", "unrecognized option, or an option without its value"},
    {"Connection failed. Can not connect to the server with the input parameters.",
     "cannot connect to the server, or it does not answer as a management server"},
    {"Validation failed. The specified customer name can not be validated.",
     "the server rejected the customer name"},
    {"Validation failed. The specified customer ID can not be validated.",
     "the server rejected the customer ID"},
    {"Validation failed. The specified appliance ID can not be validated.",
     "the server rejected the appliance ID"},
    {"Local asset discovery failed. Check log file for more information.",
     "local discovery (host name, OS name and version) failed"},
    {"Server can not register the appliance. Contact system administrator for more information.",
     "the server refused to register the appliance"},
    {"Can not create or access the configuration file.",
     "cannot create or write the configuration file, or it is not ours to replace"},
    {"Can not create or access the install log file.",
     "cannot create or write the install log, or it is not ours to write"},
    {"Runtime exception occurred.", "unexpected exception"},
};

}  // namespace kl

#endif  // KELVORY_INSTALLER_CONTRACT_KLTOOLEXITCODES_H_
