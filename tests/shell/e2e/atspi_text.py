"""The focused editor's text and caret, read over AT-SPI with nothing but libatspi, so that a
fault in Quillet's own accessibility code cannot hide itself in the end-to-end tests.

As a program (for scripts):
    atspi_text.py read                 prints {"text", "caret", "title", "toolkit", ...}
    atspi_text.py expect JSON [MS]     waits until the focused text holds JSON's "text" (and
                                       "cursorPosition", "title" when given)
    atspi_text.py before-caret TEXT [MS]
                                       waits until TEXT stands right before the caret
    atspi_text.py measure JSON TYPED [MS]
                                       presses Ctrl+Alt+E through XTest and prints the
                                       milliseconds until the caret sits after the expected
                                       text, TYPED being alone on its line before the caret
Carets are UTF-16 code units, as Quillet's command line reports them.
"""

import ctypes
import json
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

# A stopped editor must cost a bounded wait, never a hang.
Atspi.set_timeout(2000, 15000)

State = Atspi.StateType
# What a text holds where an object of its own (a line, a link) stands.
OBJECT = "\ufffc"
# Menus hold no editor text and are the largest part of most trees.
_SKIPPED_ROLES = {Atspi.Role.MENU_BAR, Atspi.Role.MENU, Atspi.Role.POPUP_MENU}


def utf16_length(text):
    return len(text.encode("utf-16-le")) // 2


class Focus:
    """The deepest FOCUSED object with Text inside the active frame."""

    def __init__(self, element, application, frame):
        self.element = element
        self.application = application
        self.frame = frame
        try:
            self.toolkit = application.get_toolkit_name() or ""
        except Exception:
            self.toolkit = ""
        # Qt counts offsets in UTF-16 units, GTK in code points.
        self.utf16_offsets = self.toolkit.lower().startswith("qt")

    def states(self):
        state_set = self.element.get_state_set()
        return {name for name in ("editable", "read_only", "focused")
                if state_set.contains(getattr(State, name.upper()))}

    def lines(self):
        """Where the text keeps each line as an object of its own (a page's editable element:
        one embedded object a line), [(text, caret)] of those lines, the caret -1 in all but
        the one that holds it; None for a text of its own."""
        count = Atspi.Text.get_character_count(self.element)
        text = Atspi.Text.get_text(self.element, 0, count)
        if not text or set(text) != {OBJECT} or "Hypertext" not in self.element.get_interfaces():
            return None
        lines = []
        for offset in range(len(text)):
            link = Atspi.Hypertext.get_link(self.element, Atspi.Hypertext.get_link_index(self.element, offset))
            line = Atspi.Hyperlink.get_object(link, 0)
            content = Atspi.Text.get_text(line, 0, Atspi.Text.get_character_count(line))
            # An empty line holds the line break that gives it its height.
            lines.append((content[:-1] if content.endswith("\n") else content, Atspi.Text.get_caret_offset(line)))
        return lines

    def on_caret_line(self):
        """This focus, or where the text keeps each line as an object of its own, the line that
        holds the caret, read as a text of its own."""
        count = Atspi.Text.get_character_count(self.element)
        caret = Atspi.Text.get_caret_offset(self.element)
        if 0 <= caret < count and Atspi.Text.get_text(self.element, caret, caret + 1) == OBJECT:
            link = Atspi.Hypertext.get_link(self.element, Atspi.Hypertext.get_link_index(self.element, caret))
            return Focus(Atspi.Hyperlink.get_object(link, 0), self.application, self.frame)
        return self

    def text(self):
        lines = self.lines()
        if lines is not None:
            return "\n".join(line for line, _ in lines)
        count = Atspi.Text.get_character_count(self.element)
        return Atspi.Text.get_text(self.element, 0, count)

    def caret(self):
        """The raw caret offset, in the toolkit's units."""
        return Atspi.Text.get_caret_offset(self.element)

    def caret_utf16(self, text):
        lines = self.lines()
        if lines is not None:
            start = 0
            for line, caret in lines:
                if caret >= 0:
                    return start + (caret if self.utf16_offsets else utf16_length(line[:caret]))
                start += utf16_length(line) + 1
            return -1
        caret = self.caret()
        return caret if self.utf16_offsets else utf16_length(text[:caret])

    def text_before_caret(self, length_utf16):
        """The LENGTH_UTF16 code units before the caret, and the caret, read without the
        whole document (a large file must not slow the measurement down)."""
        caret = self.caret()
        start = max(0, caret - length_utf16)
        return Atspi.Text.get_text(self.element, start, caret), caret

    def reading(self):
        result = {"toolkit": self.toolkit, "title": self.frame.get_name() or "",
                  "name": self.element.get_name() or "", "states": sorted(self.states()),
                  "editable_text": "EditableText" in self.element.get_interfaces()}
        text = self.text()
        result["text"] = text
        result["caret"] = self.caret_utf16(text)
        return result


