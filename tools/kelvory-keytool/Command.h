// The keytool's subcommands: each adds itself to the command line, with its options, and runs
// once the command line is read. main only dispatches.
#ifndef KELVORY_TOOLS_KELVORY_KEYTOOL_COMMAND_H_
#define KELVORY_TOOLS_KELVORY_KEYTOOL_COMMAND_H_

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

namespace kl::keytool {

// Exit codes: 0 success, 1 the input was refused, 2 usage error.
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

// A subcommand on the command line and what runs it, returning the exit code.
struct Subcommand {
  CLI::App* app;
  std::function<int()> run;
};

// Each adds its subcommand to `app`; --help lists them in the order they are added.
Subcommand AddDecodeCommand(CLI::App& app);
Subcommand AddEndpointCommand(CLI::App& app);
Subcommand AddEncodeCommand(CLI::App& app);
Subcommand AddPrefillCommand(CLI::App& app);
Subcommand AddDoctorCommand(CLI::App& app);

/// Says `message` on standard error and returns kExitUsage.
int UsageError(const std::string& message);

}  // namespace kl::keytool

#endif  // KELVORY_TOOLS_KELVORY_KEYTOOL_COMMAND_H_
