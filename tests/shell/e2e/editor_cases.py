#!/usr/bin/python3
"""End to end in one real editor: the real quillet-app expands what is typed on Ctrl+Alt+E,
and the editor's text and caret are read back over AT-SPI by atspi_text (libatspi only).

    xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- \\
        editor_cases.py BIN FIXTURE EDITOR [CASE…]

BIN holds quillet and quillet-app; FIXTURE is the Qt fixture editor. Every case starts the
editor afresh on its own file, with a fresh HOME (an old one brings up a session-restore
dialog), so one case's failure or undo history never reaches the next. Every wait has a
deadline; a failure prints what was read.
"""

import html
import http.server
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import atspi_text  # noqa: E402
from gi.repository import Gio, GLib  # noqa: E402

ABBREVIATION = "for item in items"
# An expander of any language whose result fits a one-line field and keeps the typed word, so
# that the expansion is one insertion: one undo step in every editor.
ONE_LINE_ABBREVIATION = "e2ehello"
# One that rewrites what was typed: its smallest edit deletes "it" and then inserts "(it)", a
# deletion and an insertion. One word: the word processor capitalises a first word once a
# space follows it.
REWRITING_ABBREVIATION = "e2ewrapit"
REWRITTEN_SPAN = "it"
BUNDLE = {
    "name": "Greeting", "description": "", "is_enabled": True, "supported_languages": ["any"],
    "expanders": [{"name": "Hello", "description": "", "identifier": "", "pattern": ONE_LINE_ABBREVIATION,
                   "output_template": "e2ehello from the test#", "is_enabled": True,
                   "supported_languages": ["any"]},
                  {"name": "Wrap", "description": "", "identifier": "", "pattern": REWRITING_ABBREVIATION,
                   "output_template": "e2ewrap(it)#", "is_enabled": True, "supported_languages": ["any"]}]}
EMOJI = "\U0001F600"
MIDDLE_DOCUMENT = "let first = 1\n\nlet last = 2\n"
# Typed at once after the shortcut, under load, by each of several presses.
TYPED_AFTER = "abc"
TYPED_AFTER_PRESSES = 3
# What a press tells the user when a busy machine starved the editor past a call's bound: the
# text is as it was, and the press may be made again.
# ... and when the keys typed after the shortcut went on to the editor before the press could write
# (the application answered the shortcut late): nothing was written.
LATE = "The expansion came too late"
UNANSWERED = ("The editor did not answer", "The editor answered too slowly", LATE)
# How long the stalled case stands the application's main thread still: well past the hold's
# bound (one second), as a start with a large library may.
STALL_SECONDS = 4
STALL_THREAD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "stall_thread.py")
# ... and when the editor took the expansion's paste before it stopped answering: the text ends as
# the expansion once it answers again.
UNFINISHED = "The editor stopped answering"
# An expansion that rewrites the end of the line (its smallest edit replaces "from 1 to n"): in a
# text written through the keyboard a paste over a selection.
REWRITING_LINE = "xy for i from 1 to n"
# How long a text written through the keyboard is busy when the paste key comes: longer than a
# paste may take to show, as a busy browser is.
BUSY_PASTE_MS = 1500
# A large clipboard: an image of 30 MB, which its owner hands over in pieces.
BIG_CLIPBOARD_BYTES = 30 * 1024 * 1024
# The text of another window, switched to right after the shortcut.
OTHER_TEXT = "let a = 1"


WRITER_PROFILE = """<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema"
           xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
""" + "".join('<item oor:path="%s"><prop oor:name="%s" oor:op="fuse"><value>%s</value></prop></item>\n' % item
              for item in [("/org.openoffice.Setup/Office", "ooSetupInstCompleted", "true"),
                           ("/org.openoffice.Setup/Office", "FirstStartWizardCompleted", "true"),
                           ("/org.openoffice.Office.Common/Misc", "FirstRun", "false"),
                           ("/org.openoffice.Office.Common/Misc", "ShowTipOfTheDay", "false"),
                           ("/org.openoffice.Office.Recovery/AutoSave", "Enabled", "false"),
                           ("/org.openoffice.Office.Recovery/RecoveryInfo", "Enabled", "false")]) + "</oor:items>\n"


class Editor:
    def __init__(self, command, cases, env=None, one_line=False, paragraphs=False, profile=None, nudge=None,
                 page=False):
        self.command = command
        # A browser: the contents stand in a text area of a local page, which tells the test
        # its value and caret.
        self.page = page
        self.cases = cases
        self.env = env or {}
        self.one_line = one_line
        # Each paragraph is a text of its own: the focused text is the caret's line.
        self.paragraphs = paragraphs
        # Files written into the fresh HOME before the editor starts: {relative path: contents}.
        self.profile = profile or {}
        # Keys that make the editor tell which text has the focus, harmless in a document just
        # opened with the caret at its start.
        self.nudge = nudge or []


class Failure(Exception):
    pass


# The page's own account of its text field, posted to the test at every change and numbered.
# The page can be busy for a while when Shift+Insert comes, as a busy page's script is; every
# paste it has been through (whether it got a text or not) is counted once it has settled.
PAGE = """<!doctype html>
<html><head><meta charset="utf-8"><title>main.swift</title></head>
<body>%(field)s
<script>
const code = document.getElementById("code");
const busy = %(busy)d;
let last = "";
let sequence = 0;
let pastes = 0;
document.addEventListener("keydown", event => {
  if (busy && event.key === "Insert" && event.shiftKey) {
    const end = performance.now() + busy;
    while (performance.now() < end) {}
  }
}, true);
document.addEventListener("paste", () => setTimeout(() => { pastes++; report(); }, 0), true);
function report() {
  const state = {value: code.value, start: code.selectionStart, end: code.selectionEnd, pastes: pastes,
                 focused: document.activeElement === code && document.hasFocus()};
  const shown = JSON.stringify(state);
  if (shown === last) return;
  last = shown;
  state.sequence = ++sequence;
  fetch("/state", {method: "POST", body: JSON.stringify(state)});
}
code.focus();
code.setSelectionRange(code.value.length, code.value.length);
for (const name of ["input", "keyup", "select", "selectionchange", "focus"]) document.addEventListener(name, report, true);
setInterval(report, 20);
</script></body></html>
"""

# Editors of web pages that keep one object a line: CodeMirror 6, and a plain editable element
# with one <div> a line. Each tells the test its text, caret and focus as the text area's page
# does. CodeMirror comes from the npm registry, built by scripts/setup into this directory.
WEB_EDITORS = os.environ.get("QUILLET_WEB_EDITORS", "/var/cache/quillet/web-editors")
WEB_PAGE = """<!doctype html>
<html><head><meta charset="utf-8"><title>main.swift</title></head>
<body>%(body)s
<script>
let last = "";
let sequence = 0;
let pastes = 0;
document.addEventListener("paste", () => setTimeout(() => { pastes++; report(); }, 0), true);
function report() {
  const state = Object.assign(editorState(), {pastes: pastes});
  const shown = JSON.stringify(state);
  if (shown === last) return;
  last = shown;
  state.sequence = ++sequence;
  fetch("/state", {method: "POST", body: JSON.stringify(state)});
}
for (const name of ["input", "keyup", "selectionchange", "focus"]) document.addEventListener(name, report, true);
setInterval(report, 20);
</script></body></html>
"""
WEB_EDITOR_PAGES = {
    "codemirror": """<div id="editor"></div><script src="/codemirror.js"></script><script>
const view = startCodeMirror(document.getElementById("editor"), %(json)s);
view.focus();
view.dispatch({selection: {anchor: view.state.doc.length}});
function editorState() {
  const range = view.state.selection.main;
  return {value: view.state.doc.toString(), start: range.from, end: range.to, focused: view.hasFocus};
}
</script>""",
    "lines": """<div id="code" contenteditable="true" style="white-space: pre">%(lines)s</div><script>
const code = document.getElementById("code");
code.focus();
const range = document.createRange();
range.selectNodeContents(code.lastChild);
range.collapse(false);
getSelection().removeAllRanges();
getSelection().addRange(range);
function editorState() {
  return {value: code.innerText, focused: document.activeElement === code && document.hasFocus()};
}
</script>""",
}
# Monaco, from its own build: with and without its screen-reader mode, in which its text area
# holds the lines around the caret.
MONACO_PAGE = """<div id="editor" style="width: 900px; height: 600px"></div><script src="/vs/loader.js"></script><script>
let view = null;
require.config({paths: {vs: "/vs"}});
require(["vs/editor/editor.main"], () => {
  view = monaco.editor.create(document.getElementById("editor"), {value: %(json)s, language: "swift",
    accessibilitySupport: "%(reader)s", autoClosingBrackets: "never", autoIndent: "none", minimap: {enabled: false}});
  view.focus();
  view.setPosition(view.getModel().getPositionAt(view.getModel().getValueLength()));
});
function editorState() {
  if (!view) return {focused: false};
  const model = view.getModel();
  const range = view.getSelection();
  return {value: model.getValue(), start: model.getOffsetAt(range.getStartPosition()),
          end: model.getOffsetAt(range.getEndPosition()), focused: view.hasTextFocus()};
}
</script>"""
WEB_EDITOR_PAGES["monaco"] = MONACO_PAGE.replace("%(reader)s", "on")
WEB_EDITOR_PAGES["monaco-plain"] = MONACO_PAGE.replace("%(reader)s", "off")


