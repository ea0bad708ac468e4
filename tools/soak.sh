#!/usr/bin/env bash
# The hostile clients of the status server (docs/RELIABILITY.md) against the built program:
#   tools/soak.sh [BUILD_FOLDER]          (default: build)
# The fuzz targets' long runs are tools/fuzz.sh SECONDS.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
[ -f "$dir/CMakeCache.txt" ] || tools/build.sh "$dir"
cmake --build "$dir" -j "$(nproc)" \
  --target ombrix reliability_status_hostile_test >/dev/null
export QT_QPA_PLATFORM=offscreen OMBRIX_NO_DIALOGS=1
"$dir/bin/reliability_status_hostile_test"
