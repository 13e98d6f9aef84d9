"""Process trees by pid. vsftpd and pure-ftpd sessions outlive their listener, and
this machine's pid 1 does not reap orphans, so the launcher makes itself the reaper
of everything its servers fork and ends each process by its own pid."""
import ctypes
import os
import signal
import time

PR_SET_CHILD_SUBREAPER = 36


def become_subreaper():
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)


def _parent_of(pid):
    try:
        with open("/proc/%d/stat" % pid) as stat:
            text = stat.read()
    except OSError:
        return None
    # The command name is in parentheses and may itself hold spaces or ')'.
    return int(text[text.rindex(")") + 2:].split()[1])


def descendants(root):
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            parent = _parent_of(int(entry))
            if parent is not None:
                children.setdefault(parent, []).append(int(entry))
    found, pending = [], [root]
    while pending:
        for child in children.get(pending.pop(), []):
            found.append(child)
            pending.append(child)
    return found


def _signal(pid, number):
    try:
        os.kill(pid, number)
    except ProcessLookupError:
        pass


def reap_children():
    """Collects every exited child (orphans reparented to us included)."""
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return


def stop_tree(process, grace_seconds=3.0):
    """Sessions first, then the listener, then anything still ours; SIGKILL for
    whatever ignores SIGTERM past the grace period."""
    if process.poll() is None:
        for pid in reversed(descendants(process.pid)):
            _signal(pid, signal.SIGTERM)
        _signal(process.pid, signal.SIGTERM)
        try:
            process.wait(timeout=grace_seconds)
        except Exception:
            _signal(process.pid, signal.SIGKILL)
            process.wait(timeout=grace_seconds)
    stop_descendants(grace_seconds)


def stop_descendants(grace_seconds=3.0):
    """Ends whatever is still below this process: sessions that outlived their
    listener were reparented to us, since we are their subreaper."""
    deadline = time.monotonic() + grace_seconds
    while True:
        reap_children()
        leftovers = descendants(os.getpid())
        if not leftovers:
            return
        number = signal.SIGTERM if time.monotonic() < deadline else signal.SIGKILL
        for pid in leftovers:
            _signal(pid, number)
        time.sleep(0.05)
