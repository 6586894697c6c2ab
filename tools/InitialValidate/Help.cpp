#include "Help.h"

#include <cstdio>

#include "KLToolExitCodes.h"

namespace kl::validate {

const char* Meaning(ToolExitCode code) {
  return kToolExitCodeTexts[static_cast<int>(code)].meaning;
}

void PrintHelp() {
  printf(
      "usage: InitialValidate -s server -n port -p http|https [-x proxy] -f conf-file\n"
      "                       [-c customer-name] [-i customer-id] [-a appliance-id] -l log-file\n"
      "\n"
      "Validates a customer (-c and/or -i) or an appliance (-a) with the management server at\n"
      "protocol://server:port, registers this machine and creates (replaces) the configuration\n"
      "file. Each option's value is the next argument, even one starting with '-'. -s may be a\n"
      "URL; only its host is used. -x is a libcurl proxy (host:port or http://host:port);\n"
      "without -x no proxy is used, whatever the environment says. A server host or proxy\n"
      "with white space or a control character is refused (code 1): both are written into\n"
      "the configuration file. HTTPS certificates are\n"
      "verified; KELVORY_CA_FILE names an extra CA file. --version prints the version; it and\n"
      "--help stand alone (with other arguments: code 9).\n"
      "\n"
      "Files. The configuration is written to a new file (mode 0600) beside -f and renamed over\n"
      "it, so a failure leaves the old file as it was. An -f that is not a regular file (a\n"
      "symbolic link included), belongs to another user or has more than one link is refused\n"
      "(code 16) before the server is asked. Progress is appended to the install log (-l, the\n"
      "same rules, code 17); until the configuration is in place, an entry that cannot be\n"
      "written ends the run with code 17. Control characters in logged values are escaped.\n"
      "\n"
      "Server requests (JSON bodies, answers with HTTP status 200; an answer larger than 64 KiB\n"
      "or nested deeper than 64 levels is not a management server's):\n"
      "  POST /api/v1/validate  {\"customerName\",\"customerId\"} or {\"applianceId\"}\n"
      "       -> {\"valid\": true} | {\"valid\": false, \"rejected\": \"customerName\"|\n"
      "          \"customerId\"|\"applianceId\", \"message\": ...}\n"
      "  POST /api/v1/register  the same fields plus {\"hostName\",\"osName\",\"osVersion\"}\n"
      "       -> {\"registered\": true, \"applianceId\": \"digits\"} |\n"
      "          {\"registered\": false, \"message\": ...}\n"
      "Fields the user did not give are left out; all values are strings.\n"
      "\n"
      "Configuration file (\\t is a tab):\n"
      "  [server]\n"
      "  \\tserver_0=<host>\n  \\tprotocol_0=<-p>\n  \\tport_0=<-n>\n"
      "  \\tproxy_0=<-x>           (only with -x)\n"
      "  \\tappliance_id=<-a, or the ID the server assigned to this machine>\n"
      "\n"
      "Exit codes (the lowest one wins among option faults):\n");
  for (int code = 0; code < kToolExitCodeCount; ++code)
    printf("  %2d  %s\n", code, Meaning(static_cast<ToolExitCode>(code)));
}

}  // namespace kl::validate
