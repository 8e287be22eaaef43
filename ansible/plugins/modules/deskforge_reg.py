#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: the Ravelin authors
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: deskforge_reg
short_description: Add, change or remove registry keys and values of a Windows machine offline
description:
  - The offline counterpart of C(ansible.windows.win_regedit), with the same parameter names
    where they apply, for a Wine prefix or a Windows system drive or hive folder on the
    managed host. It runs C(deskforge reg add) and C(deskforge reg delete).
  - Writes only when the machine does not already hold the key or value as asked; each write
    is one transaction in the machine's journal, and C(changed) is true exactly when one was
    journalled.
  - A write the machine refuses (Wine running on the prefix) fails the task with the reason.
version_added: "1.0.0"
author: the Ravelin authors
options:
  machine:
    description: The machine folder, a Wine prefix or a Windows system drive or hive folder.
    type: path
    required: true
    aliases: [prefix]
  path:
    description:
      - The registry key, such as C(HKLM:\SOFTWARE\Vendor) or C(HKEY_CURRENT_USER\Software\Vendor).
        The colon after the hive is optional.
    type: str
    required: true
    aliases: [key]
  name:
    description:
      - The value's name. Omitted or empty, the key's default value; omitted together with
        I(data), only the key.
    type: str
    aliases: [entry, value]
  data:
    description:
      - The value's data. C(dword) and C(qword) take a number or a C(0x) hexadecimal text;
        C(binary) and C(none) a list of bytes or hexadecimal text (C(hex:be,ef) or C(beef));
        C(multistring) a list of strings.
    type: raw
  type:
    description: The value's type.
    type: str
    default: string
    choices: [none, binary, dword, expandstring, multistring, string, qword]
    aliases: [datatype]
  state:
    description: Whether the key or value is present or absent.
    type: str
    default: present
    choices: [present, absent]
  delete_key:
    description:
      - With I(state=absent) and no I(name), remove the whole key; when false, only its
        default value.
    type: bool
    default: true
  view:
    description: The registry view for keys that 64-bit Windows redirects.
    type: str
    choices: ['32', '64']
  deskforge_bin:
    description: The deskforge program; by default C(deskforge) on the C(PATH).
    type: path
notes:
  - Check mode runs the command with C(--dry-run) and writes nothing.
  - Diff mode returns the C(.reg) patch of what changes.
  - Pure Python; needs only the deskforge program on the managed host.
"""

EXAMPLES = r"""
- name: Plug and Play off on every prefix
  ravelin.deskforge.deskforge_reg:
    machine: "{{ item }}"
    path: HKLM:\SOFTWARE\Microsoft\DirectPlayNATHelp\DPNHUPnP
    name: UPnPMode
    data: 2
    type: dword
  loop: "{{ prefixes }}"

- name: A search path list
  ravelin.deskforge.deskforge_reg:
    machine: /mnt/windows
    path: HKCU:\Software\Vendor\Tool
    name: Paths
    type: multistring
    data: ['C:\Tools', 'D:\Shared']

- name: The vendor's key goes
  ravelin.deskforge.deskforge_reg:
    machine: ~/.wine
    path: HKCU:\Software\Vendor
    state: absent
"""

RETURN = r"""
transactions:
  description: The journal's numbers of the transactions this task made.
  returned: always
  type: list
  elements: int
diff:
  description: The .reg patch of what changes.
  returned: diff mode, when something changes
  type: dict
