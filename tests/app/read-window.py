#!/usr/bin/python3
"""Prints the name of every label and button of the running gridmoor window, one per line,
as the desktop's accessibility service sees them; exits 1 when no gridmoor is there."""
import sys

import pyatspi


def names(accessible):
    yield accessible.getRoleName(), accessible.name or ""
    for i in range(accessible.childCount):
        child = accessible.getChildAtIndex(i)
        if child is not None:
            yield from names(child)


for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.name == "gridmoor":
        for role, name in names(app):
            print(f"{role}\t{name}")
        sys.exit(0)
sys.exit(1)
