#!/usr/bin/env python3
"""The Windows Loop Parameters dialog worked with real mouse and keys.

Under Xvfb with openbox, the real window (win_input_host.exe, under wine) takes
a drop of a WAV file per case; xdotool types, clicks and presses keys at the
dialog's controls, and the loop file that OK writes is checked: its number and
its tempo. Messages to the controls cannot show what the controls themselves do
with real input (a trackbar that pages on a timer while it holds the mouse, an
up-down control that steps on timers of its own), so this drives them as a
user does.

    real_input_test.py HOST_EXE WINE_RUN_SCRIPT WINE_PREFIX

Exits 77 (skipped) when Xvfb, openbox, xdotool or wine is missing.
"""
import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import wave

SKIPPED = 77

# Each case: what is done in the dialog, then the loop file OK must write.
# "field N" types N into the file-number field; "up"/"down" click the
# stepper's arrows, "over-up"/"over-down" only move the pointer onto them;
# "Up"/"Down"/"Return" are keys; "page" clicks the slider's track right of the
# thumb; "box" presses Enter on the message box; "ok" clicks OK once;
# "wheel" turns the wheel one notch up.
CASES = [
    ("field 99, page, box, ok", "L01.T58", 1600),
    ("field 50, up, Up, Return", "L50.T58", 1200),
    ("field 50, up, Down, Return", "L49.T58", 1200),
    ("field 50, down, Up, Return", "L50.T58", 1200),
    ("field 50, down, Down, Return", "L48.T58", 1200),
    ("field 50, Up, up, Return", "L50.T58", 1200),
    ("field 50, Down, down, Return", "L48.T58", 1200),
    ("field 50, over-up, Up, Return", "L50.T58", 1200),
    ("field 1, up, Up, Return", "L03.T58", 1200),
    ("field 1, down, Down, Return", "L01.T58", 1200),
    ("field 1, over-down, Down, Up, Return", "L02.T58", 1200),
    ("field 1, Up, down, Return", "L01.T58", 1200),
    ("field 5, over-up, wheel, Return", "L06.T58", 1200),
]


def run(*command, **kwargs):
    return subprocess.run(command, check=True, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, **kwargs)


class Host:
    """The window under wine, and the lines it prints."""

    def __init__(self, command, env):
        self.process = subprocess.Popen(command, env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True,
                                        encoding="utf-8", errors="replace")
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.rstrip("\r\n"))
        self.lines.put(None)

    def next(self, seconds):
        try:
            return self.lines.get(timeout=seconds)
        except queue.Empty:
            return None


class Dialog:
    """One open Loop Parameters dialog: where its controls are, and the input."""

    shot = 0

    def __init__(self, host, env):
        self.env = env
        self.host = host
        self.places = {}

    def wait_open(self):
        while True:
            line = self.host.next(15)
            if line is None:
                return False
            if line == "dialog":
                return True
            name, *numbers = line.split()
            self.places[name] = [int(n) for n in numbers]

    def xdotool(self, *args):
        run("xdotool", *args, env=self.env)

    def point(self, name, fx=0.5, fy=0.5):
        left, top, right, bottom = self.places[name]
        return str(int(left + (right - left) * fx)), str(int(top + (bottom - top) * fy))

    def click(self, x, y):
        self.xdotool("mousemove", "--sync", x, y, "click", "1")

    def do(self, step):
        if step.startswith("field "):
            self.click(*self.point("field"))
            self.xdotool("key", "End", "BackSpace", "BackSpace", "BackSpace")
            self.xdotool("type", step.split()[1])
        elif step in ("up", "down", "over-up", "over-down"):
            x, y = self.point("stepper", 0.5, 0.25 if step.endswith("up") else 0.75)
            if step.startswith("over-"):
                self.xdotool("mousemove", "--sync", x, y)
            else:
                self.click(x, y)
        elif step == "page":
            thumb = self.places["thumb"]
            channel = self.places["channel"]
            self.click(str((thumb[2] + channel[2]) // 2), str((thumb[1] + thumb[3]) // 2))
        elif step == "box":
            line = self.host.next(5)
            if line is None or not line.startswith("box "):
                raise AssertionError(f"no message box, but {line!r}")
            self.xdotool("search", "--sync", "--onlyvisible", "--name", "^win_input_host$")
            time.sleep(0.3)
            self.xdotool("key", "Return")
        elif step == "wheel":
            self.xdotool("click", "4")
        elif step == "ok":
            self.click(*self.point("ok"))
        else:
            self.xdotool("key", step)
        # Long enough for the controls' own timers to fire while nothing is pressed.
        time.sleep(0.4 if step in ("Up", "Down", "page", "box") else 0.1)
        shots = os.environ.get("LOOPSMITH_REAL_INPUT_SHOTS")
        if shots:
            Dialog.shot += 1
            run("import", "-window", "root", f"{shots}/{Dialog.shot:03}-{step}.png", env=self.env)


def write_wave(path):
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(44100)
        out.writeframes(bytes(2 * 44100))


def tempo_of(path):
    with open(path, "rb") as loop:
        header = loop.read(56)
    return (header[19] << 8) | header[20]


def main():
    host_exe, wine_run, prefix = (os.path.abspath(arg) for arg in sys.argv[1:4])
    missing = [tool for tool in ("Xvfb", "openbox", "xdotool", "wine")
               if shutil.which(tool) is None]
    if missing:
        print(f"skipped: {', '.join(missing)} not installed")
        return SKIPPED

    work = tempfile.mkdtemp(prefix="loopsmith-real-input-")
    started = []
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
    try:
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                 "1024x768x24", "-nolisten", "tcp"],
                                pass_fds=(write_end,), stderr=subprocess.DEVNULL)
        started.append(xvfb)
        os.close(write_end)
        with os.fdopen(read_end) as display:
            env["DISPLAY"] = ":" + display.readline().strip()
        started.append(subprocess.Popen(["openbox", "--sm-disable"], env=env,
                                        stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL))
        # A prefix of its own, with wine's X11 driver: the others have none.
        run("bash", wine_run, "--warm", env=env)

        source = os.path.join(work, "take.wav")
        write_wave(source)
        windows_source = "Z:" + source.replace("/", "\\")
        host = Host(["bash", wine_run, host_exe] + [windows_source] * len(CASES), env)
        started.append(host.process)

        failures = []
        passed = 0
        for steps, name, tempo in CASES:
            dialog = Dialog(host, env)
            if not dialog.wait_open():
                failures.append(f"{steps}: the dialog did not open")
                break
            try:
                for step in steps.split(", "):
                    dialog.do(step)
                line = host.next(5)
                if line is None:
                    failures.append(f"{steps}: the dialog is still open")
                    dialog.xdotool("key", "Escape")
                    host.next(5)
                    continue
                written = line.removeprefix("wrote ").replace("\\", "/").rsplit("/", 1)[-1]
                got = tempo_of(os.path.join(work, written)) if line.startswith("wrote ") else None
                if (written, got) != (name, tempo):
                    failures.append(f"{steps}: wrote {line!r} at {got}, wants {name} at {tempo}")
                else:
                    passed += 1
                for loop in os.listdir(work):
                    if loop.endswith(".T58"):
                        os.remove(os.path.join(work, loop))
            except (AssertionError, subprocess.CalledProcessError) as error:
                failures.append(f"{steps}: {error}")
                break
        for failure in failures:
            print("FAILED:", failure)
        print(f"{passed} passed, {len(CASES) - passed} failed")
        return 1 if failures else 0
    finally:
        for process in reversed(started):
            if process.poll() is None:
                process.kill()
            process.wait()
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
