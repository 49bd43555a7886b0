#!/usr/bin/env python3
"""A scripted accessibility desktop for the tests of the AT-SPI backend.

`scripted_desktop.py desktop` runs, on the session bus it finds in its environment, the
accessibility bus launcher's interface (org.a11y.Bus: GetAddress, org.a11y.Status IsEnabled),
starts a private accessibility bus of its own with a registry on it, and starts scripted text
editors as separate processes (`scripted_desktop.py editor NAME`), each with one window holding
one text. It takes one JSON command a line on its standard input and answers each with one JSON
line on its standard output:

  {"command": "start", "name": N, "text": T, "active": B, "delay": [LOW, HIGH], "refuse": [...]}
        a new editor, its caret at the end of T; each call it answers takes LOW..HIGH ms; the
        edits named in "refuse" are answered with false and not done: "insert lines" (an
        insertion of more than one line), "delete" (every deletion)
  {"command": "set", "name": N, "text": T, "active": B}   its text (caret at the end), its focus
  {"command": "read", "name": N}   {"text": T, "caret": C, "calls": K}: K counts the calls it
        answered from others than this desktop, once all that reached it before are answered
  {"command": "stop" | "continue", "name": N}   SIGSTOP, SIGCONT
  {"command": "restart"}   a new accessibility bus at a new address; the editors move there
  {"command": "switch off", "delay": D}   assistive technologies off until a program turns them
        on; the registry then answers its first call D ms late, as one that is starting
  {"command": "quit"}

Only libraries of the desktop (GLib's D-Bus) are used: nothing of the code under test.
"""

import json
import os
import random
import signal
import subprocess
import sys
import tempfile
import threading
import time

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

ROOT = "/org/a11y/atspi/accessible/root"
FRAME = "/org/a11y/atspi/accessible/1"
TEXT = "/org/a11y/atspi/accessible/2"
REGISTRY = "org.a11y.atspi.Registry"
ACCESSIBLE = "org.a11y.atspi.Accessible"
STATE_ACTIVE, STATE_EDITABLE, STATE_FOCUSED, STATE_VISIBLE, STATE_SHOWING = 1, 7, 12, 30, 25

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>accessibility</type>
  <listen>unix:dir=%s</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


def connect(address):
    flags = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
    return Gio.DBusConnection.new_for_address_sync(address, flags, None, None)


class Server:
    """Answers the method calls that reach a connection, one after the other, on the thread that
    reads them: `handle(message)` returns (signature, values) or raises KeyError (no such method)."""

    def __init__(self, connection, handle):
        self.connection = connection
        self.handle = handle
        connection.add_filter(self.filter)

    def filter(self, connection, message, incoming):
        if not incoming or message.get_message_type() != Gio.DBusMessageType.METHOD_CALL:
            return message
        if message.get_interface() == "org.freedesktop.DBus.Peer":
            return message
        try:
            signature, values = self.handle(message)
            reply = message.new_method_reply()
            if signature:
                reply.set_body(GLib.Variant("(" + signature + ")", values))
        except KeyError:
            reply = message.new_method_error_literal(
                "org.freedesktop.DBus.Error.UnknownMethod",
                "%s.%s on %s" % (message.get_interface(), message.get_member(), message.get_path()))
        try:
            connection.send_message(reply, Gio.DBusSendMessageFlags.NONE)
        except GLib.Error:
            pass  # the bus went away
        return None


def request_name(connection, name):
    reply = connection.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                 "RequestName", GLib.Variant("(su)", (name, 4)), GLib.VariantType("(u)"),
                                 Gio.DBusCallFlags.NONE, 5000, None)
    if reply.unpack()[0] != 1:
        raise SystemExit("%s is owned by another program on this bus" % name)


def arguments(message):
    body = message.get_body()
    return body.unpack() if body is not None else ()


# MARK: an editor


