#!/usr/bin/env python3
"""The registry view that the Windows tasks write the stand-in's key to,
decided from fact fixtures: hosts whose facts are those a Windows host of
one or another language and processor gives (loaded from a fact cache, no
WinRM host needed), run through the role's own windows_view.yml. The
32-bit program reads WOW6432Node on every 64-bit Windows, whatever the
language of its architecture text ("64 位", "64-Bit") and whether the
shell that gathered the facts is 64-bit or 32-bit; 32-bit Windows has no
such view. A host whose facts lack the environment stops with a message
instead of guessing. And no task of the role decides anything from the
localized architecture fact.

usage: windows_view_test.py ROLE_DIR
"""
import json
import os
import re
import subprocess
import sys
import tempfile

WOW = "HKLM:\\SOFTWARE\\WOW6432Node\\Morlane\\QRVCommon"
NATIVE = "HKLM:\\SOFTWARE\\Morlane\\QRVCommon"
# host: (architecture fact, environment, expected key; None: the play stops)
CASES = {
    "en-64": ("64-bit", {"PROCESSOR_ARCHITECTURE": "AMD64"}, WOW),
    "zh-64": ("64 \u4f4d", {"PROCESSOR_ARCHITECTURE": "AMD64"}, WOW),
    "de-64-wow-shell": ("64-Bit", {"PROCESSOR_ARCHITECTURE": "x86",
                                   "PROCESSOR_ARCHITEW6432": "AMD64"}, WOW),
    "fr-arm64": ("64 bits", {"PROCESSOR_ARCHITECTURE": "ARM64"}, WOW),
    "en-32": ("32-bit", {"PROCESSOR_ARCHITECTURE": "x86"}, NATIVE),
    "zh-32": ("32 \u4f4d", {"PROCESSOR_ARCHITECTURE": "X86"}, NATIVE),
    "no-env": ("64-bit", None, None),
}


def main():
    role = os.path.abspath(sys.argv[1])
    problems = []
    # Lint level: the localized fact decides nothing.
    tasks_dir = os.path.join(role, "tasks")
    for name in sorted(os.listdir(tasks_dir)):
        with open(os.path.join(tasks_dir, name), encoding="utf-8") as f:
            text = f.read()
        if re.search(r"ansible_facts\s*\[\s*['\"]architecture|ansible_architecture|"
                     r"ansible_facts\.architecture", text):
            problems.append("%s decides from the localized architecture fact" % name)

    with tempfile.TemporaryDirectory() as tmp:
        cache = os.path.join(tmp, "facts")
        os.makedirs(cache)
        with open(os.path.join(tmp, "inventory.ini"), "w") as f:
            f.write("[zq_windows]\n")
            for host in CASES:
                f.write("%s ansible_connection=local ansible_python_interpreter=%s\n"
                        % (host, sys.executable))
        for host, (architecture, env, _) in CASES.items():
            facts = {"_ansible_facts_gathered": True, "ansible_architecture": architecture,
                     "ansible_os_family": "Windows"}
            if env is not None:
                facts["ansible_env"] = env
            with open(os.path.join(cache, host), "w", encoding="utf-8") as f:
                json.dump(facts, f, ensure_ascii=False)
        with open(os.path.join(tmp, "play.yml"), "w") as f:
            f.write("""---
- name: The registry view of the facts
  hosts: zq_windows
  gather_facts: false
  vars_files:
    - %s/defaults/main.yml
  tasks:
    - name: Choose it
      ansible.builtin.include_tasks: %s/tasks/windows_view.yml
    - name: Show it
      ansible.builtin.debug:
        var: zq_windows_key
""" % (role, role))
        env = dict(os.environ, ANSIBLE_CACHE_PLUGIN="jsonfile",
                   ANSIBLE_CACHE_PLUGIN_CONNECTION=cache, ANSIBLE_STDOUT_CALLBACK="json",
                   ANSIBLE_NOCOLOR="1", ANSIBLE_RETRY_FILES_ENABLED="0",
                   ANSIBLE_LOCAL_TEMP=os.path.join(tmp, "local"))
        res = subprocess.run(["ansible-playbook", "-i", os.path.join(tmp, "inventory.ini"),
                              os.path.join(tmp, "play.yml")], env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, timeout=240)
        try:
            out = json.loads(res.stdout)
        except ValueError:
            print(res.stdout.decode(errors="replace"), res.stderr.decode(errors="replace"))
            return 1
    got = {}
    failed = set()
    for task in out["plays"][0]["tasks"]:
        for host, result in task["hosts"].items():
            if result.get("failed"):
                failed.add(host)
                if "PROCESSOR_ARCHITECTURE" not in result.get("msg", ""):
                    problems.append("%s: stopped with %r" % (host, result.get("msg")))
            if "zq_windows_key" in result:
                got[host] = result["zq_windows_key"]
    for host, (_, _, want) in CASES.items():
        if want is None:
            if host not in failed or host in got:
                problems.append("%s: no environment, yet the play went on (%r)"
                                % (host, got.get(host)))
        elif got.get(host) != want:
            problems.append("%s: key %r, expected %r" % (host, got.get(host), want))
    for p in problems:
        print("FAIL: " + p)
    print("%d host(s) of fact fixtures checked" % len(CASES))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
