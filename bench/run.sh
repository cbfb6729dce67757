#!/usr/bin/env bash
# Benchmarks, printed as one table. Not part of ctest: run by hand.
#
#   bench/run.sh [MiB]     (default 64)
#
# - send and receive MiB over a pseudo-terminal pair as fast as the line
#   allows, against `cat` over the same kind of pair, with peak resident
#   memory above the idle program's;
# - start-up time to the window being shown, and resident memory, under
#   xvfb-run, against CuteCom (a Qt serial terminal from Debian);
# - wake-ups (context switches) and CPU time over ten idle seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
mib=${1:-64}
bash scripts/zo.sh setup cutecom xdotool
bash scripts/zo.sh build >/dev/null

transfer=$(./build/bin/zo-bench-transfer "$mib" 2>/dev/null)

gui=$(xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash bench/gui.sh 2>/dev/null)

cat_s=$(awk -F'\t' '/^cat/ {print $2}' <<<"$transfer")
row() { awk -F'\t' -v n="$1" '$1 == n' <<<"$transfer"; }
ratio() { awk -v a="$cat_s" -v b="$1" 'BEGIN {printf "%.2f", a / b}'; }
send=$(row "zo-vovere send"); recv=$(row "zo-vovere receive")
read -r _ zo_ms cc_ms < <(grep '^startup_ms' <<<"$gui")
read -r _ zo_rss cc_rss < <(grep '^rss_kib' <<<"$gui")
read -r _ idle_switches idle_ticks < <(grep '^idle' <<<"$gui")

echo
echo "| measurement | ZO Vovere | reference | result |"
echo "|---|---|---|---|"
printf '| send %s MiB over a pty | %s s (%s MiB/s) | cat: %s s | %s of cat'"'"'s throughput, peak RSS +%s KiB, %s |\n' \
  "$mib" "$(cut -f2 <<<"$send")" "$(cut -f3 <<<"$send")" "$cat_s" "$(ratio "$(cut -f2 <<<"$send")")" \
  "$(cut -f4 <<<"$send")" "$(cut -f5 <<<"$send")"
printf '| receive %s MiB over a pty | %s s (%s MiB/s) | cat: %s s | %s of cat'"'"'s throughput, peak RSS +%s KiB, %s |\n' \
  "$mib" "$(cut -f2 <<<"$recv")" "$(cut -f3 <<<"$recv")" "$cat_s" "$(ratio "$(cut -f2 <<<"$recv")")" \
  "$(cut -f4 <<<"$recv")" "$(cut -f5 <<<"$recv")"
printf '| start-up to window shown (median of 5) | %s ms | CuteCom: %s ms | %s |\n' "$zo_ms" "$cc_ms" \
  "$(awk -v a="$zo_ms" -v b="$cc_ms" 'BEGIN {printf "%.2f of CuteCom", a / b}')"
printf '| resident memory after start | %s KiB | CuteCom: %s KiB | %s |\n' "$zo_rss" "$cc_rss" \
  "$(awk -v a="$zo_rss" -v b="$cc_rss" 'BEGIN {printf "%.2f of CuteCom", a / b}')"
printf '| ten idle seconds | %s wake-ups, %s CPU ticks | none expected | |\n' "$idle_switches" "$idle_ticks"
latency=$(awk -F'\t' '/^transmit-empty latency/ {print $2 ", " $3 ", " $4 " (" $5 ")"}' <<<"$transfer")
printf '| Output to transmit-empty notification, pty | %s | within 1 ms | |\n' "$latency"
