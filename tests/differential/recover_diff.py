#!/usr/bin/env python3
"""keyscout's recovery of deleted keys and values (-x jsonl -r) against
reglookup-recover on the real hives, and against deletions whose truth is
known.

Peers: on every hive the manifest lists as written by Windows, every key and
value reglookup-recover finds (by the file offset of its cell) must be in
keyscout's export with the same path, time (to the second) and data, unless
the difference is one of these kinds, each checked here against the hive's
bytes:
  * refused: a check of keyscout's manual refuses the record (the checks are
    written again here, from the manual), or it lies inside a record
    keyscout found (reglookup-recover read the same bytes from another
    offset);
  * not tied: reglookup-recover gives a value no path where keyscout ties it
    to a deleted key, whose value list, still a free cell, names it;
  * no data: keyscout gives none because a cell the data needs is allocated
    now (data_reused), or, in a hive whose free cells hold free-list links,
    because the data's first four bytes may be such a link.
Paths are compared name by name (reglookup-recover escapes "/" and "," as
%2F and %2C and names the root key first). Every deleted record keyscout
finds that reglookup-recover does not must be one it leaves out: a record in
the slack of an allocated cell (which it does not search), one it misread
from another offset, or one inside a record it took for another.

Truth: for a sample of the hives, copies are made in which hivex deletes
subtrees (node_delete_child) and replaces the values of keys
(node_set_values, which frees every old value). keyscout must then find
every deleted key at its cell with the exact path and time, every deleted
value with its name, type and data (recall), and nothing that was not
deleted then or found deleted in the hive before (precision); a record that
lay in an allocated cell the live tree did not reach is freed by hivex's
write, and counted apart.

Per hive it prints the counts; it fails when a difference is left
unexplained. Exit codes: 0, 1, and 77 (CTest's skip code) when the hives are
absent, or reglookup-recover and the hivex module both are.
"""

import argparse
import bisect
import collections
import csv
import datetime
import io
import json
import lzma
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from export_diff import TYPE_NAMES  # noqa: E402  (the export's type names, as the other comparison reads them)

SKIP = 77
HIVE_BASE = 0x1000
WINDOWS_SECTION = "## Hives written by Windows in normal use"
SHOWN_PER_HIVE = 5
FILETIME_1990 = 0x01B41E2A18D64000
GRACE = 366 * 864000000000
NK_NAME, VK_NAME = 0x50, 0x18


def filetime_of(text):
    """The FILETIME of a last_written text."""
    if text.startswith("0x"):
        return int(text, 16)
    match = re.fullmatch(r"(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)\.(\d{7})Z", text)
    y, mo, d, h, mi, s, ticks = (int(g) for g in match.groups())
    delta = datetime.datetime(y, mo, d, h, mi, s) - datetime.datetime(1601, 1, 1)
    return (delta.days * 86400 + delta.seconds) * 10 ** 7 + ticks


