# -*- coding: utf-8 -*-
# Copyright: the Ravelin authors
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
"""What the deskforge modules share: running the binary, the journal, and .reg patches.

deskforge journals every write it is asked to make, also one that leaves a value as it
was. A task must report a change only where something would really change, so every
module first asks for the patch with --dry-run, drops what the machine already holds,
and writes only when something is left.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import os
import re
import shutil
import tempfile

REG_HEADER = "Windows Registry Editor Version 5.00"
MASK = "********"
# deskforge speaks the language of its locale: German, or English with its catalogue.
NOT_FOUND = (
    "unable to find the specified registry key or value",
    "kann den angegebenen registrierungsschlüssel bzw. wert nicht finden",
)
ERROR_PREFIXES = ("ERROR:", "FEHLER:")

_SENSITIVE_COMMENT = re.compile(r'^;\s*(".*"|@)\s+holds sensitive data')


def deskforge_argument_spec():
    return dict(
        deskforge_bin=dict(type="path"),
    )


def find_deskforge(module):
    """The binary the task names, else the one on the managed host's PATH."""
    wanted = module.params.get("deskforge_bin")
    if wanted:
        if os.path.isfile(wanted) and os.access(wanted, os.X_OK):
            return wanted
        found = module.get_bin_path(wanted, required=False)
        if found:
            return found
        module.fail_json(msg="deskforge_bin %s is not an executable file" % wanted)
    return module.get_bin_path(
        "deskforge", required=True, opt_dirs=["/usr/local/bin", "/opt/deskforge/bin"]
    )


def not_found(text):
    """Whether deskforge said the key or value does not exist."""
    text = (text or "").lower()
    return any(words in text for words in NOT_FOUND)


def first_error(text):
    """The first line deskforge reported an error on, without its prefix."""
    lines = [line.strip() for line in (text or "").splitlines() if line.strip()]
    for line in lines:
        for prefix in ERROR_PREFIXES:
            if line.startswith(prefix):
                return line[len(prefix):].strip()
    return lines[0] if lines else ""


class Deskforge(object):
    """deskforge on one machine folder."""

    def __init__(self, module, machine):
        self.module = module
        self.machine = machine
        self.binary = find_deskforge(module)
        self._tmpdir = None

    def run(self, args, data=None):
        cmd = [self.binary, "--machine", self.machine] + list(args)
        return self.module.run_command(cmd, data=data, binary_data=data is not None)

    def tmpdir(self):
        if self._tmpdir is None:
            # Beside the module's own temporary files, removed when this run ends.
            self._tmpdir = tempfile.mkdtemp(prefix="deskforge-", dir=self.module.tmpdir)
        return self._tmpdir

    def cleanup(self):
        if self._tmpdir:
            shutil.rmtree(self._tmpdir, ignore_errors=True)
            self._tmpdir = None

    # --- the journal ---

    def journal_ids(self):
        rc, out, err = self.run(["journal", "list"])
        if rc != 0:
            self.fail("cannot read the journal: %s" % first_error(err or out))
        ids = set()
        for line in out.splitlines():
            word = line.split(None, 1)[0] if line.strip() else ""
            if word.isdigit():
                ids.add(int(word))
        return ids

    # --- what the machine holds now ---

    def export(self, key):
        """The key and its subkeys as parsed .reg entries, or None when it does not exist."""
        target = os.path.join(self.tmpdir(), "export.reg")
        if os.path.exists(target):
            os.remove(target)
        rc, out, err = self.run(["reg", "export", key, target, "/y"])
        if rc != 0:
            if not_found(err + out):
                return None
            self.fail("cannot read %s: %s" % (key, first_error(err or out)))
        with open(target, "rb") as f:
            raw = f.read()
        return parse_reg(decode_reg(raw))

    def fail(self, msg, **kwargs):
        self.cleanup()
        self.module.fail_json(msg=msg, **kwargs)


def decode_reg(raw):
    if raw.startswith(b"\xff\xfe") or raw.startswith(b"\xfe\xff"):
        return raw.decode("utf-16")
    return raw.decode("utf-8", "replace")


