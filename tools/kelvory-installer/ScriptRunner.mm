#import "ScriptRunner.h"

#include "KLStringBridge.h"
#include "PluginLoader.h"
#include "Transcript.h"

namespace kl::host {

namespace {

void RunStep(KLHostController* host, const ScriptStep& step) {
  const std::string where = "line " + std::to_string(step.line) + ": ";
  id control = nil;
  if (step.kind == ScriptStep::Kind::kType || step.kind == ScriptStep::Kind::kSelect) {
    control = KLOutlet([host currentPane], step.outlet);
    if (control == nil) Fail(2, where + step.outlet + " is not on the current pane");
  }
  switch (step.kind) {
    case ScriptStep::Kind::kType:
      if (![control respondsToSelector:@selector(setStringValue:)]) {
        Fail(2, where + step.outlet + " is not a text field");
      }
      [control setStringValue:KLNSString(step.text)];
      break;
    case ScriptStep::Kind::kSelect:
      if (![control isKindOfClass:[NSMatrix class]] || step.row >= [control numberOfRows] ||
          step.column >= [control numberOfColumns]) {
        Fail(2, where + step.outlet + " has no radio button at that row and column");
      }
      [control selectCellAtRow:step.row column:step.column];
      [control sendAction];
      break;
    case ScriptStep::Kind::kContinue:
      if (![host pressContinue]) Say("ignored: continue");
      break;
    case ScriptStep::Kind::kBack:
      if (![host pressBack]) Say("ignored: back");
      break;
    case ScriptStep::Kind::kWait:
      [host waitForVerdict];
      break;
    case ScriptStep::Kind::kScreenshot:
      [host saveScreenshot:step.text];
      break;
    case ScriptStep::Kind::kKey:
      [host pressKey:step.text];
      break;
    case ScriptStep::Kind::kFocus:
      Say("focus: " + [host focusName]);
      break;
  }
  [host drainEvents];
}

}  // namespace

void KLRunScript(KLHostController* host, const Script& script) {
  // Each step's temporaries go with it: a long script would otherwise keep them all.
  for (const ScriptStep& step : script.steps) {
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    RunStep(host, step);
    [pool drain];
  }
  [host waitForVerdict];
}

}  // namespace kl::host