def _children(node):
    try:
        count = node.get_child_count()
    except Exception:
        return []
    children = []
    for index in range(count):
        try:
            child = node.get_child_at_index(index)
        except Exception:
            child = None
        if child is not None:
            children.append(child)
    return children


def _deepest_focused_text(node, depth=0):
    """(depth, element) of the deepest FOCUSED object with Text below NODE; never prunes on
    SHOWING (GTK 4 sets only VISIBLE)."""
    best = None
    if depth > 60:
        return best
    try:
        states = node.get_state_set()
        if states.contains(State.DEFUNCT):
            return best
        if states.contains(State.FOCUSED) and "Text" in node.get_interfaces():
            best = (depth, node)
        if node.get_role() in _SKIPPED_ROLES:
            return best
    except Exception:
        return best
    for child in _children(node):
        found = _deepest_focused_text(child, depth + 1)
        if found and (best is None or found[0] > best[0]):
            best = found
    return best


def find_focus(skipped=()):
    """The focused text, or None. The applications of the processes in SKIPPED are not asked
    (one that does not answer costs each read the timeout)."""
    desktop = Atspi.get_desktop(0)
    for application in _children(desktop):
        try:
            if skipped and application.get_process_id() in skipped:
                continue
        except Exception:
            continue
        try:
            application.clear_cache()
        except Exception:
            pass
        for frame in _children(application):
            try:
                if not frame.get_state_set().contains(State.ACTIVE):
                    continue
            except Exception:
                continue
            found = _deepest_focused_text(frame)
            if found:
                return Focus(found[1], application, frame)
    return None


def read(skipped=()):
    """What the focused text holds, or {"error": …}."""
    try:
        focus = find_focus(skipped)
        if focus is None:
            return {"error": "no focused text"}
        return focus.reading()
    except Exception as error:  # a vanishing application, a timeout
        return {"error": str(error)}


def paragraphs():
    """The texts of the focused text and its siblings (a word processor's paragraphs), or
    {"error": …}: where keys went when the focused paragraph lacks them."""
    try:
        focus = find_focus()
        if focus is None:
            return {"error": "no focused text"}
        parent = focus.element.get_parent()
        return [Atspi.Text.get_text(child, 0, Atspi.Text.get_character_count(child))
                for child in _children(parent) if "Text" in child.get_interfaces()]
    except Exception as error:
        return {"error": str(error)}


def matches(reading, expected):
    if "error" in reading or reading.get("text") != expected["text"]:
        return False
    if "cursorPosition" in expected and reading.get("caret") != expected["cursorPosition"]:
        return False
    if "title" in expected and expected["title"] not in reading.get("title", ""):
        return False
    return True


def wait_for(expected, timeout_seconds=10.0, skipped=()):
    """Polls until the focused text matches EXPECTED; (held, last reading)."""
    deadline = time.monotonic() + timeout_seconds
    while True:
        reading = read(skipped)
        if matches(reading, expected) or time.monotonic() > deadline:
            return matches(reading, expected), reading
        time.sleep(0.02)


