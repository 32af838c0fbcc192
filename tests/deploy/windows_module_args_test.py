#!/usr/bin/env python3
"""The arguments of the playbook's Windows tasks, checked against the
modules' own documented options (ansible-doc): ansible-lint cannot load a
PowerShell module's argument spec, and no WinRM host is at hand to run them.
Every argument must be a documented option (or alias), every required
option must be given, and a literal value must be one of its choices.

usage: windows_module_args_test.py ROLE_TASKS_DIR...
"""
import json
import os
import subprocess
import sys

import yaml  # PyYAML: a dependency of Debian's ansible

TASK_KEYWORDS = {"name", "args", "become", "become_method", "become_user", "register",
                 "changed_when", "failed_when", "when", "loop", "vars", "timeout", "block",
                 "always", "rescue", "run_once", "any_errors_fatal", "tags", "delegate_to",
                 "notify", "ignore_errors", "check_mode", "no_log", "environment", "retries",
                 "delay", "until", "loop_control"}
# Windows modules that take a free-form command.
FREE_FORM = {"ansible.windows.win_shell", "ansible.windows.win_command"}


def tasks_of(items):
    for task in items or []:
        yield task
        for key in ("block", "always", "rescue"):
            yield from tasks_of(task.get(key))


def options_of(module, cache={}):
    if module not in cache:
        out = subprocess.run(["ansible-doc", "--json", module], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, check=True).stdout
        cache[module] = json.loads(out)[module]["doc"].get("options", {})
    return cache[module]


def check(path):
    problems, checked = [], 0
    with open(path, encoding="utf-8") as f:
        tasks = yaml.safe_load(f) or []
    for task in tasks_of(tasks):
        modules = [k for k in task if k not in TASK_KEYWORDS]
        if len(modules) != 1 or not modules[0].startswith("ansible.windows."):
            continue
        module = modules[0]
        checked += 1
        where = "%s: %s (%s)" % (os.path.basename(path), task.get("name"), module)
        value = task[module]
        args = dict(task.get("args") or {})
        if isinstance(value, dict):
            args.update(value)
        elif module not in FREE_FORM:
            problems.append("%s: free-form text for a module that takes none" % where)
        options = options_of(module)
        names = {}
        for name, spec in options.items():
            names[name] = name
            for alias in spec.get("aliases") or []:
                names[alias] = name
        for arg, val in args.items():
            if arg not in names:
                problems.append("%s: unknown argument %r" % (where, arg))
                continue
            spec = options[names[arg]]
            choices = spec.get("choices")
            if choices and isinstance(val, str) and "{{" not in val and val not in choices:
                problems.append("%s: %s=%r is not one of %r" % (where, arg, val, choices))
        given = {names[a] for a in args if a in names}
        for name, spec in options.items():
            if spec.get("required") and name not in given and not (
                    module in FREE_FORM and isinstance(value, str)):
                problems.append("%s: required argument %r missing" % (where, name))
    return problems, checked


def main():
    problems, checked = [], 0
    for folder in sys.argv[1:]:
        for name in sorted(os.listdir(folder)):
            if name.endswith((".yml", ".yaml")):
                p, c = check(os.path.join(folder, name))
                problems += p
                checked += c
    for p in problems:
        print("FAIL: " + p)
    if checked == 0:
        print("FAIL: no Windows task found")
        return 1
    print("%d Windows task(s) checked" % checked)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