def peer_time(filetime):
    """A FILETIME as reglookup-recover prints it, to the second."""
    return (datetime.datetime(1601, 1, 1) + datetime.timedelta(seconds=filetime // 10 ** 7)).strftime(
        "%Y-%m-%d %H:%M:%S")


def type_code(value):
    t = value["type"]
    return TYPE_NAMES.index(t) if isinstance(t, str) else t


def utf16(text):
    return text.encode("utf-16-le", "surrogatepass")


def value_bytes(value):
    """The bytes of a value as the export gives them, or None when it gives
    none."""
    if "raw" in value:
        return bytes.fromhex(value["raw"])
    if "data" not in value:
        return None
    kind, data, size = type_code(value), value["data"], value["size"]
    if kind in (4, 5, 11):
        return struct.pack({4: "<I", 5: ">I", 11: "<Q"}[kind], data)
    if kind == 7:
        out = b"".join(utf16(item) + b"\0\0" for item in data)
    else:
        out = utf16(data)
    # A text or list may end without its zero units: the decoded form then
    # covers the data up to its size.
    return (out + b"\0" * (size - len(out)))[:size]


def unescape(text):
    """reglookup-recover's %XX escapes undone, as text."""
    raw = re.sub(rb"%([0-9A-Fa-f]{2})", lambda m: bytes([int(m.group(1), 16)]), text.encode("utf-8"))
    return raw.decode("utf-8", "replace")


def comparable(name):
    """A name both tools can be compared on: characters above ASCII as "?"."""
    return "".join(c if 0x20 <= ord(c) < 0x7F else "?" for c in name)


def peer_components(path):
    """reglookup-recover's path as its names, escapes undone."""
    return [comparable(unescape(part)) for part in path.split("/") if part != ""]


def peer_data_matches(row, data):
    """True when reglookup-recover's printed data is `data`."""
    kind, text = row["VK_TYPE"], row["VK_VALUE"]
    if kind == "DWORD" and len(data) == 4:
        return text == "0x%08X" % struct.unpack("<I", data)[0]
    if kind == "QWORD" and len(data) == 8:
        return text == "0x%016X" % struct.unpack("<Q", data)[0]
    raw = re.sub(rb"%([0-9A-Fa-f]{2})", lambda m: bytes([int(m.group(1), 16)]), text.encode("utf-8"))
    if raw == data:
        return True
    units = data.decode("utf-16-le", "replace")
    if kind in ("SZ", "EXPAND_SZ", "LINK"):
        return comparable(unescape(text)) == comparable(units.split("\0")[0])
    if kind == "MULTI_SZ":
        items = units.split("\0")
        while items and items[-1] == "":
            items.pop()
        return comparable(unescape(text)) == comparable("|".join(items))
    return False


def text_fits(data, length=None):
    """True when `data` is a text whose first zero unit ends it within the
    last two bytes of `length` (its own length by default)."""
    length = len(data) if length is None else length
    units = [data[i] | data[i + 1] << 8 for i in range(0, len(data) - 1, 2)]
    end = 2 * (units.index(0) + 1) if 0 in units else len(data)
    return length - 2 <= end <= length


class Hive:
    """The bytes of a hive, and the checks keyscout's manual lists, written
    again from the manual."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        self.size = len(self.data)
        declared = self.u32(0x28)
        self.bins_end = HIVE_BASE + declared if declared and declared % 4096 == 0 and \
            HIVE_BASE + declared <= self.size else self.size

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0] if at + 2 <= self.size else None

    def u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0] if at + 4 <= self.size else None

    def i32(self, at):
        return struct.unpack_from("<i", self.data, at)[0] if at + 4 <= self.size else None

    def cells(self):
        """(start, length, allocated) of every cell the hbins chain, in file
        order; made once."""
        if hasattr(self, "_cells"):
            return self._cells
        self._cells, at = [], HIVE_BASE
        while at + 32 <= self.bins_end and self.data[at:at + 4] == b"hbin":
            length = self.u32(at + 8)
            if not length or length % 4096:
                break
            cell, end = at + 32, min(at + length, self.bins_end)
            while cell + 8 <= end:
                size = self.i32(cell)
                if size == 0 or abs(size) % 8 or cell + abs(size) > end:
                    break
                self._cells.append((cell, abs(size), size < 0))
                cell += abs(size)
            at += length
        self._starts = [c[0] for c in self._cells]
        return self._cells

    def allocated_over(self, start, length):
        """True when [start, start + length) meets an allocated cell."""
        cells = self.cells()
        i = max(0, bisect.bisect_right(self._starts, start) - 1)
        while i < len(cells) and cells[i][0] < start + length:
            if cells[i][2] and cells[i][0] + cells[i][1] > start:
                return True
            i += 1
        return False

    def link_fits(self, index, optional=False):
        return (optional and index == 0xFFFFFFFF) or (index % 8 == 0 and HIVE_BASE + index < self.size)

    def refusal(self, offset, kind, latest):
        """The first check of the manual that refuses the record at `offset`,
        or None."""
        if offset + 0x18 > self.size:
            return "outside the file"
        size = self.i32(offset)
        if kind == "KEY":
            flags, length = self.u16(offset + 0x06), self.u16(offset + 0x4C)
            extent, compressed = NK_NAME + length, flags & 0x20
        else:
            length, flags = self.u16(offset + 0x06), self.u16(offset + 0x14)
            extent, compressed = VK_NAME + length, flags & 1
        if size <= 0 or size % 8 or size < extent:
            return "cell size %d for a record of %d bytes" % (size, extent)
        name_fits = length <= 255 if compressed else length % 2 == 0 and length <= 510
        if not name_fits or (kind == "KEY" and length == 0):
            return "name length %d" % length
        if kind == "KEY":
            written = struct.unpack_from("<Q", self.data, offset + 0x08)[0]
            if written < FILETIME_1990 or written - GRACE > latest:
                return "time %#x" % written
            stable, volatile, values = (self.u32(offset + f) for f in (0x18, 0x1C, 0x28))
            if stable > self.size // NK_NAME or volatile > self.size // NK_NAME or values > self.size // 4:
                return "counts %d, %d, %d" % (stable, volatile, values)
            parent, stable_list, volatile_list, value_list, security, class_name = (
                self.u32(offset + f) for f in (0x14, 0x20, 0x24, 0x2C, 0x30, 0x34))
            if not (self.link_fits(parent) and self.link_fits(security, True) and self.link_fits(stable_list, True)
                    and (volatile_list & 0x80000000 or self.link_fits(volatile_list))
                    and (values == 0 or self.link_fits(value_list)) and self.link_fits(class_name, True)):
                return "a cell index off the file"
            return None
        if flags & ~3:
            return "value flags %#x" % flags
        data_size, data_offset = self.u32(offset + 0x08), self.u32(offset + 0x0C)
        length = data_size & 0x7FFFFFFF
        if data_size & 0x80000000:
            return "resident data of %d bytes" % length if length > 4 else None
        if length > self.size:
            return "data of %d bytes" % length
        return None if self.link_fits(data_offset) else "data cell index %#x" % data_offset

    def data_cell_allocated(self, vk_offset):
        """True when the value's data (or a big-data record) begins in a cell
        that is allocated now."""
        size = self.u32(vk_offset + 0x08)
        if size is None or size & 0x80000000:
            return False
        cell = self.i32(HIVE_BASE + self.u32(vk_offset + 0x0C))
        return cell is not None and cell < 0


class Export:
    """The records of `keyscout -x jsonl -r`."""

    def __init__(self, keyscout, path):
        result = subprocess.run([keyscout, "-f", path, "-x", "jsonl", "-r"], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, check=False)
        self.code, self.stderr = result.returncode, result.stderr.decode("utf-8", "replace")
        self.keys, self.values = {}, {}
        self.root_name, self.latest = "", 0
        # The file offsets of the live tree's key and value records.
        self.live = set()
        for line in result.stdout.decode("utf-8").splitlines():
            record = json.loads(line)
            if record.get("state") != "deleted":
                for item in [record] + record.get("values", []):
                    if "cell" in item:
                        self.live.add(HIVE_BASE + int(item["cell"], 16))
                if "last_written" in record and record["last_written"]:
                    self.latest = max(self.latest, filetime_of(record["last_written"]))
                if record.get("path") == "" and "name" in record:
                    self.root_name = record["name"]
                continue
            if "name" in record:
                self.keys[record["offset"]] = record
                for value in record["values"]:
                    self.values[value["offset"]] = (record, value)
            else:
                self.values[record["offset"]] = (record, record["values"][0])


def read_peer(path):
    result = subprocess.run(["reglookup-recover", path], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            check=False)
    keys, values = {}, {}
    for row in csv.DictReader(io.StringIO(result.stdout.decode("utf-8", "replace"))):
        at = int(row["OFFSET"], 16)
        if row["REC_TYPE"] == "KEY":
            keys[at] = row
        elif row["REC_TYPE"] == "VALUE":
            values[at] = row
    return keys, values


class PeerCheck:
    def __init__(self, label, path, keyscout):
        self.label, self.hive, self.export = label, Hive(path), Export(keyscout, path)
        self.peer_keys, self.peer_values = read_peer(path)
        self.explained = collections.Counter()
        self.mismatches = []

    def mismatch(self, text):
        self.mismatches.append(text)

    def found_extents(self):
        """(start, end) of every record keyscout found."""
        for at in self.export.keys:
            yield at, at + NK_NAME + self.hive.u16(at + 0x4C)
        for at in self.export.values:
            yield at, at + VK_NAME + self.hive.u16(at + 0x06)

    def inside_found(self, offset):
        """True when `offset` lies inside a record keyscout found."""
        return any(start < offset < end for start, end in self.found_extents())

    def found_over(self, start, length):
        """True when [start, start + length) meets a record keyscout found."""
        return any(s < start + length and start < e for s, e in self.found_extents())

    def key_path(self, record):
        names = [comparable(n) for n in record["path"].split("\\")] if record["path"] else []
        return ([comparable(self.export.root_name)] + names) if record["path_complete"] else names

    def compare_keys(self):
        for at, row in self.peer_keys.items():
            record = self.export.keys.get(at)
            if record is None:
                self.explain_missing(at, "KEY", row)
                continue
            if peer_time(filetime_of(record["last_written"])) != row["NK_MTIME"]:
                self.mismatch("key at %#x: time %s, reglookup-recover %s" % (at, record["last_written"],
                                                                            row["NK_MTIME"]))
            peer = peer_components(row["PATH"]) + [comparable(unescape(row["NAME"]))]
            if self.key_path(record) != peer:
                self.mismatch("key at %#x: path %r, reglookup-recover %r" % (at, record["path"], row["PATH"]))
        for at, record in self.export.keys.items():
            if at not in self.peer_keys:
                self.explain_extra(at, record["found_in"], "key")

    def compare_values(self):
        for at, row in self.peer_values.items():
            found = self.export.values.get(at)
            if found is None:
                self.explain_missing(at, "VALUE", row)
                continue
            holder, value = found
            if comparable(value["name"]) != comparable(unescape(row["NAME"])):
                self.mismatch("value at %#x: name %r, reglookup-recover %r" % (at, value["name"], row["NAME"]))
            self.compare_value_path(at, holder, row)
            data = value_bytes(value)
            if data is None:
                self.explain_no_data(at, value)
            elif str(len(data)) != row["VK_DATA_LEN"]:
                self.mismatch("value at %#x: %d bytes, reglookup-recover %s" % (at, len(data), row["VK_DATA_LEN"]))
            elif not peer_data_matches(row, data):
                if row["VK_TYPE"] in ("SZ", "EXPAND_SZ") and text_fits(data) and \
                        not text_fits(utf16(unescape(row["VK_VALUE"])) + b"\0\0", len(data)):
                    self.explained["reglookup-recover's text does not fit its own length"] += 1
                else:
                    self.mismatch("value at %#x: data %s, reglookup-recover %s" % (
                        at, data.hex()[:64], row["VK_VALUE"][:64]))
        for at, (_, value) in self.export.values.items():
            if at not in self.peer_values:
                self.explain_extra(at, value["found_in"], "value")

    def compare_value_path(self, at, holder, row):
        if "name" not in holder:
            if row["PATH"]:
                self.mismatch("value at %#x: no key, reglookup-recover %r" % (at, row["PATH"]))
            return
        ours = self.key_path(holder)
        if not row["PATH"]:
            # The key's value list must name the value, in a free cell.
            vl = HIVE_BASE + self.hive.u32(holder["offset"] + 0x2C)
            count = self.hive.u32(holder["offset"] + 0x28)
            entries = [self.hive.u32(vl + 4 + 4 * i) for i in range(count)]
            if self.hive.i32(vl) > 0 and at - HIVE_BASE in entries:
                self.explained["value tied to its deleted key by the key's free value list"] += 1
            else:
                self.mismatch("value at %#x: key %r, reglookup-recover none" % (at, holder["path"]))
        elif ours != peer_components(row["PATH"]):
            self.mismatch("value at %#x: key %r, reglookup-recover %r" % (at, holder["path"], row["PATH"]))

    def explain_no_data(self, at, value):
        """Why keyscout gives no data: a cell it needs is allocated again or
        overlaid since, or its first word may be a free-list link."""
        size = self.hive.u32(at + 0x08)
        cell = HIVE_BASE + self.hive.u32(at + 0x0C)
        length = size & 0x7FFFFFFF
        head = self.hive.i32(cell)
        if value.get("data_reused"):
            if head is not None and head < 0:
                self.explained["no data: its data cell is allocated again"] += 1
            elif self.hive.allocated_over(cell, 4 + min(length, 16344)):
                self.explained["no data: its data cell lies inside an allocated cell"] += 1
            elif head is not None and head < 4 + min(length, 16344):
                self.explained["no data: a cell freed since overlays its data cell"] += 1
            elif self.found_over(cell, 4 + min(length, 16344)):
                self.explained["no data: a record keyscout found lies over its data cell"] += 1
            elif length > 16344:
                self.explained["no data: a segment of its big data is allocated again"] += 1
            else:
                self.mismatch("value at %#x: data_reused, but its data cell is free and whole" % at)
            return
        if (at >= self.hive.bins_end) != (cell >= self.hive.bins_end):
            self.explained["no data: its data cell lies across the end of the hive bins"] += 1
            return
        first = self.hive.u32(cell + 4)
        if first is not None and (first == 0xFFFFFFFF or (first % 8 == 0 and HIVE_BASE + first < self.hive.size)):
            self.explained["no data: its first four bytes may be a free-list link"] += 1
        else:
            self.mismatch("value at %#x: no data, and no reason for it" % at)

    def explain_missing(self, at, kind, row):
        why = self.hive.refusal(at, kind, max(self.export.latest, self.written()))
        if why:
            self.explained["refused (%s)" % re.sub(r"[-\d].*", "", why).strip()] += 1
        elif self.inside_found(at):
            self.explained["read by reglookup-recover inside a record keyscout found"] += 1
        else:
            self.mismatch("%s at %#x (%s) not found" % (kind.lower(), at, row["NAME"]))

    def explain_extra(self, at, found_in, kind):
        if found_in == "slack":
            self.explained["only keyscout: in slack"] += 1
            return
        for peer_at, row in list(self.peer_keys.items()) + list(self.peer_values.items()):
            length = int(row["REC_LENGTH"], 16)
            if peer_at < at < peer_at + max(length, 8) or abs(peer_at - at) == 8:
                self.explained["only keyscout: reglookup-recover read these bytes as another record"] += 1
                return
        self.mismatch("%s at %#x only in keyscout's export" % (kind, at))

    def written(self):
        return struct.unpack_from("<Q", self.hive.data, 0x0C)[0] if self.hive.size >= 0x14 else 0

    def run(self):
        if self.export.code not in (0, 1):
            self.mismatch("exit code %d" % self.export.code)
        self.compare_keys()
        self.compare_values()
        overlap_keys = len(set(self.peer_keys) & set(self.export.keys))
        overlap_values = len(set(self.peer_values) & set(self.export.values))
        print("%-32s keyscout %4d keys %5d values | reglookup-recover %4d keys %5d values | both %4d keys "
              "%5d values" % (self.label, len(self.export.keys), len(self.export.values), len(self.peer_keys),
                              len(self.peer_values), overlap_keys, overlap_values))
        for what, n in sorted(self.explained.items()):
            print("    %5d %s" % (n, what))
        for text in self.mismatches[:SHOWN_PER_HIVE]:
            print("    MISMATCH " + text)
        if len(self.mismatches) > SHOWN_PER_HIVE:
            print("    ... %d more" % (len(self.mismatches) - SHOWN_PER_HIVE))


# --- deletions whose truth is known -----------------------------------------


def plain_name(name):
    return 0 < len(name) <= 200 and all(0x20 <= ord(c) < 0x7F and c != "\\" for c in name)


def delete_with_hivex(hivex, source, target, seed, subtrees, edits):
    """Deletes up to `subtrees` subtrees and replaces the values of up to
    `edits` keys of `source` into `target`; returns what was deleted."""
    rnd = random.Random(seed)
    h = hivex.Hivex(source)
    nodes, stack = [], [(h.root(), "")]
    while stack:
        node, path = stack.pop()
        nodes.append((node, path))
        for child in h.node_children(node):
            name = h.node_name(child)
            stack.append((child, path + "\\" + name if path else name))

    def below(node):
        out, todo = [], [node]
        while todo:
            n = todo.pop()
            out.append(n)
            todo.extend(h.node_children(n))
        return out

    def values_of(node):
        try:
            return h.node_values(node)
        except RuntimeError:
            return []

    truth = {"keys": [], "values": []}
    taken = set()
    chosen = []
    candidates = [(n, p) for n, p in nodes if p and all(plain_name(c) for c in p.split("\\"))]
    rnd.shuffle(candidates)
    for node, path in candidates:
        if len(chosen) == subtrees:
            break
        tree = below(node)
        if len(tree) > 40 or any(n in taken for n in tree) or any(path.startswith(q + "\\") for _, q in chosen):
            continue
        chosen.append((node, path))
        taken.update(tree)
    paths = dict(nodes)
    for node, _ in chosen:
        for n in below(node):
            truth["keys"].append({"offset": n, "path": paths[n], "time": h.node_timestamp(n)})
            for v in values_of(n):
                truth["values"].append({"offset": v, "name": h.value_key(v), "type": h.value_type(v)[0],
                                        "data": h.value_value(v)[1].hex()})
    edited = []
    others = [(n, p) for n, p in nodes if n not in taken and len(values_of(n)) >= 2 and
              all(plain_name(c) for c in p.split("\\") if p)]
    rnd.shuffle(others)
    for node, path in others[:edits]:
        kept = []
        for v in values_of(node):
            kind, data = h.value_value(v)
            truth["values"].append({"offset": v, "name": h.value_key(v), "type": kind, "data": data.hex()})
            kept.append({"key": h.value_key(v), "t": kind, "value": data})
        del kept[rnd.randrange(len(kept))]
        edited.append((path, kept))
    del h
    w = hivex.Hivex(source, write=True)

    def find(path):
        node = w.root()
        for name in path.split("\\") if path else []:
            node = w.node_get_child(node, name)
        return node

    for _, path in chosen:
        w.node_delete_child(find(path))
    for path, kept in edited:
        w.node_set_values(find(path), kept)
    w.commit(target)
    return truth


class TruthCheck:
    def __init__(self, label, keyscout, hivex, source, scratch, seed):
        self.label = label
        target = os.path.join(scratch, "deleted-%d" % seed)
        self.truth = delete_with_hivex(hivex, source, target, seed, 6, 6)
        self.before = Export(keyscout, source)
        self.after = Export(keyscout, target)
        os.unlink(target)
        with open(source, "rb") as f:
            self.source = f.read()
        self.mismatches = []
        self.orphans = 0

    def was_orphan(self, at):
        """True when the record at `at` lay in an allocated cell the live
        tree did not reach before: hivex frees such cells when it writes."""
        return at + 4 <= len(self.source) and struct.unpack_from("<i", self.source, at)[0] < 0 and \
            at not in self.before.live

    def run(self):
        keys, values = self.after.keys, self.after.values
        for t in self.truth["keys"]:
            record = keys.get(t["offset"])
            if record is None:
                self.mismatches.append("deleted key %s at %#x not found" % (t["path"], t["offset"]))
            elif not record["path_complete"] or record["path"] != t["path"] or \
                    filetime_of(record["last_written"]) != t["time"]:
                self.mismatches.append("deleted key %s at %#x: path %r, time %s" % (
                    t["path"], t["offset"], record["path"], record["last_written"]))
        for t in self.truth["values"]:
            found = values.get(t["offset"])
            if found is None:
                self.mismatches.append("deleted value %r at %#x not found" % (t["name"], t["offset"]))
                continue
            value = found[1]
            data = value_bytes(value)
            if value["name"] != t["name"] or type_code(value) != t["type"] or data is None or \
                    data.hex() != t["data"]:
                self.mismatches.append("deleted value %r at %#x: name %r, type %r, data %s" % (
                    t["name"], t["offset"], value["name"], value["type"], data.hex()[:32] if data else None))
        truth_keys = {t["offset"] for t in self.truth["keys"]}
        truth_values = {t["offset"] for t in self.truth["values"]}
        extra = [at for at in keys if at not in truth_keys and at not in self.before.keys]
        extra += [at for at in values if at not in truth_values and at not in self.before.values]
        self.orphans = sum(1 for at in extra if self.was_orphan(at))
        extra = [at for at in extra if not self.was_orphan(at)]
        for at in extra:
            self.mismatches.append("reported at %#x, but not deleted" % at)
        found_keys = len(truth_keys & set(keys))
        found_values = len(truth_values & set(values))
        print("%-32s deleted %3d keys %4d values; found %3d keys %4d values; %d reported that were not" % (
            self.label, len(truth_keys), len(truth_values), found_keys, found_values, len(extra)))
        if self.orphans:
            print("    %5d freed by hivex's write: allocated before, but outside the live tree" % self.orphans)
        for text in self.mismatches[:SHOWN_PER_HIVE]:
            print("    MISMATCH " + text)


def windows_hives(folder):
    """The manifest's hives written by Windows in normal use."""
    names, inside = [], False
    with open(os.path.join(folder, "MANIFEST.md"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("## "):
                inside = line.strip() == WINDOWS_SECTION
            elif inside and line.startswith("| ") and not line.startswith("| File") and not line.startswith("|---"):
                names.append(line.split("|")[1].strip())
    return names


def unpacked(folder, name, scratch):
    path = os.path.join(folder, name)
    if not name.endswith(".xz"):
        return path
    plain = os.path.join(scratch, name[:-3])
    if not os.path.exists(plain):
        with lzma.open(path) as source, open(plain, "wb") as target:
            shutil.copyfileobj(source, target, 1 << 20)
    return plain


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--keyscout", required=True, help="the keyscout binary")
    parser.add_argument("--hives", default="", help="folder of real hives ($KEYSCOUT_HIVES overrides it)")
    parser.add_argument("--truth-hives", type=int, default=0,
                        help="hives whose copies hivex deletes from (0: every one)")
    parser.add_argument("--seeds", type=int, default=1, help="copies per hive")
    args = parser.parse_args()

    folder = os.environ.get("KEYSCOUT_HIVES") or args.hives
    if not folder or not os.path.isfile(os.path.join(folder, "MANIFEST.md")):
        print("SKIP: no folder of real hives (%s)" % (folder or "none given"))
        return SKIP
    peer = shutil.which("reglookup-recover")
    try:
        import hivex
    except ImportError:
        hivex = None
    if not peer and not hivex:
        print("SKIP: neither reglookup-recover (reglookup) nor the hivex module (python3-hivex) is installed")
        return SKIP
    sys.unraisablehook = lambda _: None

    names = [n for n in windows_hives(folder) if os.path.exists(os.path.join(folder, n))]
    failures = 0
    with tempfile.TemporaryDirectory(prefix="keyscout-recover-") as scratch:
        if peer:
            totals = collections.Counter()
            for name in names:
                check = PeerCheck(name, unpacked(folder, name, scratch), args.keyscout)
                check.run()
                failures += len(check.mismatches)
                totals.update(check.explained)
            print("all hives: %d differences explained, %d not" % (sum(totals.values()), failures))
        else:
            print("reglookup-recover is not installed: the comparison with it is skipped")
        if hivex:
            # An even spread of the hives, the largest ones among them.
            sample = names if args.truth_hives == 0 else names[::max(1, len(names) // args.truth_hives)]
            for name in sample:
                for seed in range(1, args.seeds + 1):
                    try:
                        check = TruthCheck("%s (%d)" % (name, seed), args.keyscout, hivex,
                                           unpacked(folder, name, scratch), scratch, seed)
                    except RuntimeError as error:
                        print("%-32s hivex cannot delete here: %s" % (name, error))
                        continue
                    check.run()
                    failures += len(check.mismatches)
        else:
            print("the hivex module is not installed: the deletions whose truth is known are skipped")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
