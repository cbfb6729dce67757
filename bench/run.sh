#!/usr/bin/env bash
# Benchmarks, printed as one table of goals, each with its ratio and "met" or
# "short". Not part of ctest: run by hand.
#
#   bench/run.sh [MIB,MIB,...] [SECONDS] [ROUNDS]   (defaults 1,16,64,256  60  3)
#   bench/run.sh --table FOLDER    the table again from a run's measurements
#
# The measurements are kept in a folder named on standard error.
# - send and receive each size over a pseudo-terminal pair as fast as the line
#   allows, from the window and from the terminal, against the chunking floor
#   (a send) and `cat <PTY >FILE` (a receive), far ends in processes of their
#   own holding only the controller's side; medians of interleaved rounds,
#   peak resident memory (bench/TransferBench.cpp, bench/FarEnd.cpp);
# - the same receives into a folder on a disk that writes slower than the line
#   (a FUSE file system that takes 8 MiB a second, bench/slowfs.py), for the
#   memory;
# - CPU and wake-ups of every thread, from /proc, while receiving and sending
#   for SECONDS at the line's pace, the window against the terminal, with the
#   bytes handed over as a 16550 UART (14 at a time) and an FTDI-like USB
#   adapter (31) do, and CuteCom receiving the same stream
#   (bench/linerate.sh);
# - start-up to the window mapped (the X server's MapNotify), against a Qt
#   window showing one word, an empty one and CuteCom; resident memory, and
#   ten idle seconds (bench/gui.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ${1:-} == --table ]]; then
  out=$2
  read -r sizes seconds <"$out/settings"
else
sizes=${1:-1,16,64,256}
seconds=${2:-60}
rounds=${3:-3}
out=$(mktemp -d /tmp/zo-bench.XXXXXX)
echo "bench/run.sh: measurements kept in $out" >&2
echo "$sizes $seconds" >"$out/settings"
bash scripts/zo.sh setup cutecom xdotool libx11-dev python3-fusepy fuse3 >&2
bash scripts/zo.sh build >/dev/null

# A display and a session bus of their own, as on a desktop: without a bus
# every Qt program with text would start one on its first accessibility
# update, which an empty window never makes.
display() { xvfb-run -a -s "-screen 0 1024x768x24 -noreset" dbus-run-session -- "$@" 2>/dev/null; }
./build/bin/zo-bench-transfer "$sizes" "$rounds" >"$out/transfer" 2>/dev/null

# The slow disk: mounted for the receives' memory, taken down afterwards.
: >"$out/slow"
slow_mnt=$(mktemp -d) slow_back=$(mktemp -d)
if /usr/bin/python3 bench/slowfs.py "$slow_back" "$slow_mnt" 8 2>/dev/null; then
  ./build/bin/zo-bench-transfer 64 1 "$slow_mnt" 2>/dev/null | awk -F'\t' '$2 == "receive"' >"$out/slow"
  fusermount3 -u "$slow_mnt" 2>/dev/null || umount "$slow_mnt" 2>/dev/null || true
fi
rmdir "$slow_mnt" 2>/dev/null || true
rm -rf "$slow_back"

display bash bench/linerate.sh "$seconds" >"$out/linerate" || true
display bash bench/gui.sh >"$out/gui" || true
fi

# The table, whatever is missing from the measurements.
set +e
transfer=$(cat "$out/transfer") slow=$(cat "$out/slow") linerate=$(cat "$out/linerate") gui=$(cat "$out/gui")

# field MODE WAY MIB COLUMN
field() { awk -F'\t' -v m="$1" -v w="$2" -v s="$3" -v c="$4" '$1 == m && $2 == w && $3 == s {print $c}' <<<"$transfer"; }
line() { awk -F'\t' -v n="$1" -v c="$2" '$1 == n {print $c}' <<<"$linerate"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (a + 0 > 0 && b + 0 > 0) printf "%.2f", a / b; else print "-"}'; }
# verdict RATIO LIMIT at-least|at-most [OK]
verdict() {
  awk -v r="$1" -v l="$2" -v w="$3" -v ok="${4:-ok}" 'BEGIN {
    if (r == "-" || ok != "ok") { print "short (failed)"; exit }
    met = (w == "at-least") ? r >= l : r <= l
    print met ? "met" : "short" }'
}
row() { printf '| %s | %s | %s | %s | %s |\n' "$@"; }

echo
echo "Machine: $(nproc) cores, $(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo)," \
  "$(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo), Linux $(uname -r)," \
  "Debian $(cat /etc/debian_version), Qt $(dpkg-query -W -f '${Version}' libqt6core6 2>/dev/null)"
echo
echo "| goal | ZO Vovere | reference | ratio | result |"
echo "|---|---|---|---|---|"
IFS=, read -ra mibs <<<"$sizes"
for mib in "${mibs[@]}"; do
  ((mib >= 16)) || continue
  for mode in window terminal; do
    s=$(field "$mode" receive "$mib" 4) c=$(field cat receive "$mib" 4)
    r=$(ratio "$c" "$s")
    row "receive $mib MiB over a pty, $mode: at least 0.9 of cat" "$s s" "\`cat <PTY >FILE\`: $c s" "$r" \
      "$(verdict "$r" 0.9 at-least "$(field "$mode" receive "$mib" 7)")"
    s=$(field "$mode" send "$mib" 4) f=$(field floor send "$mib" 4)
    r=$(ratio "$f" "$s")
    row "send $mib MiB over a pty, $mode: at least 0.9 of the chunking floor" "$s s" "1024-byte chunks, each once the output queue is empty: $f s" "$r" \
      "$(verdict "$r" 0.9 at-least "$(field "$mode" send "$mib" 7)")"
  done
