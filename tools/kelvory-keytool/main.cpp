// kelvory-keytool: decode and make activation keys, parse endpoints and read pre-fill files,
// with the plug-in's own code, for administrators and for our tests.
#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "Command.h"
#include "ProcessBytes.h"
#include "VersionOption.h"

namespace kl::keytool {
KL_PROCESS_BYTES_PREINIT
}  // namespace kl::keytool

int main(int argc, char** argv) {
  using namespace kl::keytool;
  KL_PROCESS_BYTES_RESTORE();
  const int version = kl::HandleVersionOption(argc, argv, "kelvory-keytool");
  if (version >= 0) return version;
  CLI::App app{
      "Kelvory activation key tool.\n"
      "Exit codes: 0 success, 1 the key, endpoint or file was refused, 2 usage error.\n"
      "A value that starts with '-' can be given after '--'. Values are used as given."};
  app.require_subcommand(1);
  app.add_flag("--version", "Print the name and version (alone on the command line)");

  // Run in the order added, which is the order --help lists them in.
  const Subcommand subcommands[] = {AddDecodeCommand(app), AddEndpointCommand(app),
                                    AddEncodeCommand(app), AddPrefillCommand(app),
                                    AddDoctorCommand(app)};

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help or --version
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // CLI11 checks what is required before what is unknown: a mistyped option would otherwise be
    // reported as a missing subcommand or KEY.
    const std::vector<std::string> unknown = app.remaining(true);
    if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr && !unknown.empty()) {
      app.exit(CLI::ExtrasError(unknown));
    } else {
      app.exit(e);  // prints the message and usage to standard error
    }
    return kExitUsage;
  }

  for (const Subcommand& subcommand : subcommands) {
    if (subcommand.app->parsed()) return subcommand.run();
  }
  return kExitUsage;
}
