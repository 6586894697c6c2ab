#include "HostOptions.h"

#include <CLI/CLI.hpp>

#include "ProgramDirectory.h"
#include "VersionOption.h"

namespace kl::host {

int ParseHostOptions(int argc, char** argv, HostOptions* options) {
  const int version = HandleVersionOption(argc, argv, "kelvory-installer");
  if (version >= 0) return version;
  options->plugin = ProgramDirectory() + "/Kelvory.bundle";
  options->package = ProgramDirectory() + "/demo/Kelvory.pkg";
  CLI::App app{
      "kelvory-installer: a stand-in for the operating system's installer. Loads the plug-in "
      "bundle and shows its panes in a window, drives them from a script, or runs with no "
      "window. Transcript on standard output. Exit status: 0 when the last verdict was "
      "\"Validation Succeeded\" (in the language shown), 1 otherwise, 2 for usage and script "
      "errors, 3 when --leak-check "
      "finds objects of the plug-in still alive."};
  app.add_flag("--version", "Print the name and version (alone on the command line)");
  app.add_option("--plugin", options->plugin,
                 "The plug-in bundle (default: Kelvory.bundle beside this program)");
  app.add_option("--package", options->package,
                 "The package file; InstallationData.xml is looked for in its folder (default: "
                 "demo/Kelvory.pkg beside this program)");
  app.add_option("--target", options->target, "The destination volume (default: /)");
  app.add_option("--managed-preferences", options->managedPreferences,
                 "A property list (a preferences dictionary or a whole configuration profile) "
                 "standing in for the managed preferences a profile forces on a Mac");
  app.add_option("--language", options->language,
                 "Show the panes in this language, as the Installer would in a Mac's language: "
                 "en, de, fr, es or ja (default: the desktop's)")
      ->check(CLI::IsMember({"en", "de", "fr", "es", "ja"}));
  CLI::Option* script = app.add_option(
      "--script", options->script, "Drive the panes with the steps in FILE; alerts are not modal");
  CLI::Option* headless =
      app.add_flag("--headless", options->headless,
                   "No window: a complete pre-fill passes by itself and is validated");
  script->excludes(headless);
  app.add_flag("--leak-check", options->leakCheck,
               "At the end, free the plug-in; exit 3 if any of its objects live on");
  app.add_option("--wait-limit", options->waitLimit,
                 "Seconds a validation may run before the host gives up with status 1 "
                 "(default: 120)")
      ->check(CLI::Range(1, 3600));
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);  // the message and the usage on standard error
    return 2;
  }
  return -1;
}

}  // namespace kl::host
