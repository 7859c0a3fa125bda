#!/usr/bin/env bash
# Remakes the README's pictures (docs/screenshots/*.png): builds Korvan and the simulator, serves the
# sample model with values moving, and lets korvan_screenshots drive Korvan's main window under a
# virtual X server: connect, expand, poll, enable a report, select and operate with the control dialog.
# KORVAN_BUILD_DIR picks the build folder (build/release, as ./run.sh uses, unless given).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
# Only the pictures need a virtual X server.
missing=()
for p in xvfb xauth; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build=${KORVAN_BUILD_DIR:-build/release}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j "$(nproc)" --target iedsim korvan_screenshots

work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Answers a little late, so that the walk lasts long enough for its progress to be pictured.
"$build/tools/iedsim/iedsim" --scl tools/iedsim/models/sample_bay.icd --port 0 --simulate --latency 150 \
  >"$work/iedsim.log" 2>&1 &
sim_pid=$!
port=""
for _ in $(seq 100); do
  port=$(grep -o 'listening on 127\.0\.0\.1:[0-9]*' "$work/iedsim.log" 2>/dev/null | cut -d: -f2 || true)
  [ -n "$port" ] && break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "The simulator did not start:" >&2
  cat "$work/iedsim.log" >&2
  exit 1
fi

# A settings folder of its own, so the user's last server stays as it is.
XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 \
  xvfb-run -a -s "-screen 0 1600x1000x24" "$build/tools/screenshots/korvan_screenshots" "$port" docs/screenshots
