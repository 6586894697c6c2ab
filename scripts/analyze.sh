#!/bin/sh
# The clang static analyzer over every Objective-C and Objective-C++ file of the repository, with
# the Cocoa retain/release checkers, which clang leaves off outside Apple's platforms.
# Usage: scripts/analyze.sh [FILE...]   (default: every tracked .m and .mm file but the planted
# mistakes in tests/analyzer/ and the macOS face, which needs Apple's SDK)
# Exit status: 0 no report; 1 at least one report (each printed); 2 a file did not compile.
set -eu
cd "$(dirname "$0")/.."
# Split on purpose: tracked source names hold no blanks.
# shellcheck disable=SC2046
[ $# -gt 0 ] || set -- $(git ls-files '*.m' '*.mm' ':!tests/analyzer/' ':!platform/macos/')

CHECKERS=osx.cocoa.RetainCount,osx.cocoa.AtSync,osx.cocoa.AutoreleaseWrite,osx.cocoa.ClassRelease
CHECKERS=$CHECKERS,osx.cocoa.Dealloc,osx.cocoa.IncompatibleMethodTypes,osx.cocoa.Loops
CHECKERS=$CHECKERS,osx.cocoa.MissingSuperCall,osx.cocoa.NSAutoreleasePool,osx.cocoa.NSError
CHECKERS=$CHECKERS,osx.cocoa.NilArg,osx.cocoa.NonNilReturnValue,osx.cocoa.ObjCGenerics
CHECKERS=$CHECKERS,osx.cocoa.RunLoopAutoreleaseLeak,osx.cocoa.SelfInit,osx.cocoa.SuperDealloc
CHECKERS=$CHECKERS,osx.cocoa.UnusedIvars,osx.cocoa.VariadicMethodTypes,osx.NumberObjectConversion
CHECKERS=$CHECKERS,osx.ObjCProperty,osx.API

# GNUstep's flags without the build's own (dependency files, debug, optimisation, warnings); its
# headers as system headers, so that reports inside them are left out. Clang needs GCC's
# runtime headers and the GCC runtime's ABI.
gnustep=$(gnustep-config --objc-flags | tr ' ' '\n' |
  grep -v -E '^(-MMD|-MP|-g|-O2|-I\.|-Wall|-I/usr/include/GNUstep)$' | tr '\n' ' ')
# Every directory with headers, and the stand-in framework's <InstallerPlugins/...>.
includes="-Iplatform/gnustep $(git ls-files '*.h' | xargs -n1 dirname | sort -u | sed 's/^/-I/' | tr '\n' ' ')"
# AppKit's current names where GNUstep lacks them, as the build's toolkit target defines them.
appkit=$(sed -n '/^target_compile_definitions(kl_appkit INTERFACE/,/)/p' cmake/GNUstep.cmake |
  grep -oE '\bNS[A-Za-z]+=NS[A-Za-z]+' | sed 's/^/-D/' | tr '\n' ' ')
# The text macros the build defines for tests (tool paths): any text will do here.
defines=$(git ls-files '*CMakeLists.txt' | xargs grep -ohE '\b[A-Z][A-Z0-9_]*="' | sort -u | sed 's/="$/=""/; s/^/-D/' | tr '\n' ' ')
common="--analyze -o /dev/null -Xanalyzer -analyzer-output=text -Xanalyzer -analyzer-checker=$CHECKERS
  -fobjc-runtime=gcc -idirafter $(gcc -print-file-name=include) -isystem /usr/include/GNUstep
  $gnustep $includes $defines $appkit"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
failed=0
for file in "$@"; do
  case "$file" in
    *.mm) compiler="clang++ -x objective-c++ -std=c++17" ;;
    *.m) compiler="clang -x objective-c" ;;
    *) echo "analyze.sh: not an Objective-C file: $file" >&2; exit 2 ;;
  esac
  # Compiler warnings are the build's business; only the analyzer's reports count here.
  # shellcheck disable=SC2086
  if ! $compiler $common -Wno-everything "$file" >"$log" 2>&1; then
    cat "$log"
    echo "analyze.sh: $file did not compile" >&2
    exit 2
  fi
  if grep -q 'warning:' "$log"; then
    cat "$log"
    failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "analyze.sh: no reports in $# file(s)"
exit "$failed"
