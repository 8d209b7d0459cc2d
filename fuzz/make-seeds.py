#!/usr/bin/env python3
"""Writes small seed inputs for the fuzz targets into key/, bif/, erf/ and plan/ (a KEY and a BIF in
the export-plan target's input format): well-formed KEYs and BIFs with the oddities real game
files have (tables out of order, 16-character names, a header gap, unknown types) and the ones
an export must handle (names that collide or escape the folder, resources past the end); into
journal/ build journals of both phases, into recovery/ dead builds over a folder in memory; into reg/ Wine registry files and into settings/ Steam
and Beamdog folder lists, as those programs write them and with their escapes; into tga/, dds/,
plt/ and 2da/ small textures of each form the decoders read, and 2DA tables; E1 pairs, xres/, and an
E1.0 HAK of the same resources in erf/; into gff/ GFF V3.2 files with every field type, nested
structs and lists, laid out as the game lays them out; talk tables into tlk/ and
soundsets into ssf/."""
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


def bif_raw(var_at, count, fixed, body):
    """A BIF whose header says what it likes: tables where var_at puts them, over the header or not."""
    return b"BIFF" + b"V1  " + struct.pack("<III", count, fixed, var_at) + body


def erf(entries, strings=(), kind=b"HAK V1.0"):
    """An ERF-family archive as the game's tools lay one out; entries: [(resref, type, bytes)], for
    E1.0 [(resref, type, stored, compression, content)] (the object ID, each content's SHA-1, each
    resource's compression and size once read added)."""
    e1 = kind.endswith(b"E1.0")
    text = b"".join(struct.pack("<II", lang, len(t)) + t for lang, t in strings)
    keys_at = 160 + len(text)
    list_at = keys_at + (44 if e1 else 24) * len(entries)
    at = list_at + (16 if e1 else 8) * len(entries)
    keys = rows = data = b""
    for i, (name, kind_of, stored, *packed) in enumerate(entries):
        keys += name.ljust(16, b"\0") + struct.pack("<IHH", i, kind_of, 0)
        rows += struct.pack("<II", at + len(data), len(stored))
        if e1:
            keys += __import__("hashlib").sha1(packed[1]).digest()
            rows += struct.pack("<II", packed[0], len(packed[1]))
        data += stored
    head = kind + struct.pack("<9I", len(strings), len(text), len(entries), 160, keys_at, list_at, 126, 40, 0xFFFFFFFF)
    return head + (b"6553a0f1c2d3e4f5a6b7c8d9" + bytes(92) if e1 else bytes(116)) + text + keys + rows + data


def e1_pair(resources):
    """An E1 KEY and BIF sharing an object ID: [(resref, content, stored, compression)]."""
    oid, name = b"6553a0f1c2d3e4f5a6b7c8d9", b"data\\e1.bif\0"
    key = b"KEY E1  " + struct.pack("<IIIIII", 1, len(resources), 64, 76 + len(name), 125, 40) + oid + bytes(8)
    key += struct.pack("<IIHH", 1000, 76, len(name), 0) + name
    bif, offset = b"BIFFE1  " + struct.pack("<III", len(resources), 0, 44) + oid, 44 + 24 * len(resources)
    for i, (r, content, stored, compression) in enumerate(resources):
        key += struct.pack("<16sHI", r, 10, i) + __import__("hashlib").sha1(content).digest()
        bif += struct.pack("<IIIIII", i, offset, len(stored), 10, compression, len(content))
        offset += len(stored)
    return key, bif + b"".join(s for _, _, s, _ in resources)


def xres(algorithm, data):
    """A compressed buffer of data; zstd as a frame of one raw block, written here by hand."""
    head = b"XRES" + struct.pack("<III", 3, algorithm, len(data))
    if algorithm == 1:
        return head + struct.pack("<I", 1) + __import__("zlib").compress(data)
    frame = struct.pack("<IBB", 0xFD2FB528, 0x20, len(data)) + struct.pack("<I", 1 | len(data) << 3)[:3] + data
    return head + (struct.pack("<II", 1, 0) + frame if algorithm == 2 else data)


