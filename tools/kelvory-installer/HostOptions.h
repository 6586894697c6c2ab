// The installer host's command line.
#ifndef KELVORY_TOOLS_KELVORY_INSTALLER_HOSTOPTIONS_H_
#define KELVORY_TOOLS_KELVORY_INSTALLER_HOSTOPTIONS_H_

#include <string>

namespace kl::host {

struct HostOptions {
  std::string plugin;   ///< the plug-in bundle
  std::string package;  ///< the package file; the pre-fill is looked for in its folder
  std::string target = "/";
  std::string managedPreferences;  ///< a property list standing in for a profile; empty: none
  std::string script;              ///< empty: no script
  std::string language;            ///< en, de, fr, es or ja; empty: the desktop's
  bool headless = false;
  bool leakCheck = false;
  int waitLimit = 120;  ///< seconds a validation may run before the host gives up (status 1)
};

/// Parses the command line into `options` (defaults beside this program). Returns -1 when the
/// host should run; otherwise the status to exit with at once: 0 after --help or --version, 2
/// after a usage message on standard error.
int ParseHostOptions(int argc, char** argv, HostOptions* options);

}  // namespace kl::host

#endif  // KELVORY_TOOLS_KELVORY_INSTALLER_HOSTOPTIONS_H_
