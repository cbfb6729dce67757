#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for a
# bounded time (seconds, default 60). Needs: clang, libclang-rt-14-dev.
#
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/zo.sh setup clang libclang-rt-14-dev

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZO_FUZZ=ON -DZO_BUILD_TESTS=OFF
cmake --build build-fuzz -j2 --target fuzz_avi_reader fuzz_receive_framing

corpus=build-fuzz/corpus
mkdir -p "$corpus/avi" "$corpus/framing"
cp data/filemove.avi "$corpus/avi/"
# Framing seeds: flags, two cutting bytes, then the stream after the header:
# a ':' at 1017 of the first block followed by more data, a marker in a tail,
# a marker in the last full block before a short tail, a complete dump
# followed by the device going away, and two dumps one after the other.
fill() { head -c "$1" /dev/zero | tr '\0' "$2"; }
{ printf '\001\005\000'; fill 1004 x; printf ':'; fill 1030 y; } > "$corpus/framing/block-marker"
{ printf '\001\011\000'; fill 1500 x; printf ':'; fill 6 y; } > "$corpus/framing/tail-marker"
{ printf '\001\007\000'; fill 2026 x; printf ':'; fill 6 y; } > "$corpus/framing/short-tail"
{ printf '\003\013\000'; fill 2500 x; printf ':'; fill 6 y; } > "$corpus/framing/hang-up"
{ printf '\001\021\000'; fill 1500 x; printf ':'; fill 6 y; printf 'GLOW ARRANGER'; fill 900 z
  printf ':'; fill 6 y; } > "$corpus/framing/two-dumps"
export ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1
export QT_QPA_PLATFORM=offscreen
./build-fuzz/bin/fuzz_avi_reader -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
  -print_final_stats=1 "$corpus/avi"
./build-fuzz/bin/fuzz_receive_framing -max_total_time="$seconds" -max_len=12000 \
  -rss_limit_mb=2048 -print_final_stats=1 "$corpus/framing"
echo "fuzzing: no crash in ${seconds} s per target"
