#!/usr/bin/python3
"""Drives the gridmoor window of process PID through the desktop's accessibility service,
the way a user would, for check-clean-exit.sh.

  drive-window.py PID shown WORKBOOK SECONDS   waits until the window shows WORKBOOK
  drive-window.py PID press ADDRESS BUTTON     types ADDRESS into the address box and
                                               presses the button whose text is BUTTON
  drive-window.py PID message                  exits 0 when a message box is open
  drive-window.py PID dismiss SECONDS          waits for the message box, prints its text
                                               and presses its OK button

Exits 1 when what was asked for did not happen in time. While the program is busy in a
command its accessibility calls go unanswered; every wait here tolerates that.
"""
import sys
import time

import pyatspi

WORKBOOK_PREFIX = "当前工作簿名称: "
MESSAGE_ROLES = {"alert", "dialog"}


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "gridmoor" and app.get_process_id() == pid:
            return app
    return None


def walk(accessible):
    yield accessible
    for i in range(accessible.childCount):
        child = accessible.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def message_box(app):
    for node in walk(app):
        if node.getRoleName() in MESSAGE_ROLES:
            return node
    return None


def until(seconds, find):
    """find() until it gives something other than None, or None after `seconds`."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            found = find()
            if found is not None:
                return found
        except Exception:  # the program is busy or not yet registered
            pass
        if time.monotonic() >= deadline:
            return None
        time.sleep(0.2)


def shown(pid, workbook, seconds):
    def find():
        app = application(pid)
        if app is None:
            return None
        for node in walk(app):
            if node.getRoleName() == "label" and node.name == WORKBOOK_PREFIX + workbook:
                return node
        return None
    return until(seconds, find) is not None


def press(pid, address, button):
    app = application(pid)
    if app is None:
        return False
    edit = next(n for n in walk(app) if n.getRoleName() == "text")
    edit.queryEditableText().setTextContents(address)
    target = next(n for n in walk(app) if n.getRoleName() == "push button" and n.name == button)
    action = target.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    action.doAction(names.index("Press") if "Press" in names else 0)
    return True


def dismiss(pid, seconds):
    def find():
        app = application(pid)
        return message_box(app) if app is not None else None
    box = until(seconds, find)
    if box is None:
        return False
    texts = [n.name for n in walk(box) if n.getRoleName() == "label" and n.name]
    print(" | ".join(texts))
    ok = next(n for n in walk(box) if n.getRoleName() == "push button")
    ok.queryAction().doAction(0)
    return True


def main():
    pid, command, args = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    if command == "shown":
        return 0 if shown(pid, args[0], float(args[1])) else 1
    if command == "press":
        return 0 if press(pid, args[0], args[1]) else 1
    if command == "message":
        app = application(pid)
        return 0 if app is not None and message_box(app) is not None else 1
    if command == "dismiss":
        return 0 if dismiss(pid, float(args[0])) else 1
    print(f"unknown command {command}", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