def plan(key_bytes, bif_bytes, choice=0, selection=0xFFFF):
    """The export-plan input: KEY size, BIF choice, selection bits, the KEY, then the BIF."""
    return struct.pack("<IHH", len(key_bytes), choice, selection) + key_bytes + bif_bytes


def crc32(data):
    import zlib
    return zlib.crc32(data) & 0xFFFFFFFF


def journal(phase, files, token=7):
    """A build's journal: files are (had current, (new size, id), (old size, id), folder, name,
    temporary, aside)."""
    body = b"VLCJ" + struct.pack("<HBBQ", 3, phase, len(files), token)
    for had, new, old, *names in files:
        body += struct.pack("<B", 1 if had else 0)
        for size, index in (new, old):
            body += struct.pack("<QQQI", size, 1, index, 0)
        for n in names:
            body += struct.pack("<H", len(n)) + n
    return body + struct.pack("<I", crc32(body))


def recovery(phase, files, rest):
    """The recovery target's input: phase, token, file count, per file its choices from the
    target's tables (folder, name, renumbering, lead, tag, aside, aside tag, had current) and
    marks, then rest (peers, what stands at each name, whether identities are kept)."""
    return bytes([phase - 1, 1, len(files) - 1]) + b"".join(bytes(f) + bytes([1] * 8) for f in files) + rest


def tga(kind, bits, descriptor, w, h, body):
    return struct.pack("<BBBHHBHHHHBB", 0, 0, kind, 0, 0, 0, 0, 0, w, h, bits, descriptor) + body


def dds(w, h, fourcc, data, mips=0, flags=4, bits=0, masks=(0, 0, 0, 0)):
    head = struct.pack("<7I", 124, 0x1007 | (0x20000 if mips else 0), h, w, 0, 0, mips) + b"\0" * 44
    return (b"DDS " + head + struct.pack("<II4s5I", 32, flags, fourcc, bits, *masks) + struct.pack("<5I", 0x1000, 0, 0, 0, 0)
            + data)


def gff(kind, root):
    """A GFF V3.2 of root, a struct (id, [(label, type, value)]): a struct field's value is a struct,
    a list's a list of structs, a CExoLocString's (strref, [(string id, bytes)]). Structs and fields
    in the order the tree reaches them, labels by first use, each struct's field indices in struct
    order."""
    structs, fields, labels, data, lists, owned = [], [], [], bytearray(), [], []

    def label(text):
        if text not in labels:
            labels.append(text)
        return labels.index(text)

    def place(s):
        sid, flist = s
        index = len(structs)
        structs.append([sid & 0xFFFFFFFF, 0, len(flist)])
        mine = []
        owned.append(mine)
        for text, t, v in flist:
            f = len(fields)
            fields.append(None)
            mine.append(f)
            lab = label(text)
            if t <= 5:
                d = v & 0xFFFFFFFF
            elif t == 8:
                d = struct.unpack("<I", struct.pack("<f", v))[0]
            elif t in (6, 7, 9):
                d = len(data)
                data.extend(struct.pack({6: "<Q", 7: "<q", 9: "<d"}[t], v))
            elif t in (10, 13):
                d = len(data)
                data.extend(struct.pack("<I", len(v)) + v)
            elif t == 11:
                d = len(data)
                data.extend(bytes([len(v)]) + v)
            elif t == 12:
                body = struct.pack("<II", v[0], len(v[1])) + b"".join(
                    struct.pack("<iI", i, len(x)) + x for i, x in v[1])
                d = len(data)
                data.extend(struct.pack("<I", len(body)) + body)
            elif t == 14:
                d = place(v)
            else:
                d = len(lists) * 4
                at = len(lists)
                lists.extend([len(v)] + [0] * len(v))
                for k, item in enumerate(v):
                    lists[at + 1 + k] = place(item)
            fields[f] = (t, lab, d)
        return index

    place(root)
    indices = []
    for row, mine in zip(structs, owned):
        if len(mine) == 1:
            row[1] = mine[0]
        elif len(mine) > 1:
            row[1] = 4 * len(indices)
            indices.extend(mine)
    tables = [b"".join(struct.pack("<III", *r) for r in structs), b"".join(struct.pack("<III", *f) for f in fields),
              b"".join(t.ljust(16, b"\0") for t in labels), bytes(data),
              b"".join(struct.pack("<I", i) for i in indices), b"".join(struct.pack("<I", i) for i in lists)]
    counts = [len(structs), len(fields), len(labels), len(data), 4 * len(indices), 4 * len(lists)]
    head, at = kind + b"V3.2", 56
    for table, count in zip(tables, counts):
        head += struct.pack("<II", at, count)
        at += len(table)
    return head + b"".join(tables)


