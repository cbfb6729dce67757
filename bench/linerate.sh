#!/usr/bin/env bash
# The part of bench/run.sh that runs at the line's pace, under a display:
# CPU and wake-ups of ZO Vovere receiving and sending at 1920 bytes a
# second, and of CuteCom receiving the same stream, each driven through its
# own window with xdotool as a user would.
#
#   bash bench/linerate.sh [SECONDS] [PART...]     (default 60; needs DISPLAY)
#
# PART is zo_receive, zo_receive_uart, zo_receive_usb, zo_send (the window),
# term_receive_uart, term_receive_usb, term_send (the terminal:
# zo-vovere --receive / --send), cutecom_receive (default: all);
# ZO_BENCH_BIN names another build's bin/ folder, to compare two builds.
#
# Prints, tab-separated: name, CPU percent of one core, wake-ups a second,
# result.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
parts=("${@:2}")
[[ ${#parts[@]} -gt 0 ]] ||
  parts=(zo_receive_uart term_receive_uart zo_receive_usb term_receive_usb zo_send term_send zo_receive cutecom_receive)
bytes=$((seconds * 1920))
bin=${ZO_BENCH_BIN:-./build/bin}
sim=$bin/zo-vovere-sim
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# CPU nanoseconds and context switches (voluntary and not) of all threads.
# (A process that ends while it is read gives what could be read.)
cpu_ns() { { cat /proc/"$1"/task/*/schedstat 2>/dev/null || true; } | awk '{s += $1} END {printf "%d", s}'; }
wakeups() { { cat /proc/"$1"/task/*/status 2>/dev/null || true; } | awk '/ctxt_switches/ {s += $2} END {print s}'; }

window_of() {
  local pid=$1 w=""
  for _ in $(seq 2000); do
    w=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1) && [[ -n $w ]] && break
    sleep 0.01
  done
  echo "$w"
}

dialog_shown() {
  local w
  w=$(timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -1)
  xdotool windowfocus --sync "$w"
  sleep 0.3
}

# Waits until process $1 has the device $2 open.
holds() {
  for _ in $(seq 500); do
    ls -l /proc/"$1"/fd 2>/dev/null | grep -q -- "-> $2\$" && return 0
    sleep 0.01
  done
  return 1
}

# Measures process $2 while process $3 (the simulator) runs; sets row to a
# line named $1 without its result.
measure() {
  local name=$1 pid=$2 simpid=$3 c0 w0 t0 c1 w1 t1
  c0=$(cpu_ns "$pid"); w0=$(wakeups "$pid"); t0=$(date +%s%N)
  wait "$simpid" || true
  c1=$(cpu_ns "$pid"); w1=$(wakeups "$pid"); t1=$(date +%s%N)
  row=$(awk -v n="$name" -v c=$((c1 - c0)) -v w=$((w1 - w0)) -v t=$((t1 - t0)) \
    'BEGIN {printf "%s\t%.2f\t%.1f\t", n, 100 * c / t, w / (t / 1e9)}')
}

# The same for a program that ends by itself once its transfer is over (the
# terminal): sampled every tenth of a second while it runs (its last moments
# are left out rather than misread), over the same span, until the simulator
# ends.
measure_to_exit() {
  local name=$1 pid=$2 simpid=$3 c0 w0 t0 c1 w1 t1 c w
  c0=$(cpu_ns "$pid"); w0=$(wakeups "$pid"); t0=$(date +%s%N)
  c1=$c0; w1=$w0
  while kill -0 "$pid" 2>/dev/null; do
    c=$(cpu_ns "$pid"); w=$(wakeups "$pid")
    [[ -n $w && $c -gt 0 ]] && { c1=$c; w1=$w; }
    sleep 0.1
  done
  wait "$simpid" || true
  t1=$(date +%s%N)
  row=$(awk -v n="$name" -v c=$((c1 - c0)) -v w=$((w1 - w0)) -v t=$((t1 - t0)) \
    'BEGIN {printf "%s\t%.2f\t%.1f\t", n, 100 * c / t, w / (t / 1e9)}')
}

zo_config() {
  export XDG_CONFIG_HOME=$work/config-$1
  mkdir -p "$XDG_CONFIG_HOME/ZO Vovere"
  printf '[Ports]\nCOM1=%s\nCOM2=%s\n' "$2" "$2" >"$XDG_CONFIG_HOME/ZO Vovere/ZO Vovere.conf"
}

# Starts the simulator with its standard input on a pipe that stays open
# until the dump is asked for; sets sim_pid, sim_dev and sim_enter.
starts=0
start_sim() {
  local tag=$1$((starts += 1)); shift
  mkfifo "$work/enter-$tag"
  "$sim" "$@" <"$work/enter-$tag" >"$work/sim-$tag.out" 2>&1 &
  sim_pid=$!
  exec {sim_enter}>"$work/enter-$tag"
  for _ in $(seq 500); do
    grep -q '^device: ' "$work/sim-$tag.out" 2>/dev/null && break
    sleep 0.01
  done
  sim_dev=$(sed -n 's/^device: //p' "$work/sim-$tag.out")
}

# ZO Vovere receiving a dump at the line's pace, the target typed into its
# file dialog. The desk stays on the line after its dump, as a real one does:
# the backup is saved three quiet seconds after the last byte, and the
# measurement ends when the program lets go of the line. $1 names the row,
# the rest goes to the simulator (how the bytes are handed over).
zo_receive_with() {
  local name=$1 dev pid win simpid
  shift
  rm -f "$work/received.txt"
  start_sim "zr$#" dump --length "$bytes" --wait-enter --save-stream "$work/stream" "$@"
  dev=$sim_dev simpid=$sim_pid
  zo_config "zr$#" "$dev"
  "$bin"/zo-vovere >/dev/null 2>&1 &
  pid=$!
  win=$(window_of "$pid")
  xdotool windowfocus --sync "$win" key alt+r
  dialog_shown "Filename to save the data"
  xdotool type --delay 5 "$work/received.txt"
  xdotool key Return
  holds "$pid" "$dev" || { echo "$name	-	-	FAILED (port not opened)"; return; }
  echo >&"$sim_enter"
  measure "$name" "$pid" "$simpid"
  if cmp -s "$work/stream" "$work/received.txt"; then echo "${row}saved whole"; else echo "${row}FAILED"; fi
  kill "$pid"; wait "$pid" 2>/dev/null || true
}

# Byte by byte, every millisecond, as the simulator's trickle comes; and 14
# bytes at a time, as a 16550 UART's FIFO hands them over at its trigger level.
zo_receive() { zo_receive_with "zo-vovere receive at line rate"; }
zo_receive_uart() { zo_receive_with "zo-vovere receive in UART bursts at line rate" --burst 14; }
# 31 bytes at a time, as an FTDI-like USB adapter hands them over.
zo_receive_usb() { zo_receive_with "zo-vovere receive in USB bursts at line rate" --burst 31; }

# The same from the terminal: zo-vovere --receive FILE --port DEVICE.
term_receive_with() {
  local name=$1 pid simpid
  shift
  rm -f "$work/term-received.txt"
  start_sim "tr$#$1" dump --length "$bytes" --wait-enter --save-stream "$work/stream" "$@"
  simpid=$sim_pid
  XDG_CONFIG_HOME=$work/config-term "$bin"/zo-vovere --receive "$work/term-received.txt" \
    --port "$sim_dev" >/dev/null 2>&1 &
  pid=$!
  holds "$pid" "$sim_dev" || { echo "$name	-	-	FAILED (port not opened)"; return; }
  echo >&"$sim_enter"
  measure_to_exit "$name" "$pid" "$simpid"
  if cmp -s "$work/stream" "$work/term-received.txt"; then echo "${row}saved whole"; else echo "${row}FAILED"; fi
  kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true
}
term_receive_uart() { term_receive_with "terminal receive in UART bursts at line rate" --burst 14; }
term_receive_usb() { term_receive_with "terminal receive in USB bursts at line rate" --burst 31; }

term_send() {
  local pid simpid
  head -c "$bytes" /dev/urandom >"$work/term-send.txt"
  start_sim ts receive --quiet-ms 1500 --out "$work/term-arrived"
  simpid=$sim_pid
  XDG_CONFIG_HOME=$work/config-term "$bin"/zo-vovere --send "$work/term-send.txt" \
    --port "$sim_dev" >/dev/null 2>&1 &
  pid=$!
  holds "$pid" "$sim_dev" || { echo "terminal send at line rate	-	-	FAILED (port not opened)"; return; }
  measure_to_exit "terminal send at line rate" "$pid" "$simpid"
  if cmp -s "$work/term-send.txt" "$work/term-arrived"; then echo "${row}arrived whole"; else echo "${row}FAILED"; fi
  kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true
}

# ZO Vovere sending a file at the line's pace, chosen on its command line.
zo_send() {
  local dev pid win simpid
  head -c "$bytes" /dev/urandom >"$work/send.txt"
  start_sim zs receive --quiet-ms 1500 --out "$work/arrived"
  dev=$sim_dev simpid=$sim_pid
  zo_config zs "$dev"
  "$bin"/zo-vovere "$work/send.txt" >/dev/null 2>&1 &
  pid=$!
  dialog_shown "Filename to send"
  xdotool key Return
  holds "$pid" "$dev" || { echo "zo-vovere send at line rate	-	-	FAILED (port not opened)"; return; }
  measure "zo-vovere send at line rate" "$pid" "$simpid"
  if cmp -s "$work/send.txt" "$work/arrived"; then echo "${row}arrived whole"; else echo "${row}FAILED"; fi
  kill "$pid"; wait "$pid" 2>/dev/null || true
}

# CuteCom on the same kind of stream: its session names the device, Alt+O
# opens it.
cutecom_receive() {
  local dev pid win simpid
  start_sim cc dump --length "$bytes" --wait-enter --linger-ms 0
  dev=$sim_dev simpid=$sim_pid
  export XDG_CONFIG_HOME=$work/config-cc
  mkdir -p "$XDG_CONFIG_HOME/CuteCom"
  printf '[sessions]\n1\\BaudRate=19200\n1\\DataBits=8\n1\\Device=%s\n1\\FlowControl=0\n1\\OpenMode=3\n1\\Parity=0\n1\\StopBits=1\n1\\name=Default\nsize=1\n' \
    "$dev" >"$XDG_CONFIG_HOME/CuteCom/CuteCom5.conf"
  cutecom >/dev/null 2>&1 &
  pid=$!
  win=$(window_of "$pid")
  xdotool windowfocus --sync "$win" key alt+o
  holds "$pid" "$dev" || { echo "cutecom receive at line rate	-	-	FAILED (port not opened)"; return; }
  echo >&"$sim_enter"
  measure "cutecom receive at line rate" "$pid" "$simpid"
  echo "${row}shown"
  kill "$pid"; wait "$pid" 2>/dev/null || true
}

for part in "${parts[@]}"; do
  case $part in
    zo_receive | zo_receive_uart | zo_receive_usb | zo_send | term_receive_uart | \
      term_receive_usb | term_send | cutecom_receive) "$part" ;;
    *) echo "unknown part: $part" >&2; exit 2 ;;
  esac
done