class Editor:
    def __init__(self, name):
        self.name = name
        self.lock = threading.Lock()
        self.text = ""
        self.caret = 0
        self.active = False
        self.delay = (0, 0)
        self.refuse = set()
        self.calls = 0
        self.desktop = None  # the desktop's name on the bus: its calls are not counted
        self.connection = None
        self.server = None

    def me(self):
        return self.connection.get_unique_name()

    def states(self, path):
        bits = 0
        if path == FRAME:
            bits = 1 << STATE_VISIBLE | 1 << STATE_SHOWING | (1 << STATE_ACTIVE if self.active else 0)
        elif path == TEXT:
            bits = 1 << STATE_VISIBLE | 1 << STATE_SHOWING | 1 << STATE_EDITABLE
            bits |= 1 << STATE_FOCUSED if self.active else 0
        return [bits & 0xFFFFFFFF, bits >> 32]

    def child(self, path):
        return {ROOT: FRAME, FRAME: TEXT}.get(path)

    def property(self, path, interface, name):
        if interface == "org.a11y.atspi.Application" and path == ROOT and name == "ToolkitName":
            return GLib.Variant("s", "GTK")
        if interface == ACCESSIBLE and name == "Name":
            return GLib.Variant("s", {ROOT: "scripted-" + self.name, FRAME: "main.swift - Scripted " + self.name,
                                      TEXT: ""}[path])
        if interface == ACCESSIBLE and name == "ChildCount":
            return GLib.Variant("i", 1 if self.child(path) else 0)
        if interface == "org.a11y.atspi.Text" and path == TEXT and name == "CaretOffset":
            return GLib.Variant("i", self.caret)
        if interface == "org.a11y.atspi.Text" and path == TEXT and name == "CharacterCount":
            return GLib.Variant("i", len(self.text))
        raise KeyError(name)

    def handle(self, message):
        if message.get_sender() != self.desktop:
            low, high = self.delay
            if high > 0:
                time.sleep(random.uniform(low, high) / 1000.0)
        with self.lock:
            if message.get_sender() != self.desktop:
                self.calls += 1
            return self.answer(message.get_path(), message.get_interface(), message.get_member(), arguments(message))

    def answer(self, path, interface, member, args):
        if interface == "org.freedesktop.DBus.Properties" and member == "Get":
            return "v", (self.property(path, args[0], args[1]),)
        if interface == ACCESSIBLE:
            if member == "GetChildren":
                child = self.child(path)
                return "a(so)", ([(self.me(), child)] if child else [],)
            if member == "GetChildAtIndex":
                return "(so)", ((self.me(), self.child(path) or "/org/a11y/atspi/null"),)
            if member == "GetState":
                return "au", (self.states(path),)
            if member == "GetInterfaces":
                interfaces = [ACCESSIBLE]
                if path == ROOT:
                    interfaces.append("org.a11y.atspi.Application")
                if path == TEXT:
                    interfaces += ["org.a11y.atspi.Text", "org.a11y.atspi.EditableText"]
                return "as", (interfaces,)
        if interface == "org.a11y.atspi.Collection" and member == "GetMatches" and path == FRAME:
            return "a(so)", ([(self.me(), TEXT)] if self.active else [],)
        if path == TEXT and interface == "org.a11y.atspi.Text":
            if member == "GetText":
                start, end = args
                end = len(self.text) if end < 0 else min(end, len(self.text))
                return "s", (self.text[max(start, 0):max(end, 0)],)
            if member == "SetCaretOffset":
                self.caret = max(0, min(args[0], len(self.text)))
                return "b", (True,)
            if member == "GetNSelections":
                return "i", (0,)
        if path == TEXT and interface == "org.a11y.atspi.EditableText":
            if member == "DeleteText":
                start, end = args
                if "delete" in self.refuse or not 0 <= start <= end <= len(self.text):
                    return "b", (False,)
                self.text = self.text[:start] + self.text[end:]
                self.caret = start if self.caret > start else self.caret
                return "b", (True,)
            if member == "InsertText":
                position, text, _ = args
                if ("insert lines" in self.refuse and "\n" in text) or not 0 <= position <= len(self.text):
                    return "b", (False,)
                self.text = self.text[:position] + text + self.text[position:]
                return "b", (True,)
        raise KeyError(member)

    def join(self, address):
        self.connection = connect(address)
        self.server = Server(self.connection, self.handle)
        print(json.dumps({"joined": self.me()}), flush=True)

    def command(self, line):
        order = json.loads(line)
        with self.lock:
            for key in ("text", "active", "delay", "desktop"):
                if key in order:
                    setattr(self, key, order[key] if key != "delay" else tuple(order[key]))
            if "refuse" in order:
                self.refuse = set(order["refuse"])
            if "text" in order:
                self.caret = len(self.text)
        if "join" in order:
            self.join(order["join"])
            return
        with self.lock:
            print(json.dumps({"text": self.text, "caret": self.caret, "calls": self.calls}), flush=True)


def run_editor(name):
    editor = Editor(name)
    loop = GLib.MainLoop()

    def readable(channel, condition):
        line = sys.stdin.readline()
        if not line:
            loop.quit()
            return False
        editor.command(line)
        return True

    GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT,
                      GLib.IOCondition.IN | GLib.IOCondition.HUP, readable)
    loop.run()


