// kelvory-keytool endpoint: one endpoint text parsed as the installer parses it.
#include <iostream>
#include <memory>
#include <string>

#include "Command.h"
#include "JsonOutput.h"
#include "KLEndPoint.h"
#include "PlainText.h"

namespace kl::keytool {

namespace {

int RunEndpoint(const std::string& text, bool json) {
  const KLEndPoint e(text);
  if (json) {
    PrintJson({{"isValid", e.isValid},
               {"protocol", e.protocol},
               {"host", e.host},
               {"port", e.port},
               {"errorMessage", e.errorMessage}});
  } else {
    std::cout << "isValid: " << (e.isValid ? "true" : "false")
              << "\nprotocol: " << PlainValue(e.protocol) << "\nhost: " << PlainValue(e.host)
              << "\nport: " << e.port << "\n";
    // One line: the message's own line feeds, between and after its faults, escaped too.
    if (!e.errorMessage.empty()) {
      std::cout << "errorMessage: "
                << PlainValue(e.errorMessage.substr(0, e.errorMessage.find_last_not_of('\n') + 1))
                << "\n";
    }
  }
  return e.isValid ? 0 : kExitRefused;
}

}  // namespace

Subcommand AddEndpointCommand(CLI::App& app) {
  struct Options {
    bool json = false;
    std::string text;
  };
  const auto o = std::make_shared<Options>();
  CLI::App* endpoint = app.add_subcommand(
      "endpoint", "Parse one endpoint text protocol://host:port as the installer does.");
  endpoint->add_flag("--json", o->json, "Print one JSON object");
  endpoint->add_option("TEXT", o->text, "The endpoint text, used as given")->required();
  return {endpoint, [o] { return RunEndpoint(o->text, o->json); }};
}

}  // namespace kl::keytool
