#!/usr/bin/env bash
# Builds into build-asan/ with AddressSanitizer and UndefinedBehaviorSanitizer
# (any finding fails the test that hit it) and runs every test but the
# real-driver rig's.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/zo.sh setup
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZO_SANITIZE=ON
cmake --build build-asan -j2
export ASAN_OPTIONS=abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The real-driver rig runs the plain build's binaries once, in the test command.
QT_QPA_PLATFORM=offscreen ctest --test-dir build-asan --output-on-failure -j2 -LE rig
