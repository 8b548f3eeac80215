#!/bin/sh
# Checks the formatting, builds everything and runs the whole test suite: first the fuzz corpora
# under ASan and UBSan (clang, libFuzzer), then every unit and integration test. Ends with
# CTest's summary.
set -e
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/check-format.sh

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPT4_FUZZ=ON
cmake --build build-fuzz -j "$jobs"
ctest --test-dir build-fuzz --output-on-failure

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
