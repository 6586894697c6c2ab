#include "ScriptParser.h"

namespace kl::host {

namespace {

// Splits `text` at its first space: the word before it, and in `rest` what follows that one
// space. False when there is no space at all (then `rest` is left empty).
bool SplitWord(const std::string& text, std::string* word, std::string* rest) {
  const size_t space = text.find(' ');
  *word = text.substr(0, space);
  *rest = space == std::string::npos ? std::string() : text.substr(space + 1);
  return space != std::string::npos;
}

bool ParseIndex(const std::string& text, int* value) {
  if (text.empty() || text.size() > 4 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *value = std::stoi(text);
  return true;
}

bool IsBlank(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

// Parses one line into `step`; the reason when it is malformed.
std::string ParseLine(const std::string& line, const std::set<std::string>& outlets,
                      ScriptStep* step) {
  std::string verb, rest;
  const bool hasRest = SplitWord(line, &verb, &rest);
  const auto needOutlet = [&](const std::string& name) -> std::string {
    if (name.empty()) return "\"" + verb + "\" needs an outlet";
    if (outlets.count(name) == 0) return "unknown outlet \"" + name + "\"";
    step->outlet = name;
    return "";
  };
  if (verb == "continue" || verb == "back" || verb == "wait" || verb == "focus") {
    if (hasRest) return "\"" + verb + "\" takes nothing after it";
    step->kind = verb == "continue" ? ScriptStep::Kind::kContinue
                 : verb == "back"   ? ScriptStep::Kind::kBack
                 : verb == "wait"   ? ScriptStep::Kind::kWait
                                    : ScriptStep::Kind::kFocus;
    return "";
  }
  if (verb == "key") {
    step->kind = ScriptStep::Kind::kKey;
    step->text = rest;
    if (rest != "tab" && rest != "return" && rest != "escape" && rest != "up" && rest != "down" &&
        rest != "left" && rest != "right" && rest != "space") {
      return "\"key\" needs tab, return, escape, up, down, left, right or space";
    }
    return "";
  }
  if (verb == "type") {
    step->kind = ScriptStep::Kind::kType;
    if (!hasRest) return "\"type\" needs an outlet";
    std::string outlet;
    SplitWord(rest, &outlet, &step->text);
    return needOutlet(outlet);
  }
  if (verb == "select") {
    step->kind = ScriptStep::Kind::kSelect;
    std::string outlet, numbers, row, column;
    SplitWord(rest, &outlet, &numbers);
    const std::string error = needOutlet(outlet);
    if (!error.empty()) return error;
    SplitWord(numbers, &row, &column);
    if (!ParseIndex(row, &step->row) || !ParseIndex(column, &step->column)) {
      return "\"select\" needs an outlet, a row and a column (numbers from 0)";
    }
    return "";
  }
  if (verb == "screenshot") {
    step->kind = ScriptStep::Kind::kScreenshot;
    step->text = rest;
    return step->text.empty() ? "\"screenshot\" needs a file" : "";
  }
  return "unknown step \"" + verb + "\"";
}

}  // namespace

Script ParseScript(const std::string& text, const std::set<std::string>& outlets) {
  Script script;
  size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (IsBlank(line) || line[0] == '#') continue;
    ScriptStep step;
    step.line = number;
    const std::string error = ParseLine(line, outlets, &step);
    if (!error.empty()) {
      script.steps.clear();
      script.error = "line " + std::to_string(number) + ": " + error;
      return script;
    }
    script.steps.push_back(step);
  }
  return script;
}

}  // namespace kl::host
