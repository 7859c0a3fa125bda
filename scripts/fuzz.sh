#!/usr/bin/env bash
# scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
# Builds TARGET (mms_pdu_fuzz, iso_fuzz, server_request_fuzz, client_answer_fuzz, scl_load_fuzz) with
# clang for libFuzzer, the stack code it runs instrumented as well, under ASan and UBSan, and runs it
# for SECONDS on one core, starting from the seed corpus of the repository plus what earlier runs
# found (build/fuzz/corpus/TARGET). Crashes are written to build/fuzz/crashes/TARGET; copy a crash
# into the target's corpus folder so that ctest keeps running it.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ]; then
  sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
fi
target=$1
seconds=$2
shift 2

packages=(clang cmake ninja-build libgtest-dev libpugixml-dev xxd)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The seeds of each target: folders or file patterns of the repository (hex seeds become bytes).
declare -A folders=(
  [mms_pdu_fuzz]=mms [iso_fuzz]=iso [server_request_fuzz]=server [client_answer_fuzz]=client [control_client_fuzz]=client [scl_load_fuzz]=scl
)
declare -A seeds=(
  [mms_pdu_fuzz]=fuzz/stack/mms/corpus
  [iso_fuzz]=fuzz/stack/iso/corpus
  [server_request_fuzz]=fuzz/stack/server/corpus
  [client_answer_fuzz]=fuzz/stack/client/corpus
  [control_client_fuzz]=fuzz/stack/client/control_corpus
  [scl_load_fuzz]="tests/data/scl/*.icd tests/data/scl/*.scd tools/iedsim/models/*.icd tests/iec61850/engine/*.icd fuzz/stack/scl/corpus"
)
if [ -z "${seeds[$target]:-}" ]; then
  echo "unknown target $target; one of: ${!seeds[*]}" >&2
  exit 2
fi

build=build/fuzz
if [ ! -f $build/build.ninja ]; then
  CC=clang CXX=clang++ cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_FUZZ=ON \
    -DKORVAN_WITH_GUI=OFF >/dev/null
fi
cmake --build $build --target "${target}_libfuzzer" -j "${KORVAN_FUZZ_JOBS:-2}"

work=$build/corpus/$target
crashes=$build/crashes/$target
mkdir -p "$work" "$crashes"
for entry in ${seeds[$target]}; do
  [ -d "$entry" ] && entry="$entry/*"
  for seed in $entry; do
    [ -f "$seed" ] || continue
    case "$seed" in
      *.hex) sed 's/#.*//' "$seed" | tr -cd '0-9a-fA-F' | xxd -r -p > "$work/seed-$(basename "$seed" .hex)" ;;
      *) cp "$seed" "$work/seed-$(basename "$seed")" ;;
    esac
  done
done

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec "$build/fuzz/stack/${folders[$target]}/${target}_libfuzzer" -max_total_time="$seconds" \
  -artifact_prefix="$crashes/" -print_final_stats=1 "$@" "$work"