def web_editor_page(kind, contents):
    lines = contents.split("\n")
    body = WEB_EDITOR_PAGES[kind] % {
        "json": json.dumps(contents).replace("</", "<\\/"),
        "lines": "".join("<div>%s</div>" % (html.escape(line) or "<br>") for line in lines)}
    return WEB_PAGE % {"body": body}


FIREFOX_PREFERENCES = "".join('user_pref("%s", %s);\n' % item for item in [
    ("browser.shell.checkDefaultBrowser", "false"), ("browser.aboutwelcome.enabled", "false"),
    ("browser.startup.homepage_override.mstone", '"ignore"'), ("datareporting.policy.dataSubmissionEnabled", "false"),
    ("toolkit.telemetry.reportingpolicy.firstRun", "false"), ("browser.sessionstore.resume_from_crash", "false"),
    ("app.update.disabledForTesting", "true"), ("browser.tabs.warnOnClose", "false"),
    ("accessibility.force_disabled", "-1")])
# The page's text fields: a text area, a field of one line, one that keeps 22 characters.
PAGE_FIELDS = {"textarea": '<textarea id="code" rows="20" cols="80">%s</textarea>',
               "input": '<input id="code" size="80" value="%s">',
               "maxlength": '<textarea id="code" rows="20" cols="80" maxlength="22">%s</textarea>'}
# The user's clipboard before each press of the browser cases; each selection has a format of
# its own beside the text, which must come back too.
USER_CLIPBOARD = "the user's own clipboard"


