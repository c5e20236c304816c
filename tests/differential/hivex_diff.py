#!/usr/bin/env python3
"""Differential check of keyscout against hivex on the real hives.

For every key of every hive that hivex opens, keyscout runs once with the
key's path (-k PATH -i -l -e), which checks at the same time that -k finds the
key again: its -i block must give hivex's node timestamp as the last written
time, the stored subkey and value counts that hivex reads (and, for the
volatile count, flags, class name, security and parent cells, the key node's
bytes as read here; hivex's parent where it gives one) and the base block's
fields (hivex's last modified time as the hive's); its -l rows must be
hivex's subkeys (HCELL_INDEX = hivex node handle - 0x1000, name, order) and
its -e rows hivex's values (HCELL_INDEX, type name, name). For a sample of
values, -v NAME -w FILE must write exactly hivex's data. Per hive it prints
the keys, times, counts and values compared and the mismatches; it fails when
any mismatch is left, and when the runs changed a hive file.

The expected rows are hivex's answers passed through keyscout's documented
output rules, which are not mismatches:
  * a name ends at its first zero unit (hivex keeps what follows);
  * a name is cut after 259 units (the name buffer holds 259 and a zero);
  * each 16-bit unit above U+00FF prints as "?" (a character outside the
    Basic Multilingual Plane is two units, so two "?");
  * each control character (U+0000 to U+001F, U+007F to U+009F) prints as
    \\xNN;
  * a subkey or value with an empty name gets no row and is not counted (the
    unnamed value, above all);
  * a key whose path cannot be typed as one -k word is not looked up (a
    component with a backslash, an empty component, a component longer than
    259 units, or a lone surrogate unit); its rows are still compared in its
    parent's listing, and its values are not compared;
  * when two values of a key have names equal without regard to the case of
    A to Z, -v finds the first, so only values whose names are unique that
    way are sampled for -w;
  * a subkey list entry that names a cell that is not a key node ("nk")
    gets a row from keyscout, which lists the entries as they stand with
    whatever name the cell's bytes give, while hivex passes over it. This is
    counted apart, after checking the cell in the file, and is seen only in
    damaged hives.
A hive hivex refuses to open is opened again with hivex's heuristics for
corrupt hives (its "unsafe" flag); one it refuses even so is reported and not
compared.

Decoded data (DecodeCheck): for every value of REG_SZ, REG_EXPAND_SZ,
REG_LINK, REG_MULTI_SZ, REG_DWORD, REG_DWORD_BIG_ENDIAN and REG_QWORD that -v
can name uniquely, -v NAME -d must print, after "Value data : ", the lines of
hivex's decoded value (value_string, value_multiple_strings, value_dword,
value_qword) passed through keyscout's documented rules, each counted apart:
  * a text ends at its first zero unit, and a list at its first empty
    string (hivex splits the whole data at every zero unit, so its list
    also holds the empty string that ends it, and whatever follows);
  * each control character (U+0000 to U+001F, U+007F to U+009F) prints as
    \\xNN;
  * each unit above U+00FF prints as "?";
  * a number whose data is not exactly 4 bytes (8 for REG_QWORD) prints
    "(length does not fit the type)" instead.
A value hivex refuses to decode is counted apart and not compared. For every
key with an unnamed value (name length 0), -u -w FILE -d must write exactly
hivex's data for it (the first such value in the key's list), and decode it
as above. --decode-values limits the named values compared per hive to every
one that a rule above changes plus an even spread of the rest.

Exit codes: 0 when every comparison matched, 1 on any mismatch, 77 (CTest's
skip code) when hivex or the hives are absent.
"""

import argparse
import collections
import concurrent.futures
import datetime
import hashlib
import lzma
import os
import re
import struct
import subprocess
import sys
import tempfile

