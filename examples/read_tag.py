#!/usr/bin/env python3
"""Reads tags of a running (or registered) Mirvane station over the D-Bus session bus.

    python3 examples/read_tag.py Brake1 [MORE_TAGS...]

Prints each tag's value as its decimal word, one line each. The object the client creates
belongs to its bus connection: this client keeps one connection for all its calls (a
`gdbus call` opens a new connection each time, so an object it creates is released as soon
as that call ends). Exit status: 0 when every tag was read, 1 for a tag the station does not
know, 2 when the stand did not answer.
"""
import sys
import time

import dbus

SERVICE = "Mirvane.Kalvex"
FACTORY = "Mirvane.KalvexFactory"
IKALVEX = "Mirvane.IKalvex"


def read_tag(bus, path, tag):
    obj = bus.get_object(SERVICE, path)
    kalvex = dbus.Interface(obj, IKALVEX)
    props = dbus.Interface(obj, "org.freedesktop.DBus.Properties")
    if kalvex.RequestTag(tag) == "":
        print(f"read_tag: the station has no tag named {tag}", file=sys.stderr)
        return None, 1
    # The station sends the read at its next poll turn: PageStatus then reads 2 until the
    # answer (1) or the time-out (3). A fast line may answer before the first look, so a
    # read not seen under way within a second counts as answered.
    started = time.monotonic()
    under_way = False
    while time.monotonic() - started < 10:
        status = int(props.Get(IKALVEX, "PageStatus"))
        if status == 3:
            print(f"read_tag: the stand did not answer the read of {tag}", file=sys.stderr)
            return None, 2
        if status == 2:
            under_way = True
        elif under_way or time.monotonic() - started > 1:
            break
        time.sleep(0.01)
    return int(kalvex.GetTagAsWord(tag)), 0


def main(argv):
    tags = argv[1:] or ["Brake1"]
    bus = dbus.SessionBus()
    # Starts the station when it is registered for activation and not running yet.
    factory = dbus.Interface(bus.get_object(SERVICE, "/Kalvex"), FACTORY)
    path = factory.Create(timeout=60)
    try:
        for tag in tags:
            value, status = read_tag(bus, path, tag)
            if status:
                return status
            print(value)
        return 0
    finally:
        factory.Release(path)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