ALL = ["basic", "emoji", "middle", "undo", "read-only", "stopped"]
FIXTURE = "{fixture}"
GTK3_FIXTURE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "gtk3_fixture.py")
QT = {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_QPA_PLATFORM": "xcb"}
# The editors keep a read-only file editable (they ask on saving), so the read-only texts
# are the fixtures': a Qt one with READ_ONLY and a GTK 3 one without EDITABLE.
WRITABLE = [case for case in ALL if case != "read-only"]
# The editors where keys typed right after the shortcut were seen out of place; the texts
# written through the keyboard have the case too, where the keys must wait behind the paste.
TYPED_AFTER_CASES = WRITABLE + ["typed-after"]
EDITORS = {
    "mousepad": Editor(["mousepad", "--disable-server", "{file}"], TYPED_AFTER_CASES + ["stalled"]),
    "gedit": Editor(["gedit", "--standalone", "{file}"], WRITABLE),
    "gnome-text-editor": Editor(["gnome-text-editor", "--standalone", "{file}"], TYPED_AFTER_CASES),
    "featherpad": Editor(["featherpad", "{file}"], WRITABLE, env=QT),
    "qt6-fixture": Editor([FIXTURE, "main.swift - Fixture", "{file}"], WRITABLE, env=QT),
    "qt6-read-only": Editor([FIXTURE, "main.swift - Fixture", "--read-only", "{file}"], ["read-only"], env=QT),
    "gtk3-read-only": Editor([sys.executable, GTK3_FIXTURE, "--read-only", "main.swift - Fixture", "{file}"],
                             ["read-only"]),
    # Answers every edit as done and keeps its text, as a browser's text areas do.
    "gtk3-swallowing": Editor([sys.executable, GTK3_FIXTURE, "--swallow-edits", "main.swift - Fixture", "{file}"],
                              ["swallowed"]),
    # The word processor opens the file as plain text, one accessible paragraph a line, with a
    # profile that skips the first-start, tips and recovery dialogs. Its launcher runs the
    # word processor as a child, which the editor's signals must reach too. Right after opening
    # it marks its document panel FOCUSED, but the paragraph with the caret only once a key has
    # moved the caret. Each edit from other programs is an undo step of its own: the one-line
    # expander keeps the typed word, so that its expansion is one insertion.
    "writer": Editor(["soffice", "--writer", "--norestore", "--nologo",
                      "--nodefault", "--nolockcheck", "{file}"], WRITABLE + ["crlf"],
                     env={"SAL_USE_VCLPLUGIN": "gtk3"}, one_line=True, paragraphs=True, nudge=["ctrl+Home"],
                     profile={".config/libreoffice/4/user/registrymodifications.xcu": WRITER_PROFILE}),
    # A QLineEdit inside an editable QComboBox: one line, and Qt marks the box FOCUSED too. Qt
    # writes other programs' edits to a line edit with setText, which clears its undo history.
    # The keyboard writes where other programs' edits are dropped, and a paste goes in.
    "gtk3-pasting": Editor([sys.executable, GTK3_FIXTURE, "--refuse-accessible-edits", "main.swift - Fixture",
                            "{file}"], ["pasted", "pasted-held", "typed-after", "stalled", "rewriting",
                                        "late-paste", "big-clipboard", "focus-switch"]),
    # KDE's editor component shows its text to other programs but refuses their edits.
    "kwrite": Editor(["kwrite", "{file}"], ["basic", "emoji", "middle", "typed-after", "rewriting"], env={"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
                                                                           "QT_QPA_PLATFORM": "xcb"}),
    # Browsers' text areas: read and selected over AT-SPI, written through the keyboard.
    "firefox": Editor(["firefox-esr", "--no-remote", "--new-instance", "--profile", "{profile}", "{url}"],
                      ["browser", "codemirror", "lines", "monaco", "monaco-plain", "typed-after", "rewriting", "late-paste", "altered",
                       "focus-switch", "big-clipboard"],
                      env={"GNOME_ACCESSIBILITY": "1", "MOZ_CRASHREPORTER_DISABLE": "1"}, page=True,
                      profile={"firefox-profile/user.js": FIREFOX_PREFERENCES}),
    # Scintilla keeps a file's CR LF line ends, and writes CR LF for Return.
    "geany": Editor(["geany", "--new-instance", "--no-session", "--no-msgwin", "--config={home}/geany", "{file}"],
                    ["basic", "middle", "crlf"]),
    "chromium": Editor(["chromium", "--force-renderer-accessibility", "--no-first-run", "--no-default-browser-check",
                        "--disable-gpu", "--password-store=basic", "--user-data-dir={profile}"]
                       + (["--no-sandbox"] if os.geteuid() == 0 else []) + ["--app={url}"],
                       ["browser", "codemirror", "lines", "monaco", "monaco-plain", "typed-after", "rewriting", "late-paste", "altered",
                        "focus-switch"],
                       page=True),
    "qt6-combo": Editor([FIXTURE, "main.swift - Fixture", "--combo", "{file}"], ["basic", "emoji", "stopped"],
                        env=QT, one_line=True),
}


def utf16_to_index(text, units):
    """The code point index of UTF-16 offset UNITS in TEXT."""
    return len(text.encode("utf-16-le")[:2 * units].decode("utf-16-le", errors="ignore"))


class Session:
    def __init__(self, bin_dir, fixture, name):
        self.bin_dir = bin_dir
        self.fixture = fixture
        self.name = name
        self.editor = EDITORS[name]
        self.work = tempfile.mkdtemp(prefix="quillet-e2e-")
        self.processes = []
        self.app_log = os.path.join(self.work, "quillet-app.log")
        self.notifications_log = os.path.join(self.work, "notifications.log")
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        self.page = ""
        self.page_field = "textarea"
        # How long the page, or the GTK 3 fixture, is busy when the paste key comes.
        self.page_busy_ms = 0
        self.page_states = []
        self.server = None

    # --- the private desktop

    def environment(self, home):
        env = dict(os.environ)
        env.update({"HOME": home, "XDG_CONFIG_HOME": home + "/.config", "XDG_DATA_HOME": home + "/.local/share",
                    "XDG_CACHE_HOME": home + "/.cache", "XDG_RUNTIME_DIR": home + "/runtime",
                    "NO_AT_BRIDGE": "0", "GTK_MODULES": "gail:atk-bridge"})
        for directory in ("", "/.config", "/.local/share", "/.cache", "/runtime"):
            os.makedirs(home + directory, exist_ok=True)
        os.chmod(home + "/runtime", 0o700)
        return env

    def start(self, command, log, env, **options):
        process = subprocess.Popen(command, stdout=open(log, "w"), stderr=subprocess.STDOUT, env=env, **options)
        self.processes.append(process)
        return process

    def wait(self, what, condition, seconds=10.0, interval=0.03):
        """Polls CONDITION, which returns (held, what it saw), until it holds; raises with what
        it saw last."""
        deadline = time.monotonic() + seconds
        while True:
            held, last = condition()
            if held:
                return last
            if time.monotonic() > deadline:
                raise Failure("waiting for %s; read %s" % (what, json.dumps(last, ensure_ascii=False)))
            time.sleep(interval)

    def wait_reading(self, what, predicate, seconds=10.0):
        """Waits until the focused text's reading satisfies PREDICATE; the reading."""
        def condition():
            reading = atspi_text.read()
            return "error" not in reading and predicate(reading), reading
        return self.wait(what, condition, seconds)

    def name_owned(self, name):
        reply = self.bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                   "NameHasOwner", GLib.Variant("(s)", (name,)), None, 0, 2000, None)
        return reply.unpack()[0]

    def start_window_manager(self, env):
        """Starts openbox and waits until it manages the screen. A window manager that ends
        before that (a busy machine can make it give up on the display) is started again;
        what it printed goes with the failure."""
        log = os.path.join(self.work, "openbox.log")
        window_manager = [self.start(["openbox"], log, env)]

        def managing():
            if b"window id" in subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                                              capture_output=True).stdout:
                return True, None
            with open(log, errors="replace") as printed:
                said = printed.read()[-400:]
            if window_manager[0].poll() is not None and len(self.processes) < 20:
                window_manager[0] = self.start(["openbox"], log, env)
            return False, {"openbox exit status": window_manager[0].poll(), "printed": said}
        self.wait("openbox", managing, 60)

    def set_up(self):
        self.bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                           GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled", GLib.Variant("b", True))),
                           None, 0, 5000, None)
        env = self.environment(os.path.join(self.work, "home"))
        self.start_window_manager(env)
        # Notifications land here, never in a notification daemon installed on the machine.
        self.start([sys.executable, os.path.abspath(__file__), "--notification-server", self.notifications_log],
                   os.path.join(self.work, "notification-server.log"), env)
        self.wait("the test's notification server", lambda: (os.path.exists(self.notifications_log), None))
        # Past the introduction, whose window would take the focus from the editor.
        os.makedirs(env["XDG_CONFIG_HOME"] + "/orvanta", exist_ok=True)
        with open(env["XDG_CONFIG_HOME"] + "/orvanta/Quillet.ini", "w") as settings:
            settings.write("[General]\nDidOpenIntro=true\n")
        env["QT_LOGGING_RULES"] = ("quillet.expansion.debug=true;quillet.atspi.debug=true;quillet.shortcuts.debug=true;"
                                   "quillet.clipboard.debug=true")
        self.app_env = env
        self.app = self.start([os.path.join(self.bin_dir, "quillet-app")], self.app_log, env)
        self.wait("quillet-app's D-Bus name", lambda: (self.name_owned("com.orvanta.Quillet"), None), 20)
        bundle = os.path.join(self.work, "Greeting.qlbundle")
        with open(bundle, "w") as file:
            json.dump(BUNDLE, file)
        subprocess.run([os.path.join(self.bin_dir, "quillet"), bundle], env=env, timeout=20, check=True)
        self.wait("the one-line expander",
                  lambda: ("from the test" in self.expand_over_dbus(ONE_LINE_ABBREVIATION, 5000)[0], None))

    def serve_page(self):
        """Serves the page of the current case, and takes what it posts."""
        session = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                if self.path.startswith("/vs/") or self.path.endswith(".js"):
                    monaco = os.path.join(WEB_EDITORS, "node_modules", "monaco-editor", "min")
                    served = os.path.normpath(os.path.join(monaco, self.path.lstrip("/")))
                    if not self.path.startswith("/vs/"):
                        served = os.path.join(WEB_EDITORS, os.path.basename(self.path))
                    try:
                        with open(served, "rb") as script:
                            body = script.read()
                    except OSError:
                        self.send_response(404)
                        self.end_headers()
                        return
                    self.send_response(200)
                    self.send_header("Content-Type", "text/css" if served.endswith(".css") else "text/javascript")
                    self.send_header("Content-Length", str(len(body)))
                    self.end_headers()
                    self.wfile.write(body)
                    return
                if session.page_field in WEB_EDITOR_PAGES:
                    body = web_editor_page(session.page_field, session.page).encode("utf-8")
                else:
                    field = PAGE_FIELDS[session.page_field] % html.escape(session.page, quote=True)
                    body = (PAGE % {"field": field, "busy": session.page_busy_ms}).encode("utf-8")
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def do_POST(self):
                length = int(self.headers.get("Content-Length", 0))
                session.page_states.append(json.loads(self.rfile.read(length)))
                self.send_response(204)
                self.end_headers()

            def log_message(self, *arguments):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def page_state(self):
        """The page's newest state: its posts may arrive out of order."""
        return max(self.page_states, key=lambda state: state["sequence"]) if self.page_states else None

    def tear_down(self):
        if self.server:
            self.server.shutdown()
        for process in reversed(self.processes):
            if process.poll() is None:
                try:
                    os.kill(process.pid, signal.SIGCONT)
                except OSError:
                    pass
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        shutil.rmtree(self.work, ignore_errors=True)

    # --- quillet-app

    def presses(self):
        """The finished presses of the expand shortcut, with their outcome lines."""
        with open(self.app_log, errors="replace") as log:
            return [line.strip() for line in log if line.startswith("quillet.expansion: expand shortcut:")]

    def begun(self):
        """How many presses of the expand shortcut have begun."""
        with open(self.app_log, errors="replace") as log:
            return sum(1 for line in log if line.startswith("quillet.expansion: expand shortcut pressed"))

    def app_log_tail(self):
        with open(self.app_log, errors="replace") as log:
            return "".join(log.readlines()[-15:])

    def expand_over_dbus(self, text, timeout_ms):
        """ExpandAsJSON's answer and the seconds it took."""
        started = time.monotonic()
        reply = self.bus.call_sync("com.orvanta.Quillet", "/com/orvanta/Quillet", "com.orvanta.Quillet",
                                   "ExpandAsJSON", GLib.Variant("(sa{sv})", (text, {"extension": GLib.Variant(
                                       "s", "swift")})), None, 0, timeout_ms, None)
        return reply.unpack()[0], time.monotonic() - started

    def expected(self, line):
        """The command line's expansion of LINE, or the line itself when nothing matches."""
        result = subprocess.run([os.path.join(self.bin_dir, "quillet"), "expand", "--extension", "swift", line],
                                capture_output=True, text=True, env=self.app_env, timeout=20)
        if result.returncode != 0 or not result.stdout.strip():
            return {"text": line, "cursorPosition": atspi_text.utf16_length(line)}
        return json.loads(result.stdout)

    def press(self, wait_for_outcome=True):
        before = len(self.presses())
        subprocess.run(["xdotool", "key", "--delay", "20", "ctrl+alt+e"], check=True, timeout=10)
        if not wait_for_outcome:
            return before
        return self.outcome(before, 10)

    def outcome(self, before, seconds):
        self.wait("quillet-app to finish the press",
                  lambda: (len(self.presses()) > before, self.presses()[-3:]), seconds)
        return self.presses()[before].removeprefix("quillet.expansion: expand shortcut: ")

    # --- the editor

    def open_editor(self, contents):
        """Starts the editor afresh on main.swift holding CONTENTS; the process."""
        case_dir = tempfile.mkdtemp(prefix="case-", dir=self.work)
        path = os.path.join(case_dir, "main.swift")
        with open(path, "w") as file:
            file.write(contents)
        home = os.path.join(case_dir, "home")
        url = ""
        if self.editor.page:
            if not self.server:
                self.serve_page()
            self.page = contents
            self.page_states.clear()
            url = "http://127.0.0.1:%d/main.swift.html" % self.server.server_address[1]
        command = [part.format(file=path, fixture=self.fixture, url=url, home=home, profile=home + "/firefox-profile"
                               if "firefox" in self.editor.command[0] else home + "/browser") for part in self.editor.command]
        env = self.environment(home)
        env.update(self.editor.env)
        if self.page_busy_ms:
            env["QUILLET_FIXTURE_BUSY_PASTE_MS"] = str(self.page_busy_ms)
        for relative, text in self.editor.profile.items():
            os.makedirs(os.path.dirname(os.path.join(home, relative)), exist_ok=True)
            with open(os.path.join(home, relative), "w") as file:
                file.write(text)
        self.editor_log = os.path.join(case_dir, "editor.log")
        process = self.start(command, self.editor_log, env)
        self.editor_process = process
        shown = contents.split("\n")[0] if self.editor.paragraphs else contents.rstrip("\n")
        nudged = [time.monotonic()]

        def focused_text():
            if self.page_field == "monaco-plain":
                # Its text area holds nothing: the page tells what it holds.
                state = self.page_state()
                return bool(state and state.get("focused") and state.get("value") == contents), state
            reading = atspi_text.read()
            if "error" not in reading and reading["text"].rstrip("\n") == shown:
                return True, reading
            if self.editor.nudge and time.monotonic() - nudged[0] > 2:
                subprocess.run(["xdotool", "key", "--delay", "20"] + self.editor.nudge, check=True, timeout=10)
                nudged[0] = time.monotonic()
            return False, reading

        self.wait("the editor's text to have the focus", focused_text, 60)
        if self.editor.page:
            # The page holds the keyboard's focus only once its window has it.
            self.wait("the page's text area to have the keyboard's focus",
                      lambda: (bool(self.page_state() and self.page_state()["focused"]), self.page_state()), 30)
        return process

    def signal_editor(self, number):
        """Sends signal NUMBER to the editor's process and all its descendants."""
        parents = {}
        for entry in os.listdir("/proc"):
            try:
                with open("/proc/%s/stat" % entry) as stat:
                    parents[int(entry)] = int(stat.read().rsplit(")", 1)[1].split()[1])
            except (ValueError, OSError, IndexError):
                continue
        tree = [self.editor_process.pid]
        for pid in tree:
            tree.extend(child for child, parent in parents.items() if parent == pid)
        for pid in tree:
            try:
                os.kill(pid, number)
            except OSError:
                pass

    def close_editor(self):
        process = self.editor_process
        if process.poll() is not None:
            return
        self.signal_editor(signal.SIGCONT)
        self.signal_editor(signal.SIGTERM)
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            self.signal_editor(signal.SIGKILL)
            process.wait()

    def type_line(self, text):
        """Types TEXT at the caret and waits until it stands before the caret. A busy editor can
        drop keys it gets (a browser's page its first ones, a starved word processor some): the
        line is then emptied and typed once more, and where the keys went is told if it fails."""
        what = "'%s' typed before the caret" % text
        typed = lambda reading: _before_caret(reading).endswith(text)
        subprocess.run(["xdotool", "type", "--delay", "15", "--", text], check=True, timeout=30)
        try:
            return self.wait_reading(what, typed, 5 if self.editor.page else 10)
        except Failure:
            # Deleted key by key: a selection would change the primary selection, which the
            # browser cases check.
            reading = atspi_text.read()
            line = "" if "error" in reading else _before_caret(reading).rsplit("\n", 1)[-1]
            print("note: %s: keys of '%s' went missing: the line before the caret read '%s'; typed again"
                  % (self.name, text, line), flush=True)
            if line:
                subprocess.run(["xdotool", "key", "--delay", "20"] + ["BackSpace"] * len(line), check=True,
                               timeout=30)
            subprocess.run(["xdotool", "type", "--delay", "15", "--", text], check=True, timeout=30)
        try:
            return self.wait_reading(what, typed)
        except Failure as failure:
            if self.editor.paragraphs:
                raise Failure("%s\n    the paragraphs: %s" % (failure, json.dumps(atspi_text.paragraphs(),
                                                                                   ensure_ascii=False)))
            raise

    def expectation(self, reading, line_end="\n"):
        """The whole text and caret after expanding the line before the caret of READING, the
        expansion's lines ended with LINE_END."""
        text = reading["text"]
        caret = utf16_to_index(text, reading["caret"])
        line_start = text.rfind("\n", 0, caret) + 1
        if line_end != "\n":
            # A word processor keeps the carriage return of each line at the end of its paragraph,
            # and its caret can stand after it: the expansion goes before it.
            if text[:caret].endswith("\r"):
                caret -= 1
            line_start = max(line_start, text.rfind("\r", 0, caret) + 1)
        expansion = self.expected(text[line_start:caret])
        if line_end != "\n":
            before_caret = expansion["text"][:utf16_to_index(expansion["text"], expansion["cursorPosition"])]
            expansion = {"text": expansion["text"].replace("\n", line_end),
                         "cursorPosition": atspi_text.utf16_length(before_caret.replace("\n", line_end))}
        return {"text": text[:line_start] + expansion["text"] + text[caret:],
                "cursorPosition": atspi_text.utf16_length(text[:line_start]) + expansion["cursorPosition"]}

    def expect(self, what, expected, seconds=5.0, skipped=()):
        held, reading = atspi_text.wait_for(expected, seconds, skipped)
        if not held:
            raise Failure("%s: expected %s\n    read %s" % (
                what, json.dumps(expected, ensure_ascii=False), json.dumps(reading, ensure_ascii=False)))
        return reading

    def abbreviation(self):
        return ONE_LINE_ABBREVIATION if self.editor.one_line else ABBREVIATION

    # --- the cases

    def expand_typed(self, contents, keys, typed):
        """Opens CONTENTS, moves with KEYS, types TYPED and expands it; the reading before the
        press and the expectation, once the editor holds it."""
        self.open_editor(contents)
        if keys:
            subprocess.run(["xdotool", "key", "--delay", "20"] + keys, check=True, timeout=10)
        before = self.type_line(typed)
        expected = self.expectation(before)
        if expected["text"] == before["text"]:
            raise Failure("'%s' expands to nothing on the command line" % typed)
        outcome = self.press_answered(before, expected)
        self.expect("after the press (%s)" % outcome, expected)
        return before, expected, outcome

    def press_answered(self, before, expected, attempts=3):
        """A press, made again while the editor, starved by a busy machine, did not answer it
        in time: such a press must fail honestly and leave the text as it was, or say that the
        editor writes the expansion once it answers again, and do so."""
        for attempt in range(1, attempts + 1):
            notified = len(self.notifications())
            outcome = self.press()
            if attempt == attempts or not outcome.startswith("failed"):
                return outcome
            told = self.told(notified, outcome)
            if told == UNFINISHED:
                self.expect("the expansion of press %d, which the editor took before it stopped answering (%s)"
                            % (attempt, outcome), {"text": expected["text"]}, 10)
                # Undo takes it back, in one step or two.
                for _ in range(2):
                    subprocess.run(["xdotool", "key", "--delay", "20", "ctrl+z"], check=True, timeout=10)
                    if atspi_text.wait_for({"text": before["text"]}, 2)[0]:
                        break
            elif told not in UNANSWERED:
                return "%s; notified %s" % (outcome, told)
            self.expect("the text after press %d, which the editor did not finish (%s)" % (attempt, outcome),
                        {"text": before["text"], "cursorPosition": before["caret"]})

    def told(self, notified, outcome):
        """The title of what the user was told of a failed press, after NOTIFIED notifications."""
        # The notification travels over the bus after the press has ended.
        return self.wait("a notification after the press (%s)" % outcome,
                         lambda: (len(self.notifications()) > notified, self.notifications()[notified:]),
                         5)[-1]["title"]

    def case_basic(self):
        return self.expand_typed("", [], self.abbreviation())[2]

    def case_emoji(self):
        # The non-BMP character comes with the file: typing it through xdotool's keymap trick
        # is itself unreliable.
        return self.expand_typed(EMOJI + " ", ["ctrl+End"], self.abbreviation())[2]

    def case_middle(self):
        return self.expand_typed(MIDDLE_DOCUMENT, ["ctrl+Home", "Down"], self.abbreviation())[2]

    def case_undo(self):
        before, _, outcome = self.expand_typed("", [], self.abbreviation())
        subprocess.run(["xdotool", "key", "--delay", "20", "ctrl+z"], check=True, timeout=10)
        self.expect("one Ctrl+Z after the expansion (%s)" % outcome, {"text": before["text"]}, 3)
        self.close_editor()
        # A rewriting expansion is a deletion and an insertion, and every editor keeps them as
        # two undo steps: the first Ctrl+Z takes the insertion back and leaves the deletion.
        before, _, rewrite = self.expand_typed("", [], REWRITING_ABBREVIATION)
        caret = utf16_to_index(before["text"], before["caret"])
        deleted = before["text"][:caret - len(REWRITTEN_SPAN)] + before["text"][caret:]
        subprocess.run(["xdotool", "key", "--delay", "20", "ctrl+z"], check=True, timeout=10)
        self.expect("the first Ctrl+Z after a rewriting expansion (%s)" % rewrite, {"text": deleted}, 3)
        subprocess.run(["xdotool", "key", "--delay", "20", "ctrl+z"], check=True, timeout=10)
        self.expect("the second Ctrl+Z after a rewriting expansion (%s)" % rewrite, {"text": before["text"]}, 3)
        return "%s; rewriting: %s" % (outcome, rewrite)

    def case_stalled(self):
        """The application's main thread stands still past the hold's bound while the user presses
        the shortcut and types on: the keys go on at the bound, and later ones behind them, in the
        order typed; the press, read only once the thread goes on, writes nothing over them and
        says that it came too late."""
        self.open_editor("")
        before = self.type_line(self.abbreviation())
        if self.expectation(before)["text"] == before["text"]:
            raise Failure("'%s' expands to nothing on the command line" % self.abbreviation())
        caret = utf16_to_index(before["text"], before["caret"])

        def typed(keys):
            return {"text": before["text"][:caret] + keys + before["text"][caret:],
                    "cursorPosition": before["caret"] + atspi_text.utf16_length(keys)}

        presses = len(self.presses())
        notified = len(self.notifications())
        log = os.path.join(self.work, "stall.log")
        staller = self.start([sys.executable, STALL_THREAD, str(self.app.pid), str(STALL_SECONDS)], log, None)
        self.wait("the main thread to stand still", lambda: ("stalled" in open(log).read(), open(log).read()), 10)
        subprocess.run(["xdotool", "key", "--delay", "20", "ctrl+alt+e", "type", "--delay", "20", "ab"], check=True,
                       timeout=10)
        # Quillet's own windows do not answer meanwhile: the reader leaves them out.
        stalled = (self.app.pid,)
        self.expect("the keys typed after the shortcut, let go at the hold's bound", typed("ab"), STALL_SECONDS,
                    stalled)
        if staller.poll() is not None:
            raise Failure("the main thread went on before the keys did: the press was not late")
        subprocess.run(["xdotool", "type", "--delay", "20", "cd"], check=True, timeout=10)
        self.expect("the keys typed after the hold's bound, behind the others", typed("abcd"), STALL_SECONDS,
                    stalled)
        staller.wait(STALL_SECONDS + 10)
        outcome = self.outcome(presses, 15)
        if not outcome.startswith("failed"):
            raise Failure("the press answered late reports %s: read %s" % (outcome, json.dumps(atspi_text.read(),
                                                                                          ensure_ascii=False)))
        told = self.told(notified, outcome)
        if told != LATE:
            raise Failure("the press answered late (%s) notified %s" % (outcome, told))
        self.expect("the text as typed after the press answered late (%s)" % outcome, typed("abcd"))
        return "%s; notified %s" % (outcome, told)

    def case_typed_after(self):
        # Keys typed right after the shortcut belong at the expansion's caret, in order, however
        # long the press takes: with every processor busy a press takes several times as long
        # as the keys' spacing.
        self.open_editor("")
        # A browser's text area answers through several processes, which busy processors starve
        # beyond any press's bound: there the keys only have to wait behind the paste.
        busy = 0 if self.editor.page else os.cpu_count() or 1
        load = [self.start([sys.executable, "-c", "while True: pass"], os.devnull, dict(os.environ))
                for _ in range(busy)]
        outcomes = []
        expanded = 0
        try:
            # A press that a starved editor did not answer in time fails honestly and changes
            # nothing: the keys must then stand where they were typed, and the press is made again.
            for attempt in range(TYPED_AFTER_PRESSES + 3):
                if expanded == TYPED_AFTER_PRESSES:
                    break
                if attempt:
                    subprocess.run(["xdotool", "key", "--delay", "20", "ctrl+End", "Return"], check=True, timeout=10)
                before = self.type_line(self.abbreviation())
                expansion = self.expectation(before)
                caret = utf16_to_index(expansion["text"], expansion["cursorPosition"])
                expected = {"text": expansion["text"][:caret] + TYPED_AFTER + expansion["text"][caret:],
                            "cursorPosition": expansion["cursorPosition"] + atspi_text.utf16_length(TYPED_AFTER)}
                presses = len(self.presses())
                notified = len(self.notifications())
                subprocess.run(["xdotool", "key", "--delay", "20", "ctrl+alt+e", "type", "--delay", "20", TYPED_AFTER],
                               check=True, timeout=10)
                outcome = self.outcome(presses, 10)
                outcomes.append(outcome)
                if outcome.startswith("failed") and self.told(notified, outcome) == UNFINISHED:
                    # The editor took the expansion's paste and then stopped answering: the keys
                    # land at its caret, or where the paste left the caret if it was not put yet.
                    pasted_end = utf16_to_index(before["text"], before["caret"]) + len(expansion["text"]) \
                        - len(before["text"])
                    landings = [expected["text"],
                                expansion["text"][:pasted_end] + TYPED_AFTER + expansion["text"][pasted_end:]]
                    self.wait_reading("'%s' typed right after press %d, whose expansion the editor took before "
                                      "it stopped answering (%s): one of %s" % (TYPED_AFTER, attempt + 1, outcome,
                                                                                json.dumps(landings)),
                                      lambda reading: reading["text"] in landings, 5)
                    continue
                if outcome.startswith("failed"):
                    typed_at = utf16_to_index(before["text"], before["caret"])
                    self.expect("'%s' typed right after press %d, which failed (%s)" % (TYPED_AFTER, attempt + 1, outcome),
                                {"text": before["text"][:typed_at] + TYPED_AFTER + before["text"][typed_at:],
                                 "cursorPosition": before["caret"] + atspi_text.utf16_length(TYPED_AFTER)})
                    continue
                self.expect("'%s' typed right after press %d (%s)" % (TYPED_AFTER, attempt + 1, outcome), expected)
                expanded += 1
            if expanded < TYPED_AFTER_PRESSES:
                raise Failure("only %d of %d presses expanded: %s" % (expanded, TYPED_AFTER_PRESSES, "; ".join(outcomes)))
        finally:
            for process in load:
                process.kill()
                process.wait()
        return "; ".join(outcomes)

    # --- the user's clipboard

    def own_clipboard(self):
        """Puts USER_CLIPBOARD in both selections, from a process of the test's own."""
        log = os.path.join(self.work, "clipboard-owner.log")
        env = dict(self.app_env)
        env.update(QT)
        self.start([self.fixture, "--own-clipboard", USER_CLIPBOARD], log, env)
        self.wait("the test's clipboard", lambda: ("ready" in open(log).read(), None), 20)
        expected = self.clipboard()
        if expected != self.user_clipboard():
            raise Failure("the test's clipboard reads %s" % json.dumps(expected))

    def user_clipboard(self):
        return {"clipboard": {"text": USER_CLIPBOARD, "note": "clipboard " + USER_CLIPBOARD},
                "primary": {"text": USER_CLIPBOARD, "note": "primary " + USER_CLIPBOARD}}

    def clipboard(self):
        env = dict(self.app_env)
        env.update(QT)
        result = subprocess.run([self.fixture, "--print-clipboard"], capture_output=True, text=True, env=env,
                                timeout=20)
        return json.loads(result.stdout.strip().splitlines()[-1]) if result.returncode == 0 else {
            "error": result.stderr[-400:]}

    def check_clipboard(self, outcome):
        # The primary selection comes back once a paste withdrawn can no longer land: within
        # the withdrawal's five seconds.
        try:
            self.wait("the user's clipboard", lambda: (self.clipboard() == self.user_clipboard(), None), 7, 0.2)
        except Failure:
            raise Failure("after the press (%s) the clipboard holds %s" % (outcome, json.dumps(self.clipboard())))

    def case_pasted(self):
        """Written through the keyboard: the text and the caret as the expansion says, the
        user's clipboard and primary selection as they were."""
        self.own_clipboard()
        _, expected, outcome = self.expand_typed("", [], self.abbreviation())
        if not outcome.startswith("expanded"):
            raise Failure("the press reports %s" % outcome)
        self.check_clipboard(outcome)
        return outcome

    def case_pasted_held(self):
        """The shortcut's modifiers still held while the paste goes out: the text gets the
        paste, not Ctrl+Alt+Shift+Insert."""
        self.own_clipboard()
        self.open_editor("")
        before = self.type_line(self.abbreviation())
        expected = self.expectation(before)
        presses = len(self.presses())
        subprocess.run(["xdotool", "keydown", "--delay", "20", "ctrl+alt", "key", "--delay", "20", "e"], check=True,
                       timeout=10)
        try:
            outcome = self.outcome(presses, 10)
        finally:
            subprocess.run(["xdotool", "keyup", "--delay", "20", "ctrl+alt"], check=True, timeout=10)
        self.expect("after the press with Ctrl+Alt held (%s)" % outcome, expected)
        self.check_clipboard(outcome)
        return outcome

    def case_browser(self):
        self.own_clipboard()
        try:
            _, expected, outcome = self.expand_typed("", [], self.abbreviation())
        except Failure as failure:
            raise Failure("%s\n    the page told %s" % (failure, json.dumps(self.page_states[-6:])))
        if not outcome.startswith("expanded"):
            raise Failure("the press reports %s" % outcome)

        def page_agrees():
            state = self.page_state()
            return bool(state and state["value"] == expected["text"] and state["start"] == state["end"]
                        == expected["cursorPosition"]), state
        self.wait("the page to show the expansion and its caret", page_agrees, 5)
        # The next key typed lands at the expansion's caret.
        subprocess.run(["xdotool", "type", "--delay", "15", "--", TYPED_AFTER], check=True, timeout=10)
        caret = utf16_to_index(expected["text"], expected["cursorPosition"])
        typed = expected["text"][:caret] + TYPED_AFTER + expected["text"][caret:]
        self.wait("the next keys at the expansion's caret",
                  lambda: (bool(self.page_state() and self.page_state()["value"] == typed), self.page_state()), 5)
        self.check_clipboard(outcome)
        return outcome

    def expand_in_document(self, line_end="\n"):
        """On an empty line in the middle of a document whose lines end with LINE_END, a line
        typed, the caret at its end, expands, its lines ended so too, with the caret where the
        expansion puts it and the keys typed right after the shortcut at that caret."""
        self.open_editor(MIDDLE_DOCUMENT.replace("\n", line_end))
        subprocess.run(["xdotool", "key", "--delay", "20", "ctrl+Home", "Down"], check=True, timeout=10)
        before = self.type_line(self.abbreviation())
        # The end of the line, where a word processor puts the caret after its carriage return.
        subprocess.run(["xdotool", "key", "--delay", "20", "End"], check=True, timeout=10)
        def at_line_end(reading):
            after = reading["text"][len(_before_caret(reading)):]
            return reading["text"] == before["text"] and (after == "" or after.startswith(("\n", "\r\n")))
        before = self.wait_reading("the caret at the end of the line", at_line_end)
        expansion = self.expectation(before, line_end)
        caret = utf16_to_index(expansion["text"], expansion["cursorPosition"])
        expected = {"text": expansion["text"][:caret] + TYPED_AFTER + expansion["text"][caret:],
                    "cursorPosition": expansion["cursorPosition"] + atspi_text.utf16_length(TYPED_AFTER)}
        presses = len(self.presses())
        subprocess.run(["xdotool", "key", "--delay", "20", "ctrl+alt+e", "type", "--delay", "20", TYPED_AFTER],
                       check=True, timeout=10)
        outcome = self.outcome(presses, 10)
        told = " (the page told %s)" % json.dumps(self.page_states[-3:]) if self.editor.page else ""
        if not outcome.startswith("expanded"):
            raise Failure("the press reports %s: read %s%s" % (
                outcome, json.dumps(atspi_text.read(), ensure_ascii=False), told))
        try:
            self.expect("the expansion and the keys typed after the shortcut (%s)" % outcome, expected)
        except Failure as failure:
            raise Failure("%s%s" % (failure, told))
        return outcome

    def web_editor(self, kind):
        """An editor of a web page that keeps one object a line: expand_in_document(), and the
        user's clipboard comes back."""
        self.own_clipboard()
        self.page_field = kind
        try:
            outcome = self.expand_in_document()
            self.check_clipboard(outcome)
            return outcome
        finally:
            self.page_field = "textarea"

    def case_monaco(self):
        return self.web_editor("monaco")

    def case_monaco_plain(self):
        """Monaco out of its screen-reader mode shows other programs nothing of its text: the
        press fails, and the text, as the page tells it, is as it was with the keys typed after
        the shortcut at its caret."""
        self.own_clipboard()
        self.page_field = "monaco-plain"
        try:
            self.open_editor(MIDDLE_DOCUMENT)
            first_line = MIDDLE_DOCUMENT.index("\n") + 1

            # The page may take its first keys before its editor does: they are sent again.
            for attempt in range(3):
                subprocess.run(["xdotool", "key", "--delay", "20", "ctrl+Home", "Down"], check=True, timeout=10)
                try:
                    self.wait("the caret on the second line", lambda: (bool(
                        self.page_state() and self.page_state().get("start") == first_line), self.page_state()), 3)
                    break
                except Failure:
                    if attempt == 2:
                        raise
            subprocess.run(["xdotool", "type", "--delay", "15", "--", ABBREVIATION], check=True, timeout=10)
            typed = MIDDLE_DOCUMENT[:first_line] + ABBREVIATION + MIDDLE_DOCUMENT[first_line:]
            self.wait("the page to hold what was typed", lambda: (bool(
                self.page_state() and self.page_state()["value"] == typed), self.page_state()), 10)
            presses = len(self.presses())
            subprocess.run(["xdotool", "key", "--delay", "20", "ctrl+alt+e", "type", "--delay", "20", TYPED_AFTER],
                           check=True, timeout=10)
            outcome = self.outcome(presses, 10)
            caret = first_line + len(ABBREVIATION)
            wanted = typed[:caret] + TYPED_AFTER + typed[caret:]
            if outcome.startswith("expanded"):
                raise Failure("a press on a text that shows nothing reports %s; the page told %s"
                              % (outcome, json.dumps(self.page_states[-3:])))
            self.wait("the text as it was, the keys typed after the shortcut at its caret (%s)" % outcome,
                      lambda: (bool(self.page_state() and self.page_state()["value"] == wanted
                                    and self.page_state()["start"] == caret + len(TYPED_AFTER)), self.page_state()),
                      5)
            self.check_clipboard(outcome)
            return outcome
        finally:
            self.page_field = "textarea"

    def case_crlf(self):
        return self.expand_in_document("\r\n")

    def case_codemirror(self):
        return self.web_editor("codemirror")

    def case_lines(self):
        return self.web_editor("lines")

    def case_read_only(self):
        return self.refused_press("read-only")

    def case_swallowed(self):
        # The keyboard's paste is dropped too: the press fails, and the clipboard is the user's.
        self.own_clipboard()
        outcome = self.refused_press("swallowing every edit")
        self.check_clipboard(outcome)
        return outcome

    def refused_press(self, what):
        """A press on a text that other programs cannot change, whatever its calls answer:
        the text stays, the press fails, and the user is told the text cannot be changed."""
        typed = self.abbreviation()
        self.open_editor(typed)
        before = self.wait_reading("the caret after '%s'" % typed,
                                   lambda reading: _before_caret(reading).endswith(typed))
        if self.expectation(before)["text"] == before["text"]:
            raise Failure("'%s' expands to nothing on the command line" % typed)
        with open(self.notifications_log) as log:
            notified = len(log.readlines())
        outcome = self.press()
        reading = atspi_text.read()
        if reading.get("text") != before["text"]:
            raise Failure("the %s text changed (%s): read %s" % (what, outcome, json.dumps(reading,
                                                                                           ensure_ascii=False)))
        if not outcome.startswith("failed"):
            raise Failure("the press on a %s text reports %s" % (what, outcome))
        # The notification travels over the bus after the press has ended: wait for it.
        def notified_since():
            with open(self.notifications_log) as log:
                notifications = log.readlines()[notified:]
            return bool(notifications), notifications

        try:
            notifications = self.wait("a notification after the press", notified_since, 5)
        except Failure:
            raise Failure("no notification tells the user (%s)" % outcome)
        if json.loads(notifications[-1])["title"] != "This text cannot be changed":
            raise Failure("the notification does not say the text cannot be changed: %s" % notifications[-1])
        return "%s; notified %s" % (outcome, notifications[-1].strip())

    def notifications(self):
        with open(self.notifications_log) as log:
            return [json.loads(line) for line in log]

    def case_stopped(self):
        typed = self.abbreviation()
        self.open_editor("")
        before = self.type_line(typed)
        expected = self.expectation(before)
        want_answer = self.expand_over_dbus(ABBREVIATION, 5000)[0]
        notified = len(self.notifications())
        self.signal_editor(signal.SIGSTOP)
        try:
            begun = self.begun()
            presses = self.press(wait_for_outcome=False)
            # Once the press has begun, D-Bus answers while it waits on the stopped editor: the
            # answer comes before the press ends.
            # Closely: the press gives up on the stopped editor after the bound of one call.
            self.wait("quillet-app to begin the press", lambda: (self.begun() > begun, None), 10, 0.002)
            try:
                answer = self.expand_over_dbus(ABBREVIATION, 5000)[0]
            except GLib.Error as error:
                raise Failure("ExpandAsJSON during the press on the stopped editor: %s" % error.message)
            if len(self.presses()) > presses:
                raise Failure("ExpandAsJSON was answered only after the press on the stopped editor ended: %s"
                              % self.presses()[presses])
            if answer != want_answer:
                raise Failure("ExpandAsJSON during the press gave %s, not %s" % (answer, want_answer))
            # Sent throughout the press: every answer within 1.5 s.
            slowest = 0.0
            window_end = time.monotonic() + 2.5
            while time.monotonic() < window_end:
                try:
                    answer, seconds = self.expand_over_dbus(ABBREVIATION, 1500)
                except GLib.Error as error:
                    raise Failure("ExpandAsJSON with the editor stopped: %s" % error.message)
                if answer != want_answer:
                    raise Failure("ExpandAsJSON with the editor stopped gave %s, not %s" % (answer, want_answer))
                slowest = max(slowest, seconds)
        finally:
            self.signal_editor(signal.SIGCONT)
        outcome = self.outcome(presses, 30)
        if outcome.startswith("failed"):
            # The user hears that the editor did not answer, not that it is no editor.
            told = self.wait("a notification after the press on the stopped editor",
                             lambda: (len(self.notifications()) > notified, self.notifications()[notified:]), 5)
            if told[-1]["title"] != "The editor did not answer":
                raise Failure("the press on the stopped editor (%s) notified %s" % (outcome, told[-1]))
        # The press gave up, or finished once the editor woke: never a half-written line. A
        # continued editor catching up on a busy machine may miss the next press's bound too.
        reading = atspi_text.read()
        if reading.get("text") == before["text"]:
            self.press_answered(before, expected)
        elif reading.get("text") != expected["text"]:
            raise Failure("after the stopped editor woke (%s): read %s" % (outcome, json.dumps(reading,
                                                                                              ensure_ascii=False)))
        self.expect("a press once the editor runs again", expected)
        return "slowest D-Bus answer %.0f ms; the press while stopped: %s" % (slowest * 1000, outcome)

    # --- texts written through the keyboard, in the user's way

    def case_rewriting(self):
        """An expansion that rewrites the end of the line: the paste replaces the selection,
        which the primary selection's owner must not clear; both selections come back."""
        self.own_clipboard()
        _, _, outcome = self.expand_typed("", [], REWRITING_LINE)
        if not outcome.startswith("expanded"):
            raise Failure("the press reports %s" % outcome)
        self.check_clipboard(outcome)
        return outcome

    def start_clipboard_reader(self):
        """A program that reads the clipboard every few milliseconds, as clipboard managers do."""
        return self.start(["bash", "-c", "while :; do xclip -o -selection clipboard >/dev/null 2>&1; sleep 0.003; done"],
                          os.devnull, self.app_env, start_new_session=True)

    def paste_settled(self):
        """Whether the text has been through the paste key it was sent (with or without a text)."""
        if self.editor.page:
            state = self.page_state()
            return bool(state and state["pastes"] > 0), state
        with open(self.editor_log, errors="replace") as log:
            printed = log.read()
        return "paste settled" in printed, printed[-300:]

    def case_late_paste(self):
        """The text busy when the paste key comes, with and without a program reading the
        clipboard all along, and with an expansion that rewrites the line (its paste replaces a
        selection): the text ends as it was or as the expansion, never holding the user's
        clipboard, and the user is told which. Then, with the reader still running, a press
        expands."""
        outcomes = []
        for typed, reading in ((self.abbreviation(), False), (self.abbreviation(), True), (REWRITING_LINE, False)):
            self.own_clipboard()
            self.page_busy_ms = BUSY_PASTE_MS
            self.open_editor("")
            before = self.type_line(typed)
            expected = self.expectation(before)
            readers = [self.start_clipboard_reader()] if reading else []
            try:
                notified = len(self.notifications())
                outcome = self.press()
                # The text gets to the paste key once it is no longer busy. A press that failed
                # before its paste went out (the editor did not answer its questions) sends none:
                # the checks below still want the text as it was and the user told why.
                try:
                    self.wait("the text to get to the paste key (%s)" % outcome, self.paste_settled, 15)
                except Failure:
                    if not outcome.startswith("failed"):
                        raise
                told = self.told(notified, outcome) if outcome.startswith("failed") else None
                # What a late paste would bring lands right after it settled.
                reading_after = atspi_text.read()
                if USER_CLIPBOARD in reading_after.get("text", ""):
                    raise Failure("the user's clipboard was pasted (%s, told %s): read %s"
                                  % (outcome, told, json.dumps(reading_after, ensure_ascii=False)))
                if outcome.startswith("expanded") or told == UNFINISHED:
                    self.expect("the text after the press (%s, told %s)" % (outcome, told), {"text": expected["text"]})
                else:
                    if told not in UNANSWERED:
                        raise Failure("a paste the busy text took too late is told as %s (%s)" % (told, outcome))
                    self.expect("the text after the press (%s, told %s)" % (outcome, told),
                                {"text": before["text"], "cursorPosition": before["caret"]})
                self.check_clipboard(outcome)
                outcomes.append("%s%s: %s, told %s" % ("reader, " if reading else "", typed, outcome, told))
                if reading:
                    # Not busy: the press expands while the reader reads on.
                    self.close_editor()
                    self.page_busy_ms = 0
                    _, _, outcome = self.expand_typed("", [], self.abbreviation())
                    if not outcome.startswith("expanded"):
                        raise Failure("with the clipboard read all along, the press reports %s" % outcome)
                    self.check_clipboard(outcome)
                    outcomes.append("reader: %s" % outcome)
            finally:
                for reader in readers:
                    os.killpg(reader.pid, signal.SIGKILL)
                    reader.wait()
                self.page_busy_ms = 0
            self.close_editor()
        return "; ".join(outcomes)

    def case_big_clipboard(self):
        """A 30 MB image on the clipboard from a well-behaved owner: the press expands, and the
        image is whole on the clipboard afterwards; its owner was answered to the end."""
        self.own_clipboard()
        image = os.path.join(self.work, "big.png")
        data = os.urandom(BIG_CLIPBOARD_BYTES)
        with open(image, "wb") as file:
            file.write(data)
        owner = self.start(["xclip", "-quiet", "-selection", "clipboard", "-t", "image/png", "-i", image],
                           os.path.join(self.work, "xclip.log"), self.app_env)

        def offers_image():
            targets = subprocess.run(["xclip", "-o", "-selection", "clipboard", "-t", "TARGETS"], capture_output=True,
                                     text=True, env=self.app_env, timeout=10).stdout
            return "image/png" in targets, targets
        self.wait("xclip to own the clipboard", offers_image, 10)
        try:
            _, _, outcome = self.expand_typed("", [], self.abbreviation())
        except Failure as failure:
            raise Failure("%s\n    the page told %s" % (failure, json.dumps(self.page_states[-4:])))
        if not outcome.startswith("expanded"):
            raise Failure("with a 30 MB clipboard the press reports %s" % outcome)
        # Its owner lost the clipboard to the paste: once it has handed every format over, it ends.
        self.wait("xclip to have handed the image over and ended", lambda: (owner.poll() is not None, None), 20)
        started = time.monotonic()
        held = subprocess.run(["xclip", "-o", "-selection", "clipboard", "-t", "image/png"], capture_output=True,
                              env=self.app_env, timeout=20).stdout
        if held != data:
            raise Failure("after the press (%s) the clipboard holds %d bytes of the image's %d%s"
                          % (outcome, len(held), len(data), " (the same start)" if data.startswith(held) else ""))
        primary = self.clipboard().get("primary")
        if primary != self.user_clipboard()["primary"]:
            raise Failure("after the press (%s) the primary selection holds %s" % (outcome, json.dumps(primary)))
        return "%s; the image read back in %.1f s" % (outcome, time.monotonic() - started)

    def case_altered(self):
        """A field that would change the paste: one of a single line gets no expansion of
        several lines, one that keeps 22 characters has the paste taken back. The text is as it
        was, and the user is told why."""
        outcomes = []
        for field, title in (("input", "This text holds a single line"),
                             ("maxlength", "The editor changed the expansion")):
            self.page_field = field
            self.own_clipboard()
            self.open_editor("")
            before = self.type_line(self.abbreviation())
            notified = len(self.notifications())
            outcome = self.press()
            told = self.told(notified, outcome) if outcome.startswith("failed") else None
            if told != title:
                raise Failure("in a field (%s) the press reports %s, told %s; the page told %s"
                              % (field, outcome, told, json.dumps(self.page_states[-4:])))
            self.wait("the page's field (%s) as it was" % field, lambda: (bool(
                self.page_state() and self.page_state()["value"] == before["text"]), self.page_state()), 5)
            self.expect("the field (%s) after the press (%s)" % (field, outcome),
                        {"text": before["text"], "cursorPosition": before["caret"]})
            self.check_clipboard(outcome)
            outcomes.append("%s: %s" % (field, told))
            self.close_editor()
        self.page_field = "textarea"
        return "; ".join(outcomes)

    def case_focus_switch(self):
        """Another window activated right after the shortcut: it never gets the paste; the text
        ends as it was (and the user is told the focus moved) or as the expansion."""
        self.own_clipboard()
        other_file = os.path.join(self.work, "other.swift")
        with open(other_file, "w") as file:
            file.write(OTHER_TEXT)
        other = self.start([sys.executable, GTK3_FIXTURE, "--plain", "other.swift - Other", other_file],
                           os.path.join(self.work, "other.log"), self.environment(os.path.join(self.work, "other-home")))
        outcomes = []
        try:
            other_window = self.wait("the other window", lambda: self.window_named("other.swift"), 30)
            for attempt in range(2):
                self.open_editor("")
                before = self.type_line(self.abbreviation())
                expected = self.expectation(before)
                editor_window = self.wait("the editor's window", lambda: self.window_named("main.swift"), 10)
                presses = len(self.presses())
                notified = len(self.notifications())
                # The other window is activated as the shortcut goes down, before its keys come up.
                subprocess.run(["xdotool", "keydown", "ctrl+alt+e", "windowactivate", other_window, "keyup", "--delay",
                                "20", "ctrl+alt+e"], check=True, timeout=10)
                outcome = self.outcome(presses, 10)
                told = self.told(notified, outcome) if outcome.startswith("failed") else None
                reading = self.wait_reading("the other window's text to have the focus",
                                            lambda reading: reading["title"].startswith("other.swift"), 10)
                if reading["text"] != OTHER_TEXT:
                    raise Failure("the other window was written (%s, told %s): read %s"
                                  % (outcome, told, json.dumps(reading, ensure_ascii=False)))
                subprocess.run(["xdotool", "windowactivate", "--sync", editor_window], check=True, timeout=10)
                wanted = expected if outcome.startswith("expanded") else {"text": before["text"]}
                # Where neither window's text had the focus at the press, nothing was found to expand.
                if told not in (None, "The focus moved to another window", "Are you using a text editor?",
                                UNFINISHED) + UNANSWERED:
                    raise Failure("a press whose window was switched away from is told as %s (%s)" % (told, outcome))
                if told == UNFINISHED:
                    wanted = {"text": expected["text"]}
                self.wait_reading("the editor's text to have the focus again",
                                  lambda reading: reading["title"].startswith("main.swift"), 10)
                self.expect("the editor's text after the press (%s, told %s)" % (outcome, told), wanted)
                self.check_clipboard(outcome)
                outcomes.append("%s, told %s" % (outcome, told))
                self.close_editor()
        finally:
            other.terminate()
            other.wait(10)
        return "; ".join(outcomes)

    def window_named(self, start):
        """The newest window whose title starts with START, as xdotool finds it."""
        found = subprocess.run(["xdotool", "search", "--name", "^" + start.replace(".", "\\.")], capture_output=True,
                               text=True, timeout=10).stdout.split()
        return bool(found), found[-1] if found else None

    def run(self, cases):
        failures = 0
        for case in cases:
            started = time.monotonic()
            try:
                detail = getattr(self, "case_" + case.replace("-", "_"))()
                print("ok: %s: %s (%.1f s) %s" % (self.name, case, time.monotonic() - started, detail), flush=True)
            except Exception as error:  # one case's fault must not hide the others
                failures += 1
                print("FAIL: %s: %s: %s" % (self.name, case, error), flush=True)
                print("--- quillet-app log:\n" + self.app_log_tail(), flush=True)
            finally:
                if hasattr(self, "editor_process"):
                    self.close_editor()
                    del self.editor_process
        return failures


