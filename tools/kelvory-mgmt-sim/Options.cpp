#include "Options.h"

#include <CLI/CLI.hpp>

#include "Limits.h"
#include "VersionOption.h"

namespace kl::sim {

int ParseOptions(int argc, char** argv, Options& o) {
  const int version = HandleVersionOption(argc, argv, "kelvory-mgmt-sim");
  if (version >= 0) return version;
  CLI::App app{"kelvory-mgmt-sim: a management server simulator on 127.0.0.1"};
  app.add_option("--port", o.port, "Port to listen on; 0 picks a free one")
      ->check(CLI::Range(0, 65535));
  app.add_option("--max-connections", o.maxConnections,
                 "Connections served at once, a worker each (default 512); past them a new "
                 "connection sheds the one that has waited longest for its request")
      ->check(CLI::Range(1, kMaxConnections));
  app.add_option("--customers", o.customersFile,
                 "JSON file: {\"customers\": [{\"name\", \"id\"}], \"appliances\": [...], "
                 "\"refuseRegistration\": [customer or appliance IDs]}; default: the customer "
                 "\"Demo Customer\" (ID 1001) and the appliance 42");
  CLI::Option* cert = app.add_option("--tls-cert", o.tlsCert,
                                     "PEM file: the server's certificate (then its chain); serves "
                                     "https instead of http")
                          ->check(CLI::ExistingFile);
  CLI::Option* key = app.add_option("--tls-key", o.tlsKey, "PEM file: the certificate's key")
                         ->check(CLI::ExistingFile);
  cert->needs(key);
  key->needs(cert);
  app.footer(
      "Serves POST /api/v1/validate and POST /api/v1/register (see InitialValidate --help), also "
      "in absolute form as a proxy receives them. Prints \"listening on 127.0.0.1:PORT\" first, "
      "then a line for each connection it accepts; "
      "stops on SIGINT or SIGTERM. Usage errors exit with 2.");
  app.add_flag("--version", "Print the name and version (alone on the command line)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help ends here too (exit 0, on standard output); errors go to standard error.
    return app.exit(e) == 0 ? 0 : 2;
  }
  return -1;
}

}  // namespace kl::sim
