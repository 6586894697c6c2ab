// InitialValidate's --help text and each exit code's meaning.
#ifndef KELVORY_TOOLS_INITIALVALIDATE_HELP_H_
#define KELVORY_TOOLS_INITIALVALIDATE_HELP_H_

#include "KLToolExitCodes.h"

namespace kl::validate {

// Each exit code's meaning, from the exit-code table.
const char* Meaning(ToolExitCode code);

// Prints the usage, the server requests, the configuration and the exit codes.
void PrintHelp();

}  // namespace kl::validate

#endif  // KELVORY_TOOLS_INITIALVALIDATE_HELP_H_
