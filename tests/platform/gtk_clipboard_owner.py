#!/usr/bin/python3
"""Puts a text of --bytes bytes (or with --image, an image of noise of about that size) on the
clipboard through GTK 3, as a program that copies does.
With --one-shot it quits as soon as another program owns the clipboard, as copy scripts do."""
import argparse
import math
import os
import sys

import gi
gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
gi.require_version("GdkPixbuf", "2.0")
from gi.repository import Gdk, GdkPixbuf, GLib, Gtk  # noqa: E402

parser = argparse.ArgumentParser()
parser.add_argument("--bytes", type=int, required=True)
parser.add_argument("--one-shot", action="store_true")
parser.add_argument("--image", action="store_true")
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
if arguments.image:
    # GTK offers it in every encoding its image loaders can write, made on request.
    side = int(math.sqrt(arguments.bytes / 3))
    pixels = GLib.Bytes.new(os.urandom(side * side * 3))
    clipboard.set_image(GdkPixbuf.Pixbuf.new_from_bytes(pixels, GdkPixbuf.Colorspace.RGB, False, 8, side, side,
                                                        side * 3))
else:
    clipboard.set_text("q" * arguments.bytes, arguments.bytes)
Gtk.main()
sys.exit(0)
