#!/usr/bin/env python3
"""Independent CRC reference for the EEPROM checksum tests (Debian python3-crcmod).

Reads one hex string per line on stdin and prints "crc16 crc32" in hex for each:
CRC-16 polynomial 0x1021 from 0x1D0F and CRC-32 polynomial 0x04C11DB7 from
0xC704DD7B, both most significant bit first, no reflection, no final XOR.
"""
import sys

import crcmod

crc16 = crcmod.mkCrcFun(0x11021, initCrc=0x1D0F, rev=False, xorOut=0)
crc32 = crcmod.mkCrcFun(0x104C11DB7, initCrc=0xC704DD7B, rev=False, xorOut=0)

for line in sys.stdin:
    data = bytes.fromhex(line.strip())
    print("%04X %08X" % (crc16(data), crc32(data)))
