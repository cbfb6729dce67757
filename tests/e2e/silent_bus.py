#!/usr/bin/python3
"""The window appears although the session bus accepts and never answers.

A hung or half-started bus daemon: its socket accepts connections and says
nothing. Qt's accessibility bridge would wait on it for good while the window
is built. Runs ZO Vovere on the X display it is given with such a bus and
the screen-reader bridge asked for, and checks that the window is shown
within 40 s (it waited for good) and that standard error says once why there is no bridge.

usage: silent_bus.py PROGRAM   (under xvfb-run)
"""
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time


def where_it_waits(pid):
    """Every thread's stack of a program that did not get as far as its window."""
    try:
        subprocess.run(["gdb", "-p", str(pid), "-batch", "-nx", "-ex", "thread apply all bt 30"],
                       timeout=60, stdin=subprocess.DEVNULL)
    except (OSError, subprocess.TimeoutExpired) as error:
        print("no stacks:", error)


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
    end = time.monotonic() + 40
    while time.monotonic() < end and not shown:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^ZO Vovere$"],
                               capture_output=True, text=True).stdout.strip()
        shown = bool(found)
        time.sleep(0.2)
    ended = zo.poll()
    if not shown and ended is None:
        where_it_waits(zo.pid)
    zo.kill()
    zo.wait()
    server.close()
    errors.seek(0)
    lines = errors.read().splitlines()
    said = [line for line in lines if "session bus" in line]
    print("shown:", shown, "; said:", said, "; connections held:", len(held))
    if not shown:
        print("FAILED: the window was not shown within 40 s;",
              "the program was still running" if ended is None else f"the program ended with {ended}")
        print("its standard error, last lines:", *lines[-40:], sep="\n  ")
    if len(said) != 1:
        print("FAILED: standard error should say once that the session bus does not answer")
    return 0 if shown and len(said) == 1 else 1


if __name__ == "__main__":
    sys.exit(main(os.path.abspath(sys.argv[1])))
