// The two requests to the management server: validate, then register this machine.
#ifndef KELVORY_TOOLS_INITIALVALIDATE_SERVERSTEPS_H_
#define KELVORY_TOOLS_INITIALVALIDATE_SERVERSTEPS_H_

#include <string>

#include "InstallLogFile.h"
#include "Options.h"
#include "ServerClient.h"

namespace kl::validate {

// A tool exit code: ToolExitCode::kOk when the server validated the identity.
ToolExitCode Validate(ServerClient& server, const Options& o, InstallLog& log);

// A tool exit code; on success `id` is this machine's appliance ID.
ToolExitCode Register(ServerClient& server, const Options& o, InstallLog& log, std::string& id);

}  // namespace kl::validate

#endif  // KELVORY_TOOLS_INITIALVALIDATE_SERVERSTEPS_H_
