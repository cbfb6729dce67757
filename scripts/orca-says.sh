#!/usr/bin/env bash
# Prints what Orca would speak during one case of tests/e2e/screen_reader.py
# (Saved, Sent, Canceled, LineFailure, PortMissing), from its debug log.
# Needs Orca: scripts/zo.sh setup orca. Speech and braille output are off;
# Orca logs each utterance all the same.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --inside ]; then # on the display and the session bus
  export HOME
  HOME=$(mktemp -d)
  /usr/libexec/at-spi-bus-launcher --launch-immediately &
  sleep 1
  orca --disable speech --disable braille --debug-file "$3" &
  sleep 5
  /usr/bin/python3 tests/e2e/screen_reader.py build/bin/zo-vovere build/bin/zo-vovere-sim "$2" ||
    true
  sleep 2
  kill %1 %2
  exit 0
fi
log=$(mktemp)
xvfb-run -a dbus-run-session -- bash "$0" --inside "${1:?usage: scripts/orca-says.sh CASE}" \
  "$log" 2>/dev/null
grep -a "SPEECH OUTPUT" "$log" | sed "s/.*SPEECH OUTPUT: //; s/{'established'.*//"
rm -f "$log"
