// Starts kelvory-activate as a real process (no shell) for the tests of its outcomes.
#ifndef KELVORY_TESTS_ACTIVATERUN_H_
#define KELVORY_TESTS_ACTIVATERUN_H_

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "RunProcess.h"

namespace kl {

struct ActivateResult {
  int exitCode = -1;
  std::string out, err;
  nlohmann::json json;  ///< standard output parsed; discarded when it is no JSON
};

/// Runs kelvory-activate with `args` to its end, output captured and parsed.
inline ActivateResult ActivateRun(const std::vector<std::string>& args) {
  const ProcessRun run = RunProcess(ACTIVATE_PATH, args);
  return {run.exitCode, run.out, run.err, nlohmann::json::parse(run.out, nullptr, false)};
}

/// A dry run's first tool argument vector, space-separated, without the tool's path and the
/// fixed -f and -l (the values compared with it hold no spaces).
inline std::string ActivateShownArguments(const nlohmann::json& report) {
  if (!report.contains("argv") || report["argv"].empty()) return "(none)";
  const auto argv = report["argv"][0].get<std::vector<std::string>>();
  std::string shown;
  for (size_t i = 1; i < argv.size(); ++i) {
    if (argv[i] == "-f" || argv[i] == "-l") {
      ++i;
    } else {
      shown += (shown.empty() ? "" : " ") + argv[i];
    }
  }
  return shown;
}

}  // namespace kl

#endif  // KELVORY_TESTS_ACTIVATERUN_H_
