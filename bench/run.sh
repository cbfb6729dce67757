#!/usr/bin/env bash
# Benchmarks, printed as one table. Not part of ctest: run by hand.
#
#   bench/run.sh [MiB] [SECONDS]     (defaults 64 and 60)
#
# - send and receive MiB over a pseudo-terminal pair as fast as the line
#   allows, against `cat` over the same kind of pair, with peak resident
#   memory above the idle program's (bench/TransferBench.cpp);
# - CPU and wake-ups while receiving and sending for SECONDS at the line's
#   pace, and CuteCom (a Qt serial terminal from Debian) receiving the same
#   stream, each driven through its window (bench/linerate.sh);
# - start-up time to the window being shown and resident memory, against an
#   empty Qt window and CuteCom, and wake-ups over ten idle seconds
#   (bench/gui.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
mib=${1:-64}
seconds=${2:-60}
bash scripts/zo.sh setup cutecom xdotool
bash scripts/zo.sh build >/dev/null

# A display and a session bus of their own, as on a desktop: without a bus
# every Qt program with text would start one on its first accessibility
# update, which an empty window never makes.
display() { xvfb-run -a -s "-screen 0 1024x768x24 -noreset" dbus-run-session -- "$@" 2>/dev/null; }
transfer=$(./build/bin/zo-bench-transfer "$mib" 2>/dev/null)
linerate=$(display bash bench/linerate.sh "$seconds")
gui=$(display bash bench/gui.sh)

field() { awk -F'\t' -v n="$1" -v f="$2" '$1 == n {print $f}' <<<"$3"; }
div() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
read -r _ zo_ms empty_ms label_ms cc_ms < <(grep '^startup_ms' <<<"$gui")
read -r _ zo_rss empty_rss label_rss cc_rss < <(grep '^rss_kib' <<<"$gui")
read -r _ idle_switches idle_ticks < <(grep '^idle' <<<"$gui")

echo
echo "Machine: $(nproc) cores, $(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo)," \
  "$(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo), Linux $(uname -r)," \
  "Debian $(cat /etc/debian_version), Qt $(dpkg-query -W -f '${Version}' libqt6core6 2>/dev/null)"
echo
echo "| measurement | ZO Vovere | reference | result |"
echo "|---|---|---|---|"
for way in send receive; do
  s=$(field "zo-vovere $way" 2 "$transfer")
  [[ $way == send ]] && cat_name="cat FILE >PTY" || cat_name="cat <PTY >FILE"
  cat_s=$(field "$cat_name" 2 "$transfer")
  printf '| %s %s MiB over a pty, first byte to last | %s s (%s MiB/s) | `%s`: %s s | %s of cat'"'"'s throughput, peak RSS +%s KiB, %s |\n' \
    "$way" "$mib" "$s" "$(field "zo-vovere $way" 3 "$transfer")" "$cat_name" "$cat_s" "$(div "$cat_s" "$s")" \
    "$(field "zo-vovere $way" 4 "$transfer")" "$(field "zo-vovere $way" 5 "$transfer")"
done
cc_cpu=$(field "cutecom receive at line rate" 2 "$linerate")
cc_wake=$(field "cutecom receive at line rate" 3 "$linerate")
for way in "receive" "receive in UART bursts" "send"; do
  name="zo-vovere $way at line rate"
  label=${way/in UART bursts/in 14-byte bursts (as a UART hands them over)}
  printf '| %s for %s s at 1920 B/s | %s%% of a core, %s wake-ups/s | CuteCom receiving: %s%%, %s wake-ups/s | %s |\n' \
    "$label" "$seconds" "$(field "$name" 2 "$linerate")" "$(field "$name" 3 "$linerate")" "$cc_cpu" "$cc_wake" \
    "$(field "$name" 4 "$linerate")"
done
printf '| start-up to window shown (median of 7) | %s ms | empty Qt window: %s ms; Qt window with one word: %s ms; CuteCom: %s ms | %s of the empty window, %s of the one with a word |\n' \
  "$zo_ms" "$empty_ms" "$label_ms" "$cc_ms" "$(div "$zo_ms" "$empty_ms")" "$(div "$zo_ms" "$label_ms")"
printf '| resident memory after start | %s KiB | empty Qt window: %s KiB; with one word: %s KiB; CuteCom: %s KiB | %s of CuteCom |\n' \
  "$zo_rss" "$empty_rss" "$label_rss" "$cc_rss" "$(div "$zo_rss" "$cc_rss")"
printf '| ten idle seconds | %s wake-ups, %s CPU ticks | none expected | |\n' "$idle_switches" "$idle_ticks"
latency=$(awk -F'\t' '/^transmit-empty latency/ {print $2 ", " $3 ", " $4 " (" $5 ")"}' <<<"$transfer")
printf '| Output to transmit-empty notification, pty | %s | within 1 ms | |\n' "$latency"
