#!/bin/sh
# Fails when a C++ or Objective-C source differs from .clang-format.
set -eu
cd "$(dirname "$0")/.."
git ls-files '*.h' '*.cpp' '*.mm' '*.m' | xargs clang-format --dry-run --Werror
