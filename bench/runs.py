"""Running the clients and reading their numbers: one client run timed, the
repetitions of a case in rotating order, stalls and failures flagged, and the
figures printed as min / median / max with sapihost's ratios.

A failed run, or a stalled one (far slower than the same client's other runs
of the case), is shown as such and left out of the ratios: a ratio against a
client that hung or gave up says nothing about either.
"""
import os
import signal
import statistics
import subprocess
import tempfile
import threading
import time

PASSWORD = "secret"
TIMEOUT_S = 1800
STALL_FACTOR = 2.5   # a run this many times the client's median of the others...
STALL_MARGIN_S = 0.2  # ...and this much slower than it, stalled


class Run:
    """One client run: wall, CPU (user + system) and peak memory, or why it failed."""

    def __init__(self, wall=None, cpu=None, kib=None, failure=None):
        self.wall, self.cpu, self.kib, self.failure = wall, cpu, kib, failure
        self.stalled = False

    @property
    def clean(self):
        return self.failure is None and not self.stalled


def timed(command, cwd=None, enter=None):
    """Runs one client (in a namespace when `enter` is given, as preexec_fn).
    Wall time from here, CPU and peak memory from the kernel's account of the
    process (wait4). Raises RuntimeError when it failed."""
    env = dict(os.environ, SAPIHOST_PASSWORD=PASSWORD)
    # The peak memory from /usr/bin/time's report on its child: the kernel's
    # peak of a process survives exec, so anything forked straight from this
    # Python (time itself included) starts at Python's size. CPU from wait4,
    # which counts time's waited-for child (time itself adds a millisecond).
    with tempfile.TemporaryFile() as errors, tempfile.NamedTemporaryFile("r") as report:
        command = ["/usr/bin/time", "-f", "%M", "-o", report.name] + list(command)
        start = time.perf_counter()
        process = subprocess.Popen(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=errors, preexec_fn=enter)
        timer = threading.Timer(TIMEOUT_S, lambda: os.kill(process.pid, signal.SIGKILL))
        timer.start()
        try:
            _, status, usage = os.wait4(process.pid, 0)
        finally:
            timer.cancel()
        wall = time.perf_counter() - start
        process.returncode = os.waitstatus_to_exitcode(status)
        if process.returncode != 0:
            errors.seek(0)
            text = errors.read()[-2000:].decode(errors="replace")
            raise RuntimeError("%s failed (%d): %s" % (os.path.basename(command[5]), process.returncode, text.strip()))
        kib = int(report.read().split()[-1])
    return Run(wall, usage.ru_utime + usage.ru_stime, kib)


def rotated(names, rep):
    shift = rep % len(names)
    return names[shift:] + names[:shift]


def mark_stalls(runs):
    """Flags the runs far slower than the median of the same client's others."""
    for i, run in enumerate(runs):
        others = [r.wall for j, r in enumerate(runs) if j != i and r.failure is None]
        if run.failure is None and others:
            usual = statistics.median(others)
            run.stalled = run.wall > STALL_FACTOR * usual and run.wall - usual > STALL_MARGIN_S


def repeat(case, names, run_one, reps, check=lambda name: None, cleanup=lambda: None, quiet=False):
    """Runs every client once per repetition, in rotating order; {name: [Run]}.
    A failure (of the client, or of the check of what it did) is kept as a
    failed run; the other clients go on."""
    results = {name: [] for name in names}
    for rep in range(reps):
        for name in rotated(names, rep):
            try:
                run = run_one(name)
                check(name)
            except RuntimeError as error:
                run = Run(failure=str(error))
            results[name].append(run)
            cleanup()
    for runs in results.values():
        mark_stalls(runs)
    if not quiet:
        show(case, results, reps)
    return results


def spread(values, digits=2):
    if not values:
        return "%7s %7s %7s" % ("-", "-", "-")
    form = "%%7.%df" % digits
    return " ".join(form % v for v in (min(values), statistics.median(values), max(values)))


def flags(runs):
    """'1 stalled (12.31 s), 1 failed' or ''."""
    stalled = ["%.2f s" % r.wall for r in runs if r.stalled]
    failed = sum(1 for r in runs if r.failure is not None)
    parts = (["%d stalled (%s)" % (len(stalled), ", ".join(stalled))] if stalled else []) + \
            (["%d failed" % failed] if failed else [])
    return ", ".join(parts)


def ratios(results, other, field):
    """sapihost's ratio to `other` in each repetition where both ran cleanly;
    none where the other's figure is too small to divide by."""
    found = []
    for mine, theirs in zip(results["sapihost"], results[other]):
        if mine.clean and theirs.clean and getattr(theirs, field) >= 0.005:
            found.append(getattr(mine, field) / getattr(theirs, field))
    return found


def median_ratio(results, other, field="wall"):
    found = ratios(results, other, field)
    return statistics.median(found) if found else None


def show(case, results, reps):
    print("\n== %s (%d repetitions, order rotated)" % (case, reps))
    print("%-10s %-23s %-23s %s" % ("", "wall s  min/med/max", "cpu s  min/med/max", "peak MiB  min/med/max"))
    for name, runs in results.items():
        clean = [r for r in runs if r.clean]
        print("%-10s %-23s %-23s %-23s %s" % (name, spread([r.wall for r in clean]), spread([r.cpu for r in clean]),
                                              spread([r.kib / 1024 for r in clean]), flags(runs)))
        for failure in sorted({r.failure for r in runs if r.failure}):
            print("%-10s   failed: %s" % ("", failure.splitlines()[-1][:200] if failure.splitlines() else failure))
    if "sapihost" not in results:
        return
    for other in [n for n in results if n not in ("sapihost", "raw")]:
        print("sapihost/%-5s wall %s   cpu %s   memory %s" % (other, spread(ratios(results, other, "wall")),
                                                            spread(ratios(results, other, "cpu")),
                                                            spread(ratios(results, other, "kib"))))


def ratio_text(value):
    return "x%.2f" % value if value is not None else "no clean pair"
