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
  make_data.py game ROOT         an Enhanced Edition-shaped install: data/nwn_base.key with 60
                                 BIFs, data/nwn_base_loc.key and data/nwn_retail.key with 2 each,
                                 50,000 resources and about 1 GB in all, sized like the retail
                                 BIFs (2DAs and scripts of a few KB, models of tens of KB,
                                 textures and sounds of hundreds of KB)
  make_data.py lookup ROOT       three KEYs of 200,000 entries in all (tables only, with their
                                 BIFs' tables), for find; c_dragon.mdl in each
  make_data.py floorlist KEY BIF LIST
                                 "name offset size" of each of BIF's resources, for the export
                                 floor program (bench/win32/extract_floor.c)
  make_data.py e1zstd ROOT       an E1 KEY (ROOT/e1.key) and BIF (ROOT/data/e1.bif) of 20,000
                                 resources sized as the folder's, of text-like bytes that zstd
                                 packs to about a half, every one stored as a zstd frame in a
                                 compressed buffer; beside them the same frames as zstd itself
                                 reads them: ROOT/frames.zst (all of them, one after the other)
                                 and ROOT/frames/<resource>.zst (one file each). Needs Debian's
                                 python3-zstd (run with /usr/bin/python3).
  make_data.py registry PREFIX   a Wine prefix whose system.reg is about 45 MB: COM classes and,
                                 every few thousand keys, a 2 MB binary value over continued
                                 lines, with the game's Location last (and its empty chitin.key)
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


TYPES = {"2da": 2017, "nss": 2009, "ncs": 2010, "mdl": 2002, "wok": 2016, "tga": 3, "dds": 2033,
         "wav": 4, "utc": 2027, "uti": 2025, "dlg": 2029, "txi": 2022, "plt": 6, "set": 2013}
# The retail BIFs by kind: (stem, extensions, resource count, size range in bytes, skew). A skew
# above 1 packs the sizes toward the low end, as most of a kind are small and a few large.
GAME_KINDS = [
    ("2da", ["2da"], 1200, (200, 60 * KIB), 3),
    ("scripts", ["nss", "ncs"], 2500, (300, 40 * KIB), 3),
    ("models", ["mdl", "wok"], 1400, (2 * KIB, 160 * KIB), 2),
    ("templates", ["utc", "uti", "dlg"], 1300, (500, 20 * KIB), 2),
    ("textures", ["tga", "dds", "txi", "plt"], 700, (1 * KIB, 512 * KIB), 2),
    ("sounds", ["wav"], 400, (8 * KIB, 450 * KIB), 2),
]


def write_bif_and_key(key_path, data_root, bifs, pool, rng, data=True):
    """bifs: [(stored name, [(resref, type, size)])]; each BIF written below data_root where its
    stored name points, then the KEY naming them."""
    names = b""
    table = b""
    entries = bytearray()
    name_at = 64 + 12 * len(bifs)
    for b, (stored, resources) in enumerate(bifs):
        path = os.path.join(data_root, *stored.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        count = len(resources)
        offset = 20 + 16 * count
        with open(path, "wb") as f:
            f.write(struct.pack("<4s4sIII", b"BIFF", b"V1  ", count, 0, 20))
            for i, (_, res_type, size) in enumerate(resources):
                f.write(struct.pack("<IIII", (b << 20) | i, offset if data else 0, size if data else 0, res_type))
                offset += size if data else 0
            if data:
                for _, _, size in resources:
                    at = rng.randrange(0, len(pool) - size)
                    f.write(pool[at:at + size])
            bif_size = f.tell()
        encoded = stored.encode()
        table += struct.pack("<IIHH", bif_size, name_at + len(names), len(encoded), 0)
        names += encoded + b"\0"
        for i, (resref, res_type, _) in enumerate(resources):
            entries += struct.pack("<16sHI", resref.encode().ljust(16, b"\0"), res_type, (b << 20) | i)
    os.makedirs(os.path.dirname(key_path), exist_ok=True)
    with open(key_path, "wb") as f:
        f.write(struct.pack("<4s4sIIIIII32s", b"KEY ", b"V1  ", len(bifs), len(entries) // 22, 64,
                            64 + len(table) + len(names), 126, 0, b"\0" * 32))
        f.write(table + names + bytes(entries))


def game_bifs(rng, prefix, copies, per_copy_scale):
    bifs = []
    for copy in range(copies):
        for stem, exts, count, (low, high), skew in GAME_KINDS:
            resources = []
            for i in range(int(count * per_copy_scale)):
                ext = exts[i % len(exts)]
                size = int(low + (high - low) * rng.random() ** (skew * 2))
                resources.append(("%s%s%02d_%05d" % (stem[:3], prefix[0], copy, i), TYPES[ext], size))
            bifs.append(("data\\%s_%s_%02d.bif" % (prefix, stem, copy), resources))
    return bifs


def make_game(root):
    rng = random.Random(SEED + 3)
    pool = rng.randbytes(8 * MIB)
    # 60 base BIFs (10 of each kind), and two small ones for each later KEY, whose first
    # resources replace the base's.
    base = game_bifs(rng, "base", 10, 0.67)
    loc = game_bifs(rng, "loc", 1, 0.05)[:2]
    retail = game_bifs(rng, "retail", 1, 0.05)[:2]
    for later in (loc, retail):
        for stored, resources in later:
            for i in range(0, len(resources), 4):
                name, res_type, size = resources[i]
                resources[i] = (base[i % len(base)][1][i][0], res_type, size)
    write_bif_and_key(os.path.join(root, "data", "nwn_base.key"), root, base, pool, rng)
    write_bif_and_key(os.path.join(root, "data", "nwn_base_loc.key"), root, loc, pool, rng)
    write_bif_and_key(os.path.join(root, "data", "nwn_retail.key"), root, retail, pool, rng)
    count = sum(len(r) for _, r in base + loc + retail)
    total = sum(s for _, r in base + loc + retail for _, _, s in r)
    print("%s: %d BIFs, %d resources, %d bytes" % (root, len(base + loc + retail), count, total))


def make_lookup(root):
    rng = random.Random(SEED + 4)
    for k, key in enumerate(["nwn_base", "nwn_base_loc", "nwn_retail"]):
        bifs = []
        for b in range(20):
            resources = [("r%d_%02d_%05d" % (k, b, i), TYPES[EXTENSIONS[i % 5]] if EXTENSIONS[i % 5] in TYPES else 2017,
                          0) for i in range(3334)]
            bifs.append(("data\\%s_%02d.bif" % (key, b), resources))
        bifs[7][1][100] = ("c_dragon", 2002, 0)
        write_bif_and_key(os.path.join(root, "data", key + ".key"), root, bifs, b"", rng, data=False)
    print("%s: 3 KEYs, 200,040 entries" % root)


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


def text_pool(rng, size):
    """Bytes like a game's text resources (2DA rows, ASCII models, scripts): words and numbers
    on lines, which zstd packs to about a half."""
    words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz_") for _ in range(rng.randint(2, 12)))
             for _ in range(2000)]
    lines = []
    total = 0
    while total < size:
        line = " ".join(rng.choice(words) if rng.random() < 0.7 else "%.4f" % rng.uniform(-100, 100)
                        for _ in range(rng.randint(3, 10))) + "\n"
        lines.append(line)
        total += len(line)
    return "".join(lines).encode()[:size]


def make_e1zstd(root):
    # The E1 writer of the interoperability tests, which this project keeps for its own checks.
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "interop"))
    import interop
    if interop.zstd is None:
        sys.exit("make_data.py e1zstd: %s has no zstd module (Debian's python3-zstd serves /usr/bin/python3)"
                 % sys.executable)
    rng = random.Random(SEED + 5)
    pool = text_pool(rng, 8 * MIB)
    resources = []
    for i, size in enumerate(sizes(rng, 20000)):
        ext = EXTENSIONS[i % len(EXTENSIONS)]
        at = rng.randrange(0, len(pool) - size)
        resources.append(("r%05d" % i, interop.RES_TYPES[ext], pool[at:at + size]))
    key, bif = interop.write_e1_pair(b"data\\e1.bif", resources, interop.XRES_ZSTD)
    os.makedirs(os.path.join(root, "data"), exist_ok=True)
    os.makedirs(os.path.join(root, "frames"), exist_ok=True)
    with open(os.path.join(root, "e1.key"), "wb") as f:
        f.write(key)
    with open(os.path.join(root, "data", "e1.bif"), "wb") as f:
        f.write(bif)
    # The frames back out of the BIF's rows: past the buffer's 16-byte header and the zstd
    # part's version and dictionary.
    var_at = struct.unpack_from("<I", bif, 16)[0]
    packed = 0
    with open(os.path.join(root, "frames.zst"), "wb") as whole:
        for i, (name, res_type, _) in enumerate(resources):
            _, offset, size, _, _, _ = struct.unpack_from("<IIIIII", bif, var_at + 24 * i)
            frame = bif[offset + 24:offset + size]
            whole.write(frame)
            packed += len(frame)
            with open(os.path.join(root, "frames", "%s.%s.zst" % (name, interop.EXTENSIONS[res_type])), "wb") as f:
                f.write(frame)
    plain = sum(len(r[2]) for r in resources)
    print("%s: 20000 resources, %d bytes, %d in zstd frames" % (root, plain, packed))


