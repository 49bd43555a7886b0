#!/usr/bin/python3
# Tries to grab a key chord on the root window as another X client would; exits 0 when the
# grab was taken (and lets it go), 1 when another client holds it, 2 without a display.
# Usage: grab_shortcut.py [KEY [MODIFIER…]], by default Ctrl+Alt+E.
import ctypes
import sys

x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XStringToKeysym.restype = ctypes.c_ulong
x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
x11.XKeysymToKeycode.restype = ctypes.c_ubyte
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XGrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int,
                         ctypes.c_int, ctypes.c_int]
x11.XUngrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

refused = []


class XErrorEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("display", ctypes.c_void_p), ("resourceid", ctypes.c_ulong),
                ("serial", ctypes.c_ulong), ("error_code", ctypes.c_ubyte), ("request_code", ctypes.c_ubyte),
                ("minor_code", ctypes.c_ubyte)]


Handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.POINTER(XErrorEvent))


@Handler
def on_error(display, event):
    refused.append(event.contents.error_code)
    return 0


masks = {"ctrl": 1 << 2, "alt": 1 << 3, "shift": 1 << 0, "super": 1 << 6}
key = sys.argv[1] if len(sys.argv) > 1 else "e"
modifiers = 0
for name in (sys.argv[2:] or ["ctrl", "alt"]):
    modifiers |= masks[name]

display = x11.XOpenDisplay(None)
if not display:
    sys.exit(2)
x11.XSetErrorHandler(on_error)
root = x11.XDefaultRootWindow(display)
code = x11.XKeysymToKeycode(display, x11.XStringToKeysym(key.encode()))
x11.XGrabKey(display, code, modifiers, root, 0, 1, 1)
x11.XSync(display, 0)
taken = not refused
if taken:
    x11.XUngrabKey(display, code, modifiers, root)
    x11.XSync(display, 0)
x11.XCloseDisplay(display)
sys.exit(0 if taken else 1)
