#!/usr/bin/env python3
"""Writes small seed inputs for the fuzz targets: well-formed KEYs and BIFs with the oddities
real game files have (tables out of order, 16-character names, a header gap, unknown types)."""
import os
import struct
import sys


def key(bifs, entries, reserved=b"\0" * 32, keys_first=False):
    """bifs: [(name bytes, FilenameSize, Drives)], entries: [(resref, type, bif, index)]."""
    names = b"".join(n for n, _, _ in bifs)
    ktable = b"".join(struct.pack("<16sHI", r, t, (b << 20) | i) for r, t, b, i in entries)
    if keys_first:
        key_at, file_at = 64, 64 + len(ktable)
        names_at = file_at + 12 * len(bifs)
    else:
        file_at = 64
        names_at = 64 + 12 * len(bifs)
        key_at = names_at + len(names)
    ftable, offset = b"", names_at
    for n, size, drives in bifs:
        ftable += struct.pack("<IIHH", 1000, offset, size, drives)
        offset += len(n)
    head = b"KEY V1  " + struct.pack("<IIIIII", len(bifs), len(entries), file_at, key_at, 125, 40) + reserved
    if keys_first:
        return head + ktable + ftable + names
    return head + ftable + names + ktable


def bif(contents, gap=b"", fixed=0):
    var_at = 20 + len(gap)
    data_at = var_at + 16 * len(contents) + 20 * fixed
    out = b"BIFF" + b"V1  " + struct.pack("<III", len(contents), fixed, var_at) + gap
    offset = data_at
    for i, (data, rtype) in enumerate(contents):
        out += struct.pack("<IIII", i, offset, len(data), rtype)
        offset += len(data)
    out += b"".join(struct.pack("<IIIII", i, data_at, 1, 4, 2002) for i in range(fixed))
    return out + b"".join(d for d, _ in contents)


def main(folder):
    key_dir, bif_dir = os.path.join(folder, "key"), os.path.join(folder, "bif")
    os.makedirs(key_dir, exist_ok=True)
    os.makedirs(bif_dir, exist_ok=True)
    keys = {
        "empty.key": key([], []),
        "one.key": key([(b"data\\a.bif\0", 11, 1)], [(b"abcdefgh", 2017, 0, 0), (b"readme", 10, 0, 1)]),
        "odd.key": key([(b"data\\2da.bif\0", 13, 3), (b"data\\x.bif\0junk", 15, 0), (b"data\\a.bif", 10, 0)],
                       [(b"abcdefghijklmnop", 2017, 1, 0), (b"My File.v2-x", 2009, 0, 0),
                        (b"ab\0trail", 9996, 2, 1), (b"../x", 10, 2, 0), (b"con", 10, 2, 2)],
                       reserved=bytes(range(32)), keys_first=True),
    }
    for name, data in keys.items():
        with open(os.path.join(key_dir, name), "wb") as f:
            f.write(data)
    bifs = {
        "plain": (keys["one.key"], bif([(b"2DA V2.0\n", 2017), (b"hello", 10)])),
        "odd": (keys["odd.key"], bif([(b"x", 10), (b"", 9996), (b"yy", 10)], gap=b"GAP!", fixed=1)),
        "nokey": (b"", bif([(bytes(range(40)), 10)] * 5)),
    }
    for name, (k, b) in bifs.items():
        with open(os.path.join(bif_dir, name), "wb") as f:
            f.write(struct.pack("<H", len(k)) + k + b)


if __name__ == "__main__":
    main(sys.argv[1])
