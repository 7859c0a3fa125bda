#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test through ctest. KORVAN_TSAN=1 also builds the Qt-free parts with ThreadSanitizer and
# runs their tests.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

jobs=$(nproc)
# A compiler cache, where one is installed, makes rebuilds in several work trees cheap.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVAN_SANITIZE=address
cmake --build build/asan -j "$jobs"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
ctest --test-dir build/asan --output-on-failure -j "$jobs"

if [ "${KORVAN_TSAN:-0}" = "1" ]; then
  cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVAN_SANITIZE=thread -DKORVAN_WITH_GUI=OFF
  cmake --build build/tsan -j "$jobs"
  TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure -j "$jobs"
fi
