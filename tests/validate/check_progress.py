"""Progress of zohost --validate on a terminal, and none elsewhere.

  check_progress.py ZOHOST ARGS...

Runs ZOHOST ARGS with standard error on a pseudo-terminal: a test that runs
for several seconds (a hang cut short by --timeout) must show, while it runs,
its name and the seconds it has run. Then runs it with standard error on a
pipe: no progress there, and standard output the same lines.
"""
import os
import pty
import re
import select
import subprocess
import sys


def on_terminal(argv):
    leader, follower = pty.openpty()
    p = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=follower, stdin=subprocess.DEVNULL)
    os.close(follower)
    seen = b""
    while True:
        ready, _, _ = select.select([leader], [], [], 60)
        if not ready:
            break
        try:
            chunk = os.read(leader, 4096)
        except OSError:  # the other end closed: the program ended
            break
        if not chunk:
            break
        seen += chunk
    out = p.stdout.read()
    p.wait()
    os.close(leader)
    return p.returncode, out.decode(), seen.decode(errors="replace")


def main(argv):
    cmd = argv[1:]
    rc, out, term = on_terminal(cmd)
    ticks = re.findall(r"\] ([a-z_.0-9]+) \.\.\. ([0-9]+) s", term)
    if not ticks:
        print("no progress with seconds on the terminal:\n%r\nstdout:\n%s" % (term, out))
        return 1
    if "\x1b[K" not in term:
        print("progress is not erased from the terminal's line: %r" % term)
        return 1
    piped = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
    if piped.stderr:
        print("standard error on a pipe carries: %r" % piped.stderr)
        return 1
    if piped.returncode != rc or piped.stdout.decode() != out:
        print("stdout differs with standard error on a terminal:\n%s\n---\n%s" % (out, piped.stdout.decode()))
        return 1
    print("progress on the terminal (%s), none on a pipe" % ", ".join("%s %s s" % t for t in ticks[-3:]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