# --- .reg text ---


def _logical_lines(text):
    """Lines of a .reg text with hex continuations joined."""
    out = []
    pending = None
    for line in text.replace("\r\n", "\n").split("\n"):
        if pending is not None:
            line = pending + line.strip()
            pending = None
        if line.endswith("\\") and "=" in line and not line.startswith("["):
            pending = line[:-1]
            continue
        out.append(line)
    if pending is not None:
        out.append(pending)
    return out


def _value_name(line):
    """(name, rest after '=') of a value line, or None."""
    if line.startswith("@="):
        return "", line[2:]
    if not line.startswith('"'):
        return None
    name = []
    i = 1
    while i < len(line):
        ch = line[i]
        if ch == "\\" and i + 1 < len(line):
            name.append(line[i + 1])
            i += 2
            continue
        if ch == '"':
            break
        name.append(ch)
        i += 1
    if i >= len(line) or line[i + 1:i + 2] != "=":
        return None
    return "".join(name), line[i + 2:]


def parse_reg(text):
    """Entries of a .reg text in order: ("key", KEY, deleted), ("value", KEY, NAME, DATA
    or None for a deletion, the line), ("sensitive", KEY, NAME, the line)."""
    entries = []
    key = None
    for line in _logical_lines(text):
        stripped = line.strip()
        if not stripped or stripped == REG_HEADER or stripped == "REGEDIT4":
            continue
        if stripped.startswith("[") and stripped.endswith("]"):
            inner = stripped[1:-1]
            deleted = inner.startswith("-")
            key = inner[1:] if deleted else inner
            entries.append(("key", key, deleted))
            continue
        if stripped.startswith(";"):
            m = _SENSITIVE_COMMENT.match(stripped)
            if m and key is not None:
                name = m.group(1)
                name = "" if name == "@" else name[1:-1]
                entries.append(("sensitive", key, name, stripped))
            continue
        parsed = _value_name(stripped)
        if parsed is None or key is None:
            continue
        name, data = parsed
        entries.append(("value", key, name, None if data == "-" else data, stripped))
    return entries


def split_dry_run(out):
    """(the lines a script printed, the .reg text, the unified file diffs) of a dry run's
    standard output."""
    lines = out.replace("\r\n", "\n").split("\n")
    reg_at = None
    for i, line in enumerate(lines):
        if line == REG_HEADER:
            reg_at = i
            break
    diff_at = None
    for i in range(reg_at + 1 if reg_at is not None else 0, len(lines) - 1):
        if lines[i].startswith("--- ") and lines[i + 1].startswith("+++ "):
            diff_at = i
            break
    end_of_output = reg_at if reg_at is not None else diff_at
    if end_of_output is None:
        end_of_output = len(lines)
    printed = [line for line in lines[:end_of_output] if line != ""]
    reg_text = ""
    if reg_at is not None:
        reg_text = "\n".join(lines[reg_at:diff_at if diff_at is not None else len(lines)])
    file_diffs = "\n".join(lines[diff_at:]).rstrip("\n") + "\n" if diff_at is not None else ""
    return printed, reg_text, file_diffs


class PatchResult(object):
    """The part of a patch the machine does not hold yet."""

    def __init__(self):
        self.sections = []  # (key, deleted, [lines])
        self.sensitive = []  # (key, line): written, content unknown
        self.file_diffs = ""

    @property
    def changes(self):
        return bool(self.sections) or bool(self.file_diffs)

    def text(self):
        if not self.sections and not self.sensitive:
            return self.file_diffs
        out = [REG_HEADER, ""]
        sensitive = {}
        for key, line in self.sensitive:
            sensitive.setdefault(key.lower(), []).append(line)
        seen = set()
        for key, deleted, lines in self.sections:
            if deleted:
                out += ["[-%s]" % key, ""]
                continue
            seen.add(key.lower())
            out.append("[%s]" % key)
            out += lines + sensitive.get(key.lower(), [])
            out.append("")
        for key, line in self.sensitive:
            if key.lower() not in seen:
                seen.add(key.lower())
                out += ["[%s]" % key] + sensitive[key.lower()] + [""]
        return "\n".join(out) + "\n" + self.file_diffs


