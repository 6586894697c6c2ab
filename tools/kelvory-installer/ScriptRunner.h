// Runs a checked script's steps against the host, as a person would at the window.
#ifndef KELVORY_TOOLS_KELVORY_INSTALLER_SCRIPTRUNNER_H_
#define KELVORY_TOOLS_KELVORY_INSTALLER_SCRIPTRUNNER_H_

#import "HostWindow.h"
#include "ScriptParser.h"

namespace kl::host {

/// Runs each step in turn, then waits for a running validation's verdict. A step that cannot
/// be done (an outlet not on the current pane, a cell that does not exist) ends the host with
/// status 2; a button that is off is written as "ignored: continue|back".
void KLRunScript(KLHostController* host, const Script& script);

}  // namespace kl::host

#endif  // KELVORY_TOOLS_KELVORY_INSTALLER_SCRIPTRUNNER_H_
