// One activation: the lock, the sources, the checks, then the validation rounds.
#ifndef KELVORY_TOOLS_KELVORY_ACTIVATE_ACTIVATE_H_
#define KELVORY_TOOLS_KELVORY_ACTIVATE_ACTIVATE_H_

#include "HeadlessPlatform.h"
#include "Options.h"

namespace kl::activate {

// Runs the activation `o` asks for and returns its exit code, having printed the report.
int Activate(const Options& o, HeadlessPlatform* platform);

}  // namespace kl::activate

#endif  // KELVORY_TOOLS_KELVORY_ACTIVATE_ACTIVATE_H_
