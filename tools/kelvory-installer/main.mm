// kelvory-installer: a stand-in for the operating system's installer on Linux. It loads the
// plug-in bundle, shows its panes in a window like the installer's (or drives them from a
// script, or with no window at all) and writes a transcript of what happened.
//
// Its parts: HostOptions (command line), VirtualDisplay (an X server when there is none),
// PluginLoader (the bundle and its outlets), HostWindow (window, steps, navigation, verdicts),
// ScriptParser and ScriptRunner (scripts), AlertCapture (alerts in unattended runs), LeakCheck,
// ProcessGuard (signals, exceptions, no daemons).
#import <AppKit/AppKit.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "AlertCapture.h"
#include "EditMenu.h"
#include "HostOptions.h"
#import "HostWindow.h"
#include "KLStandInChannel.h"
#include "KLStringBridge.h"
#include "LeakCheck.h"
#include "PlainText.h"
#include "PluginLoader.h"
#include "ProcessBytes.h"
#include "ProcessGuard.h"
#include "ScriptRunner.h"
#include "Transcript.h"
#include "VirtualDisplay.h"

namespace kl::host {
namespace {

// A script is a few dozen lines; the cap keeps a wrong path from being read for long.
constexpr off_t kMaxScriptBytes = 1 << 20;

const char* FileKind(mode_t mode) {
  return S_ISDIR(mode)    ? "a directory"
         : S_ISCHR(mode)  ? "a character device"
         : S_ISBLK(mode)  ? "a block device"
         : S_ISFIFO(mode) ? "a pipe"
         : S_ISSOCK(mode) ? "a socket"
                          : "not a file";
}

// Opens the script and refuses, before a byte is read, what cannot be one: a directory, a device
// (/dev/zero would be read for ever), a pipe, or more than 1 MiB. Without blocking on a pipe.
int OpenScript(const std::string& path) {
  const std::string shown = PlainValue(path);
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) Fail(2, "cannot read the script " + shown + ": " + strerror(errno));
  struct stat st {};
  if (fstat(fd, &st) != 0) Fail(2, "cannot read the script " + shown + ": " + strerror(errno));
  if (!S_ISREG(st.st_mode)) {
    Fail(2, "the script " + shown + " is not a regular file: " + FileKind(st.st_mode));
  }
  if (st.st_size > kMaxScriptBytes) {
    Fail(2, "the script " + shown + " is larger than 1 MiB (" + std::to_string(st.st_size) +
                " bytes)");
  }
  return fd;
}

// The stand-in profile is read when the activation pane first shows. A path that can never be
// one is refused now, with the reason, rather than taken there as "no profile" (or, a FIFO,
// hanging the pane); the pane's own reading judges again what it opens then.
void CheckManagedPreferences(const std::string& path) {
  const std::string shown = PlainValue(path);
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) Fail(2, "cannot read the managed preferences " + shown + ": " + strerror(errno));
  struct stat st {};
  const bool known = fstat(fd, &st) == 0;
  const int error = errno;
  close(fd);
  if (!known) Fail(2, "cannot read the managed preferences " + shown + ": " + strerror(error));
  if (!S_ISREG(st.st_mode)) {
    Fail(2,
         "the managed preferences " + shown + " are not a regular file: " + FileKind(st.st_mode));
  }
}

// Reads the opened script, at most the cap even if it has grown since, and checks it whole.
Script ReadScript(int fd, const std::string& path, NSArray* panes) {
  std::string text(static_cast<size_t>(kMaxScriptBytes) + 1, '\0');
  size_t length = 0;
  while (length < text.size()) {
    const ssize_t got = read(fd, &text[length], text.size() - length);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) Fail(2, "cannot read the script " + PlainValue(path) + ": " + strerror(errno));
    if (got == 0) break;
    length += static_cast<size_t>(got);
  }
  close(fd);
  if (length > static_cast<size_t>(kMaxScriptBytes)) {
    Fail(2, "the script " + PlainValue(path) + " is larger than 1 MiB");
  }
  text.resize(length);
  Script script = ParseScript(text, KLPaneOutlets(panes));
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

KL_PROCESS_BYTES_PREINIT

}  // namespace kl::host

int main(int argc, char** argv) {
  using namespace kl::host;
  KL_PROCESS_BYTES_RESTORE();
  HostOptions options;
  const int parsed = ParseHostOptions(argc, argv, &options);
  if (parsed >= 0) return parsed;
  if (!options.managedPreferences.empty()) CheckManagedPreferences(options.managedPreferences);
  const bool scripted = !options.script.empty();
  const int scriptFile = scripted ? OpenScript(options.script) : -1;
  std::string error;
  const char* display = std::getenv("DISPLAY");
  if ((display == nullptr || *display == '\0') && !StartVirtualDisplay(&error)) Fail(1, error);

  if (options.leakCheck) KLStartCountingObjects();
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  // Without a window manager GNUstep complains about window decorations on every run.
  [[NSUserDefaults standardUserDefaults]
      registerDefaults:[NSDictionary dictionaryWithObject:@"NO"
                                                   forKey:@"GSX11HandlesWindowDecorations"]];
  // The language the Installer would show: the bundle chooses its tables from the preferred
  // languages, so they are set before it loads (and before any table is read and kept).
  if (!options.language.empty()) {
    [NSUserDefaults setUserLanguages:[NSArray arrayWithObject:KLNSString(options.language)]];
  }
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
  // The installer's own walk: shouldLoad, firstPane, each nextPane.
  NSArray* panes = KLSectionPanes(section);
  const Script script = scripted ? ReadScript(scriptFile, options.script, panes) : Script();

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
  const int status = [host lastVerdictSucceeded] ? 0 : 1;
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
