#!/usr/bin/python3
"""Puts a text of --bytes bytes on the clipboard through GTK 3, as a program that copies does.
With --one-shot it quits as soon as another program owns the clipboard, as copy scripts do."""
import argparse
import sys

import gi
gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402

parser = argparse.ArgumentParser()
parser.add_argument("--bytes", type=int, required=True)
parser.add_argument("--one-shot", action="store_true")
arguments = parser.parse_args()

clipboard = Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD)
changes = [0]


def owner_changed(_clipboard, _event):
    changes[0] += 1
    if changes[0] == 1:
        print("ready", flush=True)
    elif arguments.one_shot:
        Gtk.main_quit()


clipboard.connect("owner-change", owner_changed)
clipboard.set_text("q" * arguments.bytes, arguments.bytes)
Gtk.main()
sys.exit(0)
