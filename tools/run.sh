#!/usr/bin/env bash
# Installs what is missing, builds Ombrix and runs it on the built-in station simulator: ombrix-sim
# sends a burst every 2 seconds on a pseudo-terminal, and the window reads it as it would read the
# station's serial line. Settings, archive, raw logs and fehler.log of this demo live under
# build/demo; your own settings are never touched. Nothing is transmitted (the callsign is N0CALL).
# On the first run the demo's archive gets a week of simulated history, written by the same
# archive stage as the window's (ombrix-decode --archive), so that there is a past to look at.
#
#   OMBRIX_DEMO_DIR          folder of the demo's settings and logs (default build/demo)
#   OMBRIX_DEMO_STATUS_PORT  port of the status server (default 12345)
#   OMBRIX_BUILD_DIR         build folder to build and run from (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tools/setup.sh
build=${OMBRIX_BUILD_DIR:-build}
tools/build.sh "$build"
bin=$(cd "$build" && pwd)/bin

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "ombrix: no display; run it headless with 'xvfb-run -a tools/run.sh', or as a logger" \
       "without a screen with 'QT_QPA_PLATFORM=offscreen tools/run.sh' (status server, reports and" \
       "logs keep working)." >&2
  exit 1
fi

demo=${OMBRIX_DEMO_DIR:-$root/build/demo}
mkdir -p "$demo/config/Ombrix" "$demo/WX"
demo=$(cd "$demo" && pwd)
link=$demo/station
cat > "$demo/config/Ombrix/Ombrix.conf" <<CONF
[Optionen]
PfadWX=$demo/WX/
Lage=0000.00N/00000.00E_
CallTo=CQ
CallFrom=N0CALL
CallDigi1=Wide3-3
CallDigi2=
CommPortOmbrix=2
AGWPEPort=0
CommDevice=$link
StatusServerPort=${OMBRIX_DEMO_STATUS_PORT:-12345}
ArchivePath=$demo/archive.sqlite
CONF

if [ ! -e "$demo/archive.sqlite" ]; then
  # One burst every 150 s for the week that ends now: about 4,000 sets, 2,016 records. Written
  # beside the bursts and moved into place when whole, so that a run stopped half-way leaves no
  # half week that the next run would keep.
  history=$(mktemp -d)
  begin=$(date -d '-7 days' '+%Y-%m-%dT%H:%M:%S')
  started=$(date +%s.%N)
  "$bin/ombrix-sim" --out "$history" --count 4032 --interval 150 --seed 1 --start "$begin" \
    >/dev/null
  if "$bin/ombrix-decode" --archive "$history/archive.sqlite" --clock "$begin" --step 150 \
       "$history"/*.bin >/dev/null 2>"$history/errors" &&
     mv "$history/archive.sqlite" "$demo/archive.sqlite"; then
    echo "ombrix: a week of simulated history written to $demo/archive.sqlite in" \
         "$(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $started }") s"
  else
    echo "ombrix: the demo runs without history:" >&2
    grep -v Wetterbericht "$history/errors" >&2 || true
  fi
  rm -rf "$history"
fi

"$bin/ombrix-sim" --link "$link" --interval 2 --delay 1 --speed 30 &
sim=$!
stop_sim() {
  kill -TERM "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
}
trap stop_sim EXIT
for _ in $(seq 50); do
  [ -e "$link" ] && break
  kill -0 "$sim" 2>/dev/null || { echo "ombrix: the simulator did not start" >&2; exit 1; }
  sleep 0.1
done

cd "$demo"
status=0
XDG_CONFIG_HOME="$demo/config" "$bin/ombrix" || status=$?
exit "$status"
