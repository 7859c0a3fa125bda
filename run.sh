#!/usr/bin/env bash
# Installs what is missing, builds, starts the IED simulator with the bundled sample model on a free
# loopback port and opens Korvan. The simulator stops when Korvan closes.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$(nproc)"

sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true; }
trap cleanup EXIT

iedsim=build/release/tools/iedsim/iedsim
model=tools/iedsim/models/sample_bay.icd
files=tools/iedsim/models/files
log=build/release/iedsim.log
if [ -x "$iedsim" ] && [ -f "$model" ]; then
  # Port 0 lets the simulator take a free port; it prints the one it got.
  "$iedsim" --scl "$model" --port 0 --simulate --files "$files" >"$log" 2>&1 &
  sim_pid=$!
  port=""
  for _ in $(seq 100); do
    port=$(grep -o 'listening on 127\.0\.0\.1:[0-9]*' "$log" | cut -d: -f2 || true)
    [ -n "$port" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -n "$port" ]; then
    echo "IED simulator running: in the IEC61850 tab connect to IP 127.0.0.1, port $port (log: $log)"
  else
    echo "The IED simulator did not start; see $log"
  fi
fi

build/release/app/Korvan
