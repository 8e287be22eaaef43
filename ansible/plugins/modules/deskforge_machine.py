#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: the Ravelin authors
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: deskforge_machine
short_description: Create a sample Windows machine and report what deskforge detects on it
description:
  - Creates a sample machine from one of deskforge's templates (C(deskforge machine create))
    where the folder holds no machine yet, as a Wine prefix or, with I(hives), as a Windows
    system drive with NT hive files.
  - Reports C(deskforge machine info --json) of the machine, created or found, as the fact
    C(deskforge_machine) (Windows version, accounts, browsers, folders).
  - An existing machine is left as it is, whatever I(template) names.
version_added: "1.0.0"
author: the Ravelin authors
options:
  path:
    description: The machine folder.
    type: path
    required: true
    aliases: [machine, prefix]
  template:
    description:
      - The template of a new machine. Without it, a folder that holds no machine fails the
        task, so the module only gathers facts.
    type: str
    choices: [nt-base, win98, win2000, winxp, vista, win7, bare]
  hives:
    description: A Windows system drive with NT hive files instead of a Wine prefix.
    type: bool
    default: false
  deskforge_bin:
    description: The deskforge program; by default C(deskforge) on the C(PATH).
    type: path
notes:
  - Check mode reports whether the machine would be created and creates nothing.
"""

EXAMPLES = r"""
- name: A Windows XP prefix to try settings on
  ravelin.deskforge.deskforge_machine:
    path: /srv/prefixes/sample-xp
    template: winxp

- name: What the host detects on an existing prefix
  ravelin.deskforge.deskforge_machine:
    path: ~/.wine
- ansible.builtin.debug:
    var: ansible_facts.deskforge_machine.product_name
"""

RETURN = r"""
info:
  description: C(deskforge machine info --json) of the machine.
  returned: unless a check run would create it
  type: dict
  sample:
    kind: wine
    product_name: Microsoft Windows XP
    version: "5.1"
    user: anna
ansible_facts:
  description: The same, as the fact C(deskforge_machine).
  returned: unless a check run would create it
  type: dict
"""

import json
import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ravelin.deskforge.plugins.module_utils.deskforge import (
    Deskforge,
    deskforge_argument_spec,
    first_error,
)


def argument_spec():
    options = dict(
        path=dict(type="path", required=True, aliases=["machine", "prefix"]),
        template=dict(
            type="str", choices=["nt-base", "win98", "win2000", "winxp", "vista", "win7", "bare"]
        ),
        hives=dict(type="bool", default=False),
    )
    options.update(deskforge_argument_spec())
    return options


def main():
    module = AnsibleModule(argument_spec=argument_spec(), supports_check_mode=True)
    p = module.params
    path = p["path"]
    df = Deskforge(module, path)
    result = dict(changed=False, path=path)

    fresh = not os.path.exists(path) or (os.path.isdir(path) and not os.listdir(path))
    if fresh:
        if not p["template"]:
            module.fail_json(msg="%s holds no machine, and no template is given" % path, **result)
        what = "%s (%s)" % (p["template"], "Windows drive" if p["hives"] else "Wine prefix")
        result["changed"] = True
        if module._diff:
            result["diff"] = dict(before="", after="machine %s in %s\n" % (what, path),
                                  before_header=path, after_header=path)
        if module.check_mode:
            module.exit_json(**result)
        cmd = [df.binary, "machine", "create", path, "--template", p["template"]]
        if p["hives"]:
            cmd.append("--hives")
        rc, out, err = module.run_command(cmd)
        if rc != 0:
            result["changed"] = os.path.exists(path) and bool(os.listdir(path))
            module.fail_json(msg=first_error(err or out) or "deskforge machine create failed",
                             **result)

    rc, out, err = df.run(["machine", "info", "--json"])
    if rc != 0:
        module.fail_json(msg="%s: %s" % (path, first_error(err or out)), **result)
    try:
        info = json.loads(out)
    except ValueError as e:
        module.fail_json(msg="%s: deskforge machine info printed no JSON: %s" % (path, e), **result)
    result["info"] = info
    result["ansible_facts"] = dict(deskforge_machine=info)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
