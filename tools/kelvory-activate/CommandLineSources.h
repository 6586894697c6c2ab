// Where kelvory-activate takes its input from: the sources its options name, in the order the
// panes use, and that choice reported in the tool's own words.
#ifndef KELVORY_TOOLS_KELVORY_ACTIVATE_COMMANDLINESOURCES_H_
#define KELVORY_TOOLS_KELVORY_ACTIVATE_COMMANDLINESOURCES_H_

#include <nlohmann/json.hpp>
#include <string>

#import "KLActivationSource.h"
#include "Options.h"

namespace kl::activate {

// The sources the options name, in the one order every tool uses.
KLSourceChoice ChooseSources(const Options& o);

// A file named on the command line that cannot be read is the caller's mistake, not an absence
// of data; empty when every named file could be read.
std::string UnreadableNamedFile(const Options& o, const KLSourceChoice& choice);

/// The message of the no-activation-data outcome: every place looked at, and what each held.
std::string NoActivationDataMessage(const KLSourceChoice& choice);

/// The report's fields about the input: `source` (a KLSourceName, "none" when nothing gave
/// activation data), `sourceLocation` (the file's path or the preferences' location; null for
/// options and none), `overrides` (the fields options set over the record) and `looked` (each
/// place: `source`, `location`, `found`, `hasData`, `problem`).
nlohmann::json SourceFields(const KLSourceChoice& choice);

/// A short plain line about the input: "source: NAME (LOCATION), options over it: ...".
std::string SourceLine(const KLSourceChoice& choice);

}  // namespace kl::activate

#endif  // KELVORY_TOOLS_KELVORY_ACTIVATE_COMMANDLINESOURCES_H_
