#!/usr/bin/env python3
"""Independent reader of registry hive files: writes the expected value digests
that tests/e2e/real_values_test.cpp checks keyscout against.

It parses the hive format on its own (standard library only, written from the
published layout, sharing no code with keyscout), walks each hive's whole key
tree from the root key, picks a sample of keys per hive and prints one
tab-separated line for each named value of those keys:

    hive  key_path  value_name  type  length  sha256

A value whose data cannot be read whole from the cells that hold it (a data
cell that is not allocated or is shorter than the data, too few big-data
segments, a resident length above 4) is listed with "-" for type, length and
digest: keyscout must refuse it rather than show part of it.

Key paths and value names are written as ASCII: a printable character stands
for itself and any other 16-bit unit, "%" included, as "%XXXX" (four upper-case
hexadecimal digits).

Usage: real_value_digests.py HIVE_DIR > tests/data/real_values.tsv
Files ending in .xz are decompressed in memory.
"""

import hashlib
import lzma
import os
import struct
import sys

SAMPLE_PER_HIVE = 40
SEGMENT = 16344
NAME_MAX = 259


class Hive:
    def __init__(self, data):
        self.data = data

    def u16(self, off):
        return struct.unpack_from("<H", self.data, off)[0]

    def u32(self, off):
        return struct.unpack_from("<I", self.data, off)[0]

    def i32(self, off):
        return struct.unpack_from("<i", self.data, off)[0]

    def cell(self, index):
        """File offset and length of an allocated cell, or None."""
        off = 0x1000 + index
        if index % 8 != 0 or off + 8 > len(self.data):
            return None
        size = self.i32(off)
        if size >= 0:
            return None
        length = -size
        if off + length > len(self.data) or length < 8:
            return None
        return off, length

    def sig(self, off):
        return self.data[off + 4:off + 6]


def decode_name(raw, compressed):
    if compressed:
        return raw.decode("latin-1")
    return raw[: len(raw) & ~1].decode("utf-16-le", errors="surrogatepass")


def units(text):
    """The 16-bit units of a string (surrogate pairs as two units)."""
    raw = text.encode("utf-16-le", errors="surrogatepass")
    return [raw[i] | (raw[i + 1] << 8) for i in range(0, len(raw), 2)]


def fold(text):
    return "".join(chr(ord(c) - 32) if "a" <= c <= "z" else c for c in text)


def escape(text):
    out = []
    for u in units(text):
        if 0x20 <= u <= 0x7E and u != 0x25:
            out.append(chr(u))
        else:
            out.append("%%%04X" % u)
    return "".join(out)


def key_name(h, off):
    flags = h.u16(off + 0x06)
    n = h.u16(off + 0x4C)
    raw = h.data[off + 0x50: off + 0x50 + n]
    return decode_name(raw, bool(flags & 0x20))


def subkeys(h, off):
    """Cell indexes of the subkeys of the key at file offset `off`."""
    found = []
    for count_at, list_at in ((0x18, 0x20), (0x1C, 0x24)):
        if h.u32(off + count_at) == 0:
            continue
        index = h.u32(off + list_at)
        if index == 0xFFFFFFFF:
            continue
        found.extend(list_entries(h, index, depth=0))
    return found


def list_entries(h, index, depth):
    c = h.cell(index)
    if c is None or depth > 1:
        return []
    off, length = c
    sig = h.sig(off)
    count = h.u16(off + 6)
    if sig in (b"lf", b"lh"):
        step = 8
    elif sig in (b"li", b"ri"):
        step = 4
    else:
        return []
    if 8 + step * count > length:
        return []
    entries = [h.u32(off + 8 + step * i) for i in range(count)]
    if sig == b"ri":
        out = []
        for e in entries:
            out.extend(list_entries(h, e, depth + 1))
        return out
    return entries


