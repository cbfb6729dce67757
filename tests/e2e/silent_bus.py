#!/usr/bin/python3
"""The window appears although the session bus accepts and never answers.

A hung or half-started bus daemon: its socket accepts connections and says
nothing. Qt's accessibility bridge would wait on it for good while the window
is built. Runs ZO Vovere on the X display it is given with such a bus and
the screen-reader bridge asked for, and checks that the window is shown
within 15 s and that standard error says once why there is no bridge.

usage: silent_bus.py PROGRAM   (under xvfb-run)
"""
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time


def main(program):
    folder = tempfile.mkdtemp(prefix="zo-bus-")
    path = os.path.join(folder, "bus")
    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    server.bind(path)
    server.listen(16)
    held = []  # accepted, never answered

    def accept():
        while True:
            try:
                held.append(server.accept()[0])
            except OSError:
                return
    threading.Thread(target=accept, daemon=True).start()
    env = dict(os.environ, HOME=folder, XDG_CONFIG_HOME=os.path.join(folder, "config"),
               DBUS_SESSION_BUS_ADDRESS=f"unix:path={path}", QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    errors = tempfile.TemporaryFile(mode="w+")
    zo = subprocess.Popen([program], env=env, cwd=folder, stderr=errors)
    shown = False
    end = time.monotonic() + 15
    while time.monotonic() < end and not shown:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^ZO Vovere$"],
                               capture_output=True, text=True).stdout.strip()
        shown = bool(found)
        time.sleep(0.2)
    zo.kill()
    zo.wait()
    server.close()
    errors.seek(0)
    said = [line for line in errors.read().splitlines() if "session bus" in line]
    print("shown:", shown, "; said:", said, "; connections held:", len(held))
    if not shown:
        print("FAILED: the window was not shown within 15 s")
    if len(said) != 1:
        print("FAILED: standard error should say once that the session bus does not answer")
    return 0 if shown and len(said) == 1 else 1


if __name__ == "__main__":
    sys.exit(main(os.path.abspath(sys.argv[1])))
