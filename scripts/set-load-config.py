#!/usr/bin/env python3
"""Points a 32-bit PE's load-configuration directory at its `_load_config_used`.

mingw-w64's linker (binutils 2.40) writes no load-configuration directory, even when
the program defines the structure. Run after linking, while the exe still has its
COFF symbols: finds the symbol, checks the structure's size field, and sets data
directory 10 to it with the size 64, the one Windows XP's loader accepts for x86.
"""
import struct
import sys

XP_SIZE = 64
LOAD_CONFIG = 10


def fail(message):
    sys.exit(f"set-load-config: {sys.argv[1]}: {message}")


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = bytearray(f.read())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        fail("not a PE image")
    sections, = struct.unpack_from("<H", data, pe + 6)
    symbols, count = struct.unpack_from("<II", data, pe + 12)
    optional_size, = struct.unpack_from("<H", data, pe + 20)
    optional = pe + 24
    if struct.unpack_from("<H", data, optional)[0] != 0x10B:
        fail("not a 32-bit image")
    if symbols == 0:
        fail("no COFF symbols (stripped already?)")
    table = [struct.unpack_from("<8sIIII", data, optional + optional_size + 40 * i)
             for i in range(sections)]  # name, virtual size, RVA, raw size, raw offset
    strings = symbols + 18 * count
    rva = offset = None
    i = 0
    while i < count:
        at = symbols + 18 * i
        raw = bytes(data[at:at + 8])
        if raw[:4] == b"\0\0\0\0":
            start = strings + struct.unpack_from("<I", raw, 4)[0]
            name = bytes(data[start:data.index(b"\0", start)])
        else:
            name = raw.rstrip(b"\0")
        value, section = struct.unpack_from("<Ih", data, at + 8)
        if name == b"__load_config_used" and section > 0:
            _, _, section_rva, _, raw_offset = table[section - 1]
            rva, offset = section_rva + value, raw_offset + value
        i += 1 + data[at + 17]
    if rva is None:
        fail("defines no _load_config_used")
    if struct.unpack_from("<I", data, offset)[0] != XP_SIZE:
        fail(f"_load_config_used does not start with its size {XP_SIZE}")
    struct.pack_into("<II", data, optional + 96 + 8 * LOAD_CONFIG, rva, XP_SIZE)
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