def value_data(h, voff):
    """(type, data) of the value at file offset `voff`, or None when its data
    cannot be read whole from the cells that hold it."""
    size = h.u32(voff + 0x08)
    field = voff + 0x0C
    vtype = h.u32(voff + 0x10)
    length = size & 0x7FFFFFFF
    if size & 0x80000000:
        if length > 4:
            return None
        return vtype, h.data[field: field + length]
    c = h.cell(h.u32(field))
    if c is None:
        return None
    doff, dlen = c
    if length > SEGMENT and h.sig(doff) == b"db":
        nseg = h.u16(doff + 6)
        lc = h.cell(h.u32(doff + 8))
        need = -(-length // SEGMENT)
        if lc is None or nseg < need or 4 + 4 * need > lc[1]:
            return None
        parts = []
        remaining = length
        for i in range(need):
            sc = h.cell(h.u32(lc[0] + 4 + 4 * i))
            take = min(remaining, SEGMENT)
            if sc is None or sc[1] < 4 + take:
                return None
            parts.append(h.data[sc[0] + 4: sc[0] + 4 + take])
            remaining -= take
        return vtype, b"".join(parts)
    if dlen < 4 + length:
        return None
    return vtype, h.data[doff + 4: doff + 4 + length]


def walk(h):
    """Yields (path, key offset) for every key reachable from the root whose
    path the tool can be given: no component is empty, holds a backslash or a
    zero unit, or is longer than a name buffer, and no sibling has the same
    name under A-Z folding."""
    root = h.cell(h.u32(0x24))
    if root is None or h.sig(root[0]) != b"nk":
        return
    stack = [("", root[0])]
    seen = {root[0]}
    while stack:
        path, off = stack.pop()
        yield path, off
        children = []
        for index in subkeys(h, off):
            c = h.cell(index)
            if c is None or h.sig(c[0]) != b"nk" or c[0] in seen:
                continue
            seen.add(c[0])
            children.append((key_name(h, c[0]), c[0]))
        folded = {}
        for name, _ in children:
            folded[fold(name)] = folded.get(fold(name), 0) + 1
        for name, coff in reversed(children):
            if not name or "\\" in name or "\0" in name or len(units(name)) > NAME_MAX:
                continue
            if folded[fold(name)] > 1:
                continue
            stack.append((path + "\\" + name if path else name, coff))


def values(h, off):
    """Yields (name, value offset, name is 16-bit) for the named values of a key
    that a lookup by name reaches: the first of its name in list order, with a
    name the tool can be given."""
    count = h.u32(off + 0x28)
    if count == 0:
        return
    lc = h.cell(h.u32(off + 0x2C))
    if lc is None or 4 + 4 * count > lc[1]:
        return
    earlier = set()
    for i in range(count):
        c = h.cell(h.u32(lc[0] + 4 + 4 * i))
        if c is None or h.sig(c[0]) != b"vk":
            return
        voff = c[0]
        n = h.u16(voff + 0x06)
        if n == 0:
            continue
        compressed = bool(h.u16(voff + 0x14) & 1)
        name = decode_name(h.data[voff + 0x18: voff + 0x18 + n], compressed)
        key = fold(name)
        first = key not in earlier
        earlier.add(key)
        if not first or not name or "\0" in name or len(units(name)) > NAME_MAX:
            continue
        yield name, voff, not compressed


def interest(h, voff, name, wide):
    """Why a value is worth a place in the sample ahead of others, or None."""
    size = h.u32(voff + 0x08)
    length = size & 0x7FFFFFFF
    if size & 0x80000000:
        return "resident"
    if length > SEGMENT:
        c = h.cell(h.u32(voff + 0x0C))
        return "big-db" if c and h.sig(c[0]) == b"db" else "big-plain"
    if wide:
        return "utf16-name"
    if any(ord(ch) > 0x7E for ch in name):
        return "8bit-name"
    if len(name) > 130:
        return "long-name"
    if length == 0:
        return "empty"
    return None


def sample_hive(fname, data):
    """Lines for a sample of the hive's keys: every value a lookup by name
    reaches in each sampled key, at most SAMPLE_PER_HIVE values in all. Keys
    holding a kind of value not yet in the sample come first, then keys spread
    evenly over the tree."""
    h = Hive(data)
    if len(data) < 0x1000 or data[:4] != b"regf":
        return []
    keys = []
    for path, koff in walk(h):
        found = [(name, value_data(h, voff), interest(h, voff, name, wide))
                 for name, voff, wide in values(h, koff)]
        if found:
            keys.append((path, found))
    order, covered = [], set()
    for i, (path, found) in enumerate(keys):
        kinds = {kind for _, read, kind in found if kind}
        if any(read is None for _, read, _ in found):
            kinds.add("unreadable")
        if kinds - covered and len(found) <= SAMPLE_PER_HIVE // 2:
            order.append(i)
            covered |= kinds
    step = max(1, len(keys) // SAMPLE_PER_HIVE)
    taken = set(order)
    order += [i for i in range(0, len(keys), step) if i not in taken]
    lines, total = [], 0
    for i in order:
        path, found = keys[i]
        if total + len(found) > SAMPLE_PER_HIVE:
            continue
        total += len(found)
        for name, read, _ in found:
            if read is None:
                lines.append("\t".join([fname, escape(path), escape(name), "-", "-", "-"]))
                continue
            vtype, blob = read
            lines.append("\t".join([fname, escape(path), escape(name), str(vtype), str(len(blob)),
                                    hashlib.sha256(blob).hexdigest()]))
    return lines


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    print("# hive\tkey_path\tvalue_name\ttype\tlength\tsha256")
    for fname in sorted(os.listdir(folder)):
        if fname.endswith(".md"):
            continue
        with open(os.path.join(folder, fname), "rb") as f:
            data = f.read()
        if fname.endswith(".xz"):
            data = lzma.decompress(data)
        for line in sample_hive(fname, data):
            print(line)


if __name__ == "__main__":
    main()
