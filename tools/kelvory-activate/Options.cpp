#include "Options.h"

#include <pwd.h>

#include <CLI/CLI.hpp>
#include <cstdio>

#include "KLPlatform.h"
#include "ProgramDirectory.h"
#include "Report.h"
#include "RunGuard.h"

namespace kl::activate {

int ReadCommandLine(int argc, char** argv, Options& o) {
  CLI::App app{
      "kelvory-activate: activates the Kelvory agent without the installer's window, with the "
      "activation panes' own checks, validation and configuration.\n"
      "Exit codes: 0 activated (or dry run, or already activated), 1 refused by the checks, "
      "2 usage error, 3 every validation attempt failed (with --retry: of the last round), 4 the "
      "configuration file, or the lock it is written under, could not be made, 5 no source gave "
      "any activation data, 6 timed out, interrupted, or another activation holds the lock.\n"
      "Sources, first to last: options, then managed preferences, then the pre-fill file. The "
      "first of the preferences and the file that holds activation data gives the values; "
      "options override them one by one."};
  app.add_flag("--version", "Print the name and version (alone on the command line)");
  app.add_option("--package", o.package, "The package file; its folder holds the pre-fill");
  app.add_option("--data", o.data, "A pre-fill file (InstallationData.xml form)");
  app.add_flag("--text", o.text, "--data is in the key=value text form");
  app.add_option("--target", o.target, "The destination volume (default /)");
  app.add_option("--tool", o.tool, "The validation tool (default: InitialValidate beside this)");
  app.add_flag("--json", o.json, "One JSON object on standard output");
  app.add_flag("--dry-run", o.dryRun, "Run the checks and show the tool runs; start nothing");
  app.add_flag("--unless-activated", o.unlessActivated,
               "Do nothing when /tmp/kelvor.conf ends with a complete activation (the panes ran): "
               "a regular file with one link, owned by root, by this run's user or by "
               "--installer-user, of which only the last 64 KiB are read; never in a "
               "command-line install (COMMAND_LINE_INSTALL=1)");
  app.add_option("--installer-user", o.installerUser,
                 "The user who ran the Installer (NAME or UID; empty: none known), whose "
                 "/tmp/kelvor.conf --unless-activated trusts");
  app.add_option("--managed-preferences", o.managedPath,
                 "Read managed preferences (before the pre-fill file): from this property list "
                 "(XML or binary; the flat dictionary or a whole unsigned configuration profile), "
                 "or without PLIST the forced preferences of the domain "
                 "com.kelvory.activation (a configuration profile, on macOS)")
      ->expected(0, 1)
      ->type_name("[PLIST]");
  app.add_flag("--retry", o.retry,
               "When every server address of a round failed to connect (the tool's code 10), "
               "walk them again after a pause: below 2 s at first, the bound doubling up to 60 s, "
               "each drawn at random. Any other failure ends the run at once; when the next pause "
               "would leave less than 1 s before --timeout, the run ends as failed (3). With "
               "--timeout 0 it retries until a server answers or the run is stopped");
  app.add_option("--timeout", o.timeout,
                 "Time limit in seconds for the whole run, the wait for another activation "
                 "included (default 300; 0 for none)");
  app.add_option("--key", o.key, "Activation key (the key form)");
  app.add_option("--customer-name", o.customerName, "Customer name (the customer form)");
  app.add_option("--customer-id", o.customerId, "Customer ID (the customer form)");
  app.add_option("--server", o.server, "Server address(es), comma-separated");
  app.add_option("--protocol", o.protocol, "http or https")
      ->check(CLI::IsMember({"http", "https"}));
  app.add_option("--port", o.port, "Server port, as typed");
  app.add_option("--proxy", o.proxy, "Proxy host[:port]");
  const auto interrupted = [&o] {
    Report report;
    return Stopped(&report, o.json, false, "");
  };
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    if (StopRequested() != StopReason::kNone) return interrupted();
    app.exit(e);  // prints the message and usage to standard error
    return Code(ExitCode::kUsage);
  }
  if (StopRequested() != StopReason::kNone) return interrupted();
  ArmTimeLimit(o.timeout);

  o.hasKey = app.count("--key") > 0;
  o.hasName = app.count("--customer-name") > 0;
  o.hasId = app.count("--customer-id") > 0;
  o.hasServer = app.count("--server") > 0;
  o.hasProtocol = app.count("--protocol") > 0;
  o.hasPort = app.count("--port") > 0;
  o.hasProxy = app.count("--proxy") > 0;
  o.managed = app.count("--managed-preferences") > 0;
  const bool customer = o.hasName || o.hasId || o.hasServer || o.hasProtocol || o.hasPort;
  std::string usage;
  if (!o.package.empty() && !o.data.empty()) usage = "--package and --data exclude each other";
  if (o.hasKey && customer) usage = "--key and the customer form's options exclude each other";
  if (o.package.empty() && o.data.empty() && !o.managed && !o.hasKey && !customer && !o.hasProxy) {
    usage =
        "no input: give --package, --data, --managed-preferences, --key or the customer form's "
        "options";
  }
  if (o.tool.empty()) o.tool = ProgramDirectory() + "/InitialValidate";
  if (o.tool.size() < 16 || o.tool.compare(o.tool.size() - 16, 16, "/InitialValidate") != 0) {
    usage = "--tool must name a file called InitialValidate (the plug-in runs it by that name)";
  }
  if (!o.installerUser.empty()) {
    const passwd* user = getpwnam(o.installerUser.c_str());
    if (user != nullptr) {
      o.installerUid = user->pw_uid;
    } else if (o.installerUser.find_first_not_of("0123456789") == std::string::npos &&
               o.installerUser.size() < 10) {
      o.installerUid = static_cast<uid_t>(std::stoul(o.installerUser));
    } else {
      usage = "--installer-user: no such user: " + o.installerUser;
    }
  }
  if (!usage.empty()) {
    std::fprintf(stderr, "kelvory-activate: %s\nRun with --help for more information.\n",
                 usage.c_str());
    return Code(ExitCode::kUsage);
  }
  return -1;
}

}  // namespace kl::activate
