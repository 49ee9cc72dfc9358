#!/usr/bin/env python3
"""A far end for corvel-windows-check on a pseudo-terminal.

Prints the slave path, then answers each command byte it receives:
  F  "1".."5" 50 ms apart, then "99" at 400 ms (a reply broken off mid-way)
  G  "a" at 0, "b" at 40, "c" at 80 and "d" at 300 ms (a gap of 220 ms)
Anything else is ignored (silent equipment). Runs until killed.
"""
import os
import sys
import time
import tty

SCRIPTS = {
    ord("F"): [(0, b"1"), (50, b"2"), (100, b"3"), (150, b"4"), (200, b"5"), (400, b"99")],
    ord("G"): [(0, b"a"), (40, b"b"), (80, b"c"), (300, b"d")],
}


def main():
    master, slave = os.openpty()
    tty.setraw(slave)
    # The slave stays open here so the program may open and close its side.
    print(os.ttyname(slave), flush=True)
    while True:
        data = os.read(master, 256)
        if not data:
            return
        for byte in data:
            script = SCRIPTS.get(byte)
            if not script:
                continue
            start = time.monotonic()
            for at_ms, chunk in script:
                delay = start + at_ms / 1000 - time.monotonic()
                if delay > 0:
                    time.sleep(delay)
                os.write(master, chunk)


if __name__ == "__main__":
    try:
        main()
    except (KeyboardInterrupt, OSError):
        sys.exit(0)