# MARK: the desktop


class Desktop:
    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="scripted-a11y-")
        self.bus = None
        self.address = None
        self.registry = None
        self.editors = {}  # name: [process, unique name]
        self.enabled = True
        self.delay_once_enabled = 0
        self.registry_delay = 0
        self.session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        Server(self.session, self.launcher)
        request_name(self.session, "org.a11y.Bus")
        self.start_bus()

    def launcher(self, message):
        member, args = message.get_member(), arguments(message)
        if message.get_interface() == "org.a11y.Bus" and member == "GetAddress":
            return "s", (self.address,)
        if message.get_interface() == "org.freedesktop.DBus.Properties":
            if member == "Get" and args == ("org.a11y.Status", "IsEnabled"):
                return "v", (GLib.Variant("b", self.enabled),)
            if member == "Set":
                if args[2] and not self.enabled:
                    self.registry_delay = self.delay_once_enabled
                self.enabled = bool(args[2])
                return "", ()
        raise KeyError(member)

    def registry_answer(self, message):
        if self.registry_delay:
            time.sleep(self.registry_delay / 1000)
            self.registry_delay = 0
        if message.get_path() == ROOT and message.get_member() == "GetChildren":
            return "a(so)", ([(name, ROOT) for _, name in self.editors.values()],)
        raise KeyError(message.get_member())

    def start_bus(self):
        config = os.path.join(self.folder, "bus.conf")
        with open(config, "w") as file:
            file.write(BUS_CONFIG % self.folder)
        self.bus = subprocess.Popen(["dbus-daemon", "--nofork", "--print-address=1", "--config-file=" + config],
                                    stdout=subprocess.PIPE, text=True)
        self.address = self.bus.stdout.readline().strip()
        self.registry = connect(self.address)
        Server(self.registry, self.registry_answer)
        request_name(self.registry, REGISTRY)

    def editor(self, name, order):
        process = self.editors[name][0]
        process.stdin.write(json.dumps(order) + "\n")
        process.stdin.flush()
        return json.loads(process.stdout.readline())

    def join(self, name):
        order = {"join": self.address, "desktop": self.registry.get_unique_name()}
        self.editors[name][1] = self.editor(name, order)["joined"]

    def command(self, order):
        command = order["command"]
        name = order.get("name")
        if command == "start":
            process = subprocess.Popen([sys.executable, os.path.abspath(__file__), "editor", name],
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
            self.editors[name] = [process, None]
            self.editor(name, {key: order[key] for key in ("text", "active", "delay", "refuse") if key in order})
            self.join(name)
            return {"ok": True}
        if command == "set":
            return self.editor(name, {key: order[key] for key in ("text", "active") if key in order})
        if command == "read":
            # Answered by the editor after everything that reached it before.
            self.registry.call_sync(self.editors[name][1], ROOT, "org.freedesktop.DBus.Properties", "Get",
                                    GLib.Variant("(ss)", ("org.a11y.atspi.Application", "ToolkitName")), None,
                                    Gio.DBusCallFlags.NONE, 30000, None)
            return self.editor(name, {})
        if command in ("stop", "continue"):
            os.kill(self.editors[name][0].pid, signal.SIGSTOP if command == "stop" else signal.SIGCONT)
            return {"ok": True}
        if command == "switch off":
            self.enabled = False
            self.delay_once_enabled = order["delay"]
            return {"ok": True}
        if command == "restart":
            self.registry.close_sync(None)
            self.bus.terminate()
            self.bus.wait()
            self.start_bus()
            for editor in self.editors:
                self.join(editor)
            return {"ok": True}
        raise KeyError(command)

    def close(self):
        for process, _ in self.editors.values():
            os.kill(process.pid, signal.SIGCONT)
            process.stdin.close()
            process.wait()
        self.bus.terminate()
        self.bus.wait()


def run_desktop():
    desktop = Desktop()
    print(json.dumps({"ready": True}), flush=True)
    for line in sys.stdin:
        order = json.loads(line)
        if order["command"] == "quit":
            break
        try:
            answer = desktop.command(order)
        except (KeyError, GLib.Error, OSError) as error:
            answer = {"error": str(error)}
        print(json.dumps(answer), flush=True)
    desktop.close()


if __name__ == "__main__":
    if sys.argv[1:2] == ["editor"]:
        run_editor(sys.argv[2])
    else:
        run_desktop()
