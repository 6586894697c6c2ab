// Loading the plug-in bundle, and the harness's look at its panes' outlets (for scripts and the
// transcript; an installer never reads them).
#ifndef KELVORY_TOOLS_KELVORY_INSTALLER_PLUGINLOADER_H_
#define KELVORY_TOOLS_KELVORY_INSTALLER_PLUGINLOADER_H_

#import <InstallerHost/InstallerHost.h>

#include <set>
#include <string>

namespace kl::host {

/// Loads the bundle at `path` and makes its principal class's section (owned by the caller).
/// nil, with the reason in `error`, when the bundle cannot be loaded or its principal class is
/// not an installer section.
InstallerSection* KLLoadPlugin(const std::string& path, std::string* error);

/// The section's panes as the installer finds them: none when shouldLoad says NO; otherwise
/// (after willLoadMainNib and didLoadMainNib) firstPane and each pane's nextPane, each once.
NSArray* KLSectionPanes(InstallerSection* section);

/// A pane's outlet (any object instance variable) by name; nil when it has none by that name.
id KLOutlet(id pane, const std::string& name);

/// A pane's BOOL instance variable by name; NO when it has none by that name.
BOOL KLFlag(id pane, const std::string& name);

/// The names of every object instance variable of the panes: the outlets a script may name.
std::set<std::string> KLPaneOutlets(NSArray* panes);

}  // namespace kl::host

#endif  // KELVORY_TOOLS_KELVORY_INSTALLER_PLUGINLOADER_H_