done
# Memory: the window's peak above its idle resident memory; the terminal's
# peak against its own at the smallest size.
small=${mibs[0]}
for way in send receive; do
  worst=0 all=ok
  for mib in "${mibs[@]}"; do
    p=$(field window "$way" "$mib" 6); ((p > worst)) && worst=$p
    [[ $(field window "$way" "$mib" 7) == ok ]] || all=failed
  done
  row "window $way peak memory, $small to ${mibs[-1]} MiB: under +8 MiB" "+$worst KiB at most" "its idle resident memory" \
    "$(ratio "$worst" 8192)" "$(verdict "$(ratio "$worst" 8192)" 1 at-most "$all")"
  base=$(field terminal "$way" "$small" 6) worst=0
  for mib in "${mibs[@]}"; do
    d=$(($(field terminal "$way" "$mib" 6) - base)); ((d > worst)) && worst=$d
  done
  row "terminal $way peak memory, $small to ${mibs[-1]} MiB: under +8 MiB" "+$worst KiB at most" "its own peak at $small MiB: $base KiB" \
    "$(ratio "$((worst > 0 ? worst : 1))" 8192)" "$(verdict "$(ratio "$((worst > 0 ? worst : 1))" 8192)" 1 at-most)"
done
if [[ -n $slow ]]; then
  while IFS=$'\t' read -r mode _ mib secs _ peak ok; do
    [[ $mode == window || $mode == terminal ]] || continue
    if [[ $mode == window ]]; then extra=$peak; ref="its idle resident memory"
    else extra=$((peak - $(field terminal receive "$small" 6))); ref="its peak at $small MiB on the fast disk"; fi
    row "$mode receive of $mib MiB onto a disk writing 8 MiB/s: under +8 MiB" "+$extra KiB ($secs s)" "$ref" \
      "$(ratio "$((extra > 0 ? extra : 1))" 8192)" "$(verdict "$(ratio "$((extra > 0 ? extra : 1))" 8192)" 1 at-most "$ok")"
  done <<<"$slow"
else
  row "receive onto a disk slower than the line: under +8 MiB" "not measured" "FUSE not available here" "-" "short (not measured)"
fi
for shape in "UART bursts" "USB bursts"; do
  w="zo-vovere receive in $shape at line rate" t="terminal receive in $shape at line rate"
  for col in 2 3; do
    [[ $col == 2 ]] && what="CPU" unit="% of a core" || what="wake-ups" unit="/s"
    r=$(ratio "$(line "$w" $col)" "$(line "$t" $col)")
    row "receive in $shape at 1920 B/s for $seconds s, window $what: at most 1.3 of the terminal" \
      "$(line "$w" $col)$unit" "terminal: $(line "$t" $col)$unit; CuteCom (byte by byte): $(line "cutecom receive at line rate" $col)$unit" \
      "$r" "$(verdict "$r" 1.3 at-most "$([[ $(line "$w" 4) == "saved whole" && $(line "$t" 4) == "saved whole" ]] && echo ok)")"
  done
done
# A pseudo-terminal takes about 68 KiB into its buffers at once: the
# terminal's send of a minute at the line's pace is over after a few seconds,
# so the two are shown side by side, without a verdict.
row "send at 1920 B/s for $seconds s, window (the pty takes most of the terminal's send at once)" \
  "$(line "zo-vovere send at line rate" 2)% of a core, $(line "zo-vovere send at line rate" 3)/s" \
  "terminal: $(line "terminal send at line rate" 2)% of a core, $(line "terminal send at line rate" 3)/s" "" \
  "$(line "zo-vovere send at line rate" 4)"
read -r _ zo_ms empty_ms label_ms cc_ms < <(grep '^startup_ms' <<<"$gui")
read -r _ zo_rss empty_rss label_rss cc_rss < <(grep '^rss_kib' <<<"$gui")
read -r _ idle_switches idle_ticks < <(grep '^idle' <<<"$gui")
r=$(ratio "$zo_ms" "$label_ms")
row "start-up to the window mapped (median of 9): at most 1.2 of a Qt window with one word" "$zo_ms ms" \
  "one word: $label_ms ms; empty Qt window: $empty_ms ms; CuteCom: $cc_ms ms" "$r" "$(verdict "$r" 1.2 at-most)"
row "resident memory after start" "$zo_rss KiB" "one word: $label_rss KiB; empty: $empty_rss KiB; CuteCom: $cc_rss KiB" \
  "$(ratio "$zo_rss" "$label_rss")" ""
row "ten idle seconds: no wake-up" "$idle_switches wake-ups, $idle_ticks CPU ticks" "none" "" \
  "$([[ $idle_switches == 0 ]] && echo met || echo short)"
latency=$(awk -F'\t' '/^transmit-empty latency/ {print $2 ", " $3 ", " $4 " (" $5 ")"}' <<<"$transfer")
row "output to transmit-empty notification, pty" "$latency" "within 1 ms" "" ""
