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
    gtk3_fixture.py --plain TITLE FILE           an ordinary text view

With QUILLET_FIXTURE_BUSY_PASTE_MS set, the window is busy that long when Shift+Insert comes,
then pastes the clipboard's text as GTK does (asking for it with the key's time), and prints
"paste settled" once the clipboard has answered, with or without a text.
"""
import os
import sys
import time

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

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
busy_paste_ms = int(os.environ.get("QUILLET_FIXTURE_BUSY_PASTE_MS", "0"))
if busy_paste_ms:
    def busy_paste(view, event):
        if event.keyval != Gdk.KEY_Insert or not event.state & Gdk.ModifierType.SHIFT_MASK:
            return False
        time.sleep(busy_paste_ms / 1000)

        def pasted(clipboard, text):
            if text:
                pasting[0] = True
                buffer.delete_selection(True, True)
                buffer.insert_at_cursor(text)
                pasting[0] = False
            print("paste settled: %r" % text, flush=True)

        # Asked inside the key's handler: GTK names the key's time in its request.
        Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD).request_text(pasted)
        return True

    if mode != "--refuse-accessible-edits":
        pasting = [False]
    view.connect("key-press-event", busy_paste)
window.add(view)
window.connect("destroy", Gtk.main_quit)
window.show_all()
view.grab_focus()
Gtk.main()
