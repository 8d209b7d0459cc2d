#!/usr/bin/env python3
"""Generates the benchmark data, the same bytes on every run (fixed seed).

  make_data.py folder DIR        20,000 files of about 300 MB in all, sized like a game's
                                 resources: most 1-50 KB, a few up to 2 MB
  make_data.py big FILE          one file of 1 GiB
  make_data.py key FILE BIFNAME [COUNT]
                                 a KEY of 43,871 entries (or COUNT), all naming BIFNAME's entry 0
                                 to 43,870, with the BIF itself written beside it: tables only,
                                 or with COUNT one byte of its own for each resource
  make_data.py models DIR        11,112 files like the game's largest BIF (its models): mostly
                                 .mdl of a few KB to tens of KB, with walk meshes
  make_data.py floorlist KEY BIF LIST
                                 "name offset size" of each of BIF's resources, for the export
                                 floor program (bench/win32/extract_floor.c)
"""

import os
import random
import struct
import sys

SEED = 20261208
EXTENSIONS = ["2da", "nss", "ncs", "utc", "uti", "dlg", "tga", "dds", "mdl", "wav", "txi",
              "git", "are", "ifo", "utp", "ssf", "wok", "plt", "gff", "txt"]
KIB = 1024
MIB = 1024 * KIB


def sizes(rng, count):
    """Most files 1-50 KB (weighted to the small end, as scripts and blueprints are), a few in
    a thousand 100 KB-2 MB (textures, sounds, models)."""
    out = []
    for _ in range(count):
        if rng.random() < 0.004:
            out.append(rng.randint(100 * KIB, 2 * MIB))
        else:
            out.append(int(KIB + (49 * KIB) * rng.random() ** 4))
    return out


def make_folder(folder):
    rng = random.Random(SEED)
    os.makedirs(folder, exist_ok=True)
    # Content comes from one random pool, read at random offsets: cheap to generate, and no
    # two files alike.
    pool = rng.randbytes(8 * MIB)
    total = 0
    for i, size in enumerate(sizes(rng, 20000)):
        name = "r%05d_%s.%s" % (i, "abcdefgh"[i % 8] * (i % 5 + 1), EXTENSIONS[i % len(EXTENSIONS)])
        at = rng.randrange(0, len(pool) - 2 * MIB)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(pool[at:at + size])
        total += size
    print("%s: 20000 files, %d bytes" % (folder, total))


def make_big(path):
    rng = random.Random(SEED + 1)
    block = rng.randbytes(MIB)
    with open(path, "wb") as f:
        for i in range(1024):
            f.write(struct.pack("<I", i) + block[4:])
    print("%s: %d bytes" % (path, 1024 * MIB))


def make_key(path, bif_path, count=None):
    sized = count is not None
    count = count or 43871
    name = b"data\\" + os.path.basename(bif_path).encode()
    header = struct.Struct("<4s4sIIIIII32s")
    entries = bytearray()
    for i in range(count):
        resref = ("res%06d" % i).encode().ljust(16, b"\0")
        entries += struct.pack("<16sHI", resref, 2017 + (i % 3), i)
    file_table = 64
    names_at = file_table + 12
    key_table = names_at + len(name) + 1
    data_at = 20 + 16 * count
    with open(path, "wb") as f:
        f.write(header.pack(b"KEY ", b"V1  ", 1, count, file_table, key_table, 126, 0, b"\0" * 32))
        f.write(struct.pack("<IIHH", data_at + (count if sized else 0), names_at, len(name), 0))
        f.write(name + b"\0")
        f.write(entries)
    with open(bif_path, "wb") as f:
        f.write(struct.pack("<4s4sIII", b"BIFF", b"V1  ", count, 0, 20))
        table = bytearray()
        for i in range(count):
            table += struct.pack("<IIII", i, data_at + i if sized else data_at, 1 if sized else 0, 2017 + (i % 3))
        f.write(table)
        if sized:
            f.write(bytes(i % 251 for i in range(count)))
    print("%s: %d entries" % (path, count))


MODEL_TYPES = {2002: "mdl", 2016: "wok", 2052: "dwk", 2053: "pwk"}


def make_models(folder):
    rng = random.Random(SEED + 2)
    os.makedirs(folder, exist_ok=True)
    pool = rng.randbytes(4 * MIB)
    total = 0
    count = 11112
    for i in range(count):
        roll = rng.random()
        ext = "mdl" if roll < 0.80 else "wok" if roll < 0.94 else "pwk" if roll < 0.98 else "dwk"
        size = int(2 * KIB + (78 * KIB) * rng.random() ** 3)
        name = "%s_%s%05d.%s" % (rng.choice(["plc", "tcn", "c", "tin", "ttr", "a", "pfh", "pmh"]),
                                 "abcdefgh"[i % 8], i, ext)
        at = rng.randrange(0, len(pool) - size)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(pool[at:at + size])
        total += size
    print("%s: %d files, %d bytes" % (folder, count, total))


def make_floor_list(key_path, bif_path, list_path):
    """The resources of the KEY's first BIF: their names from the KEY, offsets and sizes from
    the BIF's table (the index part of a resource id is its row)."""
    with open(key_path, "rb") as f:
        key = f.read()
    _, _, _, key_count, _, key_table = struct.unpack_from("<4s4sIIII", key)
    with open(bif_path, "rb") as f:
        head = f.read(20)
        _, _, var_count, _, var_offset = struct.unpack("<4s4sIII", head)
        f.seek(var_offset)
        table = f.read(16 * var_count)
    rows = [struct.unpack_from("<IIII", table, 16 * i) for i in range(var_count)]
    with open(list_path, "w") as out:
        for k in range(key_count):
            resref, res_type, res_id = struct.unpack_from("<16sHI", key, key_table + 22 * k)
            if res_id >> 20 != 0:
                continue
            _, offset, size, _ = rows[res_id & 0xFFFFF]
            name = resref.rstrip(b"\0").decode() + "." + MODEL_TYPES.get(res_type, "res")
            out.write("%s %d %d\n" % (name, offset, size))


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "folder":
        make_folder(sys.argv[2])
    elif len(sys.argv) >= 3 and sys.argv[1] == "big":
        make_big(sys.argv[2])
    elif len(sys.argv) >= 4 and sys.argv[1] == "key":
        make_key(sys.argv[2], sys.argv[3], int(sys.argv[4]) if len(sys.argv) >= 5 else None)
    elif len(sys.argv) >= 3 and sys.argv[1] == "models":
        make_models(sys.argv[2])
    elif len(sys.argv) >= 5 and sys.argv[1] == "floorlist":
        make_floor_list(sys.argv[2], sys.argv[3], sys.argv[4])
    else:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
