#!/usr/bin/env python3
"""Writes the Atmel sample files the demo and the console tests use.

atmel-sample.hex  flash image: 1 KiB of code-like bytes at 0x00000, the
                  firmware description "Trelmark AVR" at 0x1DF08 (the
                  description the virtual AVR reports), no checksum, no
                  boot loader section.
atmel-sample.eep  EEPROM image: a 64-byte settings block at 0x000 and a
                  serial number at 0xFF0; every other byte erased.

Run from this folder: python3 make-atmel-samples.py
"""


def record(address, rtype, data):
    body = [len(data), address >> 8 & 0xFF, address & 0xFF, rtype] + list(data)
    checksum = (-sum(body)) & 0xFF
    return ":" + "".join("%02X" % b for b in body) + "%02X" % checksum + "\r\n"


def write_hex(path, chunks):
    """chunks: list of (address, bytes); 16 bytes per record."""
    lines = []
    segment = None
    for address, data in chunks:
        for offset in range(0, len(data), 16):
            a = address + offset
            if a >> 16 != segment:
                segment = a >> 16
                lines.append(record(0, 0x02, [segment << 12 >> 8 & 0xFF, 0]))
            lines.append(record(a & 0xFFFF, 0x00, data[offset:offset + 16]))
    lines.append(":00000001FF\r\n")
    with open(path, "w", newline="") as f:
        f.write("".join(lines))


code = bytes((i * 37 + 11) & 0xFF for i in range(1024))
description = b"Trelmark AVR\0"
write_hex("atmel-sample.hex", [(0x00000, code), (0x1DF08, description)])

settings = bytes(range(0x40))
serial = b"SN-000123\0"
write_hex("atmel-sample.eep", [(0x000, settings), (0xFF0, serial)])
