#!/usr/bin/env bash
# Prints what Orca would speak during one case of tests/e2e/screen_reader.py
# (Saved, Sent, Canceled, LineFailure, PortMissing), from its debug log.
# Needs Orca: scripts/zo.sh setup orca. Speech and braille output are off;
# Orca logs each utterance all the same. ORCA_LOG=FILE keeps Orca's whole
# debug log there.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --inside ]; then # on the display and the session bus
  export HOME XDG_RUNTIME_DIR
  HOME=$(mktemp -d)
  # Orca keeps one instance a session by a file here: an Orca of an earlier
  # run still ending must not keep this one from starting.
  XDG_RUNTIME_DIR=$(mktemp -d)
  /usr/libexec/at-spi-bus-launcher --launch-immediately &
  sleep 1
  # Orca writes its log through a buffer that is lost when it is stopped:
  # opened here line by line, every utterance is in the log as it is made.
  /usr/bin/python3 -c 'import builtins, runpy, sys
opened = builtins.open
def line_by_line(name, mode="r", *rest, **options):
    if name == sys.argv[-1] and "w" in mode:
        return opened(name, mode, 1)
    return opened(name, mode, *rest, **options)
builtins.open = line_by_line
sys.argv[0] = "/usr/bin/orca"
runpy.run_path("/usr/bin/orca", run_name="__main__")' \
    --replace --disable speech --disable braille --debug-file "$3" &
  sleep 5
  /usr/bin/python3 tests/e2e/screen_reader.py build/bin/zo-vovere build/bin/zo-vovere-sim "$2" ||
    true
  sleep 2
  # Orca first, while the bus it says goodbye on is still there; one that
  # does not end within 5 s is stopped.
  kill %2
  for _ in $(seq 50); do kill -0 %2 2>/dev/null || break; sleep 0.1; done
  kill -9 %2 2>/dev/null || true
  kill %1
  wait
  exit 0
fi
log=${ORCA_LOG:-$(mktemp)}
xvfb-run -a dbus-run-session -- bash "$0" --inside "${1:?usage: scripts/orca-says.sh CASE}" \
  "$log" 2>/dev/null
grep -a "SPEECH OUTPUT" "$log" | sed "s/.*SPEECH OUTPUT: //; s/{'established'.*//"
[ -n "${ORCA_LOG:-}" ] || rm -f "$log"
