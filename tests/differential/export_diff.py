#!/usr/bin/env python3
"""keyscout's export (-x) against hivex on the real hives.

For every hive hivex opens, `keyscout -f HIVE -x jsonl` must hold every key
hivex walks, once each and no other, with hivex's path (names joined by
backslashes, exactly as stored), HCELL_INDEX (hivex's node handle - 0x1000)
and last written time (node_timestamp); its class name, flags, counts and
security cell as the key node's bytes give them (what -i prints); and every
value in hivex's order with hivex's name, type, size and bytes (value_value):
the "raw" hex, or where there is none the decoded "data", which must then
give back every byte. The decoded "data" must be hivex's bytes read by
keyscout's rules (a text up to its first zero unit, a list up to its first
empty text, a number when the length is exactly its size), and "raw" must
be there exactly when those rules leave bytes out. A sample of keys is run
through -i and of values through -v NAME -w FILE -d, whose lines and file
must agree with the records.

Every export must also be well-formed: each JSON line parses (and passes
`jq -c .` where jq is installed), `-x csv` has 8 fields in every row
(Python's csv), and `mactime -b FILE -d` (the Sleuth Kit) reads `-x body`
where mactime is installed. With -t, the dirty hives of logs/ are exported
as their logs recover them; where the folder holds the hive as Windows
itself recovered it (RecoveredHive_*), the export is compared with hivex on
that file as above.

Per hive it prints the keys and values compared and the mismatches; it
fails when any mismatch is left. Exit codes: 0, 1, and 77 (CTest's skip
code) when hivex or the hives are absent.
"""

import argparse
import csv
import datetime
import gc
import json
import lzma
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from hivex_diff import filetime_text  # noqa: E402  (the -i time, as the other comparison reads it)

SKIP = 77
HIVE_BASE = 0x1000
TYPE_NAMES = [
    "REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD", "REG_DWORD_BIG_ENDIAN", "REG_LINK",
    "REG_MULTI_SZ", "REG_RESOURCE_LIST", "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST",
    "REG_QWORD",
]
TEXT_TYPES = {1, 2, 6}
MULTI_SZ, DWORD, DWORD_BE, QWORD = 7, 4, 5, 11
NK_FLAGS, NK_STABLE_COUNT, NK_VOLATILE_COUNT, NK_VALUE_COUNT = 0x06, 0x18, 0x1C, 0x28
NK_SECURITY, NK_CLASS_NAME, NK_CLASS_LENGTH = 0x30, 0x34, 0x4E
SHOWN_PER_HIVE = 5
# The hives the manifest lists as written by Windows in normal use, and those
# made on purpose but sound: hivex and keyscout must agree on all of them.
# Damaged hives are exported too, and must be well-formed and end in 0 or 1.
MANIFEST_SECTIONS = ("## Hives written by Windows in normal use", "## Hives made on purpose")


def units_of(text):
    data = text.encode("utf-16-le", "surrogatepass")
    return [data[i] | (data[i + 1] << 8) for i in range(0, len(data) - 1, 2)]


def filetime_of(text):
    """The FILETIME of a last_written text."""
    if text.startswith("0x"):
        return int(text, 16)
    match = re.fullmatch(r"(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)\.(\d{7})Z", text)
    if not match:
        raise ValueError(text)
    y, mo, d, h, mi, s, ticks = (int(g) for g in match.groups())
    delta = datetime.datetime(y, mo, d, h, mi, s) - datetime.datetime(1601, 1, 1)
    return (delta.days * 86400 + delta.seconds) * 10 ** 7 + ticks


def decoded_form(kind, data):
    """(items, covered, fits): hivex's bytes read by keyscout's rules."""
    if kind in (DWORD, DWORD_BE, QWORD):
        size = 8 if kind == QWORD else 4
        if len(data) != size:
            return None, 0, False
        fmt = {DWORD: "<I", DWORD_BE: ">I", QWORD: "<Q"}[kind]
        return struct.unpack(fmt, data)[0], size, True
    end = len(data) & ~1
    units = [data[i] | (data[i + 1] << 8) for i in range(0, end, 2)]
    texts, at = [], 0
    while True:
        stop = units.index(0, at) if 0 in units[at:] else len(units)
        text = units[at:stop]
        covered = 2 * min(stop + 1, len(units))
        if kind != MULTI_SZ:
            return text, covered, True
        if not text:
            return texts, covered if stop < len(units) else 2 * at, True
        texts.append(text)
        at = stop + 1
        if at >= len(units):
            return texts, 2 * len(units), True


