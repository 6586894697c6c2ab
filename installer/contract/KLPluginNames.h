// What the host reads from inside the plug-in by name, beyond the installer's API: its
// transcript follows the validation pane's verdict and busy flag, the leak check waits for the
// validation pane, and its exit path ends the plug-in's running tools. A rename in the plug-in
// fails the end-to-end scenarios (the verdict line, the wait limit, the tool ended on a signal)
// instead of silencing the host.
#ifndef KELVORY_INSTALLER_CONTRACT_KLPLUGINNAMES_H_
#define KELVORY_INSTALLER_CONTRACT_KLPLUGINNAMES_H_

namespace kl::plugin_names {

/// The validation pane's class, and its two instance variables the host watches.
constexpr char kValidationPane[] = "ValidDlgPane";
constexpr char kVerdictOutlet[] = "klValidationResult";  // an NSTextField: the verdict text
constexpr char kBusyFlag[] = "klPerformingValidation";   // a BOOL: a validation is running

/// The plug-in's `extern "C" void KLTerminateRunningTools()` (KLProcessSupervisor.h): the host
/// calls the plug-in's own copy on its way out, since only that copy knows the tools the
/// plug-in started.
constexpr char kTerminateTools[] = "KLTerminateRunningTools";

}  // namespace kl::plugin_names

#endif  // KELVORY_INSTALLER_CONTRACT_KLPLUGINNAMES_H_
