#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for the given seconds
# (default 30), side by side at low priority:
#   tools/fuzz.sh [SECONDS] [TARGET...]     TARGET: decode, ax25, settings (default: all three)
# Every run starts from the committed seeds (fuzz/corpus/TARGET) and the inputs that once found a
# fault (fuzz/regressions/TARGET); what it finds new is kept in build-fuzz/corpus/TARGET for the
# next run. A crash, leak, hang or undefined behaviour ends the script with a failure and leaves
# the input in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(decode ax25 settings)

dir=build-fuzz
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -DOMBRIX_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++-14 \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]/#/fuzz_}" >/dev/null

declare -A max_len=([decode]=1024 [ax25]=256 [settings]=1024)
# The targets run side by side, at low priority; each has its own log.
declare -A pids
for t in "${targets[@]}"; do
  mkdir -p "$dir/corpus/$t" "$dir/artifacts"
  inputs=("$dir/corpus/$t" "fuzz/corpus/$t")
  [ -d "fuzz/regressions/$t" ] && inputs+=("fuzz/regressions/$t")
  echo "== fuzz_$t for ${seconds} s"
  nice "$dir/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len="${max_len[$t]}" -print_final_stats=1 -artifact_prefix="$dir/artifacts/$t-" \
    "${inputs[@]}" 2>"$dir/fuzz_$t.log" &
  pids[$t]=$!
done
passed=0
failed=0
for t in "${targets[@]}"; do
  if wait "${pids[$t]}"; then
    echo "== fuzz_$t passed"
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$dir/fuzz_$t.log" ||
      true
    passed=$((passed + 1))
  else
    echo "== fuzz_$t FAILED"
    tail -n 60 "$dir/fuzz_$t.log"
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
