#!/usr/bin/env bash
# Installs what is missing, builds Ombrix and runs it on the built-in test set.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh build

build/bin/ombrix-decode --test-set
