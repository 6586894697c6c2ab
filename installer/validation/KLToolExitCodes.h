// The validation tool's exit codes: its contract with the plug-in, which shows one message per
// code. The tool, its option parser and the plug-in's message table test all use these names.
#ifndef KELVORY_VALIDATION_KLTOOLEXITCODES_H_
#define KELVORY_VALIDATION_KLTOOLEXITCODES_H_

enum KLToolExitCode : int {
  kToolOk = 0,                     ///< validated, registered, configuration file written
  kToolMissingConnection = 1,      ///< server, port or protocol missing or invalid
  kToolDuplicateConnection = 2,    ///< server, port or protocol given twice
  kToolMissingConfigPath = 3,      ///< no configuration file path
  kToolDuplicateConfigPath = 4,    ///< configuration file path given twice
  kToolMissingIdentity = 5,        ///< no customer name, customer ID or appliance ID
  kToolConflictingIdentity = 6,    ///< an appliance ID together with a customer name or ID
  kToolMissingLogPath = 7,         ///< no install log path
  kToolDuplicateLogPath = 8,       ///< install log path given twice
  kToolUnrecognizedOption = 9,     ///< an unknown option, or an option without its value
  kToolCannotConnect = 10,         ///< no answer, or not one a management server gives
  kToolCustomerNameRejected = 11,  ///< the server does not know the customer name
  kToolCustomerIdRejected = 12,    ///< the server does not know the customer ID
  kToolApplianceIdRejected = 13,   ///< the server does not know the appliance ID
  kToolDiscoveryFailed = 14,       ///< host name, OS name or version unavailable
  kToolRegistrationRefused = 15,   ///< the server did not register the appliance
  kToolConfigFile = 16,            ///< the configuration file cannot be created or written
  kToolLogFile = 17,               ///< the install log cannot be created or written
  kToolRuntime = 18,               ///< an unexpected exception
};

/// The number of exit codes, 0 to 18.
constexpr int kToolExitCodeCount = 19;

#endif  // KELVORY_VALIDATION_KLTOOLEXITCODES_H_
