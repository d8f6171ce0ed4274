#!/usr/bin/python3
# Plays the user of make screen-reader-check through the accessibility bus: Start,
# the group chosen with the mouse, Send; then waits for the status line's last text.
# Prints what the progress bar told the bus on the way.
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

context = GLib.MainContext.default()


def pump(seconds):
    end = time.time() + seconds
    while time.time() < end:
        while context.pending():
            context.iteration(False)
        time.sleep(0.01)


def program():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "haltguard-ids":
            return app
    return None


def find(role, name=None):
    found = []

    def walk(node):
        try:
            if node.getRoleName() == role and (name is None or node.name == name):
                found.append(node)
            for i in range(node.childCount):
                walk(node.getChildAtIndex(i))
        except Exception:  # a node gone while walked: its window closed
            pass

    app = program()
    if app is not None:
        walk(app)
    return found


def wait_for(role, name=None, seconds=40):
    end = time.time() + seconds
    while time.time() < end:
        got = find(role, name)
        if got:
            return got
        pump(0.3)
    sys.exit(f"probe: no {role} '{name or ''}' appeared in {seconds} s")


def press(node):
    node.queryAction().doAction(0)


def click(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run(["xdotool", "mousemove", str(box.x + box.width // 2),
                    str(box.y + box.height // 2), "click", "1"], check=True)


values = []


def on_value(event):
    if event.source.getRoleName() == "progress bar":
        values.append(int(event.source.queryValue().currentValue))


pyatspi.Registry.registerEventListener(on_value, "object:property-change:accessible-value")
press(wait_for("push button", "Start")[0])
click(wait_for("combo box")[0])
pump(1.5)
click(wait_for("list item", sys.argv[1])[-1])
pump(1.5)
bar = wait_for("progress bar")[0]
print(f"probe: progress bar \"{bar.name}\", 0 to {int(bar.queryValue().maximumValue)}")
press(find("push button", "Send")[0])
wait_for("label", "IDs successfully sent", 60)
pump(2)
print("probe: values told to the bus:", " ".join(map(str, values)))
