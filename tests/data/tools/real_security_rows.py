#!/usr/bin/env python3
"""Independent reader of the security descriptors in registry hive files:
writes the rows that tests/e2e/real_security_test.cpp expects keyscout's -s
report to print for a sample of keys of each hive.

It parses the hive format and the self-relative security descriptor, ACL, ACE
and SID formats on its own (standard library only, written from the published
layouts, sharing no code with keyscout), walks each hive's key tree from the
root key and picks a few keys per hive: the root, then keys whose security
cells differ from those already picked, the ones with a SACL, a deny entry, an
object entry or a mandatory label first. Only keys whose descriptor this reader
finds whole and sound are picked, and only keys whose path names are plain
printable ASCII, so that the path can be typed on a command line.

One tab-separated line per row the report prints:

    hive  key_path  kind  sid  mask  type  flags

kind is Owner, Group, SACL or DACL; key_path is empty for the root key (run
without -k) and otherwise the path below the root. Owner and group rows have
"-" for mask, type and flags. An ACE row shows the type the report prints:
a mandatory label (0x11) is shown as an audit entry (02); entries of types the
report does not show (alarms, callbacks, ...) have no row.

Usage: real_security_rows.py HIVE_DIR > tests/data/real_security.tsv
Files ending in .xz are decompressed in memory.
"""

import lzma
import os
import struct
import sys

KEYS_PER_HIVE = 6
NAME_MAX = 259

DACL_TYPES = {0x00: 0x00, 0x01: 0x01, 0x05: 0x05, 0x06: 0x06}
SACL_TYPES = {0x02: 0x02, 0x07: 0x07, 0x11: 0x02}
OBJECT_TYPES = {0x05, 0x06, 0x07}


class Unsound(Exception):
    """A structure this reader will not vouch for."""


class Reader:
    def __init__(self, data):
        self.data = data

    def need(self, off, length):
        if off < 0 or off + length > len(self.data):
            raise Unsound("read past the end")

    def u8(self, off):
        self.need(off, 1)
        return self.data[off]

    def u16(self, off):
        self.need(off, 2)
        return struct.unpack_from("<H", self.data, off)[0]

    def u32(self, off):
        self.need(off, 4)
        return struct.unpack_from("<I", self.data, off)[0]

    def i32(self, off):
        self.need(off, 4)
        return struct.unpack_from("<i", self.data, off)[0]


class Hive(Reader):
    def cell(self, index):
        """(file offset, length) of an allocated cell."""
        off = 0x1000 + index
        size = self.i32(off)
        if size >= 0:
            raise Unsound("cell not allocated")
        length = -size
        self.need(off, length)
        return off, length

    def key_name(self, nk):
        flags = self.u16(nk + 0x06)
        length = self.u16(nk + 0x4C)
        self.need(nk + 0x50, length)
        raw = self.data[nk + 0x50 : nk + 0x50 + length]
        if flags & 0x20:
            return raw.decode("latin-1")
        return raw.decode("utf-16-le", errors="replace")

    def subkeys(self, nk):
        """Cell indexes of the key's stable subkeys, and whether their list
        can be trusted (names unique without regard to case)."""
        count = self.u32(nk + 0x18)
        list_index = self.i32(nk + 0x20)
        if count == 0 or list_index < 0:
            return []
        out = []
        self.collect(list_index, out, 0)
        return out

    def collect(self, index, out, depth):
        off, _ = self.cell(index)
        sig = self.data[off + 4 : off + 6]
        count = self.u16(off + 6)
        if sig in (b"lf", b"lh"):
            out.extend(self.u32(off + 8 + 8 * i) for i in range(count))
        elif sig == b"li":
            out.extend(self.u32(off + 8 + 4 * i) for i in range(count))
        elif sig == b"ri" and depth == 0:
            for i in range(count):
                self.collect(self.u32(off + 8 + 4 * i), out, 1)
        else:
            raise Unsound("unknown list")


def sid_text(r, off, limit):
    """String form and length of the SID at off, which must end by limit."""
    revision = r.u8(off)
    count = r.u8(off + 1)
    if revision != 1 or count > 15 or off + 8 + 4 * count > limit:
        raise Unsound("bad SID")
    r.need(off, 8 + 4 * count)
    authority = int.from_bytes(r.data[off + 2 : off + 8], "big")
    text = "S-1-" + ("0x%012x" % authority if authority >= 1 << 32 else str(authority))
    for i in range(count):
        text += "-" + str(r.u32(off + 8 + 4 * i))
    return text, 8 + 4 * count


