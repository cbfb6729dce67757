#!/usr/bin/python3
"""What a screen reader hears when a transfer ends.

Runs ZO Vovere on an X display, with the accessibility bus on a private
session bus, and plays the desk with the simulator. The window is driven
through AT-SPI, as a screen reader user reaches it; the events it sends are
heard the way Orca hears them. An ending told only in the status line must
come as a notification (Orca speaks one as it is shown, while focus stays
where it is), a failure as an alert with its words; nothing may be
announced while the transfer runs.

usage: screen_reader.py PROGRAM SIMULATOR CASE   (under xvfb-run and
dbus-run-session; prints what was heard)
"""
import os
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

# case: (starter button, desk's arguments or None, what must be heard)
CASES = {
    "Saved": ("Receive File", ["dump", "--wait-enter", "--fast", "--length", "3000"],
              ("notification", "File has been saved.")),
    "Sent": ("Send File", ["receive", "--fast", "--quiet-ms", "1000"],
             ("notification", "file has been sent")),
    "Canceled": ("Receive File", ["dump", "--wait-enter", "--length", "20000"],
                 ("notification", "Action canceled")),
    "LineFailure": ("Receive File", ["dump", "--wait-enter", "--length", "3000", "--wrong-header"],
                    ("alert", "header data error, reset and retry")),
    "PortMissing": ("Receive File", None, ("alert", "Cannot open COM2 (")),
}
TITLES = {"Receive File": ("Filename to save the data", "show.txt"),
          "Send File": ("Filename to send", "notes.txt")}

heard = []  # (role, words, the focus moves after it)


def words_of(obj):
    """The name of an object, or for a box its labels' texts."""
    if obj.getRoleName() in ("alert", "dialog"):
        labels = pyatspi.findAllDescendants(obj, lambda x: x.getRole() == pyatspi.ROLE_LABEL)
        return " ".join(label.name for label in labels)
    return obj.name


def listen(event):
    try:
        source = event.source
        role = source.getRoleName()
        if event.type.startswith("object:state-changed:focused"):
            if event.detail1 and heard:
                heard[-1][2].append(f"{role} '{source.name}'")
            return
        if event.detail1 and role in ("notification", "alert"):
            heard.append((role, words_of(source), []))
    except Exception:  # an object gone before it was asked
        pass


def pump_until(condition, seconds):
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while context.pending():
            context.iteration(False)
        found = condition()
        if found:
            return found
        time.sleep(0.05)
    raise TimeoutError(f"not within {seconds} s: {condition.__doc__}")


def pump_for(seconds):
    try:
        pump_until(lambda: None, seconds)
    except TimeoutError:
        pass


def find(root, role, name):
    return pyatspi.findDescendant(
        root, lambda x: x.getRole() == role and x.name == name and
        x.getState().contains(pyatspi.STATE_SHOWING))


def press(button):
    action = button.queryAction()
    action.doAction([action.getName(i) for i in range(action.nActions)].index("Press"))


def main(program, simulator, case):
    starter, desk_args, (role, words) = CASES[case]
    program, simulator = os.path.abspath(program), os.path.abspath(simulator)
    folder = tempfile.mkdtemp(prefix="zo-a11y-")
    desk = None
    device = os.path.join(folder, "no-such-adapter")
    if desk_args:
        desk = subprocess.Popen([simulator] + desk_args, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, text=True)
        device = desk.stdout.readline().split("device: ")[1].strip()
    os.makedirs(os.path.join(folder, "config", "ZO Vovere"))
    with open(os.path.join(folder, "config", "ZO Vovere", "ZO Vovere.conf"), "w") as conf:
        conf.write(f"[Ports]\nCOM1={device}\nCOM2={device}\n")
    with open(os.path.join(folder, "notes.txt"), "w") as notes:
        notes.write("cue list for the second act\n" * 40)
    pyatspi.Registry.registerEventListener(listen, "object:state-changed:showing",
                                           "object:state-changed:focused")
    env = dict(os.environ, HOME=folder, XDG_CONFIG_HOME=os.path.join(folder, "config"),
               QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    zo = subprocess.Popen([program], env=env, cwd=folder)
    try:
        def app():
            """the window is on the bus"""
            desktop = pyatspi.Registry.getDesktop(0)
            for found in desktop:
                if found and found.name == "ZO Vovere" and find(found, pyatspi.ROLE_PUSH_BUTTON,
                                                                 starter):
                    return found
        window = pump_until(app, 20)
        status = pyatspi.findDescendant(window, lambda x: x.name == "Status line")
        press(find(window, pyatspi.ROLE_PUSH_BUTTON, starter))
        title, name = TITLES[starter]

        def dialog():
            """the file dialog is open"""
            return find(window, pyatspi.ROLE_DIALOG, title)
        chooser = pump_until(dialog, 10)
        find(chooser, pyatspi.ROLE_TEXT, "File name:").queryEditableText().setTextContents(
            os.path.join(folder, name))
        press(pyatspi.findDescendant(chooser, lambda x: x.name in ("Save", "Open")))
        if starter == "Receive File" and desk:
            def waiting():
                """the status line says the program waits"""
                return status.queryText().getText(0, -1).startswith("Waiting for data")
            pump_until(waiting, 10)
            desk.stdin.write("\n")
            desk.stdin.flush()
            if case == "Canceled":
                pump_for(1.5)  # some blocks have come
                press(find(window, pyatspi.ROLE_PUSH_BUTTON, "Cancel"))

        def ending():
            """the ending was announced"""
            return heard
        pump_until(ending, 20)
        pump_for(2)  # anything said after it
    finally:
        zo.kill()
        if desk:
            desk.kill()
    for event in heard:
        print("heard: %s '%s', then focus moved to %s" % event)
    failures = []
    if len(heard) != 1:
        failures.append(f"{len(heard)} announcements, not one")
    elif heard[0][0] != role or words not in heard[0][1]:
        failures.append(f"expected {role} '{words}'")
    elif role == "notification" and heard[0][2]:
        failures.append("the announcement moved the focus")
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
