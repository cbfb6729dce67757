#!/usr/bin/env bash
# The part of bench/run.sh that needs a display: start-up time (to the window
# mapped, median of 9 interleaved rounds) and resident memory of ZO Vovere,
# of an empty Qt window, of a Qt window showing one word and of CuteCom, and
# ZO Vovere's idle wake-ups.
set -euo pipefail
cd "$(dirname "$0")/.."

# Milliseconds from starting $@ to its window being mapped (the X server's
# MapNotify, bench/Mapped.cpp), then its RSS (KiB) one second later. Needs
# DISPLAY.
startup() {
  ./build/bin/zo-bench-mapped "$@" 2>>"${BENCH_LOG:-/dev/null}" || echo "timeout 0"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# Context switches of all threads and CPU ticks of a process.
switches() { cat /proc/"$1"/task/*/status | awk '/ctxt_switches/ {s+=$2} END {print s}'; }
cputicks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

measure_gui() {
  export XDG_CONFIG_HOME; XDG_CONFIG_HOME=$(mktemp -d)
  local runs=9 zo=() cc=() zr=() cr=() ew=() er=() lw=() lr=()
  for _ in $(seq $runs); do
    read -r t r < <(startup ./build/bin/zo-vovere); zo+=("$t"); zr+=("$r")
    read -r t r < <(startup ./build/bin/zo-bench-empty-window); ew+=("$t"); er+=("$r")
    read -r t r < <(startup ./build/bin/zo-bench-empty-window --label); lw+=("$t"); lr+=("$r")
    read -r t r < <(startup cutecom); cc+=("$t"); cr+=("$r")
  done
  ./build/bin/zo-vovere >/dev/null 2>&1 &
  local pid=$!
  sleep 2
  local s0 c0 s1 c1
  s0=$(switches "$pid"); c0=$(cputicks "$pid")
  sleep 10
  s1=$(switches "$pid"); c1=$(cputicks "$pid")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  printf 'startup_ms\t%s\t%s\t%s\t%s\n' "$(printf '%s\n' "${zo[@]}" | median)" "$(printf '%s\n' "${ew[@]}" | median)" "$(printf '%s\n' "${lw[@]}" | median)" "$(printf '%s\n' "${cc[@]}" | median)"
  printf 'rss_kib\t%s\t%s\t%s\t%s\n' "$(printf '%s\n' "${zr[@]}" | median)" "$(printf '%s\n' "${er[@]}" | median)" "$(printf '%s\n' "${lr[@]}" | median)" "$(printf '%s\n' "${cr[@]}" | median)"
  printf 'idle\t%s\t%s\n' "$((s1 - s0))" "$((c1 - c0))"
}
measure_gui