def _before_caret(reading):
    return reading["text"][:utf16_to_index(reading["text"], reading["caret"])]


def notification_server(log_path):
    """org.freedesktop.Notifications on the test's bus: one JSON line per Notify."""
    interface = Gio.DBusNodeInfo.new_for_xml("""<node><interface name="org.freedesktop.Notifications">
      <method name="GetCapabilities"><arg type="as" direction="out"/></method>
      <method name="Notify"><arg type="s"/><arg type="u"/><arg type="s"/><arg type="s"/><arg type="s"/>
        <arg type="as"/><arg type="a{sv}"/><arg type="i"/><arg type="u" direction="out"/></method>
      <method name="CloseNotification"><arg type="u"/></method>
      <method name="GetServerInformation"><arg type="s" direction="out"/><arg type="s" direction="out"/>
        <arg type="s" direction="out"/><arg type="s" direction="out"/></method>
    </interface></node>""").interfaces[0]
    count = [0]

    def on_call(connection, sender, path, interface_name, method, parameters, invocation):
        if method == "GetCapabilities":
            invocation.return_value(GLib.Variant("(as)", ([],)))
        elif method == "Notify":
            count[0] += 1
            arguments = parameters.unpack()
            with open(log_path, "a") as log:
                log.write(json.dumps({"title": arguments[3], "body": arguments[4]}, ensure_ascii=False) + "\n")
            invocation.return_value(GLib.Variant("(u)", (count[0],)))
        elif method == "GetServerInformation":
            invocation.return_value(GLib.Variant("(ssss)", ("test", "quillet", "1", "1.2")))
        else:
            invocation.return_value(None)

    loop = GLib.MainLoop()

    def on_bus(connection, name):
        connection.register_object("/org/freedesktop/Notifications", interface, on_call, None, None)

    def on_name(connection, name):
        open(log_path, "a").close()

    def on_lost(connection, name):
        print("another notification server owns the name", file=sys.stderr)
        loop.quit()

    Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.Notifications", Gio.BusNameOwnerFlags.DO_NOT_QUEUE,
                     on_bus, on_name, on_lost)
    loop.run()
    return 1


def main(argv):
    if len(argv) == 3 and argv[1] == "--notification-server":
        return notification_server(argv[2])
    if len(argv) < 4 or argv[3] not in EDITORS:
        print(__doc__ + "\neditors: " + ", ".join(EDITORS), file=sys.stderr)
        return 64
    bin_dir, fixture, name = argv[1], argv[2], argv[3]
    cases = argv[4:] or EDITORS[name].cases
    session = Session(bin_dir, fixture, name)
    try:
        session.set_up()
        failures = session.run(cases)
    except (Failure, subprocess.SubprocessError, GLib.Error, OSError) as error:
        print("FAIL: %s: setting up: %s" % (name, error), flush=True)
        failures = 1
    finally:
        session.tear_down()
    print("%s: %d of %d case(s) failed" % (name, failures, len(cases)) if failures else
          "%s: all %d case(s) passed" % (name, len(cases)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
