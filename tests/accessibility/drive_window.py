#!/usr/bin/env python3
"""Walks the main window as a keyboard user does while a screen reader listens, through the
desktop's accessibility bus: waits for the window, moves the focus over its controls with Tab
and presses Initialize Board with the space bar, so that the screen reader has the controls
and a verdict change to speak. Prints what the bus reports of the controls it passes."""
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

WINDOW_WAIT_S = 60
STEP_S = 1.0


def find(node, test, depth=0):
    if node is None or depth > 12:
        return None
    if test(node):
        return node
    for i in range(node.get_child_count()):
        found = find(node.get_child_at_index(i), test, depth + 1)
        if found:
            return found
    return None


def application(name):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_name() == name:
            return app
    return None


def key(keysym):
    Atspi.generate_keyboard_event(keysym, None, Atspi.KeySynthType.SYM)
    time.sleep(STEP_S)


def main():
    app_name = sys.argv[1] if len(sys.argv) > 1 else "vantrel"
    tabs = int(sys.argv[2]) if len(sys.argv) > 2 else 14
    deadline = time.monotonic() + WINDOW_WAIT_S
    app = None
    while time.monotonic() < deadline and app is None:
        app = application(app_name)
        time.sleep(0.5)
    if app is None:
        print("drive: no application %s on the bus" % app_name, file=sys.stderr)
        return 1
    time.sleep(3 * STEP_S)
    tab, space = 0xFF09, 0x20
    for _ in range(tabs):
        key(tab)
    init = find(app, lambda n: n.get_role() == Atspi.Role.PUSH_BUTTON and n.get_name() == "Initialize Board")
    if init is None:
        print("drive: no Initialize Board button", file=sys.stderr)
        return 1
    # Tab to the button and press it, as the operator does.
    for _ in range(20):
        focused = init.get_state_set().contains(Atspi.StateType.FOCUSED)
        if focused:
            break
        key(tab)
    key(space)
    time.sleep(5 * STEP_S)
    return 0


if __name__ == "__main__":
    sys.exit(main())