SKIP = 77
HIVE_BASE = 0x1000
NAME_MAX_UNITS = 259
BIG_DATA_SEGMENT = 16344
SEPARATOR = "=====================\n"
TYPE_NAMES = [
    "REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD", "REG_DWORD_BIG_ENDIAN", "REG_LINK",
    "REG_MULTI_SZ", "REG_RESOURCE_LIST", "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST",
    "REG_QWORD",
]
# How many mismatches per hive are shown in full.
SHOWN_PER_HIVE = 5
# The -i block's lines, and its key node and base block fields.
INFO_LAYOUT = (
    "Key information : \n"
    "Last written    : %s\n"
    "Flags           : %s\n"
    "Class name      : %s\n"
    "Subkeys         : %s (volatile %s)\n"
    "Values          : %s\n"
    "Security cell   : %08X\n"
    "Parent cell     : %08X\n"
    "Hive version    : %u.%u\n"
    "Hive sequence   : %u / %u %s\n"
    "Hive written    : %s\n")
FLAG_NAMES = ["VOLATILE", "HIVE_EXIT", "HIVE_ENTRY", "NO_DELETE", "SYM_LINK", "COMP_NAME", "PREDEF_HANDLE"]
NK_FLAGS, NK_LAST_WRITTEN, NK_PARENT = 0x06, 0x08, 0x14
NK_STABLE_COUNT, NK_VOLATILE_COUNT, NK_VALUE_COUNT = 0x18, 0x1C, 0x28
NK_SECURITY, NK_CLASS_NAME, NK_CLASS_LENGTH = 0x30, 0x34, 0x4E


def units_of(name):
    """The 16-bit units of a name as hivex decoded it."""
    data = name.encode("utf-16-le", "surrogatepass")
    return [data[i] | (data[i + 1] << 8) for i in range(0, len(data) - 1, 2)]


def stored_units(name):
    """The units keyscout decodes: up to the first zero, at most 259."""
    units = units_of(name)
    if 0 in units:
        units = units[:units.index(0)]
    return units[:NAME_MAX_UNITS]


def is_control(unit):
    """True for the units keyscout escapes in text from a hive."""
    return unit < 0x20 or 0x7F <= unit <= 0x9F


def printed(name):
    """A name as keyscout prints it, as text whose characters are bytes."""
    return "".join("\\x%02X" % u if is_control(u) else chr(u) if u <= 0xFF else "?" for u in stored_units(name))


def typed_component(name):
    """The name as a -k or -v word, or None when it cannot be typed."""
    units = units_of(name)
    if 0 in units:
        units = units[:units.index(0)]
    if not units or len(units) > NAME_MAX_UNITS or 0x5C in units or not _paired(units):
        return None
    return bytes(b for u in units for b in (u & 0xFF, u >> 8)).decode("utf-16-le")


def _paired(units):
    """True when every surrogate unit belongs to a well-formed pair."""
    i = 0
    while i < len(units):
        u = units[i]
        if 0xD800 <= u <= 0xDBFF:
            if i + 1 >= len(units) or not 0xDC00 <= units[i + 1] <= 0xDFFF:
                return False
            i += 2
            continue
        if 0xDC00 <= u <= 0xDFFF:
            return False
        i += 1
    return True


def fold(name):
    return "".join(c.lower() if "A" <= c <= "Z" else c for c in name)


def subkeys_block(rows):
    lines = "".join("%08X\t%s\n" % (index, name) for index, name in rows)
    return ("Subkeys information:\nHCELL_INDEX\tKey name\n" + lines +
            "----------------\nSubkey count : %u\n" % len(rows))


def values_block(rows):
    lines = "".join("%08X\t%-8s\t%s\n" % (index, type_name, name) for index, type_name, name in rows)
    return ("Key values information:\nHCELL_INDEX\tValue type\tValue name\n" + lines +
            "----------------\nKey values count : %u\n" % len(rows))


def type_name(code):
    return TYPE_NAMES[code] if 0 <= code < len(TYPE_NAMES) else "REG_NONE"


