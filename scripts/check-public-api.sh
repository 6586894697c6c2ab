#!/bin/sh
# Compiles every plug-in source under installer/, and the pane tests with their harness
# (tests/support/PaneHarness), with only the public headers of the framework twin on the include
# path (no host-only header), warnings as errors. Fails when a plug-in source or a pane test
# reaches for anything a Mac's framework would not have.
set -eu
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build build --target installer_public_api tests_public_api -j2