def acl_rows(r, off, limit, kind):
    """(rows, notable features) of the ACL at off, which must end by limit."""
    revision = r.u8(off)
    size = r.u16(off + 2)
    count = r.u16(off + 4)
    if revision < 2 or revision > 4 or size < 8 or off + size > limit:
        raise Unsound("bad ACL")
    end = off + size
    at = off + 8
    rows = []
    features = set()
    table = DACL_TYPES if kind == "DACL" else SACL_TYPES
    for _ in range(count):
        if at + 4 > end:
            raise Unsound("ACE past its ACL")
        ace_type = r.u8(at)
        flags = r.u8(at + 1)
        ace_size = r.u16(at + 2)
        if ace_size < 4 or at + ace_size > end:
            raise Unsound("ACE past its ACL")
        ace_end = at + ace_size
        if ace_type in table:
            if ace_size < 8:
                raise Unsound("ACE too short")
            mask = r.u32(at + 4)
            sid_at = at + 8
            if ace_type in OBJECT_TYPES:
                if ace_size < 12:
                    raise Unsound("ACE too short")
                object_flags = r.u32(at + 8)
                sid_at = at + 12 + 16 * bin(object_flags & 3).count("1")
                features.add("object")
            text, _ = sid_text(r, sid_at, ace_end)
            rows.append((kind, text, "%08X" % mask, "%02X" % table[ace_type], "%02X" % flags))
            if ace_type in (0x01, 0x06):
                features.add("deny")
            if ace_type == 0x11:
                features.add("label")
        else:
            features.add("other-type")
        at = ace_end
    return rows, features


def descriptor_rows(hive, sk_index):
    """The report's rows for the descriptor in the security cell, and its
    notable features."""
    off, length = hive.cell(sk_index)
    if length <= 0x18:
        raise Unsound("cell too small")
    sd = Reader(hive.data[off + 0x18 : off + length])
    limit = len(sd.data)
    if sd.u8(0) != 1:
        raise Unsound("descriptor revision")
    control = sd.u16(2)
    if not control & 0x8000:
        raise Unsound("not self-relative")
    owner, group, sacl, dacl = (sd.u32(4 + 4 * i) for i in range(4))
    if owner == 0 or group == 0:
        raise Unsound("no owner or group")
    rows = []
    features = set()
    for kind, part in (("Owner", owner), ("Group", group)):
        text, _ = sid_text(sd, part, limit)
        rows.append((kind, text, "-", "-", "-"))
    for kind, bit, part in (("SACL", 0x10, sacl), ("DACL", 0x04, dacl)):
        if control & bit and part != 0:
            acl, found = acl_rows(sd, part, limit, kind)
            rows.extend(acl)
            features |= found
            if kind == "SACL":
                features.add("sacl")
    return rows, features


def printable(name):
    return 0 < len(name) <= NAME_MAX and all(0x20 <= ord(c) < 0x7F and c not in "\\%\t" for c in name)


def sample_hive(name, data):
    hive = Hive(data)
    root = hive.u32(0x24)
    picked = []  # (path, rows)
    seen_sk = set()
    candidates = []  # (interest, order, path, rows, sk)

    try:
        root_off, _ = hive.cell(root)
        sk = hive.u32(root_off + 0x30)
        rows, _ = descriptor_rows(hive, sk)
        picked.append(("", rows))
        seen_sk.add(sk)
    except (Unsound, struct.error):
        pass

    order = 0
    queue = [(root, "")]
    while queue:
        index, path = queue.pop(0)
        try:
            off, _ = hive.cell(index)
            if hive.data[off + 4 : off + 6] != b"nk":
                continue
            children = hive.subkeys(off)
        except (Unsound, struct.error):
            continue
        names = []
        for child in children:
            try:
                child_off, _ = hive.cell(child)
                names.append((child, child_off, hive.key_name(child_off)))
            except (Unsound, struct.error):
                continue
        folded = [n.upper() for _, _, n in names]
        for child, child_off, child_name in names:
            if not printable(child_name) or folded.count(child_name.upper()) != 1:
                continue
            child_path = child_name if not path else path + "\\" + child_name
            queue.append((child, child_path))
            try:
                sk = hive.u32(child_off + 0x30)
                if sk in seen_sk:
                    continue
                rows, features = descriptor_rows(hive, sk)
            except (Unsound, struct.error):
                continue
            seen_sk.add(sk)
            interest = -len(features & {"sacl", "deny", "object", "label"})
            candidates.append((interest, order, child_path, rows))
            order += 1

    candidates.sort()
    for _, _, path, rows in candidates[: KEYS_PER_HIVE - len(picked)]:
        picked.append((path, rows))
    return picked


def main():
    folder = sys.argv[1]
    print("# hive\tkey_path\tkind\tsid\tmask\ttype\tflags")
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if name.endswith(".md") or not os.path.isfile(path):
            continue
        with open(path, "rb") as f:
            data = f.read()
        if name.endswith(".xz"):
            data = lzma.decompress(data)
        for key_path, rows in sample_hive(name, data):
            for row in rows:
                print("\t".join((name, key_path) + row))


if __name__ == "__main__":
    main()
