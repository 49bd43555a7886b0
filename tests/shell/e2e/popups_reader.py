"""Opens Quillet's pop-ups from the keyboard and finds each, with libatspi alone, among the
application's windows while it is open, named, of its role, with its controls; exits 1 if not."""

import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

Atspi.set_timeout(2000, 15000)
Role = Atspi.Role


def wait(condition, seconds=15.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            found = condition()
            if found:
                return found
        except Exception:  # the tree changed under the walk
            pass
        time.sleep(0.05)
    return None


def windows():
    desktop = Atspi.get_desktop(0)
    apps = [desktop.get_child_at_index(i) for i in range(desktop.get_child_count())]
    app = next((a for a in apps if a and (a.get_name() or "").lower().startswith("quillet")), None)
    return [app.get_child_at_index(i) for i in range(app.get_child_count())] if app else []


def find(root, name, roles, depth=0, showing=False):
    """A node of ROLES named NAME (a menu item's name goes on with a tab and its keys; None: any)."""
    found = root.get_name() or ""
    if (root.get_role() in roles and (name is None or found.split("\t")[0] == name)
            and (not showing or root.get_state_set().contains(Atspi.StateType.SHOWING))):
        return root
    children = (root.get_child_at_index(i) for i in range(root.get_child_count() if depth < 14 else 0))
    return next((hit for child in children if child for hit in [find(child, name, roles, depth + 1, showing)]
                 if hit), None)


def in_windows(name, roles, showing=False):
    return next((hit for w in windows() for hit in [find(w, name, roles, 0, showing)] if hit), None)


def popup(keys, name, roles, controls):
    """Presses KEYS; then a window of the application named NAME, of ROLES, must hold CONTROLS."""
    subprocess.run(["xdotool", "key", "--delay", "40", *keys], check=False)
    window = wait(lambda: next((w for w in windows() if w.get_name() == name and w.get_role() in roles), None))
    missing = [c for c, c_roles in controls if not (window and find(window, c, c_roles))]
    listed = ", ".join(f"{w.get_role_name()} {w.get_name()!r}" for w in windows())
    print(f"{'FAIL: ' if missing or not window else ''}{name!r}: "
          f"{('lacks ' + str(missing) if missing else 'holds its controls') if window else 'absent'}; {listed}")
    subprocess.run(["xdotool", "key", "Escape"], check=False)
    return bool(window) and not missing


def main():
    tree = wait(lambda: in_windows("Bundles", {Role.TREE, Role.TREE_TABLE}))
    tree.grab_focus()
    # The first expander, in edit mode (Ctrl+Page Down leaves the documentation).
    subprocess.run(["xdotool", "key", "--delay", "40", "Home", "Right", "Down"], check=False)
    if not wait(lambda: in_windows("Pattern", {Role.TEXT}, showing=True), seconds=3):
        subprocess.run(["xdotool", "key", "ctrl+Next"], check=False)
    pattern = wait(lambda: in_windows("Pattern", {Role.TEXT}, showing=True))
    tree.grab_focus()
    ok = popup(["shift+F10"], "Bundle list actions", {Role.POPUP_MENU}, [("New Expander", {Role.MENU_ITEM})])
    wait(lambda: in_windows("Choose the expander's languages", {Role.PUSH_BUTTON})).grab_focus()
    ok &= popup(["space"], "Supported languages", {Role.DIALOG}, [("Supported languages", {Role.LIST})])
    pattern.grab_focus()
    Atspi.Text.set_caret_offset(pattern, 0)
    ok &= popup(["alt+Return"], "Input variable editor", {Role.DIALOG},
                [(None, {Role.COMBO_BOX}), ("Variable name", {Role.TEXT}), ("Cases", {Role.TABLE})])
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