def tlk(language, entries):
    """A TLK V3.0: header, 40-byte entries (flags, sound, 0, 0, offset, size, length), texts."""
    head = b"TLK V3.0" + struct.pack("<III", language, len(entries), 20 + 40 * len(entries))
    rows, texts = b"", b""
    for flags, sound, text, length in entries:
        rows += struct.pack("<I16sIIIIf", flags, sound, 0, 0, len(texts), len(text), length)
        texts += text
    return head + rows + texts


def ssf(sounds):
    """An SSF V1.0: header, the entries' offsets, 20-byte entries (ResRef, strref)."""
    head = b"SSF V1.0" + struct.pack("<II", len(sounds), 40) + bytes(24)
    offsets = b"".join(struct.pack("<I", 40 + 4 * len(sounds) + 20 * i) for i in range(len(sounds)))
    return head + offsets + b"".join(struct.pack("<16sI", r, s) for r, s in sounds)


def write_all(folder, files):
    os.makedirs(folder, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main(folder):
    keys = {
        "empty.key": key([], []),
        "one.key": key([(b"data\\a.bif\0", 11, 1)], [(b"abcdefgh", 2017, 0, 0), (b"readme", 10, 0, 1)]),
        "odd.key": key([(b"data\\2da.bif\0", 13, 3), (b"data\\x.bif\0junk", 15, 0), (b"data\\a.bif", 10, 0)],
                       [(b"abcdefghijklmnop", 2017, 1, 0), (b"My File.v2-x", 2009, 0, 0),
                        (b"ab\0trail", 9996, 2, 1), (b"../x", 10, 2, 0), (b"con", 10, 2, 2)],
                       reserved=bytes(range(32)), keys_first=True),
        # The last name claims more bytes than follow it; its zero byte comes first.
        "generous.key": key([(b"data\\g.bif\0", 200, 1)], [(b"g", 10, 0, 0)]),
        # Two entries for one index, one past the BIF's table, names that collide or escape.
        "clash.key": key([(b"data\\c.bif\0", 11, 1)],
                         [(b"same", 10, 0, 0), (b"SAME", 10, 0, 1), (b"same", 10, 0, 2), (b"other", 2017, 0, 0),
                          (b"far", 10, 0, 9), (b"a:b", 10, 0, 1), (b"..", 0xFFFF, 0, 2), (b"nul", 2017, 0, 3)]),
    }
    bifs = {
        "plain.bif": bif([(b"2DA V2.0\n", 2017), (b"hello", 10)]),
        "odd.bif": bif([(b"x", 10), (b"", 9996), (b"yy", 10)], gap=b"GAP!", fixed=1),
        "many.bif": bif([(bytes(range(40)), 10)] * 5),
        "empty.bif": bif([]),
        # The variable table read over the header, as a table offset below 20 asks.
        "overlap.bif": bif_raw(8, 1, 0, struct.pack("<IIII", 0, 20, 0, 10)),
        # A resource whose bytes run past the end of the file.
        "pastend.bif": bif_raw(20, 2, 0, struct.pack("<IIII", 0, 52, 4, 10) + struct.pack("<IIII", 1, 50, 99, 10) +
                               b"abcd"),
    }
    journals = {
        "writing": journal(1, [(False, (0, 0), (0, 0), b"/m", b"x.bif", b".x.bif.0000000000000007.tmp", b""),
                               (False, (0, 0), (0, 0), b"/m", b"k.key", b".k.key.0000000000000007.tmp", b"")]),
        "rotating": journal(2, [(True, (218, 5), (200, 3), b"C:\\m", b"x.bif", b"x.bif.0000000000000007.tmp",
                                 b"x.bif.bak.0000000000000007.tmp"),
                                (True, (88, 6), (80, 4), b"C:\\m", b"k.key", b"k.key.0000000000000007.tmp", b"")]),
    }
    write_all(os.path.join(folder, "journal"), journals)
    # A KEY beside its BIF, a BIF in data/, a target in another folder, names that escape.
    write_all(os.path.join(folder, "recovery"), {
        "beside": recovery(2, [(0, 2, 0, 1, 0, 1, 0, 1), (0, 0, 0, 1, 0, 0, 0, 1)], bytes(range(64))),
        "data": recovery(3, [(2, 2, 1, 0, 0, 0, 0, 0), (0, 0, 0, 1, 0, 1, 0, 1)], bytes([1, 2] * 40)),
        "outside": recovery(1, [(3, 5, 0, 1, 1, 0, 0, 0), (0, 0, 0, 1, 0, 0, 0, 0)], bytes([2] * 80)),
        "escape": recovery(2, [(0, 6, 0, 1, 5, 1, 1, 1)], bytes([1] * 60)),
        "spelled": recovery(2, [(6, 0, 0, 1, 0, 0, 0, 1), (7, 0, 0, 1, 0, 1, 0, 1)], bytes([1, 4] * 40)),
    })
    text = b"2DA V2.0\n\n0 Sword 10\n" * 4
    e1 = [(b"plain", b"hello", b"hello", 0)] + [(b"x%d" % a, text, xres(a, text), 1) for a in (0, 1, 2)]
    keys["e1.key"], bifs["e1.bif"] = e1_pair(e1)
    write_all(os.path.join(folder, "xres"), {
        r.decode(): struct.pack("<I", compression | len(content) << 8) + stored for r, content, stored, compression in e1})
    write_all(os.path.join(folder, "key"), keys)
    write_all(os.path.join(folder, "bif"), bifs)
    # Files of the game's other kinds (and a KEY of another version), which each reader names.
    others = [b"BIFFV1  ", b"KEY V1.1", b"HAK V1.0", b"UTI V3.2", b"TLK V3.0", b"2DA V2.0\n"]
    for kind in ("key", "bif"):
        write_all(os.path.join(folder, kind), {"other-%d" % i: h + bytes(64) for i, h in enumerate(others)})
    write_all(os.path.join(folder, "erf"), {
        "empty.hak": erf([]),
        "one.mod": erf([(b"module", 2014, b"IFO V3.2")], [(0, b"A module"), (1, b"")], kind=b"MOD V1.0"),
        "clash.erf": erf([(b"same", 10, b"x"), (b"SAME", 10, b"yy"), (b"sixteen_letters_", 2009, b"z" * 40)],
                         kind=b"ERF V1.0"),
        "e1.hak": erf([(r, 10, stored, compression, content) for r, content, stored, compression in e1],
                      [(0, b"Enhanced")], kind=b"HAK E1.0"),
        "other.hak": b"KEY V1  " + bytes(200),
    })
    write_all(os.path.join(folder, "plan"), {
        "plain": plan(keys["one.key"], bifs["plain.bif"], selection=0x0001),
        "odd": plan(keys["odd.key"], bifs["odd.bif"], choice=2, selection=0x5555),
        "clash": plan(keys["clash.key"], bifs["many.bif"], selection=0xFFFF),
        "pastend": plan(keys["clash.key"], bifs["pastend.bif"], selection=0x00F0),
        "nokey": plan(b"", bifs["many.bif"]),
    })

    write_all(os.path.join(folder, "reg"), {
        "native.reg": b'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n'
                      b'[Software\\\\BioWare\\\\NWN\\\\Neverwinter] 1700000000\r\n#time=1da0000000000000\r\n'
                      b'"Location"="C:\\\\Jeux \\"NWN\\"\\\\Caf\\x00e9\\0junk"\r\n',
        "wow.reg": b'WINE REGISTRY Version 2\n\n[Software\\\\Wow6432Node\\\\BioWare\\\\NWN\\\\Neverwinter] 1\n'
                   b'"location"=str(2):"%ProgramFiles%\\\\NWN"\n@="default"\n',
        "hex.reg": b'[Software\\\\BioWare\\\\NWN\\\\Neverwinter] 1\n"Location"=hex(1):43,00,3a,00,\\\n'
                   b'  5c,00,4e,00,00,00\n"Other"=dword:00000001\n[Software\\\\Valve\\\\Steam] 1\n'
                   b'"InstallPath"=hex:\n',
    })
    write_all(os.path.join(folder, "settings"), {
        "libraryfolders.vdf": b'"libraryfolders"\n{\n\t"0"\n\t{\n\t\t"path"\t\t"/home/u/.steam/steam"\n'
                              b'\t\t"apps"\n\t\t{\n\t\t\t"704450"\t\t"1"\n\t\t}\n\t}\n\t"1"\n\t{\n'
                              b'\t\t"path"\t\t"D:\\\\Steam Library" [$WIN32]\n\t}\n}\n',
        "old.vdf": b'"LibraryFolders"\n{\n\t"TimeNextStatsReport"\t\t"1"\n\t"1"\t\t"/mnt/games" // a comment\n}\n',
        "settings.json": b'{"folders": ["/home/u/Beamdog Library", "C:\\\\Beamdog \\u00e9"], '
                         b'"nested": {"a": [1, 2.5e3, true, null, {"b": "c"}]}}',
    })

    dxt1 = struct.pack("<HHI", 0xF800, 0x001F, 0xE4E4E4E4)
    dxt5 = bytes([255, 0]) + bytes(range(6)) + struct.pack("<HHI", 0x07E0, 0xF800, 0x1B1B1B1B)
    write_all(os.path.join(folder, "tga"), {
        "top32.tga": tga(2, 32, 0x28, 2, 2, bytes(range(16))), "grey.tga": tga(3, 8, 0x10, 3, 1, b"\x00\x80\xff"),
        "rle.tga": tga(10, 24, 0, 4, 4, b"\x8e\x00\x00\xff\x00\xff\x00\x00"),
    })
    write_all(os.path.join(folder, "dds"), {
        "dxt1.dds": dds(8, 8, b"DXT1", dxt1 * 6, mips=3), "dxt5.dds": dds(4, 4, b"DXT5", dxt5),
        "dxt3.dds": dds(4, 4, b"DXT3", bytes(range(0, 256, 32)) + dxt1),
        "rgba.dds": dds(2, 2, b"", bytes(range(16)), flags=0x41, bits=32, masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
        "game1.dds": struct.pack("<IIIIf", 4, 4, 3, 8, 1.0) + dxt1 * 3,
        "game5.dds": struct.pack("<IIIIf", 8, 8, 4, 64, 0.5) + dxt5 * 4,
    })
    write_all(os.path.join(folder, "plt"), {
        "layers.plt": b"PLT V1  " + bytes(8) + struct.pack("<II", 2, 2) + bytes([255, 0, 128, 4, 0, 9, 255, 12])})
    write_all(os.path.join(folder, "2da"), {
        "table.2da": b'2DA V2.0\r\nDEFAULT: ****\r\n\r\n  Label Cost "Long Name"\r\n0 Sword "10 gp" ****\r\n1 Caf\xe9\r\n'})
    every = [(b"Byte", 0, 255), (b"Char", 1, -3), (b"Word", 2, 65535), (b"Short", 3, -300), (b"Dword", 4, 7),
             (b"Int", 5, -70000), (b"Dword64", 6, 1 << 40), (b"Int64", 7, -(1 << 40)), (b"Float", 8, 1.5),
             (b"Double", 9, -2.25), (b"Tag", 10, b"Caf\xe9"), (b"TemplateResRef", 11, b"nw_it_gold001"),
             (b"LocalizedName", 12, (0xFFFFFFFF, [(0, b"Gold"), (3, b"Or")])), (b"Blob", 13, b"\0\1\2"),
             (b"Struct", 14, (3, [(b"Tag", 10, b"inner")])), (b"List", 15, [(0, [(b"Byte", 0, 1)]), (1, [])])]
    creature = lambda i: (4, [(b"Tag", 10, b"c%d" % i), (b"TemplateResRef", 11, b"nw_c%d" % i),
                              (b"XPosition", 8, 1.0 * i), (b"Appearance_Type", 2, 6),
                              (b"FirstName", 12, (12 + i, [(0, b"Name")])), (b"Plot", 0, 0)])
    node = lambda depth: (0, [(b"Text", 12, (0xFFFFFFFF, [(0, b"Hi")])),
                              (b"RepliesList", 15, [node(depth - 1)] if depth else [])])
    write_all(os.path.join(folder, "gff"), {
        "every.uti": gff(b"UTI ", (-1, every)),
        "area.git": gff(b"GIT ", (-1, [(b"Creature List", 15, [creature(i) for i in range(3)]),
                                       (b"Placeable List", 15, [creature(9)]), (b"AreaProperties", 14, (100, []))])),
        "empty.ifo": gff(b"IFO ", (-1, [])),
        "one.utc": gff(b"UTC ", (-1, [(b"Tag", 10, b"x")])),
        "deep.dlg": gff(b"DLG ", (-1, [(b"EntryList", 15, [node(6)])])),
    })
    field = lambda kind, value, key="value": '{"type": "%s", "%s": %s}' % (kind, key, value)
    write_all(os.path.join(folder, "gffjson"), {
        "scalars.json": ('{"__data_type": "UTI ", "B": %s, "C": %s, "F": %s, "D": %s, "Q": %s, "S": %s}' % (
            field("byte", 255), field("char", -1), field("float", 0.5), field("double", "1e+20"),
            field("dword64", 18446744073709551615), field("cexostring", '"Caf\\u00e9\\n"'))).encode(),
        "nested.json": ('{"__data_type": "DLG ", "L": {"type": "list", "value": [{"__struct_id": 3, "R": %s}]}, '
                        '"T": {"__struct_id": 1, "type": "struct", "value": {"__struct_id": 1, "V": %s}}, '
                        '"N": {"type": "cexolocstring", "value": {"0": "a", "id": 12}}}' % (
            field("resref", '"sword"'), field("void", '"AAEC"', "value64"))).encode(),
    })
    write_all(os.path.join(folder, "tlk"), {
        "western.tlk": tlk(0, [(0, b"", b"", 0.0), (7, b"vs_hello", b"Caf\xe9 \x80\x81", 1.5), (1, b"", b"Bad Strref", 0.0)]),
        "polish.tlk": tlk(5, [(1, b"", b"\xa3\xf3d\x9f", 0.0)]),
        "korean.tlk": tlk(128, [(1, b"sixteen_chars_ab", b"A\xb0\xa1", 2.0)])})
    write_all(os.path.join(folder, "ssf"), {
        "set.ssf": ssf([(b"vs_attack", 1234), (b"sixteen_chars_ab", 0xFFFFFFFF), (b"", 0)])})

if __name__ == "__main__":
    main(sys.argv[1])
