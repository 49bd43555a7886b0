#!/usr/bin/python3
# Another X client's view of the keyboard, through libX11 and XTEST.
#
#   keyboard_free.py press-and-type SECONDS
#       presses Ctrl+Alt+E, then grabs the whole keyboard and types a key into its own grab:
#       exits 0 when that key arrived within SECONDS of the press (prints how long it took),
#       1 when it did not.
#   keyboard_free.py shortcut-taken
#       exits 0 when another client holds Ctrl+Alt+E, 1 when this one could take it.
#   keyboard_free.py take-shortcut
#       takes Ctrl+Alt+E and keeps it until it is ended (SIGTERM): prints "taken" once it holds
#       it, exits 1 at once when another client holds it.
import ctypes
import select
import signal
import sys
import time

x11 = ctypes.CDLL("libX11.so.6")
xtst = ctypes.CDLL("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XStringToKeysym.restype = ctypes.c_ulong
x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
x11.XKeysymToKeycode.restype = ctypes.c_ubyte
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XGrabKeyboard.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                              ctypes.c_ulong]
x11.XUngrabKeyboard.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XGrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int,
                         ctypes.c_int, ctypes.c_int]
x11.XUngrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XPending.argtypes = [ctypes.c_void_p]
x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]

KEY_PRESS, GRAB_SUCCESS, GRAB_MODE_ASYNC, CONTROL, MOD1 = 2, 0, 1, 1 << 2, 1 << 3

display = x11.XOpenDisplay(None)
if not display:
    print("no display")
    sys.exit(2)
root = x11.XDefaultRootWindow(display)


def keycode(name):
    return x11.XKeysymToKeycode(display, x11.XStringToKeysym(name.encode()))


def chord(*names):
    codes = [keycode(name) for name in names]
    for code in codes:
        xtst.XTestFakeKeyEvent(display, code, 1, 20)
    for code in reversed(codes):
        xtst.XTestFakeKeyEvent(display, code, 0, 20)
    x11.XSync(display, 0)


def press_and_type(limit):
    chord("Control_L", "Alt_L", "e")
    pressed = time.monotonic()
    deadline = pressed + limit
    status = None
    while time.monotonic() < deadline:
        status = x11.XGrabKeyboard(display, root, 0, GRAB_MODE_ASYNC, GRAB_MODE_ASYNC, 0)
        if status == GRAB_SUCCESS:
            break
        time.sleep(0.01)
    if status != GRAB_SUCCESS:
        print(f"the keyboard was still held {limit} s after the press (grab status {status})")
        return 1
    chord("a")
    event = ctypes.create_string_buffer(192)
    while time.monotonic() < deadline:
        while x11.XPending(display):
            x11.XNextEvent(display, event)
            if ctypes.c_int.from_buffer(event).value == KEY_PRESS:
                print(f"the keyboard was free {time.monotonic() - pressed:.3f} s after the press")
                x11.XUngrabKeyboard(display, 0)
                x11.XSync(display, 0)
                return 0
        select.select([x11.XConnectionNumber(display)], [], [], max(0.0, deadline - time.monotonic()))
    print(f"the grab was taken but no key came within {limit} s of the press")
    return 1


refused = []


class XErrorEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("display", ctypes.c_void_p), ("resourceid", ctypes.c_ulong),
                ("serial", ctypes.c_ulong), ("error_code", ctypes.c_ubyte), ("request_code", ctypes.c_ubyte),
                ("minor_code", ctypes.c_ubyte)]


Handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.POINTER(XErrorEvent))


@Handler
def on_error(_display, event):
    refused.append(event.contents.error_code)
    return 0


def shortcut_taken():
    x11.XSetErrorHandler(on_error)
    code = keycode("e")
    x11.XGrabKey(display, code, CONTROL | MOD1, root, 0, GRAB_MODE_ASYNC, GRAB_MODE_ASYNC)
    x11.XSync(display, 0)
    if refused:
        return 0
    x11.XUngrabKey(display, code, CONTROL | MOD1, root)
    x11.XSync(display, 0)
    return 1


def take_shortcut():
    x11.XSetErrorHandler(on_error)
    x11.XGrabKey(display, keycode("e"), CONTROL | MOD1, root, 0, GRAB_MODE_ASYNC, GRAB_MODE_ASYNC)
    x11.XSync(display, 0)
    if refused:
        print("another client holds the shortcut", flush=True)
        return 1
    print("taken", flush=True)
    signal.pause()
    return 0


if sys.argv[1] == "press-and-type":
    result = press_and_type(float(sys.argv[2]))
elif sys.argv[1] == "take-shortcut":
    result = take_shortcut()
else:
    result = shortcut_taken()
x11.XCloseDisplay(display)
sys.exit(result)
