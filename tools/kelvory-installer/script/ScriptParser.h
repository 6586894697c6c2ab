// The installer host's scripts: one step per line, checked whole before anything runs.
#ifndef KELVORY_TOOLS_KELVORY_INSTALLER_SCRIPT_SCRIPTPARSER_H_
#define KELVORY_TOOLS_KELVORY_INSTALLER_SCRIPT_SCRIPTPARSER_H_

#include <set>
#include <string>
#include <vector>

namespace kl::host {

struct ScriptStep {
  enum class Kind { kType, kSelect, kContinue, kBack, kWait, kScreenshot, kKey, kFocus };
  Kind kind = Kind::kContinue;
  int line = 0;        ///< 1-based line in the script
  std::string outlet;  ///< type, select
  std::string text;    ///< type: the text, verbatim; screenshot: the file; key: its name
  int row = 0;         ///< select
  int column = 0;      ///< select
};

struct Script {
  std::vector<ScriptStep> steps;
  std::string error;  ///< empty when the whole script is well-formed
};

/// Parses a script. Lines end in LF or CRLF; blank lines and lines starting with "#" are
/// skipped. Steps: "type OUTLET [TEXT]" (TEXT is the rest of the line after the single space
/// that follows OUTLET, kept verbatim; without it the text is empty), "select OUTLET ROW
/// COLUMN", "continue", "back", "wait", "screenshot FILE", "key
/// tab|return|escape|up|down|left|right|space" (a key pressed in the key window), "focus" (names
/// what has the keyboard focus). Every OUTLET must be in `outlets`. The first problem found gives
/// `error` ("line N: ...") and no steps.
Script ParseScript(const std::string& text, const std::set<std::string>& outlets);

}  // namespace kl::host

#endif  // KELVORY_TOOLS_KELVORY_INSTALLER_SCRIPT_SCRIPTPARSER_H_
