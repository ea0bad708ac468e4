#!/usr/bin/env bash
# The long runs behind the figures in docs/RELIABILITY.md, against the built program:
#   tools/soak.sh [BUILD_FOLDER]          (default: build)
# ten minutes of garbage and damaged sets on the serial line (OMBRIX_GARBAGE_SECONDS, default
# 600; OMBRIX_GARBAGE_SEED repeats a run), then the hostile clients of the status server. Both
# print their figures on lines starting with "figures:". The fuzz targets' long runs are
# tools/fuzz.sh SECONDS. The garbage test carries the CTest label "soak": tools/test.sh leaves it
# out (ctest -LE soak), so it runs here only.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
[ -f "$dir/CMakeCache.txt" ] || tools/build.sh "$dir"
cmake --build "$dir" -j "$(nproc)" \
  --target ombrix reliability_line_garbage_test reliability_status_hostile_test >/dev/null
export QT_QPA_PLATFORM=offscreen OMBRIX_NO_DIALOGS=1
seconds=${OMBRIX_GARBAGE_SECONDS:-600}
# QtTest ends a test function after five minutes unless told otherwise.
export QTEST_FUNCTION_TIMEOUT=$(( (seconds + 300) * 1000 ))
OMBRIX_GARBAGE_SECONDS=$seconds "$dir/bin/reliability_line_garbage_test"
"$dir/bin/reliability_status_hostile_test"
