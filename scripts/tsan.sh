#!/usr/bin/env bash
# Builds the engine's and the port's tests into build-tsan/ with
# ThreadSanitizer and runs them; any report fails the run. Debian's Qt is not
# built for it: tests/tsan.supp says which of Qt's hand-overs it cannot see.
# The window's and the end-to-end tests are left out: they start programs
# through QProcess, after which ThreadSanitizer loses track of the locks of a
# program whose Qt it cannot see into.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/zo.sh setup
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZO_TSAN=ON
cmake --build build-tsan -j2 --target engine_tests serial_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
for tests in engine_tests serial_tests; do
  QT_QPA_PLATFORM=offscreen build-tsan/bin/$tests --gtest_brief=1
done
