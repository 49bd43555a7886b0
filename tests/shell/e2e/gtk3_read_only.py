#!/usr/bin/python3
"""A GTK 3 window whose text view shows FILE but cannot be edited (no EDITABLE state), with
the caret at the end, for the end-to-end tests: gtk3_read_only.py TITLE FILE"""
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gtk  # noqa: E402

window = Gtk.Window(title=sys.argv[1])
window.set_default_size(640, 400)
view = Gtk.TextView(editable=False, cursor_visible=True)
with open(sys.argv[2], encoding="utf-8") as file:
    view.get_buffer().set_text(file.read())
view.get_buffer().place_cursor(view.get_buffer().get_end_iter())
window.add(view)
window.connect("destroy", Gtk.main_quit)
window.show_all()
view.grab_focus()
Gtk.main()
