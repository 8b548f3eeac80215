#!/bin/sh
# Checks the formatting, builds everything and runs the whole test suite: first the fuzz corpora
# under ASan and UBSan (clang, libFuzzer), then every unit and integration test, then the player,
# output and runtime tests again under ThreadSanitizer. Ends with CTest's summary.
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

# ThreadSanitizer: the core and the tests of its threaded areas only (no window, benchmarks or
# other areas), which keeps this build short. Left out: tests that count the process's threads
# (the sanitizer adds one of its own) or hold a real server to a deadline the sanitizer's
# slowdown misses.
tsan_tests=$(for test in tests/player/*_test.cpp tests/output/*_test.cpp tests/runtime/*_test.cpp; do
    basename "$test" .cpp
done)
tsan_skipped='TheServerConnectionEndsWithTheLastStream|HangingServerEndsPlayWithAMessage|StationPlaysWithItsTitles'
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPT4_APP=OFF -DPT4_BENCH=OFF \
    -DPT4_SANITIZE=thread
# shellcheck disable=SC2086 # one target per word
cmake --build build-tsan -j "$jobs" --target $tsan_tests
ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L '^(player|output|runtime)$' -E "$tsan_skipped"
