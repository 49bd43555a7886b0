#!/usr/bin/python3
"""End to end in a Wayland session, where nothing grabs the keyboard: a headless sway binds the
shortcut to a command that asks the real quillet-app to run its "expand" action, and the line
before the caret of a native Wayland editor expands. The editor's text and caret are read back
over AT-SPI by atspi_text (libatspi only).

    dbus-run-session -- wayland_cases.py PREFIX FIXTURE WORK [EDITOR…]
    dbus-run-session -- wayland_cases.py PREFIX FIXTURE WORK --measure REPETITIONS

PREFIX holds the installed quillet and quillet-app, FIXTURE is the Qt fixture editor, WORK a
folder of the session's own. Run by run-wayland.sh as an unprivileged user (sway refuses root).
Every wait has a deadline; a failure prints what was read and the ends of the logs.
"""

import json
import os
import select
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import atspi_text  # noqa: E402

ABBREVIATION = "for item in items"
# The desktop's shortcuts: one runs the desktop's own action command, the other Quillet's.
GAPPLICATION = "gapplication action com.orvanta.Quillet expand"
QUILLET = "{prefix}/bin/quillet action expand"
KEYS = {GAPPLICATION: "e", QUILLET: "r"}
GTK = {"GDK_BACKEND": "wayland", "NO_AT_BRIDGE": "0"}
QT = {"QT_QPA_PLATFORM": "wayland", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}
# Typed right after the shortcut, which nothing holds here: they reach the editor at once.
TYPED_AFTER = "zz"
# (name, command, environment, trigger, typed after). The first row starts quillet-app through
# its command.
FIXTURE = ["{fixture}", "main.swift - Fixture", "{file}"]
EDITORS = [
    ("qt6-fixture", FIXTURE, QT, QUILLET, ""),
    ("mousepad", ["mousepad", "--disable-server", "{file}"], GTK, GAPPLICATION, ""),
    ("gnome-text-editor", ["gnome-text-editor", "--standalone", "{file}"], GTK, QUILLET, ""),
    ("qt6-fixture-typed-after", FIXTURE, QT, QUILLET, TYPED_AFTER),
]


class Failure(Exception):
    pass


