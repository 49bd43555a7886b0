"""Quillet's pop-ups as a screen reader finds them: opened from the keyboard in the real editor
window, each must be among the application's windows in the AT-SPI tree while it is open, named,
with the role of what it is and its controls named inside it. Reads with nothing but libatspi.

    popups_reader.py     run inside a session where quillet-app shows its editor window on a
                         library whose first bundle holds one expander with a variable
Prints each pop-up as found (or the application's windows when it is missing); exits 1 when one
is missing.
"""

import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

Atspi.set_timeout(2000, 15000)
Role = Atspi.Role


def wait(what, condition, seconds=15.0):
    deadline = time.monotonic() + seconds
    while True:
        try:
            found = condition()
        except Exception:  # the tree changes under the walk
            found = None
        if found:
            return found
        if time.monotonic() > deadline:
            return None
        time.sleep(0.05)


def application():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app and (app.get_name() or "").lower().startswith("quillet"):
            return app
    return None


def windows():
    app = application()
    return [app.get_child_at_index(i) for i in range(app.get_child_count())] if app else []


def descendants(node, depth=0):
    yield node, depth
    if depth > 14:
        return
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child:
            yield from descendants(child, depth + 1)


def find(root, name, roles):
    """The first node of one of ROLES named NAME (a menu item's name may go on with a tab and
    its shortcut); any name when NAME is None."""
    for node, _ in descendants(root):
        found = node.get_name() or ""
        named = name is None or found == name or found.startswith(name + "\t")
        if named and node.get_role() in roles:
            return node
    return None


def in_editor(name, roles):
    for window in windows():
        if window.get_role() == Role.FRAME:
            found = find(window, name, roles)
            if found:
                return found
    return None


def describe(deep=False):
    lines = []
    for window in windows():
        for node, depth in descendants(window) if deep else [(window, 0)]:
            if depth <= 8:
                lines.append(f"  {'  ' * depth}{node.get_role_name()} {node.get_name()!r}")
    return "\n".join(lines) or "  (no application)"


def keys(*names):
    subprocess.run(["xdotool", "key", "--delay", "40", *names], check=False)


def popup_window(name, roles):
    """The window of the application, among its top-level ones, named NAME with one of ROLES."""
    for window in windows():
        if (window.get_name() or "") == name and window.get_role() in roles:
            return window
    return None


def check(title, name, roles, controls):
    """Waits for the pop-up among the application's windows; then every (name, roles) of
    CONTROLS must be inside it. Returns whether all was found."""
    window = wait(title, lambda: popup_window(name, roles))
    if not window:
        print(f"FAIL: {title}: no window {name!r} among the application's windows:\n{describe()}")
        return False
    missing = [control for control, control_roles in controls if not find(window, control, control_roles)]
    if missing:
        tree = "\n".join(f"  {'  ' * depth}{node.get_role_name()} {node.get_name()!r}"
                         for node, depth in descendants(window))
        print(f"FAIL: {title}: {name!r} lacks {missing}:\n{tree}")
        return False
    print(f"{title}: {window.get_role_name()} {name!r} holds {[c or 'a kind chooser' for c, _ in controls]}")
    return True


def main():
    failures = 0
    # The editor's first expander, in edit mode (Ctrl+Page Down goes from the documentation to it).
    tree = wait("the bundle list", lambda: in_editor("Bundles", {Role.TREE, Role.TREE_TABLE, Role.LIST}))
    if not tree:
        print(f"FAIL: the editor window shows no bundle list:\n{describe(deep=True)}")
        return 1
    tree.grab_focus()
    keys("Home", "Right", "Down")

    def pattern_showing():
        found = in_editor("Pattern", {Role.TEXT, Role.ENTRY})
        return found if found and found.get_state_set().contains(Atspi.StateType.SHOWING) else None

    if not wait("the pattern in edit mode", pattern_showing, seconds=3):
        keys("ctrl+Next")
    pattern = wait("the expander's pattern", pattern_showing)
    if not pattern:
        print(f"FAIL: the first expander's pane did not show in edit mode:\n{describe(deep=True)}")
        return 1

    # The bundle list's context menu, from the keyboard.
    tree.grab_focus()
    keys("shift+F10")
    if not check("context menu", "Bundle list actions", {Role.POPUP_MENU, Role.MENU},
                 [("New Expander", {Role.MENU_ITEM})]):
        failures += 1
    keys("Escape")
    wait("the menu to close", lambda: not popup_window("Bundle list actions", {Role.POPUP_MENU, Role.MENU}))

    # The languages chooser.
    languages = in_editor("Choose the expander's languages", {Role.PUSH_BUTTON})
    if languages:
        languages.grab_focus()
        keys("space")
    if not check("languages chooser", "Supported languages", {Role.DIALOG},
                 [("Supported languages", {Role.LIST, Role.LIST_BOX, Role.TABLE})]):
        failures += 1
    keys("Escape")
    wait("the chooser to close", lambda: not popup_window("Supported languages", {Role.DIALOG}))

    # The variable popover of the pattern's token: Alt+Return before it.
    pattern.grab_focus()
    Atspi.Text.set_caret_offset(pattern, 0)
    keys("alt+Return")
    if not check("variable popover", "Input variable editor", {Role.DIALOG},
                 [(None, {Role.COMBO_BOX}), ("Variable name", {Role.TEXT, Role.ENTRY}), ("Cases", {Role.TABLE})]):
        failures += 1
    keys("Escape")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
