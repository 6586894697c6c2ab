// kelvory-activate: the activation panes' logic without a window, for package scripts and
// command-line installs. It fills the same input as the activation pane (managed preferences or
// a pre-fill file, and options typed as a person would), runs the pane's exit checks, validates
// with failover over the server addresses through the same tool launch, and appends the same
// configuration lines.
#import <Foundation/Foundation.h>
#include <unistd.h>

#include <cstdio>

#include "Activate.h"
#include "HeadlessPlatform.h"
#include "KLPlatform.h"
#include "Options.h"
#include "ProcessBytes.h"
#include "RunGuard.h"
#include "VersionOption.h"

namespace kl::activate {
namespace {

// The stop handlers go in before the libraries initialize (the Objective-C runtime and its
// frameworks take tens of milliseconds): a signal meanwhile would end the run by its default
// action instead of as "interrupted". ELF runs .preinit_array before any library initializer.
void InstallStopHandlersEarly(int, char**, char**) { InstallStopHandlers(); }
#if defined(__ELF__)
__attribute__((section(".preinit_array"),
               used)) void (*const kEarly)(int, char**, char**) = InstallStopHandlersEarly;
#else
__attribute__((constructor(101))) void InstallStopHandlersFirst() {
  InstallStopHandlersEarly(0, nullptr, nullptr);
}
#endif

}  // namespace

KL_PROCESS_BYTES_PREINIT

}  // namespace kl::activate

int main(int argc, char** argv) {
  using namespace kl::activate;
  KL_PROCESS_BYTES_RESTORE();
  InstallStopHandlers();  // done already (see above): a second call does nothing
  const int version = kl::HandleVersionOption(argc, argv, "kelvory-activate");
  if (version >= 0) return version;
  Options o;
  const int read = ReadCommandLine(argc, argv, o);
  if (read >= 0) return read;

  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  HeadlessPlatform platform;
  platform.packagePath = o.package;
  kl::ScopedPlatform scope(&platform);
  const int code = Activate(o, &platform);
  if (platform.abandonedLookup) {
    std::fflush(nullptr);
    _exit(code);
  }
  [pool drain];
  return code;
}