def printed_item(units):
    """A text as -d prints it: control characters as \\xNN, units above
    U+00FF as "?", each unit one byte (latin-1 here)."""
    return "".join("\\x%02X" % u if u < 0x20 else (chr(u) if u <= 0xFF else "?") for u in units)


def typed_component(name):
    units = units_of(name)
    if not units or 0 in units or len(units) > 259 or 0x5C in units:
        return None
    try:
        return name.encode("utf-16-le").decode("utf-16-le")
    except UnicodeError:
        return None


class HiveCheck:
    def __init__(self, args, label, path, tmp):
        self.args, self.label, self.path, self.tmp = args, label, path, tmp
        self.keys = self.values = self.runs = self.refused = 0
        self.mismatches = []
        with open(path, "rb") as f:
            self.bytes = f.read()

    def mismatch(self, text):
        self.mismatches.append(text)

    def keyscout(self, words, hive=None):
        result = subprocess.run([self.args.keyscout, "-f", hive or self.path] + words, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, check=False)
        return result.returncode, result.stdout, result.stderr

    # The three formats, well-formed.
    def export(self, fmt, extra=()):
        code, out, err = self.keyscout(["-x", fmt] + list(extra))
        if code not in (0, 1):
            self.mismatch("-x %s: exit code %d" % (fmt, code))
        if code == 1 and not err.startswith(b"keyscout: "):
            self.mismatch("-x %s: exit code 1 without a line on standard error" % fmt)
        return code, out, err

    def check_jsonl(self, out):
        records = []
        for number, line in enumerate(out.split(b"\n")[:-1], 1):
            try:
                records.append(json.loads(line.decode("utf-8")))
            except (UnicodeError, ValueError) as error:
                self.mismatch("JSON line %d does not parse: %s" % (number, error))
        if out and not out.endswith(b"\n"):
            self.mismatch("JSON Lines output does not end with a line end")
        if shutil.which("jq") and out:
            jq = subprocess.run(["jq", "-c", "."], input=out, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                check=False)
            if jq.returncode != 0:
                self.mismatch("jq refuses the export: %s" % jq.stderr.decode(errors="replace")[:200])
        return records

    def check_csv(self, out):
        csv.field_size_limit(sys.maxsize)
        rows = list(csv.reader(out.decode("utf-8").splitlines(keepends=True)))
        if not rows or rows[0] != ["hive", "path", "state", "last_written", "value_name", "value_type",
                                   "value_size", "value_data"]:
            self.mismatch("CSV header row missing")
        bad = [i for i, row in enumerate(rows) if len(row) != 8]
        if bad:
            self.mismatch("CSV rows without 8 fields: %s" % bad[:5])
        return len(rows) - 1

    def check_body(self, out):
        if not shutil.which("mactime"):
            return
        body = os.path.join(self.tmp, "export.body")
        with open(body, "wb") as f:
            f.write(out)
        result = subprocess.run(["mactime", "-b", body, "-d"], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                check=False)
        if result.returncode != 0 or result.stderr:
            self.mismatch("mactime refuses the bodyfile: %s" % result.stderr.decode(errors="replace")[:200])

    def well_formed(self, extra=()):
        """Runs the three formats; returns the JSON records and the exit code."""
        code, out, _ = self.export("jsonl", extra)
        records = self.check_jsonl(out)
        csv_code, csv_out, _ = self.export("csv", extra)
        rows = self.check_csv(csv_out)
        body_code, body_out, _ = self.export("body", extra)
        self.check_body(body_out)
        # The bodyfile reads no values, so a value that cannot be read does
        # not count for it.
        if csv_code != code or body_code > code:
            self.mismatch("exit codes differ between formats: %d %d %d" % (code, csv_code, body_code))
        keys = [r for r in records if "error" not in r]
        values = sum(len(r["values"]) for r in keys)
        errors = len(records) - len(keys)
        if rows != len(keys) + values + errors:
            self.mismatch("CSV has %d rows for %d keys, %d values and %d errors" % (rows, len(keys), values, errors))
        if body_out.count(b"\n") != len(keys):
            self.mismatch("bodyfile has %d lines for %d keys" % (body_out.count(b"\n"), len(keys)))
        return records, code

    # The comparison with hivex.
    def u16(self, at):
        return struct.unpack_from("<H", self.bytes, at)[0]

    def u32(self, at):
        return struct.unpack_from("<I", self.bytes, at)[0]

    def class_units(self, node):
        length = self.u16(node + NK_CLASS_LENGTH)
        if length == 0:
            return None
        cell = HIVE_BASE + self.u32(node + NK_CLASS_NAME)
        units = list(struct.unpack_from("<%dH" % (length // 2), self.bytes, cell + 4))
        return units[:units.index(0)] if 0 in units else units

    def compare_key(self, h, node, path, record):
        where = "key %r" % path
        self.keys += 1
        if record.get("cell") != "%08X" % (node - HIVE_BASE):
            self.mismatch("%s: cell %s, hivex %08X" % (where, record.get("cell"), node - HIVE_BASE))
        if units_of(record["name"]) != units_of(h.node_name(node)):
            self.mismatch("%s: name %r, hivex %r" % (where, record["name"], h.node_name(node)))
        if filetime_of(record["last_written"]) != h.node_timestamp(node) & 0xFFFFFFFFFFFFFFFF:
            self.mismatch("%s: last_written %s, hivex %d" % (where, record["last_written"], h.node_timestamp(node)))
        expected = {
            "flags": self.u16(node + NK_FLAGS),
            "subkey_count": self.u32(node + NK_STABLE_COUNT),
            "volatile_subkey_count": self.u32(node + NK_VOLATILE_COUNT),
            "value_count": self.u32(node + NK_VALUE_COUNT),
            "security_cell": "%08X" % self.u32(node + NK_SECURITY),
            "state": "allocated",
            "timestamp_desc": "Key Last Written",
            "message": os.path.basename(self.label) + "\\" + path,
        }
        for field, value in expected.items():
            if record.get(field) != value:
                self.mismatch("%s: %s %r, expected %r" % (where, field, record.get(field), value))
        if record["subkey_count"] != len(h.node_children(node)):
            self.mismatch("%s: subkey_count %d, hivex %d children" %
                          (where, record["subkey_count"], len(h.node_children(node))))
        class_units = self.class_units(node)
        if (None if "class" not in record else units_of(record["class"])) != class_units:
            self.mismatch("%s: class %r, key node %r" % (where, record.get("class"), class_units))
        values = h.node_values(node)
        if len(values) != len(record["values"]):
            self.mismatch("%s: %d values, hivex %d" % (where, len(record["values"]), len(values)))
            return
        for value, exported in zip(values, record["values"]):
            self.compare_value(h, value, exported, where)

    def compare_value(self, h, value, exported, where):
        self.values += 1
        name = h.value_key(value)
        where = "%s, value %r" % (where, name)
        try:
            kind, data = h.value_value(value)
        except RuntimeError:
            # hivex refuses the data (a differencing hive's, say): so must
            # the record.
            self.refused += 1
            if units_of(exported.get("name", "")) != units_of(name) or "error" not in exported:
                self.mismatch("%s: %r where hivex cannot read the data" % (where, exported))
            return
        type_field = TYPE_NAMES[kind] if 0 <= kind < len(TYPE_NAMES) else kind
        expected = {"name": name, "type": type_field, "size": len(data), "cell": "%08X" % (value - HIVE_BASE)}
        for field, want in expected.items():
            got = exported.get(field)
            if field == "name" and got is not None:
                got, want = units_of(got), units_of(want)
            if got != want:
                self.mismatch("%s: %s %r, hivex %r" % (where, field, exported.get(field), expected[field]))
        if exported.get("unnamed", False) != (name == ""):
            self.mismatch("%s: unnamed %r" % (where, exported.get("unnamed")))
        decoded = kind in TEXT_TYPES or kind in (MULTI_SZ, DWORD, DWORD_BE, QWORD)
        items, covered, fits = decoded_form(kind, data) if decoded else (None, 0, False)
        want_raw = not decoded or not fits or covered != len(data)
        if ("raw" in exported) != want_raw:
            self.mismatch("%s: raw %s, expected %s" % (where, "raw" in exported, want_raw))
        if "raw" in exported and bytes.fromhex(exported["raw"]) != data:
            self.mismatch("%s: raw differs from hivex's data" % where)
        if decoded and fits:
            got = exported.get("data")
            if kind in TEXT_TYPES:
                got = units_of(got) if isinstance(got, str) else got
            elif kind == MULTI_SZ:
                got = [units_of(t) for t in got] if isinstance(got, list) else got
            if got != items:
                self.mismatch("%s: data %r, expected %r" % (where, exported.get("data"), items))
        elif "data" in exported:
            self.mismatch("%s: data where the type has no decoded form that fits" % where)

    def walk(self, h, by_path):
        """Compares every key hivex reaches; returns the paths it reached."""
        reached = set()
        stack = [(h.root(), "")]
        while stack:
            node, path = stack.pop()
            reached.add(path)
            record = by_path.get(path)
            if record is None:
                self.mismatch("key %r is missing from the export" % path)
                continue
            self.compare_key(h, node, path, record)
            for child in reversed(h.node_children(node)):
                name = h.node_name(child)
                stack.append((child, name if path == "" else path + "\\" + name))
        return reached

    def sample_runs(self, h, records, hive=None, extra=()):
        """Ties the records to -i and to -v -w -d, for an even spread."""
        typed = [r for r in records if all(typed_component(c) is not None for c in r["path"].split("\\") if r["path"])]
        step = max(1, len(typed) // max(1, self.args.sample_runs))
        for record in typed[::step][:self.args.sample_runs]:
            key_words = ["-k", record["path"]] if record["path"] else []
            code, out, _ = self.keyscout(list(extra) + key_words + ["-i"], hive)
            self.runs += 1
            text = out.decode("latin-1")
            time = filetime_of(record["last_written"])
            line = re.search(r"Last written    : (.*)\n", text)
            if code != 0 or not line or line.group(1) != filetime_text(time):
                self.mismatch("-i on %r: %r, the record says %s" % (record["path"], line and line.group(1),
                                                                    record["last_written"]))
            counts = re.search(r"Subkeys         : (\d+) \(volatile (\d+)\)\nValues          : (\d+)", text)
            if not counts or [int(g) for g in counts.groups()] != [
                    record["subkey_count"], record["volatile_subkey_count"], record["value_count"]]:
                self.mismatch("-i on %r: counts differ from the record" % record["path"])
            for value in record["values"][:2]:
                name = value.get("name", "")
                if not value.get("unnamed") and typed_component(name) is None:
                    continue
                folded = [v.get("name", "").lower() for v in record["values"] if not v.get("unnamed")]
                if not value.get("unnamed") and folded.count(name.lower()) != 1:
                    continue
                dump = os.path.join(self.tmp, "value.bin")
                words = ["-u"] if value.get("unnamed") else ["-v", name]
                code, out, _ = self.keyscout(list(extra) + key_words + words + ["-w", dump, "-d"], hive)
                self.runs += 1
                with open(dump, "rb") as f:
                    written = f.read()
                exported = bytes.fromhex(value["raw"]) if "raw" in value else encode_data(value)
                if code != 0 or (exported is not None and written != exported):
                    self.mismatch("-w of %r in %r differs from the record" % (name, record["path"]))
                shown = decoded_lines(out)
                if "data" in value and shown != expected_lines(value):
                    self.mismatch("-d of %r in %r: %r, the record gives %r" %
                                  (name, record["path"], shown, expected_lines(value)))


def encode_data(value):
    """The bytes a record's decoded data stands for, when it has no raw."""
    data, kind = value.get("data"), value.get("type")
    if kind in ("REG_SZ", "REG_EXPAND_SZ", "REG_LINK"):
        body = data.encode("utf-16-le", "surrogatepass")
        return body + (b"\0\0" if len(body) < value["size"] else b"")
    if kind == "REG_MULTI_SZ":
        body = b"".join(t.encode("utf-16-le", "surrogatepass") + b"\0\0" for t in data)
        return body[:value["size"]] + (b"\0\0" if len(body) < value["size"] else b"")
    if kind in ("REG_DWORD", "REG_DWORD_BIG_ENDIAN", "REG_QWORD"):
        return struct.pack({"REG_DWORD": "<I", "REG_DWORD_BIG_ENDIAN": ">I", "REG_QWORD": "<Q"}[kind], data)
    return None


def decoded_lines(out):
    text = out.decode("latin-1")
    at = text.find("Value data : \n")
    if at < 0:
        return None
    return [line[1:] for line in text[at:].split("\n")[1:] if line.startswith("\t")]


def expected_lines(value):
    data = value["data"]
    if isinstance(data, int):
        digits = 16 if value["type"] == "REG_QWORD" else 8
        return ["%d (0x%0*X)" % (data, digits, data)]
    texts = data if isinstance(data, list) else [data]
    return [printed_item(units_of(t)) for t in texts]


def windows_written(hives):
    """The files of the manifest's sections of sound hives."""
    names = set()
    try:
        with open(os.path.join(hives, "MANIFEST.md"), encoding="utf-8") as f:
            section = None
            for line in f:
                if line.startswith("## "):
                    section = line.strip().startswith(MANIFEST_SECTIONS)
                elif section and line.startswith("| ") and not line.startswith("| File") and "---" not in line:
                    names.add(line.split("|")[1].strip())
    except OSError:
        pass
    return names


def unpack(path, tmp):
    if not path.endswith(".xz"):
        return path
    out = os.path.join(tmp, os.path.basename(path)[:-3])
    with lzma.open(path) as src, open(out, "wb") as dst:
        shutil.copyfileobj(src, dst)
    return out


def opens(hivex, path):
    # hivex's destructor complains of the object its constructor never made.
    hook, sys.unraisablehook = sys.unraisablehook, lambda _: None
    try:
        hivex.Hivex(path)
        return True
    except RuntimeError:
        return False
    finally:
        gc.collect()
        sys.unraisablehook = hook


def compare(check, hivex, records, hive_for_hivex):
    by_path = {}
    for record in records:
        if "error" in record:
            check.mismatch("error record in a sound hive: %s" % record)
            continue
        if record["path"] in by_path:
            check.mismatch("key %r exported twice" % record["path"])
        by_path[record["path"]] = record
    h = hivex.Hivex(hive_for_hivex)
    reached = check.walk(h, by_path)
    for path in set(by_path) - reached:
        check.mismatch("key %r is not one hivex walks" % path)
    return h


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--keyscout", required=True)
    parser.add_argument("--hives", required=True)
    parser.add_argument("--sample-runs", type=int, default=40, help="keys per hive run through -i (and values -d)")
    args = parser.parse_args()
    try:
        import hivex  # pylint: disable=import-outside-toplevel
    except ImportError:
        print("SKIP: the hivex Python module (python3-hivex) is not installed")
        return SKIP
    if not os.path.isdir(args.hives):
        print("SKIP: no hives at %s" % args.hives)
        return SKIP
    sound = windows_written(args.hives)
    failed = False
    total_keys = total_values = 0
    with tempfile.TemporaryDirectory() as tmp:
        for name in sorted(os.listdir(args.hives)):
            path = os.path.join(args.hives, name)
            if not os.path.isfile(path) or name == "MANIFEST.md":
                continue
            hive = unpack(path, tmp)
            check = HiveCheck(args, os.path.basename(hive), hive, tmp)
            records, code = check.well_formed()
            note = " (damaged: well-formed only)"
            if name in sound and opens(hivex, hive):
                h = compare(check, hivex, records, hive)
                check.sample_runs(h, [r for r in records if "error" not in r])
                # A sound hive is exported whole, but for the values whose
                # data hivex cannot read either.
                unread = sum(1 for r in records if "error" not in r for v in r["values"] if "error" in v)
                if (code != 0) != (unread > 0) or unread != check.refused:
                    check.mismatch("exit code %d with %d values unread, %d that hivex refuses" %
                                   (code, unread, check.refused))
                note = ""
            elif name in sound:
                note = " (hivex cannot open it: well-formed only)"
            failed |= report(name, check, note)
            total_keys += check.keys
            total_values += check.values
            if hive != path:
                os.remove(hive)
        logs = os.path.join(args.hives, "logs")
        for folder in sorted(os.listdir(logs)) if os.path.isdir(logs) else []:
            files = sorted(os.listdir(os.path.join(logs, folder)))
            hives = [f for f in files if not re.search(r"\.LOG\d?$", f, re.I) and not f.startswith("RecoveredHive")]
            recovered = [f for f in files if f.startswith("RecoveredHive")]
            for hive_name in hives:
                hive = os.path.join(logs, folder, hive_name)
                check = HiveCheck(args, hive_name, hive, tmp)
                records, code = check.well_formed(["-t"])
                if recovered:
                    check.bytes = open(os.path.join(logs, folder, recovered[0]), "rb").read()
                    h = compare(check, hivex, records, os.path.join(logs, folder, recovered[0]))
                    check.sample_runs(h, [r for r in records if "error" not in r], extra=["-t"])
                failed |= report("logs/%s (-t)" % folder, check, " against %s" % recovered[0] if recovered else
                                 " (well-formed only: no hive recovered by Windows to compare with)")
                total_keys += check.keys
                total_values += check.values
    print("%s: %d keys and %d values compared" % ("FAIL" if failed else "PASS", total_keys, total_values))
    return 1 if failed else 0


def report(name, check, note):
    refused = ", %d values hivex refuses" % check.refused if check.refused else ""
    print("%-36s %6d keys %7d values %4d runs %d mismatches%s%s" %
          (name, check.keys, check.values, check.runs, len(check.mismatches), refused, note))
    for text in check.mismatches[:SHOWN_PER_HIVE]:
        print("    " + text)
    return bool(check.mismatches)


if __name__ == "__main__":
    sys.exit(main())
