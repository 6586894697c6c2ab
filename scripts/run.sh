#!/bin/sh
# Installs what is needed, builds, and runs the main job: the whole installation through the
# installer host with its built-in demo data (scripts/demo.sh).
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
scripts/demo.sh