def make_registry(prefix):
    os.makedirs(prefix, exist_ok=True)
    blob = ",\\\n  ".join([",".join(["%02x" % (i & 0xFF) for i in range(25)])] * 28000)
    with open(os.path.join(prefix, "system.reg"), "w") as out:
        out.write("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n")
        i = 0
        while out.tell() < 43 * MIB:
            if i % 4000 == 0:
                out.write('[Software\\\\Classes\\\\Blob%d] 1700000000\n#time=1d9\n"Data"=hex:%s\n\n' % (i, blob))
            else:
                out.write('[Software\\\\Classes\\\\CLSID\\\\{%08X-0000-0000-0000-%012X}] 1700000000\n#time=1d9\n'
                          '@="Component %d"\n"ThreadingModel"="Both"\n\n' % (i, i, i))
            i += 1
        out.write('[Software\\\\BioWare\\\\NWN\\\\Neverwinter] 1700000000\n"Location"="C:\\\\NWN"\n')
    # The classic game where Location says, with an empty KEY, so that --game finds it.
    os.makedirs(os.path.join(prefix, "drive_c", "NWN"), exist_ok=True)
    with open(os.path.join(prefix, "drive_c", "NWN", "chitin.key"), "wb") as key:
        key.write(b"KEY V1  " + struct.pack("<IIIIII", 0, 0, 64, 64, 126, 0) + bytes(32))
    print("%s: system.reg of %d bytes" % (prefix, os.path.getsize(os.path.join(prefix, "system.reg"))))


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "folder":
        make_folder(sys.argv[2])
    elif len(sys.argv) >= 3 and sys.argv[1] == "big":
        make_big(sys.argv[2])
    elif len(sys.argv) >= 4 and sys.argv[1] == "key":
        make_key(sys.argv[2], sys.argv[3], int(sys.argv[4]) if len(sys.argv) >= 5 else None)
    elif len(sys.argv) >= 3 and sys.argv[1] == "models":
        make_models(sys.argv[2])
    elif len(sys.argv) >= 3 and sys.argv[1] == "game":
        make_game(sys.argv[2])
    elif len(sys.argv) >= 3 and sys.argv[1] == "lookup":
        make_lookup(sys.argv[2])
    elif len(sys.argv) >= 3 and sys.argv[1] == "e1zstd":
        make_e1zstd(sys.argv[2])
    elif len(sys.argv) >= 3 and sys.argv[1] == "registry":
        make_registry(sys.argv[2])
    elif len(sys.argv) >= 5 and sys.argv[1] == "floorlist":
        make_floor_list(sys.argv[2], sys.argv[3], sys.argv[4])
    else:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
