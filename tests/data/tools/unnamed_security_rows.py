#!/usr/bin/env python3
"""Counts the owner, group and ACE rows that keyscout's -s report prints
without a name (a lone backslash), by SID family, over every key of the hives
that MANIFEST.md lists under "Hives written by Windows in normal use".

Each security cell is reported once, through one key that uses it, and its
rows count once for every key of the hive whose key node names that cell
(found by walking the key tree from the root; the cell's own reference count,
at +0x10 of the cell, is shown beside the walked count as a check). A key is
reached with -k by its path, so the key picked for a cell is one whose path
has no backslash, NUL or undecodable unit in a name and no sibling of the same
name without regard to case; cells used only by other keys are counted apart.

Usage: unnamed_security_rows.py HIVE_DIR KEYSCOUT [KEYSCOUT ...]
One column per keyscout binary (for example before and after a change).
Files ending in .xz are decompressed into a temporary folder.
"""

import collections
import lzma
import os
import re
import struct
import subprocess
import sys
import tempfile

FAMILIES = ("S-1-5-21-", "S-1-15-3-", "S-1-5-80-", "other")
ROW_KINDS = ("Owner    : ", "Group    : ", "SACL ACE : ", "DACL ACE : ")


def u16(d, o):
    return struct.unpack_from("<H", d, o)[0]


def u32(d, o):
    return struct.unpack_from("<I", d, o)[0]


def i32(d, o):
    return struct.unpack_from("<i", d, o)[0]


def windows_written(hive_dir):
    """The file names of the manifest's first table."""
    names = []
    section = False
    with open(os.path.join(hive_dir, "MANIFEST.md"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("## "):
                section = line.strip() == "## Hives written by Windows in normal use"
            elif section and line.startswith("| ") and not line.startswith("| File") and not line.startswith("|---"):
                names.append(line.split("|")[1].strip())
    return names


def subkeys(data, nk):
    """(cell index, name) of each subkey the key's list names."""
    base = 0x1000
    indexes = []

    def collect(index, depth):
        off = base + index
        if off + 8 > len(data):
            return
        sig, count = data[off + 4 : off + 6], u16(data, off + 6)
        if sig in (b"lf", b"lh"):
            indexes.extend(u32(data, off + 8 + 8 * i) for i in range(count))
        elif sig == b"li":
            indexes.extend(u32(data, off + 8 + 4 * i) for i in range(count))
        elif sig == b"ri" and depth == 0:
            for i in range(count):
                collect(u32(data, off + 8 + 4 * i), 1)

    if u32(data, nk + 0x18) != 0 and i32(data, nk + 0x20) >= 0:
        collect(i32(data, nk + 0x20), 0)
    out = []
    for index in indexes:
        off = base + index
        if off + 0x50 > len(data) or data[off + 4 : off + 6] != b"nk":
            continue
        raw = data[off + 0x50 : off + 0x50 + u16(data, off + 0x4C)]
        name = raw.decode("latin-1") if u16(data, off + 6) & 0x20 else raw.decode("utf-16-le", errors="replace")
        out.append((index, name))
    return out


def security_cells(data):
    """{sk index: [keys using it, its reference count, a -k path ('' for the root) or None]}."""
    base = 0x1000
    cells = {}
    stack = [(u32(data, 0x24), "", True)]
    seen = set()
    while stack:
        index, path, reachable = stack.pop()
        off = base + index
        if index in seen or off + 0x50 > len(data) or data[off + 4 : off + 6] != b"nk":
            continue
        seen.add(index)
        sk = u32(data, off + 0x30)
        if sk not in cells:
            refcount = u32(data, base + sk + 0x10) if base + sk + 0x14 <= len(data) else 0
            cells[sk] = [0, refcount, None]
        cells[sk][0] += 1
        if reachable and cells[sk][2] is None:
            cells[sk][2] = path
        children = subkeys(data, off)
        folded = collections.Counter(name.upper() for _, name in children)
        for child, name in children:
            ok = reachable and name and folded[name.upper()] == 1 and not re.search("[\\\\\x00\ufffd]", name)
            stack.append((child, name if path == "" else path + "\\" + name, ok))
    return cells


def unnamed_rows(keyscout, hive, path):
    """(SID family, named?) of each row of the report for one key."""
    args = [keyscout, "-f", hive, "-s"] + (["-k", path] if path else [])
    out = subprocess.run(args, capture_output=True, check=False).stdout.decode("utf-8", errors="replace")
    for line in out.splitlines():
        if line[:11] not in ROW_KINDS:
            continue
        sid, _, names = line[11:].partition("    ")
        if line.startswith(("SACL", "DACL")):
            names = names.rsplit(" ", 3)[0]
        family = next((f for f in FAMILIES[:-1] if sid.startswith(f)), "other")
        yield family, sid, names != "\\"


def main():
    hive_dir, binaries = sys.argv[1], sys.argv[2:]
    rows = collections.Counter()
    unnamed = [collections.Counter() for _ in binaries]
    unnamed_sids = [collections.Counter() for _ in binaries]
    unreachable = 0
    with tempfile.TemporaryDirectory() as tmp:
        for name in windows_written(hive_dir):
            path = os.path.join(hive_dir, name)
            with open(path, "rb") as f:
                data = f.read()
            if name.endswith(".xz"):
                data = lzma.decompress(data)
                path = os.path.join(tmp, name[:-3])
                with open(path, "wb") as f:
                    f.write(data)
            cells = security_cells(data)
            keys = sum(c[0] for c in cells.values())
            references = sum(c[1] for c in cells.values())
            print(f"{name}: {keys} keys, {len(cells)} security cells, reference counts {references}", file=sys.stderr)
            for count, _, key_path in cells.values():
                if key_path is None:
                    unreachable += count
                    continue
                for i, binary in enumerate(binaries):
                    for family, sid, named in unnamed_rows(binary, path, key_path):
                        if i == 0:
                            rows[family] += count
                        if not named:
                            unnamed[i][family] += count
                            unnamed_sids[i][sid] += count
    print("family\trows\t" + "\t".join(f"unnamed ({b})" for b in binaries))
    for family in FAMILIES + ("all",):
        pick = (lambda c: sum(c.values())) if family == "all" else (lambda c: c[family])
        print(f"{family}\t{pick(rows)}\t" + "\t".join(str(pick(u)) for u in unnamed))
    print(f"keys whose cell no -k path reaches (not counted): {unreachable}")
    for binary, sids in zip(binaries, unnamed_sids):
        print(f"unnamed SIDs outside S-1-5-21 and S-1-15-3 with {binary}, by rows:")
        for sid, count in sids.most_common():
            if not sid.startswith(("S-1-5-21-", "S-1-15-3-")):
                print(f"  {count}\t{sid}")


if __name__ == "__main__":
    main()
