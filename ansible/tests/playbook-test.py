#!/usr/bin/env python3
"""The collection against the built deskforge: three sample machines on localhost.

Usage: playbook-test.py DESKFORGE COLLECTION_DIR [README]

Builds and installs the collection into a temporary folder, then runs the playbooks in
playbooks/ with the report callback (callback_plugins/) and checks what they report and
what they leave on disk. Exits 77 (skipped) where ansible-playbook is not installed, 1
there when RAVELIN_REQUIRE_TOOLS is set.
"""

import glob
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PASSWORD = "Kw!9-Zebra\"Mond\\42"  # quotes and backslashes on purpose
PASSWORD2 = "Anders-Geheim-77"

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED: " + what, flush=True)
    return condition


def machine_files(root):
    """Every file under a machine folder with its digest: what "nothing written" compares."""
    out = {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            if os.path.islink(path):
                continue
            with open(path, "rb") as f:
                out[os.path.relpath(path, root)] = hashlib.sha256(f.read()).hexdigest()
    return out


class Runner:
    def __init__(self, tmp, env, inventory, deskforge):
        self.tmp = tmp
        self.env = env
        self.inventory = inventory
        self.deskforge = deskforge
        self.outputs = []  # every byte ansible printed, for the secret check

    def playbook(self, name, extra=None, args=(), text=None):
        path = os.path.join(self.tmp, "readme.yml") if text else os.path.join(HERE, "playbooks", name)
        if text:
            with open(path, "w") as f:
                f.write(text)
        variables = dict(deskforge=self.deskforge, level=3, shares="off", firewall="on",
                         password=PASSWORD)
        variables.update(extra or {})
        cmd = ["ansible-playbook", "-i", self.inventory, path, "-e", json.dumps(variables)]
        cmd += list(args)
        started = time.monotonic()
        proc = subprocess.run(cmd, env=self.env, cwd=self.tmp, capture_output=True, text=True,
                              timeout=90)
        print("  %s %s: exit %d in %.1f s" % (name, " ".join(args), proc.returncode,
                                               time.monotonic() - started), flush=True)
        self.outputs.append(proc.stdout + proc.stderr)
        if os.environ.get("DESKFORGE_TEST_VERBOSE"):
            print(proc.stdout, proc.stderr)
        try:
            report = json.loads(proc.stdout)
        except ValueError:
            print(proc.stdout[-3000:], proc.stderr[-3000:])
            raise SystemExit("%s: ansible-playbook printed no JSON report" % name)
        return proc.returncode, report


def results(report):
    """{task name: {host: result}} of the report's plays."""
    out = {}
    for play in report["plays"]:
        for task in play["tasks"]:
            out.setdefault(task["task"]["name"], {}).update(task["hosts"])
    return out


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    deskforge = os.path.abspath(sys.argv[1])
    collection = os.path.abspath(sys.argv[2])
    readme = sys.argv[3] if len(sys.argv) > 3 else None
    if not shutil.which("ansible-playbook") or not shutil.which("ansible-galaxy"):
        if os.environ.get("RAVELIN_REQUIRE_TOOLS", "0") not in ("", "0"):
            print("ansible-core is not installed, and this run requires it "
                  "(RAVELIN_REQUIRE_TOOLS is set; scripts/install-deps installs it)")
            return 1
        print("ansible-core is not installed: skipped")
        return 77

    tmp = tempfile.mkdtemp(prefix="deskforge-ansible-")
    try:
        return run(tmp, deskforge, collection, readme)
    finally:
        if os.environ.get("DESKFORGE_TEST_KEEP"):
            print("kept " + tmp)
        else:
            shutil.rmtree(tmp, ignore_errors=True)


def start_wineserver(prefix, env):
    """A persistent wineserver on the prefix, once its socket is there; None without Wine."""
    if not shutil.which("wineserver"):
        return None
    wenv = dict(env, WINEPREFIX=prefix, WINEDEBUG="-all")
    # Persistent for a bounded time only: should this test be killed, the server still ends.
    proc = subprocess.Popen(["wineserver", "-p90", "-f"], env=wenv, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    st = os.stat(prefix)
    name = "server-%x-%x" % (st.st_dev, st.st_ino)
    uid = os.getuid()
    temp = [os.environ["TMPDIR"]] if os.environ.get("TMPDIR") else []
    temp.append("/tmp")
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        roots = ["/tmp/.wine-%d" % uid, "/run/user/%d/wine" % uid]
        # Debian's Wine names its folder, relative to the temporary folder, in the prefix.
        try:
            with open(os.path.join(prefix, "wineserver")) as f:
                named = f.readline().strip()
            if named:
                roots += [named] if named.startswith("/") else [os.path.join(t, named)
                                                                 for t in temp]
        except OSError:
            pass
        for root in roots:
            if os.path.exists(os.path.join(root, name, "socket")):
                return proc, wenv, os.path.join(root, name)
        if proc.poll() is not None:
            break
        time.sleep(0.1)
    stop_wineserver((proc, wenv, None))
    raise SystemExit("wineserver did not start on " + prefix)


def stop_wineserver(server):
    proc, wenv, folder = server
    subprocess.run(["wineserver", "-k"], env=wenv, timeout=20, capture_output=True)
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
    if folder:
        # The server's folder in the temporary folder, which it leaves behind.
        shutil.rmtree(folder, ignore_errors=True)
        try:
            os.rmdir(os.path.dirname(folder))
        except OSError:
            pass


def ansible_python():
    """The Python that runs ansible-playbook: the one the managed host (localhost) uses."""
    try:
        with open(shutil.which("ansible-playbook")) as f:
            line = f.readline()
        words = line[2:].split() if line.startswith("#!") else []
        if words and os.path.basename(words[0]) == "env" and len(words) > 1:
            words = [shutil.which(words[1]) or words[1]]
        if words and os.access(words[0], os.X_OK):
            return words[0]
    except (OSError, TypeError):
        pass
    return sys.executable


def run(tmp, deskforge, collection, readme):
    python = ansible_python()
    home = os.path.join(tmp, "home")
    os.makedirs(home)
    collections = os.path.join(tmp, "collections")
    env = {
        "PATH": os.path.dirname(deskforge) + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"),
        "HOME": home,
        "LANG": os.environ.get("LANG", "C.UTF-8"),
        "ANSIBLE_CONFIG": os.path.join(tmp, "ansible.cfg"),  # none: only what is set here
        "ANSIBLE_LOCAL_TEMP": os.path.join(tmp, "local"),
        "ANSIBLE_REMOTE_TEMP": os.path.join(tmp, "remote"),
        "ANSIBLE_COLLECTIONS_PATH": collections,
        "ANSIBLE_GALAXY_CACHE_DIR": os.path.join(tmp, "galaxy-cache"),
        "ANSIBLE_STDOUT_CALLBACK": "report",
        "ANSIBLE_CALLBACK_PLUGINS": os.path.join(HERE, "callback_plugins"),
        "ANSIBLE_LOG_PATH": os.path.join(tmp, "ansible.log"),
        "ANSIBLE_NOCOLOR": "1",
        "PYTHONDONTWRITEBYTECODE": "1",
        "ANSIBLE_RETRY_FILES_ENABLED": "0",
        "ANSIBLE_GATHERING": "explicit",
        "ANSIBLE_FORKS": "3",
        "ANSIBLE_PIPELINING": "1",
        "ANSIBLE_PYTHON_INTERPRETER": python,
        "ANSIBLE_DEPRECATION_WARNINGS": "0",
    }
    if os.environ.get("TMPDIR"):
        env["TMPDIR"] = os.environ["TMPDIR"]

    # The collection as a user gets it: built, then installed from the archive.
    subprocess.run(["ansible-galaxy", "collection", "build", collection, "--output-path", tmp],
                   env=env, cwd=tmp, check=True, capture_output=True, timeout=60)
    archive = glob.glob(os.path.join(tmp, "ravelin-deskforge-*.tar.gz"))
    check(len(archive) == 1, "ansible-galaxy builds one archive")
    subprocess.run(["ansible-galaxy", "collection", "install", "--offline", archive[0], "-p",
                    collections], env=env, cwd=tmp, check=True, capture_output=True, timeout=60)
    check(os.path.isfile(os.path.join(collections, "ansible_collections", "ravelin", "deskforge",
                                      "plugins", "modules", "deskforge_page.py")),
          "the collection is installed")
    doc = subprocess.run(["ansible-doc", "-t", "module"] +
                         ["ravelin.deskforge.deskforge_" + m for m in ("reg", "page", "machine")],
                         env=env, cwd=tmp, capture_output=True, text=True, timeout=60)
    check(doc.returncode == 0 and doc.stdout.count("RETURN VALUES") == 3,
          "ansible-doc documents the three modules: " + doc.stderr[-500:])

    # Each module's documentation states its options as the module takes them.
    docs_check = r"""
import importlib, sys, yaml
sys.path.insert(0, sys.argv[1])
for name in ("deskforge_reg", "deskforge_page", "deskforge_machine"):
    m = importlib.import_module("ansible_collections.ravelin.deskforge.plugins.modules." + name)
    documented = yaml.safe_load(m.DOCUMENTATION)["options"]
    taken = m.argument_spec()
    if sorted(documented) != sorted(taken):
        print("%s: documented %s, taken %s" % (name, sorted(documented), sorted(taken)))
        continue
    for option, s in taken.items():
        d = documented[option]
        for field, default in (("type", "str"), ("required", False), ("default", None),
                               ("choices", None), ("aliases", []), ("elements", None)):
            a, b = d.get(field, default), s.get(field, default)
            if field in ("choices", "aliases") and a and b:
                a, b = sorted(a), sorted(b)
            if a != b:
                print("%s %s: %s is %r in the documentation, %r in the module"
                      % (name, option, field, a, b))
"""
    mismatch = subprocess.run([python, "-c", docs_check, collections], env=env,
                              capture_output=True, text=True, timeout=60)
    check(mismatch.returncode == 0 and mismatch.stdout == "",
          "the documentation matches the modules' options: " + mismatch.stdout + mismatch.stderr)

    machines = os.path.join(tmp, "machines")
    hosts = {
        "prefix": dict(template="winxp", hives=False),
        "drive": dict(template="winxp", hives=True),
        "seven": dict(template="win7", hives=False),
    }
    inventory = os.path.join(tmp, "inventory.ini")
    with open(inventory, "w") as f:
        f.write("[machines]\n")
        for host, h in hosts.items():
            h["dir"] = os.path.join(machines, host)
            f.write("%s machine_dir=%s template=%s hives=%s\n"
                    % (host, h["dir"], h["template"], str(h["hives"]).lower()))
        f.write("\n[machines:vars]\nansible_connection=local\nansible_python_interpreter=%s\n"
                % python)
    r = Runner(tmp, env, inventory, deskforge)
    names = sorted(hosts)

    def stats(report):
        return report["stats"]

    print("machines", flush=True)
    rc, rep = r.playbook("machines.yml")
    check(rc == 0, "machines.yml succeeds")
    for host in names:
        check(stats(rep)[host]["changed"] == 2, "%s: the machine and the key are created" % host)
    print("apply, apply again", flush=True)
    rc, rep = r.playbook("settings.yml")
    check(rc == 0, "settings.yml succeeds")
    res = results(rep)
    for task, by_host in res.items():
        for host in names:
            result = by_host.get(host, {})
            expected = task not in ("A password written straight into the script",
                                    "The machine is there already")
            check(result.get("changed") is expected,
                  "first run, %s on %s: changed is %s" % (task, host, expected))
            if expected:
                check(len(result.get("transactions", [])) >= 1,
                      "first run, %s on %s: the journal numbers come back" % (task, host))
    query = subprocess.run([deskforge, "--machine", hosts["prefix"]["dir"], "reg", "query",
                            r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon",
                            "/v", "DefaultPassword"], capture_output=True, text=True)
    check(PASSWORD in query.stdout, "the password is where Windows reads it")
    query = subprocess.run([deskforge, "--machine", hosts["drive"]["dir"], "reg", "query",
                            r"HKLM\SOFTWARE\Ravelin\Test", "/v", "Servers"],
                           capture_output=True, text=True)
    check(r"time3.example.org\0C:\Programme\Zeit" in query.stdout,
          "a multistring arrives whole: " + query.stdout.strip())

    rc, rep = r.playbook("settings.yml")
    for host in names:
        check(rc == 0 and stats(rep)[host]["changed"] == 0,
              "%s: the second run changes nothing" % host)

    print("check mode", flush=True)
    before = {h: machine_files(hosts[h]["dir"]) for h in names}
    other = dict(level=7, shares="on", firewall="off", password=PASSWORD2)
    rc, rep = r.playbook("settings.yml", other, ["--check", "--diff"])
    check(rc == 0, "the check run succeeds")
    res = results(rep)
    for host in names:
        check(machine_files(hosts[host]["dir"]) == before[host],
              "%s: a check run writes nothing" % host)
        for task, by_host in res.items():
            expected = task not in ("The obsolete key goes", "The machine is there already")
            check(by_host[host].get("changed") is expected,
                  "check run, %s on %s: changed is %s" % (task, host, expected))
        diffs = {t: json.dumps(res[t][host].get("diff", {})) for t in res}
        check('\\"Level\\"=dword:00000007' in diffs["A number"],
              "%s: the diff holds the new number: %s" % (host, diffs["A number"]))
        check("EnableFirewall" in diffs["Network"] and "AutoShareWks" in diffs["Network"],
              "%s: the page's diff holds its values" % host)
        check("DefaultPassword" in diffs["Automatic logon"],
              "%s: the diff names the sensitive value it writes" % host)
        check("Level" not in diffs["Network"], "%s: a diff holds only its own changes" % host)

    print("a failing line", flush=True)
    rc, rep = r.playbook("failing.yml")
    check(rc != 0, "a failing line fails the run")
    for host in names:
        result = results(rep)["Network"][host]
        check(result.get("failed") is True and result.get("line") == 2 and
              result.get("msg", "").startswith("line 2:") and "btnNoSuchButton" in result["msg"],
              "%s: the task fails with its line and message: %s" % (host, result.get("msg")))
        check(machine_files(hosts[host]["dir"]) == before[host],
              "%s: a failing script writes nothing" % host)

    if readme:
        print("the README's playbook", flush=True)
        with open(readme, encoding="utf-8") as f:
            text = f.read()
        m = re.search(r"## Many machines.*?```yaml\n(.*?)```", text, re.S)
        if check(m is not None, "the README shows a playbook"):
            book = m.group(1)
            check(len(book.strip().splitlines()) == 5, "the README's playbook has five lines")
            vars_file = re.search(r"```yaml\n(# group_vars.*?)```", text, re.S)
            check(vars_file is not None, "the README shows the playbook's variables")
            group_vars = os.path.join(tmp, "group_vars")
            os.makedirs(group_vars, exist_ok=True)
            with open(os.path.join(group_vars, "all.yml"), "w") as f:
                f.write("".join(line for line in vars_file.group(1).splitlines(True)
                                if not line.startswith("prefixes:")))
                f.write("prefixes: ['%s']\n" % hosts["seven"]["dir"])
            readme_inventory = os.path.join(tmp, "localhost.ini")
            with open(readme_inventory, "w") as f:
                f.write("localhost ansible_connection=local ansible_python_interpreter=%s\n"
                        % python)
            saved, r.inventory = r.inventory, readme_inventory
            rc, rep = r.playbook("README", text=book)
            check(rc == 0 and rep["stats"]["localhost"]["changed"] >= 1,
                  "the README's playbook applies")
            rc, rep = r.playbook("README", text=book)
            check(rc == 0 and rep["stats"]["localhost"]["changed"] == 0,
                  "the README's playbook changes nothing the second time")
            r.inventory = saved

    print("Firefox running on one machine", flush=True)
    info = json.loads(subprocess.run([deskforge, "--machine", hosts["drive"]["dir"], "machine",
                                      "info", "--json"], capture_output=True, text=True,
                                     check=True).stdout)
    # A Firefox on that Windows system holds its profile's parent.lock open.
    parent_lock = os.path.join(info["firefox_profiles"][0], "parent.lock")
    open(parent_lock, "w").close()
    drive_before = machine_files(hosts["drive"]["dir"])
    rc, rep = r.playbook("firefox.yml", args=["--diff"])
    res = results(rep)["Blinking text off"]
    check(rc != 0 and res["drive"].get("failed") is True and
          any(why in res["drive"].get("msg", "") for why in ("Firefox läuft", "Firefox is running")),
          "the machine whose Firefox runs fails with the reason: %s" % res["drive"].get("msg"))
    check(machine_files(hosts["drive"]["dir"]) == drive_before,
          "the profile in use is not written")
    os.remove(parent_lock)
    for host in ("prefix", "seven"):
        diff = res[host].get("diff", {}).get("prepared", "")
        check(res[host].get("changed") is True and "+user_pref(\"browser.blink_allowed\", false);"
              in diff and diff.startswith("--- "),
              "%s: the profile is changed, and the diff is the file's: %r" % (host, diff))

    print("Wine running on one prefix", flush=True)
    server = start_wineserver(hosts["prefix"]["dir"], env)
    if server is None:
        print("  wineserver is not installed: not checked")
    else:
        try:
            prefix_before = machine_files(hosts["prefix"]["dir"])
            journal_before = subprocess.run([deskforge, "--machine", hosts["prefix"]["dir"],
                                             "journal", "list"], capture_output=True,
                                            text=True).stdout
            rc, rep = r.playbook("settings.yml", other)
            s = stats(rep)
            check(rc != 0 and s["prefix"]["failures"] == 1,
                  "the prefix with Wine running fails")
            first = results(rep)["A number"]["prefix"]
            check(any(why in first.get("msg", "") for why in ("Wine läuft", "Wine is running")),
                  "the failure gives the reason: %s" % first.get("msg"))
            check(first.get("changed") is False and first.get("transactions") == [],
                  "the refused write is not reported as a change")
            for host in ("drive", "seven"):
                check(s[host]["failures"] == 0 and s[host]["changed"] == 6,
                      "%s succeeds while Wine runs on another prefix" % host)
            journal = subprocess.run([deskforge, "--machine", hosts["prefix"]["dir"], "journal",
                                      "list"], capture_output=True, text=True).stdout
            check(journal == journal_before, "the refused write is not journalled")
            now = machine_files(hosts["prefix"]["dir"])
            check({k: v for k, v in now.items() if not k.startswith(".deskforge")} ==
                  {k: v for k, v in prefix_before.items() if not k.startswith(".deskforge")},
                  "the prefix's files stay as they were")
        finally:
            stop_wineserver(server)

    print("secrets", flush=True)
    # What the module itself logs (to the system log) as it starts, before any result.
    probe = r"""
import json, sys
import ansible.module_utils.basic as basic
sys.path.insert(0, sys.argv[1])
basic._ANSIBLE_ARGS = sys.argv[2].encode()
from ansible_collections.ravelin.deskforge.plugins.modules import deskforge_page as m
m.PageModule.log = lambda self, msg, log_args=None: print("LOG " + msg, file=sys.stderr)
m.main()
"""
    module_args = {"ANSIBLE_MODULE_ARGS": {
        "machine": hosts["seven"]["dir"], "page": "logon", "deskforge_bin": deskforge,
        "_ansible_check_mode": True,
        "script": ["tab tsAutoLogon", 'set txtAutoLogonPassword %s' % json.dumps(PASSWORD2)]}}
    logged = subprocess.run([python, "-c", probe, collections, json.dumps(module_args)], env=env,
                            capture_output=True, text=True, timeout=60)
    check("LOG Invoked with" in logged.stderr and "********" in logged.stderr and
          PASSWORD2 not in logged.stderr,
          "the module logs its invocation, masked: " + logged.stderr[-800:])
    r.outputs.append(logged.stdout + logged.stderr)
    with open(env["ANSIBLE_LOG_PATH"], encoding="utf-8", errors="replace") as f:
        r.outputs.append(f.read())
    for h in names:
        export = os.path.join(tmp, h + "-journal.reg")
        subprocess.run([deskforge, "--machine", hosts[h]["dir"], "journal", "export", export],
                       capture_output=True, check=True)
        with open(export, "rb") as f:
            r.outputs.append(f.read().decode("utf-16", "replace"))
        for name in glob.glob(os.path.join(hosts[h]["dir"], ".deskforge", "*")):
            with open(name, "rb") as f:
                r.outputs.append(f.read().decode("latin-1"))
                f.seek(0)
                r.outputs.append(f.read().decode("utf-16-le", "replace"))
    for secret in (PASSWORD, PASSWORD2, "Zebra", "Anders-Geheim"):
        check(not any(secret in out for out in r.outputs),
              "the password %r appears in no result, log or journal" % secret)
    check(any("********" in out for out in r.outputs), "results show masked text")

    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
