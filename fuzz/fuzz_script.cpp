// The installer host's script parser on arbitrary text: it never crashes, and what it accepts
// keeps its promises (known outlets only, line numbers in order, no line break inside a step,
// only the keys the host can press).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ScriptParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::set<std::string> kOutlets{"klActivationKeyField", "klProtocolMatrix"};
  const kl::host::Script script =
      kl::host::ParseScript(std::string(reinterpret_cast<const char*>(data), size), kOutlets);
  if (!script.error.empty() && !script.steps.empty()) std::abort();
  int line = 0;
  for (const kl::host::ScriptStep& step : script.steps) {
    if (step.line <= line) std::abort();
    line = step.line;
    if (step.text.find('\n') != std::string::npos) std::abort();
    const bool needsOutlet = step.kind == kl::host::ScriptStep::Kind::kType ||
                             step.kind == kl::host::ScriptStep::Kind::kSelect;
    if (needsOutlet != (kOutlets.count(step.outlet) == 1)) std::abort();
    static const std::set<std::string> kKeys{"tab",  "return", "escape", "up",
                                             "down", "left",   "right",  "space"};
    if (step.kind == kl::host::ScriptStep::Kind::kKey && kKeys.count(step.text) == 0) std::abort();
  }
  return 0;
}