def filetime_text(filetime):
    """A FILETIME as keyscout prints it: UTC with seven decimals, or 0x and
    16 hexadecimal digits past the year 9999 (datetime's own limit)."""
    filetime &= 0xFFFFFFFFFFFFFFFF
    seconds, fraction = divmod(filetime, 10 ** 7)
    try:
        moment = datetime.datetime(1601, 1, 1) + datetime.timedelta(seconds=seconds)
    except OverflowError:
        return "0x%016X" % filetime
    return "%04d-%02d-%02d %02d:%02d:%02d.%07d UTC" % (
        moment.year, moment.month, moment.day, moment.hour, moment.minute, moment.second, fraction)


def flags_text(flags):
    names = [name for bit, name in enumerate(FLAG_NAMES) if flags & (1 << bit)]
    return "%04X" % flags + (" (%s)" % "|".join(names) if names else "")


def base_block_checksum(data):
    """The XOR of the 127 words before the checksum field, 0 kept as 1 and
    0xFFFFFFFF as 0xFFFFFFFE."""
    total = 0
    for word in struct.unpack_from("<127I", data, 0):
        total ^= word
    return {0: 1, 0xFFFFFFFF: 0xFFFFFFFE}.get(total, total)


class HiveCheck:
    """The comparison of one hive."""

    def __init__(self, name, path, keyscout, max_keys, sample_values, pool, scratch, decode_values=0):
        self.name = name
        self.decode_values = decode_values
        self.path = path
        self.keyscout = keyscout
        self.max_keys = max_keys
        self.sample_values = sample_values
        self.pool = pool
        self.scratch = scratch
        self.keys = 0
        self.times = 0
        self.counts = 0
        self.class_names = 0
        self.hive_info = None
        self.values = 0
        self.dumps = 0
        self.untyped = 0
        self.refused = 0
        self.unopened = None
        self.lenient = False
        self.truncated = False
        self.off_key_nodes = 0
        self.rules = collections.Counter()
        self.mismatches = []
        self.decoded = None

    def mismatch(self, what):
        self.mismatches.append(what)

    def note_rules(self, name):
        """Counts the output rules above that change how hivex's name reads."""
        units = units_of(name)
        if not stored_units(name):
            self.rules["no row (empty name)"] += 1
            return
        if 0 in units:
            self.rules["cut at a zero unit"] += 1
        elif len(units) > NAME_MAX_UNITS:
            self.rules["cut after 259 units"] += 1
        if any(u > 0xFF for u in stored_units(name)):
            self.rules["\"?\" for units above U+00FF"] += 1

    def run(self, args):
        """Exit code, standard output and standard error of one run. The line
        that says a dirty hive is read as stored is left out of standard
        error (hivex reads it as stored too), and so is the one that says a
        file is cut short, when it is."""
        result = subprocess.run([self.keyscout, "-f", self.path] + args, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, check=False)
        notes = (b"keyscout: the hive is dirty",) + ((b"keyscout: the file is shorter",) if self.truncated else ())
        err = b"".join(line for line in result.stderr.splitlines(keepends=True) if not line.startswith(notes))
        return result.returncode, result.stdout.decode("latin-1"), err

    def collect(self, h):
        """Each key hivex reaches: (node, -k path or None, subkey rows, value rows, values).

        A key whose subkeys or values hivex refuses to read is not compared
        (its expected rows are unknown); the subkeys it could name are still
        visited."""
        keys = []
        stack = [(h.root(), "")]
        while stack:
            node, path = stack.pop()
            readable = True
            subkey_rows = []
            try:
                children = h.node_children(node)
            except RuntimeError:
                children = []
                readable = False
            for child in children:
                try:
                    child_name = h.node_name(child)
                except RuntimeError:
                    readable = False
                    continue
                self.note_rules(child_name)
                if stored_units(child_name):
                    subkey_rows.append((child - HIVE_BASE, printed(child_name)))
                component = typed_component(child_name)
                child_path = None
                if path is not None and component is not None:
                    child_path = component if path == "" else path + "\\" + component
                stack.append((child, child_path))
            value_rows = []
            named = []
            try:
                for value in h.node_values(node):
                    value_name = h.value_key(value)
                    self.note_rules(value_name)
                    if stored_units(value_name):
                        value_rows.append((value - HIVE_BASE, type_name(h.value_type(value)[0]),
                                           printed(value_name)))
                        named.append((value, value_name))
            except RuntimeError:
                readable = False
            if not readable:
                self.refused += 1
                continue
            keys.append((node, path, subkey_rows, value_rows, named))
            if self.max_keys and len(keys) >= self.max_keys:
                break
        return keys

    def u16(self, at):
        return struct.unpack_from("<H", self.bytes, at)[0]

    def u32(self, at):
        return struct.unpack_from("<I", self.bytes, at)[0]

    def class_name_text(self, node):
        """The key's class name as keyscout prints it, read from the bytes:
        empty without a length, "(unreadable)" when its cell is free or too
        short for the length."""
        length = self.u16(node + NK_CLASS_LENGTH)
        if length == 0:
            return ""
        cell = HIVE_BASE + self.u32(node + NK_CLASS_NAME)
        if cell + 4 > len(self.bytes):
            return "(unreadable)"
        size = struct.unpack_from("<i", self.bytes, cell)[0]
        if size >= 0 or -size < 4 + length or cell + 4 + length > len(self.bytes):
            return "(unreadable)"
        units = struct.unpack_from("<%dH" % (length // 2), self.bytes, cell + 4)
        if 0 in units:
            units = units[:units.index(0)]
        return "".join(chr(u) if u <= 0xFF else "?" for u in units)

    def info_block(self, h, node):
        """The -i block keyscout must print for `node`: hivex's timestamp
        and counts, the rest from the key node's and base block's bytes."""
        stable = self.u32(node + NK_STABLE_COUNT)
        values = self.u32(node + NK_VALUE_COUNT)
        parent = self.u32(node + NK_PARENT)
        problems = []
        # hivex's answers where it gives one (a count of 0 comes back from
        # its Python module as an error); each must be what the bytes say.
        for what, ask, stored in (("subkey count", h.node_nr_children, stable),
                                  ("value count", h.node_nr_values, values)):
            try:
                answer = ask(node)
            except RuntimeError:
                continue
            if answer != stored:
                problems.append("hivex %s %d, key node %d" % (what, answer, stored))
        if node != h.root():
            try:
                hivex_parent = h.node_parent(node) - HIVE_BASE
                if hivex_parent != parent:
                    problems.append("hivex parent %08X, key node %08X" % (hivex_parent, parent))
            except RuntimeError:
                pass
        block = INFO_LAYOUT % (
            (filetime_text(h.node_timestamp(node)), flags_text(self.u16(node + NK_FLAGS)),
             self.class_name_text(node), stable, self.u32(node + NK_VOLATILE_COUNT), values,
             self.u32(node + NK_SECURITY), parent) + self.hive_info)
        return block, problems

    def is_key_node(self, index):
        at = HIVE_BASE + index + 4
        return self.bytes[at:at + 2] == b"nk"

    def only_entries_off_key_nodes(self, out, subkey_rows, value_rows):
        """True when `out` differs from the expected rows only by rows for
        entries that name cells which are not key nodes."""
        tail = SEPARATOR + values_block(value_rows)
        header = SEPARATOR + "Subkeys information:\nHCELL_INDEX\tKey name\n"
        start = out.find(header)
        if start < 0 or not out.endswith(tail):
            return False
        rows = out[start + len(header):len(out) - len(tail)]
        footer = re.search(r"----------------\nSubkey count : (\d+)\n$", rows)
        if not footer:
            return False
        rows = rows[:footer.start()]
        expected = ["%08X\t%s\n" % row for row in subkey_rows]
        printed_rows = 0
        extra = 0
        while rows:
            if expected and rows.startswith(expected[0]):
                rows = rows[len(expected.pop(0)):]
            else:
                # A row of its own: its name runs to the next row or the end.
                found = re.match(r"([0-9A-F]{8})\t", rows)
                if not found or self.is_key_node(int(found.group(1), 16)):
                    return False
                following = re.search(r"\n(?=[0-9A-F]{8}\t)", rows)
                rows = rows[following.end():] if following else ""
                extra += 1
            printed_rows += 1
        if expected or int(footer.group(1)) != printed_rows:
            return False
        self.off_key_nodes += extra
        return True

    def check_key(self, key):
        node, path, subkey_rows, value_rows, _, info, problems = key
        code, out, err = self.run(["-k", path, "-i", "-l", "-e"])
        # A listing short of the count its key stores is said on standard
        # error; hivex lists what it can read as well, so the rows compare.
        err = b"".join(line for line in err.splitlines(keepends=True) if not line.startswith(b"keyscout: listed "))
        listings = SEPARATOR + subkeys_block(subkey_rows) + SEPARATOR + values_block(value_rows)
        expected = SEPARATOR + info + listings
        if not problems and code == 0 and not err and (
                out.endswith(expected) or
                (SEPARATOR + info + SEPARATOR + "Subkeys information:\n" in out and
                 self.only_entries_off_key_nodes(out, subkey_rows, value_rows))):
            return None
        return "key %s (node %#x): exit %d%s\n--- expected\n%s--- got\n%s" % (
            path, node, code, "".join("; " + p for p in problems), expected,
            out[out.find(SEPARATOR):] if SEPARATOR in out else out)

    def check_dump(self, job):
        path, value, name, data, index = job
        target = os.path.join(self.scratch, "dump-%d" % index)
        code, out, err = self.run(["-k", path, "-v", typed_component(name), "-w", target])
        got = b""
        if os.path.exists(target):
            with open(target, "rb") as f:
                got = f.read()
            os.unlink(target)
        if code != 0 or err or got != data:
            return "value %s\\%s (%#x): exit %d, %d bytes written, hivex %d bytes" % (
                path, printed(name), value, code, len(got), len(data))
        return None

    def check(self, hivex_module):
        try:
            h = hivex_module.Hivex(self.path)
        except RuntimeError as error:
            # A damaged hive may still open with hivex's heuristics for
            # corrupt hives; what hivex then reads is compared all the same.
            try:
                h = hivex_module.Hivex(self.path, unsafe=True)
                self.lenient = True
            except RuntimeError:
                self.unopened = str(error)
                return
        with open(self.path, "rb") as f:
            self.bytes = f.read()
        # The hive's own lines of every -i block.
        primary, secondary = self.u32(4), self.u32(8)
        dirty = primary != secondary or base_block_checksum(self.bytes) != self.u32(0x1FC)
        # A file shorter than its hive bins' declared length.
        self.truncated = len(self.bytes) < 4096 + self.u32(0x28)
        state = ("(dirty)" if dirty else "(clean)") + (" (truncated)" if self.truncated else "")
        self.hive_info = (self.u32(0x14), self.u32(0x18), primary, secondary, state, filetime_text(h.last_modified()))
        keys = []
        for key in self.collect(h):
            if key[1] is None:
                keys.append(key)
                continue
            try:
                info, problems = self.info_block(h, key[0])
            except RuntimeError:
                self.refused += 1
                continue
            keys.append(key + (info, problems))
        typed = [k for k in keys if k[1] is not None]
        self.untyped = len(keys) - len(typed)
        for problem in self.pool.map(self.check_key, typed):
            if problem:
                self.mismatch(problem)
        self.keys = len(typed)
        # Each key's last written time against hivex, and its three stored
        # counts.
        self.times = len(typed)
        self.counts = 3 * len(typed)
        self.class_names = sum(1 for k in typed if "\nClass name      : \n" not in k[5])
        self.values = sum(len(k[3]) for k in typed)

        # The -w sample: every value above one segment, and an even spread of
        # the rest, among values -v can name uniquely.
        candidates = []
        for _, path, _, _, named, _, _ in typed:
            folded = [fold(printed(n)) for _, n in named]
            for value, name in named:
                if folded.count(fold(printed(name))) == 1 and typed_component(name) is not None:
                    candidates.append((path, value, name))
        stride = max(1, len(candidates) // self.sample_values) if self.sample_values else 0
        jobs = []
        for i, (path, value, name) in enumerate(candidates):
            try:
                length = h.value_type(value)[1]
                if length > BIG_DATA_SEGMENT or (stride and i % stride == 0):
                    jobs.append((path, value, name, h.value_value(value)[1], i))
            except RuntimeError:
                self.refused += 1
        for problem in self.pool.map(self.check_dump, jobs):
            if problem:
                self.mismatch(problem)
        self.dumps = len(jobs)
        self.decoded = DecodeCheck(self, self.decode_values)
        self.decoded.check(h, typed)
        # The hive is evidence: after every run on it, it must hold the very
        # bytes it held before the first.
        with open(self.path, "rb") as f:
            if hashlib.sha256(f.read()).digest() != hashlib.sha256(self.bytes).digest():
                self.mismatch("the runs changed the hive file %s" % self.path)

    def report(self):
        if self.unopened:
            print("%s: hivex cannot open it (%s); not compared" % (self.name, self.unopened))
            return
        extra = " (hivex in its mode for corrupt hives)" if self.lenient else ""
        if self.untyped:
            extra += ", %d keys not typable as -k" % self.untyped
        if self.off_key_nodes:
            extra += ", %d rows for entries that name no key node (hivex skips them)" % self.off_key_nodes
        if self.refused:
            extra += ", %d keys whose lists or values hivex refuses (not compared)" % self.refused
        print("%s: %d keys compared, %d last written times, %d stored counts and %d class names "
              "compared, %d values compared, %d dumps compared, %d mismatches%s" % (
                  self.name, self.keys, self.times, self.counts, self.class_names, self.values,
                  self.dumps, len(self.mismatches), extra))
        if self.rules:
            print("  names read by the output rules: " +
                  ", ".join("%s %d" % (rule, n) for rule, n in sorted(self.rules.items())))
        if self.decoded:
            self.decoded.report()
        for problem in self.mismatches[:SHOWN_PER_HIVE]:
            print("  MISMATCH " + problem.replace("\n", "\n    "))


DECODED_TEXT_TYPES = (1, 2, 6)
DECODED_LIST_TYPE = 7
DECODED_NUMBER_TYPES = {4: 4, 5: 4, 11: 8}  # type: length that fits
DECODED_TYPES = DECODED_TEXT_TYPES + (DECODED_LIST_TYPE,) + tuple(DECODED_NUMBER_TYPES)
DECODED_TITLE = "Value data : \n"
RULE_ZERO = "text cut at a zero unit"
RULE_CONTROL = "control characters as \\xNN"
RULE_HIGH = "\"?\" for units above U+00FF"
RULE_LENGTH = "length does not fit the type"
RULE_LIST_END = "list ended at its first empty string, more strings after it"


class DecodeCheck:
    """The -d lines and the -u value of one hive, against hivex."""

    def __init__(self, hive_check, limit):
        self.hive = hive_check
        self.limit = limit
        self.compared = collections.Counter()  # type name: values whose -d lines were compared
        self.rules = collections.Counter()
        self.refused = collections.Counter()  # type name: values hivex cannot decode
        self.unnamed = 0
        self.skipped = 0  # named values -v cannot name uniquely

    def text_line(self, text, rules):
        """A text as keyscout prints it, noting the rules that change it."""
        units = units_of(text)
        if 0 in units:
            units = units[:units.index(0)]
            rules.add(RULE_ZERO)
        line = ""
        for u in units:
            if is_control(u):
                line += "\\x%02X" % u
                rules.add(RULE_CONTROL)
            elif u > 0xFF:
                line += "?"
                rules.add(RULE_HIGH)
            else:
                line += chr(u)
        return "\t" + line

    def expected_lines(self, h, value):
        """(type, lines, rules) from hivex's decoding, or None when it refuses."""
        code, length = h.value_type(value)
        rules = set()
        try:
            if code in DECODED_TEXT_TYPES:
                return code, [self.text_line(h.value_string(value), rules)], rules
            if code == DECODED_LIST_TYPE:
                # hivex splits the whole data at every zero unit; the list
                # ends at its first empty string.
                texts = h.value_multiple_strings(value)
                if "" in texts:
                    if any(texts[texts.index(""):]):
                        rules.add(RULE_LIST_END)
                    texts = texts[:texts.index("")]
                return code, [self.text_line(t, rules) for t in texts], rules
            if length != DECODED_NUMBER_TYPES[code]:
                rules.add(RULE_LENGTH)
                return code, ["\t(length does not fit the type)"], rules
            if code == 11:
                number, digits = h.value_qword(value) & 0xFFFFFFFFFFFFFFFF, 16
            else:
                number, digits = h.value_dword(value) & 0xFFFFFFFF, 8
            return code, ["\t%u (0x%0*X)" % (number, digits, number)], rules
        except RuntimeError:
            self.refused[type_name(code)] += 1
            return None

    def decoded_lines(self, out):
        """The lines of the -d block of one run's output, or None."""
        at = out.find(DECODED_TITLE)
        if at < 0:
            return None
        return out[at + len(DECODED_TITLE):].split("\n")[:-1]

    def check_value(self, job):
        path, value, name, code, lines = job
        status, out, err = self.hive.run(["-k", path, "-v", typed_component(name), "-d"])
        got = self.decoded_lines(out)
        if status == 0 and not err and got == lines:
            return None
        return "decoded %s\\%s (%#x, %s): exit %d\n--- expected\n%s\n--- got\n%s" % (
            path, printed(name), value, type_name(code), status, "\n".join(lines), "\n".join(got or []))

    def check_unnamed(self, job):
        path, value, data, lines, index = job
        target = os.path.join(self.hive.scratch, "unnamed-%d" % index)
        status, out, err = self.hive.run(["-k", path, "-u", "-w", target, "-d"])
        got = b""
        if os.path.exists(target):
            with open(target, "rb") as f:
                got = f.read()
            os.unlink(target)
        end = out.find("Start dump value")
        got_lines = self.decoded_lines(out[:end if end >= 0 else len(out)])
        if status == 0 and not err and got == data and (lines is False or got_lines == lines):
            return None
        return "unnamed value of %s (%#x): exit %d, %d bytes written, hivex %d bytes, decoded %r, hivex %r" % (
            path, value, status, len(got), len(data), got_lines, lines)

    def check(self, h, keys):
        """Compares the named values of `keys` (HiveCheck.collect's, typable
        ones) by -v -d, and each key's unnamed value by -u -w -d."""
        plain, changed = [], []
        unnamed = []
        for node, path, _, _, named, *_ in keys:
            folded = [fold(printed(n)) for _, n in named]
            for value, name in named:
                if h.value_type(value)[0] not in DECODED_TYPES:
                    continue
                if folded.count(fold(printed(name))) != 1 or typed_component(name) is None:
                    self.skipped += 1
                    continue
                expected = self.expected_lines(h, value)
                if expected:
                    code, lines, rules = expected
                    (changed if rules else plain).append(((path, value, name, code, lines), rules))
            for value in h.node_values(node):
                if h.value_key(value) != "":
                    continue
                # The lines hivex's decoding gives; None when the type has no
                # block, False when hivex refuses to decode it (not compared).
                lines = None
                if h.value_type(value)[0] in DECODED_TYPES:
                    expected = self.expected_lines(h, value)
                    lines = expected[1] if expected else False
                try:
                    unnamed.append((path, value, h.value_value(value)[1], lines, len(unnamed)))
                except RuntimeError:
                    self.refused["unnamed value's data"] += 1
                break
        if self.limit and len(plain) > self.limit:
            plain = plain[::len(plain) // self.limit + 1]
        for job, rules in changed + plain:
            self.compared[type_name(job[3])] += 1
            for rule in rules:
                self.rules[rule] += 1
        for problem in self.hive.pool.map(self.check_value, [job for job, _ in changed + plain]):
            if problem:
                self.hive.mismatch(problem)
        for problem in self.hive.pool.map(self.check_unnamed, unnamed):
            if problem:
                self.hive.mismatch(problem)
        self.unnamed = len(unnamed)

    def report(self):
        counts = ", ".join("%s %d" % (t, n) for t, n in sorted(self.compared.items()))
        line = "  decoded: %d values compared (%s), %d unnamed values dumped and decoded" % (
            sum(self.compared.values()), counts or "none", self.unnamed)
        if self.skipped:
            line += ", %d values -v cannot name uniquely" % self.skipped
        if self.refused:
            line += "; hivex refuses to decode: " + ", ".join(
                "%s %d" % (t, n) for t, n in sorted(self.refused.items()))
        print(line)
        if self.rules:
            print("  decoded by the output rules: " +
                  ", ".join("%s %d" % (rule, n) for rule, n in sorted(self.rules.items())))


def decode_summary(checks):
    """One line for every hive's DecodeCheck together."""
    compared = collections.Counter()
    rules = collections.Counter()
    refused = 0
    unnamed = 0
    for c in checks:
        if c.decoded:
            compared.update(c.decoded.compared)
            rules.update(c.decoded.rules)
            refused += sum(c.decoded.refused.values())
            unnamed += c.decoded.unnamed
    print("all hives, decoded: %d values compared (%s), %d unnamed values; by the rules: %s; hivex refuses %d" % (
        sum(compared.values()), ", ".join("%s %d" % item for item in sorted(compared.items())), unnamed,
        ", ".join("%s %d" % item for item in sorted(rules.items())) or "none", refused))


def hive_files(folder, scratch):
    """(name, path) of every hive, .xz ones decompressed into `scratch`."""
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if name.endswith(".md") or not os.path.isfile(path):
            continue
        if name.endswith(".xz"):
            plain = os.path.join(scratch, name[:-3])
            with lzma.open(path) as source, open(plain, "wb") as target:
                while True:
                    block = source.read(1 << 20)
                    if not block:
                        break
                    target.write(block)
            yield name, plain
        else:
            yield name, path


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--keyscout", required=True, help="the keyscout binary")
    parser.add_argument("--hives", default="", help="folder of real hives ($KEYSCOUT_HIVES overrides it)")
    parser.add_argument("--max-keys", type=int, default=0, help="keys per hive (0: every key)")
    parser.add_argument("--sample-values", type=int, default=100, help="values per hive whose data is dumped")
    parser.add_argument("--jobs", type=int, default=2, help="keyscout processes at a time")
    parser.add_argument("--decode-values", type=int, default=0,
                        help="named values per hive whose -d is compared beyond those the rules change (0: all)")
    args = parser.parse_args()

    try:
        import hivex
    except ImportError:
        print("SKIP: the hivex Python module (python3-hivex) is not installed")
        return SKIP
    folder = os.environ.get("KEYSCOUT_HIVES") or args.hives
    if not folder or not os.path.isdir(folder):
        print("SKIP: no folder of real hives (%s)" % (folder or "none given"))
        return SKIP
    # hivex's handle prints a note when a refused open is collected.
    sys.unraisablehook = lambda _: None

    total = 0
    checks = []
    with tempfile.TemporaryDirectory(prefix="keyscout-diff-") as scratch, \
            concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        for name, path in hive_files(folder, scratch):
            check = HiveCheck(name, path, args.keyscout, args.max_keys, args.sample_values, pool, scratch,
                              args.decode_values)
            check.check(hivex)
            check.report()
            sys.stdout.flush()
            checks.append(check)
            total += len(check.mismatches)
            if path.startswith(scratch):
                os.unlink(path)
    keys = sum(c.keys for c in checks)
    times = sum(c.times for c in checks)
    counts = sum(c.counts for c in checks)
    class_names = sum(c.class_names for c in checks)
    values = sum(c.values for c in checks)
    dumps = sum(c.dumps for c in checks)
    print("all hives: %d keys compared, %d last written times, %d stored counts and %d class names "
          "compared, %d values compared, %d dumps compared, %d mismatches" % (
              keys, times, counts, class_names, values, dumps, total))
    decode_summary(checks)
    if keys == 0:
        print("SKIP: hivex opened no hive")
        return SKIP
    return 1 if total else 0


if __name__ == "__main__":
    sys.exit(main())
