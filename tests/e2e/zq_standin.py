"""Checks of a run with the stand-in quarantine library in the scanned tree.

Native and Wine: the scan never examines what the library keeps, the library
keeps one backup per infected file, and zqrestore gives each back byte for
byte.
"""
import os
import shutil

from zq_tree import sha256_file


def check_quarantine_unseen(tree, drive, parts, log_lines):
    """No log line names a path below the quarantine folder (its own folder
    line is fine), and the walk reached the folder only after a backup was
    made there, or the run would prove nothing."""
    problems = []
    shown = tree.shown(drive, parts)
    below = shown + tree.sep
    for line in log_lines:
        if below in line:
            problems.append("a path below the quarantine folder was examined: %r" % line)
    folder_line = "[ScanFolder][300]Start Scanning Folder:%s" % shown
    if folder_line not in log_lines:
        problems.append("the walk never entered the quarantine folder")
    else:
        first_fix = next((i for i, l in enumerate(log_lines)
                          if l.startswith("[ScanFolder][334]") and l.endswith(", Result:2")),
                         None)
        if first_fix is None or first_fix > log_lines.index(folder_line):
            problems.append("the walk entered the quarantine folder before any backup was made")
    return problems


def check_backups_restore(folder, infected, restore, scratch):
    """Exactly one backup and one record per infected file and nothing else
    in `folder`; each backup restored by zqrestore (`restore(backup, out)`,
    host paths, returns the CompletedProcess) equals the file as it was
    before its repair; zqrestore refuses an existing OUT and a damaged
    backup, leaving nothing behind."""
    problems = []
    names = sorted(os.listdir(folder))
    backups = [n for n in names if n.endswith(".quar")]
    records = [n for n in names if n.endswith(".txt")]
    others = [n for n in names if n not in backups and n not in records]
    if len(backups) != len(infected) or len(records) != len(infected) or others:
        problems.append("quarantine: want %d backups and records for the infected files, found "
                        "%d backups, %d records, others %r" %
                        (len(infected), len(backups), len(records), others))
    if os.path.exists(scratch):
        shutil.rmtree(scratch)
    os.makedirs(scratch)
    restored = []
    for i, name in enumerate(backups):
        out = os.path.join(scratch, "restored%d" % i)
        res = restore(os.path.join(folder, name), out)
        if res.returncode != 0 or not os.path.isfile(out):
            problems.append("zqrestore %s: exit %d %r" % (name, res.returncode, res.stdout))
            continue
        restored.append(sha256_file(out))
    want = sorted(e.before for _, e in infected)
    if sorted(restored) != want:
        problems.append("restored backups differ from the infected files as they were")
    if not backups:
        return problems

    # OUT exists: refused (3), OUT as it was.
    out = os.path.join(scratch, "restored0")
    before = sha256_file(out) if os.path.exists(out) else None
    res = restore(os.path.join(folder, backups[0]), out)
    if res.returncode != 3 or (os.path.exists(out) and sha256_file(out) != before):
        problems.append("zqrestore over an existing OUT: exit %d %r" % (res.returncode,
                                                                        res.stdout))
    # A damaged backup: refused (1), nothing at OUT, the backup left alone.
    damaged = os.path.join(scratch, "damaged.quar")
    with open(os.path.join(folder, backups[0]), "rb") as f:
        data = bytearray(f.read())
    data[-1] ^= 0x40
    with open(damaged, "wb") as f:
        f.write(data)
    out = os.path.join(scratch, "from_damaged")
    res = restore(damaged, out)
    if res.returncode != 1 or os.path.exists(out) or b"damaged" not in res.stdout:
        problems.append("zqrestore of a damaged backup: exit %d, OUT %s, %r" %
                        (res.returncode, "left" if os.path.exists(out) else "absent",
                         res.stdout))
    return problems
