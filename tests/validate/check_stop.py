"""A stopped zohost --validate leaves no test of its own running.

  check_stop.py ZOHOST ARGS...

Runs ZOHOST ARGS (a test that hangs, under a long --timeout) once for each
of SIGINT, SIGTERM and SIGHUP: waits until it has started a process for the
test, sends the signal, and then wants exit status 128 + the signal and that
process ended soon after (a zombie that nobody reaps counts as ended).

  check_stop.py --console CONSOLE_EVENT.EXE WINE ZOHOST.EXE ARGS...

does the same with a console's events: Ctrl-C as a SIGINT, which Wine hands
to the program (it ends a program on SIGTERM and SIGHUP without telling it),
and Ctrl-Break and the console closing raised by CONSOLE_EVENT.EXE, wanting
130, 149 and 129; and no file of the test's reports left in the Wine prefix.

  check_stop.py --control

checks instead a parent that leaves its child running (itself, with
--leave-child): the negative control, which must fail.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time


def processes():
    """(pid, parent pid, command line) of every process there is."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                line = f.read().replace(b"\0", b" ").decode(errors="replace")
        except OSError:
            continue
        found.append((int(entry), int(fields[1]), line))
    return found


def test_processes(pid, marker):
    """The processes running a test for `pid`: those started with its module
    (forked, or under Wine started again), else those it forked."""
    table = processes()
    parents = {k: parent for k, parent, _ in table}
    mine = {pid}
    k = os.getpid()
    while k > 1 and k not in mine:  # this check and what started it
        mine.add(k)
        k = parents.get(k, 1)
    return [k for k, parent, line in table
            if k not in mine and (marker in line if marker else parent == pid) and running(k)]


def running(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def wine_temporaries():
    """The files through which tests report to zohost.exe, in its Wine prefix."""
    found = set()
    for root, _, files in os.walk(os.path.join(os.environ.get("WINEPREFIX", "/nonexistent"), "drive_c")):
        found.update(os.path.join(root, f) for f in files if re.match(r"zo[ro][0-9a-f]*\.tmp$", f, re.I))
    return found


def wait_until(ready, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if ready():
            return True
        time.sleep(0.05)
    return False


class Stop:
    """How a run is stopped, and the exit status it must then give."""

    def __init__(self, name, status, send, raiser=None):
        self.name, self.status, self.send, self.raiser = name, status, send, raiser
        # The processes besides the one started that carry the module's path
        # once the test runs: its own, and zohost.exe under console_event.
        self.carriers = 2 if raiser else 1


def by_signal(sig):
    return Stop(sig.name, 128 + sig, lambda p: p.send_signal(sig))


def by_console_event(raiser, event, status):
    """console_event starts the program and raises `event` in it on a line."""
    def send(p):
        p.stdin.write(b"go\n")
        p.stdin.flush()
    return Stop("console " + event, status, send, [raiser, event])


def stop_once(cmd, stop):
    marker = cmd[cmd.index("--validate") + 1] if "--validate" in cmd[:-1] else None
    if stop.raiser:  # WINE CONSOLE_EVENT EVENT ZOHOST.EXE ARGS
        cmd = cmd[:1] + stop.raiser + cmd[1:]
    before = wine_temporaries()
    # A session of its own: under Wine, the console event that a SIGINT
    # becomes reaches no one else.
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                         stdin=subprocess.PIPE if stop.raiser else subprocess.DEVNULL, start_new_session=True)
    kids = []
    try:
        # Seen twice: a process that Wine forks on its way to start its
        # server carries the arguments for a moment too.
        seen = []

        def started():
            now = test_processes(p.pid, marker)
            kids[:] = [k for k in now if k in seen]
            seen[:] = now
            return len(kids) >= stop.carriers

        if not wait_until(started, 120):
            return "%s: no process started for the test" % stop.name
        stop.send(p)
        rc = p.wait(120)
        if rc != stop.status:
            return "%s: exit status %d, not %d" % (stop.name, rc, stop.status)
        if not wait_until(lambda: not any(running(k) for k in kids), 10):
            lines = [line for k, _, line in processes() if k in kids]
            return "%s: the test's process %s runs on after zohost ended: %s" % (stop.name, kids, lines)
        # Other runs in the same prefix report through such files too, but
        # theirs go when their test ends; a file of ours would stay.
        new = wine_temporaries() - before
        if not wait_until(lambda: not any(os.path.exists(f) for f in new), 60):
            return "%s: zohost left %s" % (stop.name, sorted(f for f in new if os.path.exists(f)))
        return None
    finally:
        if p.poll() is None:
            p.kill()
            p.wait()
        for k in kids:
            if running(k):
                os.kill(k, signal.SIGKILL)


def leave_child():
    """The negative control: a parent that ends on the signal and leaves its child running."""
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, lambda s, _: os._exit(128 + s))
    child = subprocess.Popen(["sleep", "300"], restore_signals=True)
    child.wait()
    return 0


def own_module(cmd, folder):
    """`cmd` with its module copied into `folder`: other runs of zohost on the
    same module, as in a parallel test run, then carry no marker of ours."""
    if "--validate" not in cmd[:-1]:
        return cmd
    k = cmd.index("--validate") + 1
    copy = os.path.join(folder, os.path.basename(cmd[k]))
    shutil.copy(cmd[k], copy)
    return cmd[:k] + [copy] + cmd[k + 1:]


def main(argv):
    if argv[1:] == ["--leave-child"]:
        return leave_child()
    cmd = argv[1:]
    stops = [by_signal(sig) for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)]
    if cmd[:1] == ["--console"]:
        raiser, cmd = cmd[1], cmd[2:]
        stops = [by_signal(signal.SIGINT), by_console_event(raiser, "break", 149),
                 by_console_event(raiser, "close", 129)]
    if cmd == ["--control"]:
        cmd = [sys.executable, os.path.abspath(__file__), "--leave-child"]
    with tempfile.TemporaryDirectory(prefix="zostop-") as folder:
        cmd = own_module(cmd, folder)
        for stop in stops:
            failure = stop_once(cmd, stop)
            if failure:
                print(failure)
                return 1
    print("%s each ended the run and the test's process with it" % ", ".join(s.name for s in stops))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
