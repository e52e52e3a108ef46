#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest: first the normal build,
# then a second build with AddressSanitizer and UndefinedBehaviorSanitizer (clang), which also
# runs each fuzz target for a few seconds from its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300)

CC=clang CXX=clang++ cmake -S . -B build-san -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELLORAN_SANITIZE=ON -DVELLORAN_FUZZ=ON > /dev/null
cmake --build build-san -j2
root=$PWD
cd build-san
QT_QPA_PLATFORM=offscreen \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0 \
    ctest --output-on-failure -j2 --timeout 300