"""

import re

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ravelin.deskforge.plugins.module_utils.deskforge import (
    not_found,
    Deskforge,
    deskforge_argument_spec,
    effective_patch,
    first_error,
    split_dry_run,
)

TYPES = dict(
    none="REG_NONE",
    binary="REG_BINARY",
    dword="REG_DWORD",
    expandstring="REG_EXPAND_SZ",
    multistring="REG_MULTI_SZ",
    string="REG_SZ",
    qword="REG_QWORD",
)

HIVES = dict(
    HKLM="HKEY_LOCAL_MACHINE",
    HKCU="HKEY_CURRENT_USER",
    HKU="HKEY_USERS",
    HKCR="HKEY_CLASSES_ROOT",
    HKCC="HKEY_CURRENT_CONFIG",
)


def normalise_path(module, path):
    m = re.match(r"^(HK[A-Za-z_]+):?(\\.*)?$", path.strip().replace("/", "\\"))
    if not m:
        module.fail_json(msg="path %s: not a registry key (such as HKLM:\\SOFTWARE\\Vendor)" % path)
    hive = m.group(1).upper()
    hive = HIVES.get(hive, hive)
    if hive not in HIVES.values():
        module.fail_json(msg="path %s: unknown hive %s" % (path, m.group(1)))
    rest = (m.group(2) or "").rstrip("\\")
    return hive + rest


def _number(module, data, bits):
    if isinstance(data, bool):
        module.fail_json(msg="data: a number is needed for this type, not %r" % data)
    if isinstance(data, int):
        value = data
    else:
        text = str(data).strip()
        try:
            value = int(text, 16) if text.lower().startswith("0x") else int(text, 10)
        except ValueError:
            module.fail_json(msg="data: %s is not a number" % text)
    if value < 0 or value >= 1 << bits:
        module.fail_json(msg="data: %s does not fit in %d bits" % (data, bits))
    return str(value)


def _bytes(module, data):
    if data is None:
        return ""
    if isinstance(data, list):
        out = []
        for item in data:
            value = int(item, 16) if isinstance(item, str) else item
            if not isinstance(value, int) or not 0 <= value <= 255:
                module.fail_json(msg="data: %r is not a byte" % item)
            out.append("%02x" % value)
        return "".join(out)
    text = str(data).strip()
    if text.lower().startswith("hex:"):
        text = text[4:]
    text = re.sub(r"0x", "", text, flags=re.I)
    text = re.sub(r"[\s,]", "", text)
    if not re.match(r"^[0-9a-fA-F]*$", text):
        module.fail_json(msg="data: %s is not hexadecimal bytes" % data)
    return text


def data_arguments(module, type_name, data):
    """The /t, /d and /s switches of reg add."""
    kind = TYPES[type_name]
    args = ["/t", kind]
    if kind in ("REG_SZ", "REG_EXPAND_SZ"):
        text = "" if data is None else str(data)
        return args + ["/d", text]
    if kind == "REG_DWORD":
        return args + ["/d", _number(module, 0 if data is None else data, 32)]
    if kind == "REG_QWORD":
        return args + ["/d", _number(module, 0 if data is None else data, 64)]
    if kind == "REG_MULTI_SZ":
        items = [] if data is None else data if isinstance(data, list) else [data]
        items = [str(i) for i in items]
        if any(i == "" for i in items):
            module.fail_json(msg="data: a multistring cannot hold an empty string")
        # A separator no item holds.
        for sep in "|~^#;\x1f":
            if not any(sep in i for i in items):
                return args + ["/s", sep, "/d", sep.join(items)]
        module.fail_json(msg="data: no separator character is free for these strings")
    return args + ["/d", _bytes(module, data)]


def argument_spec():
    options = dict(
        machine=dict(type="path", required=True, aliases=["prefix"]),
        path=dict(type="str", required=True, aliases=["key"]),
        name=dict(type="str", aliases=["entry", "value"]),
        data=dict(type="raw"),
        type=dict(type="str", default="string", choices=sorted(TYPES), aliases=["datatype"]),
        state=dict(type="str", default="present", choices=["present", "absent"]),
        delete_key=dict(type="bool", default=True),
        view=dict(type="str", choices=["32", "64"]),
    )
    options.update(deskforge_argument_spec())
    return options


def main():
    module = AnsibleModule(argument_spec=argument_spec(), supports_check_mode=True)
    p = module.params
    key = normalise_path(module, p["path"])
    name = p["name"]
    value_switch = [] if name is None and p["data"] is None else (
        ["/ve"] if not name else ["/v", name])
    view = ["/reg:%s" % p["view"]] if p["view"] else []

    if p["state"] == "present":
        args = ["reg", "add", key] + value_switch
        if value_switch:
            args += data_arguments(module, p["type"], p["data"])
        args += ["/f"] + view
    else:
        if name is None:
            value_switch = [] if p["delete_key"] else ["/ve"]
        elif not name:
            value_switch = ["/ve"]
        else:
            value_switch = ["/v", name]
        args = ["reg", "delete", key] + value_switch + ["/f"] + view

    df = Deskforge(module, p["machine"])
    result = dict(changed=False, transactions=[], key=key)
    rc, out, err = df.run(args + ["--dry-run"])
    if rc != 0:
        if p["state"] == "absent" and not_found(err + out):
            df.cleanup()
            module.exit_json(**result)  # nothing to remove
        df.fail("%s: %s" % (key, first_error(err or out)), **result)
    _, reg_text, file_diffs = split_dry_run(out)
    patch = effective_patch(df, reg_text, file_diffs)
    if patch.changes and module._diff:
        result["diff"] = dict(prepared=patch.text())
    if module.check_mode or not patch.changes:
        result["changed"] = patch.changes
        df.cleanup()
        module.exit_json(**result)

    before = df.journal_ids()
    rc, out, err = df.run(args)
    made = sorted(df.journal_ids() - before)
    result.update(transactions=made, changed=bool(made))
    if rc != 0:
        df.fail("%s: %s" % (key, first_error(err or out)), **result)
    df.cleanup()
    module.exit_json(**result)


if __name__ == "__main__":
    main()
