#!/usr/bin/python3
"""A GTK 3 window whose text view shows FILE with the caret at the end, for the end-to-end
tests:

    gtk3_fixture.py --read-only TITLE FILE       the text cannot be edited (no EDITABLE state)
    gtk3_fixture.py --swallow-edits TITLE FILE   the text is editable, and every edit from the
                                                 keyboard or from other programs is answered as
                                                 done and dropped (as some browsers do)
    gtk3_fixture.py --refuse-accessible-edits TITLE FILE
                                                 other programs' edits are answered as done
                                                 and dropped, but a paste from the keyboard
                                                 goes in (as browsers' text areas do)
"""
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402

mode, title, path = sys.argv[1:4]
window = Gtk.Window(title=title)
window.set_default_size(640, 400)
view = Gtk.TextView(editable=mode != "--read-only", cursor_visible=True)
buffer = view.get_buffer()
with open(path, encoding="utf-8") as file:
    buffer.set_text(file.read())
buffer.place_cursor(buffer.get_end_iter())
if mode == "--swallow-edits":
    for signal in ("insert-text", "delete-range"):
        buffer.connect(signal, lambda buffer, *rest, name=signal: buffer.stop_emission_by_name(name))
if mode == "--refuse-accessible-edits":
    # What the keyboard does goes in: a typed key at once, a paste once the clipboard has
    # answered (its deletion of the selection and its insertion). Nothing else does.
    typing = [False]
    pasting = [False]

    def key_pressed(*rest):
        typing[0] = True
        GLib.idle_add(lambda: typing.__setitem__(0, False))
        return False

    view.connect("key-press-event", key_pressed)
    view.connect("paste-clipboard", lambda view: pasting.__setitem__(0, True))

    def guard(buffer, name):
        if not (typing[0] or pasting[0]):
            buffer.stop_emission_by_name(name)

    for signal in ("insert-text", "delete-range"):
        buffer.connect(signal, lambda buffer, *rest, name=signal: guard(buffer, name))
    buffer.connect_after("insert-text", lambda *rest: pasting.__setitem__(0, False))
window.add(view)
window.connect("destroy", Gtk.main_quit)
window.show_all()
view.grab_focus()
Gtk.main()