class Session:
    def __init__(self, prefix, fixture, work):
        self.prefix, self.fixture, self.work = prefix, fixture, work
        self.processes = []
        self.env = self.home(os.path.join(work, "home"))
        self.env.update({"WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_RENDERER": "pixman"})
        self.env.pop("DISPLAY", None)
        self.env.pop("WAYLAND_DISPLAY", None)

    def home(self, home):
        env = dict(os.environ)
        env.update({"HOME": home, "XDG_CONFIG_HOME": home + "/.config", "XDG_DATA_HOME": home + "/.local/share",
                    "XDG_CACHE_HOME": home + "/.cache", "XDG_RUNTIME_DIR": self.work + "/runtime"})
        for directory in (home, env["XDG_CONFIG_HOME"], env["XDG_DATA_HOME"], env["XDG_CACHE_HOME"],
                          env["XDG_RUNTIME_DIR"]):
            os.makedirs(directory, exist_ok=True)
        os.chmod(env["XDG_RUNTIME_DIR"], 0o700)
        return env

    def start(self, command, log, env=None, **options):
        process = subprocess.Popen(command, stdout=open(os.path.join(self.work, log), "a"),
                                   stderr=subprocess.STDOUT, env=env or self.env, **options)
        self.processes.append(process)
        return process

    def log(self, name, lines=25):
        try:
            with open(os.path.join(self.work, name), errors="replace") as file:
                return "".join(file.readlines()[-lines:])
        except OSError:
            return ""

    @staticmethod
    def wait(what, condition, seconds=20.0):
        """Polls CONDITION, which returns (held, what it saw), until it holds; raises with what
        it saw last."""
        deadline = time.monotonic() + seconds
        while True:
            held, last = condition()
            if held:
                return last
            if time.monotonic() > deadline:
                raise Failure("waiting for %s; read %s" % (what, json.dumps(last, ensure_ascii=False)))
            time.sleep(0.03)

    def reading(self, what, predicate, seconds=20.0):
        """Waits until the focused text's reading satisfies PREDICATE; the reading."""
        return self.wait(what, lambda: (lambda read: (predicate(read), read))(atspi_text.read()), seconds)

    def run(self, command, **options):
        return subprocess.run(command, env=self.env, capture_output=True, text=True, timeout=30, **options)

    def set_up(self):
        self.run(["gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path", "/org/a11y/bus",
                  "--method", "org.freedesktop.DBus.Properties.Set", "org.a11y.Status", "IsEnabled", "<true>"],
                 check=True)
        # What sway starts (the shortcuts' commands, and the application the first one starts)
        # has sway's environment.
        self.env["QT_LOGGING_RULES"] = "quillet.expansion.debug=true;quillet.shortcuts.debug=true"
        os.makedirs(self.env["XDG_CONFIG_HOME"] + "/orvanta", exist_ok=True)
        with open(self.env["XDG_CONFIG_HOME"] + "/orvanta/Quillet.ini", "w") as settings:
            settings.write("[General]\nDidOpenIntro=true\n")
        config = os.path.join(self.work, "sway.config")
        with open(config, "w") as file:
            file.write("xwayland disable\noutput HEADLESS-1 resolution 1280x800\n")
        self.start(["sway", "--config", config], "sway.log")
        runtime = self.env["XDG_RUNTIME_DIR"]

        def sockets():
            names = sorted(name for name in os.listdir(runtime) if not name.endswith(".lock"))
            found = ([name for name in names if name.startswith("sway-ipc.")][:1]
                     + [name for name in names if name.startswith("wayland-")][:1])
            return len(found) == 2, found if len(found) == 2 else {"runtime": names, "sway": self.log("sway.log", 5)}
        ipc, self.env["WAYLAND_DISPLAY"] = self.wait("sway", sockets)
        self.env["SWAYSOCK"] = os.path.join(runtime, ipc)
        # A keyboard that stays on the seat: without one no window is active, no text focused.
        self.start(["wtype", "-s", "3600000"], "wtype.log")
        for command, key in KEYS.items():
            bound = self.run(["swaymsg", "bindsym", "ctrl+alt+" + key, "exec",
                              command.format(prefix=self.prefix) + " >>" + self.work + "/actions.log 2>&1"])
            if bound.returncode != 0:
                raise Failure("swaymsg bindsym: " + bound.stdout + bound.stderr)
        # Notifications land in the test's own server, never in a daemon installed here.
        notifications = os.path.join(self.work, "notifications.log")
        self.start([sys.executable, os.path.join(HERE, "editor_cases.py"), "--notification-server", notifications],
                   "notification-server.log")
        self.wait("the test's notification server", lambda: (os.path.exists(notifications), None))

    def expected(self, line=ABBREVIATION):
        result = self.run([self.prefix + "/bin/quillet", "expand", "--extension", "swift", line], check=True)
        return json.loads(result.stdout)

    def case(self, name, command, env, trigger, typed_after):
        folder = os.path.join(self.work, name)
        os.makedirs(folder)
        path = os.path.join(folder, "main.swift")
        open(path, "w").close()
        editor_env = self.home(os.path.join(folder, "home"))
        for key in ("WAYLAND_DISPLAY", "SWAYSOCK"):
            editor_env[key] = self.env[key]
        editor_env.update(env)
        words = [word.format(fixture=self.fixture, file=path) for word in command]
        editor = self.start(words, name + ".log", editor_env)
        try:
            self.reading(name + "'s text focused", lambda read: "main.swift" in read.get("title", ""), 60)
            self.run(["wtype", ABBREVIATION], check=True)
            self.reading("the typed line", lambda read: read.get("text") == ABBREVIATION)
            self.run(["wtype", "-M", "ctrl", "-M", "alt", KEYS[trigger], "-m", "alt", "-m", "ctrl"]
                     + ([typed_after] if typed_after else []), check=True)
            expected = self.expected()
            caret = expected["cursorPosition"]
            # The keys typed after land at the expansion's caret; or they reach the line before
            # the press reads it, which then expands as typed; or between the read and the
            # write, and the line is left as typed.
            wanted = [(expected["text"][:caret] + typed_after + expected["text"][caret:], caret + len(typed_after))]
            if typed_after:
                typed = self.expected(ABBREVIATION + typed_after)
                wanted += [(typed["text"], typed["cursorPosition"]),
                           (ABBREVIATION + typed_after, len(ABBREVIATION + typed_after))]
            reading = self.reading("the expansion", lambda read: (read.get("text"), read.get("caret")) in wanted, 30)
            print("%s, through %s: %s, caret %d" % (name, trigger.split()[0].split("/")[-1],
                                                    json.dumps(reading["text"]), reading["caret"]))
        finally:
            editor.terminate()
            try:
                editor.wait(10)
            except subprocess.TimeoutExpired:
                editor.kill()

    def measure(self, repetitions):
        """For bench/desktop-speed: milliseconds from the desktop's shortcut (the moment sway
        runs its binding) to the caret in place in Mousepad, through each of the two commands;
        the first press of each warms up (the first starts quillet-app)."""
        path = os.path.join(self.work, "main.swift")
        open(path, "w").close()
        editor_env = self.home(os.path.join(self.work, "editor"))
        editor_env.update({key: self.env[key] for key in ("WAYLAND_DISPLAY", "SWAYSOCK")})
        editor_env.update(GTK)
        self.start(["mousepad", "--disable-server", path], "mousepad.log", editor_env)
        self.reading("Mousepad's text focused", lambda read: "main.swift" in read.get("title", ""), 60)
        self.run(["wtype", ABBREVIATION], check=True)
        expected = self.expected()
        # The moment of the press is when sway runs the binding: it says so on its socket.
        watcher = subprocess.Popen(["swaymsg", "-m", "-r", "-t", "subscribe", '["binding"]'], env=self.env,
                                   stdout=subprocess.PIPE, text=True)
        self.processes.append(watcher)

        for trigger in (QUILLET, GAPPLICATION):
            def press():
                subprocess.Popen(["wtype", "-M", "ctrl", "-M", "alt", KEYS[trigger], "-m", "alt", "-m", "ctrl"],
                                 env=self.env)
                while True:
                    if not select.select([watcher.stdout], [], [], 10)[0]:
                        raise Failure("sway ran no binding for the shortcut")
                    if "exec" in watcher.stdout.readline():
                        return time.monotonic()
            times = []
            for round in range(repetitions + 1):
                self.reading("the line before the caret", lambda read: (read.get("text"), read.get("caret"))
                             == (ABBREVIATION, len(ABBREVIATION)))
                elapsed, failure = atspi_text.measure(expected, ABBREVIATION, 30.0, press)
                if elapsed is None:
                    raise Failure("the expansion did not arrive: %s" % json.dumps(failure, ensure_ascii=False))
                if round > 0:
                    times.append(elapsed)
                self.run(["wtype", "-M", "ctrl", "a", "-m", "ctrl", ABBREVIATION], check=True)
            times.sort()
            middle = len(times) // 2
            median = times[middle] if len(times) % 2 else (times[middle - 1] + times[middle]) / 2
            print("   through `%s`: median %.1f ms (min %.1f, max %.1f, n=%d)"
                  % (trigger.replace("{prefix}/bin/", ""), median, times[0], times[-1], len(times)))

    def unknown_actions(self):
        """Refused, each way a desktop can ask, and never answered as done."""
        asks = [["gapplication", "action", "com.orvanta.Quillet", "paste"],
                [self.prefix + "/bin/quillet", "action", "paste"],
                ["gdbus", "call", "--session", "--dest", "com.orvanta.Quillet", "--object-path",
                 "/com/orvanta/Quillet", "--method", "org.freedesktop.Application.ActivateAction", "paste", "[]", "{}"]]
        for ask in asks:
            answered = self.run(ask)
            if answered.returncode == 0:
                raise Failure("%s succeeded: %s" % (" ".join(ask), answered.stdout))
        said = self.run(asks[-1]).stderr
        if "InvalidArgs" not in said:
            raise Failure("ActivateAction paste answered " + said)

    def end(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
        for process in self.processes:
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()


def main(argv):
    prefix, fixture, work = argv[1:4]
    session = Session(prefix, fixture, work)
    if argv[4:5] == ["--measure"]:
        try:
            session.set_up()
            session.measure(int(argv[5]))
            return 0
        except (Failure, subprocess.SubprocessError) as failure:
            print("FAIL: %s\n--- actions.log:\n%s" % (failure, session.log("actions.log")))
            return 1
        finally:
            session.end()
    chosen = argv[4:] or [row[0] for row in EDITORS]
    failures = []
    try:
        session.set_up()
        for row in EDITORS:
            if row[0] not in chosen:
                continue
            try:
                session.case(*row)
            except (Failure, subprocess.SubprocessError) as failure:
                failures.append("%s: %s" % (row[0], failure))
        try:
            session.unknown_actions()
        except (Failure, subprocess.SubprocessError) as failure:
            failures.append("unknown action: %s" % failure)
    except (Failure, subprocess.SubprocessError) as failure:
        failures.append("session: %s" % failure)
    finally:
        session.end()
    for failure in failures:
        print("FAIL: " + failure)
    if failures:
        for log in ("actions.log", "sway.log", "notifications.log"):
            print("--- %s:\n%s" % (log, session.log(log)))
    else:
        print("wayland: every editor expanded through the desktop's shortcut; an unknown action is refused")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
