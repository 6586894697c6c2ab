// kelvory-installer: a stand-in for the operating system's installer on Linux. It loads the
// plug-in bundle, shows its panes in a window like the installer's (or drives them from a
// script, or with no window at all) and writes a transcript of what happened.
//
// Its parts: HostOptions (command line), VirtualDisplay (an X server when there is none),
// PluginLoader (the bundle and its outlets), HostWindow (window, steps, navigation, verdicts),
// ScriptParser and ScriptRunner (scripts), AlertCapture (alerts in unattended runs), LeakCheck,
// ProcessGuard (signals, exceptions, no daemons).
#import <AppKit/AppKit.h>

#include <fstream>
#include <sstream>

#include "AlertCapture.h"
#include "EditMenu.h"
#include "HostOptions.h"
#import "HostWindow.h"
#include "KLStandInChannel.h"
#include "KLStringBridge.h"
#include "LeakCheck.h"
#include "PluginLoader.h"
#include "ProcessGuard.h"
#include "ScriptRunner.h"
#include "Transcript.h"
#include "VirtualDisplay.h"

namespace {

Script ReadScript(const std::string& path, NSArray* panes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(2, "cannot read the script " + path);
  std::stringstream text;
  text << in.rdbuf();
  Script script = ParseScript(text.str(), KLPaneOutlets(panes));
  if (!script.error.empty()) Fail(2, path + ": " + script.error);
  return script;
}

// Unattended: a complete pre-fill has passed the activation pane by itself; validate and go on.
// Otherwise stop on the first pane.
void RunHeadless(KLHostController* host) {
  NSArray* panes = [host panes];
  if ([panes count] == 0 || [host currentPane] == [panes objectAtIndex:0]) return;
  [host waitForVerdict];
  if ([[host currentPane] nextEnabled]) [host pressContinue];
}

}  // namespace

int main(int argc, char** argv) {
  HostOptions options;
  const int parsed = ParseHostOptions(argc, argv, &options);
  if (parsed >= 0) return parsed;
  std::string error;
  const char* display = std::getenv("DISPLAY");
  if ((display == nullptr || *display == '\0') && !StartVirtualDisplay(&error)) Fail(1, error);

  if (options.leakCheck) KLStartCountingObjects();
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  // Without a window manager GNUstep complains about window decorations on every run.
  [[NSUserDefaults standardUserDefaults]
      registerDefaults:[NSDictionary dictionaryWithObject:@"NO"
                                                   forKey:@"GSX11HandlesWindowDecorations"]];
  [NSApplication sharedApplication];
  KLGuardProcess(options.script.empty() && !options.headless);
  KLInstallEditMenu();

  [InstallerSection setHostPackagePath:KLNSString(options.package)];
  // Before the plug-in loads; nothing else of ours reads it.
  if (!options.managedPreferences.empty()) {
    setenv(kl::kStandInManagedPreferences, options.managedPreferences.c_str(), 1);
  }
  InstallerSection* section = KLLoadPlugin(options.plugin, &error);
  if (section == nil) Fail(2, error);
  NSBundle* plugin = [[section bundle] retain];
  KLTakeToolsAlong(plugin);
  [[section installerState] setTargetVolumePath:KLNSString(options.target)];
  const bool scripted = !options.script.empty();
  // The installer's own walk: shouldLoad, firstPane, each nextPane.
  NSArray* panes = KLSectionPanes(section);
  const Script script = scripted ? ReadScript(options.script, panes) : Script();

  KLHostController* host = [[KLHostController alloc] initWithSection:section
                                                               panes:panes
                                                              window:!options.headless];
  [section release];
  [host setWaitLimit:options.waitLimit];
  [NSApp setDelegate:host];
  [NSApp finishLaunching];
  if (!scripted && !options.headless) {
    [host start];
    [host runInteractively];
    return 0;
  }
  KLAlertCatcher* alerts = [[KLAlertCatcher alloc] init];
  [alerts start];
  [host start];
  if (scripted) {
    KLRunScript(host, script);
  } else {
    RunHeadless(host);
  }
  const int status = [host lastVerdict] == "Validation Succeeded" ? 0 : 1;
  [alerts stop];
  [alerts release];
  [NSApp setDelegate:nil];
  [host release];
  [pool drain];
  pool = [[NSAutoreleasePool alloc] init];
  const bool leaked = options.leakCheck && !KLOurObjectsFreed(plugin);
  [plugin release];
  [pool drain];
  return leaked ? 3 : status;
}
