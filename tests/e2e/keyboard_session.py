#!/usr/bin/python3
"""A new user's whole session by keyboard alone, on a real X display.

Runs ZO Vovere on the X display it is given (Xvfb, with or without a window
manager), with Qt's own file dialog, and plays the desk with the simulator
over a socat pair. Every step is reached by its documented key, typed through
the X server (XTEST, as a keyboard types), never by calling into the window:
send, a second send, receive, a receive cancelled with Escape, Port Settings,
a filter chosen with the keyboard that the next start remembers, quit.

usage: keyboard_session.py PROGRAM SIMULATOR   (under xvfb-run; prints each
step and FAILED: for a step that did not happen)
"""
import os
import signal
import subprocess
import sys
import tempfile
import time


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True).stdout.strip()


def keys(*names):
    for name in names:
        xdotool("key", "--clearmodifiers", name)
        time.sleep(0.15)


def type_text(text):
    xdotool("type", "--delay", "20", text)


def wait_for(condition, seconds, what):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = condition()
        if found:
            return found
        time.sleep(0.1)
    raise TimeoutError(what)


def visible(name):
    """The id of a shown window whose title is name, or None."""
    ids = xdotool("search", "--onlyvisible", "--name", f"^{name}$").split()
    return ids[0] if ids else None


class Session:
    def __init__(self, program, simulator):
        self.program, self.simulator = program, simulator
        self.folder = tempfile.mkdtemp(prefix="zo-keys-")
        self.near = os.path.join(self.folder, "com1")
        self.desk_end = os.path.join(self.folder, "desk")
        self.socat = subprocess.Popen(
            ["socat", f"pty,raw,echo=0,link={self.near}", f"pty,raw,echo=0,link={self.desk_end}"])
        wait_for(lambda: os.path.exists(self.near) and os.path.exists(self.desk_end), 5,
                 "socat made its pair")
        config = os.path.join(self.folder, "config", "ZO Vovere")
        os.makedirs(config)
        with open(os.path.join(config, "ZO Vovere.conf"), "w") as conf:
            conf.write(f"[Ports]\nCOM1={self.near}\nCOM2={self.near}\n")
        self.notes = os.path.join(self.folder, "notes.txt")
        with open(self.notes, "w") as notes:
            notes.write("cue list for the second act\n" * 40)
        self.env = dict(os.environ, HOME=self.folder,
                        XDG_CONFIG_HOME=os.path.join(self.folder, "config"),
                        QT_QPA_PLATFORM="xcb", LANG="C.UTF-8", LANGUAGE="")
        self.env.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", None)
        self.zo = None
        self.failures = []
        # Whether a window manager runs (it is asked to activate windows).
        self.manager = "window id" in subprocess.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True, text=True).stdout

    def start(self):
        self.zo = subprocess.Popen([self.program], env=self.env, cwd=self.folder)
        wait_for(lambda: visible("ZO Vovere"), 20, "the window is shown")
        time.sleep(0.5)

    def desk(self, *args):
        return subprocess.Popen([self.simulator, "--device", self.desk_end, *args],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)

    def step(self, name, action):
        try:
            action()
            print("ok:", name)
        except TimeoutError as missing:
            print(f"FAILED: {name}: {missing} did not happen")
            self.failures.append(name)
            # What has the keyboard now, for the report.
            print("  focus is on window", xdotool("getwindowfocus"),
                  xdotool("getwindowfocus", "getwindowname"))
            for title in ("Filename to send", "Filename to save the data", "Port Settings"):
                if visible(title):
                    keys("Escape")

    def choose(self, title, path):
        wait_for(lambda: visible(title), 10, f'the dialog "{title}" opens')
        time.sleep(0.3)
        keys("ctrl+a")
        type_text(path)
        time.sleep(0.3)
        keys("Return")
        wait_for(lambda: not visible(title), 10, f'the dialog "{title}" closes')

    def send(self, starter):
        desk = self.desk("receive", "--fast", "--quiet-ms", "800",
                         "--out", os.path.join(self.folder, "arrived"))
        time.sleep(0.3)
        keys(starter)
        self.choose("Filename to send", self.notes)
        try:
            desk.wait(30)
        except subprocess.TimeoutExpired:
            desk.kill()
            raise TimeoutError("the desk's receive")
        with open(os.path.join(self.folder, "arrived"), "rb") as got, open(self.notes, "rb") as sent:
            if got.read() != sent.read():
                raise TimeoutError("the desk got the file whole")
        time.sleep(1.5)  # the program's own end after the last byte left

    def receive(self, cancel):
        target = os.path.join(self.folder, "show.txt" if not cancel else "cancelled.txt")
        keys("alt+r")
        self.choose("Filename to save the data", target)
        args = ["dump", "--length", "40000" if cancel else "3000"] + ([] if cancel else ["--fast"])
        desk = self.desk(*args)
        if cancel:
            time.sleep(2)
            keys("Escape")
            desk.kill()
            desk.wait()
            time.sleep(1)
            if os.path.exists(target):
                raise TimeoutError("nothing saved after Escape")
            return
        try:
            desk.wait(30)
        except subprocess.TimeoutExpired:
            desk.kill()
            raise TimeoutError("the desk's dump")
        wait_for(lambda: os.path.exists(target) and os.path.getsize(target) == 3000, 10,
                 "the backup saved whole")
        time.sleep(1)  # saved, then said

    def port_settings(self):
        keys("alt+f")
        time.sleep(0.3)
        keys("p")
        wait_for(lambda: visible("Port Settings"), 10, "Port Settings opens")
        keys("Escape")
        wait_for(lambda: not visible("Port Settings"), 10, "Port Settings closes")

    def another_program(self):
        # The keyboard given to another program stays there.
        other = subprocess.Popen(["xmessage", "-name", "other", "another program"])
        try:
            window = wait_for(lambda: visible("other"), 10, "the other program's window")
            xdotool("windowactivate", window) if self.manager else xdotool("windowfocus", window)
            time.sleep(1.5)
            if xdotool("getwindowfocus") != window:
                raise TimeoutError("the keyboard staying with the other program")
        finally:
            other.kill()
            other.wait()
        zo = visible("ZO Vovere")
        xdotool("windowactivate", zo) if self.manager else xdotool("windowfocus", zo)
        time.sleep(0.5)

    def quit(self):
        keys("ctrl+q")
        try:
            self.zo.wait(10)
        except subprocess.TimeoutExpired:
            raise TimeoutError("the program ends on Ctrl+Q")
        if self.zo.returncode != 0:
            raise TimeoutError("the program ends with status 0")

    def run(self):
        try:
            self.start()
            self.step("send by Ctrl+O", lambda: self.send("ctrl+o"))
            self.step("a second send, by Alt+S", lambda: self.send("alt+s"))
            self.step("receive by Alt+R", lambda: self.receive(False))
            self.step("a receive cancelled by Escape", lambda: self.receive(True))
            self.step("Port Settings by Alt+F, P", self.port_settings)
            self.step("another program keeps the keyboard it was given", self.another_program)
            self.step("a third send, by Ctrl+O", lambda: self.send("ctrl+o"))
            self.step("quit by Ctrl+Q", self.quit)
        finally:
            if self.zo and self.zo.poll() is None:
                self.zo.kill()
            self.socat.send_signal(signal.SIGTERM)
        return 1 if self.failures else 0


if __name__ == "__main__":
    sys.exit(Session(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])).run())
