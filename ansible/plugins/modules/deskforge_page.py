#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: the Ravelin authors
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: deskforge_page
short_description: Run a script of user actions on a settings page of a Windows machine
description:
  - Runs C(deskforge run PAGE -) on the managed host, on a Wine prefix or a Windows system
    drive, with one user action a line (C(tab), C(click), C(check), C(set), ...), as a person
    would use the page.
  - The script is first run with C(--dry-run); the task writes only when the resulting patch
    changes something the machine does not already hold, so a second run reports no change.
  - Each user action is one transaction in the machine's journal; C(changed) is true exactly
    when the run journalled a transaction.
  - The first failing line fails the task with its number and message, and nothing is written
    (the dry run finds it first). A write the machine refuses (Wine running on the prefix, a
    Firefox profile in use) fails the task with the reason.
  - Text set into a password control (its name holds C(Password), C(Pwd), C(Kennwort), or it
    is listed in I(sensitive_controls)) and the values of I(secrets) never appear in results
    or logs.
version_added: "1.0.0"
author: the Ravelin authors
options:
  machine:
    description: The machine folder, a Wine prefix or a Windows system drive or hive folder.
    type: path
    required: true
    aliases: [prefix]
  page:
    description: The page.
    type: str
    required: true
    choices: [tcpip, internet, explorer, firefox, opera, logon, mailchat]
  script:
    description:
      - The user actions, one line each, in deskforge's script language.
      - Words are separated by blanks; double quotes group words and take C(\\"), C(\\\\),
        C(\\n) and C(\\t); single quotes group words and take every character as it stands,
        so that C('C:\temp') is that path.
    type: list
    elements: str
    required: true
  secrets:
    description:
      - Values a line refers to as C(@{NAME}) (inside its double quotes), kept out of every
        result and log. Quotes and backslashes in a value are escaped for the script.
    type: dict
    default: {}
  sensitive_controls:
    description:
      - Further controls whose text is secret, besides those whose name marks a password.
    type: list
    elements: str
    default: []
  firefox_root:
    description: The Firefox folder with C(profiles.ini), for the C(firefox) page, instead of
      the machine's own profiles.
    type: path
  deskforge_bin:
    description: The deskforge program; by default C(deskforge) on the C(PATH).
    type: path
notes:
  - Check mode runs the script with C(--dry-run) and writes nothing.
  - Diff mode returns the C(.reg) patch and the unified diffs of changed files. Values the
    page marks as sensitive show as comments without their content.
  - Pure Python; needs only the deskforge program on the managed host.
"""

EXAMPLES = r"""
- name: Automatic logon for the kiosk user
  ravelin.deskforge.deskforge_page:
    machine: /srv/prefixes/kiosk
    page: logon
    script:
      - tab tsAutoLogon
      - check chkAutoLogon on
      - set txtAutoLogonUserName "kiosk"
      - set txtAutoLogonPassword "@{password}"
      - focus txtAutoLogonDomain
    secrets:
      password: "{{ vault_kiosk_password }}"
  no_log: true

- name: Administrative shares off, firewall on
  ravelin.deskforge.deskforge_page:
    machine: "{{ item }}"
    page: internet
    script:
      - check chkAdminShares off
      - tab tsInternet
      - check chkEnableICFnICS on
  loop: "{{ prefixes }}"
"""

RETURN = r"""
transactions:
  description: The journal's numbers of the transactions this run made (for C(deskforge journal undo)).
  returned: always
  type: list
  elements: int
  sample: [12, 13]
output:
  description: What the script printed (message boxes, C(print) lines, launches), from the dry run.
  returned: always
  type: list
  elements: str
script:
  description: The script as run, secret text replaced by asterisks.
  returned: always
  type: list
  elements: str
line:
  description: The number of the line that failed.
  returned: failed on a line
  type: int
diff:
  description: The .reg patch and the unified diffs of the files the run changes.
  returned: diff mode, when something changes
  type: dict
"""

import re

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ravelin.deskforge.plugins.module_utils.deskforge import (
    MASK,
    Deskforge,
    deskforge_argument_spec,
    effective_patch,
    first_error,
    split_dry_run,
)

_SECRET_NAME = re.compile(r"(?i)(passw|kennw|pwd|secret|geheim)")
_PLACEHOLDER = re.compile(r"@\{([A-Za-z0-9_]+)\}")


def split_line(line):
    """The words of a script line as (start, end, text) of each, as deskforge splits it."""
    words = []
    i = 0
    n = len(line)
    while i < n:
        while i < n and line[i] in " \t\r":
            i += 1
        if i >= n:
            break
        start = i
        word = []
        if line[i] == '"':
            i += 1
            while i < n:
                ch = line[i]
                i += 1
                if ch == "\\" and i < n and line[i] in '"\\':
                    word.append(line[i])
                    i += 1
                elif ch == "\\" and i < n and line[i] in "nt":
                    word.append("\n" if line[i] == "n" else "\t")
                    i += 1
                elif ch == '"':
                    break
                else:
                    word.append(ch)
        elif line[i] == "'":
            # Single quotes take every character as it stands, up to the next one.
            close = line.find("'", i + 1)
            close = n if close < 0 else close
            word.append(line[i + 1:close])
            i = min(close + 1, n)
        else:
            while i < n and line[i] not in " \t\r":
                word.append(line[i])
                i += 1
        words.append((start, i, "".join(word)))
    return words


def quote(text):
    return (
        text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n").replace("\t", "\\t")
    )


class Script(object):
    """The task's lines: the text deskforge gets, and what may be shown of it."""

    def __init__(self, lines, secrets, sensitive_controls):
        self.lines = [line if isinstance(line, str) else str(line) for line in lines]
        self.secrets = dict((k, "" if v is None else str(v)) for k, v in secrets.items())
        self.extra = set(c.lower() for c in sensitive_controls)
        self.hidden = set()  # texts that must not be shown
        self.unknown = []
        self.run_lines = []
        self.shown_lines = []
        self.secret_lines = set()  # numbers of lines (from 1) with hidden text
        for number, line in enumerate(self.lines, 1):
            self._add(number, line)

    def sensitive(self, control):
        name = control.split(".")[-1]
        return bool(_SECRET_NAME.search(name)) or control.lower() in self.extra or \
            name.lower() in self.extra

    def _add(self, number, line):
        def substitute(m):
            name = m.group(1)
            if name not in self.secrets:
                self.unknown.append(name)
                return m.group(0)
            self.secret_lines.add(number)
            return quote(self.secrets[name])

        run = _PLACEHOLDER.sub(substitute, line)
        words = split_line(run)
        shown = line
        verb = words[0][2] if words else ""
        if len(words) >= 3 and verb in ("set", "type", "expect") and self.sensitive(words[1][2]):
            # The text of a password control, in whatever form the line holds it.
            secret = words[2] if verb != "expect" else words[-1]
            if verb != "expect" or words[-2][2] == "text":
                start, end, text = secret
                if text:
                    self.hidden.add(text)
                    self.hidden.add(run[start:end])
            # Also the raw rest of the line, should it not split as meant.
            # and the whole line, as the task's arguments hold it.
            tail = run[words[1][1]:].strip()
            if tail:
                self.hidden.add(tail)
            self.hidden.add(line)
            self.hidden.add(run)
            self.secret_lines.add(number)
            original = split_line(line)
            shown = line[:original[1][1]] + " " + MASK
        self.run_lines.append(run)
        self.shown_lines.append(shown)

    def text(self):
        return "\n".join(self.run_lines) + "\n"

    def probe(self):
        """The script with each replaced text checked first: it runs through only where every
        control already shows the text a line sets."""
        out = []
        for line in self.run_lines:
            words = split_line(line)
            if len(words) == 3 and words[0][2] == "set":
                out.append('expect %s text "%s"' % (words[1][2], quote(words[2][2])))
            elif words and words[0][2] == "type":
                return None  # typed text joins what is there: no way to tell beforehand
            out.append(line)
        return "\n".join(out) + "\n"

    def mask(self, text):
        for secret in sorted(self.hidden | set(self.secrets.values()), key=len, reverse=True):
            if secret:
                text = text.replace(secret, MASK)
        return text


class PageModule(AnsibleModule):
    def _log_invocation(self):
        # The module's invocation is logged before the task runs: the script's secret text
        # must be known by then.
        p = self.params
        script = Script(p.get("script") or [], p.get("secrets") or {},
                        p.get("sensitive_controls") or [])
        self.no_log_values.update(s for s in script.hidden if s)
        # The log shows a list as its repr, where quotes and backslashes come escaped.
        self.no_log_values.update(repr(s)[1:-1] for s in script.hidden if s)
        super(PageModule, self)._log_invocation()


# "line" in English, "Zeile" in German: deskforge speaks the language of its locale.
_LINE = re.compile(r"^(?:-|[^:]*):\s*(?:line|Zeile) (\d+):\s*(.*)$", re.S)


def argument_spec():
    options = dict(
        machine=dict(type="path", required=True, aliases=["prefix"]),
        page=dict(
            type="str",
            required=True,
            choices=["tcpip", "internet", "explorer", "firefox", "opera", "logon", "mailchat"],
        ),
        script=dict(type="list", elements="str", required=True),
        secrets=dict(type="dict", default={}, no_log=True),
        sensitive_controls=dict(type="list", elements="str", default=[]),
        firefox_root=dict(type="path"),
    )
    options.update(deskforge_argument_spec())
    return options


def main():
    module = PageModule(argument_spec=argument_spec(), supports_check_mode=True)
    p = module.params
    script = Script(p["script"], p["secrets"], p["sensitive_controls"])
    module.no_log_values.update(s for s in script.hidden if s)
    if script.unknown:
        module.fail_json(msg="the script refers to secrets that are not given: %s"
                         % ", ".join(sorted(set(script.unknown))))

    df = Deskforge(module, p["machine"])
    base = ["run", p["page"], "-"]
    if p["firefox_root"]:
        base = ["--firefox-root", p["firefox_root"]] + base
    result = dict(changed=False, transactions=[], output=[], script=script.shown_lines)

    def fail_run(err, out):
        message = first_error(err or out)
        m = _LINE.match(message)
        extra = {}
        if m:
            number = int(m.group(1))
            message = "line %d: %s" % (number, m.group(2))
            if number in script.secret_lines:
                # The message may quote what the control holds: not for the log.
                message = re.sub(r'"(?:[^"\\]|\\.)*"|\'[^\']*\'', '"%s"' % MASK, message)
            if 1 <= number <= len(script.shown_lines):
                message += " (%s)" % script.shown_lines[number - 1]
            extra["line"] = number
        result.update(extra)
        df.fail(script.mask(message or "deskforge failed"), **result)

    rc, out, err = df.run(base + ["--dry-run"], data=script.text())
    printed, reg_text, file_diffs = split_dry_run(out)
    result["output"] = [script.mask(line) for line in printed]
    if rc != 0:
        fail_run(err, out)
    patch = effective_patch(df, reg_text, file_diffs)
    changes = patch.changes
    if not changes and patch.sensitive:
        # Values the page keeps secret are written without showing them: they change only
        # where a control does not already show the text the script sets.
        probe = script.probe()
        if probe is None:
            changes = True
        else:
            rc, _, _ = df.run(base + ["--dry-run"], data=probe)
            changes = rc != 0
    if changes and module._diff:
        result["diff"] = dict(prepared=script.mask(patch.text()))
    if module.check_mode or not changes:
        result["changed"] = changes
        df.cleanup()
        module.exit_json(**result)

    before = df.journal_ids()
    rc, out, err = df.run(base, data=script.text())
    made = sorted(df.journal_ids() - before)
    result["transactions"] = made
    result["changed"] = bool(made)
    if rc != 0:
        fail_run(err, out)
    df.cleanup()
    module.exit_json(**result)


if __name__ == "__main__":
    main()
