#!/usr/bin/env bash
# Compiles the build with KORVAN_USE_LIBIEC61850=ON against a stand-in of an installed libiec61850: a
# pkg-config package whose header is our client API subset (the names and signatures libiec61850
# offers) and which has no library. Executables are linked with unresolved symbols allowed, so the
# check proves that every part the option changes compiles and links against that API alone; nothing
# built here is run.
#
# scripts/check-libiec61850-build.sh [BUILD_DIR]   (default: a temporary folder, removed afterwards)
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

if [ $# -gt 0 ]; then
    build_dir=$1
else
    build_dir=$(mktemp -d)
    trap 'rm -rf "$build_dir"' EXIT
fi
work=$build_dir/libiec61850-standin

# Laid out as the library installs itself: headers in include/libiec61850, the .pc in lib/pkgconfig.
mkdir -p "$work/prefix/include/libiec61850" "$work/prefix/lib/pkgconfig"
cp tests/client_api_subset/include/iec61850_client.h "$work/prefix/include/libiec61850/"
cat > "$work/prefix/lib/pkgconfig/libiec61850.pc" <<EOF
prefix=$work/prefix
includedir=\${prefix}/include
Name: libiec61850
Description: header-level stand-in of the libiec61850 client API
Version: 1.5.0
Cflags: -I\${includedir}/libiec61850
Libs: -Wl,--unresolved-symbols=ignore-all
EOF

# Release without debug information, so that the parts the option leaves alone are ccache hits.
# Test programs are linked against nothing that runs, so their tests are listed when ctest runs them,
# never at build time.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" cmake -S "$source_dir" -B "$build_dir" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DKORVAN_USE_LIBIEC61850=ON \
    -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST "${launcher[@]}" > "$work/cmake.log" ||
    { cat "$work/cmake.log"; exit 1; }
ninja -C "$build_dir" -j"${KORVAN_JOBS:-2}"
echo "The build with KORVAN_USE_LIBIEC61850=ON compiles against the client API subset."