class _Keyboard:
    """Ctrl+Alt+E through XTest, with the moment of the first key event."""

    def __init__(self):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.display = self.x11.XOpenDisplay(None)
        if not self.display:
            raise RuntimeError("no X display")
        self.keys = [self.x11.XKeysymToKeycode(self.display, keysym) for keysym in (0xFFE3, 0xFFE9, 0x65)]

    def press_expand(self):
        pressed = time.monotonic()
        for key in self.keys:
            self.xtst.XTestFakeKeyEvent(self.display, key, 1, 0)
        for key in reversed(self.keys):
            self.xtst.XTestFakeKeyEvent(self.display, key, 0, 0)
        self.x11.XSync(self.display, 0)
        return pressed


def measure(expected, typed, timeout_seconds=10.0, press=None):
    """Milliseconds from the key press to the caret after the expected text, or None, when the
    caret ends TYPED alone on its line. Reads only the caret and the text just before it, so
    neither the document's size nor the probe's polling weighs on the editor. PRESS presses
    the shortcut and returns the moment of the press (Ctrl+Alt+E through XTest when None)."""
    focus = find_focus()
    if focus is None:
        return None, {"error": "no focused text"}
    focus = focus.on_caret_line()
    units = (lambda text: utf16_length(text)) if focus.utf16_offsets else len
    before = expected["text"].encode("utf-16-le")[:2 * expected["cursorPosition"]].decode("utf-16-le")
    tail = before[-40:]
    want = focus.caret() - units(typed) + units(before)
    pressed = press() if press else _Keyboard().press_expand()
    deadline = pressed + timeout_seconds
    while time.monotonic() < deadline:
        if focus.caret() == want:
            elapsed = (time.monotonic() - pressed) * 1000.0
            if focus.text_before_caret(units(tail))[0] == tail:
                return elapsed, None
        time.sleep(0.001)
    got, caret = focus.text_before_caret(units(tail))
    return None, {"caret": caret, "wanted caret": want, "before caret": got, "wanted": tail}


def main(argv):
    command = argv[1] if len(argv) > 1 else "read"
    if command == "read":
        print(json.dumps(read(), ensure_ascii=False))
        return 0
    if command == "before-caret" and len(argv) > 2:
        # The tail alone: a large document costs nothing to wait on.
        suffix = argv[2]
        deadline = time.monotonic() + (int(argv[3]) / 1000.0 if len(argv) > 3 else 10.0)
        got = None
        while time.monotonic() < deadline:
            try:
                focus = find_focus()
                if focus is not None:
                    focus = focus.on_caret_line()
                    units = utf16_length(suffix) if focus.utf16_offsets else len(suffix)
                    got = focus.text_before_caret(units)[0]
                    if got == suffix:
                        return 0
            except Exception as error:
                got = str(error)
            time.sleep(0.02)
        print("expected %r before the caret, read %r" % (suffix, got), file=sys.stderr)
        return 1
    if command == "expect" and len(argv) > 2 or command == "measure" and len(argv) > 3:
        expected = json.loads(argv[2])
        timeout = int(argv[-1]) / 1000.0 if len(argv) > (4 if command == "measure" else 3) else 10.0
        if command == "expect":
            held, reading = wait_for(expected, timeout)
            if not held:
                print("expected %s\n    read %s" % (json.dumps(expected, ensure_ascii=False),
                                                    json.dumps(reading, ensure_ascii=False)), file=sys.stderr)
            return 0 if held else 1
        elapsed, reading = measure(expected, argv[3], timeout)
        if elapsed is None:
            print("expected %s\n    read %s" % (json.dumps(expected, ensure_ascii=False),
                                                json.dumps(reading, ensure_ascii=False)), file=sys.stderr)
            return 1
        print("%.1f" % elapsed)
        return 0
    print(__doc__, file=sys.stderr)
    return 64


if __name__ == "__main__":
    sys.exit(main(sys.argv))
