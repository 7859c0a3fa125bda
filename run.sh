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
if [ -x "$iedsim" ] && [ -f "$model" ]; then
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  "$iedsim" --scl "$model" --port "$port" --simulate >build/release/iedsim.log 2>&1 &
  sim_pid=$!
  echo "IED simulator running: connect to 127.0.0.1 port $port (log: build/release/iedsim.log)"
fi

build/release/app/Korvan
