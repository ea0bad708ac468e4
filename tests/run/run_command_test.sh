#!/usr/bin/env bash
# The README's run command as a user runs it, headless: the simulator feeds the window, the status
# server answers with a status line once the table has filled, and the simulator's link is gone
# after the window has closed.
set -euo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d)
runner=
cleanup() {
  [ -n "$runner" ] && kill -TERM -- "-$runner" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$work/run.log" ] && tail -20 "$work/run.log" >&2; exit 1; }

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
port=$((20000 + RANDOM % 20000))
while listening "$port"; do port=$((port + 1)); done

export QT_QPA_PLATFORM=offscreen OMBRIX_NO_DIALOGS=1
export OMBRIX_DEMO_DIR="$work/demo" OMBRIX_DEMO_STATUS_PORT=$port OMBRIX_BUILD_DIR=$build_dir
setsid "$source_dir/tools/run.sh" > "$work/run.log" 2>&1 &
runner=$!

# Within 90 s (the run command first checks that everything is installed and built).
reply=
for _ in $(seq 900); do
  kill -0 "$runner" 2>/dev/null || fail "the run command ended early"
  if exec 3<>"/dev/tcp/127.0.0.1/$port" 2>/dev/null; then
    printf '?' >&3
    reply=$(timeout 2 cat <&3 || true)
    exec 3<&-
    [ -n "$reply" ] && break
  fi
  sleep 0.1
done
[ -n "$reply" ] || fail "no status line from port $port"
words=$(wc -w <<< "$reply")
[ "$words" -eq 13 ] || fail "status line has $words fields: '$reply'"
[ -L "$work/demo/station" ] || fail "no simulator link while running"
grep -q '^CallFrom=N0CALL$' "$work/demo/config/Ombrix/Ombrix.conf" || fail "demo callsign"

ombrix=$(pgrep -P "$runner" -x ombrix) || fail "no ombrix process under the run command"
kill -TERM "$ombrix"
for _ in $(seq 100); do kill -0 "$runner" 2>/dev/null || break; sleep 0.1; done
kill -0 "$runner" 2>/dev/null && fail "the run command did not end after the window closed"
runner=
[ -e "$work/demo/station" ] && fail "the simulator's link is still there"
pgrep -f "ombrix-sim --link $work/demo/station" >/dev/null && fail "the simulator still runs"
echo "run command: status line '$reply'"