class _Current(object):
    """What the machine holds under the keys a patch touches, exported once per key."""

    def __init__(self, deskforge):
        self.deskforge = deskforge
        self.keys = {}  # lower-case key -> True/False
        self.values = {}  # (lower-case key, lower-case name) -> data
        self.children = {}  # lower-case key -> [lower-case keys below it, itself included]
        self.values_of = {}  # lower-case key -> [(name, data)]

    def load(self, key):
        k = key.lower()
        if k in self.keys:
            return
        entries = self.deskforge.export(key)
        if entries is None:
            self.keys[k] = False
            self.children[k] = []
            return
        below = []
        for entry in entries:
            ek = entry[1].lower()
            if entry[0] == "key":
                self.keys[ek] = True
                below.append(ek)
            elif entry[0] == "value":
                self.values[(ek, entry[2].lower())] = entry[3]
                self.values_of.setdefault(ek, []).append(entry[2])
        self.keys.setdefault(k, True)
        self.children[k] = below

    def exists(self, key):
        self.load(key)
        return self.keys[key.lower()]

    def value(self, key, name):
        self.load(key)
        return self.values.get((key.lower(), name.lower()))


def effective_patch(deskforge, reg_text, file_diffs=""):
    """The changes of a dry run's patch that the machine does not hold yet."""
    current = _Current(deskforge)
    order = []  # keys in the order the patch names them
    names = {}  # lower-case key -> the key as the patch spells it
    final_keys = {}
    final_values = {}  # (lower key, lower name) -> (name, data or None, line)
    value_order = []
    sensitive = []

    def note(key):
        k = key.lower()
        if k not in names:
            names[k] = key
            order.append(k)
        return k

    for entry in parse_reg(reg_text):
        kind, key = entry[0], entry[1]
        k = note(key)
        if kind == "key":
            if entry[2]:
                current.load(key)
                # The key goes with everything below it.
                gone = set(current.children.get(k, [])) | {k}
                gone |= {other for other in final_keys if other.startswith(k + "\\")}
                for g in gone:
                    final_keys[g] = False
                    if g not in names:
                        names[g] = g
                for vk in list(final_values):
                    if vk[0] in gone:
                        final_values[vk] = (final_values[vk][0], None, None)
                for g in gone:
                    for name in current.values_of.get(g, []):
                        if (g, name.lower()) not in final_values:
                            value_order.append((g, name.lower()))
                        final_values[(g, name.lower())] = (name, None, None)
            else:
                final_keys[k] = True
        elif kind == "value":
            final_keys[k] = True
            vk = (k, entry[2].lower())
            if vk not in final_values:
                value_order.append(vk)
            final_values[vk] = (entry[2], entry[3], entry[4])
        elif kind == "sensitive":
            final_keys[k] = True
            sensitive.append((key, entry[3]))

    result = PatchResult()
    result.file_diffs = file_diffs
    lines_of = {}
    for vk in value_order:
        k = vk[0]
        name, data, line = final_values[vk]
        now = current.value(names.get(k, k), name)
        if data is None:
            if now is None or final_keys.get(k) is False:
                continue  # absent already, or gone with its key
            line = '@=-' if name == "" else '"%s"=-' % name.replace("\\", "\\\\").replace('"', '\\"')
        elif now == data:
            continue
        lines_of.setdefault(k, []).append(line)
    for k in order + [g for g in final_keys if g not in order]:
        key = names.get(k, k)
        exists = current.exists(key)
        if final_keys.get(k) is False:
            if exists:
                result.sections.append((key, True, []))
            continue
        if k in lines_of or not exists:
            result.sections.append((key, False, lines_of.get(k, [])))
    # Keys deleted with a parent need no line of their own.
    deleted = [s[0].lower() for s in result.sections if s[1]]
    result.sections = [
        s for s in result.sections
        if not (s[1] and any(s[0].lower().startswith(d + "\\") for d in deleted))
    ]
    result.sensitive = sensitive
    return result
